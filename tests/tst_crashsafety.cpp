#include "launchtesttools.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <chrono>
#include <thread>

using namespace Qt::StringLiterals;
using namespace launchtest;

// Interrupts vxmod at every file operation of a launch and of a restore, and at random
// moments, and checks that the next full cycle still brings back the game's own files.
class TestCrashSafety : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void interruptedAfterEveryOperation_data();
    void interruptedAfterEveryOperation();
    void killedAtRandomMoments_data();
    void killedAtRandomMoments();

private:
    QTemporaryDir m_dir;
    Files m_modded; // the data folder after a clean apply
};

namespace {

const QString demo = qEnvironmentVariable("VX_DEMO_INSTALL");
const QStringList allMods{u"BetterUnits"_s, u"NightSky"_s, u"WarpDrive"_s};

QStringList applyArgs(const QString &game)
{
    return QStringList{u"apply"_s, u"--game"_s, game} + allMods;
}

QStringList restoreArgs(const QString &game)
{
    return {u"restore"_s, u"--game"_s, game};
}

QProcessEnvironment faultAfter(int operations)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"VX_FAULT_AFTER_OPS"_s, QString::number(operations));
    return env;
}

// Empty when now holds what a clean apply gives; the only extras allowed are backups of
// files an interrupted launch had already added (the next launch moves those aside).
QString compareModded(const Files &now, const Files &reference)
{
    for (auto it = reference.cbegin(); it != reference.cend(); ++it) {
        if (now.value(it.key()) != it.value())
            return u"differs from a clean apply: "_s + it.key();
    }
    for (auto it = now.cbegin(); it != now.cend(); ++it) {
        if (!reference.contains(it.key()) && !it.key().endsWith(u".backup"_s))
            return u"left over: "_s + it.key();
    }
    return {};
}

} // namespace

void TestCrashSafety::initTestCase()
{
    QVERIFY2(QFileInfo(qEnvironmentVariable("VX_VXMOD")).isExecutable(), "VX_VXMOD not set");
    const QString game = m_dir.path() + u"/clean"_s;
    QVERIFY(copyTree(demo, game));
    QCOMPARE(runVxmod(applyArgs(game)).exitCode, 0);
    m_modded = readTree(game + u"/data"_s);
    QVERIFY(m_modded != readTree(demo + u"/data"_s));
}

void TestCrashSafety::interruptedAfterEveryOperation_data()
{
    QTest::addColumn<bool>("duringRestore");
    QTest::newRow("a launch interrupted after each file operation") << false;
    QTest::newRow("a restore interrupted after each file operation") << true;
}

void TestCrashSafety::interruptedAfterEveryOperation()
{
    QFETCH(bool, duringRestore);

    int operations = 1;
    for (;; ++operations) {
        QVERIFY2(operations < 1000, "the fault hook never let vxmod finish");
        QTemporaryDir dir;
        const QString game = dir.path() + u"/game"_s;
        QVERIFY(copyTree(demo, game));
        if (duringRestore)
            QCOMPARE(runVxmod(applyArgs(game)).exitCode, 0);

        const Run interrupted =
            runVxmod(duringRestore ? restoreArgs(game) : applyArgs(game), faultAfter(operations));
        if (interrupted.exitCode == 0)
            break; // fewer operations than that: every point has been tried
        QVERIFY2(interrupted.exitCode == 99, qPrintable(interrupted.err));

        // A restore alone already brings the game back, whatever moment the launch died at.
        QCOMPARE(runVxmod(restoreArgs(game)).exitCode, 0);
        const QString early =
            compareRestored(game + u"/data"_s, demo + u"/data"_s, game + u"/VexilMods"_s);
        QVERIFY2(early.isEmpty(), qPrintable(u"after %1 operations: "_s.arg(operations) + early));

        const Run apply = runVxmod(applyArgs(game));
        QVERIFY2(apply.exitCode == 0, qPrintable(apply.err));
        const QString modded = compareModded(readTree(game + u"/data"_s), m_modded);
        QVERIFY2(modded.isEmpty(), qPrintable(u"after %1 operations: "_s.arg(operations) + modded));

        QCOMPARE(runVxmod(restoreArgs(game)).exitCode, 0);
        const QString restored =
            compareRestored(game + u"/data"_s, demo + u"/data"_s, game + u"/VexilMods"_s);
        QVERIFY2(restored.isEmpty(),
                 qPrintable(u"after %1 operations: "_s.arg(operations) + restored));
        dir.setAutoRemove(!QTest::currentTestFailed());
    }
    // A launch of three mods is dozens of file operations; far fewer means the hook is not
    // counting them.
    QVERIFY2(operations > (duringRestore ? 5 : 20), qPrintable(QString::number(operations)));
}

void TestCrashSafety::killedAtRandomMoments_data()
{
    QTest::addColumn<bool>("duringRestore");
    QTest::newRow("a launch killed at random moments") << false;
    QTest::newRow("a restore killed at random moments") << true;
}

void TestCrashSafety::killedAtRandomMoments()
{
#ifdef Q_OS_WIN
    QSKIP("kill() is TerminateProcess there, tried by the operation-by-operation test already");
#endif
    QFETCH(bool, duringRestore);

    // How long one run takes, so the kills land across the whole of it.
    QElapsedTimer timer;
    {
        QTemporaryDir dir;
        const QString game = dir.path() + u"/game"_s;
        QVERIFY(copyTree(demo, game));
        timer.start();
        QCOMPARE(runVxmod(applyArgs(game)).exitCode, 0);
        if (duringRestore) {
            timer.start();
            QCOMPARE(runVxmod(restoreArgs(game)).exitCode, 0);
        }
    }
    const qint64 span = std::max<qint64>(timer.nsecsElapsed() / 1000, 1000);
    const quint32 seed = QRandomGenerator::global()->generate();
    QRandomGenerator random(seed);

    for (int round = 0; round < 25; ++round) {
        QTemporaryDir dir;
        const QString game = dir.path() + u"/game"_s;
        QVERIFY(copyTree(demo, game));
        if (duringRestore)
            QCOMPARE(runVxmod(applyArgs(game)).exitCode, 0);

        QProcess victim;
        victim.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        victim.start(qEnvironmentVariable("VX_VXMOD"),
                     duringRestore ? restoreArgs(game) : applyArgs(game));
        QVERIFY(victim.waitForStarted());
        std::this_thread::sleep_for(std::chrono::microseconds(random.bounded(span)));
        victim.kill();
        QVERIFY(victim.waitForFinished());

        const QString context = u"seed %1 round %2: "_s.arg(seed).arg(round);
        QCOMPARE(runVxmod(restoreArgs(game)).exitCode, 0);
        const QString early =
            compareRestored(game + u"/data"_s, demo + u"/data"_s, game + u"/VexilMods"_s);
        QVERIFY2(early.isEmpty(), qPrintable(context + early));

        QCOMPARE(runVxmod(applyArgs(game)).exitCode, 0);
        const QString modded = compareModded(readTree(game + u"/data"_s), m_modded);
        QVERIFY2(modded.isEmpty(), qPrintable(context + modded));
        QCOMPARE(runVxmod(restoreArgs(game)).exitCode, 0);
        const QString restored =
            compareRestored(game + u"/data"_s, demo + u"/data"_s, game + u"/VexilMods"_s);
        QVERIFY2(restored.isEmpty(), qPrintable(context + restored));
        dir.setAutoRemove(!QTest::currentTestFailed());
    }
}

QTEST_GUILESS_MAIN(TestCrashSafety)
#include "tst_crashsafety.moc"
