#include "search/Scan.h"

#include "common/files/BatchReader.h"
#include "common/files/ChunkReader.h"
#include "common/files/WalkDriver.h"
#include "common/text/Utf16.h"
#include "search/StreamMatching.h"

#include <fcntl.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <memory>
#include <system_error>
#include <thread>
#include <utility>

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

ScannedFile Named(std::string path, bool own) {
    ScannedFile scanned;
    scanned.path = std::move(path);
    scanned.own = own;
    return scanned;
}

// Matches the terms in a file read whole: its bytes, and the text they are matched as (a UTF-16
// file as its UTF-8, so that it reads as the text it holds).
void MatchWhole(ScannedFile& scanned, const FileStamp& stamp, std::string_view bytes,
                std::string_view contents, std::span<const TermMatcher* const> terms,
                ScanWants wants) {
    scanned.readable = true;
    scanned.stamp = stamp;
    scanned.binary = wants.binary && LooksBinary(bytes);
    scanned.utf16 = Utf16Order(bytes);
    // Most files hold no term; they are spared the pass that decides their encoding.
    if (std::none_of(terms.begin(), terms.end(),
                     [contents](const TermMatcher* term) { return term->MayOccur(contents); })) {
        scanned.matches.resize(terms.size());
        return;
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
    if (wants.lines) {
        AddLines(scanned, terms, [contents](const TermMatcher& term) {
            return HitLinesOf(contents, term, kHitLinesPerFile, LineForm::Plain);
        });
    }
}

// A search for plain terms reads whole only the files a batch would: a file of some MiB read
// whole passes through memory twice, once as the kernel copies it and once as it is searched,
// where pieces that stay in the core's cache are searched as they arrive. Patterns, and runs
// that want their hits' lines (which then need no second read), read files whole as far as the
// rule for all readers lets them, and a pattern takes bigger pieces beyond that, which it is
// asked at the end of less often.
constexpr std::uint64_t kSearchWholeLimit = BatchReader::kLargestRead;
constexpr std::size_t kSearchPiece = std::size_t{128} << 10;

// Reads and matches a file already opened and checked: whole, or piece by piece when big.
void ScanOpened(ScannedFile& scanned, const OpenedFile& opened,
                std::span<const TermMatcher* const> terms, ScanMemory& memory,
                const StopCheck& stop, ScanWants wants) {
    const struct stat& status = opened.status;
    const bool patterns = std::any_of(terms.begin(), terms.end(),
                                      [](const TermMatcher* term) { return term->ByPattern(); });
    if (wants.lines || patterns ? ReadsWhole(status)
                                : static_cast<std::uint64_t>(status.st_size) <= kSearchWholeLimit) {
        if (auto stamp = ReadOpenedInto(opened, scanned.path, memory.whole)) {
            MatchWhole(scanned, stamp.value(), memory.whole.View(), memory.whole.Text(), terms,
                       wants);
        }
        return;
    }
    auto streamed = MatchStreamed(opened.file.get(), scanned.path, {terms.begin(), terms.end()},
                                  {.pieceSize = patterns ? ChunkReader::kPieceSize : kSearchPiece,
                                   .limit = static_cast<std::uint64_t>(status.st_size),
                                   .stop = stop,
                                   .window = &memory.window});
    if (!streamed) {
        return;
    }
    if (streamed->stopped) {
        scanned.stopped = true;
        return;
    }
    scanned.readable = true;
    scanned.binary = wants.binary && streamed->binary;
    scanned.stamp = FileStamp{streamed->length, status.st_mtime, status};
    scanned.matches = std::move(streamed->matches);
    scanned.title = std::move(streamed->title);
    scanned.utf16 = streamed->utf16;
    if (wants.lines && scanned.AnyHit()) {
        AddLines(scanned, terms, [&](const TermMatcher& term) {
            auto lines =
                StreamHitLines(opened, scanned.path, term, kHitLinesPerFile, LineForm::Plain);
            return lines ? std::move(lines.value()) : FileHitLines{};
        });
    }
}

// The files of a batch too big for it, each read alone. A directory of big files comes in one
// batch, so they are shared among threads as the walk's files are among the workers: on one
// thread alone they would take as long as on a machine of one core.
void ScanBig(std::span<ScannedFile> scanned, std::span<const std::size_t> big,
             std::span<const BatchRead> reads, std::span<const std::size_t> nameOf,
             std::span<const TermMatcher* const> terms, ScanMemory& memory, const StopCheck& stop,
             ScanWants wants) {
    // A thread and its buffer cost more than reading a few files of some hundred KiB.
    constexpr std::uint64_t kWorthThreads = std::uint64_t{32} << 20;
    std::uint64_t bytes = 0;
    for (const std::size_t index : big) {
        bytes += static_cast<std::uint64_t>(reads[nameOf[index]].opened.status.st_size);
    }
    // The count of cores is read from the system's files: asked for once, not for every batch.
    static const std::size_t cores = std::max(1U, std::thread::hardware_concurrency());
    const std::size_t threadsWorth = std::min(big.size(), cores);
    const std::size_t helpers = bytes < kWorthThreads || threadsWorth == 0 ? 0 : threadsWorth - 1;
    std::atomic<std::size_t> next{0};
    const auto work = [&](ScanMemory& own) {
        for (std::size_t at = next++; at < big.size(); at = next++) {
            const std::size_t index = big[at];
            ScanOpened(scanned[index], reads[nameOf[index]].opened, terms, own, stop, wants);
        }
    };
    std::vector<ScanMemory> memories(helpers);
    std::vector<std::thread> threads;
    for (std::size_t index = 0; index < helpers; ++index) {
        try {
            threads.emplace_back(work, std::ref(memories[index]));
        } catch (const std::system_error&) {
            break;  // no thread to be had: this one reads the rest
        }
    }
    work(memory);
    for (std::thread& thread : threads) {
        thread.join();
    }
}

// What a worker keeps from batch to batch: its buffers and its ring, made on its first batch,
// since a ring belongs to the thread that uses it.
struct ScanState {
    ScanMemory memory;    // for the files read alone
    std::string decoded;  // a UTF-16 file of a batch as UTF-8
    std::unique_ptr<BatchReader> reader;
    bool tried = false;
};

std::vector<ScannedFile> ScanFiles(std::span<WalkedFile> files,
                                   std::span<const TermMatcher* const> terms, ScanState& state,
                                   const StopCheck& stop, ScanWants wants) {
    if (!state.tried) {
        state.tried = true;
        state.reader = BatchReader::Make();
    }
    // Files without their directory open are read alone, by their paths.
    std::array<BatchName, BatchReader::kMostFiles> names{};
    std::array<std::size_t, BatchReader::kMostFiles> nameOf{};
    std::size_t named = 0;
    for (std::size_t index = 0; index < files.size() && state.reader != nullptr; ++index) {
        nameOf[index] = BatchReader::kMostFiles;
        if (files[index].directory != nullptr && named < names.size()) {
            nameOf[index] = named;
            names[named++] = {files[index].directory->get(),
                              files[index].path.c_str() + files[index].nameAt};
        }
    }
    std::array<BatchRead, BatchReader::kMostFiles> reads;
    const bool batched = named > 1 && state.reader->Read(std::span(names).first(named), reads);
    std::vector<ScannedFile> scanned;
    scanned.reserve(files.size());
    std::vector<std::size_t> big;  // left open: too big for the batch
    for (std::size_t index = 0; index < files.size(); ++index) {
        if (!batched || nameOf[index] == BatchReader::kMostFiles) {
            scanned.push_back(ScanFile(files[index], terms, state.memory, stop, wants));
            continue;
        }
        ScannedFile& one =
            scanned.emplace_back(Named(std::move(files[index].path), files[index].own));
        BatchRead& read = reads[nameOf[index]];
        if (read.error != 0) {
            continue;  // could not be opened or read
        }
        if (read.read) {
            const struct stat& status = read.opened.status;
            const auto length = static_cast<std::int64_t>(read.bytes.size());
            MatchWhole(one, FileStamp{length, status.st_mtime, status}, read.bytes,
                       TextOf(read.bytes, state.decoded), terms, wants);
        } else {
            big.push_back(index);
        }
    }
    ScanBig(scanned, big, reads, nameOf, terms, state.memory, stop, wants);
    return scanned;
}

}  // namespace

