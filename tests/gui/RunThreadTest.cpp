// Commands run off the window's thread: the inputs rest and the status blinks while one long
// file is read, what a run reports reaches the table without waiting for the window, and Esc,
// closing the window or its going away stop the running command.

#include "WindowDriver.h"

#include "app/StatusLine.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <clocale>
#include <functional>

namespace trawlex {
namespace {

const QColor kOrange(255, 150, 0);

// Every control the person can type into, choose or press.
QList<QWidget*> Inputs(const QWidget& window) {
    QList<QWidget*> inputs;
    for (QWidget* widget : window.findChildren<QWidget*>()) {
        const bool isInput = qobject_cast<QAbstractButton*>(widget) != nullptr ||
                             qobject_cast<QComboBox*>(widget) != nullptr ||
                             qobject_cast<QLineEdit*>(widget) != nullptr;
        // The text field inside an editable combo box follows its combo box.
        if (isInput && qobject_cast<QComboBox*>(widget->parentWidget()) == nullptr) {
            inputs.append(widget);
        }
    }
    return inputs;
}

// The colour the status label's background is painted in, read from the pixels at its right
// end, where the left-aligned caption never reaches.
QColor PaintedBackground(QLabel& label) {
    const QImage image = label.grab().toImage();
    return image.pixelColor(image.width() - 4, image.height() / 2);
}

// What a command run from the window hears when it yields: at its first yield, or, yielding the
// way an engine does between files, once it is asked to stop (within 3 s). `meanwhile` runs
// before the command ends.
Flow Heard(Form1Window& window, bool untilStopped, const std::function<void()>& meanwhile = {}) {
    Flow heard = Flow::Continue;
    Run(window, [&](Form1&, Ui& ui) {
        QElapsedTimer clock;
        clock.start();
        do {
            heard = ui.Run().CheckStop();
            QThread::msleep(1);
        } while (untilStopped && heard == Flow::Continue && clock.elapsed() < 3000);
        if (meanwhile) {
            meanwhile();
        }
        return heard == Flow::Stop ? CommandOutcome::Stopped : CommandOutcome::Completed;
    });
    return heard;
}

}  // namespace

class RunThreadTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // As in the program: the engine formats dates and numbers by the process locale.
    void initTestCase() { std::setlocale(LC_ALL, ""); }
    void commandRunsWithInputsDisabledAndStatusBlinking();
    void escapeAndClosingStopOnlyTheRunningCommand();
    void reportsReachTheTableWithoutWaitingForTheWindow();
    void windowGoingAwayStopsTheRunningCommand();
};

void RunThreadTest::commandRunsWithInputsDisabledAndStatusBlinking() {
    QStringList messages;
    Form1Window window;
    Prepare(window, messages);
    auto* status = Control<QLabel>(window, QStringLiteral("Status"));
    auto* terms = Control<QComboBox>(window, QStringLiteral("TexSuchbegriff"));
    terms->setEditText(QStringLiteral("getippt"));
    const QList<QWidget*> inputs = Inputs(*Control<QWidget>(window, QStringLiteral("Eingaben")));
    QVERIFY(inputs.size() > 30);

    // The window looks while the command is busy with one long file and never yields.
    QStringList enabledDuringRun;
    bool statusEnabled = false;
    bool sawOrange = false;
    QStringList listShownDuringRun;
    bool editorEnabledDuringRun = true;
    std::atomic<bool> seen = false;
    QTimer look;
    look.setInterval(5);
    QObject::connect(&look, &QTimer::timeout, [&] {
        if (status->text() != QStringLiteral("Suche ...")) {
            return;
        }
        enabledDuringRun.clear();
        for (QWidget* input : inputs) {
            if (input->isEnabled()) {
                enabledDuringRun.append(input->objectName());
            }
        }
        statusEnabled = status->isEnabled();
        listShownDuringRun = ItemTexts(*terms);
        editorEnabledDuringRun =
            Control<QPushButton>(window, QStringLiteral("butEditorBefehl"))->isEnabled();
        sawOrange = PaintedBackground(*status) == kOrange;
        seen = sawOrange;
    });
    look.start();
    QString termSeen;
    const CommandOutcome outcome = Run(window, [&](Form1& form, Ui& ui) {
        termSeen = form.TexSuchbegriff.text;
        form.TexSuchbegriff.list.append(form.TexSuchbegriff.text);
        BusyStart(form, ui, QStringLiteral("Suche ..."));
        QElapsedTimer clock;
        clock.start();
        while (!seen && clock.elapsed() < 3000) {
            QThread::msleep(5);
        }
        BusyEnd(form, ui);
        form.TexSuchbegriff.text = QStringLiteral("vom Befehl");
        return CommandOutcome::Completed;
    });
    look.stop();

    QCOMPARE(outcome, CommandOutcome::Completed);
    QCOMPARE(termSeen, QStringLiteral("getippt"));
    QCOMPARE(enabledDuringRun, QStringList());
    QVERIFY(!editorEnabledDuringRun);
    QVERIFY(statusEnabled);
    QVERIFY(sawOrange);
    // The fields show what the command left once, when it ends; while it runs they keep what
    // was typed, and only the status follows the command.
    QCOMPARE(listShownDuringRun, QStringList());
    for (QWidget* input : inputs) {
        QVERIFY2(input->isEnabled(), qPrintable(input->objectName()));
    }
    QCOMPARE(terms->currentText(), QStringLiteral("vom Befehl"));
    QCOMPARE(ItemTexts(*terms), QStringList({QStringLiteral("getippt")}));
    // Ending brings back the idle look at once, whatever the phase; the phase rule itself is
    // the status line's tests' matter.
    QCOMPARE(status->text(), QStringLiteral("Bereit"));
    QCOMPARE(PaintedBackground(*status), window.palette().color(QPalette::Button));
    QVERIFY(!Control<QTimer>(window, QStringLiteral("Timer1"))->isActive());
}

