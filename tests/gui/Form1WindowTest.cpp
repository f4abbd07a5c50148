#include "gui/Form1Window.h"
#include "gui/WidgetUi.h"

#include "app/FileTypes.h"
#include "app/StatusLine.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <clocale>
#include <map>
#include <vector>

using trawlex::CommandOutcome;
using trawlex::Flow;
using trawlex::Form1;
using trawlex::Form1Window;
using trawlex::MessageIcon;
using trawlex::Ui;

namespace {

const QColor kOrange(255, 150, 0);

QString Text(const char* utf8) {
    return QString::fromUtf8(utf8);
}

template <typename Widget>
Widget* Control(const QWidget& window, const QString& name) {
    return window.findChild<Widget*>(name);
}

QStringList ItemTexts(const QComboBox& combo) {
    QStringList texts;
    for (int index = 0; index < combo.count(); ++index) {
        texts.append(combo.itemText(index));
    }
    return texts;
}

// Every control the person can type into, choose or press.
QList<QWidget*> Inputs(const QWidget& window) {
    QList<QWidget*> inputs;
    for (QWidget* widget : window.findChildren<QWidget*>()) {
        const bool isInput = qobject_cast<QAbstractButton*>(widget) != nullptr ||
                             qobject_cast<QComboBox*>(widget) != nullptr ||
                             qobject_cast<QLineEdit*>(widget) != nullptr;
        // The text field inside an editable combo box follows its combo box.
        if (isInput && qobject_cast<QComboBox*>(widget->parentWidget()) == nullptr) {
            inputs.append(widget);
        }
    }
    return inputs;
}

// The colour the status label's background is painted in, read from the pixels at its right
// end, where the left-aligned caption never reaches.
QColor PaintedBackground(QLabel& label) {
    const QImage image = label.grab().toImage();
    return image.pixelColor(image.width() - 4, image.height() / 2);
}

QColor ButtonFace(const QWidget& window) {
    return window.palette().color(QPalette::Button);
}

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return file.readAll();
}

void WriteFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

// A settings file that does not exist, so that start-up takes the first-start defaults whatever
// lies beside the test program.
std::string MissingSettingsFile() {
    static const QTemporaryDir directory;
    return QFile::encodeName(directory.filePath(QStringLiteral("Trawlex.INI"))).toStdString();
}

// A window after start-up whose message boxes land in `messages` instead of on the screen, so
// that no test can hang on a modal dialog, and which starts no program.
void Prepare(Form1Window& window, QStringList& messages,
             const std::string& settingsPath = MissingSettingsFile()) {
    window.WindowUi().SetMessageHook(
        [&messages](const QString& text, MessageIcon) { messages.append(text); });
    window.WindowUi().SetProcessStarter([](const QString&, const QStringList&) { return true; });
    window.Form_Load(settingsPath);
    window.show();
}

// Yields the way an engine does between files until the command is asked to stop or the
// deadline passes.
Flow YieldUntilStopped(Ui& ui, int deadlineMilliseconds) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < deadlineMilliseconds) {
        if (ui.YieldToEventLoop() == Flow::Stop) {
            return Flow::Stop;
        }
        QThread::msleep(1);
    }
    return Flow::Continue;
}

// The search location of the window tests: one file with the term, one without, and one with
// the term in a subdirectory.
struct SearchLocation {
    QTemporaryDir directory;
    QString hitPath;
    QString missPath;
    QString nestedPath;

    SearchLocation() {
        hitPath = directory.filePath(QStringLiteral("treffer.htm"));
        missPath = directory.filePath(QStringLiteral("leer.htm"));
        QDir(directory.path()).mkdir(QStringLiteral("unter"));
        nestedPath = directory.filePath(QStringLiteral("unter/tief.htm"));
        WriteFile(hitPath, "<HTML><TITLE>Seite</TITLE>Ein Fund und noch ein Fund</HTML>");
        WriteFile(missPath, "<HTML>nichts</HTML>");
        WriteFile(nestedPath, "Fund");
    }
};

}  // namespace

class Form1WindowTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();

    // The window and its controls.
    void windowHasFixedSizeAndCaption();
    void controlHasCaptionKindAndPlace_data();
    void controlHasCaptionKindAndPlace();
    void rowsRunTopToBottomWithLabelsLeftOfFields();
    void controlsNeitherOverlapNorClipTheirCaptions();
    void fileTypeListIsReadableInFixedFont();

    // The binding between the widgets and the record.
    void readWidgetsFillsEachFieldFromItsOwnControl();
    void writeWidgetsShowsEachFieldInItsOwnControl();
    void typedComboTextStaysOutOfTheList();

    // The status line, driven by the real timer.
    void shortBusyPeriodChangesOnlyTheCaption();
    void statusBlinksAndBlinkPhaseCarriesOver();

    // Commands run from the window.
    void searchWritesReportAndRecordsTerm();
    void searchFollowsCaseAndSubdirectoryOptions_data();
    void searchFollowsCaseAndSubdirectoryOptions();
    void searchWithMissingValueOnlyShowsMessage_data();
    void searchWithMissingValueOnlyShowsMessage();
    void searchHandsReportToBrowserWhenAsked();
    void savedSettingsComeBackAtNextStart();
    void commandRunsWithInputsDisabledAndStatusBlinking();
    void escapeStopsOnlyTheRunningCommand();
    void closingDuringRunWaitsForTheCommand();
    void yieldSkipsCallsThatComeTooSoon();
};

