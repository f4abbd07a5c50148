// Runs killed at random moments or stopped by a signal: every file holds its old or its new
// contents, an undo to its end gives back the tree, and the person is told what was done. The
// figures of a run are printed at the end for the README's table.

#include "Cli.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace trawlex {
namespace {

using test::Cli;
using test::ReadFile;
using test::TempTree;
using Files = std::map<std::string, std::string>;

struct Figures {
    int kills = 0;
    int applyKills = 0;
    int undoKills = 0;
    int signals = 0;
    int lost = 0;
    ~Figures() {
        std::printf(
            "Zuverlässigkeit: %d Abbrüche beim Ersetzen, %d beim Anwenden einer "
            "Änderungsliste und %d beim Rückgängigmachen überstanden, %d Signale beim "
            "Ersetzen, %d Dateien verloren oder beschädigt\n",
            kills, applyKills, undoKills, signals, lost);
    }
};
Figures figures;

// Pages of a few KB in four directories, each with its title; every `largeEvery`-th is 1 MiB, so
// that a run lasts long enough for kills to land in its middle. "Alt" stands twice in every line,
// or, for a change list that is to stay short, in every `smallHitEvery`-th line of a small page
// and `largeHitEvery`-th of a large one.
Files Pages(int count, int largeEvery, int smallHitEvery = 1, int largeHitEvery = 1) {
    Files pages;
    for (int index = 0; index < count; ++index) {
        const bool large = index % largeEvery == 0;
        const std::size_t size = large ? 1u << 20 : 2000u + 97u * static_cast<unsigned>(index);
        const int hitEvery = large ? largeHitEvery : smallHitEvery;
        std::string page = "<title>Seite " + std::to_string(index) + "</title>";
        for (int line = 0; page.size() < size; ++line) {
            page += line % hitEvery == 0 ? "Alt und neu, Alt\r\n" : "Neu und neu, neu\r\n";
        }
        pages["d" + std::to_string(index % 4) + "/f" + std::to_string(index) + ".txt"] = page;
    }
    return pages;
}

// What replacing "Alt" by "Neu!" makes of each file.
Files Replaced(Files files) {
    for (auto& [name, contents] : files) {
        for (std::size_t at = contents.find("Alt"); at != std::string::npos;
             at = contents.find("Alt", at + 4)) {
            contents.replace(at, 3, "Neu!");
        }
    }
    return files;
}

// The files a person sees: the hidden temporaries a killed rewrite leaves are the next
// replacement's to clear.
Files VisibleFiles(const TempTree& tree) {
    Files files = tree.Files();
    std::erase_if(files, [](const auto& file) {
        return file.first.front() == '.' || file.first.find("/.") != std::string::npos;
    });
    return files;
}

// Checks that the tree holds every file, each with its old or its new bytes and nothing in
// between, and counts the ones that do not.
void ExpectOldOrNew(const TempTree& tree, const Files& before, const Files& after,
                    const std::string& moment) {
    const Files files = VisibleFiles(tree);
    EXPECT_EQ(files.size(), before.size()) << moment;
    for (const auto& [name, contents] : before) {
        const auto found = files.find(name);
        const bool whole =
            found != files.end() && (found->second == contents || found->second == after.at(name));
        EXPECT_TRUE(whole) << name << " " << moment;
        figures.lost += whole ? 0 : 1;
    }
}

constexpr std::string_view kNothingToUndo =
    "Es gibt keine Ersetzung, die rückgängig gemacht werden kann.";

// Runs a command to its end, which must succeed, and answers how long it took in microseconds.
// Kills are spread over that time, so that they land alike on a slow sanitizer build and on a
// fast machine.
double RunTimed(const Cli& cli, const std::vector<std::string>& arguments) {
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(cli.Run(arguments), 0) << cli.Errors();
    return std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start)
        .count();
}

// When to kill the run of a round: a third of the runs while they start, a third while they
// rewrite, and a third near or after their end.
double KillDelay(int round, double runTime, std::mt19937& random) {
    constexpr double kSpans[3][2] = {{0.0, 0.1}, {0.1, 0.9}, {0.8, 1.5}};
    const double* span = kSpans[round % 3];
    return std::uniform_real_distribution<double>(span[0] * runTime, span[1] * runTime)(random);
}

