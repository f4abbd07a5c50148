#pragma once

#include "common/Result.h"
#include "common/files/PathAccess.h"
#include "search/Report.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace trawlex {

// A change list holds one JSON object per line, one line per change a preview found:
//   {"file": …, "fingerprint": …, "change": N, "line": L, "offset": BYTE, "length": BYTES,
//    "before": TEXT, "after": TEXT}
// A person or a script deletes the lines they do not want, and apply makes exactly the changes
// left. Offsets and lengths are bytes of the file as it was; before and after are text, read in
// the file's own encoding.
struct ListedChange {
    std::string file;  // the path's bytes, as the walk named the file
    std::uint64_t fingerprint = 0;
    std::int64_t number = 0;
    std::int64_t line = 0;
    std::uint64_t offset = 0;
    std::uint64_t length = 0;
    QString before;
    QString after;
};

// Reads one line of a list (without its line end); the error says what is wrong with it, in
// German, without naming the list or the line.
Result<ListedChange> ParseChangeLine(std::string_view line);

// The changes of one file as a worker finds them, written out in walk order later, when the
// number of each in the whole list is known. A file with very many changes keeps them in a
// nameless temporary file, so that memory does not grow with it.
class FileChanges {
public:
    FileChanges(std::string_view path, std::uint64_t fingerprint);

    void Add(std::int64_t line, std::uint64_t offset, std::uint64_t length, const QString& before,
             const QString& after);
    std::int64_t Count() const { return count_; }

    // Each change's line, its number put in front; the first failure ends the writing.
    Status WriteTo(std::int64_t firstNumber, const std::function<Status(std::string_view)>& write);

private:
    Status Spill();

    std::string head_;   // every line's start, up to its number
    std::string rests_;  // what follows the number, line by line
    std::int64_t count_ = 0;
    FileDescriptor spilled_;
    std::uint64_t spilledSize_ = 0;
    std::optional<Error> failed_;
};

// The list a preview writes, the files in walk order and the changes numbered from 1 over the
// whole list. Like a report it is written under a temporary name and takes its own name only
// once it is finished.
class ChangeListWriter {
public:
    static Result<ChangeListWriter> Create(const QString& path);

    // Writes a file's changes and answers where its first line starts in the list.
    Result<std::int64_t> Write(FileChanges& changes);
    Status Finish() { return file_.Finish(); }
    const QString& Path() const { return path_; }

private:
    ChangeListWriter(ReportFile file, QString path)
        : file_(std::move(file)), path_(std::move(path)) {}

    ReportFile file_;
    QString path_;
    std::int64_t written_ = 0;
    std::int64_t changes_ = 0;
};

}  // namespace trawlex
