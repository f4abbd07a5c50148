#pragma once

#include <QString>

#include <string>

namespace trawlex {

struct ComboField;
struct Form1;
class Ui;

// Stops the blink timer and fills the lists that never change: file types, special
// characters and combinations.
void FillFixedLists(Form1& form);

// The location, report path and mask of a first start, without a settings file.
void ApplyFirstStartDefaults(Form1& form);

// Brings every field into its starting state before the window shows: the fixed lists, the
// settings file or the first-start defaults, and the two profile lists.
void Form_Load(Form1& form, Ui& ui, const std::string& settingsPath);

// Gives the profile path its closing separator and lists the "*.TXT" files of that directory
// into the list; a directory that does not exist leaves the list as it is.
void FillProfileList(QString& path, ComboField& list);

}  // namespace trawlex
