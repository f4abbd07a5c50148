#pragma once

#include "common/Result.h"

#include <sys/stat.h>
#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

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
class IdentitySet {
public:
    // True the first time the identity is seen.
    bool Insert(const struct stat& info) { return Insert(info.st_dev, info.st_ino); }
    bool Insert(dev_t device, ino_t inode) { return seen_.insert({device, inode}).second; }

private:
    struct Hash {
        std::size_t operator()(const std::pair<dev_t, ino_t>& identity) const {
            return std::hash<std::uint64_t>()(identity.second * 0x9E3779B97F4A7C15ULL ^
                                              identity.first);
        }
    };
    std::unordered_set<std::pair<dev_t, ino_t>, Hash> seen_;
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
