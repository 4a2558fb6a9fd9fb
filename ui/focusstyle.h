#pragma once

#include <QProxyStyle>

// The application's style, except that a control with the focus always shows it. Styles
// draw the focus only once the keyboard has moved it, and hide it again after a click, so the
// button a window opens with showed none; a player who reaches for the keyboard then has to
// guess where Space or Enter will land.
class VxFocusStyle : public QProxyStyle
{
public:
    void drawPrimitive(PrimitiveElement element, const QStyleOption *option, QPainter *painter,
                       const QWidget *widget = nullptr) const override;
    void drawControl(ControlElement element, const QStyleOption *option, QPainter *painter,
                     const QWidget *widget = nullptr) const override;
    void drawComplexControl(ComplexControl control, const QStyleOptionComplex *option,
                            QPainter *painter, const QWidget *widget = nullptr) const override;
};
