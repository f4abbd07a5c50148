#pragma once

#include "app/Ui.h"

#include <QString>

#include <cstdint>
#include <ctime>
#include <vector>

namespace trawlex {

struct Form1;

// One replacement run that the journal can take back.
struct UndoRunInfo {
    QString name;  // the journal's directory name
    std::time_t started = 0;
    QString kind;  // "Ersetzen", "Sonderzeichen", "Kombination", "Ersatzprofil"
    QString location;
    QString term;
    std::int64_t files = 0;  // files the run rewrote
    bool undone = false;
};

// The runs the journal holds, the newest first.
std::vector<UndoRunInfo> ListUndoRuns();

// "Rückgängig": takes back the newest replacement run not yet taken back. A file changed since
// the run is left as it is and named; the others get their old bytes, mode and dates again.
// NothingToDo when no run is left, Incomplete when some files could not be restored.
CommandOutcome butRückgängig_Click(Form1& form, Ui& ui);

}  // namespace trawlex
