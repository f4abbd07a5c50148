#include "app/Form1.h"
#include "dialogs/Dialogs.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

namespace trawlex {
namespace {

using test::FakeUi;
using test::Home;
using test::TempTree;

TEST(LocationDialogTest, EachModeChangesItsOwnTarget) {
    const TempTree tree;
    tree.Write("profile/b.TXT", "x");
    tree.Write("profile/a.txt", "x");
    const QString profiles = QString::fromStdString(tree.Path("profile"));
    Form1 form;
    form.ComSuchprofile = {QStringLiteral("alt.txt"), {QStringLiteral("alt.txt")}};
    FakeUi ui;

    ui.nextDirectories = {profiles};
    butSuchprofilEinstellen_Click(form, ui);
    EXPECT_EQ(form.LocationDialogMode, 2);
    EXPECT_EQ(form.SearchProfilePath, profiles + QLatin1Char('/'));
    EXPECT_EQ(form.ComSuchprofile.list,
              (QStringList{QStringLiteral("a.txt"), QStringLiteral("b.TXT")}));
    EXPECT_TRUE(form.ComSuchprofile.text.isEmpty());
    EXPECT_EQ(form.TexSuchort.text, Home()) << "an empty location becomes home in every mode";
    EXPECT_EQ(ui.locationDialogStart, Home())
        << "no profile directory yet: the dialog opens at home";

    ui.nextDirectories = {QStringLiteral("/")};
    butErsatzprofilAuswählen_Click(form, ui);
    EXPECT_EQ(form.ReplaceProfilePath, QStringLiteral("/")) << "the root gets no second separator";
    EXPECT_EQ(form.SearchProfilePath, profiles + QLatin1Char('/'));

    ui.nextDirectories = {profiles};
    butSuchort_Click(form, ui);
    EXPECT_EQ(form.TexSuchort.text, profiles);
    EXPECT_EQ(ui.locationDialogs, (QStringList{QStringLiteral("Suchlistenpfad einstellen"),
                                               QStringLiteral("Ersatzlistenpfad einstellen"),
                                               QStringLiteral("Ort der Suche einstellen")}));

    butSaveSuchort_Click(form);
    butSaveSuchort_Click(form);
    form.TexSuchort.text = profiles + QStringLiteral("/weg");
    butSaveSuchort_Click(form);
    EXPECT_EQ(form.TexSuchort.list, (QStringList{profiles, profiles}));
}

// Without a browser named, the desktop's program for HTML pages shows the help page; a named
// browser that is gone is reported.
TEST(ExternalProgramsTest, HelpChecksThePageBeforeTheBrowser) {
    const TempTree tree;
    const std::string page = tree.Write("Trawlex and Replace.htm", "<html></html>");
    Form1 form;
    FakeUi ui;
    form.TexBrowser = QString::fromStdString(tree.Path("fehlt"));
    ButHelp_Click(form, ui, tree.Path("fehlt.htm"));
    ButHelp_Click(form, ui, page);
    EXPECT_EQ(
        ui.messages,
        (QStringList{
            QStringLiteral("Die Hilfsdatei 'Trawlex and Replace.HTM' kann nicht gefunden werden."),
            QStringLiteral(
                "Es ist kein g\u00FCltiger Pfad f\u00FCr den HTML-Browser eingestellt!")}));
    EXPECT_TRUE(ui.opened.isEmpty());
    form.TexBrowser.clear();
    ButHelp_Click(form, ui, page);
    EXPECT_EQ(ui.opened, QStringList{QString::fromStdString(page)});
    EXPECT_EQ(ui.messages.size(), 2);
    form.TexBrowser = QString::fromStdString(tree.Write("mein browser", "#!/bin/sh\n"));
    ButHelp_Click(form, ui, page);
    EXPECT_EQ(ui.started,
              QStringList{form.TexBrowser + QLatin1Char('|') + QString::fromStdString(page)});
}

TEST(ExternalProgramsTest, FileDialogsChangeOnlyWhatWasChosen) {
    Form1 form;
    form.TexZieldatei = QStringLiteral("/alt.htm");
    FakeUi ui;
    butZieldatei_Click(form, ui);
    EXPECT_EQ(form.TexZieldatei, QStringLiteral("/alt.htm"));
    ui.nextFileAnswer = {FileDialogAnswer::Kind::Failed, {}, QStringLiteral("kaputt")};
    butZieldatei_Click(form, ui);
    EXPECT_EQ(form.TexZieldatei, QStringLiteral("/alt.htm"));
    ASSERT_EQ(ui.messages.size(), 1) << "a failing dialog is reported, the program goes on";
    ui.nextFileAnswer = {FileDialogAnswer::Kind::Chosen, QStringLiteral("/neu.HTM"), {}};
    butZieldatei_Click(form, ui);
    EXPECT_EQ(form.TexZieldatei, QStringLiteral("/neu.HTM"));
    EXPECT_EQ(ui.fileDialogs.back().title, QStringLiteral("Suchergebnis als HTML-Datei speichern"));
    EXPECT_EQ(ui.fileDialogs.back().filterText, QStringLiteral("HTML-Dateien (*.HTM)"));
    EXPECT_EQ(ui.fileDialogs.back().initialName, QStringLiteral("/alt.htm"))
        << "the dialog proposes the result file it would change";
    form.TexZieldatei.clear();
    butZieldatei_Click(form, ui);
    EXPECT_EQ(ui.fileDialogs.back().initialName, QStringLiteral("Ergebnis.HTM"));

    ui.nextFileAnswer = {FileDialogAnswer::Kind::Chosen, QStringLiteral("/usr/bin/firefox"), {}};
    comHTMLBrowser_Click(form, ui);
    EXPECT_EQ(form.TexBrowser, QStringLiteral("/usr/bin/firefox"));
    EXPECT_EQ(ui.fileDialogs.back().title, QStringLiteral("Standard-HTML-Browser einstellen"));
    EXPECT_EQ(ui.fileDialogs.back().filterText, QStringLiteral("Anwendungen (*.EXE)"));
    // A save dialog takes a new name; an open dialog, only a file that exists.
    EXPECT_EQ(ui.saveDialogs, 4) << "the result file is saved, the browser opened";
}

TEST(ExternalProgramsTest, EditorOpensOnlyAnExistingChosenProfile) {
    const TempTree tree;
    tree.Write("Liste.TXT", "a");
    Form1 form;
    form.SearchProfilePath = tree.RootText();
    form.ReplaceProfilePath = tree.RootText();
    FakeUi ui;
    butEDIT_Click(form, ui);
    form.ComErsatzlisten.text = QStringLiteral("fehlt.TXT");
    butEDIT2_Click(form, ui);
    EXPECT_TRUE(ui.opened.isEmpty());
    form.ComSuchprofile.text = QStringLiteral("Liste.TXT");
    butEDIT_Click(form, ui);
    EXPECT_EQ(ui.opened, QStringList{tree.RootText() + QStringLiteral("Liste.TXT")});
    EXPECT_TRUE(ui.messages.isEmpty());
    // The editor a result opens in opens a profile too.
    form.EditorCommand = QStringLiteral("kate --line {line} {file}");
    form.ComErsatzlisten.text = QStringLiteral("Liste.TXT");
    butEDIT2_Click(form, ui);
    EXPECT_EQ(ui.started, QStringList{QStringLiteral("kate|--line|1|") + tree.RootText() +
                                      QStringLiteral("Liste.TXT")});
}

// The editor command is split without a shell, so a blank or a quote in the file name stays
// inside its one argument.
TEST(ExternalProgramsTest, AResultOpensInTheEditorAtItsLine) {
    const QString file = QStringLiteral("/tmp/a b/\"x\".htm");
    const struct {
        const char* command;
        QString started;  // empty: the default application
    } cases[] = {
        {"", {}},
        {"kate --line {line} {file}", QStringLiteral("kate|--line|7|") + file},
        {"\"/opt/mein editor\" +{line}", QStringLiteral("/opt/mein editor|+7|") + file},
        {"code -g {file}:{line}", QStringLiteral("code|-g|") + file + QStringLiteral(":7")},
    };
    for (const auto& test : cases) {
        Form1 form;
        form.EditorCommand = QString::fromUtf8(test.command);
        FakeUi ui;
        OpenResultInEditor(form, ui, file, 7);
        EXPECT_EQ(ui.started, test.started.isEmpty() ? QStringList() : QStringList{test.started})
            << test.command;
        EXPECT_EQ(ui.opened, test.started.isEmpty() ? QStringList{file} : QStringList())
            << test.command;
        EXPECT_TRUE(ui.messages.isEmpty());
    }
    Form1 form;
    form.EditorCommand = QStringLiteral("fehlt {file}");
    FakeUi ui;
    ui.startSucceeds = false;
    OpenResultInEditor(form, ui, file, 1);
    ASSERT_EQ(ui.messages.size(), 1);
    EXPECT_TRUE(ui.messages.front().contains(QStringLiteral("Editor=")));
}

}  // namespace
}  // namespace trawlex
