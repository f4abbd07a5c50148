#pragma once

#include "common/Run.h"

#include <QString>
#include <QStringList>

namespace trawlex {

struct Form1;
class RunView;

// A file dialog as a command asks for it. The filter text is shown as it stands; the patterns
// say which files the dialog lists.
struct FileDialogRequest {
    QString title;
    QString filterText;
    QStringList patterns;
    QString initialName;
};

struct FileDialogAnswer {
    enum class Kind {
        Chosen,
        Cancelled,
        Failed,
    };
    Kind kind = Kind::Cancelled;
    QString path;    // the chosen path
    QString reason;  // why the dialog failed
};

// What the desktop offers a command: message boxes, dialogs, starting programs, the status
// line. The window answers with its widgets; the command line and the tests without a window.
class Ui {
public:
    virtual ~Ui() = default;

    // A message box with an OK button only.
    virtual void ShowMessage(const QString& text, MessageIcon icon) = 0;

    // What a run the command starts reports to, and asks whether to go on.
    virtual RunView& Run() = 0;

    // The status caption, its background or the blink timer changed in the record.
    virtual void StatusChanged() = 0;

    // Starts a program on its own, without a shell and without waiting for it.
    virtual bool StartDetached(const QString& program, const QStringList& arguments) = 0;

    // Opens a file in the desktop's default application for it (the editor of a profile),
    // without waiting.
    virtual bool OpenWithDefaultApplication(const QString& path) = 0;

    // Modal file dialogs: choose an existing file, or a path to save to (asking before an
    // existing file would be replaced).
    virtual FileDialogAnswer AskOpenFile(const FileDialogRequest& request) = 0;
    virtual FileDialogAnswer AskSaveFile(const FileDialogRequest& request) = 0;

    // The modal directory dialog for the record's LocationDialogMode. It opens on the directory
    // that Form2_Load names and calls Dir1_Change for every directory the person picks.
    virtual void ShowLocationDialog(Form1& form, const QString& title) = 0;

    // The modeless about window; a second call shows the same window.
    virtual void ShowAboutWindow() = 0;
};

}  // namespace trawlex
