#include "search/Matching.h"

#include <gtest/gtest.h>

#include <string>

namespace trawlex {
namespace {

using namespace std::string_literals;

struct CountCase {
    std::string contents;
    std::string term;
    CompareMode mode;
    std::int64_t first;
    std::int64_t count;
};

TEST(MatchingTest, FirstPositionAndNonOverlappingCount) {
    const CountCase cases[] = {
        {"aaaa", "aa", CompareMode::Exact, 1, 2},
        {"xxab", "ab", CompareMode::Exact, 3, 1},
        {"aaa", "aa", CompareMode::Exact, 1, 1},
        {"fund FUND Fund", "Fund", CompareMode::Exact, 11, 1},
        {"fund FUND Fund", "Fund", CompareMode::IgnoreCase, 1, 3},
        {"x\xC4rger \xE4rger", "\xE4rger", CompareMode::IgnoreCase, 2, 2},
        {"ab", "abc", CompareMode::Exact, 0, 0},
        {"", "a", CompareMode::Exact, 0, 0},
        {"end", "d", CompareMode::Exact, 3, 1},
        {"a\0a\0a"s, "\0a"s, CompareMode::Exact, 2, 2},
        {"anything", "", CompareMode::Exact, 0, 0},
    };
    for (const CountCase& test : cases) {
        const Finder finder(test.term, test.mode);
        const FileMatch match = MatchContents(test.contents, finder);
        EXPECT_EQ(match.firstPosition, test.first) << test.contents << " / " << test.term;
        EXPECT_EQ(match.count, test.count) << test.contents << " / " << test.term;
        EXPECT_EQ(match.IsHit(), test.first != 0);
    }
}

TEST(MatchingTest, TitleIsCopiedAsItStandsBetweenTheFirstTags) {
    struct TitleCase {
        std::string contents;
        std::optional<std::string> title;
    };
    const TitleCase cases[] = {
        {"<TITLE>Haus</TITLE>", "Haus"},
        {"<title> a &amp; b & c </title>", " a &amp; b & c "},
        {"<Title>zwei\r\nZeilen <b>fett</b></tItLe>", "zwei\r\nZeilen <b>fett</b>"},
        {"<TITLE></TITLE>", ""},
        {"<TITLE>eins</TITLE><TITLE>zwei</TITLE>", "eins"},
        {"<TITLE>offen", std::nullopt},
        {"zu</TITLE>", std::nullopt},
        {"</TITLE>x<TITLE>verkehrt", std::nullopt},
        {"kein Titel", std::nullopt},
    };
    for (const TitleCase& test : cases) {
        const auto title = FindTitle(test.contents);
        ASSERT_EQ(title.has_value(), test.title.has_value()) << test.contents;
        if (title) {
            EXPECT_EQ(std::string(*title), *test.title);
        }
    }
}

TEST(MatchingTest, TitleIsTakenOnlyForHitsAndWhateverTheExtension) {
    const std::string contents = "<TITLE>T</TITLE> Fund";
    EXPECT_FALSE(MatchContents(contents, Finder("nix", CompareMode::Exact)).title.has_value());
    EXPECT_EQ(MatchContents(contents, Finder("Fund", CompareMode::Exact)).title, "T");
}

}  // namespace
}  // namespace trawlex
