#include "app/Form1.h"
#include "app/Settings.h"
#include "app/Startup.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <string>

namespace trawlex {
namespace {

using test::FakeUi;
using test::Home;
using test::ReadFile;
using test::TempTree;

class SettingsTest : public ::testing::Test {
protected:
    // A record whose every stored field holds a value that must come back.
    Form1 FilledForm() const {
        Form1 form;
        form.TexBrowser = QString::fromStdString(tree.Write("bin/browser", "#!/bin/sh\n"));
        form.TexSuchort.text = QString::fromStdString(tree.MakeDirectory("web"));
        form.TexSuchbegriff.text = QStringLiteral("a=b, \u00C4rger");
        form.ComDateifilter.text = QStringLiteral("*.HTM   HTML-Format");
        form.TexErsatzbegriff = QStringLiteral("Ersatz");
        form.TexZieldatei = QStringLiteral("/tmp/Suchergebnis.htm");
        SelectCaseObserved(form, false);
        form.CheckRekursiv = 1;
        SelectBrowserHandOff(form, true);
        form.SearchProfilePath = QString::fromStdString(tree.MakeDirectory("such/"));
        form.ReplaceProfilePath = QString::fromStdString(tree.MakeDirectory("ersatz/"));
        form.ComSuchprofile.text = QStringLiteral("begriffe.txt");
        form.ComErsatzlisten.text = QStringLiteral("paare.txt");
        form.TexSuchort.list = {QStringLiteral("/srv/a"), QStringLiteral("/weg/b")};
        return form;
    }

    // What a save and a load must carry, one entry per stored field.
    static QStringList StoredFields(const Form1& form) {
        return {
            form.TexBrowser,
            form.TexSuchort.text,
            form.TexSuchbegriff.text,
            form.ComDateifilter.text,
            form.TexErsatzbegriff,
            form.TexZieldatei,
            QString::number(form.OptIGNORE) + QString::number(form.Optgrossklein),
            QString::number(form.CheckRekursiv),
            QString::number(form.OptBrowser) + QString::number(form.OptZieldatei),
            form.SearchProfilePath,
            form.ReplaceProfilePath,
            form.ComSuchprofile.text,
            form.ComErsatzlisten.text,
            form.TexSuchort.list.join(u'|'),
            form.EditorCommand,
            form.TexSuchbegriff.list.join(u'|'),
            form.ReplacementHistory.join(u'|'),
            form.LocationHistory.join(u'|'),
            QString::number(form.SplitterSizes.size()) +
                QString::number(form.SplitterSizes.value(0)),
            QString::number(form.ColumnWidths.size()) + QString::number(form.ColumnWidths.value(2)),
            form.TexAusnahmen + u'|' + form.TexOrdnerAuslassen + u'|' + form.TexGroesseAb + u'|' +
                form.TexGroesseBis + u'|' + form.TexGeaendertAb + u'|' + form.TexGeaendertVor,
            QString::number(form.CheckGanzesWort) + QString::number(form.CheckBinaerAuslassen)};
    }

