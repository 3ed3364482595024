#include "graph_page.h"

#include <qcustomplot.h>
#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <fstream>
#include <limits>

#include "graph_icons.h"
#include "graph_print.h"
#include "message_box.h"
#include "trend_file.h"

namespace zorvat {
namespace {

struct NamedColor {
    const char* name;
    QRgb rgb;
};

// The classic sixteen colours without white (invisible on the white chart);
// red first, the colour of a series that was never given one.
constexpr NamedColor kColors[] = {
    {"Красный", 0xFF0000},   {"Синий", 0x0000FF},       {"Зелёный", 0x008000},
    {"Чёрный", 0x000000},    {"Бордовый", 0x800000},    {"Тёмно-синий", 0x000080},
    {"Оливковый", 0x808000}, {"Фиолетовый", 0x800080},  {"Сине-зелёный", 0x008080},
    {"Серый", 0x808080},     {"Серебристый", 0xC0C0C0}, {"Салатовый", 0x00FF00},
    {"Жёлтый", 0xFFFF00},    {"Пурпурный", 0xFF00FF},   {"Голубой", 0x00FFFF},
};
constexpr int kColorCount = static_cast<int>(std::size(kColors));

constexpr int kReplotMs = 100;
constexpr int kZoomSteps = 10;
constexpr int kZoomStepMs = 20;
constexpr double kLineWidth = 1.6;
// A past run beside the live one: a colour the list does not offer.
const QColor kRecordColor(0xE0, 0x7B, 0x00);
constexpr double kRecordLineWidth = 1.2;

std::optional<TAxisLimits> Union(std::optional<TAxisLimits> a, std::optional<TAxisLimits> b) {
    if (!a) return b;
    if (!b) return a;
    return TAxisLimits{std::min(a->min, b->min), std::max(a->max, b->max)};
}

QIcon Swatch(const QColor& color) {
    QPixmap pixmap(28, 14);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setPen(QColor(0x60, 0x60, 0x60));
    p.setBrush(color);
    p.drawRect(QRect(0, 1, 27, 12));
    return QIcon(pixmap);
}

QString TimeCaption(double multiplier) {
    return StepForMultiplier(multiplier) == 0 ? QStringLiteral("Время, мин.")
                                              : QStringLiteral("Время, час.");
}

// A unit the chart can draw with: anything not positive shows minutes.
double UsableMultiplier(double multiplier) {
    return std::isfinite(multiplier) && multiplier > 0 ? multiplier : kMinutesMultiplier;
}

std::optional<TAxisLimits> Scaled(std::optional<TAxisLimits> limits, double factor) {
    if (!limits) return std::nullopt;
    return TAxisLimits{limits->min * factor, limits->max * factor};
}

void SetRange(QCPAxis* axis, TAxisLimits limits) {
    axis->setRange(limits.min, limits.max);
}

}  // namespace

QColor SeriesColor(std::int32_t bgr) {
    if (bgr < 0 || bgr > 0xFFFFFF) bgr = kUnsetSeriesColor;
    const auto value = static_cast<std::uint32_t>(bgr);
    return QColor(static_cast<int>(value & 0xFF), static_cast<int>((value >> 8) & 0xFF),
                  static_cast<int>((value >> 16) & 0xFF));
}

std::int32_t SeriesColorValue(const QColor& color) {
    return color.red() | (color.green() << 8) | (color.blue() << 16);
}

TGraphPage::TGraphPage(TModel& model, QWidget* parent) : QWidget(parent), model_(model) {
    setObjectName(QStringLiteral("TabSheet6"));
    QWidget* panel = BuildPanel();
    BuildChart();

    // In a narrow window the buttons scroll sideways instead of being cut.
    panelScroll_ = new QScrollArea;
    panelScroll_->setObjectName(QStringLiteral("GraphPanelScroll"));
    panelScroll_->setWidget(panel);
    panelScroll_->setWidgetResizable(true);
    panelScroll_->setFrameShape(QFrame::NoFrame);
    panelScroll_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    panelScroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    panelScroll_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    panelScroll_->setFixedHeight(panel->sizeHint().height());

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setSpacing(4);
    layout->addWidget(panelScroll_);
    layout->addWidget(recordBar_);
    layout->addWidget(Chart1, 1);

    replotTimer_.setSingleShot(true);
    replotTimer_.setInterval(kReplotMs);
    connect(&replotTimer_, &QTimer::timeout, this, [this] {
        if (replotPending_ && isVisible()) ReplotNow();
    });
    zoomTimer_.setInterval(kZoomStepMs);
    connect(&zoomTimer_, &QTimer::timeout, this, &TGraphPage::ZoomStep);

    ApplyRanges();
}

QWidget* TGraphPage::BuildPanel() {
    auto* panel = new QFrame(this);
    panel->setObjectName(QStringLiteral("GraphPanel"));
    panel->setFrameShape(QFrame::StyledPanel);

    auto makeTool = [panel](const char* name, const QIcon& icon, const QString& hint) {
        auto* button = new QToolButton(panel);
        button->setObjectName(QString::fromLatin1(name));
        button->setIcon(icon);
        button->setIconSize(QSize(20, 20));
        button->setFixedSize(30, 28);
        button->setToolTip(hint);
        // Held down, the view keeps moving.
        button->setAutoRepeat(true);
        button->setAutoRepeatDelay(400);
        button->setAutoRepeatInterval(60);
        return button;
    };
    LeftMoveBtn =
        makeTool("LeftMoveBtn", MoveIcon(Qt::LeftArrow), QStringLiteral("Сдвинуть график влево"));
    DownMoveBtn =
        makeTool("DownMoveBtn", MoveIcon(Qt::DownArrow), QStringLiteral("Сдвинуть график вниз"));
    UpMoveBtn =
        makeTool("UpMoveBtn", MoveIcon(Qt::UpArrow), QStringLiteral("Сдвинуть график вверх"));
    RightMoveBtn = makeTool("RightMoveBtn", MoveIcon(Qt::RightArrow),
                            QStringLiteral("Сдвинуть график вправо"));
    LeftScrathBtn = makeTool("LeftScrathBtn", StretchIcon(Qt::Vertical, true),
                             QStringLiteral("Растянуть по вертикали"));
    DownScrathBtn = makeTool("DownScrathBtn", StretchIcon(Qt::Horizontal, true),
                             QStringLiteral("Растянуть по горизонтали"));
    UpScrathBtn = makeTool("UpScrathBtn", StretchIcon(Qt::Vertical, false),
                           QStringLiteral("Сжать по вертикали"));
    RightScrathBtn = makeTool("RightScrathBtn", StretchIcon(Qt::Horizontal, false),
                              QStringLiteral("Сжать по горизонтали"));

    auto group = [panel](const QString& title, std::initializer_list<QToolButton*> buttons) {
        auto* box = new QGroupBox(title, panel);
        auto* row = new QHBoxLayout(box);
        row->setContentsMargins(6, 2, 6, 6);
        row->setSpacing(3);
        for (QToolButton* b : buttons)
            row->addWidget(b);
        return box;
    };
    QGroupBox* moveBox =
        group(QStringLiteral("Смещение"), {LeftMoveBtn, DownMoveBtn, UpMoveBtn, RightMoveBtn});
    moveBox->setObjectName(QStringLiteral("MoveGroup"));
    QGroupBox* stretchBox = group(QStringLiteral("Растяжение/Сжатие"),
                                  {LeftScrathBtn, DownScrathBtn, UpScrathBtn, RightScrathBtn});
    stretchBox->setObjectName(QStringLiteral("StretchGroup"));

    auto makeButton = [panel](const char* name, const QString& text, const QString& hint) {
        auto* button = new QPushButton(text, panel);
        button->setObjectName(QString::fromLatin1(name));
        button->setToolTip(hint);
        return button;
    };
    RefreshBtn = makeButton("RefreshBtn", QStringLiteral("Восстановить"),
                            QStringLiteral("АвтоУстановка границ"));
    ClrBtn = makeButton("ClrBtn", QStringLiteral("Очистить"), QStringLiteral("Очистить всё"));
    Print_Btn = makeButton("Print_Btn", QStringLiteral("Печать"), QStringLiteral("Печать графика"));
    RefreshBtn->setIcon(style()->standardIcon(QStyle::SP_BrowserReload));
    ClrBtn->setIcon(style()->standardIcon(QStyle::SP_DialogResetButton));
    Print_Btn->setIcon(QIcon::fromTheme(QStringLiteral("document-print"), PrintIcon()));
    SaveBtn = makeButton("SaveChartBtn", QStringLiteral("Сохранить график..."),
                         QStringLiteral("Показанный график в файл: CSV (минуты, значение), "
                                        "PNG или PDF — по типу файла"));
    SaveBtn->setIcon(style()->standardIcon(QStyle::SP_DialogSaveButton));
    OpenRecordBtn = makeButton("OpenRecordBtn", QStringLiteral("Открыть запись..."),
                               QStringLiteral("Записанный прогон рядом с текущим, "
                                              "только для просмотра"));
    OpenRecordBtn->setIcon(style()->standardIcon(QStyle::SP_DialogOpenButton));

    const QString stepHint = QStringLiteral("Одно деление по шкале Х соответствует...");
    Label30 = new QLabel(QStringLiteral("Время по Х"), panel);
    Label30->setObjectName(QStringLiteral("Label30"));
    Label30->setToolTip(stepHint);
    StepSelect = new QComboBox(panel);
    StepSelect->setObjectName(QStringLiteral("StepSelect"));
    StepSelect->addItems({QStringLiteral("мин."), QStringLiteral("час.")});
    StepSelect->setCurrentIndex(0);
    StepSelect->setToolTip(stepHint);
    StepSelect->setMinimumWidth(72);
    Label30->setBuddy(StepSelect);

    CheckBox1 = new QCheckBox(QStringLiteral("Автообновление"), panel);
    CheckBox1->setObjectName(QStringLiteral("CheckBox1"));
    CheckBox1->setChecked(false);
    CheckBox1->setToolTip(QStringLiteral("Шкала времени следует за каждой новой точкой"));

    GraphColor = new QComboBox(panel);
    GraphColor->setObjectName(QStringLiteral("GraphColor"));
    GraphColor->setToolTip(QStringLiteral("Цвет линии графика"));
    GraphColor->setIconSize(QSize(28, 14));
    for (const NamedColor& c : kColors) {
        const QColor color = QColor::fromRgb(c.rgb);
        GraphColor->addItem(Swatch(color), QString::fromUtf8(c.name), color);
    }
    // The line over the chart: the chart's files, and the record shown
    // beside the live curve while one is open.
    recordBar_ = new QWidget(this);
    recordBar_->setObjectName(QStringLiteral("RecordBar"));
    RecordLabel = new QLabel(recordBar_);
    RecordLabel->setObjectName(QStringLiteral("RecordLabel"));
    RecordLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    RecordLabel->setStyleSheet(
        QStringLiteral("color: %1; font-weight: bold").arg(kRecordColor.name()));
    CloseRecordBtn = new QPushButton(QStringLiteral("Убрать запись"), recordBar_);
    CloseRecordBtn->setObjectName(QStringLiteral("CloseRecordBtn"));
    CloseRecordBtn->setToolTip(QStringLiteral("Убрать записанный прогон с графика"));
    CloseRecordBtn->setEnabled(false);
    // The open record's name and its button on a line of their own, so
    // that an 800-pixel screen still shows the buttons above whole.
    auto* lines = new QGridLayout(recordBar_);
    lines->setContentsMargins(6, 0, 6, 0);
    lines->setHorizontalSpacing(6);
    lines->setVerticalSpacing(4);
    auto* files = new QHBoxLayout;
    files->setSpacing(6);
    files->addWidget(GraphColor);
    files->addWidget(SaveBtn);
    files->addWidget(OpenRecordBtn);
    files->addStretch(1);
    lines->addLayout(files, 0, 0, 1, 2);
    lines->addWidget(RecordLabel, 1, 0);
    lines->addWidget(CloseRecordBtn, 1, 1);
    lines->setColumnStretch(0, 1);
    RecordLabel->hide();
    CloseRecordBtn->hide();

    auto* actions = new QGridLayout;
    actions->setHorizontalSpacing(6);
    actions->setVerticalSpacing(4);
    actions->addWidget(RefreshBtn, 0, 0);
    actions->addWidget(ClrBtn, 1, 0);
    actions->addWidget(Print_Btn, 0, 1);
    actions->addWidget(CheckBox1, 1, 1);

    auto* options = new QGridLayout;
    options->setHorizontalSpacing(6);
    options->setVerticalSpacing(4);
    options->addWidget(Label30, 0, 0);
    options->addWidget(StepSelect, 1, 0);

    auto* row = new QHBoxLayout(panel);
    row->setContentsMargins(6, 4, 6, 4);
    row->setSpacing(8);
    row->addWidget(moveBox);
    row->addWidget(stretchBox);
    row->addLayout(actions);
    row->addLayout(options);
    row->addStretch(1);

    for (QToolButton* b : {LeftMoveBtn, DownMoveBtn, UpMoveBtn, RightMoveBtn}) {
        connect(b, &QToolButton::clicked, this, [this, b] { MoveBtnClick(b); });
    }
    for (QToolButton* b : {LeftScrathBtn, DownScrathBtn, UpScrathBtn, RightScrathBtn}) {
        connect(b, &QToolButton::clicked, this, [this, b] { LeftScrathBtnClick(b); });
    }
    connect(RefreshBtn, &QPushButton::clicked, this, &TGraphPage::RefreshBtnClick);
    connect(ClrBtn, &QPushButton::clicked, this, &TGraphPage::ClrBtnClick);
    connect(Print_Btn, &QPushButton::clicked, this, &TGraphPage::Print_BtnClick);
    connect(SaveBtn, &QPushButton::clicked, this, &TGraphPage::SaveBtnClick);
    connect(OpenRecordBtn, &QPushButton::clicked, this, &TGraphPage::OpenRecordBtnClick);
    connect(CloseRecordBtn, &QPushButton::clicked, this, &TGraphPage::CloseRecord);
    connect(StepSelect, &QComboBox::currentIndexChanged, this, &TGraphPage::StepSelectChange);
    connect(GraphColor, &QComboBox::currentIndexChanged, this, &TGraphPage::GraphColorCloseUp);
    connect(CheckBox1, &QCheckBox::toggled, this, &TGraphPage::autoUpdateChanged);
    return panel;
}

void TGraphPage::BuildChart() {
    Chart1 = new QCustomPlot(this);
    Chart1->setObjectName(QStringLiteral("Chart1"));
    Chart1->setMinimumSize(200, 150);
    Chart1->setLocale(QLocale::c());
    Chart1->setBackground(Qt::white);
    Chart1->legend->setVisible(false);
    Chart1->axisRect()->setBackground(Qt::white);
    // A closed box around the plot; the top and right sides only frame it.
    Chart1->axisRect()->setupFullAxesBox(true);
    for (QCPAxis* axis : {Chart1->xAxis2, Chart1->yAxis2}) {
        axis->setTicks(false);
        axis->setTickLabels(false);
    }

    const QPen axisPen(QColor(0x50, 0x50, 0x50), 1);
    const QPen gridPen(QColor(0xdc, 0xdc, 0xdc), 1, Qt::SolidLine);
    QFont tickFont = font();
    tickFont.setPointSizeF(std::max(7.5, tickFont.pointSizeF() - 0.5));
    for (QCPAxis* axis : Chart1->axisRect()->axes()) {
        axis->setBasePen(axisPen);
        axis->setTickPen(axisPen);
        axis->setSubTickPen(axisPen);
        axis->setTickLabelFont(tickFont);
        axis->setTickLabelColor(QColor(0x30, 0x30, 0x30));
        axis->setLabelColor(QColor(0x30, 0x30, 0x30));
        axis->grid()->setPen(gridPen);
        axis->grid()->setZeroLinePen(gridPen);
    }
    Chart1->xAxis->grid()->setVisible(true);
    Chart1->yAxis->grid()->setVisible(true);
    Chart1->xAxis->setLabel(TimeCaption(kMinutesMultiplier));
    Chart1->yAxis->setLabel(QStringLiteral("Значение"));
    Chart1->xAxis->ticker()->setTickCount(8);

    // Line joins drawn the quick way: a week of noisy points redraws in a
    // few milliseconds instead of tens.
    Chart1->setPlottingHint(QCP::phFastPolylines, true);

    graph_ = Chart1->addGraph();
    graph_->setLineStyle(QCPGraph::lsLine);
    // A week of points drawn as one min/max pair per pixel column.
    graph_->setAdaptiveSampling(true);
    graph_->setPen(QPen(SeriesColor(-1), kLineWidth));

    recordGraph_ = Chart1->addGraph();
    recordGraph_->setLineStyle(QCPGraph::lsLine);
    recordGraph_->setAdaptiveSampling(true);
    recordGraph_->setPen(QPen(kRecordColor, kRecordLineWidth));

    // Zoom by framing an area with the mouse; framing it from right to left
    // gives the automatic limits back.
    Chart1->setSelectionRectMode(QCP::srmCustom);
    Chart1->selectionRect()->setPen(QPen(QColor(0x40, 0x40, 0x40), 1, Qt::DashLine));
    Chart1->selectionRect()->setBrush(QColor(0x1f, 0x4e, 0x8c, 28));
    connect(Chart1->selectionRect(), &QCPSelectionRect::accepted, this,
            [this](const QRect& rect, QMouseEvent*) { ZoomTo(rect); });
}

QCustomPlot* TGraphPage::Plot() const {
    return Chart1;
}

bool TGraphPage::AutoUpdate() const {
    return CheckBox1->isChecked();
}

TParams* TGraphPage::ShownRecord() const {
    if (!shown_) return nullptr;
    return model_.Regulator(shown_->device, shown_->regulator);
}

void TGraphPage::ShowRegulator(std::optional<RegulatorRef> ref) {
    if (ref && model_.Regulator(ref->device, ref->regulator) == nullptr) ref.reset();
    for (std::size_t d = 0; d < model_.DeviceList.Count(); ++d) {
        for (int r = 1; r <= 2; ++r) {
            if (TParams* reg = model_.Regulator(d, r)) reg->Serie.SetActive(false);
        }
    }
    const bool same = ref == shown_;
    shown_ = ref;
    TParams* record = ShownRecord();
    if (record != nullptr) record->Serie.SetActive(true);

    const double multiplier =
        record != nullptr ? UsableMultiplier(record->Serie.XMultiplier()) : multiplier_;
    {
        const QSignalBlocker blocker(StepSelect);
        StepSelect->setCurrentIndex(StepForMultiplier(multiplier));
    }
    Chart1->xAxis->setLabel(TimeCaption(multiplier));
    ShowColor(record != nullptr ? record->Serie.Color() : -1);

    if (!same || multiplier != multiplier_) {
        multiplier_ = multiplier;
        Rebuild();
    } else {
        TakeNewPoints();
    }
    ApplyRanges();
    ScheduleReplot();
}

void TGraphPage::PointAdded(RegulatorRef ref, double /*x*/, double /*y*/) {
    // The point itself is in the record; a hidden regulator's series just
    // keeps it until it is shown.
    if (!shown_ || ref != *shown_) return;
    TakeNewPoints();
    ApplyRanges();
    ScheduleReplot();
}

void TGraphPage::SetTimeAxisAutomatic() {
    timeAxis_.SetMaxAutomatic();
    ApplyRanges();
    ScheduleReplot();
}

void TGraphPage::AutoScaleGraph() {
    zoomTimer_.stop();
    valueAxis_.SetAutomatic();
    timeAxis_.SetAutomatic();
    ApplyRanges();
    ReplotNow();
}

void TGraphPage::Clear() {
    zoomTimer_.stop();
    shown_.reset();
    Rebuild();
    ApplyRanges();
    ScheduleReplot();
}

void TGraphPage::ClearGraph() {
    if (TParams* record = ShownRecord()) record->Serie.Clear();
    Rebuild();
    ApplyRanges();
    ReplotNow();
}

void TGraphPage::Rebuild() {
    bounds_.Reset();
    taken_ = 0;
    TParams* record = ShownRecord();
    if (record == nullptr) {
        graph_->data()->clear();
        return;
    }
    std::vector<ChartPoint> points;
    taken_ = record->Serie.CopyFrom(0, points);
    QVector<QCPGraphData> onChart;
    onChart.reserve(static_cast<qsizetype>(points.size()));
    for (const ChartPoint& p : points) {
        onChart.append(QCPGraphData(p.x * multiplier_, p.y));
        bounds_.Add(p.x, p.y);
    }
    // Elapsed times only grow; the container sorts them itself otherwise.
    const bool inOrder =
        std::is_sorted(points.begin(), points.end(),
                       [](const ChartPoint& a, const ChartPoint& b) { return a.x < b.x; });
    graph_->data()->set(onChart, inOrder);
}

void TGraphPage::TakeNewPoints() {
    TParams* record = ShownRecord();
    if (record == nullptr) return;
    if (record->Serie.Size() < taken_) {
        // Emptied behind the chart's back: start over.
        Rebuild();
        return;
    }
    fresh_.clear();
    taken_ = record->Serie.CopyFrom(taken_, fresh_);
    for (const ChartPoint& p : fresh_) {
        graph_->addData(p.x * multiplier_, p.y);
        bounds_.Add(p.x, p.y);
    }
}

void TGraphPage::ShowColor(std::int32_t bgr) {
    const QColor color = SeriesColor(bgr);
    int index = -1;
    for (int i = 0; i < GraphColor->count(); ++i) {
        if (GraphColor->itemData(i).value<QColor>() == color) {
            index = i;
            break;
        }
    }
    if (index < 0) {
        // A colour from the project file that the list does not name.
        while (GraphColor->count() > kColorCount)
            GraphColor->removeItem(kColorCount);
        GraphColor->addItem(Swatch(color), color.name(), color);
        index = kColorCount;
    }
    const QSignalBlocker blocker(GraphColor);
    GraphColor->setCurrentIndex(index);
    graph_->setPen(QPen(color, kLineWidth));
}

std::optional<TAxisLimits> TGraphPage::BoundsX() const {
    return Union(bounds_.X(), recordBounds_.X());
}

std::optional<TAxisLimits> TGraphPage::BoundsY() const {
    return Union(bounds_.Y(), recordBounds_.Y());
}

void TGraphPage::ApplyRanges() {
    SetRange(Chart1->xAxis, timeAxis_.Shown(Scaled(BoundsX(), multiplier_)));
    SetRange(Chart1->yAxis, valueAxis_.Shown(BoundsY()));
}

void TGraphPage::ScheduleReplot() {
    replotPending_ = true;
    if (isVisible() && !replotTimer_.isActive()) replotTimer_.start();
}

void TGraphPage::ReplotNow() {
    replotTimer_.stop();
    if (!isVisible()) {
        replotPending_ = true;
        return;
    }
    replotPending_ = false;
    Chart1->replot(QCustomPlot::rpQueuedReplot);
}

void TGraphPage::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    // Room for the sideways scroll bar only while the buttons need one.
    QWidget* panel = panelScroll_->widget();
    const bool narrow = panel->minimumSizeHint().width() > panelScroll_->width();
    const int bar = narrow ? panelScroll_->horizontalScrollBar()->sizeHint().height() : 0;
    panelScroll_->setFixedHeight(panel->sizeHint().height() + bar);
}

