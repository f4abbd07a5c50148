#pragma once

#include "common/Result.h"

#include <QString>
#include <QStringView>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace trawlex {

enum class ListKind {
    NormalFiles,          // regular files that are not hidden
    FilesAndDirectories,  // the same, and directories that are not hidden
};

// A file-type field as the person wrote it: pieces separated by ";", each cut at its first
// blank, so that a list item such as "*.HTM   HTML-Format" lists "*.HTM".
class FileMask {
public:
    explicit FileMask(QStringView fieldText);

    // One pattern taken whole, blanks and ";" included: the last component of a path, whose
    // blanks and semicolons belong to the file name rather than separating pieces.
    static FileMask SinglePattern(QStringView pattern);

    // Windows-style, ignoring letter case: "*" any run, "?" one character, "*.*" every name,
    // "*." names without a dot.
    bool Matches(QStringView name) const;

    // The same for a file name's bytes; names and masks in plain ASCII, by far the most common,
    // are matched without decoding.
    bool MatchesBytes(std::string_view name) const;

    bool IsEmpty() const { return pieces_.empty(); }

private:
    void KeepAsciiPieces();

    std::vector<QString> pieces_;           // case-folded
    std::vector<std::string> asciiPieces_;  // the same in lower case, when all are ASCII
};

// Why a file-type field cannot be used, or nothing when it can: one that holds no pattern at all
// (only ";" and blanks) or a "[", which a person may take for a character class, would silently
// match nothing.
std::optional<QString> MaskProblem(QStringView fieldText);

// The entries of one directory whose names match the mask, sorted as if compared
// upper-cased and then by raw bytes, so that reports are reproducible. Anything that is not a
// regular file or a directory (devices, FIFOs, sockets) is never listed: opening a FIFO would
// block forever. A symbolic link is listed as what it leads to.
Result<std::vector<std::string>> ListDirectory(const std::string& directory, const FileMask& mask,
                                               ListKind kind);

// Sorts names in listing order.
void SortNames(std::vector<std::string>& names);

// The listing pair every part of the program uses for listing files and for testing whether a
// file or directory exists. A pattern is a path whose last component may hold wildcards.
class DirectoryListing {
public:
    // The first matching name, or empty when nothing matches. A pattern naming an existing
    // directory, with or without a closing separator, matches when directories are allowed.
    std::string FirstMatch(const std::string& pattern, ListKind kind);

    // The next name of the same listing; empty at its end.
    std::string NextMatch();

private:
    std::vector<std::string> names_;
    std::size_t next_ = 0;
};

}  // namespace trawlex
