#pragma once

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

    const ResultsHeading& Heading() const { return heading_; }
    const FoundFile& Row(int row) const { return rows_[static_cast<std::size_t>(row)]; }
    // The path as the table shows it: below the location, without it.
    QString ShownPath(const FoundFile& found) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    ResultsHeading heading_;
    QString locationPrefix_;
    std::vector<FoundFile> rows_;
    std::vector<QString> shownPaths_;  // made once: sorting by path asks for each many times
};

}  // namespace trawlex
