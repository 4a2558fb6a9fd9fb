#include "launch/feedback.h"
#include "launch/launchsequence.h"
#include "mods/modinfo.h"
#include "resources/resourcestore.h"
#include "tests/testutil.h"

#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// Fails the launch loudly: a sample mod must never raise the tweak question or an error.
class RecordingFeedback : public VxFeedback
{
public:
    QStringList messages;

    void begin(int) override {}
    void setTitle(const QString &) override {}
    void setLabel(const QString &) override {}
    void step() override {}
    bool cancelled() override { return false; }
    Answer ask(const QString &title, const QString &text) override
    {
        messages.append(title + u": "_s + text);
        return Answer::Abort;
    }
    void error(const QString &title, const QString &text) override
    {
        messages.append(title + u": "_s + text);
    }
    void end() override {}
};

struct StandinRun
{
    bool finished = false;
    QProcess::ExitStatus status = QProcess::NormalExit;
    int exitCode = -1;
    QStringList snapshot; // the snapshot's lines
};

StandinRun runStandin(const QString &gameDir, const QString &snapshotPath,
                      const QMap<QString, QString> &extraEnvironment = {})
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"VX_STANDIN_HEADLESS"_s, u"1"_s);
    env.insert(u"VX_STANDIN_SNAPSHOT"_s, snapshotPath);
    for (auto it = extraEnvironment.cbegin(); it != extraEnvironment.cend(); ++it)
        env.insert(it.key(), it.value());
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(gameDir);
    process.setProgram(gameDir + u'/' + vxtest::gameExecutableName());
    process.start();
    StandinRun run;
    run.finished = process.waitForFinished(30000);
    run.status = process.exitStatus();
    run.exitCode = process.exitCode();
    QFile file(snapshotPath);
    if (file.open(QIODevice::ReadOnly))
        run.snapshot = QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
    return run;
}

QString demoInstall()
{
    return qEnvironmentVariable("VX_DEMO_INSTALL");
}

} // namespace

class TestDemoGame : public QObject
{
    Q_OBJECT
private slots:
    void resourceFile_data();
    void resourceFile();
    void modInfo_data();
    void modInfo();
    void snapshot_data();
    void snapshot();
    void damagedResourceFile_data();
    void damagedResourceFile();
    void exitBehaviour_data();
    void exitBehaviour();
    void sampleMods_data();
    void sampleMods();
};

void TestDemoGame::resourceFile_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::newRow("Units.xml keeps the game's shape and its references resolve") << u"Units.xml"_s;
    QTest::newRow("World.xml keeps the game's shape and its references resolve") << u"World.xml"_s;
    QTest::newRow("Ships.xml keeps the game's shape and its references resolve") << u"Ships.xml"_s;
}

void TestDemoGame::resourceFile()
{
    QFETCH(QString, fileName);
    const QString path = demoInstall() + u"/data/Tweak/"_s + fileName;

    // The byte shape is the point here: an editor that re-saved the file with LF line ends
    // or double quotes would make the demo unlike the files the launcher meets.
    QFile file(path);
    QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(file.errorString()));
    const QByteArray bytes = file.readAll();
    QVERIFY(bytes.startsWith("<?xml version='1.0' encoding='UTF-8'?>\r\n"));
    QCOMPARE(bytes.count("\n"), bytes.count("\r\n"));
    QVERIFY(!bytes.contains('"'));

    VxResourceDocument document;
    VxResourceElement table;
    QVERIFY2(loadResourceDocument(document, table, path), qPrintable(document.errorString()));
    QVERIFY(!table.isNull());
    const VxResourceElement index = findResourceById(table, u"id-0"_s);
    QVERIFY(!index.isNull());

    // Every section entry and every container's Value must lead to an element, or the
    // sample mods would edit nothing.
    const QStringList sections = {u"IntResources"_s,      u"UintResources"_s,   u"FloatResources"_s,
                                  u"StringResources"_s,   u"VectorResources"_s, u"ColorResources"_s,
                                  u"ContainerResources"_s};
    int entries = 0;
    for (const QString &section : sections) {
        for (int i = 0;; ++i) {
            const QString ref = readResourceField(index, u"%1(%2)"_s.arg(section).arg(i));
            if (ref.isNull())
                break;
            ++entries;
            QVERIFY2(ref.startsWith(u"@href "_s), qPrintable(ref));
            const VxResourceElement target = findResourceById(table, ref.mid(6));
            QVERIFY2(!target.isNull(), qPrintable(section + u" -> "_s + ref));
            if (target.tagName() == "XContainerResourceDetails"_L1) {
                const QString value = readResourceField(target, u"Value"_s);
                QVERIFY2(value.startsWith(u"@href "_s), qPrintable(value));
                QVERIFY2(!findResourceById(table, value.mid(6)).isNull(), qPrintable(value));
            }
        }
    }
    QVERIFY(entries >= 3);
}

