#include "search/Scan.h"

#include "common/files/ChunkReader.h"
#include "common/files/WalkDriver.h"
#include "search/StreamMatching.h"

#include <fcntl.h>

#include <algorithm>

namespace trawlex {

bool ScannedFile::AnyHit() const {
    return std::any_of(matches.begin(), matches.end(),
                       [](const FileMatch& match) { return match.IsHit(); });
}

namespace {

// The lines of each term that occurs; a big file is read once more for them.
void AddLines(ScannedFile& scanned, std::span<const TermMatcher* const> terms,
              const std::function<FileHitLines(const TermMatcher&)>& linesOf) {
    scanned.lines.resize(terms.size());
    for (std::size_t index = 0; index < terms.size(); ++index) {
        if (scanned.matches[index].IsHit()) {
            scanned.lines[index] = linesOf(*terms[index]);
        }
    }
}

}  // namespace

ScannedFile ScanFile(const WalkedFile& file, std::span<const TermMatcher* const> terms,
                     FileBuffer& buffer, const StopCheck& stop, bool withLines) {
    ScannedFile scanned;
    scanned.path = file.path;
    scanned.own = file.own;
    auto opened =
        TakeRegularFile(OpenWalkedFile(file, O_RDONLY | O_NONBLOCK | O_CLOEXEC), file.path);
    if (!opened) {
        return scanned;
    }
    const struct stat& status = opened->status;
    if (!ReadsWhole(status)) {
        auto streamed =
            MatchStreamed(opened->file.get(), file.path, {terms.begin(), terms.end()},
                          {.limit = static_cast<std::uint64_t>(status.st_size), .stop = stop});
        if (!streamed) {
            return scanned;
        }
        if (streamed->stopped) {
            scanned.stopped = true;
            return scanned;
        }
        scanned.readable = true;
        scanned.binary = streamed->binary;
        scanned.stamp = FileStamp{streamed->length, status.st_mtime, status};
        scanned.matches = std::move(streamed->matches);
        scanned.title = std::move(streamed->title);
        scanned.utf16 = streamed->utf16;
        if (withLines && scanned.AnyHit()) {
            AddLines(scanned, terms, [&](const TermMatcher& term) {
                auto lines = StreamHitLines(opened.value(), file.path, term, kHitLinesPerFile,
                                            LineForm::Plain);
                return lines ? std::move(lines.value()) : FileHitLines{};
            });
        }
        return scanned;
    }
    auto stamp = ReadOpenedInto(opened.value(), file.path, buffer);
    if (!stamp) {
        return scanned;
    }
    scanned.readable = true;
    scanned.stamp = stamp.value();
    scanned.binary = LooksBinary(buffer.View());
    scanned.utf16 = Utf16Order(buffer.View());
    // A UTF-16 file is matched as its UTF-8, so that it reads as the text it holds.
    const std::string_view contents = buffer.Text();
    // Most files hold no term; they are spared the pass that decides their encoding.
    if (std::none_of(terms.begin(), terms.end(),
                     [contents](const TermMatcher* term) { return term->MayOccur(contents); })) {
        scanned.matches.resize(terms.size());
        return scanned;
    }
    const DetectedEncoding detected = DetectEncoding(contents);
    scanned.matches.reserve(terms.size());
    for (const TermMatcher* term : terms) {
        FileMatch match = MatchContents(contents, detected, *term);
        if (match.title && !scanned.title) {
            scanned.title = std::string(*match.title);
        }
        match.title.reset();
        scanned.matches.push_back(match);
    }
    if (withLines) {
        AddLines(scanned, terms, [contents](const TermMatcher& term) {
            return HitLinesOf(contents, term, kHitLinesPerFile, LineForm::Plain);
        });
    }
    return scanned;
}

Flow ScanAlong(TreeWalk& walk, std::span<const TermMatcher* const> terms, unsigned workers,
               const StopCheck& stop, const std::function<Flow(ScannedFile)>& take,
               bool withLines) {
    return DriveWalk<WalkedFile, ScannedFile, FileBuffer>(
        walk, {.prepare =
                   [](WalkedFile& file, WalkedFile& task) {
                       task = std::move(file);
                       return true;
                   },
               .work =
                   [terms, &stop, withLines](const WalkedFile& file, FileBuffer& buffer) {
                       return ScanFile(file, terms, buffer, stop, withLines);
                   },
               .take = take,
               // Reading is cheap to throw away, so many files may wait to be taken; with their
               // lines (up to 8 MiB of text each) only a few, when stdout is read slowly.
               .ahead = (withLines ? 8 : 1024) * (std::size_t{workers} + 1),
               .workers = workers});
}

}  // namespace trawlex
