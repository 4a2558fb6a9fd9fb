#include "cli/invocation.h"

#include "cli/commands.h"

#include "launch/gamelookup.h"
#include "mods/modinstall.h"
#include "mods/modsets.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QSet>

#include <algorithm>
#include <cstdio>

QTextStream &err()
{
    static QTextStream stream(stderr);
    return stream;
}

QString counted(qsizetype count, const char *one, const char *many)
{
    return QString::number(count) + u' ' + QLatin1String(count == 1 ? one : many);
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

int optionError(QString qtText)
{
    // Qt's own texts start with a capital and end with a full stop.
    if (qtText.endsWith(u'.'))
        qtText.chop(1);
    if (!qtText.isEmpty())
        qtText[0] = qtText.at(0).toLower();
    return usageError(qtText);
}

int resolveGameFolder(bool given, QString &dir)
{
    if (given && dir.isEmpty())
        return usageError(QStringLiteral("--game needs a folder"));
    if (!given) {
        const VxGameLocation game = lookupGame();
        if (!game.found())
            return usageError(
                QStringLiteral("no installed game found; pass --game DIR to name the game folder"));
        dir = game.installDir;
    }
    dir = QDir::cleanPath(QDir(QDir::fromNativeSeparators(dir)).absolutePath());
    if (!QFileInfo(dir).isDir())
        return usageError(QStringLiteral("game folder %1 does not exist").arg(shown(dir)));
    return -1;
}

namespace {

// The mod a check names: a folder under VexilMods, or any folder given by its path. Such a
// folder need not hold an info.txt yet; its author may still be writing it.
bool findModToCheck(const QString &installDir, const QString &name, VxModInfo &mod)
{
    const QString underGame = installDir + QLatin1String("/VexilMods/") + name;
    QString folder;
    if (!name.contains(u'/') && !name.contains(u'\\') && QFileInfo(underGame).isDir())
        folder = underGame;
    else if (QFileInfo(name).isDir())
        folder = QDir::cleanPath(QDir(QDir::fromNativeSeparators(name)).absolutePath());
    else
        return false;
    mod.folderName = QFileInfo(folder).fileName();
    mod.path = folder + u'/';
    return true;
}

} // namespace

int parseInvocation(const QString &command, const QStringList &args, Accepts accepts,
                    bool needsData, Invocation &invocation)
{
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption gameOption(QStringLiteral("game"), QString(), QStringLiteral("DIR"));
    const QCommandLineOption onErrorOption(QStringLiteral("on-error"), QString(),
                                           QStringLiteral("abort|ignore"));
    const QCommandLineOption quietOption(QStringList{QStringLiteral("q"), QStringLiteral("quiet")});
    // A set stands in for the mod names.
    const QCommandLineOption setOption(QStringLiteral("set"), QString(), QStringLiteral("NAME"));
    const QCommandLineOption lastOption(QStringLiteral("last"));
    const QCommandLineOption skipMissingOption(QStringLiteral("skip-missing"));
    parser.addOption(gameOption);
    parser.addOption(quietOption);
    if (accepts == Accepts::Mods)
        parser.addOption(onErrorOption);
    if (accepts != Accepts::Nothing) {
        parser.addOption(setOption);
        parser.addOption(lastOption);
        parser.addOption(skipMissingOption);
    }
    if (!parser.parse(QStringList{QStringLiteral("vxmod")} + args))
        return optionError(parser.errorText());
    QStringList names = parser.positionalArguments();
    if (accepts == Accepts::Nothing && !names.isEmpty())
        return usageError(
            QStringLiteral("%1 takes no mod names (got '%2')").arg(command, names.constFirst()));
    const bool bySet = accepts != Accepts::Nothing && parser.isSet(setOption);
    const bool byLast = accepts != Accepts::Nothing && parser.isSet(lastOption);
    if (bySet && byLast)
        return usageError(QStringLiteral("--set and --last cannot be given together"));
    if (bySet && parser.values(setOption).size() > 1)
        return usageError(QStringLiteral("--set given more than once"));
    if ((bySet || byLast) && !names.isEmpty())
        return usageError(QStringLiteral("name either mods or a set (--set or --last), not both "
                                         "(got '%1')")
                              .arg(names.constFirst()));
    const bool skipMissing = accepts != Accepts::Nothing && parser.isSet(skipMissingOption);
    if (skipMissing && !bySet && !byLast)
        return usageError(QStringLiteral("--skip-missing goes with --set or --last"));
    const QString setName = bySet ? parser.value(setOption).trimmed() : QString(lastGameSetName);
    if (bySet && modSetNameIssue(setName) != VxModSetIssue::None &&
        modSetNameIssue(setName) != VxModSetIssue::NameReserved)
        return usageError(
            QStringLiteral("--set: %1").arg(modSetIssueText(modSetNameIssue(setName))));
    if (accepts == Accepts::ModsToCheck && names.isEmpty() && !bySet && !byLast)
        return usageError(QStringLiteral("%1 needs at least one mod").arg(command));
    if (parser.values(gameOption).size() > 1)
        return usageError(QStringLiteral("--game given more than once"));
    invocation.quiet = parser.isSet(quietOption);

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

    QString dir = parser.value(gameOption);
    if (const int code = resolveGameFolder(parser.isSet(gameOption), dir); code >= 0)
        return code;
    if (needsData && !QFileInfo(dir + QLatin1String("/data")).isDir())
        return usageError(
            QStringLiteral("%1 is not a game folder: it has no data folder").arg(shown(dir)));
    invocation.installDir = dir;
    // A replace killed between its two renames keeps the old mod aside; every command that
    // reads the mods or changes the game folder puts it back first. A status changes nothing.
    if (command != QLatin1String("status"))
        removeInstallLeftovers(dir);

    if (accepts == Accepts::Nothing)
        return -1;
    if (bySet || byLast) {
        const VxModSets sets = readModSets(dir);
        for (const VxModSetProblem &problem : sets.problems)
            err() << "vxmod: " << modSetProblemLine(modSetsPath(dir), problem) << Qt::endl;
        const VxModSet *set = sets.find(setName);
        if (!set && byLast)
            return usageError(QStringLiteral("no game started by a launch is recorded in %1")
                                  .arg(shown(modSetsPath(dir))));
        if (!set)
            return usageError(QStringLiteral("no set named '%1' in %2 ('vxmod sets' lists them)")
                                  .arg(setName, shown(modSetsPath(dir))));
        names = set->mods;
    }
    // Every mod is found before anything is done, so a typo costs nothing.
    QStringList unreadable;
    const QList<VxModInfo> available =
        accepts == Accepts::Mods ? scanModFolder(dir, &unreadable) : QList<VxModInfo>();
    QSet<QString> named;
    for (const QString &name : names) {
        if (named.contains(name))
            return usageError(QStringLiteral("mod '%1' is named more than once").arg(name));
        named.insert(name);
        VxModInfo mod;
        bool found = false;
        if (accepts == Accepts::ModsToCheck) {
            found = findModToCheck(dir, name, mod);
        } else if (const auto it =
                       std::find_if(available.cbegin(), available.cend(),
                                    [&](const VxModInfo &each) { return each.folderName == name; });
                   it != available.cend()) {
            mod = *it;
            found = true;
        }
        if (found) {
            invocation.mods.append(mod);
            continue;
        }
        if (bySet || byLast) {
            invocation.missingMods.append(name);
            continue;
        }
        const QString modPath = shown(dir + QLatin1String("/VexilMods/") + name + u'/');
        for (const QString &problem : unreadable)
            if (problem.startsWith(modPath))
                return usageError(QStringLiteral("unknown mod '%1': %2").arg(name, problem));
        return usageError(QStringLiteral("unknown mod '%1': no mod of that name in %2 ('vxmod "
                                         "list' shows the mods)")
                              .arg(name, shown(dir + QLatin1String("/VexilMods"))));
    }
    invocation.skipMissing = skipMissing;
    if (invocation.missingMods.isEmpty())
        return -1;
    err() << "vxmod: set '" << setName << "' names mods that are not installed: "
          << invocation.missingMods.join(QLatin1String(", ")) << Qt::endl;
    // What changes the game folder stops rather than play a set the player did not choose.
    const bool changesGame = command == QLatin1String("apply") || command == QLatin1String("play");
    if (changesGame && !skipMissing) {
        err() << "vxmod: nothing was changed; with --skip-missing the installed ones are used"
              << Qt::endl;
        return exitFailed;
    }
    return -1;
}
