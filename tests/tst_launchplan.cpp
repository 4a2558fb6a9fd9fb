#include "launch/launchplan.h"
#include "mods/modinfo.h"
#include "testutil.h"

#include <QJsonDocument>
#include <QRegularExpression>

using namespace Qt::StringLiterals;
using vxtest::Files;
using vxtest::operator+;

namespace {

// A game with one resource file: Gadget is a container for Gadget-0, whose Link holds an
// element, and Widget a bare element.
const QByteArray stuffXml =
    "<F><T><XIndexDetails id='id-0'/><XContainerResourceDetails id='Gadget'><Value "
    "href='Gadget-0'/><Flags>80</Flags></XContainerResourceDetails><XGadgetDetails "
    "id='Gadget-0'><Damage>10</Damage><Sound>boom</Sound><Link><Value>boom.wav</Value></Link>"
    "</XGadgetDetails><XWidgetDetails id='Widget'/></T></F>";

// The game above with the mods' files: "Mod/path" lies in the mod's folder, "Mod:File.twk" is
// that tweak file for Stuff.xml; a "data/" path is the game's own.
Files game(const Files &files)
{
    Files all = {{u"data/Tweak/Stuff.xml"_s, stuffXml},
                 {u"data/Art/a.txt"_s, "game"},
                 {u"data/Art/Deep/b.txt"_s, "game"}};
    for (auto it = files.cbegin(); it != files.cend(); ++it)
        all.insert(it.key().startsWith("data/"_L1)
                       ? it.key()
                       : u"VexilMods/"_s + QString(it.key()).replace(u':', u"/Tweak/Stuff/"_s),
                   it.value());
    return all;
}

// Bolt and Anvil both replace Art/a.txt, both make Fan and both set Gadget's Damage; Chain and
// Hook both set text on Gadget's Link, which holds an element.
const Files collidingGame = game({{u"Chain/info.txt"_s, "name=Chain\n"},
                                  {u"Chain:Gadget.twk"_s, "Link=first\nDamage=@\n"},
                                  {u"Hook/info.txt"_s, "name=Hook\n"},
                                  {u"Hook:Gadget.twk"_s, "Link=second\n+Tag=@vector 1\n"},
                                  {u"Bolt/info.txt"_s, "name=Bolt\n"},
                                  {u"Bolt/Art/a.txt"_s, "bolt"},
                                  {u"Bolt:Fan.twk"_s, "#class XFan\n"},
                                  {u"Bolt:Gadget.twk"_s, "Damage=1\n"},
                                  {u"Anvil/info.txt"_s, "name=Anvil\n"},
                                  {u"Anvil/Art/a.txt"_s, "anvil"},
                                  {u"Anvil:Fan.twk"_s, "#copy Gadget-0\n"},
                                  {u"Anvil:Gadget.twk"_s, "Damage=2\n+Tag=x\n"}});

const char expectedJson[] = R"({"game": "GAME",
  "mods": [{"name": "Bolt", "path": "VexilMods/Bolt/"}, {"name": "Anvil", "path": "VexilMods/Anvil/"}],
  "files": [{"path": "Art/a.txt", "action": "replace", "mods": ["Bolt", "Anvil"], "winner": "Bolt"}],
  "edits": [
{"mod":"Bolt","resource":"Stuff.xml","file":"Fan.twk","element":"Fan-0","operation":"create","value":"XFan"},
{"mod":"Bolt","resource":"Stuff.xml","file":"Gadget.twk","element":"Gadget-0","operation":"set","field":"Damage","value":"1"},
{"mod":"Anvil","resource":"Stuff.xml","file":"Fan.twk","element":"Fan-0","operation":"keep","value":"Gadget-0"},
{"mod":"Anvil","resource":"Stuff.xml","file":"Gadget.twk","element":"Gadget-0","operation":"set","field":"Damage","value":"2"},
{"mod":"Anvil","resource":"Stuff.xml","file":"Gadget.twk","element":"Gadget-0","operation":"add","field":"Tag","value":"x"}],
  "collisions": [
{"kind":"data-file","path":"Art/a.txt","mods":["Bolt","Anvil"],"winner":"Bolt"},
{"kind":"element-created","resource":"Stuff.xml","element":"Fan-0","mods":["Bolt","Anvil"],"winner":"Bolt"},
{"kind":"field-set","resource":"Stuff.xml","element":"Gadget-0","field":"Damage","mods":["Bolt","Anvil"],"winner":"Anvil"}],
  "problems": []})";

