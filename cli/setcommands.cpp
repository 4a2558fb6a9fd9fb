// vxmod sets, vxmod set save and vxmod set delete: the named lists of mods in
// VexilMods/modsets.txt that --set and --last read.

#include "cli/commands.h"
#include "cli/invocation.h"

#include "mods/modinfo.h"
#include "mods/modsets.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <QSet>
#include <QTextStream>

namespace {

// The game folder and the positional arguments; -1 when the command can go on, else the exit
// code to stop with.
int parse(const QStringList &args, QString &game, QStringList &names, bool &quiet)
{
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption gameOption(QStringLiteral("game"), QString(), QStringLiteral("DIR"));
    const QCommandLineOption quietOption(QStringList{QStringLiteral("q"), QStringLiteral("quiet")});
    parser.addOption(gameOption);
    parser.addOption(quietOption);
    if (!parser.parse(QStringList{QStringLiteral("vxmod")} + args)) {
        QString text = parser.errorText();
        if (text.endsWith(u'.'))
            text.chop(1);
        if (!text.isEmpty())
            text[0] = text.at(0).toLower();
        return usageError(text);
    }
    if (parser.values(gameOption).size() > 1)
        return usageError(QStringLiteral("--game given more than once"));
    names = parser.positionalArguments();
    quiet = parser.isSet(quietOption);
    game = parser.value(gameOption);
    if (const int code = resolveGameFolder(parser.isSet(gameOption), game); code >= 0)
        return code;
    if (!QFileInfo(game + QLatin1String("/data")).isDir())
        return usageError(
            QStringLiteral("%1 is not a game folder: it has no data folder").arg(shown(game)));
    return -1;
}

void reportProblems(const QString &game, const VxModSets &sets)
{
    for (const VxModSetProblem &problem : sets.problems)
        err() << "vxmod: " << modSetProblemLine(modSetsPath(game), problem) << Qt::endl;
}

int saveSet(const QString &game, const QStringList &names, bool quiet)
{
    if (names.size() < 2)
        return usageError(QStringLiteral("set save needs a name and at least one mod"));
    const QString name = names.constFirst();
    if (const VxModSetIssue issue = modSetNameIssue(name); issue != VxModSetIssue::None)
        return usageError(QStringLiteral("cannot save the set: %1").arg(modSetIssueText(issue)));
    QSet<QString> installed;
    for (const VxModInfo &mod : scanModFolder(game))
        installed.insert(mod.folderName);
    const QStringList mods = names.mid(1);
    QSet<QString> named;
    for (const QString &mod : mods) {
        if (named.contains(mod))
            return usageError(QStringLiteral("mod '%1' is named more than once").arg(mod));
        named.insert(mod);
        if (!installed.contains(mod))
            return usageError(QStringLiteral("unknown mod '%1': no mod of that name in %2 ('vxmod "
                                             "list' shows the mods)")
                                  .arg(mod, shown(game + QLatin1String("/VexilMods"))));
    }
    const bool replaced = readModSets(game).find(name.trimmed()) != nullptr;
    QString why;
    if (!saveModSet(game, {name, mods}, &why)) {
        err() << "vxmod: could not save the sets in " << shown(modSetsPath(game)) << ": " << why
              << Qt::endl;
        return exitFailed;
    }
    if (!quiet)
        err() << "vxmod: " << (replaced ? "replaced" : "saved") << " the set '" << name.trimmed()
              << "' of " << counted(mods.size(), "mod", "mods") << Qt::endl;
    return exitOk;
}

int deleteSet(const QString &game, const QStringList &names, bool quiet)
{
    if (names.size() != 1)
        return usageError(QStringLiteral("set delete takes one set name"));
    const VxModSets sets = readModSets(game);
    if (!sets.find(names.constFirst().trimmed())) {
        reportProblems(game, sets);
        return usageError(QStringLiteral("no set named '%1' in %2 ('vxmod sets' lists them)")
                              .arg(names.constFirst(), shown(modSetsPath(game))));
    }
    QString why;
    if (!deleteModSet(game, names.constFirst(), &why)) {
        err() << "vxmod: could not save the sets in " << shown(modSetsPath(game)) << ": " << why
              << Qt::endl;
        return exitFailed;
    }
    if (!quiet)
        err() << "vxmod: deleted the set '" << names.constFirst().trimmed() << "'" << Qt::endl;
    return exitOk;
}

} // namespace

int runSetsCommand(const QStringList &args)
{
    QString game;
    QStringList names;
    bool quiet = false;
    if (const int code = parse(args, game, names, quiet); code >= 0)
        return code;
    if (!names.isEmpty())
        return usageError(QStringLiteral("sets takes no names (got '%1')").arg(names.constFirst()));
    const VxModSets sets = readModSets(game);
    // One set a line, as vxmod list shows mods: the name, then its mods in launch order.
    QTextStream out(stdout);
    for (const VxModSet &set : sets.sets)
        out << (QStringList{set.name} + set.mods).join(u'\t') << '\n';
    out.flush();
    reportProblems(game, sets);
    return sets.problems.isEmpty() ? exitOk : exitFailed;
}

int runSetCommand(const QStringList &args)
{
    if (args.isEmpty() || (args.constFirst() != QLatin1String("save") &&
                           args.constFirst() != QLatin1String("delete")))
        return usageError(QStringLiteral("set takes 'save NAME MOD...' or 'delete NAME'"));
    QString game;
    QStringList names;
    bool quiet = false;
    if (const int code = parse(args.mid(1), game, names, quiet); code >= 0)
        return code;
    return args.constFirst() == QLatin1String("save") ? saveSet(game, names, quiet)
                                                      : deleteSet(game, names, quiet);
}
