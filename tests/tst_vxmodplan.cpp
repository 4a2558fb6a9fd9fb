#include "testutil.h"

#include <QJsonDocument>
#include <QJsonObject>

using namespace Qt::StringLiterals;
using vxtest::Files;

namespace {

const QByteArray stuffXml =
    "<F><T><XIndexDetails id='id-0'/><XContainerResourceDetails id='Gadget'><Value "
    "href='Gadget-0'/></XContainerResourceDetails><XGadgetDetails id='Gadget-0'/></T></F>";

// Bolt and Anvil both replace Art/a.txt, both make Fan and both set Gadget's Damage.
const Files collidingGame{
    {u"data/Art/a.txt"_s, "game"},
    {u"data/Tweak/Stuff.xml"_s, stuffXml},
    {u"VexilMods/Bolt/info.txt"_s, "name=Bolt\n"},
    {u"VexilMods/Bolt/Art/a.txt"_s, "bolt"},
    {u"VexilMods/Bolt/Tweak/Stuff/Fan.twk"_s, "#class XFan\n"},
    {u"VexilMods/Bolt/Tweak/Stuff/Gadget.twk"_s, "Damage=1\n"},
    {u"VexilMods/Anvil/info.txt"_s, "name=Anvil\n"},
    {u"VexilMods/Anvil/Art/a.txt"_s, "anvil"},
    {u"VexilMods/Anvil/Tweak/Stuff/Fan.twk"_s, "#copy Gadget-0\n"},
    {u"VexilMods/Anvil/Tweak/Stuff/Gadget.twk"_s, "Damage=2\n+Tag=x\n"},
};

const char expectedJson[] = R"({
  "game": "GAME",
  "mods": [{"name": "Bolt", "path": "GAME/VexilMods/Bolt/"},
           {"name": "Anvil", "path": "GAME/VexilMods/Anvil/"}],
  "files": [{"path": "Art/a.txt", "action": "replace", "mods": ["Bolt", "Anvil"],
             "winner": "Bolt"}],
  "edits": [
    {"mod": "Bolt", "resource": "Stuff.xml", "file": "Fan.twk", "element": "Fan-0",
     "operation": "create", "value": "XFan"},
    {"mod": "Bolt", "resource": "Stuff.xml", "file": "Gadget.twk", "element": "Gadget-0",
     "operation": "set", "field": "Damage", "value": "1"},
    {"mod": "Anvil", "resource": "Stuff.xml", "file": "Fan.twk", "element": "Fan-0",
     "operation": "keep", "value": "Gadget-0"},
    {"mod": "Anvil", "resource": "Stuff.xml", "file": "Gadget.twk", "element": "Gadget-0",
     "operation": "set", "field": "Damage", "value": "2"},
    {"mod": "Anvil", "resource": "Stuff.xml", "file": "Gadget.twk", "element": "Gadget-0",
     "operation": "add", "field": "Tag", "value": "x"}],
  "collisions": [
    {"kind": "data-file", "path": "Art/a.txt", "mods": ["Bolt", "Anvil"], "winner": "Bolt"},
    {"kind": "element-created", "resource": "Stuff.xml", "element": "Fan-0",
     "mods": ["Bolt", "Anvil"], "winner": "Bolt"},
    {"kind": "field-set", "resource": "Stuff.xml", "element": "Gadget-0", "field": "Damage",
     "mods": ["Bolt", "Anvil"], "winner": "Anvil"}],
  "problems": []
})";

} // namespace

class TestVxmodPlan : public QObject
{
    Q_OBJECT
private slots:
    void testJson();
    void testText_data();
    void testText();
    void testUsage_data();
    void testUsage();
};

void TestVxmodPlan::testJson()
{
    vxtest::TestDir dir;
    QVERIFY(vxtest::writeTree(dir.path(), collidingGame));
    const Files before = vxtest::readTree(dir.path());

    const vxtest::Run run =
        vxtest::runVxmod({u"plan"_s, u"--json"_s, u"--game"_s, dir.path(), u"Bolt"_s, u"Anvil"_s});
    QCOMPARE(run.exitCode, 1);
    QJsonParseError error;
    const QJsonDocument got = QJsonDocument::fromJson(run.out.toUtf8(), &error);
    QVERIFY2(error.error == QJsonParseError::NoError, qPrintable(run.out));
    // Paths as the platform writes them, escaped as JSON text.
    const auto json = [&](const QString &path) {
        return QDir::toNativeSeparators(dir.path() + path).replace(u"\\"_s, u"\\\\"_s);
    };
    const QJsonDocument expected = QJsonDocument::fromJson(
        QString::fromUtf8(expectedJson)
            .replace(u"GAME/VexilMods/Bolt/"_s, json(u"/VexilMods/Bolt/"_s))
            .replace(u"GAME/VexilMods/Anvil/"_s, json(u"/VexilMods/Anvil/"_s))
            .replace(u"GAME"_s, json(QString()))
            .toUtf8());
    QVERIFY(expected.isObject());
    QCOMPARE(got, expected);
    QCOMPARE(vxtest::readTree(dir.path()), before);
}

