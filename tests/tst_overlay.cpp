#include "launchtesttools.h"

#include "launch/feedback.h"
#include "launch/launchsequence.h"
#include "launch/overlay.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

using launchtest::Files;
using launchtest::readTree;
using launchtest::writeTree;
using ModList = QList<Files>;

class TestOverlay : public QObject
{
    Q_OBJECT

private slots:
    void overlayAndRestore_data();
    void overlayAndRestore();
    void backupResourceFile_data();
    void backupResourceFile();
    void directoryLinksDoNotLoop_data();
    void directoryLinksDoNotLoop();
};

namespace {

// What the launch does with one mod's data: every subfolder but Tweak laid over data.
void overlayMod(const QString &installDir, const QString &modPath)
{
    VxSilentFeedback feedback;
    for (const QString &sub : QDir(modPath).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        if (sub != u"Tweak"_s)
            overlayFolder(installDir, modPath + u'/' + sub, u'/' + sub, feedback);
    }
}

} // namespace

void TestOverlay::overlayAndRestore_data()
{
    QTest::addColumn<Files>("game");
    QTest::addColumn<ModList>("mods");
    QTest::addColumn<Files>("modded");
    QTest::addColumn<Files>("restored");

    const Files game{{u"Art/tank.pgm"_s, "game tank"}, {u"Sound/boom.wav"_s, "game boom"}};

    QTest::newRow("a replaced file moves to its backup and comes back")
        << game << ModList{{{u"Art/tank.pgm"_s, "mod tank"}}}
        << Files{{u"Art/tank.pgm"_s, "mod tank"},
                 {u"Art/tank.pgm.backup"_s, "game tank"},
                 {u"Sound/boom.wav"_s, "game boom"}}
        << game;
    QTest::newRow("of two mods holding one file the first stays")
        << game << ModList{{{u"Art/tank.pgm"_s, "first"}}, {{u"Art/tank.pgm"_s, "second"}}}
        << Files{{u"Art/tank.pgm"_s, "first"},
                 {u"Art/tank.pgm.backup"_s, "game tank"},
                 {u"Sound/boom.wav"_s, "game boom"}}
        << game;
    QTest::newRow("a backup already there is never renewed")
        << Files{{u"Art/tank.pgm"_s, "earlier mod"}, {u"Art/tank.pgm.backup"_s, "game tank"}}
        << ModList{{{u"Art/tank.pgm"_s, "mod tank"}}}
        << Files{{u"Art/tank.pgm"_s, "earlier mod"}, {u"Art/tank.pgm.backup"_s, "game tank"}}
        << Files{{u"Art/tank.pgm"_s, "game tank"}};
    QTest::newRow("a file the game lacks is added and stays")
        << game << ModList{{{u"Art/medic.pgm"_s, "medic"}}}
        << Files{{u"Art/tank.pgm"_s, "game tank"},
                 {u"Art/medic.pgm"_s, "medic"},
                 {u"Sound/boom.wav"_s, "game boom"}}
        << Files{{u"Art/tank.pgm"_s, "game tank"},
                 {u"Art/medic.pgm"_s, "medic"},
                 {u"Sound/boom.wav"_s, "game boom"}};
    QTest::newRow("a new file in two mods: the second replaces, the first remains")
        << game << ModList{{{u"Art/medic.pgm"_s, "first"}}, {{u"Art/medic.pgm"_s, "second"}}}
        << Files{{u"Art/tank.pgm"_s, "game tank"},
                 {u"Art/medic.pgm"_s, "second"},
                 {u"Art/medic.pgm.backup"_s, "first"},
                 {u"Sound/boom.wav"_s, "game boom"}}
        << Files{{u"Art/tank.pgm"_s, "game tank"},
                 {u"Art/medic.pgm"_s, "first"},
                 {u"Sound/boom.wav"_s, "game boom"}};
    QTest::newRow("no folder is created for one the game lacks")
        << game << ModList{{{u"Music/theme.ogg"_s, "x"}, {u"Art/Deep/er.pgm"_s, "y"}}} << game
        << game;
    QTest::newRow("files deep down are laid over too")
        << Files{{u"Maps/Skirmish/river.map"_s, "game map"}}
        << ModList{{{u"Maps/Skirmish/river.map"_s, "mod map"}}}
        << Files{{u"Maps/Skirmish/river.map"_s, "mod map"},
                 {u"Maps/Skirmish/river.map.backup"_s, "game map"}}
        << Files{{u"Maps/Skirmish/river.map"_s, "game map"}};
    QTest::newRow("a mod file named like a game folder leaves the folder alone")
        << Files{{u"Art/Units/tank.pgm"_s, "game tank"}}
        << ModList{{{u"Art/Units"_s, "not a folder"}}}
        << Files{{u"Art/Units/tank.pgm"_s, "game tank"}}
        << Files{{u"Art/Units/tank.pgm"_s, "game tank"}};
    QTest::newRow("the mod's Tweak folder is never copied")
        << Files{{u"Tweak/Units.xml"_s, "<x/>"}} << ModList{{{u"Tweak/Units.xml"_s, "mod"}}}
        << Files{{u"Tweak/Units.xml"_s, "<x/>"}} << Files{{u"Tweak/Units.xml"_s, "<x/>"}};
    QTest::newRow("a backup whose file went missing is still put back")
        << Files{{u"Art/tank.pgm.backup"_s, "game tank"}} << ModList{}
        << Files{{u"Art/tank.pgm.backup"_s, "game tank"}}
        << Files{{u"Art/tank.pgm"_s, "game tank"}};
    QTest::newRow("temporary files a crash left are swept away")
        << Files{{u"Art/tank.pgm"_s, "game tank"},
                 {u"Art/tank.pgm.vxpart"_s, "torn"},
                 {u"Tweak/Units.xml"_s, "<x/>"},
                 {u"Tweak/Units.xml.vxpart.Ab12Cd"_s, "torn"}}
        << ModList{}
        << Files{{u"Art/tank.pgm"_s, "game tank"},
                 {u"Art/tank.pgm.vxpart"_s, "torn"},
                 {u"Tweak/Units.xml"_s, "<x/>"},
                 {u"Tweak/Units.xml.vxpart.Ab12Cd"_s, "torn"}}
        << Files{{u"Art/tank.pgm"_s, "game tank"}, {u"Tweak/Units.xml"_s, "<x/>"}};
    QTest::newRow("a resource backup comes back even when its file is missing")
        << Files{{u"Tweak/Units.xml.backup"_s, "<game/>"}, {u"Tweak/World.xml"_s, "<w/>"}}
        << ModList{}
        << Files{{u"Tweak/Units.xml.backup"_s, "<game/>"}, {u"Tweak/World.xml"_s, "<w/>"}}
        << Files{{u"Tweak/Units.xml"_s, "<game/>"}, {u"Tweak/World.xml"_s, "<w/>"}};
    QTest::newRow("a backup of a game file named .backup is not chained back")
        << Files{{u"Art/a"_s, "mod a"},
                 {u"Art/a.backup"_s, "game a"},
                 {u"Art/a.backup.backup"_s, "odd"}}
        << ModList{}
        << Files{{u"Art/a"_s, "mod a"},
                 {u"Art/a.backup"_s, "game a"},
                 {u"Art/a.backup.backup"_s, "odd"}}
        << Files{{u"Art/a"_s, "game a"}, {u"Art/a.backup.backup"_s, "odd"}};
    QTest::newRow("a mod file named like our temporaries is not laid over")
        << game << ModList{{{u"Art/x.vxpart"_s, "junk"}}} << game << game;
}

