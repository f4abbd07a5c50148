#include "app/Form1.h"
#include "replace/Ersatzroutinen.h"
#include "replace/Undo.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <map>
#include <string>

namespace trawlex {
namespace {

using test::FakeUi;
using test::ReadFile;
using test::TempTree;

// Each test keeps its journals in a directory of its own.
class UndoTest : public ::testing::Test {
protected:
    UndoTest() { setenv("XDG_STATE_HOME", state.Root().c_str(), 1); }

    CommandOutcome Replace(const QString& term, const QString& replacement, int keptRuns = 20,
                           std::vector<ReplacePair> pairs = {}) {
        ReplaceJob job{tree.RootText(),    term,       replacement, QStringLiteral("*.txt"),
                       CompareMode::Exact, Scope::Tree};
        job.keptRuns = keptRuns;
        job.pairs = std::move(pairs);
        return ReplaceLocation(ui, job);
    }

    TempTree tree;
    TempTree state;
    FakeUi ui;
    Form1 form;
};

TEST_F(UndoTest, EachUndoTakesBackOneRunAndLeavesFilesChangedSince) {
    // A file too big to be read whole is replaced and taken back piece by piece.
    std::string big;
    std::string replaced;
    for (int line = 0; big.size() < (9U << 20); ++line) {
        const std::string plain = "Zeile " + std::to_string(line) + "\n";
        big += line % 1000 == 0 ? "Alt\n" : plain;
        replaced += line % 1000 == 0 ? "Neu\n" : plain;
    }
    const std::map<std::string, std::string> files = {
        {"a.txt", "Alt und Alt\r\n"}, {"unter/b.txt", "Alt"}, {"unter/c.txt", "Alt c"},
        {"ohne.txt", "nichts"},       {"gross.txt", big},
    };
    for (const auto& [name, bytes] : files) {
        tree.Write(name, bytes);
    }
    ASSERT_EQ(chmod(tree.Path("unter/b.txt").c_str(), 0640), 0);
    const timespec old[2] = {{1000000000, 5}, {1200000000, 7}};
    ASSERT_EQ(utimensat(AT_FDCWD, tree.Path("a.txt").c_str(), old, 0), 0);

    // Two pairs, the second taking in what the first wrote.
    ASSERT_EQ(Replace({}, {}, 20,
                      {{QStringLiteral("Alt"), QStringLiteral("Zwischen")},
                       {QStringLiteral("Zwischen"), QStringLiteral("Mittel")}}),
              CommandOutcome::Completed);
    ASSERT_EQ(Replace(QStringLiteral("Mittel"), QStringLiteral("Neu")), CommandOutcome::Completed);
    // Compared as a whole: a difference of 9 MiB is not worth printing.
    ASSERT_TRUE(ReadFile(tree.Path("gross.txt")) == replaced);
    tree.Write("unter/c.txt", "von Hand bearbeitet");

    EXPECT_EQ(butRückgängig_Click(form, ui), CommandOutcome::Incomplete);
    EXPECT_EQ(ReadFile(tree.Path("a.txt")), "Mittel und Mittel\r\n");
    EXPECT_EQ(ReadFile(tree.Path("unter/c.txt")), "von Hand bearbeitet");
    EXPECT_TRUE(ui.messages.join(u'\n').contains(QStringLiteral("unter/c.txt")));

    EXPECT_EQ(butRückgängig_Click(form, ui), CommandOutcome::Incomplete)
        << "c.txt is still not as the run left it";
    for (const auto& [name, bytes] : files) {
        if (name != "unter/c.txt") {
            EXPECT_TRUE(ReadFile(tree.Path(name)) == bytes) << name;
        }
    }
    struct stat a {};
    struct stat b {};
    ASSERT_EQ(stat(tree.Path("a.txt").c_str(), &a), 0);
    ASSERT_EQ(stat(tree.Path("unter/b.txt").c_str(), &b), 0);
    EXPECT_EQ(b.st_mode & 07777, 0640U);
    EXPECT_EQ(a.st_mtim.tv_sec, old[1].tv_sec);
    EXPECT_EQ(a.st_mtim.tv_nsec, old[1].tv_nsec);
    EXPECT_EQ(butRückgängig_Click(form, ui), CommandOutcome::NothingToDo);
}

TEST_F(UndoTest, OnlyTheNewestRunsAreKept) {
    tree.Write("a.txt", "0");
    for (int run = 0; run < 5; ++run) {
        ASSERT_EQ(Replace(QString::number(run), QString::number(run + 1), 3),
                  CommandOutcome::Completed);
    }
    const std::vector<UndoRunInfo> runs = ListUndoRuns();
    ASSERT_EQ(runs.size(), 3U);
    EXPECT_EQ(runs.front().term, QStringLiteral("4"));
    EXPECT_EQ(runs.back().term, QStringLiteral("2"));
}

TEST_F(UndoTest, NothingIsWrittenOutsideTheLocationOrWithoutAJournal) {
    const TempTree outside;
    const std::string target = outside.Write("draussen.txt", "Alt draussen");
    ASSERT_EQ(symlink(target.c_str(), tree.Path("link.txt").c_str()), 0);
    tree.Write("innen.txt", "Alt innen");
    EXPECT_EQ(Replace(QStringLiteral("Alt"), QStringLiteral("Neu")), CommandOutcome::Incomplete);
    EXPECT_EQ(ReadFile(target), "Alt draussen");
    EXPECT_EQ(ReadFile(tree.Path("innen.txt")), "Neu innen");
    EXPECT_TRUE(ui.messages.join(u'\n').contains(QStringLiteral("link.txt")));

    // A journal that cannot be made stops the run before any file is touched.
    const std::string blocker = state.Write("datei-statt-ordner", "");
    setenv("XDG_STATE_HOME", blocker.c_str(), 1);
    EXPECT_EQ(Replace(QStringLiteral("Neu"), QStringLiteral("Neuer")), CommandOutcome::Refused);
    EXPECT_EQ(ReadFile(tree.Path("innen.txt")), "Neu innen");
    EXPECT_TRUE(ui.messages.join(u'\n').contains(QStringLiteral("datei-statt-ordner")));
}

}  // namespace
}  // namespace trawlex
