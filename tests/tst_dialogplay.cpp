#include "launch/launchsequence.h"
#include "mods/moditem.h"
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

#include <functional>

using namespace Qt::StringLiterals;

namespace {

const QList<VxDisplayMode> modes = {
    {800, 600, 60}, {1024, 768, 60}, {1024, 768, 75}, {1280, 1024, 60}};

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

// Paths of the files that are in after but not in before.
QStringList added(const QMap<QString, QByteArray> &before, const QMap<QString, QByteArray> &after)
{
    QStringList paths;
    for (auto it = after.cbegin(); it != after.cend(); ++it) {
        if (!before.contains(it.key()))
            paths.append(it.key());
    }
    return paths;
}

// Files of before that are gone or changed in after.
QStringList lost(const QMap<QString, QByteArray> &before, const QMap<QString, QByteArray> &after)
{
    QStringList paths;
    for (auto it = before.cbegin(); it != before.cend(); ++it) {
        if (after.value(it.key()) != it.value())
            paths.append(it.key());
    }
    return paths;
}

} // namespace

// The demo game played from the dialog, in this process, with the stand-in as the game.
class TestDialogPlay : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void testPlay();
    void testEarlyEnd_data();
    void testEarlyEnd();

private:
    // Ticks the named mods in the order given, moving them to the top in that order.
    void tickInOrder(VxLauncherDialog &dialog, const QStringList &names);
    // Runs whenever a modal box is up: records it and presses the button the handler picks.
    void answerBoxes(const std::function<QMessageBox::StandardButton(QMessageBox *)> &handler);
    // Records, while a launch runs, whether the launcher's controls were off.
    void watchControls(VxLauncherDialog &dialog);

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_game;
    QString m_snapshot;
    QMap<QString, QByteArray> m_before;
    QStringList m_boxTexts;
    int m_pollsDuringLaunch = 0;
    int m_enabledDuringLaunch = 0;
};

void TestDialogPlay::init()
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
    m_pollsDuringLaunch = 0;
    m_enabledDuringLaunch = 0;
    QApplication::setQuitOnLastWindowClosed(true);
}

void TestDialogPlay::cleanup()
{
    for (QObject *timer : findChildren<QTimer *>())
        delete timer;
    QApplication::setQuitOnLastWindowClosed(true);
    m_dir->setAutoRemove(!QTest::currentTestFailed());
    m_dir.reset();
}

void TestDialogPlay::tickInOrder(VxLauncherDialog &dialog, const QStringList &names)
{
    auto *list = dialog.findChild<QListWidget *>(u"modsList"_s);
    auto *up = dialog.findChild<QToolButton *>(u"upButton"_s);
    for (int wanted = 0; wanted < names.size(); ++wanted) {
        const QList<QListWidgetItem *> found =
            list->findItems(names.at(wanted), Qt::MatchStartsWith);
        QVERIFY2(found.size() == 1, qPrintable(names.at(wanted)));
        found.first()->setCheckState(Qt::Checked);
        list->setCurrentItem(found.first());
        while (list->currentRow() > wanted)
            up->click();
    }
}

void TestDialogPlay::answerBoxes(
    const std::function<QMessageBox::StandardButton(QMessageBox *)> &handler)
{
    auto *poll = new QTimer(this);
    poll->setInterval(10);
    connect(poll, &QTimer::timeout, this, [this, handler] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box || !box->isVisible())
            return;
        m_boxTexts.append(box->windowTitle() + u'|' + box->text());
        box->button(handler(box))->click();
    });
    poll->start();
}

