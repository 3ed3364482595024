#include "settings_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEventLoop>
#include <QFontMetrics>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QTabBar>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "message_box.h"
#include "settings_exchange.h"
#include "settings_lists.h"
#include "ui_number_edit.h"

namespace zorvat {

namespace {

// Bits of the model code.
constexpr std::uint8_t kFourthInput = 0x10;  // a fourth discrete input and analog output 1
constexpr std::uint8_t kFifthInput = 0x20;   // a fifth discrete input and analog output 2
constexpr std::uint8_t kThreeChannels = 0x80;

// The instrument wants a pause between the exchanges of two channels.
constexpr int kChannelPauseMs = 200;

constexpr double kRealLow = -999.0;
constexpr double kRealHigh = 9999.0;

// Discrete-input functions that exclude each other (by their code).
constexpr int kStop1 = 1, kStop1Shutter = 2, kStop2 = 6, kStop2Shutter = 7;

const char* const kDinNames[5] = {"DinBox1", "DinBox2", "DinBox3", "DinBox4", "DinBox5"};

// A code beyond the end of the list shows no selection.
void SelectCode(QComboBox* box, int code) {
    box->setCurrentIndex(code < box->count() ? code : -1);
}

void SetItems(QComboBox* box, const QStringList& items) {
    box->clear();
    box->addItems(items);
}

// Wide enough in its drop-down list for the longest item.
void FitPopup(QComboBox* box, const QStringList& items) {
    const QFontMetrics metrics(box->font());
    int widest = 0;
    for (const QString& item : items)
        widest = std::max(widest, metrics.horizontalAdvance(item));
    box->view()->setMinimumWidth(widest + 40);
}

QPushButton* MakeButton(const QString& caption, const char* name) {
    auto* button = new QPushButton(caption);
    button->setObjectName(QLatin1String(name));
    // Enter in a field must never write to an instrument.
    button->setAutoDefault(false);
    return button;
}

}  // namespace

TSettingsWindow::TSettingsWindow(TModel& model, QWidget* parent) : TDialogFrame(model, parent) {
    setObjectName(QStringLiteral("SettingsWindow"));
    setWindowTitle(QStringLiteral("Параметры выбранного прибора"));
    BuildLayout();
}

TNumberEdit* TSettingsWindow::AddNumber(const char* name, double lower, double upper, bool integer,
                                        double TChnl::*real, std::uint8_t TChnl::*byte,
                                        bool calculatedToo) {
    auto* edit = new TNumberEdit(lower, upper,
                                 integer ? TNumberEdit::Kind::Integer : TNumberEdit::Kind::Real);
    edit->setObjectName(QLatin1String(name));
    numbers_.push_back({edit, real, byte, calculatedToo});
    const std::size_t index = numbers_.size() - 1;
    connect(edit, &TNumberEdit::ValueEdited, this,
            [this, index](double value) { NumberChange(numbers_[index], value); });
    return edit;
}

QWidget* TSettingsWindow::BuildChannelPage() {
    auto* page = new QFrame;
    page->setObjectName(QStringLiteral("ChannelPage"));
    page->setFrameShape(QFrame::StyledPanel);
    auto* grid = new QGridLayout(page);
    grid->setHorizontalSpacing(10);
    grid->setVerticalSpacing(5);
    grid->setContentsMargins(12, 10, 12, 10);
    int row = 0;

    // One row: the label and a control over the two control columns, or a
    // setpoint and its hysteresis side by side. Returns the label.
    auto addRow = [&](const QString& text, QWidget* control, QWidget* second = nullptr) {
        auto* label = new QLabel(text);
        label->setBuddy(control);
        grid->addWidget(label, row, 0);
        if (second != nullptr) {
            grid->addWidget(control, row, 1);
            grid->addWidget(second, row, 2);
        } else {
            grid->addWidget(control, row, 1, 1, 2);
        }
        ++row;
        return label;
    };
    auto makeBox = [](const char* name) {
        auto* box = new QComboBox;
        box->setObjectName(QLatin1String(name));
        box->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        box->setMinimumContentsLength(18);
        return box;
    };
    auto makeCheck = [](const char* name) {
        auto* check = new QCheckBox;
        check->setObjectName(QLatin1String(name));
        return check;
    };
    auto sensorOnly = [](QLabel* label, QWidget* control) {
        label->setProperty("sensorOnly", true);
        control->setProperty("sensorOnly", true);
    };

    datTypeBox_ = makeBox("DatTypeBox");
    FitPopup(datTypeBox_, SensorTypes());
    addRow(QStringLiteral("Тип датчика [SEnS]"), datTypeBox_);

    sxemPodklBox_ = makeBox("SxemPodklBox");
    SetItems(sxemPodklBox_, ConnectionSchemes());
    sensorOnly(addRow(QStringLiteral("Cхема подключения ТС [Lc]"), sxemPodklBox_), sxemPodklBox_);

    addRow(QStringLiteral("Кол. зн. после запятой [PrcS]"),
           AddNumber("KolZnEdit", 0, 3, true, nullptr, &TChnl::PrcS, true));

    // The deviation of the sensor's resistance at 0 °C is kept by the
    // instrument but not offered for editing.
    resist0Edit_ = new QLineEdit;
    resist0Edit_->setObjectName(QStringLiteral("Resist0Edit"));
    resist0Edit_->setEnabled(false);
    addRow(QStringLiteral("Отклон. сопр. датч. в 0"), resist0Edit_)->setEnabled(false);

    TNumberEdit* resistLine =
        AddNumber("ResistLineEdit", kRealLow, kRealHigh, false, &TChnl::rESL, nullptr, false);
    sensorOnly(addRow(QStringLiteral("Сопротивл. провода [rESL]"), resistLine), resistLine);

    addRow(QStringLiteral("Кол-во усреднений [nSu]"),
           AddNumber("KolUsrEdit", 1, 200, true, nullptr, &TChnl::nSu, true));
    addRow(QStringLiteral("Коррекция нуля [SHFn]"),
           AddNumber("LinSmeshEdit", kRealLow, kRealHigh, false, &TChnl::SHFn, nullptr, true));
    addRow(QStringLiteral("Наклон характеристики [GAin]"),
           AddNumber("KoefShkalEdit", 0.8, 1.2, false, &TChnl::GAin, nullptr, true));
    addRow(QStringLiteral("Нижний предел обрыва [brdL]"),
           AddNumber("CutLowEdit", kRealLow, kRealHigh, false, &TChnl::brdL, nullptr, true));
    addRow(QStringLiteral("Верхний предел обрыва [brdH]"),
           AddNumber("CutHighEdit", kRealLow, kRealHigh, false, &TChnl::brdH, nullptr, true));

    cutTestCheck_ = makeCheck("CutTestCheck");
    sensorOnly(addRow(QStringLiteral("Тест обрыва датчика [CUtE]"), cutTestCheck_), cutTestCheck_);
    sqrtCheck_ = makeCheck("SqrtCheck");
    addRow(QStringLiteral("Квадратный корень [Sqr]"), sqrtCheck_);

    // Zeroing below the root's start and the compensator type are kept as
    // read and written back unchanged; their rows stay hidden.
    sqrtNullCheck_ = makeCheck("SqrtNullCheck");
    QLabel* sqrtNullLabel = addRow(QStringLiteral("Обнуление кв. корня [ZSqr]"), sqrtNullCheck_);
    sqrtNullLabel->hide();
    sqrtNullCheck_->hide();

    linSqrtBox_ = makeBox("LinSqrtBox");
    SetItems(linSqrtBox_, SqrtLinearisations());
    addRow(QStringLiteral("Линеаризация кв. корня [Sil]"), linSqrtBox_);

    TNumberEdit* diapStart =
        AddNumber("DiapStartEdit", kRealLow, kRealHigh, false, &TChnl::IdPL, nullptr, false);
    sensorOnly(addRow(QStringLiteral("Нижний предел преобр. [IdPL]"), diapStart), diapStart);
    TNumberEdit* diapEnd =
        AddNumber("DiapEndEdit", kRealLow, kRealHigh, false, &TChnl::IdPH, nullptr, false);
    sensorOnly(addRow(QStringLiteral("Верхний предел преобр. [IdPH]"), diapEnd), diapEnd);

    typeCompEdit_ = new QLineEdit;
    typeCompEdit_->setObjectName(QStringLiteral("TypeCompEdit"));
    QLabel* typeCompLabel = addRow(QStringLiteral("Тип компенсатора [SEnC]"), typeCompEdit_);
    typeCompLabel->hide();
    typeCompEdit_->hide();

    secondCalcBox_ = makeBox("SecondCalcBox");
    SetItems(secondCalcBox_, SecondCalcs());
    addRow(QStringLiteral("Дополнит. обработка [ttYP]"), secondCalcBox_);

    struct Setpoint {
        const char* value;
        const char* hysteresis;
        const char* label;
        const char* hint;
        double TChnl::*set;
        double TChnl::*hys;
    };
    const Setpoint setpoints[] = {
        {"Ust1valEdit", "Ust1gistEdit", "Уставка 1 [SEt1]", "Гистерезис уставки 1 [HYS1]",
         &TChnl::SEt1, &TChnl::HYS1},
        {"Ust2valEdit", "Ust2gistEdit", "Уставка 2 [SEt2]", "Гистерезис уставки 2 [HYS2]",
         &TChnl::SEt2, &TChnl::HYS2},
        {"Ust3valEdit", "Ust3gistEdit", "Уставка 3 [SEt3]", "Гистерезис уставки 3 [HYS3]",
         &TChnl::SEt3, &TChnl::HYS3},
    };
    for (const Setpoint& s : setpoints) {
        TNumberEdit* value = AddNumber(s.value, kRealLow, kRealHigh, false, s.set, nullptr, true);
        TNumberEdit* hysteresis =
            AddNumber(s.hysteresis, kRealLow, kRealHigh, false, s.hys, nullptr, true);
        hysteresis->setToolTip(QString::fromUtf8(s.hint));
        hysteresis->setFixedWidth(64);
        addRow(QString::fromUtf8(s.label), value, hysteresis);
    }

    grid->setColumnMinimumWidth(1, 150);
    grid->setRowStretch(row, 1);

    connect(datTypeBox_, &QComboBox::currentIndexChanged, this,
            [this] { FieldsChange(datTypeBox_); });
    for (QComboBox* box : {sxemPodklBox_, linSqrtBox_, secondCalcBox_}) {
        connect(box, &QComboBox::currentIndexChanged, this, [this, box] { FieldsChange(box); });
    }
    for (QCheckBox* check : {cutTestCheck_, sqrtCheck_, sqrtNullCheck_}) {
        connect(check, &QCheckBox::toggled, this,
                [this, check](bool ticked) { CutTestCheckClick(check, ticked); });
    }
    return page;
}

QWidget* TSettingsWindow::BuildInstrumentColumn() {
    auto* column = new QWidget;
    auto* layout = new QVBoxLayout(column);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);

