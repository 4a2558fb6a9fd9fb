#include "launch/overlay.h"

#include "app/stringtable.h"
#include "launch/feedback.h"
#include "launch/fileops.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>

namespace {

const QLatin1String backupSuffix(".backup");
const QLatin1String resourceBackupSuffix(".xml.backup");

QStringList filesOf(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files);
}

QStringList subfoldersOf(const QString &folder)
{
    return QDir(folder).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
}

// Folders are followed through links (a game may keep a data folder elsewhere), but each real
// folder is walked once, so a link pointing back up the tree cannot make us recurse forever.
bool firstVisit(const QString &folder, QSet<QString> &visited)
{
    const QString canonical = QFileInfo(folder).canonicalFilePath();
    if (canonical.isEmpty() || visited.contains(canonical))
        return false;
    visited.insert(canonical);
    return true;
}

void overlayInto(const QString &dataDir, const QString &source, const QString &relative,
                 VxFeedback &feedback, QSet<QString> &visited)
{
    if (!QFileInfo(source).isDir() || !firstVisit(source, visited))
        return;
    // We never create folders, so when the game has no such folder nothing below it can land.
    const QString targetDir = dataDir + relative;
    if (!QFileInfo(targetDir).isDir())
        return;

    for (const QString &name : filesOf(source)) {
        // Our own temporary names are deleted by every restore; a mod file named like one
        // would vanish with them, so it is never laid over.
        if (VxFileOps::isTemporaryName(name))
            continue;
        const QString target = targetDir + QLatin1Char('/') + name;
        const QFileInfo targetInfo(target);
        if (targetInfo.exists() || targetInfo.isSymLink()) {
            // A game folder of the same name is not ours to move aside.
            if (targetInfo.isDir())
                continue;
            feedback.setLabel(tableString(22) + QLatin1Char('(') +
                              QDir::toNativeSeparators(relative + QLatin1Char('/') + name) +
                              QLatin1Char(')'));
            const QString backup = target + backupSuffix;
            // An existing backup already holds the game's file (an earlier mod of this launch
            // replaced it), and that mod's file stays.
            if (QFileInfo::exists(backup))
                continue;
            // The mod's file is in hand before the game's moves aside, so a copy that fails
            // leaves the game's file where it was.
            const QString temporary = VxFileOps::temporaryName(target);
            if (!VxFileOps::copyToTemporary(source + QLatin1Char('/') + name, target))
                continue;
            if (!VxFileOps::replaceFile(target, backup)) {
                VxFileOps::removeFile(temporary);
                continue;
            }
            if (!VxFileOps::replaceFile(temporary, target)) {
                VxFileOps::removeFile(temporary);
                VxFileOps::replaceFile(backup, target);
            }
            continue;
        }
        VxFileOps::copyFile(source + QLatin1Char('/') + name, target);
    }

    for (const QString &sub : subfoldersOf(source))
        overlayInto(dataDir, source + QLatin1Char('/') + sub, relative + QLatin1Char('/') + sub,
                    feedback, visited);
}

void restoreInto(const QString &folder, QSet<QString> &visited)
{
    if (!QFileInfo(folder).isDir() || !firstVisit(folder, visited))
        return;

    // Listed once, before anything moves, so a backup put back is not seen again.
    const QStringList names = filesOf(folder);
    const QSet<QString> listed(names.cbegin(), names.cend());
    for (const QString &name : names) {
        const QString path = folder + QLatin1Char('/') + name;
        if (VxFileOps::isTemporaryName(name)) {
            VxFileOps::removeFile(path);
            continue;
        }
        const QString backup = path + backupSuffix;
        if (listed.contains(name + backupSuffix) && QFileInfo::exists(path)) {
            VxFileOps::replaceFile(backup, path);
        } else if (name.endsWith(backupSuffix) &&
                   !listed.contains(name.chopped(backupSuffix.size())) && QFileInfo::exists(path)) {
            // The game's file is missing beside its backup: a launch died between moving the
            // file aside and copying the mod's one in. The backup is all that is left of it.
            VxFileOps::replaceFile(path, path.chopped(backupSuffix.size()));
        }
    }

    for (const QString &sub : subfoldersOf(folder))
        restoreInto(folder + QLatin1Char('/') + sub, visited);
}

} // namespace

void overlayFolder(const QString &installDir, const QString &source, const QString &relative,
                   VxFeedback &feedback)
{
    QSet<QString> visited;
    overlayInto(installDir + QLatin1String("/data"), source, relative, feedback, visited);
}

void backupResourceFile(const QString &installDir, const QString &resourceName)
{
    const QString resource =
        installDir + QLatin1String("/data/Tweak/") + resourceName + QLatin1String(".xml");
    const QString backup = resource + backupSuffix;
    // The backup must keep the game's own file for as long as it exists; and copyFile lands it
    // under a temporary name first, on disk for good before it takes the backup's name, so
    // neither a crash nor a power cut can leave a torn backup to be restored over a good file.
    if (!QFileInfo::exists(backup))
        VxFileOps::copyFile(resource, backup, nullptr, VxFileOps::Durability::Durable);
}

void restoreResourceFiles(const QString &installDir)
{
    const QString folder = installDir + QLatin1String("/data/Tweak");
    for (const QString &name : filesOf(folder)) {
        const QString path = folder + QLatin1Char('/') + name;
        if (VxFileOps::isTemporaryName(name))
            VxFileOps::removeFile(path);
        else if (name.endsWith(resourceBackupSuffix, Qt::CaseInsensitive))
            VxFileOps::replaceFile(path, path.chopped(backupSuffix.size()));
    }
}

void restoreFolder(const QString &folder)
{
    QSet<QString> visited;
    restoreInto(folder, visited);
}
