#pragma once

#include "common/Result.h"
#include "common/files/ChunkReader.h"
#include "common/files/ReplacingFile.h"
#include "common/text/Replacement.h"
#include "common/text/TermMatcher.h"

#include <cstdint>
#include <string>

namespace trawlex {

// What a replacement written piece by piece did.
struct StreamedReplacement {
    ReplaceOutcome outcome = ReplaceOutcome::Unchanged;
    std::int64_t count = 0;
    std::uint64_t writtenHash = 0;  // the fingerprint of the bytes written
};

// Writes a file's bytes to `out` with every occurrence replaced, left to right, by the rules of
// ReplaceAllInto, for a file whose encoding is already known; it reads and writes piece by
// piece, so memory does not grow with the file. On Unencodable or LimitReached, `out` holds a
// part and must be dropped.
Result<StreamedReplacement> ReplaceStreamedInto(int descriptor, const std::string& path,
                                                std::uint64_t size, const TermMatcher& term,
                                                const EncodedReplacement& replacement,
                                                const DetectedEncoding& detected,
                                                ReplacingFile& out,
                                                std::size_t pieceSize = ChunkReader::kPieceSize);

}  // namespace trawlex
