// The dialog "Коэффициенты": the instrument's piecewise-linear table (number
// of points and five X/Y points) and its polynomial (number of coefficients,
// common divisor and A0 to A8). Every edit goes into the instrument record at
// once; "Ok" writes both tables back.
#pragma once

#include <QString>
#include <array>
#include <cstdint>

#include "ui_dialog_frame.h"

class QLineEdit;

namespace zorvat {

class TNumberEdit;

class TKoefsWindow : public TDialogFrame {
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

    // The coefficient fields show their value in this form:
    // 1.000000000000000E+0, -1.250000000000000E-3 (a single as the shortest
    // decimal that gives it, see SingleShown).
    static QString CoefText(double value);
    // The number a coefficient field's text stands for; false when the text
    // is no number or one the instrument cannot hold.
    static bool CoefValue(const QString& text, double& value);

  private:
    static constexpr int kNumberFields = 12;  // nLin, ten points, nPol
    static constexpr int kCoefFields = 10;    // b0, A0..A8

    void EditChange(int field, double value);
    void CoefChange(int field);
    void WriteBtnClick();
    bool eventFilter(QObject* watched, QEvent* event) override;

    bool filling_ = false;

    std::array<TNumberEdit*, kNumberFields> numberEdits_{};
    std::array<QLineEdit*, kCoefFields> coefEdits_{};
    // Per coefficient field, its text as it was before the change being
    // handled: a change that leaves no number puts it back.
    std::array<QString, kCoefFields> LastGoodText;
    std::array<int, kCoefFields> cursorBeforeKey_{};
};

}  // namespace zorvat
