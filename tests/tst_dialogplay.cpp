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
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

using namespace Qt::StringLiterals;

namespace {

const QList<VxDisplayMode> modes = {
    {800, 600, 60}, {1024, 768, 60}, {1024, 768, 75}, {1280, 1024, 60}};

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

QProgressDialog *visibleProgress()
{
    for (QWidget *window : QApplication::topLevelWidgets()) {
        if (auto *progress = qobject_cast<QProgressDialog *>(window);
            progress && progress->isVisible())
            return progress;
    }
    return nullptr;
}

} // namespace

// The demo game played from the dialog, in this process, with the stand-in as the game.
class TestDialogPlay : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_game = m_dir->filePath(u"Vexil 4 Br\u00E4sk Gold"_s);
        QString error;
        QVERIFY2(vxtest::stageDemoGame(m_game, &error), qPrintable(error));
        m_before = vxtest::hashTree(m_game);
        m_snapshot = m_dir->filePath(u"snapshot.txt"_s);
        qputenv("VX_STANDIN_HEADLESS", "1");
        qputenv("VX_STANDIN_QUIT_AFTER_MS", "200");
        qputenv("VX_STANDIN_SNAPSHOT", QFile::encodeName(m_snapshot));
        m_boxTexts.clear();
        QApplication::setQuitOnLastWindowClosed(true);
    }

    void cleanup()
    {
        qDeleteAll(findChildren<QTimer *>());
        m_dir->setAutoRemove(!QTest::currentTestFailed());
        m_dir.reset();
    }

    void testPlay()
    {
        VxLauncherDialog dialog({m_game, u"ENG"_s}, modes);
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
        auto *watch = new QTimer(this);
        connect(watch, &QTimer::timeout, this, [&] {
            if (!visibleProgress() && !QApplication::activeModalWidget())
                return;
            ++pollsDuringLaunch;
            for (const char *name : {"playButton", "cancelButton", "updateButton", "modsGroup",
                                     "resolutionGroup", "telnetCheck"}) {
                if (dialog.findChild<QWidget *>(QLatin1String(name))->isEnabled())
                    enabledDuringLaunch.append(QLatin1String(name));
            }
        });
        watch->start(0);
        answerBoxes(QMessageBox::Ok);
        QTimer::singleShot(0, &dialog, [&] {
            dialog.findChild<QPushButton *>(u"playButton"_s)->click();
            // The game is running now: no launcher window is left.
            QVERIFY(!dialog.isVisible());
        });
        QTimer::singleShot(60000, qApp, [] { QCoreApplication::exit(99); });
        QCOMPARE(QApplication::exec(), 0);
        watch->stop();

        QCOMPARE(m_boxTexts, QStringList());
        QVERIFY(pollsDuringLaunch > 0);
        QCOMPARE(enabledDuringLaunch, QStringList());

        const QByteArray line = "/W:1024 /H:768 /REFRESH:75 /NOMOVIES /NOSOUND "
                                "/ENABLEPORTFORWARDING /ALLOWSCREENSHOTS /MANUALCAMERA /TELNET";
        QCOMPARE(readAll(m_game + u"/launcher.cfg"_s), line);
        // The game ran with the mods in place, from its own folder, with no arguments.
        const QByteArray snapshot = readAll(m_snapshot);
        QVERIFY2(snapshot.contains("argc\t0\n"), snapshot.constData());
        QVERIFY2(snapshot.contains("config\t" + line + '\n'), snapshot.constData());
        QVERIFY2(snapshot.contains(".backup"), "the game saw no replaced file");
        QCOMPARE(notRestored(), QStringList());
    }

    void testEarlyEnd_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<int>("answer");      // the button pressed on every box
        QTest::addColumn<bool>("gameStarts"); // the game was started and the launcher quit
        QTest::addColumn<QString>("boxText"); // begins the first box's text; empty: no box

        QTest::newRow("malformed resource file shows the load error")
            << u"malformed"_s << int(QMessageBox::Ok) << false
            << u"Error!|Could not load objects data from Units.xml"_s;
        QTest::newRow("Abort on a tweak file for a missing element ends the launch")
            << u"unknown element"_s << int(QMessageBox::Abort) << false
            << u"Error!|Error loading file "_s;
        QTest::newRow("Ignore on a tweak file for a missing element plays on")
            << u"unknown element"_s << int(QMessageBox::Ignore) << true
            << u"Error!|Error loading file "_s;
        QTest::newRow("closing the progress window ends the launch")
            << u"close progress"_s << int(QMessageBox::Ok) << false << QString();
        QTest::newRow("missing game executable is reported and everything put back")
            << u"no executable"_s << int(QMessageBox::Ok) << true
            << u"Error!|Could not start the game:"_s;
    }

    void testEarlyEnd()
    {
        QFETCH(QString, fault);
        QFETCH(int, answer);
        QFETCH(bool, gameStarts);
        QFETCH(QString, boxText);

        const auto write = [this](const QString &path, const QByteArray &bytes) {
            QFile file(m_game + path);
            return QDir().mkpath(QFileInfo(file).path()) && file.open(QIODevice::WriteOnly) &&
                   file.write(bytes) == bytes.size();
        };
        if (fault == u"malformed"_s)
            QVERIFY(write(u"/data/Tweak/Units.xml"_s, "<XResourceFile><unclosed>"));
        else if (fault == u"unknown element"_s)
            QVERIFY(write(u"/VexilMods/BetterUnits/Tweak/Units/Aaa.twk"_s, "Value=1\n"));
        else if (fault == u"no executable"_s)
            QVERIFY(QFile::remove(m_game + u'/' + vxtest::gameExecutableName()));
        m_before = vxtest::hashTree(m_game);

        VxLauncherDialog dialog({m_game, u"ENG"_s}, modes);
        dialog.show();
        tickInOrder(dialog, {u"Better Units"_s, u"Warp Drive"_s});
        answerBoxes(QMessageBox::StandardButton(answer));
        if (fault == u"close progress"_s) {
            auto *poll = new QTimer(this);
            connect(poll, &QTimer::timeout, this, [] {
                if (QProgressDialog *progress = visibleProgress())
                    progress->close();
            });
            poll->start(0);
        }
        auto *play = dialog.findChild<QPushButton *>(u"playButton"_s);
        if (gameStarts) {
            QTimer::singleShot(0, play, &QPushButton::click);
            QTimer::singleShot(60000, qApp, [] { QCoreApplication::exit(99); });
            QCOMPARE(QApplication::exec(), 0);
            QVERIFY(!dialog.isVisible());
        } else {
            play->click();
            // The launch is over and the launcher is ready for another go.
            QVERIFY(dialog.isVisible());
            QVERIFY(play->isEnabled());
            QVERIFY(dialog.findChild<QPushButton *>(u"cancelButton"_s)->isEnabled());
        }

        QCOMPARE(m_boxTexts.isEmpty(), boxText.isEmpty());
        if (!boxText.isEmpty())
            QVERIFY2(m_boxTexts.first().startsWith(boxText), qPrintable(m_boxTexts.first()));
        if (fault == u"no executable"_s)
            QVERIFY2(m_boxTexts.first().contains(QDir::toNativeSeparators(m_game)),
                     qPrintable(m_boxTexts.first()));
        QCOMPARE(QFileInfo::exists(m_snapshot), gameStarts && fault != u"no executable"_s);

        // What an early end leaves in place is protected by backups, and the next end of a
        // game puts it all back.
        if (!gameStarts)
            restoreGame(m_game);
        QCOMPARE(notRestored(), QStringList());
    }

