#include "testutil.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QThread>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <thread>

using namespace Qt::StringLiterals;
using namespace vxtest;

// Interrupts vxmod at every file operation of a launch, of a restore and of a play, makes
// each operation fail in turn, and kills vxmod at random moments; after each, the next start
// must bring back the game's own files exactly, without being asked.
class TestCrashSafety : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void interruptedAfterEveryOperation_data();
    void interruptedAfterEveryOperation();
    void failingAtEveryOperation_data() { interruptedAfterEveryOperation_data(); }
    void failingAtEveryOperation();
    void killedAtRandomMoments_data() { interruptedAfterEveryOperation_data(); }
    void killedAtRandomMoments();
    void stepsInOrder();
    void twoLaunchesAtOnce();
    void diskFull();
    void readOnlyFolder();
    void signalledWhilePlaying_data();
    void signalledWhilePlaying();

private:
    // A game copy, with the mods applied first when a restore is to be interrupted.
    bool prepare(const QString &game, const QString &command);
    QStringList args(const QString &game, const QString &command) const;
    // The next start undoes what was left: a restore, or (every other time) a launch that
    // must give exactly what a clean launch gives. Then the game is its own again.
    void checkRecovery(const QString &game, bool byLaunch, const QString &context);
    void checkPristine(const QString &game, const QString &context);
    // A demo game staged in game and played by vxmod in play, returning once its game runs;
    // the game quits by itself after quitAfterMs.
    void startPlaying(QProcess &play, const QString &game, int quitAfterMs);

    TestDir m_dir;
    Files m_pristine; // the game's own data folder
    Files m_modded;   // the data folder after a clean apply
    int m_launchOperations = 0;
    QProcessEnvironment m_env;
};

namespace {

const QString demo = qEnvironmentVariable("VX_DEMO_INSTALL");

} // namespace

QStringList TestCrashSafety::args(const QString &game, const QString &command) const
{
    if (command == u"restore"_s)
        return {u"restore"_s, u"--game"_s, game};
    return {command, u"--game"_s, game, u"BetterUnits"_s, u"NightSky"_s, u"WarpDrive"_s};
}

void TestCrashSafety::initTestCase()
{
    QVERIFY2(QFileInfo(qEnvironmentVariable("VX_VXMOD")).isExecutable(), "VX_VXMOD not set");
    m_env = QProcessEnvironment::systemEnvironment();
    m_env.insert(u"VX_STANDIN_HEADLESS"_s, u"1"_s);
    const QString game = m_dir.path() + u"/clean"_s;
    QVERIFY(stageDemoGame(game));
    m_pristine = readTree(game + u"/data"_s);
    QCOMPARE(runVxmod(args(game, u"apply"_s)).exitCode, 0);
    m_modded = readTree(game + u"/data"_s);
    QVERIFY(m_modded != m_pristine);
}

bool TestCrashSafety::prepare(const QString &game, const QString &command)
{
    // A restore starts from a copy of the launch made once, journal included.
    return command == u"restore"_s ? copyTree(m_dir.path() + u"/clean"_s, game)
                                   : stageDemoGame(game);
}

void TestCrashSafety::checkPristine(const QString &game, const QString &context)
{
    const Files data = readTree(game + u"/data"_s);
    QVERIFY2(data == m_pristine,
             qPrintable(context + u"not the game's own files: "_s +
                        compareRestored(game + u"/data"_s, demo + u"/data"_s, QString())));
    QVERIFY2(!QFile::exists(game + u"/vxlaunch.journal"_s), qPrintable(context + u"journal"_s));
}

namespace {

// A killed vxmod's game may run on for a moment, and its lock file may be too fresh to tell
// whether its owner wrote it: both are refused, rightly, for a while.
Run runWhenFree(const QStringList &args, const QProcessEnvironment &env)
{
    Run run;
    for (int attempt = 0; attempt < 50; ++attempt) {
        run = runVxmod(args, env);
        if (!run.err.contains(u"still running"_s) && !run.err.contains(u"in use by another"_s))
            break;
        QThread::msleep(100);
    }
    return run;
}

} // namespace

