#pragma once

#include "app/Ui.h"
#include "replace/Ersatzroutinen.h"

namespace trawlex {

struct Form1;

// The job of the window's replace command for the record's fields.
ReplaceJob JobFromForm(const Form1& form, CompareMode mode, Scope scope);

// Whether a preview writes its page: always, unless it writes a change list and no page is named.
bool PreviewWritesPage(const Form1& form);
// Where the preview page goes: beside the result file, its name with "-Vorschau" before the
// extension, or where the command line named it; empty for no page.
QString PreviewPagePath(const Form1& form);
// Makes a replacement job its preview, with the page and change list the record names.
void MakePreview(ReplaceJob& job, const Form1& form);
// Hands the preview page to the browser when the window asks for it.
void ShowPreviewInBrowser(const Form1& form, Ui& ui);

// The location's own files, with the texts a person typed.
CommandOutcome ReplaceDirFlat(Ui& ui, const QString& path, const QString& term,
                              const QString& replacement, const QString& mask, CompareMode mode);

// The location and every directory below it, with the record's location, term, replacement and
// mask.
CommandOutcome ReplaceTree(const Form1& form, Ui& ui, CompareMode mode);

// The replace button: checks the same four inputs as the search, then replaces the term in the
// location's files, or in the whole tree when subdirectories are ticked, with the busy status.
CommandOutcome butErsetzen_Click(Form1& form, Ui& ui);

// "Vorschau" beside "Ersetzen": the same walk with the same inputs, but no file is written; the
// preview page goes to the result file and, when asked, to the browser.
CommandOutcome butVorschau_Click(Form1& form, Ui& ui);

// "Ausgewählte ersetzen" and `apply`: makes the changes of the record's change list, with a
// journal that undo takes back as one run.
CommandOutcome butAusgewaehlteErsetzen_Click(Form1& form, Ui& ui);

}  // namespace trawlex
