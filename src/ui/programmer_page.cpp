#include "programmer_page.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>

#include "Devices.h"
#include "message_box.h"
#include "model.h"
#include "operations.h"
#include "regulator_grid.h"

namespace zorvat {

namespace {

constexpr int kNumberColumn = 0;
constexpr int kOnOffColumn = 1;
constexpr int kSetpointColumn = 2;
constexpr int kTimeColumn = 3;
constexpr int kMinPoints = 2;
constexpr int kMaxPointCount = static_cast<int>(kMaxPoints);

QWidget* LegendLine(const QColor& colour, const QString& text, QWidget* parent) {
    auto* line = new QWidget(parent);
    auto* row = new QHBoxLayout(line);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(6);
    auto* swatch = new QLabel(line);
    swatch->setFixedSize(16, 12);
    swatch->setStyleSheet(
        QStringLiteral("background:%1; border:1px solid #8a8a8a;").arg(colour.name()));
    row->addWidget(swatch);
    row->addWidget(new QLabel(text, line), 1);
    return line;
}

}  // namespace

TProgrammerPage::TProgrammerPage(TModel& model, TOperations& ops, TSurfaces& surfaces,
                                 QWidget* parent)
    : QWidget(parent),
      ops_(ops),
      surfaces_(surfaces),
      choice_(model, this, QStringLiteral("Reg1Prog_Btn"), QStringLiteral("Reg2Prog_Btn"),
              [this](int number) { emit regulatorChosen(number); }) {
    setObjectName(QStringLiteral("TabProgr"));
    BuildUi();
    Clear();
}

void TProgrammerPage::BuildUi() {
    auto* main = new QVBoxLayout(this);
    main->setContentsMargins(6, 6, 6, 6);
    main->setSpacing(6);

    auto* top = new QHBoxLayout;
    choice_.AddButtons(top);
    top->addStretch(1);
    main->addLayout(top);

    auto* body = new QHBoxLayout;
    body->setSpacing(8);

    Prog_Grid = new TGrid(0, 4, this);
    Prog_Grid->setObjectName(QStringLiteral("Prog_Grid"));
    Prog_Grid->setHorizontalHeaderLabels({Text("Номер точки"), Text("вкл/выкл"),
                                          Text("Рег. величина, ед. изм."),
                                          Text("Длительность, час : мин : сек")});
    Prog_Grid->verticalHeader()->hide();
    Prog_Grid->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    Prog_Grid->horizontalHeader()->setStretchLastSection(true);
    Prog_Grid->horizontalHeader()->setHighlightSections(false);
    // The usual widths, widened where the header's text needs more.
    const int widths[4] = {83, 59, 145, 214};
    const QFontMetrics header(Prog_Grid->horizontalHeader()->font());
    for (int c = 0; c < 4; ++c) {
        const int text = header.horizontalAdvance(Prog_Grid->horizontalHeaderItem(c)->text()) + 14;
        Prog_Grid->setColumnWidth(c, std::max(widths[c], text));
    }
    Prog_Grid->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 8);
    Prog_Grid->setSelectionMode(QAbstractItemView::ExtendedSelection);
    Prog_Grid->setSelectionBehavior(QAbstractItemView::SelectItems);
    Prog_Grid->setEditTriggers(QAbstractItemView::DoubleClicked |
                               QAbstractItemView::EditKeyPressed |
                               QAbstractItemView::AnyKeyPressed);
    Prog_Grid->setItemDelegate(new TCellDelegate(
        [](const QModelIndex& index) {
            return index.column() == kTimeColumn ? TCellDelegate::Editor::Time
                                                 : TCellDelegate::Editor::Number;
        },
        Prog_Grid));
    connect(Prog_Grid, &QTableWidget::itemChanged, this, &TProgrammerPage::Prog_GridItemChanged);
    body->addWidget(Prog_Grid, 1);

    auto* side = new QGroupBox(this);
    side->setFixedWidth(190);
    auto* col = new QVBoxLayout(side);
    col->setContentsMargins(10, 10, 10, 10);
    col->setSpacing(8);
    auto* countRow = new QHBoxLayout;
    ElLabel1 = new QLabel(Text("Число точек:"), side);
    ElLabel1->setObjectName(QStringLiteral("ElLabel1"));
    PointCount = new QSpinBox(side);
    PointCount->setObjectName(QStringLiteral("PointCount"));
    PointCount->setRange(kMinPoints, kMaxPointCount);
    PointCount->setMinimumWidth(70);
    // A count typed outside 2..255 is brought into the range, not dropped.
    PointCount->setCorrectionMode(QAbstractSpinBox::CorrectToNearestValue);
    ElLabel1->setBuddy(PointCount);
    connect(PointCount, &QSpinBox::valueChanged, this, &TProgrammerPage::PointCountChange);
    countRow->addWidget(ElLabel1);
    countRow->addWidget(PointCount, 1);
    col->addLayout(countRow);

