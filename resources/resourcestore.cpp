#include "resources/resourcestore.h"
#include "resources/resourcestore_p.h"
#include "resources/textencoding.h"

#include <QDir>
#include <QFile>
#include <QStringDecoder>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <optional>
#include <system_error>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

// Comments and processing instructions are kept so that they survive a save and so that one
// standing first in the document element hides the table, as the game's files expect.
constexpr unsigned parseOptions = pugi::parse_default | pugi::parse_comments | pugi::parse_pi |
                                  pugi::parse_declaration | pugi::parse_doctype;
constexpr unsigned saveOptions =
    pugi::format_indent | pugi::format_attribute_single_quote | pugi::format_no_declaration;

// Real resource files nest half a dozen levels. Every level costs two spaces of indentation
// per line on save, so a document nested thousands deep would grow without bound when
// written. pugixml loads such a file without trouble, so only writing refuses it.
constexpr int maxDepth = 256;

// Staging size before handing serialized bytes to the file.
constexpr qsizetype flushSize = 1 << 20;

QString errorAt(const QByteArray &utf8, qsizetype offset, const QString &what)
{
    offset = qBound<qsizetype>(0, offset, utf8.size());
    const QByteArrayView before(utf8.constData(), offset);
    const qsizetype line = before.count('\n') + 1;
    const qsizetype lineStart = before.lastIndexOf('\n') + 1;
    const qsizetype column = QString::fromUtf8(before.sliced(lineStart)).size() + 1;
    return u"line %1, column %2: %3"_s.arg(line).arg(column).arg(what);
}

QString describe(const pugi::xml_parse_result &result)
{
    QString text = QString::fromUtf8(result.description());
    if (!text.isEmpty())
        text[0] = text[0].toLower();
    return text;
}

bool isWideEncoding(QStringConverter::Encoding encoding)
{
    switch (encoding) {
    case QStringConverter::Utf16:
    case QStringConverter::Utf16LE:
    case QStringConverter::Utf16BE:
    case QStringConverter::Utf32:
    case QStringConverter::Utf32LE:
    case QStringConverter::Utf32BE:
        return true;
    default:
        return false;
    }
}

// UTF-16 and UTF-32 files announce themselves by a byte order mark or by the zero bytes
// around the first '<'; everything else is read as an ASCII-compatible byte stream whose
// declaration can be read as plain bytes.
std::optional<QStringConverter::Encoding> wideEncodingOf(const QByteArray &bytes)
{
    const auto found = QStringConverter::encodingForData(bytes, u'<');
    if (found && isWideEncoding(*found))
        return found;
    return std::nullopt;
}

bool isXmlSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// The encoding named by a leading XML declaration, read straight from the bytes; empty when
// there is no declaration or it names none.
QByteArray declaredEncoding(QByteArrayView bytes)
{
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes = bytes.sliced(3);
    if (bytes.size() < 6 || !bytes.startsWith("<?xml") || !isXmlSpace(bytes[5]))
        return {};
    // A declaration is short; don't wander through a large file looking for its end.
    const qsizetype end = bytes.first(qMin<qsizetype>(bytes.size(), 1024)).indexOf("?>");
    if (end < 0)
        return {};
    const QByteArrayView decl = bytes.first(end);
    qsizetype at = decl.indexOf("encoding");
    if (at < 0)
        return {};
    at += 8;
    while (at < decl.size() && isXmlSpace(decl[at]))
        ++at;
    if (at >= decl.size() || decl[at] != '=')
        return {};
    ++at;
    while (at < decl.size() && isXmlSpace(decl[at]))
        ++at;
    if (at >= decl.size() || (decl[at] != '"' && decl[at] != '\''))
        return {};
    const char quote = decl[at++];
    const qsizetype close = decl.indexOf(quote, at);
    if (close < 0)
        return {};
    return decl.sliced(at, close - at).toByteArray();
}

bool decodeAll(QStringDecoder &decoder, const QByteArray &bytes, QByteArray *utf8)
{
    const QString text = decoder(bytes);
    if (decoder.hasError())
        return false;
    *utf8 = text.toUtf8();
    return true;
}