void Form1WindowTest::initTestCase() {
    // As in the program: the engine formats dates and numbers by the process locale.
    std::setlocale(LC_ALL, "");
}

void Form1WindowTest::windowHasFixedSizeAndCaption() {
    Form1Window window;
    window.show();
    QCOMPARE(window.windowTitle(), QStringLiteral("Trawlex und Replace"));
    QCOMPARE(window.size(), QSize(545, 333));
    QCOMPARE(window.minimumSize(), QSize(545, 333));
    QCOMPARE(window.maximumSize(), QSize(545, 333));
    QCOMPARE(trawlex::WidgetUi::MessageTitle(), QStringLiteral("Trawlex"));
}

void Form1WindowTest::controlHasCaptionKindAndPlace_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("parent");

    struct Row {
        const char* name;
        const char* kind;
        const char* caption;
        const char* parent;
    };
    const Row rows[] = {
        {"Label6", "QLabel", "Suchort:", "Form1"},
        {"TexSuchort", "QComboBox", "", "Form1"},
        {"butSaveSuchort", "QPushButton", "Speichern", "Form1"},
        {"butSuchort", "QPushButton", "Einstellen", "Form1"},
        {"Label1", "QLabel", "Suchbegriff:", "Form1"},
        {"TexSuchbegriff", "QComboBox", "", "Form1"},
        {"butSuchen", "QPushButton", "Suchen", "Form1"},
        {"LabSuchlisten", "QLabel", "Suchprofil:", "Form1"},
        {"ComSuchprofile", "QComboBox", "", "Form1"},
        {"butSuchprofilEinstellen", "QPushButton", "Einstellen", "Form1"},
        {"butEDIT", "QPushButton", "Edit", "Form1"},
        {"butSuchprofilausführen", "QPushButton", "Ausführen", "Form1"},
        {"Label3", "QLabel", "Ersatzbegriff:", "Form1"},
        {"TexErsatzbegriff", "QLineEdit", "", "Form1"},
        {"butErsetzen", "QPushButton", "Ersetzen", "Form1"},
        {"LabErsatzlisten", "QLabel", "Ersatzprofil:", "Form1"},
        {"ComErsatzlisten", "QComboBox", "", "Form1"},
        {"butErsatzprofilAuswählen", "QPushButton", "Einstellen", "Form1"},
        {"butEDIT2", "QPushButton", "Edit", "Form1"},
        {"butErsatzprofileAusführen", "QPushButton", "Ausführen", "Form1"},
        {"Frame1", "QGroupBox", "Groß- u. Kleinschreibung:", "Form1"},
        {"Optgrossklein", "QRadioButton", "Beachten", "Frame1"},
        {"OptIGNORE", "QRadioButton", "Ignorieren", "Frame1"},
        {"Label5", "QLabel", "Dateityp:", "Form1"},
        {"ComDateifilter", "QComboBox", "", "Form1"},
        {"ComSaveIni", "QPushButton", "INI-Datei speichern", "Form1"},
        {"CheckRekursiv", "QCheckBox", "Unterverzeichnisse durchsuchen", "Form1"},
        {"Label2", "QLabel", "Status:", "Form1"},
        {"Status", "QLabel", "Bereit", "Form1"},
        {"butcopyright", "QPushButton", "Copyright und Infos", "Form1"},
        {"ButHelp", "QPushButton", "Hilfe", "Form1"},
        {"Frame2", "QGroupBox", "Ergebnisdatei der Suche:", "Form1"},
        {"OptZieldatei", "QRadioButton", "Speichern in:", "Frame2"},
        {"TexZieldatei", "QLineEdit", "", "Frame2"},
        {"butZieldatei", "QPushButton", "Einstellen", "Frame2"},
        {"OptBrowser", "QRadioButton", "An Browser übergeben", "Frame2"},
        {"TexBrowser", "QLineEdit", "", "Frame2"},
        {"comHTMLBrowser", "QPushButton", "Browser-Pfad einstellen", "Frame2"},
        {"Label7", "QLabel", "Sonderzeichen:", "Form1"},
        {"ComboSonderzeichenSuchcode", "QComboBox", "", "Form1"},
        {"Label4", "QLabel", "Ersatzcode:", "Form1"},
        {"ComboSonderzeichenErsetzcode", "QComboBox", "", "Form1"},
        {"butSuchenSonderzeichen", "QPushButton", "Suchen", "Form1"},
        {"butErsetzenSonderzeichen", "QPushButton", "Ersetzen", "Form1"},
        {"Label8", "QLabel", "Kombinationen:", "Form1"},
        {"ComboSonderzeichenkombinationSuchbegriff", "QComboBox", "", "Form1"},
        {"Label9", "QLabel", "Ersatzcodes:", "Form1"},
        {"CombosonderzeichenKombinationErsatzbegriff", "QComboBox", "", "Form1"},
        {"butKombinationenSuchen", "QPushButton", "Suchen", "Form1"},
        {"butKombinationenErsetzen", "QPushButton", "Ersetzen", "Form1"},
    };
    for (const Row& row : rows) {
        QTest::newRow(row.name) << Text(row.name) << Text(row.kind) << Text(row.caption)
                                << Text(row.parent);
    }
}

