#pragma once

// Drives the window as a person does, for the window's tests: its message boxes land in a list,
// its dialogs are cancelled unseen, and each click waits for the command it starts.

#include "gui/Form1Window.h"
#include "gui/WidgetUi.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSortFilterProxyModel>
#include <QTemporaryDir>
#include <QTest>

#include <string>

namespace trawlex {

template <typename Widget>
Widget* Control(const QWidget& window, const QString& name) {
    return window.findChild<Widget*>(name);
}

inline QByteArray ReadAll(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return file.readAll();
}

inline void WriteFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

// A settings file that does not exist, so that start-up takes the first-start defaults whatever
// lies beside the test program.
inline std::string MissingSettingsFile() {
    static const QTemporaryDir directory;
    return QFile::encodeName(directory.filePath(QStringLiteral("Trawlex.INI"))).toStdString();
}

// A window after start-up whose message boxes land in `messages` instead of on the screen and
// whose file and directory dialogs are cancelled unseen, so that no test can hang on a modal
// dialog, and which starts no program.
inline void Prepare(Form1Window& window, QStringList& messages) {
    WidgetUi& ui = window.WindowUi();
    ui.SetMessageHook([&messages](const QString& text, MessageIcon) { messages.append(text); });
    ui.SetProcessStarter([](const QString&, const QStringList&) { return true; });
    ui.SetEditorOpener([](const QString&) { return true; });
    ui.SetFileDialogHook(
        [](WidgetUi::FileDialogKind, const FileDialogRequest&) { return FileDialogAnswer{}; });
    ui.SetLocationDialogHook([](Form1&, const QString&) {});
    window.Form_Load(MissingSettingsFile());
    window.show();
}

// How the command the window started ended, once it has (within 10 s).
inline CommandOutcome Ended(QSignalSpy& ended) {
    if (ended.isEmpty() && !ended.wait(10'000)) {
        QTest::qFail("Der Befehl ist nicht zu Ende gegangen.", __FILE__, __LINE__);
        return CommandOutcome::Failed;
    }
    return ended.takeFirst().at(0).value<CommandOutcome>();
}

// Runs a command from the window as a button does and waits for it to end.
inline CommandOutcome Run(Form1Window& window, Form1Window::Command command) {
    QSignalSpy ended(&window, &Form1Window::commandFinished);
    if (!window.StartCommand(std::move(command))) {
        return CommandOutcome::Refused;
    }
    return Ended(ended);
}

// Clicks a button of the window and waits for the command it starts to end.
inline void Click(Form1Window& window, const QString& button) {
    QSignalSpy ended(&window, &Form1Window::commandFinished);
    QTest::mouseClick(Control<QPushButton>(window, button), Qt::LeftButton);
    Ended(ended);
}

struct SearchInputs {
    QString location;
    QString term;
    QString mask;
    QString report;
};

inline void EnterSearch(Form1Window& window, const SearchInputs& inputs) {
    Control<QComboBox>(window, QStringLiteral("TexSuchort"))->setEditText(inputs.location);
    Control<QComboBox>(window, QStringLiteral("TexSuchbegriff"))->setEditText(inputs.term);
    Control<QComboBox>(window, QStringLiteral("ComDateifilter"))->setEditText(inputs.mask);
    Control<QLineEdit>(window, QStringLiteral("TexZieldatei"))->setText(inputs.report);
}

inline void ClickSearch(Form1Window& window) {
    Click(window, QStringLiteral("butSuchen"));
}

inline QStringList ItemTexts(const QComboBox& combo) {
    QStringList texts;
    for (int index = 0; index < combo.count(); ++index) {
        texts.append(combo.itemText(index));
    }
    return texts;
}

// The search location of the window tests: one file with the term, one without, and one with
// the term in a subdirectory.
struct WindowLocation {
    QTemporaryDir directory;
    QString hitPath = directory.filePath(QStringLiteral("treffer.htm"));
    QString missPath = directory.filePath(QStringLiteral("leer.htm"));
    QString nestedPath = directory.filePath(QStringLiteral("unter/tief.htm"));

    WindowLocation() {
        QDir(directory.path()).mkdir(QStringLiteral("unter"));
        WriteFile(hitPath, "<HTML><TITLE>Seite</TITLE>Ein Fund und noch ein Fund</HTML>");
        WriteFile(missPath, "<HTML>nichts</HTML>");
        WriteFile(nestedPath, "Fund");
    }
};

// The rows of the table as the person sees them, one column joined by "|".
inline QString ShownColumn(Form1Window& window, int column) {
    QSortFilterProxyModel& shown = window.ShownResults();
    QStringList cells;
    for (int row = 0; row < shown.rowCount(); ++row) {
        cells.append(shown.index(row, column).data().toString());
    }
    return cells.join(QLatin1Char('|'));
}

}  // namespace trawlex
