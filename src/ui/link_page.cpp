#include "link_page.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>

#include "line_stats.h"
#include "ui_read_button.h"

namespace zorvat {
namespace {

constexpr int kPortCount = 10;  // COM1..COM10 in the lists

const char* const kSearchCaption = "&Найти приборы";
const char* const kStopSearchCaption = "&Остановить поиск";

}  // namespace

TLinkPage::TLinkPage(QWidget* parent) : QWidget(parent) {
    setObjectName("TabSheet1");
    auto* layout = new QHBoxLayout(this);

    auto* search = new QGroupBox("Поиск приборов ZURURU-71");
    search->setObjectName("ElGroupBox1");
    auto* grid = new QGridLayout(search);
    auto* heading = new QLabel("<b>Диапазон поиска</b>");
    grid->addWidget(heading, 0, 0, 1, 4);

    QStringList ports;
    for (int n = 1; n <= kPortCount; ++n)
        ports << QString("COM%1").arg(n);
    auto portList = [&](const char* name, int index) {
        auto* box = new QComboBox;
        box->setObjectName(name);
        box->addItems(ports);
        box->setCurrentIndex(index);
        return box;
    };
    auto addressEdit = [](const char* name, int value) {
        auto* edit = new QSpinBox;
        edit->setObjectName(name);
        edit->setRange(1, 255);
        edit->setValue(value);
        return edit;
    };
    // A row "<caption> от [first] до [second]".
    auto range = [grid](int row, const char* caption, QWidget* first, QWidget* second) {
        grid->addWidget(new QLabel(caption), row, 0);
        grid->addWidget(first, row, 1);
        grid->addWidget(new QLabel("до"), row, 2);
        grid->addWidget(second, row, 3);
    };
    comMin_ = portList("COMmin", 0);
    comMax_ = portList("COMmax", 1);
    range(1, "По портам:   от", comMin_, comMax_);
    minAddr_ = addressEdit("MinAddr", 1);
    maxAddr_ = addressEdit("MaxAddr", 5);
    range(2, "По адресам: от", minAddr_, maxAddr_);

    baud_ = new QComboBox;
    baud_->setObjectName("cmbBaudIptv");
    baud_->addItems({"300", "600", "1200", "2400", "4800", "9600", "19200"});
    baud_->setCurrentText("9600");
    grid->addWidget(new QLabel("Скорость, бод"), 3, 0);
    grid->addWidget(baud_, 3, 1);

    // The fast search: all ports of the range at once, a silent address
    // given up after the line's time plus a margin for the turnaround.
    fast_ = new QCheckBox("&Быстрый поиск");
    fast_->setObjectName("FastSearchCheck");
    fast_->setToolTip(
        "Порты диапазона опрашиваются одновременно, а молчащий адрес пропускается через "
        "время передачи запроса и ответа на выбранной скорости плюс запас на ответ прибора.");
    margin_ = new QSpinBox;
    margin_->setObjectName("FastSearchMargin");
    margin_->setRange(5, 1000);
    margin_->setValue(SearchRange::kFastSearchMargin);
    margin_->setSuffix(" мс");
    margin_->setToolTip("Запас на ответ прибора при быстром поиске");
    margin_->setEnabled(false);
    connect(fast_, &QCheckBox::toggled, margin_, &QWidget::setEnabled);
    grid->addWidget(fast_, 4, 0, 1, 2);
    grid->addWidget(new QLabel("запас"), 4, 2);
    grid->addWidget(margin_, 4, 3);

    searchBtn_ = new QPushButton(kSearchCaption);
    searchBtn_->setObjectName("RzBitBtn1");
    searchBtn_->setIcon(style()->standardIcon(QStyle::SP_FileDialogContentsView));
    searchBtn_->setMinimumHeight(32);
    grid->addWidget(searchBtn_, 5, 0, 1, 4);

    readAllBtn_ = new QPushButton;
    readAllBtn_->setObjectName("ReadAllPar_Btn");
    readAllBtn_->setCheckable(true);
    ShowReadForm(readAllBtn_, false, ReadScope::All);
    readAllBtn_->setEnabled(false);
    readAllBtn_->setIcon(style()->standardIcon(QStyle::SP_ArrowDown));
    readAllBtn_->setMinimumHeight(32);
    grid->addWidget(readAllBtn_, 6, 0, 1, 4);
    grid->setRowStretch(7, 1);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);
    layout->addWidget(search, 1);

    // The found instrument, with a panel over it while nothing was found.
    auto* stack = new QStackedWidget;
    devInfoStack_ = stack;
    auto* info = new QGroupBox("Найденный прибор");
    info->setObjectName("DevInfoPanel");
    devInfoPanel_ = info;
    auto* infoLayout = new QVBoxLayout(info);
    memo_ = new QPlainTextEdit;
    memo_->setObjectName("FindedDevmem");
    memo_->setReadOnly(true);
    memo_->setPlainText("Прибор не найден");
    infoLayout->addWidget(memo_, 1);
    checkLinkBtn_ = new QPushButton("Проверить &связь");
    checkLinkBtn_->setObjectName("CheckConnectBtn");
    checkLinkBtn_->setIcon(style()->standardIcon(QStyle::SP_DialogApplyButton));
    readOneBtn_ = new QPushButton;
    readOneBtn_->setObjectName("Read_sets_Btn");
    readOneBtn_->setCheckable(true);
    ShowReadForm(readOneBtn_, false);
    readOneBtn_->setIcon(style()->standardIcon(QStyle::SP_ArrowDown));
    infoLayout->addWidget(checkLinkBtn_);
    infoLayout->addWidget(readOneBtn_);

