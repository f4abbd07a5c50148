#include "TreeWalk.h"

#include "PathAccess.h"
#include "PathText.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>

namespace trawlex {
namespace {

struct DirCloser {
    void operator()(DIR* handle) const { closedir(handle); }
};

// The type of an entry, following a symbolic link to what it leads to.
mode_t TypeOf(const dirent& entry, const std::string& directory) {
    if (entry.d_type == DT_REG) {
        return S_IFREG;
    }
    if (entry.d_type == DT_DIR) {
        return S_IFDIR;
    }
    if (entry.d_type != DT_LNK && entry.d_type != DT_UNKNOWN) {
        return 0;
    }
    struct stat info {};
    if (StatPath(directory + entry.d_name, info) != 0) {
        return 0;
    }
    return info.st_mode & S_IFMT;
}

// The temporary name a rewrite gives its new contents: "." + name + ".trawlex-" + six characters.
bool IsStaleTemporary(std::string_view name) {
    constexpr std::string_view kMarker = ".trawlex-";
    return name.size() > kMarker.size() + 7 && name.front() == '.' &&
           name.substr(name.size() - 6 - kMarker.size(), kMarker.size()) == kMarker;
}

}  // namespace

TreeWalk TreeWalk::FilesOf(const std::string& directory, const FileMask& mask,
                           StaleTemporaries stale) {
    TreeWalk walk(mask, nullptr, stale);
    walk.Enter(directory, true, false);
    return walk;
}

TreeWalk TreeWalk::Below(const DirectoryHandle& parent, const FileMask& mask, WalkGuard& guard,
                         StaleTemporaries stale) {
    TreeWalk walk(mask, &guard, stale);
    walk.Enter(parent.path + SeparatorFor(parent), false, true);
    return walk;
}

bool TreeWalk::Enter(const std::string& directory, bool withFiles, bool withSubdirectories) {
    const std::unique_ptr<DIR, DirCloser> handle(OpenDirectoryPath(directory));
    if (!handle) {
        unreadable_.push_back(directory);
        return false;
    }
    Frame frame;
    frame.directory = directory;
    while (const dirent* entry = readdir(handle.get())) {
        const std::string_view name = entry->d_name;
        if (name == "." || name == "..") {
            continue;
        }
        // Hidden files are never searched; hidden directories are.
        const bool hidden = name.front() == '.';
        if (hidden && removeStale_ && IsStaleTemporary(name)) {
            UnlinkPath(directory + std::string(name));
            continue;
        }
        const bool fileWanted = withFiles && !hidden && mask_->MatchesBytes(name);
        if (!fileWanted && !withSubdirectories) {
            continue;
        }
        const mode_t type = TypeOf(*entry, directory);
        if (type == S_IFREG && fileWanted) {
            frame.files.emplace_back(name);
        } else if (type == S_IFDIR && withSubdirectories) {
            frame.subdirectories.emplace_back(name);
        }
    }
    SortNames(frame.files);
    SortNames(frame.subdirectories);
    frames_.push_back(std::move(frame));
    return true;
}

bool TreeWalk::Next(std::string& path) {
    while (!frames_.empty()) {
        Frame& frame = frames_.back();
        if (frame.nextFile < frame.files.size()) {
            path = frame.directory + frame.files[frame.nextFile++];
            return true;
        }
        if (frame.nextSubdirectory < frame.subdirectories.size()) {
            const DirectoryHandle child{frame.directory +
                                        frame.subdirectories[frame.nextSubdirectory++]};
            if (guard_ != nullptr && guard_->Enter(child)) {
                Enter(child.path + SeparatorFor(child), true, true);
            }
            continue;
        }
        frames_.pop_back();
    }
    return false;
}

}  // namespace trawlex
