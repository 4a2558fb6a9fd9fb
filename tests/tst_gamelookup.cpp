#include "app/gamelookup.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

// Points the XDG config folders at a temporary tree: "user" is the person's own folder,
// "system1" and "system2" the system-wide ones, in that order of precedence.
class TestGameLookup : public QObject
{
    Q_OBJECT

private slots:
    void testLookup_data()
    {
#ifdef Q_OS_WIN
        QSKIP("Windows keeps the game's location in the registry, not in XDG config folders");
#endif
        QTest::addColumn<QByteArrayList>("stores"); // user, system1, system2; empty: none
        QTest::addColumn<QString>("installDir");
        QTest::addColumn<QString>("language");

        QTest::newRow("no store anywhere reads NONE for both")
            << QByteArrayList{{}, {}, {}} << u"NONE"_s << u"NONE"_s;
        QTest::newRow("user store wins over the system one")
            << QByteArrayList{"InstallDir=/home/me\n", "InstallDir=/opt\nLanguage=SPA\n", {}}
            << u"/home/me"_s << u"NONE"_s;
        QTest::newRow("first system folder wins over the second")
            << QByteArrayList{{}, "InstallDir=/opt/first\n", "InstallDir=/opt/second\n"}
            << u"/opt/first"_s << u"NONE"_s;
        QTest::newRow("second system folder when the others have none")
            << QByteArrayList{{}, {}, "InstallDir=/opt/second\nLanguage=SPA\n"} << u"/opt/second"_s
            << u"SPA"_s;
        QTest::newRow("empty folder value reads NONE, not the root")
            << QByteArrayList{"InstallDir=\nLanguage=FRE\n", {}, {}} << u"NONE"_s << u"FRE"_s;
        QTest::newRow("trailing separators are dropped")
            << QByteArrayList{"InstallDir=/games/vexil//\n", {}, {}} << u"/games/vexil"_s
            << u"NONE"_s;
        QTest::newRow("the root folder stays the root")
            << QByteArrayList{"InstallDir=/\n", {}, {}} << u"/"_s << u"NONE"_s;
        QTest::newRow("spaces, non-ASCII letters and a comma survive")
            << QByteArrayList{"InstallDir=/home/j\xC3\xBCrgen/Vexil 4,Gold\n", {}, {}}
            << u"/home/j\u00FCrgen/Vexil 4,Gold"_s << u"NONE"_s;
        QTest::newRow("values inside a section are not the game's")
            << QByteArrayList{"[Game]\nInstallDir=/games/vexil\n", {}, {}} << u"NONE"_s
            << u"NONE"_s;
        QTest::newRow("binary garbage reads NONE without harm")
            << QByteArrayList{QByteArray("\x00\xff\xfe[\x01=\x02\n\x7f", 10), {}, {}} << u"NONE"_s
            << u"NONE"_s;
    }

    void testLookup()
    {
        QFETCH(QByteArrayList, stores);
        QFETCH(QString, installDir);
        QFETCH(QString, language);

        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QStringList folders = {u"user"_s, u"system1"_s, u"system2"_s};
        for (int i = 0; i < folders.size(); ++i) {
            QVERIFY(QDir().mkpath(dir.filePath(folders.at(i) + u"/KESTWYN"_s)));
            QFile file(dir.filePath(folders.at(i) + u"/KESTWYN/Vexil 4 Brask.conf"_s));
            if (!stores.at(i).isEmpty())
                QVERIFY(file.open(QIODevice::WriteOnly) && file.write(stores.at(i)) > 0);
        }
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.filePath(u"user"_s)));
        qputenv("XDG_CONFIG_DIRS",
                QFile::encodeName(dir.filePath(u"system1"_s) + u':' + dir.filePath(u"system2"_s)));

        const VxGameLocation location = lookupGame();
        QCOMPARE(location.installDir, installDir);
        QCOMPARE(location.language, language);
        QCOMPARE(location.found(), installDir != u"NONE"_s);
        dir.setAutoRemove(!QTest::currentTestFailed());
    }

    // Seeds the game's key in the two registry views of this machine (a private Wine prefix
    // in the Windows lane). The installer is a 32-bit program, so its key lands in the 32-bit
    // view; a key in the 64-bit view is found only when that one has no folder.
    void registryLookup_data()
    {
#ifdef Q_OS_WIN
        if (lookupGame().found())
            QSKIP("the game's registry key exists on this machine; the test would overwrite it");
#else
        QSKIP("the registry exists on Windows only");
#endif
        QTest::addColumn<QStringList>("view32"); // InstallDir, Language; empty: no key
        QTest::addColumn<QStringList>("view64");
        QTest::addColumn<QString>("installDir");
        QTest::addColumn<QString>("language");

        QTest::newRow("no key in either view reads NONE for both")
            << QStringList() << QStringList() << u"NONE"_s << u"NONE"_s;
        QTest::newRow("the 32-bit view wins over the 64-bit one")
            << QStringList{u"C:\\Games\\Vexil"_s, u"FRE"_s} << QStringList{u"D:\\Other"_s, u"SPA"_s}
            << u"C:/Games/Vexil"_s << u"FRE"_s;
        QTest::newRow("the 64-bit view when the 32-bit key has no folder")
            << QStringList{{}, u"FRE"_s} << QStringList{u"D:\\Vexil\\"_s, u"SPA"_s} << u"D:/Vexil"_s
            << u"SPA"_s;
        QTest::newRow("a game under Program Files (x86), non-ASCII letters kept")
            << QStringList{u"C:\\Program Files (x86)\\KESTWYN\\Vexil 4 Br\u00E4sk"_s, {}}
            << QStringList() << u"C:/Program Files (x86)/KESTWYN/Vexil 4 Br\u00E4sk"_s << u"NONE"_s;
        QTest::newRow("an empty folder value reads NONE, not the drive's root")
            << QStringList{u""_s, u"SPA"_s} << QStringList() << u"NONE"_s << u"SPA"_s;
    }

    void registryLookup()
    {
#ifdef Q_OS_WIN
        QFETCH(QStringList, view32);
        QFETCH(QStringList, view64);
        QFETCH(QString, installDir);
        QFETCH(QString, language);

        const QString parent = u"HKEY_LOCAL_MACHINE\\SOFTWARE\\KESTWYN"_s;
        const QString game = u"Vexil 4 Brask"_s;
        const QSettings::Format formats[] = {QSettings::Registry32Format,
                                             QSettings::Registry64Format};
        const QStringList views[] = {view32, view64};
        for (int i = 0; i < 2; ++i) {
            QSettings(parent, formats[i]).remove(game);
            if (views[i].isEmpty())
                continue;
            QSettings key(parent + u'\\' + game, formats[i]);
            if (!views[i].at(0).isNull())
                key.setValue(u"InstallDir"_s, views[i].at(0));
            if (!views[i].at(1).isNull())
                key.setValue(u"Language"_s, views[i].at(1));
            key.sync();
            if (key.status() == QSettings::AccessError)
                QSKIP("writing HKEY_LOCAL_MACHINE needs an administrator");
        }

        const VxGameLocation location = lookupGame();
        for (const QSettings::Format format : formats)
            QSettings(parent, format).remove(game);
        QCOMPARE(location.installDir, installDir);
        QCOMPARE(location.language, language);
#endif
    }
};

QTEST_GUILESS_MAIN(TestGameLookup)
#include "tst_gamelookup.moc"
