#pragma once

#include "app/Ui.h"
#include "search/RunView.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <mutex>
#include <utility>
#include <vector>

class QWidget;

namespace trawlex {

class Form3;

// The window's answer to what a command needs: message boxes over the window, the status label
// and the blink timer, detached processes, the file dialogs, the directory dialog and the about
// window. A command may run on a thread of its own: then every one of these is carried out on
// the window's thread while the command waits, and the rows and the progress it reports wait
// for the window to take them.
class WidgetUi final : public Ui, public RunView {
public:
    // Receives a message instead of a modal box, so that tests can read it without a dialog.
    using MessageHook = std::function<void(const QString& text, MessageIcon icon)>;
    // Starts a program instead of the operating system, so that tests can see what would start.
    using ProcessStarter =
        std::function<bool(const QString& program, const QStringList& arguments)>;
    // Opens a file instead of the desktop's default application.
    using EditorOpener = std::function<bool(const QString& path)>;
    // Answers a file dialog instead of showing it.
    enum class FileDialogKind {
        Open,
        Save,
    };
    using FileDialogHook =
        std::function<FileDialogAnswer(FileDialogKind kind, const FileDialogRequest& request)>;
    // Takes the place of the modal directory dialog; it may call Dir1_Change itself, as the
    // person's choices in the dialog would.
    using LocationDialogHook = std::function<void(Form1& form, const QString& title)>;

    // Yields that follow the previous one more closely than this are skipped: the person sees
    // the same window, and a tree of many small files is not slowed down by a repaint per file.
    static constexpr qint64 kYieldIntervalMilliseconds = 15;

    // `window` parents the message boxes and the dialogs; `statusChanged` brings the record's
    // status into it, and while a command runs the whole record, so that the choices made in the
    // directory dialog show in the window at once.
    WidgetUi(QWidget& window, std::function<void()> statusChanged);

    void ShowMessage(const QString& text, MessageIcon icon) override;
    RunView& Run() override { return *this; }
    Flow CheckStop() override;
    void StatusChanged() override;
    bool StartDetached(const QString& program, const QStringList& arguments) override;
    bool OpenWithDefaultApplication(const QString& path) override;
    FileDialogAnswer AskOpenFile(const FileDialogRequest& request) override;
    FileDialogAnswer AskSaveFile(const FileDialogRequest& request) override;
    void ShowLocationDialog(Form1& form, const QString& title) override;
    void ShowAboutWindow() override;
    void ShowProgress(const RunProgress& progress) override;
    void ResultsBegin(const ResultsHeading& heading) override;
    void ShowFound(FoundFile found) override;

    // Runs `work` on the window's thread, waiting for it when called from a command's thread.
    void OnWindowThread(const std::function<void()>& work);
    // True while `work` of a command's thread runs: the command waits, so its record may be read.
    bool InCommandCall() const { return inCommandCall_; }

    // What a search told since the last call: the rows it found and how far it is.
    std::vector<FoundFile> TakeFound();
    RunProgress Progress() const;
    // Called on the window's thread when a search begins, before any of its rows is taken.
    void SetResultsBegun(std::function<void(const ResultsHeading&)> begun) {
        resultsBegun_ = std::move(begun);
    }

    // The person asked the running command to stop; its next yield answers Flow::Stop.
    void RequestStop() { stopRequested_ = true; }
    // A new command starts without the stop request of the previous one.
    void ClearStopRequest() { stopRequested_ = false; }
    bool StopRequested() const { return stopRequested_; }

    // An empty hook, starter or opener restores the real message box, process start, default
    // application, file dialog or directory dialog.
    void SetMessageHook(MessageHook hook) { messageHook_ = std::move(hook); }
    void SetProcessStarter(ProcessStarter starter) { processStarter_ = std::move(starter); }
    void SetEditorOpener(EditorOpener opener) { editorOpener_ = std::move(opener); }
    void SetFileDialogHook(FileDialogHook hook) { fileDialogHook_ = std::move(hook); }
    void SetLocationDialogHook(LocationDialogHook hook) { locationDialogHook_ = std::move(hook); }

    // The caption of every message box.
    static QString MessageTitle();

private:
    FileDialogAnswer AskFile(FileDialogKind kind, const FileDialogRequest& request);

    QWidget& window_;
    std::function<void()> statusChanged_;
    MessageHook messageHook_;
    ProcessStarter processStarter_;
    EditorOpener editorOpener_;
    FileDialogHook fileDialogHook_;
    LocationDialogHook locationDialogHook_;
    // The one about window while it is open; it deletes itself when closed.
    QPointer<Form3> aboutWindow_;
    QElapsedTimer sinceLastYield_;
    std::atomic<bool> stopRequested_ = false;
    bool inCommandCall_ = false;
    std::function<void(const ResultsHeading&)> resultsBegun_;
    mutable std::mutex takenMutex_;
    std::vector<FoundFile> found_;
    RunProgress progress_;
};

}  // namespace trawlex
