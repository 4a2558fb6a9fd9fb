#pragma once

#include "base/gamelock.h"
#include "launch/journal.h"
#include "launch/overlay.h"

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
    Failed,     // a file could not be changed (the person was told)
};

// The tweak files a launch of these mods will compile (the progress maximum).
int countLaunchTweakFiles(const QString &installDir, const QList<VxModRef> &mods);

// What is left in a game folder by a launch that has not been undone.
struct VxGameState
{
    VxJournal journal;          // Missing when the folder is as the game left it
    QStringList backupsByName;  // F.backup files with no journal: an older launcher's work
    bool launchRunning = false; // another live launcher holds the folder
    bool gameRunning = false;   // the game the journal names is still running
    QStringList changedFiles;   // placed by the launch and changed since (relative paths)
    QString lockProblem;        // a lock file nobody holds, or something else under its name

    bool isModded() const { return journal.state != VxJournal::State::Missing; }
};
VxGameState inspectGame(const QString &installDir);

// What a start found and did about a launch that was not undone.
struct VxRecovery
{
    enum class Outcome {
        Clean,         // nothing to do
        Restored,      // an earlier launch's changes were undone now
        RestoreFailed, // some could not be: report lists them, the journal keeps them
        GameRunning,   // that launch's game still runs: nothing was touched
        Busy,          // another launcher holds the folder: nothing was touched
        Damaged,       // the journal could not be read: set aside, nothing was touched
        Failed,        // the folder cannot be locked or the journal read
    };
    Outcome outcome = Outcome::Clean;
    VxRestoreReport report;
    QString message; // for every outcome but Clean and Restored
    QString keptAs;  // Damaged: where the journal was set aside
};

// Undoes whatever an earlier launch left, following its journal, unless its game still runs.
// The caller holds lock.
VxRecovery recoverGame(const QString &installDir);
VxRecovery recoverGame(const QString &installDir, VxGameLock &lock);

// One launch: it holds the game folder's lock from start() to the end of restore() (or to
// its destruction), and records every change in the journal before making it.
class VxLaunch
{
public:
    explicit VxLaunch(const QString &installDir);
    ~VxLaunch();
    VxLaunch(const VxLaunch &) = delete;
    VxLaunch &operator=(const VxLaunch &) = delete;

    // Takes the lock and undoes what an earlier launch left. Anything but Clean or Restored
    // means the launch must not go on; the recovery's message says why. A launch of no mod
    // changes nothing, so where the game folder cannot hold a lock (a read-only install) it
    // goes on without one, as long as no earlier launch is left to undo.
    VxRecovery start(bool changesFiles = true);

    // Everything "Play" does before the game starts, for the mods in order. Calls
    // feedback.begin(countLaunchTweakFiles(...)) before the first mod and feedback.end() when
    // it returns, whichever way. A file that cannot be changed, or a resource file that cannot
    // be saved, is reported like one that cannot be loaded.
    VxLaunchResult apply(const QList<VxModRef> &mods, VxFeedback &feedback);

    // The game's process, for a later start to know whether it still runs.
    bool recordGame(qint64 processId, QString *error = nullptr);

    // Undoes every change of this launch and removes the journal when all went back; the lock
    // is released then. Failures stay in the journal for the next start.
    VxRestoreReport restore();

    // Releases the lock without undoing anything (vxmod apply leaves the game modded).
    void release();

private:
    class Private;
    Private *d;
};

// vxmod's and the tests' shorthand: a whole launch with no game.
VxLaunchResult applyMods(const QString &installDir, const QList<VxModRef> &mods,
                         VxFeedback &feedback, QString *refusal = nullptr);
// Follows the journal, as the end of a game does. Without a journal nothing changes.
VxRestoreReport restoreGame(const QString &installDir);
