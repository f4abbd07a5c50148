// Replacements while another program works in the same tree: one that swaps a file or a
// directory for a symbolic link to a place outside the location, and one that writes to a file
// while it is being replaced. Each race runs a hundred replacements against a racer in a loop.

#include "replace/Ersatzroutinen.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <functional>
#include <set>
#include <string>
#include <thread>

namespace trawlex {
namespace {

using test::ReadFile;
using test::Repeat;
using test::TempTree;

constexpr int kRuns = 100;

// Runs `racer` in a loop on another thread while a hundred replacements run, turning "Alt" into
// "Neu" and back; `afterEach` checks what must hold after every run.
void RaceReplacements(const std::string& location, Scope scope, const std::function<void()>& racer,
                      const std::function<void(int run, const test::FakeUi&)>& afterEach) {
    std::atomic<bool> stop{false};
    std::thread thread([&] {
        while (!stop.load()) {
            racer();
        }
    });
    for (int run = 0; run < kRuns; ++run) {
        ReplaceJob job;
        job.location = QString::fromStdString(location);
        job.term = run % 2 == 0 ? QStringLiteral("Alt") : QStringLiteral("Neu");
        job.replacement = run % 2 == 0 ? QStringLiteral("Neu") : QStringLiteral("Alt");
        job.mask = QStringLiteral("*.txt");
        job.scope = scope;
        test::FakeUi ui;
        static_cast<void>(ReplaceLocation(ui, job));
        afterEach(run, ui);
    }
    stop = true;
    thread.join();
}

// What lies outside the location is never written, however the names inside are swapped for
// links while the replacement reads and writes them; whole files and files read in pieces.
TEST(RaceTest, ALinkSwappedInNeverLeadsAReplacementOutside) {
    struct Case {
        const char* what;
        std::size_t size;
        bool directory;  // the racer swaps a directory on the way instead of the file itself
    };
    const Case cases[] = {
        {"small file", 64, false},
        {"file read whole", 256 << 10, false},
        {"file read in pieces", (8 << 20) + 4096, false},
        {"directory on the way", 256 << 10, true},
    };
    for (const Case& each : cases) {
        SCOPED_TRACE(each.what);
        const TempTree tree;
        const std::string victim = Repeat("Alt Neu draussen\n", each.size / 17 + 1);
        const std::string inside = Repeat("Alt drinnen\n", each.size / 12 + 1);
        tree.Write("ort/eins.txt", "Alt eins");
        std::string swapped;
        std::string link;
        if (each.directory) {
            tree.Write("draussen/d/ziel.txt", victim);
            tree.Write("ort/d/ziel.txt", inside);
            swapped = tree.Path("ort/d");
            link = tree.Path("ort/.d-verweis");
            ASSERT_EQ(symlink("../draussen/d", link.c_str()), 0);
        } else {
            tree.Write("draussen/ziel.txt", victim);
            tree.Write("ort/ziel.txt", inside);
            swapped = tree.Path("ort/ziel.txt");
            link = tree.Path("ort/.ziel-verweis");
            ASSERT_EQ(symlink("../draussen/ziel.txt", link.c_str()), 0);
        }
        const std::string target = each.directory ? "draussen/d/ziel.txt" : "draussen/ziel.txt";
        int outside = 0;
        // The racer swaps the file or directory and the link beside it as fast as it can.
        const auto exchange = [&] {
            renameat2(AT_FDCWD, swapped.c_str(), AT_FDCWD, link.c_str(), RENAME_EXCHANGE);
        };
        RaceReplacements(tree.Path("ort"), each.directory ? Scope::Tree : Scope::Flat, exchange,
                         [&](int run, const test::FakeUi&) {
                             if (ReadFile(tree.Path(target)) != victim) {
                                 ++outside;
                                 ADD_FAILURE() << "written outside in run " << run;
                                 tree.Write(target, victim);
                             }
                         });
        EXPECT_EQ(outside, 0);
        for (const auto& [name, contents] : tree.Files()) {
            EXPECT_EQ(name.find(".trawlex-"), std::string::npos) << "temporary file left: " << name;
        }
    }
}

// Another program appends to a file while it is replaced. Each append it saw land in the file
// under that name must still be there at the end: a change made after the replacement read the
// file is never overwritten, however the two meet.
TEST(RaceTest, AnotherWritersChangeIsNeverOverwritten) {
    for (const std::size_t size : {std::size_t{64}, std::size_t{1} << 20}) {
        SCOPED_TRACE(size);
        const TempTree tree;
        const std::string path = tree.Write("ort/w.txt", Repeat("Alt w\n", size / 6 + 1));
        tree.Write("ort/eins.txt", "Alt eins");
        std::set<std::string> landed;
        int counter = 0;
        int named = 0;
        const auto append = [&] {
            const std::string token = "<" + std::to_string(counter) + ">";
            const int file = open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
            if (file < 0) {
                return;
            }
            struct stat written {};
            struct stat now {};
            const bool whole =
                write(file, token.data(), token.size()) == static_cast<ssize_t>(token.size());
            fstat(file, &written);
            close(file);
            // A write to a file that a rename had already replaced is lost for any writer; it
            // is written again, to the file the name holds now.
            if (whole && stat(path.c_str(), &now) == 0 && now.st_ino == written.st_ino) {
                landed.insert(token);
                ++counter;
            }
            std::this_thread::sleep_for(std::chrono::microseconds(50));
        };
        RaceReplacements(tree.Path("ort"), Scope::Flat, append, [&](int, const test::FakeUi& ui) {
            named += ui.messages.join(u'|').contains(QStringLiteral("von einem anderen Programm"))
                         ? 1
                         : 0;
        });
        // The tokens the file holds, gathered in one pass: looking up each of many thousands in
        // a file of megabytes would take the sanitizer build longer than the test may run.
        const std::string final = ReadFile(path);
        std::set<std::string> kept;
        for (std::size_t open = final.find('<'); open != std::string::npos;
             open = final.find('<', open + 1)) {
            const std::size_t close = final.find('>', open);
            if (close == std::string::npos) {
                break;
            }
            kept.insert(final.substr(open, close - open + 1));
        }
        int lost = 0;
        for (const std::string& token : landed) {
            lost += kept.contains(token) ? 0 : 1;
        }
        EXPECT_EQ(lost, 0) << "of " << landed.size() << " appends";
        EXPECT_GT(landed.size(), 100U);
        RecordProperty("named", named);
        for (const auto& [name, contents] : tree.Files()) {
            EXPECT_EQ(name.find(".trawlex-"), std::string::npos) << "temporary file left: " << name;
        }
    }
}

}  // namespace
}  // namespace trawlex