void TestOverlay::overlayAndRestore()
{
    QFETCH(Files, game);
    QFETCH(ModList, mods);
    QFETCH(Files, modded);
    QFETCH(Files, restored);

    QTemporaryDir dir;
    dir.setAutoRemove(!QTest::currentTestFailed());
    const QString install = dir.path() + u"/Game Folder"_s;
    QVERIFY(writeTree(install + u"/data"_s, game));
    for (qsizetype i = 0; i < mods.size(); ++i)
        QVERIFY(writeTree(dir.path() + u"/mods/"_s + QString::number(i), mods.at(i)));

    for (qsizetype i = 0; i < mods.size(); ++i)
        overlayMod(install, dir.path() + u"/mods/"_s + QString::number(i));
    QCOMPARE(readTree(install + u"/data"_s), modded);

    restoreGame(install);
    QCOMPARE(readTree(install + u"/data"_s), restored);
}

void TestOverlay::backupResourceFile_data()
{
    QTest::addColumn<Files>("game");
    QTest::addColumn<Files>("expected");

    QTest::newRow("the first backup is a byte-for-byte copy")
        << Files{{u"Tweak/Units.xml"_s, "<a  b=\"1\"/>\r\n"}}
        << Files{{u"Tweak/Units.xml"_s, "<a  b=\"1\"/>\r\n"},
                 {u"Tweak/Units.xml.backup"_s, "<a  b=\"1\"/>\r\n"}};
    QTest::newRow("an existing backup keeps the game's file")
        << Files{{u"Tweak/Units.xml"_s, "<edited/>"}, {u"Tweak/Units.xml.backup"_s, "<game/>"}}
        << Files{{u"Tweak/Units.xml"_s, "<edited/>"}, {u"Tweak/Units.xml.backup"_s, "<game/>"}};
    QTest::newRow("a torn copy from a crash is replaced, never kept as the backup")
        << Files{{u"Tweak/Units.xml"_s, "<game/>"}, {u"Tweak/Units.xml.backup.vxpart"_s, "<ga"}}
        << Files{{u"Tweak/Units.xml"_s, "<game/>"}, {u"Tweak/Units.xml.backup"_s, "<game/>"}};
}

