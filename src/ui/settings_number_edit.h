// A numeric field of the channel settings dialog.
//
// It takes only the characters of a number. Whatever number the operator
// types is reported at once, also outside the limits; leaving the field
// (focus moving elsewhere, or Enter) replaces a value outside the limits by
// the nearest one. An emptied field takes its lower limit at once. Values
// shown from a record are displayed as they are, at most four decimals,
// without being brought within the limits and without being reported.
#pragma once

#include <QLineEdit>
#include <optional>

namespace zorvat {

class TChannelNumberEdit : public QLineEdit {
    Q_OBJECT
  public:
    TChannelNumberEdit(double lower, double upper, bool integer, QWidget* parent = nullptr);

    double Lower() const { return lower_; }
    double Upper() const { return upper_; }
    bool Integer() const { return integer_; }

    // Shows a value from a record; ValueEdited is not emitted.
    void ShowValue(double value);
    // The number the text stands for; nothing while it is "-" or ".".
    std::optional<double> Value() const;
    // What leaving the field does: a value outside the limits, or a text
    // that is no number, becomes the nearest limit.
    void Leave();

    // "0.####": at most four decimals, no trailing zeros.
    static QString Format(double value);

  signals:
    // The operator changed the number (typing, emptying, or leaving with a
    // value outside the limits).
    void ValueEdited(double value);

  protected:
    void focusOutEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void TextChanged(const QString& text);

    double lower_;
    double upper_;
    bool integer_;
    bool showing_ = false;
};

}  // namespace zorvat
