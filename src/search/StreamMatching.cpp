#include "StreamMatching.h"

#include "common/SystemError.h"
#include "common/text/PathText.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>

namespace trawlex {
namespace {

constexpr std::uint64_t kNowhere = std::numeric_limits<std::uint64_t>::max();

// One way one term may occur in the file: as the bytes of one encoding, or as bytes alike in
// both (a pure ASCII term). Each keeps its own place, since occurrences differ by encoding.
struct Lane {
    std::size_t term = 0;
    std::optional<TextEncoding> encoding;  // none: alike in both
    bool live = true;
    PatternCursor cursor;  // the search goes on here
    std::uint64_t keepFrom = 0;
    std::uint64_t first = kNowhere;
    std::int64_t count = 0;
    bool limitReached = false;

    bool Serves(TextEncoding decided) const { return !encoding || *encoding == decided; }
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
                lane.cursor.resume = encoding == TextEncoding::Utf8 ? body : 0;
                lanes_.push_back(lane);
            };
            if (term.IsEncodingIndependent()) {
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

    // True when every term reads alike in both encodings: then neither the encoding nor the
    // title matters until one of them is found.
    bool Independent() const {
        return std::all_of(lanes_.begin(), lanes_.end(),
                           [](const Lane& lane) { return !lane.encoding; });
    }

    bool AnyFound() const {
        return std::any_of(lanes_.begin(), lanes_.end(),
                           [](const Lane& lane) { return lane.first != kNowhere; });
    }

    void ScanTerms(std::string_view window, std::uint64_t start, bool final, std::uint64_t body) {
        SplitWhereEncodingsDiffer(window, start);
        for (Lane& lane : lanes_) {
            if (!lane.live) {
                continue;
            }
            Scan(lane, *terms_[lane.term], window, start, final, body);
        }
    }

    void ScanTags(std::string_view window, std::uint64_t start, bool final) {
        tags_.Scan(window, start, final);
    }
    std::uint64_t TagsKeepFrom() const { return tags_.KeepFrom(); }
    std::optional<std::pair<std::uint64_t, std::uint64_t>> TitleSpan() const {
        return tags_.TitleSpan();
    }

    // The offset from which the next window must hold the bytes.
    std::uint64_t KeepFrom(std::uint64_t end, bool tags) const {
        std::uint64_t keep = tags ? std::min(end, TagsKeepFrom()) : end;
        for (const Lane& lane : lanes_) {
            if (lane.live) {
                keep = std::min(keep, lane.keepFrom);
            }
        }
        return keep;
    }

    // The first occurrences as file offsets, or kNowhere; positions are worked out from them.
    std::vector<FileMatch> Results(const DetectedEncoding& detected,
                                   std::vector<std::uint64_t>& firstOffsets) const {
        firstOffsets.assign(terms_.size(), kNowhere);
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
            firstOffsets[lane.term] = lane.first;
        }
        return matches;
    }

private:
    // A lane alike in both encodings becomes one per encoding once the bytes ahead of it hold a
    // character only UTF-8 reads as a case partner of the term's letters (the Kelvin sign for
    // "k"). Up to there both readings agree, so both go on from where it stands.
    void SplitWhereEncodingsDiffer(std::string_view window, std::uint64_t start) {
        const std::size_t before = lanes_.size();
        for (std::size_t index = 0; index < before; ++index) {
            if (!lanes_[index].live || lanes_[index].encoding) {
                continue;
            }
            const auto from = static_cast<std::size_t>(
                std::clamp(lanes_[index].cursor.resume, start, start + window.size()) - start);
            if (!terms_[lanes_[index].term]->MayDifferByEncoding(window.substr(from))) {
                continue;
            }
            lanes_[index].encoding = TextEncoding::Cp1252;
            Lane utf8 = lanes_[index];
            utf8.encoding = TextEncoding::Utf8;
            lanes_.push_back(utf8);
        }
    }

    static void Found(Lane& lane, std::uint64_t at) {
        if (lane.count++ == 0) {
            lane.first = at;
        }
    }

    static void Scan(Lane& lane, const TermMatcher& term, std::string_view window,
                     std::uint64_t start, bool final, std::uint64_t body) {
        // A lane alike in both encodings reads the file's bytes as Windows-1252.
        const DetectedEncoding detected{lane.encoding.value_or(TextEncoding::Cp1252),
                                        static_cast<std::size_t>(body)};
        const PieceScan scan = term.ScanPiece(window, start, final, detected, lane.cursor,
                                              [&lane](const Occurrence& occurrence) {
                                                  Found(lane, occurrence.span.start);
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
    TitleFinder tags_;
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
            return ReadError(path, got < 0 ? errno : EIO);
        }
        filled += static_cast<std::size_t>(got);
    }
    return bytes;
}

// Reads what the search saw again, once it is done: the file's bytes, or the UTF-8 of a UTF-16
// file, which is decoded again from the file's start since its offsets are not the file's.
struct ViewReader {
    int descriptor;
    const std::string& path;
    std::uint64_t limit;
    bool decoded;

    // Hands each stretch of the text between two offsets on, in order.
    Status ForEach(std::uint64_t from, std::uint64_t to,
                   const std::function<void(std::string_view)>& take) const {
        constexpr std::uint64_t kPiece = std::uint64_t{1} << 20;
        if (!decoded) {
            for (std::uint64_t at = from; at < to; at += kPiece) {
                auto piece = ReadRange(descriptor, path, at, std::min(to, at + kPiece));
                if (!piece) {
                    return piece.error();
                }
                take(piece.value());
            }
            return Success();
        }
        ChunkReader reader(descriptor, path, kPiece, limit, ChunkReader::ReadAs::Text);
        while (reader.End() < to && !reader.AtEnd()) {
            if (auto read = reader.Advance(reader.End()); !read) {
                return read;
            }
            const std::uint64_t start = std::max(from, reader.Start());
            const std::uint64_t end = std::min(to, reader.End());
            if (start < end) {
                take(reader.Window().substr(static_cast<std::size_t>(start - reader.Start()),
                                            static_cast<std::size_t>(end - start)));
            }
        }
        return Success();
    }