    StartProg_btn = new QPushButton(Text("Запустить программу"), side);
    StartProg_btn->setObjectName(QStringLiteral("StartProg_btn"));
    StopBtn = new QPushButton(Text("Остановить программу"), side);
    StopBtn->setObjectName(QStringLiteral("StopBtn"));
    for (QPushButton* b : {StartProg_btn, StopBtn})
        b->setMinimumHeight(30);
    connect(StartProg_btn, &QPushButton::clicked, this, &TProgrammerPage::StartProg_btnClick);
    connect(StopBtn, &QPushButton::clicked, this, &TProgrammerPage::StopBtnClick);
    col->addWidget(StartProg_btn);
    col->addWidget(StopBtn);
    col->addStretch(1);
    col->addWidget(LegendLine(RunningPointColor(), Text("выполняемая точка"), side));
    col->addWidget(LegendLine(GreyCellColor(), Text("выключенная точка"), side));
    body->addWidget(side, 0);
    main->addLayout(body, 1);
}

QTableWidgetItem* TProgrammerPage::Cell(int row, int col) {
    QTableWidgetItem* item = Prog_Grid->item(row, col);
    if (item != nullptr) return item;
    item = new QTableWidgetItem;
    switch (col) {
        case kNumberColumn:
            item->setFlags(Qt::ItemIsEnabled);
            item->setBackground(FixedCellColor());
            item->setForeground(RegulatorColor(choice_.Number()));
            item->setTextAlignment(Qt::AlignCenter);
            break;
        case kOnOffColumn:
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
            item->setCheckState(Qt::Unchecked);
            break;
        default:
            item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            break;
    }
    Prog_Grid->setItem(row, col, item);
    return item;
}

void TProgrammerPage::SetRegulatorColour(int number) {
    const QColor colour = RegulatorColor(number);
    FillGuard guard(filling_);
    for (int c = 0; c < Prog_Grid->columnCount(); ++c)
        Prog_Grid->horizontalHeaderItem(c)->setForeground(colour);
    for (int row = 0; row < Prog_Grid->rowCount(); ++row)
        Cell(row, kNumberColumn)->setForeground(colour);
    SetTextColour(ElLabel1, colour);
    SetTextColour(PointCount, colour);
}

void TProgrammerPage::ShowRegulator(RegulatorRef ref) {
    choice_.Show(ref);
    SetRegulatorColour(choice_.Number());
    FillProgramGrid(ref);
}

void TProgrammerPage::SetRegulator2Visible(bool visible) {
    choice_.SetRegulator2Visible(visible);
}

void TProgrammerPage::SetRowLook(int row, bool on, bool running) {
    FillGuard guard(filling_);
    const QBrush background = !on       ? QBrush(GreyCellColor())
                              : running ? QBrush(RunningPointColor())
                                        : QBrush();
    // A point that is off can only be switched on; the running one not at all.
    const bool editable = on && !running;
    for (int col = kOnOffColumn; col <= kTimeColumn; ++col) {
        QTableWidgetItem* item = Cell(row, col);
        item->setBackground(background);
        if (col != kOnOffColumn) {
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable |
                           (editable ? Qt::ItemIsEditable : Qt::NoItemFlags));
        }
    }
}

void TProgrammerPage::FillProgramGrid(RegulatorRef ref) {
    if (Shown() != ref) return;
    TParams* r = Reg();
    if (r == nullptr) return;
    if (r->Prog_PointCount < kMinPoints) r->Prog_PointCount = kMinPoints;
    const int count = r->Prog_PointCount;
    FillGuard guard(filling_);
    PointCount->setValue(count);
    Prog_Grid->setRowCount(count);
    const bool running = r->ProgRunning;
    const int current = r->CurPoint;
    for (int k = 1; k <= count; ++k) {
        const int row = k - 1;
        const auto point = static_cast<std::size_t>(k);
        const bool on = r->OnOff[point];
        Cell(row, kNumberColumn)->setText(QString::number(k));
        Cell(row, kOnOffColumn)->setCheckState(on ? Qt::Checked : Qt::Unchecked);
        Cell(row, kSetpointColumn)->setText(GeneralText(r->Tempr[point]));
        Cell(row, kTimeColumn)->setText(DurationCellText(r->Time[point]));
        SetRowLook(row, on, running && k == current);
    }
    StartProg_btn->setEnabled(!running);
    PointCount->setEnabled(!running);
    StopBtn->setEnabled(running);
}

