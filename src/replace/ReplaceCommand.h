#pragma once

#include "app/Ui.h"

namespace trawlex {

struct Form1;

// The replace button: checks the same four inputs as the search, then replaces the term in the
// location's files, or in the whole tree when subdirectories are ticked, with the busy status.
CommandOutcome butErsetzen_Click(Form1& form, Ui& ui);

// "Vorschau" beside "Ersetzen": the same walk with the same inputs, but no file is written; the
// preview page goes to the result file and, when asked, to the browser.
CommandOutcome butVorschau_Click(Form1& form, Ui& ui);

}  // namespace trawlex
