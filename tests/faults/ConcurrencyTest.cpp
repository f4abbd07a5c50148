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
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace trawlex {
namespace {

using test::Cli;
using test::TempTree;

const std::string kReplacement = "eine Ersetzung";
const std::string kUndo =
    "ein R\xC3\xBC"
    "ckg\xC3\xA4ngig";

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

std::vector<std::string> Replace(const std::string& location, bool recursive) {
    std::vector<std::string> arguments{"replace",       "--location", location, "--term", "Alt",
                                       "--replacement", "Neu",        "--mask", "*.txt"};
    if (recursive) {
        arguments.push_back("--recursive");
    }
    return arguments;
}

// What a refused run says of the run it met.
std::string Refusal(const std::string& says, const std::string& location, pid_t process) {
    return "bereits " + says + " in \xE2\x80\x9E" + RealPath(location) + "\xE2\x80\x9C (Prozess " +
           std::to_string(process) + ")";
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

// The later run of a case: "flat DIR" or "tree DIR" replaces in that directory of the tree,
// "undo" takes back a replacement done before, "search" and "preview" go over the whole tree.
std::vector<std::string> Later(const std::string& later, const TempTree& tree,
                               const std::string& report) {
    std::istringstream words(later);
    std::string kind, below;
    words >> kind >> below;
    if (kind == "search") {
        return {"search", "--location", tree.Root(),   "--term",   "Alt",
                "--mask", "*.txt",      "--recursive", "--report", report};
    }
    if (kind == "preview") {
        std::vector<std::string> preview = Replace(tree.Root(), true);
        preview.insert(preview.end(), {"--preview", "--report", report});
        return preview;
    }
    return kind == "undo" ? std::vector<std::string>{"undo"}
                          : Replace(tree.Root() + below, kind == "tree");
}

// A later run beside a held one: a run registered by this process through the module itself,
// or a trawlex-cli run held in its middle (a replacement over the whole tree, or an undo of one).
TEST(ConcurrencyTest, LaterRunBesideAHeldOne) {
    struct HeldCase {
        const char* name;
        RunKind heldKind;
        bool heldTree;
        const char* heldWhere;  // below the tree; "link" is a link to the tree itself
        const char* later;
        std::string says;  // what the refusal names; empty when the later run is allowed
        bool heldByCli = false;
    };
    const auto replacement = RunKind::Replacement;
    const std::vector<HeldCase> cases = {
        {"same location", replacement, false, "", "flat", kReplacement},
        {"same location through a link", replacement, false, "link", "flat", kReplacement},
        {"inside a tree run", replacement, true, "", "flat sub", kReplacement},
        {"tree run around a held one", replacement, false, "sub", "tree", kReplacement},
        {"inside an undo", RunKind::Undo, true, "", "flat sub", kUndo},
        {"undo around a held run", replacement, false, "sub", "undo", kReplacement},
        {"inside a flat run", replacement, false, "", "tree sub", ""},
        {"beside a sibling", replacement, true, "sub", "flat", ""},
        {"beside a directory whose name goes on", replacement, true, "sub", "tree sub2", ""},
        {"search beside a run", replacement, true, "", "search", ""},
        {"preview beside a run", replacement, true, "", "preview", ""},
        {"two replacements", replacement, true, "", "flat sub", kReplacement, true},
        {"undo during a replacement", replacement, true, "", "undo", kReplacement, true},
        {"replacement during an undo", RunKind::Undo, true, "", "flat sub", kUndo, true},
    };
    for (const HeldCase& held : cases) {
        SCOPED_TRACE(held.name);
        const TempTree tree;
        const TempTree outside;
        const Cli cli;
        // A held trawlex-cli run goes over many files, so that it is still busy when held.
        const auto before = Fill(tree, held.heldByCli ? 400 : 6);
        symlink(tree.Root().c_str(), outside.Path("link").c_str());
        const bool laterUndoes = std::string_view(held.later) == "undo";
        const std::vector<std::string> undo = {"undo"};
        if (laterUndoes || (held.heldByCli && held.heldKind == RunKind::Undo)) {
            ASSERT_EQ(cli.Run(Replace(tree.Root(), true)), 0) << cli.Errors();
        }
        const std::string heldLocation =
            RealPath(held.heldWhere == std::string_view("link") ? outside.Path("link")
                                                                : tree.Root() + held.heldWhere);
        std::optional<RunLock> lock;
        pid_t holder = getpid();
        if (held.heldByCli) {
            const auto process = StartAndHold(
                cli, held.heldKind == RunKind::Undo ? undo : Replace(tree.Root(), true));
            ASSERT_TRUE(process) << "the first run ended before it could be held";
            holder = *process;
        } else {
            auto taken = RunLock::Take({held.heldKind, held.heldTree, heldLocation});
            ASSERT_TRUE(taken) << taken.message().toStdString();
            lock.emplace(std::move(taken.value()));
        }
        const auto during = tree.Files();
        // A later replacement beside a held trawlex-cli has its own journal, so that its
        // refusal cannot be "nothing to undo"; a later undo must find the run the first one
        // left in its journal.
        const Cli second;
        const Cli& later = held.heldByCli && !laterUndoes ? second : cli;
        EXPECT_EQ(later.Run(Later(held.later, tree, outside.Path("report.html"))),
                  held.says.empty() ? 0 : 1)
            << later.Errors();
        if (!held.says.empty()) {
            EXPECT_NE(later.Errors().find(Refusal(held.says, heldLocation, holder)),
                      std::string::npos)
                << later.Errors();
            EXPECT_EQ(tree.Files(), during);
        }
        if (held.heldByCli) {
            kill(holder, SIGCONT);
            int status = 0;
            waitpid(holder, &status, 0);
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        }
        lock.reset();
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
