#include "regulator_page.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QEvent>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "Devices.h"
#include "message_box.h"
#include "model.h"
#include "operations.h"
#include "regulator_grid.h"
#include "regulator_widgets.h"
#include "ui_read_button.h"

namespace zorvat {

namespace {

constexpr int kRows = 9;
constexpr int kValueColumn = 2;
constexpr int kCheckColumn = 1;
constexpr int kKpRow = 2;
constexpr int kRelayTimeRow = 7;
constexpr int kPwmRow = 8;

struct RowInfo {
    const char* name;
    int decimals;
    // The record's field of a row that shows a real as it is stored; the
    // relay time and PWM period, whole numbers in the record, have none.
    std::atomic<double> TParams::*real;
};
// Rows 1..8 of the table; row 0 is the header.
constexpr RowInfo kRowInfo[kRows] = {
    {"Название", 0, nullptr},
    {"Уставка регулятора [ ед. изм. ]", 4, &TParams::Setpoint},
    {"Кп [ %/ед. изм. ]", 2, &TParams::Kp},
    {"tи [ сек. ]", 1, &TParams::Ti},
    {"tд [ сек. ]", 1, &TParams::Td},
    {"Зона нечувствительности[ед. изм.]", 4, &TParams::DeadZone},
    {"Максимальная мощность Pmax [ % ]", 1, &TParams::Pmax},
    {"Мин. время между перекл. реле [сек ]", 1, nullptr},
    {"Период ШИМ сигнала [сек.]", 1, nullptr},
};

const char* const kSwitchOnCaption = "Включить регулятор";
const char* const kSwitchOffCaption = "Выключить регулятор";
const char* const kWriteCaption = "Записать параметры в прибор";
const char* const kStopWriteCaption = "Остановить запись";

template <typename T>
bool Contains(const std::vector<T>& v, const T& x) {
    return std::find(v.begin(), v.end(), x) != v.end();
}

QPushButton* MakeButton(const QString& text, const char* name, QWidget* parent,
                        bool checkable = false) {
    auto* b = new QPushButton(text, parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setCheckable(checkable);
    return b;
}

}  // namespace

TRegulatorPage::TRegulatorPage(TModel& model, TOperations& ops, TSurfaces& surfaces,
                               QWidget* parent)
    : QWidget(parent),
      model_(model),
      ops_(ops),
      surfaces_(surfaces),
      choice_(model, this, QStringLiteral("Reg_1_Btn"), QStringLiteral("Reg_2_Btn"),
              [this](int number) { emit regulatorChosen(number); }) {
    setObjectName(QStringLiteral("Tabsets"));
    BuildUi();
    RefreshTimer = new QTimer(this);
    RefreshTimer->setObjectName(QStringLiteral("RefreshTimer"));
    RefreshTimer->setInterval(1000);
    connect(RefreshTimer, &QTimer::timeout, this, &TRegulatorPage::RefreshTimerTimer);
    Clear();
}

// ---------------------------------------------------------------------------
// Building

void TRegulatorPage::BuildUi() {
    auto* main = new QVBoxLayout(this);
    main->setContentsMargins(6, 6, 6, 6);
    main->setSpacing(6);

    auto* top = new QHBoxLayout;
    Read_sets_Btn1 = MakeButton({}, "Read_sets_Btn1", this, true);
    ShowReadForm(Read_sets_Btn1, false);
    WriteKoeffBtn4 = MakeButton(Text(kWriteCaption), "WriteKoeffBtn4", this, true);
    connect(WriteKoeffBtn4, &QPushButton::clicked, this, &TRegulatorPage::WriteKoeffBtn4Click);
    choice_.AddButtons(top);
    top->addStretch(1);
    top->addWidget(Read_sets_Btn1);
    top->addWidget(WriteKoeffBtn4);
    main->addLayout(top);

    auto* body = new QHBoxLayout;
    body->setSpacing(8);
    body->addWidget(BuildTable(), 1);
    QWidget* side = BuildSideColumn();
    // The relay and input lamps at the foot of the side column: beside the
    // switches they made the page wider than a 1024-pixel screen leaves it.
    side->layout()->addWidget(BuildLiveStates());
    body->addWidget(side, 0);
    main->addLayout(body, 1);

    auto* bottom = new QHBoxLayout;
    bottom->setSpacing(8);
    bottom->addWidget(BuildSwitches(), 0);
    bottom->addStretch(1);
    main->addLayout(bottom);
}

QWidget* TRegulatorPage::BuildTable() {
    Par_Table = new TGrid(kRows, 3, this);
    Par_Table->setObjectName(QStringLiteral("Par_Table"));
    Par_Table->horizontalHeader()->hide();
    Par_Table->verticalHeader()->hide();
    Par_Table->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Par_Table->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Par_Table->setSelectionMode(QAbstractItemView::SingleSelection);
    Par_Table->setEditTriggers(QAbstractItemView::DoubleClicked |
                               QAbstractItemView::EditKeyPressed |
                               QAbstractItemView::AnyKeyPressed);
    Par_Table->setColumnWidth(0, 255);
    Par_Table->setColumnWidth(1, 24);
    Par_Table->setMinimumHeight(kRows * 22 + 2);
    Par_Table->setMinimumWidth(255 + 24 + 110);
    Par_Table->setItemDelegate(new TCellDelegate(
        [](const QModelIndex&) { return TCellDelegate::Editor::Number; }, Par_Table));

    {
        FillGuard guard(filling_);
        for (int row = 0; row < kRows; ++row) {
            for (int col = 0; col < 3; ++col) {
                auto* item = new QTableWidgetItem;
                const bool fixed = row == 0 || col == 0;
                if (fixed) {
                    item->setFlags(Qt::ItemIsEnabled);
                    item->setBackground(FixedCellColor());
                } else if (col == kCheckColumn) {
                    item->setFlags(Qt::ItemIsEnabled);
                } else {
                    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable);
                }
                Par_Table->setItem(row, col, item);
            }
            Par_Table->item(row, 0)->setText(Text(kRowInfo[row].name));
        }
        Par_Table->item(0, kValueColumn)->setText(Text("Значение"));
        QFont headerFont = Par_Table->font();
        headerFont.setBold(true);
        for (int col = 0; col < 3; ++col)
            Par_Table->item(0, col)->setFont(headerFont);
        QTableWidgetItem* kpBox = Par_Table->item(kKpRow, kCheckColumn);
        kpBox->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
        kpBox->setCheckState(Qt::Unchecked);
    }
    connect(Par_Table, &QTableWidget::itemChanged, this, &TRegulatorPage::Par_TableItemChanged);
    Par_Table->installEventFilter(this);
    return Par_Table;
}

QWidget* TRegulatorPage::BuildSideColumn() {
    auto* side = new QWidget(this);
    side->setFixedWidth(292);
    auto* col = new QVBoxLayout(side);
    col->setContentsMargins(0, 0, 0, 0);
    col->setSpacing(5);

    auto* channelRow = new QHBoxLayout;
    channelLabel_ = new QLabel(Text("Изм. канал"), side);
    ChannelBox = new QComboBox(side);
    ChannelBox->setObjectName(QStringLiteral("ChannelBox"));
    channelLabel_->setBuddy(ChannelBox);
    connect(ChannelBox, &QComboBox::currentIndexChanged, this, &TRegulatorPage::ChannelBoxChange);
    channelRow->addWidget(channelLabel_);
    channelRow->addWidget(ChannelBox, 1);
    col->addLayout(channelRow);

    auto* relays = new QGridLayout;
    relays->setHorizontalSpacing(8);
    relays->setVerticalSpacing(2);
    relayLabel1_ = new QLabel(Text("Управл. реле 1"), side);
    relayLabel2_ = new QLabel(Text("Управл. реле 2"), side);
    chl_Relay = new QListWidget(side);
    chl_Relay->setObjectName(QStringLiteral("chl_Relay"));
    chl_Relay2 = new QListWidget(side);
    chl_Relay2->setObjectName(QStringLiteral("chl_Relay2"));
    for (QListWidget* list : {chl_Relay, chl_Relay2}) {
        list->setSelectionMode(QAbstractItemView::NoSelection);
        list->setFocusPolicy(Qt::StrongFocus);
        list->setSpacing(1);
        list->setFixedHeight(4 * (fontMetrics().height() + 5) + 6);
        list->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
        connect(list, &QListWidget::itemChanged, this,
                [this, list](QListWidgetItem*) { RelayListClickCheck(list); });
    }
    relays->addWidget(relayLabel1_, 0, 0);
    relays->addWidget(relayLabel2_, 0, 1);
    relays->addWidget(chl_Relay, 1, 0);
    relays->addWidget(chl_Relay2, 1, 1);
    col->addLayout(relays);

    Direction_Work = new QGroupBox(Text("Направление работы"), side);
    Direction_Work->setObjectName(QStringLiteral("Direction_Work"));
    auto* dir = new QVBoxLayout(Direction_Work);
    dir->setContentsMargins(8, 4, 8, 4);
    dir->setSpacing(2);
    directionGroup_ = new QButtonGroup(Direction_Work);
    auto* reverse = new QRadioButton(Text("Обратное (нагрев)"), Direction_Work);
    auto* direct = new QRadioButton(Text("Прямое (охлаждение)"), Direction_Work);
    reverse->setObjectName(QStringLiteral("Direction_Work_0"));
    direct->setObjectName(QStringLiteral("Direction_Work_1"));
    directionGroup_->addButton(reverse, 0);
    directionGroup_->addButton(direct, 1);
    dir->addWidget(reverse);
    dir->addWidget(direct);
    connect(directionGroup_, &QButtonGroup::idClicked, this, &TRegulatorPage::Direction_WorkClick);
    col->addWidget(Direction_Work);

    sourceLabel_ = new QLabel(Text("Источник уставки регулирования"), side);
    cb_rSou = new QComboBox(side);
    cb_rSou->setObjectName(QStringLiteral("cb_rSou"));
    cb_rSou->addItems({Text("Уставка"), Text("Канал 1"), Text("Канал 2"), Text("Канал 3"), {}});
    sourceLabel_->setBuddy(cb_rSou);
    connect(cb_rSou, &QComboBox::currentIndexChanged, this, &TRegulatorPage::cb_rSouChange);
    col->addWidget(sourceLabel_);
    col->addWidget(cb_rSou);

    cb_rPOS = new QComboBox(side);
    cb_rPOS->setObjectName(QStringLiteral("cb_rPOS"));
    cb_rPOS->addItems(
        {Text("ПИД (двухпозиционное регулирование)"), Text("ПДД (трёхпозиционное регулирование)")});
    connect(cb_rPOS, &QComboBox::currentIndexChanged, this, &TRegulatorPage::cb_rPOSChange);
    col->addWidget(cb_rPOS);
    col->addStretch(1);
    return side;
}

QWidget* TRegulatorPage::BuildSwitches() {
    auto* box = new QWidget(this);
    auto* row = new QHBoxLayout(box);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(8);

    auto* onOff = new QFrame(box);
    onOff->setFrameShape(QFrame::StyledPanel);
    auto* onOffRow = new QHBoxLayout(onOff);
    onOffRow->setContentsMargins(8, 6, 8, 6);
    OnOffPict = new TStatePicture(TStatePicture::Kind::Regulator, onOff);
    OnOffPict->setObjectName(QStringLiteral("OnOffPict"));
    OnOffReg_Btn = MakeButton(Text(kSwitchOnCaption), "OnOffReg_Btn", onOff, true);
    OnOffReg_Btn->setMinimumWidth(
        OnOffReg_Btn->fontMetrics().horizontalAdvance(Text(kSwitchOffCaption)) + 24);
    OnOffReg_Btn->setMinimumHeight(30);
    connect(OnOffReg_Btn, &QPushButton::clicked, this, &TRegulatorPage::OnOffReg_BtnClick);
    onOffRow->addWidget(OnOffPict);
    onOffRow->addWidget(OnOffReg_Btn);
    row->addWidget(onOff);

    autoGroup_ = new QGroupBox(Text("Автонастройка"), box);
    autoGroup_->setObjectName(QStringLiteral("AutoSetGroup"));
    auto* autoRow = new QHBoxLayout(autoGroup_);
    autoRow->setContentsMargins(8, 4, 8, 6);
    AutoSetOn_Btn = MakeButton(Text("Включить"), "AutoSetOn_Btn", autoGroup_, true);
    AutoSetOff_Btn = MakeButton(Text("Выключить"), "AutoSetOff_Btn", autoGroup_, true);
    AutoOnOFFPict = new TStatePicture(TStatePicture::Kind::Autotune, autoGroup_);
    AutoOnOFFPict->setObjectName(QStringLiteral("AutoOnOFFPict"));
    connect(AutoSetOn_Btn, &QPushButton::clicked, this, [this](bool down) {
        if (down) AutoSetBtnClick(true);
    });
    connect(AutoSetOff_Btn, &QPushButton::clicked, this, [this](bool down) {
        if (down) AutoSetBtnClick(false);
    });
    autoRow->addWidget(AutoSetOn_Btn);
    autoRow->addWidget(AutoSetOff_Btn);
    autoRow->addWidget(AutoOnOFFPict);
    row->addWidget(autoGroup_);
    return box;
}

QWidget* TRegulatorPage::BuildLiveStates() {
    DiskretPnl = new QFrame(this);
    DiskretPnl->setObjectName(QStringLiteral("DiskretPnl"));
    DiskretPnl->setFrameShape(QFrame::StyledPanel);
    // The operator only watches it.
    DiskretPnl->setFocusPolicy(Qt::NoFocus);
    QSizePolicy keep = DiskretPnl->sizePolicy();
    keep.setRetainSizeWhenHidden(true);
    DiskretPnl->setSizePolicy(keep);

    auto* grid = new QGridLayout(DiskretPnl);
    grid->setContentsMargins(8, 4, 8, 4);
    grid->setHorizontalSpacing(4);
    grid->setVerticalSpacing(3);
    grid->addWidget(new QLabel(Text("Текущие состояния:"), DiskretPnl), 0, 0, 1, 7);
    grid->addWidget(new QLabel(Text("Реле"), DiskretPnl), 1, 0);
    grid->addWidget(new QLabel(Text("Дискретные входы"), DiskretPnl), 2, 0);
    for (int i = 0; i < 4; ++i) {
        chk_R[i] = new TStateLamp(QString::number(i + 1), DiskretPnl);
        chk_R[i]->setObjectName(QStringLiteral("chk_R%1").arg(i + 1));
        grid->addWidget(chk_R[i], 1, i + 1);
    }
    for (int i = 0; i < 5; ++i) {
        chk_Din[i] = new TStateLamp(QString::number(i + 1), DiskretPnl);
        chk_Din[i]->setObjectName(QStringLiteral("chk_Din%1").arg(i + 1));
        grid->addWidget(chk_Din[i], 2, i + 1);
    }
    grid->setColumnStretch(6, 1);
    return DiskretPnl;
}

// ---------------------------------------------------------------------------
// Showing a regulator

QAbstractButton* TRegulatorPage::ReadButton() const {
    return Read_sets_Btn1;
}

void TRegulatorPage::SetRegulatorColour(int number) {
    const QColor colour = RegulatorColor(number);
    {
        FillGuard guard(filling_);
        for (int col = 0; col < 3; ++col)
            Par_Table->item(0, col)->setForeground(colour);
        for (int row = 1; row < kRows; ++row)
            Par_Table->item(row, 0)->setForeground(colour);
    }
    for (QWidget* w : std::initializer_list<QWidget*>{channelLabel_, ChannelBox, autoGroup_,
                                                      relayLabel1_, Direction_Work}) {
        SetTextColour(w, colour);
    }
}

void TRegulatorPage::ShowRegulator(RegulatorRef ref) {
    choice_.Show(ref);
    SetRegulatorColour(choice_.Number());
    FillRegulatorPage(ref);
}

void TRegulatorPage::SetRegulator2Visible(bool visible) {
    choice_.SetRegulator2Visible(visible);
    sourceLabel_->setVisible(visible);
    cb_rSou->setVisible(visible);
}

void TRegulatorPage::SetRowText(int row) {
    const TParams* r = Reg();
    if (r == nullptr || row < 1 || row >= kRows) return;
    double value = 0;
    if (const auto real = kRowInfo[row].real) {
        value = r->*real;
    } else if (row == kRelayTimeRow) {
        value = r->MinRelayTime / 10.0;
    } else if (row == kPwmRow) {
        value = r->PwmPeriod;
    }
    FillGuard guard(filling_);
    Par_Table->item(row, kValueColumn)->setText(FixedText(value, kRowInfo[row].decimals));
}

void TRegulatorPage::SetValueCellLook(int row, bool grey) {
    FillGuard guard(filling_);
    QTableWidgetItem* item = Par_Table->item(row, kValueColumn);
    item->setBackground(grey ? QBrush(GreyCellColor()) : QBrush());
    // The Kp value stays editable while its box is clear.
    const bool editable = !grey || row == kKpRow;
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable |
                   (editable ? Qt::ItemIsEditable : Qt::NoItemFlags));
}