bool decodeAll(const QByteArray &encoding, const QByteArray &bytes, QByteArray *utf8)
{
    const std::optional<QString> text = vxDecodeText(encoding, bytes);
    if (!text)
        return false;
    *utf8 = text->toUtf8();
    return true;
}

// Whether Qt can write text in the named encoding. The "System" entry follows whatever
// machine we run on, so a file naming it has no fixed meaning and is not accepted.
bool isWritableEncoding(const QByteArray &name)
{
    const auto known = QStringConverter::encodingForName(name.constData());
    if (known)
        return *known != QStringConverter::System;
    return vxCanConvertEncoding(name);
}

// pugixml writes '\n'; the game's files are Windows text files, whatever we run on.
class CrlfWriter final : public pugi::xml_writer
{
public:
    CrlfWriter(QByteArray &out, QIODevice *device) : m_out(out), m_device(device) {}

    void write(const void *data, size_t size) override
    {
        // Room for the worst case (every byte a line feed), then copy line by line through a
        // raw pointer: appending piece by piece costs more than pugixml's whole serializing.
        const qsizetype used = m_out.size();
        m_out.resize(used + 2 * qsizetype(size));
        char *out = m_out.data() + used;
        const char *p = static_cast<const char *>(data);
        const char *end = p + size;
        while (p < end) {
            const auto *nl = static_cast<const char *>(std::memchr(p, '\n', size_t(end - p)));
            const char *stop = nl ? nl : end;
            std::memcpy(out, p, size_t(stop - p));
            out += stop - p;
            if (!nl)
                break;
            *out++ = '\r';
            *out++ = '\n';
            p = nl + 1;
        }
        m_out.resize(out - m_out.constData());
        if (m_device && m_out.size() >= flushSize)
            flush();
    }

    void flush()
    {
        if (m_device && !m_out.isEmpty()) {
            m_device->write(m_out);
            // resize, not clear: the buffer's capacity is reused for the next stretch.
            m_out.resize(0);
        }
    }

private:
    QByteArray &m_out;
    QIODevice *m_device;
};

void appendReference(QByteArray &out, char32_t codePoint)
{
    out += "&#";
    out += QByteArray::number(uint(codePoint));
    out += ';';
}

// Encodes one code point at a time, with a fresh encoder for each: the only way to learn
// which characters the encoding cannot hold, since its error flag does not reset.
void encodeSlowly(QStringView text, const QByteArray &encoding, QByteArray &out)
{
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype len =
            (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) ? 2
                                                                                               : 1;
        const QStringView one = text.sliced(i, len);
        if (const std::optional<QByteArray> bytes = vxEncodeText(encoding, one))
            out += *bytes;
        else
            appendReference(out, len == 2 ? QChar::surrogateToUcs4(one[0], one[1])
                                          : char32_t(one[0].unicode()));
        i += len;
    }
}

// Text in the file's own encoding; a character the encoding cannot hold becomes a numeric
// character reference rather than the encoder's substitute, which would lose it.
QByteArray encodeWithReferences(const QString &text, const QByteArray &encoding)
{
    const auto known = QStringConverter::encodingForName(encoding.constData());
    // An unmarked UTF-16 or UTF-32 file could not be told apart from UTF-8 when read back.
    const bool bom =
        known && (*known == QStringConverter::Utf16 || *known == QStringConverter::Utf32);
    if (std::optional<QByteArray> whole = vxEncodeText(encoding, text, bom))
        return *whole;

    // Only byte encodings fail, and those need no byte order mark.
    QByteArray out;
    constexpr qsizetype chunk = 4096;
    for (qsizetype at = 0; at < text.size();) {
        qsizetype len = qMin(chunk, text.size() - at);
        if (at + len < text.size() && text[at + len - 1].isHighSurrogate())
            --len;
        const QStringView piece = QStringView(text).sliced(at, len);
        if (const std::optional<QByteArray> bytes = vxEncodeText(encoding, piece))
            out += *bytes;
        else
            encodeSlowly(piece, encoding, out);
        at += len;
    }
    return out;
}

