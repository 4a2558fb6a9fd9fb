#include "resources/resourcestore.h"
#include "resources/resourcestore_p.h"

#include <QStringList>

#include <cstring>
#include <limits>

using namespace Qt::StringLiterals;

namespace {

struct Selector
{
    QString tag;
    bool indexed = false;
    quint64 index = 0;
};

bool isAsciiDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

// The length of a "(digits)" group starting at at, or 0 when none starts there.
qsizetype groupAt(const QString &text, qsizetype at)
{
    if (text[at] != u'(')
        return 0;
    qsizetype end = at + 1;
    while (end < text.size() && isAsciiDigit(text[end]))
        ++end;
    if (end == at + 1 || end >= text.size() || text[end] != u')')
        return 0;
    return end + 1 - at;
}

QString withoutGroups(const QString &text)
{
    QString tag;
    tag.reserve(text.size());
    for (qsizetype i = 0; i < text.size();) {
        if (const qsizetype len = groupAt(text, i)) {
            i += len;
        } else {
            tag += text[i];
            ++i;
        }
    }
    return tag;
}

Selector parseSelector(const QString &text)
{
    Selector selector;
    selector.tag = text;
    // Index form: something, then "(digits)" at the very end.
    if (!text.endsWith(u')'))
        return selector;
    qsizetype open = text.size() - 1;
    while (open > 0 && isAsciiDigit(text[open - 1]))
        --open;
    --open;
    if (open < 1 || open == text.size() - 2 || text[open] != u'(')
        return selector;

    selector.indexed = true;
    selector.tag = withoutGroups(text);
    // An index too large to count to selects nothing, like any index past the last match.
    constexpr quint64 limit = std::numeric_limits<quint64>::max();
    for (qsizetype i = open + 1; i < text.size() - 1; ++i) {
        const quint64 digit = quint64(text[i].unicode() - u'0');
        selector.index =
            selector.index > (limit - digit) / 10 ? limit : selector.index * 10 + digit;
    }
    return selector;
}

// The name a DOM gives every kind of node; only elements and processing instructions can
// share one with a field.
const char *domNodeName(pugi::xml_node node)
{
    switch (node.type()) {
    case pugi::node_element:
    case pugi::node_pi:
        return node.name();
    case pugi::node_pcdata:
        return "#text";
    case pugi::node_cdata:
        return "#cdata-section";
    case pugi::node_comment:
        return "#comment";
    default:
        return "";
    }
}

// The node after node in document order below root, parent before children. Iterative, so
// a deeply nested field costs no stack.
pugi::xml_node nextBelow(pugi::xml_node node, pugi::xml_node root)
{
    if (node.first_child())
        return node.first_child();
    while (node != root && !node.next_sibling())
        node = node.parent();
    return node == root ? pugi::xml_node() : node.next_sibling();
}

// Below this many children a walk is as quick as the index, and builds nothing.
constexpr int fieldWalkLimit = 64;

pugi::xml_node selectNode(VxResourceDocument::Private *d, pugi::xml_node resource,
                          const Selector &selector)
{
    if (!resource)
        return {};
    const VxTreeText utf8(selector.tag, VxTreeText::Nul::Kept);
    const std::string_view tag = utf8.view();
    if (!selector.indexed) {
        // The first child of that name decides, even when it is no element.
        const auto found = [](pugi::xml_node child) {
            return child.type() == pugi::node_element ? child : pugi::xml_node();
        };
        if (!d || d->fieldsOwner != resource.internal_object()) {
            int walked = 0;
            pugi::xml_node child = resource.first_child();
            for (; child && (walked < fieldWalkLimit || !d); child = child.next_sibling()) {
                if (tag == domNodeName(child))
                    return found(child);
                ++walked;
            }
            if (!child)
                return {};
            d->fieldsOwner = resource.internal_object();
            d->fields.clear();
            for (pugi::xml_node each = resource.first_child(); each; each = each.next_sibling()) {
                auto &run = d->fields[QByteArrayView(domNodeName(each))];
                if (run.count++ == 0)
                    run.first = each.internal_object();
            }
        }
        const auto it = d->fields.constFind(QByteArrayView(tag.data(), qsizetype(tag.size())));
        return it == d->fields.cend() ? pugi::xml_node() : found(pugi::xml_node(it->first));
    }
    quint64 seen = 0;
    for (pugi::xml_node node = nextBelow(resource, resource); node;
         node = nextBelow(node, resource)) {
        if (node.type() == pugi::node_element && tag == node.name() && seen++ == selector.index)
            return node;
    }
    return {};
}

QStringList pieces(const QString &valueText)
{
    return valueText.split(u' ', Qt::SkipEmptyParts);
}

constexpr const char *valueAttributes[] = {"r", "g", "b", "a", "x", "y", "z", "href"};

void setAttribute(pugi::xml_node field, const char *name, QStringView value)
{
    pugi::xml_attribute attribute = field.attribute(name);
    if (!attribute)
        attribute = field.append_attribute(name);
    attribute.set_value(VxTreeText(value).c_str());
}

void setText(VxResourceDocument::Private *d, pugi::xml_node field, const QString &text)
{
    // Text nodes come and go below field, which may itself be searched as a resource.
    if (d && d->fieldsOwner == field.internal_object())
        d->forgetFields();
    const VxTreeText treeText(text);
    const char *const value = treeText.c_str();
    pugi::xml_node first = field.first_child();
    if (first.type() == pugi::node_pcdata) {
        first.set_value(value);
    } else if (first.type() == pugi::node_cdata) {
        // A CDATA section cannot carry character references, so text its file's encoding
        // cannot hold goes into an ordinary text node in its place.
        if (d->canEncode(text)) {
            first.set_value(value);
        } else {
            field.insert_child_before(pugi::node_pcdata, first).set_value(value);
            field.remove_child(first);
            d->noteDepth(field, 1);
        }
    } else {
        field.append_child(pugi::node_pcdata).set_value(value);
        d->noteDepth(field, 1);
    }
}

void writeValue(VxResourceDocument::Private *d, pugi::xml_node resource, pugi::xml_node field,
                const QString &valueText, VxValueKind kind)
{
    // Split only for the kinds made of pieces: nearly every value is plain text.
    const QStringList parts = kind == VxValueKind::Text ? QStringList() : pieces(valueText);
    switch (kind) {
    case VxValueKind::Color:
        setAttribute(field, "r", parts[1]);
        setAttribute(field, "g", parts[2]);
        setAttribute(field, "b", parts[3]);
        if (parts.size() >= 5)
            setAttribute(field, "a", parts[4]);
        break;
    case VxValueKind::Vector:
        setAttribute(field, "x", parts[1]);
        setAttribute(field, "y", parts[2]);
        if (parts.size() >= 4)
            setAttribute(field, "z", parts[3]);
        break;
    case VxValueKind::Reference:
        setAttribute(field, "href", parts.sliced(1).join(u' '));
        break;
    case VxValueKind::Text:
        if (d && d->dropsUnreadText && !field.first_child() && field.parent() == resource)
            break;
        setText(d, field, valueText);
        break;
    case VxValueKind::Invalid:
        break;
    }
}

// Whether a new field named tag could be saved and read back.
bool canName(const VxResourceDocument::Private *d, const QString &tag)
{
    return isValidXmlName(tag) && (!d || d->canEncode(tag));
}

// Called before a field of resource changes. Fields added to, changed in or removed from the
// table itself are resource elements, so the id index no longer describes the table.
void touch(VxResourceDocument::Private *d, pugi::xml_node resource)
{
    if (!d)
        return;
    d->noteChange(resource);
    if (resource == d->tableNode())
        d->forgetIds();
}

} // namespace

