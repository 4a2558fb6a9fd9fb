#include "resources/resourcestore.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

QByteArray wrap(const QByteArray &fields)
{
    return "<Resources><Table><XStringResourceDetails id='r'>" + fields +
           "</XStringResourceDetails></Table></Resources>";
}

// Parsed and written again, so that documents compare by content, not by how they were typed.
QByteArray normalized(const QByteArray &xml)
{
    VxResourceDocument doc;
    if (!doc.setContent(xml))
        return "unparsable: " + doc.errorString().toUtf8();
    return doc.toByteArray();
}

enum class Op { Add, Set, Remove };

} // namespace

class TestResourceValues : public QObject
{
    Q_OBJECT
private slots:
    void classify_data();
    void classify();
    void selectorTag_data();
    void selectorTag();
    void read_data();
    void read();
    void write_data();
    void write();
    void nullResource_data();
    void nullResource();
    void textInCdataTheEncodingCannotHold();
    void deepFieldsNeedNoStack();
};

void TestResourceValues::classify_data()
{
    QTest::addColumn<QString>("valueText");
    QTest::addColumn<int>("kind");
    QTest::newRow("at sign not first is text") << u"a@b"_s << int(VxValueKind::Text);
    QTest::newRow("unknown keyword is invalid") << u"@colour 1 2 3"_s << int(VxValueKind::Invalid);
    QTest::newRow("keyword case matters") << u"@Color 1 2 3"_s << int(VxValueKind::Invalid);
    QTest::newRow("colour counts pieces, not spaces")
        << u"@color   1    2 "_s << int(VxValueKind::Invalid);
    QTest::newRow("tab is not a separator") << u"@color 1\t2 3"_s << int(VxValueKind::Invalid);
    QTest::newRow("keyword with letters appended is still a colour")
        << u"@colorful 1 2 3"_s << int(VxValueKind::Color);
    QTest::newRow("pieces are not checked as numbers")
        << u"@vector a b"_s << int(VxValueKind::Vector);
}

void TestResourceValues::classify()
{
    QFETCH(QString, valueText);
    QFETCH(int, kind);
    QCOMPARE(int(classifyResourceValue(valueText)), kind);
}

void TestResourceValues::selectorTag_data()
{
    QTest::addColumn<QString>("selector");
    QTest::addColumn<QString>("tag");
    QTest::newRow("plain tag") << u"Flags"_s << u"Flags"_s;
    QTest::newRow("every group removed") << u"A(1)(2)"_s << u"A"_s;
    QTest::newRow("only a group is a plain selector") << u"(3)"_s << u"(3)"_s;
    QTest::newRow("letters in the group are no index") << u"Value(x)"_s << u"Value(x)"_s;
    QTest::newRow("group not at the end is no index") << u"A(1)b"_s << u"A(1)b"_s;
    QTest::newRow("nested parentheses keep the outer pair") << u"A((1))(2)"_s << u"A()"_s;
}

void TestResourceValues::selectorTag()
{
    QFETCH(QString, selector);
    QFETCH(QString, tag);
    QCOMPARE(fieldSelectorTag(selector), tag);
}

