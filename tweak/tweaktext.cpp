// Reading a tweak file and turning it into statement lines.
//
// The comment and blank rules are defined as a chain of nine regular-expression
// replacements. A regex engine runs "/\*.*\*/" in quadratic time on a long line full of
// "/*" without a "*/", so each replacement is a hand-written pass that finds the same
// leftmost, non-overlapping, greedy matches in one sweep. No replacement makes the text
// longer, so the passes work in place, carrying along the source line of every character
// to tell `vxmod check` where a statement came from.

#include "tweak/tweakcompiler.h"

#include "base/modfile.h"

#include <QFile>
#include <QStringDecoder>

#include <vector>

namespace {

// Text being normalised: the characters and, when wanted, the source line of each.
class Buffer
{
public:
    Buffer(QString &text, int *lines) : s(text.data()), ln(lines), n(text.size()) {}

    QChar *s;
    int *ln;
    qsizetype n;

    bool space(qsizetype i) const { return s[i].isSpace(); }
    bool horizontalSpace(qsizetype i) const { return s[i] != u'\n' && s[i].isSpace(); }
    bool is(qsizetype i, char16_t c) const { return s[i] == c; }

    // The end of the run of white space ("\s*") from `from` on.
    qsizetype spaceEnd(qsizetype from) const
    {
        while (from < n && space(from))
            ++from;
        return from;
    }
    // The end of the run of blanks ("[^\S\n]*") from `from` on.
    qsizetype blankEnd(qsizetype from) const
    {
        while (from < n && horizontalSpace(from))
            ++from;
        return from;
    }
    // A greedy "\s*\n" backs off to the last line feed of the white-space run, so both
    // are found in the one scan.
    struct SpaceRun
    {
        qsizetype end;
        qsizetype lastFeed; // -1 when the run holds none
    };
    SpaceRun spaceRun(qsizetype from) const
    {
        SpaceRun run{from, -1};
        for (; run.end < n && space(run.end); ++run.end) {
            if (is(run.end, u'\n'))
                run.lastFeed = run.end;
        }
        return run;
    }
};

// Writes kept characters to the front of the buffer; the write position never passes the
// read position, so one buffer is enough.
class Out
{
public:
    explicit Out(Buffer &b) : m_b(b) {}
    void put(qsizetype i) { put(i, m_b.s[i]); }
    void put(qsizetype i, QChar c)
    {
        m_b.s[m_w] = c;
        if (m_b.ln)
            m_b.ln[m_w] = m_b.ln[i];
        ++m_w;
    }
    // Keeps the characters from `from` to `to` as they are; returns where to read on.
    qsizetype keep(qsizetype from, qsizetype to)
    {
        for (qsizetype k = from; k < to; ++k)
            put(k);
        return to;
    }
    // Keeps the characters at i and j and drops the ones between; returns where to read on.
    qsizetype keepEnds(qsizetype i, qsizetype j)
    {
        put(i);
        put(j);
        return j + 1;
    }
    void finish() { m_b.n = m_w; }

private:
    Buffer &m_b;
    qsizetype m_w = 0;
};

// One left-to-right pass of a replacement: where `at` says a match may start, `rewrite`
// writes what the match becomes (or the text unchanged) and returns where to read on;
// every other character is kept.
template <typename At, typename Rewrite> void sweep(Buffer &b, At at, Rewrite rewrite)
{
    const qsizetype n = b.n;
    Out out(b);
    qsizetype i = 0;
    while (i < n) {
        if (at(i))
            i = rewrite(out, i);
        else
            out.put(i++);
    }
    out.finish();
}

// "//[^\n]*\n|/\*.*\*/" removed: a line comment with its line feed, or "/*" up to the last
// "*/" of the whole text.
void removeComments(Buffer &b)
{
    const QStringView text(b.s, b.n);
    // By hand: QStringView::lastIndexOf hashes its way back and is slower than this loop.
    qsizetype lastClose = b.n - 2;
    while (lastClose >= 0 && !(b.is(lastClose, u'*') && b.is(lastClose + 1, u'/')))
        --lastClose;
    const qsizetype lastFeed = text.lastIndexOf(u'\n');
    sweep(
        b, [&](qsizetype i) { return b.is(i, u'/') && i + 1 < b.n; },
        [&](Out &out, qsizetype i) {
            if (b.is(i + 1, u'/') && lastFeed >= i + 2)
                return text.indexOf(u'\n', i + 2) + 1;
            if (b.is(i + 1, u'*') && lastClose >= i + 2)
                return lastClose + 2;
            out.put(i);
            return i + 1;
        });
}

// "\n\s*(\S)" -> "\n\1"
void trimLineStarts(Buffer &b)
{
    sweep(
        b, [&](qsizetype i) { return b.is(i, u'\n'); },
        [&](Out &out, qsizetype i) {
            const qsizetype j = b.spaceEnd(i + 1);
            return j < b.n ? out.keepEnds(i, j) : out.keep(i, j);
        });
}

// "(\S)[^\S\n]*=" -> "\1="
void trimBeforeEquals(Buffer &b)
{
    sweep(
        b, [&](qsizetype i) { return !b.space(i); },
        [&](Out &out, qsizetype i) {
            const qsizetype j = b.blankEnd(i + 1);
            return j < b.n && b.is(j, u'=') ? out.keepEnds(i, j) : out.keep(i, j);
        });
}

// "=[^\S\n]*(\S)" -> "=\1"
void trimAfterEquals(Buffer &b)
{
    sweep(
        b, [&](qsizetype i) { return b.is(i, u'='); },
        [&](Out &out, qsizetype i) {
            const qsizetype j = b.blankEnd(i + 1);
            return j < b.n && !b.is(j, u'\n') ? out.keepEnds(i, j) : out.keep(i, j);
        });
}

// "(\S)\s*\n" -> "\1\n"
void trimLineEnds(Buffer &b)
{
    sweep(
        b, [&](qsizetype i) { return !b.space(i); },
        [&](Out &out, qsizetype i) {
            const Buffer::SpaceRun run = b.spaceRun(i + 1);
            return run.lastFeed >= 0 ? out.keepEnds(i, run.lastFeed) : out.keep(i, run.end);
        });
}

// "\n\s*\n" -> "\n"
void collapseEmptyLines(Buffer &b)
{
    sweep(
        b, [&](qsizetype i) { return b.is(i, u'\n'); },
        [&](Out &out, qsizetype i) {
            const Buffer::SpaceRun run = b.spaceRun(i + 1);
            if (run.lastFeed < 0)
                return out.keep(i, run.end);
            out.put(i);
            return run.lastFeed + 1;
        });
}

// "[^\S\n]+" -> " "
void collapseBlanks(Buffer &b)
{
    sweep(
        b, [&](qsizetype i) { return b.horizontalSpace(i); },
        [&](Out &out, qsizetype i) {
            out.put(i, QChar(u' '));
            return b.blankEnd(i + 1);
        });
}

// Every "cc" left to right, without overlap, becomes "first second". Same length, so the
// source lines stay where they are.
void replacePairs(Buffer &b, char16_t c, char16_t first, char16_t second)
{
    for (qsizetype i = 0; i + 1 < b.n; ++i) {
        if (b.is(i, c) && b.is(i + 1, c)) {
            b.s[i] = first;
            b.s[++i] = second;
        }
    }
}

// "[[" -> "/*", then "]]" -> "*/".
void replaceEscapes(Buffer &b)
{
    replacePairs(b, u'[', u'/', u'*');
    replacePairs(b, u']', u'*', u'/');
}

// Whether the white space of the text is nothing but single line feeds, each after a
// statement: then every trimming and collapsing pass would keep it as it is. Generated files
// are often written so, and one look costs less than the six passes.
bool onlySingleLineFeeds(const Buffer &b)
{
    bool afterStatement = false;
    for (qsizetype i = 0; i < b.n; ++i) {
        if (!b.space(i)) {
            afterStatement = true;
            continue;
        }
        if (!b.is(i, u'\n') || !afterStatement)
            return false;
        afterStatement = false;
    }
    return true;
}

bool holds(const Buffer &b, char16_t c)
{
    return QStringView(b.s, b.n).contains(QChar(c));
}

// Runs the whole chain and the final trim; returns the first kept index (the end is b.n).
// A pass that cannot match anywhere is not run.
qsizetype normalize(Buffer &b)
{
    if (holds(b, u'/'))
        removeComments(b);
    if (!onlySingleLineFeeds(b)) {
        trimLineStarts(b);
        trimBeforeEquals(b);
        trimAfterEquals(b);
        trimLineEnds(b);
        collapseEmptyLines(b);
        collapseBlanks(b);
    }
    if (holds(b, u'[') || holds(b, u']'))
        replaceEscapes(b);
    const qsizetype begin = b.spaceEnd(0);
    while (b.n > begin && b.space(b.n - 1))
        --b.n;
    return begin;
}

QString decodeLocal8Bit(const QByteArray &bytes)
{
    // Where the local encoding is UTF-8 the bytes have already failed as UTF-8; Latin-1 is
    // the one 8-bit reading that keeps every byte.
    static const bool localIsUtf8 =
        QString::fromLocal8Bit(QByteArrayView("\xc3\xa9")) == QString(QChar(0xe9));
    return localIsUtf8 ? QString::fromLatin1(bytes) : QString::fromLocal8Bit(bytes);
}

} // namespace

