#include "launch/launchsequence.h"

int countLaunchTweakFiles(const QString &, const QList<VxModRef> &) { return 0; }
VxLaunchResult applyMods(const QString &, const QList<VxModRef> &, VxFeedback &) { return VxLaunchResult::Applied; }
void restoreGame(const QString &) {}
