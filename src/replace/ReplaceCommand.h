#pragma once

#include "app/Ui.h"

namespace trawlex {

struct Form1;

// The replace button: checks the same four inputs as the search, then replaces the term in the
// location's files, or in the whole tree when subdirectories are ticked, with the busy status.
CommandOutcome butErsetzen_Click(Form1& form, Ui& ui);

}  // namespace trawlex
