// Reading a tweak file and turning it into statement lines.
//
// The comment and blank rules are defined as a chain of nine regular-expression
// replacements. A regex engine runs "/\*.*\*/" in quadratic time on a long line full of
// "/*" without a "*/", so each replacement is a hand-written pass that finds the same
// leftmost, non-overlapping, greedy matches in one sweep. No replacement makes the text
// longer, so the passes work in place, carrying along the source line of every character
// to tell `vxmod check` where a statement came from.

#include "tweak/tweakcompiler.h"

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
};

// Writes kept characters to the front of the buffer; the write position never passes the
// read position, so one buffer is enough.
class Out
{
public:
    explicit Out(Buffer &b) : m_b(b) {}
    void put(qsizetype i)
    {
        m_b.s[m_w] = m_b.s[i];
        if (m_b.ln)
            m_b.ln[m_w] = m_b.ln[i];
        ++m_w;
    }
    void put(qsizetype i, QChar c)
    {
        m_b.s[m_w] = c;
        if (m_b.ln)
            m_b.ln[m_w] = m_b.ln[i];
        ++m_w;
    }
    void putRange(qsizetype from, qsizetype to)
    {
        for (qsizetype k = from; k < to; ++k)
            put(k);
    }
    void finish() { m_b.n = m_w; }

private:
    Buffer &m_b;
    qsizetype m_w = 0;
};

// "//[^\n]*\n|/\*.*\*/" removed: a line comment with its line feed, or "/*" up to the last
// "*/" of the whole text.
void removeComments(Buffer &b)
{
    const qsizetype n = b.n;
    qsizetype lastClose = -1;
    for (qsizetype k = n - 2; k >= 0; --k) {
        if (b.is(k, u'*') && b.is(k + 1, u'/')) {
            lastClose = k;
            break;
        }
    }
    qsizetype lastFeed = -1;
    for (qsizetype k = n - 1; k >= 0; --k) {
        if (b.is(k, u'\n')) {
            lastFeed = k;
            break;
        }
    }
    Out out(b);
    qsizetype i = 0;
    while (i < n) {
        if (b.is(i, u'/') && i + 1 < n) {
            if (b.is(i + 1, u'/') && lastFeed >= i + 2) {
                qsizetype j = i + 2;
                while (!b.is(j, u'\n'))
                    ++j;
                i = j + 1;
                continue;
            }
            if (b.is(i + 1, u'*') && lastClose >= i + 2) {
                i = lastClose + 2;
                continue;
            }
        }
        out.put(i++);
    }
    out.finish();
}

// "\n\s*(\S)" -> "\n\1"
void trimLineStarts(Buffer &b)
{
    const qsizetype n = b.n;
    Out out(b);
    qsizetype i = 0;
    while (i < n) {
        if (b.is(i, u'\n')) {
            qsizetype j = i + 1;
            while (j < n && b.space(j))
                ++j;
            if (j == n) {
                // Only white space follows: no later line feed can match either.
                out.putRange(i, n);
                break;
            }
            out.put(i);
            out.put(j);
            i = j + 1;
            continue;
        }
        out.put(i++);
    }
    out.finish();
}

// "(\S)[^\S\n]*=" -> "\1="
void trimBeforeEquals(Buffer &b)
{
    const qsizetype n = b.n;
    Out out(b);
    qsizetype i = 0;
    while (i < n) {
        if (!b.space(i)) {
            qsizetype j = i + 1;
            while (j < n && b.horizontalSpace(j))
                ++j;
            if (j < n && b.is(j, u'=')) {
                out.put(i);
                out.put(j);
                i = j + 1;
            } else {
                out.putRange(i, j);
                i = j;
            }
            continue;
        }
        out.put(i++);
    }
    out.finish();
}

// "=[^\S\n]*(\S)" -> "=\1"
void trimAfterEquals(Buffer &b)
{
    const qsizetype n = b.n;
    Out out(b);
    qsizetype i = 0;
    while (i < n) {
        if (b.is(i, u'=')) {
            qsizetype j = i + 1;
            while (j < n && b.horizontalSpace(j))
                ++j;
            if (j < n && !b.is(j, u'\n')) {
                out.put(i);
                out.put(j);
                i = j + 1;
            } else {
                out.putRange(i, j);
                i = j;
            }
            continue;
        }
        out.put(i++);
    }
    out.finish();
}

