#include "about_box.h"

#include <QDesktopServices>
#include <QFontMetrics>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPushButton>
#include <QTimer>
#include <QUrl>
#include <algorithm>

#include "jpeg_image.h"
#include "start_window.h"

namespace zorvat {

QString MakerWebPage() {
    return QStringLiteral("https://www.veltaris.example");
}

QString MakerMail() {
    return QStringLiteral("info@veltaris.example");
}

// ---------------------------------------------------------------------------

TScrollLine::TScrollLine(const QString& text, QWidget* parent)
    : QWidget(parent), text_(text), timer_(new QTimer(this)) {
    timer_->setInterval(30);
    connect(timer_, &QTimer::timeout, this, &TScrollLine::Step);
}

bool TScrollLine::IsRunning() const {
    return timer_->isActive();
}

void TScrollLine::showEvent(QShowEvent*) {
    offset_ = width();
    timer_->start();
}

void TScrollLine::hideEvent(QHideEvent*) {
    timer_->stop();
}

void TScrollLine::Step() {
    const int textWidth = QFontMetrics(font()).horizontalAdvance(text_);
    offset_ = offset_ < -textWidth ? width() : offset_ - 1;
    update();
}

void TScrollLine::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.setFont(font());
    p.setPen(palette().color(QPalette::WindowText));
    p.drawText(QRect(offset_, 0, width() * 4, height()), Qt::AlignLeft | Qt::AlignVCenter, text_);
}

// ---------------------------------------------------------------------------

namespace {

QLabel* PictureLabel(QWidget* parent, const QString& resource, const QRect& geometry,
                     const QString& name) {
    auto* label = new QLabel(parent);
    label->setObjectName(name);
    label->setGeometry(geometry);
    label->setScaledContents(true);
    label->setPixmap(QPixmap::fromImage(LoadJpeg(resource)));
    label->setFrameShape(QFrame::Box);
    label->setStyleSheet(QStringLiteral("QLabel { border: 1px solid rgb(96, 128, 150); }"));
    return label;
}

QLabel* TextLabel(QWidget* parent, const QString& text, const QRect& geometry, int pixels,
                  bool bold, Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter) {
    auto* label = new QLabel(text, parent);
    QFont font = label->font();
    font.setPixelSize(pixels);
    font.setBold(bold);
    label->setFont(font);
    label->setGeometry(geometry);
    label->setAlignment(alignment);
    return label;
}

QLabel* LinkLabel(QWidget* parent, const QString& href, const QString& shown, const QRect& geometry,
                  const QString& name) {
    auto* label = TextLabel(parent,
                            QStringLiteral("<a href=\"%1\" style=\"color:#0b4f9c;\">%2</a>")
                                .arg(href, shown.toHtmlEscaped()),
                            geometry, 11, false);
    label->setObjectName(name);
    label->setTextFormat(Qt::RichText);
    label->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    label->setOpenExternalLinks(false);
    label->setToolTip(href);
    return label;
}

}  // namespace

TForm1::TForm1(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("О программе"));
    setFixedSize(408, 326);
    InitUiResources();

    PictureLabel(this, QStringLiteral(":/pictures/instrument.jpg"), QRect(12, 12, 180, 236),
                 QStringLiteral("Image1"));
    PictureLabel(this, QStringLiteral(":/pictures/curve.jpg"), QRect(298, 12, 44, 44),
                 QStringLiteral("Image2"));
    PictureLabel(this, QStringLiteral(":/pictures/dial.jpg"), QRect(350, 12, 44, 44),
                 QStringLiteral("Image3"));

    const int left = 204, width = 192;
    auto* purpose = new TEmbossLabel(
        QStringLiteral("Программа для настройки приборов ЗОРВАТ-7X\n\n") + ProgramDesignation(),
        this);
    purpose->setObjectName(QStringLiteral("Purpose_lbl"));
    QFont purposeFont = purpose->font();
    purposeFont.setPixelSize(14);
    purposeFont.setBold(true);
    purpose->setFont(purposeFont);
    purpose->setAlignment(Qt::AlignCenter);
    purpose->setWordWrap(true);
    purpose->SetColours(QColor(22, 52, 92), QColor(255, 255, 255, 220), QColor(0, 40, 60, 90));
    purpose->setGeometry(left, 62, width, 88);

    auto* version = TextLabel(this, QStringLiteral("Версия 1.01"), QRect(left, 156, width, 18), 13,
                              true, Qt::AlignCenter);
    version->setObjectName(QStringLiteral("Version_lbl"));
    auto* release =
        TextLabel(this, ReleaseLine(), QRect(left, 174, width, 18), 12, false, Qt::AlignCenter);
    release->setObjectName(QStringLiteral("Release_lbl"));

    // Each link follows its label on the same line, both centred together.
    struct Row {
        QString label, href, shown, name;
        int top;
    };
    QString shownWeb = MakerWebPage();
    shownWeb.remove(QStringLiteral("https://"));
    const Row rows[] = {
        {QStringLiteral("Web page: "), MakerWebPage(), shownWeb, QStringLiteral("WebLink"), 202},
        {QStringLiteral("E-mail: "), QStringLiteral("mailto:") + MakerMail(), MakerMail(),
         QStringLiteral("MailLink"), 222}};
    for (const Row& row : rows) {
        QLabel* caption = TextLabel(this, row.label, QRect(), 11, true);
        QLabel* link = LinkLabel(this, row.href, row.shown, QRect(), row.name);
        const int captionWidth = QFontMetrics(caption->font()).horizontalAdvance(row.label);
        const int linkWidth = QFontMetrics(link->font()).horizontalAdvance(row.shown) + 4;
        const int start = left + std::max(0, (width - captionWidth - linkWidth) / 2);
        caption->setGeometry(start, row.top, captionWidth, 18);
        link->setGeometry(start + captionWidth, row.top, linkWidth, 18);
        connect(link, &QLabel::linkActivated, this, &TForm1::OpenLink);
    }

    auto* line = new TScrollLine(ReleaseLine(), this);
    line->setObjectName(QStringLiteral("ScrollLine"));
    QFont lineFont = line->font();
    lineFont.setPixelSize(12);
    lineFont.setItalic(true);
    line->setFont(lineFont);
    line->setGeometry(12, 258, 384, 20);

    auto* back = new QPushButton(QStringLiteral("Назад"), this);
    back->setObjectName(QStringLiteral("BackBtn"));
    back->setGeometry(154, 288, 100, 28);
    back->setDefault(true);
    connect(back, &QPushButton::clicked, this, &QDialog::accept);
}

void TForm1::OpenLink(const QString& link) {
    QDesktopServices::openUrl(QUrl(link));
}

void TForm1::paintEvent(QPaintEvent*) {
    QPainter p(this);
    QLinearGradient back(0, 0, width() * 0.35, height());
    back.setColorAt(0, QColor(206, 228, 252));
    back.setColorAt(1, QColor(176, 226, 186));
    p.fillRect(rect(), back);
    // The strip of the scrolling line.
    p.fillRect(QRect(12, 258, 384, 20), QColor(255, 255, 255, 90));
    p.setPen(QColor(255, 255, 255, 160));
    p.drawLine(12, 257, 395, 257);
    p.setPen(QColor(60, 100, 120, 90));
    p.drawLine(12, 278, 395, 278);
}

}  // namespace zorvat
