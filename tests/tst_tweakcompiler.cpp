#include "app/stringtable.h"
#include "launch/feedback.h"
#include "tweak/tweakcompiler.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

const QString gadgetBody = u"<Damage>10</Damage><Sound>a</Sound><Sound>b</Sound>"_s;

// The game's Stuff.xml: an index, a container Gadget over Gadget-0, a container whose
// reference leads nowhere, and a typed resource. Extra index entries, a different body of
// Gadget-0 and elements appended to the table give the expected results of compiles.
QString stuff(const QString &sections = {}, const QString &appended = {},
              const QString &gadget = gadgetBody, const QString &gadgetFlags = u"80"_s)
{
    return uR"(<?xml version="1.0" encoding="UTF-8"?>
<XResourceFile><XResourceTable>
  <XIndexDetails id="id-0"><ContainerResources href="Gadget"/>%1</XIndexDetails>
  <XContainerResourceDetails id="Gadget"><Value href="Gadget-0"/><Name>Gadget</Name><Flags>%4</Flags></XContainerResourceDetails>
  <XGadgetDetails id="Gadget-0">%3</XGadgetDetails>
  <XContainerResourceDetails id="Broken"><Value href="Nowhere"/><Name>Broken</Name><Flags>80</Flags></XContainerResourceDetails>
  <XIntResourceDetails id="MaxLives"><Value>3</Value><Name>MaxLives</Name><Flags>64</Flags></XIntResourceDetails>
  %2
</XResourceTable></XResourceFile>)"_s.arg(sections, appended, gadget, gadgetFlags);
}

QString container(const QString &id, const QString &flags = u"80"_s)
{
    return uR"(<XContainerResourceDetails id="%1"><Value href="%1-0"/><Name>%1</Name><Flags>%2</Flags></XContainerResourceDetails>)"_s
        .arg(id, flags);
}

QString listed(const QString &id)
{
    return uR"(<ContainerResources href="%1"/>)"_s.arg(id);
}

// Serialised through a fresh parse, so empty elements and formatting compare equal.
QByteArray canonical(const QByteArray &xml)
{
    VxResourceDocument document;
    if (!document.setContent(xml))
        return "unparsable: " + document.errorString().toUtf8() + "\n" + xml;
    return document.toByteArray();
}

// Records what the compiler tells the person and answers its questions from a script.
class RecordingFeedback : public VxFeedback
{
public:
    QStringList calls;
    QList<Answer> answers;
    int cancelAfterSteps = -1;
    int steps = 0;

    void begin(int count) override { calls << u"begin %1"_s.arg(count); }
    void setTitle(const QString &title) override { calls << u"title "_s + title; }
    void setLabel(const QString &label) override { calls << u"label "_s + label; }
    void step() override
    {
        ++steps;
        calls << u"step"_s;
    }
    bool cancelled() override { return cancelAfterSteps >= 0 && steps >= cancelAfterSteps; }
    Answer ask(const QString &title, const QString &text) override
    {
        calls << u"ask %1: %2"_s.arg(title, text);
        return answers.isEmpty() ? Answer::Ignore : answers.takeFirst();
    }
    void error(const QString &title, const QString &text) override
    {
        calls << u"error %1: %2"_s.arg(title, text);
    }
    void end() override { calls << u"end"_s; }
};

class RecordingDiagnostics : public VxTweakDiagnostics
{
public:
    QStringList problems;
    void problem(const QString &filePath, int line, const QString &message) override
    {
        problems << u"%1:%2: %3"_s.arg(QFileInfo(filePath).fileName()).arg(line).arg(message);
    }
};

// A mod resource folder "Stuff" holding the given files (name, content, name, content...)
// compiled against Stuff.xml.
class Compile
{
public:
    explicit Compile(const QStringList &files, const QString &game = stuff())
    {
        m_dir.setAutoRemove(false);
        folder = m_dir.filePath(u"Stuff"_s);
        QDir().mkpath(folder);
        for (qsizetype i = 0; i + 1 < files.size(); i += 2) {
            QFile file(folder + u'/' + files.at(i));
            if (file.open(QIODevice::WriteOnly))
                file.write(files.at(i + 1).toUtf8());
        }
        loaded = working.setContent(game.toUtf8()) && pristine.setContent(game.toUtf8());
    }
    ~Compile() { m_dir.setAutoRemove(!QTest::currentTestFailed()); }