void Form1WindowTest::controlHasCaptionKindAndPlace() {
    QFETCH(QString, name);
    QFETCH(QString, kind);
    QFETCH(QString, caption);
    QFETCH(QString, parent);

    Form1Window window;
    window.show();
    QWidget* control = Control<QWidget>(window, name);
    QVERIFY2(control != nullptr, qPrintable(name));
    QCOMPARE(QString::fromLatin1(control->metaObject()->className()), kind);
    QCOMPARE(control->parentWidget()->objectName(), parent);
    QVERIFY(control->isVisible());

    if (auto* button = qobject_cast<QAbstractButton*>(control)) {
        QCOMPARE(button->text(), caption);
    } else if (auto* label = qobject_cast<QLabel*>(control)) {
        QCOMPARE(label->text(), caption);
    } else if (auto* frame = qobject_cast<QGroupBox*>(control)) {
        QCOMPARE(frame->title(), caption);
    } else if (auto* combo = qobject_cast<QComboBox*>(control)) {
        // Every combo box takes typed text as well as a choice from its list.
        QVERIFY(combo->isEditable());
        QVERIFY(combo->currentText().isEmpty());
    } else if (auto* textBox = qobject_cast<QLineEdit*>(control)) {
        QVERIFY(textBox->text().isEmpty());
    }
}

void Form1WindowTest::rowsRunTopToBottomWithLabelsLeftOfFields() {
    Form1Window window;
    window.show();
    const auto centreY = [&window](const char* name) {
        const QWidget* control = Control<QWidget>(window, Text(name));
        return control->mapTo(&window, control->rect().center()).y();
    };
    // The group boxes span their rows; their options stand for them.
    const std::vector<std::vector<const char*>> rows = {
        {"Label6", "TexSuchort", "butSaveSuchort", "butSuchort"},
        {"Label1", "TexSuchbegriff", "butSuchen"},
        {"LabSuchlisten", "ComSuchprofile", "butSuchprofilEinstellen", "butEDIT",
         "butSuchprofilausführen"},
        {"Label3", "TexErsatzbegriff", "butErsetzen"},
        {"LabErsatzlisten", "ComErsatzlisten", "butErsatzprofilAuswählen", "butEDIT2",
         "butErsatzprofileAusführen"},
        {"Optgrossklein", "OptIGNORE", "Label5", "ComDateifilter", "ComSaveIni"},
        {"CheckRekursiv", "Label2", "Status", "butcopyright", "ButHelp"},
        {"OptZieldatei", "TexZieldatei", "butZieldatei"},
        {"OptBrowser", "TexBrowser", "comHTMLBrowser"},
        {"Label7", "ComboSonderzeichenSuchcode", "Label4", "ComboSonderzeichenErsetzcode",
         "butSuchenSonderzeichen", "butErsetzenSonderzeichen"},
        {"Label8", "ComboSonderzeichenkombinationSuchbegriff", "Label9",
         "CombosonderzeichenKombinationErsatzbegriff", "butKombinationenSuchen",
         "butKombinationenErsetzen"},
    };
    int previousRowBottom = -1;
    for (const auto& row : rows) {
        const int rowCentre = centreY(row.front());
        for (const char* name : row) {
            // One row shares one line: its controls are centred within a few pixels.
            QVERIFY2(qAbs(centreY(name) - rowCentre) <= 2, name);
        }
        QVERIFY2(rowCentre > previousRowBottom, row.front());
        previousRowBottom = rowCentre;
    }

    const std::pair<const char*, const char*> labelled[] = {
        {"Label6", "TexSuchort"},
        {"Label1", "TexSuchbegriff"},
        {"LabSuchlisten", "ComSuchprofile"},
        {"Label3", "TexErsatzbegriff"},
        {"LabErsatzlisten", "ComErsatzlisten"},
        {"Label5", "ComDateifilter"},
        {"Label2", "Status"},
        {"Label7", "ComboSonderzeichenSuchcode"},
        {"Label4", "ComboSonderzeichenErsetzcode"},
        {"Label8", "ComboSonderzeichenkombinationSuchbegriff"},
        {"Label9", "CombosonderzeichenKombinationErsatzbegriff"},
    };
    for (const auto& [labelName, fieldName] : labelled) {
        const QWidget* label = Control<QWidget>(window, Text(labelName));
        const QWidget* field = Control<QWidget>(window, Text(fieldName));
        QVERIFY2(label->geometry().right() < field->geometry().left(), labelName);
    }
}

void Form1WindowTest::controlsNeitherOverlapNorClipTheirCaptions() {
    Form1Window window;
    // The longest caption the status label shows.
    window.Record().Status = QStringLiteral("Ersetze ...");
    window.WriteWidgets();
    window.show();

    QList<QWidget*> controls;
    for (QWidget* widget : window.findChildren<QWidget*>()) {
        if (!widget->objectName().isEmpty() && !widget->objectName().startsWith(u"qt_")) {
            controls.append(widget);
        }
    }
    for (QWidget* control : controls) {
        const QString name = control->objectName();
        const QWidget* parent = control->parentWidget();
        // Inside a group box nothing may cover the group's title.
        const QRect room = qobject_cast<const QGroupBox*>(parent) != nullptr
                               ? parent->contentsRect()
                               : parent->rect();
        QVERIFY2(room.contains(control->geometry()), qPrintable(name));
        for (QWidget* other : controls) {
            if (other != control && other->parentWidget() == parent) {
                QVERIFY2(!control->geometry().intersects(other->geometry()),
                         qPrintable(name + QStringLiteral(" / ") + other->objectName()));
            }
        }

        const QFontMetrics metrics = control->fontMetrics();
        if (auto* button = qobject_cast<QPushButton*>(control)) {
            // A caption needs some room beside it to read as a button.
            QVERIFY2(metrics.horizontalAdvance(button->text()) + 12 <= button->width(),
                     qPrintable(name));
        } else if (qobject_cast<QRadioButton*>(control) || qobject_cast<QCheckBox*>(control)) {
            QVERIFY2(control->sizeHint().width() <= control->width(), qPrintable(name));
        } else if (qobject_cast<QLabel*>(control) || qobject_cast<QGroupBox*>(control)) {
            QVERIFY2(control->minimumSizeHint().width() <= control->width(), qPrintable(name));
        }
        QVERIFY2(metrics.height() + 4 <= control->height(), qPrintable(name));
    }
}

