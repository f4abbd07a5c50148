#pragma once

#include "app/Form1.h"
#include "app/Ui.h"
#include "search/RunView.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace trawlex {

// The status line as a command leaves it: its caption, its colour and whether it blinks.
struct RunStatus {
    QString text;
    StatusColour background = StatusColour::ButtonFace;
    bool blinking = false;
};

// Runs one command at a time on a thread of its own, on a copy of the window's record, and tells
// the window by signals what the command reports. The runner lives on the window's thread and
// emits every signal there.
//
// What a run reports (its status, the rows it finds, its progress) is gathered without waiting
// for the window and handed over in batches, at most every kDeliveryIntervalMilliseconds, so that
// neither side waits for the other. Only what needs the person's answer (a message box to be
// acknowledged, a file or directory dialog, and starting a program, which answers whether it
// started) is carried out on the window's thread while the command waits, through the `desktop`
// the runner is given.
class Runner final : public QObject {
    Q_OBJECT

public:
    using Command = std::function<CommandOutcome(Form1&, Ui&)>;

    // Batches of rows and progress follow each other no closer than this while a command runs:
    // the person sees the same table, and a tree of many small files is not slowed down by a
    // redraw per file.
    static constexpr int kDeliveryIntervalMilliseconds = 50;

    // `desktop` answers on the window's thread; it must outlive the runner.
    explicit Runner(Ui& desktop, QObject* parent = nullptr);
    // Asks a running command to stop, answers what it still asks with "cancelled" and waits for
    // it to end.
    ~Runner() override;

    Runner(const Runner&) = delete;
    Runner& operator=(const Runner&) = delete;

    // Starts `command` on a copy of `record`; false while another command runs.
    bool Start(const Form1& record, Command command);
    bool Running() const { return running_; }

    // The person asked the running command to stop: its next CheckStop answers Flow::Stop. A
    // new command starts without the request.
    void RequestStop() { stopRequested_ = true; }
    bool StopRequested() const { return stopRequested_; }

    // The command's record as it left it; read it once `finished` is emitted, not during a run.
    const Form1& Record() const;

Q_SIGNALS:
    // The status caption, its colour or the blinking changed.
    void statusChanged(const RunStatus& status);
    // A search begins: the rows that follow belong to it.
    void resultsBegun(const ResultsHeading& heading);
    // Rows the search found since the last batch, in report order.
    void found(const std::vector<FoundFile>& rows);
    void progressed(const RunProgress& progress);
    // The command has ended; Record() holds what it left. Every report came before.
    void finished(CommandOutcome outcome);

private:
    class WorkerUi;

    // What the command reported since the last batch.
    struct Pending {
        std::optional<RunStatus> status;
        std::optional<ResultsHeading> heading;
        std::vector<FoundFile> rows;
        std::optional<RunProgress> progress;
    };

    // On the command's thread: gather a report and see that a batch is delivered.
    template <typename Change>
    void Report(Change change);
    // On the command's thread: run `work` on the window's thread and wait for it.
    void AskWindow(const std::function<void()>& work);
    // On the command's thread: run `work` on the window's thread, without waiting.
    void TellWindow(std::function<void()> work);

    void Deliver();
    void DeliverNow();
    void OnThreadFinished();

    Ui& desktop_;
    std::unique_ptr<WorkerUi> workerUi_;
    std::thread thread_;
    bool running_ = false;  // from Start until `finished`; on the window's thread
    Command command_;
    Form1 record_;  // the command's; the command's thread alone touches it while it runs
    CommandOutcome outcome_ = CommandOutcome::Completed;
    std::atomic<bool> stopRequested_ = false;

    std::mutex pendingMutex_;
    Pending pending_;
    bool deliveryPosted_ = false;  // a batch is on its way to the window's thread
    QElapsedTimer sinceDelivery_;
    QTimer deliveryTimer_;

    std::mutex callMutex_;
    std::condition_variable callAnswered_;
    bool answered_ = false;
    bool abandoned_ = false;  // the runner goes away: nothing more is asked of the window
};

}  // namespace trawlex
