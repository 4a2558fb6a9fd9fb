#include "launch/launchsequence.h"

#include "base/feedback.h"
#include "base/fileops.h"
#include "base/modfile.h"
#include "base/replacefile.h"
#include "launch/gameprocess.h"
#include "resources/resourcestore.h"
#include "texts/launchertexts.h"
#include "texts/stringtable.h"
#include "tweak/tweakcompiler.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <future>
#include <map>
#include <memory>

namespace {

const QLatin1String tweakFolderName("Tweak");

QStringList subfoldersOf(const QString &folder)
{
    return QDir(folder).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
}

QString resourcePath(const QString &installDir, const QString &name)
{
    return installDir + QLatin1String("/data/Tweak/") + name + QLatin1String(".xml");
}

QString relativeTo(const QString &installDir, const QString &path)
{
    return path.mid(installDir.size() + 1);
}

// The mod resource folders of a mod whose resource file exists, in listing order.
QStringList resourceFoldersOf(const QString &installDir, const VxModRef &mod)
{
    QStringList names;
    for (const QString &name : subfoldersOf(mod.path + tweakFolderName)) {
        if (QFileInfo(resourcePath(installDir, name)).isFile())
            names.append(name);
    }
    return names;
}

// Where one resource file's backup and temporary files go; all chosen and journalled before
// the first of them is made.
struct ResourceNames
{
    QString backup;
    QString backupTemporary;
    QString saveTemporary;
};

// The backup of a resource file, made once per launch; empty, or why it could not be made.
// It is on disk for good, and its identity in the journal on disk, before it takes its name:
// a power cut cannot leave a torn backup to be put back over a good file, and the restore puts
// back only a backup that is still what this launch made. It writes to the journal, so nothing
// else may until it is awaited.
QString backUp(const QString &installDir, const QString &resource, const ResourceNames &names,
               VxJournalFile::Writer *journal)
{
    QString why;
    const auto recorded = [&] {
        journal->append(VxJournal::madeRecord(relativeTo(installDir, names.backup),
                                              fileIdentity(names.backupTemporary)));
        return journal->sync(&why);
    };
    if (!VxFileOps::copyToNew(resource, names.backupTemporary, &why) ||
        !VxFileOps::syncToDisk(names.backupTemporary, &why) || !recorded() ||
        !VxFileOps::replaceFile(names.backupTemporary, names.backup, &why)) {
        VxFileOps::removeFile(names.backupTemporary);
        return launcherText(VxText::CannotBackUp)
            .arg(QDir::toNativeSeparators(resource), launcherText(VxText::SystemReason).arg(why));
    }
    return {};
}

// One resource file, from the first mod that edits it to the end of the launch. Its working
// document stays in memory from mod to mod and is written once, after the last of them:
// each write costs as much as a parse, and the next mod would only go on from the same tree.
struct Resource
{
    QString path;
    ResourceNames names;
    std::future<QString> backup; // made beside the first mod's compile
    QString backupError;
    bool backupAwaited = false;
    VxResourceDocument working;
    VxResourceElement workingTable;
    // The game's own document. The working document keeps what it first held of each element
    // it changes, which "#copy" reads instead; this one is parsed only when that cannot tell
    // (after a rewind read the working document again).
    std::unique_ptr<VxResourceDocument> pristine;
    VxResourceElement pristineTable;
    bool pristineFailed = false;
    bool written = false;    // the launch has saved over the game's file
    bool saveFailed = false; // reported when it failed, and not tried again
    // The mod resource folders compiled into the working document since the file was last
    // read or written, in order: what an abandoned folder leaves to compile again.
    QStringList unsaved;
};

class Launch
{
public:
    // lastEdits: the index of the last mod with a folder for each resource file, as the mods
    // were listed when the launch began.
    Launch(const QString &installDir, VxFeedback &feedback, VxJournalFile::Writer &journal,
           VxClaimedNames &claimed, const std::map<QString, int> &lastEdits)
        : m_installDir(installDir), m_feedback(feedback), m_journal(journal), m_claimed(claimed),
          m_lastEdits(lastEdits)
    {
    }