    auto* relayBtn = MakeButton(QStringLiteral("Конфигурация РЕЛЕ"), "RelayTblBtn");
    auto* koefBtn = MakeButton(QStringLiteral("Коэффициенты"), "KoefTblBtn");
    auto* passBtn = MakeButton(QStringLiteral("Пароли"), "PasswordBtn");
    connect(relayBtn, &QPushButton::clicked, this, [this] { RelayTblBtnClick(); });
    connect(koefBtn, &QPushButton::clicked, this, [this] { KoefTblBtnClick(); });
    connect(passBtn, &QPushButton::clicked, this, [this] { PasswordBtnClick(); });
    layout->addWidget(relayBtn);
    layout->addWidget(koefBtn);
    layout->addWidget(passBtn);
    layout->addSpacing(6);

    auto* inputs = new QGroupBox;
    inputs->setObjectName(QStringLiteral("InstrumentBox"));
    auto* inputsLayout = new QVBoxLayout(inputs);
    inputsLayout->setSpacing(3);

    chLabel_ = new QLabel(QStringLiteral("Включенные каналы [InPE]"));
    chLabel_->setObjectName(QStringLiteral("ChLabel"));
    inputsLayout->addWidget(chLabel_);
    auto* chRow = new QHBoxLayout;
    const char* const chNames[3] = {"Ch1", "Ch2", "Ch3"};
    for (int i = 0; i < 3; ++i) {
        auto* check = new QCheckBox(QString::number(i + 1));
        check->setObjectName(QLatin1String(chNames[i]));
        chChecks_[static_cast<std::size_t>(i)] = check;
        connect(check, &QCheckBox::toggled, this, [this, i](bool ticked) { ChClick(i, ticked); });
        chRow->addWidget(check);
    }
    chRow->addStretch(1);
    inputsLayout->addLayout(chRow);
    inputsLayout->addSpacing(4);

