#include "resources/resourcestore.h"
#include "testutil.h"

#include <QRegularExpression>
#include <QStringEncoder>

#include <memory>

#ifndef Q_OS_WIN
#include <unistd.h>
#endif

using namespace Qt::StringLiterals;

namespace {

const QByteArray latin1Decl = "<?xml version='1.0' encoding='ISO-8859-1'?>";

// A table holding resource "r" with the given fields; with many, behind 100 filler fields
// F0..F99, so that fields are searched through an index.
QByteArray resource(const QByteArray &fields, bool many = false)
{
    QByteArray fillers;
    for (int i = 0; many && i < 100; ++i)
        fillers += "<F" + QByteArray::number(i) + " />";
    return "<R><T><E id='r'>" + fillers + fields + "</E></T></R>";
}

} // namespace

class TestResourceStore : public QObject
{
    Q_OBJECT
private slots:
    void edits_data();
    void edits();
    void loadAndSave_data();
    void loadAndSave();
};

void TestResourceStore::edits_data()
{
    QTest::addColumn<QByteArray>("xml");
    // Steps on the table and its resource "r", by ';': "read S", "set S=v", "add S=v",
    // "remove S", "find ID" (the tag of the table's entry), "make ID TAG", "in ID" (edit that
    // resource; the table itself without one), "import S ID" (a copy of ID under field S, "."
    // the resource itself),
    // "save" (whether it can be written), "write" (the table written, fillers left out),
    // "reread" (the document read back from what it writes), "again" (the same document read
    // again from it), "drop" (dropUnreadText), "keep" (keepOriginals) and "original ID" (that
    // original written, "-" for none, "unknown" when the document cannot tell).
    QTest::addColumn<QString>("steps");
    QTest::addColumn<QString>("log"); // what each step gave: ok or no, a text, null, -
    const auto row = [](const char *name, const QByteArray &xml, const QString &steps,
                        const QString &log) { QTest::newRow(name) << xml << steps << log; };
    const QByteArray ids = "<R><T><I id='x'/><U id='x'/><C id='c'><V id='deep'/></C></T></R>";
    row("a duplicate id finds the first, also after a make or a removal through a field "
        "selector; a resource below another is no table entry; a name beyond the BMP is found",
        ids,
        u"find x;find deep;find c;make x N;find x;make new x\U00010000;find new;in;remove I;find x"_s,
        u"I;-;C;ok;I;ok;x\U00010000;ok;U"_s);
    // The edges of XML 1.0's name characters: a combining mark may follow but not start, the
    // Greek question mark, the multiplication sign and anything past plane 14 are no names.
    row("names at the edges of what XML allows", "<R><T/></R>",
        u"make a x\u036F;make b x\u037E;make c \u0300x;make d x\u2040;make e x\u2041;"
        u"make f \u00D7;make g x\u00B7;make h \u00B7x;make i 1x;make j -x;make k x-1.a;"
        u"make l \U000EFFFF;make m \U000F0000;make n \u037F"_s,
        u"ok;no;no;ok;no;no;ok;no;no;no;ok;ok;no;ok"_s);
    row("name the file's encoding cannot hold is refused", latin1Decl + ids,
        u"find c;make new Ωmega;find new"_s, u"C;no;-"_s);
    row("text made only of a no-break space hides the table", "<R>\xC2\xA0<T/></R>",
        u"make new A;find new"_s, u"no;-"_s);

    // Characters the encoding lacks neither turn into '?' nor stay literal references in CDATA.
    const QByteArray named = "<R><T><E id='s'><Name>%</Name><New><![CDATA[old]]></New></E></T></R>";
    row("ISO-8859-1 writes a character above U+00FF as a reference, outside CDATA",
        latin1Decl + QByteArray(named).replace("%", "\xE9t\xE9"),
        u"in s;set New=café Ω<;reread;in s;read Name;read New"_s, u"ok;ok;été;café Ω<"_s);
    row("windows-1252 reads its own bytes; a character beyond the BMP survives",
        "<?xml version='1.0' encoding='windows-1252'?>" + QByteArray(named).replace("%", "\x80"),
        u"in s;set New=€ \U0001F600;reread;in s;read Name;read New"_s, u"ok;ok;€;€ \U0001F600"_s);
    row("UTF-16 with a byte order mark stays UTF-16",
        "\xFF\xFE" +
            QStringEncoder(QStringConverter::Utf16LE)("<?xml version='1.0' encoding='UTF-16'?>"_L1 +
                                                      QString::fromUtf8(named).replace(u'%', u'é')),
        u"in s;set New=Ω;reread;in s;read Name;read New"_s, u"ok;ok;é;Ω"_s);

    // Document element, table and resource "r", then fields nested down to level 256 exactly; a
    // save measures the depth once and later edits must keep that figure up to date.
    const QByteArray deep = "<R><T><E id='r'>" + "<a>"_ba.repeated(253) + "</a>"_ba.repeated(253) +
                            "</E><E id='s'><b/></E></T></R>";
    row("a field added to a shallow resource keeps it writable, text on the deepest does not", deep,
        u"save;in s;add c=text;save;in r;set a(252)=text;save"_s, u"ok;ok;ok;ok;no"_s);
    row("an element imported above the deepest field goes past the limit with its child", deep,
        u"save;import a(251) s;save"_s, u"ok;ok;no"_s);

    // Any recursion over a million levels overflows the stack of every platform.
    row("a field nested a million levels deep is read and removed",
        resource("<D>x"_ba.repeated(1'000'000) + "</D>"_ba.repeated(1'000'000)),
        u"read D(999999);remove D;read D(0)"_s, u"x;ok;null"_s);
    row("colour with alpha wins over vector attributes",
        resource("<V x='9' y='8' b='3' a='4' g='2' r='1'/>"), u"read V"_s, u"@color 1 2 3 4"_s);
    row("text and CDATA at any depth are joined in order",
        resource("<V>a<![CDATA[b]]><i>c<j>d</j></i>e</V>"), u"read V"_s, u"abcde"_s);
    row("empty field reads empty, not null; the plain form looks at direct children only",
        resource("<V/><O><W>x</W></O>"), u"read V;read W"_s, u";null"_s);
    row("index counts nested elements parent first, by the last group",
        resource("<V>a<V>b</V></V><V>c</V>"), u"read V(9)(2);read V(99999999999999999999999)"_s,
        u"c;null"_s);
    row("invalid colour leaves the empty field it added; four numbers are kept, a fifth dropped; "
        "a vector with two pieces stores no z, and pieces need not be numbers",
        resource({}),
        u"add V=@color 1 2;add W=@color 1 2 3 4;add X=@color  1   2 3 4 5;add Y=@vector a b;write"_s,
        u"no;ok;ok;ok;<E id='r'><V /><W r='1' g='2' b='3' a='4' /><X r='1' g='2' b='3' a='4' />"
        u"<Y x='a' y='b' /></E>"_s);
    row("text on a colour field clears every value attribute; colour on a text field keeps it",
        resource("<V o='k' r='1' g='2' b='3' a='4' x='1' y='2' z='3' href='h'/><W>t</W>"),
        u"set V=text;set W=@color 1 2 3;write"_s,
        u"ok;ok;<E id='r'><V o='k'>text</V><W r='1' g='2' b='3'>t</W></E>"_s);
    row("index past the only field appends a new one; letters in parentheses are refused",
        resource("<V>a</V>"), u"set V(1)=b;set V(x)=c;write"_s,
        u"ok;no;<E id='r'><V>a</V><V>b</V></E>"_s);
    row("text replaces a CDATA section that stands first", resource("<V><![CDATA[a]]></V>"),
        u"set V=x]]>y;write"_s, u"ok;<E id='r'><V><![CDATA[x]]]]><![CDATA[>y]]></V></E>"_s);
    row("missing resource refuses an invalid value only", resource({}),
        u"in q;set V=@color;set V=x"_s, u"no;ok"_s);
    row("remove takes the selected field out", resource("<V>a</V><N/>"),
        u"remove V;remove V;write"_s, u"ok;no;<E id='r'><N /></E>"_s);
    row("after a removal the twin behind it is selected", resource("<V>1</V><V>2</V>", true),
        u"read V;remove V;read V;write"_s, u"1;ok;2;<E id='r'><V>2</V></E>"_s);
    row("a processing instruction of the name still hides the field",
        resource("<?V x?><V>1</V>", true), u"read V;read V(0)"_s, u"null;1"_s);
    row("a field added after a search is found by the next", resource({}, true),
        u"read V;set V=a;set V=b;read V;write"_s, u"null;ok;ok;b;<E id='r'><V>b</V></E>"_s);
    row("an added twin does not take the place of the first", resource("<V>1</V>", true),
        u"add V=2;set V=3;remove V;read V;write"_s, u"ok;ok;ok;2;<E id='r'><V>2</V></E>"_s);
    row("the first of three twins removed, the next behind another field is selected; the last "
        "removed, none is",
        resource("<V>1</V><W/><V>2</V><V>3</V>", true),
        u"remove V;read V;remove V;remove V;read V;set V=4;write"_s,
        u"ok;2;ok;ok;null;ok;<E id='r'><W /><V>4</V></E>"_s);
    row("a document only looked at drops text on an empty field of the resource, and only there",
        resource("<V><i/></V><W>t</W>"),
        u"drop;set N=x;read N;set W=y;read W;set V=z;read V;set i(0)=q;read V"_s,
        u"ok;ok;;ok;y;ok;z;ok;qz"_s);
    // What "#copy" reads beside a launch's edits: every change to a table entry keeps it first.
    const QByteArray two = "<R><T><E id='r'><V>1</V><W><X>2</X></W></E><E id='s'><V>3</V></E>"
                           "<E id='s'><V>4</V></E></T></R>";
    const QString r = u"<E id='r'><V>1</V><W><X>2</X></W></E>"_s;
    row("an original is as it was before a set, an add and a removal; an unchanged one is the "
        "first with its id",
        two, u"keep;in r;set V=9;add N=n;remove W;original r;original s;write"_s,
        u"ok;ok;ok;ok;"_s + r +
            u";<E id='s'><V>3</V></E>;<E id='r'><V>9</V><N>n</N></E><E id='s'><V>3</V></E>"
            u"<E id='s'><V>4</V></E>"_s);
    row("a change deep inside an entry, or a second one, keeps the entry as it first was", two,
        u"keep;in r;set X(0)=5;set V=8;original r;read X(0)"_s, u"ok;ok;ok;"_s + r + u";5"_s);
    row("an original read before its entry changes stays as it was then", two,
        u"keep;original r;in r;set V=9;original r"_s, u"ok;"_s + r + u";ok;"_s + r);
    row("a copy put into an entry changes it; entries made since are no originals", two,
        u"keep;in r;import W s;make n N;make r Z;original r;original n;find r"_s,
        u"ok;ok;ok;ok;"_s + r + u";-;E"_s);
    row("a field of the table itself, a reading again, or no keep: nothing is known", two,
        u"original r;keep;in;set Q=1;original s;keep;original s;again;original s"_s,
        u"unknown;ok;ok;unknown;ok;<E id='s'><V>3</V></E>;ok;unknown"_s);
    // Past 64 entries the table's names are looked up in an index, which a copy must join.
    row("a copy put into a long table takes the place of the entry it copies when that goes",
        "<R><T>" + QByteArray("<P/>").repeated(64) + "<U id='u'>7</U></T></R>",
        u"in;read Q;import . u;remove U;read U"_s, u"null;ok;ok;7"_s);
    row("a filler removed and set again goes to the end", resource({}, true),
        u"remove F7;read F7;set F7=x;read F7;write"_s, u"ok;null;ok;x;<E id='r'><F7>x</F7></E>"_s);
}

