#include "Dialogs.h"

#include "app/Form1.h"
#include "app/Settings.h"
#include "app/Startup.h"
#include "common/files/Listing.h"
#include "common/text/PathText.h"

#include <QDir>
#include <QProcess>

#include <unistd.h>

#include <algorithm>

namespace trawlex {
namespace {

const QString kHelpPageName = QStringLiteral("Trawlex and Replace.htm");

bool Exists(const QString& path, ListKind kind) {
    DirectoryListing listing;
    return !listing.FirstMatch(NativePath(path), kind).empty();
}

void OpenLocationDialog(Form1& form, Ui& ui, int mode, const QString& title) {
    form.LocationDialogMode = mode;
    ui.ShowLocationDialog(form, title);
}

QString HomeDirectory() {
    return QDir::homePath() + QLatin1Char('/');
}

void ChooseProfileDirectory(QString& profilePath, ComboField& list, const QString& directory) {
    list.list.clear();
    list.text.clear();
    profilePath = directory;
    FillProfileList(profilePath, list);
}

}  // namespace

void butSuchort_Click(Form1& form, Ui& ui) {
    OpenLocationDialog(form, ui, kLocationMode, QStringLiteral("Ort der Suche einstellen"));
}

void butSuchprofilEinstellen_Click(Form1& form, Ui& ui) {
    OpenLocationDialog(form, ui, kSearchProfileMode, QStringLiteral("Suchlistenpfad einstellen"));
}

void butErsatzprofilAuswählen_Click(Form1& form, Ui& ui) {
    OpenLocationDialog(form, ui, kReplaceProfileMode,
                       QStringLiteral("Ersatzlistenpfad einstellen"));
}

QString Form2_Load(Form1& form) {
    if (form.TexSuchort.text.isEmpty() ||
        !Exists(form.TexSuchort.text, ListKind::FilesAndDirectories)) {
        form.TexSuchort.text = HomeDirectory();
    }
    QString target;
    switch (form.LocationDialogMode) {
        case kLocationMode:
            target = form.TexSuchort.text;
            break;
        case kReplaceProfileMode:
            target = form.ReplaceProfilePath;
            break;
        case kSearchProfileMode:
            target = form.SearchProfilePath;
            break;
        default:
            return {};
    }
    // A profile directory not chosen yet, or gone since, opens at home.
    if (target.isEmpty() || !Exists(target, ListKind::FilesAndDirectories)) {
        return HomeDirectory();
    }
    return target;
}

void Dir1_Change(Form1& form, const QString& directory) {
    switch (form.LocationDialogMode) {
        case kLocationMode:
            form.TexSuchort.text = directory;
            break;
        case kReplaceProfileMode:
            ChooseProfileDirectory(form.ReplaceProfilePath, form.ComErsatzlisten, directory);
            break;
        case kSearchProfileMode:
            ChooseProfileDirectory(form.SearchProfilePath, form.ComSuchprofile, directory);
            break;
        default:
            break;
    }
}

void butSaveSuchort_Click(Form1& form) {
    if (Exists(form.TexSuchort.text, ListKind::FilesAndDirectories)) {
        form.TexSuchort.list.append(form.TexSuchort.text);
    }
}

std::string HelpPagePath() {
    const std::string name = NativePath(kHelpPageName);
    for (const std::string& directory :
         {ProgramDirectory(), ProgramDirectory() + "../share/trawlex/"}) {
        if (access((directory + name).c_str(), R_OK) == 0) {
            return directory + name;
        }
    }
    return {};
}

void ButHelp_Click(const Form1& form, Ui& ui, const std::string& helpPage) {
    if (helpPage.empty() || !Exists(PathText(helpPage), ListKind::NormalFiles)) {
        ui.ShowMessage(QStringLiteral("Die Hilfsdatei 'Trawlex and Replace.HTM' kann nicht "
                                      "gefunden werden."),
                       MessageIcon::Warning);
        return;
    }
    // A desktop has a browser for HTML pages even when none is named here, as a result's file
    // has a program without "Editor="; only a named browser that is gone is a fault.
    if (form.TexBrowser.isEmpty()) {
        if (!ui.OpenWithDefaultApplication(PathText(helpPage))) {
            ui.ShowMessage(QStringLiteral("F\u00FCr die Hilfsdatei \u201E%1\u201C konnte kein "
                                          "Programm gestartet werden. Unter \u201EBrowser-Pfad "
                                          "einstellen\u201C l\u00E4sst sich ein Browser "
                                          "w\u00E4hlen.")
                               .arg(PathText(helpPage)),
                           MessageIcon::Warning);
        }
        return;
    }
    if (!Exists(form.TexBrowser, ListKind::FilesAndDirectories)) {
        ui.ShowMessage(
            QStringLiteral("Es ist kein g\u00FCltiger Pfad f\u00FCr den HTML-Browser eingestellt!"),
            MessageIcon::Warning);
        return;
    }
    if (!ui.StartDetached(form.TexBrowser, {PathText(helpPage)})) {
        ui.ShowMessage(QStringLiteral("Der Browser \u201E%1\u201C konnte nicht gestartet werden.")
                           .arg(form.TexBrowser),
                       MessageIcon::Warning);
    }
}

void comHTMLBrowser_Click(Form1& form, Ui& ui) {
    // Programs on Linux have no extension, so every file is offered.
    const FileDialogAnswer answer =
        ui.AskOpenFile({QStringLiteral("Standard-HTML-Browser einstellen"),
                        QStringLiteral("Anwendungen (*.EXE)"),
                        {QStringLiteral("*")},
                        {}});
    if (answer.kind == FileDialogAnswer::Kind::Chosen) {
        form.TexBrowser = answer.path;
    }
}

void butZieldatei_Click(Form1& form, Ui& ui) {
    const FileDialogAnswer answer = ui.AskSaveFile(
        {QStringLiteral("Suchergebnis als HTML-Datei speichern"),
         QStringLiteral("HTML-Dateien (*.HTM)"),
         {QStringLiteral("*.htm"), QStringLiteral("*.HTM"), QStringLiteral("*.html")},
         // The dialog opens where the result file lies now and proposes it, so that "Einstellen"
         // only changes what the person changes.
         form.TexZieldatei.isEmpty() ? QStringLiteral("Ergebnis.HTM") : form.TexZieldatei});
    switch (answer.kind) {
        case FileDialogAnswer::Kind::Chosen:
            form.TexZieldatei = answer.path;
            break;
        case FileDialogAnswer::Kind::Cancelled:
            break;
        case FileDialogAnswer::Kind::Failed:
            // A failing dialog must not end the program; the person is told and nothing changes.
            ui.ShowMessage(QStringLiteral("Die Ergebnisdatei konnte nicht gew\u00E4hlt werden. %1")
                               .arg(answer.reason),
                           MessageIcon::Warning);
            break;
    }
}

void LaunchWithFile(const Form1& form, Ui& ui, const QString& directory, const QString& fileName) {
    if (fileName.isEmpty()) {
        return;
    }
    const QString path = directory + fileName;
    if (!Exists(path, ListKind::NormalFiles)) {
        return;
    }
    // A profile is a text file like a result: it opens in the same editor.
    OpenResultInEditor(form, ui, path, 1);
}

void butEDIT_Click(const Form1& form, Ui& ui) {
    LaunchWithFile(form, ui, form.SearchProfilePath, form.ComSuchprofile.text);
}

void butEDIT2_Click(const Form1& form, Ui& ui) {
    LaunchWithFile(form, ui, form.ReplaceProfilePath, form.ComErsatzlisten.text);
}

void OpenResultInEditor(const Form1& form, Ui& ui, const QString& path, std::int64_t line) {
    const QString command = form.EditorCommand.trimmed();
    if (command.isEmpty()) {
        if (!ui.OpenWithDefaultApplication(path)) {
            ui.ShowMessage(QStringLiteral("F\u00FCr \u201E%1\u201C konnte kein Programm "
                                          "gestartet werden.")
                               .arg(path),
                           MessageIcon::Warning);
        }
        return;
    }
    // Split as a shell would split it, but started without one: a file name cannot become a
    // second command.
    QStringList arguments = QProcess::splitCommand(command);
    bool namesFile = false;
    for (QString& argument : arguments) {
        namesFile = namesFile || argument.contains(QStringLiteral("{file}"));
        argument.replace(QStringLiteral("{file}"), path);
        argument.replace(QStringLiteral("{line}"),
                         QString::number(std::max<std::int64_t>(line, 1)));
    }
    if (!namesFile) {
        arguments.append(path);
    }
    const QString program = arguments.isEmpty() ? QString() : arguments.takeFirst();
    if (program.isEmpty() || !ui.StartDetached(program, arguments)) {
        ui.ShowMessage(QStringLiteral("Der Editor \u201E%1\u201C konnte nicht gestartet "
                                      "werden. Der Befehl steht in den Einstellungen unter "
                                      "\u201EEditor=\u201C.")
                           .arg(command),
                       MessageIcon::Warning);
    }
}

void butcopyright_Click(Ui& ui) {
    ui.ShowAboutWindow();
}

}  // namespace trawlex
