#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// Text to and from a byte encoding a resource file names in its declaration. Qt's converters
// serve every name they know; a Windows Qt usually comes without ICU and knows little beyond
// the UTF forms and Latin-1, so there the system's own code pages stand in for the rest.

// Whether text can be read and written in the named encoding.
bool vxCanConvertEncoding(const QByteArray &encoding);
// All of bytes as text; nothing when a byte sequence is not valid in the encoding.
std::optional<QString> vxDecodeText(const QByteArray &encoding, const QByteArray &bytes);
// All of text as bytes; nothing when the encoding cannot hold one of its characters.
std::optional<QByteArray> vxEncodeText(const QByteArray &encoding, QStringView text,
                                       bool withBom = false);

#ifdef Q_OS_WIN
// The system's converters, for the code page of an encoding name (0 when there is none).
unsigned vxWindowsCodePage(const QByteArray &encoding);
std::optional<QString> vxDecodeCodePage(unsigned codePage, const QByteArray &bytes);
std::optional<QByteArray> vxEncodeCodePage(unsigned codePage, QStringView text);
#endif
