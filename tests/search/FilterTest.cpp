#include "app/Form1.h"
#include "replace/ReplaceCommand.h"
#include "search/SearchCommand.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <set>
#include <string>

namespace trawlex {
namespace {

using test::LocalMoment;
using test::ReadFile;

// The files of the rows, relative to the location, in report order.
std::set<std::string> RowFiles(const std::string& report, const std::string& root) {
    std::set<std::string> files;
    const std::string marker = "</A></TD>";
    for (std::size_t end = report.find(marker); end != std::string::npos;
         end = report.find(marker, end + 1)) {
        const std::size_t start = report.rfind('>', end) + 1;
        files.insert(report.substr(start + root.size(), end - start - root.size()));
    }
    return files;
}

void SetModified(const std::string& path, std::time_t moment) {
    const struct timespec times[2] = {{moment, 0}, {moment, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

// A site as people search it: pages beside backups, a node_modules holding most of the tree,
// a link that leads into it under another name, files at the size and date bounds.
void FillSite(const test::TempTree& tree) {
    const std::time_t midsummer = LocalMoment(2026, 6, 30, 18, 0, 0);
    for (const char* name : {"index.htm", "alt/seite.htm", "node_modules/paket/a.htm",
                             "node_modules/b.htm", ".git/c.htm", "Alt2020/d.htm"}) {
        SetModified(tree.Write(name, "<TITLE>t</TITLE>Fund"), midsummer - 3600);
    }
    SetModified(tree.Write("index.htm.bak", "Fund"), midsummer - 3600);
    SetModified(tree.Write("index.htm~", "Fund"), midsummer - 3600);
    SetModified(tree.Write("eintausend.txt", "Fund" + std::string(1020, ' ')), midsummer);
    SetModified(tree.Write("mehr.txt", "Fund" + std::string(1021, ' ')), midsummer + 1);
    SetModified(tree.Write("wort.txt", "Fundstelle, Fund_2"), midsummer - 3600);
    SetModified(tree.Write("bild.bin", std::string("Fund\0\x01\x02", 7)), midsummer - 3600);
    ASSERT_EQ(symlink("node_modules", tree.Path("verweis").c_str()), 0);
}

class FilterTest : public test::CommandTest {
protected:
    void SetUp() override {
        FillSite(tree);
        form.TexSuchbegriff.text = QStringLiteral("Fund");
        form.ComDateifilter.text = QStringLiteral("*");
        form.CheckRekursiv = 1;
    }

    std::set<std::string> Hits() {
        EXPECT_EQ(butSuchen_Click(form, ui), CommandOutcome::Completed)
            << ui.messages.join(u'\n').toStdString();
        return RowFiles(Report(), tree.Root());
    }
};

const std::set<std::string> kEverything = {
    "index.htm",          "alt/seite.htm", "node_modules/paket/a.htm",
    "node_modules/b.htm", ".git/c.htm",    "Alt2020/d.htm",
    "index.htm.bak",      "index.htm~",    "eintausend.txt",
    "mehr.txt",           "bild.bin",      "wort.txt"};

std::set<std::string> Without(std::set<std::string> files, const std::set<std::string>& out) {
    for (const std::string& file : out) {
        files.erase(file);
    }
    return files;
}

// Each filter leaves out exactly its files, in the search and in the replacement alike, and
// the report names it in a row of its own; without one the report has none of those rows.
TEST_F(FilterTest, EachFilterLeavesOutItsFilesInSearchAndReplacement) {
    struct Row {
        const char* name;
        std::function<void(Form1&)> set;
        std::set<std::string> hits;
        std::string summaryRow;
    };
    const Row rows[] = {
        {"none", [](Form1&) {}, kEverything, ""},
        {"excluded files", [](Form1& f) { f.TexAusnahmen = QStringLiteral("*.bak; *~"); },
         Without(kEverything, {"index.htm.bak", "index.htm~"}),
         "Ausnahmen:</B></TD><TD colspan=\"2\">*.bak; *~</TD></TR>"},
        // The link leads into node_modules under another name; the walk does not follow it in.
        {"excluded directories",
         [](Form1& f) { f.TexOrdnerAuslassen = QStringLiteral("node_modules; .git; alt*"); },
         Without(kEverything, {"node_modules/paket/a.htm", "node_modules/b.htm", ".git/c.htm",
                               "alt/seite.htm", "Alt2020/d.htm"}),
         "Ordner auslassen:</B></TD><TD colspan=\"2\">node_modules; .git; alt*</TD></TR>"},
        {"size bounds inclusive",
         [](Form1& f) {
             f.TexGroesseAb = QStringLiteral("1K");
             f.TexGroesseBis = QStringLiteral("1024");
         },
         {"eintausend.txt"},
         "Gr\xF6\xDF"
         "e:</B></TD><TD colspan=\"2\">ab 1K, bis 1K</TD></TR>"},
        {"newer is at or after",
         [](Form1& f) { f.TexGeaendertAb = QStringLiteral("30.06.2026 18:00"); },
         {"eintausend.txt", "mehr.txt"},
         "Ge\xE4ndert:</B></TD><TD colspan=\"2\">ab 30.06.2026 18:00:00</TD></TR>"},
        {"older is before",
         [](Form1& f) { f.TexGeaendertVor = QStringLiteral("2026-06-30 18:00"); },
         Without(kEverything, {"eintausend.txt", "mehr.txt"}),
         "Ge\xE4ndert:</B></TD><TD colspan=\"2\">vor 30.06.2026 18:00:00</TD></TR>"},
        {"whole words", [](Form1& f) { f.CheckGanzesWort = 1; }, Without(kEverything, {"wort.txt"}),
         "Nur ganze W\xF6rter:</B></TD><TD colspan=\"2\">Ja</TD></TR>"},
        {"binary files", [](Form1& f) { f.CheckBinaerAuslassen = 1; },
         Without(kEverything, {"bild.bin"}),
         "Bin\xE4rdateien:</B></TD><TD colspan=\"2\">ausgelassen</TD></TR>"},
    };
    const Form1 plain = form;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        form = plain;
        row.set(form);
        EXPECT_EQ(Hits(), row.hits);
        const std::string report = Report();
        if (row.summaryRow.empty()) {
            EXPECT_EQ(report.find("Ausnahmen:"), std::string::npos);
            EXPECT_EQ(report.find("Ge\xE4ndert:"), std::string::npos);
        } else {
            EXPECT_NE(report.find(row.summaryRow), std::string::npos) << report;
        }
    }
    // The replacement walks alike; a binary file is never rewritten, with or without the option.
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        test::TempTree copy;
        form = plain;
        row.set(form);
        FillSite(copy);
        form.TexSuchort.text = copy.RootText();
        form.TexErsatzbegriff = QStringLiteral("Neu");
        ui.messages.clear();
        // The preview page names the filters as the report does.
        butVorschau_Click(form, ui);
        const std::string page = ReadFile(PreviewPagePath(form).toStdString());
        EXPECT_EQ(
            page.find(row.summaryRow.empty() ? "Ausnahmen:" : row.summaryRow) != std::string::npos,
            !row.summaryRow.empty());
        butErsetzen_Click(form, ui);
        std::set<std::string> changed;
        for (const auto& [name, bytes] : copy.Files()) {
            if (bytes.find("Neu") != std::string::npos) {
                changed.insert(name);
            }
        }
        EXPECT_EQ(changed, Without(row.hits, {"bild.bin"}));
    }
}

// A value that cannot be used is refused before a report is written, naming field and value.
TEST_F(FilterTest, UnusableValuesAreRefusedBeforeAnythingIsWritten) {
    struct Row {
        std::function<void(Form1&)> set;
        const char* named;
    };
    const Row rows[] = {
        {[](Form1& f) { f.TexGroesseAb = QStringLiteral("10X"); },
         "\u201E10X\u201C f\u00FCr \u201EGr\u00F6\u00DFe ab\u201C"},
        {[](Form1& f) { f.TexGroesseBis = QStringLiteral("-1"); }, "\u201E-1\u201C"},
        {[](Form1& f) { f.TexGeaendertAb = QStringLiteral("31.02.2026"); },
         "\u201E31.02.2026\u201C f\u00FCr \u201EGe\u00E4ndert ab\u201C"},
        {[](Form1& f) { f.TexGeaendertVor = QStringLiteral("2026-06-30 25:00"); }, "25:00"},
        {[](Form1& f) {
             f.TexGroesseAb = QStringLiteral("2M");
             f.TexGroesseBis = QStringLiteral("1M");
         },
         "keine Datei"},
        {[](Form1& f) {
             f.TexGeaendertAb = QStringLiteral("2026-07-01");
             f.TexGeaendertVor = QStringLiteral("2026-07-01");
         },
         "keine Datei"},
        {[](Form1& f) { f.TexOrdnerAuslassen = QStringLiteral(" ; "); }, "Ordner auslassen"},
        {[](Form1& f) { f.TexAusnahmen = QStringLiteral("[ab].htm"); }, "[ab].htm"},
    };
    const Form1 plain = form;
    for (const Row& row : rows) {
        form = plain;
        row.set(form);
        ui.messages.clear();
        EXPECT_EQ(butSuchen_Click(form, ui), CommandOutcome::Refused);
        EXPECT_EQ(butErsetzen_Click(form, ui), CommandOutcome::Refused);
        ASSERT_EQ(ui.messages.size(), 2);
        EXPECT_TRUE(ui.messages.front().contains(QString::fromUtf8(row.named)))
            << ui.messages.front().toStdString();
        EXPECT_EQ(access(form.TexZieldatei.toStdString().c_str(), F_OK), -1);
    }
    EXPECT_EQ(tree.Files().at("index.htm"), "<TITLE>t</TITLE>Fund");
}

}  // namespace
}  // namespace trawlex
