#include "launch/launchsequence.h"

#include "app/launchertexts.h"
#include "app/stringtable.h"
#include "launch/feedback.h"
#include "launch/fileops.h"
#include "launch/overlay.h"
#include "resources/resourcestore.h"
#include "tweak/tweakcompiler.h"

#include <QDir>
#include <QFileInfo>
#include <future>
#include <map>
#include <memory>

namespace {

const QLatin1String tweakFolderName("Tweak");

QStringList subfoldersOf(const QString &folder)
{
    return QDir(folder).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
}

QString resourcePath(const QString &installDir, const QString &name)
{
    return installDir + QLatin1String("/data/Tweak/") + name + QLatin1String(".xml");
}

// The mod resource folders of a mod whose resource file exists, in listing order.
QStringList resourceFoldersOf(const QString &installDir, const VxModRef &mod)
{
    QStringList names;
    for (const QString &name : subfoldersOf(mod.path + tweakFolderName)) {
        if (QFileInfo(resourcePath(installDir, name)).isFile())
            names.append(name);
    }
    return names;
}

struct LoadedDocument
{
    VxResourceDocument document;
    VxResourceElement table;
};

class Launch
{
public:
    Launch(const QString &installDir, VxFeedback &feedback)
        : m_installDir(installDir), m_feedback(feedback)
    {
    }

    VxLaunchResult applyMod(const VxModRef &mod)
    {
        m_feedback.setTitle(mod.title);
        for (const QString &sub : subfoldersOf(mod.path)) {
            if (sub != tweakFolderName)
                overlayFolder(m_installDir, mod.path + sub, QLatin1Char('/') + sub, m_feedback);
        }
        for (const QString &name : resourceFoldersOf(m_installDir, mod)) {
            const VxLaunchResult result =
                compileResource(name, mod.path + tweakFolderName + QLatin1Char('/') + name);
            if (result != VxLaunchResult::Applied)
                return result;
        }
        return VxLaunchResult::Applied;
    }

private:
    VxLaunchResult loadFailed(const QString &name)
    {
        m_feedback.error(tableString(16), tableString(20) + name + QLatin1String(".xml"));
        return VxLaunchResult::LoadFailed;
    }

    static std::unique_ptr<LoadedDocument> load(const QString &path)
    {
        auto loaded = std::make_unique<LoadedDocument>();
        if (!loadResourceDocument(loaded->document, loaded->table, path))
            return nullptr;
        return loaded;
    }

    // The backup of a resource file and its pristine document, parsed once per launch: the
    // backup is not touched again during a launch, so its document serves every mod. The id
    // lookup table is built here too, so that none of this waits on the launch's thread.
    static std::unique_ptr<LoadedDocument> backUpAndLoad(const QString &installDir,
                                                         const QString &name)
    {
        backupResourceFile(installDir, name);
        auto loaded = load(resourcePath(installDir, name) + QLatin1String(".backup"));
        if (loaded)
            findResourceById(loaded->table, QString());
        return loaded;
    }

    // Both documents of a resource file. A later mod goes on from the working document as
    // this launch saved it, which gives the same tree that parsing the saved file again
    // would. On a first visit the backup and the pristine document are made beside the
    // working document's parse; they share nothing but read access to the resource file.
    bool documentsFor(const QString &name, const LoadedDocument *&pristine,
                      LoadedDocument *&working)
    {
        std::future<std::unique_ptr<LoadedDocument>> pendingPristine;
        if (!m_pristine.contains(name)) {
            pendingPristine =
                std::async(std::launch::async, &Launch::backUpAndLoad, m_installDir, name);
        }
        m_feedback.setLabel(tableString(21) + name + QLatin1String(".xml"));
        if (!m_working.contains(name)) {
            if (auto loaded = load(resourcePath(m_installDir, name)))
                m_working.emplace(name, std::move(loaded));
        }
        if (pendingPristine.valid()) {
            if (auto loaded = pendingPristine.get())
                m_pristine.emplace(name, std::move(loaded));
        }
        const auto p = m_pristine.find(name);
        const auto w = m_working.find(name);
        if (p == m_pristine.end() || w == m_working.end())
            return false;
        pristine = p->second.get();
        working = w->second.get();
        return true;
    }

    VxLaunchResult compileResource(const QString &name, const QString &folderPath)
    {
        const QString resource = resourcePath(m_installDir, name);
        const LoadedDocument *pristine = nullptr;
        LoadedDocument *working = nullptr;
        if (!documentsFor(name, pristine, working))
            return loadFailed(name);

        VxTweakContext context;
        context.folderPath = folderPath;
        context.resourceName = name;
        context.working = working->table;
        context.pristine = pristine->table;
        context.feedback = &m_feedback;
        if (compileTweakFolder(context) == TweakOutcome::Abandoned) {
            // Its edits are half done and will not be saved; nothing may build on them.
            m_working.erase(name);
            return VxLaunchResult::Abandoned;
        }

        // The store writes beside the file and renames over it, so a crash leaves the old file
        // or the new one, and a leftover carries the temporary suffix every restore sweeps away.
        QString why;
        const bool saved = saveResourceDocument(working->document, resource, &why);
        VxFileOps::operationDone();
        if (!saved) {
            m_feedback.error(tableString(16), launcherText(VxText::ResourceSaveFailed).arg(why));
            return VxLaunchResult::LoadFailed;
        }
        return VxLaunchResult::Applied;
    }

    QString m_installDir;
    VxFeedback &m_feedback;
    std::map<QString, std::unique_ptr<LoadedDocument>> m_pristine;
    std::map<QString, std::unique_ptr<LoadedDocument>> m_working;
};

} // namespace

int countLaunchTweakFiles(const QString &installDir, const QList<VxModRef> &mods)
{
    int count = 0;
    for (const VxModRef &mod : mods) {
        for (const QString &name : resourceFoldersOf(installDir, mod))
            count += countTweakFiles(mod.path + tweakFolderName + QLatin1Char('/') + name);
    }
    return count;
}

VxLaunchResult applyMods(const QString &installDir, const QList<VxModRef> &mods,
                         VxFeedback &feedback)
{
    // Whatever an earlier launch that ended early left in place goes back first, so every
    // launch lays its mods over the game's own files and not over another launch's leftovers.
    restoreGame(installDir);

    feedback.begin(countLaunchTweakFiles(installDir, mods));
    Launch launch(installDir, feedback);
    VxLaunchResult result = VxLaunchResult::Applied;
    for (const VxModRef &mod : mods) {
        result = launch.applyMod(mod);
        if (result != VxLaunchResult::Applied)
            break;
    }
    feedback.end();
    return result;
}

void restoreGame(const QString &installDir)
{
    restoreResourceFiles(installDir);
    const QString dataDir = installDir + QLatin1String("/data");
    for (const QString &sub : subfoldersOf(dataDir)) {
        if (sub != tweakFolderName)
            restoreFolder(dataDir + QLatin1Char('/') + sub);
    }
}
