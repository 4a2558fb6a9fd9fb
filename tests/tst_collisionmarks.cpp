#include "testutil.h"
#include "ui/collisionmarks.h"
#include "ui/launcherdialog.h"

#include <QListWidget>
#include <QSignalSpy>
#include <QToolButton>

using namespace Qt::StringLiterals;
using vxtest::Files;

class TestCollisionMarks : public QObject
{
    Q_OBJECT
private slots:
    void testMarksFollowTicksAndOrder();
};

void TestCollisionMarks::testMarksFollowTicksAndOrder()
{
    // Anvil and Bolt both bring the game's Art/a.txt; Clay brings a file of its own.
    vxtest::TestDir dir;
    QVERIFY(vxtest::writeTree(dir.path(),
                              Files{{u"data/Art/a.txt"_s, "game"},
                                    {u"VexilMods/Anvil/info.txt"_s, "name=Anvil\nversion=1\n"},
                                    {u"VexilMods/Anvil/Art/a.txt"_s, "anvil"},
                                    {u"VexilMods/Bolt/info.txt"_s, "name=Bolt\nversion=2\n"},
                                    {u"VexilMods/Bolt/Art/a.txt"_s, "bolt"},
                                    {u"VexilMods/Clay/info.txt"_s, "name=Clay\nversion=3\n"},
                                    {u"VexilMods/Clay/Art/c.txt"_s, "clay"}}));
    VxLauncherDialog dialog({dir.path(), u"FRE"_s}, {{800, 600, 60}});
    dialog.show();
    auto *list = dialog.findChild<QListWidget *>(u"modsList"_s);
    auto *marks = list->findChild<VxCollisionMarks *>();
    QVERIFY(marks);
    QSignalSpy updated(marks, &VxCollisionMarks::marksUpdated);
    QListWidgetItem *anvil = list->item(0);
    QListWidgetItem *bolt = list->item(1);
    QListWidgetItem *clay = list->item(2);
    const auto markedRows = [&] {
        QStringList rows;
        for (int row = 0; row < list->count(); ++row)
            rows << list->item(row)->text() +
                        (list->item(row)->data(Qt::DecorationRole).isNull() ? u""_s : u" !"_s);
        return rows.join(u", "_s);
    };

    anvil->setCheckState(Qt::Checked);
    clay->setCheckState(Qt::Checked);
    QVERIFY(updated.wait());
    QCOMPARE(markedRows(), u"Anvil 1, Bolt 2, Clay 3"_s);

    bolt->setCheckState(Qt::Checked);
    QVERIFY(updated.wait());
    // The texts stay as they are; the icon tells.
    QCOMPARE(markedRows(), u"Anvil 1 !, Bolt 2 !, Clay 3"_s);
    const QString anvilWins = u"Conflits avec d'autres mods coch\u00e9s :\nFichier "_s +
                              QDir::toNativeSeparators(u"Art/a.txt"_s) +
                              u" (Anvil 1, Bolt 2) : Anvil 1 l'emporte"_s;
    QCOMPARE(bolt->toolTip(), anvilWins);
    QCOMPARE(anvil->toolTip(), anvilWins);
    QVERIFY(clay->toolTip().isEmpty());
    // A marked row is as high as the others, so the list does not jump.
    QCOMPARE(list->visualItemRect(bolt).height(), list->visualItemRect(clay).height());

    // Moved above Anvil, Bolt's copy is the one the game gets.
    list->setCurrentItem(bolt);
    dialog.findChild<QToolButton *>(u"upButton"_s)->click();
    QVERIFY(updated.wait());
    QCOMPARE(markedRows(), u"Bolt 2 !, Anvil 1 !, Clay 3"_s);
    QCOMPARE(anvil->toolTip(), u"Conflits avec d'autres mods coch\u00e9s :\nFichier "_s +
                                   QDir::toNativeSeparators(u"Art/a.txt"_s) +
                                   u" (Bolt 2, Anvil 1) : Bolt 2 l'emporte"_s);

    // The unticked mod loses its mark at once, the other when the new plan is in.
    anvil->setCheckState(Qt::Unchecked);
    QCOMPARE(markedRows(), u"Bolt 2 !, Anvil 1, Clay 3"_s);
    QVERIFY(anvil->toolTip().isEmpty());
    QVERIFY(updated.wait());
    QCOMPARE(markedRows(), u"Bolt 2, Anvil 1, Clay 3"_s);
    QVERIFY(bolt->toolTip().isEmpty());

    // While a launch has the list off, no plan reads the game; one follows when it is back on.
    list->setEnabled(false);
    anvil->setCheckState(Qt::Checked);
    QVERIFY(!updated.wait(300));
    QCOMPARE(markedRows(), u"Bolt 2, Anvil 1, Clay 3"_s);
    list->setEnabled(true);
    QVERIFY(updated.wait());
    QCOMPARE(markedRows(), u"Bolt 2 !, Anvil 1 !, Clay 3"_s);
}

QTEST_MAIN(TestCollisionMarks)
#include "tst_collisionmarks.moc"
