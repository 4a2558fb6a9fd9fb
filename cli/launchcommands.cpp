#include "cli/commands.h"

int runListCommand(const QStringList &) { return 2; }
int runApplyCommand(const QStringList &) { return 2; }
int runRestoreCommand(const QStringList &) { return 2; }
int runPlayCommand(const QStringList &) { return 2; }
