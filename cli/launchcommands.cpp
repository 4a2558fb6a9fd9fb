#include "cli/commands.h"

#include "cli/consolefeedback.h"
#include "cli/invocation.h"
#include "launch/gameprocess.h"
#include "launch/launchsequence.h"
#include "mods/modinfo.h"
#include "mods/modsets.h"
#include "texts/stringtable.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTextStream>
#include <QThread>

#include <csignal>
#include <cstdio>
#include <memory>
#ifndef Q_OS_WIN
#include <signal.h>
#endif

namespace {

// vxmod play: the game crashed or exited with a code other than 0 (its files were restored).
constexpr int exitGameFailed = 3;

QList<VxModRef> modRefs(const QList<VxModInfo> &mods)
{
    QList<VxModRef> refs;
    for (const VxModInfo &mod : mods)
        refs.append({mod.path, mod.displayText()});
    return refs;
}

// vxmod speaks English whatever language the game was installed in.
void loadMessages()
{
    loadStringTable(languageIndexFor(QStringLiteral("English")));
}

// Tells what a start found of an earlier launch; false when the command must stop.
bool reportRecovery(const VxRecovery &recovery)
{
    switch (recovery.outcome) {
    case VxRecovery::Outcome::Clean:
        return true;
    case VxRecovery::Outcome::Restored:
        err() << "vxmod: an earlier launch had not been undone; now it is: "
              << recovery.report.summary() << Qt::endl;
        for (const QString &line : recovery.report.refused + recovery.report.kept)
            err() << "vxmod: " << line << Qt::endl;
        return true;
    case VxRecovery::Outcome::Damaged:
        err() << "vxmod: " << recovery.message << Qt::endl;
        return true;
    case VxRecovery::Outcome::RestoreFailed:
        err() << "vxmod: an earlier launch could not be undone entirely; what is left stays in "
                 "the launch journal"
              << Qt::endl;
        for (const QString &failure : recovery.report.failures)
            err() << VxConsoleFeedback::faultLine(QString(), failure) << Qt::endl;
        return false;
    case VxRecovery::Outcome::GameRunning:
    case VxRecovery::Outcome::Busy:
    case VxRecovery::Outcome::Failed:
        err() << "vxmod: " << recovery.message << Qt::endl;
        return false;
    }
    return false;
}

int refusalCode(const VxRecovery &recovery)
{
    return recovery.outcome == VxRecovery::Outcome::Busy ? exitUsage : exitFailed;
}

// Prints what a restore did; false when something could not be put back, or was kept or left
// because it was not what the launch had made (a line each).
bool reportRestore(const VxRestoreReport &report)
{
    for (const QString &failure : report.failures)
        err() << VxConsoleFeedback::faultLine(QString(), failure) << Qt::endl;
    for (const QString &line : report.refused + report.kept)
        err() << "vxmod: " << line << Qt::endl;
    if (!report.ok()) {
        err() << "vxmod: the game folder is not fully restored (" << report.summary()
              << "); the launch journal keeps the rest, and the next start finishes it" << Qt::endl;
        return false;
    }
    err() << "vxmod: restored: " << report.summary() << Qt::endl;
    return !report.hasNews();
}

#ifndef Q_OS_WIN
volatile pid_t gameProcessId = 0;

// The terminal closing or a plain kill must not leave the game running and its folder
// modded: the game is asked to end as well, and we stay to put its files back.
void forwardToGame(int signal)
{
    if (gameProcessId > 0)
        ::kill(gameProcessId, signal);
}
#endif

void stayForTheRestore(qint64 gameId)
{
    // Ctrl+C reaches the game by itself, from the terminal.
    std::signal(SIGINT, SIG_IGN);
#ifndef Q_OS_WIN
    gameProcessId = pid_t(gameId);
    std::signal(SIGTERM, forwardToGame);
    std::signal(SIGHUP, forwardToGame);
    std::signal(SIGPIPE, SIG_IGN);
#else
    Q_UNUSED(gameId);
#endif
}

// The game has started with these mods: they are the last game's from now on.
void recordPlayedMods(const Invocation &invocation)
{
    QStringList folders;
    for (const VxModInfo &mod : invocation.mods)
        folders.append(mod.folderName);
    QString why;
    if (!recordLastGame(invocation.installDir, folders, &why))
        err() << "vxmod: could not record the mods of this game as the last game in "
              << shown(modSetsPath(invocation.installDir)) << ": " << why << Qt::endl;
}

} // namespace

