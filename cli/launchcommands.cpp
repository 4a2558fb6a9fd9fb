#include "cli/commands.h"

#include "app/gamelookup.h"
#include "app/stringtable.h"
#include "cli/consolefeedback.h"
#include "launch/gameprocess.h"
#include "launch/launchsequence.h"
#include "mods/modinfo.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QSet>
#include <QTextStream>
#include <QThread>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <memory>
#ifndef Q_OS_WIN
#include <signal.h>
#endif

namespace {

constexpr int exitOk = 0;
constexpr int exitFailed = 1;
constexpr int exitUsage = 2;
// vxmod play: the game crashed or exited with a code other than 0 (its files were restored).
constexpr int exitGameFailed = 3;

QTextStream &err()
{
    static QTextStream stream(stderr);
    return stream;
}

QString shown(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

int usageError(const QString &message)
{
    err() << "vxmod: " << message << Qt::endl;
    return exitUsage;
}

struct Invocation
{
    QString installDir;
    VxFeedback::Answer onError = VxFeedback::Answer::Abort;
    QList<VxModInfo> mods; // in the order named
};

enum class Accepts { Nothing, Mods };

// Parses and checks everything a command needs before it may touch the game folder; returns
// -1 when the command can go on, or the exit code to stop with.
int parseInvocation(const QString &command, const QStringList &args, Accepts accepts,
                    bool needsData, Invocation &invocation)
{
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption gameOption(QStringLiteral("game"), QString(), QStringLiteral("DIR"));
    const QCommandLineOption onErrorOption(QStringLiteral("on-error"), QString(),
                                           QStringLiteral("abort|ignore"));
    parser.addOption(gameOption);
    if (accepts == Accepts::Mods)
        parser.addOption(onErrorOption);
    if (!parser.parse(QStringList{QStringLiteral("vxmod")} + args))
        return usageError(parser.errorText());
    if (accepts == Accepts::Nothing && !parser.positionalArguments().isEmpty())
        return usageError(QStringLiteral("%1 takes no mod names (got '%2')")
                              .arg(command, parser.positionalArguments().constFirst()));
    if (parser.values(gameOption).size() > 1)
        return usageError(QStringLiteral("--game given more than once"));

    if (accepts == Accepts::Mods && parser.isSet(onErrorOption)) {
        const QString answer = parser.value(onErrorOption);
        if (answer == QLatin1String("abort"))
            invocation.onError = VxFeedback::Answer::Abort;
        else if (answer == QLatin1String("ignore"))
            invocation.onError = VxFeedback::Answer::Ignore;
        else
            return usageError(
                QStringLiteral("--on-error takes 'abort' or 'ignore', not '%1'").arg(answer));
    }

    QString dir;
    if (parser.isSet(gameOption)) {
        dir = parser.value(gameOption);
        if (dir.isEmpty())
            return usageError(QStringLiteral("--game needs a folder"));
    } else {
        const VxGameLocation game = lookupGame();
        if (!game.found())
            return usageError(
                QStringLiteral("no installed game found; pass --game DIR to name the game folder"));
        dir = game.installDir;
    }
    dir = QDir::cleanPath(QDir(QDir::fromNativeSeparators(dir)).absolutePath());
    if (!QFileInfo(dir).isDir())
        return usageError(QStringLiteral("game folder %1 does not exist").arg(shown(dir)));
    if (needsData && !QFileInfo(dir + QLatin1String("/data")).isDir())
        return usageError(
            QStringLiteral("%1 is not a game folder: it has no data folder").arg(shown(dir)));
    invocation.installDir = dir;

    if (accepts == Accepts::Mods) {
        const QList<VxModInfo> available = scanModFolder(dir);
        QSet<QString> named;
        for (const QString &name : parser.positionalArguments()) {
            if (named.contains(name))
                return usageError(QStringLiteral("mod '%1' is named more than once").arg(name));
            named.insert(name);
            const auto found =
                std::find_if(available.cbegin(), available.cend(),
                             [&](const VxModInfo &mod) { return mod.folderName == name; });
            if (found == available.cend())
                return usageError(
                    QStringLiteral("unknown mod '%1': no folder of that name with an info.txt "
                                   "in %2 ('vxmod list' shows the mods)")
                        .arg(name, shown(dir + QLatin1String("/VexilMods"))));
            invocation.mods.append(*found);
        }
    }
    return -1;
}

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
        return true;
    case VxRecovery::Outcome::Damaged:
        err() << "vxmod: " << recovery.message << Qt::endl;
        return true;
    case VxRecovery::Outcome::RestoreFailed:
        err() << "vxmod: an earlier launch could not be undone entirely; what is left stays in "
                 "the launch journal:\n"
              << recovery.message << Qt::endl;
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

// Prints what a restore did; false when something could not be put back.
bool reportRestore(const VxRestoreReport &report)
{
    for (const QString &failure : report.failures)
        err() << "vxmod: " << failure << Qt::endl;
    if (!report.ok()) {
        err() << "vxmod: the game folder is not fully restored (" << report.summary()
              << "); the launch journal keeps the rest, and the next start finishes it" << Qt::endl;
        return false;
    }
    err() << "vxmod: restored: " << report.summary() << Qt::endl;
    return true;
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
            parseInvocation(QStringLiteral("list"), args, Accepts::Nothing, false, invocation);
        code >= 0)
        return code;
    QTextStream out(stdout);
    for (const VxModInfo &mod : scanModFolder(invocation.installDir))
        out << mod.folderName << '\t' << mod.name << '\t' << mod.version << '\t' << mod.author
            << '\n';
    return exitOk;
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
    const VxRecovery recovery = launch.start();
    if (!reportRecovery(recovery))
        return refusalCode(recovery);
    VxConsoleFeedback feedback(invocation.onError);
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
        VxRestoreReport report = restoreBackupsByName(invocation.installDir);
        report.removed += recovery.report.removed;
        report.restored += recovery.report.restored;
        return reportRestore(report) ? exitOk : exitFailed;
    }
    reportRestore(recovery.report);
    if (!byNameBackups.isEmpty())
        err() << "vxmod: " << byNameBackups.size()
              << " files are named like the backups an older launcher made (such as "
              << shown(byNameBackups.constFirst())
              << "); nothing records them, so they stay; 'vxmod restore --by-name' puts them "
                 "back over the files they are named after"
              << Qt::endl;
    return exitOk;
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
    const QString lockState =
        state.launchRunning ? QStringLiteral("; a launch is running") : QString();
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
    out << (state.launchRunning ? lockState
                                : QStringLiteral("; no launch is running, so the next start "
                                                 "puts the game's files back"))
        << '\n';
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
    const VxRecovery recovery = launch.start();
    if (!reportRecovery(recovery))
        return refusalCode(recovery);
    VxConsoleFeedback feedback(invocation.onError);
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
        err() << "vxmod: could not start the game " << shown(game->program()) << ": "
              << game->errorString() << Qt::endl;
        reportRestore(launch.restore());
        return exitFailed;
    }
    tree.attach();
    // Set only now, so the game does not inherit ignored signals.
    stayForTheRestore(game->processId());
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
