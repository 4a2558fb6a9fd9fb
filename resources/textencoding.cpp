#include "resources/textencoding.h"

#include <QStringDecoder>
#include <QStringEncoder>

#include <algorithm>

namespace {

// Qt without ICU has no US-ASCII either, and it is simple enough to do here.
bool isAscii(const QByteArray &encoding)
{
    const QByteArray name = encoding.trimmed().toLower();
    return name == "us-ascii" || name == "ascii";
}

} // namespace

bool vxCanConvertEncoding(const QByteArray &encoding)
{
    if (QStringEncoder(encoding.constData()).isValid() || isAscii(encoding))
        return true;
#ifdef Q_OS_WIN
    return vxWindowsCodePage(encoding) != 0;
#else
    return false;
#endif
}

std::optional<QString> vxDecodeText(const QByteArray &encoding, const QByteArray &bytes)
{
    QStringDecoder decoder(encoding.constData());
    if (decoder.isValid()) {
        QString text = decoder(bytes);
        if (decoder.hasError())
            return std::nullopt;
        return text;
    }
    if (isAscii(encoding)) {
        if (std::any_of(bytes.cbegin(), bytes.cend(), [](char c) { return uchar(c) > 0x7F; }))
            return std::nullopt;
        return QString::fromLatin1(bytes);
    }
#ifdef Q_OS_WIN
    if (const unsigned codePage = vxWindowsCodePage(encoding))
        return vxDecodeCodePage(codePage, bytes);
#endif
    return std::nullopt;
}

std::optional<QByteArray> vxEncodeText(const QByteArray &encoding, QStringView text, bool withBom)
{
    QStringEncoder encoder(encoding.constData(), withBom ? QStringConverter::Flag::WriteBom
                                                         : QStringConverter::Flag::Default);
    if (encoder.isValid()) {
        QByteArray bytes = encoder(text);
        if (encoder.hasError())
            return std::nullopt;
        return bytes;
    }
    if (isAscii(encoding)) {
        if (std::any_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() > 0x7F; }))
            return std::nullopt;
        return text.toLatin1();
    }
#ifdef Q_OS_WIN
    if (const unsigned codePage = vxWindowsCodePage(encoding))
        return vxEncodeCodePage(codePage, text);
#endif
    return std::nullopt;
}
