#include "common/files/DirectoryReader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace trawlex {
namespace {

// The kernel's own record of an entry, which glibc does not declare.
struct KernelEntry {
    ino64_t inode;
    off64_t next;
    unsigned short length;
    unsigned char type;
    char name[1];
};

}  // namespace

DirectoryReader DirectoryReader::AtPath(const std::string& path) {
    return AdoptOpened(OpenPath(path.empty() ? std::string(".") : path, O_RDONLY | O_DIRECTORY));
}

DirectoryReader DirectoryReader::AdoptOpened(int descriptor) {
    DirectoryReader reader;
    reader.descriptor_ = FileDescriptor(descriptor);
    return reader;
}

DirectoryReader DirectoryReader::Adopt(int descriptor) {
    if (descriptor < 0) {
        return {};
    }
    FileDescriptor owned(descriptor);
    struct stat info {};
    const int flags = fcntl(owned.get(), F_GETFL);
    if (flags < 0 || fstat(owned.get(), &info) != 0) {
        return {};
    }
    if (!S_ISDIR(info.st_mode) || (flags & O_PATH) != 0) {
        // Closing the descriptor must not hide why it could not be read.
        owned = FileDescriptor();
        errno = S_ISDIR(info.st_mode) ? EBADF : ENOTDIR;
        return {};
    }
    fcntl(owned.get(), F_SETFD, FD_CLOEXEC);
    return AdoptOpened(owned.release());
}

DirectoryReader DirectoryReader::Copy(int descriptor) {
    // A copy shares the original's place in the directory, which an earlier reading may have
    // moved.
    DirectoryReader reader = Adopt(fcntl(descriptor, F_DUPFD_CLOEXEC, 0));
    if (reader.IsOpen()) {
        lseek(reader.Descriptor(), 0, SEEK_SET);
    }
    return reader;
}

std::optional<DirectoryEntry> DirectoryReader::Next() {
    while (IsOpen()) {
        if (at_ >= filled_) {
            if (ended_) {
                return std::nullopt;
            }
            if (!buffer_) {
                // Left uncleared: the kernel writes what is read from it, and clearing all of it
                // for every directory touched pages that a small directory never needs.
                buffer_ = std::make_unique_for_overwrite<char[]>(kBufferSize);
            }
            const long got = syscall(SYS_getdents64, Descriptor(), buffer_.get(), kBufferSize);
            if (got <= 0) {
                ended_ = true;  // the end, or an error, which ends the listing as readdir does
                return std::nullopt;
            }
            filled_ = static_cast<std::size_t>(got);
            at_ = 0;
        }
        const char* record = buffer_.get() + at_;
        unsigned short length = 0;
        std::memcpy(&length, record + offsetof(KernelEntry, length), sizeof length);
        at_ += length;
        const char* name = record + offsetof(KernelEntry, name);
        if (std::strcmp(name, ".") != 0 && std::strcmp(name, "..") != 0) {
            return DirectoryEntry{name,
                                  static_cast<unsigned char>(record[offsetof(KernelEntry, type)])};
        }
    }
    return std::nullopt;
}

}  // namespace trawlex