void Form1WindowTest::fileTypeListIsReadableInFixedFont() {
    QStringList messages;
    Form1Window window;
    Prepare(window, messages);
    auto* types = Control<QComboBox>(window, QStringLiteral("ComDateifilter"));

    QCOMPARE(types->currentText(), QStringLiteral("*.HTM"));
    QCOMPARE(ItemTexts(*types), trawlex::FileTypeItems());
    // The descriptions line up in one column only in a fixed-width font.
    const QFontMetrics typeMetrics(types->font());
    QCOMPARE(typeMetrics.horizontalAdvance(u'i'), typeMetrics.horizontalAdvance(u'W'));
    QCOMPARE(typeMetrics.horizontalAdvance(u' '), typeMetrics.horizontalAdvance(u'W'));
    QCOMPARE(types->font().pointSize(), 9);
    QVERIFY(QFontInfo(Control<QLabel>(window, QStringLiteral("Label7"))->font()).bold());

    // The drop-down list shows every item whole and at once.
    types->showPopup();
    QAbstractItemView* view = types->view();
    QTRY_VERIFY(view->isVisible());
    QVERIFY(types->maxVisibleItems() >= types->count());
    const QFontMetrics metrics(view->font());
    for (int index = 0; index < types->count(); ++index) {
        const QRect item = view->visualRect(types->model()->index(index, 0));
        QVERIFY2(view->viewport()->rect().contains(item), qPrintable(types->itemText(index)));
        QVERIFY2(metrics.horizontalAdvance(types->itemText(index)) < item.width(),
                 qPrintable(types->itemText(index)));
    }
    types->hidePopup();
}

namespace {

// Each field of the record and the control it is bound to, so that the binding tests can give
// every control a value of its own and find it in the right field.
const std::map<QString, trawlex::ComboField Form1::*>& ComboFields() {
    static const std::map<QString, trawlex::ComboField Form1::*> fields = {
        {QStringLiteral("TexSuchort"), &Form1::TexSuchort},
        {QStringLiteral("TexSuchbegriff"), &Form1::TexSuchbegriff},
        {QStringLiteral("ComSuchprofile"), &Form1::ComSuchprofile},
        {QStringLiteral("ComErsatzlisten"), &Form1::ComErsatzlisten},
        {QStringLiteral("ComDateifilter"), &Form1::ComDateifilter},
        {QStringLiteral("ComboSonderzeichenSuchcode"), &Form1::ComboSonderzeichenSuchcode},
        {QStringLiteral("ComboSonderzeichenErsetzcode"), &Form1::ComboSonderzeichenErsetzcode},
        {QStringLiteral("ComboSonderzeichenkombinationSuchbegriff"),
         &Form1::ComboSonderzeichenkombinationSuchbegriff},
        {QStringLiteral("CombosonderzeichenKombinationErsatzbegriff"),
         &Form1::CombosonderzeichenKombinationErsatzbegriff},
    };
    return fields;
}

const std::map<QString, QString Form1::*>& TextFields() {
    static const std::map<QString, QString Form1::*> fields = {
        {QStringLiteral("TexErsatzbegriff"), &Form1::TexErsatzbegriff},
        {QStringLiteral("TexZieldatei"), &Form1::TexZieldatei},
        {QStringLiteral("TexBrowser"), &Form1::TexBrowser},
    };
    return fields;
}

}  // namespace

void Form1WindowTest::readWidgetsFillsEachFieldFromItsOwnControl() {
    Form1Window window;
    window.show();
    for (const auto& [name, field] : ComboFields()) {
        auto* combo = Control<QComboBox>(window, name);
        combo->addItems({name + QStringLiteral(" 1"), name + QStringLiteral(" 2")});
        combo->setEditText(name);
    }
    for (const auto& [name, field] : TextFields()) {
        Control<QLineEdit>(window, name)->setText(name);
    }
    QTest::mouseClick(Control<QRadioButton>(window, QStringLiteral("OptIGNORE")), Qt::LeftButton);
    QTest::mouseClick(Control<QRadioButton>(window, QStringLiteral("OptBrowser")), Qt::LeftButton);
    QTest::mouseClick(Control<QCheckBox>(window, QStringLiteral("CheckRekursiv")), Qt::LeftButton);

    window.ReadWidgets();
    const Form1& record = window.Record();
    for (const auto& [name, field] : ComboFields()) {
        QCOMPARE((record.*field).text, name);
        QCOMPARE((record.*field).list,
                 QStringList({name + QStringLiteral(" 1"), name + QStringLiteral(" 2")}));
    }
    for (const auto& [name, field] : TextFields()) {
        QCOMPARE(record.*field, name);
    }
    QVERIFY(!record.Optgrossklein);
    QVERIFY(record.OptIGNORE);
    QVERIFY(!record.OptZieldatei);
    QVERIFY(record.OptBrowser);
    QCOMPARE(record.CheckRekursiv, 1);

    // A choice from a list reads as the whole item, description included.
    auto* types = Control<QComboBox>(window, QStringLiteral("ComDateifilter"));
    types->setCurrentIndex(1);
    window.ReadWidgets();
    QCOMPARE(window.Record().ComDateifilter.text, QStringLiteral("ComDateifilter 2"));
}

