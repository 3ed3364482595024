// A one-line number field of the settings dialogs: it takes only the
// characters of a number, shows its value in a display format with at most
// a given number of decimals ("0.####"), lets a value beyond its limits
// stand while it is being typed and brings it to the nearest limit when the
// field is left. Emptied, it takes its lower limit at once, unless it may
// stay empty (then it counts as 0).
#pragma once

#include <QLineEdit>
#include <QString>

namespace zorvat {

// The instruments hold singles: a value that is exactly a single is shown as
// the shortest decimal that gives the same single (0.1f as 0.1, not as
// 0.100000001490116), any other value as it is.
double SingleShown(double value);

// `value` (through SingleShown) with at most `decimals` decimals, trailing zeros dropped, "." as
// the separator: BoundedText(2.50, 4) is "2.5", BoundedText(-0.00001, 4) "0".
QString BoundedText(double value, int decimals);

class TBoundedEdit : public QLineEdit {
    Q_OBJECT
  public:
    // `integer`: digits only (no sign, no point), at most as many as `max`
    // has.
    TBoundedEdit(double min, double max, int decimals, bool integer, QWidget* parent = nullptr);

    void SetMayBeEmpty(bool mayBeEmpty) { mayBeEmpty_ = mayBeEmpty; }

    // Shows `value` in the display format without bringing it within the
    // limits; Value() keeps it exactly (the shown text may be rounded).
    void SetValue(double value);
    double Value() const { return value_; }
    double Min() const { return min_; }
    double Max() const { return max_; }

    // What leaving the field does: a text that is no number takes the lower
    // limit, a value beyond the limits the nearest one, and the text is shown
    // in the display format again.
    void Commit();

  signals:
    // The operator changed the value: typing, pasting, emptying, leaving.
    // Not raised by SetValue.
    void ValueEdited(double value);

  protected:
    void focusOutEvent(QFocusEvent* event) override;

  private:
    void TextEdited(const QString& text);
    void Show(double value);

    double min_;
    double max_;
    int decimals_;
    bool mayBeEmpty_ = false;
    double value_ = 0.0;
};

}  // namespace zorvat
