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
// Calls feedback.begin(countLaunchTweakFiles(...)) before the first mod and feedback.end()
// when it returns, whichever way, so callers need not (and must not) call them themselves.
// A resource file that cannot be saved is reported like one that cannot be loaded.
VxLaunchResult applyMods(const QString &installDir, const QList<VxModRef> &mods,
                         VxFeedback &feedback);

// What the end of a game does: every backup back in place, and any temporary file a crashed
// launch left in the data folder deleted.
void restoreGame(const QString &installDir);
