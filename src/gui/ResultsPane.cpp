#include "ResultsPane.h"

#include "ResultsModel.h"
#include "WidgetUi.h"

#include "app/Form1.h"
#include "app/Ui.h"
#include "common/text/PathText.h"
#include "dialogs/Dialogs.h"
#include "search/Suchroutinen.h"

#include <QAbstractItemView>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QSplitter>
#include <QTableView>
#include <QTextBlock>
#include <QTextCursor>
#include <QVBoxLayout>

#include <functional>
#include <utility>

namespace trawlex {
namespace {

// "1.234 Dateien, 56,7 MB, 89 mit Fundstellen"
QString ProgressText(const RunProgress& progress) {
    const QLocale locale;
    // A few small files would read "0,0 MB".
    const QString amount =
        progress.bytes < 100'000
            ? locale.toString(static_cast<double>(progress.bytes) / 1e3, 'f', 1) +
                  QStringLiteral(" KB")
            : locale.toString(static_cast<double>(progress.bytes) / 1e6, 'f', 1) +
                  QStringLiteral(" MB");
    return QStringLiteral("%1 Dateien, %2, %3 mit Fundstellen")
        .arg(locale.toString(static_cast<qlonglong>(progress.files)), amount,
             locale.toString(static_cast<qlonglong>(progress.hits)));
}

// A double click on the pane's viewport, which the pane itself would take as a word selection.
class DoubleClickFilter final : public QObject {
public:
    DoubleClickFilter(QObject* parent, std::function<void(QPoint)> clicked)
        : QObject(parent), clicked_(std::move(clicked)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::MouseButtonDblClick) {
            clicked_(static_cast<QMouseEvent*>(event)->position().toPoint());
            return true;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void(QPoint)> clicked_;
};

}  // namespace

ResultsPane::ResultsPane(Form1& record, Ui& desktop, QWidget* parent)
    : QWidget(parent), record_(record), desktop_(desktop) {
    setObjectName(QStringLiteral("Ergebnisbereich"));
    auto* filter = new QLineEdit(this);
    filter->setObjectName(QStringLiteral("Filter"));
    filter->setPlaceholderText(QStringLiteral("Ergebnisse nach Pfad filtern \u2026"));
    filter->setClearButtonEnabled(true);
    editor_ = new QPushButton(QStringLiteral("Editor \u2026"), this);
    editor_->setObjectName(QStringLiteral("butEditorBefehl"));
    editor_->setToolTip(
        QStringLiteral("Das Programm, das ein Doppelklick auf ein Ergebnis "
                       "\u00F6ffnet"));
    connect(editor_, &QPushButton::clicked, this, [this] { AskEditorCommand(); });

    results_ = new ResultsModel(this);
    shownResults_ = new QSortFilterProxyModel(this);
    shownResults_->setSourceModel(results_);
    shownResults_->setSortRole(Qt::UserRole);
    shownResults_->setFilterKeyColumn(ResultsModel::File);
    shownResults_->setFilterCaseSensitivity(Qt::CaseInsensitive);
    connect(filter, &QLineEdit::textChanged, shownResults_,
            &QSortFilterProxyModel::setFilterFixedString);

    table_ = new QTableView(this);
    table_->setObjectName(QStringLiteral("Ergebnisse"));
    table_->setModel(shownResults_);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setSortingEnabled(true);
    table_->sortByColumn(ResultsModel::Number, Qt::AscendingOrder);
    table_->setWordWrap(false);
    table_->verticalHeader()->hide();
    // Rows of one height are laid out without measuring each of them.
    table_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table_->verticalHeader()->setDefaultSectionSize(table_->fontMetrics().height() + 6);
    QHeaderView& heads = *table_->horizontalHeader();
    heads.setStretchLastSection(false);
    heads.setSectionResizeMode(ResultsModel::File, QHeaderView::Stretch);
    const int digit = table_->fontMetrics().horizontalAdvance(QLatin1Char('0'));
    for (const auto& [column, width] :
         {std::pair{ResultsModel::Number, 7 * digit}, std::pair{ResultsModel::Term, 16 * digit},
          std::pair{ResultsModel::FirstPosition, 19 * digit},
          std::pair{ResultsModel::Count, 11 * digit}, std::pair{ResultsModel::Title, 24 * digit},
          std::pair{ResultsModel::Modified, 19 * digit},
          std::pair{ResultsModel::Length, 12 * digit}}) {
        heads.resizeSection(column, width);
    }
    table_->setColumnHidden(ResultsModel::Term, true);
    connect(table_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) { ShowHitLinesOf(current); });
    connect(table_, &QTableView::doubleClicked, this, [this](const QModelIndex& index) {
        ShowHitLinesOf(index);
        OpenShownLine(shownLineNumbers_.empty() ? 1 : shownLineNumbers_.front());
    });

    hitLines_ = new QPlainTextEdit(this);
    hitLines_->setObjectName(QStringLiteral("Fundzeilen"));
    hitLines_->setReadOnly(true);
    hitLines_->setLineWrapMode(QPlainTextEdit::NoWrap);
    hitLines_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    hitLines_->setPlaceholderText(
        QStringLiteral("Eine Zeile der Ergebnisse w\u00E4hlen: hier stehen dann die Zeilen der "
                       "Datei mit ihren Fundstellen. Ein Doppelklick \u00F6ffnet die Datei an "
                       "der Zeile."));
    hitLines_->viewport()->installEventFilter(new DoubleClickFilter(hitLines_, [this](QPoint at) {
        const int block = hitLines_->cursorForPosition(at).blockNumber();
        if (block >= 0 && static_cast<std::size_t>(block) < shownLineNumbers_.size()) {
            OpenShownLine(shownLineNumbers_[static_cast<std::size_t>(block)]);
        }
    }));

