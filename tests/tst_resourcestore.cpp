#include "resources/resourcestore.h"
#include "testutil.h"

#include <QStringEncoder>

using namespace Qt::StringLiterals;

namespace {

const QByteArray latin1Decl = "<?xml version='1.0' encoding='ISO-8859-1'?>";

QByteArray encodingFixture(const QByteArray &declaration, const QByteArray &nameBytes)
{
    return declaration + "<Resources><Table><XStringResourceDetails id='s'><Name>" + nameBytes +
           "</Name><New><![CDATA[old]]></New></XStringResourceDetails></Table></Resources>";
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
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("newValue"); // replaces a CDATA section

    QTest::newRow("ISO-8859-1 writes a character above U+00FF as a reference, outside CDATA")
        << encodingFixture(latin1Decl, "\xE9t\xE9") << u"été"_s << u"café Ω<"_s;
    QTest::newRow("windows-1252 reads its own bytes; a character beyond the BMP survives")
        << encodingFixture("<?xml version='1.0' encoding='windows-1252'?>", "\x80") << u"€"_s
        << u"€ \U0001F600"_s;
    QStringEncoder utf16(QStringConverter::Utf16LE);
    QTest::newRow("UTF-16 with a byte order mark stays UTF-16")
        << "\xFF\xFE"_ba + QByteArray(utf16(QString::fromUtf8(encodingFixture(
                               "<?xml version='1.0' encoding='UTF-16'?>", "\xC3\xA9"))))
        << u"é"_s << u"Ω"_s;
}

// Read back, the file must hold exactly what was set: a character the encoding lacks must
// neither turn into '?' nor stay a literal reference inside CDATA.
void TestResourceStore::encodings()
{
    QFETCH(QByteArray, input);
    QFETCH(QString, name);
    QFETCH(QString, newValue);
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
    if (!saved)
        return;
    // The game's files are Windows text files with single-quoted attributes.
    QCOMPARE(after.value(u"area.xml"_s),
             QByteArrayList({"<?xml version='1.0' encoding='UTF-8'?>", "<!-- c -->", "<R>", "  <T>",
                             "    <E id='s' n='it&apos;s \"x\"'>", "      <V>say \"hi\"</V>",
                             "      <W />", "    </E>", "  </T>", "</R>", ""})
                 .join("\r\n"));
    // What was written reads back and writes the same bytes again.
    VxResourceElement table;
    QVERIFY(loadResourceDocument(doc, table, path));
    QCOMPARE(doc.toByteArray(), after.value(u"area.xml"_s));
}

void TestResourceStore::depthLimitFollowsEdits_data()
{
    QTest::addColumn<QString>("edit");
    QTest::addColumn<bool>("saved");
    QTest::newRow("text set on the deepest field goes past the limit") << u"set"_s << false;
    QTest::newRow("an element imported under the deepest field goes past it")
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
        QVERIFY(!importResourceElement(selectResourceField(resource, deepest), shallow, u"t"_s)
                     .isNull());
    else
        QVERIFY(addResourceField(shallow, u"c"_s, u"text"_s));
    QCOMPARE(!doc.toByteArray().isEmpty(), saved);
}

QTEST_GUILESS_MAIN(TestResourceStore)
#include "tst_resourcestore.moc"
