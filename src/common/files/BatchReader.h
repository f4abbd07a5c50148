#pragma once

#include "common/files/ChunkReader.h"
#include "common/files/ReadMemory.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string_view>

namespace trawlex {

// A file of a batch: its name inside a directory held open.
struct BatchName {
    int directory = -1;
    const char* name = nullptr;
};

// What became of a file of a batch.
struct BatchRead {
    int error = 0;           // errno of opening, checking or reading; 0 when neither failed
    OpenedFile opened;       // still open when it was too big to be read in the batch
    bool read = false;       // its bytes are in `bytes`, its status in `opened.status`
    std::string_view bytes;  // in the reader's memory, until its next batch
};

// Opens, checks and reads a few dozen small files with a handful of system calls for all of
// them, where reading each alone takes four (open, fstat, read, close): on a tree of many small
// files, entering and leaving the kernel costs more than the reading. The kernel's io_uring
// opens all files of a batch in one call and reads and closes them in a second; each file is
// checked in between, from the very descriptor that was opened, so that a FIFO or device that
// took a listed file's place is never read.
class BatchReader {
public:
    static constexpr std::size_t kMostFiles = 32;
    // Bigger files are left open for the caller, so that a batch holds little memory.
    static constexpr std::uint64_t kLargestRead = std::uint64_t{256} << 10;

    // None where the kernel refuses io_uring (too old, or forbidden to the process); the
    // caller then reads each file alone.
    static std::unique_ptr<BatchReader> Make();
    ~BatchReader();
    BatchReader(const BatchReader&) = delete;
    BatchReader& operator=(const BatchReader&) = delete;

    // Reads up to kMostFiles files, one after the other into memory the reader keeps from
    // batch to batch. Files of more than kLargestRead bytes come back open and unread. False
    // when the kernel took none of it: each file is then to be read alone.
    bool Read(std::span<const BatchName> names, std::span<BatchRead> results);

    // Tests turn batches off to compare both ways of reading.
    static void Allow(bool allowed);

private:
    struct Ring;
    BatchReader(std::unique_ptr<Ring> ring, ReadMemory memory);
    // Hands the queued requests to the kernel and waits until `expected` have completed, each
    // passed to `complete(user data, result)`.
    template <typename Complete>
    bool SubmitAndReap(unsigned expected, Complete complete);

    std::unique_ptr<Ring> ring_;
    // Room for a batch of the largest files, the files side by side: touched once and kept, so
    // that the kernel fills its pages once and not for every batch.
    ReadMemory memory_;
};

}  // namespace trawlex
