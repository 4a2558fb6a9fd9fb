#include "resources/resourcestore.h"
#include "testutil.h"

#include <QRegularExpression>
#include <QStringEncoder>
#include <QThread>

#include <memory>

#ifndef Q_OS_WIN
#include <unistd.h>
#endif

using namespace Qt::StringLiterals;

namespace {

const QByteArray latin1Decl = "<?xml version='1.0' encoding='ISO-8859-1'?>";

// The written document without its line ends and indentation, to compare with literal XML.
QByteArray compact(const QByteArray &xml)
{
    return QString::fromUtf8(xml).remove(QRegularExpression(u"\r\n *"_s)).toUtf8();
}

} // namespace

class TestResourceStore : public QObject
{
    Q_OBJECT
private slots:
    void findById_data();
    void findById();
    void encodings_data();
    void encodings();
    void badInput_data();
    void badInput();
    void save_data();
    void save();
    void depthLimitFollowsEdits_data();
    void depthLimitFollowsEdits();
    void fields_data();
    void fields();
    void deepFieldsNeedNoStack();
};

void TestResourceStore::findById_data()
{
    QTest::addColumn<QByteArray>("xml");
    QTest::addColumn<QString>("edit"); // after a first lookup: "+tag" makes an element with the id,
                                       // "-field" removes a table child
    QTest::addColumn<QString>("id");
    QTest::addColumn<QString>("tag"); // empty when nothing is found
    const QByteArray doc = R"(<R><T><I id="x"/><U id="x"/><C id="c"><V id="deep"/></C></T></R>)";
    QTest::newRow("duplicate id finds the first in document order")
        << doc << QString() << u"x"_s << u"I"_s;
    QTest::newRow("resource nested below a resource is not a table entry")
        << doc << QString() << u"deep"_s << u""_s;
    QTest::newRow("element created with a taken id stays behind the first")
        << doc << u"+N"_s << u"x"_s << u"I"_s;
    QTest::newRow("table child removed through a field selector is gone")
        << doc << u"-I"_s << u"x"_s << u"U"_s;
    QTest::newRow("element created after a lookup, named beyond the BMP, is found")
        << doc << u"+x\U00010000"_s << u"new"_s << u"x\U00010000"_s;
    QTest::newRow("name the file's encoding cannot hold is refused")
        << latin1Decl + doc << u"+Ωmega"_s << u"new"_s << u""_s;
    QTest::newRow("text made only of a no-break space hides the table")
        << "<R>\xC2\xA0<T/></R>"_ba << u"+A"_s << u"new"_s << u""_s;
}

void TestResourceStore::findById()
{
    QFETCH(QByteArray, xml);
    QFETCH(QString, edit);
    QFETCH(QString, id);
    QFETCH(QString, tag);
    VxResourceDocument doc, reread;
    QVERIFY(doc.setContent(xml));
    const VxResourceElement table = doc.table();
    findResourceById(table, u"c"_s);
    if (edit.startsWith(u'+'))
        createResourceElement(table, id, edit.mid(1));
    else if (edit.startsWith(u'-'))
        QVERIFY(removeResourceField(table, edit.mid(1)));

    // The table goes through the id index, any other parent through a scan, and what was
    // made must survive writing; all must agree.
    QVERIFY2(reread.setContent(doc.toByteArray()), qPrintable(reread.errorString()));
    for (const auto &parent : {table, importResourceElement(table, table, u"k"_s), reread.table()})
        QCOMPARE(findResourceById(parent, id).tagName(), tag);
}

void TestResourceStore::encodings_data()
{
    QTest::addColumn<QByteArray>("declaration");
    QTest::addColumn<QByteArray>("nameBytes");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("newValue"); // replaces a CDATA section

    QTest::newRow("ISO-8859-1 writes a character above U+00FF as a reference, outside CDATA")
        << latin1Decl << "\xE9t\xE9"_ba << u"été"_s << u"café Ω<"_s;
    QTest::newRow("windows-1252 reads its own bytes; a character beyond the BMP survives")
        << "<?xml version='1.0' encoding='windows-1252'?>"_ba
        << "\x80"_ba << u"€"_s << u"€ \U0001F600"_s;
    QTest::newRow("UTF-16 with a byte order mark stays UTF-16")
        << "<?xml version='1.0' encoding='UTF-16'?>"_ba
        << "\xC3\xA9"_ba << u"é"_s << u"Ω"_s;
}

