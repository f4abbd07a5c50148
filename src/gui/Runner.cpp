#include "Runner.h"

#include <QMetaObject>

#include <utility>

namespace trawlex {

// What the command sees of the desktop while it runs on its thread. Reports are gathered for the
// window without waiting; what needs an answer waits for the window's thread.
class Runner::WorkerUi final : public Ui, public RunView {
public:
    explicit WorkerUi(Runner& runner) : runner_(runner) {}

    // Ui and RunView both have it; the person acknowledges it either way.
    void ShowMessage(const QString& text, MessageIcon icon) override {
        runner_.AskWindow([&] { runner_.desktop_.ShowMessage(text, icon); });
    }

    RunView& Run() override { return *this; }

    Flow CheckStop() override { return runner_.stopRequested_ ? Flow::Stop : Flow::Continue; }

    StopCheck WorkerStopCheck() override { return StopCheck(runner_.stopRequested_); }

    void ShowProgress(const RunProgress& progress) override {
        runner_.Report([&](Pending& pending) { pending.progress = progress; });
    }

    void ResultsBegin(const ResultsHeading& heading) override {
        // Rows not yet taken belong to the search before.
        runner_.Report([&](Pending& pending) {
            pending.rows.clear();
            pending.heading = heading;
        });
    }

    void ShowFound(FoundFile found) override {
        runner_.Report([&](Pending& pending) { pending.rows.push_back(std::move(found)); });
    }

    // The command changed the status in its record, which only its own thread touches now.
    void StatusChanged() override {
        const Form1& form = runner_.record_;
        RunStatus status{form.Status, form.StatusBackground, form.Timer1Enabled};
        runner_.Report([&](Pending& pending) { pending.status = std::move(status); });
    }

    bool StartDetached(const QString& program, const QStringList& arguments) override {
        bool started = false;
        runner_.AskWindow([&] { started = runner_.desktop_.StartDetached(program, arguments); });
        return started;
    }

    bool OpenWithDefaultApplication(const QString& path) override {
        bool opened = false;
        runner_.AskWindow([&] { opened = runner_.desktop_.OpenWithDefaultApplication(path); });
        return opened;
    }

    FileDialogAnswer AskOpenFile(const FileDialogRequest& request) override {
        FileDialogAnswer answer;
        runner_.AskWindow([&] { answer = runner_.desktop_.AskOpenFile(request); });
        return answer;
    }

    FileDialogAnswer AskSaveFile(const FileDialogRequest& request) override {
        FileDialogAnswer answer;
        runner_.AskWindow([&] { answer = runner_.desktop_.AskSaveFile(request); });
        return answer;
    }

    // The dialog changes the command's record while the command waits for it.
    void ShowLocationDialog(Form1& form, const QString& title) override {
        runner_.AskWindow([&] { runner_.desktop_.ShowLocationDialog(form, title); });
    }

    // A modeless window: nothing to wait for.
    void ShowAboutWindow() override {
        runner_.TellWindow([&desktop = runner_.desktop_] { desktop.ShowAboutWindow(); });
    }

private:
    Runner& runner_;
};

Runner::Runner(Ui& desktop, QObject* parent)
    : QObject(parent), desktop_(desktop), workerUi_(std::make_unique<WorkerUi>(*this)) {
    deliveryTimer_.setSingleShot(true);
    connect(&deliveryTimer_, &QTimer::timeout, this, &Runner::DeliverNow);
}

Runner::~Runner() {
    if (!thread_.joinable()) {
        return;
    }
    stopRequested_ = true;
    {
        const std::lock_guard lock(callMutex_);
        abandoned_ = true;
    }
    callAnswered_.notify_all();
    thread_.join();
    // The batches and calls still posted to this object go with it.
}

bool Runner::Start(const Form1& record, Command command) {
    if (Running()) {
        return false;
    }
    record_ = record;
    command_ = std::move(command);
    outcome_ = CommandOutcome::Completed;
    stopRequested_ = false;
    {
        const std::lock_guard lock(pendingMutex_);
        pending_ = {};
        deliveryPosted_ = false;
    }
    sinceDelivery_.invalidate();
    running_ = true;
    thread_ = std::thread([this] {
        outcome_ = command_(record_, *workerUi_);
        // Taken on the window's thread after every report posted before it.
        QMetaObject::invokeMethod(this, &Runner::OnThreadFinished, Qt::QueuedConnection);
    });
    return true;
}

const Form1& Runner::Record() const {
    Q_ASSERT(!Running());
    return record_;
}

template <typename Change>
void Runner::Report(Change change) {
    const std::lock_guard lock(pendingMutex_);
    change(pending_);
    if (!deliveryPosted_) {
        deliveryPosted_ = true;
        QMetaObject::invokeMethod(this, &Runner::Deliver, Qt::QueuedConnection);
    }
}

void Runner::AskWindow(const std::function<void()>& work) {
    {
        const std::lock_guard lock(callMutex_);
        if (abandoned_) {
            return;
        }
        answered_ = false;
    }
    QMetaObject::invokeMethod(
        this,
        [this, &work] {
            {
                // Taking the lock the command let go of after asking orders what it wrote
                // before asking (the record a dialog changes) before what `work` reads.
                const std::lock_guard lock(callMutex_);
                if (abandoned_) {
                    return;
                }
            }
            work();
            {
                const std::lock_guard lock(callMutex_);
                answered_ = true;
            }
            callAnswered_.notify_all();
        },
        Qt::QueuedConnection);
    std::unique_lock lock(callMutex_);
    callAnswered_.wait(lock, [this] { return answered_ || abandoned_; });
}

void Runner::TellWindow(std::function<void()> work) {
    QMetaObject::invokeMethod(this, std::move(work), Qt::QueuedConnection);
}

void Runner::Deliver() {
    if (Running() && sinceDelivery_.isValid() &&
        sinceDelivery_.elapsed() < kDeliveryIntervalMilliseconds) {
        // Another batch went out just now; this one follows when the interval is over, with
        // whatever comes meanwhile.
        deliveryTimer_.start(
            static_cast<int>(kDeliveryIntervalMilliseconds - sinceDelivery_.elapsed()));
        return;
    }
    DeliverNow();
}

void Runner::DeliverNow() {
    deliveryTimer_.stop();
    Pending taken;
    {
        const std::lock_guard lock(pendingMutex_);
        taken = std::exchange(pending_, {});
        deliveryPosted_ = false;
    }
    sinceDelivery_.start();
    if (taken.status) {
        Q_EMIT statusChanged(*taken.status);
    }
    if (taken.heading) {
        Q_EMIT resultsBegun(*taken.heading);
    }
    if (!taken.rows.empty()) {
        Q_EMIT found(taken.rows);
    }
    if (taken.progress) {
        Q_EMIT progressed(*taken.progress);
    }
}

void Runner::OnThreadFinished() {
    thread_.join();
    running_ = false;
    command_ = nullptr;
    // What the command reported last, its status at the end included, comes before the end.
    DeliverNow();
    Q_EMIT finished(outcome_);
}

}  // namespace trawlex