    VxLaunchResult applyMod(int index, const VxModRef &mod)
    {
        m_feedback.setTitle(mod.title);
        // Listed when it could be read; a file that changed since must not make half a mod.
        QString unreadable;
        if (!checkModTweakFiles(mod.path, &unreadable)) {
            m_feedback.error(tableString(16),
                             launcherText(VxText::ModFileUnreadable).arg(mod.title, unreadable));
            return VxLaunchResult::Failed;
        }
        const QList<VxDataChange> changes = planModData(m_installDir, mod.path, m_claimed);
        m_journal.append({VxJournalRecord::Kind::Mod, {mod.title}});
        // A game file keeps its identity when it moves aside: its backup's is known now.
        for (const VxDataChange &change : changes) {
            m_journal.append(journalRecord(m_installDir, change));
            if (!change.backup.isEmpty())
                m_journal.append(VxJournal::madeRecord(relativeTo(m_installDir, change.backup),
                                                       fileIdentity(change.target)));
        }
        QString why;
        if (!m_journal.sync(&why))
            return failed(why);
        VxFileOps::pausePoint("batch-synced");
        // Every copy, then its identity on disk, then the renames: a file only takes a game
        // file's name once the journal can tell it from anyone else's.
        for (const VxDataChange &change : changes) {
            if (!copyModFile(change, &why))
                return failed(why);
            m_journal.append(VxJournal::madeRecord(relativeTo(m_installDir, change.target),
                                                   fileIdentity(change.temporary)));
        }
        if (!changes.isEmpty() && !m_journal.sync(&why))
            return failed(why);
        for (const VxDataChange &change : changes) {
            if (!change.backup.isEmpty())
                m_feedback.setLabel(tableString(22) + QLatin1Char('(') +
                                    QDir::toNativeSeparators(change.target.mid(
                                        m_installDir.size() + int(sizeof("/data") - 1))) +
                                    QLatin1Char(')'));
            if (!placeDataChange(change, &why))
                return failed(why);
        }
        for (const QString &name : resourceFoldersOf(m_installDir, mod)) {
            const VxLaunchResult result =
                compileResource(index, name, mod.path + tweakFolderName + QLatin1Char('/') + name);
            if (result != VxLaunchResult::Applied)
                return result;
        }
        return VxLaunchResult::Applied;
    }

    // However the launch ended: writes each resource file that holds edits of whole folders
    // not yet saved (the launch ended before the last mod that edits it), and waits for every
    // backup. Each failure is reported, and turns a launch that went through into a failed one.
    VxLaunchResult finish(VxLaunchResult result)
    {
        // Every backup first: a save writes to the journal, which a backup still being made
        // holds.
        QSet<QString> backedUp;
        for (const QString &name : std::as_const(m_order)) {
            if (awaitBackup(*m_resources.at(name)))
                backedUp.insert(name);
        }
        for (const QString &name : std::as_const(m_order)) {
            Resource &resource = *m_resources.at(name);
            const bool done =
                backedUp.contains(name) && (resource.unsaved.isEmpty() || save(resource));
            if (!done && result == VxLaunchResult::Applied)
                result = VxLaunchResult::Failed;
        }
        return result;
    }

private:
    VxLaunchResult failed(const QString &why)
    {
        m_feedback.error(tableString(16), why);
        return VxLaunchResult::Failed;
    }

    VxLaunchResult loadFailed(const QString &name)
    {
        m_feedback.error(tableString(16), tableString(20) + name + QLatin1String(".xml"));
        return VxLaunchResult::LoadFailed;
    }

    // Whether the backup is in place; a failure is reported once.
    bool awaitBackup(Resource &resource)
    {
        if (!resource.backupAwaited) {
            resource.backupAwaited = true;
            resource.backupError = resource.backup.get();
            if (!resource.backupError.isEmpty())
                m_feedback.error(tableString(16), resource.backupError);
        }
        return resource.backupError.isEmpty();
    }

