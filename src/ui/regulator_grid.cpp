#include "regulator_grid.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLocale>
#include <QMouseEvent>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QTimeEdit>
#include <cmath>
#include <limits>

#include "com_u.h"

namespace zorvat {

namespace {

QLocale NumberLocale() {
    QLocale c = QLocale::c();
    c.setNumberOptions(QLocale::OmitGroupSeparator | QLocale::RejectGroupSeparator);
    return c;
}

constexpr const char* kTimeFormat = "H:mm:ss";

}  // namespace

QColor RegulatorColor(int number) {
    return number == 2 ? QColor(0x80, 0x00, 0x00) : QColor(0x00, 0x80, 0x00);
}

void SetTextColour(QWidget* w, const QColor& colour) {
    // The disabled group keeps the style's grey: a disabled page must look
    // disabled.
    QPalette p = w->palette();
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        p.setColor(group, QPalette::WindowText, colour);
        p.setColor(group, QPalette::Text, colour);
        p.setColor(group, QPalette::ButtonText, colour);
    }
    w->setPalette(p);
}

QColor GreyCellColor() {
    return QColor(0xc4, 0xc4, 0xc4);
}

QColor RunningPointColor() {
    return QColor(0xff, 0xee, 0x58);
}

QColor FixedCellColor() {
    return QColor(0xee, 0xee, 0xea);
}

QString FixedText(double value, int decimals) {
    const QLocale c = NumberLocale();
    if (!std::isfinite(value)) return c.toString(value);
    // Ten significant digits first, then the decimals.
    const double rounded = c.toDouble(c.toString(value, 'e', 9));
    if (std::fabs(rounded) >= 1e10) return c.toString(rounded, 'g', 10);
    QString text =
        QString::fromStdString(TrimZeros(c.toString(rounded, 'f', decimals).toStdString()));
    if (text == QLatin1String("-0")) text = QStringLiteral("0");
    return text;
}

QString GeneralText(double value) {
    return NumberLocale().toString(value, 'g', 15);
}

std::optional<double> ParseNumber(const QString& text) {
    const QString t = text.trimmed();
    if (t.isEmpty() || t == QLatin1String("-") || t == QLatin1String("+")) return std::nullopt;
    bool ok = false;
    const double value = NumberLocale().toDouble(t, &ok);
    if (!ok || !std::isfinite(value)) return std::nullopt;
    if (std::fabs(value) > static_cast<double>(std::numeric_limits<float>::max())) {
        return std::nullopt;
    }
    return value;
}

QString DurationCellText(double seconds) {
    const long total = seconds <= 0 ? 0 : std::lround(std::floor(seconds));
    return QStringLiteral("%1:%2:%3")
        .arg(total / 3600)
        .arg((total / 60) % 60, 2, 10, QLatin1Char('0'))
        .arg(total % 60, 2, 10, QLatin1Char('0'));
}

std::optional<int> ParseDuration(const QString& text) {
    static const QRegularExpression form(
        QStringLiteral("^\\s*(\\d{1,2}):(\\d{1,2})(?::(\\d{1,2}))?\\s*$"));
    const QRegularExpressionMatch m = form.match(text);
    if (!m.hasMatch()) return std::nullopt;
    const int h = m.captured(1).toInt();
    const int min = m.captured(2).toInt();
    const int s = m.captured(3).isEmpty() ? 0 : m.captured(3).toInt();
    if (h > 23 || min > 59 || s > 59) return std::nullopt;
    return h * 3600 + min * 60 + s;
}

void TGrid::FinishEditing() {
    if (state() != QAbstractItemView::EditingState) return;
    if (QWidget* editor = indexWidget(currentIndex())) {
        commitData(editor);
        closeEditor(editor, QAbstractItemDelegate::NoHint);
    }
}

TCellDelegate::TCellDelegate(std::function<Editor(const QModelIndex&)> editorOf, QObject* parent)
    : QStyledItemDelegate(parent), editorOf_(std::move(editorOf)) {}