// Writes the whole document, through device when given (then nothing is returned), into the
// returned bytes otherwise.
QByteArray serialize(const VxResourceDocument::Private &d, QIODevice *device)
{
    QByteArray out;
    const bool stream = device && d.encoding.isEmpty();
    CrlfWriter writer(out, stream ? device : nullptr);
    d.doc.save(writer, "  ", saveOptions, pugi::encoding_utf8);
    if (!d.encoding.isEmpty())
        out = encodeWithReferences(QString::fromUtf8(out), d.encoding);
    if (stream) {
        writer.flush();
        return {};
    }
    if (device) {
        device->write(out);
        return {};
    }
    return out;
}

void setError(VxResourceDocument::Private &d, const QString &message)
{
    d.depth = -1;
    d.doc.reset();
    d.buffer.clear();
    d.encoding.clear();
    d.forgetIds();
    d.forgetFields();
    d.originals.reset();
    d.error = message;
}

// Whether any node lies deeper than maxDepth.
bool tooDeep(VxResourceDocument::Private &d)
{
    if (d.depth < 0)
        d.depth = vxSubtreeDepth(d.doc, maxDepth);
    return d.depth > maxDepth;
}

QString tooDeepMessage()
{
    return u"elements nested more than %1 levels deep"_s.arg(maxDepth);
}

// Where a "&#0;" (in any spelling) stands, or -1. pugixml would store it as the end of its
// text and silently drop the rest of that text on the next save.
qsizetype nulReference(const QByteArray &utf8)
{
    // memchr for the '&': a two-byte search through a large file costs several times more.
    const char *const begin = utf8.constData();
    const char *const end = begin + utf8.size();
    for (const char *amp = begin;
         (amp = static_cast<const char *>(std::memchr(amp, '&', size_t(end - amp)))) != nullptr;
         ++amp) {
        if (amp + 1 >= end || amp[1] != '#')
            continue;
        const qsizetype at = amp - begin;
        qsizetype i = at + 2;
        const bool hex = i < utf8.size() && utf8[i] == 'x';
        if (hex)
            ++i;
        const qsizetype digits = i;
        while (i < utf8.size() && utf8[i] == '0')
            ++i;
        if (i > digits && i < utf8.size() && utf8[i] == ';')
            return at;
    }
    return -1;
}

// How a parse ended.
enum class Parsed {
    Yes,
    No,        // d.error says why and where
    TextSpent, // a handed-over text was rewritten in place before the parser failed in it:
               // where it failed must be told from the text as it was, read again
};

