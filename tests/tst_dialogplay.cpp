#include "launch/feedback.h"
#include "launch/gamelock.h"
#include "launch/launchsequence.h"
#include "testutil.h"
#include "ui/launcherdialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QListWidget>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>

using namespace Qt::StringLiterals;

const QList<VxDisplayMode> modes = {
    {800, 600, 60}, {1024, 768, 60}, {1024, 768, 75}, {1280, 1024, 60}};

// The demo game played from the dialog, in this process, with the stand-in as the game.
class TestDialogPlay : public QObject
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
    }

    void cleanup() { m_dir.reset(); }

    void testPlay_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<int>("answer");      // the button pressed on every box
        QTest::addColumn<bool>("gameStarts"); // the game was started and the launcher quit
        QTest::addColumn<QString>("boxText"); // begins the first box's "title|text|buttons"
        QTest::addColumn<QString>("language");

        QTest::newRow("every choice and three mods reach the game")
            << QString() << int(QMessageBox::Ok) << true << QString() << u"ENG"_s;
        QTest::newRow("malformed resource file shows the load error")
            << u"malformed"_s << int(QMessageBox::Ok) << false
            << u"Error!|Could not load objects data from Units.xml"_s << u"ENG"_s;
        QTest::newRow("Abort on a tweak file for a missing element ends the launch")
            << u"unknown element"_s << int(QMessageBox::Abort) << false
            << u"Error!|Error loading file "_s << u"ENG"_s;
        QTest::newRow("Ignore on a tweak file for a missing element plays on")
            << u"unknown element"_s << int(QMessageBox::Ignore) << true
            << u"Error!|Error loading file "_s << u"ENG"_s;
        QTest::newRow("closing the progress window ends the launch")
            << u"close progress"_s << int(QMessageBox::Ok) << false << QString() << u"ENG"_s;
        QTest::newRow("missing game executable is reported and everything put back")
            << u"no executable"_s << int(QMessageBox::Ok) << true
            << u"Error!|Could not start the game:"_s << u"ENG"_s;
        QTest::newRow("settings that cannot be saved are reported before the game starts")
            << u"settings folder"_s << int(QMessageBox::Ok) << true
            << u"Error!|Could not save your settings in "_s << u"ENG"_s;
        QTest::newRow("a French player gets the question and its buttons in French")
            << u"unknown element"_s << int(QMessageBox::Abort) << false
            << u"Erreur !|Erreur au chargement du fichier Aaa.twk, continuer quand m\u00eame "
               u"?|Abandonner Ignorer"_s
            << u"FRE"_s;
        QTest::newRow("a Spanish player gets the load error and its button in Spanish")
            << u"malformed"_s << int(QMessageBox::Ok) << false
            << u"\u00a1Error!|No se pudieron cargar los datos de los objetos de Units.xml|Aceptar"_s
            << u"SPA"_s;
    }

    void testPlay()
    {
        QFETCH(QString, fault);
        QFETCH(int, answer);
        QFETCH(bool, gameStarts);
        QFETCH(QString, boxText);
        QFETCH(QString, language);

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
        const vxtest::Files before = vxtest::hashTree(m_game);

        VxLauncherDialog dialog({m_game, language}, modes);
        dialog.show();
        tickInOrder(dialog, {u"Warp Drive"_s, u"Better Units"_s, u"Night Sky"_s});
        auto *resolution = dialog.findChild<QComboBox *>(u"resolutionCombo"_s);
        resolution->setCurrentIndex(resolution->findText(u"1024x768"_s));
        auto *refresh = dialog.findChild<QComboBox *>(u"refreshCombo"_s);
        refresh->setCurrentIndex(refresh->findText(u"75Hz"_s));
        for (auto *check : dialog.findChildren<QCheckBox *>())
            check->setChecked(true);

        // While the launch runs, no control of the launcher may start a second one.
        int pollsDuringLaunch = 0;
        QStringList enabledDuringLaunch;
        QStringList boxTexts;
        QTimer watch;
        connect(&watch, &QTimer::timeout, this, [&] {
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
            // Whenever a box is up: note its title and text and press the row's button.
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (box && box->isVisible()) {
                QStringList buttons;
                for (QAbstractButton *button : box->buttons())
                    buttons.append(button->text());
                buttons.sort(); // their order is the platform's
                boxTexts.append(box->windowTitle() + u'|' + box->text() + u'|' +
                                buttons.join(u' '));
                box->button(QMessageBox::StandardButton(answer))->click();
            }
        });
        watch.start(0);
        auto *play = dialog.findChild<QPushButton *>(u"playButton"_s);
        if (gameStarts) {
            QTimer::singleShot(0, play, &QPushButton::click);
            QTimer::singleShot(60000, qApp, [] { QCoreApplication::exit(99); });
            QCOMPARE(QApplication::exec(), 0);
            // The game is running now: no launcher window is left.
            QVERIFY(!dialog.isVisible());
        } else {
            play->click();
            // The launch is over and the launcher is ready for another go.
            QVERIFY(dialog.isVisible());
            QVERIFY(play->isEnabled() &&
                    dialog.findChild<QPushButton *>(u"cancelButton"_s)->isEnabled());
        }
        watch.stop();
        QVERIFY(pollsDuringLaunch > 0);
        QCOMPARE(enabledDuringLaunch, QStringList());

        QVERIFY2(boxText.isEmpty() ? boxTexts.isEmpty() : boxTexts.value(0).startsWith(boxText),
                 qPrintable(boxTexts.join(u'\n')));
        if (fault == u"no executable"_s)
            QVERIFY2(boxTexts.first().contains(QDir::toNativeSeparators(m_game)),
                     qPrintable(boxTexts.first()));
        const vxtest::Files files = vxtest::readTree(m_dir->path());
        const QByteArray snapshot = files.value(u"snapshot.txt"_s);
        QCOMPARE(files.contains(u"snapshot.txt"_s), gameStarts && fault != u"no executable"_s);
        if (fault.isEmpty()) {
            const QByteArray line = "/W:1024 /H:768 /REFRESH:75 /NOMOVIES /NOSOUND "
                                    "/ENABLEPORTFORWARDING /ALLOWSCREENSHOTS /MANUALCAMERA /TELNET";
            QCOMPARE(vxtest::readTree(m_game).value(u"launcher.cfg"_s), line);
            // The game ran with the mods in place, from its own folder, with no arguments.
            QVERIFY2(snapshot.contains("argc\t0\n"), snapshot.constData());
            QVERIFY2(snapshot.contains("config\t" + line + '\n'), snapshot.constData());
            QVERIFY2(snapshot.contains(".backup"), "the game saw no replaced file");
        }

        // Whether the game ran or the launch ended early, the game's files are back at once.
        QCOMPARE(notRestored(before), QStringList());
    }

    void testLeftBehind_data()
    {
        QTest::addColumn<QString>("left"); // what another launch left in the game folder
        QTest::addColumn<int>("answer");
        QTest::addColumn<QString>("boxText"); // begins the first box's text
        QTest::addColumn<bool>("restored");   // the game's own files are back after the start

        QTest::newRow("a launch killed before its restore is undone at once, and said so")
            << u"killed launch"_s << int(QMessageBox::Ok)
            << u"Vexil 4: Brask! Mod Launcher|The last launch was interrupted"_s << true;
        QTest::newRow("backups an older launcher left move only when the player says yes")
            << u"older launcher"_s << int(QMessageBox::Yes)
            << u"Vexil 4: Brask! Mod Launcher|The game folder holds 1 files named like"_s << true;
        QTest::newRow("the older launcher's backups stay when the player says no")
            << u"older launcher"_s << int(QMessageBox::No)
            << u"Vexil 4: Brask! Mod Launcher|The game folder holds 1 files named like"_s << false;
        QTest::newRow("a launch still holding the folder is left alone, and Play is refused")
            << u"busy"_s << int(QMessageBox::Ok)
            << u"Error!|Another launch is using this game folder"_s << false;
    }

    void testLeftBehind()
    {
        QFETCH(QString, left);
        QFETCH(int, answer);
        QFETCH(QString, boxText);
        QFETCH(bool, restored);

        const vxtest::Files pristine = vxtest::readTree(m_game + u"/data"_s);
        std::unique_ptr<VxGameLock> otherLaunch;
        if (left == u"older launcher"_s) {
            QVERIFY(vxtest::writeTree(m_game, {{u"data/Art/Sky/backdrop.txt"_s, "modded sky"},
                                               {u"data/Art/Sky/backdrop.txt.backup"_s,
                                                pristine.value(u"Art/Sky/backdrop.txt"_s)}}));
        } else {
            VxSilentFeedback feedback;
            QCOMPARE(
                applyMods(m_game, {{m_game + u"/VexilMods/NightSky/"_s, u"Night Sky"_s}}, feedback),
                VxLaunchResult::Applied);
            if (left == u"busy"_s) {
                otherLaunch = std::make_unique<VxGameLock>(m_game);
                QCOMPARE(otherLaunch->tryLock(), VxGameLock::Result::Acquired);
            }
        }
        const vxtest::Files before = vxtest::readTree(m_game + u"/data"_s);

        QTimer watch;
        answerBoxes(watch, QMessageBox::StandardButton(answer));
        VxLauncherDialog dialog({m_game, u"ENG"_s}, modes);
        dialog.show();
        QCOMPARE(vxtest::readTree(m_game + u"/data"_s), restored ? pristine : before);
        if (left == u"busy"_s) {
            QCOMPARE(*m_boxTexts, QStringList());
            dialog.findChild<QPushButton *>(u"playButton"_s)->click();
            QCOMPARE(vxtest::readTree(m_game + u"/data"_s), before);
            QVERIFY(dialog.isVisible());
        }
        watch.stop();
        QVERIFY2(!m_boxTexts->isEmpty() && m_boxTexts->constFirst().startsWith(boxText),
                 qPrintable(m_boxTexts->join(u'\n')));
        QCOMPARE(m_boxTexts->size(), 1);
    }

    // One pattern of boxes per bit of each box's place, so that any two boxes swapped show;
    // overlapping mods in both orders, so that a reversed order shows.
    void testChoicesReachTheGame_data()
    {
        QTest::addColumn<QStringList>("ticked");  // boxes, then mods top first
        QTest::addColumn<QByteArrayList>("seen"); // lines of the game's snapshot

        const QByteArray mode = "config\t/W:800 /H:600 /REFRESH:60 ";
        QTest::newRow("boxes 1, 3, 5")
            << QStringList{u"nosoundCheck"_s, u"allowscreensCheck"_s, u"telnetCheck"_s}
            << QByteArrayList{mode + "/NOSOUND /ALLOWSCREENSHOTS /TELNET\n"};
        QTest::newRow("boxes 2, 3")
            << QStringList{u"autoportsCheck"_s, u"allowscreensCheck"_s}
            << QByteArrayList{mode + "/ENABLEPORTFORWARDING /ALLOWSCREENSHOTS\n"};
        QTest::newRow("boxes 0, 4, 5")
            << QStringList{u"nomoviesCheck"_s, u"manualcamCheck"_s, u"telnetCheck"_s}
            << QByteArrayList{mode + "/NOMOVIES /MANUALCAMERA /TELNET\n"};
        const QByteArray alphaFile =
            "file\tdata/Art/overlap.txt\td046cd9b7ffb7661e449683313d41f6fc33e3130\n";
        const QByteArray betaFile =
            "file\tdata/Art/overlap.txt\t6c007a14875d53d9bf0ef5a6fc0257c817f0fb83\n";
        QTest::newRow("the lower mod's edit wins, the upper mod's file wins")
            << QStringList{u"Alpha"_s, u"Beta"_s}
            << QByteArrayList{"value\tUnits.xml\tTank-0\tHealth\t2\n", alphaFile};
        QTest::newRow("reversed, so are both winners")
            << QStringList{u"Beta"_s, u"Alpha"_s}
            << QByteArrayList{"value\tUnits.xml\tTank-0\tHealth\t1\n", betaFile};
    }

    void testChoicesReachTheGame()
    {
        QFETCH(QStringList, ticked);
        QFETCH(QByteArrayList, seen);

        for (const QString &mod : {u"Alpha"_s, u"Beta"_s})
            QVERIFY(vxtest::writeTree(
                m_game + u"/VexilMods/"_s + mod,
                {{u"info.txt"_s, "name=" + mod.toUtf8() + '\n'},
                 {u"Tweak/Units/Tank.twk"_s, mod == u"Alpha"_s ? "Health=1\n" : "Health=2\n"},
                 {u"Art/overlap.txt"_s, mod.toLower().toUtf8() + '\n'}}));
        VxLauncherDialog dialog({m_game, u"ENG"_s}, modes);
        for (auto *check : dialog.findChildren<QCheckBox *>())
            check->setChecked(ticked.contains(check->objectName()));
        ticked.removeIf([](const QString &name) { return name.endsWith(u"Check"_s); });
        tickInOrder(dialog, ticked);
        dialog.show();
        QTimer::singleShot(0, dialog.findChild<QPushButton *>(u"playButton"_s),
                           &QPushButton::click);
        QTimer::singleShot(60000, qApp, [] { QCoreApplication::exit(99); });
        QCOMPARE(QApplication::exec(), 0);
        const QByteArray snapshot = vxtest::readTree(m_dir->path()).value(u"snapshot.txt"_s);
        for (const QByteArray &line : seen)
            QVERIFY2(snapshot.contains(line), line.constData());
    }

