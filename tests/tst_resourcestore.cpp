#include "resources/resourcestore.h"

#include <QDir>
#include <QFile>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

QByteArray crlfLines(std::initializer_list<const char *> lines)
{
    QByteArray out;
    for (const char *line : lines)
        out += QByteArray(line) + "\r\n";
    return out;
}

const QByteArray lookupFixture = R"(<Resources><Table>
  <XIntResourceDetails id="x"/>
  <XUintResourceDetails id="x"/>
  <!-- a comment among the resources is skipped -->
  <XFloatResourceDetails/>
  <XStringResourceDetails id=""/>
  <XColorResourceDetails id="id-0"><XVectorResourceDetails id="deep"/></XColorResourceDetails>
</Table></Resources>)";

QByteArray encodingFixture(const QByteArray &declaration, const QByteArray &nameBytes)
{
    return declaration + "<Resources><Table><XStringResourceDetails id='s'><Name>" + nameBytes +
           "</Name><New/></XStringResourceDetails></Table></Resources>";
}

QByteArray nested(int levels)
{
    return QByteArray("<a>").repeated(levels) + QByteArray("</a>").repeated(levels);
}

} // namespace

class TestResourceStore : public QObject
{
    Q_OBJECT
private slots:
    void findById_data();
    void findById();
    void idIndexFollowsChanges_data();
    void idIndexFollowsChanges();
    void tableIsFirstChildNode_data();
    void tableIsFirstChildNode();
    void createRefusesBadNames_data();
    void createRefusesBadNames();
    void importCopiesDeeply();
    void saveShape();
    void encodings_data();
    void encodings();
    void badInput_data();
    void badInput();
    void hugeFileLoads();
    void loadReportsWhy_data();
    void loadReportsWhy();
    void saveIsAtomic_data();
    void saveIsAtomic();
    void depthLimitFollowsEdits_data();
    void depthLimitFollowsEdits();
};

void TestResourceStore::findById_data()
{
    QTest::addColumn<QString>("id");
    QTest::addColumn<QString>("tag");
    QTest::newRow("duplicate id finds the first in document order")
        << u"x"_s << u"XIntResourceDetails"_s;
    QTest::newRow("id differing in case misses") << u"ID-0"_s << QString();
    QTest::newRow("leading space misses") << u" id-0"_s << QString();
    QTest::newRow("resource nested below a resource is not a table entry")
        << u"deep"_s << QString();
    QTest::newRow("empty id finds the first element without one")
        << QString() << u"XFloatResourceDetails"_s;
    QTest::newRow("id with a NUL never matches a stored id") << u"x\0"_s << QString();
}

void TestResourceStore::findById()
{
    QFETCH(QString, id);
    QFETCH(QString, tag);
    VxResourceDocument doc;
    QVERIFY2(doc.setContent(lookupFixture), qPrintable(doc.errorString()));
    const VxResourceElement table = doc.table();
    // The table goes through the id index, any other parent through a scan; both must agree.
    const VxResourceElement copy = importResourceElement(table, table, u"copy"_s);
    for (const VxResourceElement &parent : {table, copy}) {
        const VxResourceElement found = findResourceById(parent, id);
        QCOMPARE(found.isNull(), tag.isNull());
        if (!found.isNull()) {
            QCOMPARE(found.tagName(), tag);
            QCOMPARE(found.id(), id);
        }
    }
    QVERIFY(findResourceById(VxResourceElement(), id).isNull());
}

enum class Change { Create, CreateTaken, Import, AddField, RemoveTableChild, RemoveField };

