#include "ui/displaymodes.h"

#include <QPoint>
#include <QSize>
#include <QTest>

#ifdef Q_OS_WIN
#include <qt_windows.h>
#endif

using namespace Qt::StringLiterals;

using ModeList = QList<VxDisplayMode>;

class TestDisplayModes : public QObject
{
    Q_OBJECT

private slots:
    void testMerge_data()
    {
        QTest::addColumn<ModeList>("input");
        QTest::addColumn<QString>("expected"); // "640x480:60Hz/75Hz 800x600:60Hz"

        QTest::newRow("639 wide and 479 high are dropped, 640x480 is kept")
            << ModeList{{639, 480, 60}, {640, 479, 60}, {640, 480, 60}} << u"640x480:60Hz"_s;
        QTest::newRow("colour depths of one mode merge")
            << ModeList{{800, 600, 60}, {800, 600, 60}, {800, 600, 60}} << u"800x600:60Hz"_s;
        QTest::newRow("sizes and rates keep their order of first appearance, not sorted")
            << ModeList{{1024, 768, 85}, {800, 600, 60}, {1024, 768, 60}, {640, 480, 60}}
            << u"1024x768:85Hz/60Hz 800x600:60Hz 640x480:60Hz"_s;
        QTest::newRow("a too-small mode between others leaves no gap")
            << ModeList{{640, 480, 60}, {512, 384, 60}, {800, 600, 75}}
            << u"640x480:60Hz 800x600:75Hz"_s;
    }

    void testMerge()
    {
        QFETCH(ModeList, input);
        QFETCH(QString, expected);

        const VxDisplayModeLists lists = mergeDisplayModes(input);
        QCOMPARE(lists.refreshLists.size(), lists.resolutions.size());
        QStringList entries;
        for (int i = 0; i < lists.resolutions.size(); ++i)
            entries.append(lists.resolutions.at(i) + u':' + lists.refreshLists.at(i).join(u'/'));
        QCOMPARE(entries.join(u' '), expected);
    }

    void testChoice_data()
    {
        QTest::addColumn<ModeList>("input");
        QTest::addColumn<QSize>("saved");
        QTest::addColumn<int>("refresh");
        QTest::addColumn<QPoint>("chosen"); // resolution index, refresh index

        const ModeList ladder = {{640, 480, 60},  {800, 600, 60},  {1024, 768, 60}, {1024, 768, 75},
                                 {1024, 768, 85}, {1280, 960, 60}, {1600, 1200, 60}};
        QTest::newRow("saved mode listed") << ladder << QSize(1024, 768) << 75 << QPoint(2, 1);
        QTest::newRow("saved 1280x1024 picks 1280x960 below it")
            << ladder << QSize(1280, 1024) << 60 << QPoint(3, 0);
        QTest::newRow("saved refresh 100 picks 85Hz below it")
            << ladder << QSize(1024, 768) << 100 << QPoint(2, 2);
        QTest::newRow("saved refresh 50 keeps the first rate")
            << ladder << QSize(1024, 768) << 50 << QPoint(2, 0);
        QTest::newRow("saved smaller than every mode keeps the first")
            << ladder << QSize(320, 200) << 60 << QPoint(0, 0);
        QTest::newRow("width fits but height does not walks further down")
            << ladder << QSize(1600, 700) << 60 << QPoint(1, 0);
        QTest::newRow("saved mode at index 0 with several rates")
            << ModeList{{800, 600, 60}, {800, 600, 72}, {1024, 768, 60}} << QSize(800, 600) << 72
            << QPoint(0, 1);
        QTest::newRow("unsorted list: the last qualifying entry from the end wins")
            << ModeList{{1024, 768, 60}, {640, 480, 60}, {800, 600, 60}} << QSize(900, 700) << 60
            << QPoint(2, 0);
        QTest::newRow("nothing to choose from")
            << ModeList() << QSize(640, 480) << 60 << QPoint(-1, -1);
    }

    void testChoice()
    {
        QFETCH(ModeList, input);
        QFETCH(QSize, saved);
        QFETCH(int, refresh);
        QFETCH(QPoint, chosen);

        const VxDisplayChoice choice =
            chooseDisplayMode(mergeDisplayModes(input), saved.width(), saved.height(), refresh);
        QCOMPARE(QPoint(choice.resolution, choice.refresh), chosen);
    }

    // The system's own list, from EnumDisplaySettingsW. Without a display, Wine's null driver
    // lists 640x480, 800x600 and 1024x768 at 60Hz, in 32 and then 16 bits per pixel.
    void windowsModes_data()
    {
#ifdef Q_OS_WIN
        if (!GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") ||
            qEnvironmentVariableIsSet("DISPLAY"))
            QSKIP(
                "a real display's modes depend on its monitor; this list is Wine's null driver's");
#else
        QSKIP("EnumDisplaySettingsW exists on Windows only");
#endif
        QTest::addColumn<QSize>("saved");
        QTest::addColumn<int>("refresh");
        QTest::addColumn<QString>("resolution"); // chosen
        QTest::addColumn<QString>("rate");

        QTest::newRow("saved mode listed") << QSize(800, 600) << 60 << u"800x600"_s << u"60Hz"_s;
        QTest::newRow("saved 1280x1024 picks 1024x768, the last in Windows' order")
            << QSize(1280, 1024) << 60 << u"1024x768"_s << u"60Hz"_s;
        QTest::newRow("saved 1000x700 picks 800x600 below it, not 1024x768 above")
            << QSize(1000, 700) << 75 << u"800x600"_s << u"60Hz"_s;
    }

    void windowsModes()
    {
        QFETCH(QSize, saved);
        QFETCH(int, refresh);
        QFETCH(QString, resolution);
        QFETCH(QString, rate);

        const VxDisplayModeLists lists = mergeDisplayModes(systemDisplayModes());
        QCOMPARE(lists.resolutions, (QStringList{u"640x480"_s, u"800x600"_s, u"1024x768"_s}));
        QCOMPARE(lists.refreshLists, QList<QStringList>(3, QStringList{u"60Hz"_s}));
        const VxDisplayChoice choice =
            chooseDisplayMode(lists, saved.width(), saved.height(), refresh);
        QCOMPARE(lists.resolutions.value(choice.resolution), resolution);
        QCOMPARE(lists.refreshLists.value(choice.resolution).value(choice.refresh), rate);
    }
};

QTEST_GUILESS_MAIN(TestDisplayModes)
#include "tst_displaymodes.moc"
