#include "start_window.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QLinearGradient>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

#include "jpeg_image.h"
#include "message_box.h"

// The resources of a static library are registered by hand, and only from
// the global namespace.
static void RegisterPictures() {
    Q_INIT_RESOURCE(pictures);
}

namespace zorvat {

void InitUiResources() {
    static const bool registered = (RegisterPictures(), true);
    (void)registered;
}

QString ProgramDesignation() {
    return QStringLiteral("ВЛТР.00701-01 12 01");
}

QString ReleaseLine() {
    return QStringLiteral("2026 г.   НПП «Велтарис»");
}

// ---------------------------------------------------------------------------

TEmbossLabel::TEmbossLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {}

void TEmbossLabel::SetColours(const QColor& face, const QColor& light, const QColor& shadow) {
    face_ = face;
    light_ = light;
    shadow_ = shadow;
    update();
}

void TEmbossLabel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.setFont(font());
    const int flags = static_cast<int>(alignment()) | (wordWrap() ? Qt::TextWordWrap : 0);
    const QRect box = contentsRect().adjusted(1, 1, -1, -1);
    p.setPen(light_);
    p.drawText(box.translated(-1, -1), flags, text());
    p.setPen(shadow_);
    p.drawText(box.translated(1, 1), flags, text());
    p.setPen(face_);
    p.drawText(box, flags, text());
}

// ---------------------------------------------------------------------------

namespace {

constexpr int kWidth = 428;
constexpr int kHeight = 270;

QFont FontOf(const QWidget* widget, int pixels, bool bold) {
    QFont font = widget->font();
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}

}  // namespace

TStartW::TStartW(QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
    setObjectName(QStringLiteral("StartW"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setWindowModality(Qt::ApplicationModal);
    setFixedSize(kWidth, kHeight);
    setWindowTitle(ProgramTitle());
    InitUiResources();
    picture_ = QPixmap::fromImage(LoadJpeg(QStringLiteral(":/pictures/splash.jpg")));

    // Light letters on the dark picture: the shadow is darker than the
    // picture, the edge lighter than the letters.
    const QColor face(226, 236, 246);
    const QColor light(255, 255, 255, 120);
    const QColor shadow(0, 8, 20, 200);

    auto* title = new TEmbossLabel(QStringLiteral("ЗОРВАТ-7X"), this);
    title->setObjectName(QStringLiteral("Title_lbl"));
    title->setFont(FontOf(this, 50, true));
    title->setAlignment(Qt::AlignCenter);
    title->SetColours(face, light, shadow);

    auto* purpose =
        new TEmbossLabel(QStringLiteral("Программа для настройки приборов серий ЗОРВАТ-7X"), this);
    purpose->setObjectName(QStringLiteral("Purpose_lbl"));
    purpose->setFont(FontOf(this, 16, true));
    purpose->setAlignment(Qt::AlignCenter);
    purpose->setWordWrap(true);
    purpose->SetColours(face, light, shadow);

    auto* designation = new TEmbossLabel(ProgramDesignation(), this);
    designation->setObjectName(QStringLiteral("Designation_lbl"));
    designation->setFont(FontOf(this, 13, false));
    designation->setAlignment(Qt::AlignCenter);
    designation->SetColours(QColor(200, 222, 240), QColor(255, 255, 255, 60), shadow);

    auto* release = new TEmbossLabel(ReleaseLine(), this);
    release->setObjectName(QStringLiteral("Release_lbl"));
    release->setFont(FontOf(this, 13, false));
    release->setAlignment(Qt::AlignCenter);
    release->SetColours(QColor(200, 222, 240), QColor(255, 255, 255, 60), shadow);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 24, 24, 18);
    layout->setSpacing(0);
    layout->addWidget(title);
    layout->addSpacing(14);
    layout->addWidget(purpose);
    layout->addStretch(1);
    layout->addWidget(designation);
    layout->addSpacing(4);
    layout->addWidget(release);

    // Outside the layout: a small line in the top left corner.
    Screen_lbl = new QLabel(this);
    Screen_lbl->setObjectName(QStringLiteral("Screen_lbl"));
    Screen_lbl->setFont(FontOf(this, 11, false));
    Screen_lbl->setStyleSheet(QStringLiteral("color: rgb(170, 205, 235);"));
    Screen_lbl->setGeometry(10, 7, 260, 16);
}

QString TStartW::ResolutionText(int pixels) {
    switch (pixels) {
        case 640:
            return QStringLiteral("Screen resolution: 640x480");
        case 800:
            return QStringLiteral("Screen resolution: 800x600");
        case 1024:
            return QStringLiteral("Screen resolution: 1024x768");
        case 1280:
            return QStringLiteral("Screen resolution: 1280x1024");
        default:
            return {};
    }
}

bool TStartW::WarnsOfResolution(int pixels) {
    // No width (no screen known) is no reason to warn.
    return pixels > 0 && pixels < 1024;
}

void TStartW::SetScreenWidth(int pixels) {
    screenWidth_ = pixels;
    Screen_lbl->setText(ResolutionText(pixels));
}

void TStartW::CentreOnScreen() {
    const QWidget* anchor = parentWidget();
    QScreen* screen = anchor != nullptr ? anchor->screen() : QGuiApplication::primaryScreen();
    if (screen == nullptr) return;
    move(screen->geometry().center() - rect().center());
}

TStartW* TStartW::ShowFor(QWidget* parent, int screenWidth, int milliseconds) {
    auto* window = new TStartW(parent);
    window->SetScreenWidth(screenWidth);
    window->CentreOnScreen();
    window->show();
    window->raise();
    window->repaint();
    QTimer::singleShot(std::max(0, milliseconds), window, &QWidget::close);
    return window;
}

void TStartW::paintEvent(QPaintEvent*) {
    QPainter p(this);
    if (!picture_.isNull()) {
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        p.drawPixmap(rect(), picture_);
        return;
    }
    QLinearGradient back(0, 0, 0, height());
    back.setColorAt(0, QColor(10, 30, 58));
    back.setColorAt(1, QColor(10, 84, 86));
    p.fillRect(rect(), back);
}

void TStartW::closeEvent(QCloseEvent* event) {
    event->accept();
    if (closing_) return;
    closing_ = true;
    hide();
    if (WarnsOfResolution(screenWidth_)) {
        Inform(parentWidget(), QStringLiteral("Рекомендуемое разрешение экрана 1024х768"),
               MessageKind::Warning);
    }
    deleteLater();
}

void TStartW::mousePressEvent(QMouseEvent*) {
    close();
}

}  // namespace zorvat
