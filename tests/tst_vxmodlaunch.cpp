#include "testutil.h"

#include <QStandardPaths>

using namespace Qt::StringLiterals;
using namespace vxtest;

class TestVxmodLaunch : public QObject
{
    Q_OBJECT

private slots:
    void run_data();
    void run();
    void progressOnTerminal();
};

void TestVxmodLaunch::run_data()
{
    QTest::addColumn<QStringList>("args"); // "GAME" stands for the game folder
    QTest::addColumn<Files>("written");    // into the game folder first
    QTest::addColumn<QString>("variable"); // for the stand-in game, "NAME=value"
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message"); // what stdout starts with for list, else in stderr

    const QString game = u"GAME"_s;
    // Bare has no info.txt, so it is no mod; Ghost.twk names an element that does not exist
    // and defines none, so the compiler asks.
    QTest::newRow("list shows each mod's folder, name, version and author, and no bare folder")
        << QStringList{u"list"_s, u"--game"_s, game} << Files() << QString() << 0
        << u"BetterUnits\tBetter Units\t1.2\tHedda Voss\nHaunted\t"_s;
    QTest::newRow("--on-error with an answer it does not know")
        << QStringList{u"apply"_s, u"--game"_s, game, u"--on-error"_s, u"retry"_s} << Files()
        << QString() << 2 << u"'abort' or 'ignore'"_s;
    QTest::newRow("a folder without a data folder is no game folder")
        << QStringList{u"restore"_s, u"--game"_s, game + u"/VexilMods"_s} << Files() << QString()
        << 2 << u"no data folder"_s;
    const QString unknown = u"unknown mod 'NoSuchMod': no mod of that name in "_s;
    QTest::newRow("an unknown mod is refused before anything changes")
        << QStringList{u"apply"_s, u"--game"_s, game, u"BetterUnits"_s, u"NoSuchMod"_s} << Files()
        << QString() << 2 << unknown;
    QTest::newRow("an unknown mod reads in check as in apply")
        << QStringList{u"check"_s, u"--game"_s, game, u"NoSuchMod"_s} << Files() << QString() << 2
        << unknown;
    QTest::newRow("list on a folder without a data folder fails as apply does")
        << QStringList{u"list"_s, u"--game"_s, game + u"/VexilMods"_s} << Files() << QString() << 2
        << u"no data folder"_s;
    QTest::newRow("a mod whose info.txt is no file is refused with the reason")
        << QStringList{u"apply"_s, u"--game"_s, game, u"Odd"_s}
        << Files{{u"VexilMods/Odd/info.txt/readme"_s, "a folder, not a file"}} << QString() << 2
        << u"unknown mod 'Odd': "_s;
    QTest::newRow("an unknown option, in our own style")
        << QStringList{u"restore"_s, u"--game"_s, game, u"--colour"_s} << Files() << QString() << 2
        << u"vxmod: unknown option 'colour'\n"_s;
    QTest::newRow("--quiet leaves only faults: nothing for a good apply")
        << QStringList{u"apply"_s, u"--quiet"_s, u"--game"_s, game, u"BetterUnits"_s} << Files()
        << QString() << 0 << QString();
    QTest::newRow("without a terminal, a progress line per tweak file")
        << QStringList{u"apply"_s, u"--game"_s, game, u"BetterUnits"_s} << Files() << QString() << 0
        << u"\n[3/4] "_s;
    QTest::newRow("no --game and no installed game")
        << QStringList{u"apply"_s} << Files() << QString() << 2 << u"--game"_s;
    QTest::newRow("a resource file that does not load")
        << QStringList{u"apply"_s, u"--game"_s, game, u"BetterUnits"_s}
        << Files{{u"data/Tweak/Units.xml"_s, "<XResourceFile>"}} << QString() << 1
        << u"Units.xml"_s;
    QTest::newRow("the question answered by the default abort")
        << QStringList{u"apply"_s, u"--game"_s, game, u"Haunted"_s} << Files() << QString() << 1
        << u"Ghost.twk"_s;
    QTest::newRow("the question answered by --on-error ignore")
        << QStringList{u"apply"_s, u"--game"_s, game, u"--on-error"_s, u"ignore"_s, u"Haunted"_s}
        << Files() << QString() << 0 << u"Ghost.twk"_s;
    QTest::newRow("the game ends with an error code, the game's files come back")
        << QStringList{u"play"_s, u"--game"_s, game, u"BetterUnits"_s} << Files()
        << u"VX_STANDIN_EXIT_CODE=5"_s << 3 << u"the game exited with code 5"_s;
    QTest::newRow("the game crashes, the game's files come back")
        << QStringList{u"play"_s, u"--game"_s, game, u"BetterUnits"_s} << Files()
        << u"VX_STANDIN_CRASH=1"_s << 3 << u"crashed"_s;
    QTest::newRow("a game that hands over to another process is waited for to the end")
        << QStringList{u"play"_s, u"--game"_s, game, u"NightSky"_s} << Files()
        << u"VX_STANDIN_HANDOVER_MS=1500"_s << 0
        << u"restored: 2 files put back, 1 added file removed"_s;
    QTest::newRow("status of a clean game")
        << QStringList{u"status"_s, u"--game"_s, game} << Files() << QString() << 0 << u"clean"_s;
    QTest::newRow("status and restore of a game an older launcher left modded")
        << QStringList{u"status"_s, u"--game"_s, game}
        << Files{{u"data/Art/Sky/backdrop.txt.backup"_s, "old sky"}} << QString() << 1
        << u"modded by an older launcher"_s;
    QTest::newRow("a game that cannot start is reported")
        << QStringList{u"play"_s, u"--game"_s, game, u"BetterUnits"_s}
        << Files{{gameExecutableName(), "not a program"}} << QString() << 1
        << u"could not start the game"_s;
}

