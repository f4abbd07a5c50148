#include "app/Form1.h"
#include "common/Standard.h"
#include "replace/Ersatzroutinen.h"
#include "replace/ReplaceCommand.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <cstdio>
#include <optional>
#include <string>

namespace trawlex {
namespace {

using test::FakeUi;
using test::ReadFile;
using test::TempTree;

TEST(ReplaceAllTest, LeftToRightNeverOverlappingNeverRescanned) {
    struct Case {
        std::string text;
        std::string term;
        std::string replacement;
        CompareMode mode;
        std::string expected;
    };
    const Case cases[] = {
        {"aaa", "aa", "b", CompareMode::Exact, "ba"},
        {"banana", "a", "aa", CompareMode::Exact, "baanaanaa"},
        {"aabb", "ab", "", CompareMode::Exact, "ab"},
        {"aaa", "a", "aa", CompareMode::Exact, "aaaaaa"},
        {"aaaa", "aa", "x", CompareMode::Exact, "xx"},
        {"aXbXcXX", "X", "", CompareMode::Exact, "abc"},
        {"XaX", "X", "<>", CompareMode::Exact, "<>a<>"},
        {"Abc abc ABC", "abc", "x", CompareMode::IgnoreCase, "x x x"},
        {"Abc abc ABC", "abc", "x", CompareMode::Exact, "Abc x ABC"},
        {"\xC4rger \xE4rger", "\xE4rger", "Freude", CompareMode::IgnoreCase, "Freude Freude"},
    };
    for (const Case& test : cases) {
        bool changed = false;
        EXPECT_EQ(ReplaceAll(test.text, Finder(test.term, test.mode), test.replacement, changed),
                  test.expected)
            << test.text << " / " << test.term;
        EXPECT_TRUE(changed);
    }
    for (const bool before : {false, true}) {
        bool changed = before;
        EXPECT_EQ(ReplaceAll("abc", Finder("x", CompareMode::Exact), "y", changed), "abc");
        EXPECT_EQ(ReplaceAll("", Finder("x", CompareMode::Exact), "y", changed), "");
        EXPECT_EQ(ReplaceAll("abc", Finder("", CompareMode::Exact), "y", changed), "abc");
        EXPECT_EQ(changed, before) << "the flag is only ever set";
    }
}

TEST(ReplaceAllTest, EachFileGetsTheReplacementInItsOwnEncoding) {
    struct Case {
        std::string text;
        const char* term;
        const char* replacement;
        std::optional<std::string> expected;  // nothing: the file cannot hold the replacement
    };
    const Case cases[] = {
        {"\xEF\xBB\xBFStra\u00DFe\r\nSTRASSE\r\n", "straße", "Weg",
         "\xEF\xBB\xBFWeg\r\nSTRASSE\r\n"},
        {"Stra\xDF"
         "e\n",
         "Straße", "Gasse", "Gasse\n"},
        {"Stra\xDF"
         "e\n",
         "Straße", "Größe",
         "Gr\xF6\xDF"
         "e\n"},
        {"Z\u0142oty Z\u0141OTY", "złoty", "Euro €", "Euro \u20AC Euro \u20AC"},
        {"Preis: EUR", "EUR", "\u20AC", "Preis: \x80"},
        {"Preis: EUR", "EUR", "z\u0142", std::nullopt},
        {"\u00E4\u00E4\u00E4", "ää", "b", "b\u00E4"},
    };
    for (const Case& test : cases) {
        const TermMatcher matcher(QString::fromUtf8(test.term), CompareMode::IgnoreCase);
        const EncodedReplacement replacement(QString::fromUtf8(test.replacement));
        std::string out;
        const ReplaceOutcome outcome = ReplaceAllInto(test.text, matcher, replacement, out);
        if (!test.expected) {
            EXPECT_EQ(outcome, ReplaceOutcome::Unencodable) << test.text;
            continue;
        }
        EXPECT_EQ(outcome, ReplaceOutcome::Replaced) << test.text;
        EXPECT_EQ(out, *test.expected) << test.text;
    }
}

class ReplaceTest : public ::testing::Test {
protected:
    void SetUp() override {
        tree.Write("a.htm", "Fund und fund\r\n");
        tree.Write("b.htm", "nichts\r\n");
        tree.Write("c.txt", "Fund im falschen Typ");
        tree.Write("unter/d.htm", "Fund darunter");
        tree.Write("unter/tiefer/e.htm", "FUND tief");
        tree.Write(".versteckt/f.htm", "Fund versteckt");
        // An old modification time shows whether a file was rewritten.
        for (const char* name : {"b.htm", "c.txt"}) {
            const std::string path = tree.Path(name);
            const timespec times[2] = {{1000000000, 0}, {1000000000, 0}};
            utimensat(AT_FDCWD, path.c_str(), times, 0);
        }
        form.TexSuchort.text = tree.RootText();
        form.TexSuchbegriff.text = QStringLiteral("Fund");
        form.TexErsatzbegriff = QStringLiteral("Treffer");
        form.ComDateifilter.text = QStringLiteral("*.htm");
        form.TexZieldatei = QStringLiteral("/tmp/unbenutzt.htm");
    }

