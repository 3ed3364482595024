// The dialog "ПВИ" / "ПВИ 2": the five settings of one current output of an
// instrument.
#pragma once

#include <QDialog>
#include <QStringList>
#include <cstdint>

class QComboBox;
class QLineEdit;
class QPushButton;

namespace zorvat {

class TModel;
class TDevice;

class TPVIWindow : public QDialog {
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
    TModel& model_;
    TDevice* device_ = nullptr;
    std::uint8_t deviceIndex_ = 0;
    int output_ = 1;
};

}  // namespace zorvat
