#pragma once

#include "common/Result.h"
#include "search/RunView.h"

#include <QString>

#include <cstdint>
#include <ctime>
#include <functional>
#include <vector>

namespace trawlex {

// One replacement run that the journal can take back.
struct UndoRunInfo {
    QString name;  // the journal's directory name
    std::time_t started = 0;
    QString kind;  // "Ersetzen", "Sonderzeichen", "Kombination", "Ersatzprofil"
    QString location;
    QString term;
    std::int64_t files = 0;  // files the run rewrote
    bool undone = false;
    bool damaged = false;  // refused as damaged or not the person's own; date and place as read
    bool running = false;  // its replacement still runs
};

// The runs the journal holds, the newest first; an error when there is no place for journals.
Result<std::vector<UndoRunInfo>> ListUndoRuns();

// A term as one line of text: control characters by their names, "<CR><LF>" for a line break.
QString ShownTerm(const QString& term);

// How an undo is run: whether it goes past a damaged run, and whom to tell when it begins to
// restore files (the window shows itself busy from then on).
enum class DamagedRuns {
    Refuse,
    Skip,
};

struct UndoOptions {
    DamagedRuns damaged = DamagedRuns::Refuse;
    std::function<void()> restoring{};
};

// Takes back the newest replacement run not yet taken back. A file changed since the run is
// left as it is and named; the others get their old bytes, mode and dates again. A damaged
// newest run is named and refused; only with DamagedRuns::Skip does undo go on to the run before
// it. Completed when every file is as before the run; NothingToDo when no run is left (or
// none can be reached now); Incomplete when some files were left, or the run could not be
// marked as taken back, so that undo can be repeated; Refused when a journal is damaged or not
// to be trusted; Stopped when the person stopped it.
CommandOutcome TakeBackNewestRun(RunView& view, const UndoOptions& options);

}  // namespace trawlex
