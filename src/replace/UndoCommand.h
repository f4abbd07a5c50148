#pragma once

#include "app/Ui.h"

namespace trawlex {

struct Form1;

// Takes back the newest replacement run (see TakeBackNewestRun) with the busy status while the
// files are restored.
CommandOutcome UndoNewestRun(Form1& form, Ui& ui, bool skipDamaged);

// "Rückgängig": UndoNewestRun without skipping a damaged run.
CommandOutcome butRückgängig_Click(Form1& form, Ui& ui);

}  // namespace trawlex
