#include "mods/moditem.h"
#include "ui/launcherdialog.h"
#include "ui/logoframe.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>
#include <QToolButton>

#include <functional>

using namespace Qt::StringLiterals;

using ModeList = QList<VxDisplayMode>;

namespace {

const ModeList usualModes = {{640, 480, 60},  {640, 480, 75},  {800, 600, 60},
                             {800, 600, 75},  {1024, 768, 60}, {1024, 768, 75},
                             {1024, 768, 85}, {1280, 960, 60}, {1600, 1200, 60}};

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// The text a person reads on a widget of the form, or the window title for "Dialog".
QString shownText(QWidget *dialog, const QString &name)
{
    if (name == u"Dialog"_s)
        return dialog->windowTitle();
    QWidget *widget = dialog->findChild<QWidget *>(name);
    if (auto *button = qobject_cast<QAbstractButton *>(widget))
        return button->text();
    if (auto *group = qobject_cast<QGroupBox *>(widget))
        return group->title();
    return u"<no such widget>"_s;
}

} // namespace

class TestLauncherDialog : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void testStartWithoutGame_data();
    void testStartWithoutGame();
    void testFormTree_data();
    void testFormTree();
    void testWindow();
    void testTexts_data();
    void testTexts();
    void testStartupChoices_data();
    void testStartupChoices();
    void testResolutionChangePicksFirstRate();
    void testLeavingWritesNothing_data();
    void testLeavingWritesNothing();
    void testMoves_data();
    void testMoves();
    void testModInfo_data();
    void testModInfo();
    void testModScan();
    void testUpdateButton();
    void testUnusualGameFolders_data();
    void testUnusualGameFolders();

private:
    // Answers the next message box when it comes up (from a nested event loop) and records
    // its title and text.
    void answerNextBox(QMessageBox::StandardButton button);

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_game;
    QString m_boxTitle;
    QString m_boxText;
    QMessageBox::StandardButtons m_boxButtons;
    int m_boxes = 0;
};

void TestLauncherDialog::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_game = m_dir->filePath(u"game"_s);
    QVERIFY(QDir().mkpath(m_game + u"/data"_s));
    m_boxTitle.clear();
    m_boxText.clear();
    m_boxButtons = {};
    m_boxes = 0;
    QApplication::setQuitOnLastWindowClosed(true);
}

void TestLauncherDialog::cleanup()
{
    m_dir->setAutoRemove(!QTest::currentTestFailed());
    m_dir.reset();
}

void TestLauncherDialog::answerNextBox(QMessageBox::StandardButton button)
{
    auto *poll = new QTimer(this);
    poll->setInterval(10);
    connect(poll, &QTimer::timeout, this, [this, poll, button] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        poll->stop();
        poll->deleteLater();
        ++m_boxes;
        m_boxTitle = box->windowTitle();
        m_boxText = box->text();
        m_boxButtons = box->standardButtons();
        box->button(button)->click();
    });
    poll->start();
}

void TestLauncherDialog::testStartWithoutGame_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("text");

    QTest::newRow("no language value: english")
        << u"NONE"_s << u"Error!"_s
        << u"Could not find Vexil 4: Brask directory. Try reinstalling the game."_s;
    QTest::newRow("french even before the game is found")
        << u"FRE"_s << u"Erreur !"_s
        << u"Impossible de localiser Vexil 4: Brask. Essayez de r\u00E9installer le jeu."_s;
    QTest::newRow("spanish even before the game is found")
        << u"SPA"_s << u"\u00A1Error!"_s
        << u"No se pudo encontrar el directorio de Vexil 4 Brask. Intenta reinstalar el juego."_s;
}

