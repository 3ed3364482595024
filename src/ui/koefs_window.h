// The dialog "Коэффициенты": the instrument's piecewise-linear table (number
// of points and five X/Y points) and its polynomial (number of coefficients,
// common divisor and A0 to A8). Every edit goes into the instrument record at
// once; "Ok" writes both tables back.
#pragma once

#include <QDialog>
#include <QString>
#include <array>
#include <cstdint>

class QLineEdit;
class QPushButton;

namespace zorvat {

class TModel;
class TDevice;

class TKoefsWindow : public QDialog {
    Q_OBJECT
  public:
    explicit TKoefsWindow(TModel& model, QWidget* parent = nullptr);

    // Reads the tables of instrument `device` (a device index) and fills the
    // fields. False when the read failed or was stopped: nothing is shown.
    bool LoadForDevice(std::uint8_t device);
    // LoadForDevice, then the dialog modally. False when the read failed.
    bool OpenForDevice(std::uint8_t device);

    // Fills every field from the record.
    void ShowKoefs();

  private:
    struct Field;
    void WriteBtnClick();
    void CancelBtnClick();
    void EditChange(int index);
    bool eventFilter(QObject* watched, QEvent* event) override;

    TModel& model_;
    TDevice* device_ = nullptr;
    std::uint8_t deviceIndex_ = 0;
    QPushButton* CancelBtn = nullptr;
    QPushButton* WriteBtn = nullptr;
};

}  // namespace zorvat