void TestResourceValues::read_data()
{
    QTest::addColumn<QByteArray>("fields");
    QTest::addColumn<QString>("selector");
    QTest::addColumn<QString>("value"); // null when no field is selected

    QTest::newRow("four colour attributes read with alpha")
        << QByteArray("<Value r='1' g='2' b='3' a='4'/>") << u"Value"_s << u"@color 1 2 3 4"_s;
    QTest::newRow("colour wins over vector attributes")
        << QByteArray("<Value x='9' y='8' b='3' g='2' r='1'/>") << u"Value"_s << u"@color 1 2 3"_s;
    QTest::newRow("x alone reads as the text")
        << QByteArray("<Value x='1'>t</Value>") << u"Value"_s << u"t"_s;
    QTest::newRow("empty href keeps its trailing space")
        << QByteArray("<Value href=''/>") << u"Value"_s << u"@href "_s;
    QTest::newRow("empty attributes still count as present")
        << QByteArray("<Value r='' g='' b=''/>") << u"Value"_s << u"@color   "_s;
    QTest::newRow("text and CDATA at any depth are joined in order")
        << QByteArray("<Value>a<![CDATA[b]]><i>c<j>d</j></i>e</Value>") << u"Value"_s << u"abcde"_s;
    QTest::newRow("empty field reads empty, not null")
        << QByteArray("<Value/>") << u"Value"_s << u""_s;
    QTest::newRow("missing field reads null") << QByteArray("<Value/>") << u"Other"_s << QString();
    QTest::newRow("plain form looks at direct children only")
        << QByteArray("<Outer><Value>x</Value></Outer>") << u"Value"_s << QString();
    QTest::newRow("processing instruction of the same name hides the field")
        << QByteArray("<?Value x?><Value>t</Value>") << u"Value"_s << QString();
    QTest::newRow("index selects the second element")
        << QByteArray("<Value>a</Value><Value>b</Value>") << u"Value(1)"_s << u"b"_s;
    QTest::newRow("index past the last element reads null")
        << QByteArray("<Value>a</Value>") << u"Value(1)"_s << QString();
    QTest::newRow("index counts nested elements parent first")
        << QByteArray("<Value>a<Value>b</Value></Value><Value>c</Value>") << u"Value(2)"_s
        << u"c"_s;
    QTest::newRow("leading zeros in the index")
        << QByteArray("<Value>a</Value><Value>b</Value>") << u"Value(001)"_s << u"b"_s;
    QTest::newRow("several groups select by the last")
        << QByteArray("<Value>a</Value><Value>b</Value>") << u"Value(5)(1)"_s << u"b"_s;
    QTest::newRow("index too large to count selects nothing")
        << QByteArray("<Value>a</Value>") << u"Value(99999999999999999999999)"_s << QString();
    QTest::newRow("selector that is only a group selects nothing")
        << QByteArray("<Value>a</Value>") << u"(0)"_s << QString();
}

void TestResourceValues::read()
{
    QFETCH(QByteArray, fields);
    QFETCH(QString, selector);
    QFETCH(QString, value);
    VxResourceDocument doc;
    QVERIFY2(doc.setContent(wrap(fields)), qPrintable(doc.errorString()));
    const VxResourceElement resource = findResourceById(doc.table(), u"r"_s);
    const QString read = readResourceField(resource, selector);
    QCOMPARE(read.isNull(), value.isNull());
    QCOMPARE(read, value);
    QCOMPARE(selectResourceField(resource, selector).isNull(), value.isNull());
}

