#include "launch/feedback.h"
#include "launch/launchplan.h"
#include "resources/resourcestore.h"
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

const Files baseGame{{u"data/Tweak/Stuff.xml"_s, stuffXml},
                     {u"data/Art/a.txt"_s, "game"},
                     {u"data/Art/Deep/b.txt"_s, "game"}};

// "Mod/File.twk" as the path of that tweak file for Stuff.xml.
QString stuff(const char *modFile)
{
    return u"VexilMods/"_s + QString::fromUtf8(modFile).replace(u"/"_s, u"/Tweak/Stuff/"_s);
}

QString mod(const char *modFile)
{
    return u"VexilMods/"_s + QString::fromUtf8(modFile);
}

Files withGame(Files files)
{
    for (auto it = baseGame.cbegin(); it != baseGame.cend(); ++it)
        files.insert(it.key(), it.value());
    return files;
}

QString names(const VxLaunchPlan &plan, const QList<int> &mods)
{
    QStringList list;
    for (int m : mods)
        list << plan.mods.value(m).title;
    return list.join(u',');
}

// "kind what mods -> winner", the way a person would say it.
QString describe(const VxLaunchPlan &plan, const VxCollision &c)
{
    static const char *kinds[] = {"file", "element", "field", "removed"};
    const QString what = c.kind == VxCollision::Kind::DataFile
                             ? c.path
                             : QStringList{c.resource, c.element, c.field}.join(u'/');
    return QString::fromLatin1(kinds[int(c.kind)]) + u' ' +
           (what.endsWith(u'/') ? what.chopped(1) : what) + u' ' + names(plan, c.mods) + u" -> "_s +
           plan.mods.value(c.winner).title;
}

QString describe(const VxLaunchPlan &plan, const VxPlannedEdit &e)
{
    static const char *operations[] = {"create", "copy", "keep", "set", "add", "remove"};
    QString text = plan.mods.value(e.mod).title + u' ' + e.resource + u'/' + e.tweakFile + u' ' +
                   e.element + u' ' + QString::fromLatin1(operations[int(e.operation)]);
    if (!e.field.isEmpty())
        text += u' ' + e.field;
    return text + u' ' + e.value;
}

VxLaunchPlan planFor(const QString &game, const QStringList &modNames)
{
    QList<VxModRef> mods;
    for (const QString &name : modNames)
        mods.append({game + u"/VexilMods/"_s + name + u'/', name});
    return planLaunch(game, mods);
}

} // namespace

class TestLaunchPlan : public QObject
{
    Q_OBJECT
private slots:
    void testCollisions_data();
    void testCollisions();
    void testEdits_data();
    void testEdits();
    void testFiles_data();
    void testFiles();
};

