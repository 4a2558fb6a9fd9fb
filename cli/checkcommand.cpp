// vxmod check: compiles mods' tweak files the way a launch would, against documents held
// in memory, and lists what their authors would want to fix. Nothing is written to disk.

#include "cli/commands.h"

#include "app/gamelookup.h"
#include "launch/feedback.h"
#include "resources/resourcestore.h"
#include "tweak/tweakcompiler.h"

#include <QDir>
#include <QFileInfo>
#include <QTextStream>

#include <map>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

class PrintingDiagnostics : public VxTweakDiagnostics
{
public:
    void problem(const QString &filePath, int line, const QString &message) override
    {
        m_out << QDir::toNativeSeparators(filePath) << ':' << line << ": " << message << '\n';
        m_out.flush();
        ++count;
    }

    int count = 0;

private:
    QTextStream m_out{stdout};
};

// One resource file X as the mods given so far have left it.
struct ResourceState
{
    bool loaded = false;
    VxResourceDocument pristine;
    VxResourceDocument working;
    VxResourceElement pristineTable;
    VxResourceElement workingTable;
};

int usageError(const QString &message)
{
    QTextStream(stderr) << "vxmod check: " << message << "\n"
                        << "Usage: vxmod check [--game DIR] MOD...\n";
    return 2;
}

// Loads X's pristine and working documents once; later mods edit the same working one,
// as they would see the X.xml the earlier mods saved.
ResourceState *resourceFor(std::map<QString, std::unique_ptr<ResourceState>> &resources,
                           const QString &tweakDir, const QString &name,
                           PrintingDiagnostics &diagnostics)
{
    auto &slot = resources[name];
    if (slot)
        return slot->loaded ? slot.get() : nullptr;
    slot = std::make_unique<ResourceState>();
    const QString path = tweakDir + u'/' + name + u".xml"_s;
    const QString backup = path + u".backup"_s;
    const QString pristinePath = QFileInfo::exists(backup) ? backup : path;
    if (!loadResourceDocument(slot->pristine, slot->pristineTable, pristinePath)) {
        diagnostics.problem(pristinePath, 0, u"cannot load: "_s + slot->pristine.errorString());
        return nullptr;
    }
    if (!loadResourceDocument(slot->working, slot->workingTable, path)) {
        diagnostics.problem(path, 0, u"cannot load: "_s + slot->working.errorString());
        return nullptr;
    }
    slot->loaded = true;
    return slot.get();
}

} // namespace

int runCheckCommand(const QStringList &args)
{
    QString gameDir;
    QStringList modArgs;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString &arg = args.at(i);
        if (arg == "--game"_L1) {
            if (++i == args.size())
                return usageError(u"--game needs a folder"_s);
            gameDir = args.at(i);
        } else if (arg.startsWith("--game="_L1)) {
            gameDir = arg.mid(7);
        } else if (arg.startsWith(u'-') && arg.size() > 1) {
            return usageError(u"unknown option %1"_s.arg(arg));
        } else {
            modArgs << arg;
        }
    }
    if (modArgs.isEmpty())
        return usageError(u"name at least one mod"_s);
    if (gameDir.isEmpty()) {
        const VxGameLocation game = lookupGame();
        if (!game.found())
            return usageError(u"the game is not installed here; name its folder with --game"_s);
        gameDir = game.installDir;
    }
    gameDir = QDir::fromNativeSeparators(gameDir);
    if (!QFileInfo(gameDir).isDir())
        return usageError(u"no game folder %1"_s.arg(QDir::toNativeSeparators(gameDir)));

    // Every mod is found before any is checked, so a typo costs nothing.
    QStringList modDirs;
    for (const QString &mod : modArgs) {
        const QString underGame = gameDir + u"/VexilMods/"_s + mod;
        if (!mod.contains(u'/') && !mod.contains(u'\\') && QFileInfo(underGame).isDir())
            modDirs << underGame;
        else if (QFileInfo(mod).isDir())
            modDirs << QDir::fromNativeSeparators(mod);
        else
            return usageError(
                u"no mod %1 in %2"_s.arg(mod, QDir::toNativeSeparators(gameDir + u"/VexilMods"_s)));
    }

    const QString tweakDir = gameDir + u"/data/Tweak"_s;
    PrintingDiagnostics diagnostics;
    VxSilentFeedback feedback;
    std::map<QString, std::unique_ptr<ResourceState>> resources;
    int folders = 0;
    for (const QString &modDir : modDirs) {
        const QString modTweak = modDir + u"/Tweak"_s;
        const QStringList names = QDir(modTweak).entryList(QDir::Dirs | QDir::NoDotAndDotDot,
                                                           QDir::Name | QDir::IgnoreCase);
        for (const QString &name : names) {
            const QString folder = modTweak + u'/' + name;
            ++folders;
            if (!QFileInfo(tweakDir + u'/' + name + u".xml"_s).isFile()) {
                diagnostics.problem(folder, 0,
                                    u"the game has no resource file %1.xml; a launch skips "
                                    u"this folder"_s.arg(name));
                continue;
            }
            ResourceState *state = resourceFor(resources, tweakDir, name, diagnostics);
            if (!state)
                continue;
            VxTweakContext context;
            context.folderPath = folder;
            context.resourceName = name;
            context.working = state->workingTable;
            context.pristine = state->pristineTable;
            context.feedback = &feedback;
            context.diagnostics = &diagnostics;
            compileTweakFolder(context);
        }
    }

    QTextStream err(stderr);
    if (diagnostics.count == 0)
        err << "vxmod check: no problems in " << modDirs.size() << " mod(s), " << folders
            << " resource folder(s)\n";
    else
        err << "vxmod check: " << diagnostics.count << " problem(s) in " << modDirs.size()
            << " mod(s), " << folders << " resource folder(s)\n";
    return diagnostics.count == 0 ? 0 : 1;
}
