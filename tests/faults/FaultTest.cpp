// Nothing lost, nothing let in: runs killed at random moments, writes that fail, files that are
// no files, malformed inputs, and hostile content. Each case checks that every file holds its
// old or its new contents and that the person is told what went wrong. The figures of a run are
// printed at the end for the README's table.

#include "app/Form1.h"
#include "app/Settings.h"
#include "profiles/SearchProfile.h"
#include "replace/Ersatzroutinen.h"
#include "replace/ReplaceProfile.h"
#include "search/Suchroutinen.h"

#include "Cli.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <functional>
#include <map>
#include <random>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace trawlex {
namespace {

using test::Cli;
using test::FakeUi;
using test::ReadFile;
using test::TempTree;

struct Figures {
    int kills = 0;
    int applyKills = 0;
    int undoKills = 0;
    int signals = 0;
    int faults = 0;
    int malformed = 0;
    int lost = 0;
    ~Figures() {
        std::printf(
            "Zuverlässigkeit: %d Abbrüche beim Ersetzen, %d beim Anwenden einer "
            "Änderungsliste und %d beim Rückgängigmachen überstanden, %d Signale beim "
            "Ersetzen, %d Fehler eingespeist, %d fehlerhafte Eingaben, %d Dateien verloren "
            "oder beschädigt\n",
            kills, applyKills, undoKills, signals, faults, malformed, lost);
    }
};
Figures figures;

// A page with "Alt" twice in every `hitEvery`-th line.
std::string Page(int index, std::size_t size, int hitEvery) {
    std::string page = "<title>Seite " + std::to_string(index) + "</title>";
    for (int line = 0; page.size() < size; ++line) {
        page += line % hitEvery == 0 ? "Alt und neu, Alt\r\n" : "Neu und neu, neu\r\n";
    }
    return page;
}

// Pages of a few KB in four directories; every `largeEvery`-th is 1 MiB, so that a run lasts long
// enough for kills to land in its middle. "Alt" stands in every line, or, for a change list that
// is to stay short, in every `smallHitEvery`-th line of a small page and `largeHitEvery`-th of a
// large one.
std::map<std::string, std::string> Pages(int count, int largeEvery, int smallHitEvery = 1,
                                         int largeHitEvery = 1) {
    std::map<std::string, std::string> pages;
    for (int index = 0; index < count; ++index) {
        const std::string name =
            "d" + std::to_string(index % 4) + "/f" + std::to_string(index) + ".txt";
        const bool large = index % largeEvery == 0;
        pages[name] = Page(index, large ? 1u << 20 : 2000u + 97u * static_cast<unsigned>(index),
                           large ? largeHitEvery : smallHitEvery);
    }
    return pages;
}

// What replacing "Alt" by "Neu!" makes of each file.
std::map<std::string, std::string> Replaced(std::map<std::string, std::string> files) {
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
std::map<std::string, std::string> VisibleFiles(const TempTree& tree) {
    std::map<std::string, std::string> files = tree.Files();
    std::erase_if(files, [](const auto& file) {
        return file.first.front() == '.' || file.first.find("/.") != std::string::npos;
    });
    return files;
}

// Checks that the tree holds every file, each with its old or its new bytes and nothing in
// between, and counts the ones that do not.
void ExpectOldOrNew(const TempTree& tree, const std::map<std::string, std::string>& before,
                    const std::map<std::string, std::string>& after, const std::string& moment) {
    const std::map<std::string, std::string> files = VisibleFiles(tree);
    EXPECT_EQ(files.size(), before.size()) << moment;
    for (const auto& [name, contents] : before) {
        const auto found = files.find(name);
        const bool whole =
            found != files.end() && (found->second == contents || found->second == after.at(name));
        EXPECT_TRUE(whole) << name << " " << moment;
        figures.lost += whole ? 0 : 1;
    }
}

// The newest run's journal directory; run names sort as the runs were made.
std::string RunDirectory(const std::string& journalRoot) {
    const QStringList runs = QDir(QString::fromStdString(journalRoot))
                                 .entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    return runs.isEmpty() ? std::string() : journalRoot + "/" + runs.last().toStdString();
}

// A search of the tree for `term` in the files of `mask`, subdirectories included; its report,
// written into the tree as "bericht.htm", is returned.
std::string SearchedReport(const TempTree& tree, const char* term, const char* mask, FakeUi& ui) {
    Form1 form;
    const QString report = QString::fromStdString(tree.Path("bericht.htm"));
    EXPECT_EQ(SearchLocation(ui, {tree.RootText(), QString::fromUtf8(term), report,
                                  QString::fromUtf8(mask), CompareMode::Exact, Scope::Tree}),
              CommandOutcome::Completed);
    return ReadFile(report.toStdString());
}

void Overwrite(const std::string& path, std::string_view bytes) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr) << path;
    EXPECT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), file), bytes.size());
    std::fclose(file);
}

