// What trawlex-cli answers to inputs it must refuse, and to some it must not: each case names
// the exit status, what stderr says, and what became of the one file in the location.

#include "Cli.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace trawlex {
namespace {

using test::Cli;
using test::ReadFile;
using test::TempTree;

constexpr const char* kOriginal = "Alt und Alt\n";

struct MessageCase {
    const char* name;
    // The arguments, given the location and a directory beside it for reports and settings.
    std::function<std::vector<std::string>(const TempTree& location, const TempTree& beside)>
        arguments;
    int status;
    const char* says;            // on stderr; empty when nothing is said
    std::string file;            // the file's contents afterwards
    const char* kept = nullptr;  // a file beside it that must still be there
};

std::vector<std::string> Replace(const TempTree& location, const char* term,
                                 const char* replacement) {
    return {"replace",       "--location", location.Root(), "--term", term,
            "--replacement", replacement,  "--mask",        "*.txt"};
}

std::vector<std::string> Search(const TempTree& location, const std::string& report) {
    return {"search", "--location", location.Root(), "--term", "Alt",
            "--mask", "*.txt",      "--report",      report};
}

TEST(MessagesTest, CliAnswers) {
    const std::vector<MessageCase> cases = {
        {"term that is no text in the locale",
         [](const TempTree& location, const TempTree&) { return Replace(location, "\xE4", "x"); },
         2, "--term", kOriginal},
        {"replacement that is no text in the locale",
         [](const TempTree& location, const TempTree&) {
             auto arguments = Replace(location, "Alt", "x");
             arguments[6] = "--replacement=Neu\xFC";
             arguments.erase(arguments.begin() + 7);
             return arguments;
         },
         2, "--replacement", kOriginal},
        {"text in the locale",
         [](const TempTree& location, const TempTree&) {
             return Replace(location, "Alt", "Gr\xC3\xBC\xC3\x9F");
         },
         0, "", "Gr\xFC\xDF und Gr\xFC\xDF\n"},
        {"report that is a FIFO nobody reads",
         [](const TempTree& location, const TempTree& beside) {
             mkfifo(beside.Path("bericht.htm").c_str(), 0644);
             return Search(location, beside.Path("bericht.htm"));
         },
         1, "eine benannte Pipe (FIFO)", kOriginal},
        {"report that is a device",
         [](const TempTree& location, const TempTree&) { return Search(location, "/dev/zero"); }, 1,
         "\xE2\x80\x9E/dev/zero\xE2\x80\x9C ist ein Ger\xC3\xA4t", kOriginal},
        {"report on the standard output",
         [](const TempTree& location, const TempTree&) { return Search(location, "/dev/stdout"); },
         0, "", kOriginal},
        {"replacement from settings without a result file",
         [](const TempTree& location, const TempTree& beside) {
             const std::string settings = beside.Write(
                 "Trawlex.INI",
                 "[Trawlex]\r\nHTML-Browser=\r\nSearchPath=" + location.Root() +
                     "\r\nSearchKey=Alt\r\nFileFilterMask=*.txt\r\nReplaceKey=Neu\r\n");
             return std::vector<std::string>{"replace", "--settings", settings};
         },
         0, "", "Neu und Neu\n"},
        {"file in UTF-16 with a lone surrogate",
         [](const TempTree& location, const TempTree&) {
             location.Write("a.txt", std::string("\xFF\xFE"
                                                 "A\0l\0t\0\x00\xD8",
                                                 10));
             return Replace(location, "Alt", "Neu");
         },
         1, "einzelnes Ersatzzeichen",
         std::string("\xFF\xFE"
                     "A\0l\0t\0\x00\xD8",
                     10)},
        {"binary file",
         [](const TempTree& location, const TempTree&) {
             location.Write("a.txt", std::string("Alt\0Alt\n", 8));
             return Replace(location, "Alt", "Neu");
         },
         1, "ist eine Bin\xC3\xA4rdatei", std::string("Alt\0Alt\n", 8)},
        {"a person's file named like a temporary",
         [](const TempTree& location, const TempTree&) {
             location.Write(".notizen.trawlex-backup", "n");
             return Replace(location, "nirgends", "x");
         },
         0, "", kOriginal, ".notizen.trawlex-backup"},
    };
    for (const MessageCase& each : cases) {
        SCOPED_TRACE(each.name);
        const TempTree location;
        const TempTree beside;
        const Cli cli;
        location.Write("a.txt", kOriginal);
        EXPECT_EQ(cli.Run(each.arguments(location, beside)), each.status) << cli.Errors();
        if (*each.says == '\0') {
            EXPECT_EQ(cli.Errors(), "");
        } else {
            EXPECT_NE(cli.Errors().find(each.says), std::string::npos) << cli.Errors();
        }
        EXPECT_EQ(ReadFile(location.Path("a.txt")), each.file);
        if (each.kept != nullptr) {
            EXPECT_EQ(access(location.Path(each.kept).c_str(), F_OK), 0) << each.kept;
        }
    }
}

// A report on a pipe that is full and never read: the first SIGTERM ends the program, which
// names the report it could not finish.
TEST(MessagesTest, SignalEndsAReportNobodyReads) {
    const TempTree location;
    location.Write("a.txt", kOriginal);
    int pipeEnds[2];
    ASSERT_EQ(pipe2(pipeEnds, O_NONBLOCK | O_CLOEXEC), 0);
    const std::string filler(4096, 'x');
    while (write(pipeEnds[1], filler.data(), filler.size()) > 0) {
    }
    const Cli cli;
    const pid_t child = cli.Start(Search(location, "/dev/stdout"), std::string(), pipeEnds[1]);
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
