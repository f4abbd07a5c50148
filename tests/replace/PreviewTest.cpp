#include "TestSupport.h"
#include "common/files/Listing.h"
#include "common/text/Cp1252.h"
#include "common/text/Replacement.h"
#include "replace/Ersatzroutinen.h"
#include "replace/Preview.h"

#include <gtest/gtest.h>

#include <unistd.h>

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

// What a preview says of a file: its count, its problems and its part of the page.
std::string Described(const FileOutcome& outcome) {
    std::string text = std::to_string(outcome.replacements) + (outcome.changed ? " +\n" : "\n");
    for (const QString& problem : outcome.problems) {
        text += problem.toStdString() + "\n";
    }
    if (outcome.preview) {
        text += PreviewFileText(1, *outcome.preview);
    }
    return text;
}

struct PiecesCase {
    const char* name;
    std::string text;
    std::vector<ReplacePair> pairs;
    bool regex = false;
    CompareMode mode = CompareMode::Exact;
    bool linked = false;  // the file has a second name
};

// One file's preview as the walk's per-file step makes it: read whole, or in pieces of the size.
FileOutcome PreviewOf(const TempTree& tree, const std::string& path,
                      const std::vector<ReplaceStep>& steps, std::size_t pieceSize = 0) {
    const FileMask mask(u"*.txt"_qs);
    FakeUi ui;
    const LocationBounds bounds(tree.Root());
    const ReplaceRun run{steps, mask, ui, bounds, ReplaceAction::Preview};
    if (pieceSize != 0) {
        return PreviewInPieces({path, path, std::nullopt}, run, pieceSize);
    }
    ReplaceBuffers buffers;
    return ReplaceInFile({path, path, std::nullopt}, run, buffers);
}

// The whole file's preview, and the one read in pieces of each size.
void ExpectSamePreview(const PiecesCase& given, const std::vector<std::size_t>& pieceSizes) {
    SCOPED_TRACE(given.name);
    const TempTree tree;
    const std::string path = tree.Write("datei.txt", given.text);
    if (given.linked) {
        ASSERT_EQ(link(path.c_str(), tree.Path("zweiter.txt").c_str()), 0);
    }
    std::vector<ReplaceStep> steps;
    for (const ReplacePair& pair : given.pairs) {
        auto step = ReplaceStep::Make(pair.term, pair.replacement, given.mode, given.regex);
        ASSERT_TRUE(step) << step.message().toStdString();
        steps.push_back(std::move(step.value()));
    }
    const std::string whole = Described(PreviewOf(tree, path, steps));
    for (const std::size_t pieceSize : pieceSizes) {
        ASSERT_EQ(Described(PreviewOf(tree, path, steps, pieceSize)), whole)
            << "pieces of " << pieceSize;
    }
}

TEST(PreviewTest, PiecesGiveTheWholeFilesPreview) {
    std::string manyLines;
    for (int line = 0; line < 70; ++line) {
        manyLines += "Zeile " + std::to_string(line) + " Alt und Alt\r\n";
    }
    const std::string longUtf8 = test::Repeat("\xC3\xA4", 50) + "Alt" +
                                 test::Repeat("\xE2\x82\xAC", 50) + "\n\xC3\x84lt ALT\n";
    const std::string utf16 = "\xFF\xFE" + std::string("A\0l\0t\0", 6);
    const CompareMode exact = CompareMode::Exact;
    const PiecesCase cases[] = {
        {"Windows-1252, more lines than shown", manyLines, {{u"Alt"_qs, u"Ne\u00FC"_qs}}},
        // Each pair meets what the ones before inserted, and line ends go.
        {"pairs over earlier insertions",
         "abab\r\naab\nba\r\n\r\nbbaa\r\n",
         {{u"a"_qs, u"bc"_qs}, {u"cb"_qs, u"X"_qs}, {u"Xa"_qs, {}}, {u"\r\n"_qs, u"\n"_qs}}},
        {"UTF-8, long line cut between characters",
         longUtf8,
         {{u"alt"_qs, u"\u00DC\u20AC"_qs}},
         false,
         CompareMode::IgnoreCase},
        {"pattern with a template",
         "Name: Meier, Fritz\nName: Huber, Eva\r\nkein Name\n",
         {{u"(\\w+), (\\w+)"_qs, u"$2 $1"_qs}, {u"^Name: "_qs, {}}},
         true},
        {"unencodable, then replaced",
         "Fu\xDF und Alt\r\n",
         {{u"Alt"_qs, u"\u03A9"_qs}, {u"Fu\u00DF"_qs, u"Bein"_qs}}},
        {"UTF-16", utf16, {{u"l"_qs, u"L"_qs}}},
        {"pattern limit",
         std::string(40, 'a') + "cb\n",
         {{u"x"_qs, u"y"_qs}, {u"(a+)+b"_qs, u"-"_qs}},
         true},
        {"hard link", "Alt\n", {{u"Alt"_qs, u"Neu"_qs}}, false, exact, true},
    };
    for (const PiecesCase& given : cases) {
        ExpectSamePreview(given, {1, 3, 16, ChunkReader::kPieceSize});
    }
}

