#include "ui/launcherconfig.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

class TestLauncherConfig : public QObject
{
    Q_OBJECT

private slots:
    void testRead_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QByteArray>("expected"); // the settings read, as the launcher writes them

        const QByteArray defaults = "/W:640 /H:480 /REFRESH:60 /ENABLEPORTFORWARDING";
        const QByteArray every = "/W:1024 /H:768 /REFRESH:85 /NOMOVIES /NOSOUND "
                                 "/ENABLEPORTFORWARDING /ALLOWSCREENSHOTS /MANUALCAMERA /TELNET";
        QTest::newRow("empty file gives the defaults, port forwarding on")
            << QByteArray() << defaults;
        QTest::newRow("tokens over lines, tabs and blanks, in any order")
            << QByteArray(" /TELNET\r\n\t/MANUALCAMERA /W:1024\n\n/H:768 \t /REFRESH:85 /NOSOUND\n"
                          "/ALLOWSCREENSHOTS /NOMOVIES")
            << every;
        QTest::newRow("lower-case and suffixed words are ignored")
            << QByteArray("/w:1024 /telnet /TELNETX /NOMOVIES2 hello") << defaults;
        // 70000 rather than 65536: cut to 16 bits it would not read as 0 by chance.
        QTest::newRow("numbers beyond 16 bits, negative or with letters read 0")
            << QByteArray("/W:70000 /H:-600 /REFRESH:0x3C")
            << QByteArray("/W:0 /H:0 /REFRESH:0 /ENABLEPORTFORWARDING");
        QTest::newRow("the largest 16-bit number is kept and a later token wins")
            << QByteArray("/W:800 /W:65535")
            << QByteArray("/W:65535 /H:480 /REFRESH:60 /ENABLEPORTFORWARDING");
        QTest::newRow("NUL inside a word does not split it")
            << QByteArray("/TELNET\0/NOSOUND", 16) << defaults;
        QTest::newRow("high bytes glued to a token spoil it")
            << QByteArray("\xff/TELNET /NOSOUND\xfe") << defaults;

        const QByteArray token = " /W:1024 /H:768 /REFRESH:85 ";
        QTest::newRow("token inside the read limit counts")
            << QByteArray(launcherConfigReadLimit - 100, ' ') + token
            << QByteArray("/W:1024 /H:768 /REFRESH:85 /ENABLEPORTFORWARDING");
        QTest::newRow("token after the read limit is ignored")
            << QByteArray(launcherConfigReadLimit, ' ') + token << defaults;
        QTest::newRow("many megabytes of one endless word")
            << QByteArray(16 * 1024 * 1024, 'x') + token << defaults;
        QList<quint32> noise(64 * 1024);
        QRandomGenerator(4711).fillRange(noise.data(), noise.size());
        QTest::newRow("random binary bytes")
            << QByteArray(reinterpret_cast<const char *>(noise.constData()), 256 * 1024) + token
            << defaults;
    }

    void testRead()
    {
        QFETCH(QByteArray, content);
        QFETCH(QByteArray, expected);

        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QFile file(dir.filePath(u"launcher.cfg"_s));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
        file.close();
        QCOMPARE(formatLauncherSettings(readLauncherSettings(file.fileName())), expected);
        dir.setAutoRemove(!QTest::currentTestFailed());
    }

    void testWrite_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("previous"); // empty: no file; "<folder>": a folder there
        QTest::addColumn<bool>("written");

        QTest::newRow("first write") << u"launcher.cfg"_s << QByteArray() << true;
        QTest::newRow("shorter line replaces a longer one completely")
            << u"launcher.cfg"_s << QByteArray("/W:1600 /H:1200 /REFRESH:85 /NOMOVIES /TELNET")
            << true;
        QTest::newRow("a folder in the way fails cleanly")
            << u"launcher.cfg"_s << QByteArray("<folder>") << false;
        QTest::newRow("a missing game folder is not created")
            << u"missing/launcher.cfg"_s << QByteArray() << false;
    }

    void testWrite()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, previous);
        QFETCH(bool, written);

        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QFile file(dir.filePath(name));
        if (previous == "<folder>")
            QVERIFY(QDir().mkdir(file.fileName()));
        else if (!previous.isEmpty())
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(previous) > 0);
        file.close();

        // Port forwarding off is the one choice that reading can never give back.
        VxLauncherSettings settings;
        settings.noSounds = true;
        settings.portForwarding = false;
        QString error;
        QCOMPARE(writeLauncherSettings(file.fileName(), settings, &error), written);
        QCOMPARE(error.isEmpty(), written);
        if (written) {
            QVERIFY(file.open(QIODevice::ReadOnly));
            QCOMPARE(file.readAll(), "/W:640 /H:480 /REFRESH:60 /NOSOUND");
        }
        // Nothing but the file, or what stood in its way, is left in the game folder.
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 name.contains(u'/') ? QStringList() : QStringList{u"launcher.cfg"_s});
        QCOMPARE(QFileInfo(file.fileName()).isDir(), previous == "<folder>");
        dir.setAutoRemove(!QTest::currentTestFailed());
    }

    void testTextParsers_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QList<int>>("expected"); // width, height, refresh

        QTest::newRow("plain resolution") << u"1024x768"_s << QList<int>{1024, 768, 0};
        QTest::newRow("refresh text") << u"144Hz"_s << QList<int>{0, 0, 144};
        QTest::newRow("empty combo text") << QString() << QList<int>{0, 0, 0};
        QTest::newRow("single character") << u"7"_s << QList<int>{7, 0, 0};
    }

    void testTextParsers()
    {
        QFETCH(QString, text);
        QFETCH(QList<int>, expected);

        QCOMPARE((QList<int>{resolutionWidth(text), resolutionHeight(text), refreshValue(text)}),
                 expected);
    }
};

QTEST_GUILESS_MAIN(TestLauncherConfig)
#include "tst_launcherconfig.moc"
