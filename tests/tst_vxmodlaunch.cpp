#include "testutil.h"

using namespace Qt::StringLiterals;
using namespace vxtest;

class TestVxmodLaunch : public QObject
{
    Q_OBJECT

private slots:
    void changesNothing_data();
    void changesNothing();
    void applyExitCodes_data();
    void applyExitCodes();
    void playsAndRestores_data();
    void playsAndRestores();
};

namespace {

const QString demo = qEnvironmentVariable("VX_DEMO_INSTALL");

// Empty when the game folder holds the demo game's own files again.
QString compareWithDemo(const QString &game)
{
    return compareRestored(game + u"/data"_s, demo + u"/data"_s, game + u"/VexilMods"_s);
}

} // namespace

void TestVxmodLaunch::changesNothing_data()
{
    QTest::addColumn<QStringList>("args"); // "GAME" stands for the game folder
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message"); // on stderr after "vxmod: ", or on stdout for 0

    const QString game = u"GAME"_s;
    // Bare has no info.txt, so it is no mod.
    QTest::newRow("list shows each mod's folder, name, version and author")
        << QStringList{u"list"_s, u"--game"_s, game} << 0
        << u"BetterUnits\tBetter Units\t1.2\tHedda Voss\nNightSky\tNight Sky\t0.9\t"_s;
    QTest::newRow("an unknown option")
        << QStringList{u"apply"_s, u"--game"_s, game, u"--frobnicate"_s} << 2 << u"frobnicate"_s;
    QTest::newRow("--on-error with an answer it does not know")
        << QStringList{u"apply"_s, u"--game"_s, game, u"--on-error"_s, u"retry"_s} << 2
        << u"'abort' or 'ignore'"_s;
    QTest::newRow("a game folder that does not exist")
        << QStringList{u"apply"_s, u"--game"_s, game + u"/nope"_s} << 2 << u"does not exist"_s;
    QTest::newRow("a folder without a data folder is no game folder")
        << QStringList{u"restore"_s, u"--game"_s, game + u"/VexilMods"_s} << 2
        << u"no data folder"_s;
    QTest::newRow("an unknown mod is refused before anything changes")
        << QStringList{u"apply"_s, u"--game"_s, game, u"BetterUnits"_s, u"NoSuchMod"_s} << 2
        << u"unknown mod 'NoSuchMod'"_s;
    QTest::newRow("a mod named twice")
        << QStringList{u"apply"_s, u"--game"_s, game, u"WarpDrive"_s, u"WarpDrive"_s} << 2
        << u"more than once"_s;
    QTest::newRow("no --game and no installed game") << QStringList{u"apply"_s} << 2 << u"--game"_s;
}

void TestVxmodLaunch::changesNothing()
{
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QString, message);

    TestDir dir;
    const QString game = dir.path() + u"/Vexil 4 Brask"_s;
    QVERIFY(copyTree(demo, game));
    QVERIFY(QDir().mkpath(game + u"/VexilMods/Bare/Art"_s));
    args.replaceInStrings(u"GAME"_s, game);
    const Files before = readTree(game);
    // No installed game to fall back on.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"XDG_CONFIG_HOME"_s, dir.path());
    env.insert(u"XDG_CONFIG_DIRS"_s, dir.path());

    const Run run = runVxmod(args, env);
    QCOMPARE(run.exitCode, exitCode);
    if (exitCode == 0)
        QVERIFY2(run.out.startsWith(message) && !run.out.contains(u"Bare"_s), qPrintable(run.out));
    else
        QVERIFY2(run.err.startsWith(u"vxmod: "_s) && run.err.contains(message),
                 qPrintable(run.err));
    QCOMPARE(readTree(game), before);
}

void TestVxmodLaunch::applyExitCodes_data()
{
    QTest::addColumn<QStringList>("extraArgs");
    QTest::addColumn<bool>("breakUnits");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");

    // Ghost.twk names an element that does not exist and defines none: the compiler asks.
    QTest::newRow("every mod applied")
        << QStringList{u"BetterUnits"_s, u"WarpDrive"_s} << false << 0 << QString();
    QTest::newRow("a resource file that does not load")
        << QStringList{u"BetterUnits"_s} << true << 1 << u"Units.xml"_s;
    QTest::newRow("the question answered by the default abort")
        << QStringList{u"Haunted"_s} << false << 1 << u"Ghost.twk"_s;
    QTest::newRow("the question answered by --on-error ignore")
        << QStringList{u"--on-error"_s, u"ignore"_s, u"Haunted"_s} << false << 0 << u"Ghost.twk"_s;
}

