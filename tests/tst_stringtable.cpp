#include "app/stringtable.h"

#include <QTest>

using namespace Qt::StringLiterals;

class TestStringTable : public QObject
{
    Q_OBJECT

private slots:
    void testEntries_data()
    {
        QTest::addColumn<QString>("language"); // the game's stored language value
        QTest::addColumn<int>("id");
        QTest::addColumn<QString>("expected"); // empty: no entry

        QTest::newRow("spanish opening question mark") << u"SPA"_s << 16 << u"\u00A1Error!"_s;
        QTest::newRow("spanish keeps english initializing") << u"SPA"_s << 21 << u"Initializing "_s;
        QTest::newRow("french accents in the last entry")
            << u"FRE"_s << 23
            << u"Le jeu n'a pas \u00E9t\u00E9 quitt\u00E9 correctement. Voulez vous voir le log ?"_s;
        QTest::newRow("missing value is english, trailing blank kept")
            << u"NONE"_s << 14 << u"Author : "_s;
        QTest::newRow("lower-case spa is not spanish") << u"spa"_s << 16 << u"Error!"_s;
        QTest::newRow("padded FRE is not french") << u" FRE"_s << 16 << u"Error!"_s;
        QTest::newRow("negative id") << u"ENG"_s << -1 << QString();
        QTest::newRow("terminator slot") << u"ENG"_s << 24 << QString();
    }

    void testEntries()
    {
        QFETCH(QString, language);
        QFETCH(int, id);
        QFETCH(QString, expected);

        loadStringTable(languageIndexFor(language));
        QCOMPARE(tableString(id), expected);
    }
};

QTEST_GUILESS_MAIN(TestStringTable)
#include "tst_stringtable.moc"
