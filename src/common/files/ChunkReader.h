#pragma once

#include "common/Result.h"
#include "common/files/PathAccess.h"

#include <sys/stat.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace trawlex {

// A regular file opened for reading, with what fstat said of the very file that was opened.
struct OpenedFile {
    FileDescriptor file;
    struct stat status {};
};

// "The file cannot be read", naming the file and the system's reason in German.
Error ReadError(const std::string& path, int code);

// Where a window stops vouching for occurrences of up to `longest` bytes: one that starts
// earlier lies in it whole; one that starts here or later may go on in the next window.
inline std::size_t WholeBefore(std::size_t windowSize, std::size_t longest, bool final) {
    if (final) {
        return windowSize;
    }
    return windowSize < longest ? 0 : windowSize - longest + 1;
}

// Opens a regular file for reading. Only regular files are opened, so a FIFO that appears where
// a file was listed cannot block the run.
Result<OpenedFile> OpenRegularFile(const std::string& path);

// The same for a descriptor just opened for `path` (negative when that failed, errno set).
Result<OpenedFile> TakeRegularFile(int descriptor, const std::string& path);

// Files up to this size are read whole; bigger ones piece by piece, so that memory does not
// grow with the file.
inline constexpr std::uint64_t kWholeReadLimit = std::uint64_t{8} << 20;

// Whether a file is read whole, by the one rule every reader follows.
inline bool ReadsWhole(const struct stat& status) {
    return static_cast<std::uint64_t>(status.st_size) <= kWholeReadLimit;
}

// Reads a descriptor from its start piece by piece into one buffer. Each step keeps the bytes
// from a given offset on, which the readers need to see again: the part of an occurrence that
// the last piece cut off. The buffer grows only when that part is longer than a piece.
class ChunkReader {
public:
    static constexpr std::size_t kPieceSize = std::size_t{1} << 20;
    static constexpr std::uint64_t kWhole = ~std::uint64_t{0};

    // `path` names the file in messages. Reading ends at `limit`: a file that grows while it is
    // read is taken at the size it had, as when it is read whole.
    ChunkReader(int descriptor, std::string path, std::size_t pieceSize = kPieceSize,
                std::uint64_t limit = kWhole);

    // Drops the bytes before `keepFrom` (a file offset inside the window) and reads the next
    // piece behind the window. The first call reads the first piece.
    Status Advance(std::uint64_t keepFrom);

    std::string_view Window() const { return {buffer_.get(), size_}; }
    std::uint64_t Start() const { return start_; }
    std::uint64_t End() const { return start_ + size_; }
    // The bytes the last step added, each seen here exactly once.
    std::string_view Fresh() const { return Window().substr(freshAt_); }
    // True once the window reaches the end of the file: nothing follows it.
    bool AtEnd() const { return atEnd_; }

private:
    int descriptor_;
    std::string path_;
    std::size_t pieceSize_;
    std::uint64_t limit_;
    std::unique_ptr<char[]> buffer_;
    std::size_t capacity_ = 0;
    std::size_t size_ = 0;
    std::size_t freshAt_ = 0;
    std::uint64_t start_ = 0;
    bool atEnd_ = false;
};

// Reads a regular file from its start piece by piece and hands each piece on, keeping none;
// returns the bytes read. Stops at the first failure `take` answers.
Result<std::int64_t> ForEachPiece(const std::string& path,
                                  const std::function<Status(std::string_view)>& take);
// The same for a file already opened, read from its start whatever its offset.
Result<std::int64_t> ForEachPiece(const OpenedFile& opened, const std::string& path,
                                  const std::function<Status(std::string_view)>& take);

// The length and fingerprint (ContentHash) of a file, read piece by piece.
struct FileFingerprint {
    std::int64_t length = 0;
    std::uint64_t hash = 0;
};
Result<FileFingerprint> FingerprintFile(const std::string& path);
Result<FileFingerprint> FingerprintFile(const OpenedFile& opened, const std::string& path);

}  // namespace trawlex
