#include "tweak/tweakcompiler.h"

#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// The comment and blank rules written as the plain regex chain; the hand-written passes
// must give the same text for every input.
QString regexChain(QString text)
{
    const auto options = QRegularExpression::DotMatchesEverythingOption |
                         QRegularExpression::UseUnicodePropertiesOption;
    static const std::pair<QRegularExpression, QString> steps[] = {
        {QRegularExpression(u"//[^\\n]*\\n|/\\*.*\\*/"_s, options), u""_s},
        {QRegularExpression(u"\\n\\s*(\\S)"_s, options), u"\n\\1"_s},
        {QRegularExpression(u"(\\S)[^\\S\\n]*="_s, options), u"\\1="_s},
        {QRegularExpression(u"=[^\\S\\n]*(\\S)"_s, options), u"=\\1"_s},
        {QRegularExpression(u"(\\S)\\s*\\n"_s, options), u"\\1\n"_s},
        {QRegularExpression(u"\\n\\s*\\n"_s, options), u"\n"_s},
        {QRegularExpression(u"[^\\S\\n]+"_s, options), u" "_s},
        {QRegularExpression(u"\\[\\["_s, options), u"/*"_s},
        {QRegularExpression(u"\\]\\]"_s, options), u"*/"_s},
    };
    for (const auto &[pattern, replacement] : steps)
        text.replace(pattern, replacement);
    return text.trimmed();
}

QString joined(const QList<VxTweakLine> &lines)
{
    QStringList texts;
    for (const VxTweakLine &line : lines)
        texts << line.text;
    return texts.join(u'\n');
}

} // namespace

class TestTweakText : public QObject
{
    Q_OBJECT
private slots:
    void normalizes_data();
    void normalizes();
    void matchesRegexChain();
    void decodes_data();
    void decodes();
    void survivesBadInput_data();
    void survivesBadInput();
    void unreadableFileIsReported();
};

void TestTweakText::normalizes_data()
{
    QTest::addColumn<QString>("raw");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QList<int>>("sourceLines"); // of each statement line

    QTest::newRow("indentation, blanks around = and runs of blanks in a value go")
        << u"\n   Name   =   Big   Bad\tWolf\n"_s << u"Name=Big Bad Wolf"_s << QList<int>{2};
    QTest::newRow("a line comment joins the next line")
        << u"Speed=5 // fast\nPower=3\nA=1"_s << u"Speed=5 Power=3\nA=1"_s << QList<int>{1, 3};
    QTest::newRow("two block comments swallow the statement between them")
        << u"A=1\n/* first */\nB=2\n/* second */\nC=3\n"_s << u"A=1\nC=3"_s << QList<int>{1, 5};
    QTest::newRow("a /* inside a line comment goes with it")
        << u"A=1 // see /*\nB=2\n*/ C=3"_s << u"A=1 B=2\n*/ C=3"_s << QList<int>{1, 3};
    QTest::newRow("the bracket escapes become comment markers after comments go")
        << u"Text=[[note]]"_s << u"Text=/*note*/"_s << QList<int>{1};
    QTest::newRow("blank, indented and commented lines leave no trace but count")
        << u"// c\n\n   A=1\n\t\n/* x\n y */ B = 2  \n\n"_s << u"A=1\nB=2"_s << QList<int>{3, 6};
    QTest::newRow("a lone carriage return and a no-break space are blanks")
        << u"A\u00a0=\u00a01\rB"_s << u"A=1 B"_s << QList<int>{1};
    QTest::newRow("statement lines end at the first NUL")
        << u"A=1\nB=x\u0000y\nC=3"_s << u"A=1\nB=x"_s << QList<int>{1, 2};
}

void TestTweakText::normalizes()
{
    QFETCH(QString, raw);
    QFETCH(QString, expected);
    QFETCH(QList<int>, sourceLines);
    QCOMPARE(regexChain(raw).section(QChar(0), 0, 0), expected);
    const QList<VxTweakLine> lines = tweakStatementLines(raw);
    QCOMPARE(joined(lines), expected);
    QList<int> gotLines;
    for (const VxTweakLine &line : lines)
        gotLines << line.sourceLine;
    QCOMPARE(gotLines, sourceLines);
}

