#pragma once

#include "ScriptOutput.h"
#include "app/Form1.h"
#include "app/Ui.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <utility>
#include <vector>

namespace trawlex {

enum class CliCommand {
    Search,
    Replace,
    SearchCode,
    SearchCombination,
    ReplaceCode,
    ReplaceCombination,
    SearchProfile,
    ReplaceProfile,
    // The replace commands with --preview.
    ReplacePreview,
    ReplaceCodePreview,
    ReplaceCombinationPreview,
    ReplaceProfilePreview,
    Undo,
    UndoList,
    UndoSkipDamaged,  // undo --skip-damaged
    Apply,            // apply --changes FILE
};

// What the command line asked for: a command, an optional settings file to start from, and
// the options given, in order.
struct CliRequest {
    CliCommand command = CliCommand::Search;
    std::optional<QString> settingsPath;
    std::vector<std::pair<QString, QString>> options;
};

struct CliParse {
    std::optional<CliRequest> request;  // empty when only help was asked for or usage was wrong
    QString output;                     // help text, or the usage error
    bool usageError = false;
};

// Reads the arguments after the program name. Options take their value as the next argument
// or after "=". `undecodable` marks the arguments whose bytes are no text in the locale's
// encoding; a term, replacement, code or combination among them is refused.
CliParse ParseCommandLine(const QStringList& arguments, const std::vector<bool>& undecodable = {});

// Which of the program's arguments after its name are no text in the locale's encoding.
std::vector<bool> UndecodableArguments(int argc, char* argv[]);

QString HelpText();

// What the request prints on stdout besides its report.
OutputChoice OutputChoiceOf(const CliRequest& request);

// The record a request runs on: the fixed lists and the first-start defaults, or the settings
// file if one was named, then the options. Empty when the settings file could not be read (the
// Ui was told why).
std::optional<Form1> PrepareForm(const CliRequest& request, Ui& ui);

// Runs the request's command on the record, as the window's button would.
CommandOutcome RunCommand(CliCommand command, Form1& form, Ui& ui);

// 0 when the command ran, 1 when it was refused, stopped, failed or found nothing to do; an undo
// that had to leave files as they were, and a pattern that does not compile, answer 2.
int ExitStatus(CliCommand command, CommandOutcome outcome);

}  // namespace trawlex
