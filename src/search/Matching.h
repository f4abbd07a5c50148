#pragma once

#include "common/text/CaseFold.h"
#include "common/text/TermMatcher.h"

#include <cstdint>
#include <optional>
#include <string_view>

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

// The text between the first "<TITLE>" and the first "</TITLE>", both found without regard to
// case; absent when either is missing or the closing tag comes first.
std::optional<std::string_view> FindTitle(std::string_view contents);

}  // namespace trawlex
