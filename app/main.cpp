#include "ui/collisionmarks.h"
#include "ui/launcherdialog.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFont>
#include <QListWidget>
#include <QTimer>

#include <cstdio>

namespace {

// A hook for the test that drives this very program (it cannot reach a window offscreen):
// VX_LAUNCHER_TICK names mods to tick (titles, comma-separated), VX_LAUNCHER_PRESS the
// button to press (playButton or cancelButton) once their collision marks are in, so the
// plan's worker has run. "pressed NAME" on standard output tells the test when.
void pressWhenPlanned(VxLauncherDialog &dialog)
{
    const QString press = qEnvironmentVariable("VX_LAUNCHER_PRESS");
    if (press.isEmpty())
        return;
    auto *list = dialog.findChild<QListWidget *>(QStringLiteral("modsList"));
    auto *marks = list ? list->findChild<VxCollisionMarks *>() : nullptr;
    auto *button = dialog.findChild<QAbstractButton *>(press);
    if (!marks || !button) {
        std::fprintf(stderr, "VX_LAUNCHER_PRESS: no button %s\n", qPrintable(press));
        return;
    }
    QObject::connect(
        marks, &VxCollisionMarks::marksUpdated, button,
        [button, press] {
            std::printf("pressed %s\n", qPrintable(press));
            std::fflush(stdout);
            QTimer::singleShot(0, button, &QAbstractButton::click);
        },
        Qt::SingleShotConnection);
    for (const QString &name :
         qEnvironmentVariable("VX_LAUNCHER_TICK").split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        for (QListWidgetItem *item : list->findItems(name, Qt::MatchStartsWith))
            item->setCheckState(Qt::Checked);
    }
}

} // namespace

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
    pressWhenPlanned(dialog);
    return app.exec();
}
