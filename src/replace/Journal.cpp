#include "Journal.h"

#include "JournalFormat.h"

#include "common/SystemError.h"
#include "common/files/ContentHash.h"
#include "common/files/DirectoryReader.h"
#include "common/files/WholeFile.h"
#include "common/text/PathText.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <set>

namespace trawlex {

using namespace journal;

Result<std::string> JournalRoot() {
    const char* state = std::getenv("XDG_STATE_HOME");
    if (state != nullptr && state[0] == '/') {
        return std::string(state) + "/trawlex";
    }
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/') {
        return std::string(home) + "/.local/state/trawlex";
    }
    // Without a home the journal would land wherever "/.local" happens to be.
    return Error{QStringLiteral("Das R\u00FCckg\u00E4ngig-Protokoll hat keinen Ort: HOME ist "
                                "%1, und XDG_STATE_HOME nennt kein absolutes Verzeichnis.")
                     .arg(home == nullptr   ? QStringLiteral("nicht gesetzt")
                          : home[0] == '\0' ? QStringLiteral("leer")
                                            : QStringLiteral("kein absoluter Pfad (\u201E%1\u201C)")
                                                  .arg(QString::fromLocal8Bit(home)))};
}

std::string CopyName(std::uint64_t id) {
    return "f" + std::to_string(id);
}

Result<std::unique_ptr<Journal>> Journal::Begin(const std::string& root, JournalRunInfo info,
                                                int keptRuns) {
    if (auto made = MakeDirectories(root); !made) {
        return made.error();
    }
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    info.started = now.tv_sec;
    const std::string name = RunName(now);
    const std::string directory = root + "/" + name;
    const FileDescriptor rootDirectory = OpenRoot(root);
    if (rootDirectory.get() < 0 || mkdirat(rootDirectory.get(), name.c_str(), 0700) != 0) {
        return CannotWrite(root, errno);
    }
    FileDescriptor run = OpenRun(rootDirectory.get(), name);
    // The run is held from before its info exists until the Journal goes, so that no pruning
    // or undo started meanwhile takes it for finished.
    if (run.get() < 0 || fchmod(run.get(), 0700) != 0 || flock(run.get(), LOCK_EX) != 0) {
        const int code = errno;
        unlinkat(rootDirectory.get(), name.c_str(), AT_REMOVEDIR);
        return CannotWrite(root, code);
    }
    FileDescriptor entries;
    Status written = WriteJournalFile(run.get(), std::string(kInfoName), InfoText(info));
    if (written) {
        entries = CreateJournalFile(run.get(), std::string(kEntriesName).c_str(), O_APPEND);
    }
    if (!written || entries.get() < 0 || fsync(run.get()) != 0 || fsync(rootDirectory.get()) != 0) {
        const int code = !written ? written.error().code : errno;
        EmptyRun(run.get());
        unlinkat(rootDirectory.get(), name.c_str(), AT_REMOVEDIR);
        return CannotWrite(root, code != 0 ? code : EIO);
    }
    const std::vector<std::string> names = RunNames(rootDirectory.get());
    const std::size_t kept = static_cast<std::size_t>(std::max(1, keptRuns));
    for (std::size_t index = 0; index + kept < names.size(); ++index) {
        if (names[index] != name) {
            RemoveOldRun(rootDirectory.get(), names[index]);
        }
    }
    return std::unique_ptr<Journal>(new Journal(directory, run.release(), entries.release()));
}

Journal::~Journal() {
    // A run that rewrote nothing has nothing to take back and would only hide the run before it.
    if (kept_.load() == 0) {
        EmptyRun(directoryDescriptor_);
        rmdir(directory_.c_str());
    } else {
        Finish();
    }
    close(entriesDescriptor_);
    // Closing the run's descriptor lets go of the hold on it.
    close(directoryDescriptor_);
}

void Journal::Finish() {
    // Without this record the run reads as one that was killed, which undo still takes back
    // as far as its entries go; nothing better can be done when it cannot be written.
    [[maybe_unused]] const Status written =
        WriteJournalFile(directoryDescriptor_, std::string(kFinishedName),
                         FinishedText(entriesCounted_, entriesSize_, entriesHash_.Finish()));
}

