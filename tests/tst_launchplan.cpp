#include "launch/launchplan.h"
#include "testutil.h"

using namespace Qt::StringLiterals;
using vxtest::Files;

namespace {

// A game with one resource file: Gadget is a container for Gadget-0, Widget a bare element.
const QByteArray stuffXml =
    "<F><T><XIndexDetails id='id-0'/><XContainerResourceDetails id='Gadget'><Value "
    "href='Gadget-0'/><Flags>80</Flags></XContainerResourceDetails><XGadgetDetails "
    "id='Gadget-0'><Damage>10</Damage><Sound>boom</Sound></XGadgetDetails><XWidgetDetails "
    "id='Widget'/></T></F>";

// The game above with the mods' files: "Mod/path" lies in the mod's folder, "Mod:File.twk" is
// that tweak file for Stuff.xml; a "data/" path is the game's own.
Files game(const Files &files, bool withGame = true)
{
    Files all;
    if (withGame)
        all = {{u"data/Tweak/Stuff.xml"_s, stuffXml},
               {u"data/Art/a.txt"_s, "game"},
               {u"data/Art/Deep/b.txt"_s, "game"}};
    for (auto it = files.cbegin(); it != files.cend(); ++it)
        all.insert(it.key().startsWith("data/"_L1)
                       ? it.key()
                       : u"VexilMods/"_s + QString(it.key()).replace(u':', u"/Tweak/Stuff/"_s),
                   it.value());
    return all;
}

QString names(const VxLaunchPlan &plan, const QList<int> &mods, int winner)
{
    QStringList list;
    for (int m : mods)
        list << plan.mods.value(m).title;
    return list.join(u',') + u" -> "_s + plan.mods.value(winner).title;
}

} // namespace

class TestLaunchPlan : public QObject
{
    Q_OBJECT
private slots:
    void testPlan_data();
    void testPlan();
};

void TestLaunchPlan::testPlan_data()
{
    QTest::addColumn<Files>("files");
    QTest::addColumn<QString>("mods"); // in list order
    // The planned files, the edits (when one mod is planned), the collisions and the problems
    // ("where: words it contains"), in this order.
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("a game file two mods hold goes to the higher one; files in path order")
        << game({{u"Bolt/Art/a.txt"_s, "bolt"},
                 {u"Anvil/Art/a.txt"_s, "anvil"},
                 {u"Anvil/Art/Deep/b.txt"_s, "anvil"},
                 {u"Bolt/Art/Deep/new.txt"_s, "bolt"}})
        << u"Bolt Anvil"_s
        << QStringList{
               u"Art/Deep/b.txt replace Anvil -> Anvil"_s, u"Art/Deep/new.txt add Bolt -> Bolt"_s,
               u"Art/a.txt replace Bolt,Anvil -> Bolt"_s, u"file Art/a.txt Bolt,Anvil -> Bolt"_s};
    QTest::newRow("a new file three mods hold goes to the first, as a replaced one does")
        << game({{u"A/Art/Deep/new.txt"_s, "a"},
                 {u"B/Art/Deep/new.txt"_s, "b"},
                 {u"C/Art/Deep/new.txt"_s, "c"}})
        << u"A B C"_s
        << QStringList{u"Art/Deep/new.txt add A,B,C -> A"_s, u"file Art/Deep/new.txt A,B,C -> A"_s};
    QTest::newRow("a game file beside an old backup goes to the first of three mods")
        << game({{u"data/Art/old.txt.backup"_s, "game"},
                 {u"data/Art/old.txt"_s, "from a launch that died"},
                 {u"A/Art/old.txt"_s, "a"},
                 {u"B/Art/old.txt"_s, "b"},
                 {u"C/Art/old.txt"_s, "c"}},
                false)
        << u"A B C"_s
        << QStringList{u"Art/old.txt replace A,B,C -> A"_s, u"file Art/old.txt A,B,C -> A"_s};
    QTest::newRow("files a launch never copies, or where the game has a folder, plan nothing")
        << game({{u"A/Nowhere/x.txt"_s, "a"},
                 {u"B/Nowhere/x.txt"_s, "b"},
                 {u"A/Tweak/Art/a.txt"_s, "a"},
                 {u"B/Tweak/Art/a.txt"_s, "b"},
                 {u"A/info.txt"_s, "a"},
                 {u"B/Art/Deep"_s, "a file, not a folder"}})
        << u"A B"_s << QStringList{};
    QTest::newRow("an element or container two mods make keeps the first one's making")
        << game({{u"Bolt:Fan.twk"_s, "#class XFan\nSpeed=1\n"},
                 {u"Anvil:Fan.twk"_s, "#copy Gadget-0\nSpeed=1\n"},
                 {u"Anvil:resource.twk"_s, "Fan=3\n"}})
        << u"Bolt Anvil"_s
        << QStringList{u"element Stuff/Fan Bolt,Anvil -> Bolt"_s,
                       u"element Stuff/Fan-0 Bolt,Anvil -> Bolt"_s};
    QTest::newRow("a field or a container's flags two mods set differently keeps the lower one's")
        << game({{u"Bolt:Gadget.twk"_s, "#flags 3\nDamage=1\n"},
                 {u"Anvil:Gadget.twk"_s, "#flags 5\nDamage=2\n"}})
        << u"Bolt Anvil"_s
        << QStringList{u"field Stuff/Gadget/Flags Bolt,Anvil -> Anvil"_s,
                       u"field Stuff/Gadget-0/Damage Bolt,Anvil -> Anvil"_s};
    QTest::newRow("the same value twice, the same field of other elements, or a game value "
                  "declared again do not collide")
        << game({{u"A:Gadget.twk"_s, "Damage=5\nSound=6\n"},
                 {u"A:resource.twk"_s, "Widget=1\n"},
                 {u"B:Gadget.twk"_s, "Damage=5\n"},
                 {u"B:Widget.twk"_s, "Sound=7\nTone=2\n"}})
        << u"A B"_s << QStringList{};
    QTest::newRow("a field one mod removes and a later one sets, or adds to and a later removes")
        << game({{u"Bolt:Gadget.twk"_s, "-Sound\n+Damage=9\n"},
                 {u"Anvil:Gadget.twk"_s, "Sound=hiss\n-Damage(1)\n"}})
        << u"Bolt Anvil"_s
        << QStringList{u"removed Stuff/Gadget-0/Damage Bolt,Anvil -> Anvil"_s,
                       u"removed Stuff/Gadget-0/Sound Bolt,Anvil -> Anvil"_s};
    QTest::newRow("a value two mods declare: the first makes it, the last value stays")
        << game({{u"Bolt:resource.twk"_s, "Lives=3\n"},
                 {u"Anvil:resource.twk"_s, "#float\nLives=4\n"}})
        << u"Bolt Anvil"_s
        << QStringList{u"element Stuff/Lives Bolt,Anvil -> Bolt"_s,
                       u"field Stuff/Lives/Value Bolt,Anvil -> Anvil"_s};
    QTest::newRow("each statement as the compiler applies it, flags on the container")
        << game({{u"A:Gadget.twk"_s, "#flags 3\nDamage=40\n+Tag=fast\n-Sound\n-Nope\n"}}) << u"A"_s
        << QStringList{u"Stuff/Gadget.twk Gadget set Flags 3"_s,
                       u"Stuff/Gadget.twk Gadget-0 set Damage 40"_s,
                       u"Stuff/Gadget.twk Gadget-0 add Tag fast"_s,
                       u"Stuff/Gadget.twk Gadget-0 remove Sound "_s};
    QTest::newRow("elements made by class, copy and declaration")
        << game({{u"A:Fan.twk"_s, "#nodb\n#class XFan\nSpeed=@vector 1 2\n"},
                 {u"A:Gun.twk"_s, "#copy Gadget\n"},
                 {u"A:resource.twk"_s, "#string\nTitle=Hi\n"}})
        << u"A"_s
        << QStringList{u"Stuff/Fan.twk Fan create XFan"_s,
                       u"Stuff/Fan.twk Fan set Speed @vector 1 2"_s,
                       u"Stuff/Gun.twk Gun-0 copy Gadget"_s,
                       u"Stuff/resource.twk Title create XStringResourceDetails"_s,
                       u"Stuff/resource.twk Title set Value Hi"_s,
                       u"Stuff/resource.twk Title set Name Title"_s,
                       u"Stuff/resource.twk Title set Flags 64"_s};
    QTest::newRow("a missing element is the launch's question; the folder's rest is skipped")
        << game({{u"A:Ghost.twk"_s, "Speed=1\n"}, {u"A:Widget.twk"_s, "Speed=2\n"}}) << u"A"_s
        << QStringList{
               u"VexilMods/A/Tweak/Stuff: Error loading file Ghost.twk, continue anyway?"_s};
    QTest::newRow("a resource file that does not load stops the plan where the launch stops")
        << game({{u"data/Tweak/Stuff.xml"_s, "<F><T>"}, {u"A:Gadget.twk"_s, "Damage=1\n"}}, false)
        << u"A"_s << QStringList{u"data/Tweak/Stuff.xml: the launch stops here"_s};
}