    TweakOutcome run(VxFeedback *feedback = nullptr, VxTweakDiagnostics *diagnostics = nullptr)
    {
        VxTweakContext context;
        context.folderPath = folder;
        context.resourceName = u"Stuff"_s;
        context.working = working.table();
        context.pristine = pristine.table();
        context.feedback = feedback;
        context.diagnostics = diagnostics;
        return compileTweakFolder(context);
    }
    QByteArray result() const { return canonical(working.toByteArray()); }

    QString folder;
    bool loaded = false;
    VxResourceDocument working;
    VxResourceDocument pristine;

private:
    QTemporaryDir m_dir;
};

} // namespace

class TestTweakCompiler : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { loadStringTable(languageIndexFor(u"English"_s)); }
    void compilesFolder_data();
    void compilesFolder();
    void talksToThePerson_data();
    void talksToThePerson();
    void diagnoses_data();
    void diagnoses();
    void badFilesCompileCleanly_data();
    void badFilesCompileCleanly();
    void nonAsciiValueSurvivesTheSave();
    void countsTweakFiles();
};

void TestTweakCompiler::compilesFolder_data()
{
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QString>("expected");

    QTest::newRow("an existing container's data element is set, added to and removed from")
        << QStringList{u"Gadget.twk"_s, u"#flags 3\nDamage=40\n+Tag=fast\n-Sound\n"_s}
        << stuff({}, {}, u"<Damage>40</Damage><Sound>b</Sound><Tag>fast</Tag>"_s, u"3"_s);
    QTest::newRow("a declaration file makes typed resources and lists them")
        << QStringList{u"resource.twk"_s,
                       u"MaxLives=10\nLives=10\n#float\nGravity=9.8\n#string\nTitle=Hello\n"_s}
        << stuff(
               uR"(<IntResources href="Lives"/><FloatResources href="Gravity"/>
                     <StringResources href="Title"/>)"_s,
               uR"(<XIntResourceDetails id="Lives"><Value>10</Value><Name>Lives</Name><Flags>64</Flags></XIntResourceDetails>
                     <XFloatResourceDetails id="Gravity"><Value>9.8</Value><Name>Gravity</Name><Flags>64</Flags></XFloatResourceDetails>
                     <XStringResourceDetails id="Title"><Value>Hello</Value><Name>Title</Name><Flags>64</Flags></XStringResourceDetails>)"_s)
               .replace(u"<Value>3</Value>"_s, u"<Value>10</Value>"_s);
    QTest::newRow("a declared name keeps a leading plus")
        << QStringList{u"resource.twk"_s, u"+Speed=1"_s}
        << stuff(
               uR"(<IntResources href="+Speed"/>)"_s,
               uR"(<XIntResourceDetails id="+Speed"><Value>1</Value><Name>+Speed</Name><Flags>64</Flags></XIntResourceDetails>)"_s);
    QTest::newRow("a class makes a container, its data element and a section entry")
        << QStringList{u"Widget.twk"_s, u"#flags 1\n#class XExampleDetails\nSpeed=5\n"_s}
        << stuff(listed(u"Widget"_s),
                 container(u"Widget"_s, u"1"_s) +
                     uR"(<XExampleDetails id="Widget-0"><Speed>5</Speed></XExampleDetails>)"_s);
    QTest::newRow("a copy takes the pristine data element under the new id")
        << QStringList{u"Widget2.twk"_s, u"#copy Gadget\nSpeed=7\n"_s}
        << stuff(listed(u"Widget2"_s), container(u"Widget2"_s) +
                                           uR"(<XGadgetDetails id="Widget2-0">)"_s + gadgetBody +
                                           u"<Speed>7</Speed></XGadgetDetails>"_s);
    QTest::newRow("nodb before class makes one element, unlisted")
        << QStringList{u"Widget.twk"_s, u"#nodb\n#class XExampleDetails\nSpeed=5\n"_s}
        << stuff({}, uR"(<XExampleDetails id="Widget"><Speed>5</Speed></XExampleDetails>)"_s);
    QTest::newRow("nodb copy of a container copies the container itself")
        << QStringList{u"Twin.twk"_s, u"#nodb\n#copy Gadget\n"_s}
        << stuff(
               {},
               uR"(<XContainerResourceDetails id="Twin"><Value href="Gadget-0"/><Name>Gadget</Name><Flags>80</Flags></XContainerResourceDetails>)"_s);
    for (const QString &flags : {u"300"_s, u"-2"_s, u"x"_s, u"99999"_s})
        QTest::addRow("flags %s before class gives the container 80", qPrintable(flags))
            << QStringList{u"Widget.twk"_s, u"#flags %1\n#class XExampleDetails\n"_s.arg(flags)}
            << stuff(listed(u"Widget"_s),
                     container(u"Widget"_s) + uR"(<XExampleDetails id="Widget-0"/>)"_s);
    QTest::newRow("nodb and flags after the class change nothing")
        << QStringList{u"Widget.twk"_s, u"#class XExampleDetails\n#flags 3\n#nodb\n"_s}
        << stuff(listed(u"Widget"_s),
                 container(u"Widget"_s) + uR"(<XExampleDetails id="Widget-0"/>)"_s);
    QTest::newRow("class and copy in an existing element's file are ignored")
        << QStringList{u"Gadget.twk"_s, u"#class XOther\n#copy MaxLives\n#nodb\nDamage=1\n"_s}
        << stuff({}, {}, u"<Damage>1</Damage><Sound>a</Sound><Sound>b</Sound>"_s);
    QTest::newRow("a data element's file sets its container's flags")
        << QStringList{u"Gadget-0.twk"_s, u"#flags 5\nDamage=2\n"_s}
        << stuff({}, {}, u"<Damage>2</Damage><Sound>a</Sound><Sound>b</Sound>"_s, u"5"_s);
    QTest::newRow("copying a container whose reference leads nowhere edits nothing")
        << QStringList{u"Widget.twk"_s, u"#copy Broken\nSpeed=7\n"_s}
        << stuff(listed(u"Widget"_s), container(u"Widget"_s));
    QTest::newRow("a class beside an existing data id appends a second one and edits it")
        << QStringList{u"W-0.twk"_s, u"#nodb\n#class XFirst\n"_s, u"W.twk"_s,
                       u"#class XSecond\nSpeed=5\n"_s}
        << stuff(listed(u"W"_s), uR"(<XFirst id="W-0"/>)"_s + container(u"W"_s) +
                                     uR"(<XSecond id="W-0"><Speed>5</Speed></XSecond>)"_s);
    QTest::newRow("statement forms: extra =, no =, remove with value, both signs")
        << QStringList{u"Gadget.twk"_s, u"Damage=5=6\nArmor\n-Sound=5\n+-Tag=x\n"_s}
        << stuff({}, {}, u"<Damage>5=6</Damage><Sound>b</Sound><Armor></Armor><Tag>x</Tag>"_s);
    QTest::newRow("a directive after the first statement is a statement, and skipped")
        << QStringList{u"Gadget.twk"_s, u"Damage=1\n#flags 3\n"_s}
        << stuff({}, {}, u"<Damage>1</Damage><Sound>a</Sound><Sound>b</Sound>"_s);
    QTest::newRow("a field name that is no XML name is skipped")
        << QStringList{u"Gadget.twk"_s, u"1st=1\nBad Name=2\n=3\n+A<b=4\nDamage=5\n"_s}
        << stuff({}, {}, u"<Damage>5</Damage><Sound>a</Sound><Sound>b</Sound>"_s);
    QTest::newRow("a capitalised Resource file edits an element named Resource")
        << QStringList{u"Resource.twk"_s, u"#nodb\n#class XRes\nA=1\n"_s}
        << stuff({}, uR"(<XRes id="Resource"><A>1</A></XRes>)"_s);
    QTest::newRow("the file listed later wins")
        << QStringList{u"Gadget.twk"_s, u"Damage=2\n"_s, u"Gadget-0.twk"_s, u"Damage=1\n"_s}
        << stuff({}, {}, u"<Damage>2</Damage><Sound>a</Sound><Sound>b</Sound>"_s);
    QTest::newRow("an invalid class name creates nothing and skips the folder")
        << QStringList{u"Widget.twk"_s, u"#class 9Bad\nSpeed=5\n"_s, u"Zed.twk"_s,
                       u"#nodb\n#class XZed\n"_s}
        << stuff();
    QTest::newRow("an empty class name creates nothing, a later class defines it")
        << QStringList{u"Widget.twk"_s, u"#class\n#nodb\n#class XGood\n"_s}
        << stuff({}, uR"(<XGood id="Widget"/>)"_s);
    QTest::newRow("a missing copy source leaves no trace before a class defines it")
        << QStringList{u"Widget.twk"_s, u"#copy Nothing\n#nodb\n#class XGood\n"_s}
        << stuff({}, uR"(<XGood id="Widget"/>)"_s);
    QTest::newRow("a copy cannot see elements made in this launch")
        << QStringList{u"A.twk"_s, u"#nodb\n#class XA\n"_s, u"B.twk"_s, u"#copy A\nX=1\n"_s,
                       u"C.twk"_s, u"#nodb\n#class XC\n"_s}
        << stuff({}, uR"(<XA id="A"/>)"_s);
    QTest::newRow("an invalid value writes nothing but the field it cleared")
        << QStringList{u"Gadget.twk"_s, u"Damage=@nonsense\n"_s}
        << stuff({}, {}, u"<Damage>10</Damage><Sound>a</Sound><Sound>b</Sound>"_s);
}