    // The resource file's state in this launch; on the first visit its backup is started and
    // its working document read. A later mod goes on from the working document as the
    // earlier ones left it, which is the tree that parsing their saved file again would give.
    VxLaunchResult open(const QString &name, Resource *&opened)
    {
        auto it = m_resources.find(name);
        const bool first = it == m_resources.end();
        if (first) {
            auto resource = std::make_unique<Resource>();
            resource->path = resourcePath(m_installDir, name);
            ResourceNames &names = resource->names;
            names.backup = m_claimed.freeName(resource->path + QLatin1String(".backup"));
            names.backupTemporary = m_claimed.freeName(VxFileOps::temporaryName(names.backup),
                                                       VxFileOps::temporarySuffix);
            names.saveTemporary = m_claimed.freeName(VxFileOps::temporaryName(resource->path),
                                                     VxFileOps::temporarySuffix);
            m_journal.append(
                {VxJournalRecord::Kind::Edit,
                 {relativeTo(m_installDir, resource->path), relativeTo(m_installDir, names.backup),
                  relativeTo(m_installDir, names.backupTemporary),
                  relativeTo(m_installDir, names.saveTemporary)}});
            QString why;
            if (!m_journal.sync(&why))
                return failed(why);
            // The journal is the backup's alone until awaitBackup(): nothing else of the
            // launch writes to it before then.
            resource->backup = std::async(std::launch::async, backUp, m_installDir, resource->path,
                                          names, &m_journal);
            it = m_resources.emplace(name, std::move(resource)).first;
            m_order.append(name);
        }
        Resource &resource = *it->second;
        m_feedback.setLabel(tableString(21) + name + QLatin1String(".xml"));
        if (first) {
            if (!loadResourceDocument(resource.working, resource.workingTable, resource.path)) {
                // A backup that could not be made is no document that failed to load: say
                // which.
                return awaitBackup(resource) ? loadFailed(name) : VxLaunchResult::Failed;
            }
            // Read before the launch writes the file, so it holds the bytes the backup is made
            // of: what "#copy" reads.
            resource.working.keepOriginals();
        }
        opened = &resource;
        return VxLaunchResult::Applied;
    }

    VxResourceElement pristineOf(Resource &resource)
    {
        if (!resource.pristine) {
            resource.pristine = std::make_unique<VxResourceDocument>();
            // Until the launch writes the resource file it holds the game's own bytes, those
            // the backup is made of; once it has, only the backup (awaited by then) does.
            resource.pristineFailed =
                !loadResourceDocument(*resource.pristine, resource.pristineTable,
                                      resource.written ? resource.names.backup : resource.path);
        }
        return resource.pristineTable;
    }

    VxLaunchResult compileResource(int mod, const QString &name, const QString &folderPath)
    {
        Resource *resource = nullptr;
        if (const VxLaunchResult result = open(name, resource); result != VxLaunchResult::Applied)
            return result;

        const bool abandoned =
            compile(*resource, name, folderPath, m_feedback) == TweakOutcome::Abandoned;
        if (abandoned || resource->pristineFailed) {
            // Its edits are half done and will not be saved; the earlier mods' are.
            rewind(*resource, name);
            return abandoned ? VxLaunchResult::Abandoned : loadFailed(name);
        }
        resource->unsaved.append(folderPath);
        // Nothing of the next mod may rest on a backup that is not there.
        if (!awaitBackup(*resource))
            return VxLaunchResult::Failed;
        if (const auto last = m_lastEdits.find(name);
            last != m_lastEdits.end() && last->second > mod)
            return VxLaunchResult::Applied;
        return save(*resource) ? VxLaunchResult::Applied : VxLaunchResult::Failed;
    }

