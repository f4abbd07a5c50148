#include "StreamMatching.h"

#include "common/PathText.h"
#include "common/Pattern.h"
#include "common/SystemError.h"

#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>
#include <limits>
#include <memory>

namespace trawlex {
namespace {

constexpr std::uint64_t kNowhere = std::numeric_limits<std::uint64_t>::max();

// The characters UTF-8 bytes start: every byte but the continuation bytes.
std::int64_t CountCharacters(std::string_view bytes) {
    std::int64_t count = 0;
    std::size_t index = 0;
    for (; index + 8 <= bytes.size(); index += 8) {
        std::uint64_t block = 0;
        std::memcpy(&block, bytes.data() + index, 8);
        // A continuation byte is 10xxxxxx: its high bit set and the next one clear.
        const std::uint64_t continuation = block & ~(block << 1) & 0x8080808080808080ULL;
        count += 8 - std::popcount(continuation);
    }
    for (; index < bytes.size(); ++index) {
        count += (static_cast<unsigned char>(bytes[index]) & 0xC0) != 0x80 ? 1 : 0;
    }
    return count;
}

// One way one term may occur in the file: as the bytes of one encoding, or as bytes alike in
// both (a pure ASCII term). Each keeps its own place, since occurrences differ by encoding.
struct Lane {
    std::size_t term = 0;
    std::optional<TextEncoding> encoding;  // none: alike in both
    bool live = true;
    std::uint64_t from = 0;  // the literal search goes on here
    PatternCursor cursor;    // the pattern search goes on here
    std::uint64_t keepFrom = 0;
    std::uint64_t first = kNowhere;
    std::int64_t firstCharacters = 0;  // characters before the first occurrence, from offset 0
    std::int64_t count = 0;
    bool limitReached = false;

    bool Serves(TextEncoding decided) const { return !encoding || *encoding == decided; }
};

// The first occurrence of a tag of the title, found without regard to case.
struct TagSearch {
    const Finder& tag;
    std::uint64_t from = 0;
    std::uint64_t found = kNowhere;

    void Scan(std::string_view window, std::uint64_t start, bool final) {
        if (found != kNowhere) {
            return;
        }
        const auto at = static_cast<std::size_t>(from - start);
        const std::size_t hit = tag.Find(window, at);
        if (hit != Finder::npos) {
            found = start + hit;
            return;
        }
        const std::size_t length = tag.TermLength();
        const std::size_t safe =
            final || window.size() < length ? window.size() : window.size() - length + 1;
        from = start + std::max(at, safe);
    }
    std::uint64_t KeepFrom() const { return found == kNowhere ? from : kNowhere; }
};

class StreamMatcher {
public:
    StreamMatcher(const std::vector<const TermMatcher*>& terms) : terms_(terms) {}

    // Sets the lanes up once the first piece has told whether a byte-order mark starts the file.
    void Begin(bool byteOrderMark) {
        const std::uint64_t body = byteOrderMark ? 3 : 0;
        for (std::size_t index = 0; index < terms_.size(); ++index) {
            const TermMatcher& term = *terms_[index];
            if (term.IsEmpty()) {
                continue;
            }
            const auto add = [&](std::optional<TextEncoding> encoding) {
                Lane lane;
                lane.term = index;
                lane.encoding = encoding;
                lane.from = encoding == TextEncoding::Utf8 ? body : 0;
                lane.cursor.resume = lane.from;
                lanes_.push_back(lane);
            };
            if (term.GetPattern() == nullptr && term.IsEncodingIndependent()) {
                add(std::nullopt);
                continue;
            }
            if (!byteOrderMark) {
                add(TextEncoding::Cp1252);
            }
            add(TextEncoding::Utf8);
        }
    }

    // Drops the lanes of the encoding the file turned out not to be written in.
    void Decide(TextEncoding decided) {
        for (Lane& lane : lanes_) {
            lane.live = lane.live && lane.Serves(decided);
        }
    }

    void Scan(std::string_view window, std::uint64_t start, bool final, std::uint64_t body) {
        for (Lane& lane : lanes_) {
            if (!lane.live) {
                continue;
            }
            const TermMatcher& term = *terms_[lane.term];
            if (term.GetPattern() != nullptr) {
                ScanPattern(lane, *term.GetPattern(), window, start, final, body);
            } else {
                ScanLiteral(lane, term, window, start, final);
            }
        }
        openTag_.Scan(window, start, final);
        closeTag_.Scan(window, start, final);
    }

    // The offset from which the next window must hold the bytes.
    std::uint64_t KeepFrom(std::uint64_t end) const {
        std::uint64_t keep = std::min({end, openTag_.KeepFrom(), closeTag_.KeepFrom()});
        for (const Lane& lane : lanes_) {
            if (lane.live) {
                keep = std::min(keep, lane.keepFrom);
            }
        }
        return keep;
    }

    // Characters are counted only while an occurrence in UTF-8 may still be ahead.
    bool CountsCharacters() const {
        return std::any_of(lanes_.begin(), lanes_.end(), [](const Lane& lane) {
            return lane.live && lane.first == kNowhere && lane.encoding != TextEncoding::Cp1252;
        });
    }
    void Discard(std::string_view dropped) { characters_ += CountCharacters(dropped); }

    std::vector<FileMatch> Results(const DetectedEncoding& detected) const {
        std::vector<FileMatch> matches(terms_.size());
        for (FileMatch& match : matches) {
            match.encoding = detected.encoding;
        }
        for (const Lane& lane : lanes_) {
            if (!lane.Serves(detected.encoding)) {
                continue;
            }
            FileMatch& match = matches[lane.term];
            match.count = lane.count;
            match.limitReached = lane.limitReached;
            if (lane.first != kNowhere) {
                match.firstPosition =
                    detected.encoding == TextEncoding::Utf8
                        ? lane.firstCharacters + 1 - (detected.bodyStart > 0 ? 1 : 0)
                        : static_cast<std::int64_t>(lane.first) + 1;
            }
        }
        return matches;
    }

