#include "app/Form1.h"
#include "common/files/BatchReader.h"
#include "replace/Ersatzroutinen.h"
#include "search/SearchCommand.h"
#include "search/Suchroutinen.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>

namespace trawlex {
namespace {

using test::ReadFile;
using test::TempTree;

// A tree of a few hundred files in both encodings, of many sizes (one beyond the huge-page
// buffers, one too big for a batch), with hits scattered through it.
void FillTree(const TempTree& tree) {
    std::mt19937 random(7);
    const char* pieces[] = {"Fund ",
                            "fund ",
                            "Gr\xF6\xDF"
                            "e ",
                            "Größe ",
                            "<title>T</title>",
                            "text ",
                            "\r\n",
                            "mehr text "};
    for (int index = 0; index < 240; ++index) {
        const std::string directory =
            "d" + std::to_string(index % 7) + "/e" + std::to_string(index % 3) + "/";
        std::string contents;
        const std::size_t pieceCount = 1 + random() % (index % 40 == 0 ? 20000 : 60);
        for (std::size_t piece = 0; piece < pieceCount; ++piece) {
            contents += pieces[random() % 8];
        }
        tree.Write(directory + "f" + std::to_string(index) + (index % 5 == 0 ? ".txt" : ".htm"),
                   contents);
    }
    tree.Write("gross.htm", std::string(5u << 20, 'x') + "Fund");
    tree.Write("mittel.htm", std::string(BatchReader::kLargestRead + 1, 'y') + "Größe");
}

using ParallelTest = test::CommandTest;

TEST_F(ParallelTest, ReportsAndReplacementsAreThoseOfTheSequentialWalk) {
    FillTree(tree);
    form.ComDateifilter.text = QStringLiteral("*.htm");
    form.CheckRekursiv = 1;
    // Files read in batches and each alone, on one thread and on several.
    std::map<std::pair<unsigned, bool>, std::string> byWay;
    for (const bool batches : {false, true}) {
        BatchReader::Allow(batches);
        for (const unsigned workers : {0U, 1U, 3U}) {
            const QString report = reports.RootText() + QString::number(workers);
            ASSERT_EQ(
                SearchLocation(ui, {.location = tree.RootText(),
                                    .term = QStringLiteral("gr\u00F6\u00DFe"),
                                    .target = report,
                                    .mask = form.ComDateifilter.text,
                                    .mode = CompareMode::IgnoreCase,
                                    .scope = Scope::Tree,
                                    .workers = workers,
                                    .summary = ReportSummaryOf(form, CompareMode::IgnoreCase)}),
                CommandOutcome::Completed);
            std::string text = ReadFile(report.toStdString());
            const std::size_t stand = text.find("Stand:");
            text.erase(stand, text.find('\n', stand) - stand);  // the moment of the search differs
            byWay[{workers, batches}] = text;
        }
    }
    BatchReader::Allow(true);
    const std::string& sequential = byWay[{0U, false}];
    EXPECT_NE(sequential.find("<td> 1</td>"), std::string::npos);
    EXPECT_NE(sequential.find("mittel.htm"), std::string::npos);
    for (const auto& [way, text] : byWay) {
        EXPECT_EQ(text, sequential) << way.first << " workers, batches " << way.second;
    }

    std::map<unsigned, std::map<std::string, std::string>> trees;
    for (const unsigned workers : {0U, 1U, 3U}) {
        const TempTree copy;
        FillTree(copy);
        ASSERT_EQ(ReplaceLocation(ui, {copy.RootText(), QStringLiteral("fund"),
                                       QStringLiteral("Treffer \u20AC"), form.ComDateifilter.text,
                                       CompareMode::IgnoreCase, Scope::Tree, workers}),
                  CommandOutcome::Completed);
        trees[workers] = copy.Files();
    }
    EXPECT_NE(trees[0], tree.Files()) << "the replacement changed files";
    EXPECT_EQ(trees[1], trees[0]);
    EXPECT_EQ(trees[3], trees[0]);
}

}  // namespace
}  // namespace trawlex
