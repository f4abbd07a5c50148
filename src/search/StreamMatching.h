#pragma once

#include "common/Result.h"
#include "common/StopRequest.h"
#include "common/files/ChunkReader.h"
#include "common/files/ContentHash.h"
#include "search/Matching.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace trawlex {

// What a file read piece by piece yields: for each term what reading it whole would, with the
// title copied out (the pieces are gone by then).
struct StreamedMatches {
    std::vector<FileMatch> matches;    // in the order of the terms; their titles are not set
    std::optional<std::string> title;  // only looked for when a term occurs
    std::int64_t length = 0;           // the bytes read, of the file itself
    DetectedEncoding detected;
    bool binary = false;             // LooksBinary of its first bytes
    bool malformed = false;          // UTF-16 with a lone surrogate, searched over as U+FFFD
    bool stopped = false;            // a stop came before the end: nothing else holds
    std::optional<ByteOrder> utf16;  // the byte order of a file read as UTF-16
};

struct StreamSettings {
    std::size_t pieceSize = ChunkReader::kPieceSize;
    ContentHasher* hasher = nullptr;            // when set, is given every byte of the file
    std::uint64_t limit = ChunkReader::kWhole;  // the size the file had when it was opened
    StopCheck stop{};                           // asked before each piece after the first
    ReadMemory* window = nullptr;  // kept from file to file for the pieces (see ChunkReader)
};

// Reads a file once, piece by piece, and matches every term in it by the rules of
// MatchContents: the same first positions, counts, title and encoding. Memory stays near one
// piece however big the file is. A UTF-16 file is matched as its UTF-8, as when it is read whole;
// `detected` is then that of the UTF-8.
Result<StreamedMatches> MatchStreamed(int descriptor, const std::string& path,
                                      const std::vector<const TermMatcher*>& terms,
                                      const StreamSettings& settings = {});

}  // namespace trawlex
