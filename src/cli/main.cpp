#include "CommandLine.h"
#include "ConsoleUi.h"

#include <QCoreApplication>

#include <clocale>
#include <cstdio>
#include <optional>
#include <vector>

int main(int argc, char* argv[]) {
    const QCoreApplication application(argc, argv);
    // Dates and numbers in the report follow the person's locale.
    std::setlocale(LC_ALL, "");

    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();
    std::vector<bool> undecodable = trawlex::UndecodableArguments(argc, argv);
    if (undecodable.size() != static_cast<std::size_t>(arguments.size())) {
        undecodable.clear();
    }
    trawlex::CliParse parse = trawlex::ParseCommandLine(arguments, undecodable);
    if (!parse.request) {
        std::fputs(parse.output.toLocal8Bit().constData(), parse.usageError ? stderr : stdout);
        return parse.usageError ? 2 : 0;
    }
    trawlex::ConsoleUi ui;
    if (const trawlex::OutputChoice choice = trawlex::OutputChoiceOf(*parse.request);
        choice.format != trawlex::OutputFormat::None) {
        ui.PrintResults(choice);
    }
    for (const auto& [name, value] : parse.request->options) {
        if (name == u"--quiet") {
            ui.SilenceProgress();
        }
    }
    std::optional<trawlex::Form1> form = trawlex::PrepareForm(*parse.request, ui);
    if (!form) {
        return trawlex::ExitStatus(parse.request->command, trawlex::CommandOutcome::Refused);
    }
    trawlex::ConsoleUi::StopOnInterrupt();
    const trawlex::CommandOutcome outcome = trawlex::RunCommand(parse.request->command, *form, ui);
    ui.FinishResults();
    return trawlex::ExitStatus(parse.request->command, outcome);
}