QString normalizeTweakText(const QString &raw)
{
    QString text = raw;
    Buffer b(text, nullptr);
    const qsizetype begin = normalize(b);
    text.truncate(b.n);
    text.remove(0, begin);
    return text;
}

QString decodeTweakBytes(const QByteArray &bytes)
{
    QString text;
    if (const auto bom = QStringConverter::encodingForData(bytes)) {
        QStringDecoder decoder(*bom);
        text = decoder(bytes);
    } else {
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        text = utf8(bytes);
        if (utf8.hasError())
            text = decodeLocal8Bit(bytes);
    }
    // Only CR LF is a line end; a lone CR stays, as white space inside its line.
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return text;
}

namespace {

QList<VxTweakLine> statementLines(const QString &raw, bool sourceLines)
{
    QString text = raw;
    std::vector<int> lines(sourceLines ? size_t(text.size()) : 0);
    int line = 1;
    for (qsizetype i = 0; i < qsizetype(lines.size()); ++i) {
        lines[size_t(i)] = line;
        if (text.at(i) == u'\n')
            ++line;
    }
    Buffer b(text, sourceLines ? lines.data() : nullptr);
    const qsizetype begin = normalize(b);

    // The text ends at its first NUL, as a C string would.
    qsizetype end = b.n;
    for (qsizetype i = begin; i < end; ++i) {
        if (b.s[i].isNull()) {
            end = i;
            break;
        }
    }

    QList<VxTweakLine> result;
    qsizetype start = begin;
    while (start < end) {
        qsizetype stop = start;
        while (stop < end && b.s[stop] != u'\n')
            ++stop;
        result.append({QString(b.s + start, stop - start), b.ln ? b.ln[start] : 0});
        start = stop + 1;
    }
    return result;
}

} // namespace

QList<VxTweakLine> tweakStatementLines(const QString &raw)
{
    return statementLines(raw, true);
}

bool readTweakFile(const QString &path, QList<VxTweakLine> &lines, QString *error, bool sourceLines)
{
    lines.clear();
    // Read as bytes: text mode would also drop lone CRs, and breaks UTF-16.
    QByteArray bytes;
    if (!readModFile(path, tweakFileSizeLimit, bytes, error))
        return false;
    QString raw = decodeTweakBytes(bytes);
    bytes = QByteArray();
    lines = statementLines(raw, sourceLines);
    return true;
}
