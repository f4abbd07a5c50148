#pragma once

#include "common/Result.h"
#include "common/files/ContentHash.h"
#include "common/files/PathAccess.h"

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

// Where the undo journals live: $XDG_STATE_HOME/trawlex, by default ~/.local/state/trawlex. A
// relative XDG_STATE_HOME is ignored, as the base-directory convention asks; without it and
// without an absolute HOME there is no place for journals, and the error names what is missing.
Result<std::string> JournalRoot();

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
    // answers the entry's id, which Withdraw takes; called from several threads. The copy is
    // made of that very file, whatever its name leads to by now.
    Result<std::uint64_t> Keep(const std::string& resolvedPath, int descriptor,
                               const struct stat& original, std::string_view originalBytes,
                               std::uint64_t writtenHash);
    Result<std::uint64_t> Keep(const std::string& resolvedPath, int descriptor,
                               const struct stat& original, const OriginalContents& contents,
                               std::uint64_t writtenHash);

    // Takes an entry back when its file was not rewritten after all: its saved copy goes, and
    // a durable record tells undo to leave that file alone.
    Status Withdraw(std::uint64_t id);

    // The files the run rewrote; withdrawn entries do not count.
    std::int64_t FilesKept() const { return kept_.load(); }

private:
    Journal(std::string directory, int directoryDescriptor, int entriesDescriptor)
        : directory_(std::move(directory)),
          directoryDescriptor_(directoryDescriptor),
          entriesDescriptor_(entriesDescriptor) {}

    // Appends one line to the entries, synced; the caller holds appending_. `entries` is what
    // the line adds to the entries a reader counts: one for an entry, minus one for a withdrawal.
    Status Append(const std::string& line, int entries);
    // Records how many entries the run holds and their fingerprint, so that entries cut short
    // afterwards are recognised.
    void Finish();

    Status SaveCopy(int descriptor, const struct stat& original, const OriginalContents& contents,
                    const std::string& copyName);

    std::string directory_;
    int directoryDescriptor_ = -1;
    int entriesDescriptor_ = -1;
    std::mutex appending_;
    std::atomic<std::uint64_t> nextId_{1};
    std::atomic<std::int64_t> kept_{0};
    // What the entries file holds so far, for the record written when the run finishes.
    ContentHasher entriesHash_;
    std::int64_t entriesSize_ = 0;
    std::int64_t entriesCounted_ = 0;
};

// A run's journal as read back, checked whole before anything is applied.
struct JournalRun {
    std::string directory;
    JournalRunInfo info;  // for a damaged run as far as it could be read
    bool infoRead = false;
    std::vector<JournalEntry> entries;  // withdrawn entries left out
    bool undone = false;
    bool running = false;  // its replacement still runs; it is neither taken back nor removed
    std::optional<Error> refusal;  // why the journal is damaged or not to be trusted
};

// The runs under the root, the newest first; each read and checked. A run whose journal is
// damaged, or not the person's own alone, comes back with its refusal.
std::vector<JournalRun> ReadJournalRuns(const std::string& root);

// Holds a run against a replacement or undo started meanwhile, for as long as it lives. Empty
// when the run is held elsewhere or is gone.
class RunHold {
public:
    static std::optional<RunHold> Take(const std::string& runDirectory);
    int Descriptor() const { return descriptor_.get(); }

private:
    explicit RunHold(FileDescriptor descriptor) : descriptor_(std::move(descriptor)) {}
    FileDescriptor descriptor_;
};

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