void TestResourceStore::idIndexFollowsChanges_data()
{
    QTest::addColumn<int>("change");
    QTest::addColumn<QString>("id");
    QTest::addColumn<QString>("tag");
    QTest::newRow("element created after a lookup is found")
        << int(Change::Create) << u"new"_s << u"XIntResourceDetails"_s;
    QTest::newRow("element created with a taken id stays behind the first")
        << int(Change::CreateTaken) << u"x"_s << u"XIntResourceDetails"_s;
    QTest::newRow("element imported after a lookup is found")
        << int(Change::Import) << u"copied"_s << u"XColorResourceDetails"_s;
    QTest::newRow("field added to the table is found by the empty id")
        << int(Change::AddField) << QString() << u"Loose"_s;
    QTest::newRow("table child removed through a field selector is gone")
        << int(Change::RemoveTableChild) << u"x"_s << u"XUintResourceDetails"_s;
    QTest::newRow("field removed from a resource leaves its resource findable")
        << int(Change::RemoveField) << u"id-0"_s << u"XColorResourceDetails"_s;
}

void TestResourceStore::idIndexFollowsChanges()
{
    QFETCH(int, change);
    QFETCH(QString, id);
    QFETCH(QString, tag);
    VxResourceDocument doc;
    QVERIFY(doc.setContent(R"(<Resources><Table>
        <XIntResourceDetails id="x"/><XUintResourceDetails id="x"/>
        <XColorResourceDetails id="id-0"><Value/></XColorResourceDetails>
        </Table></Resources>)"));
    const VxResourceElement table = doc.table();
    const VxResourceElement index = findResourceById(table, u"id-0"_s);
    QVERIFY(!index.isNull());

    switch (Change(change)) {
    case Change::Create:
        QVERIFY(!createResourceElement(table, id, u"XIntResourceDetails"_s).isNull());
        break;
    case Change::CreateTaken:
        QVERIFY(!createResourceElement(table, id, u"XStringResourceDetails"_s).isNull());
        break;
    case Change::Import:
        QVERIFY(!importResourceElement(table, index, id).isNull());
        break;
    case Change::AddField:
        QVERIFY(addResourceField(table, u"Loose"_s, u"text"_s));
        break;
    case Change::RemoveTableChild:
        QVERIFY(removeResourceField(table, u"XIntResourceDetails"_s));
        break;
    case Change::RemoveField:
        QVERIFY(removeResourceField(index, u"Value"_s));
        break;
    }
    const VxResourceElement found = findResourceById(table, id);
    QVERIFY(!found.isNull());
    QCOMPARE(found.tagName(), tag);
}

void TestResourceStore::tableIsFirstChildNode_data()
{
    QTest::addColumn<QByteArray>("xml");
    QTest::addColumn<QString>("tag");
    QTest::newRow("whitespace before the table is dropped")
        << QByteArray("<R>\r\n  \t<Table><A id='a'/></Table></R>") << u"Table"_s;
    QTest::newRow("comment before the table hides it")
        << QByteArray("<R><!-- c --><Table><A id='a'/></Table></R>") << QString();
    QTest::newRow("processing instruction before the table hides it")
        << QByteArray("<R><?pi x?><Table><A id='a'/></Table></R>") << QString();
    QTest::newRow("text made only of a no-break space hides the table")
        << QByteArray("<R>\xC2\xA0<Table><A id='a'/></Table></R>") << QString();
}

void TestResourceStore::tableIsFirstChildNode()
{
    QFETCH(QByteArray, xml);
    QFETCH(QString, tag);
    VxResourceDocument doc;
    QVERIFY(doc.setContent(xml));
    const VxResourceElement table = doc.table();
    QCOMPARE(table.isNull(), tag.isNull());
    if (table.isNull()) {
        // Nothing attaches anywhere and the document saves unchanged.
        const QByteArray before = doc.toByteArray();
        QVERIFY(findResourceById(table, u"a"_s).isNull());
        QVERIFY(createResourceElement(table, u"b"_s, u"B"_s).isNull());
        QCOMPARE(doc.toByteArray(), before);
    } else {
        QCOMPARE(table.tagName(), tag);
        QVERIFY(!findResourceById(table, u"a"_s).isNull());
    }
}

void TestResourceStore::createRefusesBadNames_data()
{
    QTest::addColumn<QByteArray>("declaration");
    QTest::addColumn<QString>("tag");
    QTest::addColumn<bool>("accepted");
    const QByteArray none;
    QTest::newRow("plain name") << none << u"XIntResourceDetails"_s << true;
    QTest::newRow("letter beyond the BMP") << none << u"x\U00010000"_s << true;
    QTest::newRow("empty name") << none << QString() << false;
    QTest::newRow("leading digit") << none << u"1abc"_s << false;
    QTest::newRow("space inside") << none << u"a b"_s << false;
    QTest::newRow("name the file's encoding cannot hold")
        << QByteArray("<?xml version='1.0' encoding='ISO-8859-1'?>") << u"Ωmega"_s << false;
    QTest::newRow("name the file's encoding can hold")
        << QByteArray("<?xml version='1.0' encoding='ISO-8859-1'?>") << u"Élan"_s << true;
}

void TestResourceStore::createRefusesBadNames()
{
    QFETCH(QByteArray, declaration);
    QFETCH(QString, tag);
    QFETCH(bool, accepted);
    VxResourceDocument doc;
    QVERIFY(doc.setContent(declaration + "<R><T/></R>"));
    const QByteArray before = doc.toByteArray();
    const VxResourceElement created = createResourceElement(doc.table(), u"new"_s, tag);
    QCOMPARE(!created.isNull(), accepted);
    if (!accepted) {
        QCOMPARE(doc.toByteArray(), before);
        return;
    }
    QCOMPARE(created.tagName(), tag);
    VxResourceDocument reread;
    QVERIFY2(reread.setContent(doc.toByteArray()), qPrintable(reread.errorString()));
    QCOMPARE(findResourceById(reread.table(), u"new"_s).tagName(), tag);
}

void TestResourceStore::importCopiesDeeply()
{
    VxResourceDocument pristine;
    QVERIFY(pristine.setContent(R"(<R><T>
        <XContainerResourceDetails id="box" extra="1">
          <Value href="data"/><Inner><Deeper>text<![CDATA[ more]]></Deeper></Inner>
        </XContainerResourceDetails></T></R>)"));
    VxResourceDocument working;
    QVERIFY(working.setContent("<R><T><A id='a'/></T></R>"));
    const QByteArray pristineBefore = pristine.toByteArray();

    const VxResourceElement source = findResourceById(pristine.table(), u"box"_s);
    const VxResourceElement copy = importResourceElement(working.table(), source, u"box2"_s);
    QVERIFY(!copy.isNull());
    QCOMPARE(copy.document(), &working);
    QCOMPARE(copy.id(), u"box2"_s);
    QCOMPARE(source.id(), u"box"_s);
    QCOMPARE(readResourceField(copy, u"Inner"_s), u"text more"_s);
    QCOMPARE(readResourceField(copy, u"Value"_s), u"@href data"_s);
    QCOMPARE(pristine.toByteArray(), pristineBefore);
    QCOMPARE(findResourceById(working.table(), u"box2"_s), copy);

    QVERIFY(importResourceElement(working.table(), VxResourceElement(), u"z"_s).isNull());
    QVERIFY(importResourceElement(VxResourceElement(), source, u"z"_s).isNull());
}

void TestResourceStore::saveShape()
{
    const QByteArray input =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!-- area -->\n"
        "<Resources><Table>   <XIntResourceDetails id=\"id-0\"><IntResources href=\"a\"/>"
        "</XIntResourceDetails>\n<XStringResourceDetails id=\"s\"><Value>say \"hi\"</Value>"
        "<Name n=\"it&apos;s &quot;x&quot;\"/></XStringResourceDetails></Table></Resources>";
    const QByteArray expected = crlfLines(
        {"<?xml version='1.0' encoding='UTF-8'?>", "<!-- area -->", "<Resources>", "  <Table>",
         "    <XIntResourceDetails id='id-0'>", "      <IntResources href='a' />",
         "    </XIntResourceDetails>", "    <XStringResourceDetails id='s'>",
         "      <Value>say \"hi\"</Value>", "      <Name n='it&apos;s \"x\"' />",
         "    </XStringResourceDetails>", "  </Table>", "</Resources>"});

    QTemporaryDir dir;
    dir.setAutoRemove(!QTest::currentTestFailed());
    const QString path = dir.filePath(u"area.xml"_s);
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(input);
    }
    VxResourceDocument doc;
    VxResourceElement table;
    QVERIFY2(loadResourceDocument(doc, table, path), qPrintable(doc.errorString()));
    QString error;
    QVERIFY2(saveResourceDocument(doc, path, &error), qPrintable(error));
    QFile saved(path);
    QVERIFY(saved.open(QIODevice::ReadOnly));
    const QByteArray bytes = saved.readAll();
    QCOMPARE(bytes, expected);
    QCOMPARE(doc.toByteArray(), bytes);

    // What was written reads back the same and writes the same bytes again.
    VxResourceDocument again;
    VxResourceElement againTable;
    QVERIFY(loadResourceDocument(again, againTable, path));
    const VxResourceElement s = findResourceById(againTable, u"s"_s);
    QCOMPARE(readResourceField(s, u"Value"_s), u"say \"hi\""_s);
    QCOMPARE(again.toByteArray(), bytes);
}

void TestResourceStore::encodings_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("newValue");
    QTest::addColumn<QByteArray>("written");

    const QByteArray utf8Decl = "<?xml version='1.0' encoding='UTF-8'?>";
    const QByteArray latin1Decl = "<?xml version='1.0' encoding='ISO-8859-1'?>";
    QTest::newRow("UTF-8 keeps non-ASCII text as itself")
        << encodingFixture(utf8Decl, "Zo\xC3\xAB") << u"Zoë"_s << u"Ωμέγα"_s << u"Ωμέγα"_s.toUtf8();
    QTest::newRow("no declaration means UTF-8")
        << encodingFixture({}, "Zo\xC3\xAB") << u"Zoë"_s << u"Ω"_s << u"Ω"_s.toUtf8();
    QTest::newRow("ISO-8859-1 writes a character above U+00FF as a reference")
        << encodingFixture(latin1Decl, "\xE9t\xE9") << u"été"_s << u"café Ω"_s
        << QByteArray("caf\xE9 &#937;");
    QTest::newRow("attribute value gets a reference too")
        << encodingFixture(latin1Decl, "x") << u"x"_s << u"@href Ω"_s
        << QByteArray("href='&#937;'");
    QTest::newRow("character beyond the BMP becomes one reference")
        << encodingFixture(latin1Decl, "x") << u"x"_s << u"\U0001F600"_s << QByteArray("&#128512;");
    QTest::newRow("windows-1252 reads and writes its own bytes")
        << encodingFixture("<?xml version='1.0' encoding='windows-1252'?>", "\x80") << u"€"_s
        << u"€ Ω"_s << QByteArray("\x80 &#937;");
    QTest::newRow("US-ASCII writes everything above 0x7F as references")
        << encodingFixture("<?xml version='1.0' encoding='US-ASCII'?>", "plain") << u"plain"_s
        << u"é"_s << QByteArray("&#233;");

    QStringEncoder utf16(QStringConverter::Utf16LE);
    QTest::newRow("UTF-16 with a byte order mark stays UTF-16")
        << QByteArray("\xFF\xFE") + QByteArray(utf16(QString::fromUtf8(encodingFixture(
                                        "<?xml version='1.0' encoding='UTF-16'?>", "\xC3\xA9"))))
        << u"é"_s << u"Ω"_s << QByteArray(utf16(u"Ω"_s));
}

