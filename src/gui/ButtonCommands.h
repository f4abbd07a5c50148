#pragma once

#include "Runner.h"

#include "replace/ChangeReview.h"

#include <string>
#include <vector>

namespace trawlex {

// What a command is to the results: a run over the location's files, which starts from an empty
// table and says at its end what it did; the same, where the replacement typed in the window is
// kept for later; or a dialog, which leaves the results as they are.
enum class CommandKind {
    Run,
    ReplacesTerm,
    Dialog,
};

// The command a button of the window starts.
struct ButtonCommand {
    const char16_t* name;  // the button's object name
    Runner::Command command;
    CommandKind kind;
};

// Every command button of the window; "INI-Datei speichern" writes to `settingsPath`, which must
// outlive the commands and is read when one runs.
std::vector<ButtonCommand> ButtonCommands(const std::string& settingsPath);

// "Ausgewählte ersetzen": writes the chosen lines of a preview's change list to `chosenList` and
// makes them, as apply does.
Runner::Command ApplyChosenCommand(QString list, std::vector<ChosenChanges> chosen,
                                   QString chosenList);

}  // namespace trawlex
