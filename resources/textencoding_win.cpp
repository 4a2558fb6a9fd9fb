#include "resources/textencoding.h"

#include <qt_windows.h>

#include <climits>

unsigned vxWindowsCodePage(const QByteArray &encoding)
{
    const QByteArray name = encoding.trimmed().toLower();
    // The single-byte and East Asian pages a game's data files are written in. Pages that
    // cannot report unmappable characters (the ISO-2022 and UTF-7 families, and US-ASCII,
    // which folds bytes above 0x7F onto letters) are left out.
    static const struct
    {
        const char *name;
        unsigned codePage;
    } pages[] = {
        {"windows-874", 874},    {"cp874", 874},
        {"windows-1250", 1250},  {"cp1250", 1250},
        {"windows-1251", 1251},  {"cp1251", 1251},
        {"windows-1252", 1252},  {"cp1252", 1252},
        {"windows-1253", 1253},  {"cp1253", 1253},
        {"windows-1254", 1254},  {"cp1254", 1254},
        {"windows-1255", 1255},  {"cp1255", 1255},
        {"windows-1256", 1256},  {"cp1256", 1256},
        {"windows-1257", 1257},  {"cp1257", 1257},
        {"windows-1258", 1258},  {"cp1258", 1258},
        {"ibm437", 437},         {"cp437", 437},
        {"ibm850", 850},         {"cp850", 850},
        {"ibm852", 852},         {"cp852", 852},
        {"ibm866", 866},         {"cp866", 866},
        {"koi8-r", 20866},       {"koi8-u", 21866},

        {"iso-8859-2", 28592},   {"iso-8859-3", 28593},
        {"iso-8859-4", 28594},   {"iso-8859-5", 28595},
        {"iso-8859-6", 28596},   {"iso-8859-7", 28597},
        {"iso-8859-8", 28598},   {"iso-8859-9", 28599},
        {"iso-8859-13", 28603},  {"iso-8859-15", 28605},
        {"shift_jis", 932},      {"windows-31j", 932},
        {"cp932", 932},          {"gbk", 936},
        {"gb2312", 936},         {"cp936", 936},
        {"ks_c_5601-1987", 949}, {"euc-kr", 949},
        {"cp949", 949},          {"big5", 950},
        {"cp950", 950},          {"euc-jp", 20932},
    };
    for (const auto &page : pages) {
        if (name == page.name)
            return IsValidCodePage(page.codePage) ? page.codePage : 0;
    }
    return 0;
}

std::optional<QString> vxDecodeCodePage(unsigned codePage, const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return QString();
    if (bytes.size() > INT_MAX)
        return std::nullopt;
    const int size = int(bytes.size());
    // MB_ERR_INVALID_CHARS turns a byte the page does not define into an error rather than a
    // silent substitute.
    const int wide =
        MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.constData(), size, nullptr, 0);
    if (wide <= 0)
        return std::nullopt;
    QString text(wide, Qt::Uninitialized);
    if (MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.constData(), size,
                            reinterpret_cast<wchar_t *>(text.data()), wide) != wide)
        return std::nullopt;
    return text;
}

std::optional<QByteArray> vxEncodeCodePage(unsigned codePage, QStringView text)
{
    if (text.isEmpty())
        return QByteArray();
    if (text.size() > INT_MAX)
        return std::nullopt;
    const auto *wide = reinterpret_cast<const wchar_t *>(text.utf16());
    const int size = int(text.size());
    // No best fit: 'Ω' must not quietly become 'O'; a character the page lacks is reported.
    BOOL lost = FALSE;
    const int bytes =
        WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, wide, size, nullptr, 0, nullptr, &lost);
    if (bytes <= 0 || lost)
        return std::nullopt;
    QByteArray out(bytes, Qt::Uninitialized);
    if (WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, wide, size, out.data(), bytes, nullptr,
                            &lost) != bytes ||
        lost)
        return std::nullopt;
    return out;
}
