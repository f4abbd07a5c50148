#include "common/files/ReplacingFile.h"

#include "common/SystemError.h"
#include "common/files/DirectoryReader.h"
#include "common/files/TemporaryName.h"
#include "common/files/WholeFile.h"
#include "common/text/PathText.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <memory>
#include <mutex>
#include <utility>

namespace trawlex {
namespace {

// Each directory on the way to a rewritten file is opened so: never through a link.
constexpr int kWayFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

Error WriteError(const std::string& path, int code) {
    return Error{QStringLiteral("Die Datei \u201E%1\u201C kann nicht geschrieben werden: %2")
                     .arg(PathText(path), SystemErrorText(code)),
                 code};
}

mode_t CurrentUmask() {
    const mode_t mask = umask(0);
    umask(mask);
    return mask;
}

// One record: the directory and the temporary file by identity, then the directory's path and
// the temporary name, whose lengths are given, since both may hold any byte.
struct TemporaryRecord {
    unsigned long long device = 0;
    unsigned long long directory = 0;
    unsigned long long file = 0;
    std::string directoryPath;
    std::string name;
};

std::string RecordText(const TemporaryRecord& record) {
    char numbers[128];
    std::snprintf(numbers, sizeof numbers, "%llu %llu %llu %zu %zu ", record.device,
                  record.directory, record.file, record.directoryPath.size(), record.name.size());
    return numbers + record.directoryPath + record.name + "\n";
}

bool ParseRecord(std::string_view text, std::size_t& at, TemporaryRecord& record) {
    std::size_t lengths[2] = {};
    unsigned long long* numbers[3] = {&record.device, &record.directory, &record.file};
    int consumed = 0;
    const std::string head(text.substr(at, 128));
    if (std::sscanf(head.c_str(), "%llu %llu %llu %zu %zu %n", numbers[0], numbers[1], numbers[2],
                    &lengths[0], &lengths[1], &consumed) != 5 ||
        consumed == 0) {
        return false;
    }
    const std::size_t start = at + static_cast<std::size_t>(consumed);
    if (lengths[0] > text.size() || lengths[1] > text.size() ||
        start + lengths[0] + lengths[1] >= text.size() ||
        text[start + lengths[0] + lengths[1]] != '\n') {
        return false;
    }
    record.directoryPath = std::string(text.substr(start, lengths[0]));
    record.name = std::string(text.substr(start + lengths[0], lengths[1]));
    at = start + lengths[0] + lengths[1] + 1;
    return true;
}

// The register of this process: a file in the register directory, locked while the process
// lives, so that another run can tell whether its records are still in use.
class TemporaryRegister {
public:
    ~TemporaryRegister() { Close(); }

    void Use(const std::string& directory) {
        const std::lock_guard lock(mutex_);
        if (directory != directory_) {
            Close();
            directory_ = directory;
        } else if (file_.get() >= 0 && named_ == 0) {
            // Every temporary recorded so far was renamed or removed again.
            [[maybe_unused]] const int ignored = ftruncate(file_.get(), 0);
        }
    }

    // Records a temporary name before it is given, and counts it as in use until Forget.
    void Record(const TemporaryRecord& record) {
        const std::lock_guard lock(mutex_);
        ++named_;
        if (directory_.empty() || !Open()) {
            return;
        }
        // Not synced: a kill does not lose what the kernel has taken; only a power loss would,
        // and that also takes the temporary file's name with it.
        const std::string text = RecordText(record);
        [[maybe_unused]] const ssize_t ignored = write(file_.get(), text.data(), text.size());
    }

    void Forget() {
        const std::lock_guard lock(mutex_);
        --named_;
    }

    std::string OwnName() {
        const std::lock_guard lock(mutex_);
        return name_;
    }

private:
    bool Open() {
        if (file_.get() >= 0) {
            return true;
        }
        if (mkdir(directory_.c_str(), 0700) != 0 && errno != EEXIST) {
            return false;
        }
        name_ = std::to_string(getpid()) + "-" + RandomSuffix();
        file_ = FileDescriptor(open((directory_ + "/" + name_).c_str(),
                                    O_WRONLY | O_CREAT | O_EXCL | O_APPEND | O_NOFOLLOW | O_CLOEXEC,
                                    0600));
        if (file_.get() < 0 || flock(file_.get(), LOCK_EX | LOCK_NB) != 0) {
            Close();
            return false;
        }
        return true;
    }