void TGraphPage::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (replotPending_) {
        replotPending_ = false;
        Chart1->replot();
    }
}

void TGraphPage::MoveBtnClick(QAbstractButton* button) {
    zoomTimer_.stop();
    const bool time = button == LeftMoveBtn || button == RightMoveBtn;
    const bool forward = button == LeftMoveBtn || button == DownMoveBtn;
    if (time) {
        timeAxis_.Fix(MoveLimits(timeAxis_.Shown(Scaled(BoundsX(), multiplier_)), forward));
    } else {
        valueAxis_.Fix(MoveLimits(valueAxis_.Shown(BoundsY()), forward));
    }
    ApplyRanges();
    ReplotNow();
}

void TGraphPage::LeftScrathBtnClick(QAbstractButton* button) {
    zoomTimer_.stop();
    const bool time = button == DownScrathBtn || button == RightScrathBtn;
    const bool narrow = button == LeftScrathBtn || button == DownScrathBtn;
    if (time) {
        timeAxis_.Fix(StretchLimits(timeAxis_.Shown(Scaled(BoundsX(), multiplier_)), narrow));
    } else {
        valueAxis_.Fix(StretchLimits(valueAxis_.Shown(BoundsY()), narrow));
    }
    ApplyRanges();
    ReplotNow();
}

