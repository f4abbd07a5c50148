#pragma once

#include "common/text/CaseFold.h"
#include "common/text/TermMatcher.h"

#include <cstdint>
#include <limits>
#include <optional>
#include <string_view>
#include <utility>

namespace trawlex {

// What one file yields for one term.
struct FileMatch {
    std::int64_t firstPosition = 0;                // 1-based; 0 when the term does not occur
    std::int64_t count = 0;                        // non-overlapping occurrences, left to right
    std::optional<std::string_view> title;         // between the first "<TITLE>" and "</TITLE>"
    TextEncoding encoding = TextEncoding::Cp1252;  // how the file, and so its title, is written
    bool limitReached = false;  // a pattern backtracked without end; the counts are not whole

    bool IsHit() const { return firstPosition != 0; }
};

// Applies the matching rule to one file's contents, in the encoding the file is written in;
// the position counts characters. The title is only looked for in hits and points into
// `contents`, so nothing is copied.
FileMatch MatchContents(std::string_view contents, const TermMatcher& term);

// The same for a file whose encoding is already known, so that many terms share one detection.
FileMatch MatchContents(std::string_view contents, const DetectedEncoding& detected,
                        const TermMatcher& term);

// Finds the title, the text between the first "<TITLE>" and the first "</TITLE>", both found
// without regard to case, in a text read whole or piece by piece. Both tags end in "title>", so
// one pass finds them, and the bytes before it tell them apart.
class TitleFinder {
public:
    static constexpr std::uint64_t kNowhere = std::numeric_limits<std::uint64_t>::max();

    // Looks on in the window, whose first byte lies at offset `start` of the text and which holds
    // the bytes from KeepFrom() on; `final` says that nothing follows.
    void Scan(std::string_view window, std::uint64_t start, bool final);
    // A text read whole is one window that nothing follows.
    void ScanWhole(std::string_view text) { Scan(text, 0, true); }

    // Done once the title is known: found, or absent because "</title>" came first.
    bool Done() const { return close_ != kNowhere; }

    // The offset from which the next window must hold the bytes; kNowhere once done.
    std::uint64_t KeepFrom() const;

    // Where the title lies, in offsets of the text; absent when either tag is missing or the
    // closing tag comes first.
    std::optional<std::pair<std::uint64_t, std::uint64_t>> TitleSpan() const;

private:
    std::uint64_t from_ = 0;  // where "title>" is looked for next
    std::uint64_t open_ = kNowhere;
    std::uint64_t close_ = kNowhere;
};

// The title of a text read whole.
std::optional<std::string_view> FindTitle(std::string_view contents);

}  // namespace trawlex
