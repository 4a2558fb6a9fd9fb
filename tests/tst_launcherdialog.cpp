#include "launch/feedback.h"
#include "launch/gamelock.h"
#include "launch/launchsequence.h"
#include "testutil.h"
#include "ui/collisionmarks.h"
#include "ui/launcherdialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QListWidget>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>
#include <QToolButton>

#include <array>

using namespace Qt::StringLiterals;

using ModeList = QList<VxDisplayMode>;

namespace {

const ModeList usualModes = {{640, 480, 60},  {640, 480, 75},  {800, 600, 60},
                             {800, 600, 75},  {1024, 768, 60}, {1024, 768, 75},
                             {1024, 768, 85}, {1280, 960, 60}, {1600, 1200, 60}};

} // namespace

// The dialog on the demo game, played with the stand-in as the game.
class TestLauncherDialog : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_dir = std::make_unique<vxtest::TestDir>();
        m_game = m_dir->filePath(u"Vexil 4 Br\u00E4sk Gold"_s);
        QString error;
        QVERIFY2(vxtest::stageDemoGame(m_game, &error), qPrintable(error));
        qputenv("VX_STANDIN_HEADLESS", "1");
        qputenv("VX_STANDIN_QUIT_AFTER_MS", "200");
        qputenv("VX_STANDIN_SNAPSHOT", QFile::encodeName(m_dir->filePath(u"snapshot.txt"_s)));
        m_boxes.clear();
    }

    // The six boxes, ticked in the dialog or read from a saved file, in patterns where every
    // pair of boxes differs somewhere, so that two swapped boxes show; Alpha and Beta set one
    // field and bring one file, so that the order they are applied in shows.
    void testPlay_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("choices"); // boxes or a saved line, mods top first, mode
        QTest::addColumn<int>("answer");      // the button pressed on every box
        QTest::addColumn<QString>("boxText"); // begins the first box's "title|text|buttons"
        QTest::addColumn<QByteArray>("seen"); // lines of the game's snapshot; none: no game

        const QByteArray mode = "config\t/W:640 /H:480 /REFRESH:60 ";
        const QByteArray health = "value\tUnits.xml\tTank-0\tHealth\t";
        const QByteArray overlap = "file\tdata/Art/overlap.txt\t";
        const int ok = QMessageBox::Ok;
        QTest::newRow("boxes 0, 2, 4 and a mode; the lower mod's edit wins, the upper's file")
            << QString() << u"ENG"_s
            << u"nomoviesCheck,autoportsCheck,manualcamCheck,Alpha,Beta,1024x768,85Hz"_s << ok
            << QString()
            << "argc\t0\nconfig\t/W:1024 /H:768 /REFRESH:85 /NOMOVIES /ENABLEPORTFORWARDING "
               "/MANUALCAMERA\n" +
                   health + "2\n" + overlap + "d046cd9b7ffb7661e449683313d41f6fc33e3130";
        QTest::newRow("boxes 1, 5, port forwarding off; mods reversed, so are both winners")
            << QString() << u"ENG"_s << u"nosoundCheck,telnetCheck,Beta,Alpha"_s << ok << QString()
            << mode + "/NOSOUND /TELNET\n" + health + "1\n" + overlap +
                   "6c007a14875d53d9bf0ef5a6fc0257c817f0fb83";
        // Saved choices come back into the boxes (port forwarding always reads as on).
        QTest::newRow("saved boxes 1, 3, 5 and a saved mode")
            << QString() << u"ENG"_s
            << u"/W:1024 /H:768 /REFRESH:75 /NOSOUND /ALLOWSCREENSHOTS /TELNET,Night Sky"_s << ok
            << QString()
            << "config\t/W:1024 /H:768 /REFRESH:75 /NOSOUND /ENABLEPORTFORWARDING /ALLOWSCREENSHOTS /TELNET"_ba;
        QTest::newRow("saved boxes 0, 4, 5")
            << QString() << u"ENG"_s << u"/NOMOVIES /MANUALCAMERA /TELNET,Night Sky"_s << ok
            << QString() << mode + "/NOMOVIES /ENABLEPORTFORWARDING /MANUALCAMERA /TELNET";
        QTest::newRow("saved boxes 3, 4")
            << QString() << u"ENG"_s << u"/ALLOWSCREENSHOTS /MANUALCAMERA,Night Sky"_s << ok
            << QString() << mode + "/ENABLEPORTFORWARDING /ALLOWSCREENSHOTS /MANUALCAMERA";
        QTest::newRow("a malformed resource file shows the load error, in Spanish")
            << u"malformed"_s << u"SPA"_s << u"Better Units"_s << ok
            << u"\u00a1Error!|No se pudieron cargar los datos de los objetos de Units.xml|Aceptar"_s
            << QByteArray();
        QTest::newRow("Abort on a tweak file for a missing element ends the launch, in French")
            << u"unknown element"_s << u"FRE"_s << u"Better Units"_s << int(QMessageBox::Abort)
            << u"Erreur !|Erreur au chargement du fichier Aaa.twk, continuer quand m\u00eame "
               u"?|Abandonner Ignorer"_s
            << QByteArray();
        QTest::newRow("Ignore on a tweak file for a missing element plays on")
            << u"unknown element"_s << u"ENG"_s << u"Better Units"_s << int(QMessageBox::Ignore)
            << u"Error!|Error loading file Aaa.twk"_s << "argc\t0"_ba;
        QTest::newRow("closing the progress window ends the launch")
            << u"close progress"_s << u"ENG"_s << u"Warp Drive,Better Units,Night Sky"_s << ok
            << QString() << QByteArray();
        QTest::newRow("missing game executable is reported and everything put back")
            << u"no executable"_s << u"ENG"_s << u"Better Units"_s << ok
            << u"Error!|Could not start the game:"_s << QByteArray();
        QTest::newRow("settings that cannot be saved are reported before the game starts")
            << u"settings folder"_s << u"ENG"_s << u"Better Units"_s << ok
            << u"Error!|Could not save your settings in "_s << "argc\t0"_ba;
    }

    void testPlay()
    {
        QFETCH(QString, fault);
        QFETCH(QString, language);
        QFETCH(QString, choices);
        QFETCH(int, answer);
        QFETCH(QString, boxText);
        QFETCH(QByteArray, seen);

        for (const QString &mod : {u"Alpha"_s, u"Beta"_s})
            QVERIFY(vxtest::writeTree(
                m_game + u"/VexilMods/"_s + mod,
                {{u"info.txt"_s, "name=" + mod.toUtf8() + '\n'},
                 {u"Tweak/Units/Tank.twk"_s, mod == u"Alpha"_s ? "Health=1\n" : "Health=2\n"},
                 {u"Art/overlap.txt"_s, mod.toLower().toUtf8() + '\n'}}));
        if (fault == u"malformed"_s)
            QVERIFY(vxtest::writeTree(m_game,
                                      {{u"data/Tweak/Units.xml"_s, "<XResourceFile><unclosed>"}}));
        else if (fault == u"unknown element"_s)
            QVERIFY(vxtest::writeTree(
                m_game, {{u"VexilMods/BetterUnits/Tweak/Units/Aaa.twk"_s, "Value=1\n"}}));
        else if (fault == u"no executable"_s)
            QVERIFY(QFile::remove(m_game + u'/' + vxtest::gameExecutableName()));
        else if (fault == u"settings folder"_s)
            QVERIFY(QDir(m_game).mkdir(u"launcher.cfg"_s));
        const QStringList chosen = choices.split(u',');
        if (choices.startsWith(u'/'))
            QVERIFY(vxtest::writeTree(m_game, {{u"launcher.cfg"_s, chosen.first().toUtf8()}}));
        vxtest::Files before = vxtest::hashTree(m_game);

        VxLauncherDialog dialog({m_game, language}, usualModes);
        dialog.show();
        for (auto *check : dialog.findChildren<QCheckBox *>())
            check->setChecked(choices.startsWith(u'/') ? check->isChecked()
                                                       : chosen.contains(check->objectName()));
        for (auto *combo : {dialog.findChild<QComboBox *>(u"resolutionCombo"_s),
                            dialog.findChild<QComboBox *>(u"refreshCombo"_s)}) {
            for (const QString &choice : chosen)
                combo->setCurrentIndex(combo->findText(choice) < 0 ? combo->currentIndex()
                                                                   : combo->findText(choice));
        }
        tickInOrder(dialog, chosen);

        // While the launch runs, no control of the launcher may start a second one.
        int pollsDuringLaunch = 0;
        QStringList enabledDuringLaunch;
        QTimer timer;
        answerBoxes(timer, QMessageBox::StandardButton(answer), [&] {
            QProgressDialog *progress = nullptr;
            for (QWidget *window : QApplication::topLevelWidgets()) {
                if (auto *shown = qobject_cast<QProgressDialog *>(window);
                    shown && shown->isVisible())
                    progress = shown;
            }
            if (fault == u"close progress"_s && progress)
                progress->close();
            if (!progress && !QApplication::activeModalWidget())
                return;
            ++pollsDuringLaunch;
            for (const char *name : {"playButton", "cancelButton", "updateButton", "modsGroup",
                                     "resolutionGroup", "telnetCheck"}) {
                if (dialog.findChild<QWidget *>(QLatin1String(name))->isEnabled())
                    enabledDuringLaunch.append(QLatin1String(name));
            }
        });
        auto *play = dialog.findChild<QPushButton *>(u"playButton"_s);
        const bool starts = !seen.isEmpty() || fault == u"no executable"_s;
        if (starts) {
            QTimer::singleShot(0, play, &QPushButton::click);
            QTimer::singleShot(60000, qApp, [] { QCoreApplication::exit(99); });
            QCOMPARE(QApplication::exec(), 0);
        } else {
            play->click();
            // The launch is over and the launcher is ready for another go.
            QVERIFY(play->isEnabled());
        }
        timer.stop();
        // A started game leaves no launcher window behind.
        QCOMPARE(dialog.isVisible(), !starts);
        QVERIFY(pollsDuringLaunch > 0);
        QCOMPARE(enabledDuringLaunch, QStringList());
        QVERIFY2(boxText.isEmpty() ? m_boxes.isEmpty() : m_boxes.value(0).startsWith(boxText),
                 qPrintable(m_boxes.join(u'\n')));
        if (fault == u"no executable"_s)
            QVERIFY(m_boxes.value(0).contains(QDir::toNativeSeparators(m_game)));
        QFile snapshot(m_dir->filePath(u"snapshot.txt"_s));
        QCOMPARE(snapshot.open(QIODevice::ReadOnly), !seen.isEmpty());
        const QByteArray lines = snapshot.readAll();
        for (const QByteArray &line : seen.split('\n'))
            QVERIFY2(seen.isEmpty() || lines.contains(line + '\n'), line.constData());
        // Whether the game ran or the launch ended early, the game's files are back at once;
        // only the launcher's settings may differ.
        vxtest::Files after = vxtest::hashTree(m_game);
        after.remove(u"launcher.cfg"_s);
        before.remove(u"launcher.cfg"_s);
        QCOMPARE(after, before);
    }

    // What the launcher finds at its start, and what it says about it.
    void testStart_data()
    {
        QTest::addColumn<QString>("left"); // what another launch or the player left
        QTest::addColumn<int>("answer");
        QTest::addColumn<QString>("boxText"); // begins the only box's text; empty: no box
        QTest::addColumn<bool>("restored");   // the game's own files are back after the start

        const QString title = u"Vexil 4: Brask! Mod Launcher|"_s;
        const int ok = QMessageBox::Ok;
        // The language is known before the game folder is looked for.
        QTest::newRow("no game found, said in French")
            << u"no game"_s << ok
            << u"Erreur !|Impossible de localiser Vexil 4: Brask. Essayez de r\u00E9installer le "
               u"jeu.|OK"_s
            << true;
        QTest::newRow("a launch killed before its restore is undone at once, and said so")
            << u"killed launch"_s << ok << title + u"The last launch was interrupted"_s << true;
        QTest::newRow("backups an older launcher left move only when the player says yes")
            << u"older launcher"_s << int(QMessageBox::Yes)
            << title + u"The game folder holds 1 files named like"_s << true;
        QTest::newRow("the older launcher's backups stay when the player says no")
            << u"older launcher"_s << int(QMessageBox::No)
            << title + u"The game folder holds 1 files named like"_s << false;
        QTest::newRow("a launch still holding the folder is left alone, and Play is refused")
            << u"busy"_s << ok << u"Error!|Another launch is using this game folder"_s << false;
        // An odd settings file written by hand, which a save would rewrite in the launcher's form.
        QTest::newRow("Cancel saves nothing, Check for Updates opens the page, an odd file kept")
            << u"cancelled"_s << ok << QString() << true;
        QTest::newRow("a game folder that is gone is not made up")
            << u"gone"_s << ok << QString() << true;
    }

    void testStart()
    {
        QFETCH(QString, left);
        QFETCH(int, answer);
        QFETCH(QString, boxText);
        QFETCH(bool, restored);

        const vxtest::Files pristine = vxtest::readTree(m_game + u"/data"_s);
        VxGameLock otherLaunch(m_game);
        if (left == u"older launcher"_s) {
            QVERIFY(vxtest::writeTree(m_game, {{u"data/Art/Sky/backdrop.txt"_s, "modded sky"},
                                               {u"data/Art/Sky/backdrop.txt.backup"_s,
                                                pristine.value(u"Art/Sky/backdrop.txt"_s)}}));
        } else if (left == u"cancelled"_s) {
            QVERIFY(vxtest::writeTree(m_game, {{u"launcher.cfg"_s, "  /w:1\n/TELNET garbage"}}));
        } else if (left == u"killed launch"_s || left == u"busy"_s) {
            VxSilentFeedback feedback;
            QCOMPARE(
                applyMods(m_game, {{m_game + u"/VexilMods/NightSky/"_s, u"Night Sky"_s}}, feedback),
                VxLaunchResult::Applied);
            QVERIFY(left != u"busy"_s || otherLaunch.tryLock() == VxGameLock::Result::Acquired);
        }
        const vxtest::Files before = vxtest::readTree(m_game + u"/data"_s);
        const vxtest::Files whole = vxtest::hashTree(m_game);

        QTimer timer;
        answerBoxes(timer, QMessageBox::StandardButton(answer));
        const bool noGame = left == u"no game"_s;
        const QString game = noGame              ? u"NONE"_s
                             : left == u"gone"_s ? m_dir->filePath(u"gone/away"_s)
                                                 : m_game;
        VxLauncherDialog dialog({game, noGame ? u"FRE"_s : u"ENG"_s}, usualModes);
        // Nothing is built for a game that is not there.
        QCOMPARE(dialog.findChildren<QWidget *>().isEmpty(), noGame);
        dialog.show();
        if (left == u"busy"_s)
            dialog.findChild<QPushButton *>(u"playButton"_s)->click();
        if (left == u"cancelled"_s) {
            QList<QUrl> opened;
            dialog.urlOpener = [&opened](const QUrl &url) { opened.append(url); };
            dialog.findChild<QPushButton *>(u"updateButton"_s)->click();
            dialog.findChild<QPushButton *>(u"cancelButton"_s)->click();
            QCOMPARE(opened, QList<QUrl>{QUrl(u"http://support.kestwyn.example/support.html?"
                                              "subsection=patch&CRC=0x3A5F19C2"_s)});
            QCOMPARE(vxtest::hashTree(m_game), whole);
        }
        timer.stop();
        // Neither a refused Play nor Check for Updates closes the launcher.
        QVERIFY(dialog.isVisible());
        QCOMPARE(vxtest::readTree(m_game + u"/data"_s), restored ? pristine : before);
        QVERIFY(!QFileInfo::exists(m_dir->filePath(u"gone"_s)));
        QVERIFY2(m_boxes.size() == int(!boxText.isEmpty()) && m_boxes.value(0).startsWith(boxText),
                 qPrintable(m_boxes.join(u'\n')));
    }

    void testCollisionMarks()
    {
        // Anvil and Bolt both bring the game's Art/a.txt; Clay brings a file of its own.
        vxtest::TestDir dir;
        QVERIFY(vxtest::writeTree(dir.path(),
                                  {{u"data/Art/a.txt"_s, "game"},
                                   {u"VexilMods/Anvil/info.txt"_s, "name=Anvil\nversion=1\n"},
                                   {u"VexilMods/Anvil/Art/a.txt"_s, "anvil"},
                                   {u"VexilMods/Bolt/info.txt"_s, "name=Bolt\nversion=2\n"},
                                   {u"VexilMods/Bolt/Art/a.txt"_s, "bolt"},
                                   {u"VexilMods/Clay/info.txt"_s, "name=Clay\nversion=3\n"},
                                   {u"VexilMods/Clay/Art/c.txt"_s, "clay"}}));
        VxLauncherDialog dialog({dir.path(), u"FRE"_s}, usualModes);
        dialog.show();
        auto *list = dialog.findChild<QListWidget *>(u"modsList"_s);
        QSignalSpy updated(list->findChild<VxCollisionMarks *>(), &VxCollisionMarks::marksUpdated);
        const auto [anvil, bolt, clay] = std::array{list->item(0), list->item(1), list->item(2)};
        const auto markedRows = [&] {
            QStringList rows;
            for (int row = 0; row < list->count(); ++row)
                rows << list->item(row)->text() +
                            (list->item(row)->data(Qt::DecorationRole).isNull() ? u""_s : u" !"_s);
            return rows.join(u", "_s);
        };
        const auto clash = [](const QString &order, const QString &winner) {
            return u"Conflits avec d'autres mods coch\u00e9s :\nFichier "_s +
                   QDir::toNativeSeparators(u"Art/a.txt"_s) + u" ("_s + order + u") : "_s + winner +
                   u" l'emporte"_s;
        };

        for (QListWidgetItem *item : {anvil, bolt, clay})
            item->setCheckState(Qt::Checked);
        QVERIFY(updated.wait());
        // The texts stay as they are; the icon tells.
        QCOMPARE(markedRows(), u"Anvil 1 !, Bolt 2 !, Clay 3"_s);
        QCOMPARE(bolt->toolTip(), clash(u"Anvil 1, Bolt 2"_s, u"Anvil 1"_s));

        // Moved above Anvil, Bolt's copy is the one the game gets.
        list->setCurrentItem(bolt);
        dialog.findChild<QToolButton *>(u"upButton"_s)->click();
        QVERIFY(updated.wait());
        QCOMPARE(markedRows(), u"Bolt 2 !, Anvil 1 !, Clay 3"_s);
        QCOMPARE(anvil->toolTip(), clash(u"Bolt 2, Anvil 1"_s, u"Bolt 2"_s));

        // The unticked mod loses its mark at once, the other when the new plan is in.
        anvil->setCheckState(Qt::Unchecked);
        QCOMPARE(markedRows(), u"Bolt 2 !, Anvil 1, Clay 3"_s);
        QVERIFY(updated.wait());
        QCOMPARE(markedRows(), u"Bolt 2, Anvil 1, Clay 3"_s);

        // While a launch has the list off, no plan reads the game; one follows when it is on.
        list->setEnabled(false);
        anvil->setCheckState(Qt::Checked);
        QVERIFY(!updated.wait(300));
        list->setEnabled(true);
        QVERIFY(updated.wait());
        QCOMPARE(markedRows(), u"Bolt 2 !, Anvil 1 !, Clay 3"_s);

        // Text both set on a field that holds an element stays from both: no one wins.
        QVERIFY(vxtest::writeTree(
            dir.path(),
            {{u"data/Tweak/Stuff.xml"_s, "<F><T><XLinkDetails id='Gadget'><Link><Value>boom"
                                         "</Value></Link></XLinkDetails></T></F>"},
             {u"VexilMods/Anvil/Tweak/Stuff/Gadget.twk"_s, "Link=a\n"},
             {u"VexilMods/Bolt/Tweak/Stuff/Gadget.twk"_s, "Link=b\n"}}));
        clay->setCheckState(Qt::Unchecked);
        QVERIFY(updated.wait());
        QVERIFY2(bolt->toolTip().endsWith(
                     u"\nChamp Link de Gadget dans Stuff.xml (Bolt 2, Anvil 1) : il contient des "
                     u"éléments, donc le texte de Bolt 2, Anvil 1 reste et il se lit "
                     u"« boomba »"_s),
                 qPrintable(bolt->toolTip()));
    }