void TestTweakCompiler::compilesFolder()
{
    QFETCH(QStringList, files);
    QFETCH(QString, expected);
    Compile compile(files);
    QVERIFY(compile.loaded);
    QCOMPARE(compile.run(), TweakOutcome::Finished);
    QCOMPARE(QString::fromUtf8(compile.result()), QString::fromUtf8(canonical(expected.toUtf8())));
    QCOMPARE(compile.pristine.toByteArray(), canonical(stuff().toUtf8()));
}

void TestTweakCompiler::talksToThePerson_data()
{
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QList<VxFeedback::Answer>>("answers");
    QTest::addColumn<int>("cancelAfterSteps");
    QTest::addColumn<TweakOutcome>("outcome");
    QTest::addColumn<QStringList>("calls");

    const QString ask = u"ask Error!: Error loading file %1, continue anyway?"_s;
    QTest::newRow("each file compiled to its end takes a labelled step")
        << QStringList{u"Gadget.twk"_s, u"Damage=1"_s, u"resource.twk"_s, u""_s}
        << QList<VxFeedback::Answer>{} << -1 << TweakOutcome::Finished
        << QStringList{u"label Loading Stuff.xml (Gadget.twk)"_s, u"step"_s,
                       u"label Loading Stuff.xml (resource.twk)"_s, u"step"_s};
    QTest::newRow("an empty file for an existing element still steps")
        << QStringList{u"Gadget.twk"_s, u""_s} << QList<VxFeedback::Answer>{} << -1
        << TweakOutcome::Finished
        << QStringList{u"label Loading Stuff.xml (Gadget.twk)"_s, u"step"_s};
    QTest::newRow("Ignore skips the rest of the folder without a step")
        << QStringList{u"A.twk"_s, u"X=1"_s, u"B.twk"_s, u"#nodb\n#class XB"_s}
        << QList<VxFeedback::Answer>{VxFeedback::Answer::Ignore} << -1 << TweakOutcome::Finished
        << QStringList{u"label Loading Stuff.xml (A.twk)"_s, ask.arg(u"A.twk"_s)};
    QTest::newRow("Abort closes the progress and abandons the folder")
        << QStringList{u"Gadget.twk"_s, u"Damage=1"_s, u"New.twk"_s, u""_s}
        << QList<VxFeedback::Answer>{VxFeedback::Answer::Abort} << -1 << TweakOutcome::Abandoned
        << QStringList{u"label Loading Stuff.xml (Gadget.twk)"_s, u"step"_s,
                       u"label Loading Stuff.xml (New.twk)"_s, ask.arg(u"New.twk"_s), u"end"_s};
    QTest::newRow("a closed progress window stops before the next file")
        << QStringList{u"Gadget.twk"_s, u"Damage=1"_s, u"MaxLives.twk"_s, u"Value=1"_s}
        << QList<VxFeedback::Answer>{} << 1 << TweakOutcome::Abandoned
        << QStringList{u"label Loading Stuff.xml (Gadget.twk)"_s, u"step"_s};
    QTest::newRow("only .twk files count, in name order regardless of case")
        << QStringList{u"b.TWK"_s,     u""_s, u"Gadget.twk"_s, u""_s,
                       u"notes.txt"_s, u""_s, u"a.twk.bak"_s,  u""_s}
        << QList<VxFeedback::Answer>{VxFeedback::Answer::Ignore} << -1 << TweakOutcome::Finished
        << QStringList{u"label Loading Stuff.xml (b.TWK)"_s, ask.arg(u"b.TWK"_s)};
}

