#pragma once

#include <QString>

// Texts the launcher shows beyond the game's own string table (messages 1 to 23): the
// messages of the safety, install and collision features. They follow the language that
// loadStringTable() chose, so a French player never meets an English box.
//
// Add a text here and a row in launchertexts.cpp with all three languages; the row order
// there does not matter. Placeholders are QString::arg() markers (%1, %2).
enum class VxText {
    GameStartFailed,    // %1: the game's executable
    ResourceSaveFailed, // %1: why

    // The game folder's safety: the launch journal, the lock and the restore.
    GameFolderBusy,        // %1: who holds it
    GameStillRunning,      // %1: process id
    RecoveredAtStart,      // %1: FilesPutBack, %2: AddedFilesRemoved
    FilesPutBack,          // counted
    AddedFilesRemoved,     // counted
    RestoreIncomplete,     // %1: what failed, a line each
    JournalDamaged,        // %1: why
    BackupsByNameQuestion, // counted; %1: the first of them, a line each
    ListMore,              // counted: the line after the first few of a long list
    FolderUnusable,        // %1: why
    SystemReason,          // %1: what the system said
    LockHolder,            // %1: process id
    LockHolderProgram,     // %1: process id, %2: its program
    LockHolderStarting,    // a lock file that names no owner yet
    LockFileRefused,       // %1: the lock file, %2: one of the LockFile* reasons below
    LockFileIsLink,
    LockFileIsFolder,
    LockFileNotRegular,
    LockFileTooLarge,     // %1: the limit in bytes
    LockFileUnreadable,   // %1: the system's reason
    LockFileCannotRemove, // %1: the lock file, %2: the system's reason
    LockNotWritable,
    LockCannotMake,        // %1: the lock file
    JournalCannotWrite,    // %1: the journal, %2: SystemReason
    JournalCannotRemove,   // %1: the journal
    JournalCannotSetAside, // %1: the journal
    CannotCopyModFile,     // %1: target, %2: why
    CannotMoveAside,       // %1: game file, %2: why
    CannotReplace,         // %1: game file, %2: why
    CannotAdd,             // %1: file, %2: why
    CannotBackUp,          // %1: resource file, %2: why
    CannotPutBack,         // %1: game file, %2: why
    CannotRemove,          // %1: file, %2: why
    // Files someone else changed while the game was modded, and records that name what no
    // launch makes: the restore keeps or leaves them and says so, a line each.
    ChangedKept,       // %1: game file, %2: where the changed file is kept
    ChangedAddedKept,  // %1: file a mod added
    NotMadeByLaunch,   // %1: file
    RecordRefused,     // %1: file the record names
    ChangedFilesTold,  // %1: the lines above; the dialog's box after a restore
    ModsLeftOut,       // %1: each file that cannot be read and why, a line each
    ModFileUnreadable, // %1: the mod, %2: the file and why
    ModFileProblem,    // %1: a mod's file, %2: why it is not read
    ModFileNotRegular, // a FIFO, a device, a folder or a link, never followed
    ModFileTooLarge,   // %1: the limit in bytes
    // The tool tip of a mod that collides with other ticked mods: the heading, then one line
    // per collision. %1..: what collides, then the mods in list order, then the one that wins.
    CollisionHeading,
    CollisionDataFile,       // %1: file, %2: mods, %3: winner
    CollisionElementCreated, // %1: element, %2: resource file, %3: mods, %4: winner
    CollisionFieldSet,       // %1: field, %2: element, %3: resource file, %4: mods, %5: winner
    CollisionFieldRemoved,   // as CollisionFieldSet
    CollisionFieldJoined,    // as CollisionFieldSet, but %5: the mods whose text stays, %6:
                             // what the field then reads
    CollisionMore,           // the last line of a long list; %1: how many more
    SettingsSaveFailed,      // %1: launcher.cfg, %2: why
    ElementFileFailed,       // %1: the tweak file; the question with Abort and Ignore
    ButtonOk,
    ButtonAbort,
    ButtonIgnore,
    ButtonYes,
    ButtonNo,
    ModListToolTip,
    // Installing mods from archives. The reasons start in lower case: they follow
    // InstallFailed's colon, and vxmod prints them after its own prefix.
    InstallTitle,
    InstallFailed,          // %1: the archive, %2: the reason below
    InstallWroteInfo,       // %1: the archive, %2: the mod folder, %3: the name written
    InstallReplaceQuestion, // %1: the mod folder
    InstallUnreadable,      // %1: what the archive library says
    InstallUnsafePath,      // %1: the entry
    InstallLinkEntry,       // %1: the entry
    InstallWindowsName,     // %1: the entry
    InstallCaseClash,       // %1, %2: the two names
    InstallDuplicate,       // %1: the entry
    InstallEncrypted,
    InstallTooLarge,         // %1: the limit in MiB
    InstallTooCompressed,    // %1: the ratio
    InstallTooManyEntries,   // %1: the limit
    InstallSeveralInfoFiles, // %1, %2: the two folders
    InstallNoFiles,
    InstallModExists,      // %1: the mod folder
    InstallBadModName,     // %1: the name
    InstallLocked,         // %1: who holds the game folder
    InstallFolderUnusable, // %1: why the game folder cannot be locked
    InstallWriteFailed,    // %1: what could not be written
    InstallCancelled,
    RemoveNotInstalled, // %1: the mod folder
    // Archives with names past what any mod needs, and damaged archives.
    InstallPathTooLong, // %1: the entry, %2: the limit in characters
    InstallNameTooLong, // %1: the entry, %2: the limit in bytes
    InstallTooDeep,     // %1: the entry, %2: the limit in levels
    InstallDamaged,     // %1: the entry where the damage shows
    // Mod sets: the mod list's menu, its boxes, and what the sets file can hold. The reasons
    // (Set...) start in lower case: they follow a colon, and vxmod prints them after its prefix.
    SetsTickLastGame,
    SetsTickSet,
    SetsSave,
    SetsDelete,
    SetsCopy,
    SetsPaste,
    SetsSavePrompt,
    SetsReplaceQuestion, // %1: the set
    SetsMissing,         // %1: the mods, a line each
    SetsPasteEmpty,
    SetsSaveFailed,     // %1: modsets.txt, %2: why
    SetsNameRefused,    // %1: why
    SetsDamaged,        // %1: modsets.txt, %2: the problems, a line each
    SetsLastGameFailed, // %1: modsets.txt, %2: why
    SetsLocked,
    SetsCannotLock, // %1: the lock file
    SetNameEmpty,
    SetNameTooLong, // %1: the limit
    SetNameBracket,
    SetNameLineBreak,
    SetNameReserved, // %1: the reserved name
    SetLineOutsideSet,
    SetLineBadHeader,
    SetLineBadMod,       // %1: the line
    SetLineDuplicateSet, // %1: the set
    SetLineDuplicateMod, // %1: the mod
    SetModUnsavable,     // %1: the mod
    SetFileNotRegular,
    SetFileTooLarge,   // %1: the limit in MiB
    SetFileUnreadable, // %1: why
};

// The text in the active language (English before any table is loaded).
QString launcherText(VxText id);
// A counted text, singular or plural as count asks in the active language, with "%n"
// replaced by count.
QString launcherText(VxText id, qint64 count);
