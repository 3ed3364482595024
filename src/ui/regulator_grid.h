// What the regulator page and the programmer page share: the texts of
// numbers and durations, the colours, the in-place editors of their tables
// and a table that can finish an edit on request.
#pragma once

#include <QColor>
#include <QString>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <functional>
#include <optional>

#include "ui_fill_guard.h"

namespace zorvat {

// A text of the pages, as written (UTF-8) in the source.
inline QString Text(const char* utf8) {
    return QString::fromUtf8(utf8);
}

// The colour of a widget's texts: its captions, labels and entries.
void SetTextColour(QWidget* w, const QColor& colour);

// Text colour of everything that shows which regulator the pages show:
// green for regulator 1, maroon for regulator 2.
QColor RegulatorColor(int number);
// Background of a greyed value cell (not in use, or a point that is off).
QColor GreyCellColor();
// Background of the program point being executed.
QColor RunningPointColor();
// Background of the fixed (header) cells.
QColor FixedCellColor();

// A fixed-point text with `decimals` decimals, rounded to at most 10
// significant digits, with the trailing zeros after the point dropped:
// 250 -> "250", 10.5 -> "10.5", 0.12345 with 4 -> "0.1235". Values too large
// for 10 digits come in exponent form, never with a clipped exponent.
QString FixedText(double value, int decimals);
// Up to 15 significant digits, no trailing zeros: 12.5, 1e+20.
QString GeneralText(double value);
// A number as typed into a cell ("." as separator, exponent allowed);
// nullopt for an empty text, a lone sign, anything else that is no number,
// and values an instrument cannot hold (beyond a single-precision real).
std::optional<double> ParseNumber(const QString& text);

// "1:02:03" for 3723 seconds.
QString DurationCellText(double seconds);
// The seconds of a duration below 24 hours typed as "h:mm:ss" or "h:mm";
// nullopt for a text that is no such time.
std::optional<int> ParseDuration(const QString& text);

// A table whose open editor can be committed from outside (a button that
// starts something uses the values being typed).
class TGrid : public QTableWidget {
    Q_OBJECT
  public:
    using QTableWidget::QTableWidget;
    void FinishEditing();
};

// In-place editors of both tables: a number editor, or a time editor with
// spin buttons; check boxes are drawn in the middle of their cell and
// toggled by a click anywhere in it.
class TCellDelegate : public QStyledItemDelegate {
    Q_OBJECT
  public:
    enum class Editor { Number, Time };
    TCellDelegate(std::function<Editor(const QModelIndex&)> editorOf, QObject* parent);

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override;
    void setEditorData(QWidget* editor, const QModelIndex& index) const override;
    void setModelData(QWidget* editor, QAbstractItemModel* model,
                      const QModelIndex& index) const override;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    // A time editor is never squeezed below its own height: its arrows
    // stay usable in a low row.
    void updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const override;

  protected:
    // A cell of a disabled table is drawn grey, whatever its own colour.
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;
    bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                     const QModelIndex& index) override;

  private:
    std::function<Editor(const QModelIndex&)> editorOf_;
};

}  // namespace zorvat
