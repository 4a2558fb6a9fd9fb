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
    QList<VxFeedback::Answer> answers;
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
<XIntResourceDetails id='Speed'><Value>3</Value><Flags>64</Flags></XIntResourceDetails>
<XIntResourceDetails id='Armor'><Value>1</Value><Flags>64</Flags></XIntResourceDetails>
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

void TestLaunchSequence::launch_data()
{
    QTest::addColumn<Files>("leftovers"); // of an earlier launch that ended early
    QTest::addColumn<ModList>("mods");
    QTest::addColumn<QString>("answer"); // to the question, or "close" the progress window
    QTest::addColumn<QString>("events");
    QTest::addColumn<QString>("values"); // Speed, Armor and Fast, and the tank, for the game

    const QString ghost = u"ask Error!|Error loading file Ghost.twk, continue anyway?"_s;
    const QString speedSteps = u"begin 1; title Mod 0; prepare Units.xml; step; end"_s;
    const Files speedMod{{u"Tweak/Units/Speed.twk"_s, "Value=9\n"}};
    const Files ghostMod{{u"Tweak/Units/Ghost.twk"_s, "Value=1\n"},
                         {u"Tweak/Units/Speed.twk"_s, "Value=9\n"}};

    QTest::newRow("a data mod names the file it replaces; a tweak folder with no file is skipped")
        << Files{}
        << ModList{{{u"Art/tank.pgm"_s, "mod tank"}, {u"Tweak/Nowhere/Speed.twk"_s, "Value=9\n"}}}
        << QString() << u"begin 0; title Mod 0; replace (/Art/tank.pgm); end"_s
        << u"3|1||mod tank"_s;
    QTest::newRow("edits of two mods accumulate and the lower mod wins")
        << Files{}
        << ModList{speedMod,
                   {{u"Tweak/Units/Armor.twk"_s, "Value=7\n"},
                    {u"Tweak/Units/Speed.twk"_s, "Value=5\n"}}}
        << QString()
        << u"begin 3; title Mod 0; prepare Units.xml; step; "
           u"title Mod 1; prepare Units.xml; step; step; end"_s
        << u"5|7||game tank"_s;
    QTest::newRow("a copy reads the game's element, not an earlier mod's edit")
        << Files{} << ModList{speedMod, {{u"Tweak/Units/Fast.twk"_s, "#nodb\n#copy Speed\n"}}}
        << QString()
        << u"begin 2; title Mod 0; prepare Units.xml; step; "
           u"title Mod 1; prepare Units.xml; step; end"_s
        << u"9|1|3|game tank"_s;
    QTest::newRow("a malformed resource file names X.xml and stops the launch")
        << Files{} << ModList{{{u"Tweak/Broken/Speed.twk"_s, "Value=9\n"}}, speedMod} << QString()
        << u"begin 2; title Mod 0; prepare Broken.xml; error "_s + tableString(16) + u'|' +
               tableString(20) + u"Broken.xml; end"_s
        << u"3|1||game tank"_s;
    QTest::newRow("Abort to the question ends the launch")
        << Files{} << ModList{ghostMod, speedMod} << u"abort"_s
        << u"begin 3; title Mod 0; prepare Units.xml; "_s + ghost + u"; end"_s
        << u"3|1||game tank"_s;
    QTest::newRow("Ignore skips the rest of the folder and the launch goes on")
        << Files{} << ModList{ghostMod, {{u"Tweak/Units/Armor.twk"_s, "Value=7\n"}}} << u"ignore"_s
        << u"begin 3; title Mod 0; prepare Units.xml; "_s + ghost +
               u"; title Mod 1; prepare Units.xml; step; end"_s
        << u"3|7||game tank"_s;
    QTest::newRow("a closed progress window stops before the first tweak file")
        << Files{} << ModList{speedMod} << u"close"_s
        << u"begin 1; title Mod 0; prepare Units.xml; end"_s << u"3|1||game tank"_s;
    QTest::newRow("a replaced file left by an early end goes back before the next launch")
        << Files{{u"data/Art/tank.pgm"_s, "old mod tank"},
                 {u"data/Art/tank.pgm.backup"_s, "game tank"}}
        << ModList{speedMod} << QString() << speedSteps << u"9|1||game tank"_s;
    QTest::newRow("an edited resource file is not the base of the next launch")
        << Files{{u"data/Tweak/Units.xml"_s, "<edited/>"},
                 {u"data/Tweak/Units.xml.backup"_s, unitsXml}}
        << ModList{speedMod} << QString() << speedSteps << u"9|1||game tank"_s;
}

void TestLaunchSequence::launch()
{
    QFETCH(Files, leftovers);
    QFETCH(ModList, mods);
    QFETCH(QString, answer);
    QFETCH(QString, events);
    QFETCH(QString, values);

    vxtest::TestDir dir;
    const QString install = dir.path() + u"/Game Folder"_s;
    QList<VxModRef> refs;
    QVERIFY(setUp(dir.path(), mods, refs));
    QVERIFY(writeTree(install, leftovers));
    RecordingFeedback feedback;
    feedback.answers = {answer == u"ignore"_s ? VxFeedback::Answer::Ignore
                                              : VxFeedback::Answer::Abort};
    feedback.closed = answer == u"close"_s;
    const VxLaunchResult result = events.contains(u"error"_s) ? VxLaunchResult::LoadFailed
                                  : answer == u"abort"_s || feedback.closed
                                      ? VxLaunchResult::Abandoned
                                      : VxLaunchResult::Applied;
    QCOMPARE(countLaunchTweakFiles(install, refs), events.section(u';', 0, 0).mid(6).toInt());
    QCOMPARE(applyMods(install, refs, feedback), result);
    QCOMPARE(feedback.events.join(u"; "_s), events);

    const QString units = install + u"/data/Tweak/Units.xml"_s;
    const Files after = readTree(install);
    QCOMPARE(u"%1|%2|%3|%4"_s.arg(valueOf(units, u"Speed"_s), valueOf(units, u"Armor"_s),
                                  valueOf(units, u"Fast"_s),
                                  QString::fromLatin1(after.value(u"data/Art/tank.pgm"_s))),
             values);
    // Beside the game's files only backups of them, byte for byte, are left.
    for (auto it = after.cbegin(); it != after.cend(); ++it) {
        QVERIFY2(game.contains(it.key()) || (it.key().endsWith(u".backup"_s) &&
                                             game.value(it.key().chopped(7)) == it.value()),
                 qPrintable(it.key()));
    }
}

QTEST_GUILESS_MAIN(TestLaunchSequence)
#include "tst_launchsequence.moc"