void TestLauncherDialog::testStartWithoutGame()
{
    QFETCH(QString, language);
    QFETCH(QString, title);
    QFETCH(QString, text);

    answerNextBox(QMessageBox::Ok);
    VxLauncherDialog dialog({u"NONE"_s, language}, usualModes);

    QCOMPARE(m_boxes, 1);
    QCOMPARE(m_boxTitle, title);
    QCOMPARE(m_boxText, text);
    QCOMPARE(m_boxButtons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QVERIFY(!dialog.isGameFound());
    QVERIFY(!dialog.isVisible());
    // Nothing is built for a game that is not there.
    QVERIFY(dialog.findChildren<QWidget *>().isEmpty());
}

void TestLauncherDialog::testFormTree_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("className");
    QTest::addColumn<QString>("parentName");
    QTest::addColumn<QRect>("geometry");

    const auto row = [](const char *name, const char *className, const char *parent, int x, int y,
                        int w, int h) {
        QTest::newRow(name) << QString::fromLatin1(name) << QString::fromLatin1(className)
                            << QString::fromLatin1(parent) << QRect(x, y, w, h);
    };
    row("logoFrame", "VxLogoFrame", "Dialog", 10, 10, 351, 141);
    row("resolutionGroup", "QGroupBox", "Dialog", 20, 230, 161, 51);
    row("resolutionCombo", "QComboBox", "resolutionGroup", 10, 20, 141, 22);
    row("refreshGroup", "QGroupBox", "Dialog", 190, 230, 161, 51);
    row("refreshCombo", "QComboBox", "refreshGroup", 10, 20, 141, 22);
    row("playButton", "QPushButton", "Dialog", 30, 160, 311, 61);
    row("nomoviesCheck", "QCheckBox", "Dialog", 20, 290, 121, 21);
    row("nosoundCheck", "QCheckBox", "Dialog", 210, 290, 121, 21);
    row("autoportsCheck", "QCheckBox", "Dialog", 20, 310, 181, 21);
    row("allowscreensCheck", "QCheckBox", "Dialog", 210, 310, 161, 21);
    row("manualcamCheck", "QCheckBox", "Dialog", 20, 330, 181, 21);
    row("telnetCheck", "QCheckBox", "Dialog", 210, 330, 101, 21);
    row("modsGroup", "QGroupBox", "Dialog", 10, 360, 351, 151);
    row("modsList", "QListWidget", "modsGroup", 10, 20, 181, 101);
    row("modsDesc", "QTextBrowser", "modsGroup", 200, 20, 141, 121);
    row("updateButton", "QPushButton", "Dialog", 20, 520, 211, 25);
    row("cancelButton", "QPushButton", "Dialog", 250, 520, 101, 25);
    row("upButton", "QToolButton", "modsGroup", 10, 121, 24, 20);
    row("downButton", "QToolButton", "modsGroup", 40, 121, 24, 20);
}

void TestLauncherDialog::testFormTree()
{
    QFETCH(QString, name);
    QFETCH(QString, className);
    QFETCH(QString, parentName);
    QFETCH(QRect, geometry);

    VxLauncherDialog dialog({m_game, u"ENG"_s}, usualModes);
    const QList<QWidget *> found = dialog.findChildren<QWidget *>(name);
    QCOMPARE(found.size(), 1);
    QWidget *widget = found.first();
    // The logo frame adds no meta-object of its own, so ask the type system.
    if (className == u"VxLogoFrame"_s)
        QVERIFY(dynamic_cast<VxLogoFrame *>(widget));
    else
        QCOMPARE(QString::fromLatin1(widget->metaObject()->className()), className);
    QCOMPARE(widget->parentWidget()->objectName(), parentName);
    QCOMPARE(widget->geometry(), geometry);
}

void TestLauncherDialog::testWindow()
{
    VxLauncherDialog dialog({m_game, u"ENG"_s}, usualModes);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));

    QCOMPARE(dialog.objectName(), u"Dialog"_s);
    QCOMPARE(dialog.size(), QSize(371, 561));
    QCOMPARE(dialog.minimumSize(), QSize(371, 561));
    QCOMPARE(dialog.maximumSize(), QSize(371, 561));
    QCOMPARE(dialog.windowModality(), Qt::NonModal);
    QVERIFY(!dialog.windowIcon().isNull());
    QCOMPARE(QImage(u":/Logo.png"_s).size(), QSize(351, 141));
    QCOMPARE(QImage(u":/icon16.png"_s).size(), QSize(16, 16));

    for (const char *name : {"logoFrame", "modsDesc"}) {
        auto *frame = dialog.findChild<QFrame *>(QLatin1String(name));
        QCOMPARE(frame->frameShape(), QFrame::WinPanel);
        QCOMPARE(frame->frameShadow(), QFrame::Sunken);
    }
    // The logo is painted: the middle of the frame is not the window's plain background.
    const QImage shot = dialog.grab().toImage();
    QVERIFY(shot.pixelColor(185, 80) != shot.pixelColor(185, 540));

    for (const auto *check : dialog.findChildren<QCheckBox *>())
        QVERIFY2(check->objectName() == u"autoportsCheck"_s || !check->isChecked(),
                 qPrintable(check->objectName()));
}

