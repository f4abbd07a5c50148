#include "ResultsPane.h"

#include "ChangesView.h"
#include "HitLinesView.h"
#include "ResultsModel.h"
#include "WidgetUi.h"

#include "app/Form1.h"
#include "app/Ui.h"
#include "common/text/PathText.h"
#include "dialogs/Dialogs.h"
#include "search/Suchroutinen.h"

#include <QAbstractItemView>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

namespace trawlex {
namespace {

// The widest a column beside the path grows when it is fitted to its rows, in digits: a long
// title must not push the path out of sight.
int WidestDigits(int column) {
    return column == ResultsModel::Title ? 40 : column == ResultsModel::Term ? 30 : 24;
}

}  // namespace

ResultsPane::ResultsPane(Form1& record, Ui& desktop, HitLinesView& hitLines, QWidget* parent)
    : QWidget(parent), record_(record), desktop_(desktop), hitLines_(hitLines) {
    setObjectName(QStringLiteral("Ergebnisbereich"));
    filter_ = new QLineEdit(this);
    filter_->setObjectName(QStringLiteral("Filter"));
    filter_->setPlaceholderText(QStringLiteral("Ergebnisse nach Pfad filtern \u2026"));
    filter_->setClearButtonEnabled(true);
    editor_ = new QPushButton(QStringLiteral("E&ditor \u2026"), this);
    editor_->setObjectName(QStringLiteral("butEditorBefehl"));
    editor_->setToolTip(
        QStringLiteral("Das Programm, das ein Doppelklick auf ein Ergebnis "
                       "\u00F6ffnet"));
    connect(editor_, &QPushButton::clicked, this, [this] { AskEditorCommand(); });

    BuildTable();
    connect(&hitLines_, &HitLinesView::openLine, this, &ResultsPane::OpenShownLine);
    changes_ = new ChangesView(*results_);
    connect(changes_, &ChangesView::openLine, this, &ResultsPane::OpenShownLine);

    progress_ = new QLabel(this);
    progress_->setObjectName(QStringLiteral("Fortschritt"));
    progress_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    chooseAll_ = new QPushButton(QStringLiteral("Alle"), this);
    chooseAll_->setObjectName(QStringLiteral("butAlleAuswaehlen"));
    chooseAll_->setToolTip(QStringLiteral("Alle \u00C4nderungen aller Dateien ausw\u00E4hlen"));
    chooseNone_ = new QPushButton(QStringLiteral("Keine"), this);
    chooseNone_->setObjectName(QStringLiteral("butKeineAuswaehlen"));
    chooseNone_->setToolTip(QStringLiteral("Keine \u00C4nderung ausw\u00E4hlen"));
    applyChosen_ = new QPushButton(QStringLiteral("Ausgew\u00E4hlte ersetzen"), this);
    applyChosen_->setObjectName(QStringLiteral("butAusgewaehlteErsetzen"));
    connect(chooseAll_, &QPushButton::clicked, this, [this] { results_->ChooseAll(true); });
    connect(chooseNone_, &QPushButton::clicked, this, [this] { results_->ChooseAll(false); });
    connect(applyChosen_, &QPushButton::clicked, this,
            [this] { Q_EMIT applyRequested(record_.ChangesFile, results_->Choice()); });
    connect(results_, &ResultsModel::choiceChanged, this, [this] { ShowChoice(); });

    auto* filterRow = new QHBoxLayout;
    filterRow->addWidget(filter_, 1);
    filterRow->addWidget(editor_);
    auto* endRow = new QHBoxLayout;
    endRow->addWidget(progress_, 1);
    endRow->addWidget(chooseAll_);
    endRow->addWidget(chooseNone_);
    endRow->addWidget(applyChosen_);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 0, 8, 0);
    layout->setSpacing(4);
    layout->addLayout(filterRow);
    layout->addWidget(table_, 1);
    layout->addLayout(endRow);
    ShowChoice();
}

ResultsPane::~ResultsPane() {
    hitLineReaders_.waitForDone();
}

