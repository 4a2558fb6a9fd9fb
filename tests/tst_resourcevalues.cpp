#include "resources/resourcestore.h"

#include <QTest>
#include <QThread>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

QByteArray wrap(const QByteArray &fields)
{
    return "<R><T><E id='r'>" + fields + "</E></T></R>";
}

// Parsed and written again, so that documents compare by content, not by how they were typed.
QByteArray normalized(const QByteArray &xml)
{
    VxResourceDocument doc;
    return doc.setContent(xml) ? doc.toByteArray() : "unparsable: " + doc.errorString().toUtf8();
}

enum Op { Read, Add, Set, Remove };

} // namespace

class TestResourceValues : public QObject
{
    Q_OBJECT
private slots:
    void fields_data();
    void fields();
    void deepFieldsNeedNoStack();
    void manyFields_data();
    void manyFields();
};

void TestResourceValues::fields_data()
{
    QTest::addColumn<Op>("op");
    QTest::addColumn<QByteArray>("before"); // null: the resource is missing
    QTest::addColumn<QString>("selector");
    QTest::addColumn<QString>("valueText"); // for a read: what it reads, null for no field
    QTest::addColumn<bool>("result");
    QTest::addColumn<QByteArray>("after");

    QTest::newRow("colour with alpha wins over vector attributes")
        << Read << "<V x='9' y='8' b='3' a='4' g='2' r='1'/>"_ba << u"V"_s << u"@color 1 2 3 4"_s;
    QTest::newRow("text and CDATA at any depth are joined in order")
        << Read << "<V>a<![CDATA[b]]><i>c<j>d</j></i>e</V>"_ba << u"V"_s << u"abcde"_s;
    QTest::newRow("empty field reads empty, not null") << Read << "<V/>"_ba << u"V"_s << u""_s;
    QTest::newRow("plain form looks at direct children only")
        << Read << "<O><V>x</V></O>"_ba << u"V"_s << QString();
    QTest::newRow("index counts nested elements parent first, by the last group")
        << Read << "<V>a<V>b</V></V><V>c</V>"_ba << u"V(9)(2)"_s << u"c"_s;
    QTest::newRow("index too large to count selects nothing")
        << Read << "<V>a</V>"_ba << u"V(99999999999999999999999)"_s << QString();

    QTest::newRow("invalid colour leaves the empty field it added")
        << Add << ""_ba << u"V"_s << u"@color 1 2"_s << false << "<V/>"_ba;
    QTest::newRow("colour with five numbers drops the fifth")
        << Add << ""_ba << u"V"_s << u"@color  1   2 3 4 5"_s << true
        << "<V r='1' g='2' b='3' a='4'/>"_ba;
    QTest::newRow("vector with two pieces stores no z, and pieces need not be numbers")
        << Add << ""_ba << u"V"_s << u"@vector a b"_s << true << "<V x='a' y='b'/>"_ba;

    QTest::newRow("text on a colour field clears every value attribute")
        << Set << "<V o='k' r='1' g='2' b='3' a='4' x='1' y='2' z='3' href='h'/>"_ba << u"V"_s
        << u"text"_s << true << "<V o='k'>text</V>"_ba;
    QTest::newRow("colour on a text field keeps the text")
        << Set << "<V>t</V>"_ba << u"V"_s << u"@color 1 2 3"_s << true
        << "<V r='1' g='2' b='3'>t</V>"_ba;
    QTest::newRow("index past the only field appends a new one")
        << Set << "<V>a</V>"_ba << u"V(1)"_s << u"b"_s << true << "<V>a</V><V>b</V>"_ba;
    QTest::newRow("text replaces a CDATA section that stands first")
        << Set << "<V><![CDATA[a]]></V>"_ba << u"V"_s << u"x]]>y"_s << true
        << "<V><![CDATA[x]]]]><![CDATA[>y]]></V>"_ba;
    QTest::newRow("set refuses letters in parentheses")
        << Set << "<V>a</V>"_ba << u"V(x)"_s << u"b"_s << false << "<V>a</V>"_ba;

    QTest::newRow("missing resource refuses an invalid value")
        << Set << QByteArray() << u"V"_s << u"@color"_s << false << ""_ba;
    QTest::newRow("remove takes the selected field out")
        << Remove << "<V>a</V><N/>"_ba << u"V"_s << QString() << true << "<N/>"_ba;
}