void TestCrashSafety::checkRecovery(const QString &game, bool byLaunch, const QString &context)
{
    if (byLaunch) {
        const Run apply = runWhenFree(args(game, u"apply"_s), m_env);
        QVERIFY2(apply.exitCode == 0, qPrintable(context + apply.err));
        QVERIFY2(readTree(game + u"/data"_s) == m_modded,
                 qPrintable(context + u"a launch after it differs from a clean launch"_s));
    }
    const Run restore = runWhenFree(args(game, u"restore"_s), m_env);
    QVERIFY2(restore.exitCode == 0, qPrintable(context + restore.err));
    checkPristine(game, context);
}

void TestCrashSafety::interruptedAfterEveryOperation_data()
{
    QTest::addColumn<QString>("command");
    QTest::newRow("a launch") << u"apply"_s;
    QTest::newRow("a restore") << u"restore"_s;
    QTest::newRow("a play") << u"play"_s;
}

void TestCrashSafety::interruptedAfterEveryOperation()
{
    QFETCH(QString, command);

    QProcessEnvironment env = m_env;
    // A play's launch half stops at the same points as a launch: its time goes to the rest.
    int operations = command == u"play"_s ? std::max(1, m_launchOperations - 2) : 1;
    for (;; ++operations) {
        QVERIFY2(operations < 1000, "the fault hook never let vxmod finish");
        TestDir dir;
        const QString game = dir.path() + u"/game"_s;
        QVERIFY(prepare(game, command));
        env.insert(u"VX_FAULT_AFTER_OPS"_s, QString::number(operations));
        const Run interrupted = runVxmod(args(game, command), env);
        if (interrupted.exitCode == 0)
            break; // fewer operations than that: every point has been tried
        if (command == u"apply"_s)
            m_launchOperations = operations;
        QVERIFY2(interrupted.exitCode == 99, qPrintable(interrupted.err));
        checkRecovery(game, operations % 2 == 1, u"after %1 operations: "_s.arg(operations));
        if (QTest::currentTestFailed())
            return;
    }
    // A launch of three mods is dozens of file operations; far fewer means the hook is not
    // counting them.
    QVERIFY2(operations > (command == u"restore"_s ? 5 : 30),
             qPrintable(QString::number(operations)));
}

void TestCrashSafety::failingAtEveryOperation()
{
    QFETCH(QString, command);

    QProcessEnvironment env = m_env;
    bool saveFailed = false; // a resource file's save was among the operations that failed
    for (int operation = 1;; ++operation) {
        QVERIFY2(operation < 1000, "the failure hook never let vxmod finish");
        TestDir dir;
        const QString game = dir.path() + u"/game"_s;
        QVERIFY(prepare(game, command));
        env.insert(u"VX_FAIL_OPERATION"_s, QString::number(operation));
        const Run failed = runVxmod(args(game, command), env);
        const QString context = u"operation %1 failing: "_s.arg(operation);
        if (failed.exitCode == 0 && !failed.err.contains(u"No space left"_s)) {
            QVERIFY(saveFailed || command == u"restore"_s);
            return; // fewer operations than that
        }
        // The game's process id not recorded: the game runs all the same, and only a start
        // while it runs would not know it.
        if (failed.exitCode == 0 && failed.err.contains(u"cannot write the launch journal"_s))
            continue;
        // Reported, never passed over as success.
        QVERIFY2(failed.exitCode == 1 && failed.err.contains(u"No space left on device"_s),
                 qPrintable(context + failed.err));
        // As the failing command left it: a launch that changed anything keeps its journal.
        QVERIFY2(QFile::exists(game + u"/vxlaunch.journal"_s) ||
                     readTree(game + u"/data"_s) == m_pristine,
                 qPrintable(context + u"changed, and no journal"_s));
        saveFailed |= failed.err.contains(u"could not save"_s, Qt::CaseInsensitive);
        // A play that failed has put back what it could at once; when the restore itself
        // failed, the journal keeps the rest for the next start.
        if (command == u"play"_s && !failed.err.contains(u"not fully restored"_s))
            checkPristine(game, context);
        checkRecovery(game, operation % 2 == 0, context);
        if (QTest::currentTestFailed())
            return;
    }
}