// Read back, the file must hold exactly what was set: a character the encoding lacks must
// neither turn into '?' nor stay a literal reference inside CDATA.
void TestResourceStore::encodings()
{
    QFETCH(QByteArray, declaration);
    QFETCH(QByteArray, nameBytes);
    QFETCH(QString, name);
    QFETCH(QString, newValue);
    QByteArray input = declaration + "<R><T><XStringResourceDetails id='s'><Name>" + nameBytes +
                       "</Name><New><![CDATA[old]]></New></XStringResourceDetails></T></R>";
    if (declaration.contains("UTF-16"))
        input = "\xFF\xFE" + QStringEncoder(QStringConverter::Utf16LE)(QString::fromUtf8(input));
    VxResourceDocument doc, reread;
    QVERIFY2(doc.setContent(input), qPrintable(doc.errorString()));
    QVERIFY(setResourceField(findResourceById(doc.table(), u"s"_s), u"New"_s, newValue));
    const QByteArray output = doc.toByteArray();
    QVERIFY2(reread.setContent(output), qPrintable(reread.errorString()));
    const VxResourceElement resource = findResourceById(reread.table(), u"s"_s);
    QCOMPARE(readResourceField(resource, u"Name"_s), name);
    QCOMPARE(readResourceField(resource, u"New"_s), newValue);
    QCOMPARE(reread.toByteArray(), output);
}

void TestResourceStore::badInput_data()
{
    QTest::addColumn<QByteArray>("input"); // null: no file at all
    QTest::addColumn<QString>("error");    // null when the input loads cleanly

    QTest::newRow("missing file") << QByteArray() << u"cannot be read"_s;
    QTest::newRow("truncated on the third line")
        << "<R>\r\n<T>\r\n<A id='a'></A></T"_ba << u"line 3"_s;
    QTest::newRow("reference to U+0000 would cut the text short")
        << "<R><T>a&#x00;b</T></R>"_ba << u"U+0000"_s;
    QTest::newRow("nesting 100000 levels deep loads")
        << "<a>"_ba.repeated(100000) + "</a>"_ba.repeated(100000) << QString();
    QTest::newRow("100 MB file loads whole")
        << "<R><T>" + "<E id='r'><V>123456789</V></E>\n"_ba.repeated(3'200'000) + "</T></R>"
        << QString();
    QTest::newRow("byte the declared encoding has no character for")
        << "<?xml version='1.0' encoding='US-ASCII'?><R>\xE9</R>"_ba << u"US-ASCII"_s;
    QByteArray bomb = "<?xml version='1.0'?><!DOCTYPE b [<!ENTITY e0 'lol'>";
    for (int i = 1; i <= 9; ++i)
        bomb += u"<!ENTITY e%1 '%2'>"_s.arg(i).arg(u"&e%1;"_s.arg(i - 1).repeated(10)).toUtf8();
    QTest::newRow("entity bomb loads without expanding")
        << bomb + "]><b><T>&e9;</T></b>" << QString();
}

void TestResourceStore::badInput()
{
    QFETCH(QByteArray, input);
    QFETCH(QString, error);
    vxtest::TestDir dir;
    const QString path = dir.filePath(u"area.xml"_s);
    QVERIFY(input.isNull() || vxtest::writeTree(dir.path(), {{u"area.xml"_s, input}}));

    VxResourceDocument doc;
    VxResourceElement table;
    const bool loaded = loadResourceDocument(doc, table, path);
    const QString why = doc.errorString();
    QVERIFY2(loaded == error.isNull(), qPrintable(why));
    // A failure names the file and its cause; whatever loads is written out at a size in
    // proportion to what came in, or not at all.
    QVERIFY2(loaded ? doc.toByteArray().size() < 2 * input.size() + 1024 * 1024
                    : why.startsWith(QDir::toNativeSeparators(path)) && table.isNull() &&
                          why.contains(error, Qt::CaseInsensitive),
             qPrintable(why));
}