const char expectedJoinedJson[] = R"({"game": "GAME",
  "mods": [{"name": "Chain", "path": "VexilMods/Chain/"}, {"name": "Hook", "path": "VexilMods/Hook/"}],
  "files": [],
  "edits": [
{"mod":"Chain","resource":"Stuff.xml","file":"Gadget.twk","element":"Gadget-0","operation":"set","field":"Link","value":"first","effect":"appended","reads":"boom.wavfirstsecond"},
{"mod":"Chain","resource":"Stuff.xml","file":"Gadget.twk","element":"Gadget-0","operation":"set","field":"Damage","value":"@","effect":"cleared"},
{"mod":"Hook","resource":"Stuff.xml","file":"Gadget.twk","element":"Gadget-0","operation":"set","field":"Link","value":"second","effect":"appended","reads":"boom.wavfirstsecond"},
{"mod":"Hook","resource":"Stuff.xml","file":"Gadget.twk","element":"Gadget-0","operation":"add","field":"Tag","value":"@vector 1","effect":"cleared"}],
  "collisions": [
{"kind":"field-set","resource":"Stuff.xml","element":"Gadget-0","field":"Link","mods":["Chain","Hook"],"kept":["Chain","Hook"],"reads":"boom.wavfirstsecond"}],
  "problems": []})";

// vxmod run on a game folder holding files (the demo game when files is empty), GAME in args
// standing for the folder. The exit code is -2 when the folder changed, -3 when a value
// "special:KIND" cannot be made as vxtest::makeSpecialFile's KIND. Paths in the output are
// relative to the folder (which shows as GAME) and use '/'.
vxtest::Run runOn(Files files, const QString &args)
{
    vxtest::TestDir dir;
    vxtest::Run run{-3, {}, {}};
    const bool demo = files.isEmpty();
    for (auto it = files.begin(); it != files.end();) {
        if (!it.value().startsWith("special:"))
            ++it;
        else if (vxtest::makeSpecialFile(dir.filePath(it.key()), QString::fromUtf8(it->mid(8))))
            it = files.erase(it);
        else
            return run;
    }
    if (demo ? !vxtest::copyTree(qEnvironmentVariable("VX_DEMO_INSTALL"), dir.path())
             : !vxtest::writeTree(dir.path(), files))
        return run;
    const Files before = vxtest::hashTree(dir.path());
    run = vxtest::runVxmod(QString(args).replace(u"GAME"_s, dir.path()).split(u' '));
    // JSON escapes the separators it shows.
    run.out = QDir::fromNativeSeparators(run.out.replace(u"\\\\"_s, u"\\"_s))
                  .remove(dir.path() + u'/')
                  .replace(dir.path(), u"GAME"_s);
    if (vxtest::hashTree(dir.path()) != before)
        run.exitCode = -2;
    return run;
}

} // namespace

class TestLaunchPlan : public QObject
{
    Q_OBJECT
private slots:
    void readsInfoText_data();
    void readsInfoText();
    void testPlan_data();
    void testPlan();
    void testText_data();
    void testText();
    void testCheck_data();
    void testCheck();
};

