#include "Form1Window.h"

#include "ResultsModel.h"

#include "app/Settings.h"
#include "app/Startup.h"
#include "app/StatusLine.h"
#include "common/text/PathText.h"
#include "dialogs/Dialogs.h"
#include "profiles/ProfileCommand.h"
#include "profiles/SearchProfile.h"
#include "replace/ReplaceCommand.h"
#include "replace/ReplaceProfile.h"
#include "replace/Undo.h"
#include "replace/UndoCommand.h"
#include "search/Suchroutinen.h"
#include "special/SpecialCommands.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCompleter>
#include <QEventLoop>
#include <QFontDatabase>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QShortcut>
#include <QSignalBlocker>
#include <QSortFilterProxyModel>
#include <QSplitter>
#include <QTableView>
#include <QTextBlock>
#include <QTextCursor>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace trawlex {
namespace {

// The inputs keep the size and the control positions they were designed with; only the results
// below them grow with the window.
constexpr int kClientWidth = 545;
constexpr int kClientHeight = 333;

// While a command runs, the window takes its rows and progress this often.
constexpr int kTakeIntervalMilliseconds = 100;

// Rows of controls: one control height, and a pitch that leaves a small gap between rows.
constexpr int kControlHeight = 22;
constexpr int kRowPitch = 25;
constexpr int kLeft = 8;
constexpr int kRight = kClientWidth - 8;
constexpr int kGap = 4;

// Rows 1 to 5: a label column, the fields, and up to three button columns at the right edge.
constexpr int kTop = 5;
constexpr int kLabelWidth = 84;
constexpr int kFieldLeft = kLeft + kLabelWidth + 2;
constexpr int kButtonWidth = 80;
constexpr int kColumnC = kRight - kButtonWidth;
constexpr int kColumnB = kColumnC - kGap - kButtonWidth;
constexpr int kColumnA = kColumnB - kGap - kButtonWidth;

constexpr int RowTop(int row) {
    return kTop + (row - 1) * kRowPitch;
}

// Row 6 stands in the case group; the other controls of the row line up with its options.
constexpr int kFrame1Top = RowTop(5) + kControlHeight + kGap;
constexpr int kFrame1Width = 190;
constexpr int kFrame1Height = 44;
constexpr int kFrameContentTop = 20;
constexpr int kRow6Top = kFrame1Top + kFrameContentTop - 1;

constexpr int kRow7Top = kFrame1Top + kFrame1Height + kGap;

// Rows 8 and 9 stand in the result group.
constexpr int kFrame2Top = kRow7Top + kControlHeight + kGap;
constexpr int kFrame2Height = kFrameContentTop + kRowPitch + kControlHeight + 5;

constexpr int kRow10Top = kFrame2Top + kFrame2Height + kGap;
constexpr int kRow11Top = kRow10Top + kRowPitch;

QRect At(int x, int y, int width) {
    return {x, y, width, kControlHeight};
}

QColor BlinkColour() {
    return {255, 150, 0};
}

// The file types line their descriptions up in one column only in a fixed-width font.
QFont FileTypeFont() {
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setStyleHint(QFont::Courier);
    font.setPointSize(9);
    return font;
}

// The buttons that only open a dialog or start a program have no outcome of their own.
template <typename Handler>
Form1Window::Command Completing(Handler handler) {
    return [handler](Form1& form, Ui& ui) {
        handler(form, ui);
        return CommandOutcome::Completed;
    };
}

QStringList ItemTexts(const QComboBox& combo) {
    QStringList texts;
    texts.reserve(combo.count());
    for (int index = 0; index < combo.count(); ++index) {
        texts.append(combo.itemText(index));
    }
    return texts;
}

// A narrow combo box would cut its items short in the drop-down list and in the list that
// offers earlier entries while typing; both are widened to the longest item, but never beyond
// the window's width.
void FitPopupToItems(QComboBox& combo) {
    QAbstractItemView& view = *combo.view();
    const int contents = view.sizeHintForColumn(0) + view.verticalScrollBar()->sizeHint().width() +
                         2 * view.frameWidth();
    view.setMinimumWidth(std::clamp(contents, 0, kClientWidth));
    if (QCompleter* completer = combo.completer()) {
        completer->popup()->setMinimumWidth(std::clamp(contents, 0, kClientWidth));
    }
}

// The code fields are narrower than their longest items. A chosen item is shown from its
// start, where the code's number or first character stands, instead of from its end.
void ShowChoicesFromStart(QComboBox& combo) {
    QObject::connect(&combo, &QComboBox::textActivated, &combo,
                     [&combo] { combo.lineEdit()->setCursorPosition(0); });
}

void WriteCombo(QComboBox& combo, const ComboField& field) {
    if (ItemTexts(combo) != field.list) {
        const QSignalBlocker blocker(&combo);
        combo.clear();
        combo.addItems(field.list);
        FitPopupToItems(combo);
    }
    // Setting an unchanged text would move the cursor and drop a selection.
    if (combo.currentText() != field.text) {
        combo.setEditText(field.text);
    }
}

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

void WriteText(QLineEdit& textBox, const QString& text) {
    if (textBox.text() != text) {
        textBox.setText(text);
    }
}

}  // namespace

