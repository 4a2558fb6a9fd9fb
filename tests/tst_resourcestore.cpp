#include "resources/resourcestore.h"

#include <QDir>
#include <QFile>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

const QByteArray latin1Decl = "<?xml version='1.0' encoding='ISO-8859-1'?>";

QByteArray nested(int levels)
{
    return "<a>"_ba.repeated(levels) + "</a>"_ba.repeated(levels);
}

QByteArray encodingFixture(const QByteArray &declaration, const QByteArray &nameBytes)
{
    return declaration + "<Resources><Table><XStringResourceDetails id='s'><Name>" + nameBytes +
           "</Name><New><![CDATA[old]]></New></XStringResourceDetails></Table></Resources>";
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace

class TestResourceStore : public QObject
{
    Q_OBJECT
private slots:
    void findById_data();
    void findById();
    void create_data();
    void create();
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
    QTest::addColumn<QString>("edit"); // made after a first lookup has built the id index
    QTest::addColumn<QString>("id");
    QTest::addColumn<QString>("tag"); // empty when nothing is found
    QTest::newRow("duplicate id finds the first in document order") << u""_s << u"x"_s << u"I"_s;
    QTest::newRow("resource nested below a resource is not a table entry")
        << u""_s << u"deep"_s << u""_s;
    QTest::newRow("empty id finds the first element without one") << u""_s << u""_s << u"F"_s;
    QTest::newRow("id with a NUL never matches a stored id") << u""_s << u"x\0"_s << u""_s;
    QTest::newRow("element created after a lookup is found") << u"create"_s << u"new"_s << u"N"_s;
    QTest::newRow("element created with a taken id stays behind the first")
        << u"create"_s << u"x"_s << u"I"_s;
    QTest::newRow("table child removed through a field selector is gone")
        << u"remove"_s << u"x"_s << u"U"_s;
}

void TestResourceStore::findById()
{
    QFETCH(QString, edit);
    QFETCH(QString, id);
    QFETCH(QString, tag);
    VxResourceDocument doc;
    QVERIFY(doc.setContent(R"(<R><T><I id="x"/><U id="x"/><!-- skipped --><F/><S id=""/>
        <C id="c"><V id="deep"/></C></T></R>)"));
    const VxResourceElement table = doc.table();
    QVERIFY(!findResourceById(table, u"c"_s).isNull());
    if (edit == "create"_L1)
        QVERIFY(!createResourceElement(table, id, u"N"_s).isNull());
    else if (edit == "remove"_L1)
        QVERIFY(removeResourceField(table, u"I"_s));

    // The table goes through the id index, any other parent through a scan; both must agree.
    const VxResourceElement copy = importResourceElement(table, table, u"copy"_s);
    for (const VxResourceElement &parent : {table, copy})
        QCOMPARE(findResourceById(parent, id).tagName(), tag);
}

void TestResourceStore::create_data()
{
    QTest::addColumn<QByteArray>("xml");
    QTest::addColumn<QString>("tag");
    QTest::addColumn<bool>("accepted");
    const QByteArray plain = "<R><T/></R>";
    QTest::newRow("letter beyond the BMP") << plain << u"x\U00010000"_s << true;
    QTest::newRow("name the file's encoding cannot hold")
        << latin1Decl + plain << u"Ωmega"_s << false;
    QTest::newRow("name the file's encoding can hold") << latin1Decl + plain << u"Élan"_s << true;
    QTest::newRow("whitespace before the table is dropped")
        << "<R>\r\n  \t<T/></R>"_ba << u"A"_s << true;
    QTest::newRow("comment before the table hides it")
        << "<R><!-- c --><T/></R>"_ba << u"A"_s << false;
    QTest::newRow("text made only of a no-break space hides the table")
        << "<R>\xC2\xA0<T/></R>"_ba << u"A"_s << false;
}

void TestResourceStore::create()
{
    QFETCH(QByteArray, xml);
    QFETCH(QString, tag);
    QFETCH(bool, accepted);
    VxResourceDocument doc;
    QVERIFY(doc.setContent(xml));
    const QByteArray before = doc.toByteArray();
    QCOMPARE(!createResourceElement(doc.table(), u"new"_s, tag).isNull(), accepted);
    if (!accepted) {
        QCOMPARE(doc.toByteArray(), before);
        return;
    }
    VxResourceDocument reread;
    QVERIFY2(reread.setContent(doc.toByteArray()), qPrintable(reread.errorString()));
    QCOMPARE(findResourceById(reread.table(), u"new"_s).tagName(), tag);
}

void TestResourceStore::encodings_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("newValue"); // replaces a CDATA section

    QTest::newRow("no declaration means UTF-8")
        << encodingFixture({}, "Zo\xC3\xAB") << u"Zoë"_s << u"Ωμέγα"_s;
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
    VxResourceDocument doc;
    QVERIFY2(doc.setContent(input), qPrintable(doc.errorString()));
    QCOMPARE(readResourceField(findResourceById(doc.table(), u"s"_s), u"Name"_s), name);
    QVERIFY(setResourceField(findResourceById(doc.table(), u"s"_s), u"New"_s, newValue));

    const QByteArray output = doc.toByteArray();
    VxResourceDocument reread;
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
    QTest::newRow("empty file") << ""_ba << u"empty"_s;
    QTest::newRow("truncated on the third line")
        << "<R>\r\n<T>\r\n<A id='a'></A></T"_ba << u"line 3"_s;
    QTest::newRow("NUL byte after the document would hide the rest")
        << "<R/>\0<junk/>"_ba << u"NUL"_s;
    QTest::newRow("reference to U+0000 would cut the text short")
        << "<R><T>a&#x00;b</T></R>"_ba << u"U+0000"_s;
    QTest::newRow("zero-padded reference to a line feed is no NUL")
        << "<R><T>&#010;</T></R>"_ba << QString();
    QTest::newRow("nesting 100000 levels deep loads") << nested(100000) << QString();
    const QByteArray record = "<E id='r'><Value>12345</Value><Name>r</Name></E>\n";
    QTest::newRow("100 MB file loads whole")
        << "<R><T>" + record.repeated(2'000'000) + "</T></R>" << QString();
    QTest::newRow("unsupported encoding")
        << "<?xml version='1.0' encoding='x-no-such'?><R/>"_ba << u"x-no-such"_s;
    QTest::newRow("declared UTF-16 but written in single bytes")
        << "<?xml version='1.0' encoding='UTF-16'?><R/>"_ba << u"UTF-16"_s;
    QTest::newRow("byte the declared encoding has no character for")
        << "<?xml version='1.0' encoding='US-ASCII'?><R>\xE9</R>"_ba << u"US-ASCII"_s;
    QByteArray bomb = "<?xml version='1.0'?><!DOCTYPE b [<!ENTITY e0 'lol'>";
    for (int i = 1; i <= 9; ++i)
        bomb += "<!ENTITY e" + QByteArray::number(i) + " '" +
                ("&e" + QByteArray::number(i - 1) + ";").repeated(10) + "'>";
    QTest::newRow("entity bomb loads without expanding")
        << bomb + "]><b><T>&e9;</T></b>" << QString();
}

void TestResourceStore::badInput()
{
    QFETCH(QByteArray, input);
    QFETCH(QString, error);
    QTemporaryDir dir;
    dir.setAutoRemove(!QTest::currentTestFailed());
    const QString path = dir.filePath(u"area.xml"_s);
    QVERIFY(input.isNull() || writeFile(path, input));

    VxResourceDocument doc;
    VxResourceElement table;
    const bool loaded = loadResourceDocument(doc, table, path);
    const QString why = doc.errorString();
    QVERIFY2(loaded == error.isNull(), qPrintable(why));
    if (!loaded) {
        QVERIFY2(why.startsWith(QDir::toNativeSeparators(path)), qPrintable(why));
        QVERIFY2(why.contains(error, Qt::CaseInsensitive), qPrintable(why));
        QVERIFY(table.isNull());
        return;
    }
    // Whatever loads is written out at a size in proportion to what came in, or not at all.
    QVERIFY(doc.toByteArray().size() < 2 * input.size() + 1024 * 1024);
}

void TestResourceStore::save_data()
{
    QTest::addColumn<QString>("target"); // relative to the test folder
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("saved");
    const QByteArray good =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!-- c -->\n<R><T>  <E "
        "id=\"s\" n=\"it&apos;s &quot;x&quot;\"><V>say \"hi\"</V><W/></E></T></R>";
    QTest::newRow("existing file is replaced in the game's layout")
        << u"area.xml"_s << good << true;
    QTest::newRow("target that is a folder fails") << u"folder.xml"_s << good << false;
    QTest::newRow("document that failed to load does not wipe the file")
        << u"area.xml"_s << "<R><T>"_ba << false;
    QTest::newRow("document nested too deep to indent is not written")
        << u"area.xml"_s << nested(300) << false;
}

void TestResourceStore::save()
{
    QFETCH(QString, target);
    QFETCH(QByteArray, content);
    QFETCH(bool, saved);
    QTemporaryDir dir;
    dir.setAutoRemove(!QTest::currentTestFailed());
    const QByteArray old = "<R><T><A id='old'/></T></R>";
    QVERIFY(writeFile(dir.filePath(u"area.xml"_s), old));
    QVERIFY(QDir(dir.path()).mkdir(u"folder.xml"_s));
    const QStringList before = QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden);

    VxResourceDocument doc;
    QVERIFY(doc.setContent(content) || !saved);
    QString error;
    const QString path = dir.filePath(target);
    QCOMPARE(saveResourceDocument(doc, path, &error), saved);
    // Nothing is left beside the file, whether the save worked or not.
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden), before);
    QVERIFY2(error.contains(QDir::toNativeSeparators(path)) != saved, qPrintable(error));

    QFile file(dir.filePath(u"area.xml"_s));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    if (!saved) {
        QCOMPARE(bytes, old);
        return;
    }
    // The game's files are Windows text files with single-quoted attributes.
    QCOMPARE(bytes,
             QByteArrayList({"<?xml version='1.0' encoding='UTF-8'?>", "<!-- c -->", "<R>", "  <T>",
                             "    <E id='s' n='it&apos;s \"x\"'>", "      <V>say \"hi\"</V>",
                             "      <W />", "    </E>", "  </T>", "</R>", ""})
                 .join("\r\n"));
    QCOMPARE(doc.toByteArray(), bytes);
    // What was written reads back and writes the same bytes again.
    VxResourceElement table;
    QVERIFY(loadResourceDocument(doc, table, path));
    QCOMPARE(doc.toByteArray(), bytes);
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
    const QByteArray data = "<R><T><E id='r'>" + "<a>"_ba.repeated(fieldLevels) +
                            "</a>"_ba.repeated(fieldLevels) + "</E><E id='s'><b/></E></T></R>";
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
