#pragma once

#include <QList>
#include <QString>

class VxFeedback;

// One ticked mod, in the order the launch applies them.
struct VxModRef
{
    QString path;  // the mod folder, ending in '/'
    QString title; // shown as the progress title while it is applied
};

enum class VxLaunchResult {
    Applied,    // every mod is in place; the game may start
    LoadFailed, // a resource file or its backup did not load (the person was told)
    Abandoned,  // the person answered Abort or closed the progress window
};

// The tweak files a launch of these mods will compile (the progress maximum).
int countLaunchTweakFiles(const QString &installDir, const QList<VxModRef> &mods);

// Everything "Play" does before the game starts, for the mods in order. Starts from the
// game's own files: backups left by an earlier launch that ended early are put back first.
VxLaunchResult applyMods(const QString &installDir, const QList<VxModRef> &mods,
                         VxFeedback &feedback);

// What the end of a game does: every backup back in place.
void restoreGame(const QString &installDir);