void TestLauncherDialog::testTexts_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");

    QTest::newRow("english title") << u"ENG"_s << u"Dialog"_s << u"Vexil 4: Brask! Mod Launcher"_s;
    QTest::newRow("english play") << u"ENG"_s << u"playButton"_s << u"Play"_s;
    QTest::newRow("english ports")
        << u"ENG"_s << u"autoportsCheck"_s << u"Automate Ports Settings (XP only)"_s;
    QTest::newRow("english refresh group") << u"ENG"_s << u"refreshGroup"_s << u"Refresh Rate"_s;
    QTest::newRow("english update") << u"ENG"_s << u"updateButton"_s << u"Check for Updates"_s;
    QTest::newRow("french title") << u"FRE"_s << u"Dialog"_s
                                  << u"Lanceur de mods Vexil 4: Brask!"_s;
    QTest::newRow("french refresh group")
        << u"FRE"_s << u"refreshGroup"_s << u"Rafra\u00EEchissement"_s;
    QTest::newRow("french cancel") << u"FRE"_s << u"cancelButton"_s << u"Annuler"_s;
    QTest::newRow("french movies")
        << u"FRE"_s << u"nomoviesCheck"_s << u"Pas de cin\u00E9matiques"_s;
    QTest::newRow("spanish title")
        << u"SPA"_s << u"Dialog"_s << u"Lanzador de mods de Vexil 4: Brask"_s;
    QTest::newRow("spanish sounds") << u"SPA"_s << u"nosoundCheck"_s << u"Sin s\u00F3nidos"_s;
    QTest::newRow("spanish camera")
        << u"SPA"_s << u"manualcamCheck"_s << u"Permitir c\u00E1mara manual (M)"_s;
    QTest::newRow("spanish mods group") << u"SPA"_s << u"modsGroup"_s << u"Mods"_s;
    QTest::newRow("lower-case spa stays english") << u"spa"_s << u"playButton"_s << u"Play"_s;
    QTest::newRow("up arrow in english") << u"ENG"_s << u"upButton"_s << u"\u25B2"_s;
    QTest::newRow("up arrow in french") << u"FRE"_s << u"upButton"_s << u"\u25B2"_s;
    QTest::newRow("down arrow in spanish") << u"SPA"_s << u"downButton"_s << u"\u25BC"_s;
}

void TestLauncherDialog::testTexts()
{
    QFETCH(QString, language);
    QFETCH(QString, name);
    QFETCH(QString, text);

    VxLauncherDialog dialog({m_game, language}, usualModes);
    QCOMPARE(shownText(&dialog, name), text);
}

void TestLauncherDialog::testStartupChoices_data()
{
    QTest::addColumn<QByteArray>("config"); // "<none>": no launcher.cfg
    QTest::addColumn<ModeList>("modes");
    QTest::addColumn<QString>("checked"); // object names of the checked boxes
    QTest::addColumn<QString>("resolution");
    QTest::addColumn<QString>("refresh");
    QTest::addColumn<int>("refreshCount");

    QTest::newRow("first start") << QByteArray("<none>") << usualModes << u"autoportsCheck"_s
                                 << u"640x480"_s << u"60Hz"_s << 2;
    QTest::newRow("first start without 640x480 selects the first mode")
        << QByteArray("<none>") << ModeList{{800, 600, 75}, {1024, 768, 60}} << u"autoportsCheck"_s
        << u"800x600"_s << u"75Hz"_s << 1;
    QTest::newRow("file without port forwarding still checks it")
        << QByteArray("/W:800 /H:600 /REFRESH:75 /NOSOUND") << usualModes
        << u"nosoundCheck autoportsCheck"_s << u"800x600"_s << u"75Hz"_s << 2;
    QTest::newRow("every switch")
        << QByteArray("/W:1024 /H:768 /REFRESH:85 /NOMOVIES /NOSOUND /ENABLEPORTFORWARDING "
                      "/ALLOWSCREENSHOTS /MANUALCAMERA /TELNET")
        << usualModes
        << u"nomoviesCheck nosoundCheck autoportsCheck allowscreensCheck manualcamCheck "
           "telnetCheck"_s
        << u"1024x768"_s << u"85Hz"_s << 3;
    QTest::newRow("saved 1280x1024 selects 1280x960")
        << QByteArray("/W:1280 /H:1024 /REFRESH:60") << usualModes << u"autoportsCheck"_s
        << u"1280x960"_s << u"60Hz"_s << 1;
    QTest::newRow("saved refresh 100 selects 85Hz")
        << QByteArray("/W:1024 /H:768 /REFRESH:100") << usualModes << u"autoportsCheck"_s
        << u"1024x768"_s << u"85Hz"_s << 3;
    QTest::newRow("saved mode at the first entry lists all its rates")
        << QByteArray("/W:640 /H:480 /REFRESH:75") << usualModes << u"autoportsCheck"_s
        << u"640x480"_s << u"75Hz"_s << 2;
    QTest::newRow("garbage numbers select the first entries")
        << QByteArray("/W:huge /H:-1 /REFRESH:99999") << usualModes << u"autoportsCheck"_s
        << u"640x480"_s << u"60Hz"_s << 2;
    QTest::newRow("no usable display mode leaves both combos empty")
        << QByteArray("<none>") << ModeList{{320, 200, 70}} << u"autoportsCheck"_s << QString()
        << QString() << 0;
}

