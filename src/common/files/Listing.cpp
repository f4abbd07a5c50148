#include "common/files/Listing.h"

#include "common/SystemError.h"
#include "common/files/DirectoryReader.h"
#include "common/files/PathAccess.h"
#include "common/text/PathText.h"
#include "common/text/TextEncoding.h"

#include <QList>

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <utility>

namespace trawlex {
namespace {

bool MatchWildcards(QStringView pattern, QStringView name) {
    // Iterative matching with one backtracking point per "*": linear enough for file names.
    qsizetype p = 0;
    qsizetype n = 0;
    qsizetype starPattern = -1;
    qsizetype starName = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == QLatin1Char('?') || pattern[p] == name[n])) {
            ++p;
            ++n;
        } else if (p < pattern.size() && pattern[p] == QLatin1Char('*')) {
            starPattern = p++;
            starName = n;
        } else if (starPattern >= 0) {
            p = starPattern + 1;
            n = ++starName;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == QLatin1Char('*')) {
        ++p;
    }
    return p == pattern.size();
}

char AsciiLower(char byte) {
    return byte >= 'A' && byte <= 'Z' ? static_cast<char>(byte + 0x20) : byte;
}

// The same wildcard rules over ASCII bytes, the pattern already in lower case.
bool MatchAsciiWildcards(std::string_view pattern, std::string_view name) {
    std::size_t p = 0;
    std::size_t n = 0;
    std::size_t starPattern = std::string_view::npos;
    std::size_t starName = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == AsciiLower(name[n]))) {
            ++p;
            ++n;
        } else if (p < pattern.size() && pattern[p] == '*') {
            starPattern = p++;
            starName = n;
        } else if (starPattern != std::string_view::npos) {
            p = starPattern + 1;
            n = ++starName;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') {
        ++p;
    }
    return p == pattern.size();
}

bool MatchAsciiPiece(std::string_view piece, std::string_view name) {
    if (piece == "*.*") {
        return true;
    }
    if (piece.size() >= 2 && piece.substr(piece.size() - 2) == "*.") {
        return name.find('.') == std::string_view::npos &&
               MatchAsciiWildcards(piece.substr(0, piece.size() - 1), name);
    }
    return MatchAsciiWildcards(piece, name);
}

bool MatchPiece(QStringView piece, QStringView foldedName) {
    if (piece == u"*.*") {
        return true;
    }
    if (piece.endsWith(u"*.") && piece.size() >= 2) {
        // "*." and its relatives name files without a dot.
        return !foldedName.contains(QLatin1Char('.')) &&
               MatchWildcards(piece.first(piece.size() - 1), foldedName);
    }
    return MatchWildcards(piece, foldedName);
}

enum class EntryType { Other, File, Directory };

EntryType TypeOf(const std::string& path) {
    struct stat info {};
    if (StatPath(path, info) != 0) {
        return EntryType::Other;
    }
    if (S_ISREG(info.st_mode)) {
        return EntryType::File;
    }
    if (S_ISDIR(info.st_mode)) {
        return EntryType::Directory;
    }
    return EntryType::Other;
}

}  // namespace

FileMask::FileMask(QStringView fieldText) {
    for (QStringView piece : fieldText.split(QLatin1Char(';'))) {
        piece = piece.trimmed();
        const qsizetype blank = piece.indexOf(QLatin1Char(' '));
        if (blank >= 0) {
            piece = piece.first(blank);
        }
        if (!piece.isEmpty()) {
            pieces_.push_back(piece.toString().toCaseFolded());
        }
    }
    KeepAsciiPieces();
}

std::optional<QString> MaskProblem(QStringView fieldText) {
    if (FileMask(fieldText).IsEmpty()) {
        return QStringLiteral(
                   "Der Dateityp \u201E%1\u201C nennt kein Muster, etwa \u201E*.htm\u201C; "
                   "mehrere Muster stehen durch \u201E;\u201C getrennt.")
            .arg(fieldText);
    }
    if (fieldText.contains(QLatin1Char('['))) {
        return QStringLiteral(
                   "Der Dateityp \u201E%1\u201C enth\u00E4lt \u201E[\u201C. Muster kennen nur "
                   "* (beliebig viele Zeichen) und ? (ein Zeichen), keine "
                   "Zeichenklassen wie [abc]; f\u00FCr ein \u201E[\u201C im Dateinamen steht "
                   "? an seiner Stelle.")
            .arg(fieldText);
    }
    return std::nullopt;
}

void FileMask::KeepAsciiPieces() {
    asciiPieces_.clear();
    for (const QString& piece : pieces_) {
        const std::string bytes = piece.toStdString();
        if (!IsAscii(bytes)) {
            asciiPieces_.clear();
            return;
        }
        asciiPieces_.push_back(bytes);
    }
}

bool FileMask::MatchesBytes(std::string_view name) const {
    if (asciiPieces_.size() != pieces_.size() || !IsAscii(name)) {
        return Matches(PathText(name));
    }
    return std::any_of(asciiPieces_.begin(), asciiPieces_.end(),
                       [name](const std::string& piece) { return MatchAsciiPiece(piece, name); });
}

