#include "settings_number_edit.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QLocale>
#include <QRegularExpressionValidator>
#include <algorithm>
#include <cmath>

#include "com_u.h"

namespace zorvat {

TChannelNumberEdit::TChannelNumberEdit(double lower, double upper, bool integer, QWidget* parent)
    : QLineEdit(parent), lower_(lower), upper_(upper), integer_(integer) {
    // A sign, digits and, for reals, one decimal point: nothing else can be
    // typed or pasted.
    const QString pattern =
        integer ? QStringLiteral("-?[0-9]*") : QStringLiteral("-?[0-9]*\\.?[0-9]*");
    setValidator(new QRegularExpressionValidator(QRegularExpression(pattern), this));
    connect(this, &QLineEdit::textChanged, this, &TChannelNumberEdit::TextChanged);
}

QString TChannelNumberEdit::Format(double value) {
    if (!std::isfinite(value)) return QLocale::c().toString(value);
    QString text =
        QString::fromStdString(TrimZeros(QLocale::c().toString(value, 'f', 4).toStdString()));
    if (text == QLatin1String("-0")) text = QStringLiteral("0");
    return text;
}

void TChannelNumberEdit::ShowValue(double value) {
    showing_ = true;
    setText(Format(value));
    setCursorPosition(0);
    showing_ = false;
}

std::optional<double> TChannelNumberEdit::Value() const {
    bool ok = false;
    const double value = QLocale::c().toDouble(text(), &ok);
    if (!ok || !std::isfinite(value)) return std::nullopt;
    return value;
}

void TChannelNumberEdit::Leave() {
    const std::optional<double> value = Value();
    if (!value) {
        setText(Format(lower_));
        return;
    }
    const double within = std::clamp(*value, lower_, upper_);
    if (within != *value) setText(Format(within));
}

void TChannelNumberEdit::TextChanged(const QString& text) {
    if (showing_) return;
    if (text.isEmpty()) {
        // Selected, so that the next key replaces it rather than extends it.
        setText(Format(lower_));
        selectAll();
        return;
    }
    if (const std::optional<double> value = Value()) emit ValueEdited(*value);
}

void TChannelNumberEdit::focusOutEvent(QFocusEvent* event) {
    // A context menu or another application taking the focus does not leave
    // the field.
    if (event->reason() != Qt::PopupFocusReason && event->reason() != Qt::ActiveWindowFocusReason) {
        Leave();
    }
    QLineEdit::focusOutEvent(event);
}

void TChannelNumberEdit::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) Leave();
    QLineEdit::keyPressEvent(event);
}

}  // namespace zorvat
