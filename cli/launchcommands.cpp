#include "cli/commands.h"

#include "app/stringtable.h"
#include "cli/consolefeedback.h"
#include "cli/invocation.h"
#include "launch/gameprocess.h"
#include "launch/launchsequence.h"
#include "mods/modinfo.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTextStream>

#include <csignal>
#include <cstdio>
#include <memory>

namespace {

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
    VxConsoleFeedback feedback(invocation.onError, invocation.quiet);
    return applyMods(invocation.installDir, modRefs(invocation.mods), feedback);
}

} // namespace

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