void TestLauncherDialog::testStartupChoices()
{
    QFETCH(QByteArray, config);
    QFETCH(ModeList, modes);
    QFETCH(QString, checked);
    QFETCH(QString, resolution);
    QFETCH(QString, refresh);
    QFETCH(int, refreshCount);

    if (config != "<none>")
        QVERIFY(writeFile(m_game + u"/launcher.cfg"_s, config));
    VxLauncherDialog dialog({m_game, u"ENG"_s}, modes);

    QStringList checkedNow;
    for (const char *name : {"nomoviesCheck", "nosoundCheck", "autoportsCheck", "allowscreensCheck",
                             "manualcamCheck", "telnetCheck"}) {
        if (dialog.findChild<QCheckBox *>(QLatin1String(name))->isChecked())
            checkedNow.append(QLatin1String(name));
    }
    QCOMPARE(checkedNow.join(u' '), checked);
    auto *resolutionCombo = dialog.findChild<QComboBox *>(u"resolutionCombo"_s);
    auto *refreshCombo = dialog.findChild<QComboBox *>(u"refreshCombo"_s);
    QCOMPARE(resolutionCombo->currentText(), resolution);
    QCOMPARE(refreshCombo->currentText(), refresh);
    QCOMPARE(refreshCombo->count(), refreshCount);
}

void TestLauncherDialog::testResolutionChangePicksFirstRate()
{
    QVERIFY(writeFile(m_game + u"/launcher.cfg"_s, "/W:1024 /H:768 /REFRESH:85"));
    VxLauncherDialog dialog({m_game, u"ENG"_s}, usualModes);
    auto *resolutionCombo = dialog.findChild<QComboBox *>(u"resolutionCombo"_s);
    auto *refreshCombo = dialog.findChild<QComboBox *>(u"refreshCombo"_s);
    QCOMPARE(refreshCombo->currentText(), u"85Hz"_s);

    resolutionCombo->setCurrentIndex(resolutionCombo->findText(u"800x600"_s));
    QCOMPARE(refreshCombo->count(), 2);
    QCOMPARE(refreshCombo->currentText(), u"60Hz"_s);
    resolutionCombo->setCurrentIndex(resolutionCombo->findText(u"1600x1200"_s));
    QCOMPARE(refreshCombo->count(), 1);
    QCOMPARE(refreshCombo->currentText(), u"60Hz"_s);
}

void TestLauncherDialog::testLeavingWritesNothing_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<QByteArray>("config"); // "<none>": no launcher.cfg before

    QTest::newRow("cancel button on a first start") << u"cancel"_s << QByteArray("<none>");
    QTest::newRow("cancel button keeps an odd file as it is")
        << u"cancel"_s << QByteArray("  /w:1\n/TELNET garbage");
    QTest::newRow("escape key") << u"escape"_s << QByteArray("/W:800 /H:600");
    QTest::newRow("window close button") << u"close"_s << QByteArray("<none>");
}

