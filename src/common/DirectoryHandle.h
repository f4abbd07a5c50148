#pragma once

#include "Result.h"

#include <sys/types.h>

#include <set>
#include <string>
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

// Remembers the real directories (device and inode) a walk has entered, so that a link leading
// back into the tree is entered at most once and no walk is endless.
class WalkGuard {
public:
    // True the first time a directory is entered; false when it was entered before or is gone.
    bool Enter(const DirectoryHandle& handle);

private:
    std::set<std::pair<dev_t, ino_t>> entered_;
};

}  // namespace trawlex
