#include "Journal.h"

#include "common/ContentHash.h"
#include "common/PathText.h"
#include "common/Standard.h"
#include "common/SystemError.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>

namespace trawlex {
namespace {

constexpr std::string_view kInfoName = "info";
constexpr std::string_view kEntriesName = "entries";
constexpr std::string_view kUndoneName = "undone";

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

Status MakeDirectories(const std::string& path) {
    for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        const std::string part = path.substr(0, slash);
        if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
            return CannotWrite(path, errno);
        }
        if (slash == std::string::npos) {
            return Success();
        }
    }
}

bool SyncDirectory(const std::string& path) {
    const int descriptor = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor < 0) {
        return false;
    }
    const bool synced = fsync(descriptor) == 0;
    close(descriptor);
    return synced;
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

bool IsRunName(std::string_view name) {
    return name.size() > 16 && name[0] >= '0' && name[0] <= '9' && name[8] == '-';
}

std::vector<std::string> RunNames(const std::string& root) {
    std::vector<std::string> names;
    DIR* handle = opendir(root.c_str());
    if (handle == nullptr) {
        return names;
    }
    while (const dirent* entry = readdir(handle)) {
        if (IsRunName(entry->d_name)) {
            names.emplace_back(entry->d_name);
        }
    }
    closedir(handle);
    std::sort(names.begin(), names.end());
    return names;
}

void RemoveRun(const std::string& directory) {
    if (DIR* handle = opendir(directory.c_str())) {
        while (const dirent* entry = readdir(handle)) {
            const std::string_view name = entry->d_name;
            if (name != "." && name != "..") {
                unlink((directory + "/" + std::string(name)).c_str());
            }
        }
        closedir(handle);
    }
    rmdir(directory.c_str());
}

std::string InfoText(const JournalRunInfo& info) {
    std::string text = "started=" + std::to_string(info.started) + "\n";
    text += "kind=" + Escaped(Utf8(info.kind)) + "\n";
    text += "location=" + Escaped(Utf8(info.location)) + "\n";
    text += "term=" + Escaped(Utf8(info.term)) + "\n";
    text += "replacement=" + Escaped(Utf8(info.replacement)) + "\n";
    text += "check=" + HashText(ContentHash(text)) + "\n";
    return text;
}

std::string EntryLine(const JournalEntry& entry) {
    std::string line = std::to_string(entry.id);
    for (const long long number :
         {static_cast<long long>(entry.mode), static_cast<long long>(entry.owner),
          static_cast<long long>(entry.group), static_cast<long long>(entry.accessed.tv_sec),
          static_cast<long long>(entry.accessed.tv_nsec),
          static_cast<long long>(entry.modified.tv_sec),
          static_cast<long long>(entry.modified.tv_nsec), static_cast<long long>(entry.size)}) {
        line += ' ';
        line += std::to_string(number);
    }
    line += ' ' + HashText(entry.originalHash) + ' ' + HashText(entry.writtenHash) + ' ' +
            Escaped(entry.path);
    line += ' ' + HashText(ContentHash(line)) + '\n';
    return line;
}

std::vector<std::string_view> Words(std::string_view line) {
    std::vector<std::string_view> words;
    std::size_t start = 0;
    while (start <= line.size()) {
        const std::size_t blank = line.find(' ', start);
        const std::size_t end = blank == std::string_view::npos ? line.size() : blank;
        words.push_back(line.substr(start, end - start));
        start = end + 1;
    }
    return words;
}

bool ParseNumber(std::string_view text, long long& value) {
    if (text.empty() || text.size() > 19) {
        return false;
    }
    long long parsed = 0;
    bool negative = false;
    std::size_t index = 0;
    if (text[0] == '-') {
        negative = true;
        index = 1;
    }
    if (index == text.size()) {
        return false;
    }
    for (; index < text.size(); ++index) {
        if (text[index] < '0' || text[index] > '9') {
            return false;
        }
        parsed = parsed * 10 + (text[index] - '0');
    }
    value = negative ? -parsed : parsed;
    return true;
}

