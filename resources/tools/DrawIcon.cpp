// Draws the application icon: the unit of the window's picture seen from the front, in its colours,
// with the orange arrow of the update going into it. Each size is drawn on its own, with less detail
// where pixels are few, from paths only, so the icons come out the same on every machine.
//   tavrin-draw-icon SIZE OUTPUT.png

#include <QColor>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPointF>
#include <QRadialGradient>
#include <QRect>
#include <QRectF>
#include <QString>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr int Sizes[] = {16, 24, 32, 48};

const QColor Outline(18, 19, 22);
const QColor Orange(240, 120, 40);
const QColor ArrowEdge(110, 48, 10);
const QColor KeyGrey(120, 126, 134);
const QColor DisplayEdge(12, 40, 36);
const QColor DisplayText(20, 70, 60);

// Where each part goes, in whole pixels of one size, so that the small icons stay sharp instead of
// blurring between pixels. Edges and outlines are one pixel wide.
struct Layout
{
    QRect body;
    int bodyRadius;
    QRect display;
    int displayLines; // lines of text on the display
    QRect knob; // empty: the size has no room for a knob
    QRect firstKey;
    int keyCount;
    int keyGap;
    int shaftLeft;
    int shaftWidth;
    int arrowTop;
    int neck; // where the arrow's head begins
    int tip;
    int headOverhang; // how far the head reaches out beyond the shaft on each side
    bool displayEdge; // whether these parts have a dark edge
    bool keyEdges;
    bool arrowEdge;
};

Layout layoutFor(int size)
{
    switch (size) {
    case 16:
        return {QRect(0, 4, 16, 12), 2, QRect(2, 6, 12, 4), 0, QRect(), QRect(2, 11, 3, 2), 3, 1, 5, 3, 0, 4,
            8, 2, false, false, false};
    case 24:
        return {QRect(1, 5, 22, 18), 3, QRect(3, 8, 12, 8), 0, QRect(16, 9, 6, 6), QRect(3, 18, 4, 3), 3, 2,
            7, 4, 0, 6, 12, 3, true, false, false};
    case 32:
        return {QRect(1, 6, 30, 24), 4, QRect(5, 10, 15, 9), 2, QRect(21, 10, 8, 8), QRect(5, 22, 5, 4), 4, 1,
            10, 5, 0, 7, 14, 4, true, false, true};
    default:
        return {QRect(2, 9, 44, 36), 5, QRect(7, 15, 23, 13), 2, QRect(32, 16, 11, 11), QRect(7, 33, 7, 6), 4,
            2, 15, 7, 1, 11, 20, 6, true, true, true};
    }
}

QRectF inside(const QRect &area)
{
    return QRectF(area).adjusted(0.5, 0.5, -0.5, -0.5);
}

void drawBox(
    QPainter &painter, const QRect &area, qreal radius, const QColor &edge, const QBrush &fill, bool outline)
{
    if (outline) {
        painter.setPen(QPen(edge, 1.0));
        painter.setBrush(fill);
        painter.drawRoundedRect(inside(area), radius, radius);
    } else {
        painter.setPen(Qt::NoPen);
        painter.setBrush(fill);
        painter.drawRoundedRect(QRectF(area), radius, radius);
    }
}

void drawCase(QPainter &painter, const Layout &layout)
{
    QLinearGradient shade(layout.body.topLeft(), layout.body.bottomLeft());
    shade.setColorAt(0.0, QColor(78, 84, 92));
    shade.setColorAt(0.12, QColor(52, 56, 63));
    shade.setColorAt(1.0, QColor(30, 32, 37));
    drawBox(painter, layout.body, layout.bodyRadius, Outline, shade, true);
}

void drawDisplay(QPainter &painter, const Layout &layout)
{
    const QRect &display = layout.display;
    QLinearGradient glow(display.topLeft(), display.bottomLeft());
    glow.setColorAt(0.0, QColor(150, 214, 196));
    glow.setColorAt(1.0, QColor(86, 170, 150));
    drawBox(painter, display, 1.5, DisplayEdge, glow, layout.displayEdge);
    const int spacing = display.height() / (layout.displayLines + 1);
    const int thickness = (display.height() + 4) / 8;
    const int left = display.left() + display.width() / 6;
    for (int i = 0; i < layout.displayLines; ++i) {
        const int width = display.width() * 2 / 3 - i * display.width() / 4;
        painter.fillRect(QRect(left, display.top() + spacing * (i + 1), width, thickness), DisplayText);
    }
}

