#include "common/files/TreeWalk.h"

#include "common/files/DirectoryReader.h"
#include "common/files/PathAccess.h"
#include "common/text/PathText.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <memory>

namespace trawlex {
namespace {

// The type of an entry, following a symbolic link to what it leads to.
mode_t TypeOf(const DirectoryEntry& entry, const std::string& directory) {
    if (entry.type == DT_REG) {
        return S_IFREG;
    }
    if (entry.type == DT_DIR) {
        return S_IFDIR;
    }
    if (entry.type != DT_LNK && entry.type != DT_UNKNOWN) {
        return 0;
    }
    struct stat info {};
    if (StatPath(directory + entry.name, info) != 0) {
        return 0;
    }
    return info.st_mode & S_IFMT;
}

constexpr int kMostKeptDirectories = 64;
std::atomic<int> keptDirectories{0};

}  // namespace

TreeWalk TreeWalk::Over(const std::string& ownFiles, const DirectoryHandle& top, Scope scope,
                        const FileMask& mask, WalkGuard& guard) {
    TreeWalk walk(mask, &guard);
    walk.Enter(ownFiles, {.files = true});
    if (scope == Scope::Tree &&
        walk.Enter(top.path + SeparatorFor(top), {.subdirectories = true}) &&
        walk.frames_.size() == 2) {
        // The own files come first; the directories below wait under them.
        std::swap(walk.frames_.front(), walk.frames_.back());
    }
    if (!walk.frames_.empty() && walk.frames_.back().directory == ownFiles) {
        walk.frames_.back().own = true;
    }
    return walk;
}

bool TreeWalk::Enter(const std::string& directory, Wanted wanted) {
    DirectoryReader listing = DirectoryReader::AtPath(directory);
    if (!listing.IsOpen()) {
        unreadable_.push_back(directory);
        return false;
    }
    Frame frame;
    frame.directory = directory;
    // Its own descriptor, since the listing's goes with the listing. Files waiting to be read
    // may keep many directories open; beyond a few, files are opened by their paths, so that
    // the process never runs out of descriptors for the files themselves.
    if (wanted.files && keptDirectories.load() < kMostKeptDirectories) {
        const int kept = fcntl(listing.Descriptor(), F_DUPFD_CLOEXEC, 0);
        if (kept >= 0) {
            ++keptDirectories;
            frame.descriptor = std::shared_ptr<const FileDescriptor>(
                new FileDescriptor(kept), [](const FileDescriptor* descriptor) {
                    delete descriptor;
                    --keptDirectories;
                });
        }
    }
    while (const std::optional<DirectoryEntry> entry = listing.Next()) {
        const std::string_view name = entry->Name();
        // Hidden files are never searched; hidden directories are.
        const bool hidden = name.front() == '.';
        const bool fileWanted = wanted.files && !hidden && mask_->MatchesBytes(name);
        if (!fileWanted && !wanted.subdirectories) {
            continue;
        }
        const mode_t type = TypeOf(*entry, directory);
        if (type == S_IFREG && fileWanted) {
            frame.files.emplace_back(name);
        } else if (type == S_IFDIR && wanted.subdirectories) {
            frame.subdirectories.emplace_back(name);
        }
    }
    SortNames(frame.files);
    SortNames(frame.subdirectories);
    frames_.push_back(std::move(frame));
    return true;
}

int OpenWalkedFile(const WalkedFile& file, int flags) {
    if (file.directory == nullptr) {
        return OpenPath(file.path, flags);
    }
    return openat(file.directory->get(), std::string(file.Name()).c_str(), flags);
}

bool TreeWalk::Next(WalkedFile& file) {
    while (!frames_.empty()) {
        Frame& frame = frames_.back();
        if (frame.nextFile < frame.files.size()) {
            file.path = frame.directory + frame.files[frame.nextFile++];
            file.nameAt = frame.directory.size();
            file.directory = frame.descriptor;
            file.own = frame.own;
            return true;
        }
        if (frame.nextSubdirectory < frame.subdirectories.size()) {
            const DirectoryHandle child{frame.directory +
                                        frame.subdirectories[frame.nextSubdirectory++]};
            if (guard_ != nullptr && guard_->Enter(child)) {
                Enter(child.path + SeparatorFor(child), {.files = true, .subdirectories = true});
            }
            continue;
        }
        frames_.pop_back();
    }
    return false;
}

}  // namespace trawlex
