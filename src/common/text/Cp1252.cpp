#include "common/text/Cp1252.h"

#include <QList>

#include <array>

namespace trawlex {
namespace {

// The code points of bytes 0x80 to 0x9F; the unassigned ones keep their own number.
constexpr std::array<char16_t, 32> kHighControlBlock = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  //
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  //
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  //
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

// Returns the byte for a code point, or -1 when Windows-1252 has none.
int EncodeCodePoint(char32_t codePoint) {
    if (codePoint < 0x80 || (codePoint >= 0xA0 && codePoint <= 0xFF)) {
        return static_cast<int>(codePoint);
    }
    for (std::size_t index = 0; index < kHighControlBlock.size(); ++index) {
        if (kHighControlBlock[index] == codePoint) {
            return static_cast<int>(0x80 + index);
        }
    }
    return -1;
}

template <typename OnUnencodable>
bool EncodeEach(QStringView text, std::string& out, OnUnencodable onUnencodable) {
    out.reserve(out.size() + static_cast<std::size_t>(text.size()));
    for (const char32_t codePoint : text.toUcs4()) {
        const int byte = EncodeCodePoint(codePoint);
        if (byte >= 0) {
            out.push_back(static_cast<char>(byte));
            continue;
        }
        if (!onUnencodable(codePoint, out)) {
            return false;
        }
    }
    return true;
}

}  // namespace

QChar DecodeCp1252Byte(unsigned char byte) {
    if (byte >= 0x80 && byte < 0xA0) {
        return QChar(kHighControlBlock[byte - 0x80]);
    }
    return QChar(static_cast<char16_t>(byte));
}

QString DecodeCp1252(std::string_view bytes) {
    QString text;
    text.resize(static_cast<qsizetype>(bytes.size()));
    QChar* out = text.data();
    for (const char byte : bytes) {
        *out++ = DecodeCp1252Byte(static_cast<unsigned char>(byte));
    }
    return text;
}

Result<std::string> EncodeCp1252(QStringView text) {
    std::string out;
    char32_t rejected = 0;
    const bool ok = EncodeEach(text, out, [&rejected](char32_t codePoint, std::string&) {
        rejected = codePoint;
        return false;
    });
    if (ok) {
        return out;
    }
    const QString character = QString::fromUcs4(&rejected, 1);
    const QString codeNumber =
        QStringLiteral("%1").arg(static_cast<uint>(rejected), 4, 16, QLatin1Char('0')).toUpper();
    return Error{QStringLiteral("Das Zeichen \u201E%1\u201C (U+%2) kann in Windows-1252 nicht "
                                "dargestellt werden.")
                     .arg(character, codeNumber)};
}

std::string EncodeCp1252WithReferences(QStringView text) {
    std::string out;
    EncodeEach(text, out, [](char32_t codePoint, std::string& target) {
        target += "&#" + std::to_string(static_cast<std::uint32_t>(codePoint)) + ';';
        return true;
    });
    return out;
}

std::string Cp1252FromUtf8(std::string_view utf8) {
    return EncodeCp1252WithReferences(
        QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())));
}

}  // namespace trawlex
