#include "launch/launchsequence.h"

#include "app/launchertexts.h"
#include "app/stringtable.h"
#include "launch/feedback.h"
#include "launch/fileops.h"
#include "launch/gameprocess.h"
#include "launch/replacefile.h"
#include "mods/modfile.h"
#include "resources/resourcestore.h"
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

struct LoadedDocument
{
    VxResourceDocument document;
    VxResourceElement table;
    QString error; // why it did not load or could not be backed up
    bool backupFailed = false;
};

// Where one resource file's backup and temporary files go; all chosen and journalled before
// the first of them is made.
struct ResourceNames
{
    QString backup;
    QString backupTemporary;
    QString saveTemporary;
};

class Launch
{
public:
    Launch(const QString &installDir, VxFeedback &feedback, VxJournalFile::Writer &journal,
           VxClaimedNames &claimed)
        : m_installDir(installDir), m_feedback(feedback), m_journal(journal), m_claimed(claimed)
    {
    }

    VxLaunchResult applyMod(const VxModRef &mod)
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
                compileResource(name, mod.path + tweakFolderName + QLatin1Char('/') + name);
            if (result != VxLaunchResult::Applied)
                return result;
        }
        return VxLaunchResult::Applied;
    }

private:
    VxLaunchResult failed(const QString &why)
    {
        m_feedback.error(tableString(16), why);
        return VxLaunchResult::Failed;
    }

    static std::unique_ptr<LoadedDocument> load(const QString &path)
    {
        auto loaded = std::make_unique<LoadedDocument>();
        if (!loadResourceDocument(loaded->document, loaded->table, path))
            loaded->error = loaded->document.errorString();
        return loaded;
    }

    // The backup of a resource file and its pristine document, made once per launch: the
    // backup is not touched again during a launch, so its document serves every mod. The id
    // lookup table is built here too, so that none of this waits on the launch's thread. The
    // backup is on disk for good before it takes its name, so a power cut cannot leave a
    // torn backup to be put back over a good file.
    static std::unique_ptr<LoadedDocument> backUpAndLoad(const QString &installDir,
                                                         const QString &resource,
                                                         const ResourceNames &names,
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
            auto failed = std::make_unique<LoadedDocument>();
            failed->error = launcherText(VxText::CannotBackUp)
                                .arg(QDir::toNativeSeparators(resource),
                                     launcherText(VxText::SystemReason).arg(why));
            failed->backupFailed = true;
            return failed;
        }
        auto loaded = load(names.backup);
        if (loaded->error.isEmpty())
            findResourceById(loaded->table, QString());
        return loaded;
    }

    // Both documents of a resource file. A later mod goes on from the working document as
    // this launch saved it, which gives the same tree that parsing the saved file again
    // would. On a first visit the backup and the pristine document are made beside the
    // working document's parse; they share nothing but read access to the resource file.
    VxLaunchResult documentsFor(const QString &name, const LoadedDocument *&pristine,
                                LoadedDocument *&working)
    {
        const QString resource = resourcePath(m_installDir, name);
        std::future<std::unique_ptr<LoadedDocument>> pendingPristine;
        if (!m_pristine.contains(name)) {
            ResourceNames names;
            names.backup = m_claimed.freeName(resource + QLatin1String(".backup"));
            names.backupTemporary = m_claimed.freeName(VxFileOps::temporaryName(names.backup),
                                                       VxFileOps::temporarySuffix);
            names.saveTemporary =
                m_claimed.freeName(VxFileOps::temporaryName(resource), VxFileOps::temporarySuffix);
            m_saveTemporary.emplace(name, names.saveTemporary);
            m_journal.append(
                {VxJournalRecord::Kind::Edit,
                 {relativeTo(m_installDir, resource), relativeTo(m_installDir, names.backup),
                  relativeTo(m_installDir, names.backupTemporary),
                  relativeTo(m_installDir, names.saveTemporary)}});
            QString why;
            if (!m_journal.sync(&why))
                return failed(why);
            // The journal is the worker's alone until get() below.
            pendingPristine = std::async(std::launch::async, &Launch::backUpAndLoad, m_installDir,
                                         resource, names, &m_journal);
        }
        m_feedback.setLabel(tableString(21) + name + QLatin1String(".xml"));
        if (!m_working.contains(name))
            m_working.emplace(name, load(resource));
        if (pendingPristine.valid())
            m_pristine.emplace(name, pendingPristine.get());
        pristine = m_pristine.at(name).get();
        working = m_working.at(name).get();
        // A backup that could not be made is no document that failed to load: say which.
        if (pristine->backupFailed)
            return failed(pristine->error);
        if (!pristine->error.isEmpty() || !working->error.isEmpty()) {
            m_feedback.error(tableString(16), tableString(20) + name + QLatin1String(".xml"));
            return VxLaunchResult::LoadFailed;
        }
        return VxLaunchResult::Applied;
    }

    VxLaunchResult compileResource(const QString &name, const QString &folderPath)
    {
        const LoadedDocument *pristine = nullptr;
        LoadedDocument *working = nullptr;
        if (const VxLaunchResult result = documentsFor(name, pristine, working);
            result != VxLaunchResult::Applied) {
            m_working.erase(name);
            return result;
        }

        VxTweakContext context;
        context.folderPath = folderPath;
        context.resourceName = name;
        context.working = working->table;
        context.pristine = pristine->table;
        context.feedback = &m_feedback;
        if (compileTweakFolder(context) == TweakOutcome::Abandoned) {
            // Its edits are half done and will not be saved; nothing may build on them.
            m_working.erase(name);
            return VxLaunchResult::Abandoned;
        }

        // The store writes beside the file and renames over it, so a crash leaves the old file
        // or the new one, and the journal names the temporary file for the restore.
        QString why;
        const QString resource = resourcePath(m_installDir, name);
        const QString relative = relativeTo(m_installDir, resource);
        // Saved again: until the new identity is recorded, the one on disk says nothing, so
        // that a kill in between does not make our own save look like someone else's.
        if (m_saved.contains(name)) {
            m_journal.append(VxJournal::madeRecord(relative, VxFileIdentity()));
            if (!m_journal.sync(&why))
                return failed(why);
        }
        bool saved = VxFileOps::mayProceed(&why);
        if (!saved)
            why = QStringLiteral("%1: cannot be written: %2")
                      .arg(QDir::toNativeSeparators(resource), why);
        saved = saved &&
                saveResourceDocument(working->document, resource, &why, m_saveTemporary.at(name));
        VxFileOps::operationDone();
        if (saved) {
            VxFileOps::traceStep("save", resource);
            m_saved.insert(name);
            m_journal.append(VxJournal::madeRecord(relative, fileIdentity(resource)));
        }
        if (!saved) {
            m_feedback.error(tableString(16), launcherText(VxText::ResourceSaveFailed).arg(why));
            return VxLaunchResult::Failed;
        }
        return VxLaunchResult::Applied;
    }

    QString m_installDir;
    VxFeedback &m_feedback;
    VxJournalFile::Writer &m_journal;
    VxClaimedNames &m_claimed;
    std::map<QString, std::unique_ptr<LoadedDocument>> m_pristine;
    std::map<QString, std::unique_ptr<LoadedDocument>> m_working;
    std::map<QString, QString> m_saveTemporary;
    QSet<QString> m_saved;
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
        Launch launch(d->installDir, feedback, d->journal, d->claimed);
        for (const VxModRef &mod : mods) {
            result = launch.applyMod(mod);
            if (result != VxLaunchResult::Applied)
                break;
        }
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
