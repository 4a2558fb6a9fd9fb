// A small stand-in for the game executable. Started with the install folder as working
// directory, it reads launcher.cfg, the resource files under data/Tweak and the data files,
// and shows them in a window at the chosen resolution, so a player can see what the mods did.
//
// Environment variables, for tests and scripts:
//   VX_STANDIN_QUIT_AFTER_MS=<n>  close by itself after n milliseconds
//   VX_STANDIN_EXIT_CODE=<n>      the exit code to return (0 by default)
//   VX_STANDIN_CRASH=1            crash instead of exiting (after the delay, if one is set)
//   VX_STANDIN_SNAPSHOT=<file>    first write what the game sees to file: arguments, working
//                                 directory, launcher.cfg, each data file's path and SHA-1,
//                                 and the resource values (one tab-separated record a line)
//   VX_STANDIN_HEADLESS=1         no window and no display needed: snapshot, wait, exit
//   VX_STANDIN_HANDOVER_MS=<n>    hand over to a copy of itself and exit at once, as an
//                                 updater or a relauncher does; the copy waits n milliseconds,
//                                 then behaves as set by the other variables

#include "demo/standin/gamestate.h"
#include "demo/standin/gamewindow.h"

#include <QApplication>
#include <QDir>
#include <QProcess>
#include <QScreen>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <thread>

#ifdef Q_OS_WIN
#include <qt_windows.h>
#endif

namespace {

void warn(const QString &message)
{
    std::fprintf(stderr, "vxstandin: %s\n", qPrintable(message));
}

// An optional integer variable; a value that is not a number is reported and ignored.
int intVariable(const char *name, int fallback)
{
    if (!qEnvironmentVariableIsSet(name))
        return fallback;
    bool ok = false;
    const int value = qEnvironmentVariable(name).trimmed().toInt(&ok);
    if (!ok) {
        warn(QStringLiteral("ignoring %1=%2: not a number")
                 .arg(QLatin1String(name), qEnvironmentVariable(name)));
        return fallback;
    }
    return value;
}

// abort() ends a Windows program with exit code 3, which reads as an ordinary exit; a real
// game crashes there with an unhandled exception, and without the error dialog here.
[[noreturn]] void crashNow()
{
#ifdef Q_OS_WIN
    SetErrorMode(SEM_NOGPFAULTERRORBOX);
    RaiseException(EXCEPTION_ACCESS_VIOLATION, EXCEPTION_NONCONTINUABLE, 0, nullptr);
#endif
    std::abort();
}

} // namespace

int main(int argc, char *argv[])
{
    const bool headless = intVariable("VX_STANDIN_HEADLESS", 0) == 1;
    const bool crash = intVariable("VX_STANDIN_CRASH", 0) == 1;
    const int exitCode = intVariable("VX_STANDIN_EXIT_CODE", 0);
    const int quitAfterMs = intVariable("VX_STANDIN_QUIT_AFTER_MS", -1);

    const int handoverMs = intVariable("VX_STANDIN_HANDOVER_MS", -1);
    if (handoverMs >= 0) {
        QCoreApplication handover(argc, argv);
        QProcess successor;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("VX_STANDIN_HANDOVER_MS"));
        environment.insert(QStringLiteral("VX_STANDIN_START_AFTER_MS"),
                           QString::number(handoverMs));
        successor.setProcessEnvironment(environment);
        successor.setProgram(QCoreApplication::applicationFilePath());
        successor.setArguments(QCoreApplication::arguments().mid(1));
        successor.setWorkingDirectory(QDir::currentPath());
        if (!successor.startDetached()) {
            warn(QStringLiteral("cannot hand over to a copy of the game"));
            return 1;
        }
        return 0;
    }
    if (const int startAfterMs = intVariable("VX_STANDIN_START_AFTER_MS", 0); startAfterMs > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(startAfterMs));

    std::unique_ptr<QCoreApplication> app;
    if (headless)
        app = std::make_unique<QCoreApplication>(argc, argv);
    else
        app = std::make_unique<QApplication>(argc, argv);

    const VxStandinState state =
        readGameState(QDir::currentPath(), QCoreApplication::arguments().mid(1));
    for (const QString &problem : state.problems)
        warn(problem);

    const QString snapshotPath = qEnvironmentVariable("VX_STANDIN_SNAPSHOT");
    if (!snapshotPath.isEmpty()) {
        QString error;
        if (!writeSnapshot(snapshotPath, state, &error))
            warn(QStringLiteral("cannot write snapshot %1: %2")
                     .arg(QDir::toNativeSeparators(snapshotPath), error));
    }

    std::unique_ptr<VxStandinWindow> window;
    if (!headless) {
        window = std::make_unique<VxStandinWindow>(state);
        QSize size(state.settings.width, state.settings.height);
        if (const QScreen *screen = QGuiApplication::primaryScreen())
            size = size.boundedTo(screen->availableGeometry().size());
        window->resize(size);
        window->show();
    }

    if (quitAfterMs >= 0) {
        QTimer::singleShot(quitAfterMs, [crash, exitCode] {
            if (crash)
                crashNow();
            QCoreApplication::exit(exitCode);
        });
    } else if (crash) {
        crashNow();
    } else if (headless) {
        return exitCode;
    }
    QCoreApplication::exec();
    return exitCode;
}