Form1Window::Form1Window(QWidget* parent)
    : QWidget(parent), ui_(*this, [this] { OnStatusChanged(); }) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Trawlex und Replace"));
    panel_ = new QWidget(this);
    panel_->setObjectName(QStringLiteral("Eingaben"));
    panel_->setFixedSize(kClientWidth, kClientHeight);

    BuildSearchRows();
    BuildOptionRows();
    BuildResultFrame();
    BuildSpecialCharacterRows();
    BuildResultsArea();

    timer1_ = new QTimer(this);
    timer1_->setObjectName(QStringLiteral("Timer1"));
    timer1_->setInterval(kBlinkIntervalMilliseconds);

    // Esc asks a running command to stop; outside a run the key belongs to the focused field.
    stopShortcut_ = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    stopShortcut_->setEnabled(false);

    ConnectCommands();
    WriteWidgets();
}

Form1Window::~Form1Window() {
    // A reader still at work hands its lines to this window.
    hitLineReaders_.waitForDone();
}

void Form1Window::BuildResultsArea() {
    auto* filter = new QLineEdit(this);
    filter->setObjectName(QStringLiteral("Filter"));
    filter->setPlaceholderText(QStringLiteral("Ergebnisse nach Pfad filtern \u2026"));
    filter->setClearButtonEnabled(true);
    auto* editor = new QPushButton(QStringLiteral("Editor \u2026"), this);
    editor->setObjectName(QStringLiteral("butEditorBefehl"));
    editor->setToolTip(
        QStringLiteral("Das Programm, das ein Doppelklick auf ein Ergebnis "
                       "\u00F6ffnet"));
    connect(editor, &QPushButton::clicked, this, [this] { AskEditorCommand(); });
    // The command's record takes the setting's place when it ends.
    inputs_.push_back(editor);

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
    filterRow->addWidget(editor);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 4);
    layout->setSpacing(4);
    layout->addWidget(panel_, 0, Qt::AlignLeft);
    auto* below = new QVBoxLayout;
    below->setContentsMargins(8, 0, 8, 0);
    below->addLayout(filterRow);
    below->addWidget(splitter, 1);
    below->addWidget(progress_);
    layout->addLayout(below, 1);

    setMinimumSize(kClientWidth, kClientHeight + 240);
    // Most of the screen, so that the table has room, but not a wall of white on a big one.
    QSize size(1000, 760);
    if (const QScreen* screen = this->screen()) {
        const QSize available = screen->availableSize();
        size = QSize(available.width() * 3 / 4, available.height() * 17 / 20)
                   .boundedTo(QSize(1400, 1000));
    }
    resize(size.expandedTo(minimumSize()));

    taker_ = new QTimer(this);
    taker_->setInterval(kTakeIntervalMilliseconds);
    connect(taker_, &QTimer::timeout, this, [this] { TakeResults(); });
    ui_.SetResultsBegun([this](const ResultsHeading& heading) {
        ui_.TakeFound();
        results_->Begin(heading);
        table_->setColumnHidden(ResultsModel::Term, !heading.profile);
        hitLines_->clear();
        shownLineNumbers_.clear();
        shownPath_.clear();
        ++hitLinesRequest_;
    });
}

void Form1Window::TakeResults() {
    results_->Append(ui_.TakeFound());
    const RunProgress progress = ui_.Progress();
    if (progress.files > 0) {
        progress_->setText(ProgressText(progress));
    }
}

