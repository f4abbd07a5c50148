#pragma once

#include "common/Result.h"
#include "common/files/ChunkReader.h"
#include "common/files/ReadMemory.h"

#include <sys/stat.h>

#include <cstdint>
#include <ctime>
#include <memory>
#include <string>
#include <string_view>

namespace trawlex {

// Writes all bytes to a descriptor, going on after interruptions; the error carries errno.
Status WriteAll(int descriptor, std::string_view bytes);

// Reads up to `length` bytes from `offset` on into `out`, fewer only where the file ends; the
// error carries errno.
Status ReadAt(int descriptor, std::uint64_t offset, std::size_t length, std::string& out);

// The length and modification time of the very file that was read.
struct FileStamp {
    std::int64_t length = 0;
    std::time_t modified = 0;
    struct stat status {};  // mode, owner, dates and identity, for the undo journal
};

// A file read whole.
struct LoadedFile {
    std::string bytes;
    std::int64_t length = 0;
    std::time_t modified = 0;
};

// Reads a file whole, one character per byte, nothing trimmed or converted. Only regular
// files are opened, so a FIFO that appears where a file was listed cannot block the run.
Result<LoadedFile> LoadFile(const std::string& path);

// A read buffer kept across files, so that reading many files neither allocates nor clears
// memory for each one.
class FileBuffer {
public:
    std::string_view View() const { return {memory_.Data(), size_}; }

    // What the file's text is matched as: its bytes, or for a file with a UTF-16 byte-order
    // mark their UTF-8 (see Utf16.h), decoded on the first call after a read into memory that
    // stays with the buffer.
    std::string_view Text();
    // True when that UTF-16 held a surrogate without its partner or a byte left over.
    bool Malformed() const { return malformed_; }

    // For a reader that fills the buffer itself: room for `size` bytes (nullptr when memory is
    // short), then how many of them it filled.
    char* Reserve(std::size_t size);
    void Filled(std::size_t length);

private:
    bool Grow(std::size_t size);  // false when memory is short

    ReadMemory memory_;
    std::size_t size_ = 0;
    bool decoded_ = false;
    bool malformed_ = false;
    std::string text_;
};

// Reads a file already opened whole into the buffer, by the rules of LoadFile; its size decided
// that it is read whole.
Result<FileStamp> ReadOpenedInto(const OpenedFile& opened, const std::string& path,
                                 FileBuffer& buffer);

}  // namespace trawlex