void TestResourceStore::encodings()
{
    QFETCH(QByteArray, input);
    QFETCH(QString, name);
    QFETCH(QString, newValue);
    QFETCH(QByteArray, written);

    VxResourceDocument doc;
    QVERIFY2(doc.setContent(input), qPrintable(doc.errorString()));
    VxResourceElement resource = findResourceById(doc.table(), u"s"_s);
    QCOMPARE(readResourceField(resource, u"Name"_s), name);
    QVERIFY(setResourceField(resource, u"New"_s, newValue));

    const QByteArray output = doc.toByteArray();
    QVERIFY2(output.contains(written), output.toHex(' ').constData());
    // No character was traded for the encoder's '?'.
    QCOMPARE(output.count('?'), input.count('?'));

    VxResourceDocument reread;
    QVERIFY2(reread.setContent(output), qPrintable(reread.errorString()));
    resource = findResourceById(reread.table(), u"s"_s);
    QCOMPARE(readResourceField(resource, u"Name"_s), name);
    QCOMPARE(readResourceField(resource, u"New"_s), newValue);
    QCOMPARE(reread.toByteArray(), output);
}

void TestResourceStore::badInput_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QString>("error"); // null when the input loads cleanly

    QTest::newRow("empty file") << QByteArray() << u"empty"_s;
    QTest::newRow("whitespace only") << QByteArray("  \r\n ") << u"no document element"_s;
    QTest::newRow("truncated on the third line")
        << QByteArray("<R>\r\n<T>\r\n<A id='a'></A></T") << u"line 3"_s;
    QByteArray garbage;
    for (int i = 0; i < 4096; ++i)
        garbage += char((i * 131 + 7) % 256);
    QTest::newRow("binary garbage") << garbage << u"line"_s;
    QTest::newRow("NUL byte inside text") << QByteArray("<R><T>a\0b</T></R>", 17) << u"NUL"_s;
    QTest::newRow("NUL byte after the document would hide the rest")
        << QByteArray("<R/>\0<junk/>", 12) << u"NUL"_s;
    QTest::newRow("reference to U+0000 would cut the text short")
        << QByteArray("<R><T>a&#x00;b</T></R>") << u"U+0000"_s;
    QTest::newRow("zero-padded reference to a line feed is no NUL")
        << QByteArray("<R><T>&#010;</T></R>") << QString();
    QTest::newRow("nesting 100000 levels deep loads") << nested(100000) << QString();
    QTest::newRow("unsupported encoding")
        << QByteArray("<?xml version='1.0' encoding='x-no-such'?><R/>") << u"x-no-such"_s;
    QTest::newRow("declared UTF-16 but written in single bytes")
        << QByteArray("<?xml version='1.0' encoding='UTF-16'?><R/>") << u"UTF-16"_s;
    QTest::newRow("byte the declared encoding has no character for")
        << QByteArray("<?xml version='1.0' encoding='US-ASCII'?><R>\xE9</R>") << u"US-ASCII"_s;
    QTest::newRow("entity bomb loads without expanding")
        << QByteArray(R"(<?xml version="1.0"?><!DOCTYPE lolz [
            <!ENTITY lol "lol">
            <!ENTITY lol1 "&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;">
            <!ENTITY lol2 "&lol1;&lol1;&lol1;&lol1;&lol1;&lol1;&lol1;&lol1;&lol1;&lol1;">
            <!ENTITY lol3 "&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;">
            <!ENTITY lol4 "&lol3;&lol3;&lol3;&lol3;&lol3;&lol3;&lol3;&lol3;&lol3;&lol3;">
            <!ENTITY lol5 "&lol4;&lol4;&lol4;&lol4;&lol4;&lol4;&lol4;&lol4;&lol4;&lol4;">
            <!ENTITY lol6 "&lol5;&lol5;&lol5;&lol5;&lol5;&lol5;&lol5;&lol5;&lol5;&lol5;">
            <!ENTITY lol7 "&lol6;&lol6;&lol6;&lol6;&lol6;&lol6;&lol6;&lol6;&lol6;&lol6;">
            <!ENTITY lol8 "&lol7;&lol7;&lol7;&lol7;&lol7;&lol7;&lol7;&lol7;&lol7;&lol7;">
            <!ENTITY lol9 "&lol8;&lol8;&lol8;&lol8;&lol8;&lol8;&lol8;&lol8;&lol8;&lol8;">
            ]><lolz><T>&lol9;</T></lolz>)")
        << QString();
    QTest::newRow("UTF-8 byte order mark is skipped")
        << QByteArray("\xEF\xBB\xBF<R><T/></R>") << QString();
}

