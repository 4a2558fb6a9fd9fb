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
