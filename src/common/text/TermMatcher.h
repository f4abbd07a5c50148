#pragma once

#include "common/text/CaseFold.h"
#include "common/text/Pattern.h"
#include "common/text/TextEncoding.h"
#include "common/text/WordRule.h"

#include <QString>
#include <QStringView>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace trawlex {

// One occurrence of a term in a file's bytes, with the groups of a pattern's match, which a
// template may take in.
struct Occurrence {
    Span span;
    const PatternMatch* match = nullptr;
};

// What a person searches for: a literal term, folded for both encodings, or a regular
// expression, anywhere or as whole words only. Everything that finds, counts or replaces goes
// through this one face, so no caller has to know which of the two it holds.
class TermMatcher {
public:
    TermMatcher(QStringView term, CompareMode mode, WordRule words = WordRule::Anywhere)
        : literal_(term, mode), words_(words) {}
    // A pattern without special characters is found by the literal search, which folds alike
    // and is far faster on files dense with occurrences; only its text stays the pattern's.
    explicit TermMatcher(std::shared_ptr<const Pattern> pattern,
                         WordRule words = WordRule::Anywhere);

    bool IsEmpty() const { return pattern_ == nullptr && literal_.IsEmpty(); }

    // True when the term is found alike in both encodings (pure ASCII, matched by bytes), so a
    // file's encoding only needs deciding once the term has been found in it; but see
    // MayDifferByEncoding.
    bool IsEncodingIndependent() const { return !ByPattern() && literal_.IsEncodingIndependent(); }

    // True when the bytes hold a character only UTF-8 reads as a case partner of a letter of a
    // term alike in both encodings (the Kelvin sign for "k"), or for whole words any character
    // beyond ASCII, which the two read as different neighbours: from there on its occurrences
    // may differ by encoding.
    bool MayDifferByEncoding(std::string_view bytes) const;

    // False when the bytes cannot hold an occurrence. Cheap, and decided before the file's
    // encoding where that is possible: most files hold none.
    bool MayOccur(std::string_view bytes) const;

    // Calls `each` with every non-overlapping occurrence from the text's start (behind a
    // byte-order mark), left to right, until it answers false. Limit when a pattern that
    // backtracks without end was stopped; the occurrences seen until then are not all.
    template <typename Each>
    PatternScan ForEachOccurrence(std::string_view bytes, const DetectedEncoding& detected,
                                  Each&& each) const;

    // The same for a file read piece by piece, with spans in file offsets: searches the window
    // (its first byte at file offset `start`) from the cursor on. An occurrence the bytes behind
    // the window could still change is left for the next piece; `final` says that nothing
    // follows. The cursor starts at the text's start.
    PieceScan ScanPiece(std::string_view window, std::uint64_t start, bool final,
                        const DetectedEncoding& detected, PatternCursor& cursor,
                        const std::function<bool(const Occurrence&)>& each) const;

    // The most bytes an occurrence can take in a file of that encoding (0: it cannot occur
    // there), for whole words with the character after it, which decides whether it counts;
    // nothing when there is no such bound.
    std::optional<std::size_t> LongestOccurrence(TextEncoding encoding) const;

    // True when a regular expression does the search, not the literal search a pattern without
    // special characters is given to.
    bool ByPattern() const { return pattern_ != nullptr && literal_.IsEmpty(); }

    // The regular expression as typed, for a message; empty for a literal term.
    QString PatternText() const { return pattern_ != nullptr ? pattern_->Text() : QString(); }

private:
    PieceScan ScanLiteralPiece(std::string_view window, std::uint64_t start, bool final,
                               const DetectedEncoding& detected, PatternCursor& cursor,
                               const std::function<bool(const Occurrence&)>& each) const;
    // The literal term's next occurrence at or after `from` that the word rule lets count, the
    // text beginning at `textStart` and ending with the bytes.
    std::optional<Span> FindLiteral(std::string_view bytes, std::size_t from, std::size_t textStart,
                                    TextEncoding encoding) const;

    LiteralTerm literal_;
    std::shared_ptr<const Pattern> pattern_;
    WordRule words_ = WordRule::Anywhere;
};

template <typename Each>
PatternScan TermMatcher::ForEachOccurrence(std::string_view bytes, const DetectedEncoding& detected,
                                           Each&& each) const {
    if (ByPattern()) {
        return pattern_->ForEachMatch(bytes, detected, [&each](const PatternMatch& match) {
            return each(Occurrence{match.Whole(), &match});
        });
    }
    // Non-overlapping: each search resumes behind the occurrence just seen.
    const std::size_t text = detected.bodyStart;
    for (std::optional<Span> found = FindLiteral(bytes, text, text, detected.encoding); found;
         found = FindLiteral(bytes, found->end, text, detected.encoding)) {
        if (!each(Occurrence{*found, nullptr})) {
            break;
        }
    }
    return PatternScan::Done;
}

// A replacement in both encodings; Windows-1252 may be unable to hold it. For a pattern it is a
// template that may take in the match's groups.
class EncodedReplacement {
public:
    explicit EncodedReplacement(QStringView text);
    EncodedReplacement(QStringView text, std::shared_ptr<const ReplacementTemplate> pattern)
        : EncodedReplacement(text) {
        template_ = std::move(pattern);
    }

    // False when a file of that encoding can take the replacement of no occurrence at all; a
    // template's own text is only tried on an occurrence.
    bool Encodable(TextEncoding encoding) const {
        return template_ != nullptr || encoding == TextEncoding::Utf8 || cp1252_.has_value();
    }

    // The text every occurrence becomes in a file of that encoding; nothing when each becomes
    // its own (a template's groups) or the encoding cannot hold it.
    std::optional<std::string_view> Uniform(TextEncoding encoding) const;

    // Appends what the occurrence becomes, in the file's encoding, to `out`; `bytes` start at
    // file offset `start`, in which the occurrence is given. False when Windows-1252 cannot hold
    // the replacement or the drain stops.
    bool AppendTo(std::string& out, std::string_view bytes, std::uint64_t start,
                  const Occurrence& occurrence, TextEncoding encoding,
                  const OutputDrain* drain = nullptr) const;

private:
    std::optional<std::string> cp1252_;
    std::string utf8_;
    std::shared_ptr<const ReplacementTemplate> template_;
};

}  // namespace trawlex
