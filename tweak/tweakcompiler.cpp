#include "tweak/tweakcompiler.h"

QString normalizeTweakText(const QString &raw) { return raw; }
bool readTweakFile(const QString &, QList<VxTweakLine> &) { return false; }
TweakOutcome compileTweakFolder(const VxTweakContext &) { return TweakOutcome::Finished; }
int countTweakFiles(const QString &) { return 0; }
