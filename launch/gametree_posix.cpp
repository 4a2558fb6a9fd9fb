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
