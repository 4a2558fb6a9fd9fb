#include "ui/displaymodes.h"

#include <QFile>
#include <QPoint>
#include <QProcess>
#include <QRandomGenerator>
#include <QSize>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#ifdef Q_OS_WIN
#include <qt_windows.h>
#else
#include <unistd.h>
#endif

using namespace Qt::StringLiterals;

using ModeList = QList<VxDisplayMode>;

namespace {

// The resolution and refresh texts a saved choice selects, as the dialog would show them.
QString chosenTexts(const ModeList &modes, QSize saved, int refresh)
{
    const VxDisplayModeLists lists = mergeDisplayModes(modes);
    const VxDisplayChoice choice = chooseDisplayMode(lists, saved.width(), saved.height(), refresh);
    if (choice.resolution < 0)
        return QString();
    return lists.resolutions.at(choice.resolution) + u' ' +
           lists.refreshLists.at(choice.resolution).at(choice.refresh);
}

#ifndef Q_OS_WIN
// An X server with the dummy video driver: a real RandR output with dozens of modes, listed
// the way X servers list them (preferred first, then largest first).
class DummyXServer
{
public:
    ~DummyXServer()
    {
        if (m_server.state() != QProcess::NotRunning) {
            m_server.terminate();
            if (!m_server.waitForFinished(5000))
                m_server.kill();
            m_server.waitForFinished(5000);
        }
    }

    // Empty when the server runs; otherwise why not.
    QString start()
    {
        if (::geteuid() != 0)
            return u"Xorg with a private configuration needs root"_s;
        if (QStandardPaths::findExecutable(u"Xorg"_s).isEmpty())
            return u"Xorg is not installed"_s;
        if (!QFile::exists(u"/usr/lib/xorg/modules/drivers/dummy_drv.so"_s))
            return u"the dummy video driver (xserver-xorg-video-dummy) is not installed"_s;
        QFile config(m_dir.filePath(u"xorg.conf"_s));
        if (!config.open(QIODevice::WriteOnly))
            return u"cannot write the X server's configuration"_s;
        config.write(R"(Section "Device"
    Identifier "dummy"
    Driver "dummy"
    VideoRam 65536
EndSection
Section "Monitor"
    Identifier "monitor"
    HorizSync 28.0-110.0
    VertRefresh 50.0-100.0
EndSection
Section "Screen"
    Identifier "screen"
    Device "dummy"
    Monitor "monitor"
    DefaultDepth 24
    SubSection "Display"
        Depth 24
        Virtual 1600 1200
        Modes "1600x1200" "1280x1024" "1280x960" "1024x768" "800x600" "640x480"
    EndSubSection
EndSection
)");
        config.close();
        // A display number of our own, away from the low ones other X servers take first
        // and from the range scripts/run picks from. Sandboxes beside ours may share the
        // abstract sockets without sharing /tmp, so the number is also left to chance.
        int number = 1000 + int(QRandomGenerator::global()->bounded(1000));
        while (QFile::exists(u"/tmp/.X11-unix/X%1"_s.arg(number)) ||
               QFile::exists(u"/tmp/.X%1-lock"_s.arg(number)))
            ++number;
        m_display = u":%1"_s.arg(number);
        m_server.setProcessChannelMode(QProcess::MergedChannels);
        m_server.start(u"Xorg"_s,
                       {m_display, u"-config"_s, config.fileName(), u"-noreset"_s, u"-nolisten"_s,
                        u"tcp"_s, u"-logfile"_s, m_dir.filePath(u"xorg.log"_s)});
        if (!m_server.waitForStarted(5000))
            return u"Xorg did not start: "_s + m_server.errorString();
        for (int i = 0; i < 100; ++i) {
            if (QFile::exists(u"/tmp/.X11-unix/X"_s + m_display.mid(1)))
                return QString();
            if (m_server.waitForFinished(100))
                return u"Xorg ended at once: "_s + QString::fromLocal8Bit(m_server.readAll());
        }
        return u"Xorg opened no display within 10 seconds"_s;
    }

