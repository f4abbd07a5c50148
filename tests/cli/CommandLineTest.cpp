#include "cli/CommandLine.h"

#include "Cli.h"
#include "TestSupport.h"
#include "replace/ReplaceCommand.h"

#include <gtest/gtest.h>

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
    const CliParse parse = ParseCommandLine(
        Arguments({"search", "--term=Größe", "--settings", settings.c_str(), "--recursive",
                   "--report", "/tmp/b.htm", "--mask", "*.htm; *.html", "--ignore-case"}));
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

// The preview page goes beside the result file of the window's settings, where --report names
// it, and beside a change list only when --report names it.
TEST(CommandLineTest, PreviewPageGoesBesideTheResultFileUnlessNamed) {
    const test::TempTree tree;
    const std::string settings = tree.Write(
        "Trawlex.INI", "[Trawlex]\r\nHTML-Browser=\r\nSearchPath=" + tree.Root() +
                           "\r\nSearchKey=Alt\r\nFileFilterMask=*.TXT\r\nReplaceKey=\r\n"
                           "OutputFile=/tmp/bericht.v1.htm\r\nTextOrBinarySearch=Binary\r\n"
                           "Recursive=No\r\n");
    const std::pair<std::vector<const char*>, const char*> cases[] = {
        {{"replace", "--preview", "--settings", settings.c_str()}, "/tmp/bericht.v1-Vorschau.htm"},
        {{"replace", "--preview", "--settings", settings.c_str(), "--report", "/tmp/v.htm"},
         "/tmp/v.htm"},
        {{"replace", "--preview", "--settings", settings.c_str(), "--changes", "/tmp/l.jsonl"}, ""},
        {{"replace", "--preview", "--settings", settings.c_str(), "--changes", "/tmp/l.jsonl",
          "--report", "/tmp/v.htm"},
         "/tmp/v.htm"},
    };
    for (const auto& [arguments, page] : cases) {
        const CliParse parse = ParseCommandLine(Arguments(arguments));
        ASSERT_TRUE(parse.request.has_value()) << parse.output.toStdString();
        test::FakeUi ui;
        const std::optional<Form1> form = PrepareForm(*parse.request, ui);
        ASSERT_TRUE(form.has_value());
        EXPECT_EQ(PreviewWritesPage(*form) ? PreviewPagePath(*form) : QString(),
                  QString::fromUtf8(page));
    }
    Form1 window;
    for (const auto& [result, page] : std::vector<std::pair<const char*, const char*>>{
             {"/a.b/Bericht", "/a.b/Bericht-Vorschau"},
             {"/tmp/.htm", "/tmp/.htm-Vorschau"},
             {"Ergebnis.HTM", "Ergebnis-Vorschau.HTM"}}) {
        window.TexZieldatei = QString::fromUtf8(result);
        EXPECT_EQ(PreviewPagePath(window), QString::fromUtf8(page));
    }
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
        {{"replace", "--term", "a", "--replacement", "b", "--location", ".", "--mask", "*",
          "--changes", "l.jsonl"},
         "--preview"},
        {{"apply"}, "--changes"},
        {{"apply", "--changes", "l", "--location", "."}, "--location"},
        {{"replace-code", "--code", "9"}, "13 <Return>"},
        {{"search-combination", "--combination", "<cr><lf>"}, "<CR><LF>"},
        {{"search", "--min-size", "10X"}, "\u201E10X\u201C f\u00FCr --min-size"},
        {{"replace", "--newer", "31.02.2026"}, "\u201E31.02.2026\u201C f\u00FCr --newer"},
        {{"search-profile", "--min-size", "2M", "--max-size", "1M"}, "--min-size 2M"},
        {{"search", "--exclude-dir", ";"}, "--exclude-dir"},
        {{"apply", "--changes", "l", "--word"}, "--word"},
    };
    const CliParse version = ParseCommandLine(Arguments({"search", "--version"}));
    EXPECT_FALSE(version.request.has_value() || version.usageError);
    EXPECT_TRUE(version.output.startsWith(u"trawlex-cli " TRAWLEX_TEST_VERSION));
    for (const auto& [arguments, named] : cases) {
        const CliParse parse = ParseCommandLine(Arguments(arguments));
        EXPECT_FALSE(parse.request.has_value());
        EXPECT_TRUE(parse.usageError);
        EXPECT_TRUE(parse.output.contains(QString::fromUtf8(named))) << parse.output.toStdString();
    }
}

// Runs in turn on one tree; each exits with 0 and says nothing on stderr (into a pipe no
// progress line is written, with or without --quiet). Refusals and their exit statuses are the
// fault suite's.
TEST(CommandLineTest, RunsThatWorkExitWithZeroAndSayNothing) {
    const test::TempTree tree;
    tree.Write("a.htm", "<TITLE>T</TITLE>Fund");
    tree.Write("b.htm", "a\r\nb\r\n");
    const std::string root = tree.Root();
    const std::string report = root + "bericht.html";
    const std::string profile = tree.Write("profile/paare.txt", "\"a\",\"A\"\r\n");
    const std::vector<std::string> search = {"search", "--location", root,       "--term", "Fund",
                                             "--mask", "*.htm",      "--report", report};
    std::vector<std::string> quiet = search;
    quiet.insert(quiet.begin() + 1, "--quiet");
    quiet.back() = root + "leise.html";
    std::vector<std::string> filtered = search;
    const std::string filteredReport = filtered.back() = root + "gefiltert.html";
    filtered.insert(filtered.end(), {"--exclude=*.bak", "--exclude-dir", "alt", "--word",
                                     "--skip-binary", "--min-size", "1", "--max-size=1K", "--newer",
                                     "2000-01-01", "--older", "2100-01-01 00:00"});
    struct Case {
        std::vector<std::string> arguments;
        std::string file;
        std::string holds;
    };
    const Case cases[] = {
        {search, report, "<B>1</B> Fundstelle in"},
        {filtered, filteredReport, "ab 1, bis 1K</TD></TR>"},
        {quiet, quiet.back(), "<B>1</B> Fundstelle in"},
        // A replacement needs no report path; the window's first-start default stands in for it.
        {{"replace", "--location", root, "--term", "Fund", "--replacement", "", "--mask", "*.htm"},
         root + "a.htm",
         "<TITLE>T</TITLE>"},
        {{"replace-combination", "--location", root, "--combination=<CR><LF>",
          "--replacement-combination=<LF>", "--mask", "*.htm"},
         root + "b.htm",
         "a\nb\n"},
        // A profile path names the profile directory and the chosen profile.
        {{"replace-profile", "--profile", profile, "--location", root, "--mask", "b.htm"},
         root + "b.htm",
         "A\nb\n"},
    };
    const test::Cli cli;
    for (const Case& each : cases) {
        EXPECT_EQ(cli.Run(each.arguments), 0) << each.arguments[0];
        EXPECT_EQ(cli.Errors(), "");
        EXPECT_NE(test::ReadFile(each.file).find(each.holds), std::string::npos) << each.file;
    }
    EXPECT_EQ(test::ReadFile(root + "a.htm"), "<TITLE>T</TITLE>");
}

}  // namespace
}  // namespace trawlex
