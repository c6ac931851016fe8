#include "PlastiqueFrames.h"

#include <QPainter>
#include <QStyleOption>

namespace {

// Plastique's frame line, a shade darker than the window, and how much of it the softened corners and
// the inner shadow and light carry.
constexpr int BorderDarkness = 126;
constexpr qreal SoftCornerShare = 0.6;
constexpr qreal ShadowShare = 0.5;
constexpr qreal LightShare = 0.15;
// The sunken frames are two pixels wide.
constexpr int SunkenFrameWidth = 2;

QColor mixed(const QColor &a, const QColor &b, qreal shareOfA)
{
    return QColor::fromRgbF(a.redF() * shareOfA + b.redF() * (1 - shareOfA),
        a.greenF() * shareOfA + b.greenF() * (1 - shareOfA),
        a.blueF() * shareOfA + b.blueF() * (1 - shareOfA));
}

// A one-pixel line around the rectangle whose corners are cut by one pixel and softened.
void drawRoundedLine(QPainter *painter, const QRect &r, const QColor &line, const QColor &outside)
{
    painter->setPen(line);
    painter->drawLine(r.left() + 2, r.top(), r.right() - 2, r.top());
    painter->drawLine(r.left() + 2, r.bottom(), r.right() - 2, r.bottom());
    painter->drawLine(r.left(), r.top() + 2, r.left(), r.bottom() - 2);
    painter->drawLine(r.right(), r.top() + 2, r.right(), r.bottom() - 2);
    const QPoint corners[] = {{r.left() + 1, r.top() + 1}, {r.right() - 1, r.top() + 1},
        {r.left() + 1, r.bottom() - 1}, {r.right() - 1, r.bottom() - 1}};
    painter->drawPoints(corners, 4);
    painter->setPen(mixed(line, outside, SoftCornerShare));
    const QPoint soft[] = {{r.left() + 1, r.top()}, {r.left(), r.top() + 1}, {r.right() - 1, r.top()},
        {r.right(), r.top() + 1}, {r.left() + 1, r.bottom()}, {r.left(), r.bottom() - 1},
        {r.right() - 1, r.bottom()}, {r.right(), r.bottom() - 1}};
    painter->drawPoints(soft, 8);
}

// The rounded line and, inside it, a shadow along the top and left and a light along the bottom and right.
void drawSunkenFrame(QPainter *painter, const QRect &r, const QPalette &palette)
{
    const QColor line = palette.window().color().darker(BorderDarkness);
    const QColor inside = palette.base().color();
    drawRoundedLine(painter, r, line, palette.window().color());
    const QRect inner = r.adjusted(1, 1, -1, -1);
    painter->setPen(mixed(line, inside, ShadowShare));
    painter->drawLine(inner.left() + 1, inner.top(), inner.right() - 1, inner.top());
    painter->drawLine(inner.left(), inner.top() + 1, inner.left(), inner.bottom() - 1);
    painter->setPen(mixed(line, inside, LightShare));
    painter->drawLine(inner.left() + 1, inner.bottom(), inner.right() - 1, inner.bottom());
    painter->drawLine(inner.right(), inner.top() + 1, inner.right(), inner.bottom() - 1);
}

} // namespace

PlastiqueFrames::PlastiqueFrames()
    : QProxyStyle(QStringLiteral("fusion"))
{
}

void PlastiqueFrames::drawPrimitive(
    PrimitiveElement element, const QStyleOption *option, QPainter *painter, const QWidget *widget) const
{
    const auto *frame = qstyleoption_cast<const QStyleOptionFrame *>(option);
    const bool flat = frame && (frame->features & QStyleOptionFrame::Flat);
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing, false);
    if (element == PE_PanelLineEdit && frame && frame->lineWidth > 0) {
        const int w = SunkenFrameWidth;
        painter->fillRect(option->rect.adjusted(w, w, -w, -w), option->palette.base());
        drawSunkenFrame(painter, option->rect, option->palette);
    } else if (element == PE_FrameGroupBox && !flat)
        drawRoundedLine(painter, option->rect, option->palette.window().color().darker(BorderDarkness),
            option->palette.window().color());
    else if ((element == PE_Frame && (option->state & State_Sunken)) || element == PE_FrameLineEdit)
        drawSunkenFrame(painter, option->rect, option->palette);
    else
        QProxyStyle::drawPrimitive(element, option, painter, widget);
    painter->restore();
}

// The group box as Qt's common style lays it out: the frame starts halfway down the title, which
// interrupts its top line. Fusion puts the title above a filled panel instead.
void PlastiqueFrames::drawComplexControl(
    ComplexControl control, const QStyleOptionComplex *option, QPainter *painter, const QWidget *widget) const
{
    if (control == CC_GroupBox)
        // NOLINTNEXTLINE(bugprone-parent-virtual-call): Fusion's group box is the one not wanted
        QCommonStyle::drawComplexControl(control, option, painter, widget);
    else
        QProxyStyle::drawComplexControl(control, option, painter, widget);
}

QRect PlastiqueFrames::subControlRect(ComplexControl control, const QStyleOptionComplex *option,
    SubControl subControl, const QWidget *widget) const
{
    if (control == CC_GroupBox)
        // NOLINTNEXTLINE(bugprone-parent-virtual-call): as in drawComplexControl
        return QCommonStyle::subControlRect(control, option, subControl, widget);
    return QProxyStyle::subControlRect(control, option, subControl, widget);
}

int PlastiqueFrames::pixelMetric(PixelMetric metric, const QStyleOption *option, const QWidget *widget) const
{
    // The contents start inside the sunken frames.
    if (metric == PM_DefaultFrameWidth)
        return SunkenFrameWidth;
    return QProxyStyle::pixelMetric(metric, option, widget);
}
