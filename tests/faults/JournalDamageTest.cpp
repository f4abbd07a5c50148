// Journals that were damaged, tampered with or are still in use: undo refuses what it cannot
// trust and says which run it is, takes back a run that was killed, and the pruning of old runs
// removes nothing but finished journals of the person's own.

#include "common/files/PathAccess.h"
#include "common/files/RunLock.h"
#include "common/text/PathText.h"
#include "replace/Undo.h"
#include "replace/UndoCommand.h"

#include "Cli.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace trawlex {
namespace {

using test::Cli;
using test::ReadFile;
using test::TempTree;

using Files = std::map<std::string, std::string>;

// Two runs: the older rewrites a.txt, the newer b.txt and c.txt, so that each can be taken back
// without the other.
const Files kBefore = {{"a.txt", "eins"}, {"b.txt", "Alt zwei"}, {"c.txt", "Alt drei"}};
const Files kAfterFirst = {{"a.txt", "EINS"}, {"b.txt", "Alt zwei"}, {"c.txt", "Alt drei"}};
const Files kAfterBoth = {{"a.txt", "EINS"}, {"b.txt", "Neu zwei"}, {"c.txt", "Neu drei"}};
const Files kOnlySecond = {{"a.txt", "eins"}, {"b.txt", "Neu zwei"}, {"c.txt", "Neu drei"}};

void Overwrite(const std::string& path, const std::string& bytes) {
    const FileDescriptor file(open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600));
    ASSERT_EQ(write(file.get(), bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
}

void Cut(const std::string& path, off_t size) {
    ASSERT_EQ(truncate(path.c_str(), size), 0) << path;
}

void FlipMiddleByte(const std::string& path) {
    std::string bytes = ReadFile(path);
    ASSERT_FALSE(bytes.empty()) << path;
    bytes[bytes.size() / 2] = static_cast<char>(bytes[bytes.size() / 2] ^ 0x01);
    Overwrite(path, bytes);
}

// What a case finds and leaves: the journal root, the two runs (the newer empty until it ran),
// and descriptors it holds until the undo has run.
struct Scene {
    std::string docs;  // a directory of the person's outside every journal
    std::string location;
    std::string root;
    std::string older;
    std::string newer;
    std::vector<FileDescriptor> held;
    std::vector<RunLock> running;  // replacements registered as running
};

void HoldRun(Scene& scene, const std::string& run) {
    FileDescriptor descriptor(open(run.c_str(), O_RDONLY | O_DIRECTORY));
    ASSERT_EQ(flock(descriptor.get(), LOCK_EX | LOCK_NB), 0);
    scene.held.push_back(std::move(descriptor));
}

// A journal damaged after its run is refused whole, naming it, and changes no file. What a
// killed run leaves is no damage: a torn last line names a file that was never rewritten, so the
// lines before it are applied, and a run killed before its first words were in place changed
// nothing and must not stand in the way of the runs before it.
TEST(JournalDamageTest, UndoRefusesWhatItCannotTrustAndPruningTouchesOnlyJournals) {
    struct Case {
        const char* what;
        std::function<void(Scene&)> damage;  // to the newer run, before the undo
        int exit;
        const char* said;
        const Files& left;
        bool listedDamaged;
        bool skipDamaged = false;
        bool tornLine = false;  // the file of the last line stays as the newer run left it
        std::function<void(Scene&)> beforeSecond = nullptr;  // keeps the journal to one run
    };
    const auto entries = [](const Scene& scene) { return scene.newer + "/entries"; };
    const auto firstLine = [entries](const Scene& scene) {
        const std::string text = ReadFile(entries(scene));
        return static_cast<off_t>(text.find('\n') + 1);
    };
    const Case cases[] = {
        {"entries cut at a line", [&](Scene& scene) { Cut(entries(scene), firstLine(scene)); }, 3,
         "ist beschädigt (Einträge unvollständig", kAfterBoth, true},
        {"entries cut mid-line", [&](Scene& scene) { Cut(entries(scene), firstLine(scene) + 20); },
         3, "Es ist der Lauf vom ", kAfterBoth, true},
        {"entries emptied", [&](Scene& scene) { Cut(entries(scene), 0); }, 3, "--skip-damaged",
         kAfterBoth, true},
        {"changed byte in entries", [&](Scene& scene) { FlipMiddleByte(entries(scene)); }, 3,
         "ist beschädigt", kAfterBoth, true},
        {"changed byte in a copy", [](Scene& scene) { FlipMiddleByte(scene.newer + "/f1"); }, 3,
         "ist beschädigt", kAfterBoth, false},
        {"changed byte in info", [](Scene& scene) { FlipMiddleByte(scene.newer + "/info"); }, 3,
         "ist beschädigt", kAfterBoth, true},
        {"a saved copy missing",
         [](Scene& scene) { ASSERT_EQ(unlink((scene.newer + "/f1").c_str()), 0); }, 3,
         "fehlt oder stimmt nicht", kAfterBoth, false},
        {"entries a FIFO",
         [&](Scene& scene) {
             ASSERT_EQ(unlink(entries(scene).c_str()), 0);
             ASSERT_EQ(mkfifo(entries(scene).c_str(), 0600), 0);
         },
         3, "„entries“ ist keine Datei", kAfterBoth, true},
        {"a damaged run skipped when asked", [&](Scene& scene) { Cut(entries(scene), 0); }, 0,
         "Er wird übersprungen", kOnlySecond, true, true},
        {"a saved copy missing, skipped when asked",
         [](Scene& scene) { ASSERT_EQ(unlink((scene.newer + "/f1").c_str()), 0); }, 0,
         "fehlt oder stimmt nicht", kOnlySecond, false, true},
        {"entries writable by the group",
         [&](Scene& scene) { ASSERT_EQ(chmod(entries(scene).c_str(), 0620), 0); }, 3,
         "/entries“ gehört nicht Ihnen", kAfterBoth, true},
        {"a killed run has no finish record",
         [](Scene& scene) { ASSERT_EQ(unlink((scene.newer + "/finished").c_str()), 0); }, 0,
         "ist rückgängig gemacht", kAfterFirst, false},
        // What a run killed while it wrote its last entry leaves: a torn line and no record
        // of the run's end.
        {"torn last line",
         [&](Scene& scene) {
             ASSERT_EQ(unlink((scene.newer + "/finished").c_str()), 0);
             const std::string text = ReadFile(entries(scene));
             const std::size_t last = text.rfind('\n', text.size() - 2) + 1;
             Cut(entries(scene), static_cast<off_t>(last + (text.size() - last) / 2));
         },
         0, "ist rückgängig gemacht", kAfterFirst, false, false, true},
        // What a replacement killed while it wrote its info leaves: a newer run directory with
        // only the hidden temporary of that info.
        {"later run killed before its info",
         [](Scene& scene) {
             const std::string later = scene.root + "/99991231-235959-0-1";
             ASSERT_EQ(mkdir(later.c_str(), 0700), 0);
             Overwrite(later + "/.info.trawlex-AbCdEf", "started=");
         },
         0, "ist rückgängig gemacht", kAfterFirst, false},
        {"a run still running", [](Scene& scene) { HoldRun(scene, scene.newer); }, 1, "läuft noch",
         kAfterBoth, false},
        // A replacement registered as running is named by its location and process, as a
        // replacement beside it would be.
        {"a run still running and registered",
         [](Scene& scene) {
             HoldRun(scene, scene.newer);
             auto taken = RunLock::Take({RunKind::Replacement, true, RealPath(scene.location)});
             ASSERT_TRUE(taken.ok());
             scene.running.push_back(std::move(taken.value()));
         },
         1, "l\u00E4uft bereits eine Ersetzung in", kAfterBoth, false},
        {"the undone mark cannot be written",
         [](Scene& scene) { ASSERT_EQ(mkdir((scene.newer + "/undone").c_str(), 0700), 0); }, 2,
         "nicht als rückgängig gemacht vermerkt", kAfterFirst, false},
        // Pruning to one run must neither follow a link named like a run nor take a run that
        // is still running; the older run is then still there to be taken back.
        {"a link in the journal root and a live run", nullptr, 0, "ist rückgängig gemacht",
         kAfterFirst, false, false, false,
         [](Scene& scene) {
             const std::string link = scene.root + "/20000101-000000-000000000-1";
             // The link leads to what looks like a journal: the person's file beside a run's
             // info.
             Overwrite(scene.docs + "/info", ReadFile(scene.older + "/info"));
             ASSERT_EQ(symlink(scene.docs.c_str(), link.c_str()), 0);
             HoldRun(scene, scene.older);
         }},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.what);
        const TempTree tree;
        const TempTree outside;
        // Named like a saved copy, so that only the link keeps pruning away from it.
        const std::string keep = outside.Write("docs/f1", "bleibt");
        const std::string settingsFile =
            outside.Write("Trawlex.INI", "[Trawlex]\n" + std::string(13, '\n') + "UndoRuns=1\n");
        for (const auto& [name, contents] : kBefore) {
            tree.Write(name, contents);
        }
        const Cli cli;
        Scene scene;
        scene.docs = outside.Path("docs");
        scene.location = tree.Root();
        scene.root = cli.JournalRoot();
        ASSERT_EQ(cli.Run({"replace", "--location", tree.Root(), "--term", "eins", "--replacement",
                           "EINS", "--mask", "*.txt"}),
                  0)
            << cli.Errors();
        scene.older = cli.Runs().back();
        std::vector<std::string> second = {"replace", "--location", tree.Root(),
                                           "--term",  "Alt",        "--replacement",
                                           "Neu",     "--mask",     "*.txt"};
        if (test.beforeSecond) {
            test.beforeSecond(scene);
            second.insert(second.end(),
                          {"--settings", settingsFile, "--report", outside.Path("bericht.htm")});
        }
        ASSERT_EQ(cli.Run(second), 0) << cli.Errors();
        scene.newer = cli.Runs().back();
        ASSERT_NE(scene.newer, scene.older);
        // The file of the last line, the one a torn line no longer lists.
        Files left = test.left;
        if (test.tornLine) {
            const std::string text = ReadFile(scene.newer + "/entries");
            const std::string lastLine = text.substr(text.rfind('\n', text.size() - 2) + 1);
            const std::string torn =
                lastLine.find(tree.Path("b.txt") + " ") != std::string::npos ? "b.txt" : "c.txt";
            left[torn] = kAfterBoth.at(torn);
        }
        if (test.damage) {
            test.damage(scene);
        }

        std::vector<std::string> undo = {"undo"};
        if (test.skipDamaged) {
            undo.push_back("--skip-damaged");
        }
        EXPECT_EQ(cli.Run(undo), test.exit) << cli.Errors();
        EXPECT_NE(cli.Errors().find(test.said), std::string::npos) << cli.Errors();
        if (test.exit == 3) {
            EXPECT_NE(cli.Errors().find("Das Rückgängig-Protokoll „" + scene.newer + "“"),
                      std::string::npos)
                << cli.Errors();
        }
        EXPECT_EQ(tree.Files(), left);
        EXPECT_EQ(ReadFile(keep), "bleibt");
        EXPECT_EQ(access(scene.older.c_str(), F_OK), 0);

        // The list shows a damaged run as such instead of hiding it.
        setenv("XDG_STATE_HOME", scene.root.substr(0, scene.root.rfind('/')).c_str(), 1);
        const auto listed = ListUndoRuns();
        ASSERT_TRUE(listed);
        ASSERT_FALSE(listed->empty());
        EXPECT_EQ(listed->front().damaged, test.listedDamaged);
        unsetenv("XDG_STATE_HOME");
    }
}

// Journals are the person's alone whatever the umask: directories 0700, files 0600.
TEST(JournalDamageTest, JournalsAreReadableOnlyByThePerson) {
    const TempTree tree;
    tree.Write("a.txt", "Alt");
    const Cli cli;
    const mode_t old = umask(0);
    const int status = cli.Run({"replace", "--location", tree.Root(), "--term", "Alt",
                                "--replacement", "Neu", "--mask", "*.txt"});
    umask(old);
    ASSERT_EQ(status, 0) << cli.Errors();
    const std::string run = cli.Runs().back();
    for (const std::string& path :
         {cli.JournalRoot(), run, run + "/info", run + "/entries", run + "/finished"}) {
        struct stat info {};
        ASSERT_EQ(stat(path.c_str(), &info), 0) << path;
        EXPECT_EQ(info.st_mode & 0777, S_ISDIR(info.st_mode) ? 0700U : 0600U) << path;
    }
}

}  // namespace
}  // namespace trawlex
