#include "launch/feedback.h"
#include "launch/launchsequence.h"
#include "launch/overlay.h"
#include "testutil.h"

using namespace Qt::StringLiterals;
using namespace vxtest;

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
    for (const QString &sub : QDir(modPath).entryList(folders))
        if (sub != u"Tweak"_s)
            overlayFolder(installDir, modPath + u'/' + sub, u'/' + sub, feedback);
    for (const QString &resource : QDir(modPath + u"/Tweak"_s).entryList(folders))
        backupResourceFile(installDir, resource);
}

// "path=content; path=content; ...", a later path replacing an earlier one.
Files files(const QString &entries)
{
    Files result;
    for (const QString &entry : entries.split(u"; "_s, Qt::SkipEmptyParts))
        result.insert(entry.section(u'=', 0, 0), entry.section(u'=', 1).toUtf8());
    return result;
}

} // namespace

void TestOverlay::overlayAndRestore_data()
{
    QTest::addColumn<QString>("game"); // the data folder, as for files()
    QTest::addColumn<QStringList>("mods");
    QTest::addColumn<QString>("modded"); // empty: the data folder as the game had it
    QTest::addColumn<QString>("restored");

    const QString game = u"Art/tank=tank; Maps/Sea/isle=map; Tweak/Units.xml=<u/>"_s;
    const QString tweak = u"; Tweak/Units/Speed.twk=Value=9\n"_s;
    const QString torn = u"; Art/tank.vxpart=torn; Tweak/Units.xml.vxpart.Ab12=t"_s;

    QTest::newRow("files replaced however deep and tweaked ones get exact backups and come back")
        << game << QStringList{u"Maps/Sea/isle=new"_s + tweak}
        << game + u"; Tweak/Units.xml.backup=<u/>; Maps/Sea/isle=new; Maps/Sea/isle.backup=map"_s
        << game;
    QTest::newRow("of two mods the first keeps a game file, the second replaces a new one")
        << game << QStringList{u"Art/tank=1; Art/medic=1"_s, u"Art/tank=2; Art/medic=2"_s}
        << game + u"; Art/tank=1; Art/tank.backup=tank; Art/medic=2; Art/medic.backup=1"_s
        << game + u"; Art/medic=1"_s;
    QTest::newRow("a backup already there, of a data or a resource file, is never renewed")
        << game + u"; Art/tank=old; Tweak/Units.xml=<old/>; Art/tank.backup=tank; "
                  u"Tweak/Units.xml.backup=<u/>"_s
        << QStringList{u"Art/tank=mod"_s + tweak} << QString() << game;
    QTest::newRow("no folder is created for one the game lacks, nor a file over a folder")
        << game << QStringList{u"Music/t=x; Art/Deep/e=y; Maps/Sea=z"_s} << QString() << game;
    QTest::newRow("a lone backup is put back, a game file named .backup is not chained back")
        << u"Art/tank.backup=tank; Tweak/Units.xml.backup=<u/>; Art/a=mod; "
           u"Art/a.backup=a; Art/a.backup.backup=odd"_s
        << QStringList() << QString()
        << u"Art/tank=tank; Tweak/Units.xml=<u/>; Art/a=a; Art/a.backup.backup=odd"_s;
    QTest::newRow("a torn backup a crash left is replaced, its temporary files swept away")
        << game + torn + u"; Tweak/Units.xml.backup.vxpart=<"_s << QStringList{tweak}
        << game + torn + u"; Tweak/Units.xml.backup=<u/>"_s << game;
}

void TestOverlay::overlayAndRestore()
{
    QFETCH(QString, game);
    QFETCH(QStringList, mods);
    QFETCH(QString, modded);
    QFETCH(QString, restored);

    TestDir dir;
    const QString install = dir.path() + u"/Game Folder"_s;
    QVERIFY(writeTree(install + u"/data"_s, files(game)));
    for (qsizetype i = 0; i < mods.size(); ++i) {
        const QString mod = dir.path() + u"/mods/"_s + QString::number(i);
        QVERIFY(writeTree(mod, files(mods.at(i))));
        overlayMod(install, mod);
    }
    QCOMPARE(readTree(install + u"/data"_s), files(modded.isEmpty() ? game : modded));
    restoreGame(install);
    QCOMPARE(readTree(install + u"/data"_s), files(restored));
}

void TestOverlay::directoryLinksDoNotLoop()
{
#ifdef Q_OS_WIN
    QSKIP("QFile::link makes .lnk shortcuts on Windows, and Wine 8 has no directory junctions");
#endif
    TestDir dir;
    const QString install = dir.path() + u"/game"_s, mod = dir.path() + u"/mod"_s;
    QVERIFY(writeTree(install + u"/data"_s, {{u"Art/tank.pgm"_s, "game"}}) &&
            writeTree(mod, {{u"Art/tank.pgm"_s, "mod"}}));
    // Folders in the mod and in the game that link to their parents.
    QVERIFY(QFile::link(mod + u"/Art"_s, mod + u"/Art/loop"_s) &&
            QFile::link(install + u"/data/Art"_s, install + u"/data/Art/loop"_s));
    overlayMod(install, mod);
    restoreGame(install);
    QCOMPARE(readTree(install + u"/data"_s), (Files{{u"Art/tank.pgm"_s, "game"}}));
}

QTEST_GUILESS_MAIN(TestOverlay)
#include "tst_overlay.moc"
