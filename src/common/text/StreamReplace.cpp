#include "common/text/StreamReplace.h"

#include "common/files/ContentHash.h"
#include "common/text/PathText.h"
#include "common/text/Utf16.h"

#include <algorithm>
#include <new>
#include <optional>

namespace trawlex {
namespace {

// The output a piece has produced is written once it grows past this: a long replacement put in
// for many short occurrences would otherwise hold the piece's size times its own length.
constexpr std::size_t kFlushAbove = std::size_t{1} << 20;

// Where the replacement stands in the file: what is written, and where the search goes on.
struct Progress {
    const StreamTarget& out;
    ContentHasher& written;
    std::uint64_t copied = 0;  // every byte before this offset is in the output
    std::string pending;       // output of the current piece, not yet written
    std::int64_t count = 0;
    std::optional<Error> failed;  // why writing stopped
    std::uint64_t flushed = 0;

    std::optional<Utf16Encoder> utf16;  // a UTF-16 file is read as UTF-8 and written back so
    std::string encoded;

    // Writes what is pending; false once writing failed.
    bool Flush() {
        std::string_view bytes = pending;
        if (utf16) {
            encoded.clear();
            utf16->Encode(pending, encoded);
            bytes = encoded;
        }
        if (auto appended = out.append(bytes); !appended) {
            failed = appended.error();
            return false;
        }
        written.Update(bytes);
        flushed += pending.size();
        pending.clear();
        return true;
    }

    std::uint64_t Output() const { return flushed + pending.size(); }

    void Occurred(const Span& occurrence, std::uint64_t insertedFrom) {
        if (out.occurred) {
            out.occurred(occurrence, Output() - insertedFrom);
        }
    }

    bool FlushWhenLong() { return pending.size() <= kFlushAbove || Flush(); }

    void CopyUpTo(std::string_view window, std::uint64_t start, std::uint64_t to) {
        if (to > copied) {
            pending.append(window.substr(static_cast<std::size_t>(copied - start),
                                         static_cast<std::size_t>(to - copied)));
            copied = to;
        }
    }
};

// The replacement itself; ReplaceStreamedInto turns a lack of memory into an error.
Result<StreamedReplacement> ReplacePieces(int descriptor, const std::string& path,
                                          std::uint64_t size, const TermMatcher& term,
                                          const EncodedReplacement& replacement,
                                          const DetectedEncoding& detected, const StreamTarget& out,
                                          std::size_t pieceSize) {
    StreamedReplacement result;
    if (!replacement.Encodable(detected.encoding)) {
        result.outcome = ReplaceOutcome::Unencodable;
        return result;
    }
    ChunkReader reader(descriptor, path, pieceSize, size, ChunkReader::ReadAs::Text);
    ContentHasher written;
    Progress progress{out, written, 0, {}, 0, std::nullopt, 0, std::nullopt, {}};
    PatternCursor cursor{detected.bodyStart, false};
    std::uint64_t keep = 0;
    bool encodable = true;
    // A template that repeats a long group many times is written out while it is put together.
    const OutputDrain drain{kFlushAbove, [&progress](std::string&) { return progress.Flush(); }};
    while (true) {
        if (reader.End() > 0 && out.stop.Requested()) {
            result.stopped = true;
            return result;
        }
        if (auto read = reader.Advance(keep); !read) {
            return read.error();
        }
        if (reader.Utf16() && !progress.utf16) {
            progress.utf16.emplace(*reader.Utf16());
        }
        const std::string_view window = reader.Window();
        const std::uint64_t start = reader.Start();
        const bool final = reader.AtEnd();
        const PieceScan scan = term.ScanPiece(
            window, start, final, detected, cursor, [&](const Occurrence& occurrence) {
                progress.CopyUpTo(window, start, occurrence.span.start);
                const std::uint64_t insertedFrom = progress.Output();
                if (!replacement.AppendTo(progress.pending, window, start, occurrence,
                                          detected.encoding, &drain)) {
                    if (!progress.failed) {
                        encodable = false;
                    }
                    return false;
                }
                progress.Occurred(occurrence.span, insertedFrom);
                progress.copied = occurrence.span.end;
                ++progress.count;
                return progress.FlushWhenLong();
            });
        if (progress.failed) {
            return *progress.failed;
        }
        if (scan.scan == PatternScan::Limit || !encodable) {
            result.outcome =
                !encodable ? ReplaceOutcome::Unencodable : ReplaceOutcome::LimitReached;
            return result;
        }
        // No occurrence starts before the cursor: what lies before it is written as it is.
        progress.CopyUpTo(window, start, final ? reader.End() : cursor.resume);
        keep = std::min(scan.keepFrom, progress.copied);
        if (!progress.Flush()) {
            return *progress.failed;
        }
        if (final) {
            break;
        }
    }
    result.count = progress.count;
    result.outcome = progress.count > 0 ? ReplaceOutcome::Replaced : ReplaceOutcome::Unchanged;
    result.writtenHash = written.Finish();
    return result;
}

}  // namespace

Result<StreamedReplacement> ReplaceStreamedInto(int descriptor, const std::string& path,
                                                std::uint64_t size, const TermMatcher& term,
                                                const EncodedReplacement& replacement,
                                                const DetectedEncoding& detected,
                                                ReplacingFile& out, std::size_t pieceSize,
                                                const StopCheck& stop) {
    return ReplaceStreamedTo(
        descriptor, path, size, term, replacement, detected,
        {.append = [&out](std::string_view bytes) { return out.Append(bytes); }, .stop = stop},
        pieceSize);
}

Result<StreamedReplacement> ReplaceStreamedTo(int descriptor, const std::string& path,
                                              std::uint64_t size, const TermMatcher& term,
                                              const EncodedReplacement& replacement,
                                              const DetectedEncoding& detected,
                                              const StreamTarget& target, std::size_t pieceSize) {
    try {
        return ReplacePieces(descriptor, path, size, term, replacement, detected, target,
                             pieceSize);
    } catch (const std::bad_alloc&) {
        // One file's work must not end the run: the file stays as it is, the others go on.
        return Error{QStringLiteral("Die Datei \u201E%1\u201C bleibt unver\u00E4ndert: daf\u00FCr "
                                    "reicht der Arbeitsspeicher nicht.")
                         .arg(PathText(path))};
    }
}

}  // namespace trawlex
