#pragma once

#include <QString>
#include <QVariant>

// The game's two stored values; each reads as "NONE" when missing.
struct VxGameLocation
{
    QString installDir = QStringLiteral("NONE");
    QString language = QStringLiteral("NONE");

    bool found() const { return installDir != QLatin1String("NONE"); }
};

// On Windows the game's registry key (32-bit view first, then 64-bit); elsewhere the INI
// store "KESTWYN/Vexil 4 Brask.conf" in the XDG config folders, the user's first.
VxGameLocation lookupGame();

// The location from the two stored values as the store hands them out (invalid when
// missing): the folder with '/' separators and no trailing one. An empty folder reads as
// "NONE" too, so that a blank value cannot send the launcher to the file system's root.
VxGameLocation gameLocationFrom(const QVariant &installDir, const QVariant &language);
