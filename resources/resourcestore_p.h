#pragma once

// Shared between the two halves of the resource store; nothing outside resources/ includes it.

#include "resources/resourcestore.h"

#include <QByteArrayView>
#include <QHash>
#include <QStringView>

#include <pugixml.hpp>

struct VxResourceDocument::Private
{
    // The parsed text; the tree's names and values point into it, so it outlives the tree.
    QByteArray buffer;
    pugi::xml_document doc;
    QString error;
    // The encoding the file's declaration names, as declared; empty for UTF-8, which needs no
    // conversion on the way in or out.
    QByteArray encoding;

    // id -> first table child with that id. Built on the first lookup in the table and kept
    // in step by create and import; anything else that changes the table's children drops
    // it. The keys view the attribute values inside the tree: nothing rewrites the "id" of a
    // table child once it is in here.
    QHash<QByteArrayView, pugi::xml_node_struct *> ids;
    bool idsBuilt = false;

    pugi::xml_node tableNode() const;
    void forgetIds();
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

// QString to the tree's UTF-8; the tree cannot hold U+0000, so the text ends there.
QByteArray vxToTreeText(QStringView text);