private:
    // Ticks the named mods, moving them to the top in the order named; other names are skipped.
    static void tickInOrder(VxLauncherDialog &dialog, const QStringList &names)
    {
        auto *list = dialog.findChild<QListWidget *>(u"modsList"_s);
        int wanted = 0;
        for (const QString &name : names) {
            QListWidgetItem *item = list->findItems(name, Qt::MatchStartsWith).value(0);
            if (!item)
                continue;
            item->setCheckState(Qt::Checked);
            list->setCurrentItem(item);
            while (list->currentRow() > wanted)
                dialog.findChild<QAbstractButton *>(u"upButton"_s)->click();
            // Down and up again come back, when both buttons move the mod one row.
            dialog.findChild<QAbstractButton *>(u"downButton"_s)->click();
            dialog.findChild<QAbstractButton *>(u"upButton"_s)->click();
            QCOMPARE(list->currentRow(), wanted++);
        }
    }

    // Presses the button on every box that comes up, noting "title|text|buttons"; `each`
    // runs on every poll before that.
    void answerBoxes(
        QTimer &timer, QMessageBox::StandardButton button,
        const std::function<void()> &each = [] {})
    {
        connect(&timer, &QTimer::timeout, this, [this, button, each] {
            each();
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box || !box->isVisible())
                return;
            QStringList buttons;
            for (QAbstractButton *shown : box->buttons())
                buttons.append(shown->text());
            buttons.sort(); // their order is the platform's
            m_boxes.append(box->windowTitle() + u'|' + box->text() + u'|' + buttons.join(u' '));
            box->button(button)->click();
        });
        timer.start(0);
    }

    QStringList m_boxes;
    std::unique_ptr<vxtest::TestDir> m_dir;
    QString m_game;
};

QTEST_MAIN(TestLauncherDialog)
#include "tst_launcherdialog.moc"
