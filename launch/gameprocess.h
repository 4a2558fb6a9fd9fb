#pragma once

#include "base/processes.h"

#include <QString>

class QProcess;

// A new, unstarted process for the game: its program the executable, no arguments, the
// install folder as working directory. The caller owns it. Every process the game starts
// belongs to the game's tree (see VxGameTree).
QProcess *createGameProcess(const QString &installDir);

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
