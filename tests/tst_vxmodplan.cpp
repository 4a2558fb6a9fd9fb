#include "testutil.h"

#include <QJsonDocument>
#include <QRegularExpression>

using namespace Qt::StringLiterals;
using vxtest::Files;
using vxtest::operator+;

namespace {

const QByteArray stuffXml =
    "<F><T><XIndexDetails id='id-0'/><XContainerResourceDetails id='Gadget'><Value "
    "href='Gadget-0'/></XContainerResourceDetails><XGadgetDetails id='Gadget-0'/></T></F>";

// Bolt and Anvil both replace Art/a.txt, both make Fan and both set Gadget's Damage.
const Files collidingGame =
    vxtest::under(u"VexilMods/"_s, {{u"Bolt/info.txt"_s, "name=Bolt\n"},
                                    {u"Bolt/Art/a.txt"_s, "bolt"},
                                    {u"Bolt/Tweak/Stuff/Fan.twk"_s, "#class XFan\n"},
                                    {u"Bolt/Tweak/Stuff/Gadget.twk"_s, "Damage=1\n"},
                                    {u"Anvil/info.txt"_s, "name=Anvil\n"},
                                    {u"Anvil/Art/a.txt"_s, "anvil"},
                                    {u"Anvil/Tweak/Stuff/Fan.twk"_s, "#copy Gadget-0\n"},
                                    {u"Anvil/Tweak/Stuff/Gadget.twk"_s, "Damage=2\n+Tag=x\n"}});

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

// vxmod run on a game folder holding files beside the game's Art/a.txt and Stuff.xml (the demo
// game when files is null), GAME in args standing for the folder. The exit code is -2 when the
// folder changed, -3 when a value "special:KIND" cannot be made as vxtest::makeSpecialFile's
// KIND. Paths in the output are relative to the folder (which shows as GAME) and use '/'.
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
    const Files game{{u"data/Art/a.txt"_s, "game"}, {u"data/Tweak/Stuff.xml"_s, stuffXml}};
    if (demo ? !vxtest::copyTree(qEnvironmentVariable("VX_DEMO_INSTALL"), dir.path())
             : !vxtest::writeTree(dir.path(), vxtest::operator+(game, files)))
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

class TestVxmodPlan : public QObject
{
    Q_OBJECT
private slots:
    void testJson();
    void testText_data();
    void testText();
    void testCheck_data();
    void testCheck();
};

void TestVxmodPlan::testJson()
{
    const vxtest::Run run = runOn(collidingGame, u"plan --json --game GAME Bolt Anvil"_s);
    QCOMPARE(run.exitCode, 1);
    QCOMPARE(QJsonDocument::fromJson(run.out.toUtf8()), QJsonDocument::fromJson(expectedJson));
}

void TestVxmodPlan::testText_data()
{
    QTest::addColumn<QString>("args"); // after "plan --game GAME"
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("err");       // what standard error holds
    QTest::addColumn<QStringList>("lines"); // in this order among the lines printed

    QTest::newRow("collisions marked where they are and listed with their winners")
        << u"Anvil Bolt"_s << 1 << u"vxmod plan: 3 collision(s) among 2 mod(s)\n"_s
        << QStringList{u"! Art/a.txt  replaced by Anvil, Bolt (Anvil wins)"_s,
                       u"! Fan-0"_s,
                       u"      create as a copy of Gadget-0  [Anvil, Fan.twk]"_s,
                       u"      create: there already, so not made again  [Bolt, Fan.twk]"_s,
                       u"  data file Art/a.txt by Anvil, Bolt: Anvil wins"_s,
                       u"  element Fan-0 of Stuff.xml created by Anvil, Bolt: Anvil wins"_s,
                       u"  field Damage of Gadget-0 in Stuff.xml set by Anvil, Bolt: Bolt wins"_s};
    QTest::newRow("each kind of line for the three demo mods, each edit under its element")
        << u"BetterUnits NightSky WarpDrive"_s << 0
        << u"vxmod plan: 0 collision(s) among 3 mod(s)\n"_s
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
    // Usage errors print nothing on standard output.
    QTest::newRow("no mod named") << QString() << 2 << u"vxmod: name at least one mod"_s
                                  << QStringList{};
    QTest::newRow("an answer to a question the plan never asks")
        << u"--on-error abort Bolt"_s << 2 << u"vxmod: plan takes no --on-error"_s << QStringList{};
    QTest::newRow("a mod that is not there")
        << u"Bolt Nope"_s << 2 << u"vxmod: unknown mod 'Nope'"_s << QStringList{};
    QTest::newRow("an option of no command")
        << u"--jsn Bolt"_s << 2 << u"vxmod: "_s << QStringList{};
}

void TestVxmodPlan::testText()
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
    const QStringList printed = run.out.split(u'\n');
    qsizetype at = 0;
    for (const QString &line : lines) {
        at = printed.indexOf(line, at) + 1;
        QVERIFY2(at > 0, qPrintable(u"missing or out of order: "_s + line + u"\n"_s + run.out));
    }
}

