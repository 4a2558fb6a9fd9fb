#include "launchtesttools.h"

#include <QCryptographicHash>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace launchtest;

class TestVxmodLaunch : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void refusesBadArguments_data();
    void refusesBadArguments();
    void applyExitCodes_data();
    void applyExitCodes();
    void listsMods();
    void playsAndRestores_data();
    void playsAndRestores();
    void gameThatCannotStart();
};

namespace {

const QString demo = qEnvironmentVariable("VX_DEMO_INSTALL");

// A copy of the demo game in a folder whose name has blanks, as real install folders do.
struct GameCopy
{
    QTemporaryDir dir;
    QString game;

    bool make()
    {
        game = dir.path() + u"/Vexil 4 Brask"_s;
        return copyTree(demo, game);
    }
    ~GameCopy() { dir.setAutoRemove(!QTest::currentTestFailed()); }
};

bool writeFile(const QString &path, const QByteArray &data)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

QProcessEnvironment withoutInstalledGame(const QString &emptyDir)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"XDG_CONFIG_HOME"_s, emptyDir);
    env.insert(u"XDG_CONFIG_DIRS"_s, emptyDir);
    return env;
}

} // namespace

void TestVxmodLaunch::initTestCase()
{
    QVERIFY2(QFileInfo(qEnvironmentVariable("VX_VXMOD")).isExecutable(), "VX_VXMOD not set");
    QVERIFY2(QFileInfo(demo + u"/data"_s).isDir(), "VX_DEMO_INSTALL has no data folder");
}

void TestVxmodLaunch::refusesBadArguments_data()
{
    QTest::addColumn<QStringList>("args"); // "GAME" stands for the game folder
    QTest::addColumn<QString>("message");

    const QString game = u"GAME"_s;
    QTest::newRow("an unknown option")
        << QStringList{u"apply"_s, u"--game"_s, game, u"--frobnicate"_s} << u"frobnicate"_s;
    QTest::newRow("--game without its folder")
        << QStringList{u"apply"_s, u"--game"_s} << u"--game"_s;
    QTest::newRow("--on-error with an answer it does not know")
        << QStringList{u"apply"_s, u"--game"_s, game, u"--on-error"_s, u"retry"_s}
        << u"'abort' or 'ignore', not 'retry'"_s;
    QTest::newRow("a game folder that does not exist")
        << QStringList{u"apply"_s, u"--game"_s, game + u"/nope"_s} << u"does not exist"_s;
    QTest::newRow("a folder without a data folder is no game folder")
        << QStringList{u"restore"_s, u"--game"_s, game + u"/VexilMods"_s}
        << u"has no data folder"_s;
    QTest::newRow("an unknown mod is refused before anything changes")
        << QStringList{u"apply"_s, u"--game"_s, game, u"BetterUnits"_s, u"NoSuchMod"_s}
        << u"unknown mod 'NoSuchMod'"_s;
    QTest::newRow("a mod folder without info.txt is no mod")
        << QStringList{u"play"_s, u"--game"_s, game, u"Bare"_s} << u"unknown mod 'Bare'"_s;
    QTest::newRow("a mod named twice")
        << QStringList{u"apply"_s, u"--game"_s, game, u"WarpDrive"_s, u"WarpDrive"_s}
        << u"more than once"_s;
    QTest::newRow("list takes no mod names")
        << QStringList{u"list"_s, u"--game"_s, game, u"BetterUnits"_s} << u"takes no mod names"_s;
    QTest::newRow("no --game and no installed game") << QStringList{u"apply"_s} << u"--game"_s;
}

void TestVxmodLaunch::refusesBadArguments()
{
    QFETCH(QStringList, args);
    QFETCH(QString, message);

    GameCopy copy;
    QVERIFY(copy.make());
    QVERIFY(QDir().mkpath(copy.game + u"/VexilMods/Bare/Art"_s));
    for (QString &arg : args)
        arg.replace(u"GAME"_s, copy.game);
    const auto before = readTree(copy.game);

    const Run run = runVxmod(args, withoutInstalledGame(copy.dir.path()));
    QCOMPARE(run.exitCode, 2);
    QVERIFY2(run.err.startsWith(u"vxmod: "_s), qPrintable(run.err));
    QVERIFY2(run.err.contains(message), qPrintable(run.err));
    QCOMPARE(readTree(copy.game), before);
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
    QTest::newRow("no mod at all") << QStringList{} << false << 0 << QString();
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

    GameCopy copy;
    QVERIFY(copy.make());
    QVERIFY(writeFile(copy.game + u"/VexilMods/Haunted/info.txt"_s, "name=Haunted\n"));
    QVERIFY(writeFile(copy.game + u"/VexilMods/Haunted/Tweak/Units/Ghost.twk"_s, "Speed=1\n"));
    if (breakUnits)
        QVERIFY(writeFile(copy.game + u"/data/Tweak/Units.xml"_s, "<XResourceFile>"));
    const QString cfg = copy.game + u"/launcher.cfg"_s;
    QVERIFY(writeFile(cfg, "800 600 60\n"));

    const Run run = runVxmod(QStringList{u"apply"_s, u"--game"_s, copy.game} + extraArgs);
    QVERIFY2(run.exitCode == exitCode, qPrintable(run.err));
    QVERIFY2(run.err.contains(message), qPrintable(run.err));
    QVERIFY(run.out.isEmpty());
    QFile cfgFile(cfg);
    QVERIFY(cfgFile.open(QIODevice::ReadOnly));
    QCOMPARE(cfgFile.readAll(), QByteArray("800 600 60\n"));

    // Whatever happened, a restore brings the game's own files back.
    QCOMPARE(runVxmod({u"restore"_s, u"--game"_s, copy.game}).exitCode, 0);
    if (!breakUnits)
        QCOMPARE(
            compareRestored(copy.game + u"/data"_s, demo + u"/data"_s, copy.game + u"/VexilMods"_s),
            QString());
}