// Parses bytes into d. Without keepText, a caller that keeps no reference to bytes hands its
// only copy over: the tree is then built in that text itself, and a large file is not copied
// once more.
Parsed parse(VxResourceDocument::Private &d, QByteArray bytes, bool keepText)
{
    setError(d, {});
    if (bytes.isEmpty()) {
        d.error = u"the file is empty"_s;
        return Parsed::No;
    }

    QByteArray utf8;
    QByteArray encoding;
    const auto wide = wideEncodingOf(bytes);
    if (wide) {
        QStringDecoder decoder(*wide);
        if (!decodeAll(decoder, bytes, &utf8)) {
            setError(d, u"the file is not valid %1"_s.arg(QLatin1String(decoder.name())));
            return Parsed::No;
        }
    } else {
        encoding = declaredEncoding(bytes);
        const auto known = encoding.isEmpty()
                               ? std::optional(QStringConverter::Utf8)
                               : QStringConverter::encodingForName(encoding.constData());
        if (known && *known == QStringConverter::Utf8) {
            utf8 = std::move(bytes);
            encoding.clear();
        } else if (known && isWideEncoding(*known)) {
            setError(d, u"the file declares the encoding %1 but is not written in it"_s.arg(
                            QString::fromLatin1(encoding)));
            return Parsed::No;
        } else if (!isWritableEncoding(encoding)) {
            setError(
                d, u"the file's encoding %1 is not supported"_s.arg(QString::fromLatin1(encoding)));
            return Parsed::No;
        } else {
            if (!decodeAll(encoding, bytes, &utf8)) {
                setError(d, u"the file holds bytes that are not valid %1, the encoding it "
                            u"declares"_s.arg(QString::fromLatin1(encoding)));
                return Parsed::No;
            }
        }
    }

    // pugixml stops at a NUL as if the data ended there and would quietly drop the rest.
    if (const auto *nul = std::memchr(utf8.constData(), 0, size_t(utf8.size()))) {
        setError(d, errorAt(utf8, static_cast<const char *>(nul) - utf8.constData(),
                            u"a NUL byte; this is not a text file"_s));
        return Parsed::No;
    }

    if (const qsizetype at = nulReference(utf8); at >= 0) {
        setError(d, errorAt(utf8, at, u"a character reference to U+0000"_s));
        return Parsed::No;
    }

    // Parsed in place: the tree points into the buffer, which the document keeps. The text
    // is copied first only when someone else still holds it (data() detaches), and then the
    // copy kept here tells where a failure lies.
    d.doc.reset();
    d.buffer = std::move(utf8);
    const QByteArray original = keepText || !d.buffer.isDetached() ? d.buffer : QByteArray();
    const pugi::xml_parse_result result = d.doc.load_buffer_inplace(
        d.buffer.data(), size_t(d.buffer.size()), parseOptions, pugi::encoding_utf8);
    if (!result) {
        if (original.isNull()) {
            setError(d, {});
            return Parsed::TextSpent;
        }
        setError(d, errorAt(original, result.offset, describe(result)));
        return Parsed::No;
    }

    if (wide) {
        const pugi::xml_node decl = d.doc.first_child();
        if (decl.type() == pugi::node_declaration)
            encoding = decl.attribute("encoding").value();
        if (!encoding.isEmpty()) {
            const auto known = QStringConverter::encodingForName(encoding.constData());
            if (known && *known == QStringConverter::Utf8) {
                encoding.clear();
            } else if (!isWritableEncoding(encoding)) {
                setError(d, u"the file's encoding %1 is not supported"_s.arg(
                                QString::fromLatin1(encoding)));
                return Parsed::No;
            }
        }
    }

    d.encoding = encoding;
    return Parsed::Yes;
}

} // namespace

VxTreeText::VxTreeText(QStringView text, Nul nul)
{
    m_bytes.resize(text.size() + 1);
    char *out = m_bytes.data();
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c == 0 && nul == Nul::Ends) {
            text = text.first(i);
            break;
        }
        if (c >= 0x80) {
            // Beyond ASCII, Qt's own conversion, whose handling of broken surrogates the
            // names already saved were written with.
            if (nul == Nul::Ends) {
                if (const qsizetype at = text.indexOf(QChar(0), i); at >= 0)
                    text = text.first(at);
            }
            const QByteArray utf8 = text.toUtf8();
            m_bytes.resize(utf8.size() + 1);
            std::memcpy(m_bytes.data(), utf8.constData(), size_t(utf8.size()) + 1);
            return;
        }
        *out++ = char(c);
    }
    *out = '\0';
    m_bytes.resize(out + 1 - m_bytes.data());
}

pugi::xml_node VxResourceDocument::Private::tableNode() const
{
    const pugi::xml_node first = doc.document_element().first_child();
    return first.type() == pugi::node_element ? first : pugi::xml_node();
}

int vxSubtreeDepth(pugi::xml_node root, int limit)
{
    // pugixml's own walk: one call per node where stepping by hand took four, and a save walks
    // the whole of a large tree once.
    class Deepest final : public pugi::xml_tree_walker
    {
    public:
        explicit Deepest(int limit) : m_limit(limit) {}
        bool for_each(pugi::xml_node &) override
        {
            deepest = std::max(deepest, depth() + 1);
            return deepest <= m_limit;
        }
        int deepest = 0;

    private:
        int m_limit;
    } walker(limit);
    root.traverse(walker);
    return walker.deepest;
}

void vxRemoveSubtree(pugi::xml_node node)
{
    pugi::xml_node parent = node.parent();
    if (!parent)
        return;
    pugi::xml_node current = node;
    while (current != node || current.first_child()) {
        if (pugi::xml_node child = current.last_child()) {
            current = child;
            continue;
        }
        pugi::xml_node up = current.parent();
        up.remove_child(current);
        current = up;
    }
    parent.remove_child(node);
}