void TRegulatorPage::FillRegulatorPage(RegulatorRef ref) {
    if (Shown() != ref) return;
    TParams* r = Reg();
    TDevice* d = Dev();
    if (r == nullptr || d == nullptr) return;
    FillGuard guard(filling_);

    const int channels = d->ChannelCount == 0 ? 3 : int{d->ChannelCount.load()};
    ChannelBox->clear();
    for (int k = 1; k <= channels; ++k)
        ChannelBox->addItem(Text("Канал") + QString::number(k));

    const int relays = std::min(d->RelayCount == 0 ? 3 : int{d->RelayCount.load()}, 8);
    for (int i = 1; i < 4; ++i)
        chk_R[i]->setVisible(relays > i);
    chl_Relay->clear();
    chl_Relay2->clear();
    const std::uint8_t masks[2] = {r->Relays1, r->Relays2};
    QListWidget* lists[2] = {chl_Relay, chl_Relay2};
    for (int l = 0; l < 2; ++l) {
        for (int k = 0; k < relays; ++k) {
            auto* item = new QListWidgetItem(Text("Реле") + QString::number(k + 1));
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
            item->setCheckState(((masks[l] >> k) & 1) != 0 ? Qt::Checked : Qt::Unchecked);
            lists[l]->addItem(item);
        }
    }

    const int inputs = DiscreteInputCount(d->ModelCode);
    chk_Din[3]->setVisible(inputs >= 4);
    chk_Din[4]->setVisible(inputs >= 5);

    directionGroup_->button(r->DirectAction ? 1 : 0)->setChecked(true);

    const bool on = r->RegOn;
    OnOffPict->SetOn(on);
    OnOffReg_Btn->setChecked(on);
    OnOffReg_Btn->setText(Text(on ? kSwitchOffCaption : kSwitchOnCaption));
    AutoOnOFFPict->SetOn(r->AutoTune);

    // Regulator 1 always regulates channel 1; regulator 2's channel is not
    // changed while it runs.
    if (ref.regulator == 1) {
        ChannelBox->setCurrentIndex(0);
        ChannelBox->setEnabled(false);
    } else {
        ChannelBox->setCurrentIndex(std::min(int{r->InputChannel.load()}, channels) - 1);
        ChannelBox->setEnabled(!on);
    }

    Par_Table->item(kKpRow, kCheckColumn)->setCheckState(r->KpOn ? Qt::Checked : Qt::Unchecked);
    SetValueCellLook(kKpRow, !r->KpOn);
    SetValueCellLook(1, r->SetpointSource != 0);
    const int source = r->SetpointSource;
    cb_rSou->setCurrentIndex(source < cb_rSou->count() ? source : -1);
    const int mode = r->RegMode;
    cb_rPOS->setCurrentIndex(mode < cb_rPOS->count() ? mode : -1);
    for (int row = 1; row < kRows; ++row)
        SetRowText(row);

    ShowLiveStates(on);
    UpdateWriteButton();
    UpdateSwitchButtons();
}