void TestLaunchPlan::readsInfoText_data()
{
    // Of Bad/info.txt; "special:KIND" makes it as vxtest::makeSpecialFile's KIND.
    QTest::addColumn<QByteArray>("content");
    // Display text|author|desc|priority, or why it is not read.
    QTest::addColumn<QString>("expected");

    QTest::newRow("name and version join with one blank; CR LF and a last line without an end; "
                  "the highest priority is read")
        << "name=Big Guns\r\nversion=1.2\r\npriority=65535\r\nauthor=Ann"_ba
        << u"Big Guns 1.2|Ann|N/A|65535"_s;
    QTest::newRow("lines without exactly one =, blanks around it belong to key and value")
        << "just some words\ndesc=a=b\nname = X\nauthor= Ann \n"_ba << u"<no name> | Ann |N/A|0"_s;
    QTest::newRow("a later line wins, even with an empty value; 8-bit text reads as Latin-1")
        << "name=A\nname=Caf\xe9\nauthor=x\nauthor=\ndesc=d"_ba << u"Caf\u00e9 ||d|0"_s;
    QTest::newRow("a later priority out of range gives 0, not the earlier one")
        << "priority=7\npriority=65536\n"_ba << u"<no name> |N/A|N/A|0"_s;
    QTest::newRow("a file of exactly the size limit is read")
        << "special:huge:1048576"_ba << u"<no name> |N/A|N/A|0"_s;
    QTest::newRow("one byte over the size limit")
        << "special:huge:1048577"_ba << u"larger than 1048576 bytes"_s;
}

