#include "ui/launcherdialog.h"

#include <QApplication>
#include <QFont>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
#ifndef Q_OS_WIN
    // The form's fixed geometry was laid out for the Windows dialog font. The wider default
    // sans faces of other desktops clip several labels, so use a face with Windows metrics at
    // the size Windows dialogs use (8 points at 96 dpi).
    QFont font(QStringLiteral("Liberation Sans"));
    font.setPixelSize(11);
    QApplication::setFont(font);
#endif
    // Lives until the process ends; it is destroyed before the application object.
    VxLauncherDialog dialog;
    // The person has been told already; there is nothing to show.
    if (!dialog.isGameFound())
        return 0;
    dialog.show();
    return app.exec();
}