void ResultsPane::BuildTable() {
    results_ = new ResultsModel(this);
    shownResults_ = new QSortFilterProxyModel(this);
    shownResults_->setSourceModel(results_);
    shownResults_->setSortRole(Qt::UserRole);
    shownResults_->setFilterKeyColumn(ResultsModel::File);
    shownResults_->setFilterCaseSensitivity(Qt::CaseInsensitive);

    table_ = new QTableView(this);
    table_->setObjectName(QStringLiteral("Ergebnisse"));
    table_->setModel(shownResults_);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setSortingEnabled(true);
    table_->sortByColumn(ResultsModel::Number, Qt::AscendingOrder);
    table_->setWordWrap(false);
    // A long path keeps its file name in sight.
    table_->setTextElideMode(Qt::ElideMiddle);
    table_->verticalHeader()->hide();
    // Rows of one height are laid out without measuring each of them.
    table_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table_->verticalHeader()->setDefaultSectionSize(table_->fontMetrics().height() + 6);
    table_->installEventFilter(this);
    QHeaderView& heads = *table_->horizontalHeader();
    heads.setStretchLastSection(false);
    heads.setSectionResizeMode(ResultsModel::File, QHeaderView::Stretch);
    const int digit = table_->fontMetrics().horizontalAdvance(QLatin1Char('0'));
    fitting_ = true;
    for (const auto& [column, width] :
         {std::pair{ResultsModel::Number, 7 * digit}, std::pair{ResultsModel::Term, 16 * digit},
          std::pair{ResultsModel::FirstPosition, 19 * digit},
          std::pair{ResultsModel::Count, 11 * digit}, std::pair{ResultsModel::Title, 24 * digit},
          std::pair{ResultsModel::Modified, 19 * digit},
          std::pair{ResultsModel::Length, 12 * digit}}) {
        heads.resizeSection(column, width);
        widths_[static_cast<std::size_t>(column)] = width;
    }
    widths_[ResultsModel::File] = 1;  // the path takes the room the others leave
    table_->setColumnHidden(ResultsModel::Term, true);
    fitting_ = false;
    connect(&heads, &QHeaderView::sectionResized, this, [this](int column, int, int width) {
        if (!fitting_ && column != ResultsModel::File && width > 0) {
            widths_[static_cast<std::size_t>(column)] = width;
            widthsChosen_ = true;
        }
    });
    connect(filter_, &QLineEdit::textChanged, this, [this](const QString& text) {
        shownResults_->setFilterFixedString(text);
        // The chosen row stays in sight when the rows above it are filtered out.
        if (table_->currentIndex().isValid()) {
            table_->scrollTo(table_->currentIndex(), QAbstractItemView::PositionAtCenter);
        }
    });
    connect(table_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) { ShowHitLinesOf(current); });
    connect(table_, &QTableView::doubleClicked, this, [this] { OpenChosenRow(); });
}

void ResultsPane::BeginRun() {
    Begin({});
    tally_ = {};
    progress_->setText(ProgressLine(tally_));
}

void ResultsPane::Begin(const ResultsHeading& heading) {
    results_->Begin(heading);
    ShowColumnsFor(heading.kind);
    tally_ = RunTally();
    tally_.kind = heading.kind;
    tally_.journal = heading.journal;
    tally_.began = true;
    fitPending_ = !widthsChosen_;
    hitLines_.Reset();
    changes_->Reset();
    shownPath_.clear();
    ++hitLinesRequest_;
    Q_EMIT reviewShown(heading.kind == ResultsKind::Preview);
    ShowChoice();
}

void ResultsPane::ShowChoice() {
    const bool choosing = results_->Choosing() && tally_.began;
    for (QPushButton* button : {chooseAll_, chooseNone_, applyChosen_}) {
        button->setVisible(choosing);
        button->setEnabled(!running_);
    }
    const std::int64_t chosen = results_->ChosenCount();
    applyChosen_->setEnabled(!running_ && chosen > 0);
    applyChosen_->setToolTip(
        QStringLiteral("Schreibt genau die %1 ausgew\u00E4hlten \u00C4nderungen in einem "
                       "Lauf; \u201ER\u00FCckg\u00E4ngig\u201C nimmt sie als einen zur\u00FCck. "
                       "Eine Datei, die sich seit der Vorschau ge\u00E4ndert hat, bleibt, wie "
                       "sie ist.")
            .arg(QLocale().toString(static_cast<qlonglong>(chosen))));
}

