#include "common/Cp1252.h"
#include "common/Listing.h"
#include "common/Standard.h"
#include "replace/Ersatzroutinen.h"
#include "replace/Preview.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <map>
#include <random>
#include <regex>
#include <string>
#include <vector>

namespace trawlex {
namespace {

using test::FakeUi;
using test::ReadFile;
using test::TempTree;

// Runs the pairs over one file as a preview and as a rewrite would, through the walk's own
// per-file step.
FileOutcome RunOnFile(const TempTree& tree, const std::string& bytes,
                      const std::vector<ReplacePair>& pairs, ReplaceAction action) {
    const std::string path = tree.Write("datei.txt", bytes);
    std::vector<ReplaceStep> steps;
    for (const ReplacePair& pair : pairs) {
        steps.emplace_back(pair.term, pair.replacement, CompareMode::Exact);
    }
    const FileMask mask(QStringLiteral("*.txt"));
    FakeUi ui;
    const LocationBounds bounds(tree.Root());
    ReplaceRun run{steps, mask, ui, bounds, action};
    ReplaceBuffers buffers;
    return ReplaceInFile({path, path, std::nullopt}, run, buffers);
}

// The page is Windows-1252; the expectations are written in UTF-8.
std::string Utf8(const std::string& cp1252) {
    return DecodeCp1252(cp1252).toUtf8().toStdString();
}

std::string Applied(std::string_view original, const std::vector<Edit>& edits) {
    std::string out;
    std::size_t copied = 0;
    for (const Edit& edit : edits) {
        out.append(original.substr(copied, edit.start - copied));
        out += edit.inserted;
        copied = edit.end;
    }
    out.append(original.substr(copied));
    return out;
}

TEST(PreviewTest, ComposedEditsTurnTheOriginalIntoWhatThePairsWrite) {
    // Short texts over few letters make pairs overlap, swallow each other's insertions and
    // delete line ends, the cases where composing goes wrong.
    std::mt19937 random(20261207);
    const std::string letters = "ab\r\n";
    const auto word = [&](std::size_t maximum) {
        std::string text(random() % (maximum + 1), 'a');
        for (char& character : text) {
            character = letters[random() % letters.size()];
        }
        return text;
    };
    for (int round = 0; round < 3000; ++round) {
        const std::string original = word(24);
        std::string current = original;
        std::vector<Edit> edits;
        const int pairs = 1 + static_cast<int>(random() % 3);
        for (int pair = 0; pair < pairs; ++pair) {
            std::string term = word(3);
            if (term.empty()) {
                term = "a";
            }
            const std::string replacement = word(3);
            const TermMatcher matcher(QString::fromLatin1(term), CompareMode::Exact);
            const EncodedReplacement encoded(QString::fromLatin1(replacement));
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
        ASSERT_EQ(Applied(original, edits), current) << "round " << round;
        for (std::size_t index = 1; index < edits.size(); ++index) {
            ASSERT_LE(edits[index - 1].end, edits[index].start) << "round " << round;
        }
    }
}

TEST(PreviewTest, ChangedLinesShowWhatGoesAndWhatComes) {
    struct Case {
        const char* text;
        std::vector<ReplacePair> pairs;
        std::vector<PreviewLine> lines;
        std::int64_t replacements;
    };
    const std::string longLine = std::string(100, 'x') + "Alt" + std::string(100, 'y') + "\n";
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
    for (const Case& test : cases) {
        const TempTree tree;
        const FileOutcome outcome = RunOnFile(tree, test.text, test.pairs, ReplaceAction::Preview);
        ASSERT_TRUE(outcome.preview) << test.text;
        EXPECT_EQ(outcome.replacements, test.replacements) << test.text;
        ASSERT_EQ(outcome.preview->lines.size(), test.lines.size()) << test.text;
        for (std::size_t index = 0; index < test.lines.size(); ++index) {
            const PreviewLine& line = outcome.preview->lines[index];
            EXPECT_EQ(line.number, test.lines[index].number) << test.text;
            // The page is Windows-1252; the expectations are written in UTF-8.
            EXPECT_EQ(Utf8(line.before), test.lines[index].before) << test.text;
            EXPECT_EQ(Utf8(line.after), test.lines[index].after) << test.text;
        }
        EXPECT_EQ(ReadFile(tree.Path("datei.txt")), test.text) << "a preview writes nothing";
    }
}

std::int64_t Occurrences(const std::string& text, const std::string& term) {
    std::int64_t count = 0;
    for (std::size_t at = text.find(term); at != std::string::npos;
         at = text.find(term, at + term.size())) {
        ++count;
    }
    return count;
}

TEST(PreviewTest, PreviewNamesExactlyTheFilesAndCountsTheReplacementChanges) {
    const std::vector<ReplacePair> single = {{QStringLiteral("Fund"), QStringLiteral("Treffer")}};
    const std::vector<ReplacePair> profile = {{QStringLiteral("Fund"), QStringLiteral("Fu")},
                                              {QStringLiteral("Fu\u00DF"), QStringLiteral("Bein")}};
    for (const auto* pairs : {&single, &profile}) {
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
        job.pairs = *pairs;
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
        for (const auto& [path, text] : before) {
            if (ReadFile(path) != text) {
                changed[path] = pairs == &single ? Occurrences(text, "Fund") : named[path];
            }
        }
        EXPECT_FALSE(changed.empty());
        EXPECT_EQ(named, changed);
    }
}

}  // namespace
}  // namespace trawlex
