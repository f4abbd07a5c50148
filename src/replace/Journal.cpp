#include "Journal.h"

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
namespace {

constexpr std::string_view kInfoName = "info";
constexpr std::string_view kEntriesName = "entries";
constexpr std::string_view kUndoneName = "undone";
// Written when the run ends: how many entries it kept and their fingerprint. It lives apart from
// the entries, so that cutting the entries short cannot take it along.
constexpr std::string_view kFinishedName = "finished";
// A small journal file is written under this suffix first and then renamed.
constexpr std::string_view kPartSuffix = ".part";
// The start of a line that takes an entry back; an entry line starts with its number.
constexpr std::string_view kWithdrawnWord = "withdrawn";

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

// What one of a run's own files holds, read without following a link and without waiting on
// something that is no file.
enum class FileState { Missing, Read, NoFile, Untrusted };

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

bool ParseInfo(std::string_view text, JournalRunInfo& info);

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

// The "key=value" lines of a record that ends in "check=" and the fingerprint of all before it;
// false when the fingerprint does not match or a line is no such pair.
bool CheckedValues(std::string_view text, std::map<std::string, std::string>& values) {
    const std::size_t checkAt = text.rfind("check=");
    std::uint64_t check = 0;
    if (checkAt == std::string_view::npos || text.size() != checkAt + 6 + 16 + 1 ||
        text.back() != '\n' || !ParseHashText(text.substr(checkAt + 6, 16), check) ||
        check != ContentHash(text.substr(0, checkAt))) {
        return false;
    }
    std::size_t start = 0;
    while (start < checkAt) {
        const std::size_t end = text.find('\n', start);
        const std::string_view line = text.substr(start, end - start);
        const std::size_t equals = line.find('=');
        std::string value;
        if (equals == std::string_view::npos || !Unescaped(line.substr(equals + 1), value)) {
            return false;
        }
        values[std::string(line.substr(0, equals))] = std::move(value);
        start = end + 1;
    }
    return true;
}

bool ParseInfo(std::string_view text, JournalRunInfo& info) {
    std::map<std::string, std::string> values;
    if (!CheckedValues(text, values)) {
        return false;
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

std::string FinishedText(std::int64_t entries, std::int64_t size, std::uint64_t hash) {
    std::string text = "entries=" + std::to_string(entries) + "\n";
    text += "size=" + std::to_string(size) + "\n";
    text += "hash=" + HashText(hash) + "\n";
    text += "check=" + HashText(ContentHash(text)) + "\n";
    return text;
}

struct FinishedRecord {
    long long entries = 0;
    long long size = 0;
    std::uint64_t hash = 0;
};

bool ParseFinished(std::string_view text, FinishedRecord& record) {
    std::map<std::string, std::string> values;
    if (!CheckedValues(text, values)) {
        return false;
    }
    return ParseNumber(values["entries"], record.entries) &&
           ParseNumber(values["size"], record.size) && ParseHashText(values["hash"], record.hash);
}

std::string WithdrawnLine(std::uint64_t id) {
    std::string line = std::string(kWithdrawnWord) + ' ' + std::to_string(id);
    line += ' ' + HashText(ContentHash(line)) + '\n';
    return line;
}

bool ParseWithdrawn(std::string_view line, std::uint64_t& id) {
    const std::vector<std::string_view> words = Words(line);
    long long number = 0;
    std::uint64_t check = 0;
    if (words.size() != 3 || words[0] != kWithdrawnWord || !ParseNumber(words[1], number) ||
        number <= 0 || !ParseHashText(words[2], check) ||
        check != ContentHash(line.substr(0, line.rfind(' ')))) {
        return false;
    }
    id = static_cast<std::uint64_t>(number);
    return true;
}

JournalRun ReadRun(int root, const std::string& rootPath, const std::string& name) {
    JournalRun run;
    run.directory = rootPath + "/" + name;
    run.info.started = StartOfName(name);
    const std::string& directory = run.directory;
    const FileDescriptor handle = OpenRun(root, name);
    struct stat status {};
    if (handle.get() < 0 || fstat(handle.get(), &status) != 0) {
        run.refusal = Damaged(directory, QStringLiteral("kein Verzeichnis"));
        return run;
    }
    if (!Trusted(status)) {
        run.refusal = Untrusted(directory, directory);
        return run;
    }
    // A replacement holds its run for as long as it lives.
    if (flock(handle.get(), LOCK_SH | LOCK_NB) != 0) {
        run.running = true;
    } else {
        flock(handle.get(), LOCK_UN);
    }
    std::string files[4];
    const std::string_view names[4] = {kInfoName, kEntriesName, kFinishedName, kUndoneName};
    FileState states[4] = {};
    for (int index = 0; index < 4; ++index) {
        states[index] = ReadJournalFile(handle.get(), names[index], files[index]);
        const std::string path = directory + "/" + std::string(names[index]);
        if (states[index] == FileState::Untrusted) {
            run.refusal = Untrusted(directory, path);
        } else if (states[index] == FileState::NoFile && !run.refusal &&
                   names[index] != kUndoneName) {
            // Something in the place of the undone mark only keeps the mark from being made.
            run.refusal = Damaged(directory, QStringLiteral("\u201E%1\u201C ist keine Datei")
                                                 .arg(FromUtf8(std::string(names[index]))));
        }
    }
    const std::string& infoText = files[0];
    const std::string_view text = files[1];
    run.infoRead = states[0] == FileState::Read && ParseInfo(infoText, run.info);
    if (!run.infoRead) {
        run.info.started = StartOfName(name);
    }
    if (run.refusal) {
        return run;
    }
    const bool finished = states[2] == FileState::Read;
    // A run killed while its journal was being set up has touched no file: the entries are
    // written before the first rewrite. Such a run holds nothing to take back.
    if (text.find('\n') == std::string_view::npos && states[0] == FileState::Missing && !finished) {
        return run;
    }
    if (!run.infoRead) {
        run.refusal = Damaged(directory, QStringLiteral("Angaben zum Lauf"));
        return run;
    }
    FinishedRecord record;
    if (finished) {
        if (!ParseFinished(files[2], record)) {
            run.refusal = Damaged(directory, QStringLiteral("Abschlussvermerk"));
            return run;
        }
        if (states[1] != FileState::Read || static_cast<long long>(text.size()) != record.size ||
            ContentHash(text) != record.hash) {
            run.refusal = Damaged(directory, QStringLiteral("Eintr\u00E4ge unvollst\u00E4ndig "
                                                            "oder ver\u00E4ndert"));
            return run;
        }
    }
    std::set<std::uint64_t> withdrawn;
    std::size_t start = 0;
    std::size_t number = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) {
            // A run killed while it wrote an entry: that file was never renamed over.
            break;
        }
        ++number;
        const std::string_view line = text.substr(start, end - start);
        start = end + 1;
        std::uint64_t id = 0;
        if (line.starts_with(kWithdrawnWord) && ParseWithdrawn(line, id)) {
            withdrawn.insert(id);
            continue;
        }
        JournalEntry entry;
        if (!ParseEntry(line, entry)) {
            run.refusal = Damaged(directory, QStringLiteral("Eintrag %1").arg(number));
            return run;
        }
        run.entries.push_back(std::move(entry));
    }
    std::erase_if(run.entries,
                  [&withdrawn](const JournalEntry& entry) { return withdrawn.contains(entry.id); });
    if (finished && static_cast<long long>(run.entries.size()) != record.entries) {
        run.refusal = Damaged(directory, QStringLiteral("Zahl der Eintr\u00E4ge"));
        return run;
    }
    run.undone = states[3] == FileState::Read;
    return run;
}

}  // namespace

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
