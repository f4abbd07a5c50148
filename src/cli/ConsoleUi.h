#pragma once

#include "ScriptOutput.h"
#include "app/Ui.h"
#include "search/RunView.h"

#include <chrono>
#include <optional>

namespace trawlex {

// The command line's surroundings: messages go to stderr; an interrupt (Ctrl+C), SIGTERM or SIGHUP
// stops the run after the current file, or inside a big one, so that the report still ends
// properly.
class ConsoleUi : public Ui, public RunView {
public:
    ConsoleUi();
    ~ConsoleUi() override;
    ConsoleUi(const ConsoleUi&) = delete;
    ConsoleUi& operator=(const ConsoleUi&) = delete;

    void ShowMessage(const QString& text, MessageIcon icon) override;
    RunView& Run() override { return *this; }
    Flow CheckStop() override;
    StopCheck WorkerStopCheck() override;
    // One line on stderr, redrawn in place, when stderr is a terminal; cleared before each
    // message and at the end, and never written to a pipe or a file.
    void ShowProgress(const RunProgress& progress) override;
    void SilenceProgress() { progressShown_ = false; }
    // Results go to stdout as well, in the chosen form.
    void PrintResults(OutputChoice choice) { output_.emplace(choice, stdout); }
    // Ends that output once the command has ended.
    void FinishResults();
    void ResultsBegin(const ResultsHeading& heading) override;
    void ShowFound(FoundFile found) override;
    bool ShowsFound() const override { return output_.has_value(); }
    bool WantsLines() const override { return output_ && output_->WantsLines(); }
    void NoteProblem(const RunProblem& problem) override;
    void StatusChanged() override {}
    bool StartDetached(const QString& program, const QStringList& arguments) override;
    // The command line runs no command that opens a window.
    bool OpenWithDefaultApplication(const QString&) override { return false; }
    FileDialogAnswer AskOpenFile(const FileDialogRequest&) override { return {}; }
    FileDialogAnswer AskSaveFile(const FileDialogRequest&) override { return {}; }
    void ShowLocationDialog(Form1&, const QString&) override {}
    void ShowAboutWindow() override {}

    static void StopOnInterrupt();

private:
    void ClearProgress();

    bool progressShown_;
    std::optional<ScriptOutput> output_;
    bool searching_ = false;  // a search, which stops when nobody reads its output any more
    bool lineDrawn_ = false;
    std::chrono::steady_clock::time_point started_;
    std::chrono::steady_clock::time_point drawn_{};
};

}  // namespace trawlex