    // Where the title lies, as FindTitle finds it; nothing when it has none.
    std::optional<std::pair<std::uint64_t, std::uint64_t>> TitleSpan() const {
        if (openTag_.found == kNowhere || closeTag_.found == kNowhere ||
            closeTag_.found < openTag_.found) {
            return std::nullopt;
        }
        return std::pair{openTag_.found + openTag_.tag.TermLength(), closeTag_.found};
    }

private:
    void Found(Lane& lane, std::string_view window, std::uint64_t start, std::size_t at) {
        if (lane.count++ == 0) {
            lane.first = start + at;
            lane.firstCharacters = characters_ + CountCharacters(window.substr(0, at));
        }
    }

    void ScanLiteral(Lane& lane, const TermMatcher& term, std::string_view window,
                     std::uint64_t start, bool final) {
        const TextEncoding encoding = lane.encoding.value_or(TextEncoding::Cp1252);
        const std::size_t longest = term.LongestOccurrence(encoding);
        if (longest == 0) {
            lane.live = false;
            return;
        }
        // An occurrence that starts before `safe` lies in the window whole, so the first one
        // found there is the first of the file.
        const std::size_t safe = final || window.size() < longest ? (final ? window.size() : 0)
                                                                  : window.size() - longest + 1;
        std::size_t at = static_cast<std::size_t>(lane.from - start);
        while (true) {
            const std::optional<Span> found = term.Find(window, at, encoding);
            if (!found || (!final && found->start >= safe)) {
                break;
            }
            Found(lane, window, start, found->start);
            at = found->end;
        }
        lane.from = start + std::max(at, safe);
        lane.keepFrom = lane.from;
    }

    void ScanPattern(Lane& lane, const Pattern& pattern, std::string_view window,
                     std::uint64_t start, bool final, std::uint64_t body) {
        const TextEncoding encoding = *lane.encoding;
        const PieceScan scan = pattern.ScanPiece(
            window, start, final, {encoding, static_cast<std::size_t>(body)}, lane.cursor,
            [&](const PatternMatch& match) {
                Found(lane, window, start, static_cast<std::size_t>(match.Whole().start - start));
                return true;
            });
        lane.keepFrom = scan.keepFrom;
        if (scan.scan == PatternScan::Limit) {
            lane.limitReached = true;
            lane.live = false;
        }
    }

    const std::vector<const TermMatcher*>& terms_;
    std::vector<Lane> lanes_;
    std::int64_t characters_ = 0;  // in the bytes before the window
    static inline const Finder openFinder_{"<title>", CompareMode::IgnoreCase};
    static inline const Finder closeFinder_{"</title>", CompareMode::IgnoreCase};
    TagSearch openTag_{openFinder_};
    TagSearch closeTag_{closeFinder_};
};

Result<std::string> ReadRange(int descriptor, const std::string& path, std::uint64_t from,
                              std::uint64_t to) {
    std::string bytes(static_cast<std::size_t>(to - from), '\0');
    std::size_t filled = 0;
    while (filled < bytes.size()) {
        const ssize_t got = pread(descriptor, bytes.data() + filled, bytes.size() - filled,
                                  static_cast<off_t>(from + filled));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return Error{QStringLiteral("Die Datei \u201E%1\u201C kann nicht gelesen werden: %2")
                             .arg(PathText(path), SystemErrorText(got < 0 ? errno : EIO))};
        }
        filled += static_cast<std::size_t>(got);
    }
    return bytes;
}

}  // namespace

Result<StreamedMatches> MatchStreamed(int descriptor, const std::string& path,
                                      const std::vector<const TermMatcher*>& terms,
                                      const StreamSettings& settings) {
    ChunkReader reader(descriptor, path, settings.pieceSize, settings.limit);
    StreamMatcher matcher(terms);
    EncodingDetector detector;
    bool begun = false;
    std::uint64_t keep = 0;
    while (true) {
        if (auto read = reader.Advance(keep); !read) {
            return read.error();
        }
        const std::string_view fresh = reader.Fresh();
        detector.Feed(fresh);
        if (settings.hasher != nullptr) {
            settings.hasher->Update(fresh);
        }
        if (!begun) {
            begun = true;
            matcher.Begin(detector.Decided() && detector.Finish().bodyStart > 0);
        }
        if (detector.Decided()) {
            matcher.Decide(detector.Finish().encoding);
        }
        const bool final = reader.AtEnd();
        matcher.Scan(reader.Window(), reader.Start(), final, detector.Finish().bodyStart);
        if (final) {
            break;
        }
        keep = matcher.KeepFrom(reader.End());
        if (matcher.CountsCharacters()) {
            matcher.Discard(
                reader.Window().substr(0, static_cast<std::size_t>(keep - reader.Start())));
        }
    }
    StreamedMatches streamed;
    streamed.detected = detector.Finish();
    streamed.length = static_cast<std::int64_t>(reader.End());
    streamed.matches = matcher.Results(streamed.detected);
    const bool hit = std::any_of(streamed.matches.begin(), streamed.matches.end(),
                                 [](const FileMatch& match) { return match.IsHit(); });
    if (hit) {
        if (const auto span = matcher.TitleSpan()) {
            auto title = ReadRange(descriptor, path, span->first, span->second);
            if (!title) {
                return title.error();
            }
            streamed.title = std::move(title.value());
        }
    }
    return streamed;
}

}  // namespace trawlex
