#pragma once

#include <QString>

class QProcess;

// The game's executable in the install folder.
QString gameExecutablePath(const QString &installDir);

// A new, unstarted process for the game: its program the executable, no arguments, the
// install folder as working directory. The caller owns it. Every process the game starts
// belongs to the game's tree (see VxGameTree).
QProcess *createGameProcess(const QString &installDir);

bool isProcessRunning(qint64 processId);
// When the process started, in the system's own units (0 when it cannot be told): with its
// id, what names one process for good, since ids are given out again.
qint64 processStartTime(qint64 processId);
// True while the process is the game: it started at startTime (when that is known, not 0), or
// runs the game's program, from the game folder or the file the game's program links to (a
// process id the system has given to some other program since does not count).
bool isGameProcessRunning(const QString &installDir, qint64 processId, qint64 startTime = 0);

// The game and every process it starts. A game whose first process starts another and exits
// (an updater, a relauncher) has not ended: its files must stay until the last one is gone.
// On Windows the tree is a job object; elsewhere this process becomes the reaper of the
// game's orphans, so they stay its descendants.
class VxGameTree
{
public:
    // Before process->start(), on the process made by createGameProcess().
    explicit VxGameTree(QProcess *process);
    ~VxGameTree();
    VxGameTree(const VxGameTree &) = delete;
    VxGameTree &operator=(const VxGameTree &) = delete;

    // Right after the process has started.
    void attach();
    // True while a process of the tree other than the first one still runs. Call once the
    // first process has finished; it does not block.
    bool othersRunning();

private:
    QProcess *m_process;
    void *m_job = nullptr;
};
