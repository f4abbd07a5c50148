#include "ResultsModel.h"

#include "common/Regional.h"
#include "common/text/PathText.h"

#include <QLocale>

namespace trawlex {

void ResultsModel::Begin(const ResultsHeading& heading) {
    beginResetModel();
    heading_ = heading;
    locationPrefix_ = heading.location.isEmpty()
                          ? QString()
                          : PathText(WithTrailingSeparator(NativePath(heading.location)));
    rows_.clear();
    shownPaths_.clear();
    choosing_ = heading.kind == ResultsKind::Preview;
    choices_.clear();
    chosen_ = 0;
    endResetModel();
}

void ResultsModel::Append(std::vector<FoundFile> rows) {
    if (rows.empty()) {
        return;
    }
    const int first = static_cast<int>(rows_.size());
    beginInsertRows({}, first, first + static_cast<int>(rows.size()) - 1);
    for (const FoundFile& found : rows) {
        shownPaths_.push_back(ShownPath(found));
        // A preview without a change list offers nothing to choose.
        const std::int64_t ticked = choosing_ && found.changesAt >= 0 ? found.count : 0;
        choices_.push_back({ticked, {}});
        chosen_ += ticked;
    }
    rows_.insert(rows_.end(), std::make_move_iterator(rows.begin()),
                 std::make_move_iterator(rows.end()));
    endInsertRows();
}

QString ResultsModel::ShownPath(const FoundFile& found) const {
    QString path = PathText(found.path);
    if (!locationPrefix_.isEmpty() && path.startsWith(locationPrefix_)) {
        path.remove(0, locationPrefix_.size());
    }
    return path;
}

int ResultsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int ResultsModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant ResultsModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) {
        return {};
    }
    const FoundFile& found = Row(index.row());
    const auto column = static_cast<Column>(index.column());
    if (role == Qt::TextAlignmentRole) {
        const bool numeric =
            column == Number || column == FirstPosition || column == Count || column == Length;
        return QVariant::fromValue(numeric ? Qt::AlignRight | Qt::AlignVCenter
                                           : Qt::AlignLeft | Qt::AlignVCenter);
    }
    if (role == Qt::CheckStateRole) {
        if (column != Number || !choosing_ || found.changesAt < 0) {
            return {};
        }
        const std::int64_t ticked = ChosenIn(index.row());
        return ticked == 0             ? Qt::Unchecked
               : ticked == found.count ? Qt::Checked
                                       : Qt::PartiallyChecked;
    }
    if (role != Qt::DisplayRole && role != Qt::UserRole && role != Qt::ToolTipRole) {
        return {};
    }
    const bool sortKey = role == Qt::UserRole;
    switch (column) {
        case Number:
            return QVariant::fromValue<qlonglong>(found.number);
        case File:
            return role == Qt::ToolTipRole ? PathText(found.path)
                                           : shownPaths_[static_cast<std::size_t>(index.row())];
        case Term:
            return heading_.terms.value(found.term);
        case FirstPosition:
            return sortKey
                       ? QVariant::fromValue<qlonglong>(found.firstPosition)
                       : QVariant(QLocale().toString(static_cast<qlonglong>(found.firstPosition)));
        case Count:
            return sortKey ? QVariant::fromValue<qlonglong>(found.count)
                           : QVariant(QLocale().toString(static_cast<qlonglong>(found.count)));
        case Title:
            return found.title;
        case Modified:
            return sortKey ? QVariant::fromValue<qlonglong>(found.modified)
                           : QVariant(FormatFileMoment(found.modified));
        case Length:
            return sortKey ? QVariant::fromValue<qlonglong>(found.length)
                           : QVariant(QLocale().toString(static_cast<qlonglong>(found.length)));
        case ColumnCount:
            break;
    }
    return {};
}