    static std::time_t Modified(const std::string& path) {
        struct stat info {};
        stat(path.c_str(), &info);
        return info.st_mtime;
    }

    QStringList Leftovers() const {
        QStringList temporary;
        for (const char* directory : {"", "unter", "unter/tiefer", ".versteckt"}) {
            const QDir dir(tree.RootText() + QString::fromLatin1(directory));
            for (const QString& name : dir.entryList(QDir::Files | QDir::Hidden)) {
                if (name.contains(QStringLiteral(".trawlex-"))) {
                    temporary.append(name);
                }
            }
        }
        return temporary;
    }

    TempTree tree;
    Form1 form;
    FakeUi ui;
};

TEST_F(ReplaceTest, FlatReplacesOnlyTheLocationsMatchingFilesWithoutAddingBytes) {
    EXPECT_EQ(butErsetzen_Click(form, ui), CommandOutcome::Completed);
    EXPECT_EQ(ReadFile(tree.Path("a.htm")), "Treffer und fund\r\n");
    EXPECT_EQ(ReadFile(tree.Path("unter/d.htm")), "Fund darunter");
    EXPECT_EQ(ReadFile(tree.Path("c.txt")), "Fund im falschen Typ");
    EXPECT_EQ(Modified(tree.Path("b.htm")), 1000000000) << "a file without the term is untouched";
    EXPECT_EQ(Modified(tree.Path("c.txt")), 1000000000);
    EXPECT_EQ(form.Status, QStringLiteral("Bereit"));
    EXPECT_TRUE(ui.messages.isEmpty());
    EXPECT_TRUE(Leftovers().isEmpty());
}

TEST_F(ReplaceTest, TreeCoversEveryDirectoryOnceIgnoringCaseWhenAsked) {
    form.CheckRekursiv = 1;
    SelectCaseObserved(form, false);
    ASSERT_EQ(symlink(tree.Root().c_str(), tree.Path("unter/zurueck").c_str()), 0);
    form.TexErsatzbegriff = QStringLiteral("fund fund");  // holds the term; must not loop
    EXPECT_EQ(butErsetzen_Click(form, ui), CommandOutcome::Completed);
    EXPECT_EQ(ReadFile(tree.Path("a.htm")), "fund fund und fund fund\r\n");
    EXPECT_EQ(ReadFile(tree.Path("unter/d.htm")), "fund fund darunter");
    EXPECT_EQ(ReadFile(tree.Path("unter/tiefer/e.htm")), "fund fund tief");
    EXPECT_EQ(ReadFile(tree.Path(".versteckt/f.htm")), "fund fund versteckt");
    EXPECT_TRUE(Leftovers().isEmpty());
}

TEST_F(ReplaceTest, EmptyReplacementDeletesAndMissingValuesChangeNothing) {
    form.TexErsatzbegriff.clear();
    EXPECT_EQ(butErsetzen_Click(form, ui), CommandOutcome::Completed);
    EXPECT_EQ(ReadFile(tree.Path("a.htm")), " und fund\r\n");

    form.TexSuchbegriff.text = QStringLiteral("nichts");
    form.TexZieldatei.clear();
    EXPECT_EQ(butErsetzen_Click(form, ui), CommandOutcome::Refused);
    EXPECT_EQ(ui.messages, QStringList{QStringLiteral("Es fehlen leider Werte, damit die Suche "
                                                      "gestartet werden kann!\nLeer: "
                                                      "Ergebnisdatei.")});
    EXPECT_EQ(ReadFile(tree.Path("b.htm")), "nichts\r\n");
    EXPECT_EQ(ui.statusChanges, 2) << "only the first run touched the status";

    form.TexZieldatei = QStringLiteral("/tmp/x.htm");
    form.TexSuchort.text += QStringLiteral("fehlt");
    EXPECT_EQ(butErsetzen_Click(form, ui), CommandOutcome::Refused);
    EXPECT_TRUE(ui.messages.back().contains(QStringLiteral("fehlt")));
}

TEST_F(ReplaceTest, FileThatCannotBeWrittenStaysWholeAndTheRunGoesOn) {
    const std::string large = std::string(4096, 'x') + "Fund";
    tree.Write("gross.htm", large);
    tree.Write("z.htm", "Fund am Ende");
    // Writes beyond 1 KiB fail; the signal that would end the process is ignored.
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 1024;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const CommandOutcome outcome = butErsetzen_Click(form, ui);
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, previous);