void TestOverlay::backupResourceFile()
{
    QFETCH(Files, game);
    QFETCH(Files, expected);

    QTemporaryDir dir;
    dir.setAutoRemove(!QTest::currentTestFailed());
    QVERIFY(writeTree(dir.path() + u"/data"_s, game));
    ::backupResourceFile(dir.path(), u"Units"_s);
    QCOMPARE(readTree(dir.path() + u"/data"_s), expected);
}

void TestOverlay::directoryLinksDoNotLoop_data()
{
    QTest::addColumn<bool>("linkInMod");
    QTest::addColumn<bool>("linkInGame");

    QTest::newRow("a mod folder linking to its parent") << true << false;
    QTest::newRow("a game folder linking to its parent") << false << true;
    QTest::newRow("both at once") << true << true;
}

void TestOverlay::directoryLinksDoNotLoop()
{
#ifdef Q_OS_WIN
    QSKIP("directory links need privileges on Windows");
#endif
    QFETCH(bool, linkInMod);
    QFETCH(bool, linkInGame);

    QTemporaryDir dir;
    dir.setAutoRemove(!QTest::currentTestFailed());
    const QString install = dir.path() + u"/game"_s;
    const QString mod = dir.path() + u"/mod"_s;
    QVERIFY(writeTree(install + u"/data"_s, {{u"Art/tank.pgm"_s, "game"}}));
    QVERIFY(writeTree(mod, {{u"Art/tank.pgm"_s, "mod"}}));
    if (linkInMod)
        QVERIFY(QFile::link(mod + u"/Art"_s, mod + u"/Art/loop"_s));
    if (linkInGame)
        QVERIFY(QFile::link(install + u"/data/Art"_s, install + u"/data/Art/loop"_s));

    overlayMod(install, mod);
    QCOMPARE(QFile(install + u"/data/Art/tank.pgm.backup"_s).size(), 4);
    restoreGame(install);
    QFile tank(install + u"/data/Art/tank.pgm"_s);
    QVERIFY(tank.open(QIODevice::ReadOnly));
    QCOMPARE(tank.readAll(), QByteArray("game"));
    QVERIFY(!QFile::exists(install + u"/data/Art/tank.pgm.backup"_s));
}

QTEST_GUILESS_MAIN(TestOverlay)
#include "tst_overlay.moc"