ScannedFile ScanFile(const WalkedFile& file, std::span<const TermMatcher* const> terms,
                     ScanMemory& memory, const StopCheck& stop, ScanWants wants) {
    ScannedFile scanned = Named(file.path, file.own);
    auto opened =
        TakeRegularFile(OpenWalkedFile(file, O_RDONLY | O_NONBLOCK | O_CLOEXEC), file.path);
    if (opened) {
        ScanOpened(scanned, opened.value(), terms, memory, stop, wants);
    }
    return scanned;
}

Flow ScanAlong(TreeWalk& walk, std::span<const TermMatcher* const> terms, unsigned workers,
               const StopCheck& stop, const std::function<Flow(ScannedFile)>& take,
               ScanWants wants) {
    return DriveWalkInBatches<ScannedFile, ScanState>(
        walk, {.work =
                   [terms, &stop, wants](std::span<WalkedFile> files, ScanState& state) {
                       return ScanFiles(files, terms, state, stop, wants);
                   },
               .take = take,
               // Reading is cheap to throw away, so many files may wait to be taken; with their
               // lines (up to 8 MiB of text each) only a few, when stdout is read slowly.
               // Without helpers each file is read just before its turn, as the taking thread
               // gets to it: a file that vanished by then is named, not found.
               .batch = workers == 0 ? 1 : (wants.lines ? 4 : BatchReader::kMostFiles),
               .ahead = (wants.lines ? 8 : 1024) * (std::size_t{workers} + 1),
               .workers = workers});
}

}  // namespace trawlex
