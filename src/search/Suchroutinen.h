#pragma once

#include "common/Run.h"
#include "common/files/OrderedPool.h"
#include "common/files/TreeWalk.h"
#include "common/text/CaseFold.h"
#include "common/text/TextEncoding.h"
#include "search/Report.h"
#include "search/RunView.h"

#include <QString>

#include <optional>

namespace trawlex {

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
    FileFilters filters{};                    // what the walk leaves out, and whole words
    // What the report's head says; without it, the job's own values.
    std::optional<ReportSummary> summary{};
};

// The matcher of a term, or of a pattern compiled once for the run (refused with a German message
// naming the place and the reason when it does not compile).
Result<TermMatcher> MatcherFor(const QString& term, CompareMode mode, bool regex,
                               bool wholeWord = false);

// The heading of the files in which a pattern was stopped by its limits.
QString PatternStoppedHeading(const QString& pattern);

// Why a file is named among a search's problems, told beside its path.
QString UnreadableReason();
QString PatternStoppedReason();

// Runs a search from the report header to the footer: the location's files, or its whole tree,
// each file once, in the order a person reads the report.
CommandOutcome SearchLocation(RunView& view, const SearchJob& job);

}  // namespace trawlex