void Form1WindowTest::writeWidgetsShowsEachFieldInItsOwnControl() {
    Form1Window window;
    window.show();
    Form1& record = window.Record();
    for (const auto& [name, field] : ComboFields()) {
        // A text that is not in the list is shown as it stands.
        record.*field = {name, {name + QStringLiteral(" a"), name + QStringLiteral(" b")}};
    }
    for (const auto& [name, field] : TextFields()) {
        record.*field = name;
    }
    trawlex::SelectCaseObserved(record, false);
    trawlex::SelectBrowserHandOff(record, true);
    record.CheckRekursiv = 1;
    window.WriteWidgets();

    for (const auto& [name, field] : ComboFields()) {
        auto* combo = Control<QComboBox>(window, name);
        QCOMPARE(combo->currentText(), name);
        QCOMPARE(ItemTexts(*combo),
                 QStringList({name + QStringLiteral(" a"), name + QStringLiteral(" b")}));
    }
    for (const auto& [name, field] : TextFields()) {
        QCOMPARE(Control<QLineEdit>(window, name)->text(), name);
    }
    QVERIFY(Control<QRadioButton>(window, QStringLiteral("OptIGNORE"))->isChecked());
    QVERIFY(Control<QRadioButton>(window, QStringLiteral("OptBrowser"))->isChecked());
    QVERIFY(Control<QCheckBox>(window, QStringLiteral("CheckRekursiv"))->isChecked());

    // Each group has one selected option, whichever way the record turns.
    trawlex::SelectCaseObserved(record, true);
    trawlex::SelectBrowserHandOff(record, false);
    record.CheckRekursiv = 0;
    record.TexSuchbegriff.list.append(QStringLiteral("neu"));
    window.WriteWidgets();
    QVERIFY(Control<QRadioButton>(window, QStringLiteral("Optgrossklein"))->isChecked());
    QVERIFY(!Control<QRadioButton>(window, QStringLiteral("OptIGNORE"))->isChecked());
    QVERIFY(Control<QRadioButton>(window, QStringLiteral("OptZieldatei"))->isChecked());
    QVERIFY(!Control<QRadioButton>(window, QStringLiteral("OptBrowser"))->isChecked());
    QVERIFY(!Control<QCheckBox>(window, QStringLiteral("CheckRekursiv"))->isChecked());
    // A list that grows keeps the text that stands in the field.
    auto* terms = Control<QComboBox>(window, QStringLiteral("TexSuchbegriff"));
    QCOMPARE(terms->count(), 3);
    QCOMPARE(terms->currentText(), QStringLiteral("TexSuchbegriff"));
}

void Form1WindowTest::typedComboTextStaysOutOfTheList() {
    QStringList messages;
    Form1Window window;
    Prepare(window, messages);
    auto* terms = Control<QComboBox>(window, QStringLiteral("TexSuchbegriff"));
    terms->setFocus();
    QTest::keyClicks(terms->lineEdit(), QStringLiteral("Fund"));
    QTest::keyClick(terms->lineEdit(), Qt::Key_Return);

    window.ReadWidgets();
    QCOMPARE(window.Record().TexSuchbegriff.text, QStringLiteral("Fund"));
    QVERIFY(window.Record().TexSuchbegriff.list.isEmpty());
}

void Form1WindowTest::shortBusyPeriodChangesOnlyTheCaption() {
    QStringList messages;
    Form1Window window;
    Prepare(window, messages);
    auto* status = Control<QLabel>(window, QStringLiteral("Status"));
    auto* timer = Control<QTimer>(window, QStringLiteral("Timer1"));
    QVERIFY(status->autoFillBackground());
    QCOMPARE(PaintedBackground(*status), ButtonFace(window));

    trawlex::BusyStart(window.Record(), window.WindowUi(), QStringLiteral("Suche ..."));
    QCOMPARE(status->text(), QStringLiteral("Suche ..."));
    QVERIFY(timer->isActive());
    QCOMPARE(timer->interval(), trawlex::kBlinkIntervalMilliseconds);
    QCOMPARE(PaintedBackground(*status), ButtonFace(window));

    trawlex::BusyEnd(window.Record(), window.WindowUi());
    QCOMPARE(status->text(), QStringLiteral("Bereit"));
    QVERIFY(!timer->isActive());
    QCOMPARE(PaintedBackground(*status), ButtonFace(window));
}

