#include "app/gamelookup.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

// Points the XDG config folders at a temporary tree: "user" is the person's own folder,
// "system1" and "system2" the system-wide ones, in that order of precedence.
class TestGameLookup : public QObject
{
    Q_OBJECT

private slots:
    void testLookup_data()
    {
        QTest::addColumn<QByteArrayList>("stores"); // user, system1, system2; empty: none
        QTest::addColumn<QString>("installDir");
        QTest::addColumn<QString>("language");

        QTest::newRow("no store anywhere reads NONE for both")
            << QByteArrayList{{}, {}, {}} << u"NONE"_s << u"NONE"_s;
        QTest::newRow("user store wins over the system one")
            << QByteArrayList{"InstallDir=/home/me\n", "InstallDir=/opt\nLanguage=SPA\n", {}}
            << u"/home/me"_s << u"NONE"_s;
        QTest::newRow("first system folder wins over the second")
            << QByteArrayList{{}, "InstallDir=/opt/first\n", "InstallDir=/opt/second\n"}
            << u"/opt/first"_s << u"NONE"_s;
        QTest::newRow("second system folder when the others have none")
            << QByteArrayList{{}, {}, "InstallDir=/opt/second\nLanguage=SPA\n"} << u"/opt/second"_s
            << u"SPA"_s;
        QTest::newRow("empty folder value reads NONE, not the root")
            << QByteArrayList{"InstallDir=\nLanguage=FRE\n", {}, {}} << u"NONE"_s << u"FRE"_s;
        QTest::newRow("trailing separators are dropped")
            << QByteArrayList{"InstallDir=/games/vexil//\n", {}, {}} << u"/games/vexil"_s
            << u"NONE"_s;
        QTest::newRow("the root folder stays the root")
            << QByteArrayList{"InstallDir=/\n", {}, {}} << u"/"_s << u"NONE"_s;
        QTest::newRow("spaces, non-ASCII letters and a comma survive")
            << QByteArrayList{"InstallDir=/home/j\xC3\xBCrgen/Vexil 4,Gold\n", {}, {}}
            << u"/home/j\u00FCrgen/Vexil 4,Gold"_s << u"NONE"_s;
        QTest::newRow("values inside a section are not the game's")
            << QByteArrayList{"[Game]\nInstallDir=/games/vexil\n", {}, {}} << u"NONE"_s
            << u"NONE"_s;
        QTest::newRow("binary garbage reads NONE without harm")
            << QByteArrayList{QByteArray("\x00\xff\xfe[\x01=\x02\n\x7f", 10), {}, {}} << u"NONE"_s
            << u"NONE"_s;
    }

    void testLookup()
    {
        QFETCH(QByteArrayList, stores);
        QFETCH(QString, installDir);
        QFETCH(QString, language);

        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QStringList folders = {u"user"_s, u"system1"_s, u"system2"_s};
        for (int i = 0; i < folders.size(); ++i) {
            QVERIFY(QDir().mkpath(dir.filePath(folders.at(i) + u"/KESTWYN"_s)));
            QFile file(dir.filePath(folders.at(i) + u"/KESTWYN/Vexil 4 Brask.conf"_s));
            if (!stores.at(i).isEmpty())
                QVERIFY(file.open(QIODevice::WriteOnly) && file.write(stores.at(i)) > 0);
        }
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.filePath(u"user"_s)));
        qputenv("XDG_CONFIG_DIRS",
                QFile::encodeName(dir.filePath(u"system1"_s) + u':' + dir.filePath(u"system2"_s)));

        const VxGameLocation location = lookupGame();
        QCOMPARE(location.installDir, installDir);
        QCOMPARE(location.language, language);
        QCOMPARE(location.found(), installDir != u"NONE"_s);
        dir.setAutoRemove(!QTest::currentTestFailed());
    }
};

QTEST_GUILESS_MAIN(TestGameLookup)
#include "tst_gamelookup.moc"
