#include "launchtesttools.h"

#include "app/stringtable.h"
#include "launch/feedback.h"
#include "launch/launchsequence.h"
#include "resources/resourcestore.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

using launchtest::Files;
using launchtest::readTree;
using launchtest::writeTree;
using ModList = QList<Files>;
using Answers = QList<VxFeedback::Answer>;

Q_DECLARE_METATYPE(VxLaunchResult)

class TestLaunchSequence : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void feedbackOrder_data();
    void feedbackOrder();
    void tweakEdits_data();
    void tweakEdits();
    void startsFromGameFiles_data();
    void startsFromGameFiles();
    void leavesOnlyModsAndBackups();
};

namespace {

// Records what the person would see, in order, and answers from a script.
class RecordingFeedback : public VxFeedback
{
public:
    QStringList events;
    Answers answers;
    int cancelAfterChecks = -1; // cancelled() turns true after this many checks; -1 never

    void begin(int count) override { events << u"begin %1"_s.arg(count); }
    void setTitle(const QString &title) override { events << u"title "_s + title; }
    void setLabel(const QString &label) override
    {
        // The tweak compiler's own per-file labels are its tests' business; the launch's
        // labels (preparing a resource file, replacing a game file) are ours.
        if (label.startsWith(tableString(21)) || label.startsWith(tableString(22)))
            events << u"label "_s + label;
    }
    void step() override { events << u"step"_s; }
    bool cancelled() override { return cancelAfterChecks >= 0 && checks++ >= cancelAfterChecks; }
    Answer ask(const QString &title, const QString &text) override
    {
        events << u"ask %1|%2"_s.arg(title, text);
        return answers.isEmpty() ? Answer::Abort : answers.takeFirst();
    }
    void error(const QString &title, const QString &text) override
    {
        events << u"error %1|%2"_s.arg(title, text);
    }
    // The compiler closes the window itself on Abort, before the launch does; a second end()
    // must be harmless, so only the first is recorded.
    void end() override
    {
        if (events.isEmpty() || events.constLast() != u"end"_s)
            events << u"end"_s;
    }

private:
    int checks = 0;
};

const QByteArray unitsXml = R"(<?xml version='1.0' encoding='UTF-8'?>
<XResourceFile version='4'>
  <XResourceTable>
    <XIndexDetails id='id-0'>
      <IntResources href='Speed'/>
      <IntResources href='Armor'/>
    </XIndexDetails>
    <XIntResourceDetails id='Speed'>
      <Value>3</Value>
      <Name>Speed</Name>
      <Flags>64</Flags>
    </XIntResourceDetails>
    <XIntResourceDetails id='Armor'>
      <Value>1</Value>
      <Name>Armor</Name>
      <Flags>64</Flags>
    </XIntResourceDetails>
  </XResourceTable>
</XResourceFile>
)";

const Files game{{u"data/Tweak/Units.xml"_s, unitsXml},
                 {u"data/Tweak/Broken.xml"_s, "<XResourceFile><XResourceTable>"},
                 {u"data/Art/tank.pgm"_s, "game tank"}};

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A game folder and mods 0, 1, ... beside it, titled "Mod 0", "Mod 1", ...
struct Setup
{
    QTemporaryDir dir;
    QString install;
    QList<VxModRef> mods;

    bool build(const Files &gameFiles, const ModList &modFiles)
    {
        dir.setAutoRemove(false);
        install = dir.path() + u"/Game Folder"_s;
        if (!writeTree(install, gameFiles))
            return false;
        for (qsizetype i = 0; i < modFiles.size(); ++i) {
            const QString path = dir.path() + u"/VexilMods/Mod%1/"_s.arg(i);
            if (!writeTree(path, modFiles.at(i)))
                return false;
            mods.append({path, u"Mod %1"_s.arg(i)});
        }
        return true;
    }
    ~Setup() { dir.setAutoRemove(!QTest::currentTestFailed()); }
};

QString fieldOf(const QString &xmlPath, const QString &id, const QString &field)
{
    VxResourceDocument document;
    VxResourceElement table;
    if (!loadResourceDocument(document, table, xmlPath))
        return u"<unloadable>"_s;
    return readResourceField(findResourceById(table, id), field);
}

} // namespace

void TestLaunchSequence::initTestCase()
{
    loadStringTable(languageIndexFor(u"English"_s));
    QVERIFY(!tableString(21).isEmpty());
}