void VxResourceDocument::Private::noteDepth(pugi::xml_node node, int levelsBelow)
{
    if (depth < 0 || !node)
        return;
    int level = 0;
    for (pugi::xml_node up = node; up && up.type() != pugi::node_document; up = up.parent())
        ++level;
    depth = std::max(depth, level + levelsBelow);
}

void VxResourceDocument::Private::noteChange(pugi::xml_node node)
{
    if (!originals || originals->lost)
        return;
    const pugi::xml_node table(originals->table);
    pugi::xml_node child = node;
    while (child && child.parent() != table)
        child = child.parent();
    if (!child) {
        originals->lost = true;
        return;
    }
    pugi::xml_node_struct *const key = child.internal_object();
    if (originals->added.contains(key) || originals->copies.contains(key))
        return;
    originals->copies.insert(key,
                             originals->store.d_func()->doc.append_copy(child).internal_object());
}

void VxResourceDocument::Private::forgetIds()
{
    ids.clear();
    idsBuilt = false;
}

bool VxResourceDocument::Private::canEncode(QStringView text) const
{
    if (encoding.isEmpty())
        return true;
    return vxEncodeText(encoding, text).has_value();
}

VxResourceDocument::VxResourceDocument() : d(std::make_unique<Private>()) {}
VxResourceDocument::~VxResourceDocument() = default;

bool VxResourceDocument::setContent(const QByteArray &data)
{
    return parse(*d, data, true) == Parsed::Yes;
}

QByteArray VxResourceDocument::toByteArray() const
{
    if (tooDeep(*d))
        return {};
    return serialize(*d, nullptr);
}

VxResourceElement VxResourceDocument::table() const
{
    return VxResourceAccess::element(const_cast<VxResourceDocument *>(this), d->tableNode());
}

QString VxResourceDocument::errorString() const
{
    return d->error;
}

void VxResourceDocument::dropUnreadText()
{
    d->dropsUnreadText = true;
}

void VxResourceDocument::keepOriginals()
{
    d->originals = std::make_unique<Private::Originals>();
    d->originals->table = d->tableNode().internal_object();
    d->originals->lost = d->originals->table == nullptr;
}

QString VxResourceElement::tagName() const
{
    return QString::fromUtf8(pugi::xml_node(m_node).name());
}

QString VxResourceElement::id() const
{
    return QString::fromUtf8(pugi::xml_node(m_node).attribute("id").value());
}

bool loadResourceDocument(VxResourceDocument &document, VxResourceElement &table,
                          const QString &path)
{
    VxResourceDocument::Private &d = *document.d_func();
    table = {};
    const auto read = [&](QByteArray &bytes) {
        QFile file(path);
        if (file.open(QIODevice::ReadOnly)) {
            bytes = file.readAll();
            if (file.error() == QFileDevice::NoError)
                return true;
        }
        setError(
            d, u"%1: cannot be read: %2"_s.arg(QDir::toNativeSeparators(path), file.errorString()));
        return false;
    };
    QByteArray bytes;
    if (!read(bytes))
        return false;
    Parsed parsed = parse(d, std::move(bytes), false);
    // Rare, and only to say where the file is broken.
    if (parsed == Parsed::TextSpent) {
        if (!read(bytes))
            return false;
        parsed = parse(d, std::move(bytes), true);
    }
    if (parsed != Parsed::Yes) {
        d.error = u"%1: %2"_s.arg(QDir::toNativeSeparators(path), d.error);
        return false;
    }
    table = document.table();
    return true;
}

QString resourceSaveRefusal(const VxResourceDocument &document)
{
    // A document that failed to load is empty; writing it would wipe the file it came from.
    if (!document.d_func()->doc.document_element())
        return u"the document holds no element"_s;
    if (tooDeep(*document.d_func()))
        return tooDeepMessage();
    return {};
}

