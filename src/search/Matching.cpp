#include "Matching.h"

namespace trawlex {

std::optional<std::string_view> FindTitle(std::string_view contents) {
    static const Finder openTag("<title>", CompareMode::IgnoreCase);
    static const Finder closeTag("</title>", CompareMode::IgnoreCase);
    const std::size_t open = openTag.Find(contents);
    if (open == Finder::npos) {
        return std::nullopt;
    }
    const std::size_t close = closeTag.Find(contents);
    if (close == Finder::npos || close < open) {
        return std::nullopt;
    }
    const std::size_t start = open + openTag.TermLength();
    return contents.substr(start, close - start);
}

FileMatch MatchContents(std::string_view contents, const TermMatcher& term) {
    // Most files hold no occurrence; they are spared the pass that decides their encoding where
    // the term allows.
    if (!term.MayOccur(contents)) {
        return {};
    }
    return MatchContents(contents, DetectEncoding(contents), term);
}

FileMatch MatchContents(std::string_view contents, const DetectedEncoding& detected,
                        const TermMatcher& term) {
    FileMatch match;
    match.encoding = detected.encoding;
    const PatternScan scan =
        term.ForEachOccurrence(contents, detected, [&](const Occurrence& occurrence) {
            if (match.count++ == 0) {
                match.firstPosition = CharacterPosition(contents, detected, occurrence.span.start);
            }
            return true;
        });
    match.limitReached = scan == PatternScan::Limit;
    if (match.IsHit()) {
        match.title = FindTitle(contents);
    }
    return match;
}

}  // namespace trawlex
