#include "launch/overlay.h"

#include "app/launchertexts.h"
#include "launch/fileops.h"

#include <QDir>
#include <QFileInfo>

namespace {

const QLatin1String tweakFolderName("Tweak");
const QLatin1String backupSuffix(".backup");
const QLatin1String resourceBackupSuffix(".xml.backup");

// Hidden files too: a game file with the hidden attribute is a game file all the same.
QStringList filesOf(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden);
}

QStringList subfoldersOf(const QString &folder)
{
    return QDir(folder).entryList(QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot);
}

// A dangling link is there all the same: it has a name that can be moved aside.
bool isTaken(const QString &path)
{
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

QString shown(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

// Folders are followed through links (a mod may share one folder under two names), but a
// folder is never entered again below itself, so a link back up the tree cannot loop.
struct FolderPath
{
    QStringList canonical;

    bool enter(const QString &folder)
    {
        const QString path = QFileInfo(folder).canonicalFilePath();
        if (path.isEmpty() || canonical.contains(path))
            return false;
        canonical.append(path);
        return true;
    }
    void leave() { canonical.removeLast(); }
};

using ModFile = VxModDataFile;

void collectModFiles(const QString &dataDir, const QString &source, const QString &relative,
                     FolderPath &path, QList<ModFile> &files)
{
    if (!QFileInfo(source).isDir() || !path.enter(source))
        return;
    // No folder is ever created: what has no folder in the game does not land.
    const QString targetDir = dataDir + relative;
    if (QFileInfo(targetDir).isDir()) {
        for (const QString &name : filesOf(source))
            files.append({source + QLatin1Char('/') + name, targetDir + QLatin1Char('/') + name});
        for (const QString &sub : subfoldersOf(source))
            collectModFiles(dataDir, source + QLatin1Char('/') + sub,
                            relative + QLatin1Char('/') + sub, path, files);
    }
    path.leave();
}

QString relativeTo(const QString &installDir, const QString &path)
{
    return path.mid(installDir.size() + 1);
}

QString absolute(const QString &installDir, const QString &relative)
{
    return installDir + QLatin1Char('/') + relative;
}

bool removeIfThere(const QString &path, int *count, QStringList &failures)
{
    if (!isTaken(path))
        return true;
    QString why;
    if (VxFileOps::removeFile(path, &why)) {
        if (count)
            ++*count;
        return true;
    }
    failures.append(launcherText(VxText::CannotRemove).arg(shown(path), why));
    return false;
}

// Puts backup back over file when there is one; a missing backup means the change it
// belongs to never happened, and file is still the game's own.
bool putBack(const QString &backup, const QString &file, int &count, QStringList &failures)
{
    if (!isTaken(backup))
        return true;
    QString why;
    if (VxFileOps::replaceFile(backup, file, &why)) {
        ++count;
        return true;
    }
    failures.append(launcherText(VxText::CannotPutBack).arg(shown(file), why));
    return false;
}

void findByName(const QString &folder, bool isTweak, FolderPath &path, QStringList &found)
{
    if (!path.enter(folder))
        return;
    const QStringList names = filesOf(folder);
    for (const QString &name : names) {
        if (isTweak ? name.endsWith(resourceBackupSuffix, Qt::CaseInsensitive)
                    : names.contains(name + backupSuffix))
            found.append(folder + QLatin1Char('/') + (isTweak ? name : name + backupSuffix));
    }
    for (const QString &sub : subfoldersOf(folder)) {
        // Resource files are only ever backed up in data/Tweak itself.
        if (!isTweak)
            findByName(folder + QLatin1Char('/') + sub, false, path, found);
    }
    path.leave();
}

} // namespace

QString VxClaimedNames::key(const QString &path)
{
#ifdef Q_OS_WIN
    // One file, whatever the case of its name.
    return path.toCaseFolded();
#else
    return path;
#endif
}

void VxClaimedNames::claim(const QString &path)
{
    m_names.insert(key(path));
}

bool VxClaimedNames::isClaimed(const QString &path) const
{
    return m_names.contains(key(path));
}

void VxClaimedNames::reserve(const QString &path)
{
    m_reserved.insert(key(path));
}

QString VxClaimedNames::freeName(const QString &path, const QString &suffix)
{
    const auto inUse = [this](const QString &name) {
        return isClaimed(name) || m_reserved.contains(key(name)) || isTaken(name);
    };
    const QString stem = path.chopped(suffix.size());
    QString candidate = path;
    for (int n = 1; inUse(candidate); ++n)
        candidate = stem + QLatin1Char('.') + QString::number(n) + suffix;
    claim(candidate);
    return candidate;
}

QList<VxModDataFile> modDataFiles(const QString &installDir, const QString &modPath)
{
    const QString dataDir = installDir + QLatin1String("/data");
    QList<ModFile> files;
    for (const QString &sub : subfoldersOf(modPath)) {
        FolderPath path;
        if (sub != tweakFolderName)
            collectModFiles(dataDir, modPath + sub, QLatin1Char('/') + sub, path, files);
    }
    return files;
}

void reserveModDataNames(const QString &installDir, const QStringList &modPaths,
                         VxClaimedNames &claimed)
{
    for (const QString &modPath : modPaths) {
        for (const ModFile &file : modDataFiles(installDir, modPath))
            claimed.reserve(file.target);
    }
}

QList<VxDataChange> planModData(const QString &installDir, const QString &modPath,
                                VxClaimedNames &claimed)
{
    const QList<ModFile> files = modDataFiles(installDir, modPath);

    // Every name the mod lays is claimed before any backup or temporary name is chosen, so
    // that a mod's own "credits.txt.backup" is never mistaken for the backup of its
    // "credits.txt".
    QList<ModFile> laid;
    for (const ModFile &file : std::as_const(files)) {
        if (claimed.isClaimed(file.target) || QFileInfo(file.target).isDir())
            continue;
        claimed.claim(file.target);
        laid.append(file);
    }
    QList<VxDataChange> changes;
    for (const ModFile &file : std::as_const(laid)) {
        VxDataChange change;
        change.source = file.source;
        change.target = file.target;
        if (isTaken(file.target))
            change.backup = claimed.freeName(file.target + backupSuffix);
        change.temporary =
            claimed.freeName(VxFileOps::temporaryName(file.target), VxFileOps::temporarySuffix);
        changes.append(change);
    }
    return changes;
}

VxJournalRecord journalRecord(const QString &installDir, const VxDataChange &change)
{
    if (change.backup.isEmpty())
        return {VxJournalRecord::Kind::Add,
                {relativeTo(installDir, change.target), relativeTo(installDir, change.temporary)}};
    return {VxJournalRecord::Kind::Aside,
            {relativeTo(installDir, change.target), relativeTo(installDir, change.backup),
             relativeTo(installDir, change.temporary)}};
}

bool makeDataChange(const VxDataChange &change, QString *error)
{
    QString why;
    const auto fail = [&](VxText what) {
        if (error)
            *error = launcherText(what).arg(shown(change.target), why);
        VxFileOps::removeFile(change.temporary);
        return false;
    };
    // The mod's file is in hand before the game's moves aside, so a copy that fails leaves
    // the game's file where it was.
    if (!VxFileOps::copyToNew(change.source, change.temporary, &why))
        return fail(VxText::CannotCopyModFile);
    if (change.backup.isEmpty()) {
        if (!VxFileOps::replaceFile(change.temporary, change.target, &why))
            return fail(VxText::CannotAdd);
        return true;
    }
    if (!VxFileOps::replaceFile(change.target, change.backup, &why))
        return fail(VxText::CannotMoveAside);
    if (!VxFileOps::replaceFile(change.temporary, change.target, &why)) {
        VxFileOps::replaceFile(change.backup, change.target);
        return fail(VxText::CannotReplace);
    }
    return true;
}

QString VxRestoreReport::summary() const
{
    return QStringLiteral("%1 %2 put back, %3 added %4 removed")
        .arg(restored)
        .arg(restored == 1 ? QStringLiteral("file") : QStringLiteral("files"))
        .arg(removed)
        .arg(removed == 1 ? QStringLiteral("file") : QStringLiteral("files"));
}

VxRestoreReport undoJournalRecords(const QString &installDir, const QList<VxJournalRecord> &records,
                                   QList<VxJournalRecord> *remaining)
{
    VxRestoreReport report;
    QList<VxJournalRecord> left;
    for (qsizetype i = records.size() - 1; i >= 0; --i) {
        const VxJournalRecord &record = records.at(i);
        const auto path = [&](int field) { return absolute(installDir, record.fields.at(field)); };
        bool done = true;
        switch (record.kind) {
        case VxJournalRecord::Kind::Aside:
            done = putBack(path(1), path(0), report.restored, report.failures);
            done = removeIfThere(path(2), nullptr, report.failures) && done;
            break;
        case VxJournalRecord::Kind::Add:
            done = removeIfThere(path(0), &report.removed, report.failures);
            done = removeIfThere(path(1), nullptr, report.failures) && done;
            break;
        case VxJournalRecord::Kind::Edit:
            done = putBack(path(1), path(0), report.restored, report.failures);
            done = removeIfThere(path(2), nullptr, report.failures) && done;
            done = removeIfThere(path(3), nullptr, report.failures) && done;
            break;
        case VxJournalRecord::Kind::Begin:
        case VxJournalRecord::Kind::Mod:
        case VxJournalRecord::Kind::Game:
            // Kept with what is left to do, so that the next start can still tell whose
            // launch it was.
            done = false;
            break;
        }
        if (!done)
            left.prepend(record);
    }
    if (remaining)
        *remaining = report.ok() ? QList<VxJournalRecord>() : left;
    return report;
}

QStringList findBackupsByName(const QString &installDir)
{
    QStringList found;
    const QString dataDir = installDir + QLatin1String("/data");
    for (const QString &sub : subfoldersOf(dataDir)) {
        FolderPath path;
        findByName(dataDir + QLatin1Char('/') + sub, sub == tweakFolderName, path, found);
    }
    return found;
}

VxRestoreReport restoreBackupsByName(const QString &installDir)
{
    VxRestoreReport report;
    const QString tweakDir = installDir + QLatin1String("/data/Tweak/");
    for (const QString &backup : findBackupsByName(installDir)) {
        const QString file = backup.chopped(backupSuffix.size());
        // The old rule: a resource file comes back even when it is missing; a data file only
        // beside its backup (one put back just before may have taken the backup's name).
        const bool isResource =
            backup.startsWith(tweakDir) && !backup.mid(tweakDir.size()).contains(u'/');
        if (isResource || isTaken(file))
            putBack(backup, file, report.restored, report.failures);
    }
    return report;
}
