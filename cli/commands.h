#pragma once

#include <QList>
#include <QStringList>

struct VxModInfo;

// Each command takes the arguments after its own name and returns the process exit code:
// 0 success, 1 the work failed or found problems, 2 a usage error.
int runCheckCommand(const QStringList &args);
int runListCommand(const QStringList &args);
int runApplyCommand(const QStringList &args);
int runRestoreCommand(const QStringList &args);
int runPlayCommand(const QStringList &args);
int runStatusCommand(const QStringList &args);
int runPlanCommand(const QStringList &args);

// The game folder and the mods that args name, checked as apply and play check them (a game
// folder with a data folder, each mod once, each one found in VexilMods); mods in the order
// named. -1 when the command can go on, else the exit code to stop with (the reason printed).
int parseModArguments(const QString &command, const QStringList &args, QString &installDir,
                      QList<VxModInfo> &mods);
int runInstallCommand(const QStringList &args);

// "1 mod", "0 mods", "3 mods": a count and its noun, singular only for one.
QString counted(qsizetype count, const char *one, const char *many);
int runRemoveCommand(const QStringList &args);
int runSetsCommand(const QStringList &args);
int runSetCommand(const QStringList &args); // set save NAME MOD..., set delete NAME