bool saveResourceDocument(const VxResourceDocument &document, const QString &path, QString *error,
                          const QString &temporaryPath)
{
    const auto fail = [&](const QString &why) {
        if (error)
            *error = u"%1: cannot be written: %2"_s.arg(QDir::toNativeSeparators(path), why);
        return false;
    };
    if (const QString why = resourceSaveRefusal(document); !why.isEmpty())
        return fail(why);

    // Written beside the file and renamed over it, so a crash leaves the old file or the whole
    // new one. The launch journals the temporary name, so its restore removes a leftover. The
    // new content is not forced to disk: the launch keeps the game's own file in a backup
    // that is.
    const QString temporary = temporaryPath.isEmpty() ? path + u".vxpart"_s : temporaryPath;
    QFile file(temporary);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return fail(file.errorString());
    serialize(*document.d_func(), &file);
    file.close();
    if (file.error() != QFileDevice::NoError) {
        const QString why = file.errorString();
        QFile::remove(temporary);
        return fail(why);
    }
    std::error_code ec;
    std::filesystem::rename(std::filesystem::path(temporary.toStdU16String()),
                            std::filesystem::path(path.toStdU16String()), ec);
    if (ec) {
        QFile::remove(temporary);
        return fail(QString::fromStdString(ec.message()));
    }
    return true;
}

namespace {

// Only the first element with an id is remembered, so that it keeps winning as in a scan.
void remember(VxResourceDocument::Private &d, pugi::xml_node child)
{
    const QByteArrayView id(child.attribute("id").value());
    if (!d.ids.contains(id))
        d.ids.insert(id, child.internal_object());
}

} // namespace

VxResourceElement findResourceById(const VxResourceElement &parent, const QString &id)
{
    VxResourceDocument::Private *d = VxResourceAccess::data(parent);
    const pugi::xml_node parentNode = VxResourceAccess::node(parent);
    if (!d || !parentNode)
        return {};
    const VxTreeText utf8(id, VxTreeText::Nul::Kept);
    const QByteArrayView key(utf8.view().data(), qsizetype(utf8.view().size()));

    if (parentNode == d->tableNode()) {
        if (!d->idsBuilt) {
            // One walk over the table, whose children lie far apart in memory: gathered first,
            // so that the hash is sized once, then filled from the last back with one hash
            // operation each, so that the first element with an id is the one left standing.
            std::vector<std::pair<QByteArrayView, pugi::xml_node_struct *>> children;
            for (pugi::xml_node child = parentNode.first_child(); child;
                 child = child.next_sibling()) {
                if (child.type() == pugi::node_element)
                    children.emplace_back(QByteArrayView(child.attribute("id").value()),
                                          child.internal_object());
            }
            d->ids.reserve(qsizetype(children.size()));
            for (auto it = children.crbegin(); it != children.crend(); ++it)
                d->ids.insert(it->first, it->second);
            d->idsBuilt = true;
        }
        return VxResourceAccess::element(parent.document(), pugi::xml_node(d->ids.value(key)));
    }

    for (pugi::xml_node child = parentNode.first_child(); child; child = child.next_sibling()) {
        if (child.type() == pugi::node_element &&
            key == QByteArrayView(child.attribute("id").value()))
            return VxResourceAccess::element(parent.document(), child);
    }
    return {};
}

bool findOriginalById(const VxResourceDocument &document, const QString &id,
                      VxResourceElement &found)
{
    VxResourceDocument::Private::Originals *originals = document.d_func()->originals.get();
    if (!originals || originals->lost)
        return false;
    // Elements are only ever appended to the table, so the first with an id is an original
    // one whenever the table held one.
    const VxResourceElement first =
        findResourceById(VxResourceAccess::element(const_cast<VxResourceDocument *>(&document),
                                                   pugi::xml_node(originals->table)),
                         id);
    const pugi::xml_node node = VxResourceAccess::node(first);
    if (!node || originals->added.contains(node.internal_object()))
        found = {};
    else if (pugi::xml_node_struct *copy = originals->copies.value(node.internal_object()))
        found = VxResourceAccess::element(&originals->store, pugi::xml_node(copy));
    else
        found = first;
    return true;
}