void TestLaunchSequence::feedbackOrder_data()
{
    QTest::addColumn<ModList>("mods");
    QTest::addColumn<Answers>("answers");
    QTest::addColumn<int>("cancelAfterChecks");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<VxLaunchResult>("result");

    const QString prepareUnits = u"label "_s + tableString(21) + u"Units.xml"_s;
    const QString ghostQuestion = u"ask Error!|Error loading file Ghost.twk, continue anyway?"_s;
    const Files speedMod{{u"Tweak/Units/Speed.twk"_s, "Value=9\n"}};
    const Files ghostMod{{u"Tweak/Units/Ghost.twk"_s, "Value=1\n"},
                         {u"Tweak/Units/Speed.twk"_s, "Value=9\n"}};

    QTest::newRow("no mod: the count is 0 and nothing else is said")
        << ModList{} << Answers{} << -1 << QStringList{u"begin 0"_s, u"end"_s}
        << VxLaunchResult::Applied;
    QTest::newRow("a data-only mod names the file it replaces and steps nothing")
        << ModList{{{u"Art/tank.pgm"_s, "mod tank"}}} << Answers{} << -1
        << QStringList{u"begin 0"_s, u"title Mod 0"_s,
                       u"label "_s + tableString(22) + u"("_s +
                           QDir::toNativeSeparators(u"/Art/tank.pgm"_s) + u")"_s,
                       u"end"_s}
        << VxLaunchResult::Applied;
    QTest::newRow("a tweak file is prepared, then stepped")
        << ModList{speedMod} << Answers{} << -1
        << QStringList{u"begin 1"_s, u"title Mod 0"_s, prepareUnits, u"step"_s, u"end"_s}
        << VxLaunchResult::Applied;
    QTest::newRow("a tweak folder without its resource file is neither counted nor prepared")
        << ModList{{{u"Tweak/Nowhere/Speed.twk"_s, "Value=9\n"}}} << Answers{} << -1
        << QStringList{u"begin 0"_s, u"title Mod 0"_s, u"end"_s} << VxLaunchResult::Applied;
    QTest::newRow("two mods with one resource file count and step both")
        << ModList{speedMod, speedMod} << Answers{} << -1
        << QStringList{u"begin 2"_s,     u"title Mod 0"_s, prepareUnits, u"step"_s,
                       u"title Mod 1"_s, prepareUnits,     u"step"_s,    u"end"_s}
        << VxLaunchResult::Applied;
    QTest::newRow("a malformed resource file names X.xml and stops the launch")
        << ModList{{{u"Tweak/Broken/Speed.twk"_s, "Value=9\n"}}, speedMod} << Answers{} << -1
        << QStringList{u"begin 2"_s, u"title Mod 0"_s,
                       u"label "_s + tableString(21) + u"Broken.xml"_s,
                       u"error "_s + tableString(16) + u'|' + tableString(20) + u"Broken.xml"_s,
                       u"end"_s}
        << VxLaunchResult::LoadFailed;
    QTest::newRow("Abort to the question ends the launch")
        << ModList{ghostMod, speedMod} << Answers{VxFeedback::Answer::Abort} << -1
        << QStringList{u"begin 3"_s, u"title Mod 0"_s, prepareUnits, ghostQuestion, u"end"_s}
        << VxLaunchResult::Abandoned;
    QTest::newRow("Ignore skips the rest of the folder and the launch goes on")
        << ModList{ghostMod, speedMod} << Answers{VxFeedback::Answer::Ignore} << -1
        << QStringList{u"begin 3"_s,     u"title Mod 0"_s, prepareUnits, ghostQuestion,
                       u"title Mod 1"_s, prepareUnits,     u"step"_s,    u"end"_s}
        << VxLaunchResult::Applied;
    QTest::newRow("a closed progress window stops before the first tweak file")
        << ModList{speedMod} << Answers{} << 0
        << QStringList{u"begin 1"_s, u"title Mod 0"_s, prepareUnits, u"end"_s}
        << VxLaunchResult::Abandoned;
    QTest::newRow("a window closed after the last tweak file changes nothing")
        << ModList{speedMod} << Answers{} << 1
        << QStringList{u"begin 1"_s, u"title Mod 0"_s, prepareUnits, u"step"_s, u"end"_s}
        << VxLaunchResult::Applied;
}

void TestLaunchSequence::feedbackOrder()
{
    QFETCH(ModList, mods);
    QFETCH(Answers, answers);
    QFETCH(int, cancelAfterChecks);
    QFETCH(QStringList, expected);
    QFETCH(VxLaunchResult, result);

    Setup setup;
    QVERIFY(setup.build(game, mods));
    RecordingFeedback feedback;
    feedback.answers = answers;
    feedback.cancelAfterChecks = cancelAfterChecks;

    QCOMPARE(countLaunchTweakFiles(setup.install, setup.mods),
             expected.constFirst().mid(6).toInt());
    QCOMPARE(applyMods(setup.install, setup.mods, feedback), result);
    QCOMPARE(feedback.events, expected);
    // A launch that did not get to save leaves the resource file as the game had it.
    if (result != VxLaunchResult::Applied)
        QCOMPARE(readFile(setup.install + u"/data/Tweak/Units.xml"_s), unitsXml);
}

