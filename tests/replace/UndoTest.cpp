#include "app/Form1.h"
#include "common/files/ContentHash.h"
#include "replace/Ersatzroutinen.h"
#include "replace/Journal.h"
#include "replace/Undo.h"
#include "replace/UndoCommand.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <map>
#include <optional>
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
    const QString said = ui.messages.join(u'\n');
    EXPECT_TRUE(said.contains(QStringLiteral("unter/c.txt")));
    EXPECT_TRUE(said.contains(QStringLiteral("gilt damit als zur\u00FCckgenommen")))
        << said.toStdString();

    // A file changed by hand is never again as the run left it: the run counts as taken back,
    // and the next undo reaches the run before it, which leaves that file as well.
    ui.messages.clear();
    EXPECT_EQ(butRückgängig_Click(form, ui), CommandOutcome::Incomplete);
    EXPECT_EQ(ReadFile(tree.Path("unter/c.txt")), "von Hand bearbeitet");
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
    const std::vector<UndoRunInfo> runs = ListUndoRuns().value();
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

// Without an absolute XDG_STATE_HOME and an absolute HOME there is no place for journals: a
// replacement with a journal and undo are refused, naming what is missing, and touch nothing.
TEST_F(UndoTest, WithoutAHomeNothingIsReplacedOrUndone) {
    tree.Write("a.txt", "Alt");
    const char* const saved = std::getenv("HOME");
    const std::string home = saved != nullptr ? saved : "";
    const std::optional<std::string> homes[] = {std::nullopt, std::string(), "relativ/heim"};
    for (const std::optional<std::string>& value : homes) {
        if (value) {
            setenv("HOME", value->c_str(), 1);
        } else {
            unsetenv("HOME");
        }
        setenv("XDG_STATE_HOME", "relativ/zustand", 1);
        ui.messages.clear();
        EXPECT_EQ(Replace(QStringLiteral("Alt"), QStringLiteral("Neu")), CommandOutcome::Refused);
        EXPECT_EQ(butRückgängig_Click(form, ui), CommandOutcome::Failed);
        EXPECT_EQ(ReadFile(tree.Path("a.txt")), "Alt");
        EXPECT_TRUE(ui.messages.join(u'\n').contains(QStringLiteral("HOME ist")))
            << ui.messages.join(u'\n').toStdString();
    }
    setenv("HOME", home.c_str(), 1);
    EXPECT_EQ(access("relativ", F_OK), -1);
}

// A term with line breaks is shown on one line, its control characters by name.
TEST_F(UndoTest, ControlCharactersOfATermAreShownByName) {
    tree.Write("a.txt", "eins\r\nzwei\tdrei");
    ASSERT_EQ(Replace(QStringLiteral("\r\n"), QStringLiteral("\n")), CommandOutcome::Completed);
    ASSERT_EQ(Replace(QStringLiteral("\t"), QStringLiteral(" ")), CommandOutcome::Completed);
    const std::vector<UndoRunInfo> runs = ListUndoRuns().value();
    ASSERT_EQ(runs.size(), 2U);
    EXPECT_EQ(runs[0].term, QStringLiteral("<TAB>"));
    EXPECT_EQ(runs[1].term, QStringLiteral("<CR><LF>"));
    ui.messages.clear();
    EXPECT_EQ(butRückgängig_Click(form, ui), CommandOutcome::Completed);
    EXPECT_EQ(butRückgängig_Click(form, ui), CommandOutcome::Completed);
    EXPECT_TRUE(ui.messages.join(u'|').contains(QStringLiteral("\u201E<CR><LF>\u201C")));
    EXPECT_FALSE(ui.messages.join(u'|').contains(QLatin1Char('\r')));
}

// A withdrawn entry is neither restored nor counted; a run whose entries are all withdrawn goes
// like a run that kept nothing.
TEST_F(UndoTest, WithdrawnEntriesAreLeftOut) {
    const std::string root = state.Path("trawlex");
    const std::string a = tree.Write("a.txt", "Alt a");
    const std::string b = tree.Write("b.txt", "Alt b");
    for (const bool withdrawAll : {false, true}) {
        auto journal = Journal::Begin(root,
                                      {0, QStringLiteral("Ersetzen"), tree.RootText(),
                                       QStringLiteral("Alt"), QStringLiteral("Neu")},
                                      20);
        ASSERT_TRUE(journal) << journal.message().toStdString();
        std::vector<std::uint64_t> ids;
        for (const std::string& path : {a, b}) {
            const FileDescriptor file(open(path.c_str(), O_RDONLY | O_CLOEXEC));
            struct stat status {};
            ASSERT_EQ(fstat(file.get(), &status), 0);
            const std::string bytes = ReadFile(path);
            auto kept = journal.value()->Keep(path, file.get(), status, bytes, ContentHash("Neu"));
            ASSERT_TRUE(kept) << kept.message().toStdString();
            ids.push_back(kept.value());
        }
        ASSERT_TRUE(journal.value()->Withdraw(ids[0]));
        if (withdrawAll) {
            ASSERT_TRUE(journal.value()->Withdraw(ids[1]));
        }
        EXPECT_EQ(journal.value()->FilesKept(), withdrawAll ? 0 : 1);
        journal.value().reset();
        const std::vector<JournalRun> runs = ReadJournalRuns(root);
        ASSERT_EQ(runs.size(), 1U) << "withdrawAll " << withdrawAll;
        EXPECT_FALSE(runs[0].refusal);
        ASSERT_EQ(runs[0].entries.size(), 1U);
        EXPECT_EQ(runs[0].entries[0].path, b);
        EXPECT_EQ(access((runs[0].directory + "/" + CopyName(ids[0])).c_str(), F_OK), -1);
    }
}

}  // namespace
}  // namespace trawlex
