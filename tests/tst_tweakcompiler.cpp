#include "testutil.h"
#include "tweak/tweakcompiler.h"

using namespace Qt::StringLiterals;
using vxtest::Files;

namespace {

const QString gadgetBody = u"<Damage>10</Damage><Sound>a</Sound><Sound>b</Sound>"_s;

// The game's Stuff.xml: an index, a container Gadget over Gadget-0, a container whose
// reference leads nowhere, and a typed resource with a field that holds an element. Extra index
// entries, a different body of Gadget-0 and elements appended to the table give the expected
// results of compiles.
QString stuff(const QString &sections = {}, const QString &appended = {},
              const QString &gadget = gadgetBody, const QString &gadgetFlags = u"80"_s)
{
    return uR"(<XResourceFile><XResourceTable><XIndexDetails id='id-0'><ContainerResources href='Gadget' />%1</XIndexDetails>
  <XContainerResourceDetails id='Gadget'><Value href='Gadget-0' /><Name>Gadget</Name><Flags>%4</Flags></XContainerResourceDetails><XGadgetDetails id='Gadget-0'>%3</XGadgetDetails>
  <XContainerResourceDetails id='Broken'><Value href='Nowhere' /><Name>Broken</Name><Flags>80</Flags></XContainerResourceDetails>
  <XIntResourceDetails id='MaxLives'><Value>3</Value><Name>MaxLives</Name><Flags>64</Flags><Link><Value>boom.wav</Value></Link></XIntResourceDetails>%2</XResourceTable></XResourceFile>)"_s
        .arg(sections, appended, gadget, gadgetFlags);
}

// A new container id over id-0.
QString container(const QString &id)
{
    return uR"(<XContainerResourceDetails id='%1'><Value href='%1-0' /><Name>%1</Name><Flags>80</Flags></XContainerResourceDetails>)"_s
        .arg(id);
}

// Records the problems the compiler reports.
class Recorder : public VxTweakDiagnostics
{
public:
    QStringList calls;

    void problem(const QString &filePath, int line, const QString &message) override
    {
        calls << u"%1:%2: %3"_s.arg(QFileInfo(filePath).fileName()).arg(line).arg(message);
    }
    void warning(const QString &filePath, int line, const QString &message) override
    {
        problem(filePath, line, u"warning: "_s + message);
    }
};

// "line:text" for each statement line, '|'-joined.
QString numbered(const QList<VxTweakLine> &lines)
{
    QStringList texts;
    for (const VxTweakLine &line : lines)
        texts << QString::number(line.sourceLine) + u':' + line.text;
    return texts.join(u'|');
}

} // namespace

class TestTweakCompiler : public QObject
{
    Q_OBJECT
private slots:
    void compilesFolder_data();
    void compilesFolder();
    void statementLines_data();
    void statementLines();
};

