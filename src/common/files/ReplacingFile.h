#pragma once

#include "common/Result.h"
#include "common/files/ChunkReader.h"
#include "common/files/PathAccess.h"

#include <sys/stat.h>

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

namespace trawlex {

// Another program may rename, relink or rewrite anything in a tree while a run works in it.
// A file that is rewritten or restored is therefore reached through directory descriptors from
// a directory that was checked, one name at a time and never through a link, and no path is
// resolved again after that check.

// Opens the directory that `relative` (names separated by "/", empty for `top` itself) names
// below the directory `top`. A name that is a symbolic link, or no directory, fails (ELOOP or
// ENOTDIR in the error's code), so a link swapped in on the way cannot lead elsewhere.
Result<FileDescriptor> OpenDirectoryBeneath(int top, std::string_view relative,
                                            const std::string& shown);

// Opens the regular file `name` of an opened directory for reading, never through a link;
// `shown` names it in messages.
Result<OpenedFile> OpenRegularFileAt(int directory, const std::string& name,
                                     const std::string& shown);

// Whether a file is still as it was seen: the same file, with the same size and dates.
bool SameFileState(const struct stat& before, const struct stat& now);

// "... was changed by another program during the replacement and stays as it is."
Error ChangedBeside(const std::string& shown);

// An undo gives a file back the mode and dates it had; a replacement keeps those it has.
struct RestoredAttributes {
    mode_t mode = 0;
    timespec accessed{};
    timespec modified{};
};

// Where the temporary files of this process are recorded before they get a name in a tree, so
// that a later run can remove those a killed run left, and only those: a file is removed only
// when the very directory and file recorded are still found under the recorded name. Without a
// register (none set), a temporary file still never outlives a kill except in the moment
// between its naming and its rename.
void SetTemporaryRegister(const std::string& directory);
// Removes what the registers of runs that ended without finishing recorded; the registers of
// live processes are left alone.
void CleanAbandonedTemporaries(const std::string& directory);

// Replaces a file's contents as one step: the bytes go to a temporary file in the same
// directory, which is flushed to disk and renamed into place, so the file holds either its old
// or its new contents, never a part. An existing file keeps its permissions and, where allowed,
// its owner and group. Until Commit the old file stays as it is; dropped without Commit, or when
// Commit fails, the temporary file is removed again.
class ReplacingFile {
public:
    // The file `path`; a symbolic link is resolved here, once, and its target gets the contents.
    static Result<ReplacingFile> Begin(
        const std::string& path, const std::optional<RestoredAttributes>& restored = std::nullopt);

    // The file `name` of an opened directory (`directoryPath` is where that directory lies, for
    // the register); `shown` names the file in messages. `existing` is what the file is now,
    // when it exists.
    static Result<ReplacingFile> BeginAt(
        int directory, const std::string& directoryPath, const std::string& name,
        const std::string& shown, const struct stat* existing,
        const std::optional<RestoredAttributes>& restored = std::nullopt);

    ReplacingFile(ReplacingFile&& other) noexcept;
    ReplacingFile& operator=(ReplacingFile&&) = delete;
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;
    ~ReplacingFile();

    Status Append(std::string_view bytes);

    // Flushes the contents to disk and renames them into place. With `expected`, the file is
    // first compared with it, and left as another program made it when it changed since.
    Status Commit(const struct stat* expected = nullptr);

    // The temporary file, which can be read back before it is renamed, and its size.
    int Descriptor() const { return file_.get(); }
    std::uint64_t Size() const { return size_; }

private:
    ReplacingFile() = default;

    Status NameTemporary();
    void RemoveTemporary();

    FileDescriptor directory_;
    std::string directoryPath_;
    std::string name_;
    std::string shown_;
    std::string temporary_;  // the temporary file's name while it has one
    FileDescriptor file_;
    std::optional<RestoredAttributes> restored_;
    std::uint64_t size_ = 0;
    bool committed_ = false;
};

// The same for contents at hand.
Status WriteFileReplacing(const std::string& path, std::string_view bytes,
                          const std::optional<RestoredAttributes>& restored = std::nullopt);

}  // namespace trawlex
