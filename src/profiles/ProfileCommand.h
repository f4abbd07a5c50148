#pragma once

#include "app/Ui.h"

namespace trawlex {

struct Form1;

// "Ausführen" in the "Suchprofil:" row: searches the location's files for every term of the
// chosen profile and writes the profile report.
CommandOutcome butSuchprofilausführen_Click(Form1& form, Ui& ui);

}  // namespace trawlex
