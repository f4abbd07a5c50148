#include "JournalFormat.h"

#include "common/files/ContentHash.h"
#include "common/text/PathText.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>

namespace trawlex::journal {

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

namespace {

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

}  // namespace

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

namespace {

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

}  // namespace

std::string WithdrawnLine(std::uint64_t id) {
    std::string line = std::string(kWithdrawnWord) + ' ' + std::to_string(id);
    line += ' ' + HashText(ContentHash(line)) + '\n';
    return line;
}

namespace {

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

}  // namespace

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

}  // namespace trawlex::journal
