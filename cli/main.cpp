#include "cli/commands.h"

#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>

namespace {

const char usage[] = R"(Usage: vxmod COMMAND [OPTIONS] [MOD...]

Commands:
  check   [--game DIR] MOD...                 report problems in the mods' tweak files
  list    [--game DIR]                        list the mods in VexilMods
  plan    [--game DIR] [--json] MOD...        show what the mods change and where they collide
  apply   [--game DIR] [--on-error abort|ignore] [MOD...]
                                              lay the mods over the game, as Play does
  restore [--game DIR] [--by-name]            undo the last launch, as the end of a game does
                                              (--by-name: also put back F.backup files an older
                                              launcher left, over F)
  status  [--game DIR]                        clean (exit 0) or modded (exit 1), and by what
  play    [--game DIR] [--on-error abort|ignore] [MOD...]
                                              apply, run the game, wait for it, restore
                                              (exit 3: the game crashed or exited non-zero)
  install [--game DIR] [--replace] ARCHIVE... install mods from .zip, .7z, .rar or .tar archives
  remove  [--game DIR] MOD...                 delete mods from VexilMods
  sets    [--game DIR]                        list the mod sets: name, then its mods, tab-separated
  set save   [--game DIR] NAME MOD...         save the mods, in this order, as the set NAME
  set delete [--game DIR] NAME                delete the set NAME

Instead of MOD..., check, plan, apply and play take --set NAME (the mods of a set) or --last
(the mods of the last game started); a set naming mods that are not installed stops apply and
play with exit 1 unless --skip-missing is given.

Options:
  --game DIR   the game folder (default: the installed game)
  -q, --quiet  no progress, only faults
  --replace    let an archive replace an installed mod of the same name
  --help       show this help
  --version    show the version
)";

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vxmod"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VX_VERSION));

    QStringList args = QCoreApplication::arguments().mid(1);
    QTextStream out(stdout);
    QTextStream err(stderr);
    if (args.isEmpty()) {
        err << usage;
        return 2;
    }
    const QString command = args.takeFirst();
    if (command == QLatin1String("--help") || command == QLatin1String("-h") ||
        command == QLatin1String("help")) {
        out << usage;
        return 0;
    }
    if (command == QLatin1String("--version")) {
        out << "vxmod " << VX_VERSION << '\n';
        return 0;
    }
    if (command == QLatin1String("check"))
        return runCheckCommand(args);
    if (command == QLatin1String("plan"))
        return runPlanCommand(args);
    if (command == QLatin1String("list"))
        return runListCommand(args);
    if (command == QLatin1String("apply"))
        return runApplyCommand(args);
    if (command == QLatin1String("restore"))
        return runRestoreCommand(args);
    if (command == QLatin1String("play"))
        return runPlayCommand(args);
    if (command == QLatin1String("status"))
        return runStatusCommand(args);
    if (command == QLatin1String("install"))
        return runInstallCommand(args);
    if (command == QLatin1String("remove"))
        return runRemoveCommand(args);
    if (command == QLatin1String("sets"))
        return runSetsCommand(args);
    if (command == QLatin1String("set"))
        return runSetCommand(args);
    err << "vxmod: unknown command '" << command << "'\n\n" << usage;
    return 2;
}
