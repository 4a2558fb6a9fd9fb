#include "app/stringtable.h"
#include "launch/feedback.h"
#include "launch/launchsequence.h"
#include "resources/resourcestore.h"
#include "testutil.h"

using namespace Qt::StringLiterals;
using namespace vxtest;
using ModList = QList<Files>;

class TestLaunchSequence : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { loadStringTable(languageIndexFor(u"English"_s)); }
    void launch_data();
    void launch();
};

namespace {

// Records what the person would see, in order, and answers from a script.
class RecordingFeedback : public VxFeedback
{
public:
    QStringList events;
    QString answer; // "ignore" to the question, else Abort; "close" closes the progress window
    QString root;   // shown as GAME in the events

    void begin(int count) override { events << u"begin %1"_s.arg(count); }
    void setTitle(const QString &title) override { events << u"title "_s + title; }
    // The tweak compiler's own per-file labels are its tests' business; the launch's labels
    // (preparing a resource file, replacing a game file) are ours.
    void setLabel(const QString &label) override
    {
        for (const auto &[shown, event] : {std::pair{u"Initializing "_s, u"prepare "_s},
                                           std::pair{u"Loading custom files "_s, u"replace "_s}})
            if (label.startsWith(shown))
                events << event + QDir::fromNativeSeparators(label.mid(shown.size()));
    }
    void step() override { events << u"step"_s; }
    bool cancelled() override { return answer == u"close"_s; }
    Answer ask(const QString &title, const QString &text) override
    {
        events << u"ask %1|%2"_s.arg(title, text);
        return answer == u"ignore"_s ? Answer::Ignore : Answer::Abort;
    }
    void error(const QString &t, const QString &x) override
    {
        // The system's own words for why come after the line break, and differ by platform.
        events << u"error "_s + t +
                      QDir::fromNativeSeparators(x.section(u'\n', 0, 0)).replace(root, u"GAME"_s);
    }
    // The compiler closes the window itself on Abort, before the launch does; a second end()
    // must be harmless, so the test counts two in a row as one.
    void end() override { events << u"end"_s; }
};

const QByteArray unitsXml =
    "<XResourceFile version='4'><XResourceTable><XIndexDetails id='id-0'>"
    "<IntResources href='Speed'/><IntResources href='Armor'/></XIndexDetails>"
    "<XIntResourceDetails id='Speed'><Value>3</Value><Flags>64</Flags>"
    "</XIntResourceDetails><XIntResourceDetails id='Armor'><Value>1</Value>"
    "<Flags>64</Flags></XIntResourceDetails></XResourceTable></XResourceFile>";

const Files game{{u"data/Tweak/Units.xml"_s, unitsXml},
                 {u"data/Tweak/Broken.xml"_s, "<XResourceFile><XResourceTable>"},
                 {u"data/Art/tank.pgm"_s, "game tank"}};

} // namespace