Status Journal::Append(const std::string& line, int entries) {
    // O_APPEND writes one line as one piece; a short write leaves a torn last line, which a
    // reader takes for what it is: an entry whose file was never touched.
    const ssize_t written = write(entriesDescriptor_, line.data(), line.size());
    if (written > 0) {
        entriesHash_.Update(std::string_view(line).substr(0, static_cast<std::size_t>(written)));
        entriesSize_ += written;
    }
    // A whole line is read back even when its sync failed, so it is counted as the reader will.
    if (written == static_cast<ssize_t>(line.size())) {
        entriesCounted_ += entries;
    }
    if (written != static_cast<ssize_t>(line.size()) || fdatasync(entriesDescriptor_) != 0 ||
        fsync(directoryDescriptor_) != 0) {
        return CannotWrite(directory_, written < 0 ? errno : EIO);
    }
    return Success();
}

Status Journal::Withdraw(std::uint64_t id) {
    // The record comes first: a kill between the two leaves a copy no entry needs, where the
    // other order would leave an entry without its copy, and the whole run refused as damaged.
    {
        const std::lock_guard lock(appending_);
        if (auto appended = Append(WithdrawnLine(id), -1); !appended) {
            return appended;
        }
        kept_.fetch_sub(1);
    }
    if (unlinkat(directoryDescriptor_, CopyName(id).c_str(), 0) != 0 && errno != ENOENT) {
        return CannotWrite(directory_, errno);
    }
    return Success();
}

namespace {

// Copies a file's bytes from one descriptor to another, in the kernel where it can.
int CopyContents(int source, int copy, std::int64_t size) {
    off_t at = 0;
    while (at < size) {
        const ssize_t moved =
            copy_file_range(source, &at, copy, nullptr, static_cast<std::size_t>(size - at), 0);
        if (moved > 0) {
            continue;
        }
        if (moved == 0) {
            return EIO;  // the file shrank since it was read
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno != EXDEV && errno != ENOSYS && errno != EINVAL && errno != EOPNOTSUPP) {
            return errno;
        }
        std::string piece(std::size_t{1} << 20, '\0');
        while (at < size) {
            const ssize_t got = pread(source, piece.data(), piece.size(), at);
            if (got <= 0) {
                return got < 0 ? errno : EIO;
            }
            if (auto written = WriteAll(
                    copy, std::string_view(piece).substr(0, static_cast<std::size_t>(got)));
                !written) {
                return written.error().code;
            }
            at += got;
        }
    }
    return 0;
}

}  // namespace

