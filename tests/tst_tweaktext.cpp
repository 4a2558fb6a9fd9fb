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

// "line:text" for each statement line, '|'-joined.
QString numbered(const QList<VxTweakLine> &lines)
{
    QStringList texts;
    for (const VxTweakLine &line : lines)
        texts << QString::number(line.sourceLine) + u':' + line.text;
    return texts.join(u'|');
}

} // namespace

class TestTweakText : public QObject
{
    Q_OBJECT
private slots:
    void statementLines_data();
    void statementLines();
    void matchesRegexChain();
};

void TestTweakText::statementLines_data()
{
    QTest::addColumn<QByteArray>("bytes"); // a tweak file as it lies on disk
    QTest::addColumn<QString>("expected");

    QTest::newRow("blanks go, a line comment joins lines, block comments swallow what is between")
        << "\n Name = Big \tWolf // c\nPower=3\n/* x */\nB=2\n/* y */ C = 3 \n\n"_ba
        << u"2:Name=Big Wolf Power=3|6:C=3"_s;
    QTest::newRow("a /* inside a line comment goes with it; escapes become comment markers")
        << "A=1 // see /*\nB=[[n]]\n*/ C=3"_ba << u"1:A=1 B=/*n*/|3:*/ C=3"_s;
    QTest::newRow("a lone CR and a no-break space are blanks, CR LF ends a line, NUL the text")
        << "A\xc2\xa0=\xc2\xa0"
           "1\rB\r\nC=x\0y\nD=3"_ba
        << u"1:A=1 B|2:C=x"_s;
    QTest::newRow("a truncated UTF-8 sequence at the end makes the file 8-bit")
        << "A=\xc3\xa9\xc3"_ba << u"1:A=\u00c3\u00a9\u00c3"_s;
    QTest::newRow("a UTF-8 mark is dropped") << "\xef\xbb\xbf"
                                                "A=\xc3\xa9"_ba
                                             << u"1:A=\u00e9"_s;
    QTest::newRow("a UTF-16 mark selects UTF-16, and its CR LF reads as LF")
        << QByteArray("\xff\xfe"
                      "A\0=\0\xe9\0\r\0\n\0B\0",
                      14)
        << u"1:A=\u00e9|2:B"_s;
    QTest::newRow("a 1 MB run of // without a line feed")
        << QByteArray(1 << 20, '/') << u"1:"_s + QString(1 << 20, u'/');
    QTest::newRow("a 1 MB line of /* without */")
        << "/*"_ba.repeated(1 << 19).append("\nA=1") << u"1:*|2:A=1"_s;
    QTest::newRow("a 50 MB file") << "Speed = 5 // fast\n"_ba.repeated(3'000'000)
                                  << u"1:"_s + QStringList(3'000'000, u"Speed=5"_s).join(u' ');
}

void TestTweakText::statementLines()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, expected);
    QCOMPARE(numbered(tweakStatementLines(decodeTweakBytes(bytes))), expected);
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
        QStringList lines;
        for (const VxTweakLine &line : tweakStatementLines(raw))
            lines << line.text;
        // The pairs name the input that failed.
        QCOMPARE(std::pair(raw, normalizeTweakText(raw)), std::pair(raw, expected));
        QCOMPARE(std::pair(raw, lines.join(u'\n')), std::pair(raw, expected));
    }
}

QTEST_GUILESS_MAIN(TestTweakText)
#include "tst_tweaktext.moc"
