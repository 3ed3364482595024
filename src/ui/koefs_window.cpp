#include "koefs_window.h"

#include <QFrame>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QRegularExpression>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "Devices.h"
#include "IEEE754.h"
#include "model.h"
#include "settings_exchange.h"
#include "ui_number_edit.h"

namespace zorvat {

namespace {

// The twelve number fields, top to bottom: the two counts hold a byte, the
// points a real.
struct NumberField {
    const char* label;
    const char* name;
    std::uint8_t TDevice::*count;
    double TDevice::*point;
};

const NumberField kNumberFieldDefs[] = {
    {"Число точек кусочно-линейной аппроксимации", "nLinEdit", &TDevice::nLin, nullptr},
    {"Координата X точки 1", "LiH1Edit", nullptr, &TDevice::LiH1},
    {"Координата Y точки 1", "LiY1Edit", nullptr, &TDevice::LiY1},
    {"Координата X точки 2", "LiH2Edit", nullptr, &TDevice::LiH2},
    {"Координата Y точки 2", "LiY2Edit", nullptr, &TDevice::LiY2},
    {"Координата X точки 3", "LiH3Edit", nullptr, &TDevice::LiH3},
    {"Координата Y точки 3", "LiY3Edit", nullptr, &TDevice::LiY3},
    {"Координата X точки 4", "LiH4Edit", nullptr, &TDevice::LiH4},
    {"Координата Y точки 4", "LiY4Edit", nullptr, &TDevice::LiY4},
    {"Координата X точки 5", "LiH5Edit", nullptr, &TDevice::LiH5},
    {"Координата Y точки 5", "LiY5edit", nullptr, &TDevice::LiY5},
    {"Число коэффициентов полиномиальной аппроксимации", "nPolEdit", &TDevice::nPol, nullptr},
};
constexpr int kPolCountField = 11;  // nPolEdit: the separator goes above it

struct CoefField {
    const char* label;
    const char* name;
    double TDevice::*coef;
};

const CoefField kCoefFieldDefs[] = {
    {"Общий делитель   B", "b0Edit", &TDevice::b0}, {"Коэффициент А0", "A0Edit", &TDevice::A0},
    {"Коэффициент А1", "A1Edit", &TDevice::A1},     {"Коэффициент А2", "A2Edit", &TDevice::A2},
    {"Коэффициент А3", "A3Edit", &TDevice::A3},     {"Коэффициент А4", "A4Edit", &TDevice::A4},
    {"Коэффициент А5", "A5Edit", &TDevice::A5},     {"Коэффициент А6", "A6Edit", &TDevice::A6},
    {"Коэффициент А7", "A7Edit", &TDevice::A7},     {"Коэффициент А8", "A8Edit", &TDevice::A8},
};

constexpr double kPointMin = -999.0;
constexpr double kPointMax = 9999.0;
constexpr int kPointDecimals = 12;
constexpr int kFieldWidth = 190;

}  // namespace

QString TKoefsWindow::CoefText(double value) {
    // 16 significant digits; the exponent without leading zeros.
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.15E", SingleShown(value));
    std::string text = buffer;
    const auto e = text.find('E');
    if (e != std::string::npos && e + 2 < text.size()) {
        std::string digits = text.substr(e + 2);
        digits.erase(0, std::min(digits.find_first_not_of('0'), digits.size() - 1));
        text = text.substr(0, e + 2) + digits;
    }
    return QString::fromStdString(text);
}

bool TKoefsWindow::CoefValue(const QString& text, double& value) {
    static const QRegularExpression number(
        QStringLiteral("^\\s*[+-]?(\\d+\\.?\\d*|\\.\\d+)([eE][+-]?\\d+)?\\s*$"));
    if (!number.match(text).hasMatch()) return false;
    bool ok = false;
    const double parsed = QLocale::c().toDouble(text.trimmed(), &ok);
    // A value beyond the single's range could never be written.
    if (!ok || !std::isfinite(parsed) || !FloatToWireText(parsed)) return false;
    value = parsed;
    return true;
}

TKoefsWindow::TKoefsWindow(TModel& model, QWidget* parent) : TDialogFrame(model, parent) {
    setWindowTitle(QStringLiteral("Коэффициенты"));
    setObjectName(QStringLiteral("KoefsWindow"));

    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(12);
    grid->setVerticalSpacing(4);
    int row = 0;
    auto addRow = [&](const char* label, QLineEdit* edit) {
        auto* caption = new QLabel(QString::fromUtf8(label), this);
        caption->setBuddy(edit);
        grid->addWidget(caption, row, 0);
        grid->addWidget(edit, row, 1, Qt::AlignLeft);
        ++row;
    };

    for (int i = 0; i < kNumberFields; ++i) {
        const NumberField& def = kNumberFieldDefs[i];
        if (i == kPolCountField) {
            auto* line = new QFrame(this);
            line->setObjectName(QStringLiteral("Bevel1"));
            line->setFrameShape(QFrame::HLine);
            line->setFrameShadow(QFrame::Sunken);
            grid->addWidget(line, row++, 0, 1, 2);
        }
        TNumberEdit* edit = nullptr;
        if (def.count != nullptr) {
            const double max = i == kPolCountField ? 9.0 : 5.0;
            edit = new TNumberEdit(2.0, max, TNumberEdit::Kind::Count, 0, this);
            edit->setFixedWidth(48);
        } else {
            edit = new TNumberEdit(kPointMin, kPointMax, TNumberEdit::Kind::Real, kPointDecimals,
                                   this);
            edit->setMaxLength(50);
            edit->setFixedWidth(kFieldWidth);
        }
        edit->setObjectName(QString::fromUtf8(def.name));
        if (def.point == &TDevice::LiH1) edit->SetMayBeEmpty(true);
        numberEdits_[static_cast<std::size_t>(i)] = edit;
        connect(edit, &TNumberEdit::ValueEdited, this,
                [this, i](double value) { EditChange(i, value); });
        addRow(def.label, edit);
    }
    for (int i = 0; i < kCoefFields; ++i) {
        const CoefField& def = kCoefFieldDefs[i];
        auto* edit = new QLineEdit(this);
        edit->setObjectName(QString::fromUtf8(def.name));
        edit->setFixedWidth(kFieldWidth);
        edit->installEventFilter(this);
        coefEdits_[static_cast<std::size_t>(i)] = edit;
        connect(edit, &QLineEdit::textChanged, this, [this, i] { CoefChange(i); });
        addRow(def.label, edit);
    }

    LayOut(
        grid, [this] { WriteBtnClick(); }, QMargins(14, 12, 14, 12), 10);
}

bool TKoefsWindow::LoadForDevice(std::uint8_t device) {
    if (!ReadDevice(device, [this] { return ReadKoefs(model_, deviceIndex_); })) return false;
    ShowKoefs();
    return true;
}

bool TKoefsWindow::OpenForDevice(std::uint8_t device) {
    if (!LoadForDevice(device)) return false;
    numberEdits_[0]->setFocus();
    exec();
    return true;
}

void TKoefsWindow::ShowKoefs() {
    if (device_ == nullptr) return;
    filling_ = true;
    for (int i = 0; i < kNumberFields; ++i) {
        const NumberField& def = kNumberFieldDefs[i];
        const double value =
            def.count != nullptr ? static_cast<double>(device_->*def.count) : device_->*def.point;
        numberEdits_[static_cast<std::size_t>(i)]->ShowValue(value);
    }
    for (int i = 0; i < kCoefFields; ++i) {
        const auto k = static_cast<std::size_t>(i);
        LastGoodText[k] = CoefText(device_->*kCoefFieldDefs[i].coef);
        coefEdits_[k]->setText(LastGoodText[k]);
        coefEdits_[k]->setCursorPosition(0);
    }
    filling_ = false;
}

void TKoefsWindow::EditChange(int field, double value) {
    if (filling_ || device_ == nullptr) return;
    const NumberField& def = kNumberFieldDefs[field];
    if (def.count != nullptr) {
        device_->*def.count = static_cast<std::uint8_t>(std::clamp(std::lround(value), 0L, 255L));
    } else {
        device_->*def.point = value;
    }
}

void TKoefsWindow::CoefChange(int field) {
    if (filling_ || device_ == nullptr) return;
    const auto k = static_cast<std::size_t>(field);
    QLineEdit* edit = coefEdits_[k];
    double value = 0.0;
    if (!CoefValue(edit->text(), value)) {
        // Undo the change: a key, a paste or a drop that left no number.
        // Setting the text raises this handler again, for a good text.
        const int cursor = std::min(cursorBeforeKey_[k], static_cast<int>(LastGoodText[k].size()));
        edit->setText(LastGoodText[k]);
        edit->setCursorPosition(cursor);
        return;
    }
    LastGoodText[k] = edit->text();
    device_->*kCoefFieldDefs[field].coef = value;
}

bool TKoefsWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        for (std::size_t k = 0; k < coefEdits_.size(); ++k) {
            if (coefEdits_[k] == watched) cursorBeforeKey_[k] = coefEdits_[k]->cursorPosition();
        }
    }
    return TDialogFrame::eventFilter(watched, event);
}

void TKoefsWindow::WriteBtnClick() {
    if (device_ == nullptr || Busy()) return;
    LeaveFocusedField();
    RunWrite([this] { return WriteKoefs(model_, deviceIndex_); });
}

}  // namespace zorvat
