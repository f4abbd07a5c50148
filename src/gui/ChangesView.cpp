#include "ChangesView.h"

#include "ResultsModel.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QPainter>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QTextDocument>
#include <QVBoxLayout>

namespace trawlex {
namespace {

QString Marked(const ShownChange& change, bool after) {
    // Red and struck through goes, green comes: the marks read the same in a dark palette.
    const QString mark =
        after ? QStringLiteral("<span style=\"background-color:#b6e8b6; color:#000000\">%1</span>")
              : QStringLiteral(
                    "<span style=\"background-color:#f4b8b8; color:#000000; "
                    "text-decoration:line-through\">%1</span>");
    const QString& text = after ? change.after : change.before;
    return QStringLiteral("<span style=\"white-space:pre\">") + change.lead.toHtmlEscaped() +
           mark.arg(text.toHtmlEscaped()) + change.tail.toHtmlEscaped() + QStringLiteral("</span>");
}

QString Count(std::int64_t count) {
    return QLocale().toString(static_cast<qlonglong>(count));
}

// Draws a cell's HTML; the rows of one file may be thousands, and only those in sight are drawn.
class MarkedDelegate final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        const QVariant marked = index.data(ChangesModel::kMarkedRole);
        if (!marked.isValid()) {
            QStyledItemDelegate::paint(painter, option, index);
            return;
        }
        QStyleOptionViewItem shown = option;
        initStyleOption(&shown, index);
        shown.text.clear();
        const QWidget* widget = option.widget;
        QStyle* style = widget != nullptr ? widget->style() : QApplication::style();
        style->drawControl(QStyle::CE_ItemViewItem, &shown, painter, widget);
        QTextDocument document;
        document.setDefaultFont(option.font);
        document.setDocumentMargin(1);
        document.setHtml(marked.toString());
        QAbstractTextDocumentLayout::PaintContext context;
        context.palette = option.palette;
        if (option.state & QStyle::State_Selected) {
            context.palette.setColor(QPalette::Text,
                                     option.palette.color(QPalette::HighlightedText));
        }
        painter->save();
        const QRect cell = option.rect.adjusted(2, 0, -2, 0);
        painter->translate(cell.left(),
                           cell.top() + (cell.height() - document.size().height()) / 2);
        painter->setClipRect(QRect(0, 0, cell.width(), cell.height()));
        document.documentLayout()->draw(painter, context);
        painter->restore();
    }
};

}  // namespace

ChangesModel::ChangesModel(ResultsModel& results, QObject* parent)
    : QAbstractTableModel(parent), results_(results) {
    connect(&results_, &ResultsModel::choiceChanged, this, [this](int row) {
        if (row_ >= 0 && (row == row_ || row < 0) && !changes_.empty()) {
            Q_EMIT dataChanged(index(0, Line), index(rowCount() - 1, Line), {Qt::CheckStateRole});
        }
    });
}

void ChangesModel::Show(int row, std::vector<ShownChange> changes) {
    beginResetModel();
    row_ = row;
    changes_ = std::move(changes);
    endResetModel();
}

int ChangesModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(changes_.size());
}

int ChangesModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant ChangesModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) {
        return {};
    }
    const ShownChange& change = changes_[static_cast<std::size_t>(index.row())];
    const auto column = static_cast<Column>(index.column());
    if (column == Line) {
        if (role == Qt::CheckStateRole) {
            return results_.Chosen(row_, static_cast<std::size_t>(index.row())) ? Qt::Checked
                                                                                : Qt::Unchecked;
        }
        if (role == Qt::DisplayRole) {
            return Count(change.line);
        }
        if (role == Qt::TextAlignmentRole) {
            return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
        }
        return {};
    }
    const bool after = column == After;
    if (role == kMarkedRole) {
        return Marked(change, after);
    }
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole) {
        return change.lead + (after ? change.after : change.before) + change.tail;
    }
    return {};
}

QVariant ChangesModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
        return QAbstractTableModel::headerData(section, orientation, role);
    }
    switch (section) {
        case Line:
            return QStringLiteral("Zeile");
        case Before:
            return QStringLiteral("Vorher");
        case After:
            return QStringLiteral("Nachher");
        default:
            return {};
    }
}

Qt::ItemFlags ChangesModel::flags(const QModelIndex& index) const {
    Qt::ItemFlags flags = QAbstractTableModel::flags(index);
    if (index.isValid() && index.column() == Line) {
        flags |= Qt::ItemIsUserCheckable;
    }
    return flags;
}

