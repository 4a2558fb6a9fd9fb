#include "resources/resourcestore.h"

#include <pugixml.hpp>

struct VxResourceDocument::Private
{
    pugi::xml_document doc;
    QString error;
};

VxResourceDocument::VxResourceDocument() : d(std::make_unique<Private>()) {}
VxResourceDocument::~VxResourceDocument() = default;

bool VxResourceDocument::setContent(const QByteArray &) { return false; }
QByteArray VxResourceDocument::toByteArray() const { return {}; }
VxResourceElement VxResourceDocument::table() const { return {}; }
QString VxResourceDocument::errorString() const { return d->error; }

QString VxResourceElement::tagName() const { return {}; }
QString VxResourceElement::id() const { return {}; }

bool loadResourceDocument(VxResourceDocument &, VxResourceElement &, const QString &) { return false; }
bool saveResourceDocument(const VxResourceDocument &, const QString &, QString *) { return false; }
VxResourceElement findResourceById(const VxResourceElement &, const QString &) { return {}; }
VxResourceElement createResourceElement(const VxResourceElement &, const QString &, const QString &) { return {}; }
VxResourceElement importResourceElement(const VxResourceElement &, const VxResourceElement &, const QString &) { return {}; }
bool isValidXmlName(const QString &) { return false; }
VxValueKind classifyResourceValue(const QString &) { return VxValueKind::Invalid; }
QString fieldSelectorTag(const QString &selector) { return selector; }
VxResourceElement selectResourceField(const VxResourceElement &, const QString &) { return {}; }
QString readResourceField(const VxResourceElement &, const QString &) { return {}; }
bool addResourceField(const VxResourceElement &, const QString &, const QString &) { return false; }
bool setResourceField(const VxResourceElement &, const QString &, const QString &) { return false; }
bool removeResourceField(const VxResourceElement &, const QString &) { return false; }