void TestResourceStore::badInput()
{
    QFETCH(QByteArray, input);
    QFETCH(QString, error);
    VxResourceDocument doc;
    const bool loaded = doc.setContent(input);
    QVERIFY2(loaded == error.isNull(), qPrintable(doc.errorString()));
    if (!loaded) {
        QVERIFY2(doc.errorString().contains(error, Qt::CaseInsensitive),
                 qPrintable(doc.errorString()));
        QVERIFY(doc.table().isNull());
        return;
    }
    // Whatever loads is written out at a size in proportion to what came in, or not at all.
    QVERIFY(doc.toByteArray().size() < 2 * input.size() + 1024 * 1024);
}

void TestResourceStore::hugeFileLoads()
{
    QTemporaryDir dir;
    dir.setAutoRemove(!QTest::currentTestFailed());
    const QString path = dir.filePath(u"huge.xml"_s);
    int count = 0;
    qint64 written = 0;
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("<Resources><Table>\n");
        QByteArray chunk;
        while (written < 100 * 1024 * 1024) {
            chunk.clear();
            for (int i = 0; i < 10000; ++i, ++count)
                chunk += "<XIntResourceDetails id='r" + QByteArray::number(count) +
                         "'><Value>12345</Value><Name>r</Name></XIntResourceDetails>\n";
            written += file.write(chunk);
        }
        file.write("</Table></Resources>\n");
    }
    VxResourceDocument doc;
    VxResourceElement table;
    QVERIFY2(loadResourceDocument(doc, table, path), qPrintable(doc.errorString()));
    const VxResourceElement last = findResourceById(table, u"r%1"_s.arg(count - 1));
    QCOMPARE(readResourceField(last, u"Value"_s), u"12345"_s);
    QVERIFY(findResourceById(table, u"r%1"_s.arg(count)).isNull());
}

