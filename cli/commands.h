#pragma once

#include <QStringList>

// Each command takes the arguments after its own name and returns the process exit code:
// 0 success, 1 the work failed or found problems, 2 a usage error.
int runCheckCommand(const QStringList &args);
int runListCommand(const QStringList &args);
int runApplyCommand(const QStringList &args);
int runRestoreCommand(const QStringList &args);
int runPlayCommand(const QStringList &args);
int runInstallCommand(const QStringList &args);
int runRemoveCommand(const QStringList &args);