bool ChangesModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::CheckStateRole || index.column() != Line || row_ < 0) {
        return false;
    }
    results_.Choose(row_, static_cast<std::size_t>(index.row()),
                    value.value<Qt::CheckState>() == Qt::Checked);
    return true;
}

ChangesView::ChangesView(ResultsModel& results, QWidget* parent)
    : QWidget(parent), results_(results) {
    setObjectName(QStringLiteral("Aenderungen"));
    model_ = new ChangesModel(results, this);
    heading_ = new QLabel(this);
    heading_->setObjectName(QStringLiteral("AenderungenDerDatei"));
    heading_->setTextFormat(Qt::PlainText);
    all_ = new QPushButton(QStringLiteral("Alle"), this);
    all_->setObjectName(QStringLiteral("butAlleDerDatei"));
    all_->setToolTip(QStringLiteral("Alle \u00C4nderungen dieser Datei ausw\u00E4hlen"));
    none_ = new QPushButton(QStringLiteral("Keine"), this);
    none_->setObjectName(QStringLiteral("butKeineDerDatei"));
    none_->setToolTip(QStringLiteral("Keine \u00C4nderung dieser Datei ausw\u00E4hlen"));
    connect(all_, &QPushButton::clicked, this, [this] { results_.ChooseFile(ShownRow(), true); });
    connect(none_, &QPushButton::clicked, this, [this] { results_.ChooseFile(ShownRow(), false); });
    connect(&results_, &ResultsModel::choiceChanged, this, [this] { ShowCount(); });

    table_ = new QTableView(this);
    table_->setObjectName(QStringLiteral("AenderungenTabelle"));
    table_->setModel(model_);
    table_->setItemDelegate(new MarkedDelegate(table_));
    table_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setWordWrap(false);
    table_->verticalHeader()->hide();
    table_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table_->verticalHeader()->setDefaultSectionSize(table_->fontMetrics().height() + 6);
    table_->horizontalHeader()->setSectionResizeMode(ChangesModel::Before, QHeaderView::Stretch);
    table_->horizontalHeader()->setSectionResizeMode(ChangesModel::After, QHeaderView::Stretch);
    table_->setColumnWidth(ChangesModel::Line,
                           table_->fontMetrics().horizontalAdvance(QLatin1Char('0')) * 10);
    table_->installEventFilter(this);
    connect(table_, &QTableView::doubleClicked, this,
            [this](const QModelIndex& index) { Q_EMIT openLine(model_->LineOf(index.row())); });

    auto* top = new QHBoxLayout;
    top->addWidget(heading_, 1);
    top->addWidget(all_);
    top->addWidget(none_);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    layout->addLayout(top);
    layout->addWidget(table_, 1);
    Reset();
}

void ChangesView::Fill(int row, const Result<std::vector<ShownChange>>& changes,
                       const QString& shownPath) {
    if (!changes) {
        ShowNote(changes.message());
        return;
    }
    shownPath_ = shownPath;
    model_->Show(row, changes.value());
    all_->setEnabled(true);
    none_->setEnabled(true);
    ShowCount();
}

void ChangesView::ShowNote(const QString& note) {
    model_->Show(-1, {});
    shownPath_.clear();
    heading_->setText(note);
    all_->setEnabled(false);
    none_->setEnabled(false);
}

void ChangesView::Reset() {
    ShowNote(
        QStringLiteral("Eine Datei der Vorschau w\u00E4hlen: hier stehen dann ihre "
                       "\u00C4nderungen, jede mit einem H\u00E4kchen."));
}

void ChangesView::ShowCount() {
    const int row = ShownRow();
    if (row < 0 || row >= results_.rowCount()) {
        return;
    }
    heading_->setText(
        QStringLiteral("%1: %2 von %3 \u00C4nderungen ausgew\u00E4hlt")
            .arg(shownPath_, Count(results_.ChosenIn(row)), Count(results_.Row(row).count)));
}

bool ChangesView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == table_ && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        const QModelIndex current = table_->currentIndex();
        if ((key == Qt::Key_Return || key == Qt::Key_Enter) && current.isValid()) {
            Q_EMIT openLine(model_->LineOf(current.row()));
            return true;
        }
        // The space bar ticks and unticks the chosen change, wherever in its row the cursor is.
        if (key == Qt::Key_Space && current.isValid()) {
            const QModelIndex tick = model_->index(current.row(), ChangesModel::Line);
            model_->setData(tick,
                            tick.data(Qt::CheckStateRole).value<Qt::CheckState>() == Qt::Checked
                                ? Qt::Unchecked
                                : Qt::Checked,
                            Qt::CheckStateRole);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace trawlex
