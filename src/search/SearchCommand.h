#pragma once

#include "app/Ui.h"

namespace trawlex {

struct Form1;

// The check the search and replace commands share: the report path, term, mask and location
// must all be filled; otherwise the person is told and nothing changes.
bool RequireSearchFields(const Form1& form, Ui& ui);

// The message a command gives when an input it needs is empty.
void ShowMissingValues(Ui& ui);

// The search button: checks the four inputs, records the term, runs the search with the busy
// status and hands the report to the browser.
CommandOutcome butSuchen_Click(Form1& form, Ui& ui);

}  // namespace trawlex
