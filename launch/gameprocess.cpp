#include "launch/gameprocess.h"

#include <QProcess>

QProcess *createGameProcess(const QString &installDir)
{
    auto *process = new QProcess;
    process->setProgram(gameExecutablePath(installDir));
    process->setWorkingDirectory(installDir);
    return process;
}