void Form1WindowTest::statusBlinksAndBlinkPhaseCarriesOver() {
    QStringList messages;
    Form1Window window;
    Prepare(window, messages);
    auto* status = Control<QLabel>(window, QStringLiteral("Status"));
    auto* timer = Control<QTimer>(window, QStringLiteral("Timer1"));
    QSignalSpy ticks(timer, &QTimer::timeout);
    Form1& record = window.Record();
    Ui& ui = window.WindowUi();

    // After start-up the first tick paints the button face and the next one orange.
    trawlex::BusyStart(record, ui, QStringLiteral("Suche ..."));
    QVERIFY(ticks.wait(2000));
    QCOMPARE(PaintedBackground(*status), ButtonFace(window));
    QVERIFY(ticks.wait(2000));
    QCOMPARE(PaintedBackground(*status), kOrange);
    QVERIFY(ticks.wait(2000));
    QCOMPARE(PaintedBackground(*status), ButtonFace(window));
    trawlex::BusyEnd(record, ui);
    QVERIFY(!timer->isActive());

    // The period ended on the button face, so the next one starts with orange.
    trawlex::BusyStart(record, ui, QStringLiteral("Ersetze ..."));
    QCOMPARE(status->text(), QStringLiteral("Ersetze ..."));
    QCOMPARE(PaintedBackground(*status), ButtonFace(window));
    QVERIFY(ticks.wait(2000));
    QCOMPARE(PaintedBackground(*status), kOrange);

    // Ending while orange brings back the idle look at once.
    trawlex::BusyEnd(record, ui);
    QCOMPARE(status->text(), QStringLiteral("Bereit"));
    QCOMPARE(PaintedBackground(*status), ButtonFace(window));
    QVERIFY(!timer->isActive());
}

namespace {

struct SearchInputs {
    QString location;
    QString term;
    QString mask;
    QString report;
};

void EnterSearch(Form1Window& window, const SearchInputs& inputs) {
    Control<QComboBox>(window, QStringLiteral("TexSuchort"))->setEditText(inputs.location);
    Control<QComboBox>(window, QStringLiteral("TexSuchbegriff"))->setEditText(inputs.term);
    Control<QComboBox>(window, QStringLiteral("ComDateifilter"))->setEditText(inputs.mask);
    Control<QLineEdit>(window, QStringLiteral("TexZieldatei"))->setText(inputs.report);
}

void ClickSearch(Form1Window& window) {
    QTest::mouseClick(Control<QPushButton>(window, QStringLiteral("butSuchen")), Qt::LeftButton);
}

}  // namespace

void Form1WindowTest::searchWritesReportAndRecordsTerm() {
    const SearchLocation location;
    QTemporaryDir output;
    const QString report = output.filePath(QStringLiteral("bericht.htm"));
    QStringList messages;
    Form1Window window;
    Prepare(window, messages);

    EnterSearch(window, {location.directory.path(), QStringLiteral("Fund"), QStringLiteral("*.HTM"),
                         report});
    ClickSearch(window);

    QCOMPARE(messages, QStringList());
    const QByteArray written = ReadAll(report);
    QVERIFY2(written.contains(">" + QFile::encodeName(location.hitPath) + "</A>"),
             written.constData());
    QVERIFY(written.contains("<TD>2</TD><td>Seite</td>"));
    QVERIFY(!written.contains(QFile::encodeName(location.missPath)));
    QVERIFY(written.contains("Es gab <B>1</B> Fundstelle in <B>2</B> durchsuchten Dateien"));

    auto* terms = Control<QComboBox>(window, QStringLiteral("TexSuchbegriff"));
    QCOMPARE(ItemTexts(*terms), QStringList({QStringLiteral("Fund")}));
    QCOMPARE(terms->currentText(), QStringLiteral("Fund"));
    QCOMPARE(Control<QLabel>(window, QStringLiteral("Status"))->text(), QStringLiteral("Bereit"));
    QVERIFY(!Control<QTimer>(window, QStringLiteral("Timer1"))->isActive());

    // The same term searched again stands in the list twice.
    ClickSearch(window);
    QCOMPARE(ItemTexts(*terms), QStringList({QStringLiteral("Fund"), QStringLiteral("Fund")}));
}

void Form1WindowTest::searchFollowsCaseAndSubdirectoryOptions_data() {
    QTest::addColumn<QString>("term");
    QTest::addColumn<bool>("ignoreCase");
    QTest::addColumn<bool>("subdirectories");
    QTest::addColumn<bool>("expectTopHit");
    QTest::addColumn<bool>("expectNestedHit");

    QTest::newRow("Beachten, flach") << QStringLiteral("fund") << false << false << false << false;
    QTest::newRow("Ignorieren, flach") << QStringLiteral("fund") << true << false << true << false;
    QTest::newRow("Beachten, mit Unterverzeichnissen")
        << QStringLiteral("Fund") << false << true << true << true;
}

void Form1WindowTest::searchFollowsCaseAndSubdirectoryOptions() {
    QFETCH(QString, term);
    QFETCH(bool, ignoreCase);
    QFETCH(bool, subdirectories);
    QFETCH(bool, expectTopHit);
    QFETCH(bool, expectNestedHit);

    const SearchLocation location;
    QTemporaryDir output;
    const QString report = output.filePath(QStringLiteral("bericht.htm"));
    QStringList messages;
    Form1Window window;
    Prepare(window, messages);

    EnterSearch(window, {location.directory.path(), term, QStringLiteral("*.htm"), report});
    if (ignoreCase) {
        QTest::mouseClick(Control<QRadioButton>(window, QStringLiteral("OptIGNORE")),
                          Qt::LeftButton);
    }
    if (subdirectories) {
        QTest::mouseClick(Control<QCheckBox>(window, QStringLiteral("CheckRekursiv")),
                          Qt::LeftButton);
    }
    ClickSearch(window);

    QCOMPARE(messages, QStringList());
    const QByteArray written = ReadAll(report);
    QCOMPARE(written.contains(QFile::encodeName(location.hitPath) + "</A>"), expectTopHit);
    QCOMPARE(written.contains(QFile::encodeName(location.nestedPath) + "</A>"), expectNestedHit);
    QVERIFY(written.contains(ignoreCase ? ">Ignorieren</td></tr>" : ">Beachten</td></tr>"));
    QVERIFY(written.contains(subdirectories ? ">Ja</TD></TR>" : ">Nein</TD></TR>"));
}

