#include "launch/feedback.h"
#include "launch/launchsequence.h"
#include "launch/overlay.h"
#include "testutil.h"

using namespace Qt::StringLiterals;
using vxtest::Files;
using vxtest::readTree;
using vxtest::writeTree;
using ModList = QList<Files>;

class TestOverlay : public QObject
{
    Q_OBJECT

private slots:
    void overlayAndRestore_data();
    void overlayAndRestore();
    void directoryLinksDoNotLoop();
};

namespace {

// The file work of a launch for one mod: its data folders laid over the game's, and a backup
// of each resource file it tweaks.
void overlayMod(const QString &installDir, const QString &modPath)
{
    VxSilentFeedback feedback;
    const QDir::Filters folders = QDir::Dirs | QDir::NoDotAndDotDot;
    for (const QString &sub : QDir(modPath).entryList(folders)) {
        if (sub != u"Tweak"_s)
            overlayFolder(installDir, modPath + u'/' + sub, u'/' + sub, feedback);
    }
    for (const QString &resource : QDir(modPath + u"/Tweak"_s).entryList(folders))
        backupResourceFile(installDir, resource);
}

// base with the files of extra added or replaced.
Files with(Files base, const Files &extra)
{
    base.insert(extra);
    return base;
}

} // namespace

void TestOverlay::overlayAndRestore_data()
{
    QTest::addColumn<Files>("game");
    QTest::addColumn<ModList>("mods");
    QTest::addColumn<Files>("modded"); // empty: the data folder as the game had it
    QTest::addColumn<Files>("restored");

    const Files game{{u"Art/tank.pgm"_s, "game tank"},
                     {u"Maps/Sea/isle.map"_s, "game map"},
                     {u"Tweak/Units.xml"_s, "<u/>"}};
    const Files tweak{{u"Tweak/Units/Speed.twk"_s, "Value=9\n"}};
    const Files medic{{u"Art/medic.pgm"_s, "medic"}};
    const Files torn{{u"Art/tank.pgm.vxpart"_s, "torn"}, {u"Tweak/Units.xml.vxpart.Ab12"_s, "t"}};
    const Files lone{{u"Art/tank.pgm.backup"_s, "game tank"},
                     {u"Tweak/Units.xml.backup"_s, "<u/>"}};
    const Files odd{
        {u"Art/a"_s, "mod a"}, {u"Art/a.backup"_s, "game a"}, {u"Art/a.backup.backup"_s, "odd"}};

    QTest::newRow("replaced files, however deep, and tweaked ones get exact backups and come back")
        << game
        << ModList{with(tweak,
                        {{u"Art/tank.pgm"_s, "mod tank"}, {u"Maps/Sea/isle.map"_s, "mod map"}})}
        << with(game, {{u"Tweak/Units.xml.backup"_s, "<u/>"},
                       {u"Art/tank.pgm"_s, "mod tank"},
                       {u"Art/tank.pgm.backup"_s, "game tank"},
                       {u"Maps/Sea/isle.map"_s, "mod map"},
                       {u"Maps/Sea/isle.map.backup"_s, "game map"}})
        << game;
    QTest::newRow("of two mods holding one game file the first stays")
        << game << ModList{{{u"Art/tank.pgm"_s, "first"}}, {{u"Art/tank.pgm"_s, "second"}}}
        << with(game, {{u"Art/tank.pgm"_s, "first"}, {u"Art/tank.pgm.backup"_s, "game tank"}})
        << game;
    QTest::newRow("a backup already there, of a data or a resource file, is never renewed")
        << with(game, {{u"Art/tank.pgm"_s, "earlier mod"},
                       {u"Tweak/Units.xml"_s, "<edited/>"},
                       {u"Art/tank.pgm.backup"_s, "game tank"},
                       {u"Tweak/Units.xml.backup"_s, "<u/>"}})
        << ModList{with(tweak, {{u"Art/tank.pgm"_s, "mod tank"}})} << Files{} << game;
    QTest::newRow("a new file in two mods: the second replaces, the first remains")
        << game << ModList{medic, {{u"Art/medic.pgm"_s, "second"}}}
        << with(game, {{u"Art/medic.pgm"_s, "second"}, {u"Art/medic.pgm.backup"_s, "medic"}})
        << with(game, medic);
    QTest::newRow("no folder is created for one the game lacks")
        << game << ModList{{{u"Music/theme.ogg"_s, "x"}, {u"Art/Deep/er.pgm"_s, "y"}}} << Files{}
        << game;
    QTest::newRow("a mod file named like a game folder leaves the folder alone")
        << game << ModList{{{u"Maps/Sea"_s, "not a folder"}}} << Files{} << game;
    QTest::newRow("a lone backup, of a data or a resource file, is still put back")
        << lone << ModList{} << Files{}
        << Files{{u"Art/tank.pgm"_s, "game tank"}, {u"Tweak/Units.xml"_s, "<u/>"}};
    QTest::newRow("temporary files a crash left are swept away")
        << with(game, torn) << ModList{} << Files{} << game;
    QTest::newRow("a torn resource backup from a crash is replaced")
        << with(game, {{u"Tweak/Units.xml.backup.vxpart"_s, "<"}}) << ModList{tweak}
        << with(game, {{u"Tweak/Units.xml.backup"_s, "<u/>"}}) << game;
    QTest::newRow("a backup of a game file named .backup is not chained back")
        << odd << ModList{} << Files{}
        << Files{{u"Art/a"_s, "game a"}, {u"Art/a.backup.backup"_s, "odd"}};
}

void TestOverlay::overlayAndRestore()
{
    QFETCH(Files, game);
    QFETCH(ModList, mods);
    QFETCH(Files, modded);
    QFETCH(Files, restored);

    vxtest::TestDir dir;
    const QString install = dir.path() + u"/Game Folder"_s;
    QVERIFY(writeTree(install + u"/data"_s, game));
    for (qsizetype i = 0; i < mods.size(); ++i) {
        const QString mod = dir.path() + u"/mods/"_s + QString::number(i);
        QVERIFY(writeTree(mod, mods.at(i)));
        overlayMod(install, mod);
    }
    QCOMPARE(readTree(install + u"/data"_s), modded.isEmpty() ? game : modded);
    restoreGame(install);
    QCOMPARE(readTree(install + u"/data"_s), restored);
}

void TestOverlay::directoryLinksDoNotLoop()
{
#ifdef Q_OS_WIN
    QSKIP("directory links need privileges on Windows");
#endif
    vxtest::TestDir dir;
    const QString install = dir.path() + u"/game"_s;
    const QString mod = dir.path() + u"/mod"_s;
    QVERIFY(writeTree(install + u"/data"_s, {{u"Art/tank.pgm"_s, "game"}}));
    QVERIFY(writeTree(mod, {{u"Art/tank.pgm"_s, "mod"}}));
    // Folders in the mod and in the game that link to their parents.
    QVERIFY(QFile::link(mod + u"/Art"_s, mod + u"/Art/loop"_s));
    QVERIFY(QFile::link(install + u"/data/Art"_s, install + u"/data/Art/loop"_s));

    overlayMod(install, mod);
    restoreGame(install);
    QCOMPARE(readTree(install + u"/data/Art"_s).value(u"tank.pgm"_s), QByteArray("game"));
    QVERIFY(!QFile::exists(install + u"/data/Art/tank.pgm.backup"_s));
}

QTEST_GUILESS_MAIN(TestOverlay)
#include "tst_overlay.moc"
