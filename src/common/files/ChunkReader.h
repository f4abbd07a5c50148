#pragma once

#include "common/Result.h"
#include "common/files/PathAccess.h"
#include "common/files/ReadMemory.h"
#include "common/text/Utf16.h"

#include <sys/stat.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
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
//
// Read as text, a file that starts with a UTF-16 byte-order mark is decoded into UTF-8 as it is
// read (see Utf16.h): the window then holds that UTF-8 and its offsets are those of the UTF-8
// view, while the Raw... members tell about the file's own bytes.
class ChunkReader {
public:
    static constexpr std::size_t kPieceSize = std::size_t{1} << 20;
    static constexpr std::uint64_t kWhole = ~std::uint64_t{0};

    enum class ReadAs { Bytes, Text };

    // `path` names the file in messages. Reading ends at `limit`, in the file's bytes: a file
    // that grows while it is read is taken at the size it had, as when it is read whole.
    // `kept`, when given, is memory the caller keeps from file to file: the window lives in it
    // while the file is read and leaves it there, perhaps grown, when the reader goes.
    ChunkReader(int descriptor, std::string path, std::size_t pieceSize = kPieceSize,
                std::uint64_t limit = kWhole, ReadAs readAs = ReadAs::Bytes,
                ReadMemory* kept = nullptr);
    ~ChunkReader();
    ChunkReader(const ChunkReader&) = delete;
    ChunkReader& operator=(const ChunkReader&) = delete;

    // Drops the bytes before `keepFrom` (an offset inside the window) and reads the next piece
    // behind the window. The first call reads the first piece.
    Status Advance(std::uint64_t keepFrom);

    std::string_view Window() const { return {WindowData(), size_}; }
    std::uint64_t Start() const { return start_; }
    std::uint64_t End() const { return start_ + size_; }
    // The bytes the last step added, each seen here exactly once.
    std::string_view Fresh() const { return Window().substr(freshAt_); }
    // True once the window reaches the end of the file: nothing follows it.
    bool AtEnd() const { return atEnd_; }

    // The byte order of a UTF-16 file read as text; none while the window holds the bytes.
    std::optional<ByteOrder> Utf16() const { return order_; }
    // The file's bytes the last step read, and how far it has been read.
    std::string_view RawFresh() const;
    std::uint64_t RawEnd() const { return rawEnd_; }
    // How far the window holds the file: the bytes of a character the last piece cut wait.
    std::uint64_t RawDecoded() const { return rawEnd_ - (decoder_ ? decoder_->Carried() : 0); }
    // A UTF-16 surrogate without its partner, or a byte left over, was read as U+FFFD.
    bool Malformed() const { return decoder_ && decoder_->Malformed(); }

private:
    char* WindowData() const { return buffer_.Data() + lead_; }
    void MakeRoom(std::uint64_t keepFrom, std::size_t kept, std::size_t room);
    Result<std::size_t> ReadPiece(char* into);
    void StartDecoding(ByteOrder order);
    Status AdvanceDecoded();

    int descriptor_;
    std::string path_;
    std::size_t pieceSize_;
    std::uint64_t limit_;
    ReadAs readAs_;
    ReadMemory* kept_;
    ReadMemory buffer_;
    std::size_t lead_ = 0;  // where the window begins in the buffer
    std::size_t size_ = 0;
    std::size_t freshAt_ = 0;
    std::uint64_t start_ = 0;
    std::uint64_t rawEnd_ = 0;
    bool atEnd_ = false;
    std::optional<ByteOrder> order_;
    std::optional<Utf16Decoder> decoder_;
    std::string raw_;      // the file's bytes of the last piece of a UTF-16 file
    std::string decoded_;  // their UTF-8, on its way into the window
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
