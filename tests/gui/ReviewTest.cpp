#include "WindowDriver.h"
#include "gui/ResultsModel.h"

#include <QDir>
#include <QLabel>
#include <QTableView>

#include <clocale>

namespace trawlex {
namespace {

// A location of three files: two with changes of the preview, one without.
struct ReviewLocation {
    QTemporaryDir directory;
    QTemporaryDir output;
    QString a = directory.filePath(QStringLiteral("a.txt"));
    QString b = directory.filePath(QStringLiteral("b.txt"));
    QString report = output.filePath(QStringLiteral("bericht.htm"));

    ReviewLocation() {
        WriteFile(a, "alt eins\nzwei alt alt\n");
        WriteFile(b, "ein alt\r\n");
        WriteFile(directory.filePath(QStringLiteral("c.txt")), "nichts\n");
    }
};

void Preview(Form1Window& window, const ReviewLocation& location) {
    EnterSearch(window, {location.directory.path(), QStringLiteral("alt"), QStringLiteral("*.txt"),
                         location.report});
    Control<QLineEdit>(window, QStringLiteral("TexErsatzbegriff"))->setText(QStringLiteral("neu"));
    Click(window, QStringLiteral("butVorschau"));
}

// The shown row of the file named `name`.
int RowOf(Form1Window& window, const QString& name) {
    QSortFilterProxyModel& shown = window.ShownResults();
    for (int row = 0; row < shown.rowCount(); ++row) {
        if (shown.index(row, ResultsModel::File).data().toString() == name) {
            return row;
        }
    }
    return -1;
}

Qt::CheckState FileTick(Form1Window& window, const QString& name) {
    return window.ShownResults()
        .index(RowOf(window, name), ResultsModel::Number)
        .data(Qt::CheckStateRole)
        .value<Qt::CheckState>();
}

// Chooses a file's row and waits for its changes to be read.
void ShowChanges(Form1Window& window, const QString& name, int changes) {
    auto* results = Control<QTableView>(window, QStringLiteral("Ergebnisse"));
    results->setCurrentIndex(window.ShownResults().index(RowOf(window, name), ResultsModel::File));
    auto* table = Control<QTableView>(window, QStringLiteral("AenderungenTabelle"));
    QTRY_COMPARE(table->model()->rowCount(), changes);
}

}  // namespace

class ReviewTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { std::setlocale(LC_ALL, ""); }
    void ticksChooseExactlyTheChangesThatAreMade();
    void aLineEndTakenOutIsShownAsItsPicture();
};

void ReviewTest::ticksChooseExactlyTheChangesThatAreMade() {
    const ReviewLocation location;
    QStringList messages;
    Form1Window window;
    Prepare(window, messages);
    Preview(window, location);
    QCOMPARE(messages, QStringList());

    QCOMPARE(ShownColumn(window, ResultsModel::File), QStringLiteral("a.txt|b.txt"));
    QCOMPARE(FileTick(window, QStringLiteral("a.txt")), Qt::Checked);
    auto* apply = Control<QPushButton>(window, QStringLiteral("butAusgewaehlteErsetzen"));
    QVERIFY(apply->isVisible() && apply->isEnabled());

    // Each change shows its line before and after.
    ShowChanges(window, QStringLiteral("b.txt"), 1);
    QTableView& changes = *Control<QTableView>(window, QStringLiteral("AenderungenTabelle"));
    QCOMPARE(changes.model()->index(0, 1).data().toString(), QStringLiteral("ein alt"));
    QCOMPARE(changes.model()->index(0, 2).data().toString(), QStringLiteral("ein neu"));
    ShowChanges(window, QStringLiteral("a.txt"), 3);
    QCOMPARE(changes.model()->index(1, 0).data().toString(), QStringLiteral("2"));
    QCOMPARE(changes.model()->index(1, 2).data().toString(), QStringLiteral("zwei neu alt"));

    // "Keine" and "Alle" for the whole list; then one change of a.txt and all of b.txt go.
    QTest::mouseClick(Control<QPushButton>(window, QStringLiteral("butKeineAuswaehlen")),
                      Qt::LeftButton);
    QCOMPARE(FileTick(window, QStringLiteral("a.txt")), Qt::Unchecked);
    QVERIFY(!apply->isEnabled());
    QTest::mouseClick(Control<QPushButton>(window, QStringLiteral("butAlleAuswaehlen")),
                      Qt::LeftButton);
    QVERIFY(
        changes.model()->setData(changes.model()->index(1, 0), Qt::Unchecked, Qt::CheckStateRole));
    QCOMPARE(FileTick(window, QStringLiteral("a.txt")), Qt::PartiallyChecked);
    QVERIFY(Control<QLabel>(window, QStringLiteral("AenderungenDerDatei"))
                ->text()
                .endsWith(QStringLiteral("2 von 3 \u00C4nderungen ausgew\u00E4hlt")));
    QSortFilterProxyModel& shown = window.ShownResults();
    QVERIFY(shown.setData(shown.index(RowOf(window, QStringLiteral("b.txt")), ResultsModel::Number),
                          Qt::Unchecked, Qt::CheckStateRole));

    QSignalSpy ended(&window, &Form1Window::commandFinished);
    QTest::mouseClick(apply, Qt::LeftButton);
    QCOMPARE(Ended(ended), CommandOutcome::Completed);
    QCOMPARE(ReadAll(location.a), QByteArray("neu eins\nzwei alt neu\n"));
    QCOMPARE(ReadAll(location.b), QByteArray("ein alt\r\n"));

    // One undo takes the chosen changes back as one run.
    Click(window, QStringLiteral("butR\u00FCckg\u00E4ngig"));
    QCOMPARE(ReadAll(location.a), QByteArray("alt eins\nzwei alt alt\n"));
}

// A line end that a change takes out is shown as its picture. That a file changed since the
// preview is left and named is the change list's tests' matter.
void ReviewTest::aLineEndTakenOutIsShownAsItsPicture() {
    const ReviewLocation location;
    QStringList messages;
    Form1Window window;
    Prepare(window, messages);
    EnterSearch(window, {location.directory.path(), QStringLiteral("alt"), QStringLiteral("*.txt"),
                         location.report});
    Control<QComboBox>(window, QStringLiteral("ComboSonderzeichenkombinationSuchbegriff"))
        ->setEditText(QStringLiteral("<CR><LF>"));
    Control<QComboBox>(window, QStringLiteral("CombosonderzeichenKombinationErsatzbegriff"))
        ->setEditText(QStringLiteral("<LF>"));
    Click(window, QStringLiteral("butVorschauKombinationen"));
    ShowChanges(window, QStringLiteral("b.txt"), 1);
    const QAbstractItemModel& changes =
        *Control<QTableView>(window, QStringLiteral("AenderungenTabelle"))->model();
    QCOMPARE(changes.index(0, 1).data().toString(), QStringLiteral("ein alt\u240D\u240A"));
    QCOMPARE(changes.index(0, 2).data().toString(), QStringLiteral("ein alt\u240A"));
    QCOMPARE(messages, QStringList());
}

}  // namespace trawlex

QTEST_MAIN(trawlex::ReviewTest)
#include "ReviewTest.moc"
