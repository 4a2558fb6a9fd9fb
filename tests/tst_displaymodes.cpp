#include "ui/displaymodes.h"

#include <QTest>

using namespace Qt::StringLiterals;

using ModeList = QList<VxDisplayMode>;

// "640x480 60, 800x600 75" → modes; keeps the rows short.
static ModeList modes(const QString &text)
{
    ModeList list;
    for (const QString &entry : text.split(u',', Qt::SkipEmptyParts)) {
        const QStringList parts = entry.trimmed().split(u' ');
        const QStringList size = parts.at(0).split(u'x');
        list.append({size.at(0).toInt(), size.at(1).toInt(), parts.at(1).toInt()});
    }
    return list;
}

// The lists as "640x480:60Hz/75Hz 800x600:60Hz".
static QString describe(const VxDisplayModeLists &lists)
{
    QStringList entries;
    for (int i = 0; i < lists.resolutions.size(); ++i)
        entries.append(lists.resolutions.at(i) + u':' + lists.refreshLists.at(i).join(u'/'));
    return entries.join(u' ');
}

class TestDisplayModes : public QObject
{
    Q_OBJECT

private slots:
    void testMerge_data();
    void testMerge();
    void testChoice_data();
    void testChoice();
};

void TestDisplayModes::testMerge_data()
{
    QTest::addColumn<ModeList>("input");
    QTest::addColumn<QString>("expected");

    QTest::newRow("no modes at all") << ModeList() << QString();
    QTest::newRow("639 wide is too narrow, 479 high too low")
        << modes(u"639x480 60, 640x479 60, 320x200 70"_s) << QString();
    QTest::newRow("640x480 is the smallest kept") << modes(u"640x480 60"_s) << u"640x480:60Hz"_s;
    QTest::newRow("colour depths of one mode merge")
        << modes(u"800x600 60, 800x600 60, 800x600 60"_s) << u"800x600:60Hz"_s;
    QTest::newRow("order of first appearance, not sorted")
        << modes(u"1024x768 60, 800x600 60, 1024x768 75, 640x480 60"_s)
        << u"1024x768:60Hz/75Hz 800x600:60Hz 640x480:60Hz"_s;
    QTest::newRow("refresh rates keep their own first-appearance order")
        << modes(u"800x600 85, 800x600 60, 800x600 75, 800x600 60"_s)
        << u"800x600:85Hz/60Hz/75Hz"_s;
    QTest::newRow("a too-small mode between others leaves no gap")
        << modes(u"640x480 60, 512x384 60, 800x600 60"_s) << u"640x480:60Hz 800x600:60Hz"_s;
    QTest::newRow("negative sizes from a broken driver are dropped")
        << modes(u"-800x600 60, 800x-600 60"_s) << QString();
    QTest::newRow("zero refresh is listed as reported")
        << modes(u"1920x1080 0"_s) << u"1920x1080:0Hz"_s;
}

void TestDisplayModes::testMerge()
{
    QFETCH(ModeList, input);
    QFETCH(QString, expected);

    QCOMPARE(describe(mergeDisplayModes(input)), expected);
}

void TestDisplayModes::testChoice_data()
{
    QTest::addColumn<ModeList>("input");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("refresh");
    QTest::addColumn<int>("resolution");
    QTest::addColumn<int>("refreshIndex");

    const ModeList ladder =
        modes(u"640x480 60, 800x600 60, 1024x768 60, 1024x768 75, 1024x768 85, 1280x960 60, "
              "1600x1200 60"_s);
    QTest::newRow("saved mode listed") << ladder << 1024 << 768 << 75 << 2 << 1;
    QTest::newRow("saved 1280x1024 picks 1280x960 below it")
        << ladder << 1280 << 1024 << 60 << 3 << 0;
    QTest::newRow("saved refresh 100 picks 85Hz below it")
        << ladder << 1024 << 768 << 100 << 2 << 2;
    QTest::newRow("saved refresh 50 keeps the first rate") << ladder << 1024 << 768 << 50 << 2 << 0;
    QTest::newRow("saved smaller than every mode keeps the first")
        << ladder << 320 << 200 << 60 << 0 << 0;
    QTest::newRow("malformed saved numbers read 0 and keep the first")
        << ladder << 0 << 0 << 0 << 0 << 0;
    QTest::newRow("width fits but height does not walks further down")
        << ladder << 1600 << 700 << 60 << 1 << 0;
    QTest::newRow("larger than every mode picks the last")
        << ladder << 4000 << 3000 << 240 << 4 << 0;

    const ModeList first = modes(u"800x600 60, 800x600 72, 800x600 75, 1024x768 60"_s);
    QTest::newRow("saved mode at index 0 with several rates")
        << first << 800 << 600 << 72 << 0 << 1;

    const ModeList unsorted = modes(u"1024x768 60, 640x480 60, 800x600 60"_s);
    QTest::newRow("unsorted list: the last qualifying entry from the end wins")
        << unsorted << 900 << 700 << 60 << 2 << 0;

    QTest::newRow("nothing to choose from") << ModeList() << 640 << 480 << 60 << -1 << -1;
}

void TestDisplayModes::testChoice()
{
    QFETCH(ModeList, input);
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(int, refresh);
    QFETCH(int, resolution);
    QFETCH(int, refreshIndex);

    const VxDisplayChoice choice =
        chooseDisplayMode(mergeDisplayModes(input), width, height, refresh);
    QCOMPARE(choice.resolution, resolution);
    QCOMPARE(choice.refresh, refreshIndex);
}

QTEST_GUILESS_MAIN(TestDisplayModes)
#include "tst_displaymodes.moc"
