#pragma once

#include "app/Ui.h"
#include "replace/Undo.h"

namespace trawlex {

struct Form1;

// Takes back the newest replacement run (see TakeBackNewestRun) with the busy status while the
// files are restored.
CommandOutcome UndoNewestRun(Form1& form, Ui& ui, DamagedRuns damaged);

// "Rückgängig": UndoNewestRun without skipping a damaged run.
CommandOutcome butRückgängig_Click(Form1& form, Ui& ui);

}  // namespace trawlex
