#pragma once

#include <QString>

class VxFeedback;

// Lays the mod folder source over installDir + "/data" + relative: each replaced game file
// F is first renamed to F.backup (unless that backup exists). relative begins with '/'.
void overlayFolder(const QString &installDir, const QString &source, const QString &relative,
                   VxFeedback &feedback);

// Copies data/Tweak/X.xml to X.xml.backup unless the backup exists.
void backupResourceFile(const QString &installDir, const QString &resourceName);

// Puts every data/Tweak/*.xml.backup back over its X.xml.
void restoreResourceFiles(const QString &installDir);

// Puts every F.backup below folder back over F.
void restoreFolder(const QString &folder);
