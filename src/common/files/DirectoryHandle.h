#pragma once

#include "common/Result.h"
#include "common/files/ReadMemory.h"

#include <sys/stat.h>
#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <string>
#include <utility>

namespace trawlex {

// One directory of a walk: its full path as the walk spells it. The top directory's path is
// absolute and has no closing separator unless it is the root.
struct DirectoryHandle {
    std::string path;
};

// The handle of a directory a person named; fails when the path is no directory.
Result<DirectoryHandle> GetFolder(const std::string& path);

// The separator to put between a handle's path and a name: empty for the root.
std::string SeparatorFor(const DirectoryHandle& handle);

// Files and directories by identity (device and inode), whatever names or links lead to them.
// A search asks it once for every file, on the thread that also walks and writes the report:
// the identities lie side by side in one table, so that a question costs one look into memory
// instead of a bucket and a node each.
class IdentitySet {
public:
    // True the first time the identity is seen.
    bool Insert(const struct stat& info) { return Insert(info.st_dev, info.st_ino); }
    bool Insert(dev_t device, ino_t inode);

    IdentitySet() = default;
    // Its table is reached through the memory it owns and its count; one moved from would keep
    // the count without the memory.
    IdentitySet(IdentitySet&&) = delete;

private:
    struct Identity {
        std::uint64_t device;
        std::uint64_t inode;
        bool operator==(const Identity&) const = default;
    };
    // Marks a slot as free; should a file have this very identity, `freeTaken_` holds it.
    static constexpr Identity kFree{~std::uint64_t{0}, ~std::uint64_t{0}};

    std::size_t SlotOf(const Identity& identity) const;
    void Grow();
    Identity* Slots() const { return reinterpret_cast<Identity*>(memory_.Data()); }

    // A tree of 80 000 files needs a table of 4 MiB; in huge pages its growing costs a few faults
    // instead of a thousand.
    ReadMemory memory_;
    std::size_t count_ = 0;  // of slots: a power of two, at most half taken
    std::size_t taken_ = 0;
    int shift_ = 64;  // 64 less the count of bits of a slot's number
    bool freeTaken_ = false;
};

// Remembers the real directories (device and inode) a walk has entered, so that a link leading
// back into the tree is entered at most once and no walk is endless.
class WalkGuard {
public:
    // True the first time a directory is entered; false when it was entered before or is gone.
    bool Enter(const DirectoryHandle& handle);
    // The same for a directory already looked at; false for anything that is no directory.
    bool Enter(const struct stat& info);

private:
    IdentitySet entered_;
};

}  // namespace trawlex
