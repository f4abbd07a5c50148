#pragma once

#include "app/Ui.h"
#include "search/RunView.h"

#include <QPointer>
#include <QString>
#include <QStringList>

#include <functional>
#include <utility>

class QWidget;

namespace trawlex {

class Form3;

// The window's answer to what a command needs: message boxes over the window, the status label
// and the blink timer, detached processes, the file dialogs, the directory dialog and the about
// window. It works on the window's thread only; a command on a thread of its own reaches it
// through the Runner, which waits for it only where an answer is needed.
class WidgetUi final : public Ui {
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

    // Shows a record the directory dialog has just changed in the window's widgets.
    using RecordShown = std::function<void(const Form1& form)>;

    // `window` parents the message boxes and the dialogs; `statusChanged` brings the window's
    // record's status into it; `recordShown` shows the choices made in the directory dialog in
    // the window at once, while the command that opened it waits.
    WidgetUi(QWidget& window, std::function<void()> statusChanged, RecordShown recordShown);

    void ShowMessage(const QString& text, MessageIcon icon) override;
    // Nothing runs on the window's thread: what it reports is dropped, and it never stops.
    RunView& Run() override { return idleRun_; }
    void StatusChanged() override;
    bool StartDetached(const QString& program, const QStringList& arguments) override;
    bool OpenWithDefaultApplication(const QString& path) override;
    FileDialogAnswer AskOpenFile(const FileDialogRequest& request) override;
    FileDialogAnswer AskSaveFile(const FileDialogRequest& request) override;
    void ShowLocationDialog(Form1& form, const QString& title) override;
    void ShowAboutWindow() override;

    // An empty hook, starter or opener restores the real message box, process start, default
    // application, file dialog or directory dialog.
    void SetMessageHook(MessageHook hook) { messageHook_ = std::move(hook); }
    void SetProcessStarter(ProcessStarter starter) { processStarter_ = std::move(starter); }
    void SetEditorOpener(EditorOpener opener) { editorOpener_ = std::move(opener); }
    void SetFileDialogHook(FileDialogHook hook) { fileDialogHook_ = std::move(hook); }
    void SetLocationDialogHook(LocationDialogHook hook) { locationDialogHook_ = std::move(hook); }

    // The caption of every message box.
    static QString MessageTitle();

    // The last message shown since it was forgotten, so that the window can repeat why a run
    // did nothing.
    const QString& LastMessage() const { return lastMessage_; }
    void ForgetLastMessage() { lastMessage_.clear(); }

private:
    class IdleRun final : public RunView {
    public:
        explicit IdleRun(WidgetUi& ui) : ui_(ui) {}
        void ShowMessage(const QString& text, MessageIcon icon) override {
            ui_.ShowMessage(text, icon);
        }
        Flow CheckStop() override { return Flow::Continue; }

    private:
        WidgetUi& ui_;
    };

    FileDialogAnswer AskFile(FileDialogKind kind, const FileDialogRequest& request);

    QWidget& window_;
    std::function<void()> statusChanged_;
    RecordShown recordShown_;
    MessageHook messageHook_;
    ProcessStarter processStarter_;
    EditorOpener editorOpener_;
    FileDialogHook fileDialogHook_;
    LocationDialogHook locationDialogHook_;
    // The one about window while it is open; it deletes itself when closed.
    QPointer<Form3> aboutWindow_;
    QString lastMessage_;
    IdleRun idleRun_{*this};
};

}  // namespace trawlex
