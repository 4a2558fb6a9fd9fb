#include "launch/feedback.h"
#include "launch/launchsequence.h"
#include "testutil.h"

#include <QRegularExpression>

#include <algorithm>

using namespace Qt::StringLiterals;
using namespace vxtest;

namespace {

// A sample mod must never raise the tweak question: answering Abort makes it fail the launch.
class StrictFeedback : public VxSilentFeedback
{
public:
    Answer ask(const QString &, const QString &) override { return Answer::Abort; }
};

struct StandinRun
{
    int exitCode = -2; // -1 for a crash
    QStringList seen;  // the lines of its snapshot
};

// Runs the stand-in game staged in dir + "/game" headless, with extra environment.
StandinRun runStandin(const QString &dir, const QStringList &extraEnvironment = {})
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"VX_STANDIN_HEADLESS"_s, u"1"_s);
    env.insert(u"VX_STANDIN_SNAPSHOT"_s, dir + u"/snapshot.txt"_s);
    for (const QString &setting : extraEnvironment)
        env.insert(setting.section(u'=', 0, 0), setting.section(u'=', 1));
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(dir + u"/game"_s);
    process.start(dir + u"/game/"_s + gameExecutableName());
    StandinRun run;
    if (process.waitForFinished(30000))
        run.exitCode = process.exitStatus() == QProcess::CrashExit ? -1 : process.exitCode();
    QFile snapshot(dir + u"/snapshot.txt"_s);
    if (snapshot.open(QIODevice::ReadOnly))
        run.seen = QString::fromUtf8(snapshot.readAll()).split(u'\n', Qt::SkipEmptyParts);
    return run;
}

