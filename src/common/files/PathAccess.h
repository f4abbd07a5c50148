#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <string>

namespace trawlex {

// A file descriptor closed when it goes out of scope.
class FileDescriptor {
public:
    FileDescriptor() = default;
    explicit FileDescriptor(int descriptor) : descriptor_(descriptor) {}
    ~FileDescriptor();
    FileDescriptor(FileDescriptor&& other) noexcept;
    FileDescriptor& operator=(FileDescriptor&& other) noexcept;
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int get() const { return descriptor_; }
    // Gives up ownership.
    int release();

private:
    int descriptor_ = -1;
};

// Deep trees hold paths longer than the kernel takes in one call (PATH_MAX). These open, list
// and test such paths by descending to a directory near the end with directory descriptors;
// a path within the limit takes the plain call, so the common case costs nothing extra.
// They set errno as the plain calls do.
bool IsLongPath(const std::string& path);
int OpenPath(const std::string& path, int flags, mode_t mode = 0);
int StatPath(const std::string& path, struct stat& info, int flags = 0);  // AT_SYMLINK_NOFOLLOW
int UnlinkPath(const std::string& path);

}  // namespace trawlex