    TweakOutcome compile(Resource &resource, const QString &name, const QString &folderPath,
                         VxFeedback &feedback)
    {
        VxTweakContext context;
        context.folderPath = folderPath;
        context.resourceName = name;
        context.working = resource.workingTable;
        context.pristineById = [this, &resource](const QString &id) {
            VxResourceElement found;
            if (!findOriginalById(resource.working, id, found))
                found = findResourceById(pristineOf(resource), id);
            return found;
        };
        context.feedback = &feedback;
        return compileTweakFolder(context);
    }

    // The working document again as the file on disk and the folders compiled since make it.
    // Those folders went to their end, each question in them answered Ignore.
    void rewind(Resource &resource, const QString &name)
    {
        if (resource.unsaved.isEmpty())
            return;
        if (!loadResourceDocument(resource.working, resource.workingTable, resource.path)) {
            resource.unsaved.clear();
            loadFailed(name);
            return;
        }
        VxSilentFeedback ignoring;
        for (const QString &folder : std::as_const(resource.unsaved))
            compile(resource, name, folder, ignoring);
    }

    // The store writes beside the file and renames over it, so a crash leaves the old file
    // or the new one, and the journal names the temporary file for the restore.
    bool save(Resource &resource)
    {
        if (resource.saveFailed || !awaitBackup(resource))
            return false;
        QString why;
        const QString relative = relativeTo(m_installDir, resource.path);
        // Saved again: until the new identity is recorded, the one on disk says nothing, so
        // that a kill in between does not make our own save look like someone else's.
        if (resource.written) {
            m_journal.append(VxJournal::madeRecord(relative, VxFileIdentity()));
            if (!m_journal.sync(&why)) {
                m_feedback.error(tableString(16), why);
                resource.saveFailed = true;
                return false;
            }
        }
        bool saved = VxFileOps::mayProceed(&why);
        if (!saved)
            why = QStringLiteral("%1: cannot be written: %2")
                      .arg(QDir::toNativeSeparators(resource.path), why);
        saved = saved && saveResourceDocument(resource.working, resource.path, &why,
                                              resource.names.saveTemporary);
        VxFileOps::operationDone();
        if (saved) {
            VxFileOps::traceStep("save", resource.path);
            m_journal.append(VxJournal::madeRecord(relative, fileIdentity(resource.path)));
        }
        if (!saved) {
            m_feedback.error(tableString(16), launcherText(VxText::ResourceSaveFailed).arg(why));
            resource.saveFailed = true;
            return false;
        }
        resource.written = true;
        resource.unsaved.clear();
        return true;
    }

    QString m_installDir;
    VxFeedback &m_feedback;
    VxJournalFile::Writer &m_journal;
    VxClaimedNames &m_claimed;
    const std::map<QString, int> &m_lastEdits;
    std::map<QString, std::unique_ptr<Resource>> m_resources;
    QStringList m_order; // the resource files in the order the launch first reached them
};

VxRecovery refused(VxRecovery::Outcome outcome, const QString &message)
{
    VxRecovery recovery;
    recovery.outcome = outcome;
    recovery.message = message;
    return recovery;
}

} // namespace

int countLaunchTweakFiles(const QString &installDir, const QList<VxModRef> &mods)
{
    int count = 0;
    for (const VxModRef &mod : mods) {
        for (const QString &name : resourceFoldersOf(installDir, mod))
            count += countTweakFiles(mod.path + tweakFolderName + QLatin1Char('/') + name);
    }
    return count;
}

VxGameState inspectGame(const QString &installDir)
{
    // Only looked at, without the lock: nothing is decided on it.
    VxGameState state;
    state.journal = VxJournalFile::read(installDir);
    const VxLockFileState lock = VxGameLock::inspect(installDir);
    state.launchRunning = lock.kind == VxLockFileState::Kind::Held &&
                          lock.processId != QCoreApplication::applicationPid();
    state.lockProblem = VxGameLock::problemText(installDir, lock);
    if (state.journal.state == VxJournal::State::Missing)
        state.backupsByName = findBackupsByName(installDir);
    const qint64 game = state.journal.gameProcessId();
    state.gameRunning =
        game > 0 && isGameProcessRunning(installDir, game, state.journal.gameStartTime());
    state.changedFiles = changedSinceLaunch(installDir, state.journal);
    return state;
}

