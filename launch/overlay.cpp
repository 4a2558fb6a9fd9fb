#include "launch/overlay.h"

void overlayFolder(const QString &, const QString &, const QString &, VxFeedback &) {}
void backupResourceFile(const QString &, const QString &) {}
void restoreResourceFiles(const QString &) {}
void restoreFolder(const QString &) {}
