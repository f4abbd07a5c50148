#include "Form1Window.h"

#include "ButtonCommands.h"
#include "FilterBox.h"
#include "HitLinesView.h"
#include "KeyboardFlow.h"
#include "PanelGeometry.h"
#include "ResultsPane.h"
#include "WorkArea.h"

#include "app/Startup.h"
#include "app/StatusLine.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFontDatabase>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QTimer>
#include <QVBoxLayout>

#include <utility>

namespace trawlex {
namespace {

using namespace panel;

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

}  // namespace

Form1Window::Form1Window(QWidget* parent)
    : QWidget(parent),
      ui_(
          *this, [this] { WriteStatus(); }, [this](const Form1& form) { fields_.Write(form); }),
      runner_(ui_) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Trawlex und Replace"));
    panel_ = new QWidget(this);
    panel_->setObjectName(QStringLiteral("Eingaben"));
    panel_->setFixedSize(kClientWidth, kClientHeight);
    // The controls stand where a 12-pixel font puts them; a larger desktop font would cut their
    // captions. The results follow the desktop's font.
    QFont designed = panel_->font();
    designed.setPixelSize(12);
    panel_->setFont(designed);

    BuildSearchRows();
    BuildOptionRows();
    BuildResultFrame();
    BuildSpecialCharacterRows();
    BuildWorkArea();

    timer1_ = new QTimer(this);
    timer1_->setObjectName(QStringLiteral("Timer1"));
    timer1_->setInterval(kBlinkIntervalMilliseconds);

    stopShortcut_ = InstallKeyboardFlow(
        {*this, *findChild<QComboBox*>(QStringLiteral("TexSuchbegriff")),
         *findChild<QPushButton*>(QStringLiteral("butSuchen")), [this] { runner_.RequestStop(); },
         [this](int direction) { work_->Results().StepHit(direction); }});
    ConnectCommands();
    ConnectRunner();
    if (review_.isValid()) {
        record_.ChangesFile = review_.filePath(QStringLiteral("Vorschau.jsonl"));
    }
    WriteWidgets();
}

// The runner goes first and waits for a command still running (see runner_).
Form1Window::~Form1Window() = default;

void Form1Window::BuildWorkArea() {
    // The filters stand beside the inputs, which keep the place they were designed with.
    auto* inputs = new QWidget(this);
    inputs->setObjectName(QStringLiteral("EingabenUndFilter"));
    QGroupBox* filters = BuildFilterBox(*inputs, fields_, inputs_);
    auto* row = new QHBoxLayout(inputs);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(6);
    row->addWidget(panel_, 0, Qt::AlignTop);
    row->addWidget(filters, 0, Qt::AlignTop);
    // The row is exactly as wide as its two parts; it never shares out the room beside it.
    row->setSizeConstraint(QLayout::SetFixedSize);
    inputs->setFixedSize(panel_->width() + row->spacing() + filters->width(), panel_->height());
    work_ = new WorkArea(*inputs, record_, ui_, this);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 4);
    layout->addWidget(work_);
    work_->SizeWindow(*this);
}

QSortFilterProxyModel& Form1Window::ShownResults() {
    return work_->Results().ShownResults();
}

QPlainTextEdit& Form1Window::HitLinesPane() {
    return work_->HitLines();
}

void Form1Window::BuildSearchRows() {
    AddLabel(*panel_, QStringLiteral("Label6"), QStringLiteral("Suchort:"),
             At(kLeft, RowTop(1), kLabelWidth));
    AddCombo(*panel_, QStringLiteral("TexSuchort"),
             At(kFieldLeft, RowTop(1), kColumnB - kGap - kFieldLeft), &Form1::TexSuchort,
             &Form1::LocationHistory);
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
               At(kFieldLeft, RowTop(4), kColumnA - kGap - kFieldLeft), &Form1::TexErsatzbegriff,
               &Form1::ReplacementHistory);
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
    QCheckBox* checkRegex = fields_.AddCheck(
        *panel_, QStringLiteral("CheckRegex"), QStringLiteral("Regul\u00E4rer Ausdruck"),
        {kTypeLabelLeft, kFrame1Top - 1, 170, 20}, &Form1::CheckRegex);
    checkRegex->setToolTip(
        QStringLiteral("Suchbegriff und Begriffe der Profile als regul\u00E4ren Ausdruck in "
                       "Perl-Syntax lesen, z. B. Fundst[a-z]+. Im Ersatzbegriff stehen $1 und "
                       "${name} f\u00FCr Gruppen, $$ f\u00FCr ein Dollarzeichen."));
    inputs_.push_back(checkRegex);

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

    AddButton(*panel_, QStringLiteral("ComSaveIni"), QStringLiteral("INI-Datei speichern"),
              At(kRight - kSaveWidth, kRow6Top, kSaveWidth));

    constexpr int kCheckWidth = 221;
    inputs_.push_back(fields_.AddCheck(
        *panel_, QStringLiteral("CheckRekursiv"), QStringLiteral("Unterverzeichnisse durchsuchen"),
        {kLeft, kRow7Top + 1, kCheckWidth, 20}, &Form1::CheckRekursiv));

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
    AddCombo(*panel_, QStringLiteral("ComboSonderzeichenSuchcode"),
             At(kFirstField, kRow10Top, kFieldWidth), &Form1::ComboSonderzeichenSuchcode);
    AddLabel(*panel_, QStringLiteral("Label4"), QStringLiteral("Ersatzcode:"),
             At(kReplaceLabelLeft, kRow10Top, kReplaceLabelWidth));
    AddCombo(*panel_, QStringLiteral("ComboSonderzeichenErsetzcode"),
             At(kSecondField, kRow10Top, kFieldWidth), &Form1::ComboSonderzeichenErsetzcode);
    AddButton(*panel_, QStringLiteral("butSuchenSonderzeichen"), QStringLiteral("Suchen"),
              At(kSearchLeft, kRow10Top, kSearchWidth));
    AddButton(*panel_, QStringLiteral("butVorschauSonderzeichen"), QStringLiteral("Vorschau"),
              At(kPreviewLeft, kRow10Top, kPreviewWidth));
    AddButton(*panel_, QStringLiteral("butErsetzenSonderzeichen"), QStringLiteral("Ersetzen"),
              At(kReplaceLeft, kRow10Top, kReplaceWidth));

    AddLabel(*panel_, QStringLiteral("Label8"), QStringLiteral("Kombinationen:"),
             At(kLeft, kRow11Top, kRowLabelWidth));
    AddCombo(*panel_, QStringLiteral("ComboSonderzeichenkombinationSuchbegriff"),
             At(kFirstField, kRow11Top, kFieldWidth),
             &Form1::ComboSonderzeichenkombinationSuchbegriff);
    AddLabel(*panel_, QStringLiteral("Label9"), QStringLiteral("Ersatzcodes:"),
             At(kReplaceLabelLeft, kRow11Top, kReplaceLabelWidth));
    AddCombo(*panel_, QStringLiteral("CombosonderzeichenKombinationErsatzbegriff"),
             At(kSecondField, kRow11Top, kFieldWidth),
             &Form1::CombosonderzeichenKombinationErsatzbegriff);
    AddButton(*panel_, QStringLiteral("butKombinationenSuchen"), QStringLiteral("Suchen"),
              At(kSearchLeft, kRow11Top, kSearchWidth));
    AddButton(*panel_, QStringLiteral("butVorschauKombinationen"), QStringLiteral("Vorschau"),
              At(kPreviewLeft, kRow11Top, kPreviewWidth));
    AddButton(*panel_, QStringLiteral("butKombinationenErsetzen"), QStringLiteral("Ersetzen"),
              At(kReplaceLeft, kRow11Top, kReplaceWidth));
}