void TestTweakCompiler::talksToThePerson()
{
    QFETCH(QStringList, files);
    QFETCH(QList<VxFeedback::Answer>, answers);
    QFETCH(int, cancelAfterSteps);
    QFETCH(TweakOutcome, outcome);
    QFETCH(QStringList, calls);
    Compile compile(files);
    RecordingFeedback feedback;
    feedback.answers = answers;
    feedback.cancelAfterSteps = cancelAfterSteps;
    QCOMPARE(compile.run(&feedback), outcome);
    QCOMPARE(feedback.calls, calls);
}

void TestTweakCompiler::diagnoses_data()
{
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QStringList>("problems"); // "file:line: words the message contains"

    QTest::newRow("a clean folder has nothing to say")
        << QStringList{u"Gadget.twk"_s,   u"// c\n#flags 2\nDamage=@color 1 2 3\n"_s,
                       u"resource.twk"_s, u"#float\nG=1\n"_s,
                       u"W.twk"_s,        u"#copy Gadget\nA=@href Gadget\n"_s}
        << QStringList{};
    QTest::newRow("a new element file that defines nothing")
        << QStringList{u"Widget.twk"_s, u"// note\n#flags 1\n\nSpeed=5\n"_s}
        << QStringList{u"Widget.twk:4: does not exist"_s};
    QTest::newRow("an empty new element file")
        << QStringList{u"Widget.twk"_s, u""_s} << QStringList{u"Widget.twk:0: does not exist"_s};
    QTest::newRow("a copy of an id the game lacks")
        << QStringList{u"Widget.twk"_s, u"#copy Gizmo\n#class XW\n"_s}
        << QStringList{u"Widget.twk:1: Gizmo"_s};
    QTest::newRow("a directive after the first statement")
        << QStringList{u"Gadget.twk"_s, u"Damage=1\n#flags 3\n"_s}
        << QStringList{u"Gadget.twk:2: read as a statement"_s};
    QTest::newRow("unknown directives in a header and a declaration file")
        << QStringList{u"Gadget.twk"_s, u"#flag 3\nDamage=1\n"_s, u"resource.twk"_s,
                       u"#double\nX=1\n"_s}
        << QStringList{u"Gadget.twk:1: unknown directive"_s,
                       u"resource.twk:1: unknown directive"_s};
    QTest::newRow("value texts that begin with @ but have no form")
        << QStringList{u"Gadget.twk"_s, u"A=@color 1 2\n+B=@vector 1\nC=@\n-D=@x\n"_s,
                       u"resource.twk"_s, u"\nX=@colr 1 2 3\n"_s}
        << QStringList{u"Gadget.twk:1: @color"_s, u"Gadget.twk:2: @color"_s,
                       u"Gadget.twk:3: @color"_s, u"resource.twk:2: @color"_s};
    QTest::newRow("invalid class and field names")
        << QStringList{u"Gadget.twk"_s, u"A b=1\n=2\n-(3)=1\n"_s, u"Widget.twk"_s,
                       u"#class <X>\n#nodb\n#class X\n"_s}
        << QStringList{
               u"Gadget.twk:1: not a valid XML name"_s, u"Gadget.twk:2: not a valid XML name"_s,
               u"Gadget.twk:3: not a valid XML name"_s, u"Widget.twk:1: not a valid XML name"_s};
    QTest::newRow("statements on an element that a reference cannot find")
        << QStringList{u"Broken.twk"_s, u"#flags 3\nA=1\nB=2\n"_s}
        << QStringList{u"Broken.twk:2: no effect"_s};
    QTest::newRow("flags out of range and header lines after the definition")
        << QStringList{u"Gadget.twk"_s, u"#flags 256\n"_s, u"W.twk"_s,
                       u"#class XW\n#flags 3\n#copy Gadget\n"_s}
        << QStringList{u"Gadget.twk:1: 0 to 255"_s, u"W.twk:2: changes nothing"_s,
                       u"W.twk:3: changes nothing"_s};
}