void TestDemoGame::modInfo_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("author");
    QTest::addColumn<QString>("version");
    QTest::addColumn<QString>("desc");
    QTest::newRow("plain ASCII description with a priority")
        << u"BetterUnits"_s << u"Better Units"_s << u"Hedda Voss"_s << u"1.2"_s
        << u"Tougher tanks with a siege cannon, and a new field medic."_s;
    QTest::newRow("byte-order mark and accents survive decoding")
        << u"NightSky"_s << u"Night Sky"_s << u"Lune Marchetti"_s << u"0.9"_s
        << u"\u00c9toiles et brume nocturne \u2014 ciel de nuit"_s;
    QTest::newRow("description with a semicolon stays whole")
        << u"WarpDrive"_s << u"Warp Drive"_s << u"T. Okafor-Reyes"_s << u"2.0"_s
        << u"Frigates get a fold-space coil; scouts learn to blink."_s;
}

void TestDemoGame::modInfo()
{
    QFETCH(QString, folder);
    QFETCH(QString, name);
    QFETCH(QString, author);
    QFETCH(QString, version);
    QFETCH(QString, desc);
    VxModInfo info;
    QVERIFY(readModInfo(demoInstall() + u"/VexilMods/"_s + folder + u'/', info));
    QCOMPARE(info.name, name);
    QCOMPARE(info.author, author);
    QCOMPARE(info.version, version);
    QCOMPARE(info.desc, desc);
}

void TestDemoGame::snapshot_data()
{
    QTest::addColumn<QByteArray>("config"); // empty: no launcher.cfg at all
    QTest::addColumn<QStringList>("expected");
    const QStringList defaults = {u"setting\twidth\t640"_s, u"setting\theight\t480"_s,
                                  u"setting\trefresh\t60"_s, u"config-missing"_s};
    QTest::newRow("every switch and the resolution reach the game")
        << QByteArray("/W:1024 /H:768 /REFRESH:75 /NOMOVIES /NOSOUND /ENABLEPORTFORWARDING "
                      "/ALLOWSCREENSHOTS /MANUALCAMERA /TELNET")
        << QStringList{u"setting\twidth\t1024"_s, u"setting\theight\t768"_s,
                       u"setting\trefresh\t75"_s, u"switch\tNOMOVIES\ton"_s,
                       u"switch\tTELNET\ton"_s,   u"switch\tMANUALCAMERA\ton"_s,
                       u"switch\tNOSOUND\ton"_s};
    QTest::newRow("missing launcher.cfg leaves the defaults") << QByteArray() << defaults;
    QTest::newRow("line ends, extra blanks and unknown words are harmless")
        << QByteArray("  /W:800\r\n\t/H:600   /LOUD /REFRESH:50\n")
        << QStringList{u"setting\twidth\t800"_s, u"setting\theight\t600"_s,
                       u"setting\trefresh\t50"_s, u"unknown\t/LOUD"_s, u"switch\tNOSOUND\toff"_s};
    QTest::newRow("a width that is no number keeps the default")
        << QByteArray("/W:wide /H:900")
        << QStringList{u"setting\twidth\t640"_s, u"setting\theight\t900"_s, u"unknown\t/W:wide"_s};
}