void Form1WindowTest::searchWithMissingValueOnlyShowsMessage_data() {
    QTest::addColumn<QString>("emptied");
    QTest::newRow("Ergebnisdatei") << QStringLiteral("TexZieldatei");
    QTest::newRow("Suchbegriff") << QStringLiteral("TexSuchbegriff");
    QTest::newRow("Dateityp") << QStringLiteral("ComDateifilter");
    QTest::newRow("Suchort") << QStringLiteral("TexSuchort");
}

void Form1WindowTest::searchWithMissingValueOnlyShowsMessage() {
    QFETCH(QString, emptied);

    const SearchLocation location;
    QTemporaryDir output;
    const QString report = output.filePath(QStringLiteral("bericht.htm"));
    QStringList messages;
    Form1Window window;
    Prepare(window, messages);
    EnterSearch(window, {location.directory.path(), QStringLiteral("Fund"), QStringLiteral("*.HTM"),
                         report});
    if (auto* combo = Control<QComboBox>(window, emptied)) {
        combo->setEditText(QString());
    } else {
        Control<QLineEdit>(window, emptied)->clear();
    }
    ClickSearch(window);

    QCOMPARE(messages, QStringList({QStringLiteral(
                           "Es fehlen leider Werte, damit die Suche gestartet werden kann!")}));
    QVERIFY(!QFile::exists(report));
    QCOMPARE(Control<QComboBox>(window, QStringLiteral("TexSuchbegriff"))->count(), 0);
    QCOMPARE(Control<QLabel>(window, QStringLiteral("Status"))->text(), QStringLiteral("Bereit"));
    // The emptied field stays empty; nothing is filled in behind the person's back.
    if (auto* combo = Control<QComboBox>(window, emptied)) {
        QVERIFY(combo->currentText().isEmpty());
    }
}

void Form1WindowTest::searchHandsReportToBrowserWhenAsked() {
    const SearchLocation location;
    QTemporaryDir output;
    const QString report = output.filePath(QStringLiteral("mein bericht.htm"));
    QStringList messages;
    Form1Window window;
    Prepare(window, messages);
    QStringList started;
    window.WindowUi().SetProcessStarter(
        [&started](const QString& program, const QStringList& arguments) {
            started = QStringList(program) + arguments;
            return true;
        });
    EnterSearch(window, {location.directory.path(), QStringLiteral("Fund"), QStringLiteral("*.HTM"),
                         report});
    const QString browser = QStringLiteral("/opt/mein browser/browser");
    Control<QLineEdit>(window, QStringLiteral("TexBrowser"))->setText(browser);

    // "Speichern in:" keeps the report to the file.
    ClickSearch(window);
    QVERIFY(QFile::exists(report));
    QCOMPARE(started, QStringList());

    QTest::mouseClick(Control<QRadioButton>(window, QStringLiteral("OptBrowser")), Qt::LeftButton);
    ClickSearch(window);
    QCOMPARE(started, QStringList({browser, report}));
    QCOMPARE(messages, QStringList());
}

void Form1WindowTest::savedSettingsComeBackAtNextStart() {
    QTemporaryDir directory;
    const std::string settingsPath =
        QFile::encodeName(directory.filePath(QStringLiteral("Trawlex.INI"))).toStdString();
    QStringList messages;
    {
        Form1Window window;
        Prepare(window, messages, settingsPath);
        Control<QComboBox>(window, QStringLiteral("TexSuchbegriff"))
            ->setEditText(QStringLiteral("Größe"));
        Control<QLineEdit>(window, QStringLiteral("TexErsatzbegriff"))
            ->setText(QStringLiteral("Maß"));
        QTest::mouseClick(Control<QRadioButton>(window, QStringLiteral("OptIGNORE")),
                          Qt::LeftButton);
        QTest::mouseClick(Control<QCheckBox>(window, QStringLiteral("CheckRekursiv")),
                          Qt::LeftButton);
        QTest::mouseClick(Control<QPushButton>(window, QStringLiteral("ComSaveIni")),
                          Qt::LeftButton);
    }
    QCOMPARE(messages, QStringList());

    Form1Window window;
    Prepare(window, messages, settingsPath);
    QCOMPARE(messages, QStringList());
    QCOMPARE(Control<QComboBox>(window, QStringLiteral("TexSuchbegriff"))->currentText(),
             QStringLiteral("Größe"));
    QCOMPARE(Control<QLineEdit>(window, QStringLiteral("TexErsatzbegriff"))->text(),
             QStringLiteral("Maß"));
    QVERIFY(Control<QRadioButton>(window, QStringLiteral("OptIGNORE"))->isChecked());
    QVERIFY(Control<QCheckBox>(window, QStringLiteral("CheckRekursiv"))->isChecked());
    // Only the texts are kept, not the lists the searches filled.
    QCOMPARE(Control<QComboBox>(window, QStringLiteral("TexSuchbegriff"))->count(), 0);
}

