#include "common/files/PathAccess.h"

#include "common/text/PathText.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <utility>

namespace trawlex {
namespace {

// Calls `operation` with a directory descriptor and a path relative to it that is within the
// limit: the current directory and the path itself when it is short.
template <typename Operation>
int AtShortPath(const std::string& path, Operation operation) {
    if (!IsLongPath(path)) {
        return operation(AT_FDCWD, path.c_str());
    }
    FileDescriptor held;
    int directory = AT_FDCWD;
    std::size_t start = 0;
    while (path.size() - start >= PATH_MAX) {
        // The longest leading piece within the limit that ends at a separator.
        const std::size_t cut = path.rfind(kSeparator, start + PATH_MAX - 2);
        if (cut == std::string::npos || cut < start) {
            errno = ENAMETOOLONG;  // one name longer than the limit: no file system holds it
            return -1;
        }
        if (cut == start && start > 0) {
            ++start;  // a doubled separator
            continue;
        }
        const std::string piece = path.substr(start, cut - start + 1);
        const int next = openat(directory, piece.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        if (next < 0) {
            return -1;
        }
        held = FileDescriptor(next);
        directory = next;
        start = cut + 1;
    }
    const int result = operation(directory, path.c_str() + start);
    const int code = errno;
    held = FileDescriptor();
    errno = code;
    return result;
}

}  // namespace

FileDescriptor::~FileDescriptor() {
    if (descriptor_ >= 0) {
        close(descriptor_);
    }
}

FileDescriptor::FileDescriptor(FileDescriptor&& other) noexcept
    : descriptor_(std::exchange(other.descriptor_, -1)) {}

FileDescriptor& FileDescriptor::operator=(FileDescriptor&& other) noexcept {
    if (this != &other) {
        if (descriptor_ >= 0) {
            close(descriptor_);
        }
        descriptor_ = std::exchange(other.descriptor_, -1);
    }
    return *this;
}

int FileDescriptor::release() {
    return std::exchange(descriptor_, -1);
}

bool IsLongPath(const std::string& path) {
    return path.size() >= PATH_MAX;
}

int OpenPath(const std::string& path, int flags, mode_t mode) {
    return AtShortPath(path, [flags, mode](int directory, const char* relative) {
        return openat(directory, relative, flags | O_CLOEXEC, mode);
    });
}

int StatPath(const std::string& path, struct stat& info, int flags) {
    return AtShortPath(path, [&info, flags](int directory, const char* relative) {
        return fstatat(directory, relative, &info, flags);
    });
}

int UnlinkPath(const std::string& path) {
    return AtShortPath(
        path, [](int directory, const char* relative) { return unlinkat(directory, relative, 0); });
}

}  // namespace trawlex