void TestDemoGame::snapshot()
{
    QFETCH(QByteArray, config);
    QFETCH(QStringList, expected);
    QTemporaryDir dir;
    dir.setAutoRemove(!QTest::currentTestFailed());
    const QString game = dir.path() + u"/game folder"_s;
    QString error;
    QVERIFY2(vxtest::stageDemoGame(game, &error), qPrintable(error));
    if (!config.isEmpty()) {
        QFile cfg(game + u"/launcher.cfg"_s);
        QVERIFY(cfg.open(QIODevice::WriteOnly));
        cfg.write(config);
    }

    const StandinRun run = runStandin(game, dir.path() + u"/snapshot.txt"_s);
    QVERIFY(run.finished);
    QCOMPARE(run.exitCode, 0);
    QVERIFY(!run.snapshot.isEmpty());
    // The game gets no arguments: everything travels through launcher.cfg.
    QVERIFY(run.snapshot.contains(u"argc\t0"_s));
    QVERIFY(run.snapshot.contains(u"cwd\t"_s + QDir(game).absolutePath()));
    for (const QString &line : expected)
        QVERIFY2(run.snapshot.contains(line), qPrintable(line));

    // The file records must match the data folder exactly, or before/after comparisons in
    // other tests would mislead.
    QStringList files;
    const QMap<QString, QByteArray> hashes = vxtest::hashTree(game + u"/data"_s);
    for (auto it = hashes.cbegin(); it != hashes.cend(); ++it)
        files.append(u"file\tdata/"_s + it.key() + u'\t' + QString::fromLatin1(it.value()));
    QStringList seen = run.snapshot.filter(QRegularExpression(u"^file\t"_s));
    seen.sort();
    files.sort();
    QCOMPARE(seen, files);
    QVERIFY(run.snapshot.contains(u"value\tUnits.xml\tTank-0\tHealth\t300"_s));
    QVERIFY(run.snapshot.contains(u"value\tWorld.xml\tSky-0\tTopColor\t@color 70 130 210"_s));
    QVERIFY(run.snapshot.filter(QRegularExpression(u"^problem\t"_s)).isEmpty());
}

void TestDemoGame::damagedResourceFile_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("file cut off mid-element is reported, the others still read")
        << QByteArray("<?xml version='1.0'?>\r\n<XResourceFile>\r\n  <XResourceTable>\r\n"
                      "    <XSkyDetails id='Sky-0'>\r\n      <StarCount>12");
    QTest::newRow("file that is not XML at all is reported")
        << QByteArray("\x89PNG\r\n\x1a\n not a resource file");
    QTest::newRow("empty file is reported") << QByteArray();
}

void TestDemoGame::damagedResourceFile()
{
    QFETCH(QByteArray, content);
    QTemporaryDir dir;
    dir.setAutoRemove(!QTest::currentTestFailed());
    QString error;
    QVERIFY2(vxtest::stageDemoGame(dir.path(), &error), qPrintable(error));
    QFile world(dir.path() + u"/data/Tweak/World.xml"_s);
    QVERIFY(world.open(QIODevice::WriteOnly | QIODevice::Truncate));
    world.write(content);
    world.close();

    const StandinRun run = runStandin(dir.path(), dir.path() + u"/snapshot.txt"_s);
    QVERIFY(run.finished);
    QCOMPARE(run.status, QProcess::NormalExit);
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.snapshot.filter(QRegularExpression(u"^problem\tWorld.xml: "_s)).size(), 1);
    QVERIFY(run.snapshot.contains(u"value\tUnits.xml\tTank-0\tHealth\t300"_s));
    QVERIFY(run.snapshot.contains(u"value\tShips.xml\tFrigate-0\tSpeed\t6"_s));
}