void Form1WindowTest::commandRunsWithInputsDisabledAndStatusBlinking() {
    QStringList messages;
    Form1Window window;
    Prepare(window, messages);
    auto* status = Control<QLabel>(window, QStringLiteral("Status"));
    auto* terms = Control<QComboBox>(window, QStringLiteral("TexSuchbegriff"));
    terms->setEditText(QStringLiteral("getippt"));
    const QList<QWidget*> inputs = Inputs(window);
    QVERIFY(inputs.size() > 30);

    QString termSeen;
    QStringList enabledDuringRun;
    bool statusEnabled = false;
    bool sawOrange = false;
    QStringList listShownDuringRun;
    const CommandOutcome outcome = window.RunCommand([&](Form1& form, Ui& ui) {
        termSeen = form.TexSuchbegriff.text;
        for (QWidget* input : inputs) {
            if (input->isEnabled()) {
                enabledDuringRun.append(input->objectName());
            }
        }
        statusEnabled = status->isEnabled();
        form.TexSuchbegriff.list.append(form.TexSuchbegriff.text);
        trawlex::BusyStart(form, ui, QStringLiteral("Suche ..."));
        listShownDuringRun = ItemTexts(*terms);
        // The timer ticks only while the command yields, as an engine does between files.
        QElapsedTimer clock;
        clock.start();
        while (!sawOrange && clock.elapsed() < 3000) {
            ui.YieldToEventLoop();
            sawOrange = PaintedBackground(*status) == kOrange;
            QThread::msleep(5);
        }
        trawlex::BusyEnd(form, ui);
        form.TexSuchbegriff.text = QStringLiteral("vom Befehl");
        return CommandOutcome::Completed;
    });

    QCOMPARE(outcome, CommandOutcome::Completed);
    QCOMPARE(termSeen, QStringLiteral("getippt"));
    QCOMPARE(enabledDuringRun, QStringList());
    QVERIFY(statusEnabled);
    QVERIFY(sawOrange);
    QCOMPARE(listShownDuringRun, QStringList({QStringLiteral("getippt")}));
    for (QWidget* input : inputs) {
        QVERIFY2(input->isEnabled(), qPrintable(input->objectName()));
    }
    QCOMPARE(terms->currentText(), QStringLiteral("vom Befehl"));
    QCOMPARE(status->text(), QStringLiteral("Bereit"));
}

void Form1WindowTest::escapeStopsOnlyTheRunningCommand() {
    QStringList messages;
    Form1Window window;
    Prepare(window, messages);
    QVERIFY(QTest::qWaitForWindowActive(&window));

    // Esc outside a run is not kept for the next command.
    QTest::keyClick(&window, Qt::Key_Escape);
    Flow idleEscape = Flow::Stop;
    window.RunCommand([&](Form1&, Ui& ui) {
        idleEscape = ui.YieldToEventLoop();
        return CommandOutcome::Completed;
    });
    QCOMPARE(idleEscape, Flow::Continue);

    // The key arrives while the command yields, as a person's key press would.
    QTimer::singleShot(0, &window, [&window] { QTest::keyClick(&window, Qt::Key_Escape); });
    Flow stopped = Flow::Continue;
    window.RunCommand([&](Form1&, Ui& ui) {
        stopped = YieldUntilStopped(ui, 3000);
        return CommandOutcome::Stopped;
    });
    QCOMPARE(stopped, Flow::Stop);

    // The next command starts afresh.
    Flow afterwards = Flow::Stop;
    window.RunCommand([&](Form1&, Ui& ui) {
        afterwards = ui.YieldToEventLoop();
        return CommandOutcome::Completed;
    });
    QCOMPARE(afterwards, Flow::Continue);
    QVERIFY(window.isVisible());
}

void Form1WindowTest::closingDuringRunWaitsForTheCommand() {
    QStringList messages;
    Form1Window window;
    Prepare(window, messages);

    QTimer::singleShot(0, &window, [&window] { window.close(); });
    Flow stopped = Flow::Continue;
    bool visibleWhileRunning = false;
    window.RunCommand([&](Form1&, Ui& ui) {
        stopped = YieldUntilStopped(ui, 3000);
        visibleWhileRunning = window.isVisible();
        return CommandOutcome::Stopped;
    });

    QCOMPARE(stopped, Flow::Stop);
    QVERIFY(visibleWhileRunning);
    QVERIFY(!window.isVisible());
}

void Form1WindowTest::yieldSkipsCallsThatComeTooSoon() {
    QWidget parent;
    int statusChanges = 0;
    trawlex::WidgetUi ui(parent, [&statusChanges] { ++statusChanges; });
    int delivered = 0;
    const auto post = [&delivered] { QTimer::singleShot(0, [&delivered] { ++delivered; }); };

    post();
    QCOMPARE(ui.YieldToEventLoop(), Flow::Continue);
    QCOMPARE(delivered, 1);

    post();
    QCOMPARE(ui.YieldToEventLoop(), Flow::Continue);
    QCOMPARE(delivered, 1);

    QTest::qSleep(trawlex::WidgetUi::kYieldIntervalMilliseconds + 10);
    QCOMPARE(ui.YieldToEventLoop(), Flow::Continue);
    QCOMPARE(delivered, 2);

    // A stop answers at once, even from a yield that skips the event loop.
    ui.RequestStop();
    QCOMPARE(ui.YieldToEventLoop(), Flow::Stop);
    ui.ClearStopRequest();
    QCOMPARE(ui.YieldToEventLoop(), Flow::Continue);

    ui.StatusChanged();
    QCOMPARE(statusChanges, 1);
}

QTEST_MAIN(Form1WindowTest)
#include "Form1WindowTest.moc"
