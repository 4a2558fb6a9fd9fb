#include "tweak/tweakcompiler.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
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

QString visible(const QString &text)
{
    QString shown = text;
    shown.replace(u'\n', u"\\n"_s).replace(u'\t', u"\\t"_s).replace(u'\r', u"\\r"_s);
    return shown;
}

} // namespace

class TestTweakText : public QObject
{
    Q_OBJECT
private slots:
    void normalizes_data();
    void normalizes();
    void matchesRegexChain();
    void tracksSourceLines_data();
    void tracksSourceLines();
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

    QTest::newRow("blanks around = and indentation go")
        << u"        Speed   =   5\n"_s << u"Speed=5"_s;
    QTest::newRow("a run of blanks and a tab in a value become one blank")
        << u"Name=Big   Bad\tWolf"_s << u"Name=Big Bad Wolf"_s;
    QTest::newRow("a line comment joins the next line")
        << u"Speed=5 // fast\nPower=3\n"_s << u"Speed=5 Power=3"_s;
    QTest::newRow("a line comment on a last line without a line feed stays")
        << u"Speed=5 // fast"_s << u"Speed=5 // fast"_s;
    QTest::newRow("two block comments swallow the statement between them")
        << u"A=1\n/* first */\nB=2\n/* second */\nC=3\n"_s << u"A=1\nC=3"_s;
    QTest::newRow("a // inside a value starts a comment")
        << u"Path=a//b\nB=2\n"_s << u"Path=aB=2"_s;
    QTest::newRow("the bracket escapes become comment markers after comments go")
        << u"Text=[[note]]"_s << u"Text=/*note*/"_s;
    QTest::newRow("a /* with no later */ is plain text") << u"A=/*x\nB=2"_s << u"A=/*x\nB=2"_s;
    QTest::newRow("a /* inside a line comment goes with it")
        << u"A=1 // see /*\nB=2\n*/ C=3"_s << u"A=1 B=2\n*/ C=3"_s;
    QTest::newRow("blank and indented lines leave no trace")
        << u"\n\n   A=1\n\t\n  \n\tB = 2  \n\n"_s << u"A=1\nB=2"_s;
    QTest::newRow("only comments and white space give nothing")
        << u"// one\n/* two\n three */\n  \t\n"_s << u""_s;
    QTest::newRow("a lone carriage return is a blank") << u"A=1\rB"_s << u"A=1 B"_s;
    QTest::newRow("a no-break space is white space") << u"A\u00a0=\u00a01"_s << u"A=1"_s;
    QTest::newRow("three opening brackets escape the first two only") << u"[[["_s << u"/*["_s;
    QTest::newRow("spaced equals signs keep the order of the rules") << u"a = = b"_s << u"a== b"_s;
}

void TestTweakText::normalizes()
{
    QFETCH(QString, raw);
    QFETCH(QString, expected);
    QCOMPARE(normalizeTweakText(raw), expected);
    QCOMPARE(regexChain(raw), expected);
    QCOMPARE(joined(tweakStatementLines(raw)), expected);
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
        if (normalizeTweakText(raw) != expected || joined(tweakStatementLines(raw)) != expected)
            QFAIL(qPrintable(u"raw \"%1\": expected \"%2\", got \"%3\""_s.arg(
                visible(raw), visible(expected), visible(normalizeTweakText(raw)))));
    }
}

void TestTweakText::tracksSourceLines_data()
{
    QTest::addColumn<QString>("raw");
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<QList<int>>("sourceLines");

    QTest::newRow("blank lines and comments are counted")
        << u"// header\n\nA=1\n/* x\n y */\n  B=2\n"_s << QStringList{u"A=1"_s, u"B=2"_s}
        << QList<int>{3, 6};
    QTest::newRow("a line joined by a comment starts where its first part does")
        << u"A=1 // c\nB=2\nC=3"_s << QStringList{u"A=1 B=2"_s, u"C=3"_s} << QList<int>{1, 3};
    QTest::newRow("a statement after a block comment on its line")
        << u"/* a\nb */ A=1\nB=2"_s << QStringList{u"A=1"_s, u"B=2"_s} << QList<int>{2, 3};
    QTest::newRow("text is cut at the first NUL")
        << u"A=1\nB=x\u0000y\nC=3"_s << QStringList{u"A=1"_s, u"B=x"_s} << QList<int>{1, 2};
    QTest::newRow("a NUL at the start leaves nothing")
        << u"\u0000A=1"_s << QStringList{} << QList<int>{};
}

