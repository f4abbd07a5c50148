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

TEST(CommandLineTest, SearchOptionsFillTheRecord) {
    const CliParse parse = ParseCommandLine(
        Arguments({"search", "--location", "/srv/web",
                   "--term=Gr\xC3\xB6\xC3\x9F"
                   "e",
                   "--mask", "*.htm; *.html", "--report", "/tmp/b.htm", "--ignore-case"}));
    ASSERT_TRUE(parse.request.has_value()) << parse.output.toStdString();
    test::FakeUi ui;
    const std::optional<Form1> prepared = PrepareForm(*parse.request, ui);
    ASSERT_TRUE(prepared.has_value());
    const Form1& form = *prepared;
    EXPECT_EQ(form.TexSuchort.text, QStringLiteral("/srv/web"));
    EXPECT_EQ(form.TexSuchbegriff.text, QStringLiteral("Gr\u00F6\u00DFe"));
    EXPECT_EQ(form.ComDateifilter.text, QStringLiteral("*.htm; *.html"));
    EXPECT_EQ(form.TexZieldatei, QStringLiteral("/tmp/b.htm"));
    EXPECT_FALSE(form.Optgrossklein);
    EXPECT_EQ(form.CheckRekursiv, 0);
}

TEST(CommandLineTest, SettingsFileComesFirstAndOptionsOverrideIt) {
    const test::TempTree tree;
    const std::string settings = tree.Write(
        "Trawlex.INI", "[Trawlex]\r\nHTML-Browser=\r\nSearchPath=" + tree.Root() +
                           "\r\nSearchKey=Alt\r\nFileFilterMask=*.TXT\r\nReplaceKey=\r\n"
                           "OutputFile=/tmp/x.htm\r\nTextOrBinarySearch=Text\r\nRecursive=No\r\n");
    const CliParse parse =
        ParseCommandLine({QStringLiteral("search"), QStringLiteral("--term"), QStringLiteral("Neu"),
                          QStringLiteral("--settings"), QString::fromStdString(settings),
                          QStringLiteral("--recursive")});
    ASSERT_TRUE(parse.request.has_value()) << parse.output.toStdString();
    test::FakeUi ui;
    const std::optional<Form1> form = PrepareForm(*parse.request, ui);
    ASSERT_TRUE(form.has_value());
    EXPECT_EQ(form->TexSuchbegriff.text, QStringLiteral("Neu"));
    EXPECT_EQ(form->TexSuchort.text, tree.RootText());
    EXPECT_EQ(form->ComDateifilter.text, QStringLiteral("*.TXT"));
    EXPECT_TRUE(form->OptIGNORE);
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

TEST(CommandLineTest, HelpExplainsEveryOption) {
    const CliParse parse = ParseCommandLine(Arguments({"search", "--help"}));
    EXPECT_FALSE(parse.usageError);
    for (const char* option :
         {"--location", "--term", "--mask", "--report", "--ignore-case", "--recursive",
          "--settings", "--preview", "--no-undo", "--quiet", "undo --list"}) {
        EXPECT_TRUE(parse.output.contains(QString::fromUtf8(option))) << option;
    }
}

int RunCli(const QStringList& arguments, QString* errors = nullptr) {
    QProcess process;
    process.start(QStringLiteral(TRAWLEX_CLI_PATH), arguments);
    EXPECT_TRUE(process.waitForFinished(30000));
    if (errors != nullptr) {
        *errors = QString::fromLocal8Bit(process.readAllStandardError());
    }
    return process.exitCode();
}

TEST(CommandLineTest, ExitStatusTellsRanRefusedAndWrongUsage) {
    const test::TempTree tree;
    tree.Write("a.htm", "<TITLE>T</TITLE>Fund");
    const QString report = tree.RootText() + QStringLiteral("bericht.html");
    const QStringList common{QStringLiteral("--term"),   QStringLiteral("Fund"),
                             QStringLiteral("--mask"),   QStringLiteral("*.htm"),
                             QStringLiteral("--report"), report};

    // Into a pipe no progress line is written, with or without --quiet.
    QString errors;
    for (const QStringList& quiet : {QStringList(), QStringList{QStringLiteral("--quiet")}}) {
        EXPECT_EQ(RunCli(QStringList{QStringLiteral("search"), QStringLiteral("--location"),
                                     tree.RootText()} +
                             common + quiet,
                         &errors),
                  0);
        EXPECT_TRUE(errors.isEmpty()) << errors.toStdString();
    }
    EXPECT_NE(test::ReadFile(report.toStdString()).find("<B>1</B> Fundstelle in <B>1</B>"),
              std::string::npos);

    EXPECT_EQ(RunCli(QStringList{QStringLiteral("search"), QStringLiteral("--location"),
                                 tree.RootText() + QStringLiteral("fehlt")} +
                         common,
                     &errors),
              1);
    EXPECT_TRUE(errors.contains(QStringLiteral("fehlt"))) << errors.toStdString();

    EXPECT_EQ(
        RunCli(
            QStringList{QStringLiteral("search"), QStringLiteral("--location"), QString()} + common,
            &errors),
        2);
    EXPECT_TRUE(errors.contains(QStringLiteral("--location ist leer"))) << errors.toStdString();

    EXPECT_EQ(RunCli({QStringLiteral("search")}), 2);

    // A replacement needs no report path; the window's first-start default stands in for it.
    EXPECT_EQ(
        RunCli({QStringLiteral("replace"), QStringLiteral("--location"), tree.RootText(),
                QStringLiteral("--term"), QStringLiteral("Fund"), QStringLiteral("--replacement"),
                QString(), QStringLiteral("--mask"), QStringLiteral("*.htm")}),
        0);
    EXPECT_EQ(test::ReadFile(tree.Path("a.htm")), "<TITLE>T</TITLE>");
    tree.Write("b.htm", "a\r\nb\r\n");
    EXPECT_EQ(RunCli({QStringLiteral("replace-combination"), QStringLiteral("--location"),
                      tree.RootText(), QStringLiteral("--combination=<CR><LF>"),
                      QStringLiteral("--replacement-combination=<LF>"), QStringLiteral("--mask"),
                      QStringLiteral("*.htm")}),
              0);
    EXPECT_EQ(test::ReadFile(tree.Path("b.htm")), "a\nb\n");

    // A profile path names the profile directory and the chosen profile.
    const std::string profile = tree.Write("profile/paare.txt", "\"a\",\"A\"\r\n");
    EXPECT_EQ(RunCli({QStringLiteral("replace-profile"), QStringLiteral("--profile"),
                      QString::fromStdString(profile), QStringLiteral("--location"),
                      tree.RootText(), QStringLiteral("--mask"), QStringLiteral("b.htm")}),
              0);
    EXPECT_EQ(test::ReadFile(tree.Path("b.htm")), "A\nb\n");
}

}  // namespace
}  // namespace trawlex