void TestVxmodPlan::testText_data()
{
    QTest::addColumn<bool>("demo"); // the demo game, or the colliding one above
    QTest::addColumn<QStringList>("mods");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("summary");
    QTest::addColumn<QStringList>("lines"); // in this order among the lines printed

    QTest::newRow("collisions marked where they are and listed with their winners")
        << false << QStringList{u"Anvil"_s, u"Bolt"_s} << 1
        << u"vxmod plan: 3 collision(s) among 2 mod(s)\n"_s
        << QStringList{u"! Art/a.txt  replaced by Anvil, Bolt (Anvil wins)"_s,
                       u"Stuff.xml"_s,
                       u"! Fan-0"_s,
                       u"      create as a copy of Gadget-0  [Anvil, Fan.twk]"_s,
                       u"      create: there already, so not made again  [Bolt, Fan.twk]"_s,
                       u"Collisions"_s,
                       u"  data file Art/a.txt by Anvil, Bolt: Anvil wins"_s,
                       u"  element Fan-0 of Stuff.xml created by Anvil, Bolt: Anvil wins"_s,
                       u"  field Damage of Gadget-0 in Stuff.xml set by Anvil, Bolt: Bolt wins"_s};
    QTest::newRow("each kind of line for the three demo mods, each edit under its element")
        << true << QStringList{u"BetterUnits"_s, u"NightSky"_s, u"WarpDrive"_s} << 0
        << u"vxmod plan: 0 collision(s) among 3 mod(s)\n"_s
        << QStringList{u"Mods, in launch order: BetterUnits, NightSky, WarpDrive"_s,
                       u"Data files"_s,
                       u"  Art/Units/medic.pgm  added by BetterUnits"_s,
                       u"  Maps/Skirmish/riverford.map  replaced by WarpDrive"_s,
                       u"Units.xml"_s,
                       u"  Tank"_s,
                       u"      set Flags = 3  [BetterUnits, Tank.twk]"_s,
                       u"  Tank-0"_s,
                       u"      set Health = 450  [BetterUnits, Tank.twk]"_s,
                       u"      add Tag = elite  [BetterUnits, Tank.twk]"_s,
                       u"      remove Sound  [BetterUnits, Tank.twk]"_s,
                       u"World.xml"_s,
                       u"  Moon"_s,
                       u"      create as XCelestialDetails  [NightSky, Moon.twk]"_s,
                       u"Ships.xml"_s,
                       u"      set Thrust = 120  [WarpDrive, WarpEngine.twk]"_s};
}

void TestVxmodPlan::testText()
{
    QFETCH(bool, demo);
    QFETCH(QStringList, mods);
    QFETCH(int, exitCode);
    QFETCH(QString, summary);
    QFETCH(QStringList, lines);

    vxtest::TestDir dir;
    QVERIFY(demo ? vxtest::copyTree(qEnvironmentVariable("VX_DEMO_INSTALL"), dir.path())
                 : vxtest::writeTree(dir.path(), collidingGame));
    const Files before = vxtest::hashTree(dir.path());
    const vxtest::Run run =
        vxtest::runVxmod(QStringList{u"plan"_s, u"--game"_s, dir.path()} + mods);
    QCOMPARE(run.exitCode, exitCode);
    QCOMPARE(run.err, summary);
    const QStringList printed = run.out.split(u'\n');
    qsizetype at = 0;
    for (const QString &line : lines) {
        const qsizetype found = printed.indexOf(line, at);
        QVERIFY2(found >= 0, qPrintable(u"missing or out of order: "_s + line + u"\n"_s + run.out));
        at = found + 1;
    }
    QCOMPARE(vxtest::hashTree(dir.path()), before);
}

void TestVxmodPlan::testUsage_data()
{
    QTest::addColumn<QStringList>("args"); // GAME stands for the game folder
    QTest::addColumn<QString>("error");

    QTest::newRow("no mod named") << QStringList{u"--game"_s, u"GAME"_s}
                                  << u"name at least one mod"_s;
    QTest::newRow("an answer to a question the plan never asks")
        << QStringList{u"--game"_s, u"GAME"_s, u"--on-error"_s, u"abort"_s, u"Bolt"_s}
        << u"plan takes no --on-error"_s;
    QTest::newRow("a mod that is not there")
        << QStringList{u"--game"_s, u"GAME"_s, u"Bolt"_s, u"Nope"_s} << u"unknown mod 'Nope'"_s;
    QTest::newRow("an option of no command")
        << QStringList{u"--game"_s, u"GAME"_s, u"--jsn"_s, u"Bolt"_s} << u"jsn"_s;
}

void TestVxmodPlan::testUsage()
{
    QFETCH(QStringList, args);
    QFETCH(QString, error);

    vxtest::TestDir dir;
    QVERIFY(vxtest::writeTree(dir.path(), collidingGame));
    args.replaceInStrings(u"GAME"_s, dir.path());
    const vxtest::Run run = vxtest::runVxmod(QStringList{u"plan"_s} + args);
    QCOMPARE(run.exitCode, 2);
    QVERIFY2(run.err.startsWith(u"vxmod: "_s) && run.err.contains(error), qPrintable(run.err));
    QVERIFY(run.out.isEmpty());
}

QTEST_GUILESS_MAIN(TestVxmodPlan)
#include "tst_vxmodplan.moc"