bool ParseEntry(std::string_view line, JournalEntry& entry) {
    const std::size_t lastBlank = line.rfind(' ');
    if (lastBlank == std::string_view::npos) {
        return false;
    }
    std::uint64_t check = 0;
    if (!ParseHashText(line.substr(lastBlank + 1), check) ||
        check != ContentHash(line.substr(0, lastBlank))) {
        return false;
    }
    const std::vector<std::string_view> words = Words(line.substr(0, lastBlank));
    if (words.size() != 12) {
        return false;
    }
    long long numbers[9] = {};
    for (std::size_t index = 0; index < 9; ++index) {
        if (!ParseNumber(words[index], numbers[index])) {
            return false;
        }
    }
    entry.id = static_cast<std::uint64_t>(numbers[0]);
    entry.mode = static_cast<mode_t>(numbers[1]);
    entry.owner = static_cast<uid_t>(numbers[2]);
    entry.group = static_cast<gid_t>(numbers[3]);
    entry.accessed = {static_cast<time_t>(numbers[4]), static_cast<long>(numbers[5])};
    entry.modified = {static_cast<time_t>(numbers[6]), static_cast<long>(numbers[7])};
    entry.size = numbers[8];
    return ParseHashText(words[9], entry.originalHash) &&
           ParseHashText(words[10], entry.writtenHash) && Unescaped(words[11], entry.path) &&
           !entry.path.empty() && entry.path.front() == '/';
}

// "withdrawn N check": the entry N was taken back, its file never rewritten.
bool ParseWithdrawal(std::string_view line, std::uint64_t& id) {
    constexpr std::string_view kWord = "withdrawn ";
    const std::size_t lastBlank = line.rfind(' ');
    std::uint64_t check = 0;
    long long number = 0;
    if (line.substr(0, kWord.size()) != kWord || lastBlank <= kWord.size() ||
        !ParseHashText(line.substr(lastBlank + 1), check) ||
        check != ContentHash(line.substr(0, lastBlank)) ||
        !ParseNumber(line.substr(kWord.size(), lastBlank - kWord.size()), number) || number < 0) {
        return false;
    }
    id = static_cast<std::uint64_t>(number);
    return true;
}

bool ParseInfo(std::string_view text, JournalRunInfo& info) {
    const std::size_t checkAt = text.rfind("check=");
    if (checkAt == std::string_view::npos || text.size() < checkAt + 6 + 16 + 1 ||
        text.back() != '\n') {
        return false;
    }
    std::uint64_t check = 0;
    if (!ParseHashText(text.substr(checkAt + 6, 16), check) ||
        check != ContentHash(text.substr(0, checkAt))) {
        return false;
    }
    std::map<std::string, std::string> values;
    std::size_t start = 0;
    while (start < checkAt) {
        const std::size_t end = text.find('\n', start);
        const std::string_view line = text.substr(start, end - start);
        const std::size_t equals = line.find('=');
        if (equals == std::string_view::npos) {
            return false;
        }
        std::string value;
        if (!Unescaped(line.substr(equals + 1), value)) {
            return false;
        }
        values[std::string(line.substr(0, equals))] = value;
        start = end + 1;
    }
    long long started = 0;
    if (!ParseNumber(values["started"], started)) {
        return false;
    }
    info.started = static_cast<std::time_t>(started);
    info.kind = FromUtf8(values["kind"]);
    info.location = FromUtf8(values["location"]);
    info.term = FromUtf8(values["term"]);
    info.replacement = FromUtf8(values["replacement"]);
    return !info.location.isEmpty();
}

Result<JournalRun> ReadRun(const std::string& directory) {
    JournalRun run;
    run.directory = directory;
    auto entries = ReadWholeFile(directory + "/" + std::string(kEntriesName));
    const std::string_view text = entries ? std::string_view(entries.value()) : std::string_view();
    const std::string infoPath = directory + "/" + std::string(kInfoName);
    // A run killed while its journal was being set up has touched no file: the entries are
    // written before the first rewrite. Such a run holds nothing to take back.
    if (text.find('\n') == std::string_view::npos && access(infoPath.c_str(), F_OK) != 0) {
        return run;
    }
    auto info = ReadWholeFile(infoPath);
    if (!info || !ParseInfo(info.value(), run.info)) {
        return Damaged(directory, QStringLiteral("Angaben zum Lauf"));
    }
    std::size_t start = 0;
    std::size_t number = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) {
            // A run killed while it wrote an entry: that file was never renamed over.
            break;
        }
        ++number;
        std::uint64_t withdrawn = 0;
        if (ParseWithdrawal(text.substr(start, end - start), withdrawn)) {
            std::erase_if(run.entries,
                          [withdrawn](const JournalEntry& kept) { return kept.id == withdrawn; });
            start = end + 1;
            continue;
        }
        JournalEntry entry;
        if (!ParseEntry(text.substr(start, end - start), entry)) {
            return Damaged(directory, QStringLiteral("Eintrag %1").arg(number));
        }
        run.entries.push_back(std::move(entry));
        start = end + 1;
    }
    run.undone = access((directory + "/" + std::string(kUndoneName)).c_str(), F_OK) == 0;
    return run;
}

}  // namespace

