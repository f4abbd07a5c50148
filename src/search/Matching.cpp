#include "Matching.h"

#include "common/files/ChunkReader.h"

#include <algorithm>

namespace trawlex {

void TitleFinder::Scan(std::string_view window, std::uint64_t start, bool final) {
    static const Finder tail("title>", CompareMode::IgnoreCase);
    auto at = static_cast<std::size_t>(from_ - start);
    while (!Done()) {
        const std::size_t hit = tail.Find(window, at);
        if (hit == Finder::npos) {
            break;
        }
        at = hit + 1;
        // The window holds the two bytes before every place looked at, but at the text's start.
        if (hit >= 1 && window[hit - 1] == '<') {
            open_ = std::min(open_, start + hit - 1);
        } else if (hit >= 2 && window[hit - 1] == '/' && window[hit - 2] == '<') {
            close_ = start + hit - 2;
        }
    }
    // "title>" may start in the last bytes and go on in the next window.
    const std::size_t safe = WholeBefore(window.size(), tail.TermLength(), final);
    from_ = start + std::max(at, safe);
}

std::uint64_t TitleFinder::KeepFrom() const {
    return Done() ? kNowhere : from_ - std::min<std::uint64_t>(from_, 2);
}

std::optional<std::pair<std::uint64_t, std::uint64_t>> TitleFinder::TitleSpan() const {
    if (open_ == kNowhere || close_ == kNowhere || close_ < open_) {
        return std::nullopt;
    }
    constexpr std::uint64_t kOpenTag = 7;  // "<title>"
    return std::pair{open_ + kOpenTag, close_};
}

std::optional<std::string_view> FindTitle(std::string_view contents) {
    TitleFinder finder;
    finder.ScanWhole(contents);
    const auto span = finder.TitleSpan();
    if (!span) {
        return std::nullopt;
    }
    return contents.substr(static_cast<std::size_t>(span->first),
                           static_cast<std::size_t>(span->second - span->first));
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
