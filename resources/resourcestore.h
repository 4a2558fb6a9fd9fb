#pragma once

#include <QByteArray>
#include <QString>

#include <memory>

namespace pugi {
struct xml_node_struct;
}

class VxResourceDocument;

// A handle to one element of a resource document. Copying the handle does not copy the
// element; a default-constructed handle is the null element that every failed lookup
// returns, and every operation accepts it and then does nothing.
class VxResourceElement
{
public:
    VxResourceElement() = default;

    bool isNull() const { return m_node == nullptr; }
    QString tagName() const;
    // The "id" attribute; empty when the element has none.
    QString id() const;
    VxResourceDocument *document() const { return m_doc; }

    friend bool operator==(const VxResourceElement &a, const VxResourceElement &b)
    {
        return a.m_node == b.m_node;
    }

private:
    friend class VxResourceDocument;
    friend struct VxResourceAccess;
    VxResourceElement(VxResourceDocument *doc, pugi::xml_node_struct *node)
        : m_doc(doc), m_node(node)
    {
    }

    VxResourceDocument *m_doc = nullptr;
    pugi::xml_node_struct *m_node = nullptr;
};

// One parsed resource file. Only the resource store sees the XML library's types; the rest
// of the program goes through the functions below. Not copyable: element handles point
// into it.
class VxResourceDocument
{
public:
    VxResourceDocument();
    ~VxResourceDocument();
    VxResourceDocument(const VxResourceDocument &) = delete;
    VxResourceDocument &operator=(const VxResourceDocument &) = delete;

    // Parses bytes as a resource file would be parsed; false (and errorString) on failure,
    // which leaves the document empty: handles into its old content are no longer valid.
    bool setContent(const QByteArray &data);
    // The document as saveResourceDocument writes it.
    QByteArray toByteArray() const;
    // The resource table: the first child node of the document element, as an element.
    VxResourceElement table() const;
    QString errorString() const;
    // For a document that is compiled to see what the edits do, and neither saved nor read
    // for what its fields say (the plan's): from now on, text set on a field of a resource
    // element that holds nothing yet is not stored, and the field reads as empty. Nothing else
    // changes: which fields exist, what they hold first, and the text of fields that hold
    // elements, which is what the tweak compiler reads back (a container's reference is an
    // attribute, never text). Setting field after field, most of the work is storing text.
    void dropUnreadText();
    // For a document whose edits must not hide what its resource table held (a launch's
    // working document, beside which "#copy" reads the game's own elements): from now on, the
    // first change to a child of the table, or to anything under it, first keeps a copy of
    // that child as it was. findOriginalById() then answers as a second, unedited parse of the
    // same file would, without one. Loading the document again ends it.
    void keepOriginals();

    struct Private;
    Private *d_func() const { return d.get(); }

private:
    std::unique_ptr<Private> d;
};

// Loads the file at path into document and points table at its resource table. False when
// the file cannot be read or is not well-formed; document.errorString() says why.
bool loadResourceDocument(VxResourceDocument &document, VxResourceElement &table,
                          const QString &path);
// Writes the document over path atomically (a crash leaves the old file or the new one),
// in the encoding its XML declaration names. False when it could not be written; error, if
// given, says why. The new content is written to temporaryPath first (path + ".vxpart" when
// none is given) and renamed over path.
bool saveResourceDocument(const VxResourceDocument &document, const QString &path,
                          QString *error = nullptr, const QString &temporaryPath = QString());
// Why saveResourceDocument refuses document whatever the disk (it holds no element, or is
// nested too deep), or an empty string when it would write it.
QString resourceSaveRefusal(const VxResourceDocument &document);

// The first direct child element of parent whose "id" equals id (an element without "id"
// counts as having an empty one); null when there is none.
VxResourceElement findResourceById(const VxResourceElement &parent, const QString &id);
// In a document that keeps its originals: the first element of its resource table with that
// id, as the table held it when keepOriginals() was called (null when it held none). Elements
// added since are not among them. False, with found untouched, when the document cannot tell:
// it keeps no originals, or its table itself was changed since.
bool findOriginalById(const VxResourceDocument &document, const QString &id,
                      VxResourceElement &found);
// Appends a new, empty element tagName with the given id to parent. Refuses (returns null,
// adds nothing) when parent is null, tagName is not a valid XML name or the file's encoding
// cannot write it.
VxResourceElement createResourceElement(const VxResourceElement &parent, const QString &id,
                                        const QString &tagName);
// Appends a deep copy of source, from any document, to parent with its "id" set to id.
VxResourceElement importResourceElement(const VxResourceElement &parent,
                                        const VxResourceElement &source, const QString &id);

// Whether text can stand as an element name in a saved file.
bool isValidXmlName(const QString &name);

enum class VxValueKind { Invalid = 0, Text = 1, Color = 2, Vector = 3, Reference = 4 };

VxValueKind classifyResourceValue(const QString &valueText);
// The tag a field selector names: the selector with every "(digits)" group removed in the
// index form, the selector itself otherwise.
QString fieldSelectorTag(const QString &selector);
VxResourceElement selectResourceField(const VxResourceElement &resource, const QString &selector);
// The field's value text, or a null string when no field is selected.
QString readResourceField(const VxResourceElement &resource, const QString &selector);
// add and set refuse a selector whose tag is not a valid XML name, or one the file's encoding
// cannot write: they return false and change nothing.
bool addResourceField(const VxResourceElement &resource, const QString &selector,
                      const QString &valueText);
// appended, when given, tells whether set text went in after the field's child elements (see
// fieldAppendsText) instead of replacing its text.
bool setResourceField(const VxResourceElement &resource, const QString &selector,
                      const QString &valueText, bool *appended = nullptr);
bool removeResourceField(const VxResourceElement &resource, const QString &selector);
// Whether text set on field goes in after what it holds instead of replacing its text: its
// first child is an element (or a comment). Such a field then reads as all its text joined.
bool fieldAppendsText(const VxResourceElement &field);
