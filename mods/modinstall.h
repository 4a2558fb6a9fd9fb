#pragma once

#include <QString>

#include <functional>

class VxFeedback;

// Installing a downloaded mod archive (zip, 7z, rar, tar and their compressions) into
// VexilMods, and removing a mod again. Both take the game folder's lock for their whole run,
// so they never change VexilMods under a launch, and both are all-or-nothing on disk: the
// archive is unpacked into a temporary folder inside VexilMods and renamed into place only
// once every file is written, so a failure or a kill leaves either no mod or the whole mod.

// What an archive may unpack to. An archive past any of these is refused before more than
// the limit has been written. A mod is a few hundred files of art, sound and tweaks, rarely
// more than a few hundred megabytes; uncompressed textures reach 20 to 50 times their packed
// size, while deflate of nothing but zeros reaches 1,000 times and xz far more.
struct VxInstallLimits
{
    qint64 maxUnpackedBytes = qint64(4) << 30; // 4 GiB in all
    qint64 maxRatio = 100;                     // unpacked bytes per byte of archive...
    qint64 ratioFreeBytes = qint64(32) << 20;  // ...counted once past 32 MiB
    int maxEntries = 50000;                    // files and folders, those named only as
                                               // the folder of a deeper entry too
    // No mod needs names past these, and a name past them costs the player (Windows' own
    // paths stop far sooner) and the install (every check walks the whole name).
    int maxPathChars = 1024; // an entry's whole name, as the archive spells it
    int maxNameBytes = 255;  // one folder or file name, in UTF-8: what file systems hold
    int maxDepth = 64;       // folders and file, counted from the archive's top
};

// Why an install or a removal did not happen. Each has a text in the launcher's languages.
enum class VxInstallProblem {
    None,
    Unreadable,       // detail: what the archive library says
    UnsafePath,       // detail: the entry (.., absolute, drive letter, backslash)
    LinkEntry,        // detail: the entry (symbolic or hard link, device, pipe)
    WindowsName,      // detail: the entry
    CaseClash,        // detail, other: the two names
    Duplicate,        // detail: the entry
    Encrypted,        // detail: the entry, when known
    TooLarge,         // detail: the limit in MiB
    TooCompressed,    // detail: the ratio
    TooManyEntries,   // detail: the limit
    PathTooLong,      // detail: the entry (shortened), other: the limit
    NameTooLong,      // detail: the entry (shortened), other: the limit
    TooDeep,          // detail: the entry (shortened), other: the limit
    Damaged,          // detail: the entry where it shows
    SeveralInfoFiles, // detail, other: the two folders
    NoFiles,
    ModExists,      // detail: the mod folder
    BadModName,     // detail: the name
    Locked,         // detail: who holds the lock
    FolderUnusable, // detail: why the lock cannot be taken
    WriteFailed,    // detail: what failed
    NotInstalled,   // detail: the mod folder (removal)
    Cancelled,
};

struct VxInstallResult
{
    VxInstallProblem problem = VxInstallProblem::None;
    QString detail;
    QString other;
    QString modFolder;      // the folder in VexilMods that was (or would have been) written
    bool wroteInfo = false; // the archive had no info.txt; one naming the archive was written
    bool replaced = false;  // an older mod of that name was replaced

    bool ok() const { return problem == VxInstallProblem::None; }
};

// The reason in the active language, starting in lower case ("the entry ../x would ...").
QString installProblemText(const VxInstallResult &result);

// Installs archivePath into installDir + "/VexilMods". The mod's root is the archive's folder
// that holds info.txt; without one, the archive's only top folder (or the whole archive, when
// it has several top entries or its one folder is named after a folder of the game's data,
// such as Art) is installed with an info.txt whose name is the archive's base name. An
// installed mod of the same folder name is refused unless replace is set or askReplace, called
// with its folder name once the archive is unpacked, says yes; a replaced mod stays whole
// until the new one is complete. Progress goes through feedback; a large archive begins with a
// step count, a small one with 0.
using VxReplaceQuestion = std::function<bool(const QString &modFolder)>;
VxInstallResult installModArchive(const QString &installDir, const QString &archivePath,
                                  VxFeedback &feedback, bool replace = false,
                                  const VxInstallLimits &limits = {},
                                  const VxReplaceQuestion &askReplace = {});

// Removes the folder VexilMods/folderName, all at once as far as the mod list can tell.
VxInstallResult removeMod(const QString &installDir, const QString &folderName);

// Every temporary folder of ours in VexilMods starts with this; the mod scan never lists one.
inline const QLatin1String installTemporaryPrefix(".vxinstall-");

// Finishes what an interrupted install or removal left behind: a replaced mod whose
// successor never arrived goes back in place, and every temporary folder goes. Does nothing
// while another launch holds the game folder.
void removeInstallLeftovers(const QString &installDir);

// The name an archive gives a mod: its file name less ".zip", ".7z", ".tar.gz" and the like.
QString archiveBaseName(const QString &archivePath);
