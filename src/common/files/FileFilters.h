#pragma once

#include "common/Result.h"
#include "common/files/Listing.h"

#include <QString>
#include <QStringView>

#include <sys/stat.h>

#include <cstdint>
#include <ctime>
#include <optional>
#include <string_view>

namespace trawlex {

// What a run leaves out beyond its file mask, and how whole a hit must be. Nothing set leaves
// every file in, so a run without filters is the run it always was.
struct FileFilters {
    QString excludeFiles;                 // masks of file names neither searched nor rewritten
    QString excludeDirectories;           // masks of directory names never entered
    std::optional<std::int64_t> minSize;  // bytes, both bounds inclusive
    std::optional<std::int64_t> maxSize;
    std::optional<std::time_t> newer;  // modified at or after
    std::optional<std::time_t> older;  // modified before
    bool skipBinary = false;           // a search leaves out files holding a NUL byte
    bool wholeWord = false;            // a hit has no letter, digit or "_" either side

    bool InForce() const;
};

// The walk's side of the filters, ready for matching names and dates file after file.
class WalkFilter {
public:
    explicit WalkFilter(const FileFilters& filters);

    bool LeavesOutFile(std::string_view name) const;
    bool LeavesOutDirectory(std::string_view name) const;
    // Size and date need each file's status, which the walk then asks for.
    bool ChecksStatus() const { return checksStatus_; }
    bool LeavesOut(const struct stat& status) const;

private:
    std::optional<FileMask> files_;
    std::optional<FileMask> directories_;
    FileFilters limits_;
    bool checksStatus_ = false;
};

// "10K", "2M", "1G" (steps of 1024) or plain bytes; nothing when the text is none of these.
std::optional<std::int64_t> ParseSize(QStringView text);
// The same in the short form ParseSize reads: "10K" for 10240.
QString SizeText(std::int64_t bytes);

// "2026-01-01", "2026-06-30 18:00" or "30.06.2026 18:00" (seconds may follow), in local time;
// nothing for a date that does not exist.
std::optional<std::time_t> ParseMoment(QStringView text);

// The texts a person typed for the filters, and how a message names each of them: the window
// by its captions, the command line by its options.
struct FilterTexts {
    QString excludeFiles;
    QString excludeDirectories;
    QString minSize;
    QString maxSize;
    QString newer;
    QString older;
    bool skipBinary = false;
    bool wholeWord = false;
};
struct FilterNames {
    QString excludeFiles;
    QString excludeDirectories;
    QString minSize;
    QString maxSize;
    QString newer;
    QString older;
};

// The filters the texts stand for, or a German message naming the one that cannot be used and
// its value: a mask that matches nothing, a size or date that is none, a range that is empty.
Result<FileFilters> ReadFilters(const FilterTexts& texts, const FilterNames& names);

}  // namespace trawlex
