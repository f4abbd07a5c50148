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

#include <QDir>

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

std::vector<std::string> RunDirectories(const std::string& journalRoot) {
    std::vector<std::string> runs;
    for (const QString& name : QDir(QString::fromStdString(journalRoot))
                                   .entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
        runs.push_back(journalRoot + "/" + name.toStdString());
    }
    return runs;
}

void Overwrite(const std::string& path, const std::string& bytes) {
    const FileDescriptor file(open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600));
    ASSERT_EQ(write(file.get(), bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
}

void Cut(const std::string& path, off_t size) {
    ASSERT_EQ(truncate(path.c_str(), size), 0) << path;
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

TEST(JournalDamageTest, UndoRefusesWhatItCannotTrustAndPruningTouchesOnlyJournals) {
    struct Case {
        const char* what;
        std::function<void(Scene&)> beforeSecond;  // before the newer run, kept to one run
        std::function<void(Scene&)> damage;        // to the newer run, before the undo
        std::vector<std::string> undo;
        int exit;
        const char* said;
        const Files& left;
        bool listedDamaged;
    };
    const auto entries = [](const Scene& scene) { return scene.newer + "/entries"; };
    const auto firstLine = [entries](const Scene& scene) {
        const std::string text = ReadFile(entries(scene));
        return static_cast<off_t>(text.find('\n') + 1);
    };
    const Case cases[] = {
        {"entries cut at a line",
         nullptr,
         [&](Scene& scene) { Cut(entries(scene), firstLine(scene)); },
         {"undo"},
         3,
         "ist beschädigt (Einträge unvollständig",
         kAfterBoth,
         true},
        {"entries cut mid-line",
         nullptr,
         [&](Scene& scene) { Cut(entries(scene), firstLine(scene) + 20); },
         {"undo"},
         3,
         "Es ist der Lauf vom ",
         kAfterBoth,
         true},
        {"entries emptied",
         nullptr,
         [&](Scene& scene) { Cut(entries(scene), 0); },
         {"undo"},
         3,
         "--skip-damaged",
         kAfterBoth,
         true},
        {"entries a FIFO",
         nullptr,
         [&](Scene& scene) {
             ASSERT_EQ(unlink(entries(scene).c_str()), 0);
             ASSERT_EQ(mkfifo(entries(scene).c_str(), 0600), 0);
         },
         {"undo"},
         3,
         "„entries“ ist keine Datei",
         kAfterBoth,
         true},
        {"a damaged run skipped when asked",
         nullptr,
         [&](Scene& scene) { Cut(entries(scene), 0); },
         {"undo", "--skip-damaged"},
         0,
         "Er wird übersprungen",
         kOnlySecond,
         true},
        {"a saved copy missing, skipped when asked",
         nullptr,
         [](Scene& scene) { ASSERT_EQ(unlink((scene.newer + "/f1").c_str()), 0); },
         {"undo", "--skip-damaged"},
         0,
         "fehlt oder stimmt nicht",
         kOnlySecond,
         false},
        {"entries writable by the group",
         nullptr,
         [&](Scene& scene) { ASSERT_EQ(chmod(entries(scene).c_str(), 0620), 0); },
         {"undo"},
         3,
         "/entries“ gehört nicht Ihnen",
         kAfterBoth,
         true},
        {"a killed run has no finish record",
         nullptr,
         [](Scene& scene) { ASSERT_EQ(unlink((scene.newer + "/finished").c_str()), 0); },
         {"undo"},
         0,
         "ist rückgängig gemacht",
         kAfterFirst,
         false},
        {"a run still running",
         nullptr,
         [](Scene& scene) { HoldRun(scene, scene.newer); },
         {"undo"},
         1,
         "läuft noch",
         kAfterBoth,
         false},
        // A replacement registered as running is named by its location and process, as a
        // replacement beside it would be.
        {"a run still running and registered",
         nullptr,
         [](Scene& scene) {
             HoldRun(scene, scene.newer);
             auto taken = RunLock::Take({RunKind::Replacement, true, RealPath(scene.location)});
             ASSERT_TRUE(taken.ok());
             scene.running.push_back(std::move(taken.value()));
         },
         {"undo"},
         1,
         "l\u00E4uft bereits eine Ersetzung in",
         kAfterBoth,
         false},
        {"the undone mark cannot be written",
         nullptr,
         [](Scene& scene) { ASSERT_EQ(mkdir((scene.newer + "/undone").c_str(), 0700), 0); },
         {"undo"},
         2,
         "nicht als rückgängig gemacht vermerkt",
         kAfterFirst,
         false},
        // Pruning to one run must neither follow a link named like a run nor take a run that
        // is still running; the older run is then still there to be taken back.
        {"a link in the journal root and a live run",
         [](Scene& scene) {
             const std::string link = scene.root + "/20000101-000000-000000000-1";
             // The link leads to what looks like a journal: the person's file beside a run's
             // info.
             Overwrite(scene.docs + "/info", ReadFile(scene.older + "/info"));
             ASSERT_EQ(symlink(scene.docs.c_str(), link.c_str()), 0);
             HoldRun(scene, scene.older);
         },
         nullptr,
         {"undo"},
         0,
         "ist rückgängig gemacht",
         kAfterFirst,
         false},
    };
    for (const Case& test : cases) {
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
        scene.older = RunDirectories(scene.root).back();
        std::vector<std::string> second = {"replace", "--location", tree.Root(),
                                           "--term",  "Alt",        "--replacement",
                                           "Neu",     "--mask",     "*.txt"};
        if (test.beforeSecond) {
            test.beforeSecond(scene);
            second.insert(second.end(),
                          {"--settings", settingsFile, "--report", outside.Path("bericht.htm")});
        }
        ASSERT_EQ(cli.Run(second), 0) << test.what << "\n" << cli.Errors();
        scene.newer = RunDirectories(scene.root).back();
        ASSERT_NE(scene.newer, scene.older);
        if (test.damage) {
            test.damage(scene);
        }

        EXPECT_EQ(cli.Run(test.undo), test.exit) << test.what << "\n" << cli.Errors();
        EXPECT_NE(cli.Errors().find(test.said), std::string::npos) << test.what << "\n"
                                                                   << cli.Errors();
        EXPECT_EQ(tree.Files(), test.left) << test.what;
        EXPECT_EQ(ReadFile(keep), "bleibt") << test.what;
        EXPECT_EQ(access(scene.older.c_str(), F_OK), 0) << test.what;

        // The list shows a damaged run as such instead of hiding it.
        setenv("XDG_STATE_HOME", scene.root.substr(0, scene.root.rfind('/')).c_str(), 1);
        const auto listed = ListUndoRuns();
        ASSERT_TRUE(listed) << test.what;
        ASSERT_FALSE(listed->empty()) << test.what;
        EXPECT_EQ(listed->front().damaged, test.listedDamaged) << test.what;
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
    const std::string run = RunDirectories(cli.JournalRoot()).back();
    for (const std::string& path :
         {cli.JournalRoot(), run, run + "/info", run + "/entries", run + "/finished"}) {
        struct stat info {};
        ASSERT_EQ(stat(path.c_str(), &info), 0) << path;
        EXPECT_EQ(info.st_mode & 0777, S_ISDIR(info.st_mode) ? 0700U : 0600U) << path;
    }
}

}  // namespace
}  // namespace trawlex
