#include "base/feedback.h"
#include "base/gamelock.h"
#include "launch/journal.h"
#include "launch/launchsequence.h"
#include "mods/modsets.h"
#include "testutil.h"
#include "ui/collisionmarks.h"
#include "ui/launcherdialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QGroupBox>
#include <QInputDialog>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QStyleOptionButton>
#include <QStyleOptionGroupBox>
#include <QTimer>
#include <QToolButton>

#include <array>

#ifdef Q_OS_LINUX
#include <sys/inotify.h>
#include <unistd.h>
#endif

using namespace Qt::StringLiterals;
using namespace vxtest;

using ModeList = QList<VxDisplayMode>;

namespace {

const ModeList usualModes = {{640, 480, 60},  {640, 480, 75},  {800, 600, 60},
                             {800, 600, 75},  {1024, 768, 60}, {1024, 768, 75},
                             {1024, 768, 85}, {1280, 960, 60}, {1600, 1200, 60}};

} // namespace

// The dialog on the demo game, played with the stand-in as the game.
// Anvil and Bolt both bring the game's Art/a.txt; Clay brings a file of its own.
const Files threeMods{{u"data/Art/a.txt"_s, "game"},
                      {u"VexilMods/Anvil/info.txt"_s, "name=Anvil\nversion=1\n"},
                      {u"VexilMods/Anvil/Art/a.txt"_s, "anvil"},
                      {u"VexilMods/Bolt/info.txt"_s, "name=Bolt\nversion=2\n"},
                      {u"VexilMods/Bolt/Art/a.txt"_s, "bolt"},
                      {u"VexilMods/Clay/info.txt"_s, "name=Clay\nversion=3\n"},
                      {u"VexilMods/Clay/Art/c.txt"_s, "clay"}};

