// The dialogs and the buttons that open them: the location and profile buttons and the directory
// dialog.

#include "WindowDriver.h"
#include "gui/Form2.h"
#include "gui/ResultsModel.h"

#include "dialogs/Dialogs.h"

#include <QFileSystemModel>
#include <QTableView>
#include <QTimer>
#include <QTreeView>

#include <clocale>

namespace trawlex {

class DialogButtonsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { std::setlocale(LC_ALL, ""); }
    void locationButtonsAndProfileButtons();
    void locationDialogChoicesShowInTheWindowAtOnce();
};

void DialogButtonsTest::locationButtonsAndProfileButtons() {
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
}

// The directory dialog takes the target in, written without its trailing separator, and keeps it
// in sight while the tree fills in the background. While it is open, the location field of the
// window behind it follows every choice, though the command that opened the dialog has not
// ended yet; choosing the root's drive shows the root, written with its separator.
void DialogButtonsTest::locationDialogChoicesShowInTheWindowAtOnce() {
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
    bool inSight = false;
    bool onItsDrive = false;
    int changes = 0;
    int looks = 0;
    QTimer look;
    look.setInterval(10);
    QObject::connect(&look, &QTimer::timeout, [&] {
        auto* dialog = window.findChild<Form2*>();
        if (dialog == nullptr || !dialog->isVisible()) {
            return;
        }
        auto* dir1 = Control<QTreeView>(*dialog, QStringLiteral("Dir1"));
        inSight = dir1->visualRect(dir1->currentIndex()).intersects(dir1->viewport()->rect());
        if (!inSight && ++looks < 1000) {
            return;
        }
        look.stop();
        onItsDrive = directory.path().startsWith(dialog->Drive());
        QObject::connect(dialog, &Form2::LocationChanged, [&changes] { ++changes; });
        shownWhileOpen.append(locations->currentText());
        dir1->setCurrentIndex(static_cast<QFileSystemModel*>(dir1->model())->index(below));
        shownWhileOpen.append(locations->currentText());
        auto* drive1 = Control<QComboBox>(*dialog, QStringLiteral("Drive1"));
        Q_EMIT drive1->activated(drive1->findData(QDir::rootPath()));
        shownWhileOpen.append(locations->currentText());
        dialog->reject();
    });
    look.start();
    Click(window, QStringLiteral("butSuchort"));
    QVERIFY(inSight);
    QVERIFY(onItsDrive);
    QCOMPARE(shownWhileOpen, QStringList({directory.path(), below, QDir::rootPath()}));
    QCOMPARE(changes, 2);
    QCOMPARE(locations->currentText(), QDir::rootPath());
}

}  // namespace trawlex

QTEST_MAIN(trawlex::DialogButtonsTest)
#include "DialogButtonsTest.moc"