void TestTweakText::matchesRegexChain()
{
    // Short strings over the characters the rules care about find the corner cases of
    // greedy comments, back-tracking white-space runs and overlapping escapes.
    const QString alphabet = u"/*\n \t=a[]\r#\u00a0\u2028\u3000b\v"_s;
    QRandomGenerator random(20240601);
    for (int round = 0; round < 60000; ++round) {
        const int length = int(random.bounded(16));
        QString raw;
        for (int k = 0; k < length; ++k)
            raw += alphabet.at(random.bounded(int(alphabet.size())));
        const QString expected = regexChain(raw);
        // The pairs name the input that failed.
        QCOMPARE(std::pair(raw, normalizeTweakText(raw)), std::pair(raw, expected));
        QCOMPARE(std::pair(raw, joined(tweakStatementLines(raw))), std::pair(raw, expected));
    }
}

void TestTweakText::decodes_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("expected");

    QTest::newRow("valid UTF-8 without a mark is UTF-8")
        << QByteArray("Name=Caf\xc3\xa9") << u"Name=Caf\u00e9"_s;
    QTest::newRow("invalid UTF-8 falls back to 8-bit")
        << QByteArray("Name=Caf\xe9") << u"Name=Caf\u00e9"_s;
    QTest::newRow("a truncated UTF-8 sequence at the end is not UTF-8")
        << QByteArray("A=\xc3") << u"A=\u00c3"_s;
    QTest::newRow("a UTF-8 mark is dropped") << QByteArray("\xef\xbb\xbf") + "A=1" << u"A=1"_s;
    QTest::newRow("CR LF reads as LF, a lone CR stays")
        << QByteArray("A=1\r\nB\r=2") << u"A=1\nB\r=2"_s;
    QTest::newRow("a UTF-16 mark selects UTF-16, and its CR LF reads as LF")
        << QByteArray("\xff\xfe") + QByteArray("A\0=\0\xe9\0\r\0\n\0B\0", 12) << u"A=\u00e9\nB"_s;
}

void TestTweakText::decodes()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, expected);
    QCOMPARE(decodeTweakBytes(bytes), expected);
}

void TestTweakText::survivesBadInput_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("lineCount"); // -1: any

    QTest::newRow("an empty file") << QByteArray() << 0;
    QTest::newRow("a 1 MB run of // without a line feed") << QByteArray(1 << 20, '/') << 1;
    QTest::newRow("a 1 MB line of /* without */")
        << QByteArray("/*").repeated(1 << 19).append("\nA=1") << 2;
    QTest::newRow("1 MB of blank lines after a statement")
        << QByteArray("A=1").append(QByteArray(" \n").repeated(1 << 19)) << 1;
    QByteArray garbage(1 << 16, '\0');
    QRandomGenerator(7).fillRange(reinterpret_cast<quint32 *>(garbage.data()), garbage.size() / 4);
    QTest::newRow("binary garbage with NUL bytes") << garbage << -1;
    QTest::newRow("a 50 MB file") << QByteArray("Speed = 5 // fast\n").repeated(3'000'000) << 1;
}

void TestTweakText::survivesBadInput()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, lineCount);
    // Files are read whole and decoded before this, so the bytes alone make the case.
    const QList<VxTweakLine> lines = tweakStatementLines(decodeTweakBytes(bytes));
    if (lineCount >= 0)
        QCOMPARE(lines.size(), lineCount);
    for (const VxTweakLine &line : lines)
        QVERIFY(!line.text.isEmpty() && !line.text.contains(u'\n') &&
                !line.text.contains(QChar(0)));
}

void TestTweakText::unreadableFileIsReported()
{
    QList<VxTweakLine> lines{{u"stale"_s, 1}};
    QString error;
    QVERIFY(!readTweakFile(u"/nonexistent/folder/x.twk"_s, lines, &error));
    QVERIFY(lines.isEmpty() && !error.isEmpty());
}

QTEST_GUILESS_MAIN(TestTweakText)
#include "tst_tweaktext.moc"
