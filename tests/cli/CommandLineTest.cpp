#include "cli/CommandLine.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QProcess>

#include <vector>

namespace trawlex {
namespace {

QStringList Arguments(const std::vector<const char*>& texts) {
    QStringList arguments;
    for (const char* text : texts) {
        arguments.append(QString::fromUtf8(text));
    }
    return arguments;
}

TEST(CommandLineTest, SettingsFileComesFirstAndOptionsOverrideIt) {
    const test::TempTree tree;
    const std::string settings =
        tree.Write("Trawlex.INI",
                   "[Trawlex]\r\nHTML-Browser=\r\nSearchPath=" + tree.Root() +
                       "\r\nSearchKey=Alt\r\nFileFilterMask=*.TXT\r\nReplaceKey=\r\n"
                       "OutputFile=/tmp/x.htm\r\nTextOrBinarySearch=Binary\r\nRecursive=No\r\n");
    const CliParse parse =
        ParseCommandLine(Arguments({"search",
                                    "--term=Gr\xC3\xB6\xC3\x9F"
                                    "e",
                                    "--settings", settings.c_str(), "--recursive", "--report",
                                    "/tmp/b.htm", "--mask", "*.htm; *.html", "--ignore-case"}));
    ASSERT_TRUE(parse.request.has_value()) << parse.output.toStdString();
    test::FakeUi ui;
    const std::optional<Form1> form = PrepareForm(*parse.request, ui);
    ASSERT_TRUE(form.has_value());
    EXPECT_EQ(form->TexSuchbegriff.text, QStringLiteral("Gr\u00F6\u00DFe"));
    EXPECT_EQ(form->TexZieldatei, QStringLiteral("/tmp/b.htm"));
    EXPECT_EQ(form->TexSuchort.text, tree.RootText());
    EXPECT_EQ(form->ComDateifilter.text, QStringLiteral("*.htm; *.html"));
    EXPECT_TRUE(form->OptIGNORE && !form->Optgrossklein);
    EXPECT_EQ(form->CheckRekursiv, 1);

    const CliParse missing =
        ParseCommandLine({QStringLiteral("search"), QStringLiteral("--settings"),
                          tree.RootText() + QStringLiteral("fehlt.INI")});
    ASSERT_TRUE(missing.request.has_value());
    EXPECT_FALSE(PrepareForm(*missing.request, ui).has_value());
    EXPECT_TRUE(ui.messages.back().contains(QStringLiteral("fehlt.INI")));
}

TEST(CommandLineTest, WrongUsageIsNamed) {
    const std::pair<std::vector<const char*>, const char*> cases[] = {
        {{}, "Befehl"},
        {{"suchen"}, "suchen"},
        {{"search", "--term", "x", "--mask", "*", "--report", "r"}, "--location"},
        {{"search", "--location"}, "--location"},
        {{"search", "--verbose"}, "--verbose"},
        {{"search", "--ignore-case=ja"}, "--ignore-case"},
        {{"search", "--term", "a", "--term", "b"}, "doppelt"},
        {{"replace", "--preview", "--term", "a", "--replacement", "b", "--location", ".", "--mask",
          "*"},
         "--report"},
        {{"replace-profile", "--profile", "p", "--location", ".", "--mask", "*", "--preview",
          "--report", "r", "--no-undo"},
         "--no-undo"},
        {{"undo", "--location", "."}, "--location"},
        {{"replace-code", "--code", "9"}, "13 <Return>"},
        {{"search-combination", "--combination", "<cr><lf>"}, "<CR><LF>"},
    };
    for (const auto& [arguments, named] : cases) {
        const CliParse parse = ParseCommandLine(Arguments(arguments));
        EXPECT_FALSE(parse.request.has_value());
        EXPECT_TRUE(parse.usageError);
        EXPECT_TRUE(parse.output.contains(QString::fromUtf8(named))) << parse.output.toStdString();
    }
}

int RunCli(const std::vector<std::string>& texts, QString& errors) {
    QStringList arguments;
    for (const std::string& text : texts) {
        arguments.append(QString::fromStdString(text));
    }
    QProcess process;
    process.start(QStringLiteral(TRAWLEX_CLI_PATH), arguments);
    EXPECT_TRUE(process.waitForFinished(30000));
    errors = QString::fromLocal8Bit(process.readAllStandardError());
    return process.exitCode();
}

// Runs in turn on one tree; each names its exit status and what it says on stderr (into a pipe
// no progress line is written, with or without --quiet) or what a file then holds.
TEST(CommandLineTest, ExitStatusTellsRanRefusedAndWrongUsage) {
    const test::TempTree tree;
    tree.Write("a.htm", "<TITLE>T</TITLE>Fund");
    tree.Write("b.htm", "a\r\nb\r\n");
    const std::string root = tree.Root();
    const std::string report = root + "bericht.html";
    const std::string profile = tree.Write("profile/paare.txt", "\"a\",\"A\"\r\n");
    const std::vector<std::string> search = {"--term", "Fund",     "--mask",
                                             "*.htm",  "--report", report};
    const auto with = [](std::vector<std::string> front, const std::vector<std::string>& back) {
        front.insert(front.end(), back.begin(), back.end());
        return front;
    };
    struct Case {
        std::vector<std::string> arguments;
        int exit;
        std::string said;  // empty: nothing at all
        std::string file;
        std::string holds;
    };
    const Case cases[] = {
        {with({"search", "--location", root}, search), 0, "", report, "<B>1</B> Fundstelle in"},
        {with({"search", "--quiet", "--location", root}, search), 0, "", "", ""},
        {with({"search", "--location", root + "fehlt"}, search), 1, "fehlt", "", ""},
        {with({"search", "--location", ""}, search), 2, "--location ist leer", "", ""},
        {{"search"}, 2, "--location", "", ""},
        // A replacement needs no report path; the window's first-start default stands in for it.
        {{"replace", "--location", root, "--term", "Fund", "--replacement", "", "--mask", "*.htm"},
         0,
         "",
         root + "a.htm",
         "<TITLE>T</TITLE>"},
        {{"replace-combination", "--location", root, "--combination=<CR><LF>",
          "--replacement-combination=<LF>", "--mask", "*.htm"},
         0,
         "",
         root + "b.htm",
         "a\nb\n"},
        // A profile path names the profile directory and the chosen profile.
        {{"replace-profile", "--profile", profile, "--location", root, "--mask", "b.htm"},
         0,
         "",
         root + "b.htm",
         "A\nb\n"},
    };
    for (const Case& each : cases) {
        QString errors;
        EXPECT_EQ(RunCli(each.arguments, errors), each.exit) << each.arguments[0];
        if (each.said.empty()) {
            EXPECT_TRUE(errors.isEmpty()) << errors.toStdString();
        } else {
            EXPECT_TRUE(errors.contains(QString::fromStdString(each.said))) << errors.toStdString();
        }
        if (!each.file.empty()) {
            EXPECT_NE(test::ReadFile(each.file).find(each.holds), std::string::npos) << each.file;
        }
    }
    EXPECT_EQ(test::ReadFile(root + "a.htm"), "<TITLE>T</TITLE>");
}

}  // namespace
}  // namespace trawlex