    TempTree tree;
    FakeUi ui;
};

TEST_F(SettingsTest, WrittenFileHasTheFixedLinesInWindows1252) {
    Form1 form;
    form.TexSuchbegriff.text = QStringLiteral("Gr\u00F6\u00DFe");
    auto text = SettingsText(form);
    ASSERT_TRUE(text.ok());
    EXPECT_EQ(text.value(),
              "[Trawlex]\r\nHTML-Browser=\r\nSearchPath=\r\nSearchKey=Gr\xF6\xDF"
              "e\r\n"
              "FileFilterMask=\r\nReplaceKey=\r\nOutputFile=\r\nTextOrBinarySearch=Binary\r\n"
              "Recursive=No\r\nBrowser=No\r\nSearchProfilePath=\r\nReplaceProfilePath=\r\n"
              "DefaultSearchProfile=\r\nDefaultReplaceProfile=\r\n");
    form.TexSuchort.list = {QStringLiteral("/a"), QStringLiteral("/b")};
    EXPECT_NE(SettingsText(form)->find("\r\nStaticSearchPath0=/a\r\nStaticSearchPath1=/b\r\n"),
              std::string::npos);
}

// Every stored field comes back; paths that no longer exist come back empty or as home.
TEST_F(SettingsTest, SaveAndLoadRestoreEveryStoredField) {
    Form1 saved = FilledForm();
    saved.CheckRegex = 1;
    saved.EditorCommand = QStringLiteral("kate --line {line} {file}");
    saved.TexSuchbegriff.list = {QStringLiteral("Fund"), QStringLiteral("a=b"),
                                 QStringLiteral("Fund")};
    saved.ReplacementHistory = {QStringLiteral("Treffer"), QString()};
    saved.LocationHistory = {QStringLiteral("/srv/web")};
    saved.SplitterSizes = {333, 420};
    saved.ColumnWidths = {40, 300, 90, 120, 80, 200, 150, 90};
    saved.TexAusnahmen = QStringLiteral("*.bak; *~");
    saved.TexOrdnerAuslassen = QStringLiteral("node_modules; .git; alt*");
    saved.TexGroesseAb = QStringLiteral("10K");
    saved.TexGeaendertVor = QStringLiteral("2026-06-30 18:00");
    saved.CheckGanzesWort = 1;
    saved.CheckBinaerAuslassen = 1;
    const std::string path = tree.Path("Trawlex.INI");
    for (const bool vanished : {false, true}) {
        Form1 expected = saved;
        expected.ReplacementHistory = {QStringLiteral("Treffer")};
        if (vanished) {
            saved.TexBrowser = QStringLiteral("/gibt/es/nicht");
            saved.TexSuchort.text = QStringLiteral("/gibt/es/auch/nicht");
            saved.SearchProfilePath = QStringLiteral("/weg/");
            expected.TexBrowser.clear();
            expected.TexSuchort.text.clear();
            expected.SearchProfilePath = Home();
        }
        ASSERT_TRUE(SaveSettings(saved, path).ok());
        Form1 loaded;
        ASSERT_TRUE(LoadSettings(loaded, ui, path));
        EXPECT_EQ(StoredFields(loaded), StoredFields(expected)) << vanished;
        EXPECT_EQ(loaded.CheckRegex, 1) << "kept behind the locations, so older files read alike";
    }
    EXPECT_TRUE(ui.messages.isEmpty());
}

// A history keeps the newest entries; one the file cannot hold does not keep the others from
// being saved, and sizes that make no sense leave the window's own.
TEST_F(SettingsTest, HistoriesKeepTheirNewestEntriesAndNonsenseSizesAreDropped) {
    Form1 form;
    for (int entry = 1; entry <= 25; ++entry) {
        form.TexSuchbegriff.list.append(QString::number(entry));
    }
    form.TexSuchbegriff.list.append(QStringLiteral("\u0142"));
    RememberEntry(form.LocationHistory, QStringLiteral("/a"));
    RememberEntry(form.LocationHistory, QStringLiteral("/b"));
    RememberEntry(form.LocationHistory, QStringLiteral("/a"));
    auto text = SettingsText(form);
    ASSERT_TRUE(text.ok());
    Form1 loaded;
    ASSERT_TRUE(ApplySettings(loaded, ui, text.value()));
    ASSERT_EQ(loaded.TexSuchbegriff.list.size(), kHistoryLength);
    EXPECT_EQ(loaded.TexSuchbegriff.list.front(), QStringLiteral("6"));
    EXPECT_EQ(loaded.TexSuchbegriff.list.back(), QStringLiteral("25"));
    EXPECT_EQ(loaded.LocationHistory, (QStringList{QStringLiteral("/b"), QStringLiteral("/a")}));
    EXPECT_TRUE(loaded.TexSuchort.list.isEmpty()) << "a history is no saved location";

    ASSERT_TRUE(ApplySettings(loaded, ui,
                              "[Trawlex]\n\n\n\n\n\n\n\n\n\n\n\n\n\nSplitterSizes=300,x\n"
                              "ColumnWidths=-5,10\nSearchKeyHistory=ohne Nummer\n"));
    EXPECT_TRUE(loaded.SplitterSizes.isEmpty());
    EXPECT_TRUE(loaded.ColumnWidths.isEmpty());
    EXPECT_EQ(loaded.TexSuchort.list, QStringList{QStringLiteral("ohne Nummer")});
}

TEST_F(SettingsTest, ValuesAreReadByPositionAndComparedExactly) {
    Form1 form;
    ASSERT_TRUE(ApplySettings(form, ui,
                              "[Trawlex]\nx=\nx=\nx=\nirgendwas=*.TXT\nx=\nx=\nx=text\nx=no\nx="
                              "\nx=\nx=\nx=\nx=\n"));
    EXPECT_EQ(form.ComDateifilter.text, QStringLiteral("*.TXT"));
    EXPECT_TRUE(form.Optgrossklein) << "only exactly \"Text\" ignores case";
    EXPECT_EQ(form.CheckRekursiv, 1) << "only exactly \"No\" turns recursion off";
    EXPECT_TRUE(form.OptBrowser) << "an empty value hands the report to the browser";

    // A settings file saved from a Linux editor is UTF-8.
    ASSERT_TRUE(ApplySettings(form, ui,
                              "\xEF\xBB\xBF[Trawlex]\nx=\nx=\nSearchKey=Gr\u00F6\u00DFe \u0142\n"));
    EXPECT_EQ(form.TexSuchbegriff.text, QStringLiteral("Gr\u00F6\u00DFe \u0142"));
}

TEST_F(SettingsTest, MalformedFilesNeverCrashAndKeepTheOtherRules) {
    Form1 form;
    EXPECT_FALSE(ApplySettings(form, ui, "[trawlex]\r\nSearchKey=x\r\n"));
    EXPECT_EQ(ui.messages,
              QStringList{QStringLiteral("Trawlex.INI-Datei nicht korrekt formatiert!")});
    EXPECT_TRUE(form.TexSuchbegriff.text.isEmpty());
    EXPECT_FALSE(ApplySettings(form, ui, ""));

    ui.messages.clear();
    // Ends early, lines without "=", a lone CR, NUL bytes and unpaired bytes.
    const std::string broken("[Trawlex]\rkein Gleichheitszeichen\r\n\r\nSearchKey=a\0b\x81\r\n",
                             52);
    ASSERT_TRUE(ApplySettings(form, ui, broken));
    EXPECT_TRUE(form.TexBrowser.isEmpty());
    EXPECT_EQ(form.TexSuchbegriff.text, QString::fromUtf16(u"a\0b\u0081", 4));
    EXPECT_TRUE(form.ComDateifilter.text.isEmpty());
    EXPECT_EQ(form.CheckRekursiv, 1);
    EXPECT_TRUE(ui.messages.isEmpty());

    Form1 listed;
    ASSERT_TRUE(ApplySettings(listed, ui,
                              "[Trawlex]\n\n\n\n\n\n\n\n\n\n\n\n\n\nStaticSearchPath0=/a\nohne\n\n"
                              "StaticSearchPath7=/b=c"));
    EXPECT_EQ(listed.TexSuchort.list, (QStringList{QStringLiteral("/a"), QStringLiteral("/b=c")}));
}

TEST_F(SettingsTest, FailedSaveKeepsTheOldFileAndNamesThePath) {
    const std::string path = tree.Path("nur-lesen/Trawlex.INI");
    tree.Write("nur-lesen/Trawlex.INI", "[Trawlex]\r\nalt\r\n");
    Form1 form = FilledForm();
    form.TexSuchbegriff.text = QStringLiteral("\u0142");
    ComSaveIni_Click(form, ui, path);
    ASSERT_EQ(ui.messages.size(), 1);
    EXPECT_TRUE(ui.messages[0].contains(QString::fromStdString(path)));
    EXPECT_EQ(ReadFile(path), "[Trawlex]\r\nalt\r\n");

    EXPECT_EQ(tree.Files().size(), 2U) << "no temporary file beside bin/browser and the old file";
}

TEST(StartupTest, FirstStartWithoutSettingsFile) {
    const TempTree tree;
    FakeUi ui;
    Form1 form;
    Form_Load(form, ui, tree.Path("Trawlex.INI"));
    EXPECT_FALSE(form.ComDateifilter.list.isEmpty());
    EXPECT_EQ(form.TexSuchort.text, Home());
    EXPECT_EQ(form.TexZieldatei, Home() + QStringLiteral("Suchergebnis.htm"));
    EXPECT_EQ(form.ComDateifilter.text, QStringLiteral("*.HTM"));
    EXPECT_TRUE(form.Optgrossklein && form.OptZieldatei);
    EXPECT_EQ(form.CheckRekursiv, 0);
    EXPECT_EQ(form.Status, QStringLiteral("Bereit"));
    EXPECT_TRUE(ui.messages.isEmpty());
}

TEST(StartupTest, SettingsFileAndProfileLists) {
    const TempTree tree;
    tree.Write("profile/b.TXT", "x");
    tree.Write("profile/a.txt", "x");
    tree.Write("profile/c.ini", "x");
    const std::string settings = tree.Write(
        "Trawlex.INI",
        "[Trawlex]\r\nHTML-Browser=\r\nSearchPath=\r\nSearchKey=Fund\r\n"
        "FileFilterMask=*.TXT\r\nReplaceKey=\r\nOutputFile=\r\n"
        "TextOrBinarySearch=Binary\r\nRecursive=No\r\nBrowser=No\r\n"
        "SearchProfilePath=" +
            tree.Path("profile") + "\r\nReplaceProfilePath=" + tree.Path("profile/leer") +
            "\r\nDefaultSearchProfile=\r\n"
            "DefaultReplaceProfile=\r\n");
    FakeUi ui;
    Form1 form;
    Form_Load(form, ui, settings);
    EXPECT_EQ(form.SearchProfilePath, QString::fromStdString(tree.Path("profile/")));
    EXPECT_EQ(form.ComSuchprofile.list,
              (QStringList{QStringLiteral("a.txt"), QStringLiteral("b.TXT")}));
    EXPECT_EQ(form.ReplaceProfilePath, Home()) << "a missing profile directory becomes home";
    EXPECT_EQ(form.ComDateifilter.text, QStringLiteral("*.TXT"));
    EXPECT_EQ(form.ComDateifilter.list.size(), 14);

    Form1 malformed;
    const std::string wrong = tree.Write("Falsch.INI", "[Anders]\r\n");
    Form_Load(malformed, ui, wrong);
    EXPECT_TRUE(malformed.TexSuchort.text.isEmpty()) << "no first-start defaults after the message";
    EXPECT_TRUE(malformed.SearchProfilePath.isEmpty());
    EXPECT_EQ(ui.messages.size(), 1);
}

}  // namespace
}  // namespace trawlex