FileMask FileMask::SinglePattern(QStringView pattern) {
    FileMask mask{QStringView()};
    if (!pattern.isEmpty()) {
        mask.pieces_.push_back(pattern.toString().toCaseFolded());
    }
    mask.KeepAsciiPieces();
    return mask;
}

bool FileMask::Matches(QStringView name) const {
    const QString folded = name.toString().toCaseFolded();
    return std::any_of(pieces_.begin(), pieces_.end(),
                       [&folded](const QString& piece) { return MatchPiece(piece, folded); });
}

void SortNames(std::vector<std::string>& names) {
    // Plain ASCII names sort by their upper-cased bytes, the same order as upper-cased text;
    // names alike but for case by their own bytes. Each is upper-cased once, not in each of the
    // comparisons of the sort, which were a tenth of the program's own instructions in a search
    // of a tree of small files.
    if (std::all_of(names.begin(), names.end(),
                    [](const std::string& name) { return IsAscii(name); })) {
        std::vector<std::pair<std::string, std::string>> keyed;
        keyed.reserve(names.size());
        for (std::string& name : names) {
            std::string key = name;
            for (char& byte : key) {
                byte = byte >= 'a' && byte <= 'z' ? static_cast<char>(byte - 0x20) : byte;
            }
            keyed.emplace_back(std::move(key), std::move(name));
        }
        std::sort(keyed.begin(), keyed.end());
        for (std::size_t index = 0; index < names.size(); ++index) {
            names[index] = std::move(keyed[index].second);
        }
        return;
    }
    struct Keyed {
        QString key;
        std::string name;
    };
    std::vector<Keyed> keyed;
    keyed.reserve(names.size());
    for (std::string& name : names) {
        keyed.push_back({PathText(name).toUpper(), std::move(name)});
    }
    std::sort(keyed.begin(), keyed.end(), [](const Keyed& left, const Keyed& right) {
        const int order = left.key.compare(right.key);
        return order != 0 ? order < 0 : left.name < right.name;
    });
    for (std::size_t index = 0; index < names.size(); ++index) {
        names[index] = std::move(keyed[index].name);
    }
}

Result<std::vector<std::string>> ListDirectory(const std::string& directory, const FileMask& mask,
                                               ListKind kind) {
    const std::string opened = directory.empty() ? std::string(".") : directory;
    DirectoryReader listing = DirectoryReader::AtPath(opened);
    if (!listing.IsOpen()) {
        const int code = errno;
        return Error{QStringLiteral("Das Verzeichnis \u201E%1\u201C kann nicht gelesen werden: %2")
                         .arg(PathText(opened), SystemErrorText(code))};
    }
    const std::string prefix = WithTrailingSeparator(directory);
    std::vector<std::string> names;
    while (const std::optional<DirectoryEntry> entry = listing.Next()) {
        const std::string_view name = entry->Name();
        if (name.empty() || name.front() == '.') {
            continue;  // hidden
        }
        if (!mask.MatchesBytes(name)) {
            continue;
        }
        EntryType type = EntryType::Other;
        if (entry->type == DT_REG) {
            type = EntryType::File;
        } else if (entry->type == DT_DIR) {
            type = EntryType::Directory;
        } else if (entry->type == DT_LNK || entry->type == DT_UNKNOWN) {
            type = TypeOf(prefix + std::string(name));
        }
        if (type == EntryType::File ||
            (type == EntryType::Directory && kind == ListKind::FilesAndDirectories)) {
            names.emplace_back(name);
        }
    }
    SortNames(names);
    return names;
}

std::string DirectoryListing::FirstMatch(const std::string& pattern, ListKind kind) {
    names_.clear();
    next_ = 0;
    const std::size_t slash = pattern.rfind(kSeparator);
    const std::string directory =
        slash == std::string::npos ? std::string() : pattern.substr(0, slash == 0 ? 1 : slash);
    const std::string last = slash == std::string::npos ? pattern : pattern.substr(slash + 1);
    if (last.empty() || last.find_first_of("*?") == std::string::npos) {
        // Without wildcards the pattern is an existence test of one path.
        const std::string whole = pattern.empty() ? std::string(".") : pattern;
        const EntryType type = TypeOf(whole);
        const bool hidden = !last.empty() && last.front() == '.';
        if (type == EntryType::Directory && kind == ListKind::FilesAndDirectories) {
            return last.empty() ? whole : last;
        }
        if (type == EntryType::File && !hidden) {
            return last;
        }
        return {};
    }
    auto listed = ListDirectory(directory, FileMask::SinglePattern(PathText(last)), kind);
    if (!listed) {
        return {};
    }
    names_ = std::move(listed.value());
    return NextMatch();
}

std::string DirectoryListing::NextMatch() {
    if (next_ >= names_.size()) {
        return {};
    }
    return names_[next_++];
}

}  // namespace trawlex
