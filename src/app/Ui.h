#pragma once

#include "common/CaseFold.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <ctime>
#include <string>

namespace trawlex {

struct Form1;

enum class MessageIcon {
    None,
    Warning,
};

// What a running command is told when it yields: go on, or stop because the person asked.
enum class Flow {
    Continue,
    Stop,
};

// How a command ended, for callers that report it (the command line's exit status).
enum class CommandOutcome {
    Completed,    // ran to its end
    Incomplete,   // ran to its end, but some files could not be processed (the Ui was told)
    Refused,      // the inputs were missing or wrong; nothing was done
    Failed,       // began but could not finish (the report could not be written)
    Stopped,      // the person stopped it
    NothingToDo,  // ran to its end, but nothing would change (a preview) or was left to undo
    Invalid,      // an input could not be understood (a pattern that does not compile); nothing
                  // was done
};

// Whether a command got as far as producing what it makes (a report, a page, changed files).
inline bool Produced(CommandOutcome outcome) {
    return outcome != CommandOutcome::Refused && outcome != CommandOutcome::Invalid &&
           outcome != CommandOutcome::Failed;
}

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

// How far a running command is: the files looked at, their bytes, and those with hits (or,
// for a replacement, changed).
struct RunProgress {
    std::int64_t files = 0;
    std::int64_t bytes = 0;
    std::int64_t hits = 0;
};

// What a search looks for, told before its first hit, so that the window can show each hit in
// its line.
struct ResultsHeading {
    QString location;   // as the person typed it; the files are shown relative to it
    QStringList terms;  // the term, or a profile's terms
    CompareMode mode = CompareMode::Exact;
    bool regex = false;
    bool profile = false;  // each row names the term it holds
};

// One row of the report as the window's table shows it: a file with hits (in a profile run, a
// file and one of its terms).
struct FoundFile {
    std::int64_t number = 0;
    std::string path;  // the file name bytes as the search joined them
    std::int64_t firstPosition = 0;
    std::int64_t count = 0;
    QString title;
    std::time_t modified = 0;
    std::int64_t length = 0;
    int term = 0;  // in the heading's terms
};

// What commands need from their surroundings. The window answers with message boxes and its
// event loop; the command line and the tests answer without a window.
class Ui {
public:
    virtual ~Ui() = default;

    // A message box with an OK button only.
    virtual void ShowMessage(const QString& text, MessageIcon icon) = 0;

    // Lets the surroundings process pending events between two files.
    virtual Flow YieldToEventLoop() = 0;

    // Told after every file; shown where the surroundings have room for it.
    virtual void ShowProgress(const RunProgress&) {}

    // A search begins (the window empties its table) and finds a file, in report order.
    virtual void ResultsBegin(const ResultsHeading&) {}
    virtual void ShowFound(FoundFile) {}

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