void Form1Window::ConnectCommands() {
    connect(timer1_, &QTimer::timeout, this, [this] { trawlex::Timer1_Timer(record_, ui_); });
    for (const auto& [name, command, kind] : ButtonCommands(settingsPath_)) {
        auto* button = findChild<QPushButton*>(QString::fromUtf16(name));
        connect(button, &QPushButton::clicked, this,
                [this, command, kind] { StartCommand(command, kind); });
    }
}

void Form1Window::ConnectRunner() {
    ResultsPane* results = &work_->Results();
    connect(&runner_, &Runner::statusChanged, this, &Form1Window::ShowRunStatus);
    connect(&runner_, &Runner::resultsBegun, results, &ResultsPane::Begin);
    connect(&runner_, &Runner::found, results, &ResultsPane::Append);
    connect(&runner_, &Runner::progressed, results, &ResultsPane::ShowProgress);
    connect(&runner_, &Runner::finished, this, &Form1Window::CommandEnded);
    connect(results, &ResultsPane::applyRequested, this,
            [this](const QString& list, const std::vector<ChosenChanges>& chosen) {
                StartCommand(ApplyChosenCommand(
                                 list, chosen,
                                 review_.filePath(QStringLiteral("Auswahl der Vorschau.jsonl"))),
                             CommandKind::Run);
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
                                 ComboField Form1::*field, QStringList Form1::*offered) {
    QComboBox* combo = fields_.AddCombo(parent, name, geometry, field, offered);
    inputs_.push_back(combo);
    return combo;
}

QLineEdit* Form1Window::AddTextBox(QWidget& parent, const QString& name, const QRect& geometry,
                                   QString Form1::*field, QStringList Form1::*offered) {
    QLineEdit* textBox = fields_.AddTextBox(parent, name, geometry, field, offered);
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

void Form1Window::AddOption(QWidget& parent, const QString& name, const QString& caption,
                            const QRect& geometry, bool Form1::*field) {
    inputs_.push_back(fields_.AddOption(parent, name, caption, geometry, field));
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
    work_->ShowSizesOf(record_);
}

void Form1Window::ReadWidgets() {
    fields_.Read(record_);
    work_->KeepSizesIn(record_);
}

void Form1Window::WriteWidgets() {
    fields_.Write(record_);
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

bool Form1Window::StartCommand(Command command, CommandKind kind) {
    if (runner_.Running()) {
        return false;
    }
    ReadWidgets();
    focusedBeforeRun_ = focusWidget();
    closeRequested_ = false;
    runKind_ = kind;
    SetInputsEnabled(false);
    ResultsPane& results = work_->Results();
    results.SetCommandRunning(true);
    if (kind != CommandKind::Dialog) {
        // Nothing of the last run stands under the new inputs, not even when this one is refused.
        results.BeginRun();
        ui_.ForgetLastMessage();
    }
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
    ResultsPane& results = work_->Results();
    results.SetCommandRunning(false);
    if (runKind_ != CommandKind::Dialog) {
        results.FinishRun(outcome, ui_.LastMessage());
        RememberRun(outcome);
    }
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

// A run that got as far as its files is offered again: its location, and the replacement of a
// term replacement.
void Form1Window::RememberRun(CommandOutcome outcome) {
    const RunTally& tally = work_->Results().Tally();
    if (!Produced(outcome) || !tally.began) {
        return;
    }
    RememberEntry(record_.LocationHistory, record_.TexSuchort.text);
    if (runKind_ == CommandKind::ReplacesTerm && IsReplacement(tally.kind)) {
        RememberEntry(record_.ReplacementHistory, record_.TexErsatzbegriff);
    }
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