void TestDialogPlay::watchControls(VxLauncherDialog &dialog)
{
    auto *poll = new QTimer(this);
    poll->setInterval(0);
    connect(poll, &QTimer::timeout, this, [this, &dialog] {
        const auto *progress = [] {
            for (QWidget *window : QApplication::topLevelWidgets()) {
                if (auto *p = qobject_cast<QProgressDialog *>(window); p && p->isVisible())
                    return p;
            }
            return static_cast<QProgressDialog *>(nullptr);
        }();
        const bool boxUp = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!progress && !boxUp)
            return;
        ++m_pollsDuringLaunch;
        for (const char *name : {"playButton", "cancelButton", "updateButton", "modsGroup",
                                 "resolutionGroup", "telnetCheck"}) {
            if (dialog.findChild<QWidget *>(QLatin1String(name))->isEnabled())
                ++m_enabledDuringLaunch;
        }
    });
    poll->start();
}

void TestDialogPlay::testPlay()
{
    VxLauncherDialog dialog({m_game, u"ENG"_s}, modes);
    dialog.show();
    auto *list = dialog.findChild<QListWidget *>(u"modsList"_s);
    QStringList texts;
    for (int row = 0; row < list->count(); ++row)
        texts.append(list->item(row)->text());
    QCOMPARE(texts, QStringList({u"Better Units 1.2"_s, u"Night Sky 0.9"_s, u"Warp Drive 2.0"_s}));

    tickInOrder(dialog, {u"Warp Drive"_s, u"Better Units"_s, u"Night Sky"_s});
    auto *resolution = dialog.findChild<QComboBox *>(u"resolutionCombo"_s);
    resolution->setCurrentIndex(resolution->findText(u"1024x768"_s));
    auto *refresh = dialog.findChild<QComboBox *>(u"refreshCombo"_s);
    refresh->setCurrentIndex(refresh->findText(u"75Hz"_s));
    for (auto *check : dialog.findChildren<QCheckBox *>())
        check->setChecked(true);

    watchControls(dialog);
    answerBoxes([](QMessageBox *) { return QMessageBox::Ok; });
    QTimer::singleShot(0, &dialog, [&] {
        dialog.findChild<QPushButton *>(u"playButton"_s)->click();
        // The game is running now: no launcher window is left.
        QVERIFY(!dialog.isVisible());
    });
    QTimer::singleShot(60000, qApp, [] { QCoreApplication::exit(99); });
    QCOMPARE(QApplication::exec(), 0);

    QCOMPARE(m_boxTexts, QStringList());
    QVERIFY(m_pollsDuringLaunch > 0);
    QCOMPARE(m_enabledDuringLaunch, 0);

    const QByteArray line = "/W:1024 /H:768 /REFRESH:75 /NOMOVIES /NOSOUND /ENABLEPORTFORWARDING "
                            "/ALLOWSCREENSHOTS /MANUALCAMERA /TELNET";
    QCOMPARE(readAll(m_game + u"/launcher.cfg"_s), line);

    // The game ran with the mods in place, from its own folder, with no arguments.
    const QByteArray snapshot = readAll(m_snapshot);
    QVERIFY2(snapshot.contains("argc\t0\n"), snapshot.constData());
    QVERIFY2(snapshot.contains("config\t" + line + '\n'), snapshot.constData());
    QVERIFY2(snapshot.contains(".backup"), "the game saw no replaced file");

    // Afterwards every game file is its own again; only what the mods added stays.
    const QMap<QString, QByteArray> after = vxtest::hashTree(m_game);
    QCOMPARE(lost(m_before, after), QStringList());
    const QStringList extra = added(m_before, after);
    for (const QString &path : extra) {
        QVERIFY2(!path.endsWith(u".backup"_s), qPrintable(path));
        QVERIFY2(path == u"launcher.cfg"_s || path.startsWith(u"data/"_s), qPrintable(path));
    }

    // The next start shows the choices of this one.
    VxLauncherDialog next({m_game, u"ENG"_s}, modes);
    for (auto *check : next.findChildren<QCheckBox *>())
        QVERIFY2(check->isChecked(), qPrintable(check->objectName()));
    QCOMPARE(next.findChild<QComboBox *>(u"resolutionCombo"_s)->currentText(), u"1024x768"_s);
    QCOMPARE(next.findChild<QComboBox *>(u"refreshCombo"_s)->currentText(), u"75Hz"_s);
}