void TestResourceStore::loadReportsWhy_data()
{
    QTest::addColumn<QByteArray>("content"); // null: no file at all
    QTest::addColumn<QString>("reason");
    QTest::newRow("missing file") << QByteArray() << u"cannot be read"_s;
    QTest::newRow("path is a folder") << QByteArray("folder") << u"cannot be read"_s;
    QTest::newRow("malformed file") << QByteArray("<R>\n<T>\n</R>") << u"line 3"_s;
    QTest::newRow("empty file") << QByteArray("") << u"empty"_s;
}

void TestResourceStore::loadReportsWhy()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, reason);
    QTemporaryDir dir;
    dir.setAutoRemove(!QTest::currentTestFailed());
    const QString path = dir.filePath(u"area.xml"_s);
    if (content == "folder") {
        QVERIFY(QDir(dir.path()).mkdir(u"area.xml"_s));
    } else if (!content.isNull()) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    VxResourceDocument doc;
    VxResourceElement table = doc.table();
    QVERIFY(!loadResourceDocument(doc, table, path));
    QVERIFY(table.isNull());
    QVERIFY2(doc.errorString().startsWith(QDir::toNativeSeparators(path)),
             qPrintable(doc.errorString()));
    QVERIFY2(doc.errorString().contains(reason), qPrintable(doc.errorString()));
}