void TestLaunchPlan::testPlan()
{
    QFETCH(Files, files);
    QFETCH(QString, mods);
    QFETCH(QStringList, expected);
    vxtest::TestDir dir;
    QVERIFY(vxtest::writeTree(dir.path(), files));
    const Files before = vxtest::readTree(dir.path());
    QList<VxModRef> refs;
    for (const QString &name : mods.split(u' '))
        refs.append({dir.path() + u"/VexilMods/"_s + name + u'/', name});
    const VxLaunchPlan plan = planLaunch(dir.path(), refs);

    static const char *operations[] = {"create", "copy", "keep", "set", "add", "remove"};
    static const char *kinds[] = {"file", "element", "field", "removed"};
    QStringList found;
    for (const VxPlannedFile &file : plan.files)
        found << file.path + (file.replacesGameFile ? u" replace "_s : u" add "_s) +
                     names(plan, file.mods, file.winner);
    for (const VxPlannedEdit &e : plan.edits) {
        if (refs.size() == 1)
            found << e.resource + u'/' + e.tweakFile + u' ' + e.element + u' ' +
                         QString::fromLatin1(operations[int(e.operation)]) +
                         (e.field.isEmpty() ? QString() : u' ' + e.field) + u' ' + e.value;
    }
    for (const VxCollision &c : plan.collisions) {
        const QString what = c.kind == VxCollision::Kind::DataFile
                                 ? c.path
                                 : QStringList{c.resource, c.element, c.field}.join(u'/');
        found << QString::fromLatin1(kinds[int(c.kind)]) + u' ' +
                     (what.endsWith(u'/') ? what.chopped(1) : what) + u' ' +
                     names(plan, c.mods, c.winner);
    }
    for (const QString &problem : plan.problems)
        found << QDir::fromNativeSeparators(problem).remove(dir.path() + u'/');
    QCOMPARE(vxtest::matchedLines(found, expected), expected);
    // Planning reads the game folder and leaves it as it was.
    QCOMPARE(vxtest::readTree(dir.path()), before);
}

QTEST_GUILESS_MAIN(TestLaunchPlan)
#include "tst_launchplan.moc"