QWidget* TCellDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem& /*option*/,
                                     const QModelIndex& index) const {
    if (editorOf_(index) == Editor::Time) {
        auto* edit = new QTimeEdit(parent);
        edit->setDisplayFormat(QString::fromLatin1(kTimeFormat));
        edit->setButtonSymbols(QAbstractSpinBox::UpDownArrows);
        // It may stand out of its row: it hides what is under it.
        edit->setAutoFillBackground(true);
        return edit;
    }
    auto* edit = new QLineEdit(parent);
    edit->setFrame(false);
    // Only what a number can be made of; the cell's own check decides the rest.
    static const QRegularExpression numberKeys(
        QStringLiteral("[-+]?[0-9]*\\.?[0-9]*([eE][-+]?[0-9]*)?"));
    edit->setValidator(new QRegularExpressionValidator(numberKeys, edit));
    return edit;
}

void TCellDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const {
    const QString text = index.data(Qt::EditRole).toString();
    if (auto* time = qobject_cast<QTimeEdit*>(editor)) {
        time->setTime(QTime(0, 0).addSecs(ParseDuration(text).value_or(0)));
        return;
    }
    if (auto* line = qobject_cast<QLineEdit*>(editor)) {
        line->setText(text);
        line->selectAll();
    }
}

void TCellDelegate::setModelData(QWidget* editor, QAbstractItemModel* model,
                                 const QModelIndex& index) const {
    if (auto* time = qobject_cast<QTimeEdit*>(editor)) {
        model->setData(index, time->time().toString(QString::fromLatin1(kTimeFormat)),
                       Qt::EditRole);
        return;
    }
    if (auto* line = qobject_cast<QLineEdit*>(editor)) {
        model->setData(index, line->text(), Qt::EditRole);
    }
}

void TCellDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const {
    const QVariant check = index.data(Qt::CheckStateRole);
    if (!check.isValid()) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    QStyleOptionViewItem cell(option);
    initStyleOption(&cell, index);
    cell.features &= ~QStyleOptionViewItem::HasCheckIndicator;
    cell.text.clear();
    const QWidget* widget = cell.widget;
    QStyle* style = widget != nullptr ? widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &cell, painter, widget);

    QStyleOptionViewItem box(cell);
    const int size = style->pixelMetric(QStyle::PM_IndicatorWidth, &cell, widget);
    box.rect = QRect(0, 0, size, size);
    box.rect.moveCenter(cell.rect.center());
    box.state &= ~(QStyle::State_HasFocus | QStyle::State_Selected);
    box.state |= check.toInt() == Qt::Checked ? QStyle::State_On : QStyle::State_Off;
    style->drawPrimitive(QStyle::PE_IndicatorItemViewItemCheck, &box, painter, widget);
}

void TCellDelegate::updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                                         const QModelIndex& index) const {
    QStyledItemDelegate::updateEditorGeometry(editor, option, index);
    if (qobject_cast<QTimeEdit*>(editor) == nullptr) return;
    QRect rect = editor->geometry();
    const QSize wanted = editor->sizeHint();
    if (rect.height() < wanted.height()) {
        const int grow = wanted.height() - rect.height();
        rect.adjust(0, -grow / 2, 0, grow - grow / 2);
    }
    if (rect.width() < wanted.width()) rect.setLeft(rect.right() - wanted.width());
    editor->setGeometry(rect);
}

void TCellDelegate::initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const {
    QStyledItemDelegate::initStyleOption(option, index);
    if (option->state.testFlag(QStyle::State_Enabled)) return;
    option->palette.setBrush(QPalette::Text,
                             option->palette.brush(QPalette::Disabled, QPalette::Text));
}

bool TCellDelegate::editorEvent(QEvent* event, QAbstractItemModel* model,
                                const QStyleOptionViewItem& option, const QModelIndex& index) {
    const QVariant check = index.data(Qt::CheckStateRole);
    if (!check.isValid()) return QStyledItemDelegate::editorEvent(event, model, option, index);
    const Qt::ItemFlags flags = model->flags(index);
    if (!flags.testFlag(Qt::ItemIsUserCheckable) || !flags.testFlag(Qt::ItemIsEnabled)) {
        return false;
    }
    switch (event->type()) {
        case QEvent::MouseButtonRelease: {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() != Qt::LeftButton ||
                !option.rect.contains(mouse->position().toPoint())) {
                return false;
            }
            break;
        }
        case QEvent::MouseButtonDblClick:
            return true;
        case QEvent::KeyPress: {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key != Qt::Key_Space && key != Qt::Key_Select) return false;
            break;
        }
        default:
            return false;
    }
    const Qt::CheckState next = check.toInt() == Qt::Checked ? Qt::Unchecked : Qt::Checked;
    return model->setData(index, next, Qt::CheckStateRole);
}

}  // namespace zorvat
