#include "launch/overlay.h"

#include "base/fileops.h"
#include "launch/fileidentity.h"
#include "texts/launchertexts.h"

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
// Why a file operation failed, in the system's words, marked as such.
QString systemSays(const QString &why)
{
    return launcherText(VxText::SystemReason).arg(why);
}

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
    // No folder is ever created: what has no folder in the game does not land. Nor is a file
    // laid through a link in the game's folders, which could lead anywhere.
    const QString targetDir = dataDir + relative;
    const QFileInfo target(targetDir);
    if (target.isDir() && !target.isSymLink() && !target.isJunction()) {
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
    failures.append(launcherText(VxText::CannotRemove).arg(shown(path), systemSays(why)));
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
    failures.append(launcherText(VxText::CannotPutBack).arg(shown(file), systemSays(why)));
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
    if (QFileInfo(dataDir).isSymLink())
        return files;
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

bool copyModFile(const VxDataChange &change, QString *error)
{
    QString why;
    // The mod's file is in hand before the game's moves aside, so a copy that fails leaves
    // the game's file where it was.
    if (VxFileOps::copyToNew(change.source, change.temporary, &why))
        return true;
    if (error)
        *error = launcherText(VxText::CannotCopyModFile).arg(shown(change.target), why);
    VxFileOps::removeFile(change.temporary);
    return false;
}

bool placeDataChange(const VxDataChange &change, QString *error)
{
    QString why;
    const auto fail = [&](VxText what) {
        if (error)
            *error = launcherText(what).arg(shown(change.target), systemSays(why));
        VxFileOps::removeFile(change.temporary);
        return false;
    };
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

namespace {

// One of the names VxClaimedNames::freeName(base, suffix) gives: base, or base with ".N"
// before its suffix.
bool isFreeNameOf(const QString &name, const QString &base, const QString &suffix = QString())
{
    if (name == base)
        return true;
    const QString stem = base.chopped(suffix.size()) + QLatin1Char('.');
    if (!name.startsWith(stem) || !name.endsWith(suffix))
        return false;
    const QString number = name.mid(stem.size(), name.size() - stem.size() - suffix.size());
    bool ok = false;
    return number.toInt(&ok) > 0 && ok && !number.startsWith(QLatin1Char('0'));
}

// The undo of one journal: what each record names is checked against what a launch makes,
// and each file against the identity it was given.
class Undo
{
public:
    Undo(const QString &installDir, const VxJournal &journal)
        : m_installDir(installDir), m_checked(journal.version >= 2),
          m_identities(journal.identities())
    {
    }

    VxRestoreReport report;

    // False when the record names something no launch makes there; it is then left alone.
    bool namesOurs(const VxJournalRecord &record)
    {
        const QStringList &f = record.fields;
        bool ours = true;
        switch (record.kind) {
        case VxJournalRecord::Kind::Aside:
            ours = isFreeNameOf(f.at(1), f.at(0) + backupSuffix) &&
                   isFreeNameOf(f.at(2), VxFileOps::temporaryName(f.at(0)),
                                VxFileOps::temporarySuffix);
            break;
        case VxJournalRecord::Kind::Add:
            ours = isFreeNameOf(f.at(1), VxFileOps::temporaryName(f.at(0)),
                                VxFileOps::temporarySuffix);
            break;
        case VxJournalRecord::Kind::Edit:
            ours = f.at(0).startsWith(QLatin1String("data/Tweak/")) &&
                   !f.at(0).mid(11).contains(QLatin1Char('/')) &&
                   f.at(0).endsWith(QLatin1String(".xml")) &&
                   isFreeNameOf(f.at(1), f.at(0) + backupSuffix) &&
                   isFreeNameOf(f.at(2), VxFileOps::temporaryName(f.at(1)),
                                VxFileOps::temporarySuffix) &&
                   isFreeNameOf(f.at(3), VxFileOps::temporaryName(f.at(0)),
                                VxFileOps::temporarySuffix);
            break;
        default:
            return true;
        }
        for (const QString &field : f) {
            if (!ours)
                break;
            ours = isInsideWithoutLinks(m_installDir, path(field));
        }
        if (!ours)
            report.refused.append(
                launcherText(VxText::RecordRefused).arg(shown(path(f.constFirst()))));
        return ours;
    }

    bool undo(const VxJournalRecord &record)
    {
        const QStringList &f = record.fields;
        bool done = true;
        switch (record.kind) {
        case VxJournalRecord::Kind::Aside:
            done = putBackKeeping(f.at(1), f.at(0));
            done = removeTemporary(f.at(2), f.at(0)) && done;
            break;
        case VxJournalRecord::Kind::Add:
            done = removeAdded(f.at(0));
            done = removeTemporary(f.at(1), f.at(0)) && done;
            break;
        case VxJournalRecord::Kind::Edit:
            done = putBackKeeping(f.at(1), f.at(0));
            done = removeTemporary(f.at(2), f.at(1)) && done;
            done = removeTemporary(f.at(3), QString()) && done;
            break;
        case VxJournalRecord::Kind::Begin:
        case VxJournalRecord::Kind::Mod:
        case VxJournalRecord::Kind::Game:
        case VxJournalRecord::Kind::Made:
            // Kept with what is left to do, so that the next start can still tell whose
            // launch it was and what it made.
            done = false;
            break;
        }
        return done;
    }

    enum class Match { Same, Different, Unknown };
    Match match(const QString &relative) const
    {
        const VxFileIdentity recorded = m_identities.value(relative);
        if (!recorded.isValid())
            return Match::Unknown;
        return fileIdentity(path(relative)) == recorded ? Match::Same : Match::Different;
    }

private:
    QString path(const QString &relative) const { return absolute(m_installDir, relative); }

    // The backup goes back over file, but only a backup that is still the one the launch
    // made; a file someone changed since the launch placed it is kept beside, as F.changed.
    bool putBackKeeping(const QString &backup, const QString &file)
    {
        if (!isTaken(path(backup)))
            return true;
        if (m_checked && match(backup) != Match::Same) {
            report.refused.append(launcherText(VxText::NotMadeByLaunch).arg(shown(path(backup))));
            return true;
        }
        if (m_checked && isTaken(path(file)) && match(file) == Match::Different) {
            QString keptAs = path(file) + QLatin1String(".changed");
            for (int n = 1; isTaken(keptAs); ++n)
                keptAs = path(file) + QStringLiteral(".changed.%1").arg(n);
            QString why;
            if (!VxFileOps::replaceFile(path(file), keptAs, &why)) {
                report.failures.append(
                    launcherText(VxText::CannotPutBack).arg(shown(path(file)), why));
                return false;
            }
            report.kept.append(
                launcherText(VxText::ChangedKept).arg(shown(path(file)), shown(keptAs)));
        }
        return putBack(path(backup), path(file), report.restored, report.failures);
    }

    bool removeAdded(const QString &file)
    {
        if (!m_checked || !isTaken(path(file)))
            return removeIfThere(path(file), &report.removed, report.failures);
        switch (match(file)) {
        case Match::Same:
            return removeIfThere(path(file), &report.removed, report.failures);
        case Match::Different:
            report.kept.append(launcherText(VxText::ChangedAddedKept).arg(shown(path(file))));
            return true;
        case Match::Unknown:
            report.refused.append(launcherText(VxText::NotMadeByLaunch).arg(shown(path(file))));
            return true;
        }
        return true;
    }

    // A temporary holds, until it takes its name, the identity recorded for that name.
    bool removeTemporary(const QString &temporary, const QString &madeAs)
    {
        if (!isTaken(path(temporary)))
            return true;
        const VxFileIdentity recorded = m_identities.value(madeAs);
        if (m_checked && recorded.isValid() && fileIdentity(path(temporary)) != recorded) {
            report.refused.append(
                launcherText(VxText::NotMadeByLaunch).arg(shown(path(temporary))));
            return true;
        }
        return removeIfThere(path(temporary), nullptr, report.failures);
    }

    QString m_installDir;
    bool m_checked;
    QMap<QString, VxFileIdentity> m_identities;
};

} // namespace

VxRestoreReport undoJournalRecords(const QString &installDir, const VxJournal &journal,
                                   QList<VxJournalRecord> *remaining)
{
    Undo undo(installDir, journal);
    QList<VxJournalRecord> left;
    const QList<VxJournalRecord> &records = journal.records;
    for (qsizetype i = records.size() - 1; i >= 0; --i) {
        const VxJournalRecord &record = records.at(i);
        if (undo.namesOurs(record) && !undo.undo(record))
            left.prepend(record);
    }
    if (remaining)
        *remaining = undo.report.ok() ? QList<VxJournalRecord>() : left;
    return undo.report;
}

QStringList changedSinceLaunch(const QString &installDir, const VxJournal &journal)
{
    QStringList changed;
    if (journal.version < 2)
        return changed;
    const Undo undo(installDir, journal);
    for (const VxJournalRecord &record : journal.records) {
        const bool placed = record.kind == VxJournalRecord::Kind::Aside ||
                            record.kind == VxJournalRecord::Kind::Add ||
                            record.kind == VxJournalRecord::Kind::Edit;
        if (placed && isTaken(absolute(installDir, record.fields.constFirst())) &&
            undo.match(record.fields.constFirst()) == Undo::Match::Different)
            changed.append(record.fields.constFirst());
    }
    changed.removeDuplicates();
    return changed;
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
