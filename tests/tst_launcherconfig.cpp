#include "testutil.h"
#include "ui/launcherconfig.h"

#include <QRandomGenerator>

#ifndef Q_OS_WIN
#include <sys/wait.h>
#include <unistd.h>
#endif

using namespace Qt::StringLiterals;

namespace {

// Writes settings to path as an account without root's right to ignore permissions: 1 when
// written, 0 when refused, -1 when there is no such account to be.
int writeAsOrdinaryUser(const QString &path, const VxLauncherSettings &settings)
{
#ifdef Q_OS_WIN
    return writeLauncherSettings(path, settings) ? 1 : 0;
#else
    if (::geteuid() != 0)
        return writeLauncherSettings(path, settings) ? 1 : 0;
    const pid_t child = ::fork();
    if (child == 0) {
        // "nobody": no folder of the test belongs to it.
        if (::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(2);
        ::_exit(writeLauncherSettings(path, settings) ? 1 : 0);
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status) ||
        WEXITSTATUS(status) > 1)
        return -1;
    return WEXITSTATUS(status);
#endif
}

} // namespace

class TestLauncherConfig : public QObject
{
    Q_OBJECT

private slots:
    void testRead_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QByteArray>("expected"); // the settings read, as the launcher writes them

        const QByteArray defaults = "/W:640 /H:480 /REFRESH:60 /ENABLEPORTFORWARDING";
        const QByteArray token = " /W:1024 /H:768 /REFRESH:85 ";
        QTest::newRow("empty file gives the defaults, port forwarding on")
            << QByteArray() << defaults;
        QTest::newRow("tokens over lines, tabs and blanks, in any order")
            << " /TELNET\r\n\t/MANUALCAMERA /W:1024\n\n/H:768 \t /REFRESH:85 /NOSOUND\n"
               "/ALLOWSCREENSHOTS /NOMOVIES"_ba
            << "/W:1024 /H:768 /REFRESH:85 /NOMOVIES /NOSOUND /ENABLEPORTFORWARDING "
               "/ALLOWSCREENSHOTS /MANUALCAMERA /TELNET"_ba;
        QTest::newRow("lower-case, suffixed and NUL- or high-byte-glued words are ignored")
            << "/w:1024 /telnet /TELNETX /NOMOVIES2 /TELNET\0/NOSOUND \xff/MANUALCAMERA"_ba
            << defaults;
        // 70000 rather than 65536: cut to 16 bits it would not read as 0 by chance.
        QTest::newRow("numbers beyond 16 bits, negative or with letters read 0, 65535 is kept")
            << "/W:800 /W:65535 /H:-600 /H:70000 /REFRESH:0x3C"_ba
            << "/W:65535 /H:0 /REFRESH:0 /ENABLEPORTFORWARDING"_ba;
        QTest::newRow("token inside the read limit counts")
            << QByteArray(launcherConfigReadLimit - 100, ' ') + token
            << "/W:1024 /H:768 /REFRESH:85 /ENABLEPORTFORWARDING"_ba;
        QTest::newRow("token after the read limit is ignored")
            << QByteArray(launcherConfigReadLimit, ' ') + token << defaults;
        QList<quint32> noise(4 * 1024 * 1024);
        QRandomGenerator(4711).fillRange(noise.data(), noise.size());
        QTest::newRow("megabytes of random binary bytes")
            << QByteArray(reinterpret_cast<const char *>(noise.constData()), 16 * 1024 * 1024) +
                   token
            << defaults;
    }

    void testRead()
    {
        QFETCH(QByteArray, content);
        QFETCH(QByteArray, expected);

        vxtest::TestDir dir;
        QVERIFY(vxtest::writeTree(dir.path(), {{u"launcher.cfg"_s, content}}));
        QCOMPARE(formatLauncherSettings(readLauncherSettings(dir.filePath(u"launcher.cfg"_s))),
                 expected);
    }

    void testWrite_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("inTheWay"); // "file", "folder" or nothing
        QTest::addColumn<QString>("left");     // what the game folder holds after; name: written

        QTest::newRow("shorter line replaces a longer one completely")
            << u"launcher.cfg"_s << u"file"_s << u"launcher.cfg"_s;
        QTest::newRow("a folder in the way fails cleanly")
            << u"launcher.cfg"_s << u"folder"_s << u"launcher.cfg/"_s;
        QTest::newRow("a missing game folder is not created")
            << u"missing/launcher.cfg"_s << QString() << QString();
        QTest::newRow("a writable file in a read-only folder is written in place")
            << u"launcher.cfg"_s << u"file, folder read-only"_s << u"launcher.cfg"_s;
        QTest::newRow("a read-only file in a read-only folder fails cleanly")
            << u"launcher.cfg"_s << u"read-only file, folder read-only"_s << QString();
    }

    void testWrite()
    {
        QFETCH(QString, name);
        QFETCH(QString, inTheWay);
        QFETCH(QString, left);

        vxtest::TestDir dir;
        if (inTheWay == u"folder"_s)
            QVERIFY(QDir(dir.path()).mkdir(name));
        else if (inTheWay.contains(u"file"_s))
            QVERIFY(vxtest::writeTree(dir.path(), {{name, "/W:1600 /H:1200 /REFRESH:85 /TELNET"}}));
        const bool readOnly = inTheWay.endsWith(u"folder read-only"_s);
        if (readOnly) {
            constexpr auto all = QFileDevice::ReadOwner | QFileDevice::ReadGroup |
                                 QFileDevice::ReadOther | QFileDevice::ExeOwner |
                                 QFileDevice::ExeGroup | QFileDevice::ExeOther;
            constexpr auto writable =
                QFileDevice::WriteOwner | QFileDevice::WriteGroup | QFileDevice::WriteOther;
            QVERIFY(QFile::setPermissions(dir.filePath(name),
                                          inTheWay.startsWith(u"read-only"_s)
                                              ? QFileDevice::Permissions(all)
                                              : QFileDevice::Permissions(all | writable)));
            QVERIFY(QFile::setPermissions(dir.path(), all));
        }
        // Port forwarding off is the one choice that reading can never give back.
        VxLauncherSettings settings;
        settings.noSounds = true;
        settings.portForwarding = false;
        QString error;
        const bool written = left == name;
        if (readOnly) {
            // Permissions hold for an ordinary account only.
            const int result = writeAsOrdinaryUser(dir.filePath(name), settings);
            QVERIFY(QFile::setPermissions(dir.path(), QFileDevice::ReadOwner |
                                                          QFileDevice::WriteOwner |
                                                          QFileDevice::ExeOwner));
            if (result < 0)
                QSKIP("no ordinary account to write as");
            QCOMPARE(result == 1, written);
            if (!written)
                left = name; // the read-only file stays as it was
        } else {
            QCOMPARE(writeLauncherSettings(dir.filePath(name), settings, &error), written);
            QCOMPARE(error.isEmpty(), written);
        }
        // Nothing but the file, or what stood in its way, is left in the game folder.
        const vxtest::Files after = vxtest::readTree(dir.path());
        QCOMPARE(after.keys().join(u' '), left);
        QCOMPARE(after.value(name), written ? "/W:640 /H:480 /REFRESH:60 /NOSOUND"_ba
                                    : inTheWay.contains(u"file"_s)
                                        ? "/W:1600 /H:1200 /REFRESH:85 /TELNET"_ba
                                        : QByteArray());
    }
};

QTEST_GUILESS_MAIN(TestLauncherConfig)
#include "tst_launcherconfig.moc"
