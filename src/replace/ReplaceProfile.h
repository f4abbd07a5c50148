#pragma once

#include "Ersatzroutinen.h"
#include "app/Ui.h"

#include <QString>

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace trawlex {

struct Form1;

struct ReplaceProfile {
    std::vector<ReplacePair> pairs;       // in file order; pairs with an empty term are left out
    std::optional<QString> unpairedTerm;  // a last term without its replacement
};

// The pairs of a replace profile: its fields taken two by two, decoded as the profile is
// written (UTF-8 or Windows-1252).
ReplaceProfile ReadReplacePairs(std::string_view profileBytes);

// "Ausführen" in the "Ersatzprofil:" row: applies the pairs of the chosen profile one after
// another, each a full walk over the location (and its tree when subdirectories are ticked),
// so a later pair sees what an earlier one inserted. Silent when no profile is chosen.
CommandOutcome butErsatzprofileAusführen_Click(Form1& form, Ui& ui);

// "Vorschau" in the "Ersatzprofil:" row: the effect of all pairs in sequence, as a preview page.
CommandOutcome butErsatzprofilVorschau_Click(Form1& form, Ui& ui);

}  // namespace trawlex
