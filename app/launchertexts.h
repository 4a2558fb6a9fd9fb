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
    RecoveredAtStart,      // %1: files put back, %2: added files removed
    RestoreIncomplete,     // %1: what failed, a line each
    JournalDamaged,        // %1: why
    BackupsByNameQuestion, // %1: how many, %2: a few of them
    FolderUnusable,        // %1: why
    CannotCopyModFile,     // %1: target, %2: why
    CannotMoveAside,       // %1: game file, %2: why
    CannotReplace,         // %1: game file, %2: why
    CannotAdd,             // %1: file, %2: why
    CannotBackUp,          // %1: resource file, %2: why
    CannotPutBack,         // %1: game file, %2: why
    CannotRemove,          // %1: file, %2: why
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
    InstallModExists,   // %1: the mod folder
    InstallBadModName,  // %1: the name
    InstallLocked,      // %1: who holds the game folder
    InstallWriteFailed, // %1: what could not be written
    InstallCancelled,
    RemoveNotInstalled, // %1: the mod folder
};

// The text in the active language (English before any table is loaded).
QString launcherText(VxText id);