void TGraphPage::RefreshBtnClick() {
    AutoScaleGraph();
}

void TGraphPage::ClrBtnClick() {
    ClearGraph();
}

void TGraphPage::Print_BtnClick() {
    // The chart is drawn as it stands, with the points that arrived last.
    TakeNewPoints();
    ApplyRanges();
    PrintChart(*Chart1, this);
}

void TGraphPage::SaveBtnClick() {
    const QString path = ChooseFile({.parent = this,
                                     .choice = FileChoice::Save,
                                     .caption = QStringLiteral("Сохранить график"),
                                     .folder = recordsFolder_,
                                     .filter = QStringLiteral("Точки графика (*.csv);;"
                                                              "Рисунок PNG (*.png);;"
                                                              "Документ PDF (*.pdf)")});
    if (path.isEmpty()) return;
    const QString problem = SaveChart(path);
    if (!problem.isEmpty()) Inform(this, problem, MessageKind::Error);
}

QString TGraphPage::SaveChart(const QString& chosen) {
    TakeNewPoints();
    ApplyRanges();
    // A name without a type gets the points.
    const QString path =
        QFileInfo(chosen).suffix().isEmpty() ? chosen + QStringLiteral(".csv") : chosen;
    const QString suffix = QFileInfo(path).suffix().toLower();
    bool saved = false;
    if (suffix == QStringLiteral("csv")) {
        std::vector<ChartPoint> points;
        if (const TParams* record = ShownRecord()) {
            record->Serie.CopyFrom(0, points);
        } else {
            points = recordPoints_;
        }
        std::ofstream out(path.toStdString(), std::ios::binary | std::ios::trunc);
        std::string text = "minutes,value\n";
        char line[64];
        for (const ChartPoint& p : points) {
            if (std::isnan(p.y)) continue;  // a failed poll of a record
            std::snprintf(line, sizeof line, "%.4f,%.9g\n", p.x, p.y);
            text += line;
        }
        out << text;
        out.close();
        saved = static_cast<bool>(out);
    } else if (suffix == QStringLiteral("png")) {
        Chart1->replot(QCustomPlot::rpImmediateRefresh);
        saved = Chart1->savePng(path, Chart1->width(), Chart1->height());
    } else if (suffix == QStringLiteral("pdf")) {
        Chart1->replot(QCustomPlot::rpImmediateRefresh);
        saved = Chart1->savePdf(path, Chart1->width(), Chart1->height());
    } else {
        return QStringLiteral(
                   "График сохраняется в файл CSV, PNG или PDF; тип файла \"%1\" "
                   "не подходит.")
            .arg(suffix);
    }
    if (!saved) return QStringLiteral("Не удалось записать файл %1.").arg(path);
    return {};
}

