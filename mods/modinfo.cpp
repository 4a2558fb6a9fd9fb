#include "mods/modinfo.h"

#include "mods/modinstall.h"

#include <QDir>
#include <QFile>
#include <QStringDecoder>

namespace {

// A byte-order mark names the encoding; otherwise the text is UTF-8 when it decodes as such,
// and else it was written in the local 8-bit code page (taken as Latin-1 where that code page
// is UTF-8 itself, as it is on every current Unix).
QString decodeInfoText(const QByteArray &data)
{
    if (const auto bom = QStringConverter::encodingForData(data)) {
        QStringDecoder decoder(*bom);
        return decoder.decode(data);
    }
    QStringDecoder utf8(QStringConverter::Utf8);
    const QString text = utf8.decode(data);
    if (!utf8.hasError())
        return text;
    QStringDecoder local(QStringConverter::System);
    const QString localText = local.decode(data);
    if (!local.hasError())
        return localText;
    return QString::fromLatin1(data);
}

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

bool readModInfo(const QString &modPath, VxModInfo &info)
{
    QFile file(modPath + QLatin1String("info.txt"));
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QString text = decodeInfoText(file.readAll());
    if (file.error() != QFileDevice::NoError)
        return false;

    info.path = modPath;
    for (QStringView line : QStringView(text).split(QLatin1Char('\n'))) {
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        applyInfoLine(line.toString(), info);
    }
    return true;
}

QList<VxModInfo> scanModFolder(const QString &installDir)
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
        if (readModInfo(modsDir + folder + QLatin1Char('/'), info))
            mods.append(info);
    }
    return mods;
}