void TestResourceStore::save_data()
{
    QTest::addColumn<QString>("target"); // relative to the test folder
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("saved");
    const QByteArray good = R"(<?xml version="1.0" encoding="UTF-8"?><!-- c -->
<R><T>  <E id="s" n="it&apos;s &quot;x&quot;"><V>say "hi"</V><W/></E></T></R>)";
    QTest::newRow("existing file is replaced in the game's layout")
        << u"area.xml"_s << good << true;
    QTest::newRow("target that is a folder fails") << u"folder.xml"_s << good << false;
    QTest::newRow("document that failed to load does not wipe the file")
        << u"area.xml"_s << "<R><T>"_ba << false;
}

void TestResourceStore::save()
{
    QFETCH(QString, target);
    QFETCH(QByteArray, content);
    QFETCH(bool, saved);
    vxtest::TestDir dir;
    QVERIFY(vxtest::writeTree(dir.path(), {{u"area.xml"_s, "<R><T><A id='old'/></T></R>"}}));
    QVERIFY(QDir(dir.path()).mkdir(u"folder.xml"_s));
#ifndef Q_OS_WIN
    // A save replaces the file, so a hard link to the old one keeps the old bytes.
    QVERIFY(::link(QFile::encodeName(dir.filePath(u"area.xml"_s)).constData(),
                   QFile::encodeName(dir.filePath(u"link.xml"_s)).constData()) == 0);
#endif
    const vxtest::Files before = vxtest::readTree(dir.path());
    VxResourceDocument doc;
    QVERIFY(doc.setContent(content) || !saved);
    QString error;
    const QString path = dir.filePath(target);
    QCOMPARE(saveResourceDocument(doc, path, &error), saved);
    QVERIFY2(error.contains(QDir::toNativeSeparators(path)) != saved, qPrintable(error));
    // Nothing is left beside the file, and a failed save leaves the old one as it was.
    const vxtest::Files after = vxtest::readTree(dir.path());
    QVERIFY(after.keys() == before.keys() && (saved || after == before));
    QCOMPARE(after.value(u"link.xml"_s), before.value(u"link.xml"_s));
    if (!saved)
        return;
    // The game's files are Windows text files with single-quoted attributes.
    QCOMPARE(after.value(u"area.xml"_s),
             QByteArrayList({"<?xml version='1.0' encoding='UTF-8'?>", "<!-- c -->", "<R>", "  <T>",
                             "    <E id='s' n='it&apos;s \"x\"'>", "      <V>say \"hi\"</V>",
                             "      <W />", "    </E>", "  </T>", "</R>", ""})
                 .join("\r\n"));
}

void TestResourceStore::depthLimitFollowsEdits_data()
{
    QTest::addColumn<QString>("edit");
    QTest::addColumn<bool>("saved");
    QTest::newRow("text set on the deepest field goes past the limit") << u"set"_s << false;
    QTest::newRow("an element imported above the deepest field goes past it with its child")
        << u"import"_s << false;
    QTest::newRow("a field added to a shallow resource keeps it writable") << u"add"_s << true;
}

// A save measures the document's depth once and later edits keep that figure up to date;
// a stale figure would let a document too deep to indent be written after all.
void TestResourceStore::depthLimitFollowsEdits()
{
    QFETCH(QString, edit);
    QFETCH(bool, saved);
    // Document element, table, resource "r", then fields nested down to level 256 exactly.
    const int fieldLevels = 256 - 3;
    VxResourceDocument doc;
    QVERIFY(doc.setContent("<R><T><E id='r'>" + "<a>"_ba.repeated(fieldLevels) +
                           "</a>"_ba.repeated(fieldLevels) + "</E><E id='s'><b/></E></T></R>") &&
            !doc.toByteArray().isEmpty());

    const VxResourceElement resource = findResourceById(doc.table(), u"r"_s);
    const VxResourceElement shallow = findResourceById(doc.table(), u"s"_s);
    const QString deepest = u"a(%1)"_s.arg(fieldLevels - 1);
    if (edit == "set"_L1)
        QVERIFY(setResourceField(resource, deepest, u"text"_s));
    else if (edit == "import"_L1)
        QVERIFY(
            !importResourceElement(selectResourceField(resource, u"a(%1)"_s.arg(fieldLevels - 2)),
                                   shallow, u"t"_s)
                 .isNull());
    else
        QVERIFY(addResourceField(shallow, u"c"_s, u"text"_s));
    QCOMPARE(!doc.toByteArray().isEmpty(), saved);
}

