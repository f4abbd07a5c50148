#include "WindowDriver.h"
#include "gui/Form1Window.h"
#include "gui/Form2.h"
#include "gui/Form3.h"
#include "gui/HitLinesView.h"
#include "gui/ResultsModel.h"
#include "gui/WidgetUi.h"

#include "app/StatusLine.h"
#include "common/files/RunLock.h"
#include "common/text/PathText.h"
#include "dialogs/Dialogs.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCompleter>
#include <QDir>
#include <QFile>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSortFilterProxyModel>
#include <QSplitter>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QThread>
#include <QTimer>
#include <QTreeView>

#include <atomic>
#include <clocale>
#include <functional>
#include <map>
#include <memory>

namespace trawlex {
namespace {

const QColor kOrange(255, 150, 0);

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

// What a command run from the window hears when it yields: at its first yield, or, yielding the
// way an engine does between files, once it is asked to stop (within 3 s). `meanwhile` runs
// before the command ends.
Flow Heard(Form1Window& window, bool untilStopped, const std::function<void()>& meanwhile = {}) {
    Flow heard = Flow::Continue;
    Run(window, [&](Form1&, Ui& ui) {
        QElapsedTimer clock;
        clock.start();
        do {
            heard = ui.Run().CheckStop();
            QThread::msleep(1);
        } while (untilStopped && heard == Flow::Continue && clock.elapsed() < 3000);
        if (meanwhile) {
            meanwhile();
        }
        return heard == Flow::Stop ? CommandOutcome::Stopped : CommandOutcome::Completed;
    });
    return heard;
}

// The search location of the window tests: one file with the term, one without, and one with
// the term in a subdirectory.
struct WindowLocation {
    QTemporaryDir directory;
    QString hitPath;
    QString missPath;
    QString nestedPath;