void VxResourceDocument::Private::noteChildAppended(pugi::xml_node parent, pugi::xml_node child)
{
    if (fieldsOwner != parent.internal_object() || !child)
        return;
    // At the end: the first of its name stays first.
    auto &run = fields[QByteArrayView(domNodeName(child))];
    if (run.count++ == 0)
        run.first = child.internal_object();
}

void VxResourceDocument::Private::noteChildRemoved(pugi::xml_node parent, pugi::xml_node child)
{
    if (fieldsOwner != parent.internal_object()) {
        // An owner that goes with the removed subtree must not be mistaken for a node that
        // later takes its place in memory.
        for (pugi::xml_node up(fieldsOwner); up; up = up.parent())
            if (up == child)
                forgetFields();
        return;
    }
    const char *const name = domNodeName(child);
    auto it = fields.find(QByteArrayView(name));
    if (it == fields.end())
        return;
    if (--it->count == 0) {
        fields.erase(it);
    } else if (it->first == child.internal_object()) {
        // The next of that name takes its place; the key views the name of the node that
        // goes, so it is keyed anew by the one that stays.
        pugi::xml_node next = child.next_sibling();
        while (next && std::strcmp(domNodeName(next), name) != 0)
            next = next.next_sibling();
        if (!next) {
            forgetFields();
            return;
        }
        const qsizetype count = it->count;
        fields.erase(it);
        fields.insert(QByteArrayView(domNodeName(next)), {next.internal_object(), count});
    }
}

VxValueKind classifyResourceValue(const QString &valueText)
{
    if (!valueText.startsWith(u'@'))
        return VxValueKind::Text;
    if (valueText.startsWith(u"@color"))
        return pieces(valueText).size() >= 4 ? VxValueKind::Color : VxValueKind::Invalid;
    if (valueText.startsWith(u"@vector"))
        return pieces(valueText).size() >= 3 ? VxValueKind::Vector : VxValueKind::Invalid;
    if (valueText.startsWith(u"@href"))
        return VxValueKind::Reference;
    if (valueText.startsWith(u'@'))
        return VxValueKind::Invalid;
    return VxValueKind::Text;
}

