#include "common/files/TreeWalk.h"

#include "common/files/DirectoryReader.h"
#include "common/files/PathAccess.h"
#include "common/text/PathText.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <memory>

namespace trawlex {
namespace {

// The type of an entry of the directory `listed`, following a symbolic link to what it leads to.
mode_t TypeOf(const DirectoryEntry& entry, int listed) {
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
    if (fstatat(listed, entry.name, &info, 0) != 0) {
        return 0;
    }
    return info.st_mode & S_IFMT;
}

// Files waiting to be read keep their directories open, so that each is opened by its name
// alone instead of the kernel walking its whole path again; a run keeps hundreds of files
// waiting across as many directories. Half the descriptors the process may hold stay free for
// the files themselves and everything else.
int MostKeptDirectories() {
    static const int most = [] {
        struct rlimit limit {};
        if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) {
            return 64;
        }
        return static_cast<int>(std::clamp<rlim_t>(limit.rlim_cur / 2, 64, 4096));
    }();
    return most;
}
std::atomic<int> keptDirectories{0};

}  // namespace

TreeWalk TreeWalk::Over(const std::string& ownFiles, const DirectoryHandle& top, Scope scope,
                        const FileMask& mask, WalkGuard& guard, const WalkFilter* filter) {
    TreeWalk walk(mask, &guard, filter);
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
    return Enter(directory, DirectoryReader::AtPath(directory), wanted);
}

void TreeWalk::EnterBelow(const std::string& name) {
    const Frame& parent = frames_.back();
    std::string directory = parent.directory + name;
    DirectoryReader listing = DirectoryReader::AdoptOpened(
        parent.descriptor != nullptr
            ? openat(parent.descriptor->get(), name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)
            : OpenPath(directory, O_RDONLY | O_DIRECTORY));
    // The guard looks at the very directory that was opened; one that cannot be opened is looked
    // at by its name, so that it is named as unreadable once, and a name that is gone or no
    // directory is passed over in silence.
    struct stat info {};
    const bool looked = listing.IsOpen()
                            ? fstat(listing.Descriptor(), &info) == 0
                            : (parent.descriptor != nullptr
                                   ? fstatat(parent.descriptor->get(), name.c_str(), &info, 0)
                                   : StatPath(directory, info)) == 0;
    if (!looked || guard_ == nullptr || !guard_->Enter(info)) {
        return;
    }
    directory += kSeparator;
    Enter(directory, std::move(listing), {.files = true, .subdirectories = true});
}

bool TreeWalk::Enter(const std::string& directory, DirectoryReader listing, Wanted wanted) {
    if (!listing.IsOpen()) {
        unreadable_.push_back(directory);
        return false;
    }
    Frame frame;
    frame.directory = directory;
    while (const std::optional<DirectoryEntry> entry = listing.Next()) {
        const std::string_view name = entry->Name();
        // Hidden files are never searched; hidden directories are.
        const bool hidden = name.front() == '.';
        const bool fileWanted = wanted.files && !hidden && mask_->MatchesBytes(name);
        if (!fileWanted && !wanted.subdirectories) {
            continue;
        }
        const mode_t type = TypeOf(*entry, listing.Descriptor());
        if (type == S_IFREG && fileWanted && !LeavesOutFile(*entry, listing.Descriptor())) {
            frame.files.emplace_back(name);
        } else if (type == S_IFDIR && wanted.subdirectories &&
                   !LeavesOutDirectory(*entry, listing.Descriptor())) {
            frame.subdirectories.emplace_back(name);
        }
    }
    SortNames(frame.files);
    SortNames(frame.subdirectories);
    // The listing's descriptor stays with the frame: files waiting to be read and the
    // subdirectories are opened by name in it. Beyond a limit, they are opened by their paths,
    // so that the process never runs out of descriptors for the files themselves.
    if ((!frame.files.empty() || !frame.subdirectories.empty()) &&
        keptDirectories.load() < MostKeptDirectories()) {
        ++keptDirectories;
        frame.descriptor = std::shared_ptr<const FileDescriptor>(
            new FileDescriptor(listing.Release()), [](const FileDescriptor* descriptor) {
                delete descriptor;
                --keptDirectories;
            });
    }
    frames_.push_back(std::move(frame));
    return true;
}

bool TreeWalk::LeavesOutFile(const DirectoryEntry& entry, int listed) const {
    if (filter_ == nullptr) {
        return false;
    }
    if (filter_->LeavesOutFile(entry.Name())) {
        return true;
    }
    struct stat status {};
    return filter_->ChecksStatus() &&
           (fstatat(listed, entry.name, &status, 0) != 0 || filter_->LeavesOut(status));
}

bool TreeWalk::LeavesOutDirectory(const DirectoryEntry& entry, int listed) const {
    if (filter_ == nullptr) {
        return false;
    }
    if (filter_->LeavesOutDirectory(entry.Name())) {
        return true;
    }
    if (entry.type != DT_LNK && entry.type != DT_UNKNOWN) {
        return false;
    }
    // A link to an excluded directory under another name leads into it all the same.
    std::array<char, 4096> target{};
    const ssize_t length = readlinkat(listed, entry.name, target.data(), target.size() - 1);
    if (length <= 0) {
        return false;
    }
    std::string_view leads(target.data(), static_cast<std::size_t>(length));
    while (leads.size() > 1 && leads.back() == kSeparator) {
        leads.remove_suffix(1);
    }
    const std::size_t slash = leads.rfind(kSeparator);
    return filter_->LeavesOutDirectory(slash == std::string_view::npos ? leads
                                                                       : leads.substr(slash + 1));
}

int OpenWalkedFile(const WalkedFile& file, int flags) {
    if (file.directory == nullptr) {
        return OpenPath(file.path, flags);
    }
    // The name ends the path, so the path's bytes from there are the name with its end.
    return openat(file.directory->get(), file.path.c_str() + file.nameAt, flags);
}

bool TreeWalk::Next(WalkedFile& file) {
    while (!frames_.empty()) {
        Frame& frame = frames_.back();
        if (frame.nextFile < frame.files.size()) {
            // Put together in place: `directory + name` would allocate twice, and a tree has
            // tens of thousands of files.
            const std::string& name = frame.files[frame.nextFile++];
            file.path.clear();
            file.path.reserve(frame.directory.size() + name.size());
            file.path.append(frame.directory).append(name);
            file.nameAt = frame.directory.size();
            file.directory = frame.descriptor;
            file.own = frame.own;
            return true;
        }
        if (frame.nextSubdirectory < frame.subdirectories.size()) {
            EnterBelow(frame.subdirectories[frame.nextSubdirectory++]);
            continue;
        }
        frames_.pop_back();
    }
    return false;
}

}  // namespace trawlex
