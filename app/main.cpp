#include "ui/launcherdialog.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
#ifndef Q_OS_WIN
    // The launcher's boxes too: the default sans faces of other desktops run wider.
    QApplication::setFont(VxLauncherForm::dialogFont());
#endif
    // Lives until the process ends; it is destroyed before the application object.
    VxLauncherDialog dialog;
    // The person has been told already; there is nothing to show.
    if (!dialog.isGameFound())
        return 0;
    dialog.show();
    return app.exec();
}
