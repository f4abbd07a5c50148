#include "app/Form1.h"
#include "common/files/ChunkReader.h"
#include "replace/Ersatzroutinen.h"
#include "replace/ReplaceCommand.h"
#include "search/SearchCommand.h"
#include "search/Suchroutinen.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace trawlex {
namespace {

using test::ReadFile;

// The file names of the rows, in report order.
std::vector<std::string> RowFiles(const std::string& report) {
    std::vector<std::string> files;
    const std::string marker = "</A></TD>";
    for (std::size_t end = report.find(marker); end != std::string::npos;
         end = report.find(marker, end + 1)) {
        const std::size_t start = report.rfind('/', end) + 1;
        files.push_back(report.substr(start, end - start));
    }
    return files;
}

class TreeSearchTest : public test::CommandTest {
protected:
    void SetUp() override {
        tree.Write("v.htm", "Fund v");
        tree.Write("a/x.htm", "Fund x");
        tree.Write("a/y.htm", "Fund y");
        tree.Write("a/b/z.htm", "Fund z");
        tree.Write("c/w.htm", "Fund w");
        tree.Write("c/w.txt", "Fund, aber anderer Typ");
        tree.MakeDirectory("leer/tiefer");
        tree.Write("leer/tiefer/t.htm", "Fund t");
        tree.Write(".versteckt/h.htm", "Fund h");
        tree.Write("c/.h.htm", "Fund, versteckte Datei");
        form.TexSuchbegriff.text = QStringLiteral("Fund");
        form.ComDateifilter.text = QStringLiteral("*.htm");
        form.CheckRekursiv = 1;
    }
};

TEST_F(TreeSearchTest, DepthFirstWithFilesBeforeSubdirectoriesAndOneSetOfTotals) {
    ASSERT_EQ(SearchTree(form, ui, CompareMode::Exact), CommandOutcome::Completed);
    const std::string report = Report();
    EXPECT_EQ(RowFiles(report), (std::vector<std::string>{"v.htm", "h.htm", "x.htm", "y.htm",
                                                          "z.htm", "w.htm", "t.htm"}));
    EXPECT_NE(report.find("<TD ALIGN=Right>7</td>"), std::string::npos) << "one numbering";
    EXPECT_NE(report.find("<B>7</B> Fundstellen in <B>7</B> durchsuchten Dateien"),
              std::string::npos);
    EXPECT_NE(report.find(">Ja</TD></TR>"), std::string::npos);
    EXPECT_TRUE(ui.messages.isEmpty());
    // The top directory's rows and those below it spell their date cells apart.
    EXPECT_NE(report.find(tree.Root() +
                          "v.htm</A></TD><TD ALIGN=Right>1</TD><td> 1</td><td>&nbsp</td><TD>"),
              std::string::npos);
    EXPECT_NE(report.find(tree.Root() +
                          "a/x.htm</A></TD><TD ALIGN=Right>1</TD><td> 1</td><td>&nbsp</td><td>"),
              std::string::npos);
}

// A report saved inside the location holds the term; it is neither listed by the next search
// nor rewritten by a replacement.
TEST_F(TreeSearchTest, AReportInsideTheLocationIsNoHitAndIsNeverRewritten) {
    form.TexZieldatei = QString::fromStdString(tree.Path("a/bericht.htm"));
    ASSERT_EQ(SearchTree(form, ui, CompareMode::Exact), CommandOutcome::Completed);
    ASSERT_EQ(SearchTree(form, ui, CompareMode::Exact), CommandOutcome::Completed);
    const std::string report = Report();
    EXPECT_EQ(RowFiles(report).size(), 7U);
    EXPECT_NE(report.find("<B>7</B> Fundstellen in <B>7</B>"), std::string::npos);
    form.TexErsatzbegriff = QStringLiteral("Neu");
    ASSERT_EQ(ReplaceTree(form, ui, CompareMode::Exact), CommandOutcome::Completed);
    EXPECT_EQ(ReadFile(tree.Path("a/x.htm")), "Neu x");
    EXPECT_TRUE(Report() == report);
}

TEST_F(TreeSearchTest, CommandChoosesTheTreeAndStopEndsTheReport) {
    ui.stopAfterYields = 3;
    EXPECT_EQ(butSuchen_Click(form, ui), CommandOutcome::Stopped);
    const std::string report = Report();
    EXPECT_NE(report.find("in <B>3</B> durchsuchten Dateien"), std::string::npos);
    EXPECT_EQ(report.substr(report.size() - 16), "</BODY></HTML>\r\n");
    EXPECT_EQ(form.Status, QStringLiteral("Bereit"));
}

// A stop asked for while a file too big to read whole is read takes effect inside it: the file
// counts among those not searched, and its hit is not reported.
TEST_F(TreeSearchTest, StopInsideABigFileLeavesItUnsearched) {
    tree.Write("a/y.htm", "Fund y" + std::string(kWholeReadLimit, ' '));
    ui.stopInsideFiles = true;
    EXPECT_EQ(SearchTree(form, ui, CompareMode::Exact), CommandOutcome::Stopped);
    const std::string report = Report();
    EXPECT_EQ(RowFiles(report), (std::vector<std::string>{"v.htm", "h.htm", "x.htm"}));
    EXPECT_NE(report.find("in <B>3</B> durchsuchten Dateien"), std::string::npos);
    EXPECT_EQ(ui.workerQuestions, 1);
}

}  // namespace
}  // namespace trawlex
