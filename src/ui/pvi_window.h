// The dialog "ПВИ" / "ПВИ 2": the five settings of one current output of an
// instrument. Every edit goes into the instrument record at once; "Ok"
// writes the output's settings back.
#pragma once

#include <QStringList>
#include <array>
#include <cstdint>

#include "ui_dialog_frame.h"

class QComboBox;

namespace zorvat {

class TNumberEdit;

class TPVIWindow : public TDialogFrame {
    Q_OBJECT
  public:
    explicit TPVIWindow(TModel& model, QWidget* parent = nullptr);

    // Reads output `output` (1 or 2) of instrument `device` (a device index)
    // and fills the window; the caption becomes "ПВИ" or "ПВИ 2". False when
    // the read failed or was stopped, or the output is not 1 or 2.
    bool LoadForDevice(std::uint8_t device, int output);
    // LoadForDevice, then the dialog modally. False when the read failed.
    bool OpenForDevice(std::uint8_t device, int output);

  private:
    void Fill();
    void cb_SouChange(int index);
    void cb_tOutChange(int index);
    void EditChange(int field, double value);
    void WriteBtnClick();
    std::string Prefix() const;

    int output_ = 1;
    bool filling_ = false;

    // The sources an instrument with one measuring channel offers, and those
    // of one with three channels and two regulators; the index is SrO.
    const QStringList shortSources_;
    const QStringList fullSources_;

    QComboBox* cb_Sou = nullptr;
    QComboBox* cb_tOut = nullptr;
    TNumberEdit* IoLbox = nullptr;
    TNumberEdit* IoHBox = nullptr;
    TNumberEdit* EOutBox = nullptr;
    std::array<TNumberEdit*, 3> numberEdits_{};
};

}  // namespace zorvat
