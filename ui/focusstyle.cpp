#include "ui/focusstyle.h"

#include <QStyleOption>

namespace {

// Runs draw with the option marked as focused by the keyboard when it has the focus. The
// options are the callers' own locals, handed down as const only by the interface; the mark
// goes again once drawn.
template <typename Draw> void withFocusShown(const QStyleOption *option, Draw draw)
{
    if (!option || !(option->state & QStyle::State_HasFocus)) {
        draw();
        return;
    }
    auto *marked = const_cast<QStyleOption *>(option);
    const QStyle::State state = marked->state;
    marked->state |= QStyle::State_KeyboardFocusChange;
    draw();
    marked->state = state;
}

} // namespace

void VxFocusStyle::drawPrimitive(PrimitiveElement element, const QStyleOption *option,
                                 QPainter *painter, const QWidget *widget) const
{
    withFocusShown(option, [&] { QProxyStyle::drawPrimitive(element, option, painter, widget); });
}

void VxFocusStyle::drawControl(ControlElement element, const QStyleOption *option,
                               QPainter *painter, const QWidget *widget) const
{
    withFocusShown(option, [&] { QProxyStyle::drawControl(element, option, painter, widget); });
}

void VxFocusStyle::drawComplexControl(ComplexControl control, const QStyleOptionComplex *option,
                                      QPainter *painter, const QWidget *widget) const
{
    withFocusShown(option,
                   [&] { QProxyStyle::drawComplexControl(control, option, painter, widget); });
}
