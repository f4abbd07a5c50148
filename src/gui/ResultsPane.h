#pragma once

#include "RunLines.h"

#include "common/Run.h"
#include "replace/ChangeReview.h"
#include "search/HitLines.h"
#include "search/RunView.h"

#include <QList>
#include <QThreadPool>
#include <QWidget>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

class QLabel;
class QLineEdit;
class QModelIndex;
class QPushButton;
class QSortFilterProxyModel;
class QTableView;

namespace trawlex {

struct Form1;
class ChangesView;
class HitLinesView;
class ResultsModel;
class Ui;

// The results of the last run: the files it found or changed, in a table the person sorts and
// filters; the lines of the chosen file that hold the hits, in the hit-line view it is given;
// and a line under the table that says how far a run is and, at its end, what it did. Enter or
// a double click on a row or a line opens the file at that line with the record's editor
// command, which "Editor …" sets.
class ResultsPane final : public QWidget {
    Q_OBJECT

public:
    // `record` holds the editor command and `desktop` opens the editor; both, and `hitLines`,
    // outlive the pane.
    ResultsPane(Form1& record, Ui& desktop, HitLinesView& hitLines, QWidget* parent = nullptr);
    // A reader still at work hands its lines to this pane; it is waited for.
    ~ResultsPane() override;

    // A run starts: nothing of the last one stays, and its figures start from zero.
    void BeginRun();
    // What a run reports, on the window's thread.
    void Begin(const ResultsHeading& heading);
    void Append(const std::vector<FoundFile>& rows);
    void ShowProgress(const RunProgress& progress);
    // The run has ended; `message` is the last message it showed.
    void FinishRun(CommandOutcome outcome, const QString& message);
    // Whether the run got as far as its files, and what kind of rows it listed.
    const RunTally& Tally() const { return tally_; }

    // While a command runs, the progress line is its own and the editor command cannot be
    // changed: the command's record takes the setting's place when it ends.
    void SetCommandRunning(bool running);

    // F3 and Shift+F3: the next or previous hit line, on into the next or previous file.
    void StepHit(int direction);

    // The widths of the columns beside the path, as the person left them, and taken from the
    // settings; a width chosen so is kept over the fitting to the first rows of a run.
    QList<int> ColumnWidths() const;
    void SetColumnWidths(const QList<int>& widths);

    // The rows as the person sees them (sorted, filtered).
    QSortFilterProxyModel& ShownResults() { return *shownResults_; }
    ResultsModel& Results() { return *results_; }

    // The changes of the file chosen among a preview's rows, shown where the hit lines stand.
    ChangesView& Changes() { return *changes_; }

Q_SIGNALS:
    // A preview's rows are shown (true), or those of another run: the changes take the hit
    // lines' place.
    void reviewShown(bool shown);
    // "Ausgewählte ersetzen": the person wants the ticked changes made.
    void applyRequested(const QString& list, const std::vector<ChosenChanges>& chosen);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildTable();
    void ShowColumnsFor(ResultsKind kind);
    void FitColumnsToRows();
    void ShowHitLinesOf(const QModelIndex& shownIndex);
    void ShowChangesOf(int row, const FoundFile& found);
    void ShowChoice();
    void OpenChosenRow();
    void OpenShownLine(std::int64_t line);
    void AskEditorCommand();

    Form1& record_;
    Ui& desktop_;
    HitLinesView& hitLines_;

    QLineEdit* filter_ = nullptr;
    QPushButton* editor_ = nullptr;
    ResultsModel* results_ = nullptr;
    QSortFilterProxyModel* shownResults_ = nullptr;
    QTableView* table_ = nullptr;
    QLabel* progress_ = nullptr;
    ChangesView* changes_ = nullptr;
    QPushButton* chooseAll_ = nullptr;
    QPushButton* chooseNone_ = nullptr;
    QPushButton* applyChosen_ = nullptr;
    bool running_ = false;

    RunTally tally_;
    std::array<int, 8> widths_{};  // per column; 0 where none was chosen
    bool widthsChosen_ = false;
    bool fitting_ = false;     // the pane itself is sizing the columns
    bool fitPending_ = false;  // the first rows of the run are still to come
    std::string shownPath_;    // the file whose lines the view shows
    int hitLinesRequest_ = 0;  // answers of earlier rows are dropped
    QThreadPool hitLineReaders_;
};

}  // namespace trawlex