void TestLauncherDialog::testLeavingWritesNothing()
{
    QFETCH(QString, how);
    QFETCH(QByteArray, config);

    const QString path = m_game + u"/launcher.cfg"_s;
    if (config != "<none>")
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

    QCOMPARE(readAll(path), config == "<none>" ? QByteArray("<missing>") : config);
    QCOMPARE(QDir(m_game).entryList(QDir::Files | QDir::Hidden),
             config == "<none>" ? QStringList() : QStringList{u"launcher.cfg"_s});
}

void TestLauncherDialog::testMoves_data()
{
    QTest::addColumn<QString>("mods");    // initial order
    QTest::addColumn<int>("current");     // -1: none
    QTest::addColumn<QString>("presses"); // u: up, d: down
    QTest::addColumn<QString>("order");
    QTest::addColumn<QString>("currentAfter"); // empty: none

    QTest::newRow("up on the first entry changes nothing")
        << u"ABC"_s << 0 << u"u"_s << u"ABC"_s << u"A"_s;
    QTest::newRow("down on the last entry changes nothing")
        << u"ABC"_s << 2 << u"d"_s << u"ABC"_s << u"C"_s;
    QTest::newRow("up with no current entry changes nothing")
        << u"ABC"_s << -1 << u"u"_s << u"ABC"_s << QString();
    QTest::newRow("down with no current entry changes nothing")
        << u"ABC"_s << -1 << u"d"_s << u"ABC"_s << QString();
    QTest::newRow("B up gives B A C with B current")
        << u"ABC"_s << 1 << u"u"_s << u"BAC"_s << u"B"_s;
    QTest::newRow("B up then down twice gives A C B")
        << u"ABC"_s << 1 << u"udd"_s << u"ACB"_s << u"B"_s;
    QTest::newRow("a single entry goes nowhere") << u"A"_s << 0 << u"ud"_s << u"A"_s << u"A"_s;
    QTest::newRow("empty list") << QString() << -1 << u"ud"_s << QString() << QString();
    QTest::newRow("last entry all the way up")
        << u"ABCD"_s << 3 << u"uuuu"_s << u"DABC"_s << u"D"_s;
}

void TestLauncherDialog::testMoves()
{
    QFETCH(QString, mods);
    QFETCH(int, current);
    QFETCH(QString, presses);
    QFETCH(QString, order);
    QFETCH(QString, currentAfter);

    VxLauncherDialog dialog({m_game, u"ENG"_s}, usualModes);
    auto *list = dialog.findChild<QListWidget *>(u"modsList"_s);
    QCOMPARE(list->count(), 0);
    for (const QChar letter : mods) {
        VxModInfo info;
        info.name = letter;
        info.author = u"author of "_s + letter;
        auto *item = new VxModItem(info, list);
        // Ticks travel with their entries: B and D are ticked.
        if (letter == u'B' || letter == u'D')
            item->setCheckState(Qt::Checked);
    }
    list->setCurrentRow(current);
    auto *up = dialog.findChild<QToolButton *>(u"upButton"_s);
    auto *down = dialog.findChild<QToolButton *>(u"downButton"_s);
    for (const QChar press : presses)
        (press == u'u' ? up : down)->click();

    QString orderNow;
    for (int row = 0; row < list->count(); ++row) {
        QListWidgetItem *item = list->item(row);
        orderNow += item->text().at(0);
        const bool ticked = item->text().startsWith(u'B') || item->text().startsWith(u'D');
        QCOMPARE(item->checkState(), ticked ? Qt::Checked : Qt::Unchecked);
    }
    QCOMPARE(orderNow, order);
    QCOMPARE(list->currentItem() ? list->currentItem()->text().left(1) : QString(), currentAfter);
    // The information box follows the moved entry.
    if (!currentAfter.isEmpty()) {
        const QString box = dialog.findChild<QTextBrowser *>(u"modsDesc"_s)->toPlainText();
        QVERIFY2(box.contains(u"author of "_s + currentAfter), qPrintable(box));
    }
}