void TestTweakText::tracksSourceLines()
{
    QFETCH(QString, raw);
    QFETCH(QStringList, texts);
    QFETCH(QList<int>, sourceLines);
    const QList<VxTweakLine> lines = tweakStatementLines(raw);
    QStringList gotTexts;
    QList<int> gotLines;
    for (const VxTweakLine &line : lines) {
        gotTexts << line.text;
        gotLines << line.sourceLine;
    }
    QCOMPARE(gotTexts, texts);
    QCOMPARE(gotLines, sourceLines);
}

void TestTweakText::decodes_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("expected");

    QTest::newRow("valid UTF-8 without a mark is UTF-8")
        << QByteArray("Name=Caf\xc3\xa9") << u"Name=Caf\u00e9"_s;
    QTest::newRow("invalid UTF-8 falls back to 8-bit")
        << QByteArray("Name=Caf\xe9") << u"Name=Caf\u00e9"_s;
    QTest::newRow("a UTF-8 mark is dropped") << QByteArray("\xef\xbb\xbf"
                                                           "A=1")
                                             << u"A=1"_s;
    QTest::newRow("a UTF-16 little-endian mark selects UTF-16") << QByteArray("\xff\xfe"
                                                                              "A\0=\0\xe9\0",
                                                                              8)
                                                                << u"A=\u00e9"_s;
    QTest::newRow("a UTF-16 big-endian mark selects UTF-16")
        << QByteArray("\xfe\xff\0A\0=\0\xe9", 8) << u"A=\u00e9"_s;
    QTest::newRow("CR LF reads as LF, a lone CR stays")
        << QByteArray("A=1\r\nB\r=2") << u"A=1\nB\r=2"_s;
    QTest::newRow("UTF-16 CR LF reads as LF") << QByteArray("\xff\xfe"
                                                            "A\0\r\0\n\0B\0",
                                                            10)
                                              << u"A\nB"_s;
    QTest::newRow("a truncated UTF-8 sequence at the end is not UTF-8")
        << QByteArray("A=\xc3") << u"A=\u00c3"_s;
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
    QTest::addColumn<int>("lineCount");

    QTest::newRow("an empty file") << QByteArray() << 0;
    QTest::newRow("a file of only comments") << QByteArray("// a\n/* b */\n// c\n") << 0;
    QTest::newRow("a 1 MB line of unclosed block comments") << QByteArray(1 << 20, '/') << 1;
    QTest::newRow("a 1 MB line of /* without */")
        << QByteArray("/*").repeated(1 << 19).append("\nA=1") << 2;
    QTest::newRow("a 1 MB run of // without a line feed")
        << QByteArray("//").repeated(1 << 19) << 1;
    QTest::newRow("1 MB of blank lines after a statement")
        << QByteArray("A=1").append(QByteArray(" \n").repeated(1 << 19)) << 1;
    QByteArray garbage(1 << 16, '\0');
    QRandomGenerator random(7);
    for (char &c : garbage)
        c = char(random.bounded(256));
    QTest::newRow("binary garbage with NUL bytes") << garbage << -1;
    QTest::newRow("a 50 MB file") << QByteArray("Speed = 5 // fast\n").repeated(3'000'000) << 1;
}

void TestTweakText::survivesBadInput()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, lineCount);
    QTemporaryDir dir;
    dir.setAutoRemove(!QTest::currentTestFailed());
    const QString path = dir.filePath(u"bad.twk"_s);
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    file.close();

    QList<VxTweakLine> lines;
    QVERIFY(readTweakFile(path, lines));
    if (lineCount >= 0)
        QCOMPARE(lines.size(), lineCount);
    for (const VxTweakLine &line : lines) {
        QVERIFY(!line.text.isEmpty());
        QVERIFY(!line.text.contains(u'\n'));
        QVERIFY(!line.text.contains(QChar(0)));
    }
}

void TestTweakText::unreadableFileIsReported()
{
    QList<VxTweakLine> lines{{u"stale"_s, 1}};
    QString error;
    QVERIFY(!readTweakFile(u"/nonexistent/folder/x.twk"_s, lines, &error));
    QVERIFY(lines.isEmpty());
    QVERIFY(!error.isEmpty());
}

QTEST_GUILESS_MAIN(TestTweakText)
#include "tst_tweaktext.moc"