void TestTweakCompiler::diagnoses()
{
    QFETCH(QStringList, files);
    QFETCH(QStringList, problems);
    Compile quiet(files);
    quiet.run();
    Compile checked(files);
    RecordingDiagnostics diagnostics;
    checked.run(nullptr, &diagnostics);

    QCOMPARE(checked.result(), quiet.result());
    QCOMPARE(diagnostics.problems.size(), problems.size());
    for (qsizetype i = 0; i < problems.size(); ++i) {
        const QString &want = problems.at(i);
        const qsizetype split = want.indexOf(u": "_s);
        const QString &got = diagnostics.problems.at(i);
        QVERIFY2(got.startsWith(want.left(split + 2)) && got.contains(want.mid(split + 2)),
                 qPrintable(u"expected %1, got %2"_s.arg(want, got)));
    }
}

void TestTweakCompiler::badFilesCompileCleanly_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QByteArray>("bytes");

    QByteArray garbage(1 << 16, '\0');
    QRandomGenerator random(11);
    for (char &c : garbage)
        c = char(random.bounded(256));
    QByteArray controls;
    for (int c = 1; c < 32; ++c)
        controls += "F" + QByteArray::number(c) + "=a" + char(c) + "b\n";
    for (const QString &name : {u"Gadget.twk"_s, u"resource.twk"_s, u"Widget.twk"_s}) {
        QTest::addRow("binary garbage as %s", qPrintable(name)) << name << garbage;
        QTest::addRow("control characters in values of %s", qPrintable(name))
            << name << QByteArray("#nodb\n#class XW\n") + controls;
    }
    QTest::newRow("a 1 MB field name")
        << u"Gadget.twk"_s << QByteArray(1 << 20, 'a').append("=1\n");
    QTest::newRow("a 1 MB value") << u"Gadget.twk"_s
                                  << QByteArray("Damage=").append(QByteArray(1 << 20, 'x'));
    QTest::newRow("markup in names and values")
        << u"resource.twk"_s << QByteArray("<a>=</b>&amp;\"'\n]]>=<![CDATA[\n");
}

