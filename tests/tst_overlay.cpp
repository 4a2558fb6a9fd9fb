#include "launch/feedback.h"
#include "launch/launchsequence.h"
#include "testutil.h"

using namespace Qt::StringLiterals;
using namespace vxtest;

class TestOverlay : public QObject
{
    Q_OBJECT

private slots:
    void overlayAndRestore_data();
    void overlayAndRestore();
    void linkedFolders();
    void backupsByName();
};

namespace {

// "path=content; path=content; ...", a later path replacing an earlier one.
Files files(const QString &entries)
{
    Files result;
    for (const QString &entry : entries.split(u"; "_s, Qt::SkipEmptyParts))
        result.insert(entry.section(u'=', 0, 0), entry.section(u'=', 1).toUtf8());
    return result;
}

// A launch of the mods (each a file set) over the game's data folder, and nothing else.
VxLaunchResult applyModFiles(const QString &install, const QString &modsRoot,
                             const QStringList &mods)
{
    QList<VxModRef> refs;
    for (qsizetype i = 0; i < mods.size(); ++i) {
        const QString mod = modsRoot + u'/' + QString::number(i) + u'/';
        if (!writeTree(mod, files(mods.at(i))))
            return VxLaunchResult::Failed;
        refs.append({mod, QString::number(i)});
    }
    VxSilentFeedback feedback;
    return applyMods(install, refs, feedback);
}

} // namespace

void TestOverlay::overlayAndRestore_data()
{
    QTest::addColumn<QString>("game"); // the data folder, as for files()
    QTest::addColumn<QStringList>("mods");
    QTest::addColumn<QString>("modded"); // the data folder after the launch; "*": any content

    const QString game = u"Art/tank=tank; Maps/Sea/isle=map; Tweak/Units.xml=<u/>"_s;

    QTest::newRow("a replaced file goes aside, an added one is new, a tweaked one backed up")
        << game << QStringList{u"Maps/Sea/isle=new; Art/medic=m; Tweak/Units/Speed.twk=Value=9"_s}
        << u"Art/tank=tank; Art/medic=m; Maps/Sea/isle=new; Maps/Sea/isle.backup=map; "
           u"Tweak/Units.xml=*; Tweak/Units.xml.backup=<u/>"_s;
    QTest::newRow("of two mods the first keeps a file, whether it replaced or added it")
        << game << QStringList{u"Art/tank=1; Art/medic=1"_s, u"Art/tank=2; Art/medic=2"_s}
        << game + u"; Art/tank=1; Art/tank.backup=tank; Art/medic=1"_s;
    QTest::newRow("game files named like backups or temporaries are never taken for ours")
        << u"Text/credits.txt=c; Text/credits.txt.backup=gc; Text/readme.backup=r; "
           u"Text/notes.vxpart.txt=n; Art/tank=tank"_s
        << QStringList{u"Text/credits.txt=mc; Text/credits.txt.backup=mb; Art/tank.vxpart=mt"_s}
        << u"Text/credits.txt=mc; Text/credits.txt.backup=mb; Text/credits.txt.backup.1=c; "
           u"Text/credits.txt.backup.backup=gc; Text/readme.backup=r; "
           u"Text/notes.vxpart.txt=n; Art/tank=tank; Art/tank.vxpart=mt"_s;
    QTest::newRow("a mod's own backup-named file is added, never taken for a backup")
        << game << QStringList{u"Art/tank.backup=mod"_s} << game + u"; Art/tank.backup=mod"_s;
    QTest::newRow("no folder is created for one the game lacks, nor a file laid over a folder")
        << game << QStringList{u"Music/t=x; Art/Deep/e=y; Maps/Sea=z"_s} << game;
    QTest::newRow("a hidden game file is replaced and comes back")
        << game + u"; Art/.shade=game"_s << QStringList{u"Art/.shade=mod"_s}
        << game + u"; Art/.shade=mod; Art/.shade.backup=game"_s;
}

void TestOverlay::overlayAndRestore()
{
    QFETCH(QString, game);
    QFETCH(QStringList, mods);
    QFETCH(QString, modded);

    TestDir dir;
    const QString install = dir.path() + u"/Game Folder"_s;
    QVERIFY(writeTree(install + u"/data"_s, files(game)));
    QCOMPARE(applyModFiles(install, dir.path() + u"/mods"_s, mods), VxLaunchResult::Applied);

    Files after = readTree(install + u"/data"_s);
    const Files expected = files(modded);
    for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
        if (it.value() == "*" && after.contains(it.key()))
            after[it.key()] = "*";
    }
    QCOMPARE(after, expected);
    QCOMPARE(restoreGame(install).failures, QStringList());
    QCOMPARE(readTree(install + u"/data"_s), files(game));
    QCOMPARE(QDir(install).entryList(QDir::Files | QDir::Hidden), QStringList());
}