    for (int i = 0; i < 5; ++i) {
        auto* label = new QLabel(QStringLiteral("Конфиг. дискр. входа %1 [Fd%1]").arg(i + 1));
        auto* box = new QComboBox;
        box->setObjectName(QLatin1String(kDinNames[i]));
        box->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        box->setMinimumContentsLength(22);
        FitPopup(box, DinFuncsTwoRegs());
        label->setBuddy(box);
        dinBoxes_[static_cast<std::size_t>(i)] = box;
        connect(box, &QComboBox::currentIndexChanged, this, [this, i] { DinBoxChange(i); });
        inputsLayout->addWidget(label);
        inputsLayout->addWidget(box);
    }
    layout->addWidget(inputs);
    layout->addSpacing(6);

    auto* pviRow = new QHBoxLayout;
    pviBtn_ = MakeButton(QStringLiteral("ПВИ"), "PVIbtn");
    pvi1Btn_ = MakeButton(QStringLiteral("ПВИ 2"), "PVI1btn");
    connect(pviBtn_, &QPushButton::clicked, this, [this] { PVIbtnClick(1); });
    connect(pvi1Btn_, &QPushButton::clicked, this, [this] { PVIbtnClick(2); });
    pviRow->addWidget(pviBtn_);
    pviRow->addWidget(pvi1Btn_);
    layout->addLayout(pviRow);