int parseModArguments(const QString &command, const QStringList &args, QString &installDir,
                      QList<VxModInfo> &mods)
{
    Invocation invocation;
    const int code = parseInvocation(command, args, Accepts::Mods, true, invocation);
    installDir = invocation.installDir;
    mods = invocation.mods;
    return code;
}

int runListCommand(const QStringList &args)
{
    Invocation invocation;
    if (const int code =
            parseInvocation(QStringLiteral("list"), args, Accepts::Nothing, true, invocation);
        code >= 0)
        return code;
    QTextStream out(stdout);
    QStringList unreadable;
    for (const VxModInfo &mod : scanModFolder(invocation.installDir, &unreadable))
        out << mod.folderName << '\t' << mod.name << '\t' << mod.version << '\t' << mod.author
            << '\n';
    out.flush();
    for (const QString &problem : unreadable)
        err() << "vxmod: no mod: " << problem << Qt::endl;
    return unreadable.isEmpty() ? exitOk : exitFailed;
}

int runApplyCommand(const QStringList &args)
{
    Invocation invocation;
    if (const int code =
            parseInvocation(QStringLiteral("apply"), args, Accepts::Mods, true, invocation);
        code >= 0)
        return code;
    loadMessages();
    VxLaunch launch(invocation.installDir);
    const VxRecovery recovery = launch.start(!invocation.mods.isEmpty());
    if (!reportRecovery(recovery))
        return refusalCode(recovery);
    VxConsoleFeedback feedback(invocation.onError, invocation.quiet);
    const VxLaunchResult result = launch.apply(modRefs(invocation.mods), feedback);
    // Left modded, as a launch leaves it for its game; the journal lets any later start undo it.
    launch.release();
    if (result != VxLaunchResult::Applied) {
        err() << "vxmod: the launch ended early; 'vxmod restore' puts the game's files back"
              << Qt::endl;
        return exitFailed;
    }
    return exitOk;
}

int runRestoreCommand(const QStringList &args)
{
    QStringList rest = args;
    const bool byName = rest.removeAll(QStringLiteral("--by-name")) > 0;
    Invocation invocation;
    if (const int code =
            parseInvocation(QStringLiteral("restore"), rest, Accepts::Nothing, true, invocation);
        code >= 0)
        return code;
    VxGameLock lock(invocation.installDir);
    const VxRecovery recovery = recoverGame(invocation.installDir, lock);
    switch (recovery.outcome) {
    case VxRecovery::Outcome::Busy:
    case VxRecovery::Outcome::GameRunning:
    case VxRecovery::Outcome::Failed:
    case VxRecovery::Outcome::Damaged:
        err() << "vxmod: " << recovery.message << Qt::endl;
        if (recovery.outcome != VxRecovery::Outcome::Damaged || !byName)
            return refusalCode(recovery);
        break;
    case VxRecovery::Outcome::RestoreFailed:
        reportRestore(recovery.report);
        return exitFailed;
    case VxRecovery::Outcome::Restored:
    case VxRecovery::Outcome::Clean:
        break;
    }
    const QStringList byNameBackups = findBackupsByName(invocation.installDir);
    if (byName) {
        if (lock.tryLock() != VxGameLock::Result::Acquired) {
            err() << "vxmod: " << lock.errorString() << Qt::endl;
            return exitUsage;
        }
        // Decided again under the lock: a launch may have begun since the journal was read.
        if (VxJournalFile::read(invocation.installDir).state != VxJournal::State::Missing) {
            err() << "vxmod: a launch has begun meanwhile; nothing was restored by name"
                  << Qt::endl;
            return exitFailed;
        }
        VxRestoreReport report = restoreBackupsByName(invocation.installDir);
        report.removed += recovery.report.removed;
        report.restored += recovery.report.restored;
        return reportRestore(report) ? exitOk : exitFailed;
    }
    const bool restored = reportRestore(recovery.report);
    if (!byNameBackups.isEmpty())
        err() << "vxmod: " << byNameBackups.size()
              << " files are named like the backups an older launcher made (such as "
              << shown(byNameBackups.constFirst())
              << "); nothing records them, so they stay; 'vxmod restore --by-name' puts them "
                 "back over the files they are named after"
              << Qt::endl;
    return restored ? exitOk : exitFailed;
}