void TestDemoGame::exitBehaviour_data()
{
    QTest::addColumn<QString>("variable");
    QTest::addColumn<QString>("value");
    QTest::addColumn<bool>("crashes");
    QTest::addColumn<int>("exitCode");
    QTest::newRow("exit code is handed back") << u"VX_STANDIN_EXIT_CODE"_s << u"7"_s << false << 7;
    QTest::newRow("crash ends the process abnormally")
        << u"VX_STANDIN_CRASH"_s << u"1"_s << true << 0;
    QTest::newRow("a delay still ends by itself")
        << u"VX_STANDIN_QUIT_AFTER_MS"_s << u"200"_s << false << 0;
    QTest::newRow("a malformed exit code is ignored, not fatal")
        << u"VX_STANDIN_EXIT_CODE"_s << u"seven"_s << false << 0;
}

void TestDemoGame::exitBehaviour()
{
    QFETCH(QString, variable);
    QFETCH(QString, value);
    QFETCH(bool, crashes);
    QFETCH(int, exitCode);
    QTemporaryDir dir;
    dir.setAutoRemove(!QTest::currentTestFailed());
    QString error;
    QVERIFY2(vxtest::stageDemoGame(dir.path(), &error), qPrintable(error));
    const StandinRun run =
        runStandin(dir.path(), dir.path() + u"/snapshot.txt"_s, {{variable, value}});
    QVERIFY(run.finished);
    QCOMPARE(run.status == QProcess::CrashExit, crashes);
    if (!crashes)
        QCOMPARE(run.exitCode, exitCode);
    // Even a crashing game has written what it saw first.
    QVERIFY(run.snapshot.contains(u"argc\t0"_s));
}

void TestDemoGame::sampleMods_data()
{
    QTest::addColumn<QStringList>("mods");
    // "file\tid\tfield\tvalue" must be seen; "!file\tid\tfield" must not be.
    QTest::addColumn<QStringList>("values");
    // "data/..." files that must exist while the mods are in place.
    QTest::addColumn<QStringList>("files");
    QTest::newRow("tank upgrade, copied cannon, new medic and declarations all land")
        << QStringList{u"BetterUnits"_s}
        << QStringList{u"Units.xml\tTank\tFlags\t3"_s,
                       u"Units.xml\tTank-0\tHealth\t450"_s,
                       u"Units.xml\tTank-0\tTag\telite"_s,
                       u"!Units.xml\tTank-0\tSound"_s,
                       u"Units.xml\tTank-0\tBannerColor\t@color 200 30 30 255"_s,
                       u"Units.xml\tTank-0\tSpawnOffset\t@vector 0 4 1"_s,
                       u"Units.xml\tTank-0\tWeapon\t@href HeavyCannon"_s,
                       u"Units.xml\tHeavyCannon-0\tDamage\t90"_s,
                       u"Units.xml\tHeavyCannon-0\tRange\t12"_s,
                       u"Units.xml\tHeavyCannon-0\tProjectile/Speed\t30"_s,
                       u"Units.xml\tMedic\tFlags\t1"_s,
                       u"Units.xml\tMedic-0\tDisplayName\tField Medic"_s,
                       u"Units.xml\tid-0\tContainerResources\t@href Medic"_s,
                       u"Units.xml\tid-0\tFloatResources\t@href HealRate"_s,
                       u"Units.xml\tMaxLives\tValue\t5"_s,
                       u"Units.xml\tMotto\tValue\tStronger together"_s}
        << QStringList{u"data/Art/Units/medic.pgm"_s, u"data/Art/Units/tank.pgm.backup"_s};
    QTest::newRow("night sky colours, a moon without container and sun flags")
        << QStringList{u"NightSky"_s}
        << QStringList{u"World.xml\tSky-0\tTopColor\t@color 5 8 30"_s,
                       u"World.xml\tSky-0\tStarCount\t2400"_s,
                       u"World.xml\tMoon\tPhase\tfull"_s,
                       u"!World.xml\tMoon-0\tPhase"_s,
                       u"World.xml\tSun\tFlags\t2"_s,
                       u"World.xml\tFogColor\tValue\t@color 20 20 45 160"_s,
                       u"World.xml\tNightTint\tValue\t@color 30 40 90"_s,
                       u"World.xml\tid-0\tVectorResources\t@href StarDrift"_s}
        << QStringList{u"data/Sound/Ambient/crickets.wav"_s, u"data/Art/Sky/backdrop.txt.backup"_s};
    QTest::newRow("all three mods keep each other's edits to one file")
        << QStringList{u"BetterUnits"_s, u"NightSky"_s, u"WarpDrive"_s}
        << QStringList{u"Units.xml\tTank-0\tHealth\t450"_s,
                       u"Units.xml\tScout-0\tSpeed\t12"_s,
                       u"Units.xml\tScout-0\tTag\tblink"_s,
                       u"Ships.xml\tFrigate-0\tEngine\t@href WarpEngine"_s,
                       u"Ships.xml\tWarpEngine\tFlags\t5"_s,
                       u"Ships.xml\tWarpEngine-0\tThrust\t120"_s,
                       u"Ships.xml\tFleetLimit\tValue\t8"_s,
                       u"Ships.xml\tid-0\tUintResources\t@href WarpCharges"_s,
                       u"Ships.xml\tid-0\tIntResources\t@href JumpCooldown"_s,
                       u"World.xml\tSky-0\tStarCount\t2400"_s}
        << QStringList{u"data/Sound/Ships/warp.wav"_s,
                       u"data/Maps/Skirmish/riverford.map.backup"_s};
}

