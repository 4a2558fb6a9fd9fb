#include "mods/moditem.h"
#include "testutil.h"
#include "ui/launcherdialog.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTextBrowser>
#include <QTimer>
#include <QToolButton>

using namespace Qt::StringLiterals;

using ModeList = QList<VxDisplayMode>;

namespace {

const ModeList usualModes = {{640, 480, 60},  {640, 480, 75},  {800, 600, 60},
                             {800, 600, 75},  {1024, 768, 60}, {1024, 768, 75},
                             {1024, 768, 85}, {1280, 960, 60}, {1600, 1200, 60}};

} // namespace

class TestLauncherDialog : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_dir = std::make_unique<vxtest::TestDir>();
        m_game = m_dir->filePath(u"game"_s);
        QVERIFY(QDir().mkpath(m_game + u"/data"_s));
    }

    void testStartWithoutGame()
    {
        // The box comes up from a nested event loop inside the constructor.
        QStringList boxes;
        QTimer poll;
        connect(&poll, &QTimer::timeout, this, [&boxes] {
            if (auto *shown = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                boxes.append(shown->windowTitle() + u'|' + shown->text());
                shown->button(QMessageBox::Ok)->click();
            }
        });
        poll.start(10);
        // The language is known before the game folder is looked for.
        VxLauncherDialog dialog({u"NONE"_s, u"FRE"_s}, usualModes);
        QCOMPARE(boxes, QStringList{u"Erreur !|Impossible de localiser Vexil 4: Brask. Essayez de "
                                    "r\u00E9installer le jeu."_s});
        QVERIFY(!dialog.isGameFound());
        // Nothing is built for a game that is not there.
        QVERIFY(dialog.findChildren<QWidget *>().isEmpty());
    }

    void testWindow_data()
    {
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("text");

        QTest::newRow("spanish accent") << u"SPA"_s << u"nosoundCheck"_s << u"Sin s\u00F3nidos"_s;
        QTest::newRow("lower-case spa stays english") << u"spa"_s << u"playButton"_s << u"Play"_s;
        QTest::newRow("arrow beyond Latin-1") << u"FRE"_s << u"downButton"_s << u"\u25BC"_s;
    }

    void testWindow()
    {
        QFETCH(QString, language);
        QFETCH(QString, name);
        QFETCH(QString, text);

        VxLauncherDialog dialog({m_game, language}, usualModes);
        QCOMPARE(dialog.findChild<QAbstractButton *>(name)->text(), text);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        // The form is laid out by hand: the window must not be resized.
        QCOMPARE(dialog.minimumSize(), QSize(371, 561));
        QCOMPARE(dialog.maximumSize(), QSize(371, 561));
        // The logo is painted: the middle of its frame is not the window's plain background.
        const QImage shot = dialog.grab().toImage();
        QVERIFY(shot.pixelColor(185, 80) != shot.pixelColor(185, 540));
    }

    void testStartupChoices_data()
    {
        QTest::addColumn<QByteArray>("config"); // empty: no launcher.cfg
        QTest::addColumn<ModeList>("modes");
        QTest::addColumn<QString>("shown"); // ticked boxes, resolution, refresh, number of rates

        QTest::newRow("first start")
            << QByteArray() << usualModes << u"autoportsCheck 640x480 60Hz 2"_s;
        QTest::newRow("first start without 640x480 selects the first mode")
            << QByteArray() << ModeList{{800, 600, 75}, {1024, 768, 60}}
            << u"autoportsCheck 800x600 75Hz 1"_s;
        // One pattern per bit of each box's place: any two boxes swapped show.
        QTest::newRow("boxes 1, 3, 5 and a saved mode")
            << "/W:1024 /H:768 /REFRESH:85 /NOSOUND /ALLOWSCREENSHOTS /TELNET"_ba << usualModes
            << u"allowscreensCheck autoportsCheck nosoundCheck telnetCheck 1024x768 85Hz 3"_s;
        QTest::newRow("boxes 0, 4, 5")
            << "/NOMOVIES /MANUALCAMERA /TELNET"_ba << usualModes
            << u"autoportsCheck manualcamCheck nomoviesCheck telnetCheck 640x480 60Hz 2"_s;
        QTest::newRow("boxes 3, 4")
            << "/ALLOWSCREENSHOTS /MANUALCAMERA"_ba << usualModes
            << u"allowscreensCheck autoportsCheck manualcamCheck 640x480 60Hz 2"_s;
        QTest::newRow("no usable display mode leaves both combos empty")
            << QByteArray() << ModeList{{320, 200, 70}} << u"autoportsCheck   0"_s;
    }

    void testStartupChoices()
    {
        QFETCH(QByteArray, config);
        QFETCH(ModeList, modes);
        QFETCH(QString, shown);

        if (!config.isEmpty())
            QVERIFY(vxtest::writeTree(m_game, {{u"launcher.cfg"_s, config}}));
        VxLauncherDialog dialog({m_game, u"ENG"_s}, modes);
        QStringList shownNow;
        for (const QCheckBox *check : dialog.findChildren<QCheckBox *>())
            shownNow.append(check->isChecked() ? check->objectName() : QString());
        shownNow.removeAll(QString());
        shownNow.sort();
        auto *resolution = dialog.findChild<QComboBox *>(u"resolutionCombo"_s);
        auto *refresh = dialog.findChild<QComboBox *>(u"refreshCombo"_s);
        shownNow << resolution->currentText() << refresh->currentText()
                 << QString::number(refresh->count());
        QCOMPARE(shownNow.join(u' '), shown);

        // Another resolution lists its own rates (the last has one) and starts from the first.
        resolution->setCurrentIndex(resolution->count() - 1);
        QCOMPARE(refresh->count(), modes.size() > 1 ? 1 : 0);
        QCOMPARE(refresh->currentText(), modes.size() > 1 ? u"60Hz"_s : QString());
    }

    void testLeavingWritesNothing()
    {
        const QByteArray config = "  /w:1\n/TELNET garbage";
        QVERIFY(vxtest::writeTree(m_game, {{u"launcher.cfg"_s, config}}));
        VxLauncherDialog dialog({m_game, u"ENG"_s}, usualModes);
        QList<QUrl> opened;
        dialog.urlOpener = [&opened](const QUrl &url) { opened.append(url); };
        // Change every choice so that a save would show.
        for (auto *check : dialog.findChildren<QCheckBox *>())
            check->setChecked(!check->isChecked());
        dialog.findChild<QComboBox *>(u"resolutionCombo"_s)->setCurrentIndex(3);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));

        QTimer::singleShot(0, &dialog, [&] {
            // The update page opens in the browser; the launcher stays and saves nothing.
            dialog.findChild<QPushButton *>(u"updateButton"_s)->click();
            QVERIFY(dialog.isVisible());
            dialog.findChild<QPushButton *>(u"cancelButton"_s)->click();
        });
        QTimer::singleShot(20000, qApp, [] { QCoreApplication::exit(99); });
        QCOMPARE(QApplication::exec(), 0);
        QCOMPARE(opened, QList<QUrl>{QUrl(u"http://support.kestwyn.example/support.html?"
                                          "subsection=patch&CRC=0x3A5F19C2"_s)});
        // An odd file the person wrote by hand is kept as it is.
        QCOMPARE(
            vxtest::readTree(m_game),
            (vxtest::Files{{u"launcher.cfg"_s, config}, {u"data/"_s, {}}, {u"VexilMods/"_s, {}}}));
    }

    void testMoves_data()
    {
        QTest::addColumn<int>("current");     // in A b C d (lower case: ticked); -1: none
        QTest::addColumn<QString>("presses"); // u: up, d: down
        QTest::addColumn<QString>("order");   // then the current entry, if any

        QTest::newRow("no current entry changes nothing") << -1 << u"ud"_s << u"AbCd"_s;
        QTest::newRow("b up, then down past the end") << 1 << u"udddd"_s << u"ACdbb"_s;
        QTest::newRow("last entry up past the top") << 3 << u"uuuu"_s << u"dAbCd"_s;
    }

    void testMoves()
    {
        QFETCH(int, current);
        QFETCH(QString, presses);
        QFETCH(QString, order);

        VxLauncherDialog dialog({m_game, u"ENG"_s}, usualModes);
        auto *list = dialog.findChild<QListWidget *>(u"modsList"_s);
        for (const QChar letter : u"AbCd"_s) {
            VxModInfo info;
            info.name = letter;
            info.author = u"author of "_s + letter;
            new VxModItem(info, list);
            list->item(list->count() - 1)
                ->setCheckState(letter.isLower() ? Qt::Checked : Qt::Unchecked);
        }
        list->setCurrentRow(current);
        for (const QChar press : presses)
            dialog.findChild<QToolButton *>(press == u'u' ? u"upButton"_s : u"downButton"_s)
                ->click();

        // Ticks travel with their entries: a ticked entry reads in lower case.
        QString orderNow;
        for (const QListWidgetItem *item : list->findItems(u"*"_s, Qt::MatchWildcard))
            orderNow += item->checkState() == Qt::Checked ? item->text().at(0).toLower()
                                                          : item->text().at(0).toUpper();
        if (list->currentItem())
            orderNow += list->currentItem()->text().at(0);
        QCOMPARE(orderNow, order);
        // The information box follows the moved entry.
        const QString box = dialog.findChild<QTextBrowser *>(u"modsDesc"_s)->toPlainText();
        QVERIFY2(current < 0 || box.contains(u"author of "_s + order.back()), qPrintable(box));
    }

    void testModInfo_data()
    {
        QTest::addColumn<QString>("author");
        QTest::addColumn<QString>("desc");
        QTest::addColumn<QString>("shown");

        QTest::newRow("markup in the author turns the box to rich text")
            << u"<b>Bold</b>"_s << u"plain"_s << u"Author : Bold Description : plain"_s;
        QTest::newRow("markup only in the description stays plain text")
            << u"Kim"_s << u"<b>x</b>"_s << u"Author : Kim\nDescription : <b>x</b>"_s;
    }

    void testModInfo()
    {
        QFETCH(QString, author);
        QFETCH(QString, desc);
        QFETCH(QString, shown);

        VxLauncherDialog dialog({m_game, u"ENG"_s}, usualModes);
        auto *list = dialog.findChild<QListWidget *>(u"modsList"_s);
        VxModInfo info;
        info.author = author;
        info.desc = desc;
        new VxModItem(info, list);
        list->setCurrentRow(0);
        // Leaving the list empty-handed keeps what the box shows.
        list->setCurrentItem(nullptr);
        QCOMPARE(dialog.findChild<QTextBrowser *>(u"modsDesc"_s)->toPlainText(), shown);
    }

    void testModScan()
    {
        QVERIFY(vxtest::writeTree(m_game + u"/VexilMods"_s,
                                  {{u"gamma/info.txt"_s, "name=Gamma\nversion=3\n"},
                                   {u"alpha/info.txt"_s, "name=Alpha\nversion=1.0\nauthor=Al\n"},
                                   {u"Beta/info.txt"_s, "version=2\n"},
                                   {u"nodescription/Art/x.txt"_s, "data"}}));
        VxLauncherDialog dialog({m_game, u"ENG"_s}, usualModes);
        auto *list = dialog.findChild<QListWidget *>(u"modsList"_s);
        QStringList texts;
        for (int row = 0; row < list->count(); ++row) {
            QCOMPARE(list->item(row)->checkState(), Qt::Unchecked);
            texts.append(list->item(row)->text());
        }
        QCOMPARE(texts, QStringList({u"Alpha 1.0"_s, u"<no name> 2"_s, u"Gamma 3"_s}));
    }

    void testUnusualGameFolders_data()
    {
        QTest::addColumn<QString>("folder"); // below the temporary folder
        QTest::addColumn<bool>("exists");
        QTest::addColumn<bool>("modsFolderIsFile");

        QTest::newRow("folder with spaces and non-ASCII letters")
            << u"Spiele/J\u00FCrgen's Vexil 4 \u00C9dition"_s << true << false;
        QTest::newRow("folder that does not exist") << u"gone/away"_s << false << false;
        QTest::newRow("a file where the mods folder should be") << u"game2"_s << true << true;
    }

    void testUnusualGameFolders()
    {
        QFETCH(QString, folder);
        QFETCH(bool, exists);
        QFETCH(bool, modsFolderIsFile);

        const QString game = m_dir->filePath(folder);
        vxtest::Files files;
        if (exists)
            files.insert(u"launcher.cfg"_s, "/W:800 /H:600 /TELNET");
        if (modsFolderIsFile)
            files.insert(u"VexilMods"_s, "not a folder");
        QVERIFY(vxtest::writeTree(game, files));

        VxLauncherDialog dialog({game, u"ENG"_s}, usualModes);
        QVERIFY(dialog.isGameFound());
        QCOMPARE(dialog.findChild<QComboBox *>(u"resolutionCombo"_s)->currentText(),
                 exists ? u"800x600"_s : u"640x480"_s);
        // Only an existing game folder gets a mods folder; nothing is made up around it.
        QCOMPARE(QFileInfo(game + u"/VexilMods"_s).isDir(), exists && !modsFolderIsFile);
        QCOMPARE(QFileInfo::exists(game), exists);
    }

private:
    std::unique_ptr<vxtest::TestDir> m_dir;
    QString m_game;
};

QTEST_MAIN(TestLauncherDialog)
#include "tst_launcherdialog.moc"
