#pragma once

#include <QList>
#include <QString>
#include <QStringList>

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

// Reads modPath + "info.txt". False when the file is missing, unreadable or no regular file
// of a sensible size (the folder is then no mod); error, if given, says why.
bool readModInfo(const QString &modPath, VxModInfo &info, QString *error = nullptr);

// The mods of installDir + "/VexilMods" in folder-name order, case-insensitively. A folder
// whose info.txt exists but cannot be read, or that holds a tweak file that could not be
// read (see checkModTweakFiles), is left out and, if problems is given, named there
// ("path: why").
QList<VxModInfo> scanModFolder(const QString &installDir, QStringList *problems = nullptr);
