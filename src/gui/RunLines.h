#pragma once

#include "common/Run.h"
#include "search/RunView.h"

#include <QString>

#include <cstdint>

namespace trawlex {

// What the line under the results says while a run goes and after it has ended.
struct RunTally {
    ResultsKind kind = ResultsKind::Search;
    bool journal = false;  // a replacement can be taken back
    bool began = false;    // the run got as far as its files
    RunProgress progress;  // the last figures it told
    std::int64_t rows = 0;
    std::int64_t replacements = 0;
};

// "1.234 Dateien, 56,7 MB, 89 mit Fundstellen" (or "89 geändert" for a replacement).
QString ProgressLine(const RunTally& tally);

// After the run: what it did, or why it did nothing. `message` is the last message the run
// showed, of which the first line is repeated where the run was refused.
QString EndLine(const RunTally& tally, CommandOutcome outcome, const QString& message);

}  // namespace trawlex