void TestResourceStore::saveIsAtomic_data()
{
    QTest::addColumn<QString>("target"); // relative to the test folder
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("saved");
    const QByteArray good = "<R><T><A id='new'/></T></R>";
    QTest::newRow("existing file is replaced") << u"area.xml"_s << good << true;
    QTest::newRow("new file is created") << u"fresh.xml"_s << good << true;
    QTest::newRow("target that is a folder fails") << u"folder.xml"_s << good << false;
    QTest::newRow("missing folder fails") << u"missing/area.xml"_s << good << false;
    QTest::newRow("document that failed to load does not wipe the file")
        << u"area.xml"_s << QByteArray("<R><T>") << false;
    QTest::newRow("document nested too deep to indent is not written")
        << u"area.xml"_s << nested(300) << false;
}

void TestResourceStore::saveIsAtomic()
{
    QFETCH(QString, target);
    QFETCH(QByteArray, content);
    QFETCH(bool, saved);
    QTemporaryDir dir;
    dir.setAutoRemove(!QTest::currentTestFailed());
    const QByteArray old = "<R><T><A id='old'/></T></R>";
    {
        QFile file(dir.filePath(u"area.xml"_s));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(old);
    }
    QVERIFY(QDir(dir.path()).mkdir(u"folder.xml"_s));
    const QStringList before =
        QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);

    VxResourceDocument doc;
    QVERIFY(doc.setContent(content) || !saved);
    QString error;
    const QString path = dir.filePath(target);
    QCOMPARE(saveResourceDocument(doc, path, &error), saved);

    QStringList after =
        QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    QStringList expected = before;
    if (saved && !expected.contains(target))
        expected.append(target);
    after.sort();
    expected.sort();
    QCOMPARE(after, expected);

    QFile original(dir.filePath(u"area.xml"_s));
    QVERIFY(original.open(QIODevice::ReadOnly));
    if (!saved) {
        QVERIFY(error.contains(QDir::toNativeSeparators(path)));
        QCOMPARE(original.readAll(), old);
        return;
    }
    QVERIFY(error.isEmpty());
    VxResourceDocument reread;
    VxResourceElement table;
    QVERIFY(loadResourceDocument(reread, table, path));
    QVERIFY(!findResourceById(table, u"new"_s).isNull());
}

