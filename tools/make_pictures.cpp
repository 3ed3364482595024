// Draws the pictures of the start window, the About box and the manual.
//
//   make_pictures REPO_DIR
//
// writes REPO_DIR/src/ui/pictures/*.jpg (encoded with libjpeg) and
// REPO_DIR/help/images/*.png. Everything is drawn here with QPainter, so the
// pictures can be remade or changed at any time.
#include <QDir>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QString>
#include <QTransform>
#include <cmath>
#include <cstdio>
#include <vector>

#include <jpeglib.h>

namespace {

// --- JPEG output -----------------------------------------------------------

bool WriteJpeg(const QImage& source, const QString& path, int quality) {
    const QImage image = source.convertToFormat(QImage::Format_RGB888);
    std::FILE* file = std::fopen(QFile::encodeName(path).constData(), "wb");
    if (file == nullptr) return false;
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr jerr{};
    cinfo.err = jpeg_std_error(&jerr);  // a failure here ends the tool, which is fine for it
    jpeg_create_compress(&cinfo);
    jpeg_stdio_dest(&cinfo, file);
    cinfo.image_width = static_cast<JDIMENSION>(image.width());
    cinfo.image_height = static_cast<JDIMENSION>(image.height());
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    cinfo.optimize_coding = TRUE;
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        const uchar* line = image.constScanLine(static_cast<int>(cinfo.next_scanline));
        JSAMPROW row = const_cast<JSAMPROW>(line);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return std::fclose(file) == 0;
}

// --- Drawing helpers -------------------------------------------------------

QFont Font(double pixels, int weight = QFont::Normal, const QString& family = "DejaVu Sans") {
    QFont font(family);
    font.setPixelSize(static_cast<int>(std::lround(pixels)));
    font.setWeight(static_cast<QFont::Weight>(weight));
    return font;
}

// Segments a b c d e f g of a seven-segment digit.
int SegmentsOf(QChar ch) {
    switch (ch.unicode()) {
        case '0':
            return 0b0111111;
        case '1':
            return 0b0000110;
        case '2':
            return 0b1011011;
        case '3':
            return 0b1001111;
        case '4':
            return 0b1100110;
        case '5':
            return 0b1101101;
        case '6':
            return 0b1111101;
        case '7':
            return 0b0000111;
        case '8':
            return 0b1111111;
        case '9':
            return 0b1101111;
        case '-':
            return 0b1000000;
        case 'P':
            return 0b1110011;
        case 'r':
            return 0b1010000;
        case 'o':
            return 0b1011100;
        default:
            return 0;
    }
}

// One digit in the box (0,0)-(w,h) of the painter's current transform.
void DrawDigit(QPainter& p, double w, double h, int segments, const QColor& on, const QColor& off) {
    const double t = w * 0.2;   // segment thickness
    const double g = t * 0.12;  // gap between segments
    auto horizontal = [&](double y) {
        QPolygonF poly;
        poly << QPointF(t / 2 + g, y) << QPointF(t + g, y - t / 2) << QPointF(w - t - g, y - t / 2)
             << QPointF(w - t / 2 - g, y) << QPointF(w - t - g, y + t / 2)
             << QPointF(t + g, y + t / 2);
        return poly;
    };
    auto vertical = [&](double x, double y0, double y1) {
        QPolygonF poly;
        poly << QPointF(x, y0 + g) << QPointF(x + t / 2, y0 + t / 2 + g)
             << QPointF(x + t / 2, y1 - t / 2 - g) << QPointF(x, y1 - g)
             << QPointF(x - t / 2, y1 - t / 2 - g) << QPointF(x - t / 2, y0 + t / 2 + g);
        return poly;
    };
    const double top = t / 2, mid = h / 2, bottom = h - t / 2;
    const QPolygonF shapes[7] = {
        horizontal(top),                   // a
        vertical(w - t / 2, top, mid),     // b
        vertical(w - t / 2, mid, bottom),  // c
        horizontal(bottom),                // d
        vertical(t / 2, mid, bottom),      // e
        vertical(t / 2, top, mid),         // f
        horizontal(mid),                   // g
    };
    p.setPen(Qt::NoPen);
    for (int s = 0; s < 7; ++s) {
        p.setBrush((segments >> s) & 1 ? on : off);
        p.drawPolygon(shapes[s]);
    }
}

// A seven-segment read-out of `text` ("250.0") inside `box`.
void DrawReadout(QPainter& p, const QRectF& box, const QString& text, const QColor& on) {
    QLinearGradient glass(box.topLeft(), box.bottomLeft());
    glass.setColorAt(0, QColor(24, 20, 20));
    glass.setColorAt(1, QColor(8, 6, 6));
    p.setPen(QPen(QColor(70, 70, 74), 1.2));
    p.setBrush(glass);
    p.drawRoundedRect(box, 3, 3);

    QString digits;
    std::vector<bool> dots;
    for (QChar ch : text) {
        if (ch == '.' && !dots.empty()) {
            dots.back() = true;
        } else {
            digits += ch;
            dots.push_back(false);
        }
    }
    const int n = static_cast<int>(digits.size());
    const double pad = box.height() * 0.16;
    const double h = box.height() - 2 * pad;
    const double cell = (box.width() - 2 * pad) / n;
    const double w = std::min(cell * 0.72, h * 0.55);
    const QColor off(on.red() / 7 + 14, on.green() / 7 + 12, on.blue() / 7 + 12);
    for (int i = 0; i < n; ++i) {
        p.save();
        p.translate(box.left() + pad + i * cell + (cell - w) * 0.6, box.top() + pad);
        p.setTransform(QTransform(1, 0, -0.08, 1, h * 0.08, 0), true);
        DrawDigit(p, w, h, SegmentsOf(digits[i]), on, off);
        p.setBrush(dots[static_cast<std::size_t>(i)] ? on : off);
        p.drawEllipse(QPointF(w + w * 0.2, h - w * 0.1), w * 0.1, w * 0.1);
        p.restore();
    }
}

void DrawLed(QPainter& p, QPointF centre, double radius, const QColor& colour, bool lit) {
    QRadialGradient glow(centre - QPointF(radius * 0.3, radius * 0.3), radius * 1.3);
    glow.setColorAt(0, lit ? colour.lighter(170) : colour.darker(260));
    glow.setColorAt(1, lit ? colour : colour.darker(420));
    p.setPen(QPen(QColor(30, 30, 30), 0.8));
    p.setBrush(glow);
    p.drawEllipse(centre, radius, radius);
}

void DrawKey(QPainter& p, const QRectF& box, const QString& symbol) {
    QLinearGradient face(box.topLeft(), box.bottomLeft());
    face.setColorAt(0, QColor(118, 122, 130));
    face.setColorAt(1, QColor(62, 65, 72));
    p.setPen(QPen(QColor(25, 25, 28), 1));
    p.setBrush(face);
    p.drawRoundedRect(box, 3, 3);
    p.setPen(QColor(235, 238, 242));
    p.setFont(Font(box.height() * 0.46, QFont::Bold));
    p.drawText(box, Qt::AlignCenter, symbol);
}

// The front panel of an instrument of the series, filling `box` (about
// 3:4): housing, name plate, two read-outs, relay lamps and four keys.
void DrawFrontPanel(QPainter& p, const QRectF& box) {
    p.setRenderHint(QPainter::Antialiasing);
    const double u = box.width() / 100.0;  // one unit of the drawing
    // Housing with a bevel.
    QLinearGradient housing(box.topLeft(), box.bottomRight());
    housing.setColorAt(0, QColor(96, 100, 108));
    housing.setColorAt(0.5, QColor(58, 61, 68));
    housing.setColorAt(1, QColor(36, 38, 43));
    p.setPen(QPen(QColor(20, 20, 22), 1.2));
    p.setBrush(housing);
    p.drawRoundedRect(box, 4 * u, 4 * u);
    const QRectF face = box.adjusted(5 * u, 5 * u, -5 * u, -5 * u);
    QLinearGradient faceFill(face.topLeft(), face.bottomLeft());
    faceFill.setColorAt(0, QColor(44, 47, 54));
    faceFill.setColorAt(1, QColor(28, 30, 35));
    p.setPen(QPen(QColor(120, 126, 136), 0.8));
    p.setBrush(faceFill);
    p.drawRoundedRect(face, 2.5 * u, 2.5 * u);

    // Name plate.
    p.setPen(QColor(220, 226, 234));
    p.setFont(Font(9 * u, QFont::Bold));
    const QRectF plate(face.left(), face.top() + 2 * u, face.width(), 11 * u);
    p.drawText(plate, Qt::AlignCenter, QStringLiteral("ЗОРВАТ-7X"));
    p.setPen(QColor(150, 160, 172));
    p.setFont(Font(4.2 * u));
    p.drawText(QRectF(face.left(), plate.bottom() - 1 * u, face.width(), 6 * u), Qt::AlignCenter,
               QStringLiteral("ПИД-РЕГУЛЯТОР"));

    // Read-outs: the measured value above, the setpoint below.
    const double rx = face.left() + 7 * u, rw = face.width() - 14 * u;
    DrawReadout(p, QRectF(rx, face.top() + 21 * u, rw, 25 * u), "248.7", QColor(255, 48, 36));
    DrawReadout(p, QRectF(rx, face.top() + 51 * u, rw, 19 * u), "250.0", QColor(60, 240, 90));
    p.setPen(QColor(150, 160, 172));
    p.setFont(Font(3.6 * u));
    p.drawText(QRectF(rx, face.top() + 46 * u, rw, 5 * u), Qt::AlignRight | Qt::AlignVCenter,
               QStringLiteral("ИЗМ"));
    p.drawText(QRectF(rx, face.top() + 70 * u, rw, 5 * u), Qt::AlignRight | Qt::AlignVCenter,
               QStringLiteral("УСТ"));

    // Relay lamps K1..K4 and the "on" lamp.
    const double ly = face.top() + 82 * u;
    const bool lit[4] = {true, false, true, false};
    p.setFont(Font(3.6 * u));
    for (int i = 0; i < 4; ++i) {
        const double x = face.left() + 12 * u + i * 13 * u;
        DrawLed(p, QPointF(x, ly), 2.6 * u, QColor(255, 150, 20), lit[i]);
        p.setPen(QColor(170, 178, 190));
        p.drawText(QRectF(x - 5 * u, ly + 3 * u, 10 * u, 5 * u), Qt::AlignCenter,
                   QStringLiteral("К%1").arg(i + 1));
    }
    DrawLed(p, QPointF(face.right() - 12 * u, ly), 2.6 * u, QColor(40, 220, 80), true);
    p.setPen(QColor(170, 178, 190));
    p.drawText(QRectF(face.right() - 19 * u, ly + 3 * u, 14 * u, 5 * u), Qt::AlignCenter,
               QStringLiteral("РАБ"));

    // Keys.
    const QString keys[4] = {QStringLiteral("◀"), QStringLiteral("▼"), QStringLiteral("▲"),
                             QStringLiteral("↵")};
    const double kw = 15 * u, kh = 11 * u, gap = (face.width() - 4 * kw) / 5;
    for (int i = 0; i < 4; ++i) {
        DrawKey(p, QRectF(face.left() + gap + i * (kw + gap), face.bottom() - 17 * u, kw, kh),
                keys[i]);
    }
    // Screws in the corners of the housing.
    for (QPointF c :
         {box.topLeft() + QPointF(2.5 * u, 2.5 * u), box.topRight() + QPointF(-2.5 * u, 2.5 * u),
          box.bottomLeft() + QPointF(2.5 * u, -2.5 * u),
          box.bottomRight() + QPointF(-2.5 * u, -2.5 * u)}) {
        p.setPen(QPen(QColor(20, 20, 22), 0.6));
        p.setBrush(QColor(150, 154, 160));
        p.drawEllipse(c, 1.4 * u, 1.4 * u);
        p.drawLine(c + QPointF(-1 * u, 0), c + QPointF(1 * u, 0));
    }
}

// A damped step response: starts at `start`, settles at `target`.
double Response(double t, double start, double target) {
    const double zeta = 0.32, w = 1.0;
    const double wd = w * std::sqrt(1 - zeta * zeta);
    const double e = std::exp(-zeta * w * t);
    const double y =
        1 - e * (std::cos(wd * t) + zeta / std::sqrt(1 - zeta * zeta) * std::sin(wd * t));
    return start + (target - start) * y;
}

QPainterPath ResponsePath(const QRectF& area, double start, double target, double span) {
    QPainterPath path;
    const int steps = 300;
    for (int i = 0; i <= steps; ++i) {
        const double t = span * i / steps;
        const QPointF point(area.left() + area.width() * i / steps,
                            area.bottom() - area.height() * Response(t, start, target));
        if (i == 0) {
            path.moveTo(point);
        } else {
            path.lineTo(point);
        }
    }
    return path;
}

// --- The pictures ----------------------------------------------------------

// Background of the start window (the texts are put on it by the window).
QImage Splash() {
    QImage image(428, 270, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, 270);
    sky.setColorAt(0, QColor(10, 30, 58));
    sky.setColorAt(0.55, QColor(16, 62, 92));
    sky.setColorAt(1, QColor(10, 84, 86));
    p.fillRect(image.rect(), sky);
    QRadialGradient light(QPointF(110, 40), 260);
    light.setColorAt(0, QColor(120, 190, 255, 70));
    light.setColorAt(1, QColor(120, 190, 255, 0));
    p.fillRect(image.rect(), light);

    // A chart grid over the lower part.
    p.setPen(QPen(QColor(160, 220, 255, 26), 1));
    for (int x = 14; x < 428; x += 26)
        p.drawLine(x, 140, x, 270);
    for (int y = 144; y < 270; y += 18)
        p.drawLine(0, y, 428, y);

    // Setpoint and the regulated value settling on it.
    const QRectF area(0, 150, 428, 100);
    p.setPen(QPen(QColor(255, 210, 90, 120), 1.2, Qt::DashLine));
    const double sy = area.bottom() - area.height() * 0.8;
    p.drawLine(QPointF(0, sy), QPointF(428, sy));
    const QPainterPath curve = ResponsePath(area, 0.02, 0.8, 16);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(90, 230, 255, 40), 7, Qt::SolidLine, Qt::RoundCap));
    p.drawPath(curve);
    p.setPen(QPen(QColor(140, 240, 255, 150), 1.8, Qt::SolidLine, Qt::RoundCap));
    p.drawPath(curve);

    // A thin bright line under the title and a darker foot for the last two lines.
    QLinearGradient rule(40, 0, 388, 0);
    rule.setColorAt(0, QColor(140, 220, 255, 0));
    rule.setColorAt(0.5, QColor(170, 230, 255, 200));
    rule.setColorAt(1, QColor(140, 220, 255, 0));
    p.fillRect(QRectF(40, 86, 348, 1.5), rule);
    QLinearGradient foot(0, 196, 0, 270);
    foot.setColorAt(0, QColor(4, 16, 30, 0));
    foot.setColorAt(1, QColor(4, 16, 30, 150));
    p.fillRect(QRectF(0, 196, 428, 74), foot);
    p.setPen(QPen(QColor(0, 0, 0, 120), 2));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(1, 1, 426, 268));
    p.setPen(QPen(QColor(150, 210, 255, 90), 1));
    p.drawRect(QRectF(3.5, 3.5, 421, 263));
    return image;
}

