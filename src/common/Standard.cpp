#include "Standard.h"

#include "PathText.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace trawlex {
namespace {

class FileDescriptor {
public:
    explicit FileDescriptor(int descriptor) : descriptor_(descriptor) {}
    ~FileDescriptor() {
        if (descriptor_ >= 0) {
            close(descriptor_);
        }
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int get() const { return descriptor_; }

private:
    int descriptor_ = -1;
};

Error ReadError(const std::string& path, int code) {
    return Error{QStringLiteral("Die Datei \u201E%1\u201C kann nicht gelesen werden: %2")
                     .arg(PathText(path), QString::fromLocal8Bit(std::strerror(code)))};
}

}  // namespace

std::string Quote(std::string_view text) {
    std::string quoted;
    quoted.reserve(text.size() + 2);
    quoted += '"';
    quoted += text;
    quoted += '"';
    return quoted;
}

std::string TdCell(std::string_view text) {
    std::string cell;
    cell.reserve(text.size() + 9);
    cell += "<td>";
    cell += text;
    cell += "</td>";
    return cell;
}

Result<LoadedFile> LoadFile(const std::string& path) {
    const FileDescriptor file(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (file.get() < 0) {
        return ReadError(path, errno);
    }
    struct stat info {};
    if (fstat(file.get(), &info) != 0) {
        return ReadError(path, errno);
    }
    if (!S_ISREG(info.st_mode)) {
        return ReadError(path, EINVAL);
    }
    LoadedFile loaded;
    loaded.modified = info.st_mtime;
    loaded.bytes.resize(static_cast<std::size_t>(info.st_size));
    std::size_t filled = 0;
    while (filled < loaded.bytes.size()) {
        const ssize_t got =
            read(file.get(), loaded.bytes.data() + filled, loaded.bytes.size() - filled);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return ReadError(path, errno);
        }
        if (got == 0) {
            break;  // The file shrank while it was read; keep what it holds now.
        }
        filled += static_cast<std::size_t>(got);
    }
    loaded.bytes.resize(filled);
    loaded.length = static_cast<std::int64_t>(filled);
    return loaded;
}

Result<std::string> ReadWholeFile(const std::string& path) {
    auto loaded = LoadFile(path);
    if (!loaded) {
        return loaded.error();
    }
    return std::move(loaded->bytes);
}

}  // namespace trawlex
