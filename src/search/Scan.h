#pragma once

#include "common/Run.h"
#include "common/StopRequest.h"
#include "common/files/ReadMemory.h"
#include "common/files/TreeWalk.h"
#include "common/files/WholeFile.h"
#include "common/text/Utf16.h"
#include "search/HitLines.h"
#include "search/Matching.h"

#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace trawlex {

// What one file yields for a run's terms, read once, whole or piece by piece: for each term
// what the matching rule gives, with the title copied out, since the bytes are gone once the
// worker reads the next file.
struct ScannedFile {
    std::string path;
    bool own = false;                  // one of the location's own files
    bool readable = false;             // false: the file could not be opened or read
    bool binary = false;               // LooksBinary of its first bytes, when the run asks
    std::vector<FileMatch> matches;    // in the order of the terms; their titles are not set
    std::optional<std::string> title;  // looked for only in a file with hits
    FileStamp stamp;                   // of the very file that was read
    bool stopped = false;              // a stop came while it was read: it counts as not searched
    std::optional<ByteOrder> utf16;    // the byte order of a file read as UTF-16
    // When the run asked for them: for each term, the lines that hold its hits, as the file has
    // them.
    std::vector<FileHitLines> lines;

    bool AnyHit() const;
};

// The memory a worker reads files into, kept from file to file, since memory touched for the
// first time costs the kernel a fault a page.
struct ScanMemory {
    FileBuffer whole;   // a file read whole
    ReadMemory window;  // the pieces of a bigger one
};

// What a run wants of each file besides its matches.
struct ScanWants {
    bool lines = false;   // each hit's lines
    bool binary = false;  // whether it looks binary; only the binary files' filter asks, and the
                          // look at its head is a pass of its own over most of a small file
};

// Reads a walked file once and matches every term in it. A small file is read whole; a bigger
// one piece by piece, with the same results, so memory stays small whatever the size.
ScannedFile ScanFile(const WalkedFile& file, std::span<const TermMatcher* const> terms,
                     ScanMemory& memory, const StopCheck& stop = {}, ScanWants wants = {});

// Scans the walk's files on the workers and hands each result to `take` in walk order. What was
// read beyond a stop is left out: a search changes nothing. `stop` is asked inside big files.
Flow ScanAlong(TreeWalk& walk, std::span<const TermMatcher* const> terms, unsigned workers,
               const StopCheck& stop, const std::function<Flow(ScannedFile)>& take,
               ScanWants wants = {});

}  // namespace trawlex
