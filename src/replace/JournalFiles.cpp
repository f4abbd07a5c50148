#include "JournalFormat.h"

#include "common/SystemError.h"
#include "common/files/ContentHash.h"
#include "common/files/DirectoryReader.h"
#include "common/text/PathText.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace trawlex::journal {

Error CannotWrite(const std::string& directory, int code) {
    return Error{QStringLiteral("Das R\u00FCckg\u00E4ngig-Protokoll im Verzeichnis \u201E%1\u201C "
                                "kann nicht geschrieben werden: %2")
                     .arg(PathText(directory), SystemErrorText(code))};
}

Error Damaged(const std::string& directory, const QString& what) {
    return Error{QStringLiteral("Das R\u00FCckg\u00E4ngig-Protokoll \u201E%1\u201C ist "
                                "besch\u00E4digt (%2) und wird nicht angewandt.")
                     .arg(PathText(directory), what)};
}

// Values may hold any byte; blanks, line ends and "%" are written as "%XX" so that every field
// stays one word of one line.
std::string Escaped(std::string_view bytes) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(bytes.size());
    for (const char byte : bytes) {
        const auto code = static_cast<unsigned char>(byte);
        if (code <= 0x20 || code == 0x7F || code == '%') {
            out += '%';
            out += kDigits[code >> 4];
            out += kDigits[code & 0xF];
        } else {
            out += byte;
        }
    }
    return out;
}

bool Unescaped(std::string_view text, std::string& out) {
    out.clear();
    for (std::size_t index = 0; index < text.size(); ++index) {
        if (text[index] != '%') {
            out += text[index];
            continue;
        }
        if (index + 2 >= text.size()) {
            return false;
        }
        unsigned value = 0;
        for (std::size_t digit = index + 1; digit <= index + 2; ++digit) {
            const char character = text[digit];
            value <<= 4;
            if (character >= '0' && character <= '9') {
                value |= static_cast<unsigned>(character - '0');
            } else if (character >= 'A' && character <= 'F') {
                value |= static_cast<unsigned>(character - 'A' + 10);
            } else {
                return false;
            }
        }
        out += static_cast<char>(value);
        index += 2;
    }
    return true;
}

std::string Utf8(const QString& text) {
    return text.toUtf8().toStdString();
}

QString FromUtf8(const std::string& bytes) {
    return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

Error Untrusted(const std::string& directory, const std::string& path) {
    return Error{QStringLiteral("Das R\u00FCckg\u00E4ngig-Protokoll \u201E%1\u201C wird nicht "
                                "angewandt: \u201E%2\u201C geh\u00F6rt nicht Ihnen oder ist auch "
                                "f\u00FCr andere beschreibbar.")
                     .arg(PathText(directory), PathText(path))};
}

// Directories the journal makes get 0700 whatever the umask, so that no one else can read the
// saved originals or slip a run of their own in.
Status MakeDirectories(const std::string& path) {
    for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        const std::string part = path.substr(0, slash);
        if (mkdir(part.c_str(), 0700) == 0) {
            chmod(part.c_str(), 0700);
        } else if (errno != EEXIST) {
            return CannotWrite(path, errno);
        }
        if (slash == std::string::npos) {
            return Success();
        }
    }
}

// A journal file made by the run: only the person may read it, whatever the umask.
FileDescriptor CreateJournalFile(int directory, const char* name, int flags) {
    FileDescriptor file(openat(directory, name,
                               O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | flags, 0600));
    if (file.get() >= 0 && fchmod(file.get(), 0600) != 0) {
        return FileDescriptor();
    }
    return file;
}

// Writes a small journal file whole under a temporary name and then renames it, so that a kill
// leaves either no file or all of it.
Status WriteJournalFile(int directory, const std::string& name, std::string_view text) {
    const std::string part = name + std::string(kPartSuffix);
    unlinkat(directory, part.c_str(), 0);
    const FileDescriptor file = CreateJournalFile(directory, part.c_str(), 0);
    if (file.get() < 0) {
        return Error{{}, errno};
    }
    if (auto written = WriteAll(file.get(), text); !written) {
        return written;
    }
    if (fsync(file.get()) != 0 || renameat(directory, part.c_str(), directory, name.c_str()) != 0 ||
        fsync(directory) != 0) {
        return Error{{}, errno};
    }
    return Success();
}

// Journal directories and files must be the person's own and writable by no one else: anyone
// who could change them could have undo write whatever they like into the person's files.
bool Trusted(const struct stat& info) {
    return info.st_uid == getuid() && (info.st_mode & 022) == 0;
}

