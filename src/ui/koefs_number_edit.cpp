#include "koefs_number_edit.h"

#include <QFocusEvent>
#include <QLocale>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <optional>
#include <string>

namespace zorvat {

namespace {

// The number a finished or half-typed text stands for; nothing for a text
// without a digit ("", "-", ".", "-.").
std::optional<double> ParseNumber(const QString& text) {
    if (!std::any_of(text.begin(), text.end(), [](QChar c) { return c.isDigit(); })) {
        return std::nullopt;
    }
    bool ok = false;
    const double value = QLocale::c().toDouble(text, &ok);
    if (!ok) return std::nullopt;
    return value;
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

QString BoundedText(double value, int decimals) {
    QString text = QLocale::c().toString(SingleShown(value), 'f', decimals);
    if (text.contains(QLatin1Char('.'))) {
        while (text.endsWith(QLatin1Char('0')))
            text.chop(1);
        if (text.endsWith(QLatin1Char('.'))) text.chop(1);
    }
    if (text == QLatin1String("-0")) text = QStringLiteral("0");
    return text;
}

TBoundedEdit::TBoundedEdit(double min, double max, int decimals, bool integer, QWidget* parent)
    : QLineEdit(parent), min_(min), max_(max), decimals_(decimals) {
    // An integer field takes as many digits as its upper limit has; the
    // validator checks that rather than a length limit, so that a longer
    // value shown from a record is not cut.
    const auto digits = QString::number(static_cast<long long>(max_)).size();
    const QString pattern = integer      ? QStringLiteral("\\d{0,%1}").arg(digits)
                            : min_ < 0.0 ? QStringLiteral("-?\\d*\\.?\\d*")
                                         : QStringLiteral("\\d*\\.?\\d*");
    setValidator(new QRegularExpressionValidator(QRegularExpression(pattern), this));
    connect(this, &QLineEdit::textEdited, this, &TBoundedEdit::TextEdited);
    connect(this, &QLineEdit::returnPressed, this, &TBoundedEdit::Commit);
}

void TBoundedEdit::SetValue(double value) {
    value_ = value;
    Show(value);
}

void TBoundedEdit::Show(double value) {
    const QSignalBlocker quiet(this);
    setText(BoundedText(value, decimals_));
}

void TBoundedEdit::TextEdited(const QString& text) {
    if (text.isEmpty()) {
        if (mayBeEmpty_) {
            value_ = 0.0;
        } else {
            // The lower limit at once, selected, so that the next key
            // replaces it.
            value_ = min_;
            Show(min_);
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

void TBoundedEdit::Commit() {
    if (text().isEmpty() && mayBeEmpty_) return;
    double value = value_;
    if (!ParseNumber(text())) value = min_;
    value = std::clamp(value, min_, max_);
    const bool changed = value != value_;
    value_ = value;
    Show(value_);
    if (changed) emit ValueEdited(value_);
}

void TBoundedEdit::focusOutEvent(QFocusEvent* event) {
    // The field's own context menu does not end the editing.
    if (event->reason() != Qt::PopupFocusReason) Commit();
    QLineEdit::focusOutEvent(event);
}

}  // namespace zorvat