void TRegulatorPage::Clear() {
    choice_.Clear();
    FillGuard guard(filling_);
    switching_.clear();
    autotuning_.clear();
    for (int row = 1; row < kRows; ++row) {
        SetValueCellLook(row, false);
        Par_Table->item(row, kValueColumn)->setText({});
    }
    Par_Table->item(kKpRow, kCheckColumn)->setCheckState(Qt::Unchecked);
    ChannelBox->clear();
    chl_Relay->clear();
    chl_Relay2->clear();
    cb_rSou->setCurrentIndex(0);
    cb_rPOS->setCurrentIndex(0);
    directionGroup_->button(0)->setChecked(true);
    OnOffPict->SetOn(false);
    AutoOnOFFPict->SetOn(false);
    OnOffReg_Btn->setChecked(false);
    OnOffReg_Btn->setText(Text(kSwitchOnCaption));
    for (TStateLamp* lamp : chk_R)
        lamp->SetActive(false);
    for (TStateLamp* lamp : chk_Din)
        lamp->SetActive(false);
    ShowLiveStates(false);
    SetRegulatorColour(choice_.Number());
    UpdateWriteButton();
    UpdateSwitchButtons();
}

// ---------------------------------------------------------------------------
// Buttons and their operations

void TRegulatorPage::UpdateWriteButton() {
    const TParams* r = Reg();
    // A running write keeps its button, so that it can still be stopped.
    WriteKoeffBtn4->setEnabled(writeRunning_ || (r != nullptr && !r->ProgRunning));
}

