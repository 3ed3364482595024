#include "pass_window.h"

#include <QFontDatabase>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>

#include "Devices.h"
#include "message_box.h"
#include "model.h"
#include "settings_exchange.h"

namespace zorvat {

namespace {

constexpr int kPasswordLength = 4;

bool IsHexDigit(QChar c) {
    return (c >= QLatin1Char('0') && c <= QLatin1Char('9')) ||
           (c >= QLatin1Char('A') && c <= QLatin1Char('F'));
}

}  // namespace

QString TPassWindow::FilterPassword(const QString& text) {
    QString result;
    for (QChar c : text) {
        if (result.size() >= kPasswordLength) break;
        if (c >= QLatin1Char('a') && c <= QLatin1Char('f')) c = c.toUpper();
        if (IsHexDigit(c)) result += c;
    }
    return result;
}

QString TPassWindow::PadPassword(const QString& text) {
    return text.leftJustified(kPasswordLength, QLatin1Char('0'));
}

TPassWindow::TPassWindow(TModel& model, QWidget* parent) : TDialogFrame(model, parent) {
    setWindowTitle(QStringLiteral("Пароли"));
    setObjectName(QStringLiteral("PassWindow"));

    const char* labels[] = {"1. Доступ к уставкам", "2. Доступ к конфигурации",
                            "3. Сброс реле в зоне гистерезиса"};
    const char* names[] = {"fPass1", "fPass2", "fPass3"};
    QFont digits = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    digits.setPointSizeF(font().pointSizeF() + 1.0);

    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(14);
    grid->setVerticalSpacing(8);
    for (int i = 0; i < 3; ++i) {
        auto* field = new QLineEdit(this);
        field->setObjectName(QString::fromUtf8(names[i]));
        field->setFont(digits);
        field->setFixedWidth(QFontMetrics(digits).horizontalAdvance(QStringLiteral("DDDD")) + 16);
        field->setAlignment(Qt::AlignCenter);
        field->installEventFilter(this);
        connect(field, &QLineEdit::textEdited, this, [this, field] { FieldEdited(field); });
        fields_[static_cast<std::size_t>(i)] = field;
        auto* label = new QLabel(QString::fromUtf8(labels[i]), this);
        label->setBuddy(field);
        grid->addWidget(label, i, 0);
        grid->addWidget(field, i, 1);
    }
    fPass1 = fields_[0];
    fPass2 = fields_[1];
    fPass3 = fields_[2];

    LayOut(grid, [this] { WriteBtnClick(); });
}

bool TPassWindow::LoadForDevice(std::uint8_t device) {
    if (!ReadDevice(device, [this] { return ReadPasswords(model_, deviceIndex_); })) return false;
    fPass1->setText(QString::fromStdString(device_->Pass1));
    fPass2->setText(QString::fromStdString(device_->Pass2));
    fPass3->setText(QString::fromStdString(device_->Pass3));
    return true;
}

bool TPassWindow::OpenForDevice(std::uint8_t device) {
    if (!LoadForDevice(device)) return false;
    fPass1->setFocus();
    exec();
    return true;
}

bool TPassWindow::fPass1KeyPress(QLineEdit* field, QKeyEvent* key) {
    if (key->key() == Qt::Key_Backspace) return false;
    const QString text = key->text();
    // Keys without a character (arrows, Delete, Home) and shortcuts (Ctrl+V:
    // its text is filtered when it arrives) are the field's own business.
    if (text.size() != 1 || !text[0].isPrint() ||
        (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
        return false;
    }
    if (field->text().size() >= kPasswordLength) return true;
    QChar c = text[0];
    if (c >= QLatin1Char('a') && c <= QLatin1Char('f')) c = c.toUpper();
    if (!IsHexDigit(c)) return true;
    if (c != text[0]) {
        field->insert(QString(c));
        return true;
    }
    return false;
}

void TPassWindow::FieldEdited(QLineEdit* field) {
    // Pasted or dropped text: what typing would have let through.
    const QString filtered = FilterPassword(field->text());
    if (filtered != field->text()) {
        const int cursor = field->cursorPosition();
        field->setText(filtered);
        field->setCursorPosition(std::min(cursor, static_cast<int>(filtered.size())));
    }
}

bool TPassWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        for (QLineEdit* field : fields_) {
            if (field == watched && fPass1KeyPress(field, static_cast<QKeyEvent*>(event))) {
                return true;
            }
        }
    }
    return TDialogFrame::eventFilter(watched, event);
}

void TPassWindow::WriteBtnClick() {
    if (device_ == nullptr || Busy()) return;
    const QString pass1 = PadPassword(fPass1->text());
    const QString pass2 = PadPassword(fPass2->text());
    const QString pass3 = PadPassword(fPass3->text());
    // Compared as the instrument gets them: "12" and "1200" are one password.
    if (pass2.compare(pass3, Qt::CaseInsensitive) == 0) {
        Inform(this, QStringLiteral("Пароли 2 и 3 не могут быть одинаковыми."),
               MessageKind::Warning);
        return;
    }
    device_->Pass1 = pass1.toStdString();
    device_->Pass2 = pass2.toStdString();
    device_->Pass3 = pass3.toStdString();
    RunWrite([this] { return WritePasswords(model_, deviceIndex_); });
}

}  // namespace zorvat