    QString display() const { return m_display; }

private:
    QTemporaryDir m_dir;
    QProcess m_server;
    QString m_display;
};
#endif

} // namespace

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

    void testRandrOrder_data()
    {
        QTest::addColumn<ModeList>("input");
        QTest::addColumn<QSize>("saved");
        QTest::addColumn<int>("refresh");
        QTest::addColumn<QString>("chosen");

        // As RandR lists them: the preferred mode first, then the largest first.
        const ModeList randr = {{1600, 1200, 60}, {1600, 1200, 85}, {1280, 1024, 75},
                                {1280, 960, 85},  {1280, 960, 60},  {1024, 768, 85},
                                {1024, 768, 75},  {1024, 768, 60},  {800, 600, 60},
                                {640, 480, 75},   {640, 480, 60}};
        QTest::newRow("saved 1280x1000 at 100Hz picks 1280x960 at 85Hz, not the smallest")
            << randr << QSize(1280, 1000) << 100 << u"1280x960 85Hz"_s;
        QTest::newRow("saved 1280x1024 picks 1280x960 below it")
            << ModeList{{1600, 1200, 60},
                        {1280, 960, 60},
                        {1024, 768, 60},
                        {800, 600, 60},
                        {640, 480, 60}}
            << QSize(1280, 1024) << 60 << u"1280x960 60Hz"_s;
        QTest::newRow("saved refresh 100 picks 85Hz, the highest below it")
            << randr << QSize(1024, 768) << 100 << u"1024x768 85Hz"_s;
        QTest::newRow("saved refresh 50 keeps the lowest rate, the first after sorting")
            << randr << QSize(1024, 768) << 50 << u"1024x768 60Hz"_s;
        QTest::newRow("saved 1600x1200 at 70Hz picks 60Hz, not the preferred 85Hz")
            << randr << QSize(1600, 1200) << 70 << u"1600x1200 60Hz"_s;
        QTest::newRow("a preferred mode listed first does not win a smaller saved size")
            << ModeList{{1024, 768, 60}, {1600, 1200, 60}, {800, 600, 60}, {640, 480, 60}}
            << QSize(900, 700) << 60 << u"800x600 60Hz"_s;
    }

    void testRandrOrder()
    {
        QFETCH(ModeList, input);
        QFETCH(QSize, saved);
        QFETCH(int, refresh);
        QFETCH(QString, chosen);

        sortDisplayModesAscending(input);
        QCOMPARE(chosenTexts(input, saved, refresh), chosen);
    }

    // The modes of a real X server with many of them, as the dialog gets them.
    void testDummyXServer()
    {
#ifdef Q_OS_WIN
        QSKIP("RandR is X11's");
#else
        DummyXServer server;
        if (const QString why = server.start(); !why.isEmpty())
            QSKIP(qPrintable(u"no X server with the dummy driver: "_s + why));
        const QByteArray previous = qgetenv("DISPLAY");
        qputenv("DISPLAY", server.display().toLocal8Bit());
        const ModeList modes = randrDisplayModes();
        qputenv("DISPLAY", previous);

        QVERIFY2(modes.size() > 20, "the dummy driver offers dozens of modes");
        const VxDisplayModeLists lists = mergeDisplayModes(modes);
        QCOMPARE(lists.resolutions.first(), u"640x480"_s);
        QCOMPARE(lists.resolutions.last(), u"1600x1200"_s);
        QCOMPARE(lists.refreshLists.last(),
                 (QStringList{u"60Hz"_s, u"65Hz"_s, u"70Hz"_s, u"75Hz"_s, u"85Hz"_s}));
        QCOMPARE(chosenTexts(modes, QSize(1280, 1000), 100), u"1280x960 85Hz"_s);
#endif
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
