#pragma once

#include "app/Ui.h"
#include "search/RunView.h"

#include <chrono>

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
    bool lineDrawn_ = false;
    std::chrono::steady_clock::time_point started_;
    std::chrono::steady_clock::time_point drawn_{};
};

}  // namespace trawlex
