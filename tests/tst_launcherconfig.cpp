#include "ui/launcherconfig.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

// Settings as a compact string for comparisons with readable failures:
// "W H R" then the letters of the switches that are on (m s p a c t).
static QString describe(const VxLauncherSettings &s)
{
    QString flags;
    if (s.noMovies)
        flags += u'm';
    if (s.noSounds)
        flags += u's';
    if (s.portForwarding)
        flags += u'p';
    if (s.allowScreenshots)
        flags += u'a';
    if (s.manualCamera)
        flags += u'c';
    if (s.telnet)
        flags += u't';
    return u"%1 %2 %3 %4"_s.arg(s.width).arg(s.height).arg(s.refreshRate).arg(flags);
}

// The inverse of describe().
static VxLauncherSettings settingsFrom(const QString &description)
{
    const QStringList parts = description.split(u' ');
    VxLauncherSettings s;
    s.width = parts.at(0).toUShort();
    s.height = parts.at(1).toUShort();
    s.refreshRate = parts.at(2).toUShort();
    const QString flags = parts.at(3);
    s.noMovies = flags.contains(u'm');
    s.noSounds = flags.contains(u's');
    s.portForwarding = flags.contains(u'p');
    s.allowScreenshots = flags.contains(u'a');
    s.manualCamera = flags.contains(u'c');
    s.telnet = flags.contains(u't');
    return s;
}

class TestLauncherConfig : public QObject
{
    Q_OBJECT

private slots:
    void testParse_data();
    void testParse();
    void testFormat_data();
    void testFormat();
    void testRoundTrip_data();
    void testRoundTrip();
    void testBadFiles_data();
    void testBadFiles();
    void testWriteFailureKeepsOldFile();
    void testTextParsers_data();
    void testTextParsers();
};

void TestLauncherConfig::testParse_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("expected");

    QTest::newRow("empty file gives the defaults") << QByteArray() << u"640 480 60 p"_s;
    QTest::newRow("the line the launcher writes")
        << QByteArray("/W:1024 /H:768 /REFRESH:75 /NOSOUND /ENABLEPORTFORWARDING")
        << u"1024 768 75 sp"_s;
    QTest::newRow("tokens over lines, tabs and extra blanks")
        << QByteArray("  /W:800\r\n\t/H:600\n\n/REFRESH:85 \t /TELNET\n") << u"800 600 85 pt"_s;
    QTest::newRow("port forwarding stays on without its token")
        << QByteArray("/W:800 /H:600 /REFRESH:60") << u"800 600 60 p"_s;
    QTest::newRow("every switch on")
        << QByteArray("/NOMOVIES /NOSOUND /ENABLEPORTFORWARDING /ALLOWSCREENSHOTS /MANUALCAMERA "
                      "/TELNET")
        << u"640 480 60 mspact"_s;
    QTest::newRow("lower-case width token is ignored")
        << QByteArray("/w:1024 /H:768") << u"640 768 60 p"_s;
    QTest::newRow("lower-case switch is ignored") << QByteArray("/telnet") << u"640 480 60 p"_s;
    QTest::newRow("switch with a suffix is ignored")
        << QByteArray("/TELNETX /NOMOVIES2") << u"640 480 60 p"_s;
    QTest::newRow("width beyond 16 bits reads 0") << QByteArray("/W:65536") << u"0 480 60 p"_s;
    QTest::newRow("largest 16-bit width is kept") << QByteArray("/W:65535") << u"65535 480 60 p"_s;
    QTest::newRow("negative height reads 0") << QByteArray("/H:-600") << u"640 0 60 p"_s;
    QTest::newRow("number with trailing letters reads 0")
        << QByteArray("/REFRESH:60Hz") << u"640 480 0 p"_s;
    QTest::newRow("token without a number reads 0") << QByteArray("/W:") << u"0 480 60 p"_s;
    QTest::newRow("hexadecimal is no number") << QByteArray("/W:0x400") << u"0 480 60 p"_s;
    QTest::newRow("a later token wins") << QByteArray("/W:800 /W:1024") << u"1024 480 60 p"_s;
    QTest::newRow("unknown words are harmless")
        << QByteArray("hello /X:1 /W:800 world") << u"800 480 60 p"_s;
    QTest::newRow("NUL inside a word does not split it")
        << QByteArray("/TELNET\0/NOSOUND", 16) << u"640 480 60 p"_s;
    QTest::newRow("high bytes glued to a token spoil it")
        << QByteArray("\xff/TELNET /NOSOUND\xfe") << u"640 480 60 p"_s;
    QTest::newRow("no line end needed after the last token")
        << QByteArray("/MANUALCAMERA") << u"640 480 60 pc"_s;
}

void TestLauncherConfig::testParse()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, expected);

    QCOMPARE(describe(parseLauncherSettings(text)), expected);
}

void TestLauncherConfig::testFormat_data()
{
    QTest::addColumn<QString>("settings"); // in describe() form
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("defaults") << u"640 480 60 p"_s
                              << QByteArray("/W:640 /H:480 /REFRESH:60 /ENABLEPORTFORWARDING");
    QTest::newRow("no sounds and port forwarding, as in the manual")
        << u"1024 768 60 sp"_s
        << QByteArray("/W:1024 /H:768 /REFRESH:60 /NOSOUND /ENABLEPORTFORWARDING");
    QTest::newRow("every switch in the fixed order")
        << u"1600 1200 85 mspact"_s
        << QByteArray("/W:1600 /H:1200 /REFRESH:85 /NOMOVIES /NOSOUND /ENABLEPORTFORWARDING "
                      "/ALLOWSCREENSHOTS /MANUALCAMERA /TELNET");
    QTest::newRow("all off and no modes still writes the three numbers")
        << u"0 0 0 "_s << QByteArray("/W:0 /H:0 /REFRESH:0");
}