void TGraphPage::OpenRecordBtnClick() {
    const QString path = ChooseFile({.parent = this,
                                     .choice = FileChoice::Open,
                                     .caption = QStringLiteral("Открыть запись опроса"),
                                     .folder = recordsFolder_,
                                     .filter = QStringLiteral("Записи опроса (*.csv);;"
                                                              "Все файлы (*)")});
    if (path.isEmpty()) return;
    const QString problem = OpenRecord(path);
    if (!problem.isEmpty()) Inform(this, problem, MessageKind::Warning);
}

QString TGraphPage::OpenRecord(const QString& path) {
    const TrendLoad load = LoadTrend(path.toStdString());
    const QString problem = QString::fromStdString(TrendLoadProblem(load));
    if (!load.opened) return problem;
    recordFile_ = path;
    recordPoints_.clear();
    recordPoints_.reserve(load.points.size());
    for (const TrendPoint& p : load.points)
        recordPoints_.push_back({p.minutes, p.value});
    const QString name = QFileInfo(path).fileName();
    RecordLabel->setText(QStringLiteral("Запись: %1 — точек: %2").arg(name).arg(load.rows));
    RecordLabel->setToolTip(QStringLiteral("%1\nточек: %2").arg(path).arg(load.rows));
    CloseRecordBtn->setEnabled(true);
    RecordLabel->show();
    CloseRecordBtn->show();
    RebuildRecord();
    AutoScaleGraph();
    return problem;
}