    Result<std::string> Range(std::uint64_t from, std::uint64_t to) const {
        std::string bytes;
        auto read = ForEach(from, to, [&bytes](std::string_view piece) { bytes += piece; });
        if (!read) {
            return read.error();
        }
        return bytes;
    }

    // The characters of UTF-8 text between two offsets.
    Result<std::int64_t> CharactersBefore(std::uint64_t from, std::uint64_t to) const {
        std::int64_t characters = 0;
        auto read = ForEach(from, to, [&characters](std::string_view piece) {
            characters += CountCharacters(piece);
        });
        if (!read) {
            return read.error();
        }
        return characters;
    }
};

}  // namespace

Result<StreamedMatches> MatchStreamed(int descriptor, const std::string& path,
                                      const std::vector<const TermMatcher*>& terms,
                                      const StreamSettings& settings) {
    ChunkReader reader(descriptor, path, settings.pieceSize, settings.limit,
                       ChunkReader::ReadAs::Text, settings.window);
    StreamMatcher matcher(terms);
    EncodingDetector detector;
    // Terms alike in both encodings need neither the encoding nor the title until they are
    // found, and most files never hold them; those files are only searched for the terms.
    bool following = false;  // the detector and the title search have seen every byte read
    bool byteOrderMark = false;
    bool binary = false;
    bool sniffing = false;  // the first bytes may yet show a NUL byte
    std::uint64_t keep = 0;
    while (true) {
        // A file of gigabytes would otherwise hold a stop up for many seconds.
        if (reader.End() > 0 && settings.stop.Requested()) {
            StreamedMatches stopped;
            stopped.stopped = true;
            return stopped;
        }
        if (auto read = reader.Advance(keep); !read) {
            return read.error();
        }
        const std::string_view fresh = reader.Fresh();
        const bool final = reader.AtEnd();
        if (settings.hasher != nullptr) {
            settings.hasher->Update(reader.RawFresh());
        }
        if (reader.Start() == 0 && reader.Window().size() == fresh.size()) {
            byteOrderMark = fresh.substr(0, 3) == "\xEF\xBB\xBF";
            matcher.Begin(byteOrderMark);
            following = !matcher.Independent();
            binary = LooksBinary(reader.RawFresh());
            sniffing = !binary && !reader.Utf16();
        } else if (sniffing && reader.End() - fresh.size() < kBinaryHead) {
            // Pieces smaller than the head LooksBinary looks at are looked at up to it.
            const auto at = static_cast<std::size_t>(reader.End() - fresh.size());
            binary = fresh.substr(0, kBinaryHead - at).find('\0') != std::string_view::npos;
            sniffing = !binary;
        }
        if (following) {
            detector.Feed(fresh);
            matcher.ScanTags(reader.Window(), reader.Start(), final);
        }
        if (detector.Decided()) {
            matcher.Decide(detector.Finish().encoding);
        }
        matcher.ScanTerms(reader.Window(), reader.Start(), final, byteOrderMark ? 3 : 0);
        if (!following && (matcher.AnyFound() || !matcher.Independent())) {
            // Found, or the encoding matters: the bytes read so far are read once more for the
            // encoding and the title.
            following = true;
            ChunkReader again(descriptor, path, settings.pieceSize, reader.RawDecoded(),
                              ChunkReader::ReadAs::Text);
            std::uint64_t tagsKeep = 0;
            do {
                if (auto read = again.Advance(tagsKeep); !read) {
                    return read.error();
                }
                detector.Feed(again.Fresh());
                matcher.ScanTags(again.Window(), again.Start(), final && again.AtEnd());
                tagsKeep = std::min(again.End(), matcher.TagsKeepFrom());
            } while (!again.AtEnd());
        }
        if (final) {
            break;
        }
        keep = matcher.KeepFrom(reader.End(), following);
    }
    StreamedMatches streamed;
    streamed.detected = detector.Finish();
    streamed.length = static_cast<std::int64_t>(reader.RawEnd());
    streamed.binary = binary;
    streamed.malformed = reader.Malformed();
    streamed.utf16 = reader.Utf16();
    const ViewReader view{descriptor, path, settings.limit, reader.Utf16().has_value()};
    std::vector<std::uint64_t> firstOffsets;
    streamed.matches = matcher.Results(streamed.detected, firstOffsets);
    for (std::size_t index = 0; index < firstOffsets.size(); ++index) {
        if (firstOffsets[index] == kNowhere) {
            continue;
        }
        // Counting characters only for the files that hold the term spares every other file.
        std::int64_t position = static_cast<std::int64_t>(firstOffsets[index]) + 1;
        if (streamed.detected.encoding == TextEncoding::Utf8) {
            auto characters =
                view.CharactersBefore(streamed.detected.bodyStart, firstOffsets[index]);
            if (!characters) {
                return characters.error();
            }
            position = characters.value() + 1;
        }
        streamed.matches[index].firstPosition = position;
    }
    const bool hit = std::any_of(streamed.matches.begin(), streamed.matches.end(),
                                 [](const FileMatch& match) { return match.IsHit(); });
    if (hit) {
        if (const auto span = matcher.TitleSpan()) {
            auto title = view.Range(span->first, span->second);
            if (!title) {
                return title.error();
            }
            streamed.title = std::move(title.value());
        }
    }
    return streamed;
}

}  // namespace trawlex
