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

}  // namespace trawlex
