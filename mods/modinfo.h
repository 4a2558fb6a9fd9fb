#pragma once

#include <QList>
#include <QString>

// One mod folder of VexilMods as its info.txt describes it.
struct VxModInfo
{
    QString folderName;
    QString path; // the mod folder, ending in '/'
    QString name = QStringLiteral("<no name>");
    QString author = QStringLiteral("N/A");
    QString desc = QStringLiteral("N/A");
    QString version;
    quint16 priority = 0;

    // The mod list's text for it: name, one blank, version.
    QString displayText() const { return name + QLatin1Char(' ') + version; }
};

// Reads modPath + "info.txt". False when the file is missing or unreadable (the folder is
// then no mod).
bool readModInfo(const QString &modPath, VxModInfo &info);

// The mods of installDir + "/VexilMods" in folder-name order, case-insensitively.
QList<VxModInfo> scanModFolder(const QString &installDir);
