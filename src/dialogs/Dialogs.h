#pragma once

#include "app/Ui.h"

#include <QString>

#include <cstdint>
#include <string>

namespace trawlex {

struct Form1;

// The modes of the directory dialog: what a chosen directory changes.
inline constexpr int kLocationMode = 0;
inline constexpr int kReplaceProfileMode = 1;
inline constexpr int kSearchProfileMode = 2;

// The buttons that open the directory dialog in its three modes.
void butSuchort_Click(Form1& form, Ui& ui);
void butSuchprofilEinstellen_Click(Form1& form, Ui& ui);
void butErsatzprofilAuswählen_Click(Form1& form, Ui& ui);

// When the dialog opens: an empty or vanished search location becomes the home directory, and
// the directory the dialog is to show for its mode comes back (empty for an unknown mode).
QString Form2_Load(Form1& form);

// Every directory the person picks in the dialog takes effect at once: the search location, or
// a profile directory with its list filled afresh.
void Dir1_Change(Form1& form, const QString& directory);

// "Speichern": keeps an existing search location in the location list.
void butSaveSuchort_Click(Form1& form);

// Where the help page lies: beside the program, or in the share directory of an installation.
// Empty when it is in neither.
std::string HelpPagePath();

// "Hilfe": opens the help page in the browser named in the record, or in the desktop's program
// for it when none is named.
void ButHelp_Click(const Form1& form, Ui& ui, const std::string& helpPage);

// "Browser-Pfad einstellen" and the result file's "Einstellen".
void comHTMLBrowser_Click(Form1& form, Ui& ui);
void butZieldatei_Click(Form1& form, Ui& ui);

// Opens a profile in the record's editor, as a result opens, when one is chosen and exists;
// otherwise does nothing.
void LaunchWithFile(const Form1& form, Ui& ui, const QString& directory, const QString& fileName);
void butEDIT_Click(const Form1& form, Ui& ui);

// Opens a file of the results at a line: with the editor command of the record, its "{file}"
// and "{line}" filled in (the file is added at the end when the command does not name it), or
// in the desktop's default application when there is none. A failure is reported.
void OpenResultInEditor(const Form1& form, Ui& ui, const QString& path, std::int64_t line);
void butEDIT2_Click(const Form1& form, Ui& ui);

void butcopyright_Click(Ui& ui);

}  // namespace trawlex
