#pragma once

#include "app/Ui.h"

namespace trawlex {

struct Form1;

// The search button: checks the four inputs, records the term, runs the search with the busy
// status and hands the report to the browser.
CommandOutcome butSuchen_Click(Form1& form, Ui& ui);

}  // namespace trawlex