int runStatusCommand(const QStringList &args)
{
    Invocation invocation;
    if (const int code =
            parseInvocation(QStringLiteral("status"), args, Accepts::Nothing, true, invocation);
        code >= 0)
        return code;
    const VxGameState state = inspectGame(invocation.installDir);
    QTextStream out(stdout);
    QString lockState = state.launchRunning ? QStringLiteral("; a launch is running") : QString();
    if (!state.lockProblem.isEmpty())
        lockState += QLatin1String("; ") + state.lockProblem;
    switch (state.journal.state) {
    case VxJournal::State::Missing:
        if (state.backupsByName.isEmpty()) {
            out << "clean" << lockState << '\n';
            return exitOk;
        }
        out << "modded by an older launcher, or holding files named like its backups: "
            << state.backupsByName.size() << " (such as " << shown(state.backupsByName.constFirst())
            << "); 'vxmod restore --by-name' puts "
            << "them back" << lockState << '\n';
        return exitFailed;
    case VxJournal::State::Damaged:
        out << "modded, but " << state.journal.error << lockState << '\n';
        return exitFailed;
    case VxJournal::State::Valid:
        break;
    }
    const QStringList mods = state.journal.mods();
    out << "modded";
    if (!mods.isEmpty())
        out << " by " << mods.join(QStringLiteral(", "));
    else
        out << " by a launch with no mod";
    out << " since " << state.journal.started();
    if (state.gameRunning)
        out << "; the game is running (process " << state.journal.gameProcessId() << ')';
    if (!state.changedFiles.isEmpty())
        out << "; changed since the launch placed them, and kept by the restore: "
            << state.changedFiles.join(QStringLiteral(", "));
    if (!state.launchRunning)
        out << "; no launch is running, so the next start puts the game's files back";
    out << lockState << '\n';
    return exitFailed;
}

int runPlayCommand(const QStringList &args)
{
    Invocation invocation;
    if (const int code =
            parseInvocation(QStringLiteral("play"), args, Accepts::Mods, true, invocation);
        code >= 0)
        return code;
    loadMessages();
    VxLaunch launch(invocation.installDir);
    const VxRecovery recovery = launch.start(!invocation.mods.isEmpty());
    if (!reportRecovery(recovery))
        return refusalCode(recovery);
    VxConsoleFeedback feedback(invocation.onError, invocation.quiet);
    if (launch.apply(modRefs(invocation.mods), feedback) != VxLaunchResult::Applied) {
        // Nobody will play this half-done launch: the game's files go back at once.
        err() << "vxmod: the launch ended early; the game was not started" << Qt::endl;
        reportRestore(launch.restore());
        return exitFailed;
    }

    std::unique_ptr<QProcess> game(createGameProcess(invocation.installDir));
    // The game shares our console; we never talk to it ourselves.
    game->setProcessChannelMode(QProcess::ForwardedChannels);
    game->setInputChannelMode(QProcess::ForwardedInputChannel);
    VxGameTree tree(game.get());
    game->start();
    if (!game->waitForStarted(-1)) {
        // A game that never starts never ends either: treat it as ended now.
        err() << VxConsoleFeedback::faultLine(QString(),
                                              QStringLiteral("could not start the game %1: %2")
                                                  .arg(shown(game->program()), game->errorString()))
              << Qt::endl;
        reportRestore(launch.restore());
        return exitFailed;
    }
    tree.attach();
    // Set only now, so the game does not inherit ignored signals.
    stayForTheRestore(game->processId());
    // Before the game's own record, so that whoever sees the game running sees it as the last.
    recordPlayedMods(invocation);
    QString why;
    if (!launch.recordGame(game->processId(), &why))
        err() << "vxmod: " << why << Qt::endl;
    game->waitForFinished(-1);
    // The game's end is the end of every process it started.
    while (tree.othersRunning())
        QThread::msleep(200);

    int code = exitOk;
    if (game->exitStatus() == QProcess::CrashExit) {
        err() << "vxmod: the game crashed" << Qt::endl;
        code = exitGameFailed;
    } else if (game->exitCode() != 0) {
        err() << "vxmod: the game exited with code " << game->exitCode() << Qt::endl;
        code = exitGameFailed;
    }
    if (!reportRestore(launch.restore()))
        return exitFailed;
    return code;
}