    auto* splitter = new QSplitter(Qt::Vertical, this);
    splitter->addWidget(table_);
    splitter->addWidget(hitLines_);
    splitter->setStretchFactor(0, 3);
    splitter->setStretchFactor(1, 2);
    splitter->setChildrenCollapsible(false);

    progress_ = new QLabel(this);
    progress_->setObjectName(QStringLiteral("Fortschritt"));

    auto* filterRow = new QHBoxLayout;
    filterRow->addWidget(filter, 1);
    filterRow->addWidget(editor_);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 0, 8, 0);
    layout->setSpacing(4);
    layout->addLayout(filterRow);
    layout->addWidget(splitter, 1);
    layout->addWidget(progress_);
}

ResultsPane::~ResultsPane() {
    hitLineReaders_.waitForDone();
}

void ResultsPane::Begin(const ResultsHeading& heading) {
    results_->Begin(heading);
    table_->setColumnHidden(ResultsModel::Term, heading.kind != ResultsKind::Profile);
    hitLines_->clear();
    shownLineNumbers_.clear();
    shownPath_.clear();
    ++hitLinesRequest_;
}

void ResultsPane::Append(const std::vector<FoundFile>& rows) {
    results_->Append(rows);
}

void ResultsPane::ShowProgress(const RunProgress& progress) {
    if (progress.files > 0) {
        progress_->setText(ProgressText(progress));
    }
}

void ResultsPane::SetCommandRunning(bool running) {
    if (running) {
        progress_->clear();
    }
    editor_->setEnabled(!running);
}

void ResultsPane::ShowHitLinesOf(const QModelIndex& shownIndex) {
    if (!shownIndex.isValid()) {
        return;
    }
    const FoundFile& found = results_->Row(shownResults_->mapToSource(shownIndex).row());
    if (found.path == shownPath_) {
        return;
    }
    shownPath_ = found.path;
    shownLineNumbers_.clear();
    hitLines_->setPlainText(QStringLiteral("Die Zeilen werden gelesen \u2026"));
    const int request = ++hitLinesRequest_;
    const ResultsHeading& heading = results_->Heading();
    const QString term = heading.terms.value(found.term);
    hitLineReaders_.start([this, request, found, term, mode = heading.mode, regex = heading.regex] {
        auto matcher = MatcherFor(term, mode, regex);
        Result<FileHitLines> lines = matcher ? ReadHitLines(found.path, matcher.value())
                                             : Result<FileHitLines>(matcher.error());
        QMetaObject::invokeMethod(
            this,
            [this, request, found, lines = std::move(lines)] {
                if (request == hitLinesRequest_) {
                    FillHitLines(found, lines);
                }
            },
            Qt::QueuedConnection);
    });
}

void ResultsPane::FillHitLines(const FoundFile& found, const Result<FileHitLines>& lines) {
    hitLines_->clear();
    shownLineNumbers_.clear();
    if (!lines) {
        hitLines_->setPlainText(lines.message());
        return;
    }
    QTextCursor cursor(hitLines_->document());
    QTextCharFormat plain;
    QTextCharFormat number;
    number.setForeground(palette().color(QPalette::PlaceholderText));
    QTextCharFormat marked;
    marked.setBackground(QColor(255, 220, 80));
    marked.setForeground(Qt::black);
    const std::vector<HitLine>& shown = lines->lines;
    const int width =
        shown.empty() ? 1 : static_cast<int>(QString::number(shown.back().number).size());
    for (const HitLine& line : shown) {
        if (!shownLineNumbers_.empty()) {
            cursor.insertBlock();
        }
        shownLineNumbers_.push_back(line.number);
        cursor.insertText(QStringLiteral("%1  ").arg(line.number, width), number);
        qsizetype at = 0;
        for (const HitLine::Mark& mark : line.marks) {
            cursor.insertText(line.text.mid(at, mark.start - at), plain);
            cursor.insertText(line.text.mid(mark.start, mark.length), marked);
            at = mark.start + mark.length;
        }
        cursor.insertText(line.text.mid(at), plain);
    }
    if (shown.empty()) {
        cursor.insertText(QStringLiteral("Die Fundstellen von \u201E%1\u201C stehen nicht mehr "
                                         "in der Datei.")
                              .arg(results_->ShownPath(found)),
                          plain);
    }
    if (lines->moreLines > 0) {
        cursor.insertBlock();
        cursor.insertText(QStringLiteral("\u2026 und %1 weitere Zeilen mit Fundstellen, hier "
                                         "nicht gezeigt.")
                              .arg(QLocale().toString(static_cast<qlonglong>(lines->moreLines))),
                          number);
    }
    hitLines_->moveCursor(QTextCursor::Start);
}

void ResultsPane::OpenShownLine(std::int64_t line) {
    if (shownPath_.empty()) {
        return;
    }
    OpenResultInEditor(record_, desktop_, PathText(shownPath_), line);
}

void ResultsPane::AskEditorCommand() {
    bool accepted = false;
    const QString command = QInputDialog::getText(
        this, WidgetUi::MessageTitle(),
        QStringLiteral("Befehl, der ein Ergebnis \u00F6ffnet; {file} steht f\u00FCr die Datei, "
                       "{line} f\u00FCr die Zeile,\nz. B. kate --line {line} {file}. Leer "
                       "\u00F6ffnet die Datei mit dem Standardprogramm.\nGespeichert wird er "
                       "mit \u201EINI-Datei speichern\u201C."),
        QLineEdit::Normal, record_.EditorCommand, &accepted);
    if (accepted) {
        record_.EditorCommand = command.trimmed();
    }
}

}  // namespace trawlex