    void Close() {
        if (file_.get() >= 0) {
            unlink((directory_ + "/" + name_).c_str());
            file_ = FileDescriptor();
        }
        name_.clear();
    }

    std::mutex mutex_;
    std::string directory_;
    std::string name_;
    FileDescriptor file_;
    int named_ = 0;
};

TemporaryRegister& Register() {
    static TemporaryRegister the;
    return the;
}

// Removes a recorded temporary file only when the directory and the file are still the very
// ones recorded: a name alone proves nothing, a person's file may look the same.
void RemoveIfAbandoned(const TemporaryRecord& record) {
    const FileDescriptor directory(
        open(record.directoryPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    struct stat directoryStatus {};
    struct stat fileStatus {};
    if (!IsTemporaryName(record.name) || directory.get() < 0 ||
        fstat(directory.get(), &directoryStatus) != 0 || directoryStatus.st_dev != record.device ||
        directoryStatus.st_ino != record.directory ||
        fstatat(directory.get(), record.name.c_str(), &fileStatus, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISREG(fileStatus.st_mode) || fileStatus.st_dev != record.device ||
        fileStatus.st_ino != record.file) {
        return;
    }
    unlinkat(directory.get(), record.name.c_str(), 0);
}

void CleanRegisterFile(int directory, const char* name) {
    const FileDescriptor file(
        openat(directory, name, O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat status {};
    constexpr off_t kLargest = off_t{64} << 20;
    if (file.get() < 0 || fstat(file.get(), &status) != 0 || !S_ISREG(status.st_mode) ||
        status.st_uid != geteuid() || status.st_size > kLargest ||
        flock(file.get(), LOCK_EX | LOCK_NB) != 0) {
        return;  // a live process's register, or nothing of ours
    }
    std::string text(static_cast<std::size_t>(status.st_size), '\0');
    const ssize_t got = pread(file.get(), text.data(), text.size(), 0);
    text.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    std::size_t at = 0;
    TemporaryRecord record;
    while (at < text.size() && ParseRecord(text, at, record)) {
        RemoveIfAbandoned(record);
    }
    unlinkat(directory, name, 0);
}

}  // namespace

Result<FileDescriptor> OpenDirectoryBeneath(int top, std::string_view relative,
                                            const std::string& shown) {
    FileDescriptor current(fcntl(top, F_DUPFD_CLOEXEC, 0));
    if (current.get() < 0) {
        return ReadError(shown, errno);
    }
    while (!relative.empty()) {
        const std::size_t slash = relative.find('/');
        const std::string name(relative.substr(0, slash));
        relative =
            slash == std::string_view::npos ? std::string_view() : relative.substr(slash + 1);
        if (name.empty() || name == ".") {
            continue;
        }
        const int next = name == ".." ? -1 : openat(current.get(), name.c_str(), kWayFlags);
        if (next < 0) {
            const int code = name == ".." ? ELOOP : errno;
            if (code == ELOOP || code == ENOTDIR) {
                return Error{QStringLiteral("Der Weg zur Datei \u201E%1\u201C f\u00FChrt nicht "
                                            "mehr durch dieselben Verzeichnisse: eines wurde "
                                            "durch einen Verweis ersetzt. Die Datei bleibt "
                                            "unver\u00E4ndert.")
                                 .arg(PathText(shown)),
                             code};
            }
            return ReadError(shown, code);
        }
        current = FileDescriptor(next);
    }
    return current;
}

Result<OpenedFile> OpenRegularFileAt(int directory, const std::string& name,
                                     const std::string& shown) {
    const int descriptor =
        openat(directory, name.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (descriptor < 0 && errno == ELOOP) {
        return Error{QStringLiteral("Die Datei \u201E%1\u201C wurde w\u00E4hrend der Ersetzung "
                                    "durch einen Verweis ersetzt und bleibt unver\u00E4ndert.")
                         .arg(PathText(shown)),
                     ELOOP};
    }
    return TakeRegularFile(descriptor, shown);
}

bool SameFileState(const struct stat& before, const struct stat& now) {
    const auto same = [](const timespec& one, const timespec& other) {
        return one.tv_sec == other.tv_sec && one.tv_nsec == other.tv_nsec;
    };
    return before.st_dev == now.st_dev && before.st_ino == now.st_ino &&
           before.st_size == now.st_size && same(before.st_mtim, now.st_mtim) &&
           same(before.st_ctim, now.st_ctim);
}

Error ChangedBeside(const std::string& shown) {
    return Error{QStringLiteral("Die Datei \u201E%1\u201C wurde w\u00E4hrend der Ersetzung von "
                                "einem anderen Programm ge\u00E4ndert und bleibt "
                                "unver\u00E4ndert.")
                     .arg(PathText(shown)),
                 ESTALE};
}

void SetTemporaryRegister(const std::string& directory) {
    Register().Use(directory);
}

void CleanAbandonedTemporaries(const std::string& directory) {
    DirectoryReader listing =
        DirectoryReader::Adopt(open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!listing.IsOpen()) {
        return;
    }
    const std::string own = Register().OwnName();
    while (const std::optional<DirectoryEntry> entry = listing.Next()) {
        if (entry->name[0] != '.' && entry->name != own) {
            CleanRegisterFile(listing.Descriptor(), entry->name);
        }
    }
}

Result<ReplacingFile> ReplacingFile::Begin(const std::string& path,
                                           const std::optional<RestoredAttributes>& restored) {
    // A symbolic link stays a link: its target gets the new contents.
    std::string resolved = RealPath(path);
    if (resolved.empty()) {
        resolved = path;
    }
    const std::size_t slash = resolved.rfind(kSeparator);
    const std::string directoryPath =
        slash == std::string::npos ? std::string(".") : resolved.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? resolved : resolved.substr(slash + 1);
    const FileDescriptor directory(OpenPath(directoryPath, O_RDONLY | O_DIRECTORY));
    if (directory.get() < 0) {
        return WriteError(path, errno);
    }
    struct stat existing {};
    const bool exists = fstatat(directory.get(), name.c_str(), &existing, 0) == 0;
    return BeginAt(directory.get(), directoryPath, name, path, exists ? &existing : nullptr,
                   restored);
}

Result<ReplacingFile> ReplacingFile::BeginAt(int directory, const std::string& directoryPath,
                                             const std::string& name, const std::string& shown,
                                             const struct stat* existing,
                                             const std::optional<RestoredAttributes>& restored) {
    // Renaming would replace a write-protected file; its protection is respected instead, also
    // for a privileged person, whom access() never refuses.
    if (existing != nullptr) {
        const bool refused = faccessat(directory, name.c_str(), W_OK, 0) != 0;
        const int code = refused ? errno : EACCES;
        if (refused || (existing->st_mode & 0222) == 0) {
            return WriteError(shown, code);
        }
    }
    struct stat parent {};
    if (fstat(directory, &parent) == 0 && (parent.st_mode & 0222) == 0) {
        return WriteError(shown, EACCES);
    }
    ReplacingFile replacing;
    replacing.directory_ = FileDescriptor(fcntl(directory, F_DUPFD_CLOEXEC, 0));
    replacing.directoryPath_ = directoryPath;
    replacing.name_ = name;
    replacing.shown_ = shown;
    replacing.restored_ = restored;
    // A file without a name until it is complete: a kill leaves nothing behind. It can be given
    // a name only through /proc, or by a process allowed to link any descriptor.
    static const bool nameable = access("/proc/self/fd", F_OK) == 0 || geteuid() == 0;
    errno = EOPNOTSUPP;
    replacing.file_ = FileDescriptor(
        nameable ? openat(replacing.directory_.get(), ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0600)
                 : -1);
    if (replacing.file_.get() < 0) {
        if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
            return WriteError(shown, errno);
        }
        // File systems without nameless files get a named one, recorded as soon as it exists.
        if (auto named = replacing.NameTemporary(); !named) {
            return named.error();
        }
    }
    const mode_t mode = restored   ? (restored->mode & 07777)
                        : existing ? (existing->st_mode & 07777)
                                   : (0666 & ~CurrentUmask());
    if (existing != nullptr &&
        fchown(replacing.file_.get(), existing->st_uid, existing->st_gid) != 0) {
        // Only a privileged process may give a file away; the group stays where it can.
        [[maybe_unused]] const int ignored =
            fchown(replacing.file_.get(), static_cast<uid_t>(-1), existing->st_gid);
    }
    if (fchmod(replacing.file_.get(), mode) != 0) {
        return WriteError(shown, errno);
    }
    return replacing;
}

Status ReplacingFile::NameTemporary() {
    struct stat directoryStatus {};
    fstat(directory_.get(), &directoryStatus);
    const bool nameless = file_.get() >= 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string temporary = TemporaryNameFor(name_);
        if (!nameless) {
            file_ =
                FileDescriptor(openat(directory_.get(), temporary.c_str(),
                                      O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
            if (file_.get() < 0) {
                if (errno == EEXIST) {
                    continue;
                }
                return WriteError(shown_, errno);
            }
        }
        struct stat fileStatus {};
        fstat(file_.get(), &fileStatus);
        Register().Record({directoryStatus.st_dev, directoryStatus.st_ino, fileStatus.st_ino,
                           directoryPath_, temporary});
        if (nameless) {
            const std::string self = "/proc/self/fd/" + std::to_string(file_.get());
            if (linkat(AT_FDCWD, self.c_str(), directory_.get(), temporary.c_str(),
                       AT_SYMLINK_FOLLOW) != 0 &&
                (errno == EEXIST || linkat(file_.get(), "", directory_.get(), temporary.c_str(),
                                           AT_EMPTY_PATH) != 0)) {
                const int code = errno;
                Register().Forget();
                if (code == EEXIST) {
                    continue;
                }
                return WriteError(shown_, code);
            }
        }
        temporary_ = temporary;
        return Success();
    }
    return WriteError(shown_, EEXIST);
}

void ReplacingFile::RemoveTemporary() {
    if (temporary_.empty()) {
        return;
    }
    unlinkat(directory_.get(), temporary_.c_str(), 0);
    temporary_.clear();
    Register().Forget();
}

ReplacingFile::ReplacingFile(ReplacingFile&& other) noexcept
    : directory_(std::move(other.directory_)),
      directoryPath_(std::move(other.directoryPath_)),
      name_(std::move(other.name_)),
      shown_(std::move(other.shown_)),
      temporary_(std::exchange(other.temporary_, std::string())),
      file_(std::move(other.file_)),
      restored_(other.restored_),
      size_(other.size_),
      committed_(std::exchange(other.committed_, true)) {}

ReplacingFile::~ReplacingFile() {
    if (!committed_) {
        RemoveTemporary();
    }
}

Status ReplacingFile::Append(std::string_view bytes) {
    if (auto written = WriteAll(file_.get(), bytes); !written) {
        return WriteError(shown_, written.error().code);
    }
    size_ += bytes.size();
    return Success();
}

Status ReplacingFile::Commit(const struct stat* expected) {
    int failure = 0;
    if (restored_) {
        const timespec dates[2] = {restored_->accessed, restored_->modified};
        if (futimens(file_.get(), dates) != 0) {
            failure = errno;
        }
    }
    if (failure == 0 && fsync(file_.get()) != 0) {
        failure = errno;
    }
    if (failure != 0) {
        return WriteError(shown_, failure);
    }
    if (temporary_.empty()) {
        if (auto named = NameTemporary(); !named) {
            return named;
        }
    }
    if (expected != nullptr) {
        // Another program's change since the file was read is kept, not overwritten.
        struct stat now {};
        if (fstatat(directory_.get(), name_.c_str(), &now, AT_SYMLINK_NOFOLLOW) != 0 ||
            !SameFileState(*expected, now)) {
            RemoveTemporary();
            return ChangedBeside(shown_);
        }
    }
    if (renameat(directory_.get(), temporary_.c_str(), directory_.get(), name_.c_str()) != 0) {
        const int code = errno;
        RemoveTemporary();
        return WriteError(shown_, code);
    }
    temporary_.clear();
    Register().Forget();
    committed_ = true;
    return Success();
}

Status WriteFileReplacing(const std::string& path, std::string_view bytes,
                          const std::optional<RestoredAttributes>& restored) {
    auto file = ReplacingFile::Begin(path, restored);
    if (!file) {
        return file.error();
    }
    if (auto written = file->Append(bytes); !written) {
        return written;
    }
    return file->Commit();
}

}  // namespace trawlex
