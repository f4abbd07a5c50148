#pragma once

#include "replace/ChangeReview.h"
#include "search/RunView.h"

#include <QAbstractTableModel>

#include <vector>

namespace trawlex {

// The rows of the last search, in report order, for a table view: one entry per row, no widget
// per row, so that a tree with a hundred thousand hits stays quick to scroll, sort and filter.
// Each column sorts by its value (Qt::UserRole), not by its shown text.
class ResultsModel final : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column {
        Number,
        File,
        Term,
        FirstPosition,
        Count,
        Title,
        Modified,
        Length,
        ColumnCount,
    };

    using QAbstractTableModel::QAbstractTableModel;

    void Begin(const ResultsHeading& heading);
    void Append(std::vector<FoundFile> rows);

    // A preview that wrote a change list: each file and each change has a tick, all set at
    // first. A file's ticks are held only once the person unticks one of its changes.
    bool Choosing() const { return choosing_; }
    bool Chosen(int row, std::size_t change) const;
    void Choose(int row, std::size_t change, bool ticked);
    void ChooseFile(int row, bool ticked);
    void ChooseAll(bool ticked);
    std::int64_t ChosenCount() const { return chosen_; }
    std::int64_t ChosenIn(int row) const;
    // The ticked changes, file by file in the list's order.
    std::vector<ChosenChanges> Choice() const;

    const ResultsHeading& Heading() const { return heading_; }
    const FoundFile& Row(int row) const { return rows_[static_cast<std::size_t>(row)]; }
    // The path as the table shows it: below the location, without it.
    QString ShownPath(const FoundFile& found) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;

Q_SIGNALS:
    // The ticks of a file changed (-1: of every file).
    void choiceChanged(int row);

private:
    // How many of a file's changes are ticked, and which, once not all or none are.
    struct FileChoice {
        std::int64_t ticked = 0;
        std::vector<bool> ticks;
    };
    void SetTicked(int row, std::int64_t ticked);

    ResultsHeading heading_;
    bool choosing_ = false;
    std::vector<FileChoice> choices_;
    std::int64_t chosen_ = 0;
    QString locationPrefix_;
    std::vector<FoundFile> rows_;
    std::vector<QString> shownPaths_;  // made once: sorting by path asks for each many times
};

}  // namespace trawlex