VxRecovery recoverGame(const QString &installDir)
{
    VxGameLock lock(installDir);
    return recoverGame(installDir, lock);
}

VxRecovery recoverGame(const QString &installDir, VxGameLock &lock)
{
    // Whatever is decided here is decided on a journal read while holding the lock: another
    // launch may recover, apply and write a new journal between a read and a lock.
    const bool journalThere = QFileInfo::exists(VxJournalFile::path(installDir)) ||
                              QFileInfo(VxJournalFile::path(installDir)).isSymLink();
    switch (lock.tryLock()) {
    case VxGameLock::Result::Acquired:
        break;
    case VxGameLock::Result::HeldByOther:
        return refused(VxRecovery::Outcome::Busy,
                       launcherText(VxText::InstallLocked).arg(lock.holder()));
    case VxGameLock::Result::Failed: {
        // A folder that cannot be written holds nothing of ours to undo, unless something
        // lies under the lock's name that no command may pass.
        const QFileInfo left(VxGameLock::lockPath(installDir));
        if (!journalThere && !left.exists() && !left.isSymLink())
            return {};
        return refused(VxRecovery::Outcome::Failed, lock.errorString());
    }
    }
    const VxJournal journal = VxJournalFile::read(installDir);
    VxFileOps::pausePoint("journal-read");
    if (journal.state == VxJournal::State::Missing)
        return {};
    if (journal.state == VxJournal::State::Damaged) {
        QString why;
        QString keptAs;
        if (!VxJournalFile::setAside(installDir, &why, &keptAs))
            return refused(VxRecovery::Outcome::Failed, why);
        VxRecovery recovery =
            refused(VxRecovery::Outcome::Damaged,
                    journal.error + QStringLiteral("; nothing was restored, and it was kept as %1")
                                        .arg(QDir::toNativeSeparators(keptAs)));
        recovery.keptAs = keptAs;
        return recovery;
    }
    const qint64 game = journal.gameProcessId();
    if (game > 0 && isGameProcessRunning(installDir, game, journal.gameStartTime()))
        return refused(VxRecovery::Outcome::GameRunning,
                       QStringLiteral("the game is still running (process %1); its files stay "
                                      "in place until it has ended")
                           .arg(game));

    VxRecovery recovery;
    QList<VxJournalRecord> remaining;
    recovery.report = undoJournalRecords(installDir, journal, &remaining);
    QString why;
    if (!VxJournalFile::rewrite(installDir, remaining, &why))
        recovery.report.failures.append(why);
    if (!recovery.report.ok()) {
        recovery.outcome = VxRecovery::Outcome::RestoreFailed;
        recovery.message = recovery.report.failures.join(QLatin1Char('\n'));
    } else if (recovery.report.restored + recovery.report.removed > 0 ||
               recovery.report.hasNews()) {
        recovery.outcome = VxRecovery::Outcome::Restored;
    }
    return recovery;
}

class VxLaunch::Private
{
public:
    explicit Private(const QString &dir) : installDir(dir), lock(dir), journal(dir) {}

    QString installDir;
    VxGameLock lock;
    VxJournalFile::Writer journal;
    VxClaimedNames claimed;
    bool started = false;
};

VxLaunch::VxLaunch(const QString &installDir) : d(new Private(installDir)) {}

VxLaunch::~VxLaunch()
{
    delete d;
}

