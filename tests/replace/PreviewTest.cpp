#include "TestSupport.h"
#include "common/files/Listing.h"
#include "common/text/Cp1252.h"
#include "common/text/Replacement.h"
#include "replace/Ersatzroutinen.h"
#include "replace/Preview.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <regex>
#include <string>
#include <tuple>
#include <vector>

namespace trawlex {
namespace {

using test::FakeUi;
using test::ReadFile;
using test::TempTree;

TEST(PreviewTest, ComposedEditsTurnTheOriginalIntoWhatThePairsWrite) {
    // Short texts over few letters make pairs overlap, swallow each other's insertions and
    // delete line ends, the cases where composing goes wrong.
    std::mt19937 random(20261207);
    const std::string letters = "ab\r\n";
    const auto word = [&](std::size_t least, std::size_t most) {
        std::string text(least + random() % (most - least + 1), 'a');
        for (char& character : text) {
            character = letters[random() % letters.size()];
        }
        return text;
    };
    for (int round = 0; round < 3000; ++round) {
        const std::string original = word(0, 24);
        std::string current = original;
        std::vector<Edit> edits;
        for (int pairs = 1 + static_cast<int>(random() % 3); pairs > 0; --pairs) {
            const TermMatcher matcher(QString::fromLatin1(word(1, 3)), CompareMode::Exact);
            const EncodedReplacement encoded(QString::fromLatin1(word(0, 3)));
            std::vector<Span> occurrences;
            ReplaceDetails details;
            details.occurrences = &occurrences;
            std::string out;
            if (ReplaceAllInto(current, matcher, encoded, out, &details) ==
                ReplaceOutcome::Replaced) {
                ComposeEdits(edits, current, occurrences, details.inserted);
                current = out;
            }
        }
        // Applied from the back, the edits must lie in order and apart.
        std::string applied = original;
        for (std::size_t index = edits.size(); index-- > 0;) {
            ASSERT_TRUE(index == 0 || edits[index - 1].end <= edits[index].start) << round;
            const Edit& edit = edits[index];
            applied.replace(edit.start, edit.end - edit.start, edit.inserted);
        }
        ASSERT_EQ(applied, current) << "round " << round;
    }
}

// Each file goes through the walk's own per-file step, as a preview.
TEST(PreviewTest, ChangedLinesShowWhatGoesAndWhatComes) {
    const std::string longLine = std::string(100, 'x') + "Alt" + std::string(100, 'y') + "\n";
    // Text, pairs, the changed lines and the number of replacements.
    using Case = std::tuple<const char*, std::vector<ReplacePair>, std::vector<PreviewLine>, int>;
    const Case cases[] = {
        {"eins Alt\r\nzwei\r\nAlt & Alt\r\n",
         {{QStringLiteral("Alt"), QStringLiteral("Neu")}},
         {{1, "eins <del>Alt</del>", "eins <ins>Neu</ins>"},
          {3, "<del>Alt</del> &amp; <del>Alt</del>", "<ins>Neu</ins> &amp; <ins>Neu</ins>"}},
         3},
        // A changed line end is shown as what it is.
        {"a\r\nb\r\n",
         {{QStringLiteral("\r\n"), QStringLiteral("\n")}},
         {{1, "a<del>&#9229;&#9226;</del>", "a<ins>&#9226;</ins>"},
          {2, "b<del>&#9229;&#9226;</del>", "b<ins>&#9226;</ins>"}},
         2},
        // The pairs act in sequence: what the first inserted, the second changes again.
        {"a b\n",
         {{QStringLiteral("a"), QStringLiteral("b")}, {QStringLiteral("b"), QStringLiteral("c")}},
         {{1, "<del>a</del> <del>b</del>", "<ins>c</ins> <ins>c</ins>"}},
         3},
        {longLine.c_str(),
         {{QStringLiteral("Alt"), QString()}},
         {{1,
           "\xE2\x80\xA6" + std::string(40, 'x') + "<del>Alt</del>" + std::string(40, 'y') +
               "\xE2\x80\xA6",
           "\xE2\x80\xA6" + std::string(40, 'x') + std::string(40, 'y') + "\xE2\x80\xA6"}},
         1},
    };
    const FileMask mask(QStringLiteral("*.txt"));
    FakeUi ui;
    for (const auto& [text, pairs, lines, replacements] : cases) {
        SCOPED_TRACE(text);
        const TempTree tree;
        const std::string path = tree.Write("datei.txt", text);
        std::vector<ReplaceStep> steps;
        for (const ReplacePair& pair : pairs) {
            steps.emplace_back(pair.term, pair.replacement, CompareMode::Exact);
        }
        const LocationBounds bounds(tree.Root());
        ReplaceBuffers buffers;
        const FileOutcome outcome = ReplaceInFile(
            {path, path, std::nullopt}, {steps, mask, ui, bounds, ReplaceAction::Preview}, buffers);
        ASSERT_TRUE(outcome.preview);
        EXPECT_EQ(outcome.replacements, replacements);
        ASSERT_EQ(outcome.preview->lines.size(), lines.size());
        for (std::size_t index = 0; index < lines.size(); ++index) {
            const PreviewLine& line = outcome.preview->lines[index];
            EXPECT_EQ(line.number, lines[index].number);
            // The page is Windows-1252; the expectations are written in UTF-8.
            EXPECT_EQ(DecodeCp1252(line.before).toStdString(), lines[index].before);
            EXPECT_EQ(DecodeCp1252(line.after).toStdString(), lines[index].after);
        }
    }
}

// Each count is told independently of the page: the second pair only finds what the files held,
// since every word ends in a blank or a line end.
TEST(PreviewTest, PreviewNamesExactlyTheFilesAndCountsTheReplacementChanges) {
    const TempTree tree;
    std::mt19937 random(7);
    const char* const words[] = {"Fund ", "fund ", "Text ", "Zeile\r\n", "\xDF ", "Fu\xDF "};
    std::map<std::string, std::string> before;
    for (int index = 0; index < 80; ++index) {
        std::string text;
        for (int count = static_cast<int>(random() % 12); count > 0; --count) {
            text += words[random() % 6];
        }
        const std::string name = "d" + std::to_string(index % 4) + "/sub/f" +
                                 std::to_string(index) + (index % 9 == 0 ? ".txt" : ".htm");
        before[tree.Write(name, text)] = text;
    }
    ReplaceJob job{tree.RootText(),    {},         {}, QStringLiteral("*.htm"),
                   CompareMode::Exact, Scope::Tree};
    job.pairs = {{QStringLiteral("Fund"), QStringLiteral("Fu")},
                 {QStringLiteral("Fu\u00DF"), QStringLiteral("Bein")}};
    job.action = ReplaceAction::Preview;
    // Inside the location, as a person may save it: its temporary name is no stale one.
    job.target = tree.RootText() + QStringLiteral("d0/vorschau.html");
    job.journal = false;
    FakeUi ui;
    ASSERT_EQ(ReplaceLocation(ui, job), CommandOutcome::Completed);
    std::map<std::string, std::int64_t> named;
    const std::string page = ReadFile(tree.Path("d0/vorschau.html"));
    const std::regex row("<a href=\"[^\"]*\">([^<]*)</A>: <B>([0-9]+)</B>");
    for (auto match = std::sregex_iterator(page.begin(), page.end(), row);
         match != std::sregex_iterator(); ++match) {
        named[(*match)[1]] = std::stoll((*match)[2]);
    }
    for (const auto& [path, text] : before) {
        ASSERT_EQ(ReadFile(path), text) << "the preview changed " << path;
    }
    job.action = ReplaceAction::Write;
    ASSERT_EQ(ReplaceLocation(ui, job), CommandOutcome::Completed);
    std::map<std::string, std::int64_t> changed;
    const std::regex terms("Fund|Fu\xDF");
    for (const auto& [path, text] : before) {
        if (ReadFile(path) != text) {
            changed[path] =
                std::distance(std::sregex_iterator(text.begin(), text.end(), terms), {});
        }
    }
    EXPECT_FALSE(changed.empty());
    EXPECT_EQ(named, changed);
}

}  // namespace
}  // namespace trawlex
