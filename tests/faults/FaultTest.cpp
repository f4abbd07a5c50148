// Nothing lost, nothing let in: writes that fail, files that are no files, trees that lead to a
// file twice, malformed inputs and hostile content. Each case checks that every file holds its
// old or its new contents and that the person is told what went wrong. The figures of a run are
// printed at the end for the README's table.

#include "app/Form1.h"
#include "app/Settings.h"
#include "profiles/SearchProfile.h"
#include "replace/Ersatzroutinen.h"
#include "replace/ReplaceProfile.h"
#include "search/SearchCommand.h"
#include "search/Suchroutinen.h"

#include "ReportTags.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace trawlex {
namespace {

using test::FakeUi;
using test::ReadFile;
using test::TempTree;

struct Figures {
    int faults = 0;
    int malformed = 0;
    ~Figures() {
        std::printf("Zuverlässigkeit: %d Fehler eingespeist, %d fehlerhafte Eingaben\n", faults,
                    malformed);
    }
};
Figures figures;

// A search of the tree for `term` in the files of `mask`, subdirectories included; its report,
// written into the tree as "bericht.htm", is returned.
std::string SearchedReport(const TempTree& tree, const char* term, const char* mask, FakeUi& ui) {
    const QString report = QString::fromStdString(tree.Path("bericht.htm"));
    EXPECT_EQ(SearchLocation(ui, {tree.RootText(), QString::fromUtf8(term), report,
                                  QString::fromUtf8(mask), CompareMode::Exact, Scope::Tree}),
              CommandOutcome::Completed);
    return ReadFile(report.toStdString());
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
}

// Beside the plain files, whatever else a tree holds is passed over; and a link in the report
// leads to its file whatever the name holds: what a browser cannot read back is percent-encoded,
// the rest stays readable.
TEST(FaultTest, TreesFullOfThingsThatAreNoPlainFiles) {
    const TempTree tree;
    tree.Write("leer.txt", "");
    tree.Write("ohne-zeilenende.txt", "Fund");
    const std::pair<std::string, std::string> names[] = {
        {"a b#1%&<\"'.txt", "a b%231%25&amp;&lt;&quot;'.txt"},
        {"zwei\nzeilen.txt", "zwei%0Azeilen.txt"},
        {"tab\tund\rcr.txt", "tab%09und%0Dcr.txt"},
        {"k\xE4se.txt", "k%E4se.txt"},
        {"k\xC3\xA4se.txt", "k\xE4se.txt"},
        {"100% #1?.txt", "100%25 %231%3F.txt"},
        {"kaputt-\xFF\xFE.txt", "kaputt-%FF%FE.txt"},
    };
    for (const auto& [name, link] : names) {
        tree.Write(name, "Fund");
    }
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
    for (const auto& [name, link] : names) {
        EXPECT_NE(text.find("href=\"file://" + tree.Root() + link + "\""), std::string::npos)
            << link;
        ++figures.malformed;
    }
    EXPECT_NE(text.find("a b#1%&amp;&lt;&quot;'.txt</A>"), std::string::npos);
    EXPECT_NE(text.find("kaputt-\xFF\xFE.txt</A>"), std::string::npos) << "shown as Windows-1252";
    EXPECT_NE(text.find("<B>9</B> Fundstellen in <B>10</B>"), std::string::npos);
    EXPECT_TRUE(ui.messages.isEmpty()) << ui.messages.join(u'\n').toStdString();
    close(sock);
    std::remove(huge.c_str());
    // Clearing the tree afterwards must stay inside it and cannot name bytes that are no UTF-8.
    std::remove(tree.Path("unter/zurueck").c_str());
    for (const auto& [name, link] : names) {
        std::remove(tree.Path(name).c_str());
    }
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
    // The report's head names the hostile term and location of the form.
    ASSERT_EQ(SearchLocation(ui, {.location = tree.RootText(),
                                  .term = QStringLiteral("Fund"),
                                  .target = report,
                                  .mask = form.ComDateifilter.text,
                                  .summary = ReportSummaryOf(form, CompareMode::Exact)}),
              CommandOutcome::Completed);
    const test::ReportTags tags = test::TagsOf(ReadFile(report.toStdString()));
    EXPECT_EQ(tags.foreign, std::vector<std::string>{});
    EXPECT_EQ(tags.rows, 7U + 3U) << "the summary, the column heads and one row per hit";
    figures.faults += 3;
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
        SCOPED_TRACE(each.what);
        const TempTree tree;
        tree.Write("ziel/a.txt", "foo");
        tree.MakeDirectory("b");
        each.build(tree);
        FakeUi ui;
        EXPECT_NE(SearchedReport(tree, "foo", "*.txt", ui)
                      .find("<B>" + std::to_string(each.rows) + "</B> Fundstelle"),
                  std::string::npos);
        FakeUi replaceUi;
        const CommandOutcome replaced = ReplaceLocation(
            replaceUi, {tree.RootText(), QStringLiteral("foo"), QStringLiteral("foofoo"),
                        QStringLiteral("*.txt"), CompareMode::Exact, Scope::Tree});
        EXPECT_EQ(replaced,
                  each.said.empty() ? CommandOutcome::Completed : CommandOutcome::Incomplete);
        EXPECT_EQ(ReadFile(tree.Path("ziel/a.txt")), each.after);
        if (!each.said.empty()) {
            ASSERT_FALSE(replaceUi.messages.isEmpty());
            EXPECT_TRUE(replaceUi.messages.back().contains(QString::fromStdString(each.said)))
                << replaceUi.messages.back().toStdString();
        }
        ++figures.faults;
        if (std::string_view(each.what).starts_with("a path deeper")) {
            RemoveDeep(tree.Path("b"), kDeepLevels);  // too deep for the temporary tree to clear
        }
    }
}

