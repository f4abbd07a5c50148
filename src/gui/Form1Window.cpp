#include "Form1Window.h"

#include "ResultsPane.h"

#include "app/Settings.h"
#include "app/Startup.h"
#include "app/StatusLine.h"
#include "dialogs/Dialogs.h"
#include "profiles/ProfileCommand.h"
#include "profiles/SearchProfile.h"
#include "replace/ReplaceCommand.h"
#include "replace/ReplaceProfile.h"
#include "replace/Undo.h"
#include "replace/UndoCommand.h"
#include "search/SearchCommand.h"
#include "search/Suchroutinen.h"
#include "special/SpecialCommands.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCompleter>
#include <QFontDatabase>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QShortcut>
#include <QSignalBlocker>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

namespace trawlex {
namespace {

// The inputs keep the size and the control positions they were designed with; only the results
// below them grow with the window.
constexpr int kClientWidth = 545;
constexpr int kClientHeight = 333;

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

void WriteText(QLineEdit& textBox, const QString& text) {
    if (textBox.text() != text) {
        textBox.setText(text);
    }
}

}  // namespace

Form1Window::Form1Window(QWidget* parent)
    : QWidget(parent),
      ui_(
          *this, [this] { WriteStatus(); }, [this](const Form1& form) { WriteFields(form); }),
      runner_(ui_) {
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
    ConnectRunner();
    WriteWidgets();
}

// The runner goes first and waits for a command still running (see runner_).
Form1Window::~Form1Window() = default;

void Form1Window::BuildResultsArea() {
    results_ = new ResultsPane(record_, ui_, this);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 4);
    layout->setSpacing(4);
    layout->addWidget(panel_, 0, Qt::AlignLeft);
    layout->addWidget(results_, 1);

    setMinimumSize(kClientWidth, kClientHeight + 240);
    // Most of the screen, so that the table has room, but not a wall of white on a big one.
    QSize size(1000, 760);
    if (const QScreen* screen = this->screen()) {
        const QSize available = screen->availableSize();
        size = QSize(available.width() * 3 / 4, available.height() * 17 / 20)
                   .boundedTo(QSize(1400, 1000));
    }
    resize(size.expandedTo(minimumSize()));
}

QSortFilterProxyModel& Form1Window::ShownResults() {
    return results_->ShownResults();
}

QPlainTextEdit& Form1Window::HitLinesPane() {
    return results_->HitLines();
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
    connect(stopShortcut_, &QShortcut::activated, this, [this] { runner_.RequestStop(); });
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
        connect(button, &QPushButton::clicked, this, [this, command] { StartCommand(command); });
    }
    connect(comSaveIni_, &QPushButton::clicked, this, [this] {
        StartCommand([this](Form1& form, Ui& ui) {
            ComSaveIni_Click(form, ui, settingsPath_);
            return CommandOutcome::Completed;
        });
    });
}

void Form1Window::ConnectRunner() {
    connect(&runner_, &Runner::statusChanged, this, &Form1Window::ShowRunStatus);
    connect(&runner_, &Runner::resultsBegun, results_, &ResultsPane::Begin);
    connect(&runner_, &Runner::found, results_, &ResultsPane::Append);
    connect(&runner_, &Runner::progressed, results_, &ResultsPane::ShowProgress);
    connect(&runner_, &Runner::finished, this, &Form1Window::CommandEnded);
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
    WriteFields(record_);
    WriteStatus();
}

void Form1Window::WriteFields(const Form1& form) {
    for (const ComboBinding& binding : combos_) {
        WriteCombo(*binding.widget, form.*binding.field);
    }
    for (const TextBinding& binding : textBoxes_) {
        WriteText(*binding.widget, form.*binding.field);
    }
    // Checking one option of a group unchecks the other, so only the selected one is set.
    for (const OptionBinding& binding : options_) {
        if (form.*binding.field) {
            binding.widget->setChecked(true);
        }
    }
    checkRekursiv_->setChecked(form.CheckRekursiv != 0);
    checkRegex_->setChecked(form.CheckRegex != 0);
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

void Form1Window::ShowRunStatus(const RunStatus& status) {
    // The blinking belongs to the window's timer while the command is busy; only its end brings
    // the command's colour back.
    record_.Status = status.text;
    record_.Timer1Enabled = status.blinking;
    if (!status.blinking) {
        record_.StatusBackground = status.background;
    }
    WriteStatus();
}

void Form1Window::SetInputsEnabled(bool enabled) {
    for (QWidget* input : inputs_) {
        input->setEnabled(enabled);
    }
}

bool Form1Window::StartCommand(Command command) {
    if (runner_.Running()) {
        return false;
    }
    ReadWidgets();
    focusedBeforeRun_ = focusWidget();
    closeRequested_ = false;
    SetInputsEnabled(false);
    results_->SetCommandRunning(true);
    stopShortcut_->setEnabled(true);
    return runner_.Start(record_, std::move(command));
}

void Form1Window::CommandEnded(CommandOutcome outcome) {
    // The command's record holds the truth now, the term a search added to its list included;
    // only the blinking was the window's.
    const bool phase = record_.BlinkPhase;
    const StatusColour background = record_.StatusBackground;
    record_ = runner_.Record();
    record_.BlinkPhase = phase;
    if (record_.Timer1Enabled) {
        record_.StatusBackground = background;
    }

    stopShortcut_->setEnabled(false);
    results_->SetCommandRunning(false);
    SetInputsEnabled(true);
    WriteWidgets();
    if (focusedBeforeRun_ != nullptr) {
        focusedBeforeRun_->setFocus();
    }
    focusedBeforeRun_ = nullptr;
    if (closeRequested_) {
        closeRequested_ = false;
        close();
    }
    Q_EMIT commandFinished(outcome);
}

void Form1Window::closeEvent(QCloseEvent* event) {
    // The running command may still ask the window for an answer, and its record is to be shown;
    // the window may only go once the command has returned, so it asks the command to stop and
    // closes afterwards.
    if (runner_.Running()) {
        closeRequested_ = true;
        runner_.RequestStop();
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}

}  // namespace trawlex
