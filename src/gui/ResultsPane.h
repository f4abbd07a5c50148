#pragma once

#include "common/Run.h"
#include "search/HitLines.h"
#include "search/RunView.h"

#include <QThreadPool>
#include <QWidget>

#include <cstdint>
#include <string>
#include <vector>

class QLabel;
class QModelIndex;
class QPlainTextEdit;
class QPushButton;
class QSortFilterProxyModel;
class QTableView;

namespace trawlex {

struct Form1;
class ResultsModel;
class Ui;

// Below the window's inputs: the files the last search found, in a table the person sorts and
// filters; the lines of the chosen file that hold the hits; a line under them that says how far
// a run is. A double click on a row or a line opens the file at that line with the record's
// editor command, which "Editor …" sets.
class ResultsPane final : public QWidget {
    Q_OBJECT

public:
    // `record` holds the editor command and `desktop` opens the editor; both outlive the pane.
    ResultsPane(Form1& record, Ui& desktop, QWidget* parent = nullptr);
    // A reader still at work hands its lines to this pane; it is waited for.
    ~ResultsPane() override;

    // What a run reports, on the window's thread.
    void Begin(const ResultsHeading& heading);
    void Append(const std::vector<FoundFile>& rows);
    void ShowProgress(const RunProgress& progress);

    // While a command runs, the progress line is its own and the editor command cannot be
    // changed: the command's record takes the setting's place when it ends.
    void SetCommandRunning(bool running);

    // The rows as the person sees them (sorted, filtered) and the hit lines.
    QSortFilterProxyModel& ShownResults() { return *shownResults_; }
    QPlainTextEdit& HitLines() { return *hitLines_; }

private:
    void ShowHitLinesOf(const QModelIndex& shownIndex);
    void FillHitLines(const FoundFile& found, const Result<FileHitLines>& lines);
    void OpenShownLine(std::int64_t line);
    void AskEditorCommand();

    Form1& record_;
    Ui& desktop_;

    QPushButton* editor_ = nullptr;
    ResultsModel* results_ = nullptr;
    QSortFilterProxyModel* shownResults_ = nullptr;
    QTableView* table_ = nullptr;
    QPlainTextEdit* hitLines_ = nullptr;
    QLabel* progress_ = nullptr;

    std::vector<std::int64_t> shownLineNumbers_;  // per block of the hit-line pane
    std::string shownPath_;                       // the file whose lines the pane shows
    int hitLinesRequest_ = 0;                     // answers of earlier rows are dropped
    QThreadPool hitLineReaders_;
};

}  // namespace trawlex
