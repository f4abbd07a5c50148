#pragma once

#include "app/Ui.h"

namespace trawlex {

struct Form1;

// "Suchen" in the "Sonderzeichen:" row: searches for the control character the code field
// names and writes the usual report. With an empty code field nothing is searched, but the
// status is reset and the existing report goes to the browser as after a search.
CommandOutcome butSuchenSonderzeichen_Click(Form1& form, Ui& ui);

// "Suchen" in the "Kombinationen:" row: searches for a line-break combination. A field that
// names no combination does nothing at all.
CommandOutcome butKombinationenSuchen_Click(Form1& form, Ui& ui);

// "Ersetzen" in the "Sonderzeichen:" row: replaces one control character by another; an empty
// or unknown replacement code stands for the NUL character.
CommandOutcome butErsetzenSonderzeichen_Click(Form1& form, Ui& ui);

// "Ersetzen" in the "Kombinationen:" row, for example CR LF by LF; an empty or unknown
// replacement combination deletes the combination.
CommandOutcome butKombinationenErsetzen_Click(Form1& form, Ui& ui);

// "Vorschau" in the two rows: what the replacement beside it would change, as a preview page.
CommandOutcome butVorschauSonderzeichen_Click(Form1& form, Ui& ui);
CommandOutcome butVorschauKombinationen_Click(Form1& form, Ui& ui);

}  // namespace trawlex
