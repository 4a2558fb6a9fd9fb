#include "cli/commands.h"
#include "cli/invocation.h"

#include "base/feedback.h"
#include "mods/modinstall.h"
#include "texts/launchertexts.h"
#include "texts/stringtable.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QTextStream>

namespace {

// The game folder from --game or the installed game, and the positional arguments; returns -1
// when the command can go on, or the exit code to stop with.
int parse(const QString &command, const QStringList &args, bool acceptsReplace, QString &game,
          QStringList &names, bool &replace)
{
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption gameOption(QStringLiteral("game"), QString(), QStringLiteral("DIR"));
    const QCommandLineOption replaceOption(QStringLiteral("replace"));
    // Both print only their outcome and faults already: quiet changes nothing, but every
    // command takes it.
    const QCommandLineOption quietOption(QStringList{QStringLiteral("q"), QStringLiteral("quiet")});
    parser.addOption(gameOption);
    parser.addOption(quietOption);
    if (acceptsReplace)
        parser.addOption(replaceOption);
    if (!parser.parse(QStringList{QStringLiteral("vxmod")} + args))
        return optionError(parser.errorText());
    if (parser.values(gameOption).size() > 1)
        return usageError(QStringLiteral("--game given more than once"));
    names = parser.positionalArguments();
    if (names.isEmpty())
        return usageError(acceptsReplace
                              ? QStringLiteral("%1 needs at least one archive").arg(command)
                              : QStringLiteral("%1 needs at least one mod").arg(command));
    replace = acceptsReplace && parser.isSet(replaceOption);

    game = parser.value(gameOption);
    if (const int code = resolveGameFolder(parser.isSet(gameOption), game); code >= 0)
        return code;
    // vxmod speaks English whatever language the game was installed in.
    loadStringTable(languageIndexFor(QStringLiteral("English")));
    return -1;
}

} // namespace

int runInstallCommand(const QStringList &args)
{
    QString game;
    QStringList archives;
    bool replace = false;
    if (const int code = parse(QStringLiteral("install"), args, true, game, archives, replace);
        code >= 0)
        return code;
    for (const QString &archive : std::as_const(archives)) {
        if (!QFileInfo(archive).isFile())
            return usageError(QStringLiteral("no archive %1").arg(shown(archive)));
    }

    QTextStream out(stdout);
    int code = exitOk;
    for (const QString &archive : std::as_const(archives)) {
        // The line below says what happened; an install asks nothing.
        VxSilentFeedback feedback;
        const VxInstallResult result = installModArchive(game, archive, feedback, replace);
        const QString name = QFileInfo(archive).fileName();
        if (!result.ok()) {
            err() << "vxmod: cannot install " << name << ": " << installProblemText(result)
                  << Qt::endl;
            // Every other archive would meet the same lock.
            code = result.problem == VxInstallProblem::Locked ? exitUsage : exitFailed;
            if (result.problem == VxInstallProblem::Locked ||
                result.problem == VxInstallProblem::FolderUnusable)
                break;
            continue;
        }
        if (result.wroteInfo)
            err() << "vxmod: " << name
                  << " has no info.txt; wrote one with name=" << archiveBaseName(archive)
                  << Qt::endl;
        out << (result.replaced ? "replaced " : "installed ") << result.modFolder << " from "
            << name << Qt::endl;
    }
    return code;
}

int runRemoveCommand(const QStringList &args)
{
    QString game;
    QStringList mods;
    bool replace = false;
    if (const int code = parse(QStringLiteral("remove"), args, false, game, mods, replace);
        code >= 0)
        return code;
    for (const QString &mod : std::as_const(mods)) {
        if (mod.isEmpty() || !QFileInfo(game + QLatin1String("/VexilMods/") + mod).isDir() ||
            mod.startsWith(QLatin1Char('.')) || mod.contains(QLatin1Char('/')) ||
            mod.contains(QLatin1Char('\\')))
            return usageError(QStringLiteral("unknown mod '%1': no such folder in %2")
                                  .arg(mod, shown(game + QLatin1String("/VexilMods"))));
    }
    QTextStream out(stdout);
    for (const QString &mod : std::as_const(mods)) {
        const VxInstallResult result = removeMod(game, mod);
        if (!result.ok()) {
            err() << "vxmod: cannot remove " << mod << ": " << installProblemText(result)
                  << Qt::endl;
            return result.problem == VxInstallProblem::Locked ? exitUsage : exitFailed;
        }
        out << "removed " << mod << Qt::endl;
    }
    return exitOk;
}