void TGraphPage::CloseRecord() {
    recordFile_.clear();
    recordPoints_.clear();
    recordPoints_.shrink_to_fit();
    RecordLabel->clear();
    RecordLabel->setToolTip({});
    CloseRecordBtn->setEnabled(false);
    RecordLabel->hide();
    CloseRecordBtn->hide();
    RebuildRecord();
    ApplyRanges();
    ReplotNow();
}

void TGraphPage::RebuildRecord() {
    recordBounds_.Reset();
    QVector<QCPGraphData> onChart;
    onChart.reserve(static_cast<qsizetype>(recordPoints_.size()));
    bool inOrder = true;
    double last = -std::numeric_limits<double>::infinity();
    for (const ChartPoint& p : recordPoints_) {
        onChart.append(QCPGraphData(p.x * multiplier_, p.y));
        recordBounds_.Add(p.x, p.y);
        inOrder = inOrder && p.x >= last;
        last = p.x;
    }
    recordGraph_->data()->set(onChart, inOrder);
}

void TGraphPage::StepSelectChange(int index) {
    const double multiplier = MultiplierForStep(index);
    if (TParams* record = ShownRecord()) record->Serie.SetXMultiplier(multiplier);
    Chart1->xAxis->setLabel(TimeCaption(multiplier));
    if (multiplier == multiplier_) return;
    // A fixed time axis keeps showing the same stretch of time.
    timeAxis_.Rescale(multiplier / multiplier_);
    multiplier_ = multiplier;
    Rebuild();
    RebuildRecord();
    ApplyRanges();
    ReplotNow();
}