void TestLaunchPlan::readsInfoText()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, expected);
    vxtest::TestDir dir;
    const QString mods = dir.path() + u"/VexilMods/"_s;
    // Mods sort by folder name without regard to case; a folder without info.txt is no mod,
    // even with data and tweaks, and neither is a file lying in the mods folder.
    QVERIFY(vxtest::writeTree(mods, {{u"gamma/info.txt"_s, "name=gamma"},
                                     {u"alpha/info.txt"_s, "name=alpha"},
                                     {u"Can/info.txt"_s, "name=Can"},
                                     {u"Almost/Art/Units/tank.pgm"_s, "P2"},
                                     {u"Almost/Tweak/Units/Tank.twk"_s, "Armor=1\n"},
                                     {u"readme.txt"_s, "name=Nope\n"}}));
    if (content.startsWith("special:")
            ? !vxtest::makeSpecialFile(mods + u"Bad/info.txt"_s, QString::fromUtf8(content.mid(8)))
            : !vxtest::writeTree(mods, {{u"Bad/info.txt"_s, content}}))
        QSKIP("this system cannot make such a file");

    VxModInfo info;
    QString error;
    const bool read = readModInfo(mods + u"Bad/"_s, info, &error);
    QCOMPARE(
        read ? u"%1|%2|%3|%4"_s.arg(info.displayText(), info.author, info.desc).arg(info.priority)
             : error,
        expected);
    QStringList problems, found;
    for (const VxModInfo &mod : scanModFolder(dir.path(), &problems)) {
        found << mod.name;
        QCOMPARE(mod.path, mods + mod.folderName + u'/');
    }
    QCOMPARE(found.join(u','),
             read ? u"alpha,%1,Can,gamma"_s.arg(info.name) : u"alpha,Can,gamma"_s);
    QCOMPARE(problems,
             read ? QStringList()
                  : QStringList{QDir::toNativeSeparators(mods + u"Bad/info.txt: "_s) + expected});
}

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
    QTest::newRow("a new file three mods hold goes to the first, as a replaced one beside an "
                  "old backup does")
        << game({{u"data/Art/old.txt.backup"_s, "game"},
                 {u"data/Art/old.txt"_s, "from a launch that died"},
                 {u"A/Art/Deep/new.txt"_s, "a"},
                 {u"B/Art/Deep/new.txt"_s, "b"},
                 {u"C/Art/Deep/new.txt"_s, "c"},
                 {u"A/Art/old.txt"_s, "a"},
                 {u"B/Art/old.txt"_s, "b"},
                 {u"C/Art/old.txt"_s, "c"}})
        << u"A B C"_s
        << QStringList{u"Art/Deep/new.txt add A,B,C -> A"_s, u"Art/old.txt replace A,B,C -> A"_s,
                       u"file Art/Deep/new.txt A,B,C -> A"_s, u"file Art/old.txt A,B,C -> A"_s};
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
        << game({{u"A:Gadget.twk"_s, "Damage=5\nSound=6\n-Nope\n"},
                 {u"A:resource.twk"_s, "Widget=1\n"},
                 {u"B:Gadget.twk"_s, "Damage=5\n-Nope\n"},
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
    QTest::newRow("a value that writes nothing is planned as the launch runs it")
        << game({{u"A:Gadget.twk"_s, "Damage=@\n+Tint=@colour 1 2 3\nSound=@color 17 173\n"},
                 {u"A:resource.twk"_s, "Lives=@vector\n"}})
        << u"A"_s
        << QStringList{u"Stuff/Gadget.twk Gadget-0 set Damage @ cleared"_s,
                       u"Stuff/Gadget.twk Gadget-0 add Tint @colour 1 2 3 cleared"_s,
                       u"Stuff/Gadget.twk Gadget-0 set Sound @color 17 173 cleared"_s,
                       u"Stuff/resource.twk Lives create XIntResourceDetails"_s,
                       u"Stuff/resource.twk Lives set Value @vector cleared"_s,
                       u"Stuff/resource.twk Lives set Name Lives"_s,
                       u"Stuff/resource.twk Lives set Flags 64"_s};
    QTest::newRow("a colour then a value that writes nothing: the last one lands")
        << game({{u"Bolt:Gadget.twk"_s, "Damage=@color 1 2 3\n"},
                 {u"Anvil:Gadget.twk"_s, "Damage=@color 17 173\n"}})
        << u"Bolt Anvil"_s << QStringList{u"field Stuff/Gadget-0/Damage Bolt,Anvil -> Anvil"_s};
    QTest::newRow("text set twice on a field that holds an element reads as both after it")
        << game({{u"A:Gadget.twk"_s, "Link=first\nLink=second\nDamage=5\n"}}) << u"A"_s
        << QStringList{u"Stuff/Gadget.twk Gadget-0 set Link first appended boom.wavfirstsecond"_s,
                       u"Stuff/Gadget.twk Gadget-0 set Link second appended boom.wavfirstsecond"_s,
                       u"Stuff/Gadget.twk Gadget-0 set Damage 5"_s};
    QTest::newRow("the same text from two mods on a field that holds an element stays twice")
        << game({{u"A:Gadget.twk"_s, "Link=x\n"}, {u"B:Gadget.twk"_s, "Link=x\n"}}) << u"A B"_s
        << QStringList{u"field Stuff/Gadget-0/Link A,B ->  kept A,B reads boom.wavxx"_s};
    QTest::newRow("text two mods set on a field that holds an element stays; a later colour "
                  "wins and is what it reads")
        << game({{u"A:Gadget.twk"_s, "Link=first\n"},
                 {u"B:Gadget.twk"_s, "Link=second\n"},
                 {u"C:Gadget.twk"_s, "Link=@color 1 2 3\n"}})
        << u"A B C"_s
        << QStringList{u"field Stuff/Gadget-0/Link A,B,C -> C kept A,B reads @color 1 2 3"_s};
    QTest::newRow("a declaration makes its element and sets its value, name and flags")
        << game({{u"A:resource.twk"_s, "#string\nTitle=Hi\n"}}) << u"A"_s
        << QStringList{u"Stuff/resource.twk Title create XStringResourceDetails"_s,
                       u"Stuff/resource.twk Title set Value Hi"_s,
                       u"Stuff/resource.twk Title set Name Title"_s,
                       u"Stuff/resource.twk Title set Flags 64"_s};
    QTest::newRow("a missing element is the launch's question; the folder's rest is skipped")
        << game({{u"A:Ghost.twk"_s, "Speed=1\n"}, {u"A:Widget.twk"_s, "Speed=2\n"}}) << u"A"_s
        << QStringList{
               u"VexilMods/A/Tweak/Stuff: Error loading file Ghost.twk, continue anyway?"_s};
    QTest::newRow("a resource file that does not load stops the plan where the launch stops")
        << game({{u"data/Tweak/Stuff.xml"_s, "<F><T>"}, {u"A:Gadget.twk"_s, "Damage=1\n"}})
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
    static const char *effects[] = {"", " appended ", " cleared"};
    static const char *kinds[] = {"file", "element", "field", "removed"};
    // The mods' titles, and the winner's after an arrow unless it is -2.
    const auto names = [&plan](const QList<int> &indexes, int winner = -2) {
        QStringList list;
        for (int m : indexes)
            list << plan.mods.value(m).title;
        return list.join(u',') +
               (winner == -2 ? QString() : u" -> "_s + plan.mods.value(winner).title);
    };
    QStringList found;
    for (const VxPlannedFile &file : plan.files)
        found << file.path + (file.replacesGameFile ? u" replace "_s : u" add "_s) +
                     names(file.mods, file.winner);
    for (qsizetype i = 0; i < plan.edits.size() && refs.size() == 1; ++i) {
        const VxPlannedEdit &e = plan.edits.at(i);
        const VxEditSite &at = plan.siteOf(e);
        found << at.resource + u'/' + at.tweakFile + u' ' + at.element + u' ' +
                     QString::fromLatin1(operations[int(e.operation)]) +
                     (e.field.isEmpty() ? QString() : u' ' + e.field) + u' ' + e.value +
                     QString::fromLatin1(effects[int(e.effect)]) + plan.appendedReads.value(i);
    }
    for (const VxCollision &c : plan.collisions) {
        const QString what = c.kind == VxCollision::Kind::DataFile
                                 ? c.path
                                 : QStringList{c.resource, c.element, c.field}.join(u'/');
        found << QString::fromLatin1(kinds[int(c.kind)]) + u' ' +
                     (what.endsWith(u'/') ? what.chopped(1) : what) + u' ' +
                     names(c.mods, c.winner) +
                     (c.kept.isEmpty() ? QString()
                                       : u" kept "_s + names(c.kept) + u" reads "_s + c.reads);
    }
    for (const QString &problem : plan.problems)
        found << QDir::fromNativeSeparators(problem).remove(dir.path() + u'/');
    QCOMPARE(vxtest::matchedLines(found, expected), expected);
    // Planning reads the game folder and leaves it as it was.
    QCOMPARE(vxtest::readTree(dir.path()), before);
}

void TestLaunchPlan::testText_data()
{
    QTest::addColumn<QString>("args"); // after "plan --game GAME"
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("err");       // what standard error holds
    // In this order among the lines printed; with --json, the whole object printed.
    QTest::addColumn<QStringList>("lines");

    QTest::newRow("collisions marked where they are and listed with their winners")
        << u"Anvil Bolt"_s << 1 << u"vxmod plan: 3 collisions among 2 mods\n"_s
        << QStringList{u"! Art/a.txt  replaced by Anvil, Bolt (Anvil wins)"_s,
                       u"! Fan-0"_s,
                       u"      create as a copy of Gadget-0  [Anvil, Fan.twk]"_s,
                       u"      create: there already, so not made again  [Bolt, Fan.twk]"_s,
                       u"  data file Art/a.txt by Anvil, Bolt: Anvil wins"_s,
                       u"  element Fan-0 of Stuff.xml created by Anvil, Bolt: Anvil wins"_s,
                       u"  field Damage of Gadget-0 in Stuff.xml set by Anvil, Bolt: Bolt wins"_s};
    QTest::newRow("each kind of line for the three demo mods, each edit under its element")
        << u"BetterUnits NightSky WarpDrive"_s << 0 << u"vxmod plan: 0 collisions among 3 mods\n"_s
        << QStringList{u"Mods, in launch order: BetterUnits, NightSky, WarpDrive"_s,
                       u"  Art/Units/medic.pgm  added by BetterUnits"_s,
                       u"  Maps/Skirmish/riverford.map  replaced by WarpDrive"_s,
                       u"Units.xml"_s,
                       u"  Tank"_s,
                       u"      set Flags = 3  [BetterUnits, Tank.twk]"_s,
                       u"  Tank-0"_s,
                       u"      add Tag = elite  [BetterUnits, Tank.twk]"_s,
                       u"      remove Sound  [BetterUnits, Tank.twk]"_s,
                       u"      create as XCelestialDetails  [NightSky, Moon.twk]"_s};
    QTest::newRow("one mod is counted as one")
        << u"BetterUnits"_s << 0 << u"vxmod plan: 0 collisions among 1 mod\n"_s
        << QStringList{u"Mods, in launch order: BetterUnits"_s};
    QTest::newRow("text set on a field that holds an element: what it reads after the launch, "
                  "and every mod whose text stays; a value that writes nothing")
        << u"Chain Hook"_s << 1 << u"vxmod plan: 1 collision among 2 mods\n"_s
        << QStringList{u"! Gadget-0"_s,
                       u"      set Link = first  (it holds child elements: the text goes after "
                       u"them, and after the launch it reads \"boom.wavfirstsecond\")  "
                       u"[Chain, Gadget.twk]"_s,
                       u"      set Damage = @  (not a valid value: writes nothing, and clears the "
                       u"field's colour, vector and reference)  [Chain, Gadget.twk]"_s,
                       u"      set Link = second  (it holds child elements: the text goes after "
                       u"them, and after the launch it reads \"boom.wavfirstsecond\")  "
                       u"[Hook, Gadget.twk]"_s,
                       u"      add Tag = @vector 1  (not a valid value: adds an empty field)  "
                       u"[Hook, Gadget.twk]"_s,
                       u"  field Link of Gadget-0 in Stuff.xml set by Chain, Hook: it holds child "
                       u"elements, so the text of Chain, Hook stays and it reads "
                       u"\"boom.wavfirstsecond\""_s};
    QTest::newRow("--json: each kind of edit and collision with its winner")
        << u"--json Bolt Anvil"_s << 1 << QString() << QStringList{QString::fromUtf8(expectedJson)};
    QTest::newRow("--json: text that stays beside a field's element and values that write nothing")
        << u"--json Chain Hook"_s << 1 << QString()
        << QStringList{QString::fromUtf8(expectedJoinedJson)};
    // Usage errors print nothing on standard output.
    QTest::newRow("no mod named") << QString() << 2 << u"vxmod: name at least one mod"_s
                                  << QStringList{};
    QTest::newRow("an answer to a question the plan never asks")
        << u"--on-error abort Bolt"_s << 2 << u"vxmod: plan takes no --on-error"_s << QStringList{};
}

void TestLaunchPlan::testText()
{
    QFETCH(QString, args);
    QFETCH(int, exitCode);
    QFETCH(QString, err);
    QFETCH(QStringList, lines);
    const vxtest::Run run = runOn(args.startsWith("Better"_L1) ? Files() : collidingGame,
                                  (u"plan --game GAME "_s + args).trimmed());
    QCOMPARE(run.exitCode, exitCode);
    QVERIFY2(run.err.startsWith(err), qPrintable(run.err));
    QVERIFY(exitCode != 2 || run.out.isEmpty());
    if (args.startsWith("--json"_L1)) {
        QCOMPARE(QJsonDocument::fromJson(run.out.toUtf8()),
                 QJsonDocument::fromJson(lines.constFirst().toUtf8()));
        return;
    }
    const QStringList printed = run.out.split(u'\n');
    qsizetype at = 0;
    for (const QString &line : lines) {
        at = printed.indexOf(line, at) + 1;
        QVERIFY2(at > 0, qPrintable(u"missing or out of order: "_s + line + u"\n"_s + run.out));
    }
}

void TestLaunchPlan::testCheck_data()
{
    // Files as game() takes them, the arguments after "check" and the exit code; the problems
    // expected as "path:line: words", with "Mod:" for the mod's folder for Stuff.xml; the
    // summary line.
    QTest::addColumn<Files>("files");
    QTest::addColumn<QString>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QStringList>("problems");
    QTest::addColumn<QString>("summary"); // on standard error, after "vxmod check: "

    QTest::newRow("broken statements with their original lines, resource files that are missing, "
                  "do not load or cannot hold a name")
        << Files{{u"Bad:Gadget.twk"_s, "/* long\n comment */\nDamage=@vector 1"},
                 {u"data/Tweak/Broken.xml"_s, "<a><b></a>"},
                 {u"Bad/Tweak/Broken/A.twk"_s, "X=1"},
                 {u"Bad/Tweak/Nothing/A.twk"_s, "X=1"},
                 {u"data/Tweak/Old.xml"_s,
                  "<?xml version='1.0' encoding='ISO-8859-1'?><F><T><XIndexDetails id='id-0'/>"
                  "<XThing id='Thing'/></T></F>"},
                 {u"Bad/Tweak/Old/Thing.twk"_s, "\xce\xa9mega=1\nSpeed=2\n"},
                 {u"Bad/Tweak/Old/New.twk"_s, "#class X\xce\xa9\nSpeed=2\n"}}
        << u"--game=GAME Bad"_s << 1
        << QStringList{u"Bad:Gadget.twk:3: @vector"_s,
                       u"VexilMods/Bad/Tweak/Nothing:0: Nothing.xml"_s,
                       u"VexilMods/Bad/Tweak/Old/New.twk:1: encoding"_s,
                       u"VexilMods/Bad/Tweak/Old/New.twk:2: does not exist"_s,
                       u"VexilMods/Bad/Tweak/Old/Thing.twk:1: encoding"_s,
                       u"data/Tweak/Broken.xml:0: cannot load"_s}
        << u"6 problems in 1 mod, 4 resource folders"_s;
    QTest::newRow("a copy reads the pristine backup, not the edited file")
        << Files{{u"data/Tweak/Stuff.xml.backup"_s,
                  QByteArray(stuffXml).replace("Gadget-0", "Old")},
                 {u"Good:New.twk"_s, "#copy Old\n"},
                 {u"Good:Newer.twk"_s, "#copy Gadget-0\n"}}
        << u"--game GAME Good"_s << 1
        << QStringList{u"Good:Newer.twk:1: Gadget-0"_s, u"Good:Newer.twk:1: does not exist"_s}
        << u"2 problems in 1 mod, 1 resource folder"_s;
    QTest::newRow("a backup that does not load is named once, and no tweak is judged by it")
        << Files{{u"data/Tweak/Stuff.xml.backup"_s, "<a><b></a>"},
                 {u"Good:New.twk"_s, "#copy Gadget-0\n"}}
        << u"--game GAME Good"_s << 1
        << QStringList{u"data/Tweak/Stuff.xml.backup:0: cannot load"_s}
        << u"1 problem in 1 mod, 1 resource folder"_s;
    QTest::newRow("a resource file that does not load beside a good backup is named once")
        << Files{{u"data/Tweak/Stuff.xml.backup"_s, stuffXml},
                 {u"data/Tweak/Stuff.xml"_s, "<a><b></a>"},
                 {u"Good:Gadget.twk"_s, "Damage=1\n"}}
        << u"--game GAME Good"_s << 1 << QStringList{u"data/Tweak/Stuff.xml:0: cannot load"_s}
        << u"1 problem in 1 mod, 1 resource folder"_s;
    QTest::newRow("text set on a field that holds an element is a warning at its line, no fault")
        << Files{{u"Warn:Gadget.twk"_s, "Damage=1\n\nLink=first\n"},
                 {u"Warn:resource.twk"_s, "Lives=2\n"}}
        << u"--game GAME Warn"_s << 0
        << QStringList{u"Warn:Gadget.twk:3: warning: field \"Link\" holds child elements, so the "
                       u"text is appended after them and the field reads as all its text joined: "
                       u"\"boom.wavfirst\""_s}
        << u"no problems, 1 warning in 1 mod, 1 resource folder"_s;
    QTest::newRow("a FIFO, a link to /dev/zero or to a plain file and a huge file are named, "
                  "never read")
        << Files{{u"Bad:Pipe.twk"_s, "special:fifo"},
                 {u"Bad:Zero.twk"_s, "special:zero"},
                 {u"Bad:Linked.twk"_s, "special:link"},
                 {u"Bad:Huge.twk"_s, "special:huge:67108865"},
                 {u"Bad/info.txt"_s, "special:fifo"}}
        << u"--game GAME Bad"_s << 1
        << QStringList{u"Bad:Huge.twk:0: larger than 67108864 bytes"_s,
                       u"Bad:Linked.twk:0: not a regular file"_s,
                       u"Bad:Pipe.twk:0: not a regular file"_s,
                       u"Bad:Zero.twk:0: not a regular file"_s,
                       u"VexilMods/Bad/info.txt:0: not a regular file"_s}
        << u"5 problems in 1 mod, 1 resource folder"_s;
    // Document, table and element make three levels; the fields under it the rest.
    const auto deep = [](int levels) {
        return Files{
            {u"data/Tweak/Deep.xml"_s, "<F><T><XIndexDetails id='id-0'/><XDeep id='Deep'>" +
                                           "<a>"_ba.repeated(levels - 3) +
                                           "</a>"_ba.repeated(levels - 3) + "</XDeep></T></F>"},
            {u"First/Tweak/Deep/Deep.twk"_s, "Speed=1\n"}};
    };
    QTest::newRow("edits accumulate across the mods given, by name or by path; a resource file "
                  "nested 256 levels deep is saved")
        << deep(256) + Files{{u"First:Fan.twk"_s, "#class XFan\nSpeed=1\n"},
                             {u"Second:Fan.twk"_s, "Speed=2\n"}}
        << u"--game GAME First GAME/VexilMods/Second"_s << 0 << QStringList{}
        << u"no problems in 2 mods, 3 resource folders"_s;
    QTest::newRow("a resource file nested one level deeper than a launch can save")
        << deep(257) << u"--game GAME First"_s << 1
        << QStringList{u"data/Tweak/Deep.xml:0: nested more than 256 levels"_s}
        << u"1 problem in 1 mod, 1 resource folder"_s;
}

void TestLaunchPlan::testCheck()
{
    QFETCH(Files, files);
    QFETCH(QString, args);
    QFETCH(int, exitCode);
    QFETCH(QStringList, problems);
    QFETCH(QString, summary);
    const vxtest::Run run = runOn(game(files), u"check "_s + args);
    if (run.exitCode == -3)
        QSKIP("this system cannot make such a file");
    QVERIFY2(run.exitCode == exitCode, qPrintable(run.out + run.err));
    QCOMPARE(run.err, u"vxmod check: "_s + summary + u'\n');
    QStringList lines =
        QString(run.out)
            .replace(QRegularExpression(u"VexilMods/(\\w+)/Tweak/Stuff/"_s), u"\\1:"_s)
            .split(u'\n', Qt::SkipEmptyParts);
    lines.sort();
    QCOMPARE(vxtest::matchedLines(lines, problems), problems);
}

QTEST_GUILESS_MAIN(TestLaunchPlan)
#include "tst_launchplan.moc"
