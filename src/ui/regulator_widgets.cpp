#include "regulator_widgets.h"

#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <cmath>

namespace zorvat {

namespace {

constexpr int kPictureSize = 34;

const QColor kClearLamp(0x2e, 0xa0, 0x43);
const QColor kSetLamp(0xd9, 0x2b, 0x2b);

}  // namespace

TStateLamp::TStateLamp(const QString& text, QWidget* parent) : QWidget(parent), text_(text) {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void TStateLamp::SetActive(bool active) {
    if (active_ == active) return;
    active_ = active;
    update();
}

QColor TStateLamp::Color() const {
    return active_ ? kSetLamp : kClearLamp;
}

QSize TStateLamp::sizeHint() const {
    const int side = fontMetrics().height() + 6;
    return {side, side};
}

void TStateLamp::paintEvent(QPaintEvent* /*event*/) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r = QRectF(rect()).adjusted(1, 1, -1, -1);
    QRadialGradient glow(r.center() - QPointF(r.width() / 5, r.height() / 5), r.width() * 0.75);
    const QColor base = Color();
    glow.setColorAt(0.0, base.lighter(150));
    glow.setColorAt(1.0, base.darker(115));
    p.setPen(QPen(base.darker(160), 1.0));
    p.setBrush(glow);
    p.drawRoundedRect(r, 4, 4);
    QFont f = font();
    f.setBold(true);
    p.setFont(f);
    p.setPen(Qt::white);
    p.drawText(r, Qt::AlignCenter, text_);
}

QPixmap RegulatorStateImage(bool on, int size) {
    QPixmap image(size, size);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF bezel(1, 1, size - 2, size - 2);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x5a, 0x5a, 0x5a));
    p.drawEllipse(bezel);

    const QRectF lamp = bezel.adjusted(2.5, 2.5, -2.5, -2.5);
    QRadialGradient glow(lamp.center() - QPointF(lamp.width() / 6, lamp.height() / 6),
                         lamp.width() * 0.7);
    if (on) {
        glow.setColorAt(0.0, QColor(0xa8, 0xff, 0x9a));
        glow.setColorAt(0.45, QColor(0x35, 0xd0, 0x3f));
        glow.setColorAt(1.0, QColor(0x0b, 0x6e, 0x18));
    } else {
        glow.setColorAt(0.0, QColor(0xf2, 0xf2, 0xf2));
        glow.setColorAt(0.5, QColor(0xc6, 0xc6, 0xc6));
        glow.setColorAt(1.0, QColor(0x86, 0x86, 0x86));
    }
    p.setBrush(glow);
    p.drawEllipse(lamp);

    // The power sign: an open ring with a bar through its gap.
    const QColor sign = on ? QColor(Qt::white) : QColor(0x6a, 0x6a, 0x6a);
    const double w = lamp.width();
    QPen pen(sign, std::max(1.6, w / 11.0), Qt::SolidLine, Qt::RoundCap);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    const QRectF ring = lamp.adjusted(w * 0.27, w * 0.27, -w * 0.27, -w * 0.27);
    p.drawArc(ring, 120 * 16, -240 * 16);
    p.drawLine(QPointF(lamp.center().x(), ring.top() - w * 0.06),
               QPointF(lamp.center().x(), lamp.center().y()));
    return image;
}

QPixmap AutotuneStateImage(bool on, int size) {
    QPixmap image(size, size);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF screen(1.5, 1.5, size - 3, size - 3);
    p.setPen(QPen(QColor(0x5a, 0x5a, 0x5a), 1.5));
    p.setBrush(on ? QColor(0x1d, 0x2b, 0x3a) : QColor(0xe4, 0xe4, 0xe4));
    p.drawRoundedRect(screen, 4, 4);

    const QRectF plot = screen.adjusted(4, 5, -4, -6);
    // The setpoint line.
    const double target = plot.top() + plot.height() * 0.3;
    p.setPen(QPen(on ? QColor(0x7f, 0xa8, 0xd0) : QColor(0xa8, 0xa8, 0xa8), 1.0, Qt::DashLine));
    p.drawLine(QPointF(plot.left(), target), QPointF(plot.right(), target));

    // A step response that settles on it.
    QPainterPath curve;
    const int steps = 40;
    for (int i = 0; i <= steps; ++i) {
        const double t = 6.0 * i / steps;
        const double y = 1.0 - std::exp(-0.7 * t) * std::cos(2.2 * t);
        const double px = plot.left() + plot.width() * i / steps;
        const double py = plot.bottom() - (plot.bottom() - target) * y;
        if (i == 0) {
            curve.moveTo(px, py);
        } else {
            curve.lineTo(px, py);
        }
    }
    p.setPen(QPen(on ? QColor(0xff, 0xa6, 0x1a) : QColor(0x8c, 0x8c, 0x8c), 2.0, Qt::SolidLine,
                  Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(curve);
    return image;
}

TStatePicture::TStatePicture(Kind kind, QWidget* parent) : QLabel(parent) {
    if (kind == Kind::Regulator) {
        onImage_ = RegulatorStateImage(true, kPictureSize);
        offImage_ = RegulatorStateImage(false, kPictureSize);
    } else {
        onImage_ = AutotuneStateImage(true, kPictureSize);
        offImage_ = AutotuneStateImage(false, kPictureSize);
    }
    setFixedSize(kPictureSize, kPictureSize);
    setPixmap(offImage_);
}

void TStatePicture::SetOn(bool on) {
    on_ = on;
    setPixmap(on ? onImage_ : offImage_);
}

}  // namespace zorvat
