#pragma once

#include "app/Ui.h"

namespace trawlex {

// The command line's surroundings: messages go to stderr; an interrupt (Ctrl+C), SIGTERM or SIGHUP
// stops the run after the current file so that the report still ends properly.
class ConsoleUi : public Ui {
public:
    void ShowMessage(const QString& text, MessageIcon icon) override;
    Flow YieldToEventLoop() override;
    void StatusChanged() override {}
    bool StartDetached(const QString& program, const QStringList& arguments) override;
    // The command line runs no command that opens a window.
    bool OpenWithDefaultApplication(const QString&) override { return false; }
    FileDialogAnswer AskOpenFile(const FileDialogRequest&) override { return {}; }
    FileDialogAnswer AskSaveFile(const FileDialogRequest&) override { return {}; }
    void ShowLocationDialog(Form1&, const QString&) override {}
    void ShowAboutWindow() override {}

    static void StopOnInterrupt();
};

}  // namespace trawlex
