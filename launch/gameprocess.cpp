#include "launch/gameprocess.h"

#include <QProcess>

QString gameExecutablePath(const QString &installDir)
{
    return installDir + QStringLiteral("/VEXIL 4 BRASK");
}

QProcess *createGameProcess(const QString &installDir)
{
    auto *process = new QProcess;
    process->setProgram(gameExecutablePath(installDir));
    process->setWorkingDirectory(installDir);
    return process;
}
