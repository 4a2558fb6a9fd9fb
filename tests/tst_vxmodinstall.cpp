#include "archivebuilder.h"
#include "launch/gamelock.h"
#include "mods/modinstall.h"
#include "testutil.h"

#include <QRegularExpression>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>

#include <chrono>
#include <thread>

using namespace Qt::StringLiterals;
using namespace vxtest;

// vxmod install and remove as a player runs them: exit codes, messages, the lock, and a kill
// at any moment of an install, which must leave either the old mod or the new one, whole.
class TestVxmodInstall : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void run_data();
    void run();
    void interruptedAfterEveryStep_data();
    void interruptedAfterEveryStep();
    void killedAtRandomMoments();
};

namespace {

const Files oldSky = {{u"NightSky/info.txt"_s, "name=Old Sky\n"},
                      {u"NightSky/Art/old.txt"_s, "old"}};
const Files newSky = {{u"NightSky/info.txt"_s, "name=Night Sky\n"},
                      {u"NightSky/Art/Sky/backdrop.txt"_s, "dark\n"},
                      {u"NightSky/Sound/Ambient/crickets.wav"_s, "cri cri"},
                      {u"NightSky/Tweak/World/Sky.twk"_s, "Color=@color 1 2 3\n"}};

ArchiveEntries entriesOf(const Files &files)
{
    ArchiveEntries entries;
    for (auto it = files.cbegin(); it != files.cend(); ++it)
        entries.append({it.key(), it.value()});
    return entries;
}

// The mod folders a player would see: everything but our temporary folders.
Files visible(const QString &mods)
{
    Files files = readTree(mods);
    files.removeIf([](Files::iterator it) { return it.key().startsWith(u".vxinstall-"_s); });
    return files;
}

} // namespace

void TestVxmodInstall::initTestCase()
{
    QVERIFY2(QFileInfo(qEnvironmentVariable("VX_VXMOD")).isExecutable(), "VX_VXMOD not set");
}

void TestVxmodInstall::run_data()
{
    QTest::addColumn<QStringList>("args"); // GAME and DIR stand for the game and test folders
    QTest::addColumn<bool>("locked");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("output"); // standard output, then standard error
    QTest::addColumn<Files>("mods");     // VexilMods afterwards

    const QString pid = QString::number(QCoreApplication::applicationPid());
    const QString held = u"the game folder is in use by another launch (process "_s + pid +
                         u" (tst_vxmodinstall))"_s;
    const Files loose = {
        {u"Loose/info.txt"_s, "name=Loose\n"}, {u"Loose/a.txt"_s, "a"}, {u"Loose/b/c.txt"_s, "c"}};
    QTest::newRow("an archive installs")
        << QStringList{u"install"_s, u"--game"_s, u"GAME"_s, u"DIR/Star.zip"_s} << false << 0
        << u"installed StarField from Star.zip\n"_s
        << oldSky + Files{{u"StarField/info.txt"_s, "name=Stars\n"}};
    QTest::newRow("an archive without info.txt says what it wrote")
        << QStringList{u"install"_s, u"--game"_s, u"GAME"_s, u"DIR/Loose.7z"_s} << false << 0
        << u"installed Loose from Loose.7z\n"
           u"vxmod: Loose.7z has no info.txt; wrote one with name=Loose\n"_s
        << oldSky + loose;
    QTest::newRow("an installed mod is refused without --replace, the next archive goes on")
        << QStringList{u"install"_s, u"--game"_s, u"GAME"_s, u"DIR/Old.zip"_s, u"DIR/Loose.7z"_s}
        << false << 1
        << u"installed Loose from Loose.7z\n"
           u"vxmod: cannot install Old.zip: a mod named NightSky is already installed\n"
           u"vxmod: Loose.7z has no info.txt; wrote one with name=Loose\n"_s
        << oldSky + loose;
    QTest::newRow("--replace swaps the mod")
        << QStringList{u"install"_s, u"--replace"_s, u"--game"_s, u"GAME"_s, u"DIR/NightSky.zip"_s}
        << false << 0 << u"replaced NightSky from NightSky.zip\n"_s << newSky;
    QTest::newRow("a hostile archive is refused")
        << QStringList{u"install"_s, u"--game"_s, u"GAME"_s, u"DIR/Evil.zip"_s} << false << 1
        << u"vxmod: cannot install Evil.zip: the entry ../evil.txt would be written outside "
           u"the mod's folder\n"_s
        << oldSky;
    QTest::newRow("an install while a launch holds the game folder")
        << QStringList{u"install"_s, u"--game"_s, u"GAME"_s, u"DIR/Loose.7z"_s} << true << 1
        << u"vxmod: cannot install Loose.7z: "_s + held + u'\n' << oldSky;
    QTest::newRow("install without an archive")
        << QStringList{u"install"_s, u"--game"_s, u"GAME"_s} << false << 2
        << u"vxmod: install needs at least one archive\n"_s << oldSky;
    QTest::newRow("an archive that is not there stops before anything is installed")
        << QStringList{u"install"_s, u"--game"_s, u"GAME"_s, u"DIR/Loose.7z"_s, u"DIR/No.zip"_s}
        << false << 2 << u"vxmod: no archive DIR/No.zip\n"_s << oldSky;
    QTest::newRow("remove takes --replace for an unknown option")
        << QStringList{u"remove"_s, u"--replace"_s, u"--game"_s, u"GAME"_s, u"NightSky"_s} << false
        << 2 << u"vxmod: Unknown option 'replace'.\n"_s << oldSky;
    QTest::newRow("a mod is removed")
        << QStringList{u"remove"_s, u"--game"_s, u"GAME"_s, u"NightSky"_s} << false << 0
        << u"removed NightSky\n"_s << Files{};
    QTest::newRow("an unknown mod is a usage error")
        << QStringList{u"remove"_s, u"--game"_s, u"GAME"_s, u"NightSky"_s, u"Nope"_s} << false << 2
        << u"vxmod: unknown mod 'Nope': no such folder in GAME/VexilMods\n"_s << oldSky;
    QTest::newRow("a removal while a launch holds the game folder")
        << QStringList{u"remove"_s, u"--game"_s, u"GAME"_s, u"NightSky"_s} << true << 1
        << u"vxmod: cannot remove NightSky: "_s + held + u'\n' << oldSky;
}