void TestLaunchPlan::testCollisions_data()
{
    QTest::addColumn<Files>("files");
    QTest::addColumn<QStringList>("mods"); // in list order
    QTest::addColumn<QStringList>("collisions");

    QTest::newRow("a game file two mods hold goes to the higher one")
        << withGame({{mod("Bolt/Art/a.txt"), "bolt"}, {mod("Anvil/Art/a.txt"), "anvil"}})
        << QStringList{u"Bolt"_s, u"Anvil"_s}
        << QStringList{u"file Art/a.txt Bolt,Anvil -> Bolt"_s};
    QTest::newRow("a new file three mods hold goes to the first, as a replaced one does")
        << withGame({{mod("A/Art/Deep/new.txt"), "a"},
                     {mod("B/Art/Deep/new.txt"), "b"},
                     {mod("C/Art/Deep/new.txt"), "c"}})
        << QStringList{u"A"_s, u"B"_s, u"C"_s}
        << QStringList{u"file Art/Deep/new.txt A,B,C -> A"_s};
    QTest::newRow("a game file beside an old backup goes to the first of three mods")
        << Files{{u"data/Art/old.txt.backup"_s, "game"},
                 {u"data/Art/old.txt"_s, "from a launch that died"},
                 {mod("A/Art/old.txt"), "a"},
                 {mod("B/Art/old.txt"), "b"},
                 {mod("C/Art/old.txt"), "c"}}
        << QStringList{u"A"_s, u"B"_s, u"C"_s} << QStringList{u"file Art/old.txt A,B,C -> A"_s};
    QTest::newRow("files a launch never copies collide with nothing")
        << withGame({{mod("A/Nowhere/x.txt"), "a"},
                     {mod("B/Nowhere/x.txt"), "b"},
                     {mod("A/Tweak/Art/a.txt"), "a"},
                     {mod("B/Tweak/Art/a.txt"), "b"},
                     {mod("A/info.txt"), "a"},
                     {mod("B/info.txt"), "b"}})
        << QStringList{u"A"_s, u"B"_s} << QStringList{};
    QTest::newRow("an element two mods make keeps the first one's making")
        << withGame({{stuff("Bolt/Fan.twk"), "#class XFan\nSpeed=1\n"},
                     {stuff("Anvil/Fan.twk"), "#copy Gadget-0\nSpeed=1\n"}})
        << QStringList{u"Bolt"_s, u"Anvil"_s}
        << QStringList{u"element Stuff/Fan-0 Bolt,Anvil -> Bolt"_s};
    QTest::newRow("a field two mods set to different values keeps the lower one's")
        << withGame({{stuff("Bolt/Gadget.twk"), "Damage=1\n"},
                     {stuff("Anvil/Gadget.twk"), "Damage=2\n"}})
        << QStringList{u"Bolt"_s, u"Anvil"_s}
        << QStringList{u"field Stuff/Gadget-0/Damage Bolt,Anvil -> Anvil"_s};
    QTest::newRow("two mods setting the same value do not collide")
        << withGame({{stuff("A/Gadget.twk"), "Damage=5\n"}, {stuff("B/Gadget.twk"), "Damage=5\n"}})
        << QStringList{u"A"_s, u"B"_s} << QStringList{};
    QTest::newRow("the same field of different elements does not collide")
        << withGame({{stuff("A/Gadget.twk"), "Damage=5\n"}, {stuff("B/Widget.twk"), "Damage=6\n"}})
        << QStringList{u"A"_s, u"B"_s} << QStringList{};
    QTest::newRow("flags two mods give one container differently")
        << withGame({{stuff("A/Gadget.twk"), "#flags 3\n"}, {stuff("B/Gadget.twk"), "#flags 5\n"}})
        << QStringList{u"A"_s, u"B"_s} << QStringList{u"field Stuff/Gadget/Flags A,B -> B"_s};
    QTest::newRow("a field one mod removes and a later one sets is back")
        << withGame({{stuff("Bolt/Gadget.twk"), "-Sound\n"},
                     {stuff("Anvil/Gadget.twk"), "Sound=hiss\n"}})
        << QStringList{u"Bolt"_s, u"Anvil"_s}
        << QStringList{u"removed Stuff/Gadget-0/Sound Bolt,Anvil -> Anvil"_s};
    QTest::newRow("a field one mod adds to and a later one removes by index")
        << withGame(
               {{stuff("A/Gadget.twk"), "+Sound=hiss\n"}, {stuff("B/Gadget.twk"), "-Sound(1)\n"}})
        << QStringList{u"A"_s, u"B"_s} << QStringList{u"removed Stuff/Gadget-0/Sound A,B -> B"_s};
    QTest::newRow("a value two mods declare: the first makes it, the last value stays")
        << withGame({{stuff("Bolt/resource.twk"), "Lives=3\n"},
                     {stuff("Anvil/resource.twk"), "#float\nLives=4\n"}})
        << QStringList{u"Bolt"_s, u"Anvil"_s}
        << QStringList{u"element Stuff/Lives Bolt,Anvil -> Bolt"_s,
                       u"field Stuff/Lives/Value Bolt,Anvil -> Anvil"_s};
    QTest::newRow("a declaration of a container another mod made")
        << withGame({{stuff("A/Fan.twk"), "#class XFan\n"}, {stuff("B/resource.twk"), "Fan=3\n"}})
        << QStringList{u"A"_s, u"B"_s} << QStringList{u"element Stuff/Fan A,B -> A"_s};
    QTest::newRow("redeclaring a game value makes nothing new")
        << withGame({{stuff("A/resource.twk"), "Widget=1\n"}, {stuff("B/Widget.twk"), "Tone=2\n"}})
        << QStringList{u"A"_s, u"B"_s} << QStringList{};
}

void TestLaunchPlan::testCollisions()
{
    QFETCH(Files, files);
    QFETCH(QStringList, mods);
    QFETCH(QStringList, collisions);

    vxtest::TestDir dir;
    QVERIFY(vxtest::writeTree(dir.path(), files));
    const Files before = vxtest::readTree(dir.path());
    const VxLaunchPlan plan = planFor(dir.path(), mods);

    QStringList found;
    for (const VxCollision &collision : plan.collisions)
        found << describe(plan, collision);
    QCOMPARE(found, collisions);
    QVERIFY(plan.problems.isEmpty());
    // Planning reads the game folder and leaves it as it was.
    QCOMPARE(vxtest::readTree(dir.path()), before);

    // The winners are the launch's own: each file and field holds the winner's after an apply.
    VxSilentFeedback feedback;
    QCOMPARE(applyMods(dir.path(), plan.mods, feedback), VxLaunchResult::Applied);
    const Files applied = vxtest::readTree(dir.path());
    for (const VxCollision &c : plan.collisions) {
        if (c.kind == VxCollision::Kind::DataFile) {
            QCOMPARE(applied.value(u"data/"_s + c.path),
                     applied.value(u"VexilMods/"_s + mods.at(c.winner) + u'/' + c.path));
        } else if (c.kind == VxCollision::Kind::FieldSet) {
            QString value;
            for (const VxPlannedEdit &e : plan.edits) {
                if (e.mod == c.winner && e.element == c.element && e.field == c.field)
                    value = e.value;
            }
            VxResourceDocument document;
            VxResourceElement table;
            QVERIFY(loadResourceDocument(document, table,
                                         dir.filePath(u"data/Tweak/"_s + c.resource + u".xml"_s)));
            QCOMPARE(readResourceField(findResourceById(table, c.element), c.field), value);
        }
    }
    restoreGame(dir.path());
}

