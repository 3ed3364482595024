#include "graph_icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QTransform>

namespace zorvat {
namespace {

constexpr int kSide = 24;  // logical size of a picture
const QColor kInk(0x1f, 0x4e, 0x8c);

// Paints `draw` (in a 24 x 24 box whose arrows point up) turned by `degrees`,
// at 1x and 2x so that both screen kinds get a pixel-exact picture.
template <typename Draw>
QIcon Picture(double degrees, Draw draw) {
    QIcon icon;
    for (int scale : {1, 2}) {
        QPixmap pixmap(kSide * scale, kSide * scale);
        pixmap.setDevicePixelRatio(scale);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        p.translate(kSide / 2.0, kSide / 2.0);
        p.rotate(degrees);
        p.translate(-kSide / 2.0, -kSide / 2.0);
        p.setPen(Qt::NoPen);
        p.setBrush(kInk);
        draw(p);
        p.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

// An arrow head with its tip at (12, tipY), pointing up when `up`.
void Head(QPainter& p, double tipY, bool up, double length = 7.0) {
    const double base = up ? tipY + length : tipY - length;
    QPainterPath path;
    path.moveTo(12.0, tipY);
    path.lineTo(12.0 + 6.5, base);
    path.lineTo(12.0 - 6.5, base);
    path.closeSubpath();
    p.drawPath(path);
}

double DegreesFor(Qt::ArrowType direction) {
    switch (direction) {
        case Qt::RightArrow:
            return 90.0;
        case Qt::DownArrow:
            return 180.0;
        case Qt::LeftArrow:
            return 270.0;
        default:
            return 0.0;
    }
}

}  // namespace

QIcon MoveIcon(Qt::ArrowType direction) {
    return Picture(DegreesFor(direction), [](QPainter& p) {
        Head(p, 3.0, true, 9.0);
        p.drawRoundedRect(QRectF(9.5, 11.0, 5.0, 10.0), 1.0, 1.0);
    });
}

QIcon StretchIcon(Qt::Orientation orientation, bool stretch) {
    const double degrees = orientation == Qt::Horizontal ? 90.0 : 0.0;
    return Picture(degrees, [stretch](QPainter& p) {
        // The centre line the curve is stretched from or pressed towards.
        p.drawRect(QRectF(4.0, 11.0, 16.0, 2.0));
        if (stretch) {
            Head(p, 1.5, true);
            p.drawRect(QRectF(11.0, 8.0, 2.0, 3.0));
            Head(p, 22.5, false);
            p.drawRect(QRectF(11.0, 13.0, 2.0, 3.0));
        } else {
            Head(p, 9.5, false);
            p.drawRect(QRectF(11.0, 1.5, 2.0, 2.5));
            Head(p, 14.5, true);
            p.drawRect(QRectF(11.0, 20.0, 2.0, 2.5));
        }
    });
}

QIcon PrintIcon() {
    return Picture(0.0, [](QPainter& p) {
        p.setPen(QPen(QColor(0x40, 0x40, 0x40), 1.2));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(7.0, 2.5, 10.0, 7.0));  // the sheet going in
        p.setBrush(QColor(0x9a, 0xa4, 0xb0));
        p.drawRoundedRect(QRectF(2.5, 9.0, 19.0, 9.0), 2.0, 2.0);
        p.setBrush(Qt::white);
        p.drawRect(QRectF(7.0, 14.5, 10.0, 7.0));  // the printed sheet
        p.setPen(QPen(kInk, 1.0));
        p.drawLine(QPointF(9.0, 17.0), QPointF(15.0, 17.0));
        p.drawLine(QPointF(9.0, 19.2), QPointF(13.5, 19.2));
    });
}

}  // namespace zorvat
