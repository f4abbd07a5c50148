#include "cli/CommandLine.h"

#include "Cli.h"
#include "TestSupport.h"
#include "replace/ReplaceCommand.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <iomanip>
#include <sstream>
#include <string>
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

// The window's settings file over the tree, with the result file given.
std::string WriteSettings(const test::TempTree& tree, const std::string& resultFile) {
    const std::string text = "[Trawlex]\r\nHTML-Browser=\r\nSearchPath=" + tree.Root() +
                             "\r\nSearchKey=Alt\r\nFileFilterMask=*.TXT\r\nReplaceKey=\r\n"
                             "OutputFile=" +
                             resultFile + "\r\nTextOrBinarySearch=Binary\r\nRecursive=No\r\n";
    return tree.Write("Trawlex.INI", text);
}

TEST(CommandLineTest, SettingsFileComesFirstAndOptionsOverrideIt) {
    const test::TempTree tree;
    const std::string settings = WriteSettings(tree, "/tmp/x.htm");
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
    const std::string settings = WriteSettings(tree, "/tmp/bericht.v1.htm");
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
        {{"replace-code", "--code", "9"}, "13 <Return>"},
        {{"search-combination", "--combination", "<cr><lf>"}, "<CR><LF>"},
        {{"search", "--min-size", "10X"}, "\u201E10X\u201C f\u00FCr --min-size"},
        {{"search-profile", "--min-size", "2M", "--max-size", "1M"}, "--min-size 2M"},
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

// The words of a command line as a shell splits them: at blanks, but not inside single quotes,
// which are dropped; "@x" becomes the path of x in the tree.
std::vector<std::string> Words(const std::string& line, const test::TempTree& tree) {
    std::istringstream in(line);
    std::vector<std::string> words;
    for (std::string word; in >> std::quoted(word, '\'');) {
        words.push_back(word.starts_with('@') ? tree.Path(word.substr(1)) : word);
    }
    return words;
}

// What trawlex-cli answers, run in a tree of locations, profiles and settings files of each
// kind, as its working directory. Whatever a run refuses, it writes no report and changes no
// file of the location; and no run removes a person's file named like a temporary. Into a pipe
// no progress line is written.
TEST(CommandLineTest, EachRunExitsAndSaysWhatItShould) {
    struct Case {
        const char* command;
        int exit;
        const char* says;            // on stderr; empty when nothing is said
        const char* file = nullptr;  // a file that holds `holds` afterwards
        const char* holds = nullptr;
    };
    const Case cases[] = {
        {"search --location @ort --term Alt --mask *.htm --report bericht.htm", 0, "",
         "bericht.htm", "<B>1</B> Fundstelle in"},
        {"search --location @ort --term Alt --mask *.htm --report bericht.htm --exclude=*.bak "
         "--exclude-dir alt --word --skip-binary --min-size 1 --max-size=1K --newer 2000-01-01 "
         "--older '2100-01-01 00:00'",
         0, "", "bericht.htm", "ab 1, bis 1K</TD></TR>"},
        {"search --location @ort --term Alt --mask *.txt --report /dev/stdout", 0, ""},
        // A replacement needs no report path; the window's first-start default stands in for it.
        {"replace --location @ort --term Alt --replacement '' --mask *.htm", 0, "", "ort/b.htm",
         "<TITLE>T</TITLE>\r\nb\r\n"},
        {"replace --location @ort --term Alt --replacement Gr\xC3\xBC\xC3\x9F --mask *.txt", 0, "",
         "ort/a.txt", "Gr\xFC\xDF und Gr\xFC\xDF\n"},
        {"replace --settings ersatz.ini", 0, "", "ort/a.txt", "Neu und Neu\n"},
        {"replace-combination --location @ort --combination=<CR><LF> "
         "--replacement-combination=<LF> --mask *.htm",
         0, "", "ort/b.htm", "Alt\nb\n"},
        // A profile path names the profile directory and the chosen profile; a bare profile
        // name is a file of the working directory.
        {"replace-profile --profile @profile/paare.txt --location @ort --mask *.htm", 0, "",
         "ort/b.htm", "Alt\r\nB\r\n"},
        {"replace-profile --profile profil.txt --location @ort --mask *.txt", 0, "", "ort/a.txt",
         "Neu und Neu\n"},
        {"replace --location @ort --term \xE4 --replacement x --mask *.txt", 2, "--term"},
        {"replace --location @ort --term Alt --replacement=Neu\xFC --mask *.txt", 2,
         "--replacement"},
        {"search --location @ort --term '' --mask *.txt --report bericht.htm", 2,
         "--term ist leer"},
        {"search --location @ort --term Alt --mask '' --report bericht.htm", 2, "--mask ist leer"},
        {"search --location @ort --regex --term Fund( --mask *.txt --report bericht.htm", 2,
         "Stelle 6"},
        {"replace --location @ort --regex --term (A)lt --replacement $2 --mask *.txt", 2,
         "\xE2\x80\x9E"
         "2\xE2\x80\x9C"},
        {"replace-profile --location @ort --regex --profile klammer.txt --mask *.txt", 2,
         "eckige Klammer"},
        {"search --location @ort --term Alt --mask *.txt --report fifo.htm", 1,
         "eine benannte Pipe (FIFO)"},
        {"search --location @ort --term Alt --mask *.txt --report /dev/zero", 1,
         "\xE2\x80\x9E/dev/zero\xE2\x80\x9C ist ein Ger\xC3\xA4t"},
        {"replace-profile --location @ort --profile ordner --mask *.txt", 1, "ist ein Verzeichnis"},
        {"search-profile --location @ort --profile @ordner/ --mask *.txt --report bericht.htm", 1,
         "ist ein Verzeichnis"},
        {"replace-profile --location @ort --profile utf16.txt --mask *.txt", 1, "Nullbyte"},
        {"search-profile --location @ort --profile utf16.txt --mask *.txt --report bericht.htm", 1,
         "Zeile 1"},
        {"search-profile --location @ort --profile profil.txt --mask ' ; ' --report bericht.htm", 1,
         "kein Muster"},
        {"search --location @ort --settings kaputt.ini --report bericht.htm", 1,
         "\xE2\x80\x9Ekaputt.ini"},
        {"search --location @ort --settings ordner --report bericht.htm", 1, "Verzeichnis"},
        {"replace --location @ort --term Alt --replacement x --mask ;", 1, "\xE2\x80\x9E;"},
        {"search --location @ort --term Alt --mask *.[tx] --report bericht.htm", 1,
         "Zeichenklassen"},
        // A pattern that backtracks without end in one file is stopped there; that file is
        // named and the others are searched.
        {"search --location @zaeh --regex --term (a+)+$|Al. --mask *.txt --report zaeh.htm", 1,
         "b.txt", "zaeh.htm", "a.txt</A>"},
    };
    const std::string original = "Alt und Alt\n";
    const std::string page = "<TITLE>T</TITLE>Alt\r\nb\r\n";
    for (const Case& each : cases) {
        SCOPED_TRACE(each.command);
        const test::TempTree tree;
        tree.Write("ort/a.txt", original);
        tree.Write("ort/b.htm", page);
        tree.Write("ort/.notizen.trawlex-backup", "n");
        tree.Write("zaeh/a.txt", "Alt");
        tree.Write("zaeh/b.txt", std::string(40, 'a') + "!");
        tree.Write("profil.txt", "\"Alt\",\"Neu\"\r\n");
        tree.Write("profile/paare.txt", "\"b\",\"B\"\r\n");
        tree.Write("utf16.txt", std::string("\xFF\xFE\"\0F\0\"\0,\0\"\0N\0\"\0", 16));
        tree.Write("klammer.txt", "\"Alt\",\"x\"\r\n\"[F\",\"y\"\r\n");
        tree.Write("kaputt.ini", "[Trawlx]\r\n");
        tree.Write("ersatz.ini",
                   "[Trawlex]\r\nHTML-Browser=\r\nSearchPath=" + tree.Path("ort") +
                       "\r\nSearchKey=Alt\r\nFileFilterMask=*.txt\r\nReplaceKey=Neu\r\n");
        tree.MakeDirectory("ordner");
        ASSERT_EQ(mkfifo(tree.Path("fifo.htm").c_str(), 0644), 0);
        const test::Cli cli;
        EXPECT_EQ(cli.Run(Words(each.command, tree), tree.Root()), each.exit) << cli.Errors();
        if (*each.says == '\0') {
            EXPECT_EQ(cli.Errors(), "");
        } else {
            EXPECT_NE(cli.Errors().find(each.says), std::string::npos) << cli.Errors();
        }
        if (each.file != nullptr) {
            EXPECT_NE(test::ReadFile(tree.Path(each.file)).find(each.holds), std::string::npos)
                << test::ReadFile(tree.Path(each.file));
        }
        EXPECT_EQ(access(tree.Path("ort/.notizen.trawlex-backup").c_str(), F_OK), 0);
        if (each.exit != 0) {
            EXPECT_EQ(test::ReadFile(tree.Path("ort/a.txt")), original);
            EXPECT_EQ(test::ReadFile(tree.Path("ort/b.htm")), page);
            EXPECT_EQ(access(tree.Path("bericht.htm").c_str(), F_OK), -1);
        }
    }
}

}  // namespace
}  // namespace trawlex