TEST(PreviewTest, PiecesGiveTheWholeFilesPreviewForAnyPairs) {
    // Few letters make occurrences cross pieces and swallow earlier insertions and line ends.
    std::mt19937 random(20261208);
    const std::string letters[] = {"a", "b", "\r", "\n", "\xC3\xA4"};
    const auto word = [&](std::size_t least, std::size_t most) {
        std::string text;
        for (std::size_t count = least + random() % (most - least + 1); count > 0; --count) {
            text += letters[random() % 5];
        }
        return text;
    };
    // Each has a group for the templates; some match empty text, some look beyond the match.
    const QString patterns[] = {u"(a+)"_qs,       u"(b|\r)\n"_qs,   u"(\u00E4?)a"_qs,
                                u"(b)$"_qs,       u"(?m)^(a)"_qs,   u"(a)(b*)"_qs,
                                u"(\n)(?=\n)"_qs, u"([^\n]{3})"_qs, u"(b*)"_qs};
    const QString templates[] = {QString(), u"$0$0"_qs, u"<$1>"_qs, u"\u00E4\n"_qs};
    for (int round = 0; round < 300; ++round) {
        PiecesCase given{"random", word(0, 60), {}};
        given.regex = round % 3 == 2;
        for (int pairs = 1 + static_cast<int>(random() % 3); pairs > 0; --pairs) {
            given.pairs.push_back(given.regex
                                      ? ReplacePair{patterns[random() % std::size(patterns)],
                                                    templates[random() % std::size(templates)]}
                                      : ReplacePair{QString::fromStdString(word(1, 3)),
                                                    QString::fromStdString(word(0, 4))});
        }
        ExpectSamePreview(given, {1 + random() % 8});
        if (HasFatalFailure()) {
            FAIL() << "round " << round;
        }
    }
}

// Its replaced text would not fit the memory a file read whole may take.
TEST(PreviewTest, AFileGrowingBeyondMemoryIsShownToo) {
    const TempTree tree;
    std::string text;
    for (int line = 0; line < 50; ++line) {
        text += "a\n";
    }
    text += std::string(20000, 'Q') + "\n";
    const std::string path = tree.Write("datei.txt", text);
    std::vector<ReplaceStep> steps;
    steps.emplace_back(u"a"_qs, u"b"_qs, CompareMode::Exact);
    steps.emplace_back(u"Q"_qs, QString(1000, u'x'), CompareMode::Exact);
    const FileOutcome outcome = PreviewOf(tree, path, steps);
    EXPECT_TRUE(outcome.problems.empty());
    ASSERT_TRUE(outcome.preview);
    EXPECT_EQ(outcome.replacements, 20050);
    EXPECT_EQ(outcome.preview->lines.size(), kPreviewLinesPerFile);
    EXPECT_EQ(outcome.preview->moreLines, 1);
}

// Each file goes through the walk's own per-file step, as a preview.
TEST(PreviewTest, ChangedLinesShowWhatGoesAndWhatComes) {
    const std::string longLine = std::string(100, 'x') + "Alt" + std::string(100, 'y') + "\n";
    // Text, pairs, the changed lines and the number of replacements.
    using Case = std::tuple<const char*, std::vector<ReplacePair>, std::vector<PreviewLine>, int>;
    const Case cases[] = {
        {"eins Alt\r\nzwei\r\nAlt & Alt\r\n",
         {{u"Alt"_qs, u"Neu"_qs}},
         {{1, "eins <del>Alt</del>", "eins <ins>Neu</ins>"},
          {3, "<del>Alt</del> &amp; <del>Alt</del>", "<ins>Neu</ins> &amp; <ins>Neu</ins>"}},
         3},
        // A changed line end is shown as what it is.
        {"a\r\nb\r\n",
         {{u"\r\n"_qs, u"\n"_qs}},
         {{1, "a<del>&#9229;&#9226;</del>", "a<ins>&#9226;</ins>"},
          {2, "b<del>&#9229;&#9226;</del>", "b<ins>&#9226;</ins>"}},
         2},
        // The pairs act in sequence: what the first inserted, the second changes again.
        {"a b\n",
         {{u"a"_qs, u"b"_qs}, {u"b"_qs, u"c"_qs}},
         {{1, "<del>a</del> <del>b</del>", "<ins>c</ins> <ins>c</ins>"}},
         3},
        {longLine.c_str(),
         {{u"Alt"_qs, QString()}},
         {{1,
           "\xE2\x80\xA6" + std::string(40, 'x') + "<del>Alt</del>" + std::string(40, 'y') +
               "\xE2\x80\xA6",
           "\xE2\x80\xA6" + std::string(40, 'x') + std::string(40, 'y') + "\xE2\x80\xA6"}},
         1},
    };
    for (const auto& [text, pairs, lines, replacements] : cases) {
        SCOPED_TRACE(text);
        const TempTree tree;
        const std::string path = tree.Write("datei.txt", text);
        std::vector<ReplaceStep> steps;
        for (const ReplacePair& pair : pairs) {
            steps.emplace_back(pair.term, pair.replacement, CompareMode::Exact);
        }
        const FileOutcome outcome = PreviewOf(tree, path, steps);
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
    ReplaceJob job{tree.RootText(), {}, {}, u"*.htm"_qs, CompareMode::Exact, Scope::Tree};
    job.pairs = {{u"Fund"_qs, u"Fu"_qs}, {u"Fu\u00DF"_qs, u"Bein"_qs}};
    job.action = ReplaceAction::Preview;
    // Inside the location, as a person may save it: its temporary name is no stale one.
    job.target = tree.RootText() + u"d0/vorschau.html"_qs;
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
