#pragma once

#include "app/Ui.h"
#include "common/files/DirectoryHandle.h"
#include "common/files/OrderedPool.h"
#include "common/text/CaseFold.h"
#include "common/text/TextEncoding.h"
#include "search/Report.h"

#include <QString>

#include <cstdint>
#include <string>
#include <vector>

namespace trawlex {

struct Form1;
class FileMask;

// Whether a command covers the location's own files only or the whole tree below it.
enum class Scope {
    Flat,
    Tree,
};

// One search.
struct SearchJob {
    QString location;
    QString term;
    QString target;
    QString mask;
    CompareMode mode = CompareMode::Exact;
    Scope scope = Scope::Flat;
    unsigned workers = DefaultWorkerCount();  // helper threads; 0 reads every file in turn
    bool regex = false;                       // the term is a regular expression
};

// The matcher of a term, or of a pattern compiled once for the run (refused with a German message
// naming the place and the reason when it does not compile).
Result<TermMatcher> MatcherFor(const QString& term, CompareMode mode, bool regex);

// The heading of the files in which a pattern was stopped by its limits.
QString PatternStoppedHeading(const QString& pattern);

// Runs a search from the report header to the footer. The summary shows the record's fields.
CommandOutcome SearchLocation(const Form1& form, RunView& view, const SearchJob& job);

// The running totals of one search, shared by every directory it visits.
struct SearchTotals {
    std::int64_t nextRow = 1;
    std::int64_t filesExamined = 0;
    std::int64_t byteTotal = 0;
    std::vector<std::string> unreadable;  // skipped files and directories, reported at the end
    IdentitySet seen;  // a file reached again through a link or another name is listed once
    std::vector<std::string> stopped;  // files a pattern backtracked in without end
};

// Everything the files of one directory are searched with.
struct SearchRun {
    const TermMatcher& term;
    const FileMask& mask;
    ReportFile& report;
    RunView& view;
    SearchTotals& totals;
    unsigned workers = 0;
};

// Searches the matching files of one directory (ending in the separator) and appends a row
// for each hit. Stops after the current file when the person asks. Fails only when the report
// cannot be written; what cannot be read is skipped and remembered.
Result<Flow> SearchFilesOf(const std::string& directory, RowStyle style, SearchRun& run);

// Searches every directory below the given one, depth first, each directory's files before its
// subdirectories; never the files of the given directory itself.
Result<Flow> SearchDirRecursive(const DirectoryHandle& parent, SearchRun& run, WalkGuard& guard);

// The search of one directory without its subdirectories, from the report header to the
// footer.
CommandOutcome SearchDirFlat(const Form1& form, Ui& ui, const QString& path, const QString& term,
                             const QString& target, const QString& mask, CompareMode mode);

// The search of the location and every directory below it, with one report and one set of
// totals; the location, term, mask and report path come from the record.
CommandOutcome SearchTree(const Form1& form, Ui& ui, CompareMode mode);

}  // namespace trawlex
