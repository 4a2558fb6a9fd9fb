#pragma once

#include "launch/journal.h"

#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

class VxFeedback;

// The file work of a launch and of its undo. Every change is planned first, recorded in the
// launch journal, and only then made; the restore undoes exactly what the journal lists.

// Names a launch has given out in a game folder: the files it laid and the backups and
// temporary files it made. A name is never given out twice, nor one that exists on disk.
class VxClaimedNames
{
public:
    void claim(const QString &path);
    bool isClaimed(const QString &path) const;
    // A name some mod of the launch will lay: not given out as a backup or temporary name,
    // though not laid yet.
    void reserve(const QString &path);
    // path itself if nothing is there and nobody claimed or reserved it; else the first free
    // of path + ".1", ".2", ... (with the suffix kept last when one is given).
    QString freeName(const QString &path, const QString &suffix = QString());

private:
    static QString key(const QString &path);
    QSet<QString> m_names;
    QSet<QString> m_reserved;
};

// One data file of a mod laid over the game.
struct VxDataChange
{
    QString source;    // the mod's file
    QString target;    // the game's path for it
    QString backup;    // where the game's file goes aside; empty when the mod adds the file
    QString temporary; // where the mod's file is copied before it takes its name
};

// A mod's data file and the game's path for it: every file below the mod's subfolders except
// "Tweak" whose folder exists in the game, in the order the launch reaches them.
struct VxModDataFile
{
    QString source;
    QString target;
};
QList<VxModDataFile> modDataFiles(const QString &installDir, const QString &modPath);

// Reserves the name of every data file the mods will lay, before any backup or temporary
// name is chosen: one mod's file named like another's backup ("s.wav.backup") or temporary
// ("s.wav.vxpart") is laid, and the backup takes the next free name.
void reserveModDataNames(const QString &installDir, const QStringList &modPaths,
                         VxClaimedNames &claimed);

// The changes a mod's data folders make (every subfolder of modPath except "Tweak", laid over
// installDir/data), in the order they are made. Names already claimed by the launch (a file
// an earlier mod laid) are left as they are: the first mod to lay a file keeps it.
QList<VxDataChange> planModData(const QString &installDir, const QString &modPath,
                                VxClaimedNames &claimed);

// The journal record of a change, with paths relative to installDir.
VxJournalRecord journalRecord(const QString &installDir, const VxDataChange &change);

// Makes one planned change in two steps: the mod's file copied to its temporary name, then
// (once the copy's identity is in the journal) the renames. False with error set when it
// could not be made; a change that fails half-way puts back what it had done.
bool copyModFile(const VxDataChange &change, QString *error);
bool placeDataChange(const VxDataChange &change, QString *error);

struct VxRestoreReport
{
    int restored = 0;     // game files put back
    int removed = 0;      // files a launch added, removed
    QStringList failures; // what could not be done: stays in the journal for the next start
    // Files changed by someone else while the game was modded, kept (a line each, for the
    // person), and records that name what the launch never made, left alone.
    QStringList kept;
    QStringList refused;

    bool ok() const { return failures.isEmpty(); }
    // Something the person must hear of, though nothing is left to do.
    bool hasNews() const { return !kept.isEmpty() || !refused.isEmpty(); }
    // "3 files put back, 2 added files removed"
    QString summary() const;
};

// Undoes the records, the last first. A file the launch placed is removed or overwritten only
// while it still has the identity the journal gives it (from version 2 on); one changed since
// is kept. Records whose undo failed are left in remaining.
VxRestoreReport undoJournalRecords(const QString &installDir, const VxJournal &journal,
                                   QList<VxJournalRecord> *remaining);

// The files the launch placed that someone else has changed since, as the restore would keep
// them (paths relative to installDir).
QStringList changedSinceLaunch(const QString &installDir, const VxJournal &journal);

// The rule older launchers left behind: F.backup beside F, and X.xml.backup in data/Tweak.
// Only ever used when the player asks, since a game may ship files of such names.
QStringList findBackupsByName(const QString &installDir);
VxRestoreReport restoreBackupsByName(const QString &installDir);
