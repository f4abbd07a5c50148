#pragma once

#include "common/Result.h"
#include "common/StopRequest.h"
#include "common/files/ChunkReader.h"
#include "common/files/ReplacingFile.h"
#include "common/text/Replacement.h"
#include "common/text/TermMatcher.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace trawlex {

// What a replacement written piece by piece did.
struct StreamedReplacement {
    ReplaceOutcome outcome = ReplaceOutcome::Unchanged;
    std::int64_t count = 0;
    std::uint64_t writtenHash = 0;  // the fingerprint of the bytes written
    bool stopped = false;           // a stop came before the end: what was written is a part
};

// Writes a file's bytes to `out` with every occurrence replaced, left to right, by the rules of
// ReplaceAllInto, for a file whose encoding is already known; it reads and writes piece by
// piece, so memory does not grow with the file. A UTF-16 file is read as its UTF-8 and written
// in its own byte order; `detected` is then that of the UTF-8, and the positions handed to a
// StreamTarget are in the UTF-8 too. On Unencodable, LimitReached or a stop, `out`
// holds a part and must be dropped.
Result<StreamedReplacement> ReplaceStreamedInto(
    int descriptor, const std::string& path, std::uint64_t size, const TermMatcher& term,
    const EncodedReplacement& replacement, const DetectedEncoding& detected, ReplacingFile& out,
    std::size_t pieceSize = ChunkReader::kPieceSize, const StopCheck& stop = {});

// Where a replacement written piece by piece puts its bytes, and what a preview learns from it:
// each occurrence, in the positions of the text read, with the length of the text put in for it.
struct StreamTarget {
    std::function<Status(std::string_view)> append;
    std::function<void(const Span&, std::uint64_t)> occurred{};
    StopCheck stop{};  // asked before each piece after the first
};

// The same, writing to any target.
Result<StreamedReplacement> ReplaceStreamedTo(int descriptor, const std::string& path,
                                              std::uint64_t size, const TermMatcher& term,
                                              const EncodedReplacement& replacement,
                                              const DetectedEncoding& detected,
                                              const StreamTarget& target,
                                              std::size_t pieceSize = ChunkReader::kPieceSize);

}  // namespace trawlex