void TestCrashSafety::killedAtRandomMoments()
{
    QFETCH(QString, command);

    // How long one run takes, so the kills land across the whole of it.
    QElapsedTimer timer;
    {
        TestDir dir;
        QVERIFY(prepare(dir.path() + u"/game"_s, command));
        timer.start();
        QCOMPARE(runVxmod(args(dir.path() + u"/game"_s, command), m_env).exitCode, 0);
    }
    const qint64 span = std::max<qint64>(timer.nsecsElapsed() / 1000, 1000);
    // Set VX_TEST_SEED to replay a failure.
    bool seeded = false;
    const quint32 seed = qEnvironmentVariableIntValue("VX_TEST_SEED", &seeded);
    QRandomGenerator random(seeded ? seed : QRandomGenerator::global()->generate());
    const quint32 used = seeded ? seed : random.generate();
    random.seed(used);
    qInfo("VX_TEST_SEED=%u", used);

    for (int round = 0; round < 4; ++round) {
        TestDir dir;
        const QString game = dir.path() + u"/game"_s;
        QVERIFY(prepare(game, command));
        QProcess victim;
        victim.setProcessEnvironment(m_env);
        victim.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        victim.start(qEnvironmentVariable("VX_VXMOD"), args(game, command));
        QVERIFY(victim.waitForStarted());
        std::this_thread::sleep_for(std::chrono::microseconds(random.bounded(span)));
        victim.kill();
        QVERIFY(victim.waitForFinished());
        checkRecovery(game, round % 2 == 0, u"seed %1 round %2: "_s.arg(used).arg(round));
        if (QTest::currentTestFailed())
            return;
    }
}

// The steps of a launch and a restore, in order: a backup is on disk before it takes its
// name, a game file is moved aside before a mod's file takes its place, and a save replaces
// the resource file rather than writing into it (a second link keeps the game's bytes).
void TestCrashSafety::stepsInOrder()
{
    TestDir dir;
    const QString game = dir.path() + u"/game"_s;
    QVERIFY(stageDemoGame(game));
    const QString units = game + u"/data/Tweak/Units.xml"_s;
    QVERIFY(QFile::exists(units));
    std::error_code linked;
    std::filesystem::create_hard_link(units.toStdU16String(),
                                      (dir.path() + u"/link"_s).toStdU16String(), linked);
    QVERIFY(!linked);
    QProcessEnvironment env = m_env;
    env.insert(u"VX_TRACE_OPERATIONS"_s, dir.path() + u"/trace"_s);
    QCOMPARE(runVxmod({u"apply"_s, u"--game"_s, game, u"BetterUnits"_s}, env).exitCode, 0);
    QCOMPARE(readTree(dir.path()).value(u"link"_s),
             readTree(demo).value(u"data/Tweak/Units.xml"_s));
    QCOMPARE(runVxmod(args(game, u"restore"_s), env).exitCode, 0);
    QCOMPARE(QString::fromUtf8(readTree(dir.path()).value(u"trace"_s)).split(u'\n'),
             QStringList({u"copy medic.pgm.vxpart"_s, u"rename medic.pgm.vxpart medic.pgm"_s,
                          u"copy tank.pgm.vxpart"_s, u"rename tank.pgm tank.pgm.backup"_s,
                          u"rename tank.pgm.vxpart tank.pgm"_s, u"copy Units.xml.backup.vxpart"_s,
                          u"sync Units.xml.backup.vxpart"_s,
                          u"rename Units.xml.backup.vxpart Units.xml.backup"_s, u"save Units.xml"_s,
                          u"rename Units.xml.backup Units.xml"_s,
                          u"rename tank.pgm.backup tank.pgm"_s, u"remove medic.pgm"_s, u""_s}));
}

