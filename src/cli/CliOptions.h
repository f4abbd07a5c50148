#pragma once

#include "CommandLine.h"
#include "app/Form1.h"

#include <QString>
#include <QStringList>

#include <map>
#include <optional>
#include <utility>
#include <vector>

// What trawlex-cli accepts: its commands with their options, and the checks and fields of the
// option values. The parser in CommandLine.cpp reads the arguments by these rules.
namespace trawlex {

enum class OptionKind { Value, Flag };

struct OptionRule {
    OptionKind kind;
    bool required;
};

using OptionRules = std::map<QString, OptionRule>;

struct CommandRule {
    CliCommand command;
    OptionRules options;
};

// Every command by its name.
const std::map<QString, CommandRule>& Commands();

// The long name of an option given by its short one (-l, -0), or the name itself.
QString LongName(const QString& name);

// The preview command of a replacement command.
std::optional<CliCommand> PreviewOf(CliCommand command);

bool IsSearchCommand(CliCommand command);
bool IsPreviewCommand(CliCommand command);

// The field an option fills; flags set their option.
void ApplyOption(Form1& form, const QString& name, const QString& value);

// What is wrong with the options given, for a usage error: filter values, output forms, a code
// or combination that is none of the window's items.
std::optional<QString> FilterProblem(const std::vector<std::pair<QString, QString>>& options);
std::optional<QString> OutputProblem(CliCommand command, const QStringList& given);
std::optional<QString> CheckItem(const QString& name, const QString& value);

// The options whose values are text rather than paths; and the one that may be empty.
bool IsText(const QString& name);
bool MayBeEmpty(const QString& name);

}  // namespace trawlex