void TestResourceValues::write_data()
{
    QTest::addColumn<int>("op");
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QString>("selector");
    QTest::addColumn<QString>("valueText");
    QTest::addColumn<bool>("result");
    QTest::addColumn<QByteArray>("after");

    const int add = int(Op::Add);
    const int set = int(Op::Set);
    const int remove = int(Op::Remove);
    const QByteArray none;

    QTest::newRow("invalid colour leaves the empty field it added")
        << add << none << u"Value"_s << u"@color 1 2"_s << false << QByteArray("<Value/>");
    QTest::newRow("colour with five numbers drops the fifth")
        << add << none << u"Value"_s << u"@color 1 2 3 4 5"_s << true
        << QByteArray("<Value r='1' g='2' b='3' a='4'/>");
    QTest::newRow("runs of spaces between colour numbers")
        << add << none << u"Value"_s << u"@color  1   2 3"_s << true
        << QByteArray("<Value r='1' g='2' b='3'/>");
    QTest::newRow("vector with two numbers stores no z")
        << add << none << u"Value"_s << u"@vector 1 2"_s << true
        << QByteArray("<Value x='1' y='2'/>");
    QTest::newRow("href alone stores an empty href")
        << add << none << u"Value"_s << u"@href"_s << true << QByteArray("<Value href=''/>");
    QTest::newRow("href words joined by one space")
        << add << none << u"Value"_s << u"@href  a    b "_s << true
        << QByteArray("<Value href='a b'/>");
    QTest::newRow("add ignores the index and appends beside an existing field")
        << add << QByteArray("<Value>a</Value>") << u"Value(0)"_s << u"b"_s << true
        << QByteArray("<Value>a</Value><Value>b</Value>");
    QTest::newRow("add refuses an empty selector")
        << add << none << QString() << u"x"_s << false << none;
    QTest::newRow("add refuses a tag that is only groups")
        << add << none << u"(1)(2)"_s << u"x"_s << false << none;

    QTest::newRow("text on a colour field clears every value attribute")
        << set
        << QByteArray("<Value other='k' r='1' g='2' b='3' a='4' x='1' y='2' z='3' href='h'/>")
        << u"Value"_s << u"text"_s << true << QByteArray("<Value other='k'>text</Value>");
    QTest::newRow("colour on a text field keeps the text")
        << set << QByteArray("<Value>t</Value>") << u"Value"_s << u"@color 1 2 3"_s << true
        << QByteArray("<Value r='1' g='2' b='3'>t</Value>");
    QTest::newRow("invalid value still clears the attributes")
        << set << QByteArray("<Value r='1' g='2' b='3'>t</Value>") << u"Value"_s << u"@bad"_s
        << false << QByteArray("<Value>t</Value>");
    QTest::newRow("index past the only field appends a new one")
        << set << QByteArray("<Value>a</Value>") << u"Value(1)"_s << u"b"_s << true
        << QByteArray("<Value>a</Value><Value>b</Value>");
    QTest::newRow("text after the children of a field that starts with an element")
        << set << QByteArray("<Value><i/></Value>") << u"Value"_s << u"t"_s << true
        << QByteArray("<Value><i/>t</Value>");
    QTest::newRow("text replaces only the first text node")
        << set << QByteArray("<Value>a<i/>b</Value>") << u"Value"_s << u"c"_s << true
        << QByteArray("<Value>c<i/>b</Value>");
    QTest::newRow("text replaces a CDATA section that stands first")
        << set << QByteArray("<Value><![CDATA[a]]></Value>") << u"Value"_s << u"x]]>y"_s << true
        << QByteArray("<Value><![CDATA[x]]]]><![CDATA[>y]]></Value>");
    QTest::newRow("text is cut at a NUL") << set << QByteArray("<Value>a</Value>") << u"Value"_s
                                          << u"ab\0cd"_s << true << QByteArray("<Value>ab</Value>");
    QTest::newRow("missing field is created")
        << set << none << u"Name"_s << u"n"_s << true << QByteArray("<Name>n</Name>");
    QTest::newRow("set refuses a selector that is only a group")
        << set << QByteArray("<Value>a</Value>") << u"(3)"_s << u"x"_s << false
        << QByteArray("<Value>a</Value>");
    QTest::newRow("set refuses letters in parentheses")
        << set << QByteArray("<Value>a</Value>") << u"Value(x)"_s << u"@color 1 2 3"_s << false
        << QByteArray("<Value>a</Value>");

    QTest::newRow("remove takes the selected field out")
        << remove << QByteArray("<Value>a</Value><Name/>") << u"Value"_s << QString() << true
        << QByteArray("<Name/>");
    QTest::newRow("remove of a missing field is false")
        << remove << QByteArray("<Name/>") << u"Value"_s << QString() << false
        << QByteArray("<Name/>");
    QTest::newRow("remove by index past the only field is false")
        << remove << QByteArray("<Value>a</Value>") << u"Value(1)"_s << QString() << false
        << QByteArray("<Value>a</Value>");
    QTest::newRow("remove of a field found deeper leaves it in place")
        << remove << QByteArray("<Outer><Value>a</Value></Outer>") << u"Value(0)"_s << QString()
        << true << QByteArray("<Outer><Value>a</Value></Outer>");
}

