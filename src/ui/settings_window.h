// The channel settings dialog "Параметры выбранного прибора": the measuring
// channels of one instrument, one tab each, and beside them the
// instrument-wide items that go with them (enabled channels, discrete-input
// functions) and the buttons to the other settings dialogs.
//
// Every change in a control goes at once into the instrument's records; the
// instrument itself changes only when "OK " writes. Each opening reads the
// instrument afresh.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include "model.h"
#include "ui_dialog_frame.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabBar;

namespace zorvat {

class TNumberEdit;

class TSettingsWindow : public TDialogFrame {
    Q_OBJECT
  public:
    explicit TSettingsWindow(TModel& model, QWidget* parent = nullptr);

    // Reads the instrument's channel settings and fills the dialog; false
    // (nothing shown) when the read fails or was stopped. The failure itself
    // is in the main window's error log.
    bool LoadForDevice(std::uint8_t device);
    // LoadForDevice, then exec() modally; false when the read failed.
    bool OpenForDevice(std::uint8_t device);

    // The other settings dialogs of the same instrument, opened from the
    // buttons of this one. They live in another part of the window; the main
    // window sets openSubDialog and opens the requested one modally.
    enum class SubDialog { Koefs, Relays, Passwords, AnalogOutput };
    struct SubDialogRequest {
        SubDialog which = SubDialog::Koefs;
        std::uint8_t device = 0;       // index in the device list
        int output = 0;                // AnalogOutput: 1 ("ПВИ") or 2 ("ПВИ 2")
        std::uint8_t channelMask = 0;  // Relays: 7 (channels 1 to 3) or 1 (channel 1)
        std::uint8_t relayMask = 0;    // Relays: the instrument's RelayMask
    };
    std::function<void(const SubDialogRequest&)> openSubDialog;

    // The instrument being edited (its device index) and the channel shown.
    std::uint8_t DeviceIndex() const { return deviceIndex_; }
    int ShownChannel() const { return shownChannel_; }

  private:
    // A numeric field and the channel field it edits.
    struct NumberField {
        TNumberEdit* edit;
        double TChnl::*real;        // one of these two
        std::uint8_t TChnl::*byte;  //
        bool calculatedToo;         // enabled on the calculated channel 3
    };

    void BuildLayout();
    QWidget* BuildChannelPage();
    QWidget* BuildInstrumentColumn();
    TNumberEdit* AddNumber(const char* name, double lower, double upper, bool integer,
                           double TChnl::*real, std::uint8_t TChnl::*byte, bool calculatedToo);

    TDevice* Device() const;
    TChnl* Channel(int n) const;
    bool HasChannel2() const;

    void ShowChannel(int n);
    void TabControl1Change(int index);
    void FieldsChange(QComboBox* box);
    void NumberChange(const NumberField& field, double value);
    void CutTestCheckClick(QCheckBox* check, bool ticked);
    void DinBoxChange(int input);
    void ChClick(int bit, bool ticked);
    void KoefTblBtnClick();
    void RelayTblBtnClick();
    void PasswordBtnClick();
    void PVIbtnClick(int output);
    void WriteParamsBtnClick();

    // The discrete-input checks; shows the refusal and returns false.
    bool DinFunctionsAllowed();
    // Lets painting and timers run (no operator input) for `ms` milliseconds.
    void Pause(int ms);
    void OpenSub(const SubDialogRequest& request);

    int shownChannel_ = 0;  // 0 until the first ShowChannel
    bool filling_ = false;  // controls are being filled from the records

    QTabBar* tabs_ = nullptr;
    QComboBox* datTypeBox_ = nullptr;
    QComboBox* sxemPodklBox_ = nullptr;
    QComboBox* linSqrtBox_ = nullptr;
    QComboBox* secondCalcBox_ = nullptr;
    QLineEdit* resist0Edit_ = nullptr;
    QLineEdit* typeCompEdit_ = nullptr;
    QCheckBox* cutTestCheck_ = nullptr;
    QCheckBox* sqrtCheck_ = nullptr;
    QCheckBox* sqrtNullCheck_ = nullptr;
    std::vector<NumberField> numbers_;

    QLabel* chLabel_ = nullptr;
    std::array<QCheckBox*, 3> chChecks_{};
    std::array<QComboBox*, 5> dinBoxes_{};
    QPushButton* pviBtn_ = nullptr;
    QPushButton* pvi1Btn_ = nullptr;
    QPushButton* writeBtn_ = nullptr;
    QPushButton* cancelBtn_ = nullptr;
};

}  // namespace zorvat