void ResultsPane::ShowColumnsFor(ResultsKind kind) {
    const bool replaces = IsReplacement(kind);
    fitting_ = true;
    table_->setColumnHidden(ResultsModel::Term, kind != ResultsKind::Profile);
    for (const int column : {ResultsModel::FirstPosition, ResultsModel::Title,
                             ResultsModel::Modified, ResultsModel::Length}) {
        table_->setColumnHidden(column, replaces);
    }
    fitting_ = false;
}

void ResultsPane::Append(const std::vector<FoundFile>& rows) {
    results_->Append(rows);
    tally_.rows += static_cast<std::int64_t>(rows.size());
    for (const FoundFile& found : rows) {
        tally_.replacements += found.count;
    }
    if (fitPending_ && !rows.empty()) {
        fitPending_ = false;
        FitColumnsToRows();
    }
}

void ResultsPane::FitColumnsToRows() {
    const int digit = table_->fontMetrics().horizontalAdvance(QLatin1Char('0'));
    fitting_ = true;
    int others = 0;
    for (int column = 0; column < ResultsModel::ColumnCount; ++column) {
        if (column == ResultsModel::File || table_->isColumnHidden(column)) {
            continue;
        }
        table_->resizeColumnToContents(column);
        const int widest = WidestDigits(column) * digit;
        if (table_->columnWidth(column) > widest) {
            table_->setColumnWidth(column, widest);
        }
        others += table_->columnWidth(column);
    }
    // The path keeps the room its rows need, up to half of the table and at least a quarter, in
    // a narrow window or a large font too: the title and the term give up their width first, then
    // the other columns in proportion.
    const int table = table_->viewport()->width();
    int longest = 0;
    for (int row = 0; row < std::min(shownResults_->rowCount(), 200); ++row) {
        const QString shown = shownResults_->index(row, ResultsModel::File).data().toString();
        longest = std::max(longest, table_->fontMetrics().horizontalAdvance(shown) + 2 * digit);
    }
    const int path = std::clamp(longest, table / 4, table / 2);
    const int room = table - path;
    for (const int column : {ResultsModel::Title, ResultsModel::Term}) {
        if (others > room && !table_->isColumnHidden(column)) {
            const int width = table_->columnWidth(column);
            const int taken = std::clamp(others - room, 0, std::max(0, width - 10 * digit));
            table_->setColumnWidth(column, width - taken);
            others -= taken;
        }
    }
    if (others > room && others > 0) {
        for (int column = 0; column < ResultsModel::ColumnCount; ++column) {
            if (column != ResultsModel::File && !table_->isColumnHidden(column)) {
                table_->setColumnWidth(column, table_->columnWidth(column) * room / others);
            }
        }
    }
    fitting_ = false;
}

void ResultsPane::ShowProgress(const RunProgress& progress) {
    tally_.progress = progress;
    progress_->setText(ProgressLine(tally_));
}

void ResultsPane::FinishRun(CommandOutcome outcome, const QString& message) {
    if (!Produced(outcome)) {
        // Nothing the refused run found stands under its inputs.
        results_->Begin({});
        hitLines_.Reset();
        shownPath_.clear();
    }
    progress_->setText(EndLine(tally_, outcome, message));
    // The changes of a file chosen while the preview ran can be read now that its list is
    // complete.
    if (results_->Choosing() && table_->currentIndex().isValid()) {
        shownPath_.clear();
        ShowHitLinesOf(table_->currentIndex());
    }
    ShowChoice();
}

void ResultsPane::SetCommandRunning(bool running) {
    editor_->setEnabled(!running);
    running_ = running;
    ShowChoice();
}

QList<int> ResultsPane::ColumnWidths() const {
    if (!widthsChosen_) {
        return {};
    }
    return {widths_.begin(), widths_.end()};
}

void ResultsPane::SetColumnWidths(const QList<int>& widths) {
    if (widths.size() != ResultsModel::ColumnCount) {
        return;
    }
    fitting_ = true;
    for (int column = 0; column < ResultsModel::ColumnCount; ++column) {
        widths_[static_cast<std::size_t>(column)] = widths[column];
        if (column != ResultsModel::File) {
            table_->setColumnWidth(column, widths[column]);
        }
    }
    fitting_ = false;
    widthsChosen_ = true;
}