// "(\S)\s*\n" -> "\1\n": the greedy run backs off to its last line feed.
void trimLineEnds(Buffer &b)
{
    const qsizetype n = b.n;
    Out out(b);
    qsizetype i = 0;
    while (i < n) {
        if (!b.space(i)) {
            qsizetype j = i + 1;
            qsizetype lastFeed = -1;
            for (; j < n && b.space(j); ++j) {
                if (b.is(j, u'\n'))
                    lastFeed = j;
            }
            if (lastFeed >= 0) {
                out.put(i);
                out.put(lastFeed);
                i = lastFeed + 1;
            } else {
                out.putRange(i, j);
                i = j;
            }
            continue;
        }
        out.put(i++);
    }
    out.finish();
}

// "\n\s*\n" -> "\n"
void collapseEmptyLines(Buffer &b)
{
    const qsizetype n = b.n;
    Out out(b);
    qsizetype i = 0;
    while (i < n) {
        if (b.is(i, u'\n')) {
            qsizetype j = i + 1;
            qsizetype lastFeed = -1;
            for (; j < n && b.space(j); ++j) {
                if (b.is(j, u'\n'))
                    lastFeed = j;
            }
            if (lastFeed >= 0) {
                out.put(i);
                i = lastFeed + 1;
            } else {
                out.putRange(i, j);
                i = j;
            }
            continue;
        }
        out.put(i++);
    }
    out.finish();
}

// "[^\S\n]+" -> " "
void collapseBlanks(Buffer &b)
{
    const qsizetype n = b.n;
    Out out(b);
    qsizetype i = 0;
    while (i < n) {
        if (b.horizontalSpace(i)) {
            out.put(i, QChar(u' '));
            ++i;
            while (i < n && b.horizontalSpace(i))
                ++i;
            continue;
        }
        out.put(i++);
    }
    out.finish();
}

// "[[" -> "/*", then "]]" -> "*/", each left to right without overlap. Same length, so
// the source lines stay where they are.
void replaceEscapes(Buffer &b)
{
    for (qsizetype i = 0; i + 1 < b.n; ++i) {
        if (b.is(i, u'[') && b.is(i + 1, u'[')) {
            b.s[i] = u'/';
            b.s[++i] = u'*';
        }
    }
    for (qsizetype i = 0; i + 1 < b.n; ++i) {
        if (b.is(i, u']') && b.is(i + 1, u']')) {
            b.s[i] = u'*';
            b.s[++i] = u'/';
        }
    }
}

// Runs the whole chain and the final trim; returns the first kept index (the end is b.n).
qsizetype normalize(Buffer &b)
{
    removeComments(b);
    trimLineStarts(b);
    trimBeforeEquals(b);
    trimAfterEquals(b);
    trimLineEnds(b);
    collapseEmptyLines(b);
    collapseBlanks(b);
    replaceEscapes(b);
    qsizetype begin = 0;
    while (begin < b.n && b.space(begin))
        ++begin;
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

QList<VxTweakLine> tweakStatementLines(const QString &raw)
{
    QString text = raw;
    std::vector<int> lines(size_t(text.size()));
    int line = 1;
    for (qsizetype i = 0; i < text.size(); ++i) {
        lines[size_t(i)] = line;
        if (text.at(i) == u'\n')
            ++line;
    }
    Buffer b(text, lines.data());
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
        result.append({QString(b.s + start, stop - start), b.ln[start]});
        start = stop + 1;
    }
    return result;
}

bool readTweakFile(const QString &path, QList<VxTweakLine> &lines, QString *error)
{
    lines.clear();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    // Read as bytes: text mode would also drop lone CRs, and breaks UTF-16.
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        if (error)
            *error = file.errorString();
        return false;
    }
    file.close();
    QString raw = decodeTweakBytes(bytes);
    bytes = QByteArray();
    lines = tweakStatementLines(raw);
    return true;
}
