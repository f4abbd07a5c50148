#pragma once

#include "app/Form1.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace trawlex {

enum class CliCommand {
    Search,
};

// What the command line asked for: a command and the record filled from its options.
struct CliRequest {
    CliCommand command = CliCommand::Search;
    Form1 form;
};

struct CliParse {
    std::optional<CliRequest> request;  // empty when only help was asked for or usage was wrong
    QString output;                     // help text, or the usage error
    bool usageError = false;
};

// Reads the arguments after the program name. Options take their value as the next argument
// or after "=".
CliParse ParseCommandLine(const QStringList& arguments);

QString HelpText();

}  // namespace trawlex
