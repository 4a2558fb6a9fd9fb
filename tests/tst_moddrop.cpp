#include "archivebuilder.h"
#include "launch/gamelock.h"
#include "testutil.h"
#include "ui/launcherdialog.h"

#include <QAbstractButton>
#include <QApplication>
#include <QListWidget>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressDialog>
#include <QRandomGenerator>
#include <QTimer>
#include <QUrl>

using namespace Qt::StringLiterals;
using namespace vxtest;

namespace {

QByteArray noise(qsizetype size)
{
    QByteArray data(size, Qt::Uninitialized);
    QRandomGenerator(3).fillRange(reinterpret_cast<quint32 *>(data.data()), size / 4);
    return data;
}

// Notes each progress window's title and label the first time it is painted.
struct ProgressSpy : QObject
{
    explicit ProgressSpy(QStringList &seen) : m_seen(seen) { qApp->installEventFilter(this); }
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        auto *progress = qobject_cast<QProgressDialog *>(watched);
        if (progress && event->type() == QEvent::Paint && !progress->labelText().isEmpty() &&
            !m_seen.contains(u"progress window|"_s + progress->windowTitle() + u'|' +
                             progress->labelText()))
            m_seen.append(u"progress window|"_s + progress->windowTitle() + u'|' +
                          progress->labelText());
        return false;
    }
    QStringList &m_seen;
};

} // namespace

// Archives dropped on the launcher window are installed and listed, refusals are boxes in the
// player's language.
class TestModDrop : public QObject
{
    Q_OBJECT

private slots:
    void drop_data();
    void drop();
    void dropDuringLaunch();
};

void TestModDrop::drop_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<QStringList>("dropped"); // archives the test builds, and other files
    QTest::addColumn<bool>("locked");
    QTest::addColumn<int>("answer"); // to a question box
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QStringList>("boxes");
    QTest::addColumn<QStringList>("listed"); // the mod list afterwards; "[x]" marks a tick

    const QString pid = QString::number(QCoreApplication::applicationPid());
    QTest::newRow("a zip is installed and listed in folder order, the tick on Keep kept")
        << u"ENG"_s << QStringList{u"Sky.zip"_s} << false << 0 << true << QStringList{}
        << QStringList{u"[x] Keep "_s, u"Night Sky 0.9"_s};
    QTest::newRow("a hostile archive is refused in French, the good one beside it installed")
        << u"FRE"_s << QStringList{u"Evil.zip"_s, u"Sky.zip"_s} << false << 0 << true
        << QStringList{u"Installation de mods|Impossible d'installer Evil.zip :\nl'élément "
                       u"../evil.txt serait écrit hors du dossier du mod"_s}
        << QStringList{u"[x] Keep "_s, u"Night Sky 0.9"_s};
    QTest::newRow("an archive without info.txt is named after itself, and a box says so")
        << u"SPA"_s << QStringList{u"Loose Bits.7z"_s} << false << 0 << true
        << QStringList{u"Instalando mods|Loose Bits.7z no contiene ningún info.txt. Se ha "
                       u"instalado como el mod Loose Bits, con un info.txt nuevo que lo llama "
                       u"«Loose Bits»."_s}
        << QStringList{u"[x] Keep "_s, u"Loose Bits "_s};
    QTest::newRow("an installed mod is replaced when the player says yes")
        << u"ENG"_s << QStringList{u"Keep.zip"_s} << false << int(QMessageBox::Yes) << true
        << QStringList{u"Installing mods|A mod named Keep is already installed. Replace it with "
                       u"the one from the archive?"_s}
        << QStringList{u"[x] Keep 2.0"_s};
    QTest::newRow("an installed mod stays when the player says no")
        << u"ENG"_s << QStringList{u"Keep.zip"_s} << false << int(QMessageBox::No) << true
        << QStringList{u"Installing mods|A mod named Keep is already installed. Replace it with "
                       u"the one from the archive?"_s}
        << QStringList{u"[x] Keep "_s};
    QTest::newRow("a launch holding the game folder is a box")
        << u"ENG"_s << QStringList{u"Sky.zip"_s} << true << 0 << true
        << QStringList{u"Installing mods|Could not install Sky.zip:\nthe game folder is in use "
                       u"by another launch (process "_s +
                       pid + u" (tst_moddrop))"_s}
        << QStringList{u"[x] Keep "_s};
    QTest::newRow("a large archive unpacks under a progress window")
        << u"ENG"_s << QStringList{u"Big.zip"_s} << false << 0 << true
        << QStringList{u"progress window|Installing mods|Big.zip"_s}
        << QStringList{u"Big "_s, u"[x] Keep "_s};
    QTest::newRow("files that are no archives are not taken")
        << u"ENG"_s << QStringList{u"readme.txt"_s, u"Sky.zip.part"_s} << false << 0 << false
        << QStringList{} << QStringList{u"[x] Keep "_s};
}