Status Journal::SaveCopy(int descriptor, const struct stat& original,
                         const OriginalContents& contents, const std::string& copyName) {
    // The cheapest copy is none: a second name keeps the old file alive after the rename. Only
    // for a file with no other names, since those would still change it. The name is given to
    // the file that was read, through its descriptor, never to what its path leads to now.
    const std::string self = "/proc/self/fd/" + std::to_string(descriptor);
    if (original.st_nlink == 1 && linkat(AT_FDCWD, self.c_str(), directoryDescriptor_,
                                         copyName.c_str(), AT_SYMLINK_FOLLOW) == 0) {
        return Success();
    }
    const FileDescriptor copy(openat(directoryDescriptor_, copyName.c_str(),
                                     O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (copy.get() < 0) {
        return CannotWrite(directory_, errno);
    }
    struct stat now {};
    // Only the very file that was read, at the size it was read, may stand in for the bytes.
    const bool same =
        fstat(descriptor, &now) == 0 && now.st_size == static_cast<off_t>(contents.size);
    int failure = 0;
    if (!same || ioctl(copy.get(), FICLONE, descriptor) != 0) {
        if (contents.bytes) {
            if (auto written = WriteAll(copy.get(), *contents.bytes); !written) {
                failure = written.error().code;
            }
        } else {
            failure = same ? CopyContents(descriptor, copy.get(), contents.size) : ESTALE;
        }
    }
    if (failure == 0 && fsync(copy.get()) != 0) {
        failure = errno;
    }
    if (failure != 0) {
        unlinkat(directoryDescriptor_, copyName.c_str(), 0);
        return CannotWrite(directory_, failure);
    }
    return Success();
}

Result<std::uint64_t> Journal::Keep(const std::string& resolvedPath, int descriptor,
                                    const struct stat& original, std::string_view originalBytes,
                                    std::uint64_t writtenHash) {
    return Keep(resolvedPath, descriptor, original,
                {static_cast<std::int64_t>(originalBytes.size()), ContentHash(originalBytes),
                 originalBytes},
                writtenHash);
}

Result<std::uint64_t> Journal::Keep(const std::string& resolvedPath, int descriptor,
                                    const struct stat& original, const OriginalContents& contents,
                                    std::uint64_t writtenHash) {
    JournalEntry entry;
    entry.id = nextId_.fetch_add(1);
    entry.path = resolvedPath;
    entry.mode = original.st_mode & 07777;
    entry.owner = original.st_uid;
    entry.group = original.st_gid;
    entry.accessed = original.st_atim;
    entry.modified = original.st_mtim;
    entry.size = contents.size;
    entry.originalHash = contents.hash;
    entry.writtenHash = writtenHash;
    if (auto saved = SaveCopy(descriptor, original, contents, CopyName(entry.id)); !saved) {
        return saved.error();
    }
    const std::string line = EntryLine(entry);
    const std::lock_guard lock(appending_);
    if (auto appended = Append(line, 1); !appended) {
        return appended.error();
    }
    kept_.fetch_add(1);
    return entry.id;
}

std::vector<JournalRun> ReadJournalRuns(const std::string& root) {
    std::vector<JournalRun> runs;
    const FileDescriptor rootDirectory = OpenRoot(root);
    if (rootDirectory.get() < 0) {
        return runs;
    }
    std::vector<std::string> names = RunNames(rootDirectory.get());
    std::reverse(names.begin(), names.end());
    for (const std::string& name : names) {
        runs.push_back(ReadRun(rootDirectory.get(), root, name));
    }
    return runs;
}

std::optional<RunHold> RunHold::Take(const std::string& runDirectory) {
    FileDescriptor run(open(runDirectory.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (run.get() < 0 || flock(run.get(), LOCK_EX | LOCK_NB) != 0) {
        return std::nullopt;
    }
    return RunHold(std::move(run));
}

Status MarkUndone(const std::string& runDirectory) {
    const FileDescriptor run(
        open(runDirectory.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (run.get() < 0) {
        return CannotWrite(runDirectory, errno);
    }
    const std::string name(kUndoneName);
    FileDescriptor marker(
        openat(run.get(), name.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat info {};
    if (marker.get() >= 0 && (fstat(marker.get(), &info) != 0 || !S_ISREG(info.st_mode))) {
        return CannotWrite(runDirectory, EEXIST);
    }
    if (marker.get() < 0) {
        marker = CreateJournalFile(run.get(), name.c_str(), 0);
    }
    if (marker.get() < 0) {
        return CannotWrite(runDirectory, errno);
    }
    if (fsync(marker.get()) != 0 || fsync(run.get()) != 0) {
        return CannotWrite(runDirectory, errno);
    }
    return Success();
}

nlink_t JournalNames::Count(const struct stat& file) const {
    std::call_once(read_, [this] {
        const FileDescriptor root = OpenRoot(root_);
        for (const std::string& run :
             root.get() < 0 ? std::vector<std::string>() : RunNames(root.get())) {
            DirectoryReader listing = DirectoryReader::Adopt(
                openat(root.get(), run.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            while (const std::optional<DirectoryEntry> entry = listing.Next()) {
                struct stat info {};
                if (entry->name[0] == 'f' &&
                    fstatat(listing.Descriptor(), entry->name, &info, AT_SYMLINK_NOFOLLOW) == 0 &&
                    info.st_nlink > 1) {
                    ++names_[{info.st_dev, info.st_ino}];
                }
            }
        }
    });
    const auto found = names_.find({file.st_dev, file.st_ino});
    return found == names_.end() ? 0 : found->second;
}

}  // namespace trawlex
