#include "TestSupport.h"
#include "app/Form1.h"
#include "common/text/Replacement.h"
#include "replace/Ersatzroutinen.h"
#include "replace/ReplaceCommand.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <cstdio>
#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace trawlex {
namespace {

using test::ReadFile;

TEST(ReplaceAllTest, LeftToRightNeverOverlappingInEachFilesOwnEncoding) {
    using enum CompareMode;
    // Text, term, replacement, mode and result; no result: the file cannot hold the replacement.
    const std::tuple<std::string, const char*, const char*, CompareMode, std::optional<std::string>>
        cases[] = {
            {"aaa", "aa", "b", Exact, "ba"},
            {"aaaa", "aa", "x", Exact, "xx"},
            {"banana", "a", "aa", Exact, "baanaanaa"},
            {"aabb", "ab", "", Exact, "ab"},
            {"Abc abc ABC", "abc", "x", IgnoreCase, "x x x"},
            {"Abc abc ABC", "abc", "x", Exact, "Abc x ABC"},
            {"abc", "x", "y", Exact, "abc"},
            {"\xEF\xBB\xBFStra\u00DFe\r\nSTRASSE\r\n", "straße", "Weg", IgnoreCase,
             "\xEF\xBB\xBFWeg\r\nSTRASSE\r\n"},
            {"Stra\xDF"
             "e\n",
             "Straße", "Größe", IgnoreCase,
             "Gr\xF6\xDF"
             "e\n"},
            {"Z\u0142oty Z\u0141OTY", "złoty", "Euro €", IgnoreCase, "Euro \u20AC Euro \u20AC"},
            {"Preis: EUR", "EUR", "\u20AC", IgnoreCase, "Preis: \x80"},
            {"Preis: EUR", "EUR", "z\u0142", IgnoreCase, std::nullopt},
            {"\u00E4\u00E4\u00E4", "ää", "b", IgnoreCase, "b\u00E4"},
        };
    for (const auto& [text, term, replacement, mode, expected] : cases) {
        SCOPED_TRACE(text + " / " + term);
        std::string out;
        const ReplaceOutcome outcome =
            ReplaceAllInto(text, TermMatcher(QString::fromUtf8(term), mode),
                           EncodedReplacement(QString::fromUtf8(replacement)), out);
        if (!expected) {
            EXPECT_EQ(outcome, ReplaceOutcome::Unencodable);
            continue;
        }
        const bool occurs = *expected != text;
        EXPECT_EQ(outcome, occurs ? ReplaceOutcome::Replaced : ReplaceOutcome::Unchanged);
        EXPECT_EQ(out, occurs ? *expected : "") << "an unchanged text is never copied";
    }
}

// A result past the output limit is refused whole, wherever it passes it: between occurrences,
// in the text put in, inside one template or in the tail; a result that fits is built as ever.
TEST(ReplaceAllTest, AResultPastTheOutputLimitLeavesTheOutputAsItWas) {
    struct LimitCase {
        const char* text;
        const char* term;
        std::string replacement;
        bool regex;
        std::size_t limit;
        ReplaceOutcome outcome;
    };
    using enum ReplaceOutcome;
    std::string eightfold;
    for (int index = 0; index < 1000; ++index) {
        eightfold += "$0";
    }
    const LimitCase cases[] = {
        {"banana", "a", "aa", false, 9, Replaced},
        {"banana", "a", "aa", false, 8, TooLong},
        {"abbbb", "a", "", false, 3, TooLong},
        {"aaaa", "a", "$0$0$0", true, 12, Replaced},
        {"aaaa", "a", "$0$0$0", true, 11, TooLong},
        {"xaaaaaaaa", "a+", eightfold, true, 1000, TooLong},
        {"abbbb", "a", "", true, 3, TooLong},
        {"bbbb", "a", "aa", false, 0, Unchanged},
        {"bbbb", "a", "aa", true, 0, Unchanged},
    };
    for (const LimitCase& test : cases) {
        SCOPED_TRACE(std::string(test.text) + " / " + test.term + " / " +
                     std::to_string(test.limit));
        auto step = ReplaceStep::Make(QString::fromUtf8(test.term),
                                      QString::fromStdString(test.replacement), CompareMode::Exact,
                                      test.regex);
        ASSERT_TRUE(step);
        std::string out = "kept";
        std::vector<Span> occurrences;
        ReplaceDetails details;
        details.occurrences = &occurrences;
        details.outputLimit = test.limit;
        EXPECT_EQ(ReplaceAllInto(test.text, step->term, step->replacement, out, &details),
                  test.outcome);
        if (test.outcome == Replaced) {
            EXPECT_EQ(out.size(), 4 + test.limit);
        } else {
            EXPECT_EQ(out, "kept");
            EXPECT_TRUE(occurrences.empty());
        }
    }
}

class ReplaceTest : public test::CommandTest {
protected:
    void SetUp() override {
        tree.Write("a.htm", "Fund und fund\r\n");
        tree.Write("b.htm", "nichts\r\n");
        tree.Write("c.txt", "Fund im falschen Typ");
        tree.Write("unter/d.htm", "Fund darunter");
        tree.Write("unter/tiefer/e.htm", "FUND tief");
        tree.Write(".versteckt/f.htm", "Fund versteckt");
        // An old modification time shows whether a file was rewritten.
        const timespec times[2] = {{1000000000, 0}, {1000000000, 0}};
        utimensat(AT_FDCWD, tree.Path("b.htm").c_str(), times, 0);
        form.TexSuchbegriff.text = QStringLiteral("Fund");
        form.TexErsatzbegriff = QStringLiteral("Treffer");
        form.ComDateifilter.text = QStringLiteral("*.htm");
        form.TexZieldatei = QStringLiteral("/tmp/unbenutzt.htm");
    }
};

TEST_F(ReplaceTest, FlatTakesTheLocationsFilesAndTreeEveryDirectoryOnceIgnoringCaseWhenAsked) {
    EXPECT_EQ(butErsetzen_Click(form, ui), CommandOutcome::Completed);
    EXPECT_EQ(ReadFile(tree.Path("a.htm")), "Treffer und fund\r\n");
    EXPECT_EQ(ReadFile(tree.Path("unter/d.htm")), "Fund darunter");
    EXPECT_EQ(form.Status, QStringLiteral("Bereit"));

    form.CheckRekursiv = 1;
    SelectCaseObserved(form, false);
    ASSERT_EQ(symlink(tree.Root().c_str(), tree.Path("unter/zurueck").c_str()), 0);
    form.TexErsatzbegriff = QStringLiteral("fund fund");  // holds the term; must not loop
    EXPECT_EQ(butErsetzen_Click(form, ui), CommandOutcome::Completed);
    EXPECT_EQ(ReadFile(tree.Path("a.htm")), "Treffer und fund fund\r\n");
    EXPECT_EQ(ReadFile(tree.Path("unter/d.htm")), "fund fund darunter");
    EXPECT_EQ(ReadFile(tree.Path("unter/tiefer/e.htm")), "fund fund tief");
    EXPECT_EQ(ReadFile(tree.Path(".versteckt/f.htm")), "fund fund versteckt");
    EXPECT_EQ(ReadFile(tree.Path("c.txt")), "Fund im falschen Typ");
    struct stat info {};
    ASSERT_EQ(stat(tree.Path("b.htm").c_str(), &info), 0);
    EXPECT_EQ(info.st_mtime, 1000000000) << "a file without the term is untouched";
    EXPECT_TRUE(ui.messages.isEmpty());
}

// The window lists what a replacement did: each changed file in walk order with its number of
// replacements, and the text the changed files now hold, so that their lines can be shown.
TEST_F(ReplaceTest, WatcherSeesEachChangedFileWithItsReplacements) {
    form.CheckRekursiv = 1;
    SelectCaseObserved(form, false);
    EXPECT_EQ(butVorschau_Click(form, ui), CommandOutcome::Completed);
    EXPECT_EQ(butErsetzen_Click(form, ui), CommandOutcome::Completed);
    ASSERT_EQ(ui.headings.size(), 2U);
    EXPECT_EQ(ui.headings[0].kind, ResultsKind::Preview);
    EXPECT_EQ(ui.headings[0].terms, QStringList{QStringLiteral("Fund")});
    EXPECT_EQ(ui.headings[0].mode, CompareMode::IgnoreCase);
    EXPECT_FALSE(ui.headings[0].journal);
    EXPECT_EQ(ui.headings[1].kind, ResultsKind::Replacement);
    EXPECT_EQ(ui.headings[1].terms, QStringList{QStringLiteral("Treffer")});
    EXPECT_EQ(ui.headings[1].mode, CompareMode::Exact);
    EXPECT_TRUE(ui.headings[1].journal);
    const std::vector<std::pair<std::string, std::int64_t>> changed{
        {"a.htm", 2}, {".versteckt/f.htm", 1}, {"unter/d.htm", 1}, {"unter/tiefer/e.htm", 1}};
    ASSERT_EQ(ui.found.size(), 2 * changed.size());
    for (std::size_t index = 0; index < ui.found.size(); ++index) {
        const FoundFile& row = ui.found[index];
        SCOPED_TRACE(row.path);
        const auto& [name, replacements] = changed[index % changed.size()];
        EXPECT_EQ(row.number, static_cast<std::int64_t>(index % changed.size()) + 1);
        EXPECT_EQ(row.path, tree.Path(name));
        EXPECT_EQ(row.count, replacements);
    }

    // A pattern's template names no text the files hold now.
    form.CheckRegex = 1;
    form.TexSuchbegriff.text = QStringLiteral("Tr(e)ffer");
    form.TexErsatzbegriff = QStringLiteral("T$1");
    EXPECT_EQ(butErsetzen_Click(form, ui), CommandOutcome::Completed);
    EXPECT_TRUE(ui.headings.back().terms.isEmpty());
    EXPECT_EQ(ReadFile(tree.Path("a.htm")), "Te und Te\r\n");
}

TEST_F(ReplaceTest, EmptyReplacementDeletesAndMissingValuesChangeNothing) {
    form.TexErsatzbegriff.clear();
    EXPECT_EQ(butErsetzen_Click(form, ui), CommandOutcome::Completed);
    EXPECT_EQ(ReadFile(tree.Path("a.htm")), " und fund\r\n");

    // The wording of the refusal is the search command's and is checked with it.
    // A replacement writes no report and needs no result file; the mask it cannot go without.
    form.TexSuchbegriff.text = QStringLiteral("nichts");
    form.TexZieldatei.clear();
    const QString mask = std::exchange(form.ComDateifilter.text, QString());
    EXPECT_EQ(butErsetzen_Click(form, ui), CommandOutcome::Refused);
    EXPECT_EQ(ReadFile(tree.Path("b.htm")), "nichts\r\n");
    EXPECT_EQ(ui.statusChanges, 2) << "only the first run touched the status";

    form.ComDateifilter.text = mask;
    form.TexSuchort.text += QStringLiteral("fehlt");
    EXPECT_EQ(butErsetzen_Click(form, ui), CommandOutcome::Refused);
    EXPECT_TRUE(ui.messages.back().contains(QStringLiteral("fehlt")));
}

// A write that fails halfway keeps the old file whole and removes its temporary file (a rename
// before the data is in place would leave it cut short); a file gone before its turn is named.
TEST_F(ReplaceTest, FilesThatCannotBeReadOrWrittenStayWholeAndAreNamed) {
    const std::string large = std::string(4096, 'x') + "Fund";
    tree.Write("gross.htm", large);
    // Without helper threads each file is read just before its turn, after the previous yield;
    // without a journal the write itself is what fails.
    ReplaceJob job = JobFromForm(form, CompareMode::Exact, Scope::Flat);
    job.workers = 0;
    job.journal = false;
    const std::string vanishing = tree.Path("b.htm");
    ui.onYield = [&vanishing] { std::remove(vanishing.c_str()); };
    // Writes beyond 1 KiB fail; the signal that would end the process is ignored.
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    const rlimit small{1024, old.rlim_max};
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const CommandOutcome outcome = ReplaceLocation(ui, job);
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, previous);

    EXPECT_EQ(outcome, CommandOutcome::Incomplete);
    EXPECT_EQ(ReadFile(tree.Path("gross.htm")), large);
    ASSERT_EQ(ui.messages.size(), 1);
    EXPECT_TRUE(ui.messages[0].contains(QStringLiteral("b.htm")));
    EXPECT_TRUE(ui.messages[0].contains(QStringLiteral("gross.htm")));
    EXPECT_EQ(tree.Files().size(), 6U) << "a temporary file was left";
}

TEST_F(ReplaceTest, StopEndsTheRunAfterTheCurrentFile) {
    ReplaceJob job = JobFromForm(form, CompareMode::Exact, Scope::Tree);
    job.workers = 0;  // no file is read ahead of its turn
    ui.stopAfterYields = 1;
    tree.Write("b.htm", "Fund");
    EXPECT_EQ(ReplaceLocation(ui, job), CommandOutcome::Stopped);
    EXPECT_EQ(ReadFile(tree.Path("a.htm")), "Treffer und fund\r\n");
    EXPECT_EQ(ReadFile(tree.Path("b.htm")), "Fund");
    EXPECT_EQ(ReadFile(tree.Path("unter/d.htm")), "Fund darunter");
}

}  // namespace
}  // namespace trawlex
