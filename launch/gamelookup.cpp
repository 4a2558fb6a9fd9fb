#include "launch/gamelookup.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QStringList>

namespace {

QString storedText(const QVariant &value)
{
    // An unquoted comma makes the INI reader split a value into a list; a folder name may
    // well hold one, so put it back together rather than lose the value.
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(QLatin1Char(','));
    return value.toString();
}

} // namespace

VxGameLocation gameLocationFrom(const QVariant &installDir, const QVariant &language)
{
    VxGameLocation location;
    if (installDir.isValid()) {
        QString dir = QDir::fromNativeSeparators(storedText(installDir));
        while (dir.size() > 1 && dir.endsWith(QLatin1Char('/')) && !dir.endsWith(u":/"))
            dir.chop(1);
        if (!dir.isEmpty())
            location.installDir = dir;
    }
    if (language.isValid())
        location.language = storedText(language);
    return location;
}

#ifndef Q_OS_WIN
VxGameLocation lookupGame()
{
    const QString relative = QStringLiteral("/KESTWYN/Vexil 4 Brask.conf");
    const QStringList folders =
        QStandardPaths::standardLocations(QStandardPaths::GenericConfigLocation);
    for (const QString &folder : folders) {
        const QString path = folder + relative;
        if (!QFileInfo(path).isFile())
            continue;
        const QSettings store(path, QSettings::IniFormat);
        return gameLocationFrom(store.value(QStringLiteral("InstallDir")),
                                store.value(QStringLiteral("Language")));
    }
    return {};
}
#endif
