#include "cli/commands.h"

int runCheckCommand(const QStringList &) { return 2; }
