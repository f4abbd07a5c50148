#include "common/files/WholeFile.h"

#include "common/SystemError.h"
#include "common/files/PathAccess.h"
#include "common/text/Utf16.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace trawlex {

Status WriteAll(int descriptor, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = write(descriptor, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return Error{QString(), errno};
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return Success();
}

Status ReadAt(int descriptor, std::uint64_t offset, std::size_t length, std::string& out) {
    out.resize(length);
    std::size_t done = 0;
    while (done < length) {
        const ssize_t got =
            pread(descriptor, out.data() + done, length - done, static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            out.resize(done);
            return Error{QString(), errno};
        }
        if (got == 0) {
            break;
        }
        done += static_cast<std::size_t>(got);
    }
    out.resize(done);
    return Success();
}

namespace {

// Reads an opened regular file whole into the memory that `reserve` hands out for its size;
// returns the length actually read and the modification time.
template <typename Reserve>
Result<FileStamp> ReadOpened(const OpenedFile& opened, const std::string& path, Reserve reserve) {
    const struct stat& info = opened.status;
    const auto size = static_cast<std::size_t>(info.st_size);
    char* data = reserve(size);
    // An empty file needs no memory; a buffer that never held anything has none to give.
    if (data == nullptr && size != 0) {
        return ReadError(path, ENOMEM);  // too big to be held whole
    }
    std::size_t filled = 0;
    while (filled < size) {
        const ssize_t got = read(opened.file.get(), data + filled, size - filled);
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
    return FileStamp{static_cast<std::int64_t>(filled), info.st_mtime, info};
}

template <typename Reserve>
Result<FileStamp> ReadRegularFile(const std::string& path, Reserve reserve) {
    auto opened = OpenRegularFile(path);
    if (!opened) {
        return opened.error();
    }
    return ReadOpened(opened.value(), path, reserve);
}

}  // namespace

Result<LoadedFile> LoadFile(const std::string& path) {
    LoadedFile loaded;
    auto stamp = ReadRegularFile(path, [&loaded](std::size_t size) {
        loaded.bytes.resize(size);
        return loaded.bytes.data();
    });
    if (!stamp) {
        return stamp.error();
    }
    loaded.bytes.resize(static_cast<std::size_t>(stamp->length));
    loaded.length = stamp->length;
    loaded.modified = stamp->modified;
    return loaded;
}

bool FileBuffer::Grow(std::size_t size) {
    // Whole mebibytes, so that the many small files of a tree share one allocation.
    constexpr std::size_t kMebibyte = std::size_t{1} << 20;
    memory_ = ReadMemory();  // freed first, so that the old and the new are never held together
    memory_ = ReadMemory::ForSize((size + kMebibyte - 1) / kMebibyte * kMebibyte);
    return memory_.Data() != nullptr;
}

char* FileBuffer::Reserve(std::size_t size) {
    if (size > memory_.Capacity() && !Grow(size)) {
        return nullptr;
    }
    return memory_.Data();
}

void FileBuffer::Filled(std::size_t length) {
    size_ = length;
    decoded_ = false;
    malformed_ = false;
}

Result<FileStamp> ReadOpenedInto(const OpenedFile& opened, const std::string& path,
                                 FileBuffer& buffer) {
    auto stamp =
        ReadOpened(opened, path, [&buffer](std::size_t size) { return buffer.Reserve(size); });
    buffer.Filled(stamp ? static_cast<std::size_t>(stamp->length) : 0);
    return stamp;
}

std::string_view FileBuffer::Text() {
    if (!Utf16Order(View())) {
        return View();
    }
    if (!decoded_) {
        decoded_ = true;
        TextOf(View(), text_, &malformed_);
    }
    return text_;
}

}  // namespace trawlex