class TestLauncherDialog : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_dir = std::make_unique<TestDir>();
        m_game = m_dir->filePath(u"Vexil 4 Br\u00E4sk Gold"_s);
        QString error;
        QVERIFY2(stageDemoGame(m_game, &error), qPrintable(error));
        qputenv("VX_STANDIN_HEADLESS", "1");
        qputenv("VX_STANDIN_QUIT_AFTER_MS", "200");
        qunsetenv("VX_STANDIN_HANDOVER_MS");
        qputenv("VX_STANDIN_SNAPSHOT", QFile::encodeName(m_dir->filePath(u"snapshot.txt"_s)));
        m_boxes.clear();
        // The launcher's own settings go to a fresh place for each test.
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope,
                           m_dir->filePath(u"config"_s));
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
        // The mods stay until the process the game handed over to has ended too.
        QTest::newRow("a game that hands over to another process is waited for to the end")
            << u"hands over"_s << u"ENG"_s << u"Alpha"_s << ok << QString()
            << health + "1\n" + overlap + "d046cd9b7ffb7661e449683313d41f6fc33e3130";
        QTest::newRow("a malformed resource file shows the load error, in Spanish")
            << u"malformed"_s << u"SPA"_s << u"Better Units"_s << ok
            << u"\u00a1Error!|No se pudieron cargar los datos de los objetos de Units.xml|Aceptar"_s
            << QByteArray();
        QTest::newRow("Abort on a tweak file for a missing element ends the launch, in French")
            << u"unknown element"_s << u"FRE"_s << u"Better Units"_s << int(QMessageBox::Abort)
            << u"Erreur !|Erreur au chargement du fichier Aaa.twk, continuer quand m\u00eame"
               u"\u202f?|Abandonner Ignorer"_s
            << QByteArray();
        QTest::newRow("Ignore on a tweak file for a missing element plays on")
            << u"unknown element"_s << u"ENG"_s << u"Better Units"_s << int(QMessageBox::Ignore)
            << u"Error!|Error loading file Aaa.twk, continue anyway?|Abort Ignore"_s
            << "argc\t0"_ba;
        QTest::newRow("closing the progress window ends the launch")
            << u"close progress"_s << u"ENG"_s << u"Warp Drive,Better Units,Night Sky"_s << ok
            << QString() << QByteArray();
        QTest::newRow("missing game executable is reported and everything put back")
            << u"no executable"_s << u"ENG"_s << u"Better Units"_s
            << ok
            // The name the game is started by, with no extension on any system.
            << u"Error!|Could not start the game:\n%game/VEXIL 4 BRASK|OK"_s << QByteArray();
        QTest::newRow("a tweak file that turned into a FIFO after the start stops the launch")
            << u"fifo after start"_s << u"FRE"_s << u"Beta,Alpha"_s << ok
            << u"Erreur !|Le mod Alpha  ne peut pas \u00eatre appliqu\u00e9, car un de ses "
               u"fichiers ne peut pas \u00eatre lu\u00a0:\n%game/VexilMods/Alpha/Tweak/Units/Tank.twk\u00a0: ce n'est pas un fichier ordinaire|OK"_s
            << QByteArray();
        QTest::newRow("a folder at the lock's name, made after the start, refuses Play")
            << u"lock folder"_s << u"ENG"_s << u"Better Units"_s << ok
            << u"Error!|The launcher cannot use the game folder: the lock file "
               u"%game/vxlaunch.lock is a folder, not a lock file; nothing is changed while it "
               u"is there|OK"_s
            << QByteArray();
        QTest::newRow("settings that cannot be saved are reported before the game starts")
            << u"settings folder"_s << u"FRE"_s << u"Better Units"_s << ok
            << u"Erreur !|Impossible d'enregistrer vos r\u00e9glages dans "
               u"%game/launcher.cfg\u00a0:\n"
               u"Syst\u00e8me\u00a0: "_s
            << "argc\t0"_ba;
        QTest::newRow("a last game that cannot be recorded is reported when the game has ended")
            << u"sets folder"_s << u"FRE"_s << u"Beta,Alpha"_s << ok
            << u"Erreur !|Les mods de cette partie n'ont pas pu \u00eatre not\u00e9s comme ceux de "
               u"la derni\u00e8re partie dans %game/VexilMods/modsets.txt\u00a0:\nce n'est pas un "
               u"fichier ordinaire (un lien, un dossier, un FIFO ou "
               u"un p\u00e9riph\u00e9rique)\u202f; ses ensembles sont ignor\u00e9s|OK"_s
            << "argc\t0"_ba;
    }

    void testPlay()
    {
        QFETCH(QString, fault);
        QFETCH(QString, language);
        QFETCH(QString, choices);
        QFETCH(int, answer);
        QFETCH(QString, boxText);
        QFETCH(QByteArray, seen);
        // The texts' paths are the system's; no other text has a slash.
        boxText = QDir::toNativeSeparators(boxText.replace(u"%game"_s, m_game));

        for (const QString &mod : {u"Alpha"_s, u"Beta"_s})
            QVERIFY(writeTree(
                m_game + u"/VexilMods/"_s + mod,
                {{u"info.txt"_s, "name=" + mod.toUtf8() + '\n'},
                 {u"Tweak/Units/Tank.twk"_s, mod == u"Alpha"_s ? "Health=1\n" : "Health=2\n"},
                 {u"Art/overlap.txt"_s, mod.toLower().toUtf8() + '\n'}}));
        if (fault == u"malformed"_s)
            QVERIFY(writeTree(m_game, {{u"data/Tweak/Units.xml"_s, "<XResourceFile><unclosed>"}}));
        else if (fault == u"unknown element"_s)
            QVERIFY(
                writeTree(m_game, {{u"VexilMods/BetterUnits/Tweak/Units/Aaa.twk"_s, "Value=1\n"}}));
        else if (fault == u"no executable"_s)
            QVERIFY(QFile::remove(m_game + u'/' + gameExecutableName()));
        else if (fault == u"settings folder"_s)
            QVERIFY(QDir(m_game).mkdir(u"launcher.cfg"_s));
        else if (fault == u"sets folder"_s)
            QVERIFY(QDir(m_game).mkdir(u"VexilMods/modsets.txt"_s));
        else if (fault == u"hands over"_s)
            qputenv("VX_STANDIN_HANDOVER_MS", "1500");
        const QStringList chosen = choices.split(u',');
        if (choices.startsWith(u'/'))
            QVERIFY(writeTree(m_game, {{u"launcher.cfg"_s, chosen.first().toUtf8()}}));
        Files before = hashTree(m_game);

        VxLauncherDialog dialog({m_game, language}, usualModes);
        dialog.show();
        if (fault == u"fifo after start"_s) {
            const QString tank = m_game + u"/VexilMods/Alpha/Tweak/Units/Tank.twk"_s;
            if (!QFile::remove(tank) || !makeSpecialFile(tank, u"fifo"_s))
                QSKIP("this system cannot make a FIFO");
            before = hashTree(m_game);
        }
        if (fault == u"lock folder"_s) {
            QVERIFY(QDir(m_game).mkdir(u"vxlaunch.lock"_s));
            before = hashTree(m_game);
        }
        for (auto *check : dialog.findChildren<QCheckBox *>())
            check->setChecked(choices.startsWith(u'/') ? check->isChecked()
                                                       : chosen.contains(check->objectName()));
        for (auto *combo : dialog.findChildren<QComboBox *>())
            for (const QString &choice : chosen)
                combo->setCurrentIndex(combo->findText(choice) < 0 ? combo->currentIndex()
                                                                   : combo->findText(choice));
        tickInOrder(dialog, chosen);

        // While the launch runs, no control of the launcher may start a second one.
        int pollsDuringLaunch = 0;
        int progressWidth = -1;
        QStringList enabledDuringLaunch;
        QTimer timer;
        answerBoxes(timer, QMessageBox::StandardButton(answer), [&] {
            QProgressDialog *progress = nullptr;
            for (QWidget *window : QApplication::topLevelWidgets()) {
                if (auto *shown = qobject_cast<QProgressDialog *>(window);
                    shown && shown->isVisible())
                    progress = shown;
            }
            if (progress && progressWidth < 0)
                progressWidth = progress->width();
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
            // A launch that never ends fails this row; the guard goes with the row, or it would
            // end whatever event loop a later test runs a minute on (a slow machine gets there).
            QTimer hang;
            hang.setSingleShot(true);
            connect(&hang, &QTimer::timeout, qApp, [] { QCoreApplication::exit(99); });
            hang.start(60000);
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
        // The progress window keeps the width its placeholder text gave it.
        QProgressDialog placeholder(u"LOLOLOLOLOLOLOLOLOLOLOLOLOLOLOLOLOLOLOLOLOLOLOLOLOLOLOLOLOLO"
                                    u"LOLOLOLOL"_s,
                                    QString(), 0, 1);
        placeholder.show();
        QVERIFY(progressWidth < 0 || progressWidth == placeholder.width());
        QVERIFY2(boxesBegin(boxText),
                 qPrintable(m_boxes.join(u'\n') + u"\nexpected:\n"_s + boxText));
        QFile snapshot(m_dir->filePath(u"snapshot.txt"_s));
        QCOMPARE(snapshot.open(QIODevice::ReadOnly), !seen.isEmpty());
        const QByteArray lines = snapshot.readAll();
        for (const QByteArray &line : seen.split('\n'))
            QVERIFY2(seen.isEmpty() || lines.contains(line + '\n'), line.constData());
        // Whether the game ran or the launch ended early, the game's files are back at once;
        // only the launcher's settings may differ.
        Files after = hashTree(m_game);
        after.remove(u"launcher.cfg"_s);
        before.remove(u"launcher.cfg"_s);
        // A game that ran is the last game, with its mods in the order they were applied.
        QByteArray lastGame;
        if (!seen.isEmpty() && fault != u"sets folder"_s) {
            lastGame = "[last game]\n";
            for (const QString &choice : chosen)
                if (QStringList{u"Alpha"_s, u"Beta"_s, u"Night Sky"_s, u"Better Units"_s}.contains(
                        choice))
                    lastGame += QString(choice).remove(u' ').toUtf8() + '\n';
        }
        QCOMPARE(readTree(m_game).value(u"VexilMods/modsets.txt"_s), lastGame);
        after.remove(u"VexilMods/modsets.txt"_s);
        QCOMPARE(after, before);
    }

    // What the launcher finds at its start, and what it says about it.
    void testStart_data()
    {
        QTest::addColumn<QString>("left"); // what another launch or the player left
        QTest::addColumn<QString>("language");
        QTest::addColumn<int>("answer");
        QTest::addColumn<QString>("boxText"); // begins each box's text, '#' between boxes
        QTest::addColumn<bool>("restored");   // the game's own files are back after the start

        const QString title = u"Vexil 4: Brask! Mod Launcher|"_s;
        const int ok = QMessageBox::Ok;
        // The language is known before the game folder is looked for.
        const QString english = u"ENG"_s;
        QTest::newRow("no game found, said in French")
            << u"no game"_s << u"FRE"_s << ok
            << u"Erreur !|Impossible de localiser Vexil 4: Brask. Essayez de r\u00E9installer le "
               u"jeu.|OK"_s
            << true;
        // Night Sky replaces one data file, edits one resource file and adds one file.
        QTest::newRow("a launch killed before its restore is undone at once, counted in French")
            << u"killed launch"_s << u"FRE"_s << ok
            << u"Lanceur de mods Vexil 4: Brask!|Le dernier lancement a \u00e9t\u00e9 interrompu "
               u"avant que les fichiers du jeu ne soient remis en place. C'est d\u00e9sormais "
               u"chose faite\u00a0: 2 fichiers remis en place, 1 fichier ajout\u00e9 "
               u"supprim\u00e9.|OK"_s
            << true;
        QTest::newRow("a file someone changed while modded is kept beside the game's, and said so")
            << u"changed"_s << english << ok
            << title +
                   u"The last launch was interrupted before it could put the game's files back. "
                   u"This has been done now: 2 files put back, 1 added file removed.|OK#"_s +
                   title +
                   u"The game's files are back. Some files were not the ones the launch had "
                   u"placed, so they were kept:\n"_s +
                   u"%game/data/Art/Sky/backdrop.txt was changed while the game was modded; the changed file is kept as %game/data/Art/Sky/backdrop.txt.changed and the game's own file is back|OK"_s
            << true;
        QTest::newRow(
            "a launch holding the folder is left alone, Play refused before any write, in Spanish")
            << u"busy"_s << u"SPA"_s << ok
            << u"\u00a1Error!|Otro lanzamiento est\u00e1 usando la carpeta del juego (proceso "
               u"%pid, tst_launcherdialog). Espera a que termine esa partida y vuelve a pulsar "
               u"Jugar.|Aceptar"_s
            << false;
        // A damaged record is never acted on; it is kept beside an earlier one.
        QTest::newRow("a damaged journal is kept under a free name, said in French")
            << u"damaged"_s << u"FRE"_s << ok
            << u"Erreur !|Le journal du dernier lancement est endommag\u00e9\u202f; rien n'a "
               u"\u00e9t\u00e9 remis en place d'apr\u00e8s lui. Il a \u00e9t\u00e9 conserv\u00e9 "
               u"sous le nom %game/vxlaunch.journal.damaged.1.|OK"_s
            << true;
        QTest::newRow("a mod with a tweak file that cannot be read is not listed, said in Spanish")
            << u"fifo tweak file"_s << u"SPA"_s << ok
            << u"Lanzador de mods de Vexil 4: Brask|Algunos mods no aparecen en la lista porque no "
               u"se puede leer uno de sus archivos:\n%game/VexilMods/NightSky/Tweak/World/Sky.twk: no es un archivo normal|Aceptar"_s
            << true;
        QTest::newRow("a folder at the lock's name is said at the start, in Spanish")
            << u"lock folder"_s << u"SPA"_s << ok
            << u"\u00a1Error!|El lanzador no puede usar la carpeta del juego: el archivo de "
               u"bloqueo %game/vxlaunch.lock es una carpeta, no un archivo de bloqueo; no se "
               u"cambia nada mientras est\u00e9 ah\u00ed|Aceptar"_s
            << true;
        QTest::newRow("a journal of a launch killed before its first change goes unsaid")
            << u"nothing done"_s << english << ok << QString() << true;
        // An odd settings file written by hand, which a save would rewrite in the launcher's form.
        QTest::newRow("Cancel saves nothing, Check for Updates opens the page, an odd file kept")
            << u"cancelled"_s << english << ok << QString() << true;
        QTest::newRow("a game folder that is gone is not made up")
            << u"gone"_s << english << ok << QString() << true;
    }

    void testStart()
    {
        QFETCH(QString, left);
        QFETCH(QString, language);
        QFETCH(int, answer);
        QFETCH(QString, boxText);
        QFETCH(bool, restored);
        boxText.replace(u"%pid"_s, QString::number(QCoreApplication::applicationPid()));
        boxText = QDir::toNativeSeparators(boxText.replace(u"%game"_s, m_game));

        const Files pristine = readTree(m_game + u"/data"_s);
        VxGameLock otherLaunch(m_game);
        if (left == u"damaged"_s) {
            QVERIFY(writeTree(m_game, {{u"vxlaunch.journal"_s, "vxlaunch journal 1\nx\n"},
                                       {u"vxlaunch.journal.damaged"_s, "earlier"}}));
        } else if (left == u"lock folder"_s) {
            QVERIFY(QDir(m_game).mkdir(u"vxlaunch.lock"_s));
        } else if (left == u"nothing done"_s) {
            QVERIFY(writeTree(m_game, {{u"vxlaunch.journal"_s,
                                        "vxlaunch journal 2\n" +
                                            VxJournalFile::encode(
                                                {VxJournalRecord::Kind::Mod, {u"Night Sky"_s}})}}));
        } else if (left == u"cancelled"_s) {
            QVERIFY(writeTree(m_game, {{u"launcher.cfg"_s, "  /w:1\n/TELNET garbage"}}));
        } else if (left == u"fifo tweak file"_s) {
            const QString sky = m_game + u"/VexilMods/NightSky/Tweak/World/Sky.twk"_s;
            if (!QFile::remove(sky) || !makeSpecialFile(sky, u"fifo"_s))
                QSKIP("this system cannot make a FIFO");
        } else if (left == u"killed launch"_s || left == u"busy"_s || left == u"changed"_s) {
            VxSilentFeedback feedback;
            QCOMPARE(
                applyMods(m_game, {{m_game + u"/VexilMods/NightSky/"_s, u"Night Sky"_s}}, feedback),
                VxLaunchResult::Applied);
            QVERIFY(left != u"busy"_s || otherLaunch.tryLock() == VxGameLock::Result::Acquired);
            // Another program's new file in place of the mod's.
            QVERIFY(left != u"changed"_s ||
                    (QFile::remove(m_game + u"/data/Art/Sky/backdrop.txt"_s) &&
                     writeTree(m_game, {{u"data/Art/Sky/backdrop.txt"_s, "theirs"}})));
        }
        const Files before = readTree(m_game + u"/data"_s);
        const Files whole = hashTree(m_game);

        QTimer timer;
        answerBoxes(timer, QMessageBox::StandardButton(answer));
        const bool noGame = left == u"no game"_s;
        const QString game = noGame              ? u"NONE"_s
                             : left == u"gone"_s ? m_dir->filePath(u"gone/away"_s)
                                                 : m_game;
        VxLauncherDialog dialog({game, language}, usualModes);
        // Nothing is built for a game that is not there.
        QCOMPARE(dialog.findChildren<QWidget *>().isEmpty(), noGame);
        dialog.show();
        if (left == u"busy"_s) {
            dialog.findChild<QPushButton *>(u"playButton"_s)->click();
            // Not even the settings: they are those of the launch whose game is running.
            QCOMPARE(hashTree(m_game), whole);
        }
        if (left == u"fifo tweak file"_s) {
            auto *list = dialog.findChild<QListWidget *>(u"modsList"_s);
            QCOMPARE(list->count(), 2);
            QVERIFY(list->findItems(u"Night Sky"_s, Qt::MatchStartsWith).isEmpty());
        }
        if (left == u"cancelled"_s) {
            QList<QUrl> opened;
            dialog.urlOpener = [&opened](const QUrl &url) { opened.append(url); };
            dialog.findChild<QPushButton *>(u"updateButton"_s)->click();
            dialog.findChild<QPushButton *>(u"cancelButton"_s)->click();
            QCOMPARE(opened, QList<QUrl>{QUrl(u"http://support.kestwyn.example/support.html?"
                                              "subsection=patch&CRC=0x3A5F19C2"_s)});
            QCOMPARE(hashTree(m_game), whole);
        }
        timer.stop();
        // Neither a refused Play nor Check for Updates closes the launcher.
        QVERIFY(dialog.isVisible());
        const Files kept{{u"Art/Sky/backdrop.txt.changed"_s, "theirs"}};
        QCOMPARE(readTree(m_game + u"/data"_s), !restored              ? before
                                                : left == u"changed"_s ? pristine + kept
                                                                       : pristine);
        QVERIFY(!QFileInfo::exists(m_dir->filePath(u"gone"_s)));
        QCOMPARE(QFileInfo::exists(m_game + u"/vxlaunch.journal"_s), !restored);
        QVERIFY2(boxesBegin(boxText),
                 qPrintable(m_boxes.join(u'\n') + u"\nexpected:\n"_s + boxText));
        if (left == u"damaged"_s)
            QCOMPARE(readTree(m_game).value(u"vxlaunch.journal.damaged.1"_s),
                     "vxlaunch journal 1\nx\n"_ba);
    }

    void testCollisionMarks()
    {
        TestDir dir;
        QVERIFY(writeTree(dir.path(), threeMods));
        VxLauncherDialog dialog({dir.path(), u"FRE"_s}, usualModes);
        dialog.show();
        auto *list = dialog.findChild<QListWidget *>(u"modsList"_s);
        auto *marks = list->findChild<VxCollisionMarks *>();
        QSignalSpy updated(marks, &VxCollisionMarks::marksUpdated);
        const auto [anvil, bolt, clay] = std::array{list->item(0), list->item(1), list->item(2)};
        const auto clash = [](const QString &order, const QString &winner) {
            return u"Conflits avec d'autres mods coch\u00e9s\u00a0:\nFichier "_s +
                   QDir::toNativeSeparators(u"Art/a.txt"_s) + u" ("_s + order + u")\u00a0: "_s +
                   winner + u" l'emporte"_s;
        };

        for (QListWidgetItem *item : {anvil, bolt, clay})
            item->setCheckState(Qt::Checked);
        QVERIFY(updated.wait());
        // The texts stay as they are; the icon tells.
        QCOMPARE(rowsOf(list), u"+Anvil 1 !, +Bolt 2 !, +Clay 3"_s);
        QCOMPARE(bolt->toolTip(), clash(u"Anvil 1, Bolt 2"_s, u"Anvil 1"_s));

        // A plan outdated while it ran shows nothing. Bolt's long tweak file keeps the plan
        // for Bolt above Anvil busy while Anvil goes back up: Anvil's copy still wins. (After
        // that file Bolt edits Units.xml, which only a plan left running would read.)
        QByteArray fields;
        for (int i = 0; i < 50000; ++i)
            fields += "F" + QByteArray::number(i) + "=1\n";
        const QString slow = dir.filePath(u"VexilMods/Bolt/Tweak/Big/Thing.twk"_s);
        QVERIFY(writeTree(
            dir.path(), {{u"data/Tweak/Big.xml"_s, "<F><T><XIndexDetails id='id-0'/><XUnitDetails "
                                                   "id='Thing'/></T></F>"},
                         {u"VexilMods/Bolt/Tweak/Big/Thing.twk"_s, fields},
                         {u"data/Tweak/Units.xml"_s, "<F><T><XIndexDetails id='id-0'/></T></F>"},
                         {u"VexilMods/Bolt/Tweak/Units/Tank.twk"_s, "#class XUnitDetails\n"}}));
        auto *up = dialog.findChild<QToolButton *>(u"upButton"_s);
        list->setCurrentItem(bolt);
        up->click();
        QCoreApplication::sendPostedEvents(marks, QEvent::MetaCall); // that plan starts
        list->setCurrentItem(anvil);
        up->click();
        QVERIFY(updated.wait());
        QCOMPARE(bolt->toolTip(), clash(u"Anvil 1, Bolt 2"_s, u"Anvil 1"_s));

        // Moved above Anvil, Bolt's copy is the one the game gets.
        list->setCurrentItem(bolt);
        up->click();
        QVERIFY(updated.wait());
        QCOMPARE(rowsOf(list), u"+Bolt 2 !, +Anvil 1 !, +Clay 3"_s);
        QCOMPARE(anvil->toolTip(), clash(u"Bolt 2, Anvil 1"_s, u"Bolt 2"_s));

        // The unticked mod loses its mark at once, the other when the new plan is in.
        anvil->setCheckState(Qt::Unchecked);
        QCOMPARE(rowsOf(list), u"+Bolt 2 !, Anvil 1, +Clay 3"_s);
        QVERIFY(updated.wait());
        QCOMPARE(rowsOf(list), u"+Bolt 2, Anvil 1, +Clay 3"_s);

        // While a launch has the list off, no plan reads the game: the one under way is called
        // off, and a change starts none; one follows when the list is on.
#ifdef Q_OS_LINUX
        const int opens = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        QVERIFY(opens >= 0 && ::inotify_add_watch(
                                  opens, QFile::encodeName(dir.filePath(u"data/Tweak/Units.xml"_s)),
                                  IN_OPEN) >= 0);
        char event[4096];
#endif
        anvil->setCheckState(Qt::Checked);
        QCoreApplication::sendPostedEvents(marks, QEvent::MetaCall); // a plan starts
        list->setEnabled(false);
#ifdef Q_OS_LINUX
        while (::read(opens, event, sizeof event) > 0) {
        }
#endif
        QVERIFY(!updated.wait(300));
#ifdef Q_OS_LINUX
        QVERIFY2(::read(opens, event, sizeof event) < 0,
                 "a plan read the game while the list was off");
        ::close(opens);
#endif
        clay->setCheckState(Qt::Unchecked);
        clay->setCheckState(Qt::Checked);
        QVERIFY(!updated.wait(300));
        QVERIFY(QFile::remove(slow));
        list->setEnabled(true);
        QVERIFY(updated.wait());
        QCOMPARE(rowsOf(list), u"+Bolt 2 !, +Anvil 1 !, +Clay 3"_s);

        // Text both set on a field that holds an element stays from both: no one wins.
        QVERIFY(writeTree(dir.path(), {{u"data/Tweak/Stuff.xml"_s,
                                        "<F><T><XLinkDetails id='Gadget'><Link><Value>boom"
                                        "</Value></Link></XLinkDetails></T></F>"},
                                       {u"VexilMods/Anvil/Tweak/Stuff/Gadget.twk"_s, "Link=a\n"},
                                       {u"VexilMods/Bolt/Tweak/Stuff/Gadget.twk"_s, "Link=b\n"}}));
        clay->setCheckState(Qt::Unchecked);
        QVERIFY(updated.wait());
        QVERIFY2(bolt->toolTip().endsWith(
                     u"\nChamp Link de Gadget dans Stuff.xml (Bolt 2, Anvil 1)\u00a0: il contient "
                     u"des \u00e9l\u00e9ments, donc le texte de Bolt 2, Anvil 1 reste et il se lit "
                     u"\u00ab\u202fboomba\u202f\u00bb"_s),
                 qPrintable(bolt->toolTip()));

        // A launcher closed while a plan runs waits for it, so the plan reports to no one.
        QVERIFY(writeTree(dir.path(), {{u"VexilMods/Bolt/Tweak/Big/Thing.twk"_s, fields}}));
        {
            VxLauncherDialog closing({dir.path(), u"FRE"_s}, usualModes);
            auto *mods = closing.findChild<QListWidget *>(u"modsList"_s);
            for (int row = 0; row < mods->count(); ++row)
                mods->item(row)->setCheckState(Qt::Checked);
            QCoreApplication::sendPostedEvents(mods->findChild<VxCollisionMarks *>(),
                                               QEvent::MetaCall);
        }
        QTest::qWait(300);
    }

    // The question about an older launcher's backups names them below the game folder, ten at
    // most, and a No holds for that very set of files, by name and size, kept outside the game.
    void testOldBackups()
    {
        QStringList names;
        Files left;
        for (int i = 0; i < 12; ++i) {
            names.append(u"data/Art/Old/f%1.txt.backup"_s.arg(i, 2, 10, QChar(u'0')));
            left.insert(names.last(), "old");
            left.insert(names.last().chopped(7), "modded");
        }
        QVERIFY(writeTree(m_game, left));
        // Starts the launcher, answering the question; its boxes are in m_boxes.
        const auto start = [&](const QString &language, QMessageBox::StandardButton answer) {
            m_boxes.clear();
            QTimer timer;
            answerBoxes(timer, answer);
            VxLauncherDialog dialog({m_game, language}, usualModes);
        };
        // Removes backups, with the files they are named after, and lists those left.
        const auto remove = [&](qsizetype count) {
            bool removed = true;
            for (const QString &name : names.first(count))
                removed = removed && QFile::remove(m_game + u'/' + name) &&
                          QFile::remove(m_game + u'/' + name.chopped(7));
            names.remove(0, count);
            return removed;
        };
        const auto listed = [&names](qsizetype count) {
            return QDir::toNativeSeparators(names.first(count).join(u'\n'));
        };

        const Files declined = hashTree(m_game);
        start(u"SPA"_s, QMessageBox::No);
        QCOMPARE(m_boxes,
                 QStringList{u"Lanzador de mods de Vexil 4: Brask|La carpeta del juego contiene 12 "
                             u"archivos con nombres como los de las copias de seguridad que "
                             u"dejaba un lanzador antiguo:\n"_s +
                             listed(10) +
                             u"\ny 2 m\u00e1s\n\n\u00bfQuieres restaurar cada uno en lugar del "
                             u"archivo original (el mismo nombre sin \u00ab.backup\u00bb)?|No "
                             u"S\u00ed"_s});
        QCOMPARE(hashTree(m_game), declined);
        QVERIFY(QFileInfo(m_dir->filePath(u"config/KESTWYN/Vexil Launcher.ini"_s)).isFile());

        start(u"ENG"_s, QMessageBox::No);
        QCOMPARE(m_boxes, QStringList());
        QCOMPARE(hashTree(m_game), declined);

        // Same names, one size changed: another set.
        QVERIFY(writeTree(m_game, {{names.at(11), "older"}}));
        start(u"ENG"_s, QMessageBox::No);
        QCOMPARE(m_boxes.size(), 1);
        QVERIFY(m_boxes.at(0).contains(u"holds 12 files"_s));

        // Ten, as many as are named: each of them, and nothing more said.
        QVERIFY(remove(2));
        start(u"ENG"_s, QMessageBox::No);
        QCOMPARE(m_boxes,
                 QStringList{u"Vexil 4: Brask! Mod Launcher|The game folder holds 10 files named "
                             u"like the backups an older launcher left behind:\n"_s +
                             listed(10) +
                             u"\n\nPut each of them back over the file it is named after?|No "
                             u"Yes"_s});

        // One left: asked again, in the singular, and put back on Yes.
        QVERIFY(remove(9));
        start(u"ENG"_s, QMessageBox::Yes);
        QCOMPARE(
            m_boxes,
            QStringList{u"Vexil 4: Brask! Mod Launcher|The game folder holds 1 file named like "
                        u"the backups an older launcher left behind:\n"_s +
                        listed(1) + u"\n\nPut it back over the file it is named after?|No Yes"_s});
        QCOMPARE(readTree(m_game + u"/data/Art/Old"_s), (Files{{u"f11.txt"_s, "older"}}));
    }

    // Tab follows the screen, every stop shows its focus, and the list moves with its keys.
    void testKeyboard()
    {
        TestDir dir;
        QVERIFY(writeTree(dir.path(), {{u"data/Art/a.txt"_s, "game"},
                                       {u"VexilMods/Anvil/info.txt"_s, "name=Anvil\nversion=1\n"},
                                       {u"VexilMods/Bolt/info.txt"_s, "name=Bolt\nversion=2\n"},
                                       {u"VexilMods/Clay/info.txt"_s, "name=Clay\nversion=3\n"}}));
        VxLauncherDialog dialog({dir.path(), u"ENG"_s}, usualModes);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        const QStringList chain = {
            u"playButton"_s,   u"resolutionCombo"_s, u"refreshCombo"_s,      u"nomoviesCheck"_s,
            u"nosoundCheck"_s, u"autoportsCheck"_s,  u"allowscreensCheck"_s, u"manualcamCheck"_s,
            u"telnetCheck"_s,  u"modsList"_s,        u"upButton"_s,          u"downButton"_s,
            u"updateButton"_s, u"cancelButton"_s,    u"playButton"_s};
        // Each stop looks different with the focus than without it, from the start: before any key
        // has moved the focus.
        QCOMPARE(QApplication::focusWidget()->objectName(), u"playButton"_s);
        auto *far = dialog.findChild<QWidget *>(u"cancelButton"_s);
        for (const QString &name : chain.first(chain.size() - 1)) {
            auto *stop = dialog.findChild<QWidget *>(name);
            stop->setFocus();
            const QImage focused = stop->grab().toImage();
            (stop == far ? dialog.findChild<QWidget *>(u"playButton"_s) : far)->setFocus();
            QVERIFY2(stop->grab().toImage() != focused, qPrintable(name));
        }

        QStringList visited = {QApplication::focusWidget()->objectName()};
        for (qsizetype i = 1; i < chain.size(); ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            visited.append(QApplication::focusWidget()->objectName());
        }
        QCOMPARE(visited, chain);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
        QCOMPARE(QApplication::focusWidget()->objectName(), u"cancelButton"_s);
        // Enter on a switch or a list plays.
        dialog.findChild<QWidget *>(u"telnetCheck"_s)->setFocus();
        QVERIFY(dialog.findChild<QPushButton *>(u"playButton"_s)->isDefault());

        auto *list = dialog.findChild<QListWidget *>(u"modsList"_s);
        list->setFocus();
        list->setCurrentRow(0);
        QTest::keyClick(list, Qt::Key_Space);
        QTest::keyClick(list, Qt::Key_Down);
        QTest::keyClick(list, Qt::Key_Down, Qt::ControlModifier);
        QCOMPARE(rowsOf(list), u"+Anvil 1, Clay 3, Bolt 2"_s);
        QCOMPARE(list->currentRow(), 2);
        QTest::keyClick(list, Qt::Key_Up, Qt::ControlModifier);
        QTest::keyClick(list, Qt::Key_Up, Qt::ControlModifier);
        QTest::keyClick(list, Qt::Key_Space);
        QCOMPARE(rowsOf(list), u"+Bolt 2, +Anvil 1, Clay 3"_s);
        QCOMPARE(list->toolTip(),
                 u"Tick the mods to play with (Space ticks the current one). Ctrl+Up and Ctrl+Down "
                 u"move the current mod: the mods are applied from the top down."_s);
    }

    // Every label shows, whole, at the dialog's own font and size, in every language.
    void testLabelsFit_data()
    {
        QTest::addColumn<QString>("language");
        QTest::newRow("English") << u"ENG"_s;
        QTest::newRow("French") << u"FRE"_s;
        QTest::newRow("Spanish") << u"SPA"_s;
    }

    void testLabelsFit()
    {
        QFETCH(QString, language);
        VxLauncherDialog dialog({m_game, language}, usualModes);
        dialog.show();
        const int size = QFontInfo(dialog.font()).pixelSize();
        QStringList cut;
        for (QAbstractButton *button : dialog.findChildren<QAbstractButton *>()) {
            const QFontMetrics metrics(button->font());
            int room = button->contentsRect().width();
            if (auto *box = qobject_cast<QCheckBox *>(button)) {
                QStyleOptionButton option;
                option.initFrom(box);
                option.text = box->text();
                room =
                    box->style()->subElementRect(QStyle::SE_CheckBoxContents, &option, box).width();
            } else if (qobject_cast<QPushButton *>(button)) {
                room -= 2 * button->style()->pixelMetric(QStyle::PM_ButtonMargin);
            }
            // Only the arrows go without words.
            if (metrics.horizontalAdvance(button->text()) > room ||
                QFontInfo(button->font()).pixelSize() < size ||
                (button->text().isEmpty() && !qobject_cast<QToolButton *>(button)))
                cut.append(button->objectName() + u": "_s + button->text());
        }
        for (QGroupBox *group : dialog.findChildren<QGroupBox *>()) {
            QStyleOptionGroupBox option;
            option.initFrom(group);
            option.text = group->title();
            option.subControls = QStyle::SC_GroupBoxLabel | QStyle::SC_GroupBoxFrame;
            option.textAlignment = group->alignment();
            const QRect label = group->style()->subControlRect(QStyle::CC_GroupBox, &option,
                                                               QStyle::SC_GroupBoxLabel, group);
            if (QFontMetrics(group->font()).horizontalAdvance(group->title()) > label.width() ||
                label.right() > group->width() - 2 || group->title().isEmpty())
                cut.append(group->objectName() + u": "_s + group->title());
        }
        QVERIFY2(cut.isEmpty(), qPrintable(cut.join(u'\n')));
        // Readable: the dialog's font is not made small to fit.
        QVERIFY2(size >= 11, qPrintable(QString::number(size)));
        // Measured in the font that travels with the launcher, not whatever the system has.
        QCOMPARE(QFontInfo(dialog.font()).family(), u"Liberation Sans"_s);
    }

    // The fixed layout, each widget where its parent holds it (x, y, width, height). The
    // switches of the left column reach the right one, so that the longer translations show
    // whole.
    void testLayout_data()
    {
        QTest::addColumn<QString>("parent");
        QTest::addColumn<QRect>("geometry");
        const auto row = [](const char *name, const char *parent, int x, int y, int w, int h) {
            QTest::newRow(name) << QString::fromLatin1(parent) << QRect(x, y, w, h);
        };
        row("logoFrame", "Dialog", 10, 10, 351, 141);
        row("resolutionGroup", "Dialog", 20, 230, 161, 51);
        row("resolutionCombo", "resolutionGroup", 10, 20, 141, 22);
        row("refreshGroup", "Dialog", 190, 230, 161, 51);
        row("refreshCombo", "refreshGroup", 10, 20, 141, 22);
        row("playButton", "Dialog", 30, 160, 311, 61);
        row("nomoviesCheck", "Dialog", 20, 290, 190, 21);
        row("nosoundCheck", "Dialog", 210, 290, 121, 21);
        row("autoportsCheck", "Dialog", 20, 310, 190, 21);
        row("allowscreensCheck", "Dialog", 210, 310, 161, 21);
        row("manualcamCheck", "Dialog", 20, 330, 190, 21);
        row("telnetCheck", "Dialog", 210, 330, 101, 21);
        row("modsGroup", "Dialog", 10, 360, 351, 151);
        row("modsList", "modsGroup", 10, 20, 181, 101);
        row("modsDesc", "modsGroup", 200, 20, 141, 121);
        row("updateButton", "Dialog", 20, 520, 211, 25);
        row("cancelButton", "Dialog", 250, 520, 101, 25);
        row("upButton", "modsGroup", 10, 121, 24, 20);
        row("downButton", "modsGroup", 40, 121, 24, 20);
    }

    void testLayout()
    {
        QFETCH(QString, parent);
        QFETCH(QRect, geometry);
        VxLauncherDialog dialog({m_game, u"ENG"_s}, usualModes);
        // One size, which the player cannot change: the layout is laid out for it alone.
        QCOMPARE(dialog.minimumSize(), QSize(371, 561));
        QCOMPARE(dialog.maximumSize(), QSize(371, 561));
        const auto *widget =
            dialog.findChild<QWidget *>(QString::fromLatin1(QTest::currentDataTag()));
        QVERIFY(widget);
        QCOMPARE(widget->parentWidget()->objectName(), parent);
        QCOMPARE(widget->geometry(), geometry);
    }

    // The sets menu, opened each way a player can, in each language, and what each entry does,
    // reached with the keyboard as a player would.
    void testSetMenu_data()
    {
        QTest::addColumn<QString>("language");
        QTest::addColumn<QByteArray>("sets"); // "-": no file, "<folder>": a folder
        QTest::addColumn<QString>("ticked");  // ticked and moved to the top, in this order
        QTest::addColumn<QString>("clipboard");
        QTest::addColumn<QString>("keys");        // "elsewhere": another program saves the set zeta
        QTest::addColumn<QStringList>("answers"); // "name:..." for a prompt, a button for a box
        QTest::addColumn<QString>("rows");        // after: "+" ticked, "!" marked as clashing
        QTest::addColumn<QByteArray>("after");    // modsets.txt; "=": as before
        QTest::addColumn<QStringList>("boxes");   // each prompt: label|buttons; each box: text
        QTest::addColumn<QString>("copied");
        // The menu the first key opened, "-" an entry that is off, "  " one in the submenu
        // above; none: not looked at.
        QTest::addColumn<QStringList>("entries");

        const QByteArray sets = "[last game]\nAnvil\n[duo]\nBolt\n[Alpha & Omega]\nClay\n";
        const QString anvil = u"+Anvil 1, Bolt 2, Clay 3"_s;
        const QStringList both = {u"  Alpha & Omega"_s, u"  duo"_s}; // the sets, in a submenu
        QTest::newRow("English, from the menu key")
            << u"ENG"_s << sets << u"Anvil"_s << u"Anvil"_s << u"menu escape"_s << QStringList()
            << anvil << "="_ba << QStringList() << u"Anvil"_s
            << QStringList{u"Tick the mods of the last game"_s, u"Tick a set"_s} + both +
                   QStringList{u"Save the ticked mods as a set\u2026"_s, u"Delete a set"_s} + both +
                   QStringList{u"-"_s, u"Copy the ticked mods as text"_s,
                               u"Tick mods from copied text"_s};
        QTest::newRow("French, from Shift+F10")
            << u"FRE"_s << sets << u"Anvil"_s << u"Anvil"_s << u"shift+f10 escape"_s
            << QStringList() << anvil << "="_ba << QStringList() << u"Anvil"_s
            << QStringList{u"Cocher les mods de la derni\u00e8re partie"_s,
                           u"Cocher un ensemble"_s} +
                   both +
                   QStringList{u"Enregistrer les mods coch\u00e9s comme ensemble\u2026"_s,
                               u"Supprimer un ensemble"_s} +
                   both +
                   QStringList{u"-"_s, u"Copier les mods coch\u00e9s en texte"_s,
                               u"Cocher les mods du texte copi\u00e9"_s};
        // Nothing ticked, no set, nothing copied: only what has something to work on is on.
        const QString untouched = u"Anvil 1, Bolt 2, Clay 3"_s;
        QTest::newRow("Spanish, from the mouse, with nothing to work on")
            << u"SPA"_s << QByteArray() << QString() << QString() << u"mouse escape"_s
            << QStringList() << untouched << "="_ba << QStringList() << QString()
            << QStringList{u"-Marcar los mods de la \u00faltima partida"_s,
                           u"-Marcar un conjunto"_s,
                           u"-Guardar los mods marcados como conjunto\u2026"_s,
                           u"-Eliminar un conjunto"_s,
                           u"-"_s,
                           u"-Copiar los mods marcados como texto"_s,
                           u"-Marcar los mods del texto copiado"_s};
        // A menu these opened would stay open, and the test would wait for it to go in vain.
        QTest::newRow("F10 without Shift opens nothing")
            << u"ENG"_s << sets << u"Anvil"_s << QString() << u"f10"_s << QStringList() << anvil
            << "="_ba << QStringList() << QString() << QStringList();
        QTest::newRow("Shift with a letter opens nothing")
            << u"ENG"_s << sets << u"Anvil"_s << QString() << u"shift+x"_s << QStringList() << anvil
            << "="_ba << QStringList() << QString() << QStringList();
        // Past 30 sets, submenus of 30 by first and last name, filled when they open: one
        // more than a menu holds, and two full submenus.
        for (const int count : {31, 60}) {
            QByteArray many;
            QStringList tree;
            const auto name = [](int i) { return u"s%1"_s.arg(i, 2, 10, QLatin1Char('0')); };
            for (int i = 0; i < count; ++i) {
                many += "[" + name(i).toUtf8() + "]\nClay\n";
                if (i % 30 == 0)
                    tree << u"  "_s + name(i) + u" \u2026 "_s + name(std::min(i + 29, count - 1));
                tree << u"    "_s + name(i);
            }
            QTest::addRow("%d sets, in two groups", count)
                << u"ENG"_s << many << QString() << QString() << u"menu escape"_s << QStringList()
                << untouched << "="_ba << QStringList() << QString()
                << QStringList{u"-Tick the mods of the last game"_s, u"Tick a set"_s} + tree +
                       QStringList{u"-Save the ticked mods as a set\u2026"_s, u"Delete a set"_s} +
                       tree +
                       QStringList{u"-"_s, u"-Copy the ticked mods as text"_s,
                                   u"-Tick mods from copied text"_s};
        }
        QTest::newRow("a set another program saved is there at the next opening")
            << u"ENG"_s << "[duo]\nBolt\n"_ba << QString() << QString()
            << u"menu escape elsewhere menu down right down return"_s << QStringList()
            << u"+Clay 3, Anvil 1, Bolt 2"_s << "[duo]\nBolt\n\n[zeta]\nClay\n"_ba << QStringList()
            << QString() << QStringList();
        const QString nameFr = u"Nom de l'ensemble\u00a0:|OK Annuler"_s;
        const QString replaceFr = u"Un ensemble nomm\u00e9 \u00ab\u202fPair\u202f\u00bb existe "
                                  u"d\u00e9j\u00e0. Le remplacer par les mods coch\u00e9s\u202f?"_s;
        QTest::newRow("a set ticked from its submenu: its mods on top in its order, the others "
                      "unticked, their clash marked at once")
            << u"FRE"_s << "[Duo]\nBolt\nAnvil\n"_ba << u"Clay"_s << QString()
            << u"menu down right return"_s << QStringList() << u"+Bolt 2 !, +Anvil 1 !, Clay 3"_s
            << "="_ba << QStringList() << QString() << QStringList();
        QTest::newRow("the last game's mods, those not installed named in one box")
            << u"SPA"_s << "[last game]\nGone\nClay\nAnvil\nLost\n"_ba << u"Bolt"_s << QString()
            << u"menu down return"_s << QStringList() << u"+Clay 3, +Anvil 1, Bolt 2"_s << "="_ba
            << QStringList{u"Estos mods del conjunto no est\u00e1n instalados, as\u00ed que no se "
                           u"han marcado:\nGone\nLost"_s}
            << QString() << QStringList();
        QTest::newRow("save asks a name and writes the ticked mods in the list's order")
            << u"SPA"_s << "-"_ba << u"Clay,Anvil"_s << QString() << u"menu down return"_s
            << QStringList{u"name:  Pair  "_s} << u"+Clay 3, +Anvil 1, Bolt 2"_s
            << "[Pair]\nClay\nAnvil\n"_ba << QStringList{u"Nombre del conjunto:|Aceptar Cancelar"_s}
            << QString() << QStringList();
        QTest::newRow("saving over a set asks first; No and a refused name ask the name again")
            << u"FRE"_s << "[Pair]\nBolt\n"_ba << u"Anvil"_s << QString()
            << u"menu down down return"_s
            << QStringList{u"name:Pair"_s, u"No"_s,        u"name:a]b"_s,
                           u"Ok"_s,        u"name:Pair"_s, u"Yes"_s}
            << u"+Anvil 1, Bolt 2, Clay 3"_s << "[Pair]\nAnvil\n"_ba
            << QStringList{nameFr,
                           replaceFr,
                           nameFr,
                           u"Ce nom ne peut pas \u00eatre utilis\u00e9\u00a0: un nom d'ensemble ne "
                           u"peut pas contenir ]"_s,
                           nameFr,
                           replaceFr}
            << QString() << QStringList();
        QTest::newRow("a set deleted from its submenu, the one before it kept")
            << u"SPA"_s << "[A]\nClay\n\n[B]\nBolt\n"_ba << QString() << QString()
            << u"menu down down right down return"_s << QStringList() << untouched
            << "[A]\nClay\n"_ba << QStringList() << QString() << QStringList();
        QTest::newRow("copy gives the ticked mods a line each, in the list's order")
            << u"ENG"_s << "-"_ba << u"Bolt,Clay"_s << QString() << u"menu down down return"_s
            << QStringList() << u"+Bolt 2, +Clay 3, Anvil 1"_s << "="_ba << QStringList()
            << u"Bolt\nClay\n"_s << QStringList();
        QTest::newRow("paste ticks the mods named; the chat around them is named as missing")
            << u"FRE"_s << "-"_ba << QString()
            << u"[Shared]\nHere's my set:\nClay\nBolt\nbye/now\n"_s << u"menu down return"_s
            << QStringList() << u"+Clay 3, +Bolt 2, Anvil 1"_s << "="_ba
            << QStringList{u"Ces mods de l'ensemble ne sont pas install\u00e9s et n'ont donc pas "
                           u"\u00e9t\u00e9 coch\u00e9s\u00a0:\nbye/now\nHere's my set:"_s}
            << u"[Shared]\nHere's my set:\nClay\nBolt\nbye/now\n"_s << QStringList();
        QTest::newRow("damaged lines are told once, not at every opening")
            << u"ENG"_s << "Stray\n[Duo]\nBolt\n"_ba << QString() << QString()
            << u"menu escape menu escape"_s << QStringList() << untouched << "="_ba
            << QStringList{u"Parts of PATH cannot be used and were skipped:\nPATH:1: mod names "
                           u"before the first [set name] line belong to no set"_s}
            << QString() << QStringList();
        const QString irregular =
            u"it is not a regular file (a link, a folder, a FIFO or a device), so its sets are "
            u"ignored"_s;
        QTest::newRow("a sets file that is a folder: told, and a save refused, the folder kept")
            << u"ENG"_s << "<folder>"_ba << u"Anvil"_s << QString() << u"menu down return"_s
            << QStringList{u"Ok"_s, u"name:Pair"_s} << u"+Anvil 1, Bolt 2, Clay 3"_s << "="_ba
            << QStringList{u"Parts of PATH cannot be used and were skipped:\nPATH: "_s + irregular,
                           u"Name of the set:|OK Cancel"_s,
                           u"Could not save the sets in PATH:\n"_s + irregular}
            << QString() << QStringList();
    }

    void testSetMenu()
    {
        QFETCH(QString, language);
        QFETCH(QByteArray, sets);
        QFETCH(QString, ticked);
        QFETCH(QString, clipboard);
        QFETCH(QString, keys);
        QFETCH(QStringList, answers);
        QFETCH(QString, rows);
        QFETCH(QByteArray, after);
        QFETCH(QStringList, boxes);
        QFETCH(QString, copied);
        QFETCH(QStringList, entries);

        const QString game = setsGame(sets == "-" || sets == "<folder>" ? QByteArray() : sets);
        const QString path = game + u"/VexilMods/modsets.txt"_s;
        if (sets == "-" || sets == "<folder>")
            QVERIFY(QFile::remove(path));
        if (sets == "<folder>")
            QVERIFY(QDir().mkdir(path));
        const Files before = readTree(game + u"/VexilMods"_s);
        QGuiApplication::clipboard()->setText(clipboard);
        VxLauncherDialog dialog({game, language}, usualModes);
        dialog.show();
        tickInOrder(dialog, ticked.split(u',', Qt::SkipEmptyParts));
        auto *list = dialog.findChild<QListWidget *>(u"modsList"_s);

        // Every prompt and box is noted and answered from the script, then with OK.
        QStringList shown;
        QTimer answering;
        connect(&answering, &QTimer::timeout, this, [&] {
            QWidget *modal = QApplication::activeModalWidget();
            if (!modal || !modal->isVisible())
                return;
            const QString answer = answers.isEmpty() ? u"Ok"_s : answers.takeFirst();
            if (auto *prompt = qobject_cast<QInputDialog *>(modal)) {
                shown << prompt->labelText() + u'|' + prompt->okButtonText() + u' ' +
                             prompt->cancelButtonText();
                prompt->setTextValue(answer.mid(5));
                prompt->accept();
            } else if (auto *box = qobject_cast<QMessageBox *>(modal)) {
                shown << box->text();
                box->button(answer == u"Yes"_s  ? QMessageBox::Yes
                            : answer == u"No"_s ? QMessageBox::No
                                                : QMessageBox::Ok)
                    ->click();
            }
        });
        answering.start(0);
        const QHash<QString, Qt::Key> codes = {
            {u"menu"_s, Qt::Key_Menu},     {u"down"_s, Qt::Key_Down}, {u"right"_s, Qt::Key_Right},
            {u"escape"_s, Qt::Key_Escape}, {u"f10"_s, Qt::Key_F10},   {u"x"_s, Qt::Key_X}};
        QStringList seen;
        for (QString key : keys.split(u' ')) {
            QWidget *target = QApplication::activePopupWidget();
            if (key == u"elsewhere"_s) {
                QVERIFY(saveModSet(game, {u"zeta"_s, {u"Clay"_s}}));
            } else if (key == u"mouse"_s) {
                QContextMenuEvent click(QContextMenuEvent::Mouse, QPoint(5, 5),
                                        list->viewport()->mapToGlobal(QPoint(5, 5)));
                QApplication::sendEvent(list->viewport(), &click);
            } else {
                const bool shift = key.startsWith(u"shift+"_s);
                QTest::keyClick(target ? target : list,
                                codes.value(key.remove(u"shift+"_s), Qt::Key_Return),
                                shift ? Qt::ShiftModifier : Qt::NoModifier);
            }
            if (!entries.isEmpty() && seen.isEmpty())
                record(qobject_cast<QMenu *>(QApplication::activePopupWidget()), {}, seen);
        }
        // The chosen entry runs once the menu has gone.
        QTRY_VERIFY(!QApplication::activePopupWidget() && answers.isEmpty());
        QTest::qWait(50);
        answering.stop();

        QTRY_COMPARE(rowsOf(list), rows);
        shown.replaceInStrings(QDir::toNativeSeparators(path), u"PATH"_s);
        QCOMPARE(shown, boxes);
        QCOMPARE(QGuiApplication::clipboard()->text(), copied);
        if (!entries.isEmpty())
            QCOMPARE(seen, entries);
        Files expected = before;
        if (after != "=")
            expected.insert(u"modsets.txt"_s, after);
        QCOMPARE(readTree(game + u"/VexilMods"_s), expected);
    }

private:
    // The menu's entries, "-" for an entry that is off, each submenu's after it, indented.
    static void record(QMenu *menu, const QString &indent, QStringList &seen)
    {
        for (QAction *action : menu ? menu->actions() : QList<QAction *>()) {
            seen << (action->isSeparator() ? u"-"_s
                                           : indent + (action->isEnabled() ? u""_s : u"-"_s) +
                                                 action->text().replace(u"&&"_s, u"&"_s));
            if (QMenu *sub = action->menu()) {
                emit sub->aboutToShow();
                record(sub, indent + u"  "_s, seen);
            }
        }
    }

    // The three mods, with a sets file.
    QString setsGame(const QByteArray &sets)
    {
        const QString game = m_dir->filePath(u"sets game"_s);
        Files files = threeMods;
        files.insert(u"VexilMods/modsets.txt"_s, sets);
        return writeTree(game, files) ? game : QString();
    }

    // The mod list as "+Ticked 1 !, Unticked 2": '+' ticked, '!' marked as clashing.
    static QString rowsOf(const QListWidget *list)
    {
        QStringList rows;
        for (int row = 0; row < list->count(); ++row) {
            const QListWidgetItem *item = list->item(row);
            rows << (item->checkState() == Qt::Checked ? u"+"_s : u""_s) + item->text() +
                        (item->data(Qt::DecorationRole).isNull() ? u""_s : u" !"_s);
        }
        return rows.join(u", "_s);
    }

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

    // Whether each box shown begins with its text in texts, '#' between boxes.
    bool boxesBegin(const QString &texts) const
    {
        const QStringList boxes = texts.split(u'#', Qt::SkipEmptyParts);
        bool shown = m_boxes.size() == boxes.size();
        for (qsizetype i = 0; shown && i < boxes.size(); ++i)
            shown = m_boxes.at(i).startsWith(boxes.at(i));
        return shown;
    }

    QStringList m_boxes;
    std::unique_ptr<TestDir> m_dir;
    QString m_game;
};

QTEST_MAIN(TestLauncherDialog)
#include "tst_launcherdialog.moc"
