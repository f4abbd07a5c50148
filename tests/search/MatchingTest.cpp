#include "search/Matching.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>

namespace trawlex {
namespace {

struct CountCase {
    std::string contents;
    const char* term;  // UTF-8, as a person types it
    CompareMode mode;
    std::int64_t first;
    std::int64_t count;
};

// ASCII and Windows-1252 texts, the term matched in their code page and positions in bytes, are
// held to a plain search by the matching fuzz target, whose corpus keeps the edge cases: an
// overlap, a term longer than the text, an empty term or text, NUL bytes, folded umlauts.
TEST(MatchingTest, FirstPositionAndNonOverlappingCountInBothEncodings) {
    const CountCase cases[] = {
        // A term that the code page cannot hold is in no such file.
        {"Z\xB3oty", "łoty", CompareMode::IgnoreCase, 0, 0},
        // UTF-8 files: positions count characters, the byte-order mark not among them.
        {"x\u00C4rger \u00E4rger", "ärger", CompareMode::IgnoreCase, 2, 2},
        {"\xEF\xBB\xBFGr\u00F6\u00DFe Gr\u00D6\u00DFE", "größe", CompareMode::IgnoreCase, 1, 2},
        {"\xEF\xBB\xBF\u00E9t\u00E9", "té", CompareMode::Exact, 2, 1},
        {"\u0141\u00F3d\u017A \u0142\u00F3d\u017A", "łódź", CompareMode::IgnoreCase, 1, 2},
        {"\u0430\u0431\u0432 \u0410\u0411\u0412", "АБВ", CompareMode::IgnoreCase, 1, 2},
        {"5 \u20AC und 7 \u20AC", "€", CompareMode::Exact, 3, 2},
    };
    for (const CountCase& test : cases) {
        const TermMatcher matcher(QString::fromUtf8(test.term), test.mode);
        const FileMatch match = MatchContents(test.contents, matcher);
        EXPECT_EQ(match.firstPosition, test.first) << test.contents << " / " << test.term;
        EXPECT_EQ(match.count, test.count) << test.contents << " / " << test.term;
    }
}

TEST(MatchingTest, TermMayBeginWithAZeroWidthNoBreakSpace) {
    // Built without a UTF-8 conversion, which would take the character for a byte-order mark.
    const QString term = QChar(0xFEFF) + QStringLiteral("x\u00E4");
    const FileMatch match =
        MatchContents("a\uFEFFx\u00E4 \uFEFFX\u00C4", TermMatcher(term, CompareMode::IgnoreCase));
    EXPECT_EQ(match.firstPosition, 2);
    EXPECT_EQ(match.count, 2);
}

TEST(MatchingTest, EncodingIsDecidedFromTheBytes) {
    const std::pair<std::string, TextEncoding> cases[] = {
        {"", TextEncoding::Cp1252},
        {"nur ASCII, auch \r\n und \x01", TextEncoding::Cp1252},
        {"\xEF\xBB\xBFnur ASCII", TextEncoding::Utf8},
        {"gr\u00FC\u00DFe", TextEncoding::Utf8},
        {"gr\xFC\xDF"
         "e",
         TextEncoding::Cp1252},
        {"fast \u00FC, dann \xFC", TextEncoding::Cp1252},
        {"abgeschnitten \xC3", TextEncoding::Cp1252},
        {"\xC0\xAF", TextEncoding::Cp1252},  // overlong
        {"\xC3( ohne Folgebyte, dann mehr Text", TextEncoding::Cp1252},
        {"\x80 ohne Anfang, dann mehr Text", TextEncoding::Cp1252},
        {"\xED\xA0\x80", TextEncoding::Cp1252},      // surrogate
        {"\xF4\x90\x80\x80", TextEncoding::Cp1252},  // beyond U+10FFFF
        {"\xE2\x84\xAA \xF0\x9F\x98\x80", TextEncoding::Utf8},
        {"\u00E4" + std::string(9, 'b'), TextEncoding::Utf8},
    };
    // Behind any number of ASCII bytes, so that each sequence also falls inside and across the
    // words and blocks the check reads at a time.
    for (const auto& [bytes, encoding] : cases) {
        const bool marked = bytes.starts_with("\xEF\xBB\xBF");
        for (std::size_t ascii = 0; ascii <= (marked ? 0 : 80); ++ascii) {
            EXPECT_EQ(DetectEncoding(std::string(ascii, 'a') + bytes).encoding, encoding)
                << ascii << " " << bytes;
        }
    }
}

// Feeds the finder windows that hold the bytes it asks to keep, as a file read in pieces does.
std::optional<std::string> TitleInPieces(const std::string& contents, std::size_t piece) {
    TitleFinder finder;
    std::uint64_t keep = 0;
    std::uint64_t end = 0;
    do {
        end = std::min<std::uint64_t>(contents.size(), end + piece);
        const std::uint64_t start = std::min(keep, end);
        finder.Scan(std::string_view(contents).substr(start, end - start), start,
                    end == contents.size());
        keep = std::min(finder.KeepFrom(), end);
    } while (end < contents.size() && !finder.Done());
    const auto span = finder.TitleSpan();
    if (!span) {
        return std::nullopt;
    }
    return contents.substr(span->first, span->second - span->first);
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
        // Read in pieces as small as a byte, a tag is cut at every place.
        for (std::size_t piece = 1; piece <= 8; ++piece) {
            EXPECT_EQ(TitleInPieces(test.contents, piece), test.title)
                << test.contents << " in pieces of " << piece;
        }
    }
}

}  // namespace
}  // namespace trawlex
