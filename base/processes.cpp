#include "base/processes.h"

QString gameExecutablePath(const QString &installDir)
{
    return installDir + QStringLiteral("/VEXIL 4 BRASK");
}
