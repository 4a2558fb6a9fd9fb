#include "app/stringtable.h"

#include <QTest>

using namespace Qt::StringLiterals;

class TestStringTable : public QObject
{
    Q_OBJECT

private slots:
    void testEntries_data();
    void testEntries();
    void testLanguageChoice_data();
    void testLanguageChoice();
    void testIdsOutsideTheTable_data();
    void testIdsOutsideTheTable();
};

void TestStringTable::testEntries_data()
{
    QTest::addColumn<int>("languageIndex");
    QTest::addColumn<int>("id");
    QTest::addColumn<QString>("expected");

    QTest::newRow("french code") << 0 << 0 << u"fr"_s;
    QTest::newRow("english code") << 1 << 0 << u"en"_s;
    QTest::newRow("spanish code") << 2 << 0 << u"sp"_s;
    QTest::newRow("unknown index falls back to english") << 7 << 0 << u"en"_s;

    QTest::newRow("spanish title") << 2 << 1 << u"Lanzador de mods de Vexil 4: Brask"_s;
    QTest::newRow("spanish opening question mark") << 2 << 16 << QStringLiteral("\u00A1Error!");
    QTest::newRow("spanish accented o") << 2 << 2 << QStringLiteral("Resoluci\u00F3n");
    QTest::newRow("spanish keeps english initializing") << 2 << 21 << u"Initializing "_s;
    QTest::newRow("spanish keeps english question")
        << 2 << 23 << u"The game has not been closed properly. Do you wish to see the log?"_s;

    QTest::newRow("english title") << 1 << 1 << u"Vexil 4: Brask! Mod Launcher"_s;
    QTest::newRow("english trailing blank kept") << 1 << 14 << u"Author : "_s;
    QTest::newRow("english not found")
        << 1 << 17 << u"Could not find Vexil 4: Brask directory. Try reinstalling the game."_s;
    QTest::newRow("english last entry")
        << 1 << 23 << u"The game has not been closed properly. Do you wish to see the log?"_s;

    QTest::newRow("french i circumflex") << 0 << 3 << QStringLiteral("Rafra\u00EEchissement");
    QTest::newRow("french e acute and apostrophe")
        << 0 << 8 << QStringLiteral("Autoriser captures d'\u00E9cran");
    QTest::newRow("french blank before exclamation") << 0 << 16 << u"Erreur !"_s;
    QTest::newRow("french custom files")
        << 0 << 22 << QStringLiteral("Chargement des fichiers personnalis\u00E9s ");
    QTest::newRow("french last entry")
        << 0 << 23
        << QStringLiteral(
               "Le jeu n'a pas \u00E9t\u00E9 quitt\u00E9 correctement. Voulez vous voir le log ?");
}

void TestStringTable::testEntries()
{
    QFETCH(int, languageIndex);
    QFETCH(int, id);
    QFETCH(QString, expected);

    loadStringTable(quint8(languageIndex));
    QCOMPARE(tableString(id), expected);
}

void TestStringTable::testLanguageChoice_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<int>("index");

    QTest::newRow("FRE picks french") << u"FRE"_s << 0;
    QTest::newRow("SPA picks spanish") << u"SPA"_s << 2;
    QTest::newRow("ENG picks english") << u"ENG"_s << 1;
    QTest::newRow("missing value picks english") << u"NONE"_s << 1;
    QTest::newRow("empty value picks english") << QString() << 1;
    QTest::newRow("lower-case spa is not spanish") << u"spa"_s << 1;
    QTest::newRow("lower-case fre is not french") << u"fre"_s << 1;
    QTest::newRow("padded FRE is not french") << u" FRE"_s << 1;
    QTest::newRow("longer code is not french") << u"FREN"_s << 1;
}

void TestStringTable::testLanguageChoice()
{
    QFETCH(QString, value);
    QFETCH(int, index);

    QCOMPARE(int(languageIndexFor(value)), index);
}

void TestStringTable::testIdsOutsideTheTable_data()
{
    QTest::addColumn<int>("id");

    QTest::newRow("negative id") << -1;
    QTest::newRow("terminator slot") << 24;
    QTest::newRow("far beyond the end") << 1000;
}

void TestStringTable::testIdsOutsideTheTable()
{
    QFETCH(int, id);

    loadStringTable(1);
    QVERIFY(tableString(id).isEmpty());
}

QTEST_GUILESS_MAIN(TestStringTable)
#include "tst_stringtable.moc"