void TestResourceStore::edits()
{
    QFETCH(QByteArray, xml);
    QFETCH(QString, steps);
    QFETCH(QString, log);
    auto doc = std::make_unique<VxResourceDocument>();
    QVERIFY2(doc->setContent(xml), qPrintable(doc->errorString()));
    VxResourceElement element = findResourceById(doc->table(), u"r"_s);
    QStringList got;
    for (const QString &step : steps.split(u';')) {
        const QString op = step.section(u' ', 0, 0);
        const QString arg = step.section(u' ', 1);
        const QString selector = arg.section(u'=', 0, 0);
        const QString value = arg.section(u'=', 1);
        const VxResourceElement table = doc->table();
        const QByteArray written = doc->toByteArray();
        if (op == "drop"_L1 || op == "keep"_L1) {
            op == "drop"_L1 ? doc->dropUnreadText() : doc->keepOriginals();
            got << u"ok"_s;
        } else if (op == "again"_L1) {
            got << (doc->setContent(written) ? u"ok"_s : u"no"_s);
        } else if (op == "original"_L1) {
            VxResourceElement original;
            if (!findOriginalById(*doc, arg, original)) {
                got << u"unknown"_s;
            } else if (original.isNull()) {
                got << u"-"_s;
            } else {
                VxResourceDocument alone;
                QVERIFY(alone.setContent("<R><T/></R>"));
                importResourceElement(alone.table(), original, original.id());
                got << QString::fromUtf8(vxtest::compactXml(alone.toByteArray()))
                           .remove(QRegularExpression(u"</?[RT]>"_s));
            }
        } else if (op == "in"_L1) {
            element = arg.isEmpty() ? table : findResourceById(table, arg);
        } else if (op == "find"_L1) {
            // The table goes through the id index, any other parent through a scan, and what
            // was made must survive writing; all must agree.
            VxResourceDocument reread;
            QVERIFY2(reread.setContent(written), qPrintable(reread.errorString()));
            const QString tag = findResourceById(table, arg).tagName();
            QCOMPARE(findResourceById(reread.table(), arg).tagName(), tag);
            QCOMPARE(
                findResourceById(importResourceElement(reread.table(), reread.table(), u"k"_s), arg)
                    .tagName(),
                tag);
            got << (tag.isEmpty() ? u"-"_s : tag);
        } else if (op == "read"_L1) {
            const QString text = readResourceField(element, selector);
            QCOMPARE(selectResourceField(element, selector).isNull(), text.isNull());
            got << (text.isNull() ? u"null"_s : text);
        } else if (op == "write"_L1) {
            got << QString::fromUtf8(vxtest::compactXml(written))
                       .remove(QRegularExpression(u"<F\\d+ />|</?[RT]>"_s));
        } else if (op == "reread"_L1) {
            doc = std::make_unique<VxResourceDocument>();
            QVERIFY2(doc->setContent(written), qPrintable(doc->errorString()));
            QCOMPARE(doc->toByteArray(), written);
            got << (written.isEmpty() ? u"no"_s : u"ok"_s);
        } else {
            const bool done =
                op == "set"_L1   ? setResourceField(element, selector, value)
                : op == "add"_L1 ? addResourceField(element, selector, value)
                : op == "make"_L1
                    ? !createResourceElement(table, arg.section(u' ', 0, 0), arg.section(u' ', 1))
                           .isNull()
                : op == "import"_L1
                    ? !importResourceElement(arg.startsWith(u'.')
                                                 ? element
                                                 : selectResourceField(element, arg.section(u' ', 0, 0)),
                                             findResourceById(table, arg.section(u' ', 1)), u"t"_s)
                           .isNull()
                : op == "save"_L1 ? !written.isEmpty()
                                  : removeResourceField(element, selector);
            got << (done ? u"ok"_s : u"no"_s);
        }
    }
    QCOMPARE(got.join(u';'), log);
}

