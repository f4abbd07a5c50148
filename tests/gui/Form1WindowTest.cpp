// The window: its inputs keep their place, its buttons and keys run their commands, the results
// fill the table and show their lines, and the arrangement and histories are kept.

#include "WindowDriver.h"
#include "gui/ResultsModel.h"

#include "common/files/RunLock.h"
#include "common/text/PathText.h"

#include <QCheckBox>
#include <QCompleter>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QSplitter>
#include <QTableView>
#include <QTextBlock>
#include <QThread>

#include <atomic>
#include <clocale>
#include <map>
#include <memory>

namespace trawlex {

class Form1WindowTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // As in the program: the engine formats dates and numbers by the process locale.
    void initTestCase() { std::setlocale(LC_ALL, ""); }
    void inputsKeepTheirSizeAndTheResultsGrow();
    void searchAndReplaceButtonsRunTheirCommands();
    void resultsFillTheTableAndShowTheirLines();
    void typedTextIsRunAsTyped_data();
    void typedTextIsRunAsTyped();
    void keysReachTheCommandsAndTheLines();
    void arrangementAndHistoriesAreKeptInTheSettings();
};

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
    QCOMPARE(window.ShownResults().rowCount(), 1);
    auto* progress = Control<QLabel>(window, QStringLiteral("Fortschritt"));
    QCOMPARE(progress->text(), QStringLiteral("2 Dateien, 0,1 KB, 1 mit Fundstellen"));

    // Each run starts from an empty table and zero figures, while its first file is still
    // being read. The command waits until it is released, or until a failed check closes the
    // window.
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

    // The replace buttons change the files.
    terms->setEditText(QStringLiteral("ein Fund"));
    Control<QLineEdit>(window, QStringLiteral("TexErsatzbegriff"))->setText(QStringLiteral("zwei"));
    Click(window, QStringLiteral("butErsetzen"));
    QCOMPARE(ReadAll(location.hitPath),
             QByteArray("<HTML><TITLE>Seite</TITLE>Ein Fund und noch zwei</HTML>"));
    // The window says what the replacement did and lists the changed files.
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

    // A refused run leaves nothing of the last one under its inputs.
    terms->setEditText(QStringLiteral("Fund"));
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
}

void Form1WindowTest::typedTextIsRunAsTyped_data() {
    QTest::addColumn<QString>("combo");
    QTest::addColumn<QString>("earlier");
    QTest::addColumn<QString>("typed");
    QTest::newRow("term in other case")
        << QStringLiteral("TexSuchbegriff") << QStringLiteral("Kontakt:") << QStringLiteral("kon");
    QTest::newRow("term as a prefix")
        << QStringLiteral("TexSuchbegriff") << QStringLiteral("Kontakt:") << QStringLiteral("Kon");
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

void Form1WindowTest::resultsFillTheTableAndShowTheirLines() {
    // Files with 1 to 3 hits in three directory levels; every third file has none.
    QTemporaryDir tree;
    QVERIFY(QDir(tree.path()).mkpath(QStringLiteral("b/c")));
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

}  // namespace trawlex

QTEST_MAIN(trawlex::Form1WindowTest)
#include "Form1WindowTest.moc"
