#include "ui_number_edit.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QLocale>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <optional>

namespace zorvat {

namespace {

// The number a finished or half-typed text stands for; nothing for a text
// without a digit ("", "-", ".", "-.") or one beyond a double's range.
std::optional<double> ParseNumber(const QString& text) {
    if (!std::any_of(text.begin(), text.end(), [](QChar c) { return c.isDigit(); })) {
        return std::nullopt;
    }
    bool ok = false;
    const double value = QLocale::c().toDouble(text, &ok);
    if (!ok || !std::isfinite(value)) return std::nullopt;
    return value;
}

QString Pattern(TNumberEdit::Kind kind, double upper) {
    switch (kind) {
        case TNumberEdit::Kind::Integer:
            return QStringLiteral("-?\\d*");
        case TNumberEdit::Kind::Count: {
            // The validator checks the digit count rather than a length
            // limit, so that a longer value shown from a record is not cut.
            const auto digits = QString::number(static_cast<long long>(upper)).size();
            return QStringLiteral("\\d{0,%1}").arg(digits);
        }
        case TNumberEdit::Kind::Real:
            break;
    }
    return QStringLiteral("-?\\d*\\.?\\d*");
}

}  // namespace

double SingleShown(double value) {
    if (!std::isfinite(value) || std::fabs(value) > std::numeric_limits<float>::max()) {
        return value;
    }
    const auto single = static_cast<float>(value);
    if (static_cast<double>(single) != value) return value;
    char buffer[32];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, single).ptr;
    double shortest = value;
    std::from_chars(buffer, end, shortest);
    return shortest;
}

QString TNumberEdit::Format(double value, int decimals) {
    QString text = QLocale::c().toString(SingleShown(value), 'f', decimals);
    if (text.contains(QLatin1Char('.'))) {
        while (text.endsWith(QLatin1Char('0')))
            text.chop(1);
        if (text.endsWith(QLatin1Char('.'))) text.chop(1);
    }
    if (text == QLatin1String("-0")) text = QStringLiteral("0");
    return text;
}

TNumberEdit::TNumberEdit(double lower, double upper, Kind kind, int decimals, QWidget* parent)
    : QLineEdit(parent),
      lower_(lower),
      upper_(upper),
      decimals_(kind == Kind::Real ? decimals : 0) {
    setValidator(new QRegularExpressionValidator(QRegularExpression(Pattern(kind, upper)), this));
    connect(this, &QLineEdit::textEdited, this, &TNumberEdit::TextEdited);
}

void TNumberEdit::ShowValue(double value) {
    value_ = value;
    Show(value);
    // A long number shows its beginning.
    setCursorPosition(0);
}

void TNumberEdit::Show(double value) {
    const QSignalBlocker quiet(this);
    setText(Format(value, decimals_));
}

void TNumberEdit::TextEdited(const QString& text) {
    if (text.isEmpty()) {
        if (mayBeEmpty_) {
            value_ = 0.0;
        } else {
            value_ = lower_;
            Show(lower_);
            selectAll();
        }
        emit ValueEdited(value_);
        return;
    }
    // A half-typed "-" or "." stores nothing yet.
    if (const auto value = ParseNumber(text)) {
        value_ = *value;
        emit ValueEdited(value_);
    }
}

void TNumberEdit::Leave() {
    if (text().isEmpty() && mayBeEmpty_) return;
    const double value = std::clamp(ParseNumber(text()) ? value_ : lower_, lower_, upper_);
    const bool changed = value != value_;
    value_ = value;
    Show(value_);
    if (changed) emit ValueEdited(value_);
}

void TNumberEdit::focusOutEvent(QFocusEvent* event) {
    // A context menu or another application taking the focus does not leave
    // the field.
    if (event->reason() != Qt::PopupFocusReason && event->reason() != Qt::ActiveWindowFocusReason) {
        Leave();
    }
    QLineEdit::focusOutEvent(event);
}

void TNumberEdit::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) Leave();
    QLineEdit::keyPressEvent(event);
}

}  // namespace zorvat