void TRegulatorPage::EditMade() {
    const TParams* r = Reg();
    if (r != nullptr && !r->ProgRunning) WriteKoeffBtn4->setEnabled(true);
}

void TRegulatorPage::UpdateSwitchButtons() {
    if (!Shown() || Reg() == nullptr) {
        OnOffReg_Btn->setEnabled(false);
        AutoSetOn_Btn->setEnabled(false);
        AutoSetOff_Btn->setEnabled(false);
        AutoSetOn_Btn->setChecked(false);
        AutoSetOff_Btn->setChecked(false);
        return;
    }
    OnOffReg_Btn->setEnabled(!Contains(switching_, *Shown()));
    const auto tuning = FindTuning(*Shown());
    const bool busy = tuning != autotuning_.end();
    AutoSetOn_Btn->setEnabled(!busy);
    AutoSetOff_Btn->setEnabled(!busy);
    AutoSetOn_Btn->setChecked(busy && tuning->on);
    AutoSetOff_Btn->setChecked(busy && !tuning->on);
}

std::vector<TRegulatorPage::Tuning>::iterator TRegulatorPage::FindTuning(RegulatorRef ref) {
    return std::find_if(autotuning_.begin(), autotuning_.end(),
                        [ref](const Tuning& t) { return t.ref == ref; });
}

