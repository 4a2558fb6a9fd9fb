#include "launch/launchsequence.h"

#include "app/stringtable.h"
#include "launch/feedback.h"
#include "launch/fileops.h"
#include "launch/overlay.h"
#include "resources/resourcestore.h"
#include "tweak/tweakcompiler.h"

#include <QDir>
#include <QFileInfo>
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

    // The backup is not touched again during a launch, so each one is parsed once and shared
    // by every mod that edits the same resource file.
    const LoadedDocument *pristineFor(const QString &name, const QString &backupPath)
    {
        auto found = m_pristine.find(name);
        if (found != m_pristine.end())
            return found->second.get();
        auto pristine = std::make_unique<LoadedDocument>();
        if (!loadResourceDocument(pristine->document, pristine->table, backupPath))
            return nullptr;
        return m_pristine.emplace(name, std::move(pristine)).first->second.get();
    }

    // A later mod with the same resource file goes on from the document as this launch saved
    // it. Keeping it in memory gives the same tree that parsing the saved file would, without
    // parsing a large file again and rebuilding its id index for every mod.
    LoadedDocument *workingFor(const QString &name, const QString &path)
    {
        auto found = m_working.find(name);
        if (found != m_working.end())
            return found->second.get();
        auto working = std::make_unique<LoadedDocument>();
        if (!loadResourceDocument(working->document, working->table, path))
            return nullptr;
        return m_working.emplace(name, std::move(working)).first->second.get();
    }

    VxLaunchResult compileResource(const QString &name, const QString &folderPath)
    {
        const QString resource = resourcePath(m_installDir, name);
        backupResourceFile(m_installDir, name);
        m_feedback.setLabel(tableString(21) + name + QLatin1String(".xml"));

        const LoadedDocument *pristine = pristineFor(name, resource + QLatin1String(".backup"));
        if (!pristine)
            return loadFailed(name);
        LoadedDocument *working = workingFor(name, resource);
        if (!working)
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

        // Saved beside the file and renamed over it, so a crash leaves the old file or the new
        // one, and any leftover carries the temporary suffix that every restore sweeps away.
        const QString temporary = VxFileOps::temporaryName(resource);
        QString why;
        const bool saved = saveResourceDocument(working->document, temporary, &why);
        VxFileOps::operationDone();
        if (!saved || !VxFileOps::replaceFile(temporary, resource, &why)) {
            VxFileOps::removeFile(temporary);
            m_feedback.error(tableString(16), QStringLiteral("Could not save %1: %2")
                                                  .arg(QDir::toNativeSeparators(resource), why));
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