void TestLauncherDialog::testModInfo_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<QString>("author"); // "<default>": not set in info.txt
    QTest::addColumn<QString>("desc");
    QTest::addColumn<QString>("shown");

    QTest::newRow("no author and no description")
        << u"ENG"_s << u"<default>"_s << u"<default>"_s << u"Author : N/A\nDescription : N/A"_s;
    QTest::newRow("french labels")
        << u"FRE"_s << u"Lune"_s << u"Ciel"_s << u"Auteur : Lune\nDescription : Ciel"_s;
    QTest::newRow("spanish labels")
        << u"SPA"_s << u"Ana"_s << u"Mapas"_s << u"Autor : Ana\nDescripci\u00F3n : Mapas"_s;
    QTest::newRow("empty description")
        << u"ENG"_s << u"X"_s << QString() << u"Author : X\nDescription : "_s;
    QTest::newRow("markup in the author turns the box to rich text")
        << u"ENG"_s << u"<b>Bold</b>"_s << u"plain"_s << u"Author : Bold Description : plain"_s;
    QTest::newRow("markup only in the description stays plain text")
        << u"ENG"_s << u"Kim"_s << u"<b>x</b>"_s << u"Author : Kim\nDescription : <b>x</b>"_s;
}

void TestLauncherDialog::testModInfo()
{
    QFETCH(QString, language);
    QFETCH(QString, author);
    QFETCH(QString, desc);
    QFETCH(QString, shown);

    VxLauncherDialog dialog({m_game, language}, usualModes);
    auto *list = dialog.findChild<QListWidget *>(u"modsList"_s);
    auto *box = dialog.findChild<QTextBrowser *>(u"modsDesc"_s);
    VxModInfo info;
    if (author != u"<default>"_s)
        info.author = author;
    if (desc != u"<default>"_s)
        info.desc = desc;
    new VxModItem(info, list);
    new VxModItem(VxModInfo(), list);
    QVERIFY(box->toPlainText().isEmpty());

    list->setCurrentRow(0);
    QCOMPARE(box->toPlainText(), shown);
    // Leaving the list empty-handed keeps what the box shows.
    list->setCurrentItem(nullptr);
    QCOMPARE(box->toPlainText(), shown);
}

void TestLauncherDialog::testModScan()
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
        auto *item = dynamic_cast<VxModItem *>(list->item(row));
        QVERIFY(item);
        QCOMPARE(item->checkState(), Qt::Unchecked);
        QCOMPARE(item->flags(), Qt::ItemIsSelectable | Qt::ItemIsUserCheckable | Qt::ItemIsEnabled);
        QVERIFY(item->path.endsWith(u'/'));
        texts.append(item->text());
    }
    QCOMPARE(texts, QStringList({u"Alpha 1.0"_s, u"<no name> 2"_s, u"Gamma 3"_s}));
}

void TestLauncherDialog::testUpdateButton()
{
    VxLauncherDialog dialog({m_game, u"ENG"_s}, usualModes);
    QList<QUrl> opened;
    dialog.urlOpener = [&opened](const QUrl &url) { opened.append(url); };
    dialog.show();
    auto *button = dialog.findChild<QPushButton *>(u"updateButton"_s);
    button->click();
    button->click();

    const QUrl page(
        u"http://support.kestwyn.example/support.html?subsection=patch&CRC=0x3A5F19C2"_s);
    QCOMPARE(opened, QList<QUrl>({page, page}));
    QVERIFY(dialog.isVisible());
    QVERIFY(!QFileInfo::exists(m_game + u"/launcher.cfg"_s));
}

void TestLauncherDialog::testUnusualGameFolders_data()
{
    QTest::addColumn<QString>("folder"); // below the temporary folder
    QTest::addColumn<bool>("exists");
    QTest::addColumn<bool>("modsFolderIsFile");

    QTest::newRow("folder with spaces and non-ASCII letters")
        << u"Spiele/J\u00FCrgen's Vexil 4 \u00C9dition"_s << true << false;
    QTest::newRow("folder that does not exist") << u"gone/away"_s << false << false;
    QTest::newRow("a file where the mods folder should be") << u"game2"_s << true << true;
}

void TestLauncherDialog::testUnusualGameFolders()
{
    QFETCH(QString, folder);
    QFETCH(bool, exists);
    QFETCH(bool, modsFolderIsFile);

    const QString game = m_dir->filePath(folder);
    if (exists)
        QVERIFY(QDir().mkpath(game));
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

QTEST_MAIN(TestLauncherDialog)
#include "tst_launcherdialog.moc"
