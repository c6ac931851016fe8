#pragma once

#include <QProxyStyle>

// Fusion with the frames that Plastique draws in this window: the group boxes' rounded line with the
// title set into it, and the sunken frames of the lists, the log and the line edits. It stands in where
// no Plastique plugin exists for the Qt in use (Qt 6); the widgets keep their places either way.
class PlastiqueFrames : public QProxyStyle
{
    Q_OBJECT

public:
    PlastiqueFrames();

    void drawPrimitive(PrimitiveElement element, const QStyleOption *option, QPainter *painter,
        const QWidget *widget = nullptr) const override;
    void drawComplexControl(ComplexControl control, const QStyleOptionComplex *option, QPainter *painter,
        const QWidget *widget = nullptr) const override;
    QRect subControlRect(ComplexControl control, const QStyleOptionComplex *option, SubControl subControl,
        const QWidget *widget = nullptr) const override;
    int pixelMetric(PixelMetric metric, const QStyleOption *option = nullptr,
        const QWidget *widget = nullptr) const override;
};
