#include "launch/gamelookup.h"

#include <QSettings>

// The installer writes its key from a 32-bit process, so on 64-bit Windows it lands in the
// 32-bit view; a 64-bit installer would have used the native view.
VxGameLocation lookupGame()
{
    const QString key = QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\KESTWYN\\Vexil 4 Brask");
    for (const QSettings::Format format :
         {QSettings::Registry32Format, QSettings::Registry64Format}) {
        const QSettings store(key, format);
        if (store.contains(QStringLiteral("InstallDir")))
            return gameLocationFrom(store.value(QStringLiteral("InstallDir")),
                                    store.value(QStringLiteral("Language")));
    }
    return {};
}
