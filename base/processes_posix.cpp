#include "base/processes.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <csignal>

bool isProcessRunning(qint64 processId)
{
    if (processId <= 0 || (::kill(pid_t(processId), 0) != 0 && errno != EPERM))
        return false;
#ifdef Q_OS_LINUX
    // A process that has ended but not been waited for yet (its parent was killed) is gone
    // all the same.
    QFile stat(QStringLiteral("/proc/%1/stat").arg(processId));
    if (stat.open(QIODevice::ReadOnly)) {
        const QByteArray line = stat.readAll();
        const qsizetype state = line.lastIndexOf(") ");
        if (state > 0 && state + 2 < line.size() &&
            (line[state + 2] == 'Z' || line[state + 2] == 'X'))
            return false;
    }
#endif
    return true;
}

qint64 processStartTime(qint64 processId)
{
#ifdef Q_OS_LINUX
    // Field 22 of /proc/PID/stat, in clock ticks since boot; every user may read it. The
    // program's name (field 2) may hold blanks and brackets, so the count starts after it.
    QFile stat(QStringLiteral("/proc/%1/stat").arg(processId));
    if (processId <= 0 || !stat.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray line = stat.read(4096);
    const qsizetype name = line.lastIndexOf(") ");
    if (name < 0)
        return 0;
    const QList<QByteArray> fields = line.mid(name + 2).split(' ');
    // Fields 3 onwards: the start time is the 20th of them.
    return fields.size() > 19 ? fields.at(19).toLongLong() : 0;
#else
    Q_UNUSED(processId);
    return 0;
#endif
}

bool isGameProcessRunning(const QString &installDir, qint64 processId, qint64 startTime)
{
    if (!isProcessRunning(processId))
        return false;
    if (startTime > 0) {
        // Whose ever it is, a process that started at another time is another process.
        const qint64 started = processStartTime(processId);
        if (started > 0)
            return started == startTime;
    }
#ifdef Q_OS_LINUX
    // The program the process runs: a process id reused by another program is not the game.
    const QString program =
        QFileInfo(QStringLiteral("/proc/%1/exe").arg(processId)).symLinkTarget();
    if (!program.isEmpty()) {
        const QString folder = QFileInfo(installDir).canonicalFilePath();
        // A game program that is a link runs as the file it links to.
        const QString linked = QFileInfo(gameExecutablePath(installDir)).canonicalFilePath();
        return program.startsWith(folder + QLatin1Char('/')) ||
               (!linked.isEmpty() && program == linked);
    }
#else
    Q_UNUSED(installDir);
#endif
    return true;
}
