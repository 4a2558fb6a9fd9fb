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
    SettingsSaveFailed, // %1: launcher.cfg, %2: why
    ElementFileFailed,  // %1: the tweak file; the question with Abort and Ignore
    ButtonOk,
    ButtonAbort,
    ButtonIgnore,
};

// The text in the active language (English before any table is loaded).
QString launcherText(VxText id);
