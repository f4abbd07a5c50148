#pragma once

#include "common/Result.h"

#include <QString>

#include <sys/stat.h>

#include <atomic>
#include <cstdint>
#include <ctime>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace trawlex {

// Where the undo journals live: $XDG_STATE_HOME/trawlex, by default ~/.local/state/trawlex.
std::string JournalRoot();

// What a run was, as the undo list shows it.
struct JournalRunInfo {
    std::time_t started = 0;
    QString kind;
    QString location;  // the location with links resolved; undo writes nowhere else
    QString term;
    QString replacement;
};

// One file a run rewrote: what is needed to give it its old bytes, mode and dates back, and the
// fingerprint of what the run wrote, so that a file changed since is recognised.
struct JournalEntry {
    std::uint64_t id = 0;
    std::string path;  // with links resolved
    mode_t mode = 0;
    uid_t owner = 0;
    gid_t group = 0;
    timespec accessed{};
    timespec modified{};
    std::int64_t size = 0;
    std::uint64_t originalHash = 0;
    std::uint64_t writtenHash = 0;
};

// A file's old contents as the journal needs them: the bytes themselves only when they were read
// whole; otherwise the journal copies them from the file, which is still unchanged.
struct OriginalContents {
    std::int64_t size = 0;
    std::uint64_t hash = 0;
    std::optional<std::string_view> bytes;
};

// The journal of one replacement run. Each file's entry is on disk, synced, before the file is
// renamed over, so that a run killed at any moment can still be taken back.
class Journal {
public:
    // Creates the run's journal and keeps only the newest `keptRuns` runs. Fails, naming the
    // directory, when the journal cannot be written; the run must then touch no file.
    static Result<std::unique_ptr<Journal>> Begin(const std::string& root, JournalRunInfo info,
                                                  int keptRuns);

    ~Journal();
    Journal(const Journal&) = delete;
    Journal& operator=(const Journal&) = delete;

    // Keeps the old state of the file opened as `descriptor` before it is rewritten, and
    // answers the entry's number; called from several threads. The copy is made of that very
    // file, whatever its name leads to by now.
    Result<std::uint64_t> Keep(const std::string& resolvedPath, int descriptor,
                               const struct stat& original, std::string_view originalBytes,
                               std::uint64_t writtenHash);
    Result<std::uint64_t> Keep(const std::string& resolvedPath, int descriptor,
                               const struct stat& original, const OriginalContents& contents,
                               std::uint64_t writtenHash);

    // Takes an entry back whose file was in the end not rewritten, so that undo leaves that file
    // alone and the journal holds no second name of it that later edits would change.
    Status Withdraw(std::uint64_t id);

    std::int64_t FilesKept() const { return kept_.load(); }

private:
    Journal(std::string directory, int directoryDescriptor, int entriesDescriptor)
        : directory_(std::move(directory)),
          directoryDescriptor_(directoryDescriptor),
          entriesDescriptor_(entriesDescriptor) {}

    Status SaveCopy(int descriptor, const struct stat& original, const OriginalContents& contents,
                    const std::string& copyName);
    Status AppendRecord(const std::string& line);

    std::string directory_;
    int directoryDescriptor_ = -1;
    int entriesDescriptor_ = -1;
    std::mutex appending_;
    std::atomic<std::uint64_t> nextId_{1};
    std::atomic<std::int64_t> kept_{0};
};

// A run's journal as read back, checked whole before anything is applied.
struct JournalRun {
    std::string directory;
    JournalRunInfo info;
    std::vector<JournalEntry> entries;
    bool undone = false;
};

// The runs under the root, the newest first; each read and checked. A run whose journal is
// damaged comes back as an error naming it.
std::vector<Result<JournalRun>> ReadJournalRuns(const std::string& root);

// The name of an entry's saved original inside its run's directory.
std::string CopyName(std::uint64_t id);

// The names the undo journals give files of the tree. A journal keeps a file's old contents as
// a second name of it until the rename replaces the file; a run killed in between leaves that
// name, and the file then has two names although the person gave it one.
class JournalNames {
public:
    explicit JournalNames(std::string root) : root_(std::move(root)) {}

    // How many of the file's names lie in the journals. The journals are looked through once,
    // at the first question, and only files with more than one name ask.
    nlink_t Count(const struct stat& file) const;

private:
    std::string root_;
    mutable std::once_flag read_;
    mutable std::map<std::pair<dev_t, ino_t>, nlink_t> names_;
};

// Marks a run as taken back, durably.
Status MarkUndone(const std::string& runDirectory);

}  // namespace trawlex
