#pragma once

// Runs the built trawlex-cli; a test target that includes this defines TRAWLEX_CLI_PATH.

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace trawlex::test {

// trawlex-cli as a child process with a state directory of its own, so that the undo journals
// of one test never meet those of another or of the person running the tests.
class Cli {
public:
    Cli() {
        for (char** entry = environ; *entry != nullptr; ++entry) {
            if (!std::string_view(*entry).starts_with("XDG_STATE_HOME=")) {
                environment_.emplace_back(*entry);
            }
        }
        environment_.push_back("XDG_STATE_HOME=" + State());
    }

    std::string JournalRoot() const { return State() + "/trawlex"; }

    // The directories of the runs in the journal, oldest first: run names sort as the runs
    // were made.
    std::vector<std::string> Runs() const {
        std::vector<std::string> runs;
        for (const QString& name : QDir(QString::fromStdString(JournalRoot()))
                                       .entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
            runs.push_back(JournalRoot() + "/" + name.toStdString());
        }
        return runs;
    }

    // Starts the program; what it says on stderr is kept for Errors(), its stdout dropped or
    // sent to `output`.
    pid_t Start(const std::vector<std::string>& arguments,
                const std::string& workingDirectory = std::string(), int output = -1) const {
        std::vector<char*> argv{const_cast<char*>(TRAWLEX_CLI_PATH)};
        for (const std::string& argument : arguments) {
            argv.push_back(const_cast<char*>(argument.c_str()));
        }
        argv.push_back(nullptr);
        std::vector<char*> envp;
        for (const std::string& entry : environment_) {
            envp.push_back(const_cast<char*>(entry.c_str()));
        }
        envp.push_back(nullptr);
        const std::string errors = ErrorsPath();
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        if (output >= 0) {
            posix_spawn_file_actions_adddup2(&actions, output, 1);
        } else {
            posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        }
        posix_spawn_file_actions_addopen(&actions, 2, errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        if (!workingDirectory.empty()) {
            posix_spawn_file_actions_addchdir_np(&actions, workingDirectory.c_str());
        }
        pid_t child = 0;
        EXPECT_EQ(
            posix_spawn(&child, TRAWLEX_CLI_PATH, &actions, nullptr, argv.data(), envp.data()), 0);
        posix_spawn_file_actions_destroy(&actions);
        return child;
    }

    // The exit status of a run to its end.
    int Run(const std::vector<std::string>& arguments,
            const std::string& workingDirectory = std::string()) const {
        int status = 0;
        waitpid(Start(arguments, workingDirectory), &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    // Kills a run after the given delay; true when the kill ended it, false when it had
    // finished by then.
    bool RunAndKill(const std::vector<std::string>& arguments, double delayMicroseconds) const {
        const pid_t child = Start(arguments);
        std::this_thread::sleep_for(
            std::chrono::microseconds(static_cast<long long>(delayMicroseconds)));
        ::kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);
        return WIFSIGNALED(status);
    }

    std::string Errors() const { return ReadFile(ErrorsPath()); }

private:
    std::string State() const {
        const std::string root = state_.Root();
        return root.substr(0, root.size() - 1);
    }
    std::string ErrorsPath() const { return state_.Path("stderr.txt"); }

    TempTree state_;
    std::vector<std::string> environment_;
};

}  // namespace trawlex::test
