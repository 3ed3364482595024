// A one-line number field of the settings dialogs.
//
// It takes only the characters of a number and shows its value in a display
// format with at most a given number of decimals ("0.####"). What the
// operator types is reported at once, also a value beyond the limits, so the
// record follows the field while it is edited; leaving the field (focus
// moving elsewhere, or Enter) brings such a value, or a text that is no
// number, to the nearest limit and reports that. Emptied, the field takes its
// lower limit at once, selected so that the next key replaces it, unless it
// may stay empty (then it counts as 0). A value shown from a record is shown
// as it is, neither brought within the limits nor reported.
#pragma once

#include <QLineEdit>
#include <QString>

namespace zorvat {

// The instruments hold singles: a value that is exactly a single is given as
// the shortest decimal that yields the same single (0.1f as 0.1, not as
// 0.100000001490116), any other value as it is.
double SingleShown(double value);

class TNumberEdit : public QLineEdit {
    Q_OBJECT
  public:
    // What may be typed.
    enum class Kind {
        Real,     // a sign, digits and one decimal point
        Integer,  // a sign and digits
        Count,    // digits only, at most as many as the upper limit has
    };

    // `decimals`: the most a Real field shows; the others show none.
    TNumberEdit(double lower, double upper, Kind kind, int decimals = 4, QWidget* parent = nullptr);

    double Lower() const { return lower_; }
    double Upper() const { return upper_; }
    void SetMayBeEmpty(bool mayBeEmpty) { mayBeEmpty_ = mayBeEmpty; }

    // Shows a value from a record without bringing it within the limits and
    // without reporting it; Value() keeps it exactly, though the text may be
    // rounded.
    void ShowValue(double value);
    double Value() const { return value_; }

    // What leaving the field does: a text that is no number takes the lower
    // limit, a value beyond the limits the nearest one (reported when it
    // changes), and the text is shown in the display format again.
    void Leave();

    // `value` (through SingleShown) with at most `decimals` decimals, trailing
    // zeros dropped, "." as the separator: Format(2.50, 4) is "2.5",
    // Format(-0.00001, 4) is "0".
    static QString Format(double value, int decimals);

  signals:
    // The operator changed the value: typing, pasting, emptying, or leaving
    // with a value that had to be brought within the limits. Never raised by
    // ShowValue.
    void ValueEdited(double value);

  protected:
    void focusOutEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void TextEdited(const QString& text);
    void Show(double value);

    double lower_;
    double upper_;
    int decimals_;
    bool mayBeEmpty_ = false;
    double value_ = 0.0;
};

}  // namespace zorvat
