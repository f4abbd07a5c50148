#pragma once

#include <QSplitter>

namespace trawlex {

struct Form1;
class HitLinesView;
class ResultsPane;
class Ui;

// The window below its title: the inputs at the top left, as they were designed, the hit lines
// of the chosen result to their right, and the results table across the whole width below,
// with a handle between the two rows that the person can move.
class WorkArea final : public QSplitter {
    Q_OBJECT

public:
    // `inputs` keeps its size; `record` and `desktop` outlive the area.
    WorkArea(QWidget& inputs, Form1& record, Ui& desktop, QWidget* parent = nullptr);

    ResultsPane& Results() { return *results_; }
    HitLinesView& HitLines() { return *hitLines_; }

    // Gives the window that holds the area its first size: most of the screen, so that the
    // table has room, but not a wall of white on a big one.
    void SizeWindow(QWidget& window) const;

    // The heights of the two rows and the column widths, from the record and into it.
    void ShowSizesOf(const Form1& form);
    void KeepSizesIn(Form1& form) const;

private:
    HitLinesView* hitLines_ = nullptr;
    ResultsPane* results_ = nullptr;
    bool sizesChosen_ = false;  // the person moved the handle, or the settings did
};

}  // namespace trawlex
