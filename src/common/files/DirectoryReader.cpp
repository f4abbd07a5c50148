#include "common/files/DirectoryReader.h"

#include "common/files/PathAccess.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace trawlex {

void DirectoryReader::Close::operator()(DIR* stream) const {
    closedir(stream);
}

DirectoryReader DirectoryReader::AtPath(const std::string& path) {
    return Adopt(OpenPath(path.empty() ? std::string(".") : path, O_RDONLY | O_DIRECTORY));
}

DirectoryReader DirectoryReader::Adopt(int descriptor) {
    DirectoryReader reader;
    if (descriptor < 0) {
        return reader;
    }
    FileDescriptor owned(descriptor);
    reader.stream_.reset(fdopendir(owned.get()));
    if (reader.stream_) {
        owned.release();
    } else {
        // Closing the descriptor must not hide why it could not be read.
        const int code = errno;
        owned = FileDescriptor();
        errno = code;
    }
    return reader;
}

DirectoryReader DirectoryReader::Copy(int descriptor) {
    // A copy shares the original's place in the directory, which an earlier reading may have
    // moved.
    DirectoryReader reader = Adopt(dup(descriptor));
    if (reader.IsOpen()) {
        rewinddir(reader.stream_.get());
    }
    return reader;
}

int DirectoryReader::Descriptor() const {
    return stream_ ? dirfd(stream_.get()) : -1;
}

std::optional<DirectoryEntry> DirectoryReader::Next() {
    if (!stream_) {
        return std::nullopt;
    }
    while (const dirent* entry = readdir(stream_.get())) {
        const std::string_view name = entry->d_name;
        if (name != "." && name != "..") {
            return DirectoryEntry{entry->d_name, entry->d_type};
        }
    }
    return std::nullopt;
}

}  // namespace trawlex
