#include "archivebuilder.h"
#include "ui/launcherdialog.h"
#include "ui/moddrop.h"

#include <QAbstractButton>
#include <QApplication>
#include <QListWidget>
#include <QMessageBox>
#include <QMimeData>
#include <QTextBrowser>
#include <QTimer>
#include <QUrl>

#include <functional>

using namespace Qt::StringLiterals;
using namespace vxtest;

namespace {

// Drags files onto the window and drops them there; what the window answered to the entry,
// the move and the drop, "y" or "n" each. The move and the drop come already accepted, as the
// window system passes on the entry's yes: the window must say no to each itself. entered
// runs between the entry and the move.
QString drop(QWidget *window, const QList<QUrl> &urls, const std::function<void()> &entered = {})
{
    QMimeData data;
    data.setUrls(urls);
    QDragEnterEvent enter({150, 400}, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window, &enter);
    if (entered)
        entered();
    QDragMoveEvent move({150, 410}, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    move.accept();
    QApplication::sendEvent(window, &move);
    QDropEvent dropEvent({150, 410}, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    dropEvent.accept();
    QApplication::sendEvent(window, &dropEvent);
    QString answers;
    for (const QEvent *event : {static_cast<QEvent *>(&enter), static_cast<QEvent *>(&move),
                                static_cast<QEvent *>(&dropEvent)})
        answers += event->isAccepted() ? u'y' : u'n';
    return answers;
}

} // namespace

// Archives dropped on the launcher window are installed and listed, refusals are boxes in the
// player's language.
class TestModDrop : public QObject
{
    Q_OBJECT

private slots:
    void drop_data();
    void drop();
    void dropWhileBusy();
};

void TestModDrop::drop_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<QStringList>("dropped"); // archives the test builds, and other files
    QTest::addColumn<int>("answer");          // to a question box
    QTest::addColumn<QStringList>("boxes");   // "title|text|buttons", the buttons sorted
    QTest::addColumn<QStringList>("listed");  // the mod list afterwards; "[x]" marks a tick

    const auto row = [](const char *name, const QString &language, const QStringList &dropped,
                        const QStringList &boxes, const QStringList &listed, int answer = 0) {
        QTest::newRow(name) << language << dropped << answer << boxes << listed;
    };
    const QStringList keep = {u"[x] Keep "_s};
    row("a hostile archive is refused in French, the good one beside it installed and listed",
        u"FRE"_s, {u"Evil.zip"_s, u"Sky.zip"_s},
        {u"Installation de mods|Impossible d'installer Evil.zip\u00a0:\nl'entrée ../evil.txt "
         u"serait écrite hors du dossier du mod|OK"_s},
        keep + QStringList{u"Night Sky 0.9"_s});
    row("an archive without info.txt is named after itself, and a box says so", u"SPA"_s,
        {u"Loose Bits.7z"_s},
        {u"Instalando mods|El archivo comprimido Loose Bits.7z no contiene ningún info.txt. Se ha "
         u"instalado como el mod Loose Bits, con un info.txt nuevo que le da el nombre «Loose "
         u"Bits».|Aceptar"_s},
        keep + QStringList{u"Loose Bits "_s});
    row("an installed mod is replaced when the player says yes, in French", u"FRE"_s,
        {u"Keep.zip"_s},
        {u"Installation de mods|Un mod nommé Keep est déjà installé. Le remplacer par celui de "
         u"l'archive\u202f?|Non Oui"_s},
        {u"[x] Keep 2.0"_s}, QMessageBox::Yes);
    row("an installed mod stays when the player says no, in Spanish", u"SPA"_s, {u"Keep.zip"_s},
        {u"Instalando mods|Ya hay un mod instalado con el nombre Keep. ¿Quieres sustituirlo por el "
         u"del archivo comprimido?|No Sí"_s},
        keep, QMessageBox::No);
    row("files that are no archives are not taken", u"ENG"_s, {u"readme.txt"_s, u"Sky.zip.part"_s},
        {}, keep);
}

void TestModDrop::drop()
{
    QFETCH(QString, language);
    QFETCH(QStringList, dropped);
    QFETCH(int, answer);
    QFETCH(QStringList, boxes);
    QFETCH(QStringList, listed);

    TestDir dir;
    const QString game = dir.filePath(u"game"_s);
    QVERIFY(writeTree(game, {{u"data/x.txt"_s, "x"}, {u"VexilMods/Keep/info.txt"_s, "name=Keep"}}));
    const QMap<QString, ArchiveEntries> archives = {
        {u"Sky.zip"_s, {{u"NightSky/info.txt"_s, "name=Night Sky\nversion=0.9\n"}}},
        {u"Keep.zip"_s, {{u"Keep/info.txt"_s, "name=Keep\nversion=2.0\n"}}},
        {u"Evil.zip"_s, {{u"info.txt"_s, "name=Evil\n"}, {u"../evil.txt"_s, "x"}}},
        {u"Loose Bits.7z"_s, {{u"Art/a.txt"_s, "a"}, {u"readme.txt"_s, "r"}}}};
    QList<QUrl> urls;
    for (const QString &name : dropped) {
        urls.append(QUrl::fromLocalFile(dir.filePath(name)));
        QVERIFY(archives.contains(name) ? writeArchive(dir.filePath(name), archives[name])
                                        : writeTree(dir.path(), {{name, "r"}}));
    }

    VxLauncherDialog dialog({game, language}, {{800, 600, 60}});
    auto *list = dialog.findChild<QListWidget *>(u"modsList"_s);
    QVERIFY(list && list->count() == 1);
    list->item(0)->setCheckState(Qt::Checked);
    list->setCurrentRow(0);
    dialog.show();

    QStringList shown;
    QTimer poll;
    connect(&poll, &QTimer::timeout, this, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        QStringList buttons;
        for (QAbstractButton *button : box->buttons())
            buttons.append(button->text());
        buttons.sort(); // their order is the platform's
        shown.append(box->windowTitle() + u'|' + box->text() + u'|' + buttons.join(u' '));
        (answer ? box->button(QMessageBox::StandardButton(answer)) : box->buttons().constFirst())
            ->click();
    });
    poll.start(10);
    ::drop(&dialog, urls);
    QTRY_COMPARE(shown, boxes);
    // Nothing more comes.
    QTest::qWait(50);
    QCOMPARE(shown, boxes);
    QStringList rows;
    for (int row = 0; row < list->count(); ++row)
        rows.append((list->item(row)->checkState() == Qt::Checked ? u"[x] "_s : QString()) +
                    list->item(row)->text());
    QCOMPARE(rows, listed);
    // A list made again has no current mod, and shows no description of the one before.
    QCOMPARE(dialog.findChild<QTextBrowser *>(u"modsDesc"_s)->toPlainText().isEmpty(),
             !list->currentItem());
}

// While a launch runs, the window takes no drop.
void TestModDrop::dropWhileBusy()
{
    TestDir dir;
    QVERIFY(writeArchive(dir.filePath(u"Sky.zip"_s), {{u"Sky/info.txt"_s, "name=Sky\n"}}));
    QWidget window;
    bool busy = true;
    new VxModDrop(&window, dir.path(), [&busy] { return busy; }, {});
    const QList<QUrl> sky{QUrl::fromLocalFile(dir.filePath(u"Sky.zip"_s))};
    // Refused at the entry (a window that refused it is sent no move nor drop).
    QCOMPARE(::drop(&window, sky).first(1), u"n"_s);
    // A launch that starts while the archive is dragged over the window takes the drop back.
    busy = false;
    QCOMPARE(::drop(&window, sky, [&busy] { busy = true; }), u"ynn"_s);
    QTest::qWait(20);
    QVERIFY(!QFile::exists(dir.filePath(u"VexilMods"_s)));
}

QTEST_MAIN(TestModDrop)
#include "tst_moddrop.moc"