void TestResourceValues::write()
{
    QFETCH(int, op);
    QFETCH(QByteArray, before);
    QFETCH(QString, selector);
    QFETCH(QString, valueText);
    QFETCH(bool, result);
    QFETCH(QByteArray, after);

    VxResourceDocument doc;
    QVERIFY(doc.setContent(wrap(before)));
    const VxResourceElement resource = findResourceById(doc.table(), u"r"_s);
    bool returned = false;
    switch (Op(op)) {
    case Op::Add:
        returned = addResourceField(resource, selector, valueText);
        break;
    case Op::Set:
        returned = setResourceField(resource, selector, valueText);
        break;
    case Op::Remove:
        returned = removeResourceField(resource, selector);
        break;
    }
    QCOMPARE(returned, result);
    QCOMPARE(normalized(doc.toByteArray()), normalized(wrap(after)));
    QCOMPARE(resource.id(), u"r"_s);
}

void TestResourceValues::nullResource_data()
{
    QTest::addColumn<QString>("selector");
    QTest::addColumn<QString>("valueText");
    QTest::addColumn<bool>("written");
    QTest::newRow("valid value reports true") << u"Value"_s << u"@color 1 2 3"_s << true;
    QTest::newRow("invalid value reports false") << u"Value"_s << u"@color"_s << false;
    QTest::newRow("invalid tag reports false") << u"(1)"_s << u"text"_s << false;
}

void TestResourceValues::nullResource()
{
    QFETCH(QString, selector);
    QFETCH(QString, valueText);
    QFETCH(bool, written);
    const VxResourceElement none;
    QVERIFY(readResourceField(none, selector).isNull());
    QVERIFY(selectResourceField(none, selector).isNull());
    QVERIFY(!removeResourceField(none, selector));
    QCOMPARE(addResourceField(none, selector, valueText), written);
    QCOMPARE(setResourceField(none, selector, valueText), written);
}

void TestResourceValues::textInCdataTheEncodingCannotHold()
{
    VxResourceDocument doc;
    QVERIFY(doc.setContent("<?xml version='1.0' encoding='ISO-8859-1'?>" +
                           wrap("<Value><![CDATA[a]]>b</Value>")));
    const VxResourceElement resource = findResourceById(doc.table(), u"r"_s);
    QVERIFY(setResourceField(resource, u"Value"_s, u"Ω<"_s));
    const QByteArray bytes = doc.toByteArray();
    QVERIFY2(bytes.contains("<Value>&#937;&lt;b</Value>"), bytes.constData());

    VxResourceDocument reread;
    QVERIFY(reread.setContent(bytes));
    QCOMPARE(readResourceField(findResourceById(reread.table(), u"r"_s), u"Value"_s), u"Ω<b"_s);
}

void TestResourceValues::deepFieldsNeedNoStack()
{
    VxResourceDocument doc;
    QVERIFY(doc.setContent(wrap({})));
    const VxResourceElement resource = findResourceById(doc.table(), u"r"_s);
    constexpr int levels = 100000;
    VxResourceElement field = resource;
    for (int i = 0; i < levels; ++i) {
        QVERIFY(addResourceField(field, u"Deep"_s, u"x"_s));
        field = selectResourceField(field, u"Deep"_s);
    }
    QCOMPARE(readResourceField(resource, u"Deep"_s).size(), levels);
    QCOMPARE(readResourceField(resource, u"Deep(%1)"_s.arg(levels - 1)), u"x"_s);
    QVERIFY(readResourceField(resource, u"Deep(%1)"_s.arg(levels)).isNull());

    // Written out, every level would cost its own indentation: refused, not attempted.
    QTemporaryDir dir;
    dir.setAutoRemove(!QTest::currentTestFailed());
    QString error;
    QVERIFY(!saveResourceDocument(doc, dir.filePath(u"deep.xml"_s), &error));
    QVERIFY2(error.contains(u"nested"_s), qPrintable(error));
    QVERIFY(QDir(dir.path()).isEmpty());

    QVERIFY(removeResourceField(resource, u"Deep"_s));
    QVERIFY(selectResourceField(resource, u"Deep(0)"_s).isNull());
}

QTEST_GUILESS_MAIN(TestResourceValues)
#include "tst_resourcevalues.moc"
