#include "Matching.h"

namespace trawlex {

std::int64_t CountOccurrences(std::string_view contents, const Finder& term, std::size_t first) {
    std::int64_t count = 0;
    for (std::size_t position = first; position != Finder::npos;
         position = term.Find(contents, position + term.TermLength())) {
        ++count;
    }
    return count;
}

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

FileMatch MatchContents(std::string_view contents, const Finder& term) {
    FileMatch match;
    const std::size_t first = term.Find(contents);
    if (first == Finder::npos) {
        return match;
    }
    match.firstPosition = static_cast<std::int64_t>(first) + 1;
    match.count = CountOccurrences(contents, term, first);
    match.title = FindTitle(contents);
    return match;
}

}  // namespace trawlex
