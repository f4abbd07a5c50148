#pragma once

#include <QString>
#include <QStringList>

namespace trawlex {

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
    Completed,   // ran to its end
    Incomplete,  // ran to its end, but some files could not be processed (the Ui was told)
    Refused,     // the inputs were missing or wrong; nothing was done
    Failed,      // began but could not finish (the report could not be written)
    Stopped,     // the person stopped it
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

    // The status caption, its background or the blink timer changed in the record.
    virtual void StatusChanged() = 0;

    // Starts a program on its own, without a shell and without waiting for it.
    virtual bool StartDetached(const QString& program, const QStringList& arguments) = 0;
};

}  // namespace trawlex