void Form1Window::ShowHitLinesOf(const QModelIndex& shownIndex) {
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

void Form1Window::FillHitLines(const FoundFile& found, const Result<FileHitLines>& lines) {
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

void Form1Window::OpenShownLine(std::int64_t line) {
    if (shownPath_.empty()) {
        return;
    }
    OpenResultInEditor(record_, ui_, PathText(shownPath_), line);
}

void Form1Window::AskEditorCommand() {
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

void Form1Window::BuildSearchRows() {
    AddLabel(*panel_, QStringLiteral("Label6"), QStringLiteral("Suchort:"),
             At(kLeft, RowTop(1), kLabelWidth));
    AddCombo(*panel_, QStringLiteral("TexSuchort"),
             At(kFieldLeft, RowTop(1), kColumnB - kGap - kFieldLeft), &Form1::TexSuchort);
    AddButton(*panel_, QStringLiteral("butSaveSuchort"), QStringLiteral("Speichern"),
              At(kColumnB, RowTop(1), kButtonWidth));
    AddButton(*panel_, QStringLiteral("butSuchort"), QStringLiteral("Einstellen"),
              At(kColumnC, RowTop(1), kButtonWidth));

    AddLabel(*panel_, QStringLiteral("Label1"), QStringLiteral("Suchbegriff:"),
             At(kLeft, RowTop(2), kLabelWidth));
    AddCombo(*panel_, QStringLiteral("TexSuchbegriff"),
             At(kFieldLeft, RowTop(2), kColumnC - kGap - kFieldLeft), &Form1::TexSuchbegriff);
    AddButton(*panel_, QStringLiteral("butSuchen"), QStringLiteral("Suchen"),
              At(kColumnC, RowTop(2), kButtonWidth));

    AddLabel(*panel_, QStringLiteral("LabSuchlisten"), QStringLiteral("Suchprofil:"),
             At(kLeft, RowTop(3), kLabelWidth));
    AddCombo(*panel_, QStringLiteral("ComSuchprofile"),
             At(kFieldLeft, RowTop(3), kColumnA - kGap - kFieldLeft), &Form1::ComSuchprofile);
    AddButton(*panel_, QStringLiteral("butSuchprofilEinstellen"), QStringLiteral("Einstellen"),
              At(kColumnA, RowTop(3), kButtonWidth));
    AddButton(*panel_, QStringLiteral("butEDIT"), QStringLiteral("Edit"),
              At(kColumnB, RowTop(3), kButtonWidth));
    AddButton(*panel_, QStringLiteral("butSuchprofilausführen"), QStringLiteral("Ausführen"),
              At(kColumnC, RowTop(3), kButtonWidth));

    AddLabel(*panel_, QStringLiteral("Label3"), QStringLiteral("Ersatzbegriff:"),
             At(kLeft, RowTop(4), kLabelWidth));
    AddTextBox(*panel_, QStringLiteral("TexErsatzbegriff"),
               At(kFieldLeft, RowTop(4), kColumnA - kGap - kFieldLeft), &Form1::TexErsatzbegriff);
    AddButton(*panel_, QStringLiteral("butRückgängig"), QStringLiteral("Rückgängig"),
              At(kColumnA, RowTop(4), kButtonWidth));
    AddButton(*panel_, QStringLiteral("butVorschau"), QStringLiteral("Vorschau"),
              At(kColumnB, RowTop(4), kButtonWidth));
    AddButton(*panel_, QStringLiteral("butErsetzen"), QStringLiteral("Ersetzen"),
              At(kColumnC, RowTop(4), kButtonWidth));

    // The replacement profile row has a fourth button. Its preview stands under the preview of
    // the row above; the short "Edit" needs only a narrow button, which makes room for it.
    constexpr int kEditWidth = 44;
    constexpr int kEditLeft = kColumnB - kGap - kEditWidth;
    constexpr int kProfileSetLeft = kEditLeft - kGap - kButtonWidth;
    AddLabel(*panel_, QStringLiteral("LabErsatzlisten"), QStringLiteral("Ersatzprofil:"),
             At(kLeft, RowTop(5), kLabelWidth));
    AddCombo(*panel_, QStringLiteral("ComErsatzlisten"),
             At(kFieldLeft, RowTop(5), kProfileSetLeft - kGap - kFieldLeft),
             &Form1::ComErsatzlisten);
    AddButton(*panel_, QStringLiteral("butErsatzprofilAuswählen"), QStringLiteral("Einstellen"),
              At(kProfileSetLeft, RowTop(5), kButtonWidth));
    AddButton(*panel_, QStringLiteral("butEDIT2"), QStringLiteral("Edit"),
              At(kEditLeft, RowTop(5), kEditWidth));
    AddButton(*panel_, QStringLiteral("butErsatzprofilVorschau"), QStringLiteral("Vorschau"),
              At(kColumnB, RowTop(5), kButtonWidth));
    AddButton(*panel_, QStringLiteral("butErsatzprofileAusführen"), QStringLiteral("Ausführen"),
              At(kColumnC, RowTop(5), kButtonWidth));
}

void Form1Window::BuildOptionRows() {
    QGroupBox* frame1 =
        AddFrame(QStringLiteral("Frame1"), QStringLiteral("Groß- u. Kleinschreibung:"),
                 {kLeft, kFrame1Top, kFrame1Width, kFrame1Height});
    AddOption(*frame1, QStringLiteral("Optgrossklein"), QStringLiteral("Beachten"),
              {8, kFrameContentTop, 84, 20}, &Form1::Optgrossklein);
    AddOption(*frame1, QStringLiteral("OptIGNORE"), QStringLiteral("Ignorieren"),
              {96, kFrameContentTop, 88, 20}, &Form1::OptIGNORE);

    constexpr int kTypeLabelLeft = kLeft + kFrame1Width + 6;
    // Beside the case options, on the line of their caption, which has room to its right.
    checkRegex_ = new QCheckBox(QStringLiteral("Regul\u00E4rer Ausdruck"), panel_);
    checkRegex_->setObjectName(QStringLiteral("CheckRegex"));
    checkRegex_->setGeometry(kTypeLabelLeft, kFrame1Top - 1, 170, 20);
    checkRegex_->setToolTip(
        QStringLiteral("Suchbegriff und Begriffe der Profile als regul\u00E4ren Ausdruck in "
                       "Perl-Syntax lesen, z. B. Fundst[a-z]+. Im Ersatzbegriff stehen $1 und "
                       "${name} f\u00FCr Gruppen, $$ f\u00FCr ein Dollarzeichen."));
    inputs_.push_back(checkRegex_);

    constexpr int kTypeLabelWidth = 56;
    constexpr int kSaveWidth = 128;
    constexpr int kFilterLeft = kTypeLabelLeft + kTypeLabelWidth + 2;
    AddLabel(*panel_, QStringLiteral("Label5"), QStringLiteral("Dateityp:"),
             At(kTypeLabelLeft, kRow6Top, kTypeLabelWidth));
    comDateifilter_ = AddCombo(*panel_, QStringLiteral("ComDateifilter"),
                               At(kFilterLeft, kRow6Top, kRight - kSaveWidth - 6 - kFilterLeft),
                               &Form1::ComDateifilter);
    comDateifilter_->setFont(FileTypeFont());
    // All file types fit into the drop-down list at once.
    comDateifilter_->setMaxVisibleItems(16);
    comSaveIni_ =
        AddButton(*panel_, QStringLiteral("ComSaveIni"), QStringLiteral("INI-Datei speichern"),
                  At(kRight - kSaveWidth, kRow6Top, kSaveWidth));

    checkRekursiv_ = new QCheckBox(QStringLiteral("Unterverzeichnisse durchsuchen"), panel_);
    checkRekursiv_->setObjectName(QStringLiteral("CheckRekursiv"));
    constexpr int kCheckWidth = 221;
    checkRekursiv_->setGeometry(kLeft, kRow7Top + 1, kCheckWidth, 20);
    inputs_.push_back(checkRekursiv_);

    // The row is full: the status label gets what the check box and the buttons leave, which
    // is enough for the longest status text, "Ersetze ...".
    constexpr int kHelpWidth = 48;
    constexpr int kCopyrightWidth = 132;
    constexpr int kCopyrightLeft = kRight - kHelpWidth - kGap - kCopyrightWidth;
    constexpr int kStatusLabelLeft = kLeft + kCheckWidth + kGap;
    constexpr int kStatusLabelWidth = 44;
    constexpr int kStatusLeft = kStatusLabelLeft + kStatusLabelWidth + 2;
    AddLabel(*panel_, QStringLiteral("Label2"), QStringLiteral("Status:"),
             At(kStatusLabelLeft, kRow7Top, kStatusLabelWidth));
    status_ = AddLabel(*panel_, QStringLiteral("Status"), QString(),
                       At(kStatusLeft, kRow7Top, kCopyrightLeft - kGap - kStatusLeft));
    status_->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    status_->setIndent(4);
    // The label shows the button-face colour of the palette when idle and blinks while busy.
    status_->setBackgroundRole(QPalette::Button);
    status_->setAutoFillBackground(true);
    AddButton(*panel_, QStringLiteral("butcopyright"), QStringLiteral("Copyright und Infos"),
              At(kCopyrightLeft, kRow7Top, kCopyrightWidth));
    AddButton(*panel_, QStringLiteral("ButHelp"), QStringLiteral("Hilfe"),
              At(kRight - kHelpWidth, kRow7Top, kHelpWidth));
}

void Form1Window::BuildResultFrame() {
    constexpr int kFrameWidth = kRight - kLeft;
    QGroupBox* frame2 =
        AddFrame(QStringLiteral("Frame2"), QStringLiteral("Ergebnisdatei der Suche:"),
                 {kLeft, kFrame2Top, kFrameWidth, kFrame2Height});
    constexpr int kFirstRow = kFrameContentTop;
    constexpr int kSecondRow = kFrameContentTop + kRowPitch;
    constexpr int kInnerRight = kFrameWidth - 8;
    constexpr int kFieldStart = 174;
    constexpr int kBrowserButtonWidth = 160;

    AddOption(*frame2, QStringLiteral("OptZieldatei"), QStringLiteral("Speichern in:"),
              {8, kFirstRow + 1, 160, 20}, &Form1::OptZieldatei);
    AddTextBox(*frame2, QStringLiteral("TexZieldatei"),
               At(kFieldStart, kFirstRow, kInnerRight - kButtonWidth - kGap - kFieldStart),
               &Form1::TexZieldatei);
    AddButton(*frame2, QStringLiteral("butZieldatei"), QStringLiteral("Einstellen"),
              At(kInnerRight - kButtonWidth, kFirstRow, kButtonWidth));

    AddOption(*frame2, QStringLiteral("OptBrowser"), QStringLiteral("An Browser übergeben"),
              {8, kSecondRow + 1, 162, 20}, &Form1::OptBrowser);
    AddTextBox(*frame2, QStringLiteral("TexBrowser"),
               At(kFieldStart, kSecondRow, kInnerRight - kBrowserButtonWidth - kGap - kFieldStart),
               &Form1::TexBrowser);
    AddButton(*frame2, QStringLiteral("comHTMLBrowser"), QStringLiteral("Browser-Pfad einstellen"),
              At(kInnerRight - kBrowserButtonWidth, kSecondRow, kBrowserButtonWidth));
}

void Form1Window::BuildSpecialCharacterRows() {
    // Both rows share one grid: a bold row label, a code field, the replacement label and its
    // field, then the three command buttons. The buttons are only as wide as their captions
    // need, so that the code fields keep as much of the row as possible; their drop-down lists
    // are widened to the longest code anyway.
    constexpr int kRowLabelWidth = 106;
    constexpr int kReplaceLabelWidth = 78;
    constexpr int kSearchWidth = 52;
    constexpr int kPreviewWidth = 62;
    constexpr int kReplaceWidth = 60;
    constexpr int kReplaceLeft = kRight - kReplaceWidth;
    constexpr int kPreviewLeft = kReplaceLeft - kGap - kPreviewWidth;
    constexpr int kSearchLeft = kPreviewLeft - kGap - kSearchWidth;
    constexpr int kFirstField = kLeft + kRowLabelWidth + 2;
    constexpr int kFieldWidth =
        (kSearchLeft - kGap - kFirstField - kGap - kReplaceLabelWidth - 2) / 2;
    constexpr int kReplaceLabelLeft = kFirstField + kFieldWidth + kGap;
    constexpr int kSecondField = kReplaceLabelLeft + kReplaceLabelWidth + 2;

    QLabel* label7 = AddLabel(*panel_, QStringLiteral("Label7"), QStringLiteral("Sonderzeichen:"),
                              At(kLeft, kRow10Top, kRowLabelWidth));
    QFont bold = label7->font();
    bold.setBold(true);
    label7->setFont(bold);
    ShowChoicesFromStart(*AddCombo(*panel_, QStringLiteral("ComboSonderzeichenSuchcode"),
                                   At(kFirstField, kRow10Top, kFieldWidth),
                                   &Form1::ComboSonderzeichenSuchcode));
    AddLabel(*panel_, QStringLiteral("Label4"), QStringLiteral("Ersatzcode:"),
             At(kReplaceLabelLeft, kRow10Top, kReplaceLabelWidth));
    ShowChoicesFromStart(*AddCombo(*panel_, QStringLiteral("ComboSonderzeichenErsetzcode"),
                                   At(kSecondField, kRow10Top, kFieldWidth),
                                   &Form1::ComboSonderzeichenErsetzcode));
    AddButton(*panel_, QStringLiteral("butSuchenSonderzeichen"), QStringLiteral("Suchen"),
              At(kSearchLeft, kRow10Top, kSearchWidth));
    AddButton(*panel_, QStringLiteral("butVorschauSonderzeichen"), QStringLiteral("Vorschau"),
              At(kPreviewLeft, kRow10Top, kPreviewWidth));
    AddButton(*panel_, QStringLiteral("butErsetzenSonderzeichen"), QStringLiteral("Ersetzen"),
              At(kReplaceLeft, kRow10Top, kReplaceWidth));

    AddLabel(*panel_, QStringLiteral("Label8"), QStringLiteral("Kombinationen:"),
             At(kLeft, kRow11Top, kRowLabelWidth));
    ShowChoicesFromStart(*AddCombo(
        *panel_, QStringLiteral("ComboSonderzeichenkombinationSuchbegriff"),
        At(kFirstField, kRow11Top, kFieldWidth), &Form1::ComboSonderzeichenkombinationSuchbegriff));
    AddLabel(*panel_, QStringLiteral("Label9"), QStringLiteral("Ersatzcodes:"),
             At(kReplaceLabelLeft, kRow11Top, kReplaceLabelWidth));
    ShowChoicesFromStart(*AddCombo(*panel_,
                                   QStringLiteral("CombosonderzeichenKombinationErsatzbegriff"),
                                   At(kSecondField, kRow11Top, kFieldWidth),
                                   &Form1::CombosonderzeichenKombinationErsatzbegriff));
    AddButton(*panel_, QStringLiteral("butKombinationenSuchen"), QStringLiteral("Suchen"),
              At(kSearchLeft, kRow11Top, kSearchWidth));
    AddButton(*panel_, QStringLiteral("butVorschauKombinationen"), QStringLiteral("Vorschau"),
              At(kPreviewLeft, kRow11Top, kPreviewWidth));
    AddButton(*panel_, QStringLiteral("butKombinationenErsetzen"), QStringLiteral("Ersetzen"),
              At(kReplaceLeft, kRow11Top, kReplaceWidth));
}

void Form1Window::ConnectCommands() {
    connect(timer1_, &QTimer::timeout, this, [this] { trawlex::Timer1_Timer(record_, ui_); });
    connect(stopShortcut_, &QShortcut::activated, this, [this] { ui_.RequestStop(); });
    const std::pair<const char16_t*, Command> commands[] = {
        {u"butSuchen", butSuchen_Click},
        {u"butErsetzen", butErsetzen_Click},
        {u"butSuchenSonderzeichen", butSuchenSonderzeichen_Click},
        {u"butKombinationenSuchen", butKombinationenSuchen_Click},
        {u"butErsetzenSonderzeichen", butErsetzenSonderzeichen_Click},
        {u"butKombinationenErsetzen", butKombinationenErsetzen_Click},
        {u"butSuchprofilausführen", butSuchprofilausführen_Click},
        {u"butErsatzprofileAusführen", butErsatzprofileAusführen_Click},
        {u"butVorschau", butVorschau_Click},
        {u"butErsatzprofilVorschau", butErsatzprofilVorschau_Click},
        {u"butVorschauSonderzeichen", butVorschauSonderzeichen_Click},
        {u"butVorschauKombinationen", butVorschauKombinationen_Click},
        {u"butRückgängig", butRückgängig_Click},
        // The directory dialog runs as a command too: the record holds the inputs while it is
        // open, and the window shows what it chose when it closes.
        {u"butSuchort", Completing(butSuchort_Click)},
        {u"butSuchprofilEinstellen", Completing(butSuchprofilEinstellen_Click)},
        {u"butErsatzprofilAuswählen", Completing(butErsatzprofilAuswählen_Click)},
        {u"butSaveSuchort", Completing([](Form1& form, Ui&) { butSaveSuchort_Click(form); })},
        // The help page is looked for anew each time, so one installed meanwhile is found.
        {u"ButHelp",
         Completing([](Form1& form, Ui& ui) { ButHelp_Click(form, ui, HelpPagePath()); })},
        {u"comHTMLBrowser", Completing(comHTMLBrowser_Click)},
        {u"butZieldatei", Completing(butZieldatei_Click)},
        {u"butEDIT", Completing(butEDIT_Click)},
        {u"butEDIT2", Completing(butEDIT2_Click)},
        {u"butcopyright", Completing([](Form1&, Ui& ui) { butcopyright_Click(ui); })},
    };
    for (const auto& [name, command] : commands) {
        auto* button = findChild<QPushButton*>(QString::fromUtf16(name));
        connect(button, &QPushButton::clicked, this, [this, command] { RunCommand(command); });
    }
    connect(comSaveIni_, &QPushButton::clicked, this, [this] {
        RunCommand([this](Form1& form, Ui& ui) {
            ComSaveIni_Click(form, ui, settingsPath_);
            return CommandOutcome::Completed;
        });
    });
}

QLabel* Form1Window::AddLabel(QWidget& parent, const QString& name, const QString& caption,
                              const QRect& geometry) {
    auto* label = new QLabel(caption, &parent);
    label->setObjectName(name);
    label->setGeometry(geometry);
    return label;
}

QComboBox* Form1Window::AddCombo(QWidget& parent, const QString& name, const QRect& geometry,
                                 ComboField Form1::*field) {
    auto* combo = new QComboBox(&parent);
    combo->setObjectName(name);
    combo->setEditable(true);
    // The lists belong to the record and change only through the commands; a typed text that
    // the combo box added on Enter would otherwise turn up in the list twice.
    combo->setInsertPolicy(QComboBox::NoInsert);
    // A command runs with exactly the text the person typed: the earlier entries are offered in
    // a list below, with their case as typed, but never written into the field. Qt's own
    // completion would fill in "Kontakt:" for a typed "kon" and run the search with that.
    auto* completer = new QCompleter(combo->model(), combo);
    completer->setCompletionMode(QCompleter::PopupCompletion);
    completer->setCaseSensitivity(Qt::CaseSensitive);
    combo->setCompleter(completer);
    combo->setGeometry(geometry);
    combos_.push_back({combo, field});
    inputs_.push_back(combo);
    return combo;
}

QLineEdit* Form1Window::AddTextBox(QWidget& parent, const QString& name, const QRect& geometry,
                                   QString Form1::*field) {
    auto* textBox = new QLineEdit(&parent);
    textBox->setObjectName(name);
    textBox->setGeometry(geometry);
    textBoxes_.push_back({textBox, field});
    inputs_.push_back(textBox);
    return textBox;
}

QPushButton* Form1Window::AddButton(QWidget& parent, const QString& name, const QString& caption,
                                    const QRect& geometry) {
    auto* button = new QPushButton(caption, &parent);
    button->setObjectName(name);
    button->setGeometry(geometry);
    inputs_.push_back(button);
    return button;
}

QRadioButton* Form1Window::AddOption(QWidget& parent, const QString& name, const QString& caption,
                                     const QRect& geometry, bool Form1::*field) {
    auto* option = new QRadioButton(caption, &parent);
    option->setObjectName(name);
    option->setGeometry(geometry);
    options_.push_back({option, field});
    inputs_.push_back(option);
    return option;
}

QGroupBox* Form1Window::AddFrame(const QString& name, const QString& caption,
                                 const QRect& geometry) {
    auto* frame = new QGroupBox(caption, panel_);
    frame->setObjectName(name);
    frame->setGeometry(geometry);
    return frame;
}

void Form1Window::Form_Load(const std::string& settingsPath) {
    settingsPath_ = settingsPath;
    trawlex::Form_Load(record_, ui_, settingsPath_);
    WriteWidgets();
}

void Form1Window::ReadWidgets() {
    for (const ComboBinding& binding : combos_) {
        ComboField& field = record_.*binding.field;
        field.text = binding.widget->currentText();
        field.list = ItemTexts(*binding.widget);
    }
    for (const TextBinding& binding : textBoxes_) {
        record_.*binding.field = binding.widget->text();
    }
    for (const OptionBinding& binding : options_) {
        record_.*binding.field = binding.widget->isChecked();
    }
    record_.CheckRekursiv = checkRekursiv_->isChecked() ? 1 : 0;
    record_.CheckRegex = checkRegex_->isChecked() ? 1 : 0;
}

void Form1Window::WriteWidgets() {
    for (const ComboBinding& binding : combos_) {
        WriteCombo(*binding.widget, record_.*binding.field);
    }
    for (const TextBinding& binding : textBoxes_) {
        WriteText(*binding.widget, record_.*binding.field);
    }
    // Checking one option of a group unchecks the other, so only the selected one is set.
    for (const OptionBinding& binding : options_) {
        if (record_.*binding.field) {
            binding.widget->setChecked(true);
        }
    }
    checkRekursiv_->setChecked(record_.CheckRekursiv != 0);
    checkRegex_->setChecked(record_.CheckRegex != 0);
    WriteStatus();
}

void Form1Window::WriteStatus() {
    status_->setText(record_.Status);
    // An empty palette resolves nothing, so the idle label follows the window's button face.
    QPalette palette;
    if (record_.StatusBackground == StatusColour::Orange) {
        palette.setColor(QPalette::Button, BlinkColour());
    }
    status_->setPalette(palette);
    // Starting an active timer again would restart its interval; a second BusyStart only
    // replaces the caption.
    if (record_.Timer1Enabled && !timer1_->isActive()) {
        timer1_->start();
    } else if (!record_.Timer1Enabled && timer1_->isActive()) {
        timer1_->stop();
    }
}

void Form1Window::SyncFromCommand() {
    // The blinking belongs to the window's timer while the command is busy.
    const bool phase = record_.BlinkPhase;
    const StatusColour background = record_.StatusBackground;
    record_ = running_;
    record_.BlinkPhase = phase;
    if (running_.Timer1Enabled) {
        record_.StatusBackground = background;
    }
}

void Form1Window::OnStatusChanged() {
    // While a command runs the inputs are disabled, so the command's record alone holds the
    // truth and the whole window can show it, the term a search has just added to its list
    // included; it may only be read while the command waits for the window. Outside a run the
    // widgets may hold input that is not yet in the record.
    if (commandRunning_ && ui_.InCommandCall()) {
        SyncFromCommand();
        WriteWidgets();
        return;
    }
    WriteStatus();
}

void Form1Window::SetInputsEnabled(bool enabled) {
    for (QWidget* input : inputs_) {
        input->setEnabled(enabled);
    }
}

CommandOutcome Form1Window::RunCommand(const Command& command) {
    if (commandRunning_) {
        return CommandOutcome::Refused;
    }
    ReadWidgets();
    const QPointer<QWidget> focused = focusWidget();
    commandRunning_ = true;
    closeRequested_ = false;
    ui_.ClearStopRequest();
    SetInputsEnabled(false);
    stopShortcut_->setEnabled(true);
    progress_->clear();

    running_ = record_;
    CommandOutcome outcome = CommandOutcome::Completed;
    QThread* worker =
        QThread::create([this, &command, &outcome] { outcome = command(running_, ui_); });
    QEventLoop untilDone;
    connect(worker, &QThread::finished, &untilDone, &QEventLoop::quit);
    taker_->start();
    worker->start();
    untilDone.exec();
    worker->wait();
    delete worker;
    taker_->stop();
    TakeResults();
    SyncFromCommand();

    stopShortcut_->setEnabled(false);
    SetInputsEnabled(true);
    commandRunning_ = false;
    WriteWidgets();
    if (focused != nullptr) {
        focused->setFocus();
    }
    if (closeRequested_) {
        closeRequested_ = false;
        close();
    }
    return outcome;
}

void Form1Window::closeEvent(QCloseEvent* event) {
    // The running command works on this window's record and yields through its event loop; the
    // window may only go once the command has returned, so it asks the command to stop and
    // closes afterwards.
    if (commandRunning_) {
        closeRequested_ = true;
        ui_.RequestStop();
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}

}  // namespace trawlex
