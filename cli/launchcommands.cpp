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

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <memory>

namespace {

constexpr int exitOk = 0;
constexpr int exitFailed = 1;
constexpr int exitUsage = 2;

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

VxLaunchResult apply(const Invocation &invocation)
{
    loadMessages();
    VxConsoleFeedback feedback(invocation.onError);
    return applyMods(invocation.installDir, modRefs(invocation.mods), feedback);
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
    if (apply(invocation) != VxLaunchResult::Applied) {
        err() << "vxmod: the launch ended early; 'vxmod restore' puts the game's files back"
              << Qt::endl;
        return exitFailed;
    }
    return exitOk;
}

int runRestoreCommand(const QStringList &args)
{
    Invocation invocation;
    if (const int code =
            parseInvocation(QStringLiteral("restore"), args, Accepts::Nothing, true, invocation);
        code >= 0)
        return code;
    restoreGame(invocation.installDir);
    return exitOk;
}

int runPlayCommand(const QStringList &args)
{
    Invocation invocation;
    if (const int code =
            parseInvocation(QStringLiteral("play"), args, Accepts::Mods, true, invocation);
        code >= 0)
        return code;
    if (apply(invocation) != VxLaunchResult::Applied) {
        // Nobody will play this half-done launch: the game's files go back at once.
        restoreGame(invocation.installDir);
        err() << "vxmod: the launch ended early; the game was not started" << Qt::endl;
        return exitFailed;
    }

    std::unique_ptr<QProcess> game(createGameProcess(invocation.installDir));
    // The game shares our console; we never talk to it ourselves.
    game->setProcessChannelMode(QProcess::ForwardedChannels);
    game->setInputChannelMode(QProcess::ForwardedInputChannel);
    game->start();
    if (!game->waitForStarted(-1)) {
        // A game that never starts never ends either: treat it as ended now.
        err() << "vxmod: could not start the game " << shown(game->program()) << ": "
              << game->errorString() << Qt::endl;
        restoreGame(invocation.installDir);
        return exitFailed;
    }
    // Ctrl+C in the console reaches the game as well; we stay to put the files back once it
    // has gone. Set only now, so the game does not inherit the ignored signal.
    std::signal(SIGINT, SIG_IGN);
    game->waitForFinished(-1);
    if (game->exitStatus() == QProcess::CrashExit)
        err() << "vxmod: the game crashed" << Qt::endl;
    restoreGame(invocation.installDir);
    return exitOk;
}