void TestVxmodLaunch::applyExitCodes()
{
    QFETCH(QStringList, extraArgs);
    QFETCH(bool, breakUnits);
    QFETCH(int, exitCode);
    QFETCH(QString, message);

    TestDir dir;
    const QString game = dir.path() + u"/Vexil 4 Brask"_s;
    QVERIFY(copyTree(demo, game));
    QVERIFY(writeTree(game, {{u"VexilMods/Haunted/info.txt"_s, "name=Haunted\n"},
                             {u"VexilMods/Haunted/Tweak/Units/Ghost.twk"_s, "Speed=1\n"},
                             {u"launcher.cfg"_s, "800 600 60\n"}}));
    if (breakUnits)
        QVERIFY(writeTree(game, {{u"data/Tweak/Units.xml"_s, "<XResourceFile>"}}));

    const Run run = runVxmod(QStringList{u"apply"_s, u"--game"_s, game} + extraArgs);
    QVERIFY2(run.exitCode == exitCode && run.err.contains(message), qPrintable(run.err));
    QVERIFY(run.out.isEmpty());
    // Applying alone never touches the launcher's settings.
    QCOMPARE(readTree(game).value(u"launcher.cfg"_s), QByteArray("800 600 60\n"));

    // Whatever happened, a restore brings the game's own files back.
    QCOMPARE(runVxmod({u"restore"_s, u"--game"_s, game}).exitCode, 0);
    if (!breakUnits)
        QCOMPARE(compareWithDemo(game), QString());
}

void TestVxmodLaunch::playsAndRestores_data()
{
    QTest::addColumn<QString>("variable"); // empty: no game to start
    QTest::addColumn<QString>("value");
    QTest::addColumn<int>("exitCode");

    QTest::newRow("the game ends normally") << u"VX_STANDIN_EXIT_CODE"_s << u"0"_s << 0;
    QTest::newRow("the game ends with an error code") << u"VX_STANDIN_EXIT_CODE"_s << u"3"_s << 0;
    QTest::newRow("the game crashes") << u"VX_STANDIN_CRASH"_s << u"1"_s << 0;
    QTest::newRow("a game that cannot start is reported") << QString() << QString() << 1;
}

void TestVxmodLaunch::playsAndRestores()
{
    QFETCH(QString, variable);
    QFETCH(QString, value);
    QFETCH(int, exitCode);

    TestDir dir;
    const QString game = dir.path() + u"/Vexil 4 Brask"_s;
    const QString snapshot = dir.path() + u"/snapshot.txt"_s;
    QVERIFY(variable.isEmpty() ? copyTree(demo, game) : stageDemoGame(game));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"VX_STANDIN_HEADLESS"_s, u"1"_s);
    env.insert(u"VX_STANDIN_SNAPSHOT"_s, snapshot);
    if (!variable.isEmpty())
        env.insert(variable, value);

    const Run run = runVxmod({u"play"_s, u"--game"_s, game, u"BetterUnits"_s}, env);
    QVERIFY2(run.exitCode == exitCode, qPrintable(run.err));
    QCOMPARE(compareWithDemo(game), QString());
    if (variable.isEmpty()) {
        const QString executable = QDir::toNativeSeparators(game + u'/' + gameExecutableName());
        QVERIFY2(run.err.contains(u"could not start the game"_s) && run.err.contains(executable),
                 qPrintable(run.err));
        return;
    }
    // What the game saw: no arguments, the game folder as working directory, the mod's tank.
    QFile file(snapshot);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString seen = QString::fromUtf8(file.readAll());
    const QByteArray tankHash =
        hashTree(demo + u"/VexilMods/BetterUnits"_s).value(u"Art/Units/tank.pgm"_s);
    for (const QString &line : {u"\nargc\t0\n"_s, u"\ncwd\t"_s + game + u'\n',
                                u"file\tdata/Art/Units/tank.pgm\t"_s + QLatin1String(tankHash)})
        QVERIFY2(seen.contains(line), qPrintable(line + u" not in "_s + seen));
}

QTEST_GUILESS_MAIN(TestVxmodLaunch)
#include "tst_vxmodlaunch.moc"