void drawKnob(QPainter &painter, const Layout &layout)
{
    if (layout.knob.isEmpty())
        return;
    const QRectF area(layout.knob);
    const QPointF centre = area.center();
    QRadialGradient knob(centre - QPointF(area.width() / 5, area.height() / 5), area.width() * 0.7);
    knob.setColorAt(0.0, QColor(200, 204, 210));
    knob.setColorAt(1.0, QColor(92, 96, 104));
    painter.setPen(QPen(Outline, 1.0));
    painter.setBrush(knob);
    painter.drawEllipse(inside(layout.knob));
    // The pointer turned left, like the first knob of the unit in the picture.
    constexpr qreal Turn = -0.9;
    const qreal reach = area.width() / 2 - 1.5;
    painter.setPen(QPen(Orange, std::max(1.5, area.width() / 6), Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(centre, centre + QPointF(reach * std::sin(Turn), -reach * std::cos(Turn)));
}

// A row of step buttons, the first one lit, as on the unit in the picture.
void drawKeys(QPainter &painter, const Layout &layout)
{
    for (int i = 0; i < layout.keyCount; ++i) {
        const QRect key = layout.firstKey.translated(i * (layout.firstKey.width() + layout.keyGap), 0);
        drawBox(
            painter, key, layout.keyEdges ? 1.5 : 0.0, Outline, i == 0 ? Orange : KeyGrey, layout.keyEdges);
    }
}

QPainterPath arrowShape(qreal left, qreal right, qreal overhang, qreal top, qreal neck, qreal tip)
{
    QPainterPath arrow;
    arrow.moveTo(left, top);
    arrow.lineTo(right, top);
    arrow.lineTo(right, neck);
    arrow.lineTo(right + overhang, neck);
    arrow.lineTo((left + right) / 2, tip);
    arrow.lineTo(left - overhang, neck);
    arrow.lineTo(left, neck);
    arrow.closeSubpath();
    return arrow;
}

// The update goes down into the display, as the arrow under the name points into the unit.
void drawArrow(QPainter &painter, const Layout &layout)
{
    const qreal left = layout.shaftLeft;
    const qreal right = left + layout.shaftWidth;
    painter.setPen(Qt::NoPen);
    if (!layout.arrowEdge) {
        painter.setBrush(Orange);
        painter.drawPath(
            arrowShape(left, right, layout.headOverhang, layout.arrowTop, layout.neck, layout.tip));
        return;
    }
    // The edge is as wide across the slanted sides of the head as across the straight ones.
    constexpr qreal Slant = 1.414;
    painter.setBrush(ArrowEdge);
    painter.drawPath(arrowShape(left, right, layout.headOverhang, layout.arrowTop, layout.neck, layout.tip));
    painter.setBrush(Orange);
    painter.drawPath(arrowShape(left + 1, right - 1, layout.headOverhang + 1 - Slant, layout.arrowTop + 1,
        layout.neck + 1, layout.tip - Slant));
}

QImage drawIcon(int size)
{
    const Layout layout = layoutFor(size);
    QImage icon(size, size, QImage::Format_ARGB32);
    icon.fill(Qt::transparent);
    QPainter painter(&icon);
    painter.setRenderHint(QPainter::Antialiasing);
    drawCase(painter, layout);
    drawDisplay(painter, layout);
    drawKnob(painter, layout);
    drawKeys(painter, layout);
    drawArrow(painter, layout);
    return icon;
}

bool isIconSize(int size)
{
    for (int known : Sizes) {
        if (size == known)
            return true;
    }
    return false;
}

} // namespace

int main(int argc, char **argv)
{
    const int size = argc == 3 ? std::atoi(argv[1]) : 0;
    if (!isIconSize(size)) {
        std::fprintf(stderr, "usage: %s 16|24|32|48 OUTPUT.png\n", argv[0]);
        return 2;
    }
    if (!drawIcon(size).save(QString::fromLocal8Bit(argv[2]), "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