void TestCrashSafety::startPlaying(QProcess &play, const QString &game, int quitAfterMs)
{
    QVERIFY(stageDemoGame(game));
    QProcessEnvironment env = m_env;
    env.insert(u"VX_STANDIN_QUIT_AFTER_MS"_s, QString::number(quitAfterMs));
    play.setProcessEnvironment(env);
    play.start(qEnvironmentVariable("VX_VXMOD"), args(game, u"play"_s));
    QVERIFY(play.waitForStarted());
    QElapsedTimer waited;
    waited.start();
    Run status;
    while (
        !(status = runVxmod({u"status"_s, u"--game"_s, game})).out.contains(u"game is running"_s))
        QVERIFY2(waited.elapsed() < 30000,
                 qPrintable(u"the game never started: "_s + status.out + status.err));
}

void TestCrashSafety::twoLaunchesAtOnce()
{
    TestDir dir;
    const QString game = dir.path() + u"/game"_s;
    QProcess first;
    startPlaying(first, game, 4000);
    if (QTest::currentTestFailed())
        return;
    const Files modded = readTree(game);

    for (const QString &command : {u"apply"_s, u"restore"_s, u"play"_s}) {
        const Run second = runVxmod(args(game, command), m_env);
        QVERIFY2(second.exitCode == 2 && second.err.contains(u"in use by another launch"_s),
                 qPrintable(command + u": "_s + second.err));
        QVERIFY2(readTree(game) == modded, qPrintable(command));
    }
    QVERIFY(first.waitForFinished(60000));
    QCOMPARE(first.exitCode(), 0);
    checkPristine(game, QString());
}

void TestCrashSafety::diskFull()
{
#ifndef Q_OS_LINUX
    QSKIP("a small file system of its own needs Linux's tmpfs");
#else
    TestDir dir;
    const QString disk = dir.path() + u"/disk"_s;
    QVERIFY(QDir().mkpath(disk));
    if (QProcess::execute(u"mount"_s,
                          {u"-t"_s, u"tmpfs"_s, u"-o"_s, u"size=1m"_s, u"tmpfs"_s, disk}) != 0)
        QSKIP("no permission to mount a small file system here");
    const auto unmount = qScopeGuard([&] { QProcess::execute(u"umount"_s, {disk}); });
    const QString game = disk + u"/game"_s;
    QVERIFY(copyTree(demo, game));
    // A mod, kept on a disk with room to spare, whose file cannot fit on the game's.
    QVERIFY(writeTree(dir.path() + u"/Huge"_s,
                      {{u"info.txt"_s, "name=Huge\n"},
                       {u"Art/Sky/backdrop.txt"_s, QByteArray(2 * 1024 * 1024, 'x')}}));
    QVERIFY(QFile::link(dir.path() + u"/Huge"_s, game + u"/VexilMods/Huge"_s));
    const Files before = readTree(game + u"/data"_s);

    const Run apply = runVxmod({u"apply"_s, u"--game"_s, game, u"Huge"_s}, m_env);
    QCOMPARE(apply.exitCode, 1);
    QVERIFY2(apply.err.contains(u"could not copy a mod's file"_s) &&
                 apply.err.contains(u"No space left on device"_s),
             qPrintable(apply.err));
    // As the failing launch left it: not one game file changed or added.
    QCOMPARE(readTree(game + u"/data"_s), before);
    QCOMPARE(runVxmod({u"restore"_s, u"--game"_s, game}, m_env).exitCode, 0);
    QCOMPARE(readTree(game + u"/data"_s), before);
#endif
}