void TestVxmodPlan::testCheck_data()
{
    // Files of the game folder ("Mod:File.twk" is that mod's tweak file for Stuff.xml), the
    // arguments after "check" and the exit code; the problems expected as "path:line: words",
    // with "Mod:" for the mod's folder for Stuff.xml.
    QTest::addColumn<Files>("files");
    QTest::addColumn<QString>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QStringList>("problems");

    QTest::newRow("broken statements with their original lines, resource files that are missing, "
                  "do not load or cannot hold a name")
        << Files{{u"Bad:Widget.twk"_s, "// new\n#copy Nope\n\nSpeed=5\n"},
                 {u"Bad:Gadget.twk"_s, "/* long\n comment */\nDamage=@vector 1"},
                 {u"data/Tweak/Broken.xml"_s, "<a><b></a>"},
                 {u"VexilMods/Bad/Tweak/Broken/A.twk"_s, "X=1"},
                 {u"VexilMods/Bad/Tweak/Nothing/A.twk"_s, "X=1"},
                 {u"data/Tweak/Old.xml"_s,
                  "<?xml version='1.0' encoding='ISO-8859-1'?><F><T><XIndexDetails id='id-0'/>"
                  "<XThing id='Thing'/></T></F>"},
                 {u"VexilMods/Bad/Tweak/Old/Thing.twk"_s, "\xce\xa9mega=1\nSpeed=2\n"},
                 {u"VexilMods/Bad/Tweak/Old/New.twk"_s, "#class X\xce\xa9\nSpeed=2\n"}}
        << u"--game=GAME Bad"_s << 1
        << QStringList{u"Bad:Gadget.twk:3: @vector"_s,
                       u"Bad:Widget.twk:2: Nope"_s,
                       u"Bad:Widget.twk:4: does not exist"_s,
                       u"VexilMods/Bad/Tweak/Nothing:0: Nothing.xml"_s,
                       u"VexilMods/Bad/Tweak/Old/New.twk:1: encoding"_s,
                       u"VexilMods/Bad/Tweak/Old/New.twk:2: does not exist"_s,
                       u"VexilMods/Bad/Tweak/Old/Thing.twk:1: encoding"_s,
                       u"data/Tweak/Broken.xml:0: cannot load"_s};
    QTest::newRow("a copy reads the pristine backup, not the edited file")
        << Files{{u"data/Tweak/Stuff.xml.backup"_s,
                  QByteArray(stuffXml).replace("Gadget-0", "Old")},
                 {u"Good:New.twk"_s, "#copy Old\n"},
                 {u"Good:Newer.twk"_s, "#copy Gadget-0\n"}}
        << u"--game GAME Good"_s << 1
        << QStringList{u"Good:Newer.twk:1: Gadget-0"_s, u"Good:Newer.twk:1: does not exist"_s};
    QTest::newRow("a FIFO, a link to /dev/zero and a huge file are named, never read")
        << Files{{u"Bad:Pipe.twk"_s, "special:fifo"},
                 {u"Bad:Zero.twk"_s, "special:zero"},
                 {u"Bad:Huge.twk"_s, "special:huge:67108865"},
                 {u"VexilMods/Bad/info.txt"_s, "special:fifo"}}
        << u"--game GAME Bad"_s << 1
        << QStringList{u"Bad:Huge.twk:0: larger than 67108864 bytes"_s,
                       u"Bad:Pipe.twk:0: not a regular file"_s,
                       u"Bad:Zero.twk:0: not a regular file"_s,
                       u"VexilMods/Bad/info.txt:0: not a regular file"_s};
    // Document, table and element make three levels; the fields under it the rest.
    const auto deep = [](int levels) {
        return Files{
            {u"data/Tweak/Deep.xml"_s, "<F><T><XIndexDetails id='id-0'/><XDeep id='Deep'>" +
                                           "<a>"_ba.repeated(levels - 3) +
                                           "</a>"_ba.repeated(levels - 3) + "</XDeep></T></F>"},
            {u"VexilMods/First/Tweak/Deep/Deep.twk"_s, "Speed=1\n"}};
    };
    QTest::newRow("edits accumulate across the mods given, by name or by path; a resource file "
                  "nested 256 levels deep is saved")
        << deep(256) + Files{{u"First:Widget.twk"_s, "#class XWidget\nSpeed=1\n"},
                             {u"Second:Widget.twk"_s, "Speed=2\n"}}
        << u"--game GAME First GAME/VexilMods/Second"_s << 0 << QStringList{};
    QTest::newRow("a resource file nested one level deeper than a launch can save")
        << deep(257) << u"--game GAME First"_s << 1
        << QStringList{u"data/Tweak/Deep.xml:0: nested more than 256 levels"_s};
}

void TestVxmodPlan::testCheck()
{
    QFETCH(Files, files);
    QFETCH(QString, args);
    QFETCH(int, exitCode);
    QFETCH(QStringList, problems);
    Files game;
    for (auto it = files.cbegin(); it != files.cend(); ++it)
        game.insert(QString(it.key()).replace(QRegularExpression(u"^(\\w+):"_s),
                                              u"VexilMods/\\1/Tweak/Stuff/"_s),
                    it.value());
    const vxtest::Run run = runOn(game, u"check "_s + args);
    if (run.exitCode == -3)
        QSKIP("this system cannot make such a file");
    // A summary always goes to standard error.
    QVERIFY2(run.exitCode == exitCode && !run.err.trimmed().isEmpty(),
             qPrintable(run.out + run.err));
    QStringList lines =
        QString(run.out)
            .replace(QRegularExpression(u"VexilMods/(\\w+)/Tweak/Stuff/"_s), u"\\1:"_s)
            .split(u'\n', Qt::SkipEmptyParts);
    lines.sort();
    QCOMPARE(vxtest::matchedLines(lines, problems), problems);
}

QTEST_GUILESS_MAIN(TestVxmodPlan)
#include "tst_vxmodplan.moc"