void TestLaunchSequence::tweakEdits_data()
{
    QTest::addColumn<ModList>("mods");
    QTest::addColumn<QString>("speed");
    QTest::addColumn<QString>("armor");
    QTest::addColumn<QString>("fast");

    QTest::newRow("one mod's edit is saved")
        << ModList{{{u"Tweak/Units/Speed.twk"_s, "Value=9\n"}}} << u"9"_s << u"1"_s << QString();
    QTest::newRow("edits of two mods accumulate and the lower mod wins")
        << ModList{{{u"Tweak/Units/Speed.twk"_s, "Value=9\n"}},
                   {{u"Tweak/Units/Armor.twk"_s, "Value=7\n"},
                    {u"Tweak/Units/Speed.twk"_s, "Value=5\n"}}}
        << u"5"_s << u"7"_s << QString();
    QTest::newRow("a copy reads the game's element, not an earlier mod's edit")
        << ModList{{{u"Tweak/Units/Speed.twk"_s, "Value=9\n"}},
                   {{u"Tweak/Units/Armor.twk"_s, "Value=7\n"},
                    {u"Tweak/Units/Fast.twk"_s, "#nodb\n#copy Speed\n"}}}
        << u"9"_s << u"7"_s << u"3"_s;
}

void TestLaunchSequence::tweakEdits()
{
    QFETCH(ModList, mods);
    QFETCH(QString, speed);
    QFETCH(QString, armor);
    QFETCH(QString, fast);

    Setup setup;
    QVERIFY(setup.build(game, mods));
    VxSilentFeedback feedback;
    QCOMPARE(applyMods(setup.install, setup.mods, feedback), VxLaunchResult::Applied);

    const QString units = setup.install + u"/data/Tweak/Units.xml"_s;
    QCOMPARE(fieldOf(units, u"Speed"_s, u"Value"_s), speed);
    QCOMPARE(fieldOf(units, u"Armor"_s, u"Value"_s), armor);
    QCOMPARE(fieldOf(units, u"Fast"_s, u"Value"_s), fast);
    QCOMPARE(readFile(units + u".backup"_s), unitsXml);

    restoreGame(setup.install);
    QCOMPARE(readTree(setup.install), game);
}

void TestLaunchSequence::startsFromGameFiles_data()
{
    QTest::addColumn<Files>("leftovers");
    QTest::addColumn<ModList>("mods");
    QTest::addColumn<Files>("expected");

    QTest::newRow("a replaced file left by an early end goes back even with no mod")
        << Files{{u"data/Art/tank.pgm"_s, "old mod tank"},
                 {u"data/Art/tank.pgm.backup"_s, "game tank"}}
        << ModList{} << game;
    QTest::newRow("a new launch replaces the file again from the game's own")
        << Files{{u"data/Art/tank.pgm"_s, "old mod tank"},
                 {u"data/Art/tank.pgm.backup"_s, "game tank"}}
        << ModList{{{u"Art/tank.pgm"_s, "new mod tank"}}}
        << Files{{u"data/Tweak/Units.xml"_s, unitsXml},
                 {u"data/Tweak/Broken.xml"_s, "<XResourceFile><XResourceTable>"},
                 {u"data/Art/tank.pgm"_s, "new mod tank"},
                 {u"data/Art/tank.pgm.backup"_s, "game tank"}};
    QTest::newRow("an edited resource file is not the base of the next launch")
        << Files{{u"data/Tweak/Units.xml"_s, "<edited/>"},
                 {u"data/Tweak/Units.xml.backup"_s, unitsXml}}
        << ModList{} << game;
}

void TestLaunchSequence::startsFromGameFiles()
{
    QFETCH(Files, leftovers);
    QFETCH(ModList, mods);
    QFETCH(Files, expected);

    Setup setup;
    QVERIFY(setup.build(game, mods));
    QVERIFY(writeTree(setup.install, leftovers));
    VxSilentFeedback feedback;
    QCOMPARE(applyMods(setup.install, setup.mods, feedback), VxLaunchResult::Applied);
    QCOMPARE(readTree(setup.install), expected);
}

void TestLaunchSequence::leavesOnlyModsAndBackups()
{
    Setup setup;
    QVERIFY(setup.build(game, {{{u"Art/tank.pgm"_s, "mod tank"},
                                {u"Art/medic.pgm"_s, "medic"},
                                {u"Tweak/Units/Speed.twk"_s, "Value=9\n"}}}));
    VxSilentFeedback feedback;
    QCOMPARE(applyMods(setup.install, setup.mods, feedback), VxLaunchResult::Applied);
    QStringList names = readTree(setup.install).keys();
    QCOMPARE(names, (QStringList{u"data/Art/medic.pgm"_s, u"data/Art/tank.pgm"_s,
                                 u"data/Art/tank.pgm.backup"_s, u"data/Tweak/Broken.xml"_s,
                                 u"data/Tweak/Units.xml"_s, u"data/Tweak/Units.xml.backup"_s}));
}

QTEST_GUILESS_MAIN(TestLaunchSequence)
#include "tst_launchsequence.moc"
