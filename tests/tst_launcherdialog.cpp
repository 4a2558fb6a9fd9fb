#include "mods/moditem.h"
#include "ui/launcherdialog.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>
#include <QToolButton>

using namespace Qt::StringLiterals;

using ModeList = QList<VxDisplayMode>;

namespace {

const ModeList usualModes = {{640, 480, 60},  {640, 480, 75},  {800, 600, 60},
                             {800, 600, 75},  {1024, 768, 60}, {1024, 768, 75},
                             {1024, 768, 85}, {1280, 960, 60}, {1600, 1200, 60}};

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace

class TestLauncherDialog : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_game = m_dir->filePath(u"game"_s);
        QVERIFY(QDir().mkpath(m_game + u"/data"_s));
        m_boxes.clear();
    }

    void cleanup()
    {
        m_dir->setAutoRemove(!QTest::currentTestFailed());
        m_dir.reset();
    }

    void testStartWithoutGame_data()
    {
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("box");

        QTest::newRow("no language value: english")
            << u"NONE"_s
            << u"Error!|Could not find Vexil 4: Brask directory. Try reinstalling the game."_s;
        QTest::newRow("french even before the game is found")
            << u"FRE"_s
            << u"Erreur !|Impossible de localiser Vexil 4: Brask. Essayez de r\u00E9installer le "
               "jeu."_s;
    }

    void testStartWithoutGame()
    {
        QFETCH(QString, language);
        QFETCH(QString, box);

        answerNextBox(QMessageBox::Ok);
        VxLauncherDialog dialog({u"NONE"_s, language}, usualModes);
        QCOMPARE(m_boxes, QStringList{box});
        QVERIFY(!dialog.isGameFound());
        QVERIFY(!dialog.isVisible());
        // Nothing is built for a game that is not there.
        QVERIFY(dialog.findChildren<QWidget *>().isEmpty());
    }

    void testWindow()
    {
        VxLauncherDialog dialog({m_game, u"ENG"_s}, usualModes);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        // The form is laid out by hand: the window must not be resized.
        QCOMPARE(dialog.minimumSize(), QSize(371, 561));
        QCOMPARE(dialog.maximumSize(), QSize(371, 561));
        QVERIFY(!dialog.windowIcon().isNull());
        // The logo is painted: the middle of its frame is not the window's plain background.
        const QImage shot = dialog.grab().toImage();
        QVERIFY(shot.pixelColor(185, 80) != shot.pixelColor(185, 540));
    }

    void testTexts_data()
    {
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("name"); // "Dialog": the window title
        QTest::addColumn<QString>("text");

        QTest::newRow("french title")
            << u"FRE"_s << u"Dialog"_s << u"Lanceur de mods Vexil 4: Brask!"_s;
        QTest::newRow("spanish accent") << u"SPA"_s << u"nosoundCheck"_s << u"Sin s\u00F3nidos"_s;
        QTest::newRow("lower-case spa stays english") << u"spa"_s << u"playButton"_s << u"Play"_s;
        QTest::newRow("arrow beyond Latin-1") << u"FRE"_s << u"downButton"_s << u"\u25BC"_s;
    }

    void testTexts()
    {
        QFETCH(QString, language);
        QFETCH(QString, name);
        QFETCH(QString, text);

        VxLauncherDialog dialog({m_game, language}, usualModes);
        const QWidget *widget = name == u"Dialog"_s ? &dialog : dialog.findChild<QWidget *>(name);
        QVERIFY(widget);
        QCOMPARE(widget->property(widget == &dialog ? "windowTitle" : "text").toString(), text);
    }

    void testStartupChoices_data()
    {
        QTest::addColumn<QByteArray>("config"); // empty: no launcher.cfg
        QTest::addColumn<ModeList>("modes");
        QTest::addColumn<QString>("checked");
        QTest::addColumn<QString>("resolution");
        QTest::addColumn<QString>("refresh");
        QTest::addColumn<int>("refreshCount");

        QTest::newRow("first start")
            << QByteArray() << usualModes << u"autoportsCheck"_s << u"640x480"_s << u"60Hz"_s << 2;
        QTest::newRow("first start without 640x480 selects the first mode")
            << QByteArray() << ModeList{{800, 600, 75}, {1024, 768, 60}} << u"autoportsCheck"_s
            << u"800x600"_s << u"75Hz"_s << 1;
        QTest::newRow("file without port forwarding still checks it")
            << QByteArray("/W:800 /H:600 /REFRESH:75 /NOSOUND") << usualModes
            << u"autoportsCheck nosoundCheck"_s << u"800x600"_s << u"75Hz"_s << 2;
        QTest::newRow("every switch")
            << QByteArray("/W:1024 /H:768 /REFRESH:85 /NOMOVIES /NOSOUND /ENABLEPORTFORWARDING "
                          "/ALLOWSCREENSHOTS /MANUALCAMERA /TELNET")
            << usualModes
            << u"allowscreensCheck autoportsCheck manualcamCheck nomoviesCheck nosoundCheck "
               "telnetCheck"_s
            << u"1024x768"_s << u"85Hz"_s << 3;
        QTest::newRow("no usable display mode leaves both combos empty")
            << QByteArray() << ModeList{{320, 200, 70}} << u"autoportsCheck"_s << QString()
            << QString() << 0;
    }

    void testStartupChoices()
    {
        QFETCH(QByteArray, config);
        QFETCH(ModeList, modes);
        QFETCH(QString, checked);
        QFETCH(QString, resolution);
        QFETCH(QString, refresh);
        QFETCH(int, refreshCount);

        if (!config.isEmpty())
            QVERIFY(writeFile(m_game + u"/launcher.cfg"_s, config));
        VxLauncherDialog dialog({m_game, u"ENG"_s}, modes);
        QStringList checkedNow;
        for (const QCheckBox *check : dialog.findChildren<QCheckBox *>()) {
            if (check->isChecked())
                checkedNow.append(check->objectName());
        }
        checkedNow.sort();
        QCOMPARE(checkedNow.join(u' '), checked);
        auto *resolutionCombo = dialog.findChild<QComboBox *>(u"resolutionCombo"_s);
        auto *refreshCombo = dialog.findChild<QComboBox *>(u"refreshCombo"_s);
        QCOMPARE(resolutionCombo->currentText(), resolution);
        QCOMPARE(refreshCombo->currentText(), refresh);
        QCOMPARE(refreshCombo->count(), refreshCount);

        // Another resolution lists its own rates (the last has one) and starts from the first.
        resolutionCombo->setCurrentIndex(resolutionCombo->count() - 1);
        QCOMPARE(refreshCombo->count(), refreshCount ? 1 : 0);
        QCOMPARE(refreshCombo->currentText(), refreshCount ? u"60Hz"_s : QString());
    }

    void testLeavingWritesNothing_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QByteArray>("config"); // empty: no launcher.cfg before

        QTest::newRow("cancel button on a first start") << u"cancel"_s << QByteArray();
        QTest::newRow("escape key keeps an odd file as it is")
            << u"escape"_s << QByteArray("  /w:1\n/TELNET garbage");
        QTest::newRow("window close button") << u"close"_s << QByteArray();
    }

    void testLeavingWritesNothing()
    {
        QFETCH(QString, how);
        QFETCH(QByteArray, config);

        const QString path = m_game + u"/launcher.cfg"_s;
        if (!config.isEmpty())
            QVERIFY(writeFile(path, config));
        VxLauncherDialog dialog({m_game, u"ENG"_s}, usualModes);
        // Change every choice so that a save would show.
        for (auto *check : dialog.findChildren<QCheckBox *>())
            check->setChecked(!check->isChecked());
        dialog.findChild<QComboBox *>(u"resolutionCombo"_s)->setCurrentIndex(3);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));

        QTimer::singleShot(0, &dialog, [&] {
            if (how == u"cancel"_s)
                dialog.findChild<QPushButton *>(u"cancelButton"_s)->click();
            else if (how == u"escape"_s)
                QTest::keyClick(&dialog, Qt::Key_Escape);
            else
                dialog.close();
        });
        QTimer::singleShot(20000, qApp, [] { QCoreApplication::exit(99); });
        QCOMPARE(QApplication::exec(), 0);

        QFile file(path);
        QCOMPARE(file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray(), config);
        QCOMPARE(QDir(m_game).entryList(QDir::Files | QDir::Hidden).size(),
                 config.isEmpty() ? 0 : 1);
    }

    void testMoves_data()
    {
        QTest::addColumn<QString>("mods");    // initial order; B and D are ticked
        QTest::addColumn<int>("current");     // -1: none
        QTest::addColumn<QString>("presses"); // u: up, d: down
        QTest::addColumn<QString>("order");
        QTest::addColumn<QString>("currentAfter"); // empty: none

        QTest::newRow("up on the first entry changes nothing")
            << u"ABC"_s << 0 << u"u"_s << u"ABC"_s << u"A"_s;
        QTest::newRow("down on the last entry changes nothing")
            << u"ABC"_s << 2 << u"d"_s << u"ABC"_s << u"C"_s;
        QTest::newRow("no current entry changes nothing")
            << u"ABC"_s << -1 << u"ud"_s << u"ABC"_s << QString();
        QTest::newRow("B up then down twice gives A C B")
            << u"ABC"_s << 1 << u"udd"_s << u"ACB"_s << u"B"_s;
        QTest::newRow("last entry all the way up")
            << u"ABCD"_s << 3 << u"uuuu"_s << u"DABC"_s << u"D"_s;
    }

    void testMoves()
    {
        QFETCH(QString, mods);
        QFETCH(int, current);
        QFETCH(QString, presses);
        QFETCH(QString, order);
        QFETCH(QString, currentAfter);

        VxLauncherDialog dialog({m_game, u"ENG"_s}, usualModes);
        auto *list = dialog.findChild<QListWidget *>(u"modsList"_s);
        for (const QChar letter : mods) {
            VxModInfo info;
            info.name = letter;
            info.author = u"author of "_s + letter;
            auto *item = new VxModItem(info, list);
            item->setCheckState(u"BD"_s.contains(letter) ? Qt::Checked : Qt::Unchecked);
        }
        list->setCurrentRow(current);
        for (const QChar press : presses)
            dialog.findChild<QToolButton *>(press == u'u' ? u"upButton"_s : u"downButton"_s)
                ->click();

        QString orderNow;
        for (int row = 0; row < list->count(); ++row) {
            const QListWidgetItem *item = list->item(row);
            orderNow += item->text().at(0);
            // Ticks travel with their entries.
            QCOMPARE(item->checkState() == Qt::Checked, u"BD"_s.contains(item->text().at(0)));
        }
        QCOMPARE(orderNow, order);
        QCOMPARE(list->currentItem() ? list->currentItem()->text().left(1) : QString(),
                 currentAfter);
        // The information box follows the moved entry.
        const QString box = dialog.findChild<QTextBrowser *>(u"modsDesc"_s)->toPlainText();
        QVERIFY2(currentAfter.isEmpty() || box.contains(u"author of "_s + currentAfter),
                 qPrintable(box));
    }

    void testModInfo_data()
    {
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("author"); // empty: not set in info.txt
        QTest::addColumn<QString>("desc");
        QTest::addColumn<QString>("shown");

        QTest::newRow("no author and no description")
            << u"ENG"_s << QString() << QString() << u"Author : N/A\nDescription : N/A"_s;
        QTest::newRow("french labels")
            << u"FRE"_s << u"Lune"_s << u"Ciel"_s << u"Auteur : Lune\nDescription : Ciel"_s;
        QTest::newRow("markup in the author turns the box to rich text")
            << u"ENG"_s << u"<b>Bold</b>"_s << u"plain"_s << u"Author : Bold Description : plain"_s;
        QTest::newRow("markup only in the description stays plain text")
            << u"ENG"_s << u"Kim"_s << u"<b>x</b>"_s << u"Author : Kim\nDescription : <b>x</b>"_s;
    }

    void testModInfo()
    {
        QFETCH(QString, language);
        QFETCH(QString, author);
        QFETCH(QString, desc);
        QFETCH(QString, shown);

        VxLauncherDialog dialog({m_game, language}, usualModes);
        auto *list = dialog.findChild<QListWidget *>(u"modsList"_s);
        auto *box = dialog.findChild<QTextBrowser *>(u"modsDesc"_s);
        VxModInfo info;
        info.author = author.isEmpty() ? info.author : author;
        info.desc = desc.isEmpty() ? info.desc : desc;
        new VxModItem(info, list);
        QVERIFY(box->toPlainText().isEmpty());

        list->setCurrentRow(0);
        QCOMPARE(box->toPlainText(), shown);
        // Leaving the list empty-handed keeps what the box shows.
        list->setCurrentItem(nullptr);
        QCOMPARE(box->toPlainText(), shown);
    }

    void testModScan()
    {
        const QString mods = m_game + u"/VexilMods/"_s;
        QVERIFY(writeFile(mods + u"gamma/info.txt"_s, "name=Gamma\nversion=3\n"));
        QVERIFY(writeFile(mods + u"alpha/info.txt"_s, "name=Alpha\nversion=1.0\nauthor=Al\n"));
        QVERIFY(writeFile(mods + u"Beta/info.txt"_s, "version=2\n"));
        QVERIFY(writeFile(mods + u"nodescription/Art/x.txt"_s, "data"));

        VxLauncherDialog dialog({m_game, u"ENG"_s}, usualModes);
        auto *list = dialog.findChild<QListWidget *>(u"modsList"_s);
        QStringList texts;
        for (int row = 0; row < list->count(); ++row) {
            QCOMPARE(list->item(row)->checkState(), Qt::Unchecked);
            texts.append(list->item(row)->text());
        }
        QCOMPARE(texts, QStringList({u"Alpha 1.0"_s, u"<no name> 2"_s, u"Gamma 3"_s}));
    }

    void testUpdateButton()
    {
        VxLauncherDialog dialog({m_game, u"ENG"_s}, usualModes);
        QList<QUrl> opened;
        dialog.urlOpener = [&opened](const QUrl &url) { opened.append(url); };
        dialog.show();
        dialog.findChild<QPushButton *>(u"updateButton"_s)->click();

        QCOMPARE(opened, QList<QUrl>{QUrl(u"http://support.kestwyn.example/support.html?"
                                          "subsection=patch&CRC=0x3A5F19C2"_s)});
        QVERIFY(dialog.isVisible());
        QVERIFY(!QFileInfo::exists(m_game + u"/launcher.cfg"_s));
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
        if (exists)
            QVERIFY(writeFile(game + u"/launcher.cfg"_s, "/W:800 /H:600 /TELNET"));
        if (modsFolderIsFile)
            QVERIFY(writeFile(game + u"/VexilMods"_s, "not a folder"));

        VxLauncherDialog dialog({game, u"ENG"_s}, usualModes);
        QVERIFY(dialog.isGameFound());
        QCOMPARE(dialog.findChild<QCheckBox *>(u"telnetCheck"_s)->isChecked(), exists);
        QCOMPARE(dialog.findChild<QComboBox *>(u"resolutionCombo"_s)->currentText(),
                 exists ? u"800x600"_s : u"640x480"_s);
        QCOMPARE(dialog.findChild<QListWidget *>(u"modsList"_s)->count(), 0);
        // Only an existing game folder gets a mods folder; nothing is made up around it.
        QCOMPARE(QFileInfo(game + u"/VexilMods"_s).isDir(), exists && !modsFolderIsFile);
        QCOMPARE(QFileInfo::exists(game), exists);
    }

private:
    // Answers the next message box when it comes up (from a nested event loop) and records
    // its title and text.
    void answerNextBox(QMessageBox::StandardButton button)
    {
        auto *poll = new QTimer(this);
        poll->setInterval(10);
        connect(poll, &QTimer::timeout, this, [this, poll, button] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box)
                return;
            poll->deleteLater();
            poll->stop();
            m_boxes.append(box->windowTitle() + u'|' + box->text());
            box->button(button)->click();
        });
        poll->start();
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_game;
    QStringList m_boxes;
};

QTEST_MAIN(TestLauncherDialog)
#include "tst_launcherdialog.moc"
