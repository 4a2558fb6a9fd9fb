#include "mods/modinfo.h"

bool readModInfo(const QString &, VxModInfo &) { return false; }
QList<VxModInfo> scanModFolder(const QString &) { return {}; }