QVariant ResultsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
        return QAbstractTableModel::headerData(section, orientation, role);
    }
    static const char16_t* const kHeads[] = {u"Nr.",
                                             u"Datei",
                                             u"Suchbegriff",
                                             u"1. Fund an Position",
                                             u"H\u00E4ufigkeit",
                                             u"Titel",
                                             u"zuletzt ge\u00E4ndert am",
                                             u"Dateil\u00E4nge"};
    // A replacement counts what it replaced, or would.
    if (section == Count && IsReplacement(heading_.kind)) {
        return QStringLiteral("Ersetzungen");
    }
    return section >= 0 && section < ColumnCount ? QString::fromUtf16(kHeads[section]) : QString();
}

Qt::ItemFlags ResultsModel::flags(const QModelIndex& index) const {
    Qt::ItemFlags flags = QAbstractTableModel::flags(index);
    if (index.isValid() && index.column() == Number && choosing_ &&
        Row(index.row()).changesAt >= 0) {
        flags |= Qt::ItemIsUserCheckable;
    }
    return flags;
}

bool ResultsModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::CheckStateRole || !(flags(index) & Qt::ItemIsUserCheckable)) {
        return false;
    }
    // A click on a half-ticked file ticks all of it.
    ChooseFile(index.row(), value.value<Qt::CheckState>() != Qt::Unchecked);
    return true;
}

std::int64_t ResultsModel::ChosenIn(int row) const {
    return choices_[static_cast<std::size_t>(row)].ticked;
}

bool ResultsModel::Chosen(int row, std::size_t change) const {
    const FileChoice& choice = choices_[static_cast<std::size_t>(row)];
    if (choice.ticks.empty()) {
        return choice.ticked > 0;
    }
    return choice.ticks[change];
}

void ResultsModel::SetTicked(int row, std::int64_t ticked) {
    FileChoice& choice = choices_[static_cast<std::size_t>(row)];
    chosen_ += ticked - choice.ticked;
    choice.ticked = ticked;
    if (ticked == 0 || ticked == Row(row).count) {
        choice.ticks = {};
    }
    const QModelIndex cell = index(row, Number);
    Q_EMIT dataChanged(cell, cell, {Qt::CheckStateRole});
    Q_EMIT choiceChanged(row);
}

void ResultsModel::Choose(int row, std::size_t change, bool ticked) {
    FileChoice& choice = choices_[static_cast<std::size_t>(row)];
    const auto count = static_cast<std::size_t>(Row(row).count);
    if (change >= count || Chosen(row, change) == ticked) {
        return;
    }
    if (choice.ticks.empty()) {
        choice.ticks.assign(count, choice.ticked > 0);
    }
    choice.ticks[change] = ticked;
    SetTicked(row, choice.ticked + (ticked ? 1 : -1));
}

void ResultsModel::ChooseFile(int row, bool ticked) {
    if (Row(row).changesAt >= 0) {
        SetTicked(row, ticked ? Row(row).count : 0);
    }
}

void ResultsModel::ChooseAll(bool ticked) {
    for (int row = 0; row < rowCount(); ++row) {
        FileChoice& choice = choices_[static_cast<std::size_t>(row)];
        const std::int64_t now = ticked && Row(row).changesAt >= 0 ? Row(row).count : 0;
        chosen_ += now - choice.ticked;
        choice = {now, {}};
    }
    if (rowCount() > 0) {
        Q_EMIT dataChanged(index(0, Number), index(rowCount() - 1, Number), {Qt::CheckStateRole});
    }
    Q_EMIT choiceChanged(-1);
}

std::vector<ChosenChanges> ResultsModel::Choice() const {
    std::vector<ChosenChanges> choice;
    for (int row = 0; row < rowCount(); ++row) {
        const FoundFile& found = Row(row);
        const FileChoice& file = choices_[static_cast<std::size_t>(row)];
        if (found.changesAt >= 0 && file.ticked > 0) {
            choice.push_back({found.changesAt, found.count, file.ticks});
        }
    }
    return choice;
}

}  // namespace trawlex
