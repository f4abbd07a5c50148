#include "common/text/StreamReplace.h"

#include "common/files/ContentHash.h"
#include "common/text/PathText.h"
#include "common/text/Pattern.h"

#include <algorithm>
#include <new>

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

    // Writes what is pending; false once writing failed.
    bool Flush() {
        if (auto appended = out.append(pending); !appended) {
            failed = appended.error();
            return false;
        }
        written.Update(pending);
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

// Replaces the literal occurrences that lie whole in the window; returns where the next window
// must begin.
std::uint64_t ReplaceLiteralPiece(std::string_view window, std::uint64_t start, bool final,
                                  const TermMatcher& term, TextEncoding encoding,
                                  std::string_view inserted, std::uint64_t& from,
                                  Progress& progress) {
    const std::size_t longest = term.LongestOccurrence(encoding);
    const std::size_t safe = WholeBefore(window.size(), longest, final);
    auto at = static_cast<std::size_t>(from - start);
    while (true) {
        const std::optional<Span> found = term.Find(window, at, encoding);
        if (!found || (!final && found->start >= safe)) {
            break;
        }
        progress.CopyUpTo(window, start, start + found->start);
        progress.pending += inserted;
        progress.Occurred({start + found->start, start + found->end},
                          progress.Output() - inserted.size());
        progress.copied = start + found->end;
        ++progress.count;
        at = found->end;
        if (!progress.FlushWhenLong()) {
            return from;
        }
    }
    from = start + std::max(at, safe);
    // What lies before the search's next place can no longer be part of an occurrence.
    progress.CopyUpTo(window, start, from);
    return from;
}

// The replacement itself; ReplaceStreamedInto turns a lack of memory into an error.
Result<StreamedReplacement> ReplacePieces(int descriptor, const std::string& path,
                                          std::uint64_t size, const TermMatcher& term,
                                          const EncodedReplacement& replacement,
                                          const DetectedEncoding& detected, const StreamTarget& out,
                                          std::size_t pieceSize) {
    StreamedReplacement result;
    const bool utf8 = detected.encoding == TextEncoding::Utf8;
    const Pattern* pattern = term.GetPattern();
    if (pattern == nullptr && !utf8 && !replacement.cp1252) {
        result.outcome = ReplaceOutcome::Unencodable;
        return result;
    }
    const std::string_view inserted = pattern != nullptr ? std::string_view()
                                      : utf8             ? replacement.utf8
                                                         : *replacement.cp1252;
    ChunkReader reader(descriptor, path, pieceSize, size);
    ContentHasher written;
    Progress progress{out, written, 0, {}, 0, std::nullopt, 0};
    std::uint64_t from = detected.bodyStart;
    PatternCursor cursor{detected.bodyStart, false};
    PatternMatch shifted;
    std::uint64_t keep = 0;
    bool encodable = true;
    // A template that repeats a long group many times is written out while it is put together.
    const OutputDrain drain{kFlushAbove, [&progress](std::string&) { return progress.Flush(); }};
    while (true) {
        if (auto read = reader.Advance(keep); !read) {
            return read.error();
        }
        const std::string_view window = reader.Window();
        const std::uint64_t start = reader.Start();
        const bool final = reader.AtEnd();
        if (pattern == nullptr) {
            keep = ReplaceLiteralPiece(window, start, final, term, detected.encoding, inserted,
                                       from, progress);
            if (progress.failed) {
                return *progress.failed;
            }
        } else {
            const PieceScan scan = pattern->ScanPiece(
                window, start, final, detected, cursor, [&](const PatternMatch& match) {
                    const Span& whole = match.Whole();
                    progress.CopyUpTo(window, start, whole.start);
                    // The template takes its groups from the window's bytes.
                    shifted.groups = match.groups;
                    for (std::optional<Span>& group : shifted.groups) {
                        if (group) {
                            group = Span{group->start - start, group->end - start};
                        }
                    }
                    const std::uint64_t insertedFrom = progress.Output();
                    if (!replacement.forPattern->AppendTo(progress.pending, window, shifted,
                                                          detected.encoding, &drain)) {
                        if (!progress.failed) {
                            encodable = false;
                        }
                        return false;
                    }
                    progress.Occurred(whole, insertedFrom);
                    progress.copied = whole.end;
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
            // No match starts before the cursor: what lies before it is written as it is.
            progress.CopyUpTo(window, start, final ? reader.End() : cursor.resume);
            keep = std::min(scan.keepFrom, progress.copied);
        }
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
                                                ReplacingFile& out, std::size_t pieceSize) {
    return ReplaceStreamedTo(descriptor, path, size, term, replacement, detected,
                             {[&out](std::string_view bytes) { return out.Append(bytes); }},
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