    layout->addStretch(1);

    // "Отмена", then "OK ", as in the other settings dialogs.
    auto* closeRow = new QHBoxLayout;
    cancelBtn_ = MakeButton(QStringLiteral("Отмена"), "CancelBtn");
    writeBtn_ = MakeButton(QStringLiteral("OK "), "WriteParamsBtn");
    connect(writeBtn_, &QPushButton::clicked, this, [this] { WriteParamsBtnClick(); });
    connect(cancelBtn_, &QPushButton::clicked, this, [this] { CancelBtnClick(); });
    closeRow->addWidget(cancelBtn_);
    closeRow->addWidget(writeBtn_);
    layout->addLayout(closeRow);
    return column;
}

void TSettingsWindow::BuildLayout() {
    auto* pages = new QVBoxLayout;
    pages->setSpacing(0);
    tabs_ = new QTabBar;
    tabs_->setObjectName(QStringLiteral("TabControl1"));
    tabs_->setExpanding(false);
    tabs_->setDrawBase(false);
    connect(tabs_, &QTabBar::currentChanged, this, [this](int index) { TabControl1Change(index); });
    pages->addWidget(tabs_);
    pages->addWidget(BuildChannelPage());

    auto* top = new QHBoxLayout(this);
    top->setContentsMargins(10, 10, 10, 10);
    top->setSpacing(12);
    top->addLayout(pages, 1);
    top->addWidget(BuildInstrumentColumn());
    // A dialog of fixed size, like the instrument's own configuration sheet.
    top->setSizeConstraint(QLayout::SetFixedSize);
}

TDevice* TSettingsWindow::Device() const {
    return model_.Device(deviceIndex_);
}

bool TSettingsWindow::HasChannel2() const {
    const TDevice* device = Device();
    return device != nullptr && device->Chnls[2] != nullptr;
}

TChnl* TSettingsWindow::Channel(int n) const {
    TDevice* device = Device();
    if (device == nullptr || n < 1 || n > 3) return nullptr;
    if (n >= 2 && device->Chnls[2] == nullptr) return nullptr;
    return device->Chnls[static_cast<std::size_t>(n)].get();
}

bool TSettingsWindow::LoadForDevice(std::uint8_t device) {
    const bool read = ReadDevice(device, [this] {
        shownChannel_ = 0;
        filling_ = true;
        while (tabs_->count() > 0)
            tabs_->removeTab(0);
        tabs_->addTab(QStringLiteral("Канал 1"));
        filling_ = false;

        ExchangeEnd end = ReadChnlSettings(model_, deviceIndex_, 1);
        if (!end.Done() || !HasChannel2()) return end;
        filling_ = true;
        tabs_->addTab(QStringLiteral("Канал 2"));
        tabs_->addTab(QStringLiteral("Канал 3"));
        filling_ = false;
        Pause(kChannelPauseMs);
        end = ReadChnlSettings(model_, deviceIndex_, 2);
        if (!end.Done()) return end;
        Pause(kChannelPauseMs);
        return ReadChnlSettings(model_, deviceIndex_, 3);
    });
    if (!read) return false;
    const TDevice* record = Device();
    if (record == nullptr) return false;

    filling_ = true;
    tabs_->setCurrentIndex(0);
    filling_ = false;
    ShowChannel(1);

    const std::uint8_t code = record->ModelCode;
    const bool threeChannels = (code & kThreeChannels) != 0;
    chLabel_->setVisible(threeChannels);
    for (QCheckBox* check : chChecks_)
        check->setVisible(threeChannels);
    pviBtn_->setVisible((code & kFourthInput) != 0);
    pvi1Btn_->setVisible((code & kFifthInput) != 0);
    return true;
}

