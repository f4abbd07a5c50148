#pragma once

#include "common/Result.h"
#include "replace/ChangeReview.h"

#include <QAbstractTableModel>
#include <QWidget>

#include <cstdint>
#include <vector>

class QLabel;
class QPushButton;
class QTableView;

namespace trawlex {

class ResultsModel;

// The changes of the file chosen among a preview's results: each with a tick, its line number,
// and the line before and after, the removed text marked red and struck through, the new text
// marked green, control characters as pictures. The ticks are the results' own, so that the
// file's row shows at once whether all, some or none of its changes will be made.
class ChangesModel final : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column {
        Line,
        Before,
        After,
        ColumnCount,
    };
    // The line with its marks, as HTML, for the delegate that draws it.
    static constexpr int kMarkedRole = Qt::UserRole + 1;

    explicit ChangesModel(ResultsModel& results, QObject* parent = nullptr);

    // The changes of the results' row `row`; -1 and none to show nothing.
    void Show(int row, std::vector<ShownChange> changes);
    int ShownRow() const { return row_; }
    std::int64_t LineOf(int change) const {
        return changes_[static_cast<std::size_t>(change)].line;
    }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;

private:
    ResultsModel& results_;
    int row_ = -1;
    std::vector<ShownChange> changes_;
};

class ChangesView final : public QWidget {
    Q_OBJECT

public:
    explicit ChangesView(ResultsModel& results, QWidget* parent = nullptr);

    // Shows the changes of the results' row `row`; `shownPath` names the file.
    void Fill(int row, const Result<std::vector<ShownChange>>& changes, const QString& shownPath);
    void ShowNote(const QString& note);
    void Reset();
    int ShownRow() const { return model_->ShownRow(); }

    QTableView& Table() { return *table_; }

Q_SIGNALS:
    // The person asked to open the file at this line.
    void openLine(std::int64_t line);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ShowCount();

    ResultsModel& results_;
    ChangesModel* model_ = nullptr;
    QLabel* heading_ = nullptr;
    QPushButton* all_ = nullptr;
    QPushButton* none_ = nullptr;
    QTableView* table_ = nullptr;
    QString shownPath_;
};

}  // namespace trawlex