// The instrument for the About box, on a soft backdrop.
QImage AboutPanel() {
    QImage image(180, 236, QImage::Format_RGB32);
    QPainter p(&image);
    QLinearGradient back(0, 0, 0, 236);
    back.setColorAt(0, QColor(226, 238, 250));
    back.setColorAt(1, QColor(200, 226, 214));
    p.fillRect(image.rect(), back);
    p.setRenderHint(QPainter::Antialiasing);
    // Shadow under the instrument.
    QRadialGradient shadow(QPointF(94, 224), 80);
    shadow.setColorAt(0, QColor(0, 0, 0, 70));
    shadow.setColorAt(1, QColor(0, 0, 0, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(shadow);
    p.drawEllipse(QPointF(94, 224), 80, 10);
    DrawFrontPanel(p, QRectF(14, 10, 154, 206));
    return image;
}

// Small picture: the regulated value settling on the setpoint.
QImage CurveIcon() {
    QImage image(44, 44, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient back(0, 0, 0, 44);
    back.setColorAt(0, QColor(255, 255, 255));
    back.setColorAt(1, QColor(222, 236, 248));
    p.fillRect(image.rect(), back);
    p.setPen(QPen(QColor(200, 214, 228), 1));
    for (int i = 8; i < 44; i += 9) {
        p.drawLine(4, i, 40, i);
        p.drawLine(i, 4, i, 40);
    }
    p.setPen(QPen(QColor(40, 60, 90), 1.4));
    p.drawLine(5, 39, 40, 39);
    p.drawLine(5, 39, 5, 4);
    p.setPen(QPen(QColor(30, 140, 60), 1.2, Qt::DashLine));
    p.drawLine(QPointF(5, 14), QPointF(40, 14));
    p.setPen(QPen(QColor(210, 40, 30), 2));
    p.setBrush(Qt::NoBrush);
    p.drawPath(ResponsePath(QRectF(6, 8, 34, 31), 0.02, 0.8, 12));
    p.setPen(QPen(QColor(90, 110, 140), 1));
    p.drawRect(QRectF(0.5, 0.5, 43, 43));
    return image;
}

// Small picture: a dial with its needle near the setpoint mark.
QImage DialIcon() {
    QImage image(44, 44, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient back(0, 0, 0, 44);
    back.setColorAt(0, QColor(255, 255, 255));
    back.setColorAt(1, QColor(222, 236, 248));
    p.fillRect(image.rect(), back);
    const QPointF c(22, 24);
    QRadialGradient face(c - QPointF(4, 4), 20);
    face.setColorAt(0, QColor(255, 255, 255));
    face.setColorAt(1, QColor(200, 208, 220));
    p.setPen(QPen(QColor(50, 60, 80), 1.6));
    p.setBrush(face);
    p.drawEllipse(c, 18, 18);
    for (int i = 0; i <= 10; ++i) {
        const double a = (225 - 27 * i) * M_PI / 180;
        const QPointF dir(std::cos(a), -std::sin(a));
        p.setPen(QPen(i >= 8 ? QColor(210, 40, 30) : QColor(50, 60, 80), i % 5 == 0 ? 1.6 : 0.9));
        p.drawLine(c + dir * 15.5, c + dir * (i % 5 == 0 ? 11.0 : 13.0));
    }
    const double a = (225 - 27 * 6.4) * M_PI / 180;
    p.setPen(QPen(QColor(200, 30, 20), 1.8, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(c, c + QPointF(std::cos(a), -std::sin(a)) * 14);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(40, 50, 70));
    p.drawEllipse(c, 2.4, 2.4);
    p.setPen(QPen(QColor(90, 110, 140), 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(0.5, 0.5, 43, 43));
    return image;
}

// --- Pictures of the manual --------------------------------------------------

QImage ManualPanel() {
    QImage image(240, 320, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    DrawFrontPanel(p, QRectF(8, 8, 224, 300));
    return image;
}

void Arrow(QPainter& p, QPointF from, QPointF to) {
    p.drawLine(from, to);
    const QPointF d = (to - from) / std::hypot(to.x() - from.x(), to.y() - from.y());
    const QPointF n(-d.y(), d.x());
    QPolygonF head;
    head << to << to - d * 8 + n * 3.5 << to - d * 8 - n * 3.5;
    p.save();
    p.setBrush(p.pen().color());
    p.drawPolygon(head);
    p.restore();
}

// The regulated value reaching the setpoint, with the dead zone around it.
QImage ManualRegulation() {
    QImage image(600, 280, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF area(60, 24, 510, 210);
    p.setPen(QPen(QColor(225, 230, 236), 1));
    for (int i = 1; i < 10; ++i)
        p.drawLine(QPointF(area.left() + area.width() * i / 10, area.top()),
                   QPointF(area.left() + area.width() * i / 10, area.bottom()));
    for (int i = 1; i < 6; ++i)
        p.drawLine(QPointF(area.left(), area.top() + area.height() * i / 6),
                   QPointF(area.right(), area.top() + area.height() * i / 6));
    const double target = 0.72;
    const double sy = area.bottom() - area.height() * target;
    const double zone = area.height() * 0.045;
    p.fillRect(QRectF(area.left(), sy - zone, area.width(), 2 * zone), QColor(255, 236, 160, 150));
    p.setPen(QPen(QColor(30, 140, 60), 1.6, Qt::DashLine));
    p.drawLine(QPointF(area.left(), sy), QPointF(area.right(), sy));
    p.setPen(QPen(QColor(200, 40, 30), 2.4));
    p.setBrush(Qt::NoBrush);
    p.drawPath(ResponsePath(area, 0.05, target, 18));
    p.setPen(QPen(QColor(40, 50, 70), 1.6));
    Arrow(p, area.bottomLeft(), area.topLeft() - QPointF(0, 10));
    Arrow(p, area.bottomLeft(), area.bottomRight() + QPointF(14, 0));
    p.setFont(Font(13));
    p.setPen(QColor(40, 50, 70));
    p.drawText(QRectF(area.right() - 160, area.bottom() + 8, 170, 20), Qt::AlignRight,
               QStringLiteral("время, мин."));
    p.save();
    p.translate(24, area.center().y());
    p.rotate(-90);
    p.drawText(QRectF(-110, -10, 220, 20), Qt::AlignCenter,
               QStringLiteral("регулируемая величина"));
    p.restore();
    p.setPen(QColor(30, 120, 50));
    p.drawText(QPointF(area.right() - 96, sy - zone - 8), QStringLiteral("Уставка"));
    p.setPen(QColor(150, 110, 0));
    p.drawText(QPointF(area.right() - 250, sy + zone + 18),
               QStringLiteral("зона нечувствительности"));
    p.setPen(QColor(200, 40, 30));
    p.drawText(QPointF(area.left() + 120, area.top() + 14), QStringLiteral("перерегулирование"));
    return image;
}

// A setpoint program: five points, the third switched off, the second running.
QImage ManualProgram() {
    QImage image(600, 260, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    struct Point {
        double value;
        double minutes;
        bool on;
    };
    const Point points[] = {
        {150, 30, true}, {300, 60, true}, {500, 20, false}, {300, 45, true}, {50, 30, true}};
    const QRectF area(60, 20, 510, 190);
    double total = 0;
    for (const Point& pt : points)
        total += pt.minutes;
    const double maxValue = 550;
    auto xOf = [&](double minutes) { return area.left() + area.width() * minutes / total; };
    auto yOf = [&](double value) { return area.bottom() - area.height() * value / maxValue; };
    p.setPen(QPen(QColor(225, 230, 236), 1));
    for (int v = 100; v <= 500; v += 100)
        p.drawLine(QPointF(area.left(), yOf(v)), QPointF(area.right(), yOf(v)));
    double t = 0;
    p.setFont(Font(12));
    for (int i = 0; i < 5; ++i) {
        const Point& pt = points[i];
        const QRectF bar(xOf(t), yOf(pt.value), xOf(t + pt.minutes) - xOf(t),
                         area.bottom() - yOf(pt.value));
        QColor fill = pt.on ? QColor(120, 170, 230, 110) : QColor(170, 170, 170, 90);
        if (i == 1) fill = QColor(255, 230, 80, 170);
        p.fillRect(bar, fill);
        p.setPen(QPen(pt.on ? QColor(30, 80, 160) : QColor(140, 140, 140), pt.on ? 2.2 : 1.4,
                      pt.on ? Qt::SolidLine : Qt::DashLine));
        p.drawLine(bar.topLeft(), bar.topRight());
        p.setPen(QColor(40, 50, 70));
        p.drawText(QRectF(bar.left(), bar.top() - 18, bar.width(), 16), Qt::AlignCenter,
                   pt.on ? QString::number(pt.value) : QStringLiteral("выкл."));
        p.drawText(QRectF(bar.left(), area.bottom() + 4, bar.width(), 16), Qt::AlignCenter,
                   QStringLiteral("точка %1").arg(i + 1));
        p.setPen(QColor(90, 100, 120));
        p.drawText(QRectF(bar.left(), area.bottom() + 20, bar.width(), 16), Qt::AlignCenter,
                   QStringLiteral("%1:%2:00")
                       .arg(static_cast<int>(pt.minutes) / 60)
                       .arg(static_cast<int>(pt.minutes) % 60, 2, 10, QChar('0')));
        t += pt.minutes;
    }
    p.setPen(QPen(QColor(40, 50, 70), 1.6));
    Arrow(p, area.bottomLeft(), area.topLeft() - QPointF(0, 10));
    Arrow(p, area.bottomLeft(), area.bottomRight() + QPointF(14, 0));
    p.setFont(Font(12));
    for (int v = 100; v <= 500; v += 100) {
        p.drawText(QRectF(area.left() - 46, yOf(v) - 8, 40, 16), Qt::AlignRight | Qt::AlignVCenter,
                   QString::number(v));
    }
    return image;
}

// A sketch of the main window with numbered areas the manual explains.
QImage ManualWindow() {
    QImage image(680, 430, QImage::Format_RGB32);
    image.fill(QColor(250, 251, 253));
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF win(10, 10, 660, 410);
    p.setPen(QPen(QColor(120, 130, 145), 1.4));
    p.setBrush(QColor(238, 240, 244));
    p.drawRoundedRect(win, 6, 6);
    // Title and menu.
    p.fillRect(QRectF(win.left() + 1, win.top() + 1, win.width() - 2, 24), QColor(58, 92, 140));
    p.setFont(Font(12, QFont::Bold));
    p.setPen(Qt::white);
    p.drawText(QRectF(win.left() + 10, win.top() + 1, 500, 24), Qt::AlignVCenter,
               QStringLiteral("Настройка приборов ЗОРВАТ-7X (ver 1.00) - [Default.prj]"));
    p.setFont(Font(12));
    p.setPen(QColor(30, 30, 30));
    p.drawText(QPointF(win.left() + 12, win.top() + 42), QStringLiteral("Файл"));
    p.drawText(QPointF(win.left() + 56, win.top() + 42), QStringLiteral("Параметры"));
    p.drawText(QPointF(win.left() + 140, win.top() + 42), QStringLiteral("Помощь"));
    // Tree.
    const QRectF tree(win.left() + 8, win.top() + 54, 210, 240);
    p.setPen(QPen(QColor(150, 158, 170), 1));
    p.setBrush(Qt::white);
    p.drawRect(tree);
    p.fillRect(QRectF(tree.left() + 1, tree.top() + 1, tree.width() - 2, 20),
               QColor(226, 230, 236));
    p.setPen(QColor(30, 30, 30));
    p.setFont(Font(11));
    p.drawText(QPointF(tree.left() + 6, tree.top() + 15), QStringLiteral("Найденные приборы"));
    p.drawText(QPointF(tree.left() + 140, tree.top() + 15), QStringLiteral("Измерение"));
    const struct {
        int level;
        QString text;
        QString value;
        bool check;
    } rows[] = {{0, QStringLiteral("COM1"), {}, false},
                {1, QStringLiteral("ZURURU-71/M2(1)"), {}, false},
                {2, QStringLiteral("Регулятор 1"), QStringLiteral("248.700"), true},
                {2, QStringLiteral("Регулятор 2"), {}, false},
                {1, QStringLiteral("ZURURU-71/M1(2)"), {}, false},
                {2, QStringLiteral("Регулятор 1"), QStringLiteral("Ошибка!"), true}};
    double y = tree.top() + 38;
    for (const auto& row : rows) {
        const double x = tree.left() + 8 + row.level * 16;
        if (row.level == 2) {
            p.setPen(QColor(90, 90, 90));
            p.setBrush(Qt::white);
            p.drawRect(QRectF(x, y - 10, 10, 10));
            if (row.check) {
                p.setPen(QPen(QColor(20, 120, 40), 1.6));
                p.drawLine(QPointF(x + 2, y - 5), QPointF(x + 4.5, y - 2));
                p.drawLine(QPointF(x + 4.5, y - 2), QPointF(x + 9, y - 9));
            }
        }
        p.setPen(QColor(30, 30, 30));
        p.drawText(QPointF(x + (row.level == 2 ? 14 : 0), y), row.text);
        p.drawText(QPointF(tree.left() + 144, y), row.value);
        y += 20;
    }
    // Pages.
    const QRectF pages(tree.right() + 8, tree.top(), win.right() - tree.right() - 16,
                       tree.height());
    const QString tabs[] = {QStringLiteral("Связь"), QStringLiteral("Параметры"),
                            QStringLiteral("Программатор"), QStringLiteral("График")};
    double tx = pages.left();
    for (int i = 0; i < 4; ++i) {
        const double w = 18 + 7.5 * static_cast<double>(tabs[i].size());
        p.setPen(QPen(QColor(150, 158, 170), 1));
        p.setBrush(i == 0 ? Qt::white : QColor(226, 230, 236));
        p.drawRect(QRectF(tx, pages.top(), w, 22));
        p.setPen(QColor(30, 30, 30));
        p.drawText(QRectF(tx, pages.top(), w, 22), Qt::AlignCenter, tabs[i]);
        tx += w;
    }
    p.setPen(QPen(QColor(150, 158, 170), 1));
    p.setBrush(Qt::white);
    const QRectF page(pages.left(), pages.top() + 22, pages.width(), pages.height() - 22);
    p.drawRect(page);
    p.setPen(QPen(QColor(190, 196, 206), 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(page.left() + 10, page.top() + 12, 200, 150));
    p.drawRect(QRectF(page.left() + 222, page.top() + 12, page.width() - 232, 150));
    p.setPen(QColor(60, 70, 90));
    p.drawText(QPointF(page.left() + 18, page.top() + 30), QStringLiteral("Диапазон поиска"));
    p.drawText(QPointF(page.left() + 230, page.top() + 30), QStringLiteral("Найденный прибор"));
    const QString buttons[] = {QStringLiteral("Найти приборы"), QStringLiteral("Проверить связь")};
    for (int i = 0; i < 2; ++i) {
        const QRectF b(page.left() + 10 + i * 212, page.top() + 176, 190, 26);
        p.setPen(QPen(QColor(130, 138, 150), 1));
        p.setBrush(QColor(232, 235, 240));
        p.drawRoundedRect(b, 3, 3);
        p.setPen(QColor(30, 30, 30));
        p.drawText(b, Qt::AlignCenter, buttons[i]);
    }
    // Error window and status bar.
    const QRectF errors(win.left() + 8, tree.bottom() + 24, win.width() - 16, 58);
    p.setPen(QColor(30, 30, 30));
    p.drawText(QPointF(errors.left(), errors.top() - 6), QStringLiteral("Окно ошибок обмена:"));
    p.setPen(QPen(QColor(150, 158, 170), 1));
    p.setBrush(Qt::white);
    p.drawRect(errors);
    p.setPen(QColor(150, 30, 30));
    p.setFont(Font(10.5));
    p.drawText(QPointF(errors.left() + 6, errors.top() + 16),
               QStringLiteral("12:04:31 Ошибка!(-14) Порт COM1 Прибор не подключён к порту ..."));
    p.setPen(QColor(30, 30, 30));
    p.drawText(QPointF(errors.left() + 6, errors.top() + 32),
               QStringLiteral("Чтение параметров успешно завершено."));
    const double sb = win.bottom() - 22;
    p.setPen(QPen(QColor(170, 176, 186), 1));
    p.drawLine(QPointF(win.left() + 1, sb), QPointF(win.right() - 1, sb));
    p.setPen(QColor(30, 30, 30));
    p.setFont(Font(11));
    p.drawText(QPointF(win.left() + 10, sb + 15), QStringLiteral("12:05:02"));
    p.setPen(QPen(QColor(150, 158, 170), 1));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(win.left() + 80, sb + 5, 120, 12));
    p.fillRect(QRectF(win.left() + 81, sb + 6, 70, 10), QColor(60, 170, 90));
    p.setPen(QColor(30, 30, 30));
    p.drawText(QPointF(win.left() + 214, sb + 15),
               QStringLiteral("Идёт чтение параметров прибора..."));
    p.drawText(QPointF(win.right() - 110, sb + 15), QStringLiteral("Нет изменений"));

    // Numbered call-outs.
    const struct {
        QPointF at;
        int number;
    } marks[] = {{{win.left() + 230, win.top() + 37}, 1},
                 {{tree.right() - 16, tree.top() + 60}, 2},
                 {{pages.right() - 16, pages.top() + 11}, 3},
                 {{errors.right() - 16, errors.top() + 16}, 4},
                 {{win.right() - 130, sb + 11}, 5}};
    p.setFont(Font(12, QFont::Bold));
    for (const auto& mark : marks) {
        p.setPen(QPen(QColor(200, 60, 20), 1.2));
        p.setBrush(QColor(255, 140, 40));
        p.drawEllipse(mark.at, 10, 10);
        p.setPen(Qt::white);
        p.drawText(QRectF(mark.at.x() - 10, mark.at.y() - 10, 20, 20), Qt::AlignCenter,
                   QString::number(mark.number));
    }
    return image;
}

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_pictures REPO_DIR\n");
        return 2;
    }
    const QDir repo(QString::fromLocal8Bit(argv[1]));
    repo.mkpath("src/ui/pictures");
    repo.mkpath("help/images");
    bool ok = true;
    auto jpeg = [&](const QImage& image, const char* name, int quality) {
        const QString path = repo.filePath(QStringLiteral("src/ui/pictures/") + name);
        if (!WriteJpeg(image, path, quality)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            ok = false;
        }
    };
    auto png = [&](const QImage& image, const char* name) {
        const QString path = repo.filePath(QStringLiteral("help/images/") + name);
        if (!image.save(path, "PNG")) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            ok = false;
        }
    };
    jpeg(Splash(), "splash.jpg", 88);
    jpeg(AboutPanel(), "instrument.jpg", 90);
    jpeg(CurveIcon(), "curve.jpg", 92);
    jpeg(DialIcon(), "dial.jpg", 92);
    png(ManualPanel(), "panel.png");
    png(ManualRegulation(), "regulation.png");
    png(ManualProgram(), "program.png");
    png(ManualWindow(), "window.png");
    return ok ? 0 : 1;
}
