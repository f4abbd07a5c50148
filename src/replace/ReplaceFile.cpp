// One file of a replacement run: read whole or in pieces, every pair applied, and rewritten
// through a temporary file reached from the location down, or described for the preview.
#include "Ersatzroutinen.h"

#include "Journal.h"
#include "Rewrite.h"
#include "StreamedPreview.h"
#include "common/files/ContentHash.h"
#include "common/files/Listing.h"
#include "common/files/PathAccess.h"
#include "common/files/ReplacingFile.h"
#include "common/files/RunLock.h"
#include "common/files/TreeWalk.h"
#include "common/files/WholeFile.h"
#include "common/text/Cp1252.h"
#include "common/text/PathText.h"
#include "common/text/Pattern.h"
#include "common/text/Replacement.h"
#include "common/text/StreamReplace.h"
#include "common/text/Utf16.h"
#include "search/Problems.h"
#include "search/Sinks.h"
#include "search/StreamMatching.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <new>

namespace trawlex {
namespace {

QString LimitText(const std::string& path, const TermMatcher& term) {
    return QStringLiteral(
               "Die Datei \u201E%1\u201C bleibt unver\u00E4ndert: der regul\u00E4re "
               "Ausdruck \u201E%2\u201C brach in ihr ab, weil er zu viele Wege "
               "ausprobieren m\u00FCsste.")
        .arg(PathText(path), term.PatternText());
}

QString Unencodable(const std::string& path) {
    return QStringLiteral(
               "Die Datei \u201E%1\u201C ist in Windows-1252 geschrieben, das "
               "den Ersatzbegriff nicht darstellen kann.")
        .arg(PathText(path));
}

QString OutOfMemory(const std::string& path) {
    return QStringLiteral(
               "Die Datei \u201E%1\u201C bleibt unver\u00E4ndert: f\u00FCr diese Ersetzung "
               "reicht der Arbeitsspeicher nicht.")
        .arg(PathText(path));
}

// A file too big to hold whole: each pair is looked for in one pass and, where it occurs,
// written in a second into a temporary file beside it, which the next pair reads from. The
// last of them is renamed into place as one step, after the journal has the old state.
FileOutcome ReplaceStreamed(const ReplaceTask& task, const ReplaceRun& run,
                            const OpenedFile& opened, const FilePlace& place) {
    FileOutcome outcome;
    ContentHasher originalHash;
    int source = opened.file.get();
    auto sourceSize = static_cast<std::uint64_t>(opened.status.st_size);
    std::optional<ReplacingFile> current;
    std::uint64_t writtenHash = 0;
    std::int64_t originalSize = -1;  // as far as the first pass read it
    bool checked = false;
    for (const ReplaceStep& step : run.steps) {
        auto found = MatchStreamed(source, task.path, {&step.term},
                                   {.hasher = originalSize < 0 ? &originalHash : nullptr,
                                    .limit = sourceSize,
                                    .stop = run.stop});
        if (!found) {
            outcome.problems.push_back(found.message());
            return outcome;
        }
        if (found->stopped) {
            // Dropping the temporary file leaves the original as it was.
            outcome.stopped = true;
            return outcome;
        }
        if (originalSize < 0) {
            originalSize = found->length;
            sourceSize = static_cast<std::uint64_t>(originalSize);
        }
        const FileMatch& match = found->matches.front();
        if (match.limitReached) {
            outcome.problems.push_back(LimitText(task.path, step.term));
            return outcome;
        }
        if (!match.IsHit()) {
            continue;
        }
        if (!checked) {
            checked = true;
            if (found->malformed) {
                outcome.problems.push_back(Utf16Malformed(task.path));
                return outcome;
            }
            if (auto refused = RefusedByHead(opened.file.get(), task.path)) {
                outcome.problems.push_back(*refused);
                return outcome;
            }
            if (auto refused = CannotRewrite(task.path, opened.status, run.journalNames)) {
                outcome.problems.push_back(*refused);
                return outcome;
            }
        }
        auto next = ReplacingFile::BeginAt(place.directory, place.directoryPath, place.name,
                                           task.path, &opened.status);
        if (!next) {
            outcome.problems.push_back(next.message());
            return outcome;
        }
        auto replaced =
            ReplaceStreamedInto(source, task.path, sourceSize, step.term, step.replacement,
                                found->detected, next.value(), ChunkReader::kPieceSize, run.stop);
        if (!replaced) {
            outcome.problems.push_back(replaced.message());
            return outcome;
        }
        if (replaced->stopped) {
            outcome.stopped = true;
            return outcome;
        }
        if (replaced->outcome == ReplaceOutcome::Unencodable) {
            outcome.problems.push_back(Unencodable(task.path));
            continue;
        }
        if (replaced->outcome != ReplaceOutcome::Replaced) {
            continue;
        }
        outcome.replacements += replaced->count;
        writtenHash = replaced->writtenHash;
        current.emplace(std::move(next.value()));
        source = current->Descriptor();
        sourceSize = current->Size();
    }
    if (!current) {
        return outcome;
    }
    const OriginalContents original{originalSize, originalHash.Finish(), std::nullopt};
    if (auto committed = CommitChecked(task, run, opened, place, original, writtenHash, *current);
        !committed) {
        outcome.problems.push_back(committed.message());
        return outcome;
    }
    outcome.changed = true;
    return outcome;
}

// A preview of a file that is not read whole: every pair in turn, as ReplaceWhole applies them,
// each found in one pass and written in a second into a nameless temporary file while its
// occurrences are composed onto the edits of the original; the changed lines are then read
// from the original around those edits. The problems are those ReplaceWhole names, in its order,
// so that the page does not depend on how big the file is.
FileOutcome PreviewStreamed(const ReplaceTask& task, const ReplaceRun& run,
                            const OpenedFile& opened, const FilePlace* place,
                            std::size_t pieceSize) {
    FileOutcome outcome;
    outcome.bytes = static_cast<std::int64_t>(opened.status.st_size);
    const auto failed = [&outcome](QString problem) {
        outcome.problems.push_back(std::move(problem));
        outcome.replacements = 0;
        // Only ever the file's last word.
        return std::move(outcome);
    };
    StreamedPreview text(opened.file.get(), static_cast<std::uint64_t>(opened.status.st_size),
                         task.path, place != nullptr ? place->directory : -1, pieceSize);
    if (auto decoded = text.ReadUtf16AsText(); !decoded) {
        return failed(decoded.message());
    }
    std::optional<TextEncoding> encoding;  // the original's, for the lines shown
    // The change list names the original by its fingerprint, taken as the first pass reads it;
    // that pass reads the UTF-8 of a UTF-16 file, whose own bytes are read once more.
    ContentHasher originalHash;
    bool hashing = run.changeList != nullptr && !text.Decoded();
    for (const ReplaceStep& step : run.steps) {
        auto found = MatchStreamed(text.Descriptor(), task.path, {&step.term},
                                   {.pieceSize = pieceSize,
                                    .hasher = hashing ? &originalHash : nullptr,
                                    .limit = text.Size(),
                                    .stop = run.stop});
        hashing = false;
        if (!found) {
            return failed(found.message());
        }
        if (found->stopped) {
            outcome.stopped = true;
            return outcome;
        }
        const FileMatch& match = found->matches.front();
        if (match.limitReached) {
            return failed(LimitText(task.path, step.term));
        }
        if (!match.IsHit()) {
            continue;
        }
        // A pass knows the encoding only once its term occurs; the first that occurs still reads
        // the original, since no pair before it replaced.
        if (!encoding) {
            encoding = found->detected.encoding;
        }
        auto replaced = text.Apply(step.term, step.replacement, found->detected, run.stop);
        if (!replaced) {
            return failed(replaced.message());
        }
        if (replaced->stopped) {
            outcome.stopped = true;
            return outcome;
        }
        if (replaced->outcome == ReplaceOutcome::LimitReached) {
            return failed(LimitText(task.path, step.term));
        }
        if (replaced->outcome == ReplaceOutcome::Unencodable) {
            outcome.problems.push_back(Unencodable(task.path));
        }
        if (replaced->outcome == ReplaceOutcome::Replaced) {
            outcome.replacements += replaced->count;
        }
    }
    if (outcome.replacements == 0) {
        return outcome;
    }
    if (text.Malformed()) {
        return failed(Utf16Malformed(task.path));
    }
    if (auto refused = RefusedByHead(opened.file.get(), task.path)) {
        return failed(*refused);
    }
    if (auto refused = CannotRewrite(task.path, opened.status, run.journalNames)) {
        outcome.problems.push_back(*refused);
        return outcome;
    }
    FilePreview described;
    described.path = task.path;
    described.replacements = outcome.replacements;
    if (auto shown = text.Describe(*encoding, described); !shown) {
        return failed(shown.message());
    }
    if (run.changeList != nullptr) {
        std::uint64_t fingerprint = originalHash.Finish();
        if (text.Decoded()) {
            auto taken = FingerprintFile(opened, task.path);
            if (!taken) {
                return failed(taken.message());
            }
            fingerprint = taken->hash;
        }
        if (auto listed = text.List(*encoding, outcome.changes.emplace(task.path, fingerprint));
            !listed) {
            outcome.changes.reset();
            return failed(listed.message());
        }
    }
    outcome.changed = true;
    outcome.preview = std::move(described);
    return outcome;
}

// A file that is not read whole: a preview describes it piece by piece, a replacement writes it
// so where it can reach the file. None when neither can be done.
std::optional<FileOutcome> InPieces(const ReplaceTask& task, const ReplaceRun& run,
                                    const OpenedFile& opened, const FilePlace* place) {
    if (run.action == ReplaceAction::Preview) {
        return PreviewStreamed(task, run, opened, place, ChunkReader::kPieceSize);
    }
    if (place == nullptr) {
        return std::nullopt;
    }
    FileOutcome streamed = ReplaceStreamed(task, run, opened, *place);
    streamed.bytes = static_cast<std::int64_t>(opened.status.st_size);
    return streamed;
}

// A file whose replaced text would not fit the memory a file read whole may take starts again
// piece by piece, with every pair; one that cannot be reached for that is named.
FileOutcome TooLongWhole(const ReplaceTask& task, const ReplaceRun& run, const OpenedFile& opened,
                         const FilePlace* place) {
    if (auto streamed = InPieces(task, run, opened, place)) {
        return std::move(*streamed);
    }
    FileOutcome outcome;
    outcome.bytes = static_cast<std::int64_t>(opened.status.st_size);
    outcome.problems.push_back(
        QStringLiteral("Die Datei \u201E%1\u201C w\u00FCrde durch die Ersetzung um mehr als "
                       "%2 MiB l\u00E4nger; die Vorschau zeigt sie nicht.")
            .arg(PathText(task.path))
            .arg(kWholeOutputLimit >> 20));
    return outcome;
}

// One file read whole: every pair applied in turn in memory.
FileOutcome ReplaceWhole(const ReplaceTask& task, const ReplaceRun& run, ReplaceBuffers& buffers,
                         const OpenedFile& opened, const FilePlace* place) {
    FileOutcome outcome;
    outcome.bytes = static_cast<std::int64_t>(opened.status.st_size);
    const bool preview = run.action == ReplaceAction::Preview;
    auto read = ReadOpenedInto(opened, task.path, buffers.contents);
    if (!read) {
        outcome.problems.push_back(read.message());
        return outcome;
    }
    const std::string_view bytes = buffers.contents.View();
    // A UTF-16 file is replaced in its UTF-8 and written back in its own byte order.
    const std::optional<ByteOrder> utf16 = Utf16Order(bytes);
    const std::string_view original = buffers.contents.Text();
    buffers.edits.clear();
    std::string_view current = original;
    std::size_t target = 0;
    for (const ReplaceStep& step : run.steps) {
        std::string& out = buffers.replaced[target];
        out.clear();
        buffers.occurrences.clear();
        buffers.insertions.clear();
        ReplaceDetails details;
        details.occurrences = preview ? &buffers.occurrences : nullptr;
        details.insertions = preview ? &buffers.insertions : nullptr;
        // A replacement that makes the text much longer is written piece by piece instead; a
        // preview, which holds every pair's text, is described piece by piece beyond that growth.
        details.outputLimit = preview ? current.size() + kWholeOutputLimit : kWholeOutputLimit;
        switch (ReplaceAllInto(current, step.term, step.replacement, out, &details)) {
            case ReplaceOutcome::Unchanged:
                continue;
            case ReplaceOutcome::Unencodable:
                outcome.problems.push_back(Unencodable(task.path));
                continue;
            case ReplaceOutcome::LimitReached:
                // Half a sequence of pairs would leave the file as no run meant it.
                outcome.problems.push_back(LimitText(task.path, step.term));
                outcome.replacements = 0;
                return outcome;
            case ReplaceOutcome::TooLong:
                buffers.replaced[0] = std::string();
                buffers.replaced[1] = std::string();
                return TooLongWhole(task, run, opened, place);
            case ReplaceOutcome::Replaced:
                break;
        }
        outcome.replacements += details.count;
        if (preview) {
            ComposeEdits(buffers.edits, current, buffers.occurrences, details.inserted,
                         details.eachOwn ? &buffers.insertions : nullptr);
        }
        current = out;
        target = 1 - target;
    }
    if (outcome.replacements == 0) {
        return outcome;
    }
    if (buffers.contents.Malformed() || LooksBinary(bytes)) {
        outcome.problems.push_back(buffers.contents.Malformed() ? Utf16Malformed(task.path)
                                                                : BinaryRefused(task.path));
        outcome.replacements = 0;
        return outcome;
    }
    if (auto refused = CannotRewrite(task.path, read->status, run.journalNames)) {
        outcome.problems.push_back(*refused);
        return outcome;
    }
    if (preview) {
        outcome.changed = true;
        FilePreview& described = outcome.preview.emplace();
        described.path = task.path;
        described.replacements = outcome.replacements;
        const TextEncoding encoding = DetectEncoding(original).encoding;
        DescribeChanges(original, buffers.edits, encoding, described);
        if (run.changeList != nullptr) {
            Utf16Offsets offsets(original);
            ListChanges(
                original, buffers.edits, encoding,
                outcome.changes.emplace(task.path, ContentHash(bytes)),
                utf16 ? FileOffsets([&offsets](std::size_t at) { return offsets.FileOffset(at); })
                      : FileOffsets());
        }
        return outcome;
    }
    if (place == nullptr) {
        // Its path could not be resolved inside the location when the walk handed it out.
        outcome.problems.push_back(ChangedBeside(task.path).message);
        return outcome;
    }
    // A write-protected file is refused here, before the journal would name a file that never
    // changed.
    auto out = ReplacingFile::BeginAt(place->directory, place->directoryPath, place->name,
                                      task.path, &read->status);
    if (!out) {
        outcome.problems.push_back(out.message());
        return outcome;
    }
    const OriginalContents contents{static_cast<std::int64_t>(bytes.size()), ContentHash(bytes),
                                    bytes};
    const std::string encoded = utf16 ? EncodeUtf8AsUtf16(current, *utf16) : std::string();
    const std::string_view result = utf16 ? std::string_view(encoded) : current;
    Status written = out->Append(result);
    if (written) {
        written =
            CommitChecked(task, run, opened, *place, contents, ContentHash(result), out.value());
    }
    if (!written) {
        outcome.problems.push_back(written.message());
        return outcome;
    }
    outcome.changed = true;
    return outcome;
}

FileOutcome ReplaceInFileOrThrow(const ReplaceTask& task, const ReplaceRun& run,
                                 ReplaceBuffers& buffers) {
    FileOutcome outcome;
    if (task.refused) {
        outcome.problems.push_back(*task.refused);
        return outcome;
    }
    std::optional<FilePlace> place;
    if (HasPlace(task, run)) {
        auto found = PlaceOf(task, run, buffers);
        if (!found) {
            outcome.problems.push_back(found.message());
            return outcome;
        }
        place = std::move(found.value());
    }
    auto opened = place ? OpenRegularFileAt(place->directory, place->name, task.path)
                        : OpenRegularFile(task.path);
    if (!opened) {
        outcome.problems.push_back(opened.message());
        return outcome;
    }
    if (!ReadsWhole(opened->status)) {
        if (auto streamed = InPieces(task, run, opened.value(), place ? &*place : nullptr)) {
            return std::move(*streamed);
        }
    }
    return ReplaceWhole(task, run, buffers, opened.value(), place ? &*place : nullptr);
}

}  // namespace

Result<ReplaceStep> ReplaceStep::Make(const QString& term, const QString& replacement,
                                      CompareMode mode, bool regex, WordRule words) {
    if (!regex) {
        return ReplaceStep(TermMatcher(term, mode, words), EncodedReplacement(replacement));
    }
    auto pattern = Pattern::Compile(term, mode);
    if (!pattern) {
        return pattern.error();
    }
    auto parsed = ReplacementTemplate::Parse(replacement, *pattern.value());
    if (!parsed) {
        return parsed.error();
    }
    return ReplaceStep(TermMatcher(std::move(pattern.value()), words),
                       EncodedReplacement(replacement, std::make_shared<const ReplacementTemplate>(
                                                           std::move(parsed.value()))));
}

FileOutcome ReplaceInFile(const ReplaceTask& task, const ReplaceRun& run, ReplaceBuffers& buffers) {
    try {
        return ReplaceInFileOrThrow(task, run, buffers);
    } catch (const std::bad_alloc&) {
        // One file's replacement may ask for more memory than there is; the run goes on.
        buffers.replaced[0] = std::string();
        buffers.replaced[1] = std::string();
        FileOutcome outcome;
        outcome.problems.push_back(OutOfMemory(task.path));
        return outcome;
    }
}

FileOutcome PreviewInPieces(const ReplaceTask& task, const ReplaceRun& run, std::size_t pieceSize) {
    auto opened = OpenRegularFile(task.path);
    if (!opened) {
        FileOutcome outcome;
        outcome.problems.push_back(opened.message());
        return outcome;
    }
    return PreviewStreamed(task, run, opened.value(), nullptr, pieceSize);
}

}  // namespace trawlex
