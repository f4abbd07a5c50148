#include "common/text/TermMatcher.h"

#include "common/files/ChunkReader.h"
#include "common/text/Cp1252.h"

#include <QChar>

#include <algorithm>

namespace trawlex {
namespace {

bool IsWordCode(char32_t code) {
    return code == U'_' || QChar::isLetterOrNumber(code);
}

bool IsContinuation(char byte) {
    return (static_cast<unsigned char>(byte) & 0xC0) == 0x80;
}

// Whether the bytes of one character are a letter, a digit or an underscore; broken bytes are
// none.
bool IsWordCharacter(std::string_view character, TextEncoding encoding) {
    const auto first = static_cast<unsigned char>(character.front());
    if (first < 0x80) {
        return IsWordCode(first);
    }
    if (encoding == TextEncoding::Cp1252) {
        return IsWordCode(DecodeCp1252Byte(first).unicode());
    }
    const auto decoded = DecodeUtf8At(character, 0);
    return decoded && IsWordCode(decoded->first);
}

// Where the UTF-8 character before `at` starts: its first byte, at most four bytes back and not
// before `lowest`. What a piece keeps is decided by it in either encoding: for Windows-1252 it
// may keep up to three bytes more than the one character, which costs nothing.
std::size_t CharacterStartBefore(std::string_view bytes, std::size_t at, std::size_t lowest) {
    std::size_t from = at - 1;
    while (from > lowest && at - from < 4 && IsContinuation(bytes[from])) {
        --from;
    }
    return from;
}

// True when neither the character before the span nor the one after it belongs to a word; the
// text's start and the bytes' end count as none.
bool StandsAlone(std::string_view bytes, Span span, std::size_t textStart, TextEncoding encoding) {
    const bool utf8 = encoding == TextEncoding::Utf8;
    if (span.start > textStart) {
        const std::size_t from =
            utf8 ? CharacterStartBefore(bytes, span.start, textStart) : span.start - 1;
        if (IsWordCharacter(bytes.substr(from, span.start - from), encoding)) {
            return false;
        }
    }
    if (span.end >= bytes.size()) {
        return true;
    }
    const auto lead = static_cast<unsigned char>(bytes[span.end]);
    const std::size_t length = !utf8 || lead < 0xC0 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    return !IsWordCharacter(bytes.substr(span.end, length), encoding);
}

// The most bytes an occurrence of the literal term takes, for whole words with the character
// after it.
std::size_t Reach(const LiteralTerm& literal, WordRule words, TextEncoding encoding) {
    const std::size_t longest = literal.LongestOccurrence(encoding);
    if (longest == 0 || words == WordRule::Anywhere) {
        return longest;
    }
    return longest + (encoding == TextEncoding::Utf8 ? 4 : 1);
}

}  // namespace

TermMatcher::TermMatcher(std::shared_ptr<const Pattern> pattern, WordRule words)
    : pattern_(std::move(pattern)), words_(words) {
    if (const std::optional<QString>& plain = pattern_->PlainText()) {
        literal_ = LiteralTerm(*plain, pattern_->Mode());
        return;
    }
    if (words == WordRule::WholeWord) {
        // The text compiled as typed, so its bounds cannot make it fail; should they all the
        // same, nothing is found rather than parts of words.
        auto bounded = Pattern::Compile(pattern_->Text(), pattern_->Mode(), WordRule::WholeWord);
        pattern_ = bounded ? std::move(bounded.value()) : nullptr;
    }
}

bool TermMatcher::MayDifferByEncoding(std::string_view bytes) const {
    if (!IsEncodingIndependent()) {
        return false;
    }
    if (words_ == WordRule::WholeWord && std::any_of(bytes.begin(), bytes.end(), [](char byte) {
            return static_cast<unsigned char>(byte) >= 0x80;
        })) {
        return true;
    }
    return literal_.HoldsPartner(bytes);
}

bool TermMatcher::MayOccur(std::string_view bytes) const {
    if (ByPattern()) {
        return pattern_->MayMatch(bytes);
    }
    return literal_.MayOccur(bytes, false);
}

std::optional<Span> TermMatcher::FindLiteral(std::string_view bytes, std::size_t from,
                                             std::size_t textStart, TextEncoding encoding) const {
    std::optional<Span> found = literal_.Find(bytes, from, encoding);
    if (words_ == WordRule::Anywhere) {
        return found;
    }
    // A candidate that is no whole word gives way to one starting inside it, so that "aa" is
    // found in "aaa aa" at the second word; no occurrence starts inside a UTF-8 character.
    while (found && !StandsAlone(bytes, *found, textStart, encoding)) {
        found = literal_.Find(bytes, found->start + 1, encoding);
    }
    return found;
}

PieceScan TermMatcher::ScanPiece(std::string_view window, std::uint64_t start, bool final,
                                 const DetectedEncoding& detected, PatternCursor& cursor,
                                 const std::function<bool(const Occurrence&)>& each) const {
    if (!ByPattern()) {
        return ScanLiteralPiece(window, start, final, detected, cursor, each);
    }
    return pattern_->ScanPiece(window, start, final, detected, cursor,
                               [&each](const PatternMatch& match) {
                                   return each(Occurrence{match.Whole(), &match});
                               });
}

PieceScan TermMatcher::ScanLiteralPiece(std::string_view window, std::uint64_t start, bool final,
                                        const DetectedEncoding& detected, PatternCursor& cursor,
                                        const std::function<bool(const Occurrence&)>& each) const {
    const TextEncoding encoding = detected.encoding;
    // A term alike in both encodings is searched once for both until a partner of its letters
    // shows up; from the cursor it leaves, a search per encoding may go on, so its margin is
    // the wider one.
    const std::size_t longest =
        Reach(literal_, words_, literal_.IsEncodingIndependent() ? TextEncoding::Utf8 : encoding);
    if (longest == 0) {
        cursor.resume = start + window.size();
        return {PatternScan::Done, cursor.resume};
    }
    // The next piece must still hold the character before the cursor, which decides whether an
    // occurrence there is a whole word.
    const auto keep = [&](std::size_t at) {
        cursor.resume = start + at;
        const bool before = words_ == WordRule::WholeWord && at > 0;
        return PieceScan{PatternScan::Done,
                         start + (before ? CharacterStartBefore(window, at, 0) : at)};
    };
    const std::size_t textStart =
        start < detected.bodyStart ? static_cast<std::size_t>(detected.bodyStart - start) : 0;
    // An occurrence that starts before `safe` lies in the window whole, with the character after
    // it, so the first one found there is the first of the file.
    const std::size_t safe = WholeBefore(window.size(), longest, final);
    auto at = static_cast<std::size_t>(cursor.resume - start);
    while (true) {
        const std::optional<Span> found = FindLiteral(window, at, textStart, encoding);
        if (!found || (!final && found->start >= safe)) {
            break;
        }
        at = found->end;
        if (!each(Occurrence{{start + found->start, start + found->end}, nullptr})) {
            return keep(at);
        }
    }
    return keep(std::max(at, safe));
}

std::optional<std::size_t> TermMatcher::LongestOccurrence(TextEncoding encoding) const {
    if (ByPattern()) {
        return std::nullopt;
    }
    return Reach(literal_, words_, encoding);
}

EncodedReplacement::EncodedReplacement(QStringView text) : utf8_(text.toUtf8().toStdString()) {
    if (auto bytes = EncodeCp1252(text)) {
        cp1252_ = std::move(bytes.value());
    }
}

std::optional<std::string_view> EncodedReplacement::Uniform(TextEncoding encoding) const {
    if (template_ != nullptr) {
        return std::nullopt;
    }
    if (encoding == TextEncoding::Utf8) {
        return utf8_;
    }
    if (cp1252_) {
        return std::string_view(*cp1252_);
    }
    return std::nullopt;
}

bool EncodedReplacement::AppendTo(std::string& out, std::string_view bytes, std::uint64_t start,
                                  const Occurrence& occurrence, TextEncoding encoding,
                                  const OutputDrain* drain) const {
    if (template_ == nullptr) {
        const std::optional<std::string_view> text = Uniform(encoding);
        if (!text) {
            return false;
        }
        out.append(*text);
        return true;
    }
    if (occurrence.match != nullptr) {
        return template_->AppendTo(out, bytes, start, *occurrence.match, encoding, drain);
    }
    // A literal term's occurrence is a match without groups.
    const PatternMatch whole{{occurrence.span}};
    return template_->AppendTo(out, bytes, start, whole, encoding, drain);
}

}  // namespace trawlex