bool TSettingsWindow::OpenForDevice(std::uint8_t device) {
    if (!LoadForDevice(device)) return false;
    exec();
    return true;
}

void TSettingsWindow::ShowChannel(int n) {
    TChnl* channel = Channel(n);
    const TDevice* device = Device();
    if (channel == nullptr || device == nullptr) return;
    filling_ = true;
    shownChannel_ = n;
    const bool sensor = n != 3;

    SetItems(datTypeBox_, sensor ? SensorTypes() : CalcChannelFuncs());
    SelectCode(datTypeBox_, channel->SEnS);

    // The calculated channel has no sensor: its wiring controls are disabled
    // and keep what they showed.
    for (QWidget* w : findChildren<QWidget*>()) {
        if (w->property("sensorOnly").toBool()) w->setEnabled(sensor);
    }
    if (sensor) {
        SelectCode(sxemPodklBox_, channel->Lc);
        cutTestCheck_->setChecked(channel->CUtE != 0);
    }
    for (const NumberField& field : numbers_) {
        if (!sensor && !field.calculatedToo) continue;
        field.edit->ShowValue(field.real != nullptr ? channel->*field.real
                                                    : static_cast<double>(channel->*field.byte));
    }
    sqrtCheck_->setChecked(channel->Sqr != 0);
    SelectCode(linSqrtBox_, channel->Sil);
    SelectCode(secondCalcBox_, channel->ttYP);

    const QStringList& functions = HasChannel2() ? DinFuncsTwoRegs() : DinFuncsOneReg();
    const std::uint8_t fd[5] = {device->Fd1, device->Fd2, device->Fd3, device->Fd4, device->Fd5};
    const std::uint8_t code = device->ModelCode;
    for (std::size_t i = 0; i < dinBoxes_.size(); ++i) {
        QComboBox* box = dinBoxes_[i];
        SetItems(box, functions);
        SelectCode(box, fd[i]);
        box->setToolTip(box->currentText());
    }
    dinBoxes_[3]->setEnabled((code & kFourthInput) != 0);
    dinBoxes_[4]->setEnabled((code & kFifthInput) != 0);

    const std::uint8_t inpe = device->InPE;
    for (std::size_t i = 0; i < chChecks_.size(); ++i)
        chChecks_[i]->setChecked(((inpe >> i) & 1u) != 0);
    filling_ = false;
}

void TSettingsWindow::TabControl1Change(int index) {
    if (filling_) return;
    // The field being edited belongs to the channel shown until now.
    LeaveFocusedField();
    ShowChannel(index + 1);
}

void TSettingsWindow::FieldsChange(QComboBox* box) {
    if (filling_) return;
    TChnl* channel = Channel(shownChannel_);
    const int index = box->currentIndex();
    if (channel == nullptr || index < 0) return;
    const auto code = static_cast<std::uint8_t>(index);
    if (box == datTypeBox_) {
        channel->SEnS = code;
    } else if (box == sxemPodklBox_) {
        channel->Lc = code;
    } else if (box == linSqrtBox_) {
        channel->Sil = code;
    } else if (box == secondCalcBox_) {
        channel->ttYP = code;
    }
}

void TSettingsWindow::NumberChange(const NumberField& field, double value) {
    if (filling_) return;
    TChnl* channel = Channel(shownChannel_);
    if (channel == nullptr) return;
    if (field.real != nullptr) {
        channel->*field.real = value;
    } else {
        // Out-of-range text may stand while it is typed; the byte gets the
        // nearest value it can hold, never a wrapped one.
        channel->*field.byte =
            static_cast<std::uint8_t>(std::lround(std::clamp(value, 0.0, 255.0)));
    }
}

void TSettingsWindow::CutTestCheckClick(QCheckBox* check, bool ticked) {
    if (filling_) return;
    TChnl* channel = Channel(shownChannel_);
    if (channel == nullptr) return;
    if (check == cutTestCheck_) {
        channel->CUtE = ticked ? 1 : 0;
    } else if (check == sqrtCheck_) {
        channel->Sqr = ticked ? 1 : 0;
    }
}