void TestVxmodInstall::run()
{
    QFETCH(QStringList, args);
    QFETCH(bool, locked);
    QFETCH(int, exitCode);
    QFETCH(QString, output);
    QFETCH(Files, mods);

    TestDir dir;
    const QString game = dir.filePath(u"game"_s);
    QVERIFY(writeTree(game + u"/VexilMods"_s, oldSky));
    QVERIFY(writeArchive(dir.filePath(u"NightSky.zip"_s), "zip", entriesOf(newSky)));
    QVERIFY(writeArchive(dir.filePath(u"Old.zip"_s), "zip", entriesOf(oldSky)));
    QVERIFY(writeArchive(dir.filePath(u"Star.zip"_s), "zip",
                         {{u"StarField/info.txt"_s, "name=Stars\n"}}));
    QVERIFY(writeArchive(dir.filePath(u"Loose.7z"_s), "7zip",
                         {{u"a.txt"_s, "a"}, {u"b/c.txt"_s, "c"}}));
    QVERIFY(writeArchive(dir.filePath(u"Evil.zip"_s), "zip",
                         {{u"info.txt"_s, "name=Evil\n"}, {u"../evil.txt"_s, "x"}}));
    VxGameLock lock(game);
    if (locked)
        QCOMPARE(lock.tryLock(), VxGameLock::Result::Acquired);
    args.replaceInStrings(u"GAME"_s, game).replaceInStrings(u"DIR"_s, dir.path());

    const Run result = runVxmod(args);
    // The folders, and paths below them, as the platform shows them.
    QString expected = output;
    const QRegularExpression folder(u"(GAME|DIR)((/[^/\\s:']+)*/?)"_s);
    for (QRegularExpressionMatch m = folder.match(expected); m.hasMatch();
         m = folder.match(expected, m.capturedStart() + 1)) {
        const QString shown = QDir::toNativeSeparators(
            (m.captured(1) == u"GAME"_s ? game : dir.path()) + m.captured(2));
        expected.replace(m.capturedStart(), m.capturedLength(), shown);
    }
    QCOMPARE(result.out + result.err, expected);
    QCOMPARE(result.exitCode, exitCode);
    QCOMPARE(readTree(game + u"/VexilMods"_s), mods);
}

