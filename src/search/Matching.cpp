#include "Matching.h"

#include "common/text/Pattern.h"

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
    // Most files hold no occurrence; for a term that reads alike in both encodings they are
    // spared the pass that decides their encoding.
    if (term.IsEncodingIndependent() && !term.Find(contents, 0, TextEncoding::Cp1252)) {
        return {};
    }
    if (term.GetPattern() != nullptr && !term.GetPattern()->MayMatch(contents)) {
        return {};
    }
    return MatchContents(contents, DetectEncoding(contents), term);
}

FileMatch MatchContents(std::string_view contents, const DetectedEncoding& detected,
                        const TermMatcher& term) {
    FileMatch match;
    match.encoding = detected.encoding;
    if (const Pattern* pattern = term.GetPattern()) {
        const PatternScan scan =
            pattern->ForEachMatch(contents, detected, [&](const PatternMatch& found) {
                if (match.count++ == 0) {
                    match.firstPosition =
                        CharacterPosition(contents, detected, found.Whole().start);
                }
                return true;
            });
        match.limitReached = scan == PatternScan::Limit;
        if (match.IsHit()) {
            match.title = FindTitle(contents);
        }
        return match;
    }
    std::optional<Span> found = term.Find(contents, detected.bodyStart, detected.encoding);
    if (!found) {
        return match;
    }
    match.firstPosition = CharacterPosition(contents, detected, found->start);
    // Non-overlapping: each search resumes behind the occurrence just counted.
    for (; found; found = term.Find(contents, found->end, detected.encoding)) {
        ++match.count;
    }
    match.title = FindTitle(contents);
    return match;
}

}  // namespace trawlex