    WindowLocation() {
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
    void inputsKeepTheirSizeAndTheResultsGrow();

    // Commands run from the window.
    void searchAndReplaceButtonsRunTheirCommands();
    void commandRunsWithInputsDisabledAndStatusBlinking();
    void resultsFillTheTableAndShowTheirLines();
    void escapeAndClosingStopOnlyTheRunningCommand();
    void reportsReachTheTableWithoutWaitingForTheWindow();
    void windowGoingAwayStopsTheRunningCommand();
    void typedTextIsRunAsTyped_data();
    void typedTextIsRunAsTyped();
    void runsStartFromNothingAndRefusalsSayWhy();
    void keysReachTheCommandsAndTheLines();
    void arrangementAndHistoriesAreKeptInTheSettings();

    // The dialogs and the buttons that open them.
    void locationButtonsAndProfileButtons();
    void locationDialogShowsTargetAndReportsChoices();
    void locationDialogChoicesShowInTheWindowAtOnce();
    void fileDialogAnswersReachTheFields();
    void aboutWindowIsOneDrawnPicture();
};

void Form1WindowTest::initTestCase() {
    // As in the program: the engine formats dates and numbers by the process locale.
    std::setlocale(LC_ALL, "");
}

void Form1WindowTest::inputsKeepTheirSizeAndTheResultsGrow() {
    Form1Window window;
    window.show();
    QCOMPARE(window.windowTitle(), QStringLiteral("Trawlex und Replace"));
    auto* panel = Control<QWidget>(window, QStringLiteral("Eingaben"));
    auto* table = Control<QTableView>(window, QStringLiteral("Ergebnisse"));
    window.resize(1200, 900);
    QTRY_COMPARE(window.size(), QSize(1200, 900));
    QCOMPARE(panel->size(), QSize(545, 333));
    QCOMPARE(panel->pos(), QPoint(0, 0));
    QVERIFY(table->width() > 1100);
    QVERIFY(table->mapTo(&window, QPoint()).y() > 333);

    // The preview and undo buttons fit into their rows: each caption keeps a few pixels beside
    // the button's frame on either side, and no other control overlaps the button.
    const std::pair<QString, QString> buttons[] = {
        {QStringLiteral("butVorschau"), QStringLiteral("Vorschau")},
        {QStringLiteral("butRückgängig"), QStringLiteral("Rückgängig")},
        {QStringLiteral("butErsatzprofilVorschau"), QStringLiteral("Vorschau")},
        {QStringLiteral("butVorschauSonderzeichen"), QStringLiteral("Vorschau")},
        {QStringLiteral("butVorschauKombinationen"), QStringLiteral("Vorschau")},
    };
    for (const auto& [name, caption] : buttons) {
        auto* button = Control<QPushButton>(window, name);
        QVERIFY2(button != nullptr, qPrintable(name));
        // The "&" before an Alt key's letter is not shown.
        QCOMPARE(button->text().remove(QLatin1Char('&')), caption);
        QVERIFY(button->fontMetrics().horizontalAdvance(caption) + 6 <= button->width());
        QVERIFY(panel->rect().contains(QRect(button->mapTo(panel, QPoint()), button->size())));
        for (QWidget* other :
             button->parentWidget()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            QVERIFY2(other == button || other->isWindow() ||
                         !other->geometry().intersects(button->geometry()),
                     qPrintable(name + QLatin1Char(' ') + other->objectName()));
        }
    }
}

namespace {}  // namespace

void Form1WindowTest::searchAndReplaceButtonsRunTheirCommands() {
    const WindowLocation location;
    QTemporaryDir output;
    const QString report = output.filePath(QStringLiteral("bericht.htm"));
    QStringList messages;
    Form1Window window;
    Prepare(window, messages);

    EnterSearch(window, {location.directory.path(), QStringLiteral("Fund"), QStringLiteral("*.HTM"),
                         report});
    ClickSearch(window);

    // The window's inputs reached the search; what the report holds is the engine's matter.
    QCOMPARE(messages, QStringList());
    const QByteArray written = ReadAll(report);
    QVERIFY2(written.contains(">" + QFile::encodeName(location.hitPath) + "</A>"),
             written.constData());
    QVERIFY(written.contains("Es gab <B>1</B> Fundstelle in <B>2</B> durchsuchten Dateien"));
    auto* terms = Control<QComboBox>(window, QStringLiteral("TexSuchbegriff"));
    QCOMPARE(ItemTexts(*terms), QStringList({QStringLiteral("Fund")}));
    QCOMPARE(terms->currentText(), QStringLiteral("Fund"));

    // The replace buttons change the files.
    terms->setEditText(QStringLiteral("ein Fund"));
    Control<QLineEdit>(window, QStringLiteral("TexErsatzbegriff"))->setText(QStringLiteral("zwei"));
    Click(window, QStringLiteral("butErsetzen"));
    QCOMPARE(ReadAll(location.hitPath),
             QByteArray("<HTML><TITLE>Seite</TITLE>Ein Fund und noch zwei</HTML>"));
    // The window says what the replacement did and lists the changed files.
    auto* progress = Control<QLabel>(window, QStringLiteral("Fortschritt"));
    QCOMPARE(progress->text(), QStringLiteral("1 Datei ge\u00E4ndert, 1 Ersetzung \u2013 "
                                              "\u201ER\u00FCckg\u00E4ngig\u201C nimmt sie "
                                              "zur\u00FCck."));
    QCOMPARE(ShownColumn(window, ResultsModel::File), QStringLiteral("treffer.htm"));
    QCOMPARE(ShownColumn(window, ResultsModel::Count), QStringLiteral("1"));
    QCOMPARE(window.ShownResults().headerData(ResultsModel::Count, Qt::Horizontal).toString(),
             QStringLiteral("Ersetzungen"));
    QCOMPARE(window.Record().ReplacementHistory, QStringList{QStringLiteral("zwei")});
    WriteFile(location.missPath, "a\r\nb\r\n");
    Control<QComboBox>(window, QStringLiteral("ComboSonderzeichenkombinationSuchbegriff"))
        ->setCurrentIndex(0);
    Control<QComboBox>(window, QStringLiteral("CombosonderzeichenKombinationErsatzbegriff"))
        ->setCurrentIndex(2);
    Click(window, QStringLiteral("butKombinationenErsetzen"));
    QCOMPARE(ReadAll(location.missPath), QByteArray("a\nb\n"));
    QCOMPARE(messages, QStringList());
    QVERIFY2(progress->text().startsWith(QStringLiteral("1 Datei ge\u00E4ndert, 2 Ersetzungen")),
             qPrintable(progress->text()));
    // A replacement that finds nothing says so.
    Click(window, QStringLiteral("butKombinationenErsetzen"));
    QCOMPARE(progress->text(), QStringLiteral("Keine Datei ge\u00E4ndert (2 Dateien untersucht)."));
    QCOMPARE(window.ShownResults().rowCount(), 0);

    // Beside another run over the same location the window refuses and says why.
    const std::string resolved = RealPath(NativePath(location.directory.path()));
    auto running = RunLock::Take({RunKind::Replacement, false, resolved});
    QVERIFY(running.ok());
    Click(window, QStringLiteral("butErsetzen"));
    QCOMPARE(messages.size(), 1);
    QVERIFY2(messages.front().contains(QStringLiteral("l\u00E4uft bereits eine Ersetzung in "
                                                      "\u201E%1\u201C (Prozess %2)")
                                           .arg(PathText(resolved))
                                           .arg(QCoreApplication::applicationPid())),
             qPrintable(messages.front()));
    QCOMPARE(ReadAll(location.hitPath),
             QByteArray("<HTML><TITLE>Seite</TITLE>Ein Fund und noch zwei</HTML>"));
    QVERIFY2(progress->text().startsWith(QStringLiteral("Nicht ausgef\u00FChrt: ")) &&
                 progress->text().contains(QStringLiteral("l\u00E4uft bereits")),
             qPrintable(progress->text()));
}

// Each run starts from an empty table and zero figures, while its first file is still being
// read, and a refused run leaves nothing of the last one under its inputs.
void Form1WindowTest::runsStartFromNothingAndRefusalsSayWhy() {
    const WindowLocation location;
    QTemporaryDir output;
    QStringList messages;
    Form1Window window;
    Prepare(window, messages);
    EnterSearch(window, {location.directory.path(), QStringLiteral("Fund"), QStringLiteral("*.HTM"),
                         output.filePath(QStringLiteral("bericht.htm"))});
    ClickSearch(window);
    QCOMPARE(window.ShownResults().rowCount(), 1);
    auto* progress = Control<QLabel>(window, QStringLiteral("Fortschritt"));
    QCOMPARE(progress->text(), QStringLiteral("2 Dateien, 0,1 KB, 1 mit Fundstellen"));

    // The command waits until it is released, or until a failed check closes the window.
    const auto release = std::make_shared<std::atomic<bool>>(false);
    QSignalSpy ended(&window, &Form1Window::commandFinished);
    QVERIFY(window.StartCommand([release](Form1&, Ui& ui) {
        ui.Run().ResultsBegin({});
        while (!*release && ui.Run().CheckStop() == Flow::Continue) {
            QThread::msleep(1);
        }
        return CommandOutcome::Completed;
    }));
    QCOMPARE(window.ShownResults().rowCount(), 0);
    QCOMPARE(progress->text(), QStringLiteral("0 Dateien, 0,0 KB, 0 mit Fundstellen"));
    QVERIFY(window.HitLinesPane().toPlainText().isEmpty());
    *release = true;
    QCOMPARE(Ended(ended), CommandOutcome::Completed);

    // A run over a location whose files the mask leaves out examines none.
    Control<QComboBox>(window, QStringLiteral("ComDateifilter"))
        ->setEditText(QStringLiteral("*.gibtsnicht"));
    ClickSearch(window);
    QCOMPARE(progress->text(), QStringLiteral("0 Dateien, 0,0 KB, 0 mit Fundstellen"));

    Control<QComboBox>(window, QStringLiteral("ComDateifilter"))
        ->setEditText(QStringLiteral("*.HTM"));
    ClickSearch(window);
    QCOMPARE(window.ShownResults().rowCount(), 1);
    Control<QComboBox>(window, QStringLiteral("TexSuchort"))
        ->setEditText(location.directory.filePath(QStringLiteral("fehlt")));
    messages.clear();
    ClickSearch(window);
    QCOMPARE(window.ShownResults().rowCount(), 0);
    QCOMPARE(messages.size(), 1);
    QCOMPARE(progress->text(), QStringLiteral("Nicht ausgef\u00FChrt: ") +
                                   messages.front().section(QLatin1Char('\n'), 0, 0));
    // Without a term the command is refused before it begins.
    Control<QComboBox>(window, QStringLiteral("TexSuchbegriff"))->setEditText(QString());
    ClickSearch(window);
    QCOMPARE(progress->text(),
             QStringLiteral("Nicht ausgef\u00FChrt: Es fehlen leider Werte, damit die Suche "
                            "gestartet werden kann!"));
}

void Form1WindowTest::typedTextIsRunAsTyped_data() {
    QTest::addColumn<QString>("combo");
    QTest::addColumn<QString>("earlier");
    QTest::addColumn<QString>("typed");
    QTest::newRow("term in other case")
        << QStringLiteral("TexSuchbegriff") << QStringLiteral("Kontakt:") << QStringLiteral("kon");
    QTest::newRow("term as a prefix")
        << QStringLiteral("TexSuchbegriff") << QStringLiteral("Kontakt:") << QStringLiteral("Kon");
    QTest::newRow("mask") << QStringLiteral("ComDateifilter")
                          << QStringLiteral("*.HTM   HTML-Format") << QStringLiteral("*.H");
    QTest::newRow("location") << QStringLiteral("TexSuchort") << QStringLiteral("/tmp/Archiv")
                              << QStringLiteral("/tmp/a");
}

// Whatever the list holds, the command gets the typed text, also after Enter.
void Form1WindowTest::typedTextIsRunAsTyped() {
    QFETCH(QString, combo);
    QFETCH(QString, earlier);
    QFETCH(QString, typed);
    QStringList messages;
    Form1Window window;
    Prepare(window, messages);
    const std::map<QString, ComboField Form1::*> fields = {
        {QStringLiteral("TexSuchbegriff"), &Form1::TexSuchbegriff},
        {QStringLiteral("ComDateifilter"), &Form1::ComDateifilter},
        {QStringLiteral("TexSuchort"), &Form1::TexSuchort},
    };
    ComboField Form1::*field = fields.at(combo);
    QCOMPARE(Run(window,
                 [&](Form1& form, Ui&) {
                     (form.*field).list.prepend(earlier);
                     return CommandOutcome::Completed;
                 }),
             CommandOutcome::Completed);
    // The search Enter starts goes over an empty location.
    const QTemporaryDir location;
    Control<QComboBox>(window, QStringLiteral("TexSuchort"))->setEditText(location.path());
    Control<QLineEdit>(window, QStringLiteral("TexZieldatei"))
        ->setText(location.filePath(QStringLiteral("bericht.htm")));
    auto* box = Control<QComboBox>(window, combo);
    box->setEditText(QString());
    box->lineEdit()->setFocus();
    QSignalSpy ended(&window, &Form1Window::commandFinished);
    QTest::keyClicks(box->lineEdit(), typed);
    QTest::keyClick(box->lineEdit(), Qt::Key_Return);
    // Enter in the term searches, with the term as typed.
    if (combo == QStringLiteral("TexSuchbegriff")) {
        Ended(ended);
        QCOMPARE(window.Record().TexSuchbegriff.list.last(), typed);
    }
    QString used;
    Run(window, [&](Form1& form, Ui&) {
        used = (form.*field).text;
        return CommandOutcome::Completed;
    });
    QCOMPARE(used, typed);
}

// Ctrl+F goes to the term, Enter there searches, F3 and Shift+F3 go from hit line to hit line
// and on to the next and previous file, Enter opens a result at its line, and the Alt keys of
// the buttons never clash.
void Form1WindowTest::keysReachTheCommandsAndTheLines() {
    QTemporaryDir location;
    WriteFile(location.filePath(QStringLiteral("a.htm")), "Fund\r\nnichts\r\nnoch ein Fund\r\n");
    WriteFile(location.filePath(QStringLiteral("b.htm")), "\r\nFund\x01\r\n");
    QStringList messages;
    QStringList started;
    Form1Window window;
    Prepare(window, messages);
    window.WindowUi().SetProcessStarter([&](const QString& program, const QStringList& arguments) {
        started.append(program + QLatin1Char(' ') + arguments.join(QLatin1Char(' ')));
        return true;
    });
    window.Record().EditorCommand = QStringLiteral("ed +{line} {file}");
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    EnterSearch(window, {location.path(), QStringLiteral("Fund"), QStringLiteral("*.htm"),
                         location.filePath(QStringLiteral("bericht.txt"))});
    Control<QLineEdit>(window, QStringLiteral("TexErsatzbegriff"))->setFocus();

    QTest::keyClick(&window, Qt::Key_F, Qt::ControlModifier);
    auto* term = Control<QComboBox>(window, QStringLiteral("TexSuchbegriff"));
    QVERIFY(term->hasFocus());
    QSignalSpy ended(&window, &Form1Window::commandFinished);
    QTest::keyClick(term->lineEdit(), Qt::Key_Return);
    QCOMPARE(Ended(ended), CommandOutcome::Completed);
    QCOMPARE(ShownColumn(window, ResultsModel::File), QStringLiteral("a.htm|b.htm"));

    QPlainTextEdit& lines = window.HitLinesPane();
    const auto chosenLine = [&lines] {
        return lines.textCursor().block().text().section(QLatin1Char(' '), 0, 0,
                                                         QString::SectionSkipEmpty);
    };
    // From no row at all, F3 goes to the first hit line of the first file, and on.
    const std::pair<int, const char*> steps[] = {{+1, "1"}, {+1, "3"}, {+1, "2"}, {-1, "3"}};
    for (const auto& [direction, line] : steps) {
        QTest::keyClick(&window, Qt::Key_F3, direction > 0 ? Qt::NoModifier : Qt::ShiftModifier);
        QTRY_COMPARE(chosenLine(), QString::fromLatin1(line));
    }
    // The control character the font cannot draw is named.
    auto* table = Control<QTableView>(window, QStringLiteral("Ergebnisse"));
    table->setCurrentIndex(window.ShownResults().index(1, ResultsModel::File));
    QTRY_VERIFY(lines.toPlainText().startsWith(QStringLiteral("2  Fund")));
    const QString shown = lines.toPlainText().mid(7);
    QVERIFY2(shown == QStringLiteral("SOH") || shown == QStringLiteral("\u2401"),
             qPrintable(shown));
    QCOMPARE(HitLinesView::ControlName(QChar(0x240D)), QStringLiteral("CR"));
    QCOMPARE(HitLinesView::ControlName(QChar(0x240A)), QStringLiteral("LF"));
    QCOMPARE(HitLinesView::ControlName(QChar(0x2421)), QStringLiteral("DEL"));
    QCOMPARE(HitLinesView::ControlName(QChar(u'x')), QString());

    // Enter opens the chosen row at its first hit line, or the chosen hit line.
    table->setFocus();
    table->setCurrentIndex(window.ShownResults().index(0, ResultsModel::File));
    QTRY_VERIFY(lines.toPlainText().startsWith(QStringLiteral("1  Fund")));
    QTest::keyClick(table, Qt::Key_Return);
    lines.setFocus();
    QTest::keyClick(&window, Qt::Key_F3);
    QTest::keyClick(&window, Qt::Key_F3);
    QTest::keyClick(&lines, Qt::Key_Return);
    const QString file = location.filePath(QStringLiteral("a.htm"));
    QCOMPARE(started,
             (QStringList{QStringLiteral("ed +1 ") + file, QStringLiteral("ed +3 ") + file}));

    // Every Alt key stands for one button only; Alt+S searches.
    QMap<QChar, QString> keys;
    for (const QPushButton* button : window.findChildren<QPushButton*>()) {
        const qsizetype amp = button->text().indexOf(QLatin1Char('&'));
        if (amp >= 0) {
            const QChar key = button->text().at(amp + 1).toLower();
            QVERIFY2(!keys.contains(key),
                     qPrintable(keys.value(key) + QLatin1Char(' ') + button->objectName()));
            keys.insert(key, button->objectName());
        }
    }
    QCOMPARE(keys.value(QLatin1Char('s')), QStringLiteral("butSuchen"));
    QVERIFY(!Control<QPushButton>(window, QStringLiteral("butSuchprofilausführen"))
                 ->toolTip()
                 .isEmpty());
    QTest::keyClick(&window, Qt::Key_S, Qt::AltModifier);
    QCOMPARE(Ended(ended), CommandOutcome::Completed);
    QCOMPARE(term->count(), 2);
    QCOMPARE(messages, QStringList());
}

// The heights of the two rows, the widths of the columns and the histories of terms,
// replacements and locations come back from the settings file.
void Form1WindowTest::arrangementAndHistoriesAreKeptInTheSettings() {
    QTemporaryDir directory;
    const std::string settings =
        QFile::encodeName(directory.filePath(QStringLiteral("Trawlex.INI"))).toStdString();
    QStringList messages;
    QList<int> kept;
    {
        Form1Window window;
        Prepare(window, messages);
        window.Form_Load(settings);  // a first start, which "INI-Datei speichern" writes there
        window.resize(1200, 900);
        auto* area = Control<QSplitter>(window, QStringLiteral("Arbeitsbereich"));
        QTRY_VERIFY(area->sizes().value(1) > 0);
        // The person drags the handle 100 pixels down and widens the title column.
        QSplitterHandle* handle = area->handle(1);
        const QPoint grip = handle->rect().center();
        QTest::mousePress(handle, Qt::LeftButton, {}, grip);
        QTest::mouseMove(handle, grip + QPoint(0, 100));
        QTest::mouseRelease(handle, Qt::LeftButton, {}, grip + QPoint(0, 100));
        kept = area->sizes();
        QVERIFY2(kept.value(0) > 400, qPrintable(QString::number(kept.value(0))));
        Control<QTableView>(window, QStringLiteral("Ergebnisse"))
            ->horizontalHeader()
            ->resizeSection(ResultsModel::Title, 333);
        window.Record().TexSuchbegriff.list = {QStringLiteral("Fund")};
        window.Record().ReplacementHistory = {QStringLiteral("Treffer")};
        window.Record().LocationHistory = {directory.path()};
        window.WriteWidgets();
        Click(window, QStringLiteral("ComSaveIni"));
    }
    QCOMPARE(messages, QStringList());
    Form1Window window;
    Prepare(window, messages);
    window.resize(1200, 900);
    window.Form_Load(settings);
    auto* area = Control<QSplitter>(window, QStringLiteral("Arbeitsbereich"));
    QTRY_COMPARE(area->sizes(), kept);
    QCOMPARE(
        Control<QTableView>(window, QStringLiteral("Ergebnisse"))->columnWidth(ResultsModel::Title),
        333);
    QCOMPARE(ItemTexts(*Control<QComboBox>(window, QStringLiteral("TexSuchbegriff"))),
             QStringList{QStringLiteral("Fund")});
    // The replacements and locations are offered while the person types.
    const auto firstOffer = [](const QCompleter* completer) {
        return completer->model()->index(0, 0).data().toString();
    };
    QCOMPARE(
        firstOffer(Control<QLineEdit>(window, QStringLiteral("TexErsatzbegriff"))->completer()),
        QStringLiteral("Treffer"));
    QCOMPARE(firstOffer(Control<QComboBox>(window, QStringLiteral("TexSuchort"))->completer()),
             directory.path());
}

void Form1WindowTest::commandRunsWithInputsDisabledAndStatusBlinking() {
    QStringList messages;
    Form1Window window;
    Prepare(window, messages);
    auto* status = Control<QLabel>(window, QStringLiteral("Status"));
    auto* terms = Control<QComboBox>(window, QStringLiteral("TexSuchbegriff"));
    terms->setEditText(QStringLiteral("getippt"));
    const QList<QWidget*> inputs = Inputs(*Control<QWidget>(window, QStringLiteral("Eingaben")));
    QVERIFY(inputs.size() > 30);

    // The window looks while the command is busy with one long file and never yields.
    QStringList enabledDuringRun;
    bool statusEnabled = false;
    bool sawOrange = false;
    QStringList listShownDuringRun;
    bool editorEnabledDuringRun = true;
    std::atomic<bool> seen = false;
    QTimer look;
    look.setInterval(5);
    QObject::connect(&look, &QTimer::timeout, [&] {
        if (status->text() != QStringLiteral("Suche ...")) {
            return;
        }
        enabledDuringRun.clear();
        for (QWidget* input : inputs) {
            if (input->isEnabled()) {
                enabledDuringRun.append(input->objectName());
            }
        }
        statusEnabled = status->isEnabled();
        listShownDuringRun = ItemTexts(*terms);
        editorEnabledDuringRun =
            Control<QPushButton>(window, QStringLiteral("butEditorBefehl"))->isEnabled();
        sawOrange = PaintedBackground(*status) == kOrange;
        seen = sawOrange;
    });
    look.start();
    QString termSeen;
    const CommandOutcome outcome = Run(window, [&](Form1& form, Ui& ui) {
        termSeen = form.TexSuchbegriff.text;
        form.TexSuchbegriff.list.append(form.TexSuchbegriff.text);
        BusyStart(form, ui, QStringLiteral("Suche ..."));
        QElapsedTimer clock;
        clock.start();
        while (!seen && clock.elapsed() < 3000) {
            QThread::msleep(5);
        }
        BusyEnd(form, ui);
        form.TexSuchbegriff.text = QStringLiteral("vom Befehl");
        return CommandOutcome::Completed;
    });
    look.stop();

    QCOMPARE(outcome, CommandOutcome::Completed);
    QCOMPARE(termSeen, QStringLiteral("getippt"));
    QCOMPARE(enabledDuringRun, QStringList());
    QVERIFY(!editorEnabledDuringRun);
    QVERIFY(statusEnabled);
    QVERIFY(sawOrange);
    // The fields show what the command left once, when it ends; while it runs they keep what
    // was typed, and only the status follows the command.
    QCOMPARE(listShownDuringRun, QStringList());
    for (QWidget* input : inputs) {
        QVERIFY2(input->isEnabled(), qPrintable(input->objectName()));
    }
    QCOMPARE(terms->currentText(), QStringLiteral("vom Befehl"));
    QCOMPARE(ItemTexts(*terms), QStringList({QStringLiteral("getippt")}));
    // Ending brings back the idle look at once, whatever the phase; the phase rule itself is
    // the status line's tests' matter.
    QCOMPARE(status->text(), QStringLiteral("Bereit"));
    QCOMPARE(PaintedBackground(*status), ButtonFace(window));
    QVERIFY(!Control<QTimer>(window, QStringLiteral("Timer1"))->isActive());
}

namespace {}  // namespace

void Form1WindowTest::resultsFillTheTableAndShowTheirLines() {
    // Files with 1 to 3 hits in three directory levels; every third file has none.
    QTemporaryDir tree;
    QVERIFY(QDir(tree.path()).mkpath(QStringLiteral("b/c")));
    QStringList expectedOrder;
    for (int index = 0; index < 12; ++index) {
        const QString directory =
            QStringList{QString(), QStringLiteral("b/"), QStringLiteral("b/c/")}[index % 3];
        const QString name =
            directory + QStringLiteral("f%1.htm").arg(index, 2, 10, QLatin1Char('0'));
        QByteArray text = "<title>Seite " + QByteArray::number(index) + "</title>\nkein\n";
        for (int hit = 0; hit < (index % 4); ++hit) {
            text += "Zeile mit Fund und fund\n";
        }
        WriteFile(tree.filePath(name), text);
    }
    QTemporaryDir output;
    QStringList messages;
    QStringList opened;
    Form1Window window;
    Prepare(window, messages);
    window.WindowUi().SetEditorOpener([&](const QString& path) {
        opened.append(path);
        return true;
    });
    EnterSearch(window, {tree.path(), QStringLiteral("Fund"), QStringLiteral("*.htm"),
                         output.filePath(QStringLiteral("r.htm"))});
    Control<QCheckBox>(window, QStringLiteral("CheckRekursiv"))->setChecked(true);
    Control<QRadioButton>(window, QStringLiteral("OptIGNORE"))->setChecked(true);
    ClickSearch(window);
    QCOMPARE(messages, QStringList());

    // Report order, paths below the location, the counts of the report.
    QCOMPARE(ShownColumn(window, ResultsModel::Number), QStringLiteral("1|2|3|4|5|6|7|8|9"));
    QCOMPARE(ShownColumn(window, ResultsModel::File),
             QStringLiteral("f03.htm|f06.htm|f09.htm|b/f01.htm|b/f07.htm|b/f10.htm|b/c/f02.htm|"
                            "b/c/f05.htm|b/c/f11.htm"));
    QCOMPARE(ShownColumn(window, ResultsModel::Title).split(QLatin1Char('|')).first(),
             QStringLiteral("Seite 3"));
    QVERIFY(Control<QLabel>(window, QStringLiteral("Fortschritt"))
                ->text()
                .startsWith(QStringLiteral("12 Dateien, ")));

    // Sorted by count, then filtered by path.
    auto* table = Control<QTableView>(window, QStringLiteral("Ergebnisse"));
    table->sortByColumn(ResultsModel::Count, Qt::DescendingOrder);
    QCOMPARE(ShownColumn(window, ResultsModel::Count), QStringLiteral("6|6|6|4|4|4|2|2|2"));
    Control<QLineEdit>(window, QStringLiteral("Filter"))->setText(QStringLiteral("B/C/"));
    QCOMPARE(ShownColumn(window, ResultsModel::File),
             QStringLiteral("b/c/f11.htm|b/c/f02.htm|b/c/f05.htm"));

    // The chosen row's lines, numbered, each hit marked; a double click opens the file.
    table->setCurrentIndex(window.ShownResults().index(0, 0));
    QPlainTextEdit& lines = window.HitLinesPane();
    QTRY_VERIFY(lines.toPlainText().startsWith(QStringLiteral("3  Zeile mit Fund und fund")));
    QCOMPARE(lines.document()->blockCount(), 3);
    const QString path = tree.filePath(QStringLiteral("b/c/f11.htm"));
    QTest::mouseDClick(lines.viewport(), Qt::LeftButton, {}, QPoint(20, 5));
    QCOMPARE(opened, QStringList{path});
}

void Form1WindowTest::escapeAndClosingStopOnlyTheRunningCommand() {
    QStringList messages;
    Form1Window window;
    Prepare(window, messages);
    QVERIFY(QTest::qWaitForWindowActive(&window));

    // Esc outside a run is not kept for the next command.
    QTest::keyClick(&window, Qt::Key_Escape);
    QCOMPARE(Heard(window, false), Flow::Continue);

    // The key arrives while the command yields, as a person's key press would; the next command
    // starts afresh.
    QTimer::singleShot(0, &window, [&window] { QTest::keyClick(&window, Qt::Key_Escape); });
    QCOMPARE(Heard(window, true), Flow::Stop);
    QCOMPARE(Heard(window, false), Flow::Continue);
    QVERIFY(window.isVisible());

    // Closing the window during a run stops the command as Esc does, and the window waits for
    // it before it goes.
    QTimer::singleShot(0, &window, [&window] { window.close(); });
    bool visibleWhileRunning = false;
    QCOMPARE(Heard(window, true, [&] { visibleWhileRunning = window.isVisible(); }), Flow::Stop);
    QVERIFY(visibleWhileRunning);
    QVERIFY(!window.isVisible());
}

// What a run reports (status, rows, progress) never waits for the window's thread: the command
// reports a thousand rows while the window is busy with something else, and the table shows
// them while the command still runs.
void Form1WindowTest::reportsReachTheTableWithoutWaitingForTheWindow() {
    QStringList messages;
    Form1Window window;
    Prepare(window, messages);
    constexpr int kRows = 1000;
    auto* progress = Control<QLabel>(window, QStringLiteral("Fortschritt"));

    std::atomic<bool> windowBusy = false;
    std::atomic<bool> rowsSeen = false;
    QString statusSeen;
    QTimer look;
    look.setInterval(5);
    QObject::connect(&look, &QTimer::timeout, [&] {
        if (window.CommandRunning() && window.ShownResults().rowCount() == kRows &&
            progress->text().startsWith(QStringLiteral("1.000 Dateien, "))) {
            statusSeen = Control<QLabel>(window, QStringLiteral("Status"))->text();
            rowsSeen = true;
        }
    });
    look.start();
    // A slot that keeps the window's thread for a second, as a slow repaint would.
    QTimer::singleShot(0, &window, [&] {
        windowBusy = true;
        QThread::msleep(1000);
    });
    qint64 reportMilliseconds = -1;
    const CommandOutcome outcome = Run(window, [&](Form1& form, Ui& ui) {
        QElapsedTimer clock;
        clock.start();
        while (!windowBusy && clock.elapsed() < 3000) {
            QThread::msleep(1);
        }
        clock.start();
        BusyStart(form, ui, QStringLiteral("Suche ..."));
        RunView& run = ui.Run();
        run.ResultsBegin({QStringLiteral("/ort"), {QStringLiteral("Fund")}});
        for (int row = 1; row <= kRows; ++row) {
            FoundFile found;
            found.number = row;
            found.path = "/ort/f" + std::to_string(row) + ".htm";
            found.count = 1;
            run.ShowFound(found);
            run.ShowProgress({row, std::int64_t{1000} * row, row});
            if (run.CheckStop() == Flow::Stop) {
                return CommandOutcome::Stopped;
            }
        }
        reportMilliseconds = clock.elapsed();
        clock.start();
        while (!rowsSeen && clock.elapsed() < 5000) {
            QThread::msleep(5);
        }
        BusyEnd(form, ui);
        return CommandOutcome::Completed;
    });
    look.stop();

    QCOMPARE(outcome, CommandOutcome::Completed);
    QVERIFY(windowBusy);
    QVERIFY2(reportMilliseconds >= 0 && reportMilliseconds < 500,
             qPrintable(QString::number(reportMilliseconds)));
    QVERIFY(rowsSeen);
    QCOMPARE(statusSeen, QStringLiteral("Suche ..."));
    QCOMPARE(window.ShownResults().rowCount(), kRows);
    QCOMPARE(Control<QLabel>(window, QStringLiteral("Status"))->text(), QStringLiteral("Bereit"));
}

// A window that goes while a command runs, even one waiting for the person's answer, stops the
// command and waits for it instead of hanging or leaving it behind.
void Form1WindowTest::windowGoingAwayStopsTheRunningCommand() {
    QStringList messages;
    std::atomic<bool> asking = false;
    Flow heardAfterwards = Flow::Continue;
    QElapsedTimer clock;
    {
        Form1Window window;
        Prepare(window, messages);
        QVERIFY(window.StartCommand([&](Form1&, Ui& ui) {
            asking = true;
            ui.ShowMessage(QStringLiteral("Weiter?"), MessageIcon::None);
            heardAfterwards = ui.Run().CheckStop();
            return CommandOutcome::Stopped;
        }));
        // The window's thread takes no event meanwhile, so the message is never shown.
        while (!asking) {
            QThread::msleep(1);
        }
        QThread::msleep(20);
        clock.start();
    }
    QVERIFY(clock.elapsed() < 2000);
    QCOMPARE(heardAfterwards, Flow::Stop);
    QCOMPARE(messages, QStringList());
}

void Form1WindowTest::locationButtonsAndProfileButtons() {
    // One directory serves as search location and as both profile directories; its profile
    // searches for 'Fund' and replaces it by 'Treffer'.
    const WindowLocation location;
    const QString directory = location.directory.path();
    WriteFile(location.directory.filePath(QStringLiteral("a.TXT")), "\"Fund\",\"Treffer\"\r\n");
    QTemporaryDir output;
    const QString report = output.filePath(QStringLiteral("profil.htm"));
    QStringList messages;
    QStringList opened;
    Form1Window window;
    Prepare(window, messages);
    window.WindowUi().SetLocationDialogHook(
        [&](Form1& form, const QString&) { Dir1_Change(form, directory); });
    window.WindowUi().SetEditorOpener([&](const QString& path) {
        opened.append(path);
        return true;
    });
    Control<QLineEdit>(window, QStringLiteral("TexZieldatei"))->setText(report);
    Control<QComboBox>(window, QStringLiteral("ComDateifilter"))
        ->setEditText(QStringLiteral("*.htm"));

    Click(window, QStringLiteral("butSuchort"));
    Click(window, QStringLiteral("butSaveSuchort"));
    auto* locations = Control<QComboBox>(window, QStringLiteral("TexSuchort"));
    QCOMPARE(locations->currentText(), directory);
    QCOMPARE(ItemTexts(*locations), QStringList({directory}));

    // Each profile row: the list is filled afresh with nothing chosen; the chosen profile opens
    // in the editor and runs.
    for (const QStringList& row :
         {QStringList{QStringLiteral("butSuchprofilEinstellen"), QStringLiteral("ComSuchprofile"),
                      QStringLiteral("butEDIT"), QStringLiteral("butSuchprofilausführen")},
          QStringList{QStringLiteral("butErsatzprofilAuswählen"), QStringLiteral("ComErsatzlisten"),
                      QStringLiteral("butEDIT2"), QStringLiteral("butErsatzprofileAusführen")}}) {
        auto* list = Control<QComboBox>(window, row[1]);
        list->setEditText(QStringLiteral("alt.TXT"));
        Click(window, row[0]);
        QCOMPARE(ItemTexts(*list), QStringList({QStringLiteral("a.TXT")}));
        QCOMPARE(list->currentText(), QString());
        list->setCurrentIndex(0);
        Click(window, row[2]);
        QCOMPARE(opened.takeLast(), directory + QStringLiteral("/a.TXT"));
        Click(window, row[3]);
        if (row[3] == QStringLiteral("butSuchprofilausführen")) {
            QVERIFY(ReadAll(report).contains(QFile::encodeName(location.hitPath)));
            // The profile run's rows name their term.
            QCOMPARE(ShownColumn(window, ResultsModel::Term), QStringLiteral("Fund"));
            QVERIFY(!Control<QTableView>(window, QStringLiteral("Ergebnisse"))
                         ->isColumnHidden(ResultsModel::Term));
        }
    }
    QVERIFY(ReadAll(location.hitPath).contains("Ein Treffer und noch ein Treffer"));
    QCOMPARE(messages, QStringList());

    // Without a help page beside the test program, or without a browser, help only says so.
    Click(window, QStringLiteral("ButHelp"));
    QCOMPARE(messages.size(), 1);
}

void Form1WindowTest::locationDialogShowsTargetAndReportsChoices() {
    QTemporaryDir directory;
    QVERIFY(QDir(directory.path()).mkdir(QStringLiteral("unter")));
    Form1 record;
    record.LocationDialogMode = kLocationMode;
    record.TexSuchort.text = directory.path() + QLatin1Char('/');

    // Opening takes the target in, written without the trailing separator.
    Form2 dialog(record, QStringLiteral("Ort der Suche einstellen"));
    QSignalSpy changes(&dialog, &Form2::LocationChanged);
    dialog.show();
    QCOMPARE(dialog.Path(), directory.path());
    QCOMPARE(record.TexSuchort.text, directory.path());
    QVERIFY(directory.path().startsWith(dialog.Drive()));
    // The tree fills in the background; the target stays in sight meanwhile.
    auto* dir1 = Control<QTreeView>(dialog, QStringLiteral("Dir1"));
    QTRY_VERIFY(dir1->visualRect(dir1->currentIndex()).intersects(dir1->viewport()->rect()));

    const QString below = directory.filePath(QStringLiteral("unter"));
    dir1->setCurrentIndex(static_cast<QFileSystemModel*>(dir1->model())->index(below));
    QCOMPARE(record.TexSuchort.text, below);

    // Choosing the root's drive shows the root, written with its separator.
    auto* drive1 = Control<QComboBox>(dialog, QStringLiteral("Drive1"));
    Q_EMIT drive1->activated(drive1->findData(QDir::rootPath()));
    QCOMPARE(record.TexSuchort.text, QDir::rootPath());
    QCOMPARE(dialog.Path(), QDir::rootPath());
    QCOMPARE(changes.size(), 2);
}

// While the directory dialog is open, the location field of the window behind it follows every
// choice, though the command that opened the dialog has not ended yet.
void Form1WindowTest::locationDialogChoicesShowInTheWindowAtOnce() {
    QTemporaryDir directory;
    QVERIFY(QDir(directory.path()).mkdir(QStringLiteral("unter")));
    const QString below = directory.filePath(QStringLiteral("unter"));
    QStringList messages;
    Form1Window window;
    Prepare(window, messages);
    window.WindowUi().SetLocationDialogHook({});
    auto* locations = Control<QComboBox>(window, QStringLiteral("TexSuchort"));
    locations->setEditText(directory.path() + QLatin1Char('/'));

    QStringList shownWhileOpen;
    QTimer look;
    look.setInterval(10);
    QObject::connect(&look, &QTimer::timeout, [&] {
        auto* dialog = window.findChild<Form2*>();
        if (dialog == nullptr || !dialog->isVisible()) {
            return;
        }
        look.stop();
        // Opening took the target in, written without the trailing separator.
        shownWhileOpen.append(locations->currentText());
        auto* dir1 = Control<QTreeView>(*dialog, QStringLiteral("Dir1"));
        dir1->setCurrentIndex(static_cast<QFileSystemModel*>(dir1->model())->index(below));
        shownWhileOpen.append(locations->currentText());
        dialog->reject();
    });
    look.start();
    Click(window, QStringLiteral("butSuchort"));
    QCOMPARE(shownWhileOpen, QStringList({directory.path(), below}));
    QCOMPARE(locations->currentText(), below);
}

void Form1WindowTest::fileDialogAnswersReachTheFields() {
    using Kind = FileDialogAnswer::Kind;
    QStringList messages;
    Form1Window window;
    Prepare(window, messages);
    // What the engine makes of a cancelled or failed dialog is its own tests' matter.
    QList<FileDialogAnswer> answers = {{Kind::Chosen, QStringLiteral("/ziel/E.HTM"), {}},
                                       {Kind::Chosen, QStringLiteral("/bin/browser"), {}}};
    QList<WidgetUi::FileDialogKind> kinds;
    window.WindowUi().SetFileDialogHook([&](WidgetUi::FileDialogKind kind, const auto&) {
        kinds.append(kind);
        return answers.takeFirst();
    });
    Click(window, QStringLiteral("butZieldatei"));
    QCOMPARE(Control<QLineEdit>(window, QStringLiteral("TexZieldatei"))->text(),
             QStringLiteral("/ziel/E.HTM"));
    Click(window, QStringLiteral("comHTMLBrowser"));
    QCOMPARE(Control<QLineEdit>(window, QStringLiteral("TexBrowser"))->text(),
             QStringLiteral("/bin/browser"));
    using Dialog = WidgetUi::FileDialogKind;
    QCOMPARE(kinds, QList<Dialog>({Dialog::Save, Dialog::Open}));
}

void Form1WindowTest::aboutWindowIsOneDrawnPicture() {
    QStringList messages;
    Form1Window window;
    Prepare(window, messages);
    Click(window, QStringLiteral("butcopyright"));
    Click(window, QStringLiteral("butcopyright"));
    const QList<Form3*> windows = window.findChildren<Form3*>();
    QCOMPARE(windows.size(), 1);
    QVERIFY(windows.first()->isVisible());
    auto* picture = Control<QWidget>(*windows.first(), QStringLiteral("Picture1"));
    QCOMPARE(picture->size(), QSize(362, 174));
    QCOMPARE(windows.first()->size(), picture->size());
    // Drawn, not left blank: the page stands out from the background.
    const QImage image = picture->grab().toImage();
    QVERIFY(image.pixel(4, 4) != image.pixel(40, 30));
}

}  // namespace trawlex

QTEST_MAIN(trawlex::Form1WindowTest)
#include "Form1WindowTest.moc"