// A report or preview that cannot be made (its directory is missing, it is a directory) or
// cannot be written whole (the disk fills, here a file-size limit) leaves the report that was
// there before and no temporary file, and the person is told; so is a location that is a file.
TEST(FaultTest, AReportThatCannotBeWrittenKeepsTheOldOne) {
    const TempTree tree;
    for (int index = 0; index < 200; ++index) {
        tree.Write("ort/f" + std::to_string(index) + ".txt", "Fund");
    }
    tree.MakeDirectory("ordner");
    struct Case {
        const char* what;
        const char* location;
        const char* target;
        rlim_t limit;  // 0: none
        bool preview;
        CommandOutcome outcome;
    };
    const Case cases[] = {
        {"a missing directory", "ort", "fehlt/bericht.htm", 0, false, CommandOutcome::Failed},
        {"a directory", "ort", "ordner", 0, false, CommandOutcome::Failed},
        {"the header", "ort", "bericht.htm", 100, false, CommandOutcome::Failed},
        {"a row", "ort", "bericht.htm", 4000, false, CommandOutcome::Failed},
        {"the preview page", "ort", "bericht.htm", 4000, true, CommandOutcome::Failed},
        {"a location that is a file", "ort/f0.txt", "bericht.htm", 0, false,
         CommandOutcome::Refused},
    };
    const std::string old = "der Bericht von gestern";
    std::signal(SIGXFSZ, SIG_IGN);
    for (const Case& each : cases) {
        SCOPED_TRACE(each.what);
        tree.Write("bericht.htm", old);
        FakeUi ui;
        const QString location = QString::fromStdString(tree.Path(each.location));
        const QString target = QString::fromStdString(tree.Path(each.target));
        ReplaceJob preview{location, QStringLiteral("Fund"), QStringLiteral("Neu"),
                           QStringLiteral("*.txt")};
        preview.action = ReplaceAction::Preview;
        preview.target = target;
        rlimit before{};
        getrlimit(RLIMIT_FSIZE, &before);
        rlimit limited = before;
        limited.rlim_cur = each.limit == 0 ? before.rlim_cur : each.limit;
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
        const CommandOutcome outcome = each.preview
                                           ? ReplaceLocation(ui, preview)
                                           : SearchLocation(ui, {location, QStringLiteral("Fund"),
                                                                 target, QStringLiteral("*.txt")});
        setrlimit(RLIMIT_FSIZE, &before);
        EXPECT_EQ(outcome, each.outcome);
        EXPECT_EQ(ReadFile(tree.Path("bericht.htm")), old);
        EXPECT_EQ(tree.Files().size(), 201U) << "no temporary file is left";
        EXPECT_TRUE(ui.messages.join(u'\n').contains(
            each.outcome == CommandOutcome::Refused ? location : target));
        ++figures.faults;
    }
    std::signal(SIGXFSZ, SIG_DFL);
}

}  // namespace
}  // namespace trawlex