void TestOverlay::linkedFolders()
{
#ifdef Q_OS_WIN
    QSKIP("QFile::link makes .lnk shortcuts on Windows, and Wine 8 has no directory junctions");
#endif
    TestDir dir;
    const QString install = dir.path() + u"/game"_s, mods = dir.path() + u"/mods"_s;
    const Files game{{u"Art/A/tank"_s, "a"}, {u"Art/B/tank"_s, "b"}, {u"Art/ghost.pgm"_s, ""}};
    QVERIFY(writeTree(install + u"/data"_s, game) &&
            writeTree(mods + u"/shared"_s, {{u"tank"_s, "mod"}}) &&
            writeTree(mods + u"/0"_s, {{u"Art/ghost.pgm"_s, "mod"}}));
    // Two names for one folder in the mod; folders linking to their parents in both; and a
    // game file that is a dangling link.
    QVERIFY(QFile::link(mods + u"/shared"_s, mods + u"/0/Art/A"_s) &&
            QFile::link(mods + u"/shared"_s, mods + u"/0/Art/B"_s) &&
            QFile::link(mods + u"/0/Art"_s, mods + u"/shared/loop"_s) &&
            QFile::link(install + u"/data/Art"_s, install + u"/data/Art/A/loop"_s) &&
            QFile::remove(install + u"/data/Art/ghost.pgm"_s) &&
            QFile::link(u"nowhere"_s, install + u"/data/Art/ghost.pgm"_s));
    VxSilentFeedback feedback;
    QCOMPARE(applyMods(install, {{mods + u"/0/"_s, u"0"_s}}, feedback), VxLaunchResult::Applied);
    QCOMPARE(readTree(install + u"/data/Art/A"_s).value(u"tank"_s), QByteArray("mod"));
    QCOMPARE(readTree(install + u"/data/Art/B"_s).value(u"tank"_s), QByteArray("mod"));
    QCOMPARE(readTree(install + u"/data/Art"_s).value(u"ghost.pgm"_s), QByteArray("mod"));
    QVERIFY(restoreGame(install).ok());
    QCOMPARE(QFileInfo(install + u"/data/Art/ghost.pgm"_s).symLinkTarget(),
             QFileInfo(install + u"/data/Art/nowhere"_s).absoluteFilePath());
    const Files after = readTree(install + u"/data/Art"_s);
    QCOMPARE(after.value(u"A/tank"_s), QByteArray("a"));
    QCOMPARE(after.value(u"B/tank"_s), QByteArray("b"));
    QCOMPARE(QDir(install + u"/data/Art"_s)
                 .entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot),
             (QStringList{u"A"_s, u"B"_s, u"ghost.pgm"_s}));
}

void TestOverlay::backupsByName()
{
    TestDir dir;
    const QString install = dir.path() + u"/game"_s;
    // What an older launcher left: no journal, backups beside edited files; and a game's own
    // readme.backup and a lone backup, which the old rule leaves alone.
    const Files left = files(u"Art/tank=mod; Art/tank.backup=tank; Tweak/Units.xml=<edited/>; "
                             u"Tweak/Units.xml.backup=<u/>; Tweak/Ships.xml.backup=<s/>; "
                             u"Text/readme.backup=r; Art/lone.backup=l"_s);
    QVERIFY(writeTree(install + u"/data"_s, left));
    QVERIFY(restoreGame(install).ok());
    QCOMPARE(readTree(install + u"/data"_s), left);

    QStringList found = findBackupsByName(install);
    found.replaceInStrings(install + u"/data/"_s, QString());
    QCOMPARE(found, (QStringList{u"Art/tank.backup"_s, u"Tweak/Ships.xml.backup"_s,
                                 u"Tweak/Units.xml.backup"_s}));
    const VxRestoreReport report = restoreBackupsByName(install);
    QCOMPARE(report.restored, 3);
    QCOMPARE(readTree(install + u"/data"_s),
             files(u"Art/tank=tank; Tweak/Units.xml=<u/>; Tweak/Ships.xml=<s/>; "
                   u"Text/readme.backup=r; Art/lone.backup=l"_s));
}

QTEST_GUILESS_MAIN(TestOverlay)
#include "tst_overlay.moc"
