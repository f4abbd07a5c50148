#include "common/files/RunLock.h"

#include "common/SystemError.h"
#include "common/files/DirectoryReader.h"
#include "common/text/PathText.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <optional>
#include <string_view>
#include <thread>
#include <utility>

namespace trawlex {
namespace {

constexpr std::string_view kRecordPrefix = "trawlex-run.";
constexpr const char* kGuardName = "trawlex-runs.lock";
constexpr std::string_view kRecordHeading = "trawlex-run 1\n";
constexpr std::size_t kRecordLimit = 1 << 16;

// A run that another run has registered, as its record tells it.
struct OtherRun {
    RunClaim claim;
    long process = 0;
};

Error RegistryError(const std::string& directory, const QString& reason) {
    return Error{QStringLiteral("Das Verzeichnis \u201E%1\u201C, in dem Trawlex laufende "
                                "Ersetzungen vermerkt, kann nicht verwendet werden: %2 Es wurde "
                                "keine Datei ge\u00E4ndert.")
                     .arg(PathText(directory), reason)};
}

Error SystemRegistryError(const std::string& directory, int code) {
    return Error{RegistryError(directory, SystemErrorText(code) + QLatin1Char('.')).message, code};
}

// Opens the registry. Anyone who may write into it could hide or fake records, so it is taken
// only when nobody but its owner and root can remove another user's files (the sticky bit) and
// that owner is root or the person running; a directory the tests name is created for them.
Result<FileDescriptor> OpenRegistry(const std::string& directory, bool create) {
    if (create && mkdir(directory.c_str(), 0700) == 0) {
        FileDescriptor made(
            open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        // Set after creating it, so that the person's umask cannot take away the others' access.
        if (made.get() < 0 || fchmod(made.get(), 01777) != 0) {
            return SystemRegistryError(directory, errno);
        }
    }
    FileDescriptor opened(open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (opened.get() < 0) {
        if (errno == ENOTDIR || errno == ELOOP) {
            return RegistryError(directory, QStringLiteral("es ist kein Verzeichnis."));
        }
        return SystemRegistryError(directory, errno);
    }
    struct stat info {};
    if (fstat(opened.get(), &info) != 0) {
        return SystemRegistryError(directory, errno);
    }
    if ((info.st_mode & S_ISVTX) == 0 || (info.st_uid != 0 && info.st_uid != geteuid())) {
        return RegistryError(directory,
                             QStringLiteral("es geh\u00F6rt weder root noch Ihnen oder hat das "
                                            "Sticky-Bit nicht, sodass andere die Vermerke "
                                            "l\u00F6schen k\u00F6nnten."));
    }
    return opened;
}

// The lock every run takes while it looks through the records and adds its own, so that two
// runs starting at the same moment cannot both find the other missing. It is held only for
// that moment; a lock held longer belongs to a stuck or hostile process, and the run is refused
// rather than left waiting.
Result<FileDescriptor> LockRegistry(int directory, const std::string& shown) {
    FileDescriptor guard;
    for (int attempt = 0; attempt < 8 && guard.get() < 0; ++attempt) {
        // Opened without creating first: in a sticky directory the kernel may refuse O_CREAT on
        // a file another user made.
        guard = FileDescriptor(
            openat(directory, kGuardName, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        if (guard.get() < 0 && errno == ENOENT) {
            guard = FileDescriptor(openat(
                directory, kGuardName, O_RDONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
            if (guard.get() >= 0) {
                fchmod(guard.get(), 0644);
            } else if (errno != EEXIST) {
                return SystemRegistryError(shown, errno);
            }
        } else if (guard.get() < 0) {
            return SystemRegistryError(shown, errno);
        }
    }
    struct stat info {};
    if (guard.get() < 0 || fstat(guard.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return RegistryError(
            shown, QStringLiteral("\u201E%1\u201C darin ist keine gew\u00F6hnliche Datei.")
                       .arg(QString::fromLatin1(kGuardName)));
    }
    using namespace std::chrono_literals;
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (flock(guard.get(), LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK && errno != EINTR) {
            return SystemRegistryError(shown, errno);
        }
        if (std::chrono::steady_clock::now() > deadline) {
            return RegistryError(shown,
                                 QStringLiteral("\u201E%1\u201C darin wird seit 10 Sekunden von "
                                                "einem anderen Prozess gesperrt.")
                                     .arg(QString::fromLatin1(kGuardName)));
        }
        std::this_thread::sleep_for(5ms);
    }
    return guard;
}

std::optional<OtherRun> ParseRecord(std::string_view text) {
    if (!text.starts_with(kRecordHeading)) {
        return std::nullopt;
    }
    text.remove_prefix(kRecordHeading.size());
    std::string_view fields[3];
    for (std::string_view& field : fields) {
        const std::size_t end = text.find('\n');
        if (end == std::string_view::npos) {
            return std::nullopt;
        }
        field = text.substr(0, end);
        text.remove_prefix(end + 1);
    }
    OtherRun run;
    run.process = std::strtol(std::string(fields[0]).c_str(), nullptr, 10);
    run.claim.kind = fields[1] == "undo" ? RunKind::Undo : RunKind::Replacement;
    run.claim.tree = fields[2] == "tree";
    // The location comes last and runs to the end: a directory name may hold any byte but NUL.
    run.claim.location = std::string(text);
    if (run.process <= 0 || run.claim.location.empty()) {
        return std::nullopt;
    }
    return run;
}

std::string RecordText(const RunClaim& claim) {
    std::string text(kRecordHeading);
    text += std::to_string(getpid()) + '\n';
    text += claim.kind == RunKind::Undo ? "undo\n" : "replace\n";
    text += claim.tree ? "tree\n" : "flat\n";
    text += claim.location;
    return text;
}

// The live run behind one record, if it is one. A record whose lock can be taken was left by a
// run that ended without removing it; the person's own such records are cleared.
std::optional<OtherRun> LiveRun(int directory, const char* name) {
    const FileDescriptor record(
        openat(directory, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat info {};
    if (record.get() < 0 || fstat(record.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return std::nullopt;
    }
    if (flock(record.get(), LOCK_SH | LOCK_NB) == 0) {
        if (info.st_uid == geteuid()) {
            unlinkat(directory, name, 0);
        }
        return std::nullopt;
    }
    std::string text(kRecordLimit, '\0');
    const ssize_t length = pread(record.get(), text.data(), text.size(), 0);
    if (length <= 0) {
        return std::nullopt;
    }
    text.resize(static_cast<std::size_t>(length));
    return ParseRecord(text);
}

QString Refusal(const RunClaim& own, const OtherRun& other) {
    // One call fills every place, so that a location holding "%4" stays as it is.
    return QStringLiteral(
               "Im Suchort \u201E%1\u201C l\u00E4uft bereits %2 in \u201E%3\u201C (Prozess %4); "
               "%5 wurde nicht begonnen, damit keine \u00C4nderung verloren geht.")
        .arg(PathText(own.location),
             other.claim.kind == RunKind::Undo ? QStringLiteral("ein R\u00FCckg\u00E4ngig")
                                               : QStringLiteral("eine Ersetzung"),
             PathText(other.claim.location), QString::number(other.process),
             own.kind == RunKind::Undo ? QStringLiteral("dieses R\u00FCckg\u00E4ngig")
                                       : QStringLiteral("diese Ersetzung"));
}

bool Inside(const std::string& inner, const std::string& outer) {
    if (outer == "/") {
        return inner.size() > 1 && inner.front() == '/';
    }
    return inner.size() > outer.size() && inner.starts_with(outer) &&
           inner[outer.size()] == kSeparator;
}

}  // namespace

bool Overlaps(const RunClaim& first, const RunClaim& second) {
    return first.location == second.location ||
           (first.tree && Inside(second.location, first.location)) ||
           (second.tree && Inside(first.location, second.location));
}

std::string RunRegistry() {
    if (const char* chosen = std::getenv("TRAWLEX_RUN_REGISTRY"); chosen != nullptr && *chosen) {
        return chosen;
    }
    struct stat info {};
    return lstat("/run/lock", &info) == 0 && S_ISDIR(info.st_mode) ? "/run/lock" : "/tmp";
}

Result<RunLock> RunLock::Take(const RunClaim& claim) {
    const std::string registry = RunRegistry();
    const bool own = registry != "/run/lock" && registry != "/tmp";
    if (own) {
        QDir().mkpath(QFileInfo(QString::fromStdString(registry)).absolutePath());
    }
    auto directory = OpenRegistry(registry, own);
    if (!directory) {
        return directory.error();
    }
    auto guard = LockRegistry(directory->get(), registry);
    if (!guard) {
        return guard.error();
    }
    DirectoryReader listing = DirectoryReader::Copy(directory->get());
    if (!listing.IsOpen()) {
        return SystemRegistryError(registry, errno);
    }
    while (const std::optional<DirectoryEntry> entry = listing.Next()) {
        if (!entry->Name().starts_with(kRecordPrefix)) {
            continue;
        }
        if (const auto other = LiveRun(directory->get(), entry->name);
            other && Overlaps(claim, other->claim)) {
            return Error{Refusal(claim, *other)};
        }
    }
    std::string name;
    FileDescriptor record;
    while (record.get() < 0) {
        name = std::string(kRecordPrefix) + std::to_string(getpid()) + '.' +
               QString::number(QRandomGenerator::system()->generate64(), 36).toStdString();
        record = FileDescriptor(openat(directory->get(), name.c_str(),
                                       O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
        if (record.get() < 0 && errno != EEXIST) {
            return SystemRegistryError(registry, errno);
        }
    }
    // Locked before the registry is let go, so that nobody sees the record as a dead run's.
    const std::string text = RecordText(claim);
    if (flock(record.get(), LOCK_EX | LOCK_NB) != 0 || fchmod(record.get(), 0644) != 0 ||
        write(record.get(), text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
        const int code = errno;
        unlinkat(directory->get(), name.c_str(), 0);
        return SystemRegistryError(registry, code);
    }
    return RunLock(std::move(directory.value()), std::move(record), std::move(name));
}

RunLock::~RunLock() {
    if (record_.get() < 0) {
        return;
    }
    // Closed first, so that nobody takes the run for alive once it has ended; a record left by
    // a crash in between is cleared by the next run.
    record_ = FileDescriptor();
    unlinkat(directory_.get(), name_.c_str(), 0);
}

}  // namespace trawlex
