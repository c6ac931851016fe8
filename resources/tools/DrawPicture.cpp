// Draws the picture at the top of the window: the Tavrin unit and its name. Everything is drawn from
// paths, no font is involved, so the picture comes out the same on every machine. A SCALE of 2 draws
// the same picture at twice the pixels, for screens that show the window twice as large.
//   tavrin-draw-picture OUTPUT.png [SCALE]

#include <QColor>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPainterPathStroker>
#include <QPointF>
#include <QRadialGradient>
#include <QRectF>
#include <QTransform>

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr int PictureWidth = 320;
constexpr int PictureHeight = 87;

// Strokes of one capital on a unit cell (x to the right, y downwards, both 0 to 1).
QPainterPath letter(char c)
{
    QPainterPath path;
    switch (c) {
    case 'T':
        path.moveTo(0.0, 0.0);
        path.lineTo(1.0, 0.0);
        path.moveTo(0.5, 0.0);
        path.lineTo(0.5, 1.0);
        break;
    case 'A':
        path.moveTo(0.0, 1.0);
        path.lineTo(0.5, 0.0);
        path.lineTo(1.0, 1.0);
        path.moveTo(0.22, 0.62);
        path.lineTo(0.78, 0.62);
        break;
    case 'V':
        path.moveTo(0.0, 0.0);
        path.lineTo(0.5, 1.0);
        path.lineTo(1.0, 0.0);
        break;
    case 'R':
        path.moveTo(0.0, 1.0);
        path.lineTo(0.0, 0.0);
        path.lineTo(0.6, 0.0);
        path.cubicTo(1.05, 0.0, 1.05, 0.52, 0.6, 0.52);
        path.lineTo(0.0, 0.52);
        path.moveTo(0.5, 0.52);
        path.lineTo(1.0, 1.0);
        break;
    case 'I':
        path.moveTo(0.5, 0.0);
        path.lineTo(0.5, 1.0);
        break;
    case 'N':
        path.moveTo(0.0, 1.0);
        path.lineTo(0.0, 0.0);
        path.lineTo(1.0, 1.0);
        path.lineTo(1.0, 0.0);
        break;
    default:
        break;
    }
    return path;
}

// The word as an outline, `height` tall, starting at `origin`.
QPainterPath word(const char *text, QPointF origin, qreal height, qreal stroke)
{
    QPainterPath strokes;
    const qreal width = 0.62 * height;
    const qreal gap = 0.22 * height;
    qreal x = origin.x();
    for (const char *c = text; *c; ++c) {
        const qreal cellWidth = *c == 'I' ? 0.3 * height : width;
        QTransform placement;
        placement.translate(x, origin.y());
        placement.scale(cellWidth, height);
        strokes.addPath(placement.map(letter(*c)));
        x += cellWidth + gap;
    }
    QPainterPathStroker stroker;
    stroker.setWidth(stroke);
    stroker.setCapStyle(Qt::SquareCap);
    stroker.setJoinStyle(Qt::MiterJoin);
    stroker.setMiterLimit(1.5);
    return stroker.createStroke(strokes).simplified();
}

void drawUnit(QPainter &painter)
{
    // Case with a light top edge.
    const QRectF body(6.5, 14.5, 150, 58);
    QLinearGradient bodyShade(body.topLeft(), body.bottomLeft());
    bodyShade.setColorAt(0.0, QColor(78, 84, 92));
    bodyShade.setColorAt(0.12, QColor(52, 56, 63));
    bodyShade.setColorAt(1.0, QColor(30, 32, 37));
    painter.setPen(QPen(QColor(18, 19, 22), 1.0));
    painter.setBrush(bodyShade);
    painter.drawRoundedRect(body, 6, 6);

    // Display.
    const QRectF display(16.5, 23.5, 52, 20);
    QLinearGradient glow(display.topLeft(), display.bottomLeft());
    glow.setColorAt(0.0, QColor(150, 214, 196));
    glow.setColorAt(1.0, QColor(86, 170, 150));
    painter.setPen(QPen(QColor(12, 40, 36), 1.0));
    painter.setBrush(glow);
    painter.drawRoundedRect(display, 2, 2);
    painter.setPen(QPen(QColor(20, 70, 60), 1.6, Qt::SolidLine, Qt::RoundCap));
    for (int i = 0; i < 3; ++i)
        painter.drawLine(QPointF(21, 29.5 + 5 * i), QPointF(21 + 36 - 9 * i, 29.5 + 5 * i));

    // Four knobs.
    for (int i = 0; i < 4; ++i) {
        const QPointF centre(86 + 18 * i, 33);
        QRadialGradient knob(centre - QPointF(2, 2), 8);
        knob.setColorAt(0.0, QColor(200, 204, 210));
        knob.setColorAt(1.0, QColor(92, 96, 104));
        painter.setPen(QPen(QColor(14, 15, 18), 1.0));
        painter.setBrush(knob);
        painter.drawEllipse(centre, 6.5, 6.5);
        painter.setPen(QPen(QColor(240, 120, 40), 1.6, Qt::SolidLine, Qt::RoundCap));
        const qreal turn = -2.2 + 1.3 * i;
        painter.drawLine(centre, centre + QPointF(5.0 * std::sin(turn), -5.0 * std::cos(turn)));
    }

    // A row of step buttons; every fourth one lit.
    for (int i = 0; i < 8; ++i) {
        const QRectF key(16.5 + 17 * i, 53.5, 12, 10);
        painter.setPen(QPen(QColor(14, 15, 18), 1.0));
        painter.setBrush(i % 4 == 0 ? QColor(240, 120, 40) : QColor(120, 126, 134));
        painter.drawRoundedRect(key, 2, 2);
    }
}

void drawName(QPainter &painter)
{
    const QPainterPath name = word("TAVRIN", QPointF(172, 20), 28, 4.5);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0, 0, 0, 60));
    painter.drawPath(name.translated(1.5, 1.5));
    QLinearGradient metal(0, 18, 0, 52);
    metal.setColorAt(0.0, QColor(70, 76, 86));
    metal.setColorAt(1.0, QColor(28, 30, 36));
    painter.setBrush(metal);
    painter.drawPath(name);

    // Underline with an arrow into the unit: the update goes that way.
    painter.setPen(QPen(QColor(240, 120, 40), 2.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawLine(QPointF(298, 63), QPointF(168, 63));
    painter.drawLine(QPointF(168, 63), QPointF(175, 58));
    painter.drawLine(QPointF(168, 63), QPointF(175, 68));
}

} // namespace

int main(int argc, char **argv)
{
    const int scale = argc == 3 ? std::atoi(argv[2]) : 1;
    if (argc < 2 || argc > 3 || scale < 1) {
        std::fprintf(stderr, "usage: %s OUTPUT.png [SCALE]\n", argv[0]);
        return 2;
    }
    QImage picture(PictureWidth * scale, PictureHeight * scale, QImage::Format_ARGB32);
    picture.fill(Qt::transparent);
    {
        QPainter painter(&picture);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.scale(scale, scale);
        drawUnit(painter);
        drawName(painter);
    }
    if (!picture.save(QString::fromLocal8Bit(argv[1]), "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