    EXPECT_EQ(outcome, CommandOutcome::Incomplete);
    EXPECT_EQ(ReadFile(tree.Path("gross.htm")), large);
    EXPECT_EQ(ReadFile(tree.Path("a.htm")), "Treffer und fund\r\n");
    EXPECT_EQ(ReadFile(tree.Path("z.htm")), "Treffer am Ende");
    ASSERT_EQ(ui.messages.size(), 1);
    EXPECT_TRUE(ui.messages[0].contains(QStringLiteral("gross.htm")));
    EXPECT_FALSE(ui.messages[0].contains(QStringLiteral("z.htm")));
    EXPECT_TRUE(Leftovers().isEmpty());
}

TEST_F(ReplaceTest, VanishedFileIsNamedAndStopEndsAfterTheCurrentFile) {
    // Without helper threads each file is read just before its turn, after the previous yield.
    const auto replace = [this](Ui& with, Scope scope) {
        return ReplaceLocation(
            with, {form.TexSuchort.text, form.TexSuchbegriff.text, form.TexErsatzbegriff,
                   form.ComDateifilter.text, CompareMode::Exact, scope, 0});
    };
    const std::string vanishing = tree.Path("b.htm");
    ui.onYield = [&vanishing] { std::remove(vanishing.c_str()); };
    EXPECT_EQ(replace(ui, Scope::Flat), CommandOutcome::Incomplete);
    ASSERT_EQ(ui.messages.size(), 1);
    EXPECT_TRUE(ui.messages[0].contains(QStringLiteral("b.htm")));

    FakeUi stopping;
    stopping.stopAfterYields = 1;
    tree.Write("b.htm", "Fund");
    form.TexErsatzbegriff = QStringLiteral("X");
    EXPECT_EQ(replace(stopping, Scope::Tree), CommandOutcome::Stopped);
    EXPECT_EQ(ReadFile(tree.Path("b.htm")), "Fund") << "a.htm came first, then the run stopped";
    EXPECT_EQ(ReadFile(tree.Path("unter/d.htm")), "Fund darunter");
}

}  // namespace
}  // namespace trawlex
