#pragma once

#include "common/Run.h"
#include "search/RunView.h"

#include <QString>

namespace trawlex {

// A change list (see ChangeList.h) to make, as a replacement would: one journal, the same
// bounds and locks.
struct ApplyJob {
    QString changes;
    bool journal = true;
    int keptRuns = 20;
    QString kind = QStringLiteral("\u00C4nderungsliste");
};

// Makes exactly the changes the list holds. Every file is checked first against what its
// preview saw: a file whose fingerprint differs, whose bytes at a change are not the change's
// "before", or whose changes overlap is named and left whole. The location is the directory
// that holds every listed file. A list with a line that is no change is refused before any
// file is touched (Invalid).
CommandOutcome ApplyChangeList(RunView& view, const ApplyJob& job);

}  // namespace trawlex
