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

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QDirIterator>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <random>
#include <set>
#include <string>
#include <thread>

namespace trawlex {
namespace {

using test::FakeUi;
using test::ReadFile;
using test::TempTree;

struct Figures {
    int kills = 0;
    int faults = 0;
    int malformed = 0;
    int lost = 0;
    ~Figures() {
        std::printf(
            "Zuverl\xC3\xA4ssigkeit: %d Abbr\xC3\xBC"
            "che \xC3\xBC"
            "berstanden, %d Fehler eingespeist, "
            "%d fehlerhafte Eingaben, %d Dateien verloren oder besch\xC3\xA4"
            "digt\n",
            kills, faults, malformed, lost);
    }
};
Figures figures;

// Files of a tree with their contents, relative to its root.
std::map<std::string, std::string> Snapshot(const TempTree& tree) {
    std::map<std::string, std::string> files;
    QDirIterator it(tree.RootText(), QDir::Files | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const std::string path = it.next().toStdString();
        files[path.substr(tree.Root().size())] = ReadFile(path);
    }
    return files;
}

std::string Page(int index, std::size_t size) {
    std::string page = "<title>Seite " + std::to_string(index) + "</title>";
    while (page.size() < size) {
        page += "Alt und neu, Alt\r\n";
    }
    return page;
}

TEST(FaultTest, KilledReplacementLeavesEveryFileOldOrNew) {
    const TempTree tree;
    std::map<std::string, std::string> before;
    for (int index = 0; index < 30; ++index) {
        const std::string name =
            "d" + std::to_string(index % 4) + "/f" + std::to_string(index) + ".txt";
        before[name] =
            Page(index, index % 10 == 0 ? 1u << 20 : 2000u + 97u * static_cast<unsigned>(index));
    }
    std::map<std::string, std::string> after;
    for (const auto& [name, contents] : before) {
        std::string replaced = contents;
        for (std::size_t at = replaced.find("Alt"); at != std::string::npos;
             at = replaced.find("Alt", at + 4)) {
            replaced.replace(at, 3, "Neu!");
        }
        after[name] = replaced;
    }
    std::mt19937 random(11);
    const std::string root = tree.Root();
    const char* const arguments[] = {TRAWLEX_CLI_PATH, "replace", "--location",    root.c_str(),
                                     "--term",         "Alt",     "--replacement", "Neu!",
                                     "--mask",         "*.txt",   "--recursive",   nullptr};
    for (int kill = 0; kill < 50; ++kill) {
        for (const auto& [name, contents] : before) {
            tree.Write(name, contents);
        }
        pid_t child = 0;
        ASSERT_EQ(posix_spawn(&child, TRAWLEX_CLI_PATH, nullptr, nullptr,
                              const_cast<char* const*>(arguments), environ),
                  0);
        std::this_thread::sleep_for(std::chrono::microseconds(random() % 25000));
        ::kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);
        ++figures.kills;
        for (const auto& [name, contents] : Snapshot(tree)) {
            if (name.find(".trawlex-") != std::string::npos) {
                continue;  // a temporary file the killed run could not remove
            }
            const bool whole = contents == before[name] || contents == after[name];
            EXPECT_TRUE(whole) << name << " after kill " << kill;
            figures.lost += whole ? 0 : 1;
        }
    }
    // The next run finishes the job and removes what the killed runs left behind.
    FakeUi ui;
    EXPECT_EQ(ReplaceLocation(ui, {tree.RootText(), QStringLiteral("Alt"), QStringLiteral("Neu!"),
                                   QStringLiteral("*.txt"), CompareMode::Exact, Scope::Tree}),
              CommandOutcome::Completed);
    EXPECT_EQ(Snapshot(tree), after);
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

    // A report that cannot be written, and a location that is a file, are named.
    Form1 form;
    form.TexSuchbegriff.text = QStringLiteral("Alt");
    form.ComDateifilter.text = QStringLiteral("*.txt");
    for (const QString& target : {QString::fromStdString(tree.Path("fehlt/bericht.htm")),
                                  QString::fromStdString(tree.Path("ordner"))}) {
        FakeUi reportUi;
        EXPECT_EQ(SearchLocation(form, reportUi,
                                 {tree.RootText(), form.TexSuchbegriff.text, target,
                                  form.ComDateifilter.text}),
                  CommandOutcome::Failed);
        ASSERT_EQ(reportUi.messages.size(), 1);
        EXPECT_TRUE(reportUi.messages[0].contains(target));
        ++figures.faults;
    }
    FakeUi fileUi;
    EXPECT_EQ(
        SearchLocation(form, fileUi,
                       {QString::fromStdString(tree.Path("frei.txt")), form.TexSuchbegriff.text,
                        QString::fromStdString(tree.Path("b.htm")), form.ComDateifilter.text}),
        CommandOutcome::Refused);
    EXPECT_EQ(fileUi.messages.size(), 1);
    ++figures.faults;
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

    Form1 form;
    form.TexSuchbegriff.text = QStringLiteral("Fund");
    form.ComDateifilter.text = QStringLiteral("*.txt");
    form.CheckRekursiv = 1;
    FakeUi ui;
    const QString report = QString::fromStdString(tree.Path("bericht.htm"));
    EXPECT_EQ(SearchLocation(form, ui,
                             {tree.RootText(), form.TexSuchbegriff.text, report,
                              form.ComDateifilter.text, CompareMode::Exact, Scope::Tree}),
              CommandOutcome::Completed);
    const std::string text = ReadFile(report.toStdString());
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

TEST(FaultTest, MalformedSettingsAndProfilesAreReadWithoutHarm) {
    const std::string longLine(10u << 20, 'x');
    std::string manyTerms;
    for (int index = 0; index < 100000; ++index) {
        manyTerms += "t" + std::to_string(index) + (index % 2 == 0 ? "\r\n" : ",");
    }
    const std::string inputs[] = {
        "",
        "[Trawlex]",
        "[Trawlex]\r\nohne Gleichheitszeichen\r\n\r\n",
        std::string("[Trawlex]\r\nSearchKey=a\0b\r\n", 22),
        "[Trawlex]\rHTML-Browser=\rSearchPath=\nSearchKey=" + longLine,
        "\"offen,\r\n\"zu\"nachklapp,,\r\n,\r\n\"\"",
        "\"a\",\"b\"\r\n\"c\"",
        manyTerms,
        "\xEF\xBB\xBF\"Stra\xC3\x9F"
        "e\",\"Strasse\"\n\xFF\xFE",
    };
    for (const std::string& bytes : inputs) {
        Form1 form;
        FakeUi ui;
        ApplySettings(form, ui, bytes);
        EXPECT_NE(form.Optgrossklein, form.OptIGNORE);
        for (const QString& term : ReadSearchTerms(bytes)) {
            EXPECT_FALSE(term.isEmpty());
        }
        for (const ReplacePair& pair : ReadReplacePairs(bytes).pairs) {
            EXPECT_FALSE(pair.term.isEmpty());
        }
        figures.malformed += 3;
    }
    EXPECT_EQ(ReadSearchTerms(manyTerms).size(), 100000U);
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
    ASSERT_EQ(
        SearchLocation(form, ui,
                       {tree.RootText(), QStringLiteral("Fund"), report, form.ComDateifilter.text}),
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

}  // namespace
}  // namespace trawlex
