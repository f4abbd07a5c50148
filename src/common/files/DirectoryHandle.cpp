#include "common/files/DirectoryHandle.h"

#include "common/files/PathAccess.h"
#include "common/text/PathText.h"

#include <sys/stat.h>
#include <unistd.h>

#include <bit>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <new>
#include <span>
#include <utility>

namespace trawlex {
namespace {

bool StatDirectory(const std::string& path, struct stat& info) {
    return StatPath(path, info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

Result<DirectoryHandle> GetFolder(const std::string& path) {
    struct stat info {};
    const std::string tested = path.empty() ? std::string(".") : path;
    if (!StatDirectory(tested, info)) {
        return Error{QStringLiteral("Der Suchort \u201E%1\u201C existiert nicht oder ist kein "
                                    "Verzeichnis.")
                         .arg(PathText(path))};
    }
    std::filesystem::path absolute(tested);
    if (!absolute.is_absolute()) {
        if (char* current = getcwd(nullptr, 0)) {
            absolute = std::filesystem::path(current) / absolute;
            std::free(current);
        }
    }
    std::string normal = absolute.lexically_normal().native();
    while (normal.size() > 1 && normal.back() == kSeparator) {
        normal.pop_back();
    }
    return DirectoryHandle{normal};
}

std::string SeparatorFor(const DirectoryHandle& handle) {
    return !handle.path.empty() && handle.path.back() == kSeparator ? std::string()
                                                                    : std::string(1, kSeparator);
}

bool IdentitySet::Insert(dev_t device, ino_t inode) {
    const Identity identity{device, inode};
    if (identity == kFree) {
        return !std::exchange(freeTaken_, true);
    }
    if (2 * (taken_ + 1) > count_) {
        Grow();
    }
    const std::size_t mask = count_ - 1;
    Identity* const slots = Slots();
    for (std::size_t at = SlotOf(identity);; at = (at + 1) & mask) {
        if (slots[at] == identity) {
            return false;
        }
        if (slots[at] == kFree) {
            slots[at] = identity;
            ++taken_;
            return true;
        }
    }
}

// The inodes of one directory are often numbered one after another. Eight neighbours share a
// stretch of slots, so that the files of a directory are looked for in a few lines of memory;
// the stretches are spread over the table by multiplying, whose top bits depend on every bit.
std::size_t IdentitySet::SlotOf(const Identity& identity) const {
    constexpr std::uint64_t kNeighbours = 8;
    const std::uint64_t stretch =
        ((identity.inode / kNeighbours) ^ std::rotl(identity.device, 32)) * 0x9E3779B97F4A7C15ULL;
    return static_cast<std::size_t>(((stretch >> shift_) & ~(kNeighbours - 1)) |
                                    (identity.inode % kNeighbours));
}

void IdentitySet::Grow() {
    const std::size_t count = count_ == 0 ? std::size_t{512} : 2 * count_;
    ReadMemory memory = ReadMemory::ForSize(count * sizeof(Identity));
    if (memory.Data() == nullptr) {
        throw std::bad_alloc();  // as a container's would
    }
    // Every byte of a free slot is 0xFF.
    std::memset(memory.Data(), 0xFF, count * sizeof(Identity));
    const ReadMemory old = std::exchange(memory_, std::move(memory));
    const std::span<const Identity> taken(reinterpret_cast<const Identity*>(old.Data()),
                                          std::exchange(count_, count));
    shift_ = 64 - std::countr_zero(count);
    Identity* const slots = Slots();
    const std::size_t mask = count - 1;
    for (const Identity& identity : taken) {
        if (identity == kFree) {
            continue;
        }
        std::size_t at = SlotOf(identity);
        while (slots[at] != kFree) {
            at = (at + 1) & mask;
        }
        slots[at] = identity;
    }
}

bool WalkGuard::Enter(const DirectoryHandle& handle) {
    struct stat info {};
    if (!StatDirectory(handle.path, info)) {
        return false;
    }
    return entered_.Insert(info);
}

bool WalkGuard::Enter(const struct stat& info) {
    return S_ISDIR(info.st_mode) && entered_.Insert(info);
}

}  // namespace trawlex