// Undoes run after run until nothing is left to undo; each undo must give back all it names.
void UndoEveryRun(const Cli& cli, const std::string& moment) {
    int status = 0;
    for (int attempt = 0; attempt < 5 && (status = cli.Run({"undo"})) != 1; ++attempt) {
        EXPECT_EQ(status, 0) << moment << "\n" << cli.Errors();
    }
    ASSERT_EQ(status, 1) << moment;
    // A run killed while it wrote its first words must not leave a journal that stops every
    // later undo; the first such round says all there is to say.
    ASSERT_NE(cli.Errors().find(kNothingToUndo), std::string::npos) << moment << "\n"
                                                                    << cli.Errors();
}

// Runs killed at random moments: a replacement and then its undo, or apply of a change list.
// Every file is old or new after each kill, and undoing every run to its end brings back the
// tree, the journals of earlier rounds, all taken back, never applied again. Run to its end, the
// command clears the temporaries of the killed ones, and its undo leaves none of its own.
TEST(InterruptedRunTest, KilledRunsLeaveEveryFileOldOrNewAndUndoTakesThemBack) {
    struct Case {
        const char* name;
        Files before;
        bool fromChangeList;  // apply of a previewed change list instead of the replacement
        int Figures::*kills;
        unsigned seed;
        // Rounds go on until enough kills have landed while files were rewritten, and while
        // the undo after them ran; none is killed when none is wanted.
        int minRounds, maxRounds, wantedMidRun, wantedUndoKills;
    };
    const Case cases[] = {
        {"replacement and its undo", Pages(40, 13), false, &Figures::kills, 23, 30, 200, 1, 30},
        // The list stays short, so that a kill lands while files are rewritten rather than
        // while the list is read.
        {"apply of a change list", Pages(40, 10, 16, 1024), true, &Figures::applyKills, 29, 15, 45,
         3, 0},
    };
    for (const Case& each : cases) {
        SCOPED_TRACE(each.name);
        const TempTree tree;
        const TempTree lists;
        const Cli cli;
        const Files& before = each.before;
        const Files after = Replaced(before);
        for (const auto& [name, contents] : before) {
            tree.Write(name, contents);
        }
        std::vector<std::string> command = {"replace", "--location",    tree.Root(), "--term",
                                            "Alt",     "--replacement", "Neu!",      "--mask",
                                            "*.txt",   "--recursive"};
        if (each.fromChangeList) {
            const std::string list = lists.Path("aenderungen.jsonl");
            std::vector<std::string> preview = command;
            preview.insert(preview.begin() + 1, {"--preview", "--changes", list});
            ASSERT_EQ(cli.Run(preview), 0) << cli.Errors();
            ASSERT_EQ(tree.Files(), before);
            command = {"apply", "--changes", list};
        }
        // One undisturbed round measures how long a whole run and its undo take here, so that
        // the kills are spread over the runs on a slow sanitizer build as on a fast machine.
        const double runTime = RunTimed(cli, command);
        ASSERT_EQ(tree.Files(), after);
        const double undoTime = RunTimed(cli, {"undo"});
        ASSERT_EQ(tree.Files(), before);

        std::mt19937 random(each.seed);
        int midRun = 0;
        int undoKills = 0;
        int round = 0;
        for (; round < each.maxRounds && (round < each.minRounds || midRun < each.wantedMidRun ||
                                          undoKills < each.wantedUndoKills);
             ++round) {
            const std::string moment = "in round " + std::to_string(round);
            figures.*each.kills +=
                cli.RunAndKill(command, KillDelay(round, runTime, random)) ? 1 : 0;
            ExpectOldOrNew(tree, before, after, "after the killed run " + moment);
            std::size_t changed = 0;
            for (const auto& [name, contents] : VisibleFiles(tree)) {
                changed += contents == before.at(name) ? 0 : 1;
            }
            midRun += changed > 0 && changed < before.size() ? 1 : 0;
            if (each.wantedUndoKills > 0) {
                // The undo takes about as long as the share of files it has to give back.
                const double span = undoTime * 1.2 * static_cast<double>(changed + 2) /
                                    static_cast<double>(before.size());
                if (cli.RunAndKill({"undo"},
                                   std::uniform_real_distribution<double>(0.0, span)(random))) {
                    ++undoKills;
                    ++figures.undoKills;
                }
                ExpectOldOrNew(tree, before, after, "after the killed undo " + moment);
            }
            ASSERT_NO_FATAL_FAILURE(UndoEveryRun(cli, moment));
            ASSERT_EQ(VisibleFiles(tree), before) << moment;
        }
        EXPECT_GE(midRun, each.wantedMidRun)
            << "kills while files were rewritten, in " << round << " rounds";
        EXPECT_GE(undoKills, each.wantedUndoKills) << "in " << round << " rounds";

        ASSERT_EQ(cli.Run(command), 0) << cli.Errors();
        EXPECT_EQ(tree.Files(), after);
        ASSERT_EQ(cli.Run({"undo"}), 0) << cli.Errors();
        EXPECT_EQ(tree.Files(), before);
        EXPECT_EQ(cli.Run({"undo"}), 1) << cli.Errors();
    }
}