void TestVxmodLaunch::run()
{
    QFETCH(QStringList, args);
    QFETCH(Files, written);
    QFETCH(QString, variable);
    QFETCH(int, exitCode);
    QFETCH(QString, message);

    TestDir dir;
    const QString game = dir.path() + u"/Vexil 4 Brask"_s;
    QVERIFY(stageDemoGame(game) && QDir().mkpath(game + u"/VexilMods/Bare/Art"_s));
    QVERIFY(writeTree(game, {{u"VexilMods/Haunted/info.txt"_s, "name=Haunted\n"},
                             {u"VexilMods/Haunted/Tweak/Units/Ghost.twk"_s, "Speed=1\n"},
                             {u"launcher.cfg"_s, "800 600 60\n"}}));
    QVERIFY(writeTree(game, written) && copyTree(game + u"/data"_s, dir.path() + u"/data"_s));
    const Files before = readTree(game);
    // No installed game to fall back on; a stand-in game without a window.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"XDG_CONFIG_HOME"_s, dir.path());
    env.insert(u"XDG_CONFIG_DIRS"_s, dir.path());
    env.insert(u"VX_STANDIN_HEADLESS"_s, u"1"_s);
    env.insert(u"VX_STANDIN_SNAPSHOT"_s, dir.path() + u"/snapshot"_s);
    if (!variable.isEmpty())
        env.insert(variable.section(u'=', 0, 0), variable.section(u'=', 1));
    args.replaceInStrings(u"GAME"_s, game);

    const Run run = runVxmod(args, env);
    QCOMPARE(run.exitCode, exitCode);
    const bool toOut = (args.first() == u"list"_s && exitCode == 0) || args.first() == u"status"_s;
    QVERIFY2(toOut ? run.out.startsWith(message) : run.err.contains(message),
             qPrintable(run.out + run.err));
    if (!variable.isEmpty()) {
        // The game saw its mods in place, however long its last process ran.
        const QByteArray snapshot = readTree(dir.path()).value(u"snapshot"_s);
        QVERIFY2(snapshot.contains(".backup\t"), snapshot.constData());
    }
    QVERIFY2(exitCode != 2 || run.err.startsWith(u"vxmod: "_s), qPrintable(run.err));
    QVERIFY2(!args.contains(u"--quiet"_s) || run.err.isEmpty(), qPrintable(run.err));
    // One style for every fault: a lower-case start and no full stop.
    for (const QString &line : run.err.split(u'\n')) {
        if (!line.startsWith(u"vxmod: "_s))
            continue;
        // A path may begin the message, with its drive letter.
        const bool drive = line.size() > 8 && line.at(8) == u':';
        QVERIFY2((!line.at(7).isUpper() || drive) && !line.trimmed().endsWith(u'.') &&
                     !line.trimmed().endsWith(u'!'),
                 qPrintable(line));
    }
    if (exitCode == 2)
        QCOMPARE(readTree(game), before);
    // Whatever happened, the launcher's settings stay and after a restore (which play does
    // itself) the game's own files are back.
    QCOMPARE(readTree(game).value(u"launcher.cfg"_s), QByteArray("800 600 60\n"));
    // Untouched by a refusal; left modded by an apply, which the next start undoes; put back
    // by a play; an older launcher's backups only on request.
    if (args.first() == u"apply"_s)
        QCOMPARE(runVxmod({u"status"_s, u"--game"_s, game}, env).exitCode, exitCode == 2 ? 0 : 1);
    const Run restore = runVxmod({u"restore"_s, u"--game"_s, game, u"--by-name"_s}, env);
    QCOMPARE(restore.exitCode, 0);
    const Files data = readTree(game + u"/data"_s);
    if (written.contains(u"data/Art/Sky/backdrop.txt.backup"_s))
        QCOMPARE(data.value(u"Art/Sky/backdrop.txt"_s), QByteArray("old sky"));
    else
        QCOMPARE(data, readTree(dir.path() + u"/data"_s));
    QVERIFY(!QFile::exists(game + u"/vxlaunch.journal"_s));
}

// On a terminal the progress is one line rewritten in place, not a line per tweak file.
void TestVxmodLaunch::progressOnTerminal()
{
#ifdef Q_OS_WIN
    QSKIP("script(1) provides the terminal, and it is Unix's");
#else
    if (QStandardPaths::findExecutable(u"script"_s).isEmpty())
        QSKIP("script(1) is not installed");
    TestDir dir;
    const QString game = dir.path() + u"/game"_s;
    QVERIFY(stageDemoGame(game));
    QProcess script;
    script.start(u"script"_s, {u"-qec"_s,
                               u"'%1' apply --game '%2' BetterUnits NightSky WarpDrive"_s.arg(
                                   qEnvironmentVariable("VX_VXMOD"), game),
                               u"/dev/null"_s});
    QVERIFY(script.waitForFinished(60000));
    QCOMPARE(script.exitCode(), 0);
    const QString shown = QString::fromLocal8Bit(script.readAllStandardOutput());
    // 11 tweak files in three resource folders: each label rewrites the line.
    QVERIFY2(shown.count(u"\r["_s) >= 11 && shown.contains(u"\x1b[K"_s), qPrintable(shown));
    QVERIFY2(!shown.contains(u"\n[1/"_s), qPrintable(shown));
    QCOMPARE(runVxmod({u"restore"_s, u"--game"_s, game}).exitCode, 0);
#endif
}

QTEST_GUILESS_MAIN(TestVxmodLaunch)
#include "tst_vxmodlaunch.moc"
