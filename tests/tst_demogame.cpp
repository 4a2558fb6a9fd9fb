#include "testutil.h"

using namespace Qt::StringLiterals;
using namespace vxtest;

namespace {

// The stand-in game runs without a window and writes what it saw to dir + "/snapshot.txt".
QProcessEnvironment headless(const QString &dir, const QStringList &extra = {})
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"VX_STANDIN_HEADLESS"_s, u"1"_s);
    env.insert(u"VX_STANDIN_SNAPSHOT"_s, dir + u"/snapshot.txt"_s);
    for (const QString &setting : extra)
        env.insert(setting.section(u'=', 0, 0), setting.section(u'=', 1));
    return env;
}

// The first of expected that the snapshot breaks: each is the start of a line that must be
// there, or with a leading '!' of one that must not. Empty when all hold.
QString unmet(const QString &dir, const QStringList &expected)
{
    QFile file(dir + u"/snapshot.txt"_s);
    const QString seen =
        file.open(QIODevice::ReadOnly) ? u'\n' + QString::fromUtf8(file.readAll()) : QString();
    for (const QString &line : expected) {
        if (seen.contains(u'\n' + line.mid(line.startsWith(u'!'))) == line.startsWith(u'!'))
            return line;
    }
    return {};
}

} // namespace

class TestDemoGame : public QObject
{
    Q_OBJECT
private slots:
    void standin_data();
    void standin();
    void sampleMods();
};

void TestDemoGame::standin_data()
{
    QTest::addColumn<Files>("written"); // into the staged game
    QTest::addColumn<QStringList>("environment");
    QTest::addColumn<int>("exitCode"); // -1: crashes
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("switches, line ends, blanks, unknown words and a bad number")
        << Files{{u"launcher.cfg"_s, " /W:1024\r\n\t/H:tall  /LOUD /REFRESH:75 /NOMOVIES\n"}}
        << QStringList() << 0 << QStringList{u"setting\twidth\t1024"_s, u"setting\trefresh\t75"_s,
                                             u"switch\tNOMOVIES\ton"_s, u"switch\tNOSOUND\toff"_s,
                                             u"unknown\t/LOUD"_s,       u"unknown\t/H:tall"_s};
    QTest::newRow("missing launcher.cfg leaves the defaults")
        << Files() << QStringList() << 0
        << QStringList{u"setting\twidth\t640"_s, u"config-missing"_s, u"!problem\t"_s};
    QTest::newRow("a resource file cut off mid-element is reported, the others still read")
        << Files{{u"data/Tweak/World.xml"_s,
                  "<?xml version='1.0'?>\r\n<XResourceFile>\r\n<XResourceTable>"
                  "\r\n<XSkyDetails id='Sky-0'>\r\n<StarCount>12"}}
        << QStringList() << 0
        << QStringList{u"problem\tWorld.xml: "_s, u"value\tShips.xml\tFrigate-0\tSpeed\t6"_s};
    QTest::newRow("an exit code is handed back")
        << Files() << QStringList{u"VX_STANDIN_EXIT_CODE=7"_s} << 7 << QStringList();
    QTest::newRow("a crash ends the process abnormally, after the snapshot")
        << Files() << QStringList{u"VX_STANDIN_CRASH=1"_s} << -1 << QStringList();
}

void TestDemoGame::standin()
{
    QFETCH(Files, written);
    QFETCH(QStringList, environment);
    QFETCH(int, exitCode);
    QFETCH(QStringList, expected);
    TestDir dir;
    const QString game = dir.path() + u"/game"_s;
    QVERIFY(stageDemoGame(game) && writeTree(game, written));
    // The file records must match the data folder exactly, or before/after comparisons in
    // other tests would mislead.
    const Files hashes = hashTree(game + u"/data"_s);
    for (auto it = hashes.cbegin(); it != hashes.cend(); ++it)
        expected << u"file\tdata/"_s + it.key() + u'\t' + QLatin1String(it.value()) + u'\n';

    QProcess process;
    process.setProcessEnvironment(headless(dir.path(), environment));
    process.setWorkingDirectory(game);
    process.start(game + u'/' + gameExecutableName());
    QVERIFY(process.waitForFinished(30000));
    QCOMPARE(process.exitStatus() == QProcess::CrashExit ? -1 : process.exitCode(), exitCode);
    // The game gets no arguments: everything travels through launcher.cfg.
    expected << u"argc\t0\n"_s << u"cwd\t"_s + QDir(game).absolutePath() + u'\n';
    QCOMPARE(unmet(dir.path(), expected), QString());
}

// The sample mods together, played as the person would: every edit lands and none undoes
// another's; a sample mod that raised a question would fail the launch.
void TestDemoGame::sampleMods()
{
    TestDir dir;
    const QString game = dir.path() + u"/game"_s;
    QVERIFY(stageDemoGame(game));
    const Run run =
        runVxmod({u"play"_s, u"--game"_s, game, u"BetterUnits"_s, u"NightSky"_s, u"WarpDrive"_s},
                 headless(dir.path()));
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    QCOMPARE(
        unmet(dir.path(),
              {u"value\tUnits.xml\tTank-0\tHealth\t450"_s, u"!value\tUnits.xml\tTank-0\tSound\t"_s,
               u"value\tUnits.xml\tTank-0\tBannerColor\t@color 200 30 30 255"_s,
               u"value\tUnits.xml\tHeavyCannon-0\tProjectile/Speed\t30"_s,
               u"value\tUnits.xml\tMedic-0\tDisplayName\tField Medic"_s,
               u"value\tUnits.xml\tid-0\tContainerResources\t@href Medic"_s,
               u"value\tUnits.xml\tMotto\tValue\tStronger together"_s,
               u"value\tUnits.xml\tScout-0\tSpeed\t12"_s, u"value\tWorld.xml\tSun\tFlags\t2"_s,
               u"value\tWorld.xml\tSky-0\tStarCount\t2400"_s,
               u"value\tWorld.xml\tMoon\tPhase\tfull"_s, u"!value\tWorld.xml\tMoon-0\tPhase\t"_s,
               u"value\tShips.xml\tFrigate-0\tEngine\t@href WarpEngine"_s,
               u"file\tdata/Art/Units/medic.pgm\t"_s, u"file\tdata/Art/Units/tank.pgm.backup\t"_s,
               u"!problem\t"_s, u"argc\t0\n"_s, u"cwd\t"_s + game + u'\n'}),
        QString());
    // The end of the game gives every game file back as it was; only files the mods added stay.
    QCOMPARE(compareRestored(game + u"/data"_s,
                             qEnvironmentVariable("VX_DEMO_INSTALL") + u"/data"_s,
                             game + u"/VexilMods"_s),
             QString());
}

QTEST_GUILESS_MAIN(TestDemoGame)
#include "tst_demogame.moc"