void TRegulatorPage::WriteKoeffBtn4Click(bool down) {
    if (!down) {
        // The stop form: the running write ends at its next check.
        ops_.Stop();
        if (model_.WriteThread) WriteKoeffBtn4->setChecked(true);
        return;
    }
    if (!Shown()) {
        WriteKoeffBtn4->setChecked(false);
        return;
    }
    const RegulatorRef ref = *Shown();
    if (ShowMessage({this,
                     MessageKind::Warning,
                     {},
                     Text("Вы действительно хотите записать параметры в прибор?"),
                     QMessageBox::Yes | QMessageBox::No}) != QMessageBox::Yes) {
        WriteKoeffBtn4->setChecked(false);
        return;
    }
    const StartReply reply = ops_.StartWrite(ref.device, ref.regulator);
    if (!reply.started) {
        WriteKoeffBtn4->setChecked(false);
        if (!reply.refusal.empty())
            Inform(this, QString::fromStdString(reply.refusal), MessageKind::Warning);
        return;
    }
    // The write's start comes back through the surfaces: OperationStarted.
}

void TRegulatorPage::OnOffReg_BtnClick(bool down) {
    if (!Shown()) {
        OnOffReg_Btn->setChecked(false);
        return;
    }
    RequestSwitch(*Shown(), down);
}