void TestResourceStore::loadAndSave_data()
{
    QTest::addColumn<QByteArray>("input");   // area.xml; null: no file at all
    QTest::addColumn<QString>("error");      // words of the load error, null when it loads
    QTest::addColumn<QString>("target");     // where the document is saved again
    QTest::addColumn<QByteArray>("written"); // null: the save fails; "*": any size in proportion
    const QByteArray good = R"(<?xml version="1.0" encoding="UTF-8"?><!-- c -->
<R><T>  <E id="s" n="it&apos;s &quot;x&quot;"><V>say "hi"</V><W/></E></T></R>)";
    QTest::newRow("existing file is replaced in the game's layout")
        << good << QString() << u"area.xml"_s
        << QByteArrayList({"<?xml version='1.0' encoding='UTF-8'?>", "<!-- c -->", "<R>", "  <T>",
                           "    <E id='s' n='it&apos;s \"x\"'>", "      <V>say \"hi\"</V>",
                           "      <W />", "    </E>", "  </T>", "</R>", ""})
               .join("\r\n");
    QTest::newRow("target that is a folder fails")
        << good << QString() << u"folder.xml"_s << QByteArray();
    QTest::newRow("missing file") << QByteArray() << u"cannot be read"_s << u"area.xml"_s
                                  << QByteArray();
    QTest::newRow("truncated on the third line, and the failed document does not wipe the file")
        << "<R>\r\n<T>\r\n<A id='a'></A></T"_ba << u"line 3"_s << u"area.xml"_s << QByteArray();
    // The parse rewrites the text it goes through, newlines in an attribute into spaces.
    QTest::newRow("an error is placed in the file as it was, past newlines in an attribute")
        << "<R>\n<T>\n<A id='a\nb\nc'/>\n<B></T>"_ba << u"line 6, column 6:"_s << u"area.xml"_s
        << QByteArray();
    QTest::newRow("an error in a file of another encoding is placed in it as well")
        << "<?xml version='1.0' encoding='ISO-8859-1'?>\n<R a='\xE9\n\xE9'>\n<T></R>"_ba
        << u"line 4, column 6:"_s << u"area.xml"_s << QByteArray();
    QTest::newRow("reference to U+0000 would cut the text short")
        << "<R><T>a&#x00;b</T></R>"_ba << u"U+0000"_s << u"area.xml"_s << QByteArray();
    QTest::newRow("a reference with no digits is no reference to U+0000")
        << "<R><T>a&#x;b&#;c</T></R>"_ba << QString() << u"area.xml"_s << "*"_ba;
    QTest::newRow("nesting 100000 levels deep loads but is not written")
        << "<a>"_ba.repeated(100000) + "</a>"_ba.repeated(100000) << QString() << u"area.xml"_s
        << QByteArray();
    QTest::newRow("100 MB file loads whole")
        << "<R><T>" + "<E id='r'><V>123456789</V></E>\n"_ba.repeated(3'200'000) + "</T></R>"
        << QString() << u"area.xml"_s << "*"_ba;
    QTest::newRow("byte the declared encoding has no character for")
        << "<?xml version='1.0' encoding='US-ASCII'?><R>\xE9</R>"_ba << u"US-ASCII"_s
        << u"area.xml"_s << QByteArray();
    QByteArray bomb = "<?xml version='1.0'?><!DOCTYPE b [<!ENTITY e0 'lol'>";
    for (int i = 1; i <= 9; ++i)
        bomb += u"<!ENTITY e%1 '%2'>"_s.arg(i).arg(u"&e%1;"_s.arg(i - 1).repeated(10)).toUtf8();
    QTest::newRow("entity bomb loads without expanding")
        << bomb + "]><b><T>&e9;</T></b>" << QString() << u"area.xml"_s << "*"_ba;
}

