// vxmod check: compiles mods' tweak files the way a launch would, against documents held
// in memory, and lists what their authors would want to fix. Nothing is written to disk.

#include "cli/commands.h"

#include "base/feedback.h"
#include "base/modfile.h"
#include "cli/invocation.h"
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
        print(filePath, line, message);
        ++count;
    }
    // Told, but no reason to fail: the launch does what the rules say.
    void warning(const QString &filePath, int line, const QString &message) override
    {
        print(filePath, line, u"warning: "_s + message);
        ++warnings;
    }

    int count = 0;
    int warnings = 0;

private:
    void print(const QString &filePath, int line, const QString &message)
    {
        m_out << QDir::toNativeSeparators(filePath) << ':' << line << ": " << message << '\n';
        m_out.flush();
    }

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
    Invocation invocation;
    if (const int code = parseInvocation(u"check"_s, args, Accepts::ModsToCheck, true, invocation);
        code >= 0)
        return code;
    const QString &gameDir = invocation.installDir;
    QStringList modDirs;
    for (const VxModInfo &mod : invocation.mods)
        modDirs << mod.path.chopped(1);

    const QString tweakDir = gameDir + u"/data/Tweak"_s;
    PrintingDiagnostics diagnostics;
    // A launch of the set would refuse them unless told to skip them.
    if (!invocation.skipMissing)
        diagnostics.count += int(invocation.missingMods.size());
    VxSilentFeedback feedback;
    std::map<QString, std::unique_ptr<ResourceState>> resources;
    int folders = 0;
    for (const QString &modDir : modDirs) {
        // A launch would not even see this mod.
        const QString info = modDir + u"/info.txt"_s;
        QByteArray bytes;
        QString why;
        if (QFileInfo::exists(info) && !readModFile(info, modInfoSizeLimit, bytes, &why))
            diagnostics.problem(info, 0, why + u"; a launch does not list this mod"_s);
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

    // The launch saves every resource file a mod folder compiled into; what it would refuse
    // to write is as much a problem as a broken statement.
    for (const auto &[name, state] : resources) {
        if (!state->loaded)
            continue;
        if (const QString why = resourceSaveRefusal(state->working); !why.isEmpty())
            diagnostics.problem(tweakDir + u'/' + name + u".xml"_s, 0,
                                u"a launch cannot save it: "_s + why);
    }

    if (invocation.quiet)
        return diagnostics.count == 0 ? exitOk : exitFailed;
    QTextStream err(stderr);
    QString summary = diagnostics.count == 0
                          ? u"no problems"_s
                          : counted(diagnostics.count, "problem", "problems");
    if (diagnostics.warnings > 0)
        summary += u", "_s + counted(diagnostics.warnings, "warning", "warnings");
    err << "vxmod check: " << summary << " in "
        << counted(modDirs.size(), "mod", "mods") + u", "_s +
               counted(folders, "resource folder", "resource folders")
        << '\n';
    return diagnostics.count == 0 ? exitOk : exitFailed;
}
