#pragma once

// Shared between the two halves of the resource store; nothing outside resources/ includes it.

#include "resources/resourcestore.h"

#include <QByteArrayView>
#include <QHash>
#include <QList>
#include <QSet>
#include <QStringView>
#include <QVarLengthArray>

#include <pugixml.hpp>

#include <memory>
#include <string_view>

struct VxResourceDocument::Private
{
    // The parsed text; the tree's names and values point into it, so it outlives the tree.
    QByteArray buffer;
    pugi::xml_document doc;
    QString error;
    // The encoding the file's declaration names, as declared; empty for UTF-8, which needs no
    // conversion on the way in or out.
    QByteArray encoding;
    // See VxResourceDocument::dropUnreadText().
    bool dropsUnreadText = false;

    // id -> first table child with that id. Built on the first lookup in the table and kept
    // in step by create and import; anything else that changes the table's children drops
    // it. The keys view the attribute values inside the tree: nothing rewrites the "id" of a
    // table child once it is in here.
    QHash<QByteArrayView, pugi::xml_node_struct *> ids;
    bool idsBuilt = false;

    // The deepest level of any node (the document element is level 1), or -1 until a save
    // first needs it. Walking a large tree costs as much as a third of saving it, so it is
    // measured once and then raised by every operation that adds nodes.
    int depth = -1;

    // The direct children of one element with many of them, by DOM node name: the first in
    // document order and how many share the name. A tweak file sets field after field of one
    // element; finding each by a walk over its children made that quadratic. Kept in step by
    // whatever adds or removes a child of that element. The keys view the names inside the
    // tree (or the fixed names of text and comments), so an entry costs no allocation of its
    // own: a file of 100,000 fields made 200,000 of them, and freeing them took as long as
    // making them.
    struct FieldRun
    {
        pugi::xml_node_struct *first = nullptr;
        qsizetype count = 0;
    };
    pugi::xml_node_struct *fieldsOwner = nullptr;
    QHash<QByteArrayView, FieldRun> fields;

    // See VxResourceDocument::keepOriginals().
    struct Originals
    {
        pugi::xml_node_struct *table = nullptr;
        bool lost = false; // the table itself changed: its children no longer tell
        QSet<pugi::xml_node_struct *> added;                            // children added since
        QHash<pugi::xml_node_struct *, pugi::xml_node_struct *> copies; // changed -> as it was
        VxResourceDocument store;                                       // holds the copies
    };
    std::unique_ptr<Originals> originals;

    pugi::xml_node tableNode() const;
    // Calls before node, or anything under it, changes (a child appended to the table is
    // told to originals->added instead).
    void noteChange(pugi::xml_node node);
    void forgetIds();
    void forgetFields() { fieldsOwner = nullptr, fields.clear(); }
    // Calls for every child added to or removed from parent (children added at its end).
    void noteChildAppended(pugi::xml_node parent, pugi::xml_node child);
    void noteChildRemoved(pugi::xml_node parent, pugi::xml_node child);
    // Records that node, and levelsBelow levels under it, now exist.
    void noteDepth(pugi::xml_node node, int levelsBelow = 0);
    // Whether every character of text can be written in the document's encoding as itself
    // (names and CDATA cannot fall back on character references).
    bool canEncode(QStringView text) const;
};

struct VxResourceAccess
{
    static VxResourceElement element(VxResourceDocument *doc, pugi::xml_node node)
    {
        if (!doc || node.type() != pugi::node_element)
            return {};
        return VxResourceElement(doc, node.internal_object());
    }
    static pugi::xml_node node(const VxResourceElement &element)
    {
        return pugi::xml_node(element.m_node);
    }
    static VxResourceDocument::Private *data(const VxResourceElement &element)
    {
        return element.m_doc ? element.m_doc->d_func() : nullptr;
    }
};

// How many levels the subtree of node reaches below it (0 for a leaf); iterative, and it stops
// counting once past limit.
int vxSubtreeDepth(pugi::xml_node node, int limit);

// Takes node and its subtree out of the tree. pugixml frees a subtree recursively, one stack
// frame per level, and a file may nest deeper than a small thread stack holds (Windows gives
// the main thread 1 to 2 MiB), so the subtree is dismantled from its leaves up first.
void vxRemoveSubtree(pugi::xml_node node);

// Text in the tree's UTF-8, held on the stack when it is short: names and values are set
// field after field, and an allocation for each cost more than the rest of the work.
class VxTreeText
{
public:
    enum class Nul {
        Ends, // the tree cannot hold U+0000, so text stored in it ends there
        Kept, // a name looked up: one holding U+0000 matches nothing
    };
    explicit VxTreeText(QStringView text, Nul nul = Nul::Ends);
    const char *c_str() const { return m_bytes.constData(); }
    std::string_view view() const { return {m_bytes.constData(), size_t(m_bytes.size() - 1)}; }

private:
    QVarLengthArray<char, 256> m_bytes; // with a terminating NUL
};
