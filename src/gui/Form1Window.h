#pragma once

#include "ButtonCommands.h"
#include "FieldBindings.h"
#include "Runner.h"
#include "WidgetUi.h"
#include "app/Form1.h"

#include <QPointer>
#include <QTemporaryDir>
#include <QWidget>

#include <string>
#include <vector>

class QCloseEvent;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRect;
class QShortcut;
class QSortFilterProxyModel;
class QTimer;

namespace trawlex {

class WorkArea;

// The main window. Its widgets show the state record `Form1`; before a command runs the window
// copies the widgets into the record, and afterwards it copies the record back, so the commands
// never touch a widget and run the same without a window. A command runs on a thread of its
// own, on a copy of the record, so that the window keeps blinking and taking the results while
// one long file is read; beside the inputs stand the lines of the chosen result that hold the
// hits, below them the table of the files found or changed.
class Form1Window final : public QWidget {
    Q_OBJECT

public:
    using Command = Runner::Command;

    using CommandKind = trawlex::CommandKind;

    explicit Form1Window(QWidget* parent = nullptr);
    ~Form1Window() override;

    Form1& Record() { return record_; }
    WidgetUi& WindowUi() { return ui_; }

    // Brings the record into its starting state, with the settings file at `settingsPath` when
    // it exists, and shows it; called once, before show(). "INI-Datei speichern" writes there.
    void Form_Load(const std::string& settingsPath);

    // Copies every input widget into the record.
    void ReadWidgets();
    // Copies the record into every widget, the status label and the blink timer included.
    void WriteWidgets();

    // Starts one command on the widgets' current inputs and returns at once; false while another
    // runs. The inputs stay disabled until it ends, so that the command sees one consistent set
    // of them; then the record it leaves is shown and commandFinished is emitted.
    bool StartCommand(Command command, CommandKind kind = CommandKind::Run);
    bool CommandRunning() const { return runner_.Running(); }

    // The results table's rows as the person sees them (sorted, filtered) and the hit lines.
    QSortFilterProxyModel& ShownResults();
    QPlainTextEdit& HitLinesPane();

Q_SIGNALS:
    // A command started by StartCommand (or a button) has ended, and the window shows the record
    // it left.
    void commandFinished(CommandOutcome outcome);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildSearchRows();
    void BuildOptionRows();
    void BuildResultFrame();
    void BuildSpecialCharacterRows();
    void BuildWorkArea();
    void ConnectCommands();
    void ConnectRunner();

    QLabel* AddLabel(QWidget& parent, const QString& name, const QString& caption,
                     const QRect& geometry);
    QComboBox* AddCombo(QWidget& parent, const QString& name, const QRect& geometry,
                        ComboField Form1::*field, QStringList Form1::*offered = nullptr);
    QLineEdit* AddTextBox(QWidget& parent, const QString& name, const QRect& geometry,
                          QString Form1::*field, QStringList Form1::*offered = nullptr);
    QPushButton* AddButton(QWidget& parent, const QString& name, const QString& caption,
                           const QRect& geometry);
    void AddOption(QWidget& parent, const QString& name, const QString& caption,
                   const QRect& geometry, bool Form1::*field);
    QGroupBox* AddFrame(const QString& name, const QString& caption, const QRect& geometry);

    void WriteStatus();
    void ShowRunStatus(const RunStatus& status);
    void CommandEnded(CommandOutcome outcome);
    void RememberRun(CommandOutcome outcome);
    void SetInputsEnabled(bool enabled);

    Form1 record_;
    WidgetUi ui_;

    FieldBindings fields_;
    // Everything the person can type into, choose or press; disabled while a command runs.
    std::vector<QWidget*> inputs_;

    QComboBox* comDateifilter_ = nullptr;
    QLabel* status_ = nullptr;
    QTimer* timer1_ = nullptr;
    QShortcut* stopShortcut_ = nullptr;

    QWidget* panel_ = nullptr;
    WorkArea* work_ = nullptr;

    std::string settingsPath_;
    // The window's previews write their change lists here, and the person's choice of them.
    QTemporaryDir review_;
    QPointer<QWidget> focusedBeforeRun_;
    bool closeRequested_ = false;
    CommandKind runKind_ = CommandKind::Dialog;
    // Declared last, so that it goes first: a command still running is stopped and waited for
    // while everything it may still ask for is there.
    Runner runner_;
};

}  // namespace trawlex