std::string JournalRoot() {
    const char* state = std::getenv("XDG_STATE_HOME");
    if (state != nullptr && state[0] == '/') {
        return std::string(state) + "/trawlex";
    }
    const char* home = std::getenv("HOME");
    return std::string(home != nullptr ? home : "") + "/.local/state/trawlex";
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
    const std::string directory = root + "/" + RunName(now);
    if (mkdir(directory.c_str(), 0700) != 0) {
        return CannotWrite(root, errno);
    }
    if (!WriteFileReplacing(directory + "/" + std::string(kInfoName), InfoText(info))) {
        const int code = errno != 0 ? errno : EIO;
        RemoveRun(directory);
        return CannotWrite(root, code);
    }
    const int directoryDescriptor = open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const int entriesDescriptor = open((directory + "/" + std::string(kEntriesName)).c_str(),
                                       O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (directoryDescriptor < 0 || entriesDescriptor < 0 || fsync(directoryDescriptor) != 0 ||
        !SyncDirectory(root)) {
        const int code = errno;
        if (directoryDescriptor >= 0) {
            close(directoryDescriptor);
        }
        if (entriesDescriptor >= 0) {
            close(entriesDescriptor);
        }
        RemoveRun(directory);
        return CannotWrite(root, code);
    }
    const std::vector<std::string> names = RunNames(root);
    const std::size_t kept = static_cast<std::size_t>(std::max(1, keptRuns));
    for (std::size_t index = 0; index + kept < names.size(); ++index) {
        RemoveRun(root + "/" + names[index]);
    }
    return std::unique_ptr<Journal>(new Journal(directory, directoryDescriptor, entriesDescriptor));
}

Journal::~Journal() {
    close(entriesDescriptor_);
    close(directoryDescriptor_);
    // A run that rewrote nothing has nothing to take back and would only hide the run before it.
    if (kept_.load() == 0) {
        RemoveRun(directory_);
    }
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
    if (auto appended = AppendRecord(EntryLine(entry)); !appended) {
        return appended.error();
    }
    kept_.fetch_add(1);
    return entry.id;
}

Status Journal::AppendRecord(const std::string& line) {
    const std::lock_guard lock(appending_);
    // O_APPEND writes one line as one piece; a short write leaves a torn last line, which a
    // reader takes for what it is: an entry whose file was never touched.
    const ssize_t written = write(entriesDescriptor_, line.data(), line.size());
    if (written != static_cast<ssize_t>(line.size()) || fdatasync(entriesDescriptor_) != 0 ||
        fsync(directoryDescriptor_) != 0) {
        return CannotWrite(directory_, written < 0 ? errno : EIO);
    }
    return Success();
}

Status Journal::Withdraw(std::uint64_t id) {
    unlinkat(directoryDescriptor_, CopyName(id).c_str(), 0);
    std::string line = "withdrawn " + std::to_string(id);
    line += ' ' + HashText(ContentHash(line)) + '\n';
    if (auto appended = AppendRecord(line); !appended) {
        return appended;
    }
    kept_.fetch_sub(1);
    return Success();
}

std::vector<Result<JournalRun>> ReadJournalRuns(const std::string& root) {
    std::vector<std::string> names = RunNames(root);
    std::reverse(names.begin(), names.end());
    std::vector<Result<JournalRun>> runs;
    for (const std::string& name : names) {
        runs.push_back(ReadRun(root + "/" + name));
    }
    return runs;
}

Status MarkUndone(const std::string& runDirectory) {
    const std::string marker = runDirectory + "/" + std::string(kUndoneName);
    const int descriptor = open(marker.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    if (descriptor < 0) {
        return CannotWrite(runDirectory, errno);
    }
    const bool synced = fsync(descriptor) == 0;
    close(descriptor);
    if (!synced || !SyncDirectory(runDirectory)) {
        return CannotWrite(runDirectory, errno);
    }
    return Success();
}

nlink_t JournalNames::Count(const struct stat& file) const {
    std::call_once(read_, [this] {
        for (const std::string& run : RunNames(root_)) {
            const std::string directory = root_ + "/" + run;
            DIR* handle = opendir(directory.c_str());
            if (handle == nullptr) {
                continue;
            }
            while (const dirent* entry = readdir(handle)) {
                struct stat info {};
                if (entry->d_name[0] == 'f' &&
                    fstatat(dirfd(handle), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 &&
                    info.st_nlink > 1) {
                    ++names_[{info.st_dev, info.st_ino}];
                }
            }
            closedir(handle);
        }
    });
    const auto found = names_.find({file.st_dev, file.st_ino});
    return found == names_.end() ? 0 : found->second;
}

}  // namespace trawlex