void TestResourceValues::fields()
{
    QFETCH(Op, op);
    QFETCH(QByteArray, before);
    QFETCH(QString, selector);
    QFETCH(QString, valueText);
    VxResourceDocument doc;
    QVERIFY(doc.setContent(wrap(before)));
    const VxResourceElement resource =
        before.isNull() ? VxResourceElement() : findResourceById(doc.table(), u"r"_s);
    if (op == Read) {
        const QString read = readResourceField(resource, selector);
        QCOMPARE(read.isNull(), valueText.isNull());
        QCOMPARE(read, valueText);
        QCOMPARE(selectResourceField(resource, selector).isNull(), valueText.isNull());
        return;
    }
    QFETCH(bool, result);
    QFETCH(QByteArray, after);
    if (op == Add)
        QCOMPARE(addResourceField(resource, selector, valueText), result);
    else if (op == Set)
        QCOMPARE(setResourceField(resource, selector, valueText), result);
    else
        QCOMPARE(removeResourceField(resource, selector), result);
    QCOMPARE(normalized(doc.toByteArray()), normalized(wrap(after)));
}

// Fields nested as deep as a file may hold are reached without recursion.
void TestResourceValues::deepFieldsNeedNoStack()
{
    VxResourceDocument doc;
    QVERIFY(doc.setContent(wrap({})));
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

// An element with many children is searched through an index; it must select exactly what a
// walk over the children would, however the children changed before.
void TestResourceValues::manyFields_data()
{
    QTest::addColumn<QByteArray>("fields"); // after 100 filler fields F0..F99
    QTest::addColumn<QStringList>("steps"); // "read S", "set S=v", "add S=v", "remove S"
    QTest::addColumn<QString>("reads");     // what the reads gave, '|'-joined, "null" for none
    QTest::addColumn<QByteArray>("after");  // the fields after the fillers

    QTest::newRow("after a removal the twin behind it is selected")
        << "<V>1</V><V>2</V>"_ba << QStringList{u"read V"_s, u"remove V"_s, u"read V"_s} << u"1|2"_s
        << "<V>2</V>"_ba;
    QTest::newRow("a processing instruction of the name still hides the field")
        << "<?V x?><V>1</V>"_ba << QStringList{u"read V"_s, u"read V(0)"_s} << u"null|1"_s
        << "<?V x?><V>1</V>"_ba;
    QTest::newRow("a field added after a search is found by the next")
        << ""_ba << QStringList{u"read V"_s, u"set V=a"_s, u"set V=b"_s, u"read V"_s} << u"null|b"_s
        << "<V>b</V>"_ba;
    QTest::newRow("an added twin does not take the place of the first")
        << "<V>1</V>"_ba << QStringList{u"add V=2"_s, u"set V=3"_s, u"remove V"_s, u"read V"_s}
        << u"2"_s << "<V>2</V>"_ba;
    QTest::newRow("a filler removed and set again goes to the end")
        << ""_ba << QStringList{u"remove F7"_s, u"read F7"_s, u"set F7=x"_s, u"read F7"_s}
        << u"null|x"_s << "<F7>x</F7>"_ba;
}

void TestResourceValues::manyFields()
{
    QFETCH(QByteArray, fields);
    QFETCH(QStringList, steps);
    QFETCH(QString, reads);
    QFETCH(QByteArray, after);

    QByteArray fillers;
    for (int i = 0; i < 100; ++i)
        fillers += "<F" + QByteArray::number(i) + "/>";
    VxResourceDocument doc;
    QVERIFY(doc.setContent(wrap(fillers + fields)));
    const VxResourceElement resource = findResourceById(doc.table(), u"r"_s);
    QStringList read;
    for (const QString &step : steps) {
        const QString op = step.section(u' ', 0, 0);
        const QString selector = step.section(u' ', 1).section(u'=', 0, 0);
        const QString value = step.section(u'=', 1);
        if (op == u"read"_s) {
            const QString text = readResourceField(resource, selector);
            read << (text.isNull() ? u"null"_s : text);
        } else if (op == u"set"_s) {
            QVERIFY(setResourceField(resource, selector, value));
        } else if (op == u"add"_s) {
            QVERIFY(addResourceField(resource, selector, value));
        } else {
            QVERIFY(removeResourceField(resource, selector));
        }
    }
    QCOMPARE(read.join(u'|'), reads);
    if (steps.contains(u"remove F7"_s))
        fillers.replace("<F7/>", "");
    QCOMPARE(normalized(doc.toByteArray()), normalized(wrap(fillers + after)));
}

QTEST_GUILESS_MAIN(TestResourceValues)
#include "tst_resourcevalues.moc"