void TestLauncherConfig::testFormat()
{
    QFETCH(QString, settings);
    QFETCH(QByteArray, expected);

    QCOMPARE(formatLauncherSettings(settingsFrom(settings)), expected);
}

void TestLauncherConfig::testRoundTrip_data()
{
    QTest::addColumn<QByteArray>("previous"); // the file before the write; empty: none
    QTest::addColumn<QString>("settings");

    QTest::newRow("first write") << QByteArray() << u"1280 1024 75 mspact"_s;
    QTest::newRow("shorter line replaces a longer one completely")
        << QByteArray("/W:1600 /H:1200 /REFRESH:85 /NOMOVIES /NOSOUND /ENABLEPORTFORWARDING "
                      "/ALLOWSCREENSHOTS /MANUALCAMERA /TELNET")
        << u"800 600 60 p"_s;
}

void TestLauncherConfig::testRoundTrip()
{
    QFETCH(QByteArray, previous);
    QFETCH(QString, settings);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(u"launcher.cfg"_s);
    if (!previous.isEmpty()) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(previous);
    }
    const VxLauncherSettings s = settingsFrom(settings);
    QString error;
    QVERIFY2(writeLauncherSettings(path, s, &error), qPrintable(error));
    QCOMPARE(describe(readLauncherSettings(path)), describe(s));
    // Nothing but the file itself is left behind in the game folder.
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
             QStringList{u"launcher.cfg"_s});
    dir.setAutoRemove(!QTest::currentTestFailed());
}

void TestLauncherConfig::testBadFiles_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("expected");

    const QByteArray token = " /W:1024 /TELNET ";
    QTest::newRow("token inside the read limit counts")
        << QByteArray(int(launcherConfigReadLimit) - 100, ' ') + token << u"1024 480 60 pt"_s;
    QTest::newRow("token after the read limit is ignored")
        << QByteArray(int(launcherConfigReadLimit), ' ') + token << u"640 480 60 p"_s;
    QTest::newRow("many megabytes of one endless word")
        << QByteArray(16 * 1024 * 1024, 'x') + token << u"640 480 60 p"_s;
    QByteArray random(256 * 1024, '\0');
    QRandomGenerator generator(4711);
    for (char &c : random)
        c = char(generator.bounded(256));
    QTest::newRow("random binary bytes") << random + token << u"640 480 60 p"_s;
    QTest::newRow("out-of-range numbers everywhere")
        << QByteArray("/W:99999999999999999999 /H:4294967296 /REFRESH:-1") << u"0 0 0 p"_s;
}

void TestLauncherConfig::testBadFiles()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, expected);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(u"launcher.cfg"_s);
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(content), qint64(content.size()));
    file.close();

    QCOMPARE(describe(readLauncherSettings(path)), expected);
    dir.setAutoRemove(!QTest::currentTestFailed());
}

void TestLauncherConfig::testWriteFailureKeepsOldFile()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());

    // A folder in the way of the file: the write must fail cleanly.
    const QString blocked = dir.filePath(u"launcher.cfg"_s);
    QVERIFY(QDir().mkdir(blocked));
    QString error;
    QVERIFY(!writeLauncherSettings(blocked, VxLauncherSettings(), &error));
    QVERIFY(!error.isEmpty());
    QVERIFY(QFileInfo(blocked).isDir());

    // A game folder that does not exist: nothing gets created.
    const QString nowhere = dir.filePath(u"missing/launcher.cfg"_s);
    QVERIFY(!writeLauncherSettings(nowhere, VxLauncherSettings()));
    QVERIFY(!QFileInfo::exists(dir.filePath(u"missing"_s)));
    QCOMPARE(describe(readLauncherSettings(nowhere)), u"640 480 60 p"_s);
    dir.setAutoRemove(!QTest::currentTestFailed());
}

void TestLauncherConfig::testTextParsers_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("refresh");

    QTest::newRow("plain resolution") << u"1024x768"_s << 1024 << 768 << 0;
    QTest::newRow("height takes everything after the first x")
        << u"1280x1024x2"_s << 1280 << 0 << 0;
    QTest::newRow("letters before the x") << u"abcx600"_s << 0 << 600 << 0;
    QTest::newRow("empty combo text") << QString() << 0 << 0 << 0;
    QTest::newRow("refresh text") << u"60Hz"_s << 0 << 0 << 60;
    QTest::newRow("three-digit refresh") << u"144Hz"_s << 0 << 0 << 144;
    QTest::newRow("refresh text too short") << u"Hz"_s << 0 << 0 << 0;
    QTest::newRow("single character") << u"7"_s << 7 << 0 << 0;
}

void TestLauncherConfig::testTextParsers()
{
    QFETCH(QString, text);
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(int, refresh);

    QCOMPARE(resolutionWidth(text), width);
    QCOMPARE(resolutionHeight(text), height);
    QCOMPARE(refreshValue(text), refresh);
}

QTEST_GUILESS_MAIN(TestLauncherConfig)
#include "tst_launcherconfig.moc"