void TestTweakCompiler::badFilesCompileCleanly()
{
    QFETCH(QString, fileName);
    QFETCH(QByteArray, bytes);
    Compile compile({});
    QVERIFY(compile.loaded);
    QFile file(compile.folder + u'/' + fileName);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    file.close();
    RecordingDiagnostics diagnostics;
    QCOMPARE(compile.run(nullptr, &diagnostics), TweakOutcome::Finished);

    // Whatever the file held, the saved resource file must load again.
    const QString path = compile.folder + u"/../Stuff.xml"_s;
    QString error;
    QVERIFY2(saveResourceDocument(compile.working, path, &error), qPrintable(error));
    VxResourceDocument saved;
    VxResourceElement table;
    QVERIFY2(loadResourceDocument(saved, table, path), qPrintable(saved.errorString()));
    QVERIFY(!findResourceById(table, u"Gadget-0"_s).isNull());
}

void TestTweakCompiler::nonAsciiValueSurvivesTheSave()
{
    const QString title = u"Caf\u00e9 \u2603 \u00c6gir \U0001F680"_s;
    Compile compile({u"resource.twk"_s, u"#string\nTitle="_s + title + u'\n'});
    QCOMPARE(compile.run(), TweakOutcome::Finished);
    const QString path = compile.folder + u"/../Stuff.xml"_s;
    QString error;
    QVERIFY2(saveResourceDocument(compile.working, path, &error), qPrintable(error));
    VxResourceDocument saved;
    VxResourceElement table;
    QVERIFY(loadResourceDocument(saved, table, path));
    QCOMPARE(readResourceField(findResourceById(table, u"Title"_s), u"Value"_s), title);
}

void TestTweakCompiler::countsTweakFiles()
{
    Compile compile({u"a.twk"_s, u""_s, u"B.Twk"_s, u""_s, u"c.txt"_s, u""_s});
    QDir(compile.folder).mkdir(u"folder.twk"_s);
    QCOMPARE(countTweakFiles(compile.folder), 2);
    QCOMPARE(countTweakFiles(compile.folder + u"/missing"_s), 0);
}

QTEST_GUILESS_MAIN(TestTweakCompiler)
#include "tst_tweakcompiler.moc"