void TProgrammerPage::ShowProgramTime(RegulatorRef ref, int point, const QString& text) {
    if (Shown() != ref || point < 1 || point > Prog_Grid->rowCount()) return;
    FillGuard guard(filling_);
    Cell(point - 1, kTimeColumn)->setText(text);
}

void TProgrammerPage::SetProgramStopEnabled(bool enabled) {
    StopBtn->setEnabled(enabled);
}

void TProgrammerPage::Clear() {
    choice_.Clear();
    FillGuard guard(filling_);
    Prog_Grid->setRowCount(0);
    PointCount->setValue(kMinPoints);
    PointCount->setEnabled(false);
    StartProg_btn->setEnabled(false);
    StopBtn->setEnabled(false);
    SetRegulatorColour(choice_.Number());
}

void TProgrammerPage::OperationFinished(Operation op) {
    // A program ended, maybe of another regulator: the shown one's buttons
    // follow its own record.
    if (op == Operation::Program && Shown()) FillProgramGrid(*Shown());
}

// ---------------------------------------------------------------------------
// Handlers

void TProgrammerPage::PointCountChange(int value) {
    if (filling_ || !Shown()) return;
    TParams* r = Reg();
    if (r == nullptr || r->ProgRunning) return;
    // Points beyond the new count keep their values in the record.
    r->Prog_PointCount = static_cast<std::uint8_t>(std::clamp(value, kMinPoints, kMaxPointCount));
    FillProgramGrid(*Shown());
}

void TProgrammerPage::Prog_GridItemChanged(QTableWidgetItem* item) {
    if (filling_ || item == nullptr) return;
    if (item->column() == kOnOffColumn) {
        Prog_GridCheckBoxClick(item);
    } else if (item->column() == kSetpointColumn || item->column() == kTimeColumn) {
        Prog_GridCellValidate(item);
    }
}

void TProgrammerPage::Prog_GridCellValidate(QTableWidgetItem* item) {
    TParams* r = Reg();
    const int k = item->row() + 1;
    if (r == nullptr || k > r->Prog_PointCount) return;
    const auto point = static_cast<std::size_t>(k);
    // An edit that arrives after its point went off or started running
    // (the program refilled the grid meanwhile) is not taken.
    const bool editable = item->flags().testFlag(Qt::ItemIsEditable);
    FillGuard guard(filling_);
    if (item->column() == kSetpointColumn) {
        if (editable) r->Tempr[point] = ParseNumber(item->text()).value_or(0.0);
        item->setText(GeneralText(r->Tempr[point]));
    } else {
        if (editable) r->Time[point] = ParseDuration(item->text()).value_or(0);
        item->setText(DurationCellText(r->Time[point]));
    }
}

void TProgrammerPage::Prog_GridCheckBoxClick(QTableWidgetItem* item) {
    TParams* r = Reg();
    const int k = item->row() + 1;
    if (r == nullptr || k > r->Prog_PointCount) return;
    const bool on = item->checkState() == Qt::Checked;
    r->OnOff[static_cast<std::size_t>(k)] = on;
    SetRowLook(item->row(), on, false);
}

void TProgrammerPage::StartProg_btnClick() {
    // What is being typed belongs to the program.
    Prog_Grid->FinishEditing();
    Prog_Grid->setFocus();
    const std::optional<RegulatorRef> shown = Shown();
    if (!shown || Reg() == nullptr) return;
    const StartReply reply = ops_.StartProgram(shown->device, shown->regulator);
    if (!reply.refusal.empty()) {
        Inform(this, QString::fromStdString(reply.refusal), MessageKind::Warning);
        return;
    }
    if (Reg()->ProgRunning) {
        StartProg_btn->setEnabled(false);
        PointCount->setEnabled(false);
    }
}

void TProgrammerPage::StopBtnClick() {
    Prog_Grid->FinishEditing();
    Prog_Grid->setFocus();
    if (const std::optional<RegulatorRef> shown = Shown())
        ops_.StopProgram(shown->device, shown->regulator);
}

}  // namespace zorvat