VxRecovery VxLaunch::start(bool changesFiles)
{
    switch (d->lock.tryLock()) {
    case VxGameLock::Result::Acquired:
        VxFileOps::pausePoint("lock-taken");
        break;
    case VxGameLock::Result::HeldByOther:
        return refused(VxRecovery::Outcome::Busy,
                       launcherText(VxText::InstallLocked).arg(d->lock.holder()));
    case VxGameLock::Result::Failed:
        if (!changesFiles && !QFileInfo::exists(VxJournalFile::path(d->installDir)))
            return {};
        return refused(VxRecovery::Outcome::Failed, d->lock.errorString());
    }
    VxRecovery recovery = recoverGame(d->installDir, d->lock);
    switch (recovery.outcome) {
    case VxRecovery::Outcome::Clean:
    case VxRecovery::Outcome::Restored:
    case VxRecovery::Outcome::Damaged: // set aside: the launch starts as from a missing one
        break;
    default:
        d->lock.unlock();
        return recovery;
    }
    QString why;
    if (!d->journal.open(&why)) {
        d->lock.unlock();
        return refused(VxRecovery::Outcome::Failed, why);
    }
    d->started = true;
    return recovery;
}

VxLaunchResult VxLaunch::apply(const QList<VxModRef> &mods, VxFeedback &feedback)
{
    feedback.begin(countLaunchTweakFiles(d->installDir, mods));
    VxLaunchResult result = VxLaunchResult::Applied;
    if (!d->started && !mods.isEmpty()) {
        result = VxLaunchResult::Failed;
    } else {
        QStringList modPaths;
        for (const VxModRef &mod : mods)
            modPaths.append(mod.path);
        reserveModDataNames(d->installDir, modPaths, d->claimed);
        std::map<QString, int> lastEdits;
        for (int i = 0; i < mods.size(); ++i) {
            for (const QString &name : resourceFoldersOf(d->installDir, mods.at(i)))
                lastEdits[name] = i;
        }
        Launch launch(d->installDir, feedback, d->journal, d->claimed, lastEdits);
        for (int i = 0; i < mods.size(); ++i) {
            result = launch.applyMod(i, mods.at(i));
            if (result != VxLaunchResult::Applied)
                break;
        }
        result = launch.finish(result);
        // The identities of the last saves go to disk with the launch, not with the game.
        QString why;
        if (d->started && !d->journal.sync(&why) && result == VxLaunchResult::Applied) {
            feedback.error(tableString(16), why);
            result = VxLaunchResult::Failed;
        }
    }
    feedback.end();
    return result;
}

bool VxLaunch::recordGame(qint64 processId, QString *error)
{
    if (!d->started)
        return true; // a launch of no mod in a folder that holds no journal
    d->journal.append({VxJournalRecord::Kind::Game,
                       {QString::number(processId), QString::number(processStartTime(processId))}});
    return d->journal.sync(error);
}

VxRestoreReport VxLaunch::restore()
{
    d->journal.close();
    VxRestoreReport report;
    if (d->started) {
        // Read while this launch still holds the lock, as every undo is.
        const VxJournal journal = VxJournalFile::read(d->installDir);
        VxFileOps::pausePoint("journal-read");
        QList<VxJournalRecord> remaining;
        report = undoJournalRecords(d->installDir, journal, &remaining);
        QString why;
        if (journal.state == VxJournal::State::Damaged)
            report.failures.append(journal.error);
        else if (!VxJournalFile::rewrite(d->installDir, remaining, &why))
            report.failures.append(why);
    }
    release();
    return report;
}

void VxLaunch::release()
{
    d->journal.close();
    d->started = false;
    d->lock.unlock();
}

VxLaunchResult applyMods(const QString &installDir, const QList<VxModRef> &mods,
                         VxFeedback &feedback, QString *refusal)
{
    VxLaunch launch(installDir);
    const VxRecovery recovery = launch.start();
    if (!recovery.message.isEmpty() && refusal)
        *refusal = recovery.message;
    const VxLaunchResult result = launch.apply(mods, feedback);
    launch.release();
    return result;
}

VxRestoreReport restoreGame(const QString &installDir)
{
    const VxRecovery recovery = recoverGame(installDir);
    VxRestoreReport report = recovery.report;
    if (!recovery.message.isEmpty() && report.failures.isEmpty())
        report.failures.append(recovery.message);
    return report;
}