private:
    // Ticks the named mods in the order given, moving them to the top in that order.
    void tickInOrder(VxLauncherDialog &dialog, const QStringList &names)
    {
        auto *list = dialog.findChild<QListWidget *>(u"modsList"_s);
        for (int wanted = 0; wanted < names.size(); ++wanted) {
            QListWidgetItem *item = list->findItems(names.at(wanted), Qt::MatchStartsWith).value(0);
            QVERIFY2(item, qPrintable(names.at(wanted)));
            item->setCheckState(Qt::Checked);
            list->setCurrentItem(item);
            while (list->currentRow() > wanted)
                dialog.findChild<QAbstractButton *>(u"upButton"_s)->click();
        }
    }

    // The game's files that are not its own again: changed, lost, added or a leftover. Only
    // the launcher's settings may differ.
    QStringList notRestored(const vxtest::Files &before) const
    {
        const QMap<QString, QByteArray> after = vxtest::hashTree(m_game);
        QStringList paths;
        for (const QString &path : before.keys() + after.keys()) {
            if (after.value(path) != before.value(path) && path != u"launcher.cfg"_s &&
                !paths.contains(path))
                paths.append(path);
        }
        return paths;
    }

    // Presses the button on every box that comes up, noting title and text.
    QStringList answerBoxes(QTimer &watch, QMessageBox::StandardButton button)
    {
        auto texts = std::make_shared<QStringList>();
        connect(&watch, &QTimer::timeout, this, [texts, button] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (box && box->isVisible()) {
                texts->append(box->windowTitle() + u'|' + box->text());
                box->button(button)->click();
            }
        });
        watch.start(0);
        m_boxTexts = texts;
        return {};
    }
    std::shared_ptr<QStringList> m_boxTexts;

    std::unique_ptr<vxtest::TestDir> m_dir;
    QString m_game;
};

QTEST_MAIN(TestDialogPlay)
#include "tst_dialogplay.moc"
