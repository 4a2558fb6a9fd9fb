#include "app/stringtable.h"
#include "launch/feedback.h"
#include "launch/launchsequence.h"
#include "resources/resourcestore.h"
#include "testutil.h"

using namespace Qt::StringLiterals;
using vxtest::Files;
using vxtest::readTree;
using vxtest::writeTree;
using ModList = QList<Files>;
using Answers = QList<VxFeedback::Answer>;

Q_DECLARE_METATYPE(VxLaunchResult)

class TestLaunchSequence : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { loadStringTable(languageIndexFor(u"English"_s)); }
    void feedbackOrder_data();
    void feedbackOrder();
    void tweakEdits_data();
    void tweakEdits();
};

namespace {

// Records what the person would see, in order, and answers from a script.
class RecordingFeedback : public VxFeedback
{
public:
    QStringList events;
    Answers answers;
    bool closed = false; // the progress window was closed before the launch began

    void begin(int count) override { events << u"begin %1"_s.arg(count); }
    void setTitle(const QString &title) override { events << u"title "_s + title; }
    // The tweak compiler's own per-file labels are its tests' business; the launch's labels
    // (preparing a resource file, replacing a game file) are ours.
    void setLabel(const QString &label) override
    {
        if (label.startsWith(tableString(21)))
            events << u"prepare "_s + label.mid(tableString(21).size());
        if (label.startsWith(tableString(22)))
            events << u"replace "_s + QDir::fromNativeSeparators(label.mid(tableString(22).size()));
    }
    void step() override { events << u"step"_s; }
    bool cancelled() override { return closed; }
    Answer ask(const QString &title, const QString &text) override
    {
        events << u"ask %1|%2"_s.arg(title, text);
        return answers.isEmpty() ? Answer::Abort : answers.takeFirst();
    }
    void error(const QString &t, const QString &x) override
    {
        events << u"error "_s + t + u'|' + x;
    }
    // The compiler closes the window itself on Abort, before the launch does; a second end()
    // must be harmless, so only the first is recorded.
    void end() override
    {
        if (events.isEmpty() || events.constLast() != u"end"_s)
            events << u"end"_s;
    }
};

const QByteArray unitsXml = R"(<?xml version='1.0' encoding='UTF-8'?>
<XResourceFile version='4'><XResourceTable>
<XIndexDetails id='id-0'><IntResources href='Speed'/><IntResources href='Armor'/></XIndexDetails>
<XIntResourceDetails id='Speed'><Value>3</Value><Name>Speed</Name><Flags>64</Flags>
</XIntResourceDetails>
<XIntResourceDetails id='Armor'><Value>1</Value><Name>Armor</Name><Flags>64</Flags>
</XIntResourceDetails>
</XResourceTable></XResourceFile>
)";

const Files game{{u"data/Tweak/Units.xml"_s, unitsXml},
                 {u"data/Tweak/Broken.xml"_s, "<XResourceFile><XResourceTable>"},
                 {u"data/Art/tank.pgm"_s, "game tank"}};

// The game in root + "/Game Folder", and mods 0, 1, ... beside it, titled "Mod 0", "Mod 1", ...
bool setUp(const QString &root, const ModList &modFiles, QList<VxModRef> &mods)
{
    bool ok = writeTree(root + u"/Game Folder"_s, game);
    for (qsizetype i = 0; i < modFiles.size(); ++i) {
        mods.append({root + u"/VexilMods/Mod%1/"_s.arg(i), u"Mod %1"_s.arg(i)});
        ok = ok && writeTree(mods.constLast().path, modFiles.at(i));
    }
    return ok;
}

QString valueOf(const QString &xmlPath, const QString &id)
{
    VxResourceDocument document;
    VxResourceElement table;
    if (!loadResourceDocument(document, table, xmlPath))
        return u"<unloadable>"_s;
    return readResourceField(findResourceById(table, id), u"Value"_s);
}

} // namespace

