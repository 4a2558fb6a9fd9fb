#include "ui/logoframe.h"

#include <QImage>
#include <QPainter>

VxLogoFrame::VxLogoFrame(QWidget *parent) : QFrame(parent) {}

VxLogoFrame::~VxLogoFrame() = default;

void VxLogoFrame::paintEvent(QPaintEvent *event)
{
    {
        // A missing image is a null image, which paints nothing.
        QPainter painter(this);
        painter.drawImage(QPoint(0, 0), QImage(QStringLiteral(":/Logo.png")));
    }
    // The border goes on top of the logo's edges; the painter above must be gone first,
    // since a widget takes only one painter at a time.
    QFrame::paintEvent(event);
}