void ResultsPane::StepHit(int direction) {
    if (hitLines_.Step(direction)) {
        return;
    }
    const int rows = shownResults_->rowCount();
    const QModelIndex current = table_->currentIndex();
    const int row = current.isValid() ? current.row() + direction : (direction > 0 ? 0 : rows - 1);
    if (row < 0 || row >= rows) {
        return;
    }
    hitLines_.PlaceNext(direction > 0 ? HitLinesView::Placement::First
                                      : HitLinesView::Placement::Last);
    table_->setCurrentIndex(shownResults_->index(row, ResultsModel::File));
}

bool ResultsPane::eventFilter(QObject* watched, QEvent* event) {
    if (watched == table_ && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if ((key == Qt::Key_Return || key == Qt::Key_Enter) && table_->currentIndex().isValid()) {
            OpenChosenRow();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void ResultsPane::ShowHitLinesOf(const QModelIndex& shownIndex) {
    if (!shownIndex.isValid()) {
        return;
    }
    const FoundFile& found = results_->Row(shownResults_->mapToSource(shownIndex).row());
    // A profile's rows name one file once per term.
    const std::string shown = found.path + '\0' + std::to_string(found.term);
    if (shown == shownPath_) {
        return;
    }
    shownPath_ = shown;
    const int request = ++hitLinesRequest_;
    if (results_->Choosing()) {
        ShowChangesOf(shownResults_->mapToSource(shownIndex).row(), found);
        return;
    }
    const ResultsHeading& heading = results_->Heading();
    const QString term = heading.terms.value(found.term);
    if (term.isEmpty()) {
        hitLines_.ShowNote(QStringLiteral("%1 in dieser Datei. Welche Zeilen sie betreffen, "
                                          "zeigt die Vorschau.")
                               .arg(QLocale().toString(static_cast<qlonglong>(found.count)) +
                                    (found.count == 1 ? QStringLiteral(" Ersetzung")
                                                      : QStringLiteral(" Ersetzungen"))));
        return;
    }
    hitLines_.ShowNote(QStringLiteral("Die Zeilen werden gelesen \u2026"));
    hitLineReaders_.start([this, request, found, term, mode = heading.mode, regex = heading.regex,
                           words = heading.wholeWord] {
        auto matcher = MatcherFor(term, mode, regex, words);
        Result<FileHitLines> lines = matcher ? ReadHitLines(found.path, matcher.value())
                                             : Result<FileHitLines>(matcher.error());
        QMetaObject::invokeMethod(
            this,
            [this, request, found, lines = std::move(lines)] {
                if (request == hitLinesRequest_) {
                    hitLines_.Fill(lines, results_->ShownPath(found));
                }
            },
            Qt::QueuedConnection);
    });
}

void ResultsPane::ShowChangesOf(int row, const FoundFile& found) {
    if (found.changesAt < 0) {
        changes_->ShowNote(QStringLiteral("Zu dieser Datei gibt es keine \u00C4nderungsliste."));
        return;
    }
    if (running_) {
        changes_->ShowNote(
            QStringLiteral("Die \u00C4nderungen dieser Datei stehen hier, sobald "
                           "die Vorschau fertig ist."));
        return;
    }
    changes_->ShowNote(QStringLiteral("Die \u00C4nderungen werden gelesen \u2026"));
    const int request = hitLinesRequest_;
    hitLineReaders_.start([this, request, row, found, list = record_.ChangesFile] {
        auto changes = ReadShownChanges(list, found.changesAt, found.count, found.path);
        QMetaObject::invokeMethod(
            this,
            [this, request, row, changes = std::move(changes)] {
                if (request == hitLinesRequest_) {
                    changes_->Fill(row, changes, results_->ShownPath(results_->Row(row)));
                }
            },
            Qt::QueuedConnection);
    });
}

void ResultsPane::OpenChosenRow() {
    ShowHitLinesOf(table_->currentIndex());
    OpenShownLine(std::max<std::int64_t>(1, hitLines_.ChosenLine()));
}

void ResultsPane::OpenShownLine(std::int64_t line) {
    const QModelIndex current = table_->currentIndex();
    if (!current.isValid()) {
        return;
    }
    const FoundFile& found = results_->Row(shownResults_->mapToSource(current).row());
    OpenResultInEditor(record_, desktop_, PathText(found.path), line);
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
