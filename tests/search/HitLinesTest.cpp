#include "TestSupport.h"
#include "search/HitLines.h"
#include "search/Suchroutinen.h"

#include <gtest/gtest.h>

#include <string>

namespace trawlex {
namespace {

// A shown line as "number:text" with each mark in brackets.
std::string Shown(const HitLine& line) {
    QString text = line.text;
    for (auto mark = line.marks.rbegin(); mark != line.marks.rend(); ++mark) {
        text.insert(mark->start + mark->length, QLatin1Char(']'));
        text.insert(mark->start, QLatin1Char('['));
    }
    return std::to_string(line.number) + ":" + text.toStdString();
}

std::vector<std::string> ShownLines(const FileHitLines& found) {
    std::vector<std::string> shown;
    for (const HitLine& line : found.lines) {
        shown.push_back(Shown(line));
    }
    if (found.moreLines != 0) {
        shown.push_back("+" + std::to_string(found.moreLines));
    }
    return shown;
}

TermMatcher Matcher(const char* term, CompareMode mode, bool regex) {
    auto matcher = MatcherFor(QString::fromUtf8(term), mode, regex);
    EXPECT_TRUE(matcher) << term;
    return std::move(matcher.value());
}

struct LinesCase {
    const char* term;
    CompareMode mode;
    std::string contents;
    std::vector<std::string> expected;
    bool regex = false;
};

TEST(HitLinesTest, LinesAreNumberedAndTheirOccurrencesMarked) {
    const std::string longLine = std::string(3000, 'x') + "Fund" + std::string(3000, 'y');
    const CompareMode exact = CompareMode::Exact;
    const CompareMode ignore = CompareMode::IgnoreCase;
    const LinesCase cases[] = {
        // Several occurrences in one line make one line; CR LF ends a line like LF.
        {"Fund", exact, "kein\r\nFund und Fund\r\nx\r\nFund", {"2:[Fund] und [Fund]", "4:[Fund]"}},
        // UTF-8 and Windows-1252 are decoded; the mark covers the characters, not bytes.
        {"\xC3\xA4rger", ignore, "gro\xC3\x9F\xC3\x84RGER!", {"1:gro\xC3\x9F[\xC3\x84RGER]!"}},
        {"\xC3\xA4rger", exact, "\xE4rger \x80", {"1:[\xC3\xA4rger] \xE2\x82\xAC"}},
        // A searched line break is shown as a symbol at the end of its line.
        {"\r\n",
         exact,
         "a\r\nb\r\n",
         {"1:a[\xE2\x90\x8D\xE2\x90\x8A]", "2:b[\xE2\x90\x8D\xE2\x90\x8A]"}},
        {"\x01", exact, "a\x01z", {"1:a[\xE2\x90\x81]z"}},
        // A pattern: its empty matches mark nothing, a match over lines counts from its start.
        {"Fu+nd|x*", exact, "a\nFuund\n", {"2:[Fuund]"}, true},
        {"b\\nc", exact, "a\nb\nc\nd", {"2:[b\xE2\x90\x8A]"}, true},
        // A very long line is cut around its first occurrence.
        {"Fund",
         exact,
         longLine,
         {"1:\xE2\x80\xA6" + std::string(200, 'x') + "[Fund]" + std::string(1796, 'y') +
          "\xE2\x80\xA6"}},
    };
    for (const LinesCase& test : cases) {
        const TermMatcher term = Matcher(test.term, test.mode, test.regex);
        EXPECT_EQ(ShownLines(HitLinesOf(test.contents, term)), test.expected) << test.term;
    }
    // A UTF-8 file's byte-order mark is no character of its first line, as a script reads it.
    const FileHitLines marked = HitLinesOf(
        "\xEF\xBB\xBF"
        "ab Fund",
        Matcher("Fund", exact, false), 10, LineForm::Plain);
    ASSERT_EQ(marked.lines.size(), 1U);
    EXPECT_EQ(marked.lines[0].column, 4);
    EXPECT_EQ(marked.lines[0].text, QStringLiteral("ab Fund"));
    // Beyond the lines shown, the others are only counted.
    const TermMatcher term = Matcher("a", CompareMode::Exact, false);
    EXPECT_EQ(ShownLines(HitLinesOf("a\nb\na\na\n", term, 1)),
              (std::vector<std::string>{"1:[a]", "+2"}));
}

// A file too big to read whole gives the lines it would give read whole, with the occurrences
// on the edges of the pieces it is read in.
TEST(HitLinesTest, ABigFileGivesTheLinesOfTheWholeFile) {
    std::string contents;
    const std::string filler = "Zeile ohne den Begriff, nur F\xC3\xBCllstoff\n";
    while (contents.size() < (std::size_t{9} << 20)) {
        contents += filler;
        // Around every piece edge of 1 MiB.
        const std::size_t toEdge =
            (std::size_t{1} << 20) - contents.size() % (std::size_t{1} << 20);
        if (toEdge < 200) {
            contents +=
                std::string(toEdge > 3 ? toEdge - 3 : 0, '-') + "\xC3\x84rger\nx\xC3\xA4rger\n";
        }
    }
    const test::TempTree tree;
    const std::string path = tree.Write("gross.txt", contents);
    for (const auto& [term, regex] :
         {std::pair{"\xC3\xA4rger", false}, std::pair{"\xC3\xA4rger\\nx", true}}) {
        const TermMatcher matcher = Matcher(term, CompareMode::IgnoreCase, regex);
        auto streamed = ReadHitLines(path, matcher);
        ASSERT_TRUE(streamed) << streamed.message().toStdString();
        const FileHitLines whole = HitLinesOf(contents, matcher, 100000);
        EXPECT_GT(whole.lines.size(), 8U);
        EXPECT_EQ(ShownLines(streamed.value()), ShownLines(whole)) << term;
    }
}

}  // namespace
}  // namespace trawlex