bool IsCopyName(std::string_view name) {
    return name.size() > 1 && name[0] == 'f' &&
           std::all_of(name.begin() + 1, name.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Only the files a journal itself writes; a run directory holding anything else is left alone.
bool IsJournalFileName(std::string_view name) {
    for (const std::string_view own : {kInfoName, kEntriesName, kUndoneName, kFinishedName}) {
        if (name == own || (name.size() == own.size() + kPartSuffix.size() &&
                            name.starts_with(own) && name.ends_with(kPartSuffix))) {
            return true;
        }
    }
    return IsCopyName(name);
}

FileState ReadJournalFile(int directory, std::string_view name, std::string& bytes) {
    bytes.clear();
    const FileDescriptor file(openat(directory, std::string(name).c_str(),
                                     O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (file.get() < 0) {
        return errno == ENOENT ? FileState::Missing : FileState::NoFile;
    }
    struct stat info {};
    if (fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return FileState::NoFile;
    }
    if (!Trusted(info)) {
        return FileState::Untrusted;
    }
    char piece[1 << 16];
    for (;;) {
        const ssize_t got = read(file.get(), piece, sizeof piece);
        if (got == 0) {
            return FileState::Read;
        }
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return FileState::NoFile;
        }
        bytes.append(piece, static_cast<std::size_t>(got));
    }
}

// Run directories are named by their start in UTC, to the nanosecond, so that names sort as
// the runs were made.
std::string RunName(const timespec& now) {
    std::tm parts{};
    gmtime_r(&now.tv_sec, &parts);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &parts);
    char rest[48];
    std::snprintf(rest, sizeof rest, "-%09ld-%ld", static_cast<long>(now.tv_nsec),
                  static_cast<long>(getpid()));
    return std::string(stamp) + rest;
}

// The start a run's name records, for a run whose info cannot be read.
std::time_t StartOfName(std::string_view name) {
    std::tm parts{};
    const std::string text(name.substr(0, 15));
    if (strptime(text.c_str(), "%Y%m%d-%H%M%S", &parts) == nullptr) {
        return 0;
    }
    return timegm(&parts);
}

bool IsRunName(std::string_view name) {
    return name.size() > 16 && name[0] >= '0' && name[0] <= '9' && name[8] == '-';
}

// The names in an opened directory, "." and ".." left out; nothing when it cannot be read.
std::optional<std::vector<std::string>> NamesIn(int directory) {
    DirectoryReader listing = DirectoryReader::Copy(directory);
    if (!listing.IsOpen()) {
        return std::nullopt;
    }
    std::vector<std::string> names;
    while (const std::optional<DirectoryEntry> entry = listing.Next()) {
        names.emplace_back(entry->Name());
    }
    return names;
}

std::vector<std::string> RunNames(int root) {
    std::vector<std::string> names = NamesIn(root).value_or(std::vector<std::string>());
    std::erase_if(names, [](const std::string& name) { return !IsRunName(name); });
    std::sort(names.begin(), names.end());
    return names;
}

FileDescriptor OpenRoot(const std::string& root) {
    return FileDescriptor(open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
}

FileDescriptor OpenRun(int root, const std::string& name) {
    return FileDescriptor(
        openat(root, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
}

// The names in a run directory, or nothing when one of them is not a file a journal writes.
std::optional<std::vector<std::string>> JournalFiles(int run) {
    auto names = NamesIn(run);
    if (!names) {
        return std::nullopt;
    }
    for (const std::string& name : *names) {
        struct stat info {};
        if (!IsJournalFileName(name) ||
            fstatat(run, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(info.st_mode)) {
            return std::nullopt;
        }
    }
    return names;
}

// Empties a run directory that is known to be a journal, through its descriptor, so that no
// link leads the removal anywhere else.
bool EmptyRun(int run) {
    const auto names = JournalFiles(run);
    if (!names) {
        return false;
    }
    for (const std::string& name : *names) {
        unlinkat(run, name.c_str(), 0);
    }
    return true;
}

// Removes an old run, but only a real directory of the person's that holds a journal and
// nothing else, and never one whose replacement still runs.
void RemoveOldRun(int root, const std::string& name) {
    const FileDescriptor run = OpenRun(root, name);
    struct stat info {};
    if (run.get() < 0 || fstat(run.get(), &info) != 0 || info.st_uid != getuid() ||
        flock(run.get(), LOCK_EX | LOCK_NB) != 0) {
        return;
    }
    std::string text;
    JournalRunInfo parsed;
    if (ReadJournalFile(run.get(), kInfoName, text) != FileState::Read ||
        !ParseInfo(text, parsed) || !EmptyRun(run.get())) {
        return;
    }
    unlinkat(root, name.c_str(), AT_REMOVEDIR);
}

}  // namespace trawlex::journal