QString fieldSelectorTag(const QString &selector)
{
    return parseSelector(selector).tag;
}

VxResourceElement selectResourceField(const VxResourceElement &resource, const QString &selector)
{
    return VxResourceAccess::element(
        resource.document(), selectNode(VxResourceAccess::data(resource),
                                        VxResourceAccess::node(resource), parseSelector(selector)));
}

QString readResourceField(const VxResourceElement &resource, const QString &selector)
{
    const pugi::xml_node field =
        selectNode(VxResourceAccess::data(resource), VxResourceAccess::node(resource),
                   parseSelector(selector));
    if (field.type() != pugi::node_element)
        return {};
    const auto has = [&](const char *name) { return bool(field.attribute(name)); };
    const auto value = [&](const char *name) {
        return QString::fromUtf8(field.attribute(name).value());
    };
    if (has("r") && has("g") && has("b")) {
        QString text = u"@color "_s + value("r") + u' ' + value("g") + u' ' + value("b");
        if (has("a"))
            text += u' ' + value("a");
        return text;
    }
    if (has("x") && has("y")) {
        QString text = u"@vector "_s + value("x") + u' ' + value("y");
        if (has("z"))
            text += u' ' + value("z");
        return text;
    }
    if (has("href"))
        return u"@href "_s + value("href");

    QByteArray text;
    for (pugi::xml_node node = nextBelow(field, field); node; node = nextBelow(node, field)) {
        if (node.type() == pugi::node_pcdata || node.type() == pugi::node_cdata)
            text += node.value();
    }
    // Found but empty is an empty string, never the null that means "no such field".
    return text.isEmpty() ? u""_s : QString::fromUtf8(text);
}

bool addResourceField(const VxResourceElement &resource, const QString &selector,
                      const QString &valueText)
{
    VxResourceDocument::Private *d = VxResourceAccess::data(resource);
    pugi::xml_node resourceNode = VxResourceAccess::node(resource);
    const QString tag = withoutGroups(selector);
    if (!canName(d, tag))
        return false;
    const VxValueKind kind = classifyResourceValue(valueText);
    if (!resourceNode)
        return kind != VxValueKind::Invalid;
    touch(d, resourceNode);
    pugi::xml_node field = resourceNode.append_child(VxTreeText(tag).c_str());
    d->noteDepth(field);
    d->noteChildAppended(resourceNode, field);
    if (kind == VxValueKind::Invalid)
        return false;
    writeValue(d, resourceNode, field, valueText, kind);
    return true;
}

bool setResourceField(const VxResourceElement &resource, const QString &selector,
                      const QString &valueText, bool *appended)
{
    if (appended)
        *appended = false;
    VxResourceDocument::Private *d = VxResourceAccess::data(resource);
    pugi::xml_node resourceNode = VxResourceAccess::node(resource);
    const Selector parsed = parseSelector(selector);
    if (!canName(d, parsed.tag))
        return false;
    const VxValueKind kind = classifyResourceValue(valueText);
    if (!resourceNode)
        return kind != VxValueKind::Invalid;
    touch(d, resourceNode);
    pugi::xml_node field = selectNode(d, resourceNode, parsed);
    if (!field) {
        field = resourceNode.append_child(VxTreeText(parsed.tag).c_str());
        d->noteDepth(field);
        d->noteChildAppended(resourceNode, field);
    } else if (appended) {
        *appended = kind == VxValueKind::Text &&
                    fieldAppendsText(VxResourceAccess::element(resource.document(), field));
    }
    if (field.first_attribute()) {
        for (const char *name : valueAttributes)
            field.remove_attribute(name);
    }
    if (kind == VxValueKind::Invalid)
        return false;
    writeValue(d, resourceNode, field, valueText, kind);
    return true;
}

bool fieldAppendsText(const VxResourceElement &field)
{
    const pugi::xml_node first = VxResourceAccess::node(field).first_child();
    return first && first.type() != pugi::node_pcdata && first.type() != pugi::node_cdata;
}

bool removeResourceField(const VxResourceElement &resource, const QString &selector)
{
    VxResourceDocument::Private *d = VxResourceAccess::data(resource);
    pugi::xml_node resourceNode = VxResourceAccess::node(resource);
    const pugi::xml_node field = selectNode(d, resourceNode, parseSelector(selector));
    if (!field)
        return false;
    touch(d, resourceNode);
    // A field found deeper by an index stays where it is; only the resource's own children
    // are taken out, and the result still says one was found.
    if (field.parent() == resourceNode) {
        if (d)
            d->noteChildRemoved(resourceNode, field);
        vxRemoveSubtree(field);
    }
    return true;
}
