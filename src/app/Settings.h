#pragma once

#include "common/Result.h"

#include <string>
#include <string_view>

namespace trawlex {

struct Form1;
class Ui;

// Where "Trawlex.INI" lives: beside the program when its directory is writable or already holds
// the file (a portable install), otherwise in the person's configuration directory, since an
// installed program's directory is not writable.
std::string SettingsFilePath();

// The directory of the running executable, with a closing separator.
std::string ProgramDirectory();

// Applies the settings text to the record. Lines are read by position; a missing line or "="
// gives an empty value. A wrong first line shows a message and changes nothing. Returns false
// in that case.
bool ApplySettings(Form1& form, Ui& ui, std::string_view bytes);

// Reads the settings file; a file that cannot be read is reported and changes nothing.
bool LoadSettings(Form1& form, Ui& ui, const std::string& path);

// The settings text for the record, in Windows-1252 with CR LF.
Result<std::string> SettingsText(const Form1& form);

// Writes the settings file as one step (never half-written).
Status SaveSettings(const Form1& form, const std::string& path);

// The button "INI-Datei speichern": saves, and names the path when that fails.
void ComSaveIni_Click(const Form1& form, Ui& ui, const std::string& path);

}  // namespace trawlex
