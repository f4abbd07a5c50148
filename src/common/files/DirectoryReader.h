#pragma once

#include <dirent.h>

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
    // failed to open it) gives a reader that is not open.
    static DirectoryReader Adopt(int descriptor);

    // The directory of a descriptor that stays the caller's, read from its start through a copy.
    static DirectoryReader Copy(int descriptor);

    // False when the directory could not be opened; errno says why.
    bool IsOpen() const { return stream_ != nullptr; }

    // The reader's own descriptor of the directory, for calls relative to it.
    int Descriptor() const;

    // The next entry, "." and ".." left out; nothing at the end. The name lasts until the next
    // call.
    std::optional<DirectoryEntry> Next();

private:
    struct Close {
        void operator()(DIR* stream) const;
    };
    std::unique_ptr<DIR, Close> stream_;
};

}  // namespace trawlex