void TestCrashSafety::readOnlyFolder()
{
#ifndef Q_OS_LINUX
    QSKIP("an immutable folder, which even root cannot change, needs Linux's chattr");
#else
    TestDir dir;
    const QString game = dir.path() + u"/game"_s;
    QVERIFY(stageDemoGame(game));
    const QString sky = game + u"/data/Art/Sky"_s;
    const auto setImmutable = [&](bool on) {
        return QProcess::execute(u"chattr"_s, {on ? u"+i"_s : u"-i"_s, sky}) == 0;
    };
    if (!setImmutable(true))
        QSKIP("chattr cannot make a folder immutable here");
    auto mutableAgain = qScopeGuard([&] { setImmutable(false); });

    // During a launch: reported, and nothing of the game lost or left changed.
    Run run = runVxmod(args(game, u"apply"_s), m_env);
    QVERIFY2(run.exitCode == 1 && run.err.contains(u"could not copy a mod's file"_s) &&
                 run.err.contains(u"Operation not permitted"_s),
             qPrintable(run.err));
    QCOMPARE(runVxmod(args(game, u"restore"_s), m_env).exitCode, 0);
    checkPristine(game, QString());

    // During a restore: reported, the rest kept in the journal, finished by the next start.
    QVERIFY(setImmutable(false));
    QCOMPARE(runVxmod(args(game, u"apply"_s), m_env).exitCode, 0);
    QVERIFY(setImmutable(true));
    run = runVxmod(args(game, u"restore"_s), m_env);
    QVERIFY2(run.exitCode == 1 && run.err.contains(u"could not put back"_s), qPrintable(run.err));
    QVERIFY(QFile::exists(game + u"/vxlaunch.journal"_s));
    QVERIFY(setImmutable(false));
    QCOMPARE(runVxmod(args(game, u"apply"_s), m_env).exitCode, 0);
    QCOMPARE(readTree(game + u"/data"_s), m_modded);
    QCOMPARE(runVxmod(args(game, u"restore"_s), m_env).exitCode, 0);
    checkPristine(game, QString());

    // A game folder that holds no lock (a read-only install): the game still plays unmodded,
    // and a launch with mods is refused before it changes anything.
    QVERIFY(QProcess::execute(u"chattr"_s, {u"+i"_s, game}) == 0);
    auto rootMutable = qScopeGuard([&] { QProcess::execute(u"chattr"_s, {u"-i"_s, game}); });
    run = runVxmod({u"play"_s, u"--game"_s, game}, m_env);
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    run = runVxmod(args(game, u"apply"_s), m_env);
    QVERIFY2(run.exitCode == 1 && run.err.contains(u"cannot be made"_s), qPrintable(run.err));
    checkPristine(game, QString());
#endif
}

void TestCrashSafety::signalledWhilePlaying_data()
{
    QTest::addColumn<int>("signal");
#ifndef Q_OS_WIN
    QTest::newRow("a plain kill") << int(SIGTERM);
    QTest::newRow("the terminal closed") << int(SIGHUP);
#endif
}

void TestCrashSafety::signalledWhilePlaying()
{
#ifdef Q_OS_WIN
    QSKIP("no such signals on Windows");
#else
    QFETCH(int, signal);
    TestDir dir;
    const QString game = dir.path() + u"/game"_s;
    QProcess play;
    startPlaying(play, game, 60000);
    if (QTest::currentTestFailed())
        return;
    ::kill(pid_t(play.processId()), signal);
    // The game is asked to end too, and vxmod stays to put its files back.
    QVERIFY(play.waitForFinished(30000));
    QCOMPARE(play.exitStatus(), QProcess::NormalExit);
    checkPristine(game, QString());
#endif
}

QTEST_GUILESS_MAIN(TestCrashSafety)
#include "tst_crashsafety.moc"
