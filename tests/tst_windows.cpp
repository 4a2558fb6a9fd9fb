// What only Windows does to a launch, through vxmod as a player's script would run it: file
// attributes, files another program holds open, and a game installed where Windows puts it.

#include "testutil.h"

#include <QElapsedTimer>

#include <qt_windows.h>

using namespace Qt::StringLiterals;
using namespace vxtest;

namespace {

const QString replaced = u"data/Art/Sky/backdrop.txt"_s; // NightSky brings its own

std::wstring native(const QString &path)
{
    return QDir::toNativeSeparators(path).toStdWString();
}

// Opened as a running game opens its files: others may read and write it, but not delete or
// rename it, so nothing can be moved over it.
HANDLE holdOpen(const QString &path)
{
    return CreateFileW(native(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

} // namespace

class TestWindows : public QObject
{
    Q_OBJECT

private slots:
    void restore_data();
    void restore();
    void playWhereWindowsInstalls();
};

void TestWindows::restore_data()
{
    QTest::addColumn<int>("attributes"); // set on the replaced game file before the apply
    QTest::addColumn<bool>("held");      // the replaced file held open during the first restore

    QTest::newRow("a hidden, read-only game file comes back with its attributes")
        << int(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY) << false;
    QTest::newRow("a file the game still holds open is reported, then restored on the next try")
        << int(FILE_ATTRIBUTE_NORMAL) << true;
}

void TestWindows::restore()
{
    QFETCH(int, attributes);
    QFETCH(bool, held);

    TestDir dir;
    const QString game = dir.path() + u"/Vexil 4 Brask"_s;
    QVERIFY(stageDemoGame(game) && copyTree(game + u"/data"_s, dir.path() + u"/pristine"_s));
    const QString target = game + u'/' + replaced;
    QVERIFY(SetFileAttributesW(native(target).c_str(), DWORD(attributes)));
    const QProcessEnvironment env = testEnvironment(dir.path());

    const Run apply = runVxmod({u"apply"_s, u"--game"_s, game, u"NightSky"_s}, env);
    QVERIFY2(apply.exitCode == 0, qPrintable(apply.err));
    QCOMPARE(readTree(game).value(replaced),
             readTree(game + u"/VexilMods/NightSky"_s).value(u"Art/Sky/backdrop.txt"_s));

    if (held) {
        HANDLE handle = holdOpen(target);
        QVERIFY(handle != INVALID_HANDLE_VALUE);
        const Run blocked = runVxmod({u"restore"_s, u"--game"_s, game}, env);
        CloseHandle(handle);
        QVERIFY2(blocked.exitCode == 1, qPrintable(blocked.out + blocked.err));
        QVERIFY2(blocked.err.contains(u"backdrop.txt"_s), qPrintable(blocked.err));
        // The backup and the journal are still there for the next restore.
        QVERIFY(QFile::exists(target + u".backup"_s) &&
                QFile::exists(game + u"/vxlaunch.journal"_s));
    }

    const Run restore = runVxmod({u"restore"_s, u"--game"_s, game}, env);
    QVERIFY2(restore.exitCode == 0, qPrintable(restore.err));
    // The backup is the game's file itself, moved aside with its attributes, and the restore
    // follows the journal rather than a listing that could leave hidden files out.
    QVERIFY(readTree(game + u"/data"_s) == readTree(dir.path() + u"/pristine"_s));
    // Windows marks every file it renames for archiving; the attributes a player sets stay.
    const DWORD kept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY;
    QCOMPARE(int(GetFileAttributesW(native(target).c_str()) & kept), int(DWORD(attributes) & kept));
    SetFileAttributesW(native(target).c_str(), FILE_ATTRIBUTE_NORMAL); // so it can be removed
}

// Under "Program Files (x86)" on drive C:, in a folder with spaces and a letter outside ASCII;
// the game must start as "VEXIL 4 BRASK.exe" in its folder, and vxmod wait for it to end.
void TestWindows::playWhereWindowsInstalls()
{
    const QString programFiles =
        QDir::fromNativeSeparators(qEnvironmentVariable("ProgramFiles(x86)"));
    if (programFiles.isEmpty() || !QFileInfo(programFiles).isWritable())
        QSKIP("Program Files (x86) is writable only by an administrator on this machine");
    TestDir dir;
    const QString game = programFiles + u"/KESTWYN test "_s +
                         QString::number(QCoreApplication::applicationPid()) +
                         u"/Vexil 4 Br\u00E4sk"_s;
    const QString root = QFileInfo(game).absolutePath();
    QVERIFY(stageDemoGame(game) && copyTree(game + u"/data"_s, dir.path() + u"/pristine"_s));
    const QProcessEnvironment env =
        testEnvironment(dir.path(), {u"VX_STANDIN_QUIT_AFTER_MS=1500"_s});

    QElapsedTimer timer;
    timer.start();
    const Run play = runVxmod({u"play"_s, u"--game"_s, game, u"NightSky"_s}, env);
    const qint64 elapsed = timer.elapsed();
    const QByteArray seen = readTree(dir.path()).value(u"snapshot.txt"_s);
    const QByteArray modded =
        hashTree(game + u"/VexilMods/NightSky"_s).value(u"Art/Sky/backdrop.txt"_s);
    const bool restored = readTree(game + u"/data"_s) == readTree(dir.path() + u"/pristine"_s);
    QDir(root).removeRecursively();

    QVERIFY2(play.exitCode == 0, qPrintable(play.err));
    QVERIFY2(elapsed >= 1500, qPrintable(QString::number(elapsed)));
    // The only program in the folder is the game, so the snapshot is its own.
    const QString text = QString::fromUtf8(seen);
    QVERIFY2(text.contains(u"cwd\t"_s + game + u'\n'), qPrintable(text));
    QVERIFY2(text.contains(u"file\tdata/Art/Sky/backdrop.txt\t"_s + QString::fromLatin1(modded)),
             qPrintable(text));
    QVERIFY(restored);
}

QTEST_GUILESS_MAIN(TestWindows)
#include "tst_windows.moc"