private:
    // Ticks the named mods in the order given, moving them to the top in that order.
    void tickInOrder(VxLauncherDialog &dialog, const QStringList &names)
    {
        auto *list = dialog.findChild<QListWidget *>(u"modsList"_s);
        for (int wanted = 0; wanted < names.size(); ++wanted) {
            const QList<QListWidgetItem *> found =
                list->findItems(names.at(wanted), Qt::MatchStartsWith);
            QVERIFY2(found.size() == 1, qPrintable(names.at(wanted)));
            found.first()->setCheckState(Qt::Checked);
            list->setCurrentItem(found.first());
            while (list->currentRow() > wanted)
                dialog.findChild<QToolButton *>(u"upButton"_s)->click();
        }
    }

    // Whenever a modal box is up: records its title and text and presses the button.
    void answerBoxes(QMessageBox::StandardButton button)
    {
        auto *poll = new QTimer(this);
        connect(poll, &QTimer::timeout, this, [this, button] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box || !box->isVisible())
                return;
            m_boxTexts.append(box->windowTitle() + u'|' + box->text());
            box->button(button)->click();
        });
        poll->start(10);
    }

    // The game's files that are not its own again: changed, lost or a leftover backup. The
    // launcher's settings and files the mods added below data/ may stay.
    QStringList notRestored() const
    {
        const QMap<QString, QByteArray> after = vxtest::hashTree(m_game);
        QStringList paths;
        for (const QString &path : m_before.keys() + after.keys()) {
            const bool modFile = !m_before.contains(path) && path.startsWith(u"data/"_s) &&
                                 !path.endsWith(u".backup"_s);
            if (after.value(path) != m_before.value(path) && !modFile &&
                path != u"launcher.cfg"_s && !paths.contains(path))
                paths.append(path);
        }
        return paths;
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_game;
    QString m_snapshot;
    QMap<QString, QByteArray> m_before;
    QStringList m_boxTexts;
};

QTEST_MAIN(TestDialogPlay)
#include "tst_dialogplay.moc"
