#pragma once

#include "WidgetUi.h"
#include "app/Form1.h"
#include "search/HitLines.h"
#include "search/SearchCommand.h"

#include <QThreadPool>
#include <QWidget>

#include <functional>
#include <string>
#include <vector>

class QCheckBox;
class QCloseEvent;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QRect;
class QShortcut;
class QSortFilterProxyModel;
class QTableView;
class QTimer;

namespace trawlex {

class ResultsModel;

// The main window. Its widgets show the state record `Form1`; before a command runs the window
// copies the widgets into the record, and afterwards it copies the record back, so the commands
// never touch a widget and run the same without a window. A command runs on a thread of its
// own, on a copy of the record, so that the window keeps blinking and taking the results while
// one long file is read; below the inputs the table lists the files found, and the lines of the
// chosen file that hold the hits.
class Form1Window final : public QWidget {
    Q_OBJECT

public:
    using Command = std::function<CommandOutcome(Form1&, Ui&)>;

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

    // Runs one command on the widgets' current inputs and returns when it has ended; the window
    // goes on meanwhile. The inputs stay disabled until then, so that the command sees one
    // consistent set of them.
    CommandOutcome RunCommand(const Command& command);
    bool CommandRunning() const { return commandRunning_; }

    // The results table's rows as the person sees them (sorted, filtered) and the hit lines.
    QSortFilterProxyModel& ShownResults() { return *shownResults_; }
    QPlainTextEdit& HitLinesPane() { return *hitLines_; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    struct ComboBinding {
        QComboBox* widget;
        ComboField Form1::*field;
    };
    struct TextBinding {
        QLineEdit* widget;
        QString Form1::*field;
    };
    struct OptionBinding {
        QRadioButton* widget;
        bool Form1::*field;
    };

    void BuildSearchRows();
    void BuildOptionRows();
    void BuildResultFrame();
    void BuildSpecialCharacterRows();
    void BuildResultsArea();
    void ConnectCommands();
    void TakeResults();
    void SyncFromCommand();
    void ShowHitLinesOf(const QModelIndex& shownIndex);
    void FillHitLines(const FoundFile& found, const Result<FileHitLines>& lines);
    void OpenShownLine(std::int64_t line);
    void AskEditorCommand();

    QLabel* AddLabel(QWidget& parent, const QString& name, const QString& caption,
                     const QRect& geometry);
    QComboBox* AddCombo(QWidget& parent, const QString& name, const QRect& geometry,
                        ComboField Form1::*field);
    QLineEdit* AddTextBox(QWidget& parent, const QString& name, const QRect& geometry,
                          QString Form1::*field);
    QPushButton* AddButton(QWidget& parent, const QString& name, const QString& caption,
                           const QRect& geometry);
    QRadioButton* AddOption(QWidget& parent, const QString& name, const QString& caption,
                            const QRect& geometry, bool Form1::*field);
    QGroupBox* AddFrame(const QString& name, const QString& caption, const QRect& geometry);

    void WriteStatus();
    void OnStatusChanged();
    void SetInputsEnabled(bool enabled);

    Form1 record_;
    Form1 running_;  // the running command's record; read only while the command waits
    WidgetUi ui_;

    std::vector<ComboBinding> combos_;
    std::vector<TextBinding> textBoxes_;
    std::vector<OptionBinding> options_;
    QCheckBox* checkRekursiv_ = nullptr;
    QCheckBox* checkRegex_ = nullptr;
    // Everything the person can type into, choose or press; disabled while a command runs.
    std::vector<QWidget*> inputs_;

    QPushButton* comSaveIni_ = nullptr;
    QComboBox* comDateifilter_ = nullptr;
    QLabel* status_ = nullptr;
    QTimer* timer1_ = nullptr;
    QShortcut* stopShortcut_ = nullptr;

    QWidget* panel_ = nullptr;
    ResultsModel* results_ = nullptr;
    QSortFilterProxyModel* shownResults_ = nullptr;
    QTableView* table_ = nullptr;
    QPlainTextEdit* hitLines_ = nullptr;
    QLabel* progress_ = nullptr;
    QTimer* taker_ = nullptr;
    std::vector<std::int64_t> shownLineNumbers_;  // per block of the hit-line pane
    std::string shownPath_;                       // the file whose lines the pane shows
    int hitLinesRequest_ = 0;                     // answers of earlier rows are dropped
    QThreadPool hitLineReaders_;

    std::string settingsPath_;
    bool commandRunning_ = false;
    bool closeRequested_ = false;
};

}  // namespace trawlex