    devInfoHide_ = new QFrame;
    devInfoHide_->setObjectName("DevInfoPanelHide");
    devInfoHide_->setFrameShape(QFrame::StyledPanel);
    auto* hideLayout = new QVBoxLayout(devInfoHide_);
    auto* none = new QLabel("Приборы не найдены");
    none->setAlignment(Qt::AlignCenter);
    none->setWordWrap(true);  // a narrow window breaks it, not cuts it
    QFont big = none->font();
    big.setPointSizeF(big.pointSizeF() * 1.3);
    big.setBold(true);
    none->setFont(big);
    hideLayout->addWidget(none);

    stack->addWidget(info);
    stack->addWidget(devInfoHide_);

    // A port's line statistics, below the panel while a port is selected.
    statsBox_ = new QGroupBox;
    statsBox_->setObjectName("LineStatsBox");
    auto* statsLayout = new QVBoxLayout(statsBox_);
    statsText_ = new QLabel;
    statsText_->setObjectName("LineStatsText");
    statsText_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    statsText_->setWordWrap(true);
    statsLayout->addWidget(statsText_);
    statsReset_ = new QPushButton("С&бросить статистику");
    statsReset_->setObjectName("LineStatsReset");
    statsLayout->addWidget(statsReset_);
    connect(statsReset_, &QPushButton::clicked, this, [this] {
        ResetLineStats(statsPort_.toStdString());
        RefreshLineStats();
    });
    statsBox_->hide();
    statsTimer_ = new QTimer(this);
    statsTimer_->setInterval(1000);
    connect(statsTimer_, &QTimer::timeout, this, [this] { RefreshLineStats(); });

    auto* right = new QVBoxLayout;
    right->addWidget(stack, 1);
    right->addWidget(statsBox_);
    layout->addLayout(right, 1);
}

void TLinkPage::ShowLineStats(const QString& port) {
    statsPort_ = port;
    statsBox_->setVisible(!port.isEmpty());
    if (port.isEmpty()) {
        statsTimer_->stop();
        return;
    }
    statsBox_->setTitle("Статистика линии " + port);
    RefreshLineStats();
    statsTimer_->start();
}

void TLinkPage::RefreshLineStats() {
    if (statsPort_.isEmpty()) return;
    QStringList lines;
    for (const std::string& line : LineStatsLines(LineStatsOf(statsPort_.toStdString())))
        lines << QString::fromStdString(line);
    statsText_->setText(lines.join("\n"));
}

SearchRange TLinkPage::Range() {
    SearchRange range;
    range.COMmin = comMin_->currentIndex() + 1;
    range.COMmax = comMax_->currentIndex() + 1;
    range.MinAddr = minAddr_->value();
    range.MaxAddr = maxAddr_->value();
    range.Baudrate = baud_->currentText().toInt();
    range.fast = fast_->isChecked();
    range.marginMs = margin_->value();
    if (range.COMmax < range.COMmin) comMax_->setCurrentIndex(range.COMmin - 1);
    if (range.MaxAddr < range.MinAddr) maxAddr_->setValue(range.MinAddr);
    return range;
}

void TLinkPage::SetSearchForm(bool running) {
    searching_ = running;
    for (QWidget* w :
         std::initializer_list<QWidget*>{comMin_, comMax_, minAddr_, maxAddr_, baud_, fast_})
        w->setEnabled(!running);
    margin_->setEnabled(!running && fast_->isChecked());
    searchBtn_->setText(running ? kStopSearchCaption : kSearchCaption);
    searchBtn_->setIcon(style()->standardIcon(running ? QStyle::SP_BrowserStop
                                                      : QStyle::SP_FileDialogContentsView));
}

void TLinkPage::SetMemo(const QStringList& lines) {
    memo_->setPlainText(lines.join('\n'));
}

void TLinkPage::SetMemoLines(const std::vector<std::string>& lines) {
    QStringList text;
    for (const auto& line : lines)
        text << QString::fromStdString(line);
    SetMemo(text);
}

void TLinkPage::ClearMemo() {
    memo_->clear();
}

void TLinkPage::ShowNoInstrumentsPanel(bool shown) {
    devInfoStack_->setCurrentWidget(shown ? static_cast<QWidget*>(devInfoHide_) : devInfoPanel_);
}

bool TLinkPage::NoInstrumentsPanelShown() const {
    return devInfoStack_->currentWidget() == devInfoHide_;
}

}  // namespace zorvat