void TestDemoGame::sampleMods()
{
    QFETCH(QStringList, mods);
    QFETCH(QStringList, values);
    QFETCH(QStringList, files);
    QTemporaryDir dir;
    dir.setAutoRemove(!QTest::currentTestFailed());
    const QString game = dir.path() + u"/game"_s;
    QString error;
    QVERIFY2(vxtest::stageDemoGame(game, &error), qPrintable(error));
    const QMap<QString, QByteArray> before = vxtest::hashTree(game);

    QList<VxModRef> refs;
    for (const QString &mod : mods)
        refs.append({game + u"/VexilMods/"_s + mod + u'/', mod});
    RecordingFeedback feedback;
    QCOMPARE(applyMods(game, refs, feedback), VxLaunchResult::Applied);
    QCOMPARE(feedback.messages, QStringList());

    const StandinRun run = runStandin(game, dir.path() + u"/snapshot.txt"_s);
    QVERIFY(run.finished);
    for (const QString &expectation : values) {
        if (expectation.startsWith(u'!')) {
            const QString prefix = u"value\t"_s + expectation.mid(1) + u'\t';
            QVERIFY2(run.snapshot.filter(prefix).isEmpty(), qPrintable(expectation));
        } else {
            QVERIFY2(run.snapshot.contains(u"value\t"_s + expectation), qPrintable(expectation));
        }
    }
    for (const QString &file : files)
        QVERIFY2(QFile::exists(game + u'/' + file), qPrintable(file));
    QVERIFY(run.snapshot.filter(QRegularExpression(u"^problem\t"_s)).isEmpty());

    // The end of the game gives every game file back as it was; files that mods added
    // are allowed to stay, backups are not.
    restoreGame(game);
    const QMap<QString, QByteArray> after = vxtest::hashTree(game);
    for (auto it = before.cbegin(); it != before.cend(); ++it)
        QVERIFY2(after.value(it.key()) == it.value(), qPrintable(it.key()));
    for (auto it = after.cbegin(); it != after.cend(); ++it)
        QVERIFY2(!it.key().endsWith(u".backup"_s), qPrintable(it.key()));
}

QTEST_GUILESS_MAIN(TestDemoGame)
#include "tst_demogame.moc"