void TestDialogPlay::testEarlyEnd_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("answer");  // the button pressed on every box
    QTest::addColumn<bool>("gameStarts"); // the game ran and the launcher quit
    QTest::addColumn<QString>("boxText"); // begins the first box's text; empty: no box

    QTest::newRow("malformed resource file shows the load error")
        << u"malformed"_s << u"ok"_s << false
        << u"Error!|Could not load objects data from Units.xml"_s;
    QTest::newRow("Abort on a tweak file for a missing element ends the launch")
        << u"unknown element"_s << u"abort"_s << false << u"Error!|Error loading file "_s;
    QTest::newRow("Ignore on a tweak file for a missing element plays on")
        << u"unknown element"_s << u"ignore"_s << true << u"Error!|Error loading file "_s;
    QTest::newRow("closing the progress window ends the launch")
        << u"close progress"_s << u"ok"_s << false << QString();
    QTest::newRow("missing game executable is reported and everything put back")
        << u"no executable"_s << u"ok"_s << true << u"Error!|Could not start the game:"_s;
}

void TestDialogPlay::testEarlyEnd()
{
    QFETCH(QString, fault);
    QFETCH(QString, answer);
    QFETCH(bool, gameStarts);
    QFETCH(QString, boxText);

    if (fault == u"malformed"_s) {
        QVERIFY(writeFile(m_game + u"/data/Tweak/Units.xml"_s, "<XResourceFile><unclosed>"));
    } else if (fault == u"unknown element"_s) {
        QVERIFY(writeFile(m_game + u"/VexilMods/BetterUnits/Tweak/Units/Aaa.twk"_s, "Value=1\n"));
    } else if (fault == u"no executable"_s) {
        QVERIFY(QFile::remove(m_game + u'/' + vxtest::gameExecutableName()));
    }
    m_before = vxtest::hashTree(m_game);

    VxLauncherDialog dialog({m_game, u"ENG"_s}, modes);
    dialog.show();
    tickInOrder(dialog, {u"Better Units"_s, u"Warp Drive"_s});

    answerBoxes([answer](QMessageBox *) {
        return answer == u"abort"_s    ? QMessageBox::Abort
               : answer == u"ignore"_s ? QMessageBox::Ignore
                                       : QMessageBox::Ok;
    });
    if (fault == u"close progress"_s) {
        auto *poll = new QTimer(this);
        poll->setInterval(0);
        connect(poll, &QTimer::timeout, this, [poll] {
            for (QWidget *window : QApplication::topLevelWidgets()) {
                auto *progress = qobject_cast<QProgressDialog *>(window);
                if (progress && progress->isVisible()) {
                    progress->close();
                    poll->stop();
                }
            }
        });
        poll->start();
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
        QVERIFY(!QFileInfo::exists(m_snapshot));
    }

    if (boxText.isEmpty()) {
        QCOMPARE(m_boxTexts, QStringList());
    } else {
        QVERIFY(!m_boxTexts.isEmpty());
        QVERIFY2(m_boxTexts.first().startsWith(boxText), qPrintable(m_boxTexts.first()));
    }
    if (fault == u"no executable"_s)
        QVERIFY2(m_boxTexts.first().contains(QDir::toNativeSeparators(m_game)),
                 qPrintable(m_boxTexts.first()));
    QCOMPARE(QFileInfo::exists(m_snapshot), gameStarts && fault != u"no executable"_s);

    // Nothing of the game is lost: what an early end leaves in place is protected by
    // backups, and the next end of a game puts it all back.
    if (!gameStarts)
        restoreGame(m_game);
    const QMap<QString, QByteArray> after = vxtest::hashTree(m_game);
    QStringList changed = lost(m_before, after);
    changed.removeAll(u"launcher.cfg"_s);
    QCOMPARE(changed, QStringList());
    for (const QString &path : added(m_before, after))
        QVERIFY2(!path.endsWith(u".backup"_s), qPrintable(path));
}

QTEST_MAIN(TestDialogPlay)
#include "tst_dialogplay.moc"