void TRegulatorPage::SwitchFromTree(RegulatorRef ref, bool on) {
    if (Shown() == ref) OnOffReg_Btn->setChecked(on);
    RequestSwitch(ref, on);
}

void TRegulatorPage::RequestSwitch(RegulatorRef ref, bool on) {
    const bool shown = Shown() == ref;
    auto putBack = [&] {
        if (shown) OnOffReg_Btn->setChecked(!on);
        surfaces_.SetRegulatorChecked(ref, !on);
    };
    // One switch of a regulator at a time: the button is disabled meanwhile,
    // and a tree tick changed meanwhile goes back.
    if (Contains(switching_, ref) || model_.Regulator(ref.device, ref.regulator) == nullptr) {
        putBack();
        return;
    }
    const QString question = on ? Text("Вы действительно хотите включить регулятор?")
                                : Text("Вы действительно хотите выключить регулятор?");
    if (ShowMessage(
            {this, MessageKind::Warning, {}, question, QMessageBox::Yes | QMessageBox::No}) !=
        QMessageBox::Yes) {
        putBack();
        return;
    }
    switching_.push_back(ref);
    if (shown) {
        OnOffReg_Btn->setChecked(on);
        OnOffReg_Btn->setEnabled(false);
    }
    ops_.StartSwitch(ref.device, ref.regulator, on);
}