// SIGTERM, SIGINT and SIGHUP stop a replacement as Esc does: the current file is finished, no
// temporary file is left, every file is old or new, and what was done is said.
TEST(InterruptedRunTest, SignalsStopAReplacementAfterTheCurrentFile) {
    for (const int signalNumber : {SIGTERM, SIGINT, SIGHUP}) {
        const TempTree tree;
        Files before;
        for (int index = 0; index < 3000; ++index) {
            before["d" + std::to_string(index % 8) + "/f" + std::to_string(index) + ".txt"] =
                "Alt " + std::to_string(index);
        }
        for (const auto& [name, contents] : before) {
            tree.Write(name, contents);
        }
        const Cli cli;
        const pid_t child = cli.Start({"replace", "--location", tree.Root(), "--term", "Alt",
                                       "--replacement", "Neu!", "--mask", "*.txt", "--recursive"});
        // The signal comes once the run is rewriting, which its journal shows.
        for (int wait = 0; wait < 20000; ++wait) {
            const std::vector<std::string> runs = cli.Runs();
            struct stat entries {};
            if (!runs.empty() && stat((runs.back() + "/entries").c_str(), &entries) == 0 &&
                entries.st_size > 0) {
                break;
            }
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
        ::kill(child, signalNumber);
        int status = 0;
        waitpid(child, &status, 0);
        ASSERT_TRUE(WIFEXITED(status)) << "signal " << signalNumber;
        EXPECT_EQ(WEXITSTATUS(status), 1);
        const std::string said = cli.Errors();
        EXPECT_NE(said.find("angehalten"), std::string::npos) << said;
        const Files files = tree.Files();
        EXPECT_EQ(files.size(), before.size()) << "no temporary file is left";
        int changed = 0;
        for (const auto& [name, contents] : files) {
            changed += contents.starts_with("Neu!") ? 1 : 0;
        }
        EXPECT_GT(changed, 0);
        EXPECT_LT(changed, 3000);
        EXPECT_NE(said.find("wurden " + std::to_string(changed) + " ge"), std::string::npos)
            << changed << " changed, but: " << said;
        ExpectOldOrNew(tree, before, Replaced(before), "after signal");
        ++figures.signals;
    }
}

// A report on a pipe that is full and never read: the first SIGTERM ends the program, which
// names the report it could not finish.
TEST(InterruptedRunTest, SignalEndsAReportNobodyReads) {
    const TempTree location;
    location.Write("a.txt", "Alt und Alt\n");
    int pipeEnds[2];
    ASSERT_EQ(pipe2(pipeEnds, O_NONBLOCK | O_CLOEXEC), 0);
    const std::string filler(4096, 'x');
    while (write(pipeEnds[1], filler.data(), filler.size()) > 0) {
    }
    const Cli cli;
    const pid_t child = cli.Start({"search", "--location", location.Root(), "--term", "Alt",
                                   "--mask", "*.txt", "--report", "/dev/stdout"},
                                  std::string(), pipeEnds[1]);
    // Its report waits for room in the pipe.
    const std::string waiting = "/proc/" + std::to_string(child) + "/wchan";
    while (ReadFile(waiting).find("poll") == std::string::npos) {
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, WNOHANG), 0) << cli.Errors();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    kill(child, SIGTERM);
    int status = 0;
    for (int round = 0; round < 3000 && waitpid(child, &status, WNOHANG) == 0; ++round) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (waitpid(child, &status, WNOHANG) == 0) {
        kill(child, SIGKILL);
        waitpid(child, &status, 0);
        FAIL() << "the first SIGTERM did not end the report";
    }
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1);
    EXPECT_NE(cli.Errors().find("/dev/stdout"), std::string::npos) << cli.Errors();
    close(pipeEnds[0]);
    close(pipeEnds[1]);
}

}  // namespace
}  // namespace trawlex
