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
    void testLookup_data();
    void testLookup();

private:
    static bool writeStore(const QString &root, const QString &folder, const QByteArray &text);
};

bool TestGameLookup::writeStore(const QString &root, const QString &folder, const QByteArray &text)
{
    const QString dir = root + u'/' + folder + u"/KESTWYN"_s;
    if (!QDir().mkpath(dir))
        return false;
    QFile file(dir + u"/Vexil 4 Brask.conf"_s);
    return file.open(QIODevice::WriteOnly) && file.write(text) == text.size();
}

void TestGameLookup::testLookup_data()
{
    QTest::addColumn<QByteArray>("user"); // empty: no store in that folder
    QTest::addColumn<QByteArray>("system1");
    QTest::addColumn<QByteArray>("system2");
    QTest::addColumn<QString>("installDir");
    QTest::addColumn<QString>("language");

    QTest::newRow("no store anywhere reads NONE for both")
        << QByteArray() << QByteArray() << QByteArray() << u"NONE"_s << u"NONE"_s;
    QTest::newRow("both values at the top level")
        << QByteArray("InstallDir=/games/vexil\nLanguage=FRE\n") << QByteArray() << QByteArray()
        << u"/games/vexil"_s << u"FRE"_s;
    QTest::newRow("user store wins over the system one")
        << QByteArray("InstallDir=/home/me/vexil\n")
        << QByteArray("InstallDir=/opt/vexil\nLanguage=SPA\n") << QByteArray()
        << u"/home/me/vexil"_s << u"NONE"_s;
    QTest::newRow("first system folder wins over the second")
        << QByteArray() << QByteArray("InstallDir=/opt/first\n")
        << QByteArray("InstallDir=/opt/second\n") << u"/opt/first"_s << u"NONE"_s;
    QTest::newRow("second system folder when the others have none")
        << QByteArray() << QByteArray() << QByteArray("InstallDir=/opt/second\nLanguage=SPA\n")
        << u"/opt/second"_s << u"SPA"_s;
    QTest::newRow("missing folder value reads NONE although the language is there")
        << QByteArray("Language=FRE\n") << QByteArray() << QByteArray() << u"NONE"_s << u"FRE"_s;
    QTest::newRow("empty folder value reads NONE, not the root")
        << QByteArray("InstallDir=\nLanguage=FRE\n") << QByteArray() << QByteArray() << u"NONE"_s
        << u"FRE"_s;
    QTest::newRow("trailing separators are dropped")
        << QByteArray("InstallDir=/games/vexil//\n") << QByteArray() << QByteArray()
        << u"/games/vexil"_s << u"NONE"_s;
    QTest::newRow("the root folder stays the root")
        << QByteArray("InstallDir=/\n") << QByteArray() << QByteArray() << u"/"_s << u"NONE"_s;
    QTest::newRow("spaces and non-ASCII letters survive")
        << QByteArray("InstallDir=/home/j\xC3\xBCrgen/Vexil 4 Brask\nLanguage=ENG\n")
        << QByteArray() << QByteArray() << QStringLiteral("/home/j\u00FCrgen/Vexil 4 Brask")
        << u"ENG"_s;
    QTest::newRow("quoted folder with a comma")
        << QByteArray("InstallDir=\"/games/Vexil, Gold\"\n") << QByteArray() << QByteArray()
        << u"/games/Vexil, Gold"_s << u"NONE"_s;
    QTest::newRow("unquoted comma does not lose the folder")
        << QByteArray("InstallDir=/games/Vexil,Gold\n") << QByteArray() << QByteArray()
        << u"/games/Vexil,Gold"_s << u"NONE"_s;
    QTest::newRow("values inside a section are not the game's")
        << QByteArray("[Game]\nInstallDir=/games/vexil\nLanguage=FRE\n") << QByteArray()
        << QByteArray() << u"NONE"_s << u"NONE"_s;
    QTest::newRow("key names are case-sensitive")
        << QByteArray("installdir=/games/vexil\nlanguage=FRE\n") << QByteArray() << QByteArray()
        << u"NONE"_s << u"NONE"_s;
    QTest::newRow("language value kept exactly, even in lower case")
        << QByteArray("InstallDir=/g\nLanguage=spa\n") << QByteArray() << QByteArray() << u"/g"_s
        << u"spa"_s;
    QTest::newRow("binary garbage reads NONE without harm")
        << QByteArray("\x00\xff\xfe[\x01=\x02\n\x7f", 10) << QByteArray() << QByteArray()
        << u"NONE"_s << u"NONE"_s;
}

void TestGameLookup::testLookup()
{
    QFETCH(QByteArray, user);
    QFETCH(QByteArray, system1);
    QFETCH(QByteArray, system2);
    QFETCH(QString, installDir);
    QFETCH(QString, language);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString root = dir.path();
    for (const QString &folder : {u"user"_s, u"system1"_s, u"system2"_s})
        QVERIFY(QDir().mkpath(root + u'/' + folder));
    if (!user.isEmpty())
        QVERIFY(writeStore(root, u"user"_s, user));
    if (!system1.isEmpty())
        QVERIFY(writeStore(root, u"system1"_s, system1));
    if (!system2.isEmpty())
        QVERIFY(writeStore(root, u"system2"_s, system2));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(root + u"/user"_s));
    qputenv("XDG_CONFIG_DIRS", QFile::encodeName(root + u"/system1:"_s + root + u"/system2"_s));

    const VxGameLocation location = lookupGame();
    QCOMPARE(location.installDir, installDir);
    QCOMPARE(location.language, language);
    QCOMPARE(location.found(), installDir != u"NONE"_s);
    dir.setAutoRemove(!QTest::currentTestFailed());
}

QTEST_GUILESS_MAIN(TestGameLookup)
#include "tst_gamelookup.moc"
