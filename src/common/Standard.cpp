#include "common/Standard.h"

#include "common/SystemError.h"
#include "common/files/PathAccess.h"
#include "common/text/PathText.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

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

void FileBuffer::Free::operator()(char* data) const {
    std::free(data);
}

bool FileBuffer::Grow(std::size_t size) {
    // Whole mebibytes, so that the many small files of a tree share one allocation; a big
    // buffer is asked for in huge pages, which spares the kernel most of its page faults.
    constexpr std::size_t kMebibyte = std::size_t{1} << 20;
    constexpr std::size_t kHugePage = 2 * kMebibyte;
    const bool huge = size >= 2 * kHugePage;
    const std::size_t step = huge ? kHugePage : kMebibyte;
    capacity_ = (size + step - 1) / step * step;
    data_.reset();
    void* memory = huge ? std::aligned_alloc(kHugePage, capacity_) : std::malloc(capacity_);
    if (memory == nullptr) {
        capacity_ = 0;
        return false;
    }
    if (huge) {
        madvise(memory, capacity_, MADV_HUGEPAGE);
    }
    data_.reset(static_cast<char*>(memory));
    return true;
}

Result<FileStamp> ReadOpenedInto(const OpenedFile& opened, const std::string& path,
                                 FileBuffer& buffer) {
    auto stamp = ReadOpened(opened, path, [&buffer](std::size_t size) {
        if (size > buffer.capacity_ && !buffer.Grow(size)) {
            return static_cast<char*>(nullptr);
        }
        return buffer.data_.get();
    });
    buffer.size_ = stamp ? static_cast<std::size_t>(stamp->length) : 0;
    return stamp;
}

Result<FileStamp> LoadFileInto(const std::string& path, FileBuffer& buffer) {
    auto opened = OpenRegularFile(path);
    if (!opened) {
        buffer.Clear();
        return opened.error();
    }
    return ReadOpenedInto(opened.value(), path, buffer);
}

Result<std::string> ReadWholeFile(const std::string& path) {
    auto loaded = LoadFile(path);
    if (!loaded) {
        return loaded.error();
    }
    return std::move(loaded->bytes);
}

}  // namespace trawlex

namespace trawlex {

bool ReplaceAllInto(std::string_view text, const Finder& term, std::string_view replacement,
                    std::string& out) {
    std::size_t found = term.Find(text);
    if (found == Finder::npos) {
        return false;
    }
    out.reserve(out.size() + text.size());
    std::size_t copied = 0;
    while (found != Finder::npos) {
        out.append(text.substr(copied, found - copied));
        out.append(replacement);
        copied = found + term.TermLength();
        found = term.Find(text, copied);
    }
    out.append(text.substr(copied));
    return true;
}

namespace {

std::size_t OutputLimitOf(const ReplaceDetails* details) {
    return details != nullptr ? details->outputLimit : std::numeric_limits<std::size_t>::max();
}

// Gives `out` back as it was before a result that passed the output limit, and the memory that
// result took: the file is written piece by piece next, which needs none of it.
void DropTooLong(std::string& out, std::size_t kept) {
    out.resize(kept);
    out.shrink_to_fit();
}

}  // namespace

ReplaceOutcome ReplaceAllInto(std::string_view text, const TermMatcher& term,
                              const EncodedReplacement& replacement, std::string& out,
                              ReplaceDetails* details) {
    if (!term.MayOccur(text)) {
        return ReplaceOutcome::Unchanged;
    }
    const DetectedEncoding detected = DetectEncoding(text);
    const std::optional<std::string_view> uniform = replacement.Uniform(detected.encoding);
    const std::size_t kept = out.size();
    const std::size_t limit = OutputLimitOf(details);
    // Checked while a template is put together, so that one that repeats a long group many
    // times stops at the limit rather than when memory runs out.
    bool tooLong = false;
    const OutputDrain drain{limit > out.max_size() - kept ? out.max_size() : kept + limit,
                            [&tooLong](std::string&) {
                                tooLong = true;
                                return false;
                            }};
    std::size_t copied = 0;
    std::int64_t count = 0;
    bool encodable = true;
    const PatternScan scan =
        term.ForEachOccurrence(text, detected, [&](const Occurrence& occurrence) {
            const Span& whole = occurrence.span;
            if (count == 0 && !replacement.Encodable(detected.encoding)) {
                encodable = false;
                return false;
            }
            if (out.size() - kept + (whole.start - copied) > limit) {
                tooLong = true;
                return false;
            }
            if (count == 0) {
                out.reserve(out.size() + std::min(text.size(), limit));
            }
            out.append(text.substr(copied, whole.start - copied));
            const std::size_t before = out.size();
            if (!replacement.AppendTo(out, text, 0, occurrence, detected.encoding, &drain)) {
                encodable = tooLong;
                return false;
            }
            if (out.size() - kept > limit) {
                tooLong = true;
                return false;
            }
            if (details != nullptr && details->occurrences != nullptr) {
                details->occurrences->push_back(whole);
            }
            if (!uniform && details != nullptr && details->insertions != nullptr) {
                details->insertions->push_back(out.substr(before));
            }
            ++count;
            copied = whole.end;
            return true;
        });
    if (!tooLong && scan != PatternScan::Limit && encodable && count > 0 &&
        out.size() - kept + (text.size() - copied) > limit) {
        tooLong = true;
    }
    if (tooLong || scan == PatternScan::Limit || !encodable || count == 0) {
        if (tooLong) {
            DropTooLong(out, kept);
        } else {
            out.resize(kept);
        }
        if (details != nullptr && details->occurrences != nullptr) {
            details->occurrences->clear();
        }
        if (details != nullptr && details->insertions != nullptr) {
            details->insertions->clear();
        }
        return tooLong                      ? ReplaceOutcome::TooLong
               : scan == PatternScan::Limit ? ReplaceOutcome::LimitReached
               : !encodable                 ? ReplaceOutcome::Unencodable
                                            : ReplaceOutcome::Unchanged;
    }
    out.append(text.substr(copied));
    if (details != nullptr) {
        details->count = count;
        details->inserted = uniform.value_or(std::string_view());
        details->eachOwn = !uniform.has_value();
        details->encoding = detected.encoding;
    }
    return ReplaceOutcome::Replaced;
}

std::string ReplaceAll(std::string_view text, const Finder& term, std::string_view replacement,
                       bool& changed) {
    std::string out;
    if (!ReplaceAllInto(text, term, replacement, out)) {
        return std::string(text);
    }
    changed = true;
    return out;
}

}  // namespace trawlex