void TestLaunchSequence::feedbackOrder_data()
{
    QTest::addColumn<ModList>("mods");
    QTest::addColumn<Answers>("answers");
    QTest::addColumn<bool>("closed");
    QTest::addColumn<QString>("events");
    QTest::addColumn<VxLaunchResult>("result");

    const QString ghostQuestion = u"ask Error!|Error loading file Ghost.twk, continue anyway?"_s;
    const Files speedMod{{u"Tweak/Units/Speed.twk"_s, "Value=9\n"}};
    const Files ghostMod{{u"Tweak/Units/Ghost.twk"_s, "Value=1\n"},
                         {u"Tweak/Units/Speed.twk"_s, "Value=9\n"}};
    using R = VxLaunchResult;
    using A = VxFeedback::Answer;

    QTest::newRow("a data-only mod names the file it replaces and steps nothing")
        << ModList{{{u"Art/tank.pgm"_s, "mod tank"}}} << Answers{} << false
        << u"begin 0; title Mod 0; replace (/Art/tank.pgm); end"_s << R::Applied;
    QTest::newRow("a tweak folder without its resource file is neither counted nor prepared")
        << ModList{{{u"Tweak/Nowhere/Speed.twk"_s, "Value=9\n"}}} << Answers{} << false
        << u"begin 0; title Mod 0; end"_s << R::Applied;
    QTest::newRow("two mods with one resource file count and step both")
        << ModList{speedMod, speedMod} << Answers{} << false
        << u"begin 2; title Mod 0; prepare Units.xml; step; "
           u"title Mod 1; prepare Units.xml; step; end"_s
        << R::Applied;
    QTest::newRow("a malformed resource file names X.xml and stops the launch")
        << ModList{{{u"Tweak/Broken/Speed.twk"_s, "Value=9\n"}}, speedMod} << Answers{} << false
        << u"begin 2; title Mod 0; prepare Broken.xml; error "_s + tableString(16) + u'|' +
               tableString(20) + u"Broken.xml; end"_s
        << R::LoadFailed;
    QTest::newRow("Abort to the question ends the launch")
        << ModList{ghostMod, speedMod} << Answers{A::Abort} << false
        << u"begin 3; title Mod 0; prepare Units.xml; "_s + ghostQuestion + u"; end"_s
        << R::Abandoned;
    QTest::newRow("Ignore skips the rest of the folder and the launch goes on")
        << ModList{ghostMod, speedMod} << Answers{A::Ignore} << false
        << u"begin 3; title Mod 0; prepare Units.xml; "_s + ghostQuestion +
               u"; title Mod 1; prepare Units.xml; step; end"_s
        << R::Applied;
    QTest::newRow("a closed progress window stops before the first tweak file")
        << ModList{speedMod} << Answers{} << true
        << u"begin 1; title Mod 0; prepare Units.xml; end"_s << R::Abandoned;
}

void TestLaunchSequence::feedbackOrder()
{
    QFETCH(ModList, mods);
    QFETCH(Answers, answers);
    QFETCH(bool, closed);
    QFETCH(QString, events);
    QFETCH(VxLaunchResult, result);

    vxtest::TestDir dir;
    QList<VxModRef> refs;
    QVERIFY(setUp(dir.path(), mods, refs));
    const QString install = dir.path() + u"/Game Folder"_s;
    RecordingFeedback feedback;
    feedback.answers = answers;
    feedback.closed = closed;
    QCOMPARE(countLaunchTweakFiles(install, refs), events.section(u';', 0, 0).mid(6).toInt());
    QCOMPARE(applyMods(install, refs, feedback), result);
    QCOMPARE(feedback.events.join(u"; "_s), events);
    // A launch that did not get to save leaves the resource file as the game had it.
    if (result != VxLaunchResult::Applied)
        QCOMPARE(readTree(install).value(u"data/Tweak/Units.xml"_s), unitsXml);
}

void TestLaunchSequence::tweakEdits_data()
{
    QTest::addColumn<Files>("leftovers"); // of an earlier launch that ended early
    QTest::addColumn<ModList>("mods");
    QTest::addColumn<QString>("values"); // of Speed, Armor and Fast

    const Files speedMod{{u"Tweak/Units/Speed.twk"_s, "Value=9\n"}};
    QTest::newRow("edits of two mods accumulate and the lower mod wins")
        << Files{}
        << ModList{speedMod,
                   {{u"Tweak/Units/Armor.twk"_s, "Value=7\n"},
                    {u"Tweak/Units/Speed.twk"_s, "Value=5\n"}}}
        << u"5|7|"_s;
    QTest::newRow("a copy reads the game's element, not an earlier mod's edit")
        << Files{} << ModList{speedMod, {{u"Tweak/Units/Fast.twk"_s, "#nodb\n#copy Speed\n"}}}
        << u"9|1|3"_s;
    QTest::newRow("a replaced file left by an early end goes back")
        << Files{{u"data/Art/tank.pgm"_s, "old mod tank"},
                 {u"data/Art/tank.pgm.backup"_s, "game tank"}}
        << ModList{speedMod} << u"9|1|"_s;
    QTest::newRow("an edited resource file is not the base of the next launch")
        << Files{{u"data/Tweak/Units.xml"_s, "<edited/>"},
                 {u"data/Tweak/Units.xml.backup"_s, unitsXml}}
        << ModList{speedMod} << u"9|1|"_s;
}

void TestLaunchSequence::tweakEdits()
{
    QFETCH(Files, leftovers);
    QFETCH(ModList, mods);
    QFETCH(QString, values);

    vxtest::TestDir dir;
    QList<VxModRef> refs;
    QVERIFY(setUp(dir.path(), mods, refs));
    const QString install = dir.path() + u"/Game Folder"_s;
    QVERIFY(writeTree(install, leftovers));
    VxSilentFeedback feedback;
    QCOMPARE(applyMods(install, refs, feedback), VxLaunchResult::Applied);

    const QString units = install + u"/data/Tweak/Units.xml"_s;
    QCOMPARE(valueOf(units, u"Speed"_s) + u'|' + valueOf(units, u"Armor"_s) + u'|' +
                 valueOf(units, u"Fast"_s),
             values);
    // Beside the edited file only its backup, the game's file, is new; the rest is the game's.
    Files after = readTree(install);
    Files expected = game;
    expected.insert(u"data/Tweak/Units.xml.backup"_s, unitsXml);
    expected.insert(u"data/Tweak/Units.xml"_s, after.value(u"data/Tweak/Units.xml"_s));
    QCOMPARE(after, expected);
}

QTEST_GUILESS_MAIN(TestLaunchSequence)
#include "tst_launchsequence.moc"