void TestLaunchPlan::testEdits_data()
{
    QTest::addColumn<Files>("files");
    QTest::addColumn<QStringList>("edits");
    QTest::addColumn<QStringList>("problems"); // words of the one problem expected

    QTest::newRow("each statement as the compiler applies it, flags on the container")
        << withGame({{stuff("A/Gadget.twk"), "#flags 3\nDamage=40\n+Tag=fast\n-Sound\n-Nope\n"}})
        << QStringList{u"A Stuff/Gadget.twk Gadget set Flags 3"_s,
                       u"A Stuff/Gadget.twk Gadget-0 set Damage 40"_s,
                       u"A Stuff/Gadget.twk Gadget-0 add Tag fast"_s,
                       u"A Stuff/Gadget.twk Gadget-0 remove Sound "_s}
        << QStringList{};
    QTest::newRow("elements made by class, copy and declaration")
        << withGame({{stuff("A/Fan.twk"), "#nodb\n#class XFan\nSpeed=@vector 1 2\n"},
                     {stuff("A/Gun.twk"), "#copy Gadget\n"},
                     {stuff("A/resource.twk"), "#string\nTitle=Hi\n"}})
        << QStringList{u"A Stuff/Fan.twk Fan create XFan"_s,
                       u"A Stuff/Fan.twk Fan set Speed @vector 1 2"_s,
                       u"A Stuff/Gun.twk Gun-0 copy Gadget"_s,
                       u"A Stuff/resource.twk Title create XStringResourceDetails"_s,
                       u"A Stuff/resource.twk Title set Value Hi"_s,
                       u"A Stuff/resource.twk Title set Name Title"_s,
                       u"A Stuff/resource.twk Title set Flags 64"_s}
        << QStringList{};
    QTest::newRow("a missing element is the launch's question; the folder's rest is skipped")
        << withGame({{stuff("A/Ghost.twk"), "Speed=1\n"}, {stuff("A/Widget.twk"), "Speed=2\n"}})
        << QStringList{}
        << QStringList{QDir::toNativeSeparators(u"VexilMods/A/Tweak/Stuff: Error loading file "
                                                u"Ghost.twk, continue anyway?"_s)};
    QTest::newRow("a resource file that does not load stops the plan where the launch stops")
        << Files{{u"data/Tweak/Stuff.xml"_s, "<F><T>"}, {stuff("A/Gadget.twk"), "Damage=1\n"}}
        << QStringList{} << QStringList{u"data/Tweak/Stuff.xml"_s, u"the launch stops here"_s};
}

void TestLaunchPlan::testEdits()
{
    QFETCH(Files, files);
    QFETCH(QStringList, edits);
    QFETCH(QStringList, problems);

    vxtest::TestDir dir;
    QVERIFY(vxtest::writeTree(dir.path(), files));
    const VxLaunchPlan plan = planFor(dir.path(), {u"A"_s});
    QStringList found;
    for (const VxPlannedEdit &edit : plan.edits)
        found << describe(plan, edit);
    QCOMPARE(found, edits);
    QCOMPARE(plan.problems.size(), problems.isEmpty() ? 0 : 1);
    for (const QString &words : problems)
        QVERIFY2(plan.problems.constFirst().contains(QDir::toNativeSeparators(words)),
                 qPrintable(plan.problems.constFirst()));
}

void TestLaunchPlan::testFiles_data()
{
    QTest::addColumn<Files>("files");
    QTest::addColumn<QStringList>("planned"); // path, action, mods, winner

    QTest::newRow("replaced and added files, deep folders included, in path order")
        << withGame({{mod("A/Art/a.txt"), "a"},
                     {mod("A/Art/Deep/new.txt"), "a"},
                     {mod("B/Art/Deep/b.txt"), "b"}})
        << QStringList{u"Art/Deep/b.txt replace B -> B"_s, u"Art/Deep/new.txt add A -> A"_s,
                       u"Art/a.txt replace A -> A"_s};
    QTest::newRow("a game folder where the mod has a file is left alone")
        << withGame({{mod("A/Art/Deep"), "a file, not a folder"}}) << QStringList{};
}

void TestLaunchPlan::testFiles()
{
    QFETCH(Files, files);
    QFETCH(QStringList, planned);

    vxtest::TestDir dir;
    QVERIFY(vxtest::writeTree(dir.path(), files));
    const VxLaunchPlan plan = planFor(dir.path(), {u"A"_s, u"B"_s});
    QStringList found;
    for (const VxPlannedFile &file : plan.files)
        found << file.path + (file.replacesGameFile ? u" replace "_s : u" add "_s) +
                     names(plan, file.mods) + u" -> "_s + plan.mods.value(file.winner).title;
    QCOMPARE(found, planned);
}

QTEST_GUILESS_MAIN(TestLaunchPlan)
#include "tst_launchplan.moc"