void TestLaunchSequence::launch_data()
{
    QTest::addColumn<ModList>("mods");
    QTest::addColumn<QString>("answer"); // to the question, or "close" the progress window
    QTest::addColumn<QString>("events");
    QTest::addColumn<QString>("values"); // Speed, Armor and Fast, and the tank, for the game

    const QString ghost = u"ask Error!|Error loading file Ghost.twk, continue anyway?"_s;
    const Files speedMod{{u"Tweak/Units/Speed.twk"_s, "Value=9\n"}};
    const Files ghostMod{{u"Tweak/Units/Ghost.twk"_s, "Value=1\n"},
                         {u"Tweak/Units/Speed.twk"_s, "Value=9\n"}};

    QTest::newRow("a data mod names the file it replaces; a tweak folder with no file is skipped")
        << ModList{{{u"Art/tank.pgm"_s, "mod tank"}, {u"Tweak/Nowhere/Speed.twk"_s, "Value=9\n"}}}
        << QString() << u"begin 0; title Mod 0; replace (/Art/tank.pgm); end"_s
        << u"3|1||mod tank"_s;
    QTest::newRow("edits of two mods accumulate and the lower mod wins")
        << ModList{speedMod,
                   {{u"Tweak/Units/Armor.twk"_s, "Value=7\n"},
                    {u"Tweak/Units/Speed.twk"_s, "Value=5\n"}}}
        << QString()
        << u"begin 3; title Mod 0; prepare Units.xml; step; "
           u"title Mod 1; prepare Units.xml; step; step; end"_s
        << u"5|7||game tank"_s;
    QTest::newRow("a copy reads the game's element, not an earlier mod's edit")
        << ModList{speedMod, {{u"Tweak/Units/Fast.twk"_s, "#nodb\n#copy Speed\n"}}} << QString()
        << u"begin 2; title Mod 0; prepare Units.xml; step; "
           u"title Mod 1; prepare Units.xml; step; end"_s
        << u"9|1|3|game tank"_s;
    QTest::newRow("a malformed resource file names X.xml and stops the launch")
        << ModList{{{u"Tweak/Broken/Speed.twk"_s, "Value=9\n"}}, speedMod} << QString()
        << u"begin 2; title Mod 0; prepare Broken.xml; error Error!Could not load objects data "
           u"from Broken.xml; end"_s
        << u"3|1||game tank"_s;
    QTest::newRow("Abort to the question ends the launch")
        << ModList{ghostMod, speedMod} << u"abort"_s
        << u"begin 3; title Mod 0; prepare Units.xml; "_s + ghost + u"; end"_s
        << u"3|1||game tank"_s;
    QTest::newRow("Ignore skips the rest of the folder and the launch goes on")
        << ModList{ghostMod, {{u"Tweak/Units/Armor.twk"_s, "Value=7\n"}}} << u"ignore"_s
        << u"begin 3; title Mod 0; prepare Units.xml; "_s + ghost +
               u"; title Mod 1; prepare Units.xml; step; end"_s
        << u"3|7||game tank"_s;
    QTest::newRow("a mod file whose copy fails ends the launch and says which and why")
        << ModList{{{u"Art/"_s + QString(250, u'n'), "new"}}, speedMod} << QString()
        << u"begin 1; title Mod 0; error Error!Could not copy a mod's file to GAME/data/Art/"_s +
               QString(250, u'n') + u":; end"_s
        << u"3|1||game tank"_s;
    QTest::newRow("a closed progress window stops before the first tweak file")
        << ModList{speedMod} << u"close"_s << u"begin 1; title Mod 0; prepare Units.xml; end"_s
        << u"3|1||game tank"_s;
}

void TestLaunchSequence::launch()
{
    QFETCH(ModList, mods);
    QFETCH(QString, answer);
    QFETCH(QString, events);
    QFETCH(QString, values);

    TestDir dir;
    const QString install = dir.path() + u"/Game Folder"_s;
    QList<VxModRef> refs;
    for (qsizetype i = 0; i < mods.size(); ++i) {
        refs.append({dir.path() + u"/VexilMods/Mod%1/"_s.arg(i), u"Mod %1"_s.arg(i)});
        QVERIFY(writeTree(refs.constLast().path, mods.at(i)));
    }
    // Every launch finds what an earlier launch that was never undone left, and must not build
    // on it.
    QVERIFY(writeTree(install, game) &&
            writeTree(dir.path() + u"/Leftover/"_s,
                      {{u"Tweak/Units/Armor.twk"_s, "Value=42\n"}, {u"Art/tank.pgm"_s, "old"}}));
    VxSilentFeedback silent;
    QCOMPARE(applyMods(install, {{dir.path() + u"/Leftover/"_s, u"Leftover"_s}}, silent),
             VxLaunchResult::Applied);
    RecordingFeedback feedback;
    feedback.answer = answer;
    feedback.root = install;
    const VxLaunchResult result =
        events.contains(u"error Error!Could not load"_s) ? VxLaunchResult::LoadFailed
        : events.contains(u"error"_s)                    ? VxLaunchResult::Failed
        : answer == u"abort"_s || answer == u"close"_s   ? VxLaunchResult::Abandoned
                                                         : VxLaunchResult::Applied;
    QCOMPARE(countLaunchTweakFiles(install, refs), events.section(u';', 0, 0).mid(6).toInt());
    QCOMPARE(applyMods(install, refs, feedback), result);
    QCOMPARE(feedback.events.join(u"; "_s).replace(u"end; end"_s, u"end"_s), events);

    VxResourceDocument document;
    VxResourceElement table;
    QVERIFY(loadResourceDocument(document, table, install + u"/data/Tweak/Units.xml"_s));
    const auto value = [&](const QString &id) {
        return readResourceField(findResourceById(table, id), u"Value"_s);
    };
    const Files after = readTree(install);
    QCOMPARE(u"%1|%2|%3|%4"_s.arg(value(u"Speed"_s), value(u"Armor"_s), value(u"Fast"_s),
                                  QString::fromLatin1(after.value(u"data/Art/tank.pgm"_s))),
             values);
    // Whichever way the launch ended, the restore brings back the game exactly.
    QVERIFY(restoreGame(install).ok());
    QCOMPARE(readTree(install), game);
}

QTEST_GUILESS_MAIN(TestLaunchSequence)
#include "tst_launchsequence.moc"
