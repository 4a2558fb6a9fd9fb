// The launcher program itself, driven through its test hook: two mods that collide are
// ticked, so the collision plan has run on its worker, and then Play or Cancel is pressed.
// The process must end soon after the game has (or after Cancel), the game folder as it was.

#include "testutil.h"

#include <QElapsedTimer>
#include <QSettings>
#include <QThread>

using namespace Qt::StringLiterals;
using namespace vxtest;

namespace {

const QString registryParent = u"HKEY_LOCAL_MACHINE\\SOFTWARE\\KESTWYN"_s;
const QString gameKey = u"Vexil 4 Brask"_s;

// Where the launcher looks for the game: the registry on Windows (the 32-bit view, as the
// installer writes it), the user's INI store below XDG_CONFIG_HOME elsewhere.
bool registerGame(const QString &configHome, const QString &game)
{
#ifdef Q_OS_WIN
    Q_UNUSED(configHome);
    QSettings key(registryParent + u'\\' + gameKey, QSettings::Registry32Format);
#else
    QSettings key(configHome + u"/KESTWYN/"_s + gameKey + u".conf"_s, QSettings::IniFormat);
#endif
    key.setValue(u"InstallDir"_s, QDir::toNativeSeparators(game));
    key.setValue(u"Language"_s, u"ENG"_s);
    key.sync();
    return key.status() == QSettings::NoError;
}

void forgetGame()
{
#ifdef Q_OS_WIN
    QSettings(registryParent, QSettings::Registry32Format).remove(gameKey);
#endif
}

// Waits up to ms for done(), which is asked again every 20 ms.
template <typename Done> bool waitUntil(int ms, Done done)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.hasExpired(ms))
            return false;
        QThread::msleep(20);
    }
    return true;
}

} // namespace

class TestLauncherExit : public QObject
{
    Q_OBJECT

private slots:
    void exits_data()
    {
        QTest::addColumn<QString>("button");
        // The Windows lane asks for many rounds: the hang it guards against came in most runs
        // there, but not in every one.
        const int rounds = qMax(1, qEnvironmentVariableIntValue("VX_LAUNCHER_EXIT_ROUNDS"));
        for (int round = 1; round <= rounds; ++round) {
            QTest::addRow("Play two colliding mods, round %d", round) << u"playButton"_s;
            QTest::addRow("Cancel with two colliding mods ticked, round %d", round)
                << u"cancelButton"_s;
        }
    }

    void exits()
    {
        QFETCH(QString, button);

        TestDir dir;
        const QString game = dir.path() + u"/Vexil 4 Brask"_s;
        QVERIFY(stageDemoGame(game));
        for (const QByteArray mod : {"Alpha", "Beta"})
            QVERIFY(writeTree(
                game + u"/VexilMods/"_s + QString::fromLatin1(mod),
                {{u"info.txt"_s, "name=" + mod + '\n'},
                 {u"Tweak/Units/Tank.twk"_s, mod == "Alpha" ? "Health=1\n" : "Health=2\n"},
                 {u"Art/overlap.txt"_s, mod + '\n'}}));
        const Files pristine = readTree(game + u"/data"_s);
        QVERIFY(registerGame(dir.path(), game));
        const auto cleanup = qScopeGuard(forgetGame);

        QProcess launcher;
        launcher.setProcessEnvironment(testEnvironment(
            dir.path(), {u"QT_QPA_PLATFORM=offscreen"_s, u"VX_LAUNCHER_TICK=Alpha,Beta"_s,
                         u"VX_LAUNCHER_PRESS="_s + button, u"VX_STANDIN_QUIT_AFTER_MS=300"_s}));
        launcher.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        launcher.start(qEnvironmentVariable("VX_LAUNCHER"), QStringList());
        const QByteArray pressed = "pressed " + button.toLatin1();
        QVERIFY2(waitUntil(60000,
                           [&] {
                               launcher.waitForReadyRead(20);
                               return launcher.peek(4096).contains(pressed) ||
                                      launcher.state() == QProcess::NotRunning;
                           }) &&
                     launcher.readAllStandardOutput().contains(pressed),
                 "the launcher did not press the button after its collision plan");

        if (button == u"playButton"_s) {
            const QString snapshot = dir.path() + u"/snapshot.txt"_s;
            const QString journal = game + u"/vxlaunch.journal"_s;
            QVERIFY2(waitUntil(60000, [&] { return QFile::exists(snapshot); }),
                     "the game did not start");
            // The game ends 300 ms after its snapshot; the launcher then restores the folder.
            QVERIFY2(waitUntil(60000, [&] { return !QFile::exists(journal); }),
                     "the launcher did not restore the game folder");
            QVERIFY(readTree(dir.path()).value(u"snapshot.txt"_s).contains("Art/overlap.txt"));
        }
        // By the clock rather than one waitForFinished(), which can give up early under Wine.
        const auto finished = [&] {
            launcher.waitForFinished(20);
            return launcher.state() == QProcess::NotRunning;
        };
        const bool ended = waitUntil(5000, finished);
        // Slow (a loaded machine) or hung: the message tells which.
        const bool endedLate = !ended && waitUntil(60000, finished);
        if (!ended && !endedLate)
            launcher.kill();
        QVERIFY2(ended, endedLate ? "the launcher ended, but more than 5 s after its work was done"
                                  : "the launcher was still running 65 s after its work was done");
        QCOMPARE(launcher.exitStatus(), QProcess::NormalExit);
        QCOMPARE(launcher.exitCode(), 0);
        QVERIFY(readTree(game + u"/data"_s) == pristine);
        // Named no game, vxmod takes the one the launcher found.
        QCOMPARE(runVxmod({u"list"_s}, testEnvironment(dir.path())).out.section(u'\n', 0, 0),
                 u"Alpha\tAlpha\t\tN/A"_s);
    }
};

QTEST_GUILESS_MAIN(TestLauncherExit)
#include "tst_launcherexit.moc"
