#pragma once

#include "common/files/PathAccess.h"

#include <dirent.h>

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace trawlex {

// One entry of a directory as the directory itself tells it: a symbolic link is a link
// (DT_LNK), and DT_UNKNOWN says that the file system does not know the type without a look.
struct DirectoryEntry {
    const char* name = nullptr;
    unsigned char type = DT_UNKNOWN;

    std::string_view Name() const { return name; }
};

// Reads the names of one directory and closes it however the reading ends. It never follows a
// link by itself: each caller decides how it reaches the directory and what it does with a link
// among the entries.
class DirectoryReader {
public:
    // The directory a path names, links on the way followed; a long path is reached through
    // directory descriptors. An empty path is the working directory.
    static DirectoryReader AtPath(const std::string& path);

    // The directory of a descriptor the reader takes over; a negative one (errno set by whatever
    // failed to open it) gives a reader that is not open, and so does one that is no directory
    // open for reading (errno ENOTDIR or EBADF).
    static DirectoryReader Adopt(int descriptor);

    // The same for a descriptor its caller opened with O_RDONLY | O_DIRECTORY, which needs no
    // look: a walk opens thousands.
    static DirectoryReader AdoptOpened(int descriptor);

    // The directory of a descriptor that stays the caller's, read from its start through a copy.
    static DirectoryReader Copy(int descriptor);

    // False when the directory could not be opened; errno says why.
    bool IsOpen() const { return descriptor_.get() >= 0; }

    // The reader's own descriptor of the directory, for calls relative to it.
    int Descriptor() const { return descriptor_.get(); }

    // Takes the descriptor over from the reader, which is no longer open afterwards.
    FileDescriptor Release() { return std::move(descriptor_); }

    // The next entry, "." and ".." left out; nothing at the end. The name lasts until the next
    // call.
    std::optional<DirectoryEntry> Next();

private:
    // Room for the entries of a few thousand names per call to the kernel.
    static constexpr std::size_t kBufferSize = 64 * 1024;

    FileDescriptor descriptor_;
    std::unique_ptr<char[]> buffer_;
    std::size_t filled_ = 0;
    std::size_t at_ = 0;
    bool ended_ = false;
};

}  // namespace trawlex
