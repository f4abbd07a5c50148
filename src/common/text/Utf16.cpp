#include "common/text/Utf16.h"

#include "common/text/TextEncoding.h"

#include <algorithm>

namespace trawlex {
namespace {

constexpr char32_t kReplacementCharacter = 0xFFFD;

char16_t UnitAt(std::string_view bytes, std::size_t at, ByteOrder order) {
    const auto first = static_cast<unsigned char>(bytes[at]);
    const auto second = static_cast<unsigned char>(bytes[at + 1]);
    return static_cast<char16_t>(order == ByteOrder::Little ? first | (second << 8)
                                                            : (first << 8) | second);
}

void AppendUnit(std::string& out, char16_t unit, ByteOrder order) {
    const auto low = static_cast<char>(unit & 0xFF);
    const auto high = static_cast<char>(unit >> 8);
    if (order == ByteOrder::Little) {
        out += low;
        out += high;
    } else {
        out += high;
        out += low;
    }
}

bool IsHigh(char16_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}
bool IsLow(char16_t unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

std::size_t SequenceLength(unsigned char lead) {
    return lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
}

}  // namespace

std::optional<ByteOrder> Utf16Order(std::string_view head) {
    if (head.starts_with("\xFF\xFE")) {
        return ByteOrder::Little;
    }
    if (head.starts_with("\xFE\xFF")) {
        return ByteOrder::Big;
    }
    return std::nullopt;
}

void Utf16Decoder::Decode(std::string_view bytes, bool final, std::string& out) {
    std::string joined;
    if (!carried_.empty()) {
        joined = carried_ + std::string(bytes);
        carried_.clear();
        bytes = joined;
    }
    out.reserve(out.size() + bytes.size() / 2 * 3 + 3);
    std::size_t at = 0;
    while (bytes.size() - at >= 2) {
        const char16_t unit = UnitAt(bytes, at, order_);
        if (IsHigh(unit)) {
            if (bytes.size() - at < 4) {
                break;  // its partner may come with the next piece
            }
            const char16_t next = UnitAt(bytes, at + 2, order_);
            if (IsLow(next)) {
                AppendUtf8(out, 0x10000 + ((char32_t{unit} - 0xD800) << 10) + (next - 0xDC00));
                at += 4;
                continue;
            }
        }
        if (IsHigh(unit) || IsLow(unit)) {
            malformed_ = true;
            AppendUtf8(out, kReplacementCharacter);
        } else {
            AppendUtf8(out, unit);
        }
        at += 2;
    }
    if (!final) {
        carried_.assign(bytes.substr(at));
        return;
    }
    // A high surrogate at the very end, or an odd byte.
    while (at < bytes.size()) {
        malformed_ = true;
        AppendUtf8(out, kReplacementCharacter);
        at += std::min<std::size_t>(2, bytes.size() - at);
    }
}

std::string DecodeUtf16ToUtf8(std::string_view bytes, ByteOrder order, bool* malformed) {
    Utf16Decoder decoder(order);
    std::string out;
    decoder.Decode(bytes, true, out);
    if (malformed != nullptr) {
        *malformed = decoder.Malformed();
    }
    return out;
}

std::string_view TextOf(std::string_view bytes, std::string& decoded, bool* malformed) {
    const auto order = Utf16Order(bytes);
    if (!order) {
        return bytes;
    }
    decoded.clear();
    Utf16Decoder decoder(*order);
    decoder.Decode(bytes, true, decoded);
    if (malformed != nullptr) {
        *malformed = decoder.Malformed();
    }
    return decoded;
}

void Utf16Encoder::Encode(std::string_view utf8, std::string& out) {
    std::string joined;
    if (!carried_.empty()) {
        joined = carried_ + std::string(utf8);
        carried_.clear();
        utf8 = joined;
    }
    out.reserve(out.size() + 2 * utf8.size());
    std::size_t at = 0;
    while (at < utf8.size()) {
        const auto lead = static_cast<unsigned char>(utf8[at]);
        const std::size_t length = SequenceLength(lead);
        if (utf8.size() - at < length) {
            carried_.assign(utf8.substr(at));
            return;
        }
        char32_t codePoint = length == 1   ? lead
                             : length == 2 ? lead & 0x1F
                             : length == 3 ? lead & 0x0F
                                           : lead & 0x07;
        for (std::size_t index = 1; index < length; ++index) {
            codePoint = (codePoint << 6) | (static_cast<unsigned char>(utf8[at + index]) & 0x3F);
        }
        if (codePoint >= 0x10000) {
            AppendUnit(out, static_cast<char16_t>(0xD800 + ((codePoint - 0x10000) >> 10)), order_);
            AppendUnit(out, static_cast<char16_t>(0xDC00 + ((codePoint - 0x10000) & 0x3FF)),
                       order_);
        } else {
            AppendUnit(out, static_cast<char16_t>(codePoint), order_);
        }
        at += length;
    }
}

std::string EncodeUtf8AsUtf16(std::string_view utf8, ByteOrder order) {
    Utf16Encoder encoder(order);
    std::string out;
    encoder.Encode(utf8, out);
    return out;
}

std::string EncodeUtf16(QStringView text, ByteOrder order) {
    std::string out;
    out.reserve(2 * static_cast<std::size_t>(text.size()));
    for (const QChar character : text) {
        AppendUnit(out, character.unicode(), order);
    }
    return out;
}

QString DecodeUtf16(std::string_view bytes, ByteOrder order) {
    QString text;
    text.reserve(static_cast<qsizetype>(bytes.size() / 2));
    for (std::size_t at = 0; at + 1 < bytes.size(); at += 2) {
        text.append(QChar(UnitAt(bytes, at, order)));
    }
    return text;
}

std::uint64_t Utf16Length(std::string_view utf8) {
    std::uint64_t length = 0;
    for (const char byte : utf8) {
        const auto code = static_cast<unsigned char>(byte);
        length += (code & 0xC0) == 0x80 ? 0 : code >= 0xF0 ? 4 : 2;
    }
    return length;
}

std::uint64_t Utf16Offsets::FileOffset(std::size_t viewOffset) {
    if (viewOffset < viewAt_) {
        viewAt_ = 0;
        fileAt_ = 0;
    }
    fileAt_ += Utf16Length(view_.substr(viewAt_, viewOffset - viewAt_));
    viewAt_ = viewOffset;
    return fileAt_;
}

}  // namespace trawlex