void TSettingsWindow::DinBoxChange(int input) {
    if (filling_) return;
    TDevice* device = Device();
    QComboBox* box = dinBoxes_[static_cast<std::size_t>(input)];
    box->setToolTip(box->currentText());
    const int index = box->currentIndex();
    if (device == nullptr || index < 0) return;
    std::uint8_t* fd[5] = {&device->Fd1, &device->Fd2, &device->Fd3, &device->Fd4, &device->Fd5};
    *fd[input] = static_cast<std::uint8_t>(index);
}

void TSettingsWindow::ChClick(int bit, bool ticked) {
    if (filling_) return;
    TDevice* device = Device();
    if (device == nullptr) return;
    const auto mask = static_cast<std::uint8_t>(1u << bit);
    const std::uint8_t inpe = device->InPE;
    device->InPE = static_cast<std::uint8_t>(ticked ? inpe | mask : inpe & ~mask);
}

void TSettingsWindow::OpenSub(const SubDialogRequest& request) {
    if (Busy() || Device() == nullptr || !openSubDialog) return;
    LeaveFocusedField();
    openSubDialog(request);
}

void TSettingsWindow::KoefTblBtnClick() {
    OpenSub({SubDialog::Koefs, deviceIndex_, 0, 0, 0});
}

void TSettingsWindow::RelayTblBtnClick() {
    const TDevice* device = Device();
    if (device == nullptr) return;
    const std::uint8_t channels = (device->ModelCode & kThreeChannels) != 0 ? 7 : 1;
    OpenSub({SubDialog::Relays, deviceIndex_, 0, channels, device->RelayMask});
}

void TSettingsWindow::PasswordBtnClick() {
    OpenSub({SubDialog::Passwords, deviceIndex_, 0, 0, 0});
}

void TSettingsWindow::PVIbtnClick(int output) {
    OpenSub({SubDialog::AnalogOutput, deviceIndex_, output, 0, 0});
}

bool TSettingsWindow::DinFunctionsAllowed() {
    struct Input {
        bool enabled;
        int function;
    };
    std::array<Input, 5> inputs{};
    for (std::size_t i = 0; i < inputs.size(); ++i)
        inputs[i] = {dinBoxes_[i]->isEnabled(), dinBoxes_[i]->currentIndex()};

    auto refuse = [this](const char* text) {
        Inform(this, QString::fromUtf8(text), MessageKind::Warning);
        return false;
    };
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        for (std::size_t j = i + 1; j < inputs.size(); ++j) {
            if (inputs[i].enabled && inputs[j].enabled && inputs[i].function > 0 &&
                inputs[i].function == inputs[j].function) {
                return refuse("Разные дискретные входы не могут быть настроены на одну функцию.");
            }
        }
    }
    auto countOf = [&inputs](int a, int b) {
        return std::count_if(inputs.begin(), inputs.end(), [a, b](const Input& in) {
            return in.enabled && (in.function == a || in.function == b);
        });
    };
    if (countOf(kStop1, kStop1Shutter) >= 2) {
        return refuse("Нельзя одновременно устанавливать Sp1 и Sp1.2");
    }
    if (countOf(kStop2, kStop2Shutter) >= 2) {
        return refuse("Нельзя одновременно устанавливать Sp2 и Sp2.2");
    }
    return true;
}

void TSettingsWindow::Pause(int ms) {
    // The operator's input waits, as during the exchanges around it.
    model_.Surfaces().UiWaitBegins();
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    model_.Surfaces().UiWaitEnds();
}

void TSettingsWindow::WriteParamsBtnClick() {
    if (Busy() || Device() == nullptr) return;
    // A value typed and not yet left is brought within its limits before it
    // can reach the instrument.
    LeaveFocusedField();
    if (!DinFunctionsAllowed()) return;

    RunWrite([this] {
        ExchangeEnd end = WriteChnlSettings(model_, deviceIndex_, 1);
        if (!end.Done() || !HasChannel2()) return end;
        Pause(kChannelPauseMs);
        end = WriteChnlSettings(model_, deviceIndex_, 2);
        if (!end.Done()) return end;
        Pause(kChannelPauseMs);
        return WriteChnlSettings(model_, deviceIndex_, 3);
    });
}

}  // namespace zorvat