void TestResourceStore::fields_data()
{
    QTest::addColumn<bool>("many");         // behind 100 filler fields F0..F99, searched by index
    QTest::addColumn<QByteArray>("before"); // the resource's fields; null: no resource at all
    QTest::addColumn<QString>("steps");     // "read S", "set S=v", "add S=v", "remove S", by ';'
    QTest::addColumn<QString>("log");       // what each step gave: the text read, "null", ok, no
    QTest::addColumn<QByteArray>("after");  // the fields, fillers left out
    const auto row = [](const char *name, bool many, const QByteArray &before, const QString &steps,
                        const QString &log, const QByteArray &after) {
        QTest::newRow(name) << many << before << steps << log << after;
    };
    row("colour with alpha wins over vector attributes", false,
        "<V x='9' y='8' b='3' a='4' g='2' r='1' />", u"read V"_s, u"@color 1 2 3 4"_s,
        "<V x='9' y='8' b='3' a='4' g='2' r='1' />");
    row("text and CDATA at any depth are joined in order", false, "<V>a<![CDATA[b]]><i>c</i>d</V>",
        u"read V"_s, u"abcd"_s, {});
    row("empty field reads empty, not null; the plain form looks at direct children only", false,
        "<V /><O><W>x</W></O>", u"read V;read W"_s, u";null"_s, "<V /><O><W>x</W></O>");
    row("index counts nested elements parent first, by the last group", false,
        "<V>a<V>b</V></V><V>c</V>", u"read V(9)(2);read V(99999999999999999999999)"_s, u"c;null"_s,
        {});
    row("invalid colour leaves the empty field it added", false, "", u"add V=@color 1 2"_s, u"no"_s,
        "<V />");
    row("exactly four colour numbers are kept, a fifth is dropped", false, "",
        u"add V=@color 1 2 3 4;add W=@color  1   2 3 4 5"_s, u"ok;ok"_s,
        "<V r='1' g='2' b='3' a='4' /><W r='1' g='2' b='3' a='4' />");
    row("vector with two pieces stores no z, and pieces need not be numbers", false, "",
        u"add V=@vector a b"_s, u"ok"_s, "<V x='a' y='b' />");
    row("text on a colour field clears every value attribute", false,
        "<V o='k' r='1' g='2' b='3' a='4' x='1' y='2' z='3' href='h' />", u"set V=text"_s, u"ok"_s,
        "<V o='k'>text</V>");
    row("colour on a text field keeps the text", false, "<V>t</V>", u"set V=@color 1 2 3"_s,
        u"ok"_s, "<V r='1' g='2' b='3'>t</V>");
    row("index past the only field appends a new one; letters in parentheses are refused", false,
        "<V>a</V>", u"set V(1)=b;set V(x)=c"_s, u"ok;no"_s, "<V>a</V><V>b</V>");
    row("text replaces a CDATA section that stands first", false, "<V><![CDATA[a]]></V>",
        u"set V=x]]>y"_s, u"ok"_s, "<V><![CDATA[x]]]]><![CDATA[>y]]></V>");
    row("missing resource refuses an invalid value", false, {}, u"set V=@color;set V=x"_s,
        u"no;ok"_s, {});
    row("remove takes the selected field out", false, "<V>a</V><N />", u"remove V;remove V"_s,
        u"ok;no"_s, "<N />");
    row("after a removal the twin behind it is selected", true, "<V>1</V><V>2</V>",
        u"read V;remove V;read V"_s, u"1;ok;2"_s, "<V>2</V>");
    row("a processing instruction of the name still hides the field", true, "<?V x?><V>1</V>",
        u"read V;read V(0)"_s, u"null;1"_s, "<?V x?><V>1</V>");
    row("a field added after a search is found by the next", true, "",
        u"read V;set V=a;set V=b;read V"_s, u"null;ok;ok;b"_s, "<V>b</V>");
    row("an added twin does not take the place of the first", true, "<V>1</V>",
        u"add V=2;set V=3;remove V;read V"_s, u"ok;ok;ok;2"_s, "<V>2</V>");
    row("a filler removed and set again goes to the end", true, "",
        u"remove F7;read F7;set F7=x;read F7"_s, u"ok;null;ok;x"_s, "<F7>x</F7>");
}