void TRegulatorPage::AutoSetBtnClick(bool on) {
    QPushButton* pressed = on ? AutoSetOn_Btn : AutoSetOff_Btn;
    if (!Shown() || Reg() == nullptr) {
        pressed->setChecked(false);
        return;
    }
    const RegulatorRef ref = *Shown();
    const QString question = on ? Text("Вы действительно хотите запустить автонастройку?")
                                : Text("Вы действительно хотите остановить автонастройку?");
    if (ShowMessage(
            {this, MessageKind::Warning, {}, question, QMessageBox::Yes | QMessageBox::No}) !=
        QMessageBox::Yes) {
        pressed->setChecked(false);
        return;
    }
    autotuning_.push_back({ref, on});
    UpdateSwitchButtons();
    ops_.StartAutotune(ref.device, ref.regulator, on);
}

void TRegulatorPage::OperationStarted(Operation op) {
    switch (op) {
        case Operation::Write:
            writeRunning_ = true;
            WriteKoeffBtn4->setEnabled(true);
            WriteKoeffBtn4->setChecked(true);
            WriteKoeffBtn4->setText(Text(kStopWriteCaption));
            break;
        case Operation::ReadRegulator:
            ShowReadForm(Read_sets_Btn1, true);
            break;
        default:
            break;
    }
}

void TRegulatorPage::OperationFinished(Operation op) {
    switch (op) {
        case Operation::Write:
            writeRunning_ = false;
            WriteKoeffBtn4->setChecked(false);
            WriteKoeffBtn4->setText(Text(kWriteCaption));
            UpdateWriteButton();
            break;
        case Operation::ReadRegulator:
            ShowReadForm(Read_sets_Btn1, false);
            break;
        case Operation::Switch:
        case Operation::Autotune:
            UpdateSwitchButtons();
            break;
        default:
            break;
    }
}

void TRegulatorPage::RegulatorSwitched(RegulatorRef ref, bool /*on*/, bool /*succeeded*/) {
    const auto it = std::find(switching_.begin(), switching_.end(), ref);
    if (it != switching_.end()) switching_.erase(it);
    // The record says what the regulator is now: on success the new state,
    // on failure the old one, and the button follows it.
    if (Shown() == ref) FillRegulatorPage(ref);
}

void TRegulatorPage::AutotuneSwitched(RegulatorRef ref, bool /*on*/, bool /*succeeded*/) {
    const auto it = FindTuning(ref);
    if (it != autotuning_.end()) autotuning_.erase(it);
    if (Shown() != ref) return;
    if (const TParams* r = Reg()) AutoOnOFFPict->SetOn(r->AutoTune);
    UpdateSwitchButtons();
}

// ---------------------------------------------------------------------------
// Editing

void TRegulatorPage::Par_TableItemChanged(QTableWidgetItem* item) {
    if (filling_ || item == nullptr) return;
    if (item->row() == kKpRow && item->column() == kCheckColumn) {
        Par_TableCheckBoxClick(item->checkState() == Qt::Checked);
    } else if (item->column() == kValueColumn && item->row() >= 1) {
        Par_TableCellValidate(item);
    }
}

void TRegulatorPage::Par_TableCellValidate(QTableWidgetItem* item) {
    TParams* r = Reg();
    if (r == nullptr) return;
    const int row = item->row();
    const std::optional<double> value = ParseNumber(item->text());
    bool accepted = value.has_value();
    if (accepted) {
        const double v = *value;
        if (const auto real = row >= 0 && row < kRows ? kRowInfo[row].real : nullptr) {
            r->*real = v;
        } else if (row == kRelayTimeRow) {
            // Seconds in the cell, tenths of a second in the record.
            accepted = v >= 0 && v <= 500;
            if (accepted) r->MinRelayTime = static_cast<std::uint16_t>(std::nearbyint(v * 10));
        } else if (row == kPwmRow) {
            accepted = v >= 1 && v <= 1000;
            if (accepted) r->PwmPeriod = static_cast<std::uint16_t>(std::nearbyint(v));
        } else {
            accepted = false;
        }
    }
    // A refused entry gives way to the stored value; an accepted one is shown
    // as it is stored (and will be written).
    SetRowText(row);
    if (accepted) EditMade();
}

void TRegulatorPage::Par_TableCheckBoxClick(bool checked) {
    TParams* r = Reg();
    if (r == nullptr) return;
    r->KpOn = checked;
    SetValueCellLook(kKpRow, !checked);
    EditMade();
}