void TestModDrop::drop()
{
    QFETCH(QString, language);
    QFETCH(QStringList, dropped);
    QFETCH(bool, locked);
    QFETCH(int, answer);
    QFETCH(bool, accepted);
    QFETCH(QStringList, boxes);
    QFETCH(QStringList, listed);

    TestDir dir;
    const QString game = dir.filePath(u"game"_s);
    QVERIFY(writeTree(game, {{u"data/x.txt"_s, "x"}, {u"VexilMods/Keep/info.txt"_s, "name=Keep"}}));
    QVERIFY(writeArchive(dir.filePath(u"Sky.zip"_s), "zip",
                         {{u"NightSky/info.txt"_s, "name=Night Sky\nversion=0.9\n"}}));
    QVERIFY(writeArchive(dir.filePath(u"Keep.zip"_s), "zip",
                         {{u"Keep/info.txt"_s, "name=Keep\nversion=2.0\n"}}));
    QVERIFY(writeArchive(dir.filePath(u"Evil.zip"_s), "zip",
                         {{u"info.txt"_s, "name=Evil\n"}, {u"../evil.txt"_s, "x"}}));
    QVERIFY(writeArchive(dir.filePath(u"Loose Bits.7z"_s), "7zip",
                         {{u"Art/a.txt"_s, "a"}, {u"readme.txt"_s, "r"}}));
    QVERIFY(writeTree(dir.path(), {{u"readme.txt"_s, "r"}, {u"Sky.zip.part"_s, "p"}}));
    if (dropped.contains(u"Big.zip"_s))
        QVERIFY(writeArchive(dir.filePath(u"Big.zip"_s), "zip",
                             {{u"Big/info.txt"_s, "name=Big"}, {u"Big/a.bin"_s, noise(9 << 20)}},
                             "zip:compression=store"));
    VxGameLock lock(game);
    if (locked)
        QCOMPARE(lock.tryLock(), VxGameLock::Result::Acquired);

    VxLauncherDialog dialog({game, language}, {{800, 600, 60}});
    auto *list = dialog.findChild<QListWidget *>(u"modsList"_s);
    QVERIFY(list && list->count() == 1);
    list->item(0)->setCheckState(Qt::Checked);
    dialog.show();

    QStringList shown;
    QTimer poll;
    connect(&poll, &QTimer::timeout, this, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        shown.append(box->windowTitle() + u'|' + box->text());
        const auto button = box->buttons().size() == 1
                                ? box->buttons().constFirst()
                                : box->button(QMessageBox::StandardButton(answer));
        button->click();
    });
    poll.start(10);

    // The progress window comes and goes within the install: caught as it is painted.
    ProgressSpy spy(shown);
    QMimeData data;
    QList<QUrl> urls;
    for (const QString &name : dropped)
        urls.append(QUrl::fromLocalFile(dir.filePath(name)));
    data.setUrls(urls);
    const QPoint where(150, 400);
    QDragEnterEvent enter(where, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&dialog, &enter);
    QCOMPARE(enter.isAccepted(), accepted);
    QDropEvent dropEvent(where, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&dialog, &dropEvent);

    const auto rows = [list] {
        QStringList texts;
        for (int row = 0; row < list->count(); ++row)
            texts.append((list->item(row)->checkState() == Qt::Checked ? u"[x] "_s : QString()) +
                         list->item(row)->text());
        return texts;
    };
    QTRY_COMPARE(rows(), listed);
    QTRY_COMPARE(shown, boxes);
    // Nothing more comes.
    QTest::qWait(50);
    QCOMPARE(shown, boxes);
    QVERIFY(!QFile::exists(game + u"/evil.txt"_s) && !QFile::exists(dir.filePath(u"evil.txt"_s)));
}

void TestModDrop::dropDuringLaunch()
{
    TestDir dir;
    const QString game = dir.filePath(u"game"_s);
    QVERIFY(stageDemoGame(game));
    // A tweak file for an element that does not exist stops the launch with a question.
    QVERIFY(writeTree(game, {{u"VexilMods/BetterUnits/Tweak/Units/Aaa.twk"_s, "Value=1\n"}}));
    QVERIFY(writeArchive(dir.filePath(u"Sky.zip"_s), "zip",
                         {{u"NightSky2/info.txt"_s, "name=Night Sky\n"}}));
    const Files before = readTree(game + u"/VexilMods"_s);

    VxLauncherDialog dialog({game, u"ENG"_s}, {{800, 600, 60}});
    auto *list = dialog.findChild<QListWidget *>(u"modsList"_s);
    QVERIFY(list && list->count() == 3);
    list->item(0)->setCheckState(Qt::Checked);
    dialog.show();

    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(dir.filePath(u"Sky.zip"_s))});
    QStringList seen;
    QTimer poll;
    connect(&poll, &QTimer::timeout, this, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        QDragEnterEvent enter({150, 400}, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&dialog, &enter);
        QDropEvent drop({150, 400}, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&dialog, &drop);
        seen.append(box->text().left(19) + (enter.isAccepted() || drop.isAccepted()
                                                ? u" and a drop taken"_s
                                                : u" and no drop taken"_s));
        box->button(QMessageBox::Abort)->click();
    });
    poll.start(10);
    QMetaObject::invokeMethod(&dialog, "launchGame");
    QCOMPARE(seen, QStringList{u"Error loading file  and no drop taken"_s});
    QTest::qWait(50);
    QCOMPARE(list->count(), 3);
    QCOMPARE(readTree(game + u"/VexilMods"_s), before);
}

QTEST_MAIN(TestModDrop)
#include "tst_moddrop.moc"
