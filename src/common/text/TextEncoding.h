#pragma once

#include "common/text/CaseFold.h"

#include <QString>
#include <QStringView>

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace trawlex {

// Each file is read in the encoding it is written in: UTF-8 when it starts with the byte-order
// mark or is valid UTF-8 holding at least one multi-byte sequence, otherwise Windows-1252.
// Pure ASCII reads the same either way.
enum class TextEncoding {
    Cp1252,
    Utf8,
};

struct DetectedEncoding {
    TextEncoding encoding = TextEncoding::Cp1252;
    std::size_t bodyStart = 0;  // 3 behind a byte-order mark, which is not part of the text
};

DetectedEncoding DetectEncoding(std::string_view bytes);

// How far into a file LooksBinary looks.
inline constexpr std::size_t kBinaryHead = std::size_t{8} << 10;

// True when the first 8 KiB of a file hold a NUL byte, which text written by people does not;
// UTF-16 holds one in nearly every character, so a file starting with its mark is text.
bool LooksBinary(std::string_view head);

// Decodes one UTF-8 sequence at `position`: its code point and length, or nothing for a
// malformed or overlong sequence or a surrogate.
std::optional<std::pair<char32_t, std::size_t>> DecodeUtf8At(std::string_view text,
                                                             std::size_t position);

// Appends the UTF-8 of one code point. Encoded by hand: Qt's conversions take a leading U+FEFF
// for a byte-order mark and drop it.
void AppendUtf8(std::string& out, char32_t codePoint);

// True when the bytes are UTF-8 throughout, with no sequence cut off at their end.
bool IsValidUtf8(std::string_view bytes);

// True when no byte lies beyond ASCII, as in most names, paths and source files: 32 bytes a
// step, which the compiler turns into vector loads.
bool IsAscii(std::string_view bytes);

// The same decision for a file read piece by piece: a sequence may be split between pieces.
class EncodingDetector {
public:
    void Feed(std::string_view piece);
    // True once no later byte can change the answer: a byte-order mark, or a byte that is no
    // UTF-8.
    bool Decided() const { return byteOrderMark_ || invalid_; }
    DetectedEncoding Finish() const;

private:
    bool started_ = false;
    bool byteOrderMark_ = false;
    bool invalid_ = false;
    bool multiByte_ = false;
    std::string pending_;  // the start of a sequence the last piece ended in
};

// Bytes decoded in the encoding their file is written in.
QString DecodeAs(std::string_view bytes, TextEncoding encoding);

// Control characters as their pictures, so that a searched or changed line end shows as
// plainly as a letter; a tab stays a tab.
QString ControlsVisible(QString text);

// Text of a file (a profile, the settings) decoded by its detected encoding.
QString DecodeDetected(std::string_view bytes);

// The 1-based character position of a byte offset: in UTF-8 code points behind the byte-order
// mark, in Windows-1252 bytes.
std::int64_t CharacterPosition(std::string_view bytes, const DetectedEncoding& detected,
                               std::size_t offset);

// The characters UTF-8 bytes hold: every byte but the continuation bytes.
std::int64_t CountCharacters(std::string_view bytes);

// Where an occurrence lies, in bytes; its length may differ from the term's when letters of
// different byte lengths fold alike.
struct Span {
    std::size_t start = 0;
    std::size_t end = 0;
};

// Finds a term ignoring case in UTF-8 text by Unicode simple case folding.
class Utf8FoldFinder {
public:
    explicit Utf8FoldFinder(QStringView term);

    std::optional<Span> Find(std::string_view text, std::size_t from) const;

    // The most bytes an occurrence can take: four for each character.
    std::size_t LongestOccurrence() const { return 4 * folded_.size(); }

private:
    std::optional<std::size_t> MatchAt(std::string_view text, std::size_t position) const;

    std::u32string folded_;
    std::array<bool, 256> leadBytes_{};  // first bytes of every code point folding to the first
};

// A literal term a person typed, ready for files of either encoding: in a UTF-8 file it is
// matched as UTF-8, in a Windows-1252 file as Windows-1252. A term Windows-1252 cannot hold
// simply does not occur in such files. Ignoring case, both fold as regular expressions do:
// by Unicode simple case folding, so that "k" also finds the Kelvin sign in UTF-8 and "ẞ" finds
// "ß" in Windows-1252.
class LiteralTerm {
public:
    LiteralTerm() = default;  // the empty term, which occurs nowhere
    LiteralTerm(QStringView term, CompareMode mode);

    bool IsEmpty() const { return empty_; }

    // True when the term is found alike in both encodings (pure ASCII, matched by bytes), so a
    // file's encoding only needs deciding once the term has been found in it: unless the bytes
    // hold a character beyond ASCII that folds to one of its letters, see HoldsPartner.
    bool IsEncodingIndependent() const { return ascii_; }

    // True when the bytes hold a character that only UTF-8 reads as a case partner of a letter
    // of this pure ASCII term (the Kelvin sign for "k", the long s for "s"): from there on the
    // occurrences of the two encodings may differ.
    bool HoldsPartner(std::string_view bytes) const {
        return FirstPartner(bytes, 0) != std::string_view::npos;
    }

    // False when the bytes cannot hold an occurrence. A pure ASCII term is ruled out by its
    // bytes and those of the few characters beyond ASCII folding to its letters, before the
    // file's encoding is known; any other term needs that decision, which only `thorough` pays
    // for (otherwise the answer is true).
    bool MayOccur(std::string_view bytes, bool thorough) const;

    std::optional<Span> Find(std::string_view text, std::size_t from, TextEncoding encoding) const;

    // The most bytes an occurrence can take in a file of that encoding; 0 when it cannot occur.
    std::size_t LongestOccurrence(TextEncoding encoding) const;

private:
    std::optional<Span> FindAmongPartners(std::string_view text, std::size_t from) const;
    std::size_t FirstPartner(std::string_view text, std::size_t from) const;

    bool empty_ = true;
    bool ascii_ = false;
    std::optional<Finder> cp1252_;
    std::optional<Finder> utf8Bytes_;  // exact, or ignoring case when the term is pure ASCII
    std::optional<Utf8FoldFinder> utf8Folded_;
    // Ignoring case, the UTF-8 bytes of the characters beyond ASCII that fold to a letter of a
    // pure ASCII term (the Kelvin sign, the long s); only near them is the term folded by code
    // points, everywhere else it is found by its bytes.
    std::vector<std::string> partners_;
    std::size_t longestUtf8_ = 0;
};

}  // namespace trawlex
