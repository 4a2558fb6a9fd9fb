#include "mods/modinfo.h"

#include "base/modfile.h"
#include "mods/modinstall.h"
#include "texts/launchertexts.h"
#include "tweak/tweakcompiler.h"

#include <QDir>
#include <QFileInfo>

namespace {

void applyInfoLine(const QString &line, VxModInfo &info)
{
    // Exactly one '=': key and value are taken as they stand, blanks included.
    if (line.count(QLatin1Char('=')) != 1)
        return;
    const qsizetype equals = line.indexOf(QLatin1Char('='));
    const QString key = line.left(equals);
    const QString value = line.mid(equals + 1);
    if (key == QLatin1String("name")) {
        info.name = value;
    } else if (key == QLatin1String("author")) {
        info.author = value;
    } else if (key == QLatin1String("desc")) {
        info.desc = value;
    } else if (key == QLatin1String("version")) {
        info.version = value;
    } else if (key == QLatin1String("priority")) {
        bool ok = false;
        const ushort priority = value.toUShort(&ok, 10);
        info.priority = ok ? priority : 0;
    }
}

} // namespace

bool readModInfo(const QString &modPath, VxModInfo &info, QString *error)
{
    QByteArray bytes;
    if (!readModFile(modPath + QLatin1String("info.txt"), modInfoSizeLimit, bytes, error))
        return false;
    // Authors write info.txt with the same editors as their tweak files.
    const QString text = decodeTweakBytes(bytes);

    info.path = modPath;
    for (QStringView line : QStringView(text).split(QLatin1Char('\n'))) {
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        applyInfoLine(line.toString(), info);
    }
    return true;
}

QList<VxModInfo> scanModFolder(const QString &installDir, QStringList *problems)
{
    const QString modsDir = installDir + QLatin1String("/VexilMods/");
    QList<VxModInfo> mods;
    // QDir's default order: by name, without regard to case.
    for (const QString &folder : QDir(modsDir).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        // Half an install or a removal in progress: never a mod.
        if (folder.startsWith(installTemporaryPrefix))
            continue;
        VxModInfo info;
        info.folderName = folder;
        const QString path = modsDir + folder + QLatin1Char('/');
        QString error;
        if (!readModInfo(path, info, &error)) {
            if (problems && QFileInfo::exists(path + QLatin1String("info.txt")))
                problems->append(
                    launcherText(VxText::ModFileProblem)
                        .arg(QDir::toNativeSeparators(path + QLatin1String("info.txt")), error));
        } else if (!checkModTweakFiles(path, &error)) {
            // Laid without the edits of a file that cannot be read, it would be half a mod.
            if (problems)
                problems->append(error);
        } else {
            mods.append(info);
        }
    }
    return mods;
}
