#pragma once

#include "common/Result.h"
#include "common/files/ChunkReader.h"
#include "common/text/TermMatcher.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace trawlex {

// A line that holds occurrences, as the window shows it: control characters as visible symbols,
// a very long line cut around its first occurrence.
struct HitLine {
    std::int64_t number = 0;  // 1-based, counted by line feeds
    std::int64_t column = 0;  // of the first occurrence, in characters, 1-based
    QString text;
    struct Mark {
        qsizetype start = 0;  // in `text`
        qsizetype length = 0;
    };
    std::vector<Mark> marks;
};

struct FileHitLines {
    std::vector<HitLine> lines;  // the first ones only
    std::int64_t moreLines = 0;  // lines with occurrences beyond those shown
};

inline constexpr std::size_t kHitLinesPerFile = 1000;

// How a line is given: as the window shows it, or as the file holds it (the whole line without
// its line end and with no marks, for a script that reads the lines as grep prints them).
enum class LineForm {
    Shown,
    Plain,
};

// The lines of a file's contents that hold the term's occurrences (the same occurrences the
// search counts; an empty match of a pattern marks nothing).
FileHitLines HitLinesOf(std::string_view contents, const TermMatcher& term,
                        std::size_t maxLines = kHitLinesPerFile, LineForm form = LineForm::Shown);

// The same for a file on disk; a big file is read piece by piece.
Result<FileHitLines> ReadHitLines(const std::string& path, const TermMatcher& term,
                                  std::size_t maxLines = kHitLinesPerFile,
                                  LineForm form = LineForm::Shown);

// The same for a big file already opened, read piece by piece from its start.
Result<FileHitLines> StreamHitLines(const OpenedFile& opened, const std::string& path,
                                    const TermMatcher& term, std::size_t maxLines, LineForm form);

}  // namespace trawlex
