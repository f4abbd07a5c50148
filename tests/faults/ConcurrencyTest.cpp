// Two rewriting runs beside each other: the later one is refused before it touches a file when
// both could rewrite the same file, and allowed when they cannot. After each case, undoing every
// run gives back the tree byte for byte.

#include "common/files/RunLock.h"
#include "common/text/PathText.h"

#include "Cli.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace trawlex {
namespace {

using test::Cli;
using test::TempTree;

// A tree of many small files in a few directories, so that a run over it is still busy when the
// test looks.
std::map<std::string, std::string> Fill(const TempTree& tree, int count) {
    const std::string directories[] = {"", "sub/", "sub2/"};
    for (int index = 0; index < count; ++index) {
        tree.Write(directories[index % 3] + ("f" + std::to_string(index)) + ".txt",
                   "Alt " + std::to_string(index) + " und Alt\n");
    }
    return tree.Files();
}

std::string Resolved(const std::string& path) {
    return RealPath(path);
}

std::vector<std::string> Replace(const std::string& location, bool recursive) {
    std::vector<std::string> arguments{"replace",       "--location", location, "--term", "Alt",
                                       "--replacement", "Neu",        "--mask", "*.txt"};
    if (recursive) {
        arguments.push_back("--recursive");
    }
    return arguments;
}

// Undoes every run the journal holds; the tree must then be as it was.
void ExpectAllUndone(const Cli& cli, const TempTree& tree,
                     const std::map<std::string, std::string>& before) {
    for (int round = 0; round < 5 && cli.Run({"undo"}) == 0; ++round) {
    }
    EXPECT_EQ(tree.Files(), before);
}

// Whether a process has a record in the registry.
bool Registered(pid_t process) {
    DIR* listing = opendir(RunRegistry().c_str());
    if (listing == nullptr) {
        return false;
    }
    const std::string prefix = "trawlex-run." + std::to_string(process) + ".";
    bool found = false;
    while (const dirent* entry = readdir(listing)) {
        found = found || std::string_view(entry->d_name).starts_with(prefix);
    }
    closedir(listing);
    return found;
}

// Starts a run and stops it once it has registered, so that it is held in its middle for as
// long as the test needs; empty when it ended before that.
std::optional<pid_t> StartAndHold(const Cli& cli, const std::vector<std::string>& arguments) {
    const pid_t child = cli.Start(arguments);
    int status = 0;
    while (!Registered(child)) {
        if (waitpid(child, &status, WNOHANG) == child) {
            return std::nullopt;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    // Held only once it has let go of the lock the runs register under, or it would hold off
    // every other run, not only those it overlaps.
    const FileDescriptor guard(open((RunRegistry() + "/trawlex-runs.lock").c_str(), O_RDONLY));
    for (;;) {
        kill(child, SIGSTOP);
        if (waitpid(child, &status, WUNTRACED) != child || !WIFSTOPPED(status)) {
            return std::nullopt;
        }
        if (flock(guard.get(), LOCK_SH | LOCK_NB) == 0) {
            flock(guard.get(), LOCK_UN);
            return child;
        }
        kill(child, SIGCONT);
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
}

int Resume(pid_t child) {
    kill(child, SIGCONT);
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A run registered by this process through the module itself, beside one of trawlex-cli.
struct HeldCase {
    const char* name;
    RunKind heldKind;
    bool heldTree;
    std::string heldWhere;           // relative to the tree; "link" is a link to the tree itself
    std::vector<std::string> later;  // "@" and "@sub" stand for the tree and its subdirectory
    bool laterIsUndo;                // the later run undoes a replacement done before
    int status;
    const char* says;  // what the refusal names, after the held location; empty when allowed
};

std::vector<std::string> Expand(const std::vector<std::string>& arguments, const TempTree& tree) {
    std::vector<std::string> expanded;
    for (const std::string& argument : arguments) {
        expanded.push_back(argument.starts_with("@") ? tree.Root() + argument.substr(1) : argument);
    }
    return expanded;
}

TEST(ConcurrencyTest, LaterRunBesideAHeldOne) {
    const std::vector<HeldCase> cases = {
        {"same location",
         RunKind::Replacement,
         false,
         "",
         {"replace", "@", "flat"},
         false,
         1,
         "eine Ersetzung"},
        {"same location through a link",
         RunKind::Replacement,
         false,
         "link",
         {"replace", "@", "flat"},
         false,
         1,
         "eine Ersetzung"},
        {"inside a tree run",
         RunKind::Replacement,
         true,
         "",
         {"replace", "@sub", "flat"},
         false,
         1,
         "eine Ersetzung"},
        {"tree run around a held one",
         RunKind::Replacement,
         false,
         "sub",
         {"replace", "@", "tree"},
         false,
         1,
         "eine Ersetzung"},
        {"inside an undo",
         RunKind::Undo,
         true,
         "",
         {"replace", "@sub", "flat"},
         false,
         1,
         "ein R\xC3\xBC"
         "ckg\xC3\xA4ngig"},
        {"undo around a held run",
         RunKind::Replacement,
         false,
         "sub",
         {"undo"},
         true,
         1,
         "eine Ersetzung"},
        {"inside a flat run",
         RunKind::Replacement,
         false,
         "",
         {"replace", "@sub", "tree"},
         false,
         0,
         ""},
        {"beside a sibling",
         RunKind::Replacement,
         true,
         "sub",
         {"replace", "@", "flat"},
         false,
         0,
         ""},
        {"beside a directory whose name goes on",
         RunKind::Replacement,
         true,
         "sub",
         {"replace", "@sub2", "tree"},
         false,
         0,
         ""},
        {"search beside a run",
         RunKind::Replacement,
         true,
         "",
         {"search", "--location", "@", "--term", "Alt", "--mask", "*.txt", "--recursive",
          "--report", "REPORT"},
         false,
         0,
         ""},
        {"preview beside a run",
         RunKind::Replacement,
         true,
         "",
         {"replace", "--location", "@", "--term", "Alt", "--replacement", "Neu", "--mask", "*.txt",
          "--recursive", "--preview", "--report", "REPORT"},
         false,
         0,
         ""},
    };
    for (const HeldCase& held : cases) {
        SCOPED_TRACE(held.name);
        const TempTree tree;
        const TempTree outside;
        const Cli cli;
        const auto before = Fill(tree, 6);
        symlink(tree.Root().c_str(), outside.Path("link").c_str());
        if (held.laterIsUndo) {
            ASSERT_EQ(cli.Run(Replace(tree.Root(), true)), 0) << cli.Errors();
        }
        const auto start = tree.Files();
        std::vector<std::string> later = Expand(held.later, tree);
        if (later.size() == 3 && later[0] == "replace") {
            later = Replace(later[1], later[2] == "tree");
        }
        for (std::string& argument : later) {
            argument = argument == "REPORT" ? outside.Path("report.html") : argument;
        }
        const std::string heldLocation = Resolved(
            held.heldWhere == "link" ? outside.Path("link") : tree.Root() + held.heldWhere);
        {
            auto lock = RunLock::Take({held.heldKind, held.heldTree, heldLocation});
            ASSERT_TRUE(lock) << lock.message().toStdString();
            EXPECT_EQ(cli.Run(later), held.status) << cli.Errors();
            if (*held.says != '\0') {
                EXPECT_NE(
                    cli.Errors().find(std::string("bereits ") + held.says + " in \xE2\x80\x9E" +
                                      heldLocation + "\xE2\x80\x9C (Prozess " +
                                      std::to_string(getpid()) + ")"),
                    std::string::npos)
                    << cli.Errors();
                EXPECT_EQ(tree.Files(), start);
            }
        }
        ExpectAllUndone(cli, tree, before);
    }
}

// Two trawlex-cli runs: the first is held in its middle while the second tries.
struct PairCase {
    const char* name;
    bool replaceFirst;  // a finished replacement before both, for an undo to take back
    bool firstIsUndo;
    std::vector<std::string> second;  // "@" stands for the tree
    const char* says;
};

TEST(ConcurrencyTest, SecondRunDuringAFirst) {
    const std::vector<PairCase> cases = {
        {"two replacements", false, false, {"replace"}, "eine Ersetzung"},
        {"undo during a replacement", true, false, {"undo"}, "eine Ersetzung"},
        {"replacement during an undo",
         true,
         true,
         {"replace"},
         "ein R\xC3\xBC"
         "ckg\xC3\xA4ngig"},
    };
    for (const PairCase& pair : cases) {
        SCOPED_TRACE(pair.name);
        const TempTree tree;
        const Cli cli;
        const auto before = Fill(tree, 400);
        if (pair.replaceFirst) {
            ASSERT_EQ(cli.Run(Replace(tree.Root(), true)), 0) << cli.Errors();
        }
        const std::vector<std::string> first =
            pair.firstIsUndo ? std::vector<std::string>{"undo"} : Replace(tree.Root(), true);
        const auto held = StartAndHold(cli, first);
        ASSERT_TRUE(held) << "the first run ended before it could be held";
        const auto during = tree.Files();
        const Cli second;  // its own journal, so that the refusal cannot be "nothing to undo"
        const bool secondUndoes = pair.second.front() == "undo";
        // Either way the refusal names the other run's location and process. The second undo
        // must find the run the first one left in its journal.
        const Cli& refused = secondUndoes ? cli : second;
        EXPECT_EQ(refused.Run(secondUndoes ? std::vector<std::string>{"undo"}
                                           : Replace(tree.Root() + "sub", false)),
                  1);
        EXPECT_NE(refused.Errors().find(std::string("bereits ") + pair.says + " in \xE2\x80\x9E" +
                                        Resolved(tree.Root()) + "\xE2\x80\x9C (Prozess " +
                                        std::to_string(*held) + ")"),
                  std::string::npos)
            << refused.Errors();
        EXPECT_EQ(tree.Files(), during);
        EXPECT_EQ(Resume(*held), 0);
        ExpectAllUndone(cli, tree, before);
    }
}

// A registry that others could tamper with is not used: the run is refused, naming it, and
// changes nothing.
TEST(ConcurrencyTest, RegistryThatCannotBeTrustedRefusesTheRun) {
    const TempTree place;
    const std::string sticky = place.MakeDirectory("sticky");
    chmod(sticky.c_str(), 01777);
    const std::string open = place.MakeDirectory("offen");
    chmod(open.c_str(), 0777);
    symlink(sticky.c_str(), place.Path("verweis").c_str());
    place.Write("datei", "");
    const std::string own = RunRegistry();
    for (const char* registry : {"offen", "verweis", "datei"}) {
        SCOPED_TRACE(registry);
        const TempTree tree;
        const auto before = Fill(tree, 3);
        setenv("TRAWLEX_RUN_REGISTRY", place.Path(registry).c_str(), 1);
        const Cli cli;
        setenv("TRAWLEX_RUN_REGISTRY", own.c_str(), 1);
        EXPECT_EQ(cli.Run(Replace(tree.Root(), true)), 1);
        EXPECT_NE(cli.Errors().find("Das Verzeichnis \xE2\x80\x9E" + place.Path(registry)),
                  std::string::npos)
            << cli.Errors();
        EXPECT_EQ(tree.Files(), before);
    }
}

}  // namespace
}  // namespace trawlex
