#pragma once

#include "common/files/DirectoryHandle.h"
#include "common/files/DirectoryReader.h"
#include "common/files/FileFilters.h"
#include "common/files/Listing.h"

#include "common/files/PathAccess.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace trawlex {

// Whether a run covers the location's own files only or the whole tree below it.
enum class Scope {
    Flat,
    Tree,
};

// Yields the files of a walk one at a time, in the order a person reads the report: a
// directory's matching files in listing order, then each subdirectory with everything below it
// before the next subdirectory. Only the directories on the way down are held, so a walk over a
// huge tree needs little memory. Each real directory is entered at most once, so links that lead
// back into the tree cannot make it endless. Each directory is read in one pass.
// A file a walk yields: its path, and the directory it lies in, held open while the file waits
// to be read, so that it is opened by its name without the kernel walking the whole path again.
struct WalkedFile {
    std::string path;
    bool own = false;  // one of the location's own files, not one below it
    std::shared_ptr<const FileDescriptor> directory;  // none when it could not be kept open
    std::size_t nameAt = 0;                           // where the name starts in the path

    std::string_view Name() const { return std::string_view(path).substr(nameAt); }
};

// Opens a file a walk yielded for reading, by name inside its directory where that is open.
int OpenWalkedFile(const WalkedFile& file, int flags);

class TreeWalk {
public:
    // The files of a run: those of `ownFiles` (the location as the run spells it, ending in the
    // separator) and, for a tree, those of every directory below `top` after them. The guard
    // has entered `top` already. A filter leaves files and directories out: an excluded
    // directory is never listed, so whatever lies below it costs nothing.
    static TreeWalk Over(const std::string& ownFiles, const DirectoryHandle& top, Scope scope,
                         const FileMask& mask, WalkGuard& guard,
                         const WalkFilter* filter = nullptr);

    // The next file, or false at the end.
    bool Next(WalkedFile& file);

    // Directories that could not be read; the walk went on without them.
    const std::vector<std::string>& Unreadable() const { return unreadable_; }

private:
    struct Frame {
        std::string directory;  // with its closing separator
        std::shared_ptr<const FileDescriptor> descriptor;
        std::vector<std::string> files;
        std::vector<std::string> subdirectories;
        std::size_t nextFile = 0;
        std::size_t nextSubdirectory = 0;
        bool own = false;  // the location's own files
    };

    TreeWalk(const FileMask& mask, WalkGuard* guard, const WalkFilter* filter)
        : mask_(&mask), guard_(guard), filter_(filter) {}
    bool LeavesOutDirectory(const DirectoryEntry& entry, int listed) const;
    bool LeavesOutFile(const DirectoryEntry& entry, int listed) const;

    // What a directory is entered for: its files, its subdirectories or both.
    struct Wanted {
        bool files = false;
        bool subdirectories = false;
    };
    bool Enter(const std::string& directory, Wanted wanted);
    bool Enter(const std::string& directory, DirectoryReader listing, Wanted wanted);
    // Enters a subdirectory of the frame on top, reached by its name in that frame's directory.
    void EnterBelow(const std::string& name);

    const FileMask* mask_;
    WalkGuard* guard_;
    const WalkFilter* filter_;
    std::vector<Frame> frames_;
    std::vector<std::string> unreadable_;
};

}  // namespace trawlex