void TestResourceStore::loadAndSave()
{
    QFETCH(QByteArray, input);
    QFETCH(QString, error);
    QFETCH(QString, target);
    QFETCH(QByteArray, written);
    vxtest::TestDir dir;
    const QString path = dir.filePath(u"area.xml"_s);
    QVERIFY(input.isNull() || vxtest::writeTree(dir.path(), {{u"area.xml"_s, input}}));
    QVERIFY(QDir(dir.path()).mkdir(u"folder.xml"_s));
#ifndef Q_OS_WIN
    // A save replaces the file, so a hard link to the old one keeps the old bytes.
    QVERIFY(input.isNull() ||
            ::link(QFile::encodeName(path).constData(),
                   QFile::encodeName(dir.filePath(u"link.xml"_s)).constData()) == 0);
#endif
    const vxtest::Files before = vxtest::readTree(dir.path());

    VxResourceDocument doc;
    VxResourceElement table;
    const bool loaded = loadResourceDocument(doc, table, path);
    const QString why = doc.errorString();
    // A failure names the file and its cause.
    QVERIFY2(loaded == error.isNull() &&
                 (loaded || (why.startsWith(QDir::toNativeSeparators(path)) && table.isNull() &&
                             why.contains(error, Qt::CaseInsensitive))),
             qPrintable(why));
    const QString targetPath = dir.filePath(target);
    QString saveError;
    const bool saved = saveResourceDocument(doc, targetPath, &saveError);
    QCOMPARE(saved, !written.isNull());
    QVERIFY2(saveError.contains(QDir::toNativeSeparators(targetPath)) != saved,
             qPrintable(saveError));
    // Nothing is left beside the file, and a failed save leaves the old one as it was.
    const vxtest::Files after = vxtest::readTree(dir.path());
    QVERIFY(after.keys() == before.keys() && (saved || after == before));
    QCOMPARE(after.value(u"link.xml"_s), before.value(u"link.xml"_s));
    if (written == "*")
        QVERIFY(after.value(target).size() < 2 * input.size() + 1024 * 1024);
    else if (saved)
        QCOMPARE(after.value(target), written);
}

QTEST_GUILESS_MAIN(TestResourceStore)
#include "tst_resourcestore.moc"