void TGraphPage::GraphColorCloseUp(int index) {
    if (index < 0) return;
    const QColor color = GraphColor->itemData(index).value<QColor>();
    if (TParams* record = ShownRecord()) record->Serie.SetColor(SeriesColorValue(color));
    graph_->setPen(QPen(color, kLineWidth));
    ReplotNow();
}

void TGraphPage::ZoomTo(const QRect& pixels) {
    if (pixels.right() < pixels.left()) {
        AutoScaleGraph();
        return;
    }
    const QRect area = pixels.normalized();
    if (area.width() < 4 || area.height() < 4) return;
    QCPAxis* x = Chart1->xAxis;
    QCPAxis* y = Chart1->yAxis;
    zoomFromX_ = {x->range().lower, x->range().upper};
    zoomFromY_ = {y->range().lower, y->range().upper};
    zoomToX_ = {x->pixelToCoord(area.left()), x->pixelToCoord(area.right())};
    zoomToY_ = {y->pixelToCoord(area.bottom()), y->pixelToCoord(area.top())};
    zoomStep_ = 0;
    zoomTimer_.start();
}

void TGraphPage::ZoomStep() {
    ++zoomStep_;
    const double t = static_cast<double>(zoomStep_) / kZoomSteps;
    auto between = [t](TAxisLimits from, TAxisLimits to) {
        return TAxisLimits{from.min + (to.min - from.min) * t, from.max + (to.max - from.max) * t};
    };
    timeAxis_.Fix(between(zoomFromX_, zoomToX_));
    valueAxis_.Fix(between(zoomFromY_, zoomToY_));
    if (zoomStep_ >= kZoomSteps) zoomTimer_.stop();
    ApplyRanges();
    ReplotNow();
}

}  // namespace zorvat