namespace {

// Keeps the id index in step with a new child of the table; the earlier element keeps
// winning, as it does for a scan.
VxResourceElement adopt(VxResourceDocument::Private *d, const VxResourceElement &parent,
                        pugi::xml_node child)
{
    if (d->idsBuilt && VxResourceAccess::node(parent) == d->tableNode())
        remember(*d, child);
    return VxResourceAccess::element(parent.document(), child);
}

// A new child of the table is none of its originals; one of anything else changes what holds
// it.
void noteAppending(VxResourceDocument::Private &d, pugi::xml_node parent)
{
    if (d.originals && parent.internal_object() != d.originals->table)
        d.noteChange(parent);
}

void noteAppended(VxResourceDocument::Private &d, pugi::xml_node parent, pugi::xml_node child)
{
    if (d.originals && parent.internal_object() == d.originals->table && child)
        d.originals->added.insert(child.internal_object());
}

void setId(pugi::xml_node element, const QString &id)
{
    pugi::xml_attribute attribute = element.attribute("id");
    if (!attribute)
        attribute = element.append_attribute("id");
    attribute.set_value(VxTreeText(id).c_str());
}

} // namespace

VxResourceElement createResourceElement(const VxResourceElement &parent, const QString &id,
                                        const QString &tagName)
{
    VxResourceDocument::Private *d = VxResourceAccess::data(parent);
    pugi::xml_node parentNode = VxResourceAccess::node(parent);
    if (!d || !parentNode || !isValidXmlName(tagName) || !d->canEncode(tagName))
        return {};
    noteAppending(*d, parentNode);
    pugi::xml_node element = parentNode.append_child(VxTreeText(tagName).c_str());
    noteAppended(*d, parentNode, element);
    d->noteDepth(element);
    d->noteChildAppended(parentNode, element);
    setId(element, id);
    return adopt(d, parent, element);
}

VxResourceElement importResourceElement(const VxResourceElement &parent,
                                        const VxResourceElement &source, const QString &id)
{
    VxResourceDocument::Private *d = VxResourceAccess::data(parent);
    pugi::xml_node parentNode = VxResourceAccess::node(parent);
    const pugi::xml_node sourceNode = VxResourceAccess::node(source);
    if (!d || !parentNode || !sourceNode)
        return {};
    noteAppending(*d, parentNode);
    pugi::xml_node copy = parentNode.append_copy(sourceNode);
    noteAppended(*d, parentNode, copy);
    d->noteDepth(copy, vxSubtreeDepth(copy, maxDepth));
    d->noteChildAppended(parentNode, copy);
    setId(copy, id);
    return adopt(d, parent, copy);
}

namespace {

bool isNameStart(char32_t c)
{
    return c == ':' || (c >= 'A' && c <= 'Z') || c == '_' || (c >= 'a' && c <= 'z') ||
           (c >= 0xC0 && c <= 0xD6) || (c >= 0xD8 && c <= 0xF6) || (c >= 0xF8 && c <= 0x2FF) ||
           (c >= 0x370 && c <= 0x37D) || (c >= 0x37F && c <= 0x1FFF) ||
           (c >= 0x200C && c <= 0x200D) || (c >= 0x2070 && c <= 0x218F) ||
           (c >= 0x2C00 && c <= 0x2FEF) || (c >= 0x3001 && c <= 0xD7FF) ||
           (c >= 0xF900 && c <= 0xFDCF) || (c >= 0xFDF0 && c <= 0xFFFD) ||
           (c >= 0x10000 && c <= 0xEFFFF);
}

bool isNameChar(char32_t c)
{
    return isNameStart(c) || c == '-' || c == '.' || (c >= '0' && c <= '9') || c == 0xB7 ||
           (c >= 0x300 && c <= 0x36F) || (c >= 0x203F && c <= 0x2040);
}

} // namespace

bool isValidXmlName(const QString &name)
{
    if (name.isEmpty())
        return false;
    for (qsizetype i = 0; i < name.size(); ++i) {
        const bool first = i == 0;
        char32_t c = name[i].unicode();
        if (c < 0x80) {
            // The ASCII letters, digits and marks nearly every name is made of.
            const bool letter =
                (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == ':';
            if (!letter && (first || !((c >= '0' && c <= '9') || c == '-' || c == '.')))
                return false;
            continue;
        }
        if (name[i].isHighSurrogate() && i + 1 < name.size() && name[i + 1].isLowSurrogate()) {
            c = QChar::surrogateToUcs4(name[i], name[i + 1]);
            ++i;
        } else if (name[i].isSurrogate()) {
            return false;
        }
        if (!(first ? isNameStart(c) : isNameChar(c)))
            return false;
    }
    return true;
}
