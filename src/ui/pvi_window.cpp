#include "pvi_window.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <string>

#include "Devices.h"
#include "model.h"
#include "settings_exchange.h"
#include "ui_number_edit.h"

namespace zorvat {

namespace {

constexpr double kMin = -999.0;
constexpr double kMax = 9999.0;
constexpr int kDecimals = 4;
constexpr int kMaxChars = 50;
constexpr std::uint8_t kThreeChannelBit = 0x80;

const char* const kRanges[] = {"0 .. 5 мА", "0 .. 20 мА", "4 .. 20 мА"};

}  // namespace

TPVIWindow::TPVIWindow(TModel& model, QWidget* parent)
    : TDialogFrame(model, parent),
      shortSources_{QStringLiteral("Канал 1"), QStringLiteral("Регулятор 1")},
      fullSources_{QStringLiteral("Канал 1"), QStringLiteral("Регулятор 1"),
                   QStringLiteral("Канал 2"), QStringLiteral("Канал 3"),
                   QStringLiteral("Регулятор 2")} {
    setWindowTitle(QStringLiteral("ПВИ"));
    setObjectName(QStringLiteral("PVIWindow"));

    cb_Sou = new QComboBox(this);
    cb_Sou->setObjectName(QStringLiteral("cb_Sou"));
    cb_Sou->addItems(shortSources_);
    cb_tOut = new QComboBox(this);
    cb_tOut->setObjectName(QStringLiteral("cb_tOut"));
    for (const char* range : kRanges)
        cb_tOut->addItem(QString::fromUtf8(range));
    for (QComboBox* box : {cb_Sou, cb_tOut})
        box->setMinimumWidth(130);
    connect(cb_Sou, &QComboBox::activated, this, &TPVIWindow::cb_SouChange);
    connect(cb_tOut, &QComboBox::activated, this, &TPVIWindow::cb_tOutChange);

    const char* names[] = {"IoLbox", "IoHBox", "EOutBox"};
    for (std::size_t i = 0; i < numberEdits_.size(); ++i) {
        auto* edit = new TNumberEdit(kMin, kMax, TNumberEdit::Kind::Real, kDecimals, this);
        edit->setObjectName(QString::fromUtf8(names[i]));
        edit->setMaxLength(kMaxChars);
        edit->setFixedWidth(130);
        const int field = static_cast<int>(i);
        connect(edit, &TNumberEdit::ValueEdited, this,
                [this, field](double value) { EditChange(field, value); });
        numberEdits_[i] = edit;
    }
    IoLbox = numberEdits_[0];
    IoHBox = numberEdits_[1];
    EOutBox = numberEdits_[2];

    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(14);
    grid->setVerticalSpacing(8);
    const std::pair<const char*, QWidget*> rows[] = {
        {"Источник данных для ПВИ [SrO*]", cb_Sou},
        {"Диапазон работы ПВИ [OtP*]", cb_tOut},
        {"Нижний предел диапазона преобразования ПВИ [OdL*]", IoLbox},
        {"Верхний предел диапазона преобразования ПВИ [OdH*]", IoHBox},
        {"Ток ошибки канала ПВИ [OEr*]", EOutBox},
    };
    int row = 0;
    for (const auto& [text, control] : rows) {
        auto* label = new QLabel(QString::fromUtf8(text), this);
        label->setBuddy(control);
        grid->addWidget(label, row, 0);
        grid->addWidget(control, row, 1, Qt::AlignLeft);
        ++row;
    }
    auto* note = new QLabel(QStringLiteral("* - номер канала ПВИ (1 или 2)"), this);
    note->setEnabled(false);
    grid->addWidget(note, row, 0, 1, 2);

    LayOut(grid, [this] { WriteBtnClick(); });
}

std::string TPVIWindow::Prefix() const {
    return "0" + std::to_string(output_);
}

bool TPVIWindow::LoadForDevice(std::uint8_t device, int output) {
    if (output != 1 && output != 2) return false;
    output_ = output;
    if (!ReadDevice(device, [this] { return ReadAnalogOutput(model_, deviceIndex_, Prefix()); })) {
        return false;
    }
    Fill();
    return true;
}

bool TPVIWindow::OpenForDevice(std::uint8_t device, int output) {
    if (!LoadForDevice(device, output)) return false;
    cb_Sou->setFocus();
    exec();
    return true;
}

void TPVIWindow::Fill() {
    filling_ = true;
    const QStringList& sources =
        (device_->ModelCode.load() & kThreeChannelBit) ? fullSources_ : shortSources_;
    cb_Sou->clear();
    cb_Sou->addItems(sources);
    setWindowTitle(output_ == 2 ? QStringLiteral("ПВИ 2") : QStringLiteral("ПВИ"));
    // A code the list has no item for shows no item, and stays in the record.
    cb_Sou->setCurrentIndex(device_->SrO < cb_Sou->count() ? device_->SrO : -1);
    cb_tOut->setCurrentIndex(device_->OtP < cb_tOut->count() ? device_->OtP : -1);
    IoLbox->ShowValue(device_->OdL);
    IoHBox->ShowValue(device_->OdH);
    EOutBox->ShowValue(device_->OEr);
    filling_ = false;
}

void TPVIWindow::cb_SouChange(int index) {
    if (filling_ || device_ == nullptr || index < 0) return;
    device_->SrO = static_cast<std::uint8_t>(index);
}

void TPVIWindow::cb_tOutChange(int index) {
    if (filling_ || device_ == nullptr || index < 0) return;
    device_->OtP = static_cast<std::uint8_t>(index);
}

void TPVIWindow::EditChange(int field, double value) {
    if (filling_ || device_ == nullptr) return;
    double* const targets[] = {&device_->OdL, &device_->OdH, &device_->OEr};
    *targets[field] = value;
}

void TPVIWindow::WriteBtnClick() {
    if (device_ == nullptr || Busy()) return;
    LeaveFocusedField();
    RunWrite([this] { return WriteAnalogOutput(model_, deviceIndex_, Prefix()); });
}

}  // namespace zorvat