void TestVxmodLaunch::listsMods()
{
    GameCopy copy;
    QVERIFY(copy.make());
    QVERIFY(QDir().mkpath(copy.game + u"/VexilMods/Bare/Art"_s));
    const Run run = runVxmod({u"list"_s, u"--game"_s, copy.game});
    QCOMPARE(run.exitCode, 0);
    const QStringList lines = run.out.split(u'\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 3);
    QCOMPARE(lines.at(0), u"BetterUnits\tBetter Units\t1.2\tHedda Voss"_s);
    QVERIFY(lines.at(1).startsWith(u"NightSky\tNight Sky\t0.9\t"_s));
    QVERIFY(lines.at(2).startsWith(u"WarpDrive\t"_s));
}

void TestVxmodLaunch::playsAndRestores_data()
{
    QTest::addColumn<QString>("variable");
    QTest::addColumn<QString>("value");

    QTest::newRow("the game ends normally") << u"VX_STANDIN_EXIT_CODE"_s << u"0"_s;
    QTest::newRow("the game ends with an error code") << u"VX_STANDIN_EXIT_CODE"_s << u"3"_s;
    QTest::newRow("the game crashes") << u"VX_STANDIN_CRASH"_s << u"1"_s;
}

void TestVxmodLaunch::playsAndRestores()
{
    QFETCH(QString, variable);
    QFETCH(QString, value);

    GameCopy copy;
    QVERIFY(copy.make());
    QVERIFY(QFile::copy(qEnvironmentVariable("VX_STANDIN"), copy.game + u"/VEXIL 4 BRASK"_s));
    const QString snapshot = copy.dir.path() + u"/snapshot.txt"_s;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"VX_STANDIN_HEADLESS"_s, u"1"_s);
    env.insert(u"VX_STANDIN_SNAPSHOT"_s, snapshot);
    env.insert(variable, value);

    const Run run = runVxmod({u"play"_s, u"--game"_s, copy.game, u"BetterUnits"_s}, env);
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));

    // What the game saw: no arguments, the game folder as working directory, the mod's tank.
    QFile file(snapshot);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString seen = QString::fromUtf8(file.readAll());
    QVERIFY(seen.contains(u"\nargc\t0\n"_s));
    QVERIFY2(seen.contains(u"\ncwd\t"_s + copy.game + u'\n'), qPrintable(seen));
    QFile modTank(demo + u"/VexilMods/BetterUnits/Art/Units/tank.pgm"_s);
    QVERIFY(modTank.open(QIODevice::ReadOnly));
    const QString tankHash = QString::fromLatin1(
        QCryptographicHash::hash(modTank.readAll(), QCryptographicHash::Sha1).toHex());
    QVERIFY2(seen.contains(u"file\tdata/Art/Units/tank.pgm\t"_s + tankHash), qPrintable(seen));

    QCOMPARE(
        compareRestored(copy.game + u"/data"_s, demo + u"/data"_s, copy.game + u"/VexilMods"_s),
        QString());
}

void TestVxmodLaunch::gameThatCannotStart()
{
    GameCopy copy;
    QVERIFY(copy.make());
    const Run run = runVxmod({u"play"_s, u"--game"_s, copy.game, u"BetterUnits"_s});
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains(u"could not start the game"_s) &&
                 run.err.contains(QDir::toNativeSeparators(copy.game + u"/VEXIL 4 BRASK"_s)),
             qPrintable(run.err));
    QCOMPARE(
        compareRestored(copy.game + u"/data"_s, demo + u"/data"_s, copy.game + u"/VexilMods"_s),
        QString());
}

QTEST_GUILESS_MAIN(TestVxmodLaunch)
#include "tst_vxmodlaunch.moc"
