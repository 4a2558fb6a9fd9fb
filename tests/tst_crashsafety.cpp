#include "testutil.h"

#include <QElapsedTimer>
#include <QRandomGenerator>

#include <chrono>
#include <thread>

using namespace Qt::StringLiterals;
using namespace vxtest;

// Interrupts vxmod at every file operation of a launch and of a restore, and at random
// moments, and checks that the next full cycle still brings back the game's own files.
class TestCrashSafety : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void interruptedAfterEveryOperation_data();
    void interruptedAfterEveryOperation();
    void killedAtRandomMoments_data() { interruptedAfterEveryOperation_data(); }
    void killedAtRandomMoments();

private:
    // A game copy in dir, with the mods applied first when the restore is to be interrupted.
    bool prepare(const QString &game, bool duringRestore);
    // After an interruption: restore, apply, restore must each give what a clean run gives.
    void checkRecovery(const QString &game, const QString &context);

    TestDir m_dir;
    Files m_modded; // the data folder after a clean apply
};

namespace {

const QString demo = qEnvironmentVariable("VX_DEMO_INSTALL");

QStringList args(const QString &game, bool restore)
{
    if (restore)
        return {u"restore"_s, u"--game"_s, game};
    return {u"apply"_s, u"--game"_s, game, u"BetterUnits"_s, u"NightSky"_s, u"WarpDrive"_s};
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
    QCOMPARE(runVxmod(args(game, false)).exitCode, 0);
    m_modded = readTree(game + u"/data"_s);
    QVERIFY(m_modded != readTree(demo + u"/data"_s));
}

bool TestCrashSafety::prepare(const QString &game, bool duringRestore)
{
    return copyTree(demo, game) && (!duringRestore || runVxmod(args(game, false)).exitCode == 0);
}

void TestCrashSafety::checkRecovery(const QString &game, const QString &context)
{
    const QString data = game + u"/data"_s;
    // A restore alone already brings the game back, whatever moment vxmod died at.
    QCOMPARE(runVxmod(args(game, true)).exitCode, 0);
    const QString early = compareRestored(data, demo + u"/data"_s, game + u"/VexilMods"_s);
    QVERIFY2(early.isEmpty(), qPrintable(context + early));

    const Run apply = runVxmod(args(game, false));
    QVERIFY2(apply.exitCode == 0, qPrintable(context + apply.err));
    const QString modded = compareModded(readTree(data), m_modded);
    QVERIFY2(modded.isEmpty(), qPrintable(context + modded));

    QCOMPARE(runVxmod(args(game, true)).exitCode, 0);
    const QString restored = compareRestored(data, demo + u"/data"_s, game + u"/VexilMods"_s);
    QVERIFY2(restored.isEmpty(), qPrintable(context + restored));
}

void TestCrashSafety::interruptedAfterEveryOperation_data()
{
    QTest::addColumn<bool>("duringRestore");
    QTest::newRow("a launch interrupted") << false;
    QTest::newRow("a restore interrupted") << true;
}

void TestCrashSafety::interruptedAfterEveryOperation()
{
    QFETCH(bool, duringRestore);

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    int operations = 1;
    for (;; ++operations) {
        QVERIFY2(operations < 1000, "the fault hook never let vxmod finish");
        TestDir dir;
        const QString game = dir.path() + u"/game"_s;
        QVERIFY(prepare(game, duringRestore));
        env.insert(u"VX_FAULT_AFTER_OPS"_s, QString::number(operations));
        const Run interrupted = runVxmod(args(game, duringRestore), env);
        if (interrupted.exitCode == 0)
            break; // fewer operations than that: every point has been tried
        QVERIFY2(interrupted.exitCode == 99, qPrintable(interrupted.err));
        checkRecovery(game, u"after %1 operations: "_s.arg(operations));
        if (QTest::currentTestFailed())
            return;
    }
    // A launch of three mods is dozens of file operations; far fewer means the hook is not
    // counting them.
    QVERIFY2(operations > (duringRestore ? 5 : 20), qPrintable(QString::number(operations)));
}

void TestCrashSafety::killedAtRandomMoments()
{
    QFETCH(bool, duringRestore);

    // How long one run takes, so the kills land across the whole of it.
    QElapsedTimer timer;
    {
        TestDir dir;
        QVERIFY(prepare(dir.path() + u"/game"_s, duringRestore));
        timer.start();
        QCOMPARE(runVxmod(args(dir.path() + u"/game"_s, duringRestore)).exitCode, 0);
    }
    const qint64 span = std::max<qint64>(timer.nsecsElapsed() / 1000, 1000);
    const quint32 seed = QRandomGenerator::global()->generate();
    QRandomGenerator random(seed);

    for (int round = 0; round < 25; ++round) {
        TestDir dir;
        const QString game = dir.path() + u"/game"_s;
        QVERIFY(prepare(game, duringRestore));
        QProcess victim;
        victim.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        victim.start(qEnvironmentVariable("VX_VXMOD"), args(game, duringRestore));
        QVERIFY(victim.waitForStarted());
        std::this_thread::sleep_for(std::chrono::microseconds(random.bounded(span)));
        victim.kill();
        QVERIFY(victim.waitForFinished());
        checkRecovery(game, u"seed %1 round %2: "_s.arg(seed).arg(round));
        if (QTest::currentTestFailed())
            return;
    }
}

QTEST_GUILESS_MAIN(TestCrashSafety)
#include "tst_crashsafety.moc"