void TRegulatorPage::ChannelBoxChange(int index) {
    if (filling_ || index < 0) return;
    TParams* r = Reg();
    TDevice* d = Dev();
    if (r == nullptr || d == nullptr) return;
    if (Shown()->regulator == 2 && index == 0) {
        // Regulator 2 never regulates channel 1.
        if (ChannelBox->count() > 1) ChannelBox->setCurrentIndex(1);
        return;
    }
    if (((d->InPE >> index) & 1) == 0) {
        Inform(this,
               Text("Данный канал выключен в приборе.\nВключите канал в приборе и считайте "
                    "заново его параметры."),
               MessageKind::Warning);
    }
    SetInputChannel(*r, static_cast<std::uint8_t>(std::min(index + 1, 255)));
    EditMade();
}

void TRegulatorPage::RelayListClickCheck(QListWidget* list) {
    if (filling_) return;
    TParams* r = Reg();
    if (r == nullptr) return;
    unsigned mask = 0;
    for (int k = 0; k < list->count() && k < 8; ++k) {
        if (list->item(k)->checkState() == Qt::Checked) mask |= 1u << k;
    }
    std::atomic<std::uint8_t>& relays = list == chl_Relay ? r->Relays1 : r->Relays2;
    relays = static_cast<std::uint8_t>(mask);
    EditMade();
}

void TRegulatorPage::Direction_WorkClick(int id) {
    if (filling_) return;
    TParams* r = Reg();
    if (r == nullptr) return;
    r->DirectAction = id == 1;
    EditMade();
}

void TRegulatorPage::cb_rSouChange(int index) {
    if (filling_ || index < 0) return;
    TParams* r = Reg();
    if (r == nullptr) return;
    SetValueCellLook(1, index != 0);
    r->SetpointSource = static_cast<std::uint8_t>(index);
    EditMade();
}

void TRegulatorPage::cb_rPOSChange(int index) {
    if (filling_ || index < 0) return;
    TParams* r = Reg();
    if (r == nullptr) return;
    r->RegMode = static_cast<std::uint8_t>(index);
    EditMade();
}

// ---------------------------------------------------------------------------
// Live states and size

void TRegulatorPage::ShowLiveStates(bool shown) {
    liveShown_ = shown;
    DiskretPnl->setVisible(shown);
    if (shown) RefreshTimerTimer();
    UpdateRefreshTimer();
}

void TRegulatorPage::SetRefreshEnabled(bool on) {
    refreshEnabled_ = on;
    UpdateRefreshTimer();
}

void TRegulatorPage::UpdateRefreshTimer() {
    const bool run = liveShown_ && refreshEnabled_ && Shown().has_value();
    if (run && !RefreshTimer->isActive()) RefreshTimer->start();
    if (!run) RefreshTimer->stop();
}

void TRegulatorPage::RefreshTimerTimer() {
    const TDevice* d = Dev();
    if (d == nullptr) return;
    const unsigned relays = d->RelayStates;
    const unsigned inputs = d->DinStates;
    for (unsigned i = 0; i < 4; ++i)
        chk_R[i]->SetActive(((relays >> i) & 1u) != 0);
    for (unsigned i = 0; i < 5; ++i)
        chk_Din[i]->SetActive(((inputs >> i) & 1u) != 0);
}

bool TRegulatorPage::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Par_Table &&
        (event->type() == QEvent::Resize || event->type() == QEvent::Show)) {
        Panel2Resize();
    }
    return QWidget::eventFilter(watched, event);
}

void TRegulatorPage::Panel2Resize() {
    // The rows share the table's height (the spare pixels go to the last
    // rows, so no strip is left under them); the value column takes the
    // width the two narrow columns leave.
    // The table's own size is already final here, its viewport's maybe not.
    const QSize area = Par_Table->maximumViewportSize();
    const int rows = Par_Table->rowCount();
    const int height = std::max(18, area.height() / rows);
    const int spare = height * rows <= area.height() ? area.height() - height * rows : 0;
    for (int row = 0; row < rows; ++row)
        Par_Table->setRowHeight(row, height + (row >= rows - spare ? 1 : 0));
    Par_Table->setColumnWidth(kValueColumn, std::max(40, area.width() - Par_Table->columnWidth(0) -
                                                             Par_Table->columnWidth(1)));
}

}  // namespace zorvat
