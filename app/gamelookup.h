#pragma once

#include <QString>

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
