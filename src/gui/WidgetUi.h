#pragma once

#include "app/Ui.h"

#include <QElapsedTimer>
#include <QString>
#include <QStringList>

#include <functional>
#include <utility>

class QWidget;

namespace trawlex {

// The window's answer to what a command needs: message boxes over the window, the window's
// event loop between two files, the status label and the blink timer, and detached processes.
class WidgetUi final : public Ui {
public:
    // Receives a message instead of a modal box, so that tests can read it without a dialog.
    using MessageHook = std::function<void(const QString& text, MessageIcon icon)>;
    // Starts a program instead of the operating system, so that tests can see what would start.
    using ProcessStarter =
        std::function<bool(const QString& program, const QStringList& arguments)>;

    // Yields that follow the previous one more closely than this are skipped: the person sees
    // the same window, and a tree of many small files is not slowed down by a repaint per file.
    static constexpr qint64 kYieldIntervalMilliseconds = 15;

    // `window` parents the message boxes; `statusChanged` brings the record's status into it.
    WidgetUi(QWidget& window, std::function<void()> statusChanged);

    void ShowMessage(const QString& text, MessageIcon icon) override;
    Flow YieldToEventLoop() override;
    void StatusChanged() override;
    bool StartDetached(const QString& program, const QStringList& arguments) override;

    // The person asked the running command to stop; its next yield answers Flow::Stop.
    void RequestStop() { stopRequested_ = true; }
    // A new command starts without the stop request of the previous one.
    void ClearStopRequest() { stopRequested_ = false; }
    bool StopRequested() const { return stopRequested_; }

    // An empty hook or starter restores the real message box or process start.
    void SetMessageHook(MessageHook hook) { messageHook_ = std::move(hook); }
    void SetProcessStarter(ProcessStarter starter) { processStarter_ = std::move(starter); }

    // The caption of every message box.
    static QString MessageTitle();

private:
    QWidget& window_;
    std::function<void()> statusChanged_;
    MessageHook messageHook_;
    ProcessStarter processStarter_;
    QElapsedTimer sinceLastYield_;
    bool stopRequested_ = false;
};

}  // namespace trawlex