void TestResourceStore::depthLimitFollowsEdits_data()
{
    QTest::addColumn<QString>("edit");
    QTest::addColumn<bool>("saved");
    QTest::newRow("text set on the deepest field goes one level past the limit")
        << u"set"_s << false;
    QTest::newRow("an element copied under the deepest field goes past the limit")
        << u"import"_s << false;
    QTest::newRow("a field added to a shallow resource keeps the document writable")
        << u"shallow"_s << true;
}

// A save measures the document's depth once and later edits keep that figure up to date;
// a stale figure would let a document too deep to indent be written after all.
void TestResourceStore::depthLimitFollowsEdits()
{
    QFETCH(QString, edit);
    QFETCH(bool, saved);
    // Document element, table, resource "r", then fields nested down to level 256 exactly.
    const int fieldLevels = 256 - 3;
    const QByteArray data = "<R><T><E id='r'>" + QByteArray("<a>").repeated(fieldLevels) +
                            QByteArray("</a>").repeated(fieldLevels) +
                            "</E><E id='s'><b/></E></T></R>";
    VxResourceDocument doc;
    QVERIFY(doc.setContent(data));
    QVERIFY(!doc.toByteArray().isEmpty());

    const VxResourceElement resource = findResourceById(doc.table(), u"r"_s);
    const QString deepest = u"a(%1)"_s.arg(fieldLevels - 1);
    QVERIFY(!selectResourceField(resource, deepest).isNull());
    if (edit == "set"_L1) {
        QVERIFY(setResourceField(resource, deepest, u"text"_s));
    } else if (edit == "import"_L1) {
        const VxResourceElement field = selectResourceField(resource, deepest);
        QVERIFY(
            !importResourceElement(field, findResourceById(doc.table(), u"s"_s), u"t"_s).isNull());
    } else {
        QVERIFY(addResourceField(findResourceById(doc.table(), u"s"_s), u"c"_s, u"text"_s));
    }
    QCOMPARE(!doc.toByteArray().isEmpty(), saved);
}

QTEST_GUILESS_MAIN(TestResourceStore)
#include "tst_resourcestore.moc"
