#pragma once

#include "common/text/CaseFold.h"
#include "common/text/TermMatcher.h"
#include "common/text/TextEncoding.h"

#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

namespace trawlex {

// Replaces every occurrence left to right in one pass: occurrences never overlap and inserted
// text is never searched again. Appends the result to `out` and returns true when the term
// occurred; when it did not, `out` is left alone, so an unchanged text is never copied.
bool ReplaceAllInto(std::string_view text, const Finder& term, std::string_view replacement,
                    std::string& out);

enum class ReplaceOutcome {
    Unchanged,     // the term does not occur
    Replaced,      // `out` holds the replaced text
    Unencodable,   // the term occurs, but the file's encoding cannot hold the replacement
    LimitReached,  // a pattern backtracked without end; the file is left as it is
    TooLong,       // the result would pass the output limit; `out` is left as it was
};

// What the rewrite of a file read whole builds in memory at most; a longer result is written
// piece by piece instead, so memory grows with the file, never with the replacement. A string
// that grows is copied, so building it holds up to twice its size for a moment; with the file
// itself (up to 8 MiB) and the result of the pair before, this keeps a rewrite below 64 MiB.
inline constexpr std::size_t kWholeOutputLimit = std::size_t{16} << 20;

// What a replacement did, for the preview and the totals: how often it replaced, the text it
// put in (in the file's encoding) and, when asked for, where each occurrence lay and what it
// became.
struct ReplaceDetails {
    std::int64_t count = 0;
    std::string_view inserted;  // what every occurrence became, unless `eachOwn`
    bool eachOwn = false;       // each occurrence became its own text (a template's groups)
    TextEncoding encoding = TextEncoding::Cp1252;
    std::vector<Span>* occurrences = nullptr;        // filled when set
    std::vector<std::string>* insertions = nullptr;  // filled when set and `eachOwn`
    // The bytes the result may take at most; beyond them the answer is TooLong.
    std::size_t outputLimit = std::numeric_limits<std::size_t>::max();
};

// Replaces a term a person typed in a file's bytes, in the encoding the file is written in; the
// byte-order mark and everything between occurrences stay as they were.
ReplaceOutcome ReplaceAllInto(std::string_view text, const TermMatcher& term,
                              const EncodedReplacement& replacement, std::string& out,
                              ReplaceDetails* details = nullptr);

}  // namespace trawlex