void RunThreadTest::escapeAndClosingStopOnlyTheRunningCommand() {
    QStringList messages;
    Form1Window window;
    Prepare(window, messages);
    QVERIFY(QTest::qWaitForWindowActive(&window));

    // Esc outside a run is not kept for the next command.
    QTest::keyClick(&window, Qt::Key_Escape);
    QCOMPARE(Heard(window, false), Flow::Continue);

    // The key arrives while the command yields, as a person's key press would; the next command
    // starts afresh.
    QTimer::singleShot(0, &window, [&window] { QTest::keyClick(&window, Qt::Key_Escape); });
    QCOMPARE(Heard(window, true), Flow::Stop);
    QCOMPARE(Heard(window, false), Flow::Continue);
    QVERIFY(window.isVisible());

    // Closing the window during a run stops the command as Esc does, and the window waits for
    // it before it goes.
    QTimer::singleShot(0, &window, [&window] { window.close(); });
    bool visibleWhileRunning = false;
    QCOMPARE(Heard(window, true, [&] { visibleWhileRunning = window.isVisible(); }), Flow::Stop);
    QVERIFY(visibleWhileRunning);
    QVERIFY(!window.isVisible());
}

// What a run reports (status, rows, progress) never waits for the window's thread: the command
// reports a thousand rows while the window is busy with something else, and the table shows
// them while the command still runs.
void RunThreadTest::reportsReachTheTableWithoutWaitingForTheWindow() {
    QStringList messages;
    Form1Window window;
    Prepare(window, messages);
    constexpr int kRows = 1000;
    auto* progress = Control<QLabel>(window, QStringLiteral("Fortschritt"));

    std::atomic<bool> windowBusy = false;
    std::atomic<bool> reported = false;
    bool reportedWhileBusy = false;
    std::atomic<bool> rowsSeen = false;
    QString statusSeen;
    QTimer look;
    look.setInterval(5);
    QObject::connect(&look, &QTimer::timeout, [&] {
        if (window.CommandRunning() && window.ShownResults().rowCount() == kRows &&
            progress->text().startsWith(QStringLiteral("1.000 Dateien, "))) {
            statusSeen = Control<QLabel>(window, QStringLiteral("Status"))->text();
            rowsSeen = true;
        }
    });
    look.start();
    // A slot that keeps the window's thread, as a slow repaint would, until the command has
    // reported every row; a report that waited for the window would keep it there for 10 s.
    QTimer::singleShot(0, &window, [&] {
        windowBusy = true;
        QElapsedTimer clock;
        clock.start();
        while (!reported && clock.elapsed() < 10000) {
            QThread::msleep(1);
        }
        reportedWhileBusy = reported;
    });
    const CommandOutcome outcome = Run(window, [&](Form1& form, Ui& ui) {
        QElapsedTimer clock;
        clock.start();
        while (!windowBusy && clock.elapsed() < 3000) {
            QThread::msleep(1);
        }
        BusyStart(form, ui, QStringLiteral("Suche ..."));
        RunView& run = ui.Run();
        run.ResultsBegin({QStringLiteral("/ort"), {QStringLiteral("Fund")}});
        for (int row = 1; row <= kRows; ++row) {
            FoundFile found;
            found.number = row;
            found.path = "/ort/f" + std::to_string(row) + ".htm";
            found.count = 1;
            run.ShowFound(found);
            run.ShowProgress({row, std::int64_t{1000} * row, row});
            if (run.CheckStop() == Flow::Stop) {
                return CommandOutcome::Stopped;
            }
        }
        reported = true;
        clock.start();
        while (!rowsSeen && clock.elapsed() < 5000) {
            QThread::msleep(5);
        }
        BusyEnd(form, ui);
        return CommandOutcome::Completed;
    });
    look.stop();

    QCOMPARE(outcome, CommandOutcome::Completed);
    QVERIFY(windowBusy);
    QVERIFY(reportedWhileBusy);
    QVERIFY(rowsSeen);
    QCOMPARE(statusSeen, QStringLiteral("Suche ..."));
    QCOMPARE(window.ShownResults().rowCount(), kRows);
    QCOMPARE(Control<QLabel>(window, QStringLiteral("Status"))->text(), QStringLiteral("Bereit"));
}

// A window that goes while a command runs, even one waiting for the person's answer, stops the
// command and waits for it instead of hanging or leaving it behind.
void RunThreadTest::windowGoingAwayStopsTheRunningCommand() {
    QStringList messages;
    std::atomic<bool> asking = false;
    Flow heardAfterwards = Flow::Continue;
    {
        Form1Window window;
        Prepare(window, messages);
        QVERIFY(window.StartCommand([&](Form1&, Ui& ui) {
            asking = true;
            ui.ShowMessage(QStringLiteral("Weiter?"), MessageIcon::None);
            heardAfterwards = ui.Run().CheckStop();
            return CommandOutcome::Stopped;
        }));
        // The window's thread takes no event meanwhile, so the message is never shown.
        while (!asking) {
            QThread::msleep(1);
        }
        QThread::msleep(20);
    }
    QCOMPARE(heardAfterwards, Flow::Stop);
    QCOMPARE(messages, QStringList());
}

}  // namespace trawlex

QTEST_MAIN(trawlex::RunThreadTest)
#include "RunThreadTest.moc"