// The first of expected that seen lacks: each is the start of a line that must be there, or
// with a leading '!' of one that must not. Empty when all hold.
QString unmet(const QStringList &seen, const QStringList &expected)
{
    for (const QString &line : expected) {
        const bool must = !line.startsWith(u'!');
        const QString start = must ? line : line.mid(1);
        const auto starts = [&](const QString &s) { return s.startsWith(start); };
        if (std::any_of(seen.cbegin(), seen.cend(), starts) != must)
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
    void sampleMods_data();
    void sampleMods();
};

void TestDemoGame::standin_data()
{
    QTest::addColumn<QByteArray>("config"); // empty: no launcher.cfg at all
    QTest::addColumn<QByteArray>("world");  // replaces World.xml unless empty
    QTest::addColumn<QStringList>("environment");
    QTest::addColumn<int>("exitCode"); // -1: crashes
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("every switch and the resolution reach the game")
        << QByteArray("/W:1024 /H:768 /REFRESH:75 /NOMOVIES /NOSOUND /ENABLEPORTFORWARDING "
                      "/ALLOWSCREENSHOTS /MANUALCAMERA /TELNET")
        << QByteArray() << QStringList() << 0
        << QStringList{u"setting\twidth\t1024"_s, u"setting\theight\t768"_s,
                       u"setting\trefresh\t75"_s, u"switch\tNOMOVIES\ton"_s,
                       u"switch\tTELNET\ton"_s,   u"switch\tMANUALCAMERA\ton"_s};
    QTest::newRow("missing launcher.cfg leaves the defaults")
        << QByteArray() << QByteArray() << QStringList() << 0
        << QStringList{u"setting\twidth\t640"_s, u"config-missing"_s};
    QTest::newRow("line ends, blanks, unknown words and a bad number are harmless")
        << QByteArray("  /W:wide\r\n\t/H:600   /LOUD /REFRESH:50\n") << QByteArray()
        << QStringList() << 0 << QStringList{u"setting\twidth\t640"_s,  u"setting\theight\t600"_s,
                                             u"setting\trefresh\t50"_s, u"unknown\t/LOUD"_s,
                                             u"unknown\t/W:wide"_s,     u"switch\tNOSOUND\toff"_s};
    QTest::newRow("a resource file cut off mid-element is reported, the others still read")
        << QByteArray()
        << QByteArray("<?xml version='1.0'?>\r\n<XResourceFile>\r\n<XResourceTable>"
                      "\r\n<XSkyDetails id='Sky-0'>\r\n<StarCount>12")
        << QStringList() << 0
        << QStringList{u"problem\tWorld.xml: "_s, u"value\tShips.xml\tFrigate-0\tSpeed\t6"_s};
    QTest::newRow("an exit code is handed back")
        << QByteArray() << QByteArray() << QStringList{u"VX_STANDIN_EXIT_CODE=7"_s} << 7
        << QStringList();
    QTest::newRow("a crash ends the process abnormally, after the snapshot")
        << QByteArray() << QByteArray() << QStringList{u"VX_STANDIN_CRASH=1"_s} << -1
        << QStringList();
}

void TestDemoGame::standin()
{
    QFETCH(QByteArray, config);
    QFETCH(QByteArray, world);
    QFETCH(QStringList, environment);
    QFETCH(int, exitCode);
    QFETCH(QStringList, expected);
    TestDir dir;
    const QString game = dir.path() + u"/game"_s;
    QString error;
    QVERIFY2(stageDemoGame(game, &error), qPrintable(error));
    if (!config.isEmpty())
        QVERIFY(writeTree(game, {{u"launcher.cfg"_s, config}}));
    if (!world.isEmpty())
        QVERIFY(writeTree(game, {{u"data/Tweak/World.xml"_s, world}}));

    const StandinRun run = runStandin(dir.path(), environment);
    QCOMPARE(run.exitCode, exitCode);
    // The game gets no arguments: everything travels through launcher.cfg.
    expected << u"argc\t0"_s << u"cwd\t"_s + QDir(game).absolutePath()
             << u"value\tUnits.xml\tTank-0\tHealth\t300"_s;
    QCOMPARE(unmet(run.seen, expected), QString());
    QCOMPARE(run.seen.filter(QRegularExpression(u"^problem\t"_s)).size(), world.isEmpty() ? 0 : 1);
    // The file records must match the data folder exactly, or before/after comparisons in
    // other tests would mislead.
    QStringList files;
    const Files hashes = hashTree(game + u"/data"_s);
    for (auto it = hashes.cbegin(); it != hashes.cend(); ++it)
        files.append(u"file\tdata/"_s + it.key() + u'\t' + QLatin1String(it.value()));
    QStringList fileLines = run.seen.filter(QRegularExpression(u"^file\t"_s));
    fileLines.sort();
    QCOMPARE(fileLines, files);
}

void TestDemoGame::sampleMods_data()
{
    QTest::addColumn<QStringList>("mods");
    QTest::addColumn<QStringList>("expected"); // what the game must see, as for unmet()

    QTest::newRow("tank upgrade, copied cannon, new medic and declarations all land")
        << QStringList{u"BetterUnits"_s}
        << QStringList{u"value\tUnits.xml\tTank-0\tHealth\t450"_s,
                       u"!value\tUnits.xml\tTank-0\tSound\t"_s,
                       u"value\tUnits.xml\tTank-0\tBannerColor\t@color 200 30 30 255"_s,
                       u"value\tUnits.xml\tHeavyCannon-0\tProjectile/Speed\t30"_s,
                       u"value\tUnits.xml\tMedic-0\tDisplayName\tField Medic"_s,
                       u"value\tUnits.xml\tid-0\tContainerResources\t@href Medic"_s,
                       u"value\tUnits.xml\tMotto\tValue\tStronger together"_s,
                       u"file\tdata/Art/Units/medic.pgm\t"_s,
                       u"file\tdata/Art/Units/tank.pgm.backup\t"_s};
    QTest::newRow("night sky colours, a moon without container and sun flags")
        << QStringList{u"NightSky"_s}
        << QStringList{u"value\tWorld.xml\tSky-0\tTopColor\t@color 5 8 30"_s,
                       u"value\tWorld.xml\tMoon\tPhase\tfull"_s,
                       u"!value\tWorld.xml\tMoon-0\tPhase\t"_s,
                       u"value\tWorld.xml\tSun\tFlags\t2"_s,
                       u"value\tWorld.xml\tid-0\tVectorResources\t@href StarDrift"_s,
                       u"file\tdata/Sound/Ambient/crickets.wav\t"_s};
    QTest::newRow("all three mods keep each other's edits to one file")
        << QStringList{u"BetterUnits"_s, u"NightSky"_s, u"WarpDrive"_s}
        << QStringList{u"value\tUnits.xml\tTank-0\tHealth\t450"_s,
                       u"value\tUnits.xml\tScout-0\tSpeed\t12"_s,
                       u"value\tShips.xml\tFrigate-0\tEngine\t@href WarpEngine"_s,
                       u"value\tShips.xml\tid-0\tUintResources\t@href WarpCharges"_s,
                       u"value\tWorld.xml\tSky-0\tStarCount\t2400"_s,
                       u"file\tdata/Maps/Skirmish/riverford.map.backup\t"_s};
}

void TestDemoGame::sampleMods()
{
    QFETCH(QStringList, mods);
    QFETCH(QStringList, expected);
    TestDir dir;
    const QString game = dir.path() + u"/game"_s;
    QVERIFY(stageDemoGame(game));

    QList<VxModRef> refs;
    for (const QString &mod : mods)
        refs.append({game + u"/VexilMods/"_s + mod + u'/', mod});
    StrictFeedback feedback;
    QCOMPARE(applyMods(game, refs, feedback), VxLaunchResult::Applied);
    const QStringList seen = runStandin(dir.path()).seen;
    QCOMPARE(unmet(seen, expected << u"!problem\t"_s), QString());
    // The end of the game gives every game file back as it was; only files the mods added stay.
    restoreGame(game);
    const QString demo = qEnvironmentVariable("VX_DEMO_INSTALL");
    QCOMPARE(compareRestored(game + u"/data"_s, demo + u"/data"_s, game + u"/VexilMods"_s),
             QString());
}

QTEST_GUILESS_MAIN(TestDemoGame)
#include "tst_demogame.moc"