void TestTweakCompiler::compilesFolder_data()
{
    QTest::addColumn<Files>("files");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QStringList>("problems"); // "file:line: words the message contains"

    QTest::newRow("the highest flags and a four-number colour are kept")
        << Files{{u"Gadget.twk"_s, "// c\n#flags 255\nDamage=@color 1 2 3 4\n+Tag=fast\n-Sound\n"}}
        << stuff({}, {},
                 uR"(<Damage r='1' g='2' b='3' a='4'>10</Damage><Sound>b</Sound><Tag>fast</Tag>)"_s,
                 u"255"_s)
        << QStringList{};
    QTest::newRow("a declaration file makes typed resources and lists them")
        << Files{{u"resource.twk"_s,
                  "MaxLives=10\n+Lives=10\n#float\nGravity=9.8\n#string\nTitle=Hello\n"}}
        << stuff(
               uR"(<IntResources href='+Lives' /><FloatResources href='Gravity' />
                     <StringResources href='Title' />)"_s,
               uR"(<XIntResourceDetails id='+Lives'><Value>10</Value><Name>+Lives</Name><Flags>64</Flags></XIntResourceDetails>
                     <XFloatResourceDetails id='Gravity'><Value>9.8</Value><Name>Gravity</Name><Flags>64</Flags></XFloatResourceDetails>
                     <XStringResourceDetails id='Title'><Value>Hello</Value><Name>Title</Name><Flags>64</Flags></XStringResourceDetails>)"_s)
               .replace(u"<Value>3</Value>"_s, u"<Value>10</Value>"_s)
        << QStringList{};
    QTest::newRow("a class makes a container, data element and entry; bad flags give it 80")
        << Files{{u"Widget.twk"_s, "#flags 256\n#class XExampleDetails\nSpeed=5\n"}}
        << stuff(uR"(<ContainerResources href='Widget' />)"_s,
                 container(u"Widget"_s) +
                     uR"(<XExampleDetails id='Widget-0'><Speed>5</Speed></XExampleDetails>)"_s)
        << QStringList{u"Widget.twk:1: 0 to 255"_s};
    QTest::newRow("header lines change nothing once the element exists")
        << Files{{u"Gadget.twk"_s, "#class XOther\n#copy MaxLives\n#nodb\nDamage=1\n"},
                 {u"Widget.twk"_s,
                  "#class XExampleDetails\n#flags 3\n#nodb\n#copy Gadget\n#colour 3\n"}}
        << stuff(uR"(<ContainerResources href='Widget' />)"_s,
                 container(u"Widget"_s) + uR"(<XExampleDetails id='Widget-0' />)"_s,
                 u"<Damage>1</Damage><Sound>a</Sound><Sound>b</Sound>"_s)
        << QStringList{u"Widget.twk:2: changes nothing"_s, u"Widget.twk:3: changes nothing"_s,
                       u"Widget.twk:4: changes nothing"_s, u"Widget.twk:5: unknown directive"_s};
    QTest::newRow("a data element's file edits it and its container's flags, a later file wins")
        << Files{{u"Gadget-0.twk"_s, "#flags 5\nDamage=1\n"}, {u"Gadget.twk"_s, "Damage=2\n"}}
        << stuff({}, {}, u"<Damage>2</Damage><Sound>a</Sound><Sound>b</Sound>"_s, u"5"_s)
        << QStringList{};
    QTest::newRow("a container whose reference leads nowhere is neither copied nor edited")
        << Files{{u"Broken.twk"_s, "A=1\n"}, {u"Widget.twk"_s, "#copy Broken\nSpeed=7\n"}}
        << stuff(uR"(<ContainerResources href='Widget' />)"_s, container(u"Widget"_s))
        << QStringList{u"Broken.twk:1: no effect"_s, u"Widget.twk:2: no effect"_s};
    QTest::newRow("odd statements: extra =, no =, remove with value, both signs, bad names")
        << Files{{u"Gadget.twk"_s,
                  "#flag 3\nDamage=5=6\nArmor\n-Sound=5\n+-Tag=x\n1st=1\n+A<b=4\n#flags 3\n"}}
        << stuff({}, {}, u"<Damage>5=6</Damage><Sound>b</Sound><Armor></Armor><Tag>x</Tag>"_s)
        << QStringList{
               u"Gadget.twk:1: unknown directive"_s, u"Gadget.twk:6: not a valid XML name"_s,
               u"Gadget.twk:7: not a valid XML name"_s, u"Gadget.twk:8: read as a statement"_s};
    QTest::newRow("failed class and copy lines leave no trace before a class defines it")
        << Files{{u"Widget.twk"_s, "#class\n#copy Nothing\n#nodb\n#class XGood\n"}}
        << stuff({}, uR"(<XGood id='Widget' />)"_s)
        << QStringList{u"Widget.twk:1: not a valid XML name"_s, u"Widget.twk:2: Nothing"_s};
    QTest::newRow("a copy takes the pristine data element, never one made in this launch")
        << Files{{u"A.twk"_s, "#nodb\n#class XA\n"},
                 {u"A2.twk"_s, "#copy Gadget\nSpeed=7\n"},
                 {u"B.twk"_s, "// x\n\n#copy A\nX=1\n"},
                 {u"C.twk"_s, "#nodb\n#class XC\n"}}
        << stuff(uR"(<ContainerResources href='A2' />)"_s,
                 uR"(<XA id='A' />)"_s + container(u"A2"_s) + uR"(<XGadgetDetails id='A2-0'>)"_s +
                     gadgetBody + u"<Speed>7</Speed></XGadgetDetails>"_s)
        << QStringList{u"B.twk:3: A"_s, u"B.twk:4: does not exist"_s};

    QTest::newRow("text set twice on a field that holds an element goes after it both times; "
                  "a new field of that name, a colour and an invalid value are no such case")
        << Files{{u"MaxLives.twk"_s,
                  "Link=first\nTint=red\nLink=second\nLink(1)=x\nLink=@color 1 2 3\nLink=@\n"}}
        << stuff().replace(u"<Link><Value>boom.wav</Value></Link>"_s,
                           u"<Link><Value>boom.wav</Value>firstsecond</Link><Tint>red</Tint>"
                           u"<Link>x</Link>"_s)
        << QStringList{u"MaxLives.twk:1: warning: field \"Link\" holds child elements, so the "
                       u"text is appended after them and the field reads as all its text "
                       u"joined: \"boom.wavfirst\""_s,
                       u"MaxLives.twk:3: \"boom.wavfirstsecond\""_s, u"MaxLives.twk:6: \"@\""_s};
    QTest::newRow("only .twk files count, in name order regardless of case; a missing element "
                  "skips the folder's rest")
        << Files{{u"b.TWK"_s, ""}, {u"C.twk"_s, ""}, {u"a.txt"_s, ""}, {u"a.twk.bak"_s, ""}}
        << stuff() << QStringList{u"b.TWK:0: does not exist"_s};
}