// A file "tief.txt" below `levels` directories of 200-character names: a path deeper than the
// kernel takes in one call, so it is made and removed with directory descriptors.
const std::string kDeepName(200, 'd');

void WriteDeep(const std::string& parent, int levels, std::string_view bytes) {
    int directory = open(parent.c_str(), O_PATH | O_DIRECTORY);
    for (int level = 0; level < levels; ++level) {
        mkdirat(directory, kDeepName.c_str(), 0755);
        const int next = openat(directory, kDeepName.c_str(), O_PATH | O_DIRECTORY);
        close(directory);
        directory = next;
    }
    const int file = openat(directory, "tief.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(file, 0);
    EXPECT_EQ(write(file, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    close(file);
    close(directory);
}

void RemoveDeep(const std::string& parent, int levels) {
    std::vector<int> chain{open(parent.c_str(), O_PATH | O_DIRECTORY)};
    for (int level = 0; level < levels; ++level) {
        chain.push_back(openat(chain.back(), kDeepName.c_str(), O_PATH | O_DIRECTORY));
    }
    unlinkat(chain.back(), "tief.txt", 0);
    for (int level = levels; level > 0; --level) {
        close(chain[level]);
        unlinkat(chain[level - 1], kDeepName.c_str(), AT_REMOVEDIR);
    }
    close(chain.front());
}

void FlipMiddleByte(const std::string& path) {
    std::string bytes = ReadFile(path);
    ASSERT_FALSE(bytes.empty()) << path;
    bytes[bytes.size() / 2] = static_cast<char>(bytes[bytes.size() / 2] ^ 0x01);
    Overwrite(path, bytes);
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

std::size_t ChangedFiles(const TempTree& tree, const std::map<std::string, std::string>& before) {
    std::size_t changed = 0;
    for (const auto& [name, contents] : VisibleFiles(tree)) {
        changed += contents == before.at(name) ? 0 : 1;
    }
    return changed;
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

// A replacement and then its undo are killed at random moments; the next undo to its end
// brings back every file as it was, and the journals of earlier rounds, all taken back, are
// never applied again.
TEST(FaultTest, KilledUndoIsFinishedByTheNextOne) {
    const TempTree tree;
    const Cli cli;
    const std::map<std::string, std::string> before = Pages(40, 13);
    const std::map<std::string, std::string> after = Replaced(before);
    for (const auto& [name, contents] : before) {
        tree.Write(name, contents);
    }
    const std::vector<std::string> replace = {"replace", "--location",    tree.Root(), "--term",
                                              "Alt",     "--replacement", "Neu!",      "--mask",
                                              "*.txt",   "--recursive"};
    // One undisturbed round measures how long a whole run and its undo take here, so that the
    // kills are spread over the runs on a slow sanitizer build as on a fast machine.
    const double replaceTime = RunTimed(cli, replace);
    ASSERT_EQ(tree.Files(), after);
    const double undoTime = RunTimed(cli, {"undo"});
    ASSERT_EQ(tree.Files(), before);

    std::mt19937 random(23);
    int undoKills = 0;
    int midRun = 0;
    int round = 0;
    for (; round < 200 && (round < 30 || undoKills < 30); ++round) {
        const std::string moment = "in round " + std::to_string(round);
        if (cli.RunAndKill(replace, KillDelay(round, replaceTime, random))) {
            ++figures.kills;
        }
        ExpectOldOrNew(tree, before, after, "after the killed replacement " + moment);
        const std::size_t changed = ChangedFiles(tree, before);
        midRun += changed > 0 && changed < before.size() ? 1 : 0;

        // The undo takes about as long as the share of files it has to give back.
        const double undoSpan =
            undoTime * 1.2 * static_cast<double>(changed + 2) / static_cast<double>(before.size());
        if (cli.RunAndKill({"undo"},
                           std::uniform_real_distribution<double>(0.0, undoSpan)(random))) {
            ++undoKills;
            ++figures.undoKills;
        }
        ExpectOldOrNew(tree, before, after, "after the killed undo " + moment);

        ASSERT_NO_FATAL_FAILURE(UndoEveryRun(cli, moment));
        ASSERT_EQ(VisibleFiles(tree), before) << moment;
    }
    EXPECT_GE(undoKills, 30) << "in " << round << " rounds";
    EXPECT_GT(midRun, 0) << "no kill landed while files were rewritten";

    // A replacement to its end clears the temporaries of the killed rewrites, and its undo
    // leaves none of its own.
    ASSERT_EQ(cli.Run(replace), 0) << cli.Errors();
    EXPECT_EQ(tree.Files(), after);
    ASSERT_EQ(cli.Run({"undo"}), 0) << cli.Errors();
    EXPECT_EQ(tree.Files(), before);
    EXPECT_EQ(cli.Run({"undo"}), 1) << cli.Errors();
}

// A change list made by apply and killed at random moments: every file is old or new, and an
// undo to its end gives back the tree as it was; the whole list makes what the replacement it
// was previewed from makes.
TEST(FaultTest, KilledApplyOfAChangeListIsTakenBackWhole) {
    const TempTree tree;
    const TempTree replaced;
    const TempTree lists;
    const Cli cli;
    // The list stays short, so that a kill lands while files are rewritten rather than while
    // the list is read.
    const std::map<std::string, std::string> before = Pages(40, 10, 16, 1024);
    for (const auto& [name, contents] : before) {
        tree.Write(name, contents);
        replaced.Write(name, contents);
    }
    const auto replacement = [](const TempTree& where) {
        return std::vector<std::string>{"--location", where.Root(),    "--term",
                                        "Alt",        "--replacement", "Neu!",
                                        "--mask",     "*.txt",         "--recursive"};
    };
    std::vector<std::string> replace = replacement(replaced);
    replace.insert(replace.begin(), "replace");
    ASSERT_EQ(cli.Run(replace), 0) << cli.Errors();
    const std::map<std::string, std::string> after = replaced.Files();
    ASSERT_EQ(after, Replaced(before));
    const std::string list = lists.Path("aenderungen.jsonl");
    std::vector<std::string> preview = replacement(tree);
    preview.insert(preview.begin(), {"replace", "--preview", "--changes", list});
    ASSERT_EQ(cli.Run(preview), 0) << cli.Errors();
    ASSERT_EQ(tree.Files(), before);

    const std::vector<std::string> apply = {"apply", "--changes", list};
    const double applyTime = RunTimed(cli, apply);
    ASSERT_EQ(tree.Files(), after);
    ASSERT_EQ(cli.Run({"undo"}), 0) << cli.Errors();
    ASSERT_EQ(tree.Files(), before);

    std::mt19937 random(29);
    // Rounds go on until a few kills have landed while files were rewritten.
    int midRun = 0;
    int round = 0;
    for (; round < 45 && (round < 15 || midRun < 3); ++round) {
        const std::string moment = "in round " + std::to_string(round);
        if (cli.RunAndKill(apply, KillDelay(round, applyTime, random))) {
            ++figures.applyKills;
        }
        ExpectOldOrNew(tree, before, after, "after the killed apply " + moment);
        const std::size_t changed = ChangedFiles(tree, before);
        midRun += changed > 0 && changed < before.size() ? 1 : 0;
        ASSERT_NO_FATAL_FAILURE(UndoEveryRun(cli, moment));
        ASSERT_EQ(VisibleFiles(tree), before) << moment;
    }
    EXPECT_GE(midRun, 3) << "kills while files were rewritten, in " << round << " rounds";

    // To its end, apply clears the temporaries of the killed ones.
    ASSERT_EQ(cli.Run(apply), 0) << cli.Errors();
    EXPECT_EQ(tree.Files(), after);
    ASSERT_EQ(cli.Run({"undo"}), 0) << cli.Errors();
    EXPECT_EQ(tree.Files(), before);
}

// A journal that was damaged after its run is refused whole and changes no file. What a killed
// run leaves is no damage: a torn last line names a file that was never rewritten, so the lines
// before it are applied, and a run killed before its first words were in place changed nothing
// and must not stand in the way of the runs before it.
TEST(FaultTest, DamagedJournalIsRefusedWholeButWhatAKillLeavesIsNot) {
    enum class Undone { Nothing, AllButTheTornLine, All };
    struct Case {
        const char* damage;
        std::function<void(const std::string& run)> apply;
        Undone undone;
    };
    const Case cases[] = {
        {"changed byte in entries",
         [](const std::string& run) { FlipMiddleByte(run + "/entries"); }, Undone::Nothing},
        {"missing copy", [](const std::string& run) { std::remove((run + "/f1").c_str()); },
         Undone::Nothing},
        {"changed byte in copy", [](const std::string& run) { FlipMiddleByte(run + "/f1"); },
         Undone::Nothing},
        {"changed info", [](const std::string& run) { FlipMiddleByte(run + "/info"); },
         Undone::Nothing},
        // What a run killed while it wrote its last entry leaves: a torn line and no record
        // of the run's end.
        {"torn last line",
         [](const std::string& run) {
             std::remove((run + "/finished").c_str());
             const std::string entries = ReadFile(run + "/entries");
             ASSERT_GE(entries.size(), 2u);
             const std::size_t last = entries.rfind('\n', entries.size() - 2) + 1;
             Overwrite(run + "/entries", entries.substr(0, last + (entries.size() - last) / 2));
         },
         Undone::AllButTheTornLine},
        // What a replacement killed while it wrote its info leaves: a newer run directory with
        // only the hidden temporary of that info.
        {"later run killed before its info",
         [](const std::string& run) {
             const std::string later = run.substr(0, run.rfind('/')) + "/99991231-235959-0-1";
             ASSERT_EQ(mkdir(later.c_str(), 0700), 0);
             Overwrite(later + "/.info.trawlex-AbCdEf", "started=");
         },
         Undone::All},
    };
    const std::map<std::string, std::string> before = {{"a.txt", "Alt eins"},
                                                       {"b.txt", "zwei Alt"},
                                                       {"unter/c.txt", "Alt, Alt"},
                                                       {"unter/d.txt", "vier\r\nAlt"}};
    const std::map<std::string, std::string> after = Replaced(before);
    for (const Case& test : cases) {
        const TempTree tree;
        const Cli cli;
        for (const auto& [name, contents] : before) {
            tree.Write(name, contents);
        }
        ASSERT_EQ(cli.Run({"replace", "--location", tree.Root(), "--term", "Alt", "--replacement",
                           "Neu!", "--mask", "*.txt", "--recursive"}),
                  0)
            << cli.Errors();
        const std::string run = RunDirectory(cli.JournalRoot());
        ASSERT_FALSE(run.empty());
        // The file of the last line, the one a torn line no longer lists.
        const std::string entries = ReadFile(run + "/entries");
        const std::string lastLine = entries.substr(entries.rfind('\n', entries.size() - 2) + 1);
        std::string lastFile;
        for (const auto& [name, contents] : before) {
            lastFile = lastLine.find(tree.Path(name) + " ") != std::string::npos ? name : lastFile;
        }
        ASSERT_FALSE(lastFile.empty()) << lastLine;
        test.apply(run);
        figures.malformed += 1;

        const int status = cli.Run({"undo"});
        if (test.undone == Undone::Nothing) {
            EXPECT_NE(status, 0) << test.damage;
            const std::string named = "Rückgängig-Protokoll „" + run + "“ ist beschädigt";
            EXPECT_NE(cli.Errors().find(named), std::string::npos) << test.damage << "\n"
                                                                   << cli.Errors();
            EXPECT_EQ(tree.Files(), after) << test.damage;
            continue;
        }
        EXPECT_EQ(status, 0) << test.damage << "\n" << cli.Errors();
        std::map<std::string, std::string> restored = before;
        if (test.undone == Undone::AllButTheTornLine) {
            restored[lastFile] = after.at(lastFile);
        }
        EXPECT_EQ(tree.Files(), restored) << test.damage;
    }
}

TEST(FaultTest, WritesThatCannotHappenKeepTheOldFileAndAreReported) {
    const TempTree tree;
    tree.Write("schreibgeschuetzt.txt", "Alt");
    tree.Write("ordner/im-geschuetzten-ordner.txt", "Alt");
    tree.Write("frei.txt", "Alt");
    ASSERT_EQ(chmod(tree.Path("schreibgeschuetzt.txt").c_str(), 0444), 0);
    ASSERT_EQ(chmod(tree.Path("ordner").c_str(), 0555), 0);
    FakeUi ui;
    EXPECT_EQ(ReplaceLocation(ui, {tree.RootText(), QStringLiteral("Alt"), QStringLiteral("Neu"),
                                   QStringLiteral("*.txt"), CompareMode::Exact, Scope::Tree}),
              CommandOutcome::Incomplete);
    figures.faults += 2;
    chmod(tree.Path("ordner").c_str(), 0755);
    EXPECT_EQ(ReadFile(tree.Path("schreibgeschuetzt.txt")), "Alt");
    EXPECT_EQ(ReadFile(tree.Path("ordner/im-geschuetzten-ordner.txt")), "Alt");
    EXPECT_EQ(ReadFile(tree.Path("frei.txt")), "Neu");
    ASSERT_EQ(ui.messages.size(), 1);
    EXPECT_TRUE(ui.messages[0].contains(QStringLiteral("schreibgeschuetzt.txt")));
    EXPECT_TRUE(ui.messages[0].contains(QStringLiteral("im-geschuetzten-ordner.txt")));

    // A report that cannot be created is named, and so is a location that is a file.
    const std::pair<std::string, std::string> searches[] = {
        {tree.Root(), tree.Path("fehlt/bericht.htm")},
        {tree.Root(), tree.Path("ordner")},
        {tree.Path("frei.txt"), tree.Path("bericht.htm")},
    };
    for (const auto& [location, target] : searches) {
        FakeUi searchUi;
        Form1 form;
        const bool inTree = location == tree.Root();
        EXPECT_EQ(
            SearchLocation(searchUi, {QString::fromStdString(location), QStringLiteral("Alt"),
                                      QString::fromStdString(target), QStringLiteral("*.txt")}),
            inTree ? CommandOutcome::Failed : CommandOutcome::Refused);
        ASSERT_EQ(searchUi.messages.size(), 1);
        const std::string& named = inTree ? target : location;
        EXPECT_TRUE(searchUi.messages[0].contains(QString::fromStdString(named)));
        EXPECT_EQ(access(tree.Path("bericht.htm").c_str(), F_OK), -1);
        ++figures.faults;
    }
}

TEST(FaultTest, TreesFullOfThingsThatAreNoPlainFiles) {
    const TempTree tree;
    tree.Write("leer.txt", "");
    tree.Write("ohne-zeilenende.txt", "Fund");
    tree.Write("a b#1%&<\"'.txt", "Fund");
    tree.Write(std::string("kaputt-\xFF\xFE.txt"), "Fund");
    ASSERT_EQ(mkfifo(tree.Path("fifo.txt").c_str(), 0644), 0);
    const int sock = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string socketPath = tree.Path("socket.txt");
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", socketPath.c_str());
    ASSERT_EQ(bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    const bool device = mknod(tree.Path("geraet.txt").c_str(), S_IFCHR | 0644, makedev(1, 3)) == 0;
    ASSERT_EQ(symlink("schleife-b", tree.Path("schleife-a.txt").c_str()), 0);
    ASSERT_EQ(symlink("schleife-a.txt", tree.Path("schleife-b").c_str()), 0);
    ASSERT_EQ(symlink("gibt-es-nicht", tree.Path("haengend.txt").c_str()), 0);
    tree.MakeDirectory("unter");
    ASSERT_EQ(symlink(tree.Root().c_str(), tree.Path("unter/zurueck").c_str()), 0);
    // A sparse file of more than 2 GiB with the term at its very end.
    const std::string huge = tree.Path("riesig.txt");
    {
        const int file = open(huge.c_str(), O_WRONLY | O_CREAT, 0644);
        ASSERT_GE(file, 0);
        ASSERT_EQ(pwrite(file, "Fund", 4, (5LL << 29)), 4);
        close(file);
    }
    figures.faults += device ? 8 : 7;

    FakeUi ui;
    const std::string text = SearchedReport(tree, "Fund", "*.txt", ui);
    EXPECT_NE(text.find("riesig.txt</A></TD><TD ALIGN=Right>2684354561</TD><td> 1</td>"),
              std::string::npos);
    EXPECT_NE(text.find(">2684354564</TD></TR>"), std::string::npos);
    EXPECT_NE(text.find("a b%231%25&amp;&lt;&quot;'.txt\">"), std::string::npos);
    EXPECT_NE(text.find("a b#1%&amp;&lt;&quot;'.txt</A>"), std::string::npos);
    EXPECT_NE(text.find("kaputt-\xFF\xFE.txt</A>"), std::string::npos) << "shown as Windows-1252";
    EXPECT_NE(text.find("<B>4</B> Fundstellen in <B>5</B>"), std::string::npos);
    EXPECT_TRUE(ui.messages.isEmpty()) << ui.messages.join(u'\n').toStdString();
    close(sock);
    std::remove(huge.c_str());
    // Clearing the tree afterwards must stay inside it and cannot name bytes that are no UTF-8.
    std::remove(tree.Path("unter/zurueck").c_str());
    std::remove(tree.Path("kaputt-\xFF\xFE.txt").c_str());
}

// Small malformed settings files and profiles are the settings and profile fuzz corpora's, whose
// replays check the same; here are the two that are too big to keep there.
TEST(FaultTest, HugeSettingsAndProfilesAreReadWithoutHarm) {
    Form1 form;
    FakeUi ui;
    ApplySettings(
        form, ui,
        "[Trawlex]\rHTML-Browser=\rSearchPath=\nSearchKey=" + std::string(10u << 20, 'x'));
    EXPECT_EQ(form.TexSuchbegriff.text.size(), 10 << 20);
    EXPECT_NE(form.Optgrossklein, form.OptIGNORE);
    std::string manyTerms;
    for (int index = 0; index < 100000; ++index) {
        manyTerms += "t" + std::to_string(index) + (index % 2 == 0 ? "\r\n" : ",");
    }
    EXPECT_EQ(ReadSearchTerms(manyTerms).size(), 100000U);
    EXPECT_EQ(ReadReplacePairs(manyTerms).pairs.size(), 50000U);
    figures.malformed += 2;
}

// The report holds only its own tags, whatever the searched files contain.
TEST(FaultTest, HostileContentLeavesNoMarkupInTheReport) {
    const TempTree tree;
    tree.Write("a.htm", "<title></td><script>alert(1)</script></title>Fund");
    tree.Write("b.htm", "<title><img src=x onerror=alert(1)></title>Fund");
    tree.Write("<svg onload=alert(1)>.htm", "Fund");
    Form1 form;
    form.TexSuchbegriff.text = QStringLiteral("Fund\"><script>");
    form.TexSuchort.text = tree.RootText() + QStringLiteral("<b>");
    form.ComDateifilter.text = QStringLiteral("*.htm");
    FakeUi ui;
    const QString report = QString::fromStdString(tree.Path("bericht.txt"));
    ASSERT_EQ(SearchLocation(
                  ui, {tree.RootText(), QStringLiteral("Fund"), report, form.ComDateifilter.text}),
              CommandOutcome::Completed);
    const std::string html = ReadFile(report.toStdString());
    const std::set<std::string> own = {"HTML",  "/HTML", "HEAD", "/HEAD", "meta",   "BODY",
                                       "/BODY", "H1",    "/h1",  "TABLE", "/TABLE", "P",
                                       "/P",    "TR",    "/TR",  "/tr",   "TD",     "/TD",
                                       "td",    "/td",   "B",    "/B",    "a",      "/A"};
    int rows = 0;
    for (std::size_t open = html.find('<'); open != std::string::npos;
         open = html.find('<', open + 1)) {
        const std::size_t end = html.find_first_of(" >", open + 1);
        ASSERT_NE(end, std::string::npos);
        const std::string name = html.substr(open + 1, end - open - 1);
        EXPECT_EQ(own.count(name), 1U) << "foreign tag <" << name;
        rows += name == "TR" ? 1 : 0;
    }
    EXPECT_EQ(rows, 7 + 3) << "the summary, the column heads and one row per hit";
    figures.faults += 3;
}

// A careless or hostile command line: whatever is wrong is named, nothing is written, and the
// exit status says it was not done.
TEST(FaultTest, EveryRefusalOfTheCommandLineNamesWhatIsWrong) {
    const TempTree tree;
    const std::string root = tree.Root();
    tree.Write("ort/a.txt", "Fund");
    tree.Write("profil.txt", "\"Fund\",\"Neu\"\r\n");
    tree.Write("utf16.txt", std::string("\xFF\xFE\"\0F\0\"\0,\0\"\0N\0\"\0", 16));
    tree.Write("kaputt.ini", "[Trawlx]\r\n");
    tree.Write("klammer.txt", "\"Fund\",\"x\"\r\n\"[F\",\"y\"\r\n");
    tree.MakeDirectory("ordner");
    const std::string report = tree.Path("bericht.htm");
    const std::vector<std::string> place = {"--location", tree.Path("ort"), "--report", report};
    struct Case {
        std::vector<std::string> arguments;
        int exit;
        std::string said;
    };
    const Case cases[] = {
        {{"search-profile", "--profile", "fehlt.txt", "--mask", "*.txt"}, 1, "fehlt.txt"},
        {{"replace-profile", "--profile", "ordner", "--mask", "*.txt"}, 1, "ist ein Verzeichnis"},
        {{"search-profile", "--profile", root + "ordner/", "--mask", "*.txt"},
         1,
         "ist ein Verzeichnis"},
        {{"replace-profile", "--profile", "utf16.txt", "--mask", "*.txt"}, 1, "Nullbyte"},
        {{"search-profile", "--profile", "utf16.txt", "--mask", "*.txt"}, 1, "Zeile 1"},
        {{"search", "--settings", "kaputt.ini"}, 1, "„kaputt.ini"},
        {{"search", "--settings", "ordner"}, 1, "Verzeichnis"},
        {{"search", "--term", "", "--mask", "*.txt"}, 2, "--term ist leer"},
        {{"search", "--term", "Fund", "--mask", ""}, 2, "--mask ist leer"},
        {{"replace", "--term", "Fund", "--replacement", "x", "--mask", ";"}, 1, "„;"},
        {{"search", "--term", "Fund", "--mask", "*.[tx]"}, 1, "Zeichenklassen"},
        {{"search-profile", "--profile", "profil.txt", "--mask", " ; "}, 1, "kein Muster"},
        {{"search", "--regex", "--term", "Fund(", "--mask", "*.txt"}, 2, "Stelle 6"},
        {{"replace", "--regex", "--term", "(F)und", "--replacement", "$2", "--mask", "*.txt"},
         2,
         "„2“"},
        {{"replace-profile", "--regex", "--profile", "klammer.txt", "--mask", "*.txt"},
         2,
         "eckige Klammer"},
    };
    const Cli cli;
    for (const Case& each : cases) {
        std::vector<std::string> arguments = each.arguments;
        arguments.insert(arguments.end(), place.begin(), place.end());
        if (arguments[0].starts_with("replace")) {
            arguments.erase(arguments.end() - 2,
                            arguments.end());  // a replacement writes no report
        }
        EXPECT_EQ(cli.Run(arguments, root), each.exit) << arguments[0] << " " << arguments[2];
        EXPECT_NE(cli.Errors().find(each.said), std::string::npos)
            << each.said << " in: " << cli.Errors();
        EXPECT_EQ(access(report.c_str(), F_OK), -1) << "no report for " << arguments[2];
        EXPECT_EQ(ReadFile(tree.Path("ort/a.txt")), "Fund");
        ++figures.malformed;
    }
    // A bare profile name is a file of the working directory.
    EXPECT_EQ(cli.Run({"replace-profile", "--profile", "profil.txt", "--location", tree.Path("ort"),
                       "--mask", "*.txt"},
                      root),
              0)
        << cli.Errors();
    EXPECT_EQ(ReadFile(tree.Path("ort/a.txt")), "Neu");

    // A pattern that backtracks without end in one file is stopped there; that file is named and
    // the others are searched.
    tree.Write("ort/b.txt", std::string(40, 'a') + "!");
    EXPECT_EQ(cli.Run({"search", "--regex", "--term", "(a+)+$|Ne.", "--mask", "*.txt", "--location",
                       tree.Path("ort"), "--report", report}),
              1);
    EXPECT_NE(cli.Errors().find("b.txt"), std::string::npos) << cli.Errors();
    EXPECT_NE(ReadFile(report).find("a.txt</A>"), std::string::npos);
    ++figures.faults;
}

// However a tree leads to a file again (a second link to its directory, a link to the file, a
// second name, a path deeper than the kernel takes at once), a search lists it once and a
// replacement changes it at most once; one it must not change is named.
TEST(FaultTest, EachFileIsTakenOnceHoweverTheTreeLeadsToIt) {
    struct Case {
        const char* what;
        std::function<void(const TempTree&)> build;
        int rows;           // in the search report
        std::string after;  // of "ziel/a.txt" after replacing "foo" by "foofoo"
        std::string said;   // in the replacement's message
    };
    constexpr int kDeepLevels = 21;  // 21 * 201 characters: beyond the 4096 of one call
    const Case cases[] = {
        {"two links to one directory",
         [](const TempTree& tree) {
             ASSERT_EQ(symlink("ziel", tree.Path("l1").c_str()), 0);
             ASSERT_EQ(symlink("../ziel", tree.Path("b/l2").c_str()), 0);
         },
         1, "foofoo", ""},
        {"a link to the file",
         [](const TempTree& tree) {
             ASSERT_EQ(symlink("a.txt", tree.Path("ziel/b.txt").c_str()), 0);
         },
         1, "foofoo", ""},
        {"a second name",
         [](const TempTree& tree) {
             ASSERT_EQ(link(tree.Path("ziel/a.txt").c_str(), tree.Path("b/zweit.txt").c_str()), 0);
         },
         1, "foo", "harte Links"},
        {"a path deeper than the limit",
         [](const TempTree& tree) { WriteDeep(tree.Path("b"), kDeepLevels, "foo"); }, 2, "foofoo",
         "nur gesucht"},
    };
    for (const Case& each : cases) {
        const TempTree tree;
        tree.Write("ziel/a.txt", "foo");
        tree.MakeDirectory("b");
        each.build(tree);
        FakeUi ui;
        EXPECT_NE(SearchedReport(tree, "foo", "*.txt", ui)
                      .find("<B>" + std::to_string(each.rows) + "</B> Fundstelle"),
                  std::string::npos)
            << each.what;
        FakeUi replaceUi;
        const CommandOutcome replaced = ReplaceLocation(
            replaceUi, {tree.RootText(), QStringLiteral("foo"), QStringLiteral("foofoo"),
                        QStringLiteral("*.txt"), CompareMode::Exact, Scope::Tree});
        EXPECT_EQ(replaced,
                  each.said.empty() ? CommandOutcome::Completed : CommandOutcome::Incomplete)
            << each.what;
        EXPECT_EQ(ReadFile(tree.Path("ziel/a.txt")), each.after) << each.what;
        if (!each.said.empty()) {
            ASSERT_FALSE(replaceUi.messages.isEmpty()) << each.what;
            EXPECT_TRUE(replaceUi.messages.back().contains(QString::fromStdString(each.said)))
                << replaceUi.messages.back().toStdString();
        }
        ++figures.faults;
        if (std::string_view(each.what).starts_with("a path deeper")) {
            RemoveDeep(tree.Path("b"), kDeepLevels);  // too deep for the temporary tree to clear
        }
    }
}

// SIGTERM, SIGINT and SIGHUP stop a replacement as Esc does: the current file is finished, no
// temporary file is left, every file is old or new, and what was done is said.
TEST(FaultTest, SignalsStopAReplacementAfterTheCurrentFile) {
    for (const int signalNumber : {SIGTERM, SIGINT, SIGHUP}) {
        const TempTree tree;
        std::map<std::string, std::string> before;
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
            const std::string run = RunDirectory(cli.JournalRoot());
            struct stat entries {};
            if (!run.empty() && stat((run + "/entries").c_str(), &entries) == 0 &&
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
        const std::map<std::string, std::string> files = tree.Files();
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

// A report or preview that cannot be written whole (the disk fills, here a file-size limit)
// leaves the report that was there before and no temporary file, and the person is told.
TEST(FaultTest, AReportThatCannotBeWrittenWholeKeepsTheOldOne) {
    const TempTree tree;
    for (int index = 0; index < 200; ++index) {
        tree.Write("ort/f" + std::to_string(index) + ".txt", "Fund");
    }
    const QString report = QString::fromStdString(tree.Path("bericht.htm"));
    const std::string old = "der Bericht von gestern";
    struct Case {
        const char* what;
        rlim_t limit;
        bool preview;
    };
    const Case cases[] = {
        {"the header", 100, false},
        {"a row", 4000, false},
        {"the preview page", 4000, true},
    };
    std::signal(SIGXFSZ, SIG_IGN);
    for (const Case& each : cases) {
        Overwrite(report.toStdString(), old);
        Form1 form;
        FakeUi ui;
        rlimit before{};
        getrlimit(RLIMIT_FSIZE, &before);
        rlimit limited = before;
        limited.rlim_cur = each.limit;
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
        ReplaceJob preview{QString::fromStdString(tree.Path("ort")), QStringLiteral("Fund"),
                           QStringLiteral("Neu"), QStringLiteral("*.txt")};
        preview.action = ReplaceAction::Preview;
        preview.target = report;
        const CommandOutcome outcome =
            each.preview
                ? ReplaceLocation(ui, preview)
                : SearchLocation(ui, {QString::fromStdString(tree.Path("ort")),
                                      QStringLiteral("Fund"), report, QStringLiteral("*.txt")});
        setrlimit(RLIMIT_FSIZE, &before);
        EXPECT_EQ(outcome, CommandOutcome::Failed) << each.what;
        EXPECT_EQ(ReadFile(report.toStdString()), old) << each.what;
        EXPECT_EQ(tree.Files().size(), 201U) << "no temporary file beside " << each.what;
        ASSERT_FALSE(ui.messages.isEmpty()) << each.what;
        EXPECT_TRUE(ui.messages.join(u'\n').contains(report)) << each.what;
        ++figures.faults;
    }
    std::signal(SIGXFSZ, SIG_DFL);
}

// A link in the report leads to its file whatever the name holds: what a browser cannot read
// back is percent-encoded, the rest stays readable.
TEST(FaultTest, ReportLinksLeadToEveryName) {
    const TempTree tree;
    const std::pair<std::string, std::string> names[] = {
        {"zwei\nzeilen.txt", "zwei%0Azeilen.txt"},
        {"tab\tund\rcr.txt", "tab%09und%0Dcr.txt"},
        {"k\xE4se.txt", "k%E4se.txt"},
        {"k\xC3\xA4se.txt", "k\xE4se.txt"},
        {"100% #1?.txt", "100%25 %231%3F.txt"},
    };
    for (const auto& [name, link] : names) {
        tree.Write(name, "Fund");
    }
    FakeUi ui;
    const std::string html = SearchedReport(tree, "Fund", "*.txt", ui);
    for (const auto& [name, link] : names) {
        EXPECT_NE(html.find("href=\"file://" + tree.Root() + link + "\""), std::string::npos)
            << link;
        ++figures.malformed;
    }
    for (const auto& [name, link] : names) {
        std::remove(tree.Path(name).c_str());  // names that are no UTF-8 cannot be cleared by Qt
    }
}

}  // namespace
}  // namespace trawlex