void TestResourceStore::fields()
{
    QFETCH(bool, many);
    QFETCH(QByteArray, before);
    QFETCH(QString, steps);
    QFETCH(QString, log);
    QFETCH(QByteArray, after);
    QByteArray fillers;
    for (int i = 0; many && i < 100; ++i)
        fillers += "<F" + QByteArray::number(i) + " />";
    VxResourceDocument doc;
    QVERIFY(doc.setContent("<R><T><E id='r'>" + fillers + before + "</E></T></R>"));
    const VxResourceElement resource =
        before.isNull() ? VxResourceElement() : findResourceById(doc.table(), u"r"_s);
    QStringList got;
    for (const QString &step : steps.split(u';')) {
        const QString op = step.section(u' ', 0, 0);
        const QString selector = step.section(u' ', 1).section(u'=', 0, 0);
        const QString value = step.section(u'=', 1);
        if (op == "read"_L1) {
            const QString text = readResourceField(resource, selector);
            QCOMPARE(selectResourceField(resource, selector).isNull(), text.isNull());
            got << (text.isNull() ? u"null"_s : text);
            continue;
        }
        const bool done = op == "set"_L1   ? setResourceField(resource, selector, value)
                          : op == "add"_L1 ? addResourceField(resource, selector, value)
                                           : removeResourceField(resource, selector);
        got << (done ? u"ok"_s : u"no"_s);
    }
    QCOMPARE(got.join(u';'), log);
    if (steps.startsWith("remove F7"_L1))
        fillers.replace("<F7 />", "");
    const QByteArray fields = fillers + (after.isNull() ? before : after);
    QCOMPARE(compact(doc.toByteArray()),
             "<R><T>" + (fields.isEmpty() ? "<E id='r' />" : "<E id='r'>" + fields + "</E>") +
                 "</T></R>");
}

// Fields nested as deep as a file may hold are reached without recursion.
void TestResourceStore::deepFieldsNeedNoStack()
{
    VxResourceDocument doc;
    QVERIFY(doc.setContent("<R><T><E id='r'/></T></R>"));
    const VxResourceElement resource = findResourceById(doc.table(), u"r"_s);
    constexpr int levels = 100000;
    VxResourceElement field = resource;
    for (int i = 0; i < levels; ++i, field = selectResourceField(field, u"D"_s))
        QVERIFY(addResourceField(field, u"D"_s, u"x"_s));
    QCOMPARE(readResourceField(resource, u"D"_s).size(), levels);
    QCOMPARE(readResourceField(resource, u"D(%1)"_s.arg(levels - 1)), u"x"_s);
    // Removed on a thread with a stack smaller than any platform's main thread gets.
    bool removed = false;
    std::unique_ptr<QThread> thread(
        QThread::create([&] { removed = removeResourceField(resource, u"D"_s); }));
    thread->setStackSize(256 * 1024);
    thread->start();
    QVERIFY(thread->wait());
    QVERIFY(removed);
    QVERIFY(selectResourceField(resource, u"D(0)"_s).isNull());
}

QTEST_GUILESS_MAIN(TestResourceStore)
#include "tst_resourcestore.moc"