void TestTweakCompiler::compilesFolder()
{
    QFETCH(Files, files);
    QFETCH(QString, expected);
    QFETCH(QStringList, problems);
    // What `vxmod check` reports must not change what the launch compiles.
    for (const bool checked : {false, true}) {
        // The mod's resource folder "Stuff", compiled against Stuff.xml. A folder named like a
        // tweak file is neither counted nor compiled.
        vxtest::TestDir dir;
        const QString folder = dir.filePath(u"Stuff"_s);
        VxResourceDocument working, pristine;
        Recorder recorder;
        QVERIFY(QDir().mkpath(folder + u"/folder.twk"_s) && vxtest::writeTree(folder, files) &&
                working.setContent(stuff().toUtf8()) && pristine.setContent(stuff().toUtf8()));
        QCOMPARE(compileTweakFolder({folder, u"Stuff"_s, working.table(), pristine.table(), nullptr,
                                     checked ? &recorder : nullptr}),
                 TweakOutcome::Finished);
        QCOMPARE(vxtest::compactXml(pristine.toByteArray()), vxtest::compactXml(stuff().toUtf8()));
        QCOMPARE(vxtest::compactXml(working.toByteArray()), vxtest::compactXml(expected.toUtf8()));
        QCOMPARE(vxtest::matchedLines(recorder.calls, problems),
                 checked ? problems : QStringList());
    }
}

void TestTweakCompiler::statementLines_data()
{
    QTest::addColumn<QByteArray>("bytes"); // a tweak file as it lies on disk
    QTest::addColumn<QString>("expected");

    QTest::newRow("blanks go, a line comment joins lines, block comments swallow what is between")
        << "\n Name = Big \tWolf // c\nPower=3\n/* x */\nB=2\n/* y */ C = 3 \n\n"_ba
        << u"2:Name=Big Wolf Power=3|6:C=3"_s;
    QTest::newRow("a /* inside a line comment goes with it; escapes become comment markers")
        << "A=1 // see /*\nB=[[n]]\n*/ C=3/*/"_ba << u"1:A=1 B=/*n*/|3:*/ C=3/*/"_s;
    QTest::newRow("a lone CR and a no-break space are blanks, CR LF ends a line, NUL the text")
        << u"A\u00a0=\u00a01\rB\r\nC=x\0y\nD=3"_s.toUtf8() << u"1:A=1 B|2:C=x"_s;
    QTest::newRow("a truncated UTF-8 sequence at the end makes the file 8-bit")
        << "A=\xc3\xa9\xc3"_ba << u"1:A=\u00c3\u00a9\u00c3"_s;
    QTest::newRow("a line comment joins the next line; a block comment holds // and line ends")
        << "a//b\n//c\n=d\nA=1 /* // \n */ B=2 //\n"_ba << u"1:a=d|4:A=1 B=2"_s;
    QTest::newRow("an escape inside a comment goes with it; a U+2028, a VT and U+3000 are blanks; "
                  "blanks before = go at the first of two only")
        << u"A /* [[ */ =1 ]]\u2028B\n\u3000A = = B\vC\u3000D\u00a0"_s.toUtf8()
        << u"1:A=1 */ B|2:A== B C D"_s;
    QTest::newRow("statements one to a line with nothing between keep their lines; escapes too")
        << "A=[[x]]\nB=2\nC\n"_ba << u"1:A=/*x*/|2:B=2|3:C"_s;
    QTest::newRow("one empty line between statements still goes")
        << "A=1\n\nB=2"_ba << u"1:A=1|3:B=2"_s;
    QTest::newRow("a UTF-8 mark is dropped") << u"\ufeffA=\u00e9"_s.toUtf8() << u"1:A=\u00e9"_s;
    QTest::newRow("a UTF-16 mark selects UTF-16, and its CR LF reads as LF")
        << QByteArray::fromHex("fffe41003d00e9000d000a004200") << u"1:A=\u00e9|2:B"_s;
    QTest::newRow("a 1 MB run of // without a line feed")
        << QByteArray(1 << 20, '/') << u"1:"_s + QString(1 << 20, u'/');
    QTest::newRow("a 1 MB line of /* without */")
        << "/*"_ba.repeated(1 << 19).append("\nA=1") << u"1:*|2:A=1"_s;
    QTest::newRow("a 50 MB file") << "Speed = 5 // fast\n"_ba.repeated(3'000'000)
                                  << u"1:"_s + QStringList(3'000'000, u"Speed=5"_s).join(u' ');
}

void TestTweakCompiler::statementLines()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, expected);
    QCOMPARE(numbered(tweakStatementLines(decodeTweakBytes(bytes))), expected);
}

QTEST_GUILESS_MAIN(TestTweakCompiler)
#include "tst_tweakcompiler.moc"