void TestVxmodInstall::interruptedAfterEveryStep_data()
{
    QTest::addColumn<bool>("replace");
    QTest::newRow("a fresh install") << false;
    QTest::newRow("a replacing install") << true;
}

void TestVxmodInstall::interruptedAfterEveryStep()
{
    QFETCH(bool, replace);

    TestDir dir;
    const QString game = dir.filePath(u"game"_s);
    const QString mods = game + u"/VexilMods"_s;
    const QString archive = dir.filePath(u"NightSky.7z"_s);
    QVERIFY(writeArchive(archive, "7zip", entriesOf(newSky)));
    const Files before = replace ? oldSky : Files{{u"Keep/info.txt"_s, "name=Keep\n"}};
    const Files after = replace ? newSky : before + newSky;
    QStringList args = {u"install"_s, u"--game"_s, game, archive};
    if (replace)
        args.insert(1, u"--replace"_s);

    // Each file written and each rename is one step; the loop ends with the first run that
    // gets to its end.
    for (int step = 1;; ++step) {
        QVERIFY2(step < 20, "the install never got to its end");
        QDir(mods).removeRecursively();
        QVERIFY(writeTree(mods, before));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"VX_FAULT_AFTER_OPS"_s, QString::number(step));
        const int code = runVxmod(args, env).exitCode;
        QVERIFY2(code == 99 || code == 0, qPrintable(QString::number(code)));
        // Between the two renames of a replace the old mod is set aside, whole, and the new
        // one is complete: the next start puts the old one back.
        const Files seen = visible(mods);
        QVERIFY2(seen == before || seen == after || (replace && seen.isEmpty()),
                 qPrintable(u"a half mod after step %1: "_s.arg(step) + seen.keys().join(u' ')));
        removeInstallLeftovers(game);
        const Files next = readTree(mods);
        QVERIFY2(next == before || next == after,
                 qPrintable(u"after step %1: "_s.arg(step) + next.keys().join(u' ')));
        if (code == 0) {
            QCOMPARE(next, after);
            break;
        }
    }
}

void TestVxmodInstall::killedAtRandomMoments()
{
    TestDir dir;
    const QString game = dir.filePath(u"game"_s);
    const QString mods = game + u"/VexilMods"_s;
    const QString archive = dir.filePath(u"NightSky.zip"_s);
    Files big = newSky;
    QRandomGenerator generator(11);
    for (int i = 0; i < 24; ++i) {
        QByteArray data(1 << 20, Qt::Uninitialized);
        generator.fillRange(reinterpret_cast<quint32 *>(data.data()), data.size() / 4);
        big.insert(u"NightSky/Art/n%1.bin"_s.arg(i), data);
    }
    QVERIFY(writeArchive(archive, "zip", entriesOf(big), "zip:compression=store"));
    const QStringList args = {u"install"_s, u"--replace"_s, u"--game"_s, game, archive};

    // How long a whole install takes here, to kill within it.
    QVERIFY(writeTree(mods, oldSky));
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(runVxmod(args).exitCode, 0);
    const int duration = int(timer.elapsed());
    QCOMPARE(readTree(mods), big);

    int cutWhileUnpacking = 0;
    for (int round = 0; round < 16; ++round) {
        QDir(mods).removeRecursively();
        QVERIFY(writeTree(mods, oldSky));
        QProcess process;
        process.start(qEnvironmentVariable("VX_VXMOD"), args);
        QVERIFY(process.waitForStarted());
        std::this_thread::sleep_for(
            std::chrono::milliseconds(QRandomGenerator::global()->bounded(duration + 1)));
        process.kill();
        process.waitForFinished();
        const Files seen = visible(mods);
        // Cut short while unpacking: a temporary folder holds what was written so far.
        cutWhileUnpacking += readTree(mods).size() > seen.size();
        QVERIFY2(seen == oldSky || seen == big,
                 qPrintable(u"a half mod: "_s + seen.keys().join(u' ')));
        removeInstallLeftovers(game);
        QCOMPARE(readTree(mods).keys(), seen.keys());
    }
    QVERIFY2(cutWhileUnpacking > 0, "no install was cut short while unpacking");
}

QTEST_GUILESS_MAIN(TestVxmodInstall)
#include "tst_vxmodinstall.moc"
