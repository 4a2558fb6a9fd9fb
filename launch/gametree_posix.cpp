#include "launch/gameprocess.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <cerrno>
#include <csignal>
#include <sys/wait.h>
#ifdef Q_OS_LINUX
#include <sys/prctl.h>
#endif

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

bool isGameProcessRunning(const QString &installDir, qint64 processId)
{
    if (!isProcessRunning(processId))
        return false;
#ifdef Q_OS_LINUX
    // The program the process runs: a process id reused by another program is not the game.
    const QString program =
        QFileInfo(QStringLiteral("/proc/%1/exe").arg(processId)).symLinkTarget();
    if (!program.isEmpty()) {
        const QString folder = QFileInfo(installDir).canonicalFilePath();
        return program.startsWith(folder + QLatin1Char('/'));
    }
#else
    Q_UNUSED(installDir);
#endif
    return true;
}

VxGameTree::VxGameTree(QProcess *process) : m_process(process)
{
#ifdef Q_OS_LINUX
    // Orphans of the game's processes become ours instead of init's, so we can tell when the
    // last one has gone. It holds for the rest of this process's life: only the game is
    // started after it.
    ::prctl(PR_SET_CHILD_SUBREAPER, 1);
#endif
}

VxGameTree::~VxGameTree() = default;

void VxGameTree::attach() {}

bool VxGameTree::othersRunning()
{
#ifdef Q_OS_LINUX
    for (;;) {
        const pid_t pid = ::waitpid(-1, nullptr, WNOHANG);
        if (pid > 0)
            continue; // an orphan of the game that has ended
        if (pid == 0)
            return true; // children left, none ended
        return errno == EINTR;
    }
#else
    return false;
#endif
}
