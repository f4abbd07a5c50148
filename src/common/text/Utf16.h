#pragma once

// A file that starts with a UTF-16 byte-order mark is searched and replaced as UTF-8: its text,
// the mark included, is decoded into a UTF-8 view, which the UTF-8 machinery reads (the mark
// becomes the UTF-8 mark, so positions leave it out), and what a replacement makes of that view
// is encoded back in the file's byte order, which turns the UTF-8 mark into the file's own.

#include <QString>
#include <QStringView>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace trawlex {

enum class ByteOrder {
    Little,  // FF FE
    Big,     // FE FF
};

// The byte order a file's first bytes announce; none without a UTF-16 byte-order mark.
std::optional<ByteOrder> Utf16Order(std::string_view head);

// Decodes UTF-16 piece by piece into UTF-8; a code unit or surrogate pair a piece cuts is kept
// for the next. A surrogate without its partner, or a byte left over at the end, becomes U+FFFD
// and is remembered: a search goes on over it, a rewrite would not give those bytes back.
class Utf16Decoder {
public:
    explicit Utf16Decoder(ByteOrder order) : order_(order) {}

    // Appends the UTF-8 of `bytes` to `out`; `final` says that nothing follows.
    void Decode(std::string_view bytes, bool final, std::string& out);
    bool Malformed() const { return malformed_; }
    // The bytes of the last piece that wait for the next.
    std::size_t Carried() const { return carried_.size(); }

private:
    ByteOrder order_;
    std::string carried_;
    bool malformed_ = false;
};

// A whole file's UTF-16, its mark included, as UTF-8.
std::string DecodeUtf16ToUtf8(std::string_view bytes, ByteOrder order, bool* malformed = nullptr);

// What a file's bytes are matched as: the bytes, or for a file with a UTF-16 byte-order mark
// their UTF-8, decoded into `decoded`.
std::string_view TextOf(std::string_view bytes, std::string& decoded, bool* malformed = nullptr);

// Encodes valid UTF-8 piece by piece into UTF-16; a sequence a piece cuts waits for the next.
class Utf16Encoder {
public:
    explicit Utf16Encoder(ByteOrder order) : order_(order) {}

    void Encode(std::string_view utf8, std::string& out);

private:
    ByteOrder order_;
    std::string carried_;
};

std::string EncodeUtf8AsUtf16(std::string_view utf8, ByteOrder order);

// Text in UTF-16 of the given order, without a mark.
std::string EncodeUtf16(QStringView text, ByteOrder order);
QString DecodeUtf16(std::string_view bytes, ByteOrder order);

// The bytes the UTF-16 of a stretch of UTF-8 takes: 2 for each character of the Basic
// Multilingual Plane, 4 for each beyond it.
std::uint64_t Utf16Length(std::string_view utf8);

// Turns offsets of the UTF-8 view into offsets of the file, asked in rising order, so that the
// view is passed over once however many offsets are asked for.
class Utf16Offsets {
public:
    explicit Utf16Offsets(std::string_view view) : view_(view) {}

    std::uint64_t FileOffset(std::size_t viewOffset);

private:
    std::string_view view_;
    std::size_t viewAt_ = 0;
    std::uint64_t fileAt_ = 0;
};

}  // namespace trawlex
