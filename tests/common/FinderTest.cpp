#include "common/text/CaseFold.h"
#include "common/text/Cp1252.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace trawlex {
namespace {

constexpr std::size_t npos = Finder::npos;

// The lower-case partner of a byte as Unicode defines it, where the code page holds that
// partner. It is derived independently of the fold table, so the two can be compared.
unsigned char UnicodeLower(unsigned char byte) {
    const QChar lower = DecodeCp1252Byte(byte).toLower();
    const auto encoded = EncodeCp1252(QStringView(&lower, 1));
    return encoded ? static_cast<unsigned char>(encoded->front()) : byte;
}

// The finder is held to a plain search over this table by the matching fuzz target's replays;
// the table itself is held to Unicode here.
TEST(FinderTest, FoldTableAgreesWithUnicodeCasePairs) {
    // Unicode lowers ß to itself and has no case for × and ÷, exactly as the code page pairs.
    for (unsigned byte = 0; byte < 256; ++byte) {
        const auto value = static_cast<unsigned char>(byte);
        EXPECT_EQ(FoldCp1252(value), UnicodeLower(value)) << "byte " << byte;
    }
}

// The case partners of a term's letters are looked for in the first two planes only: no code
// point beyond them may fold to another in the Unicode that Qt brings.
TEST(FinderTest, NoCodePointBeyondTheSecondPlaneFolds) {
    std::size_t folding = 0;
    for (char32_t codePoint = 0x20000; codePoint <= 0x10FFFF; ++codePoint) {
        folding += QChar::toCaseFolded(codePoint) != codePoint ? 1 : 0;
    }
    EXPECT_EQ(folding, 0U);
}

TEST(FinderTest, EdgesOfTermAndTextNeverMatchOrOverrun) {
    // "1\0002" is the three bytes '1', NUL, '2': a term without cased letters.
    const std::string_view withNul("1\0002", 3);
    for (const CompareMode mode : {CompareMode::Exact, CompareMode::IgnoreCase}) {
        SCOPED_TRACE(static_cast<int>(mode));
        EXPECT_EQ(Finder("abcdef", mode).Find("abcdef", 1), npos);
        EXPECT_EQ(Finder("", mode).Find("abc", 1), npos);
        EXPECT_EQ(Finder("c", mode).Find("abc", 2), 2u);
        EXPECT_EQ(Finder("c", mode).Find("abc", 3), npos);
        EXPECT_EQ(Finder("c", mode).Find("abc", 4), npos);
        EXPECT_EQ(Finder("c", mode).Find("abc", npos), npos);
        EXPECT_EQ(Finder(withNul, mode).Find(std::string("x") + std::string(withNul)), 1u);
        EXPECT_EQ(Finder("abcdef", mode).TermLength(), 6u);
    }
}

// The wide loops look at 64 and 16 positions at a time: a term must be found at every offset
// in and across those blocks, in either case, and a near miss before it (the term with its last
// byte wrong) must not count.
TEST(FinderTest, FindsTheTermAtEveryOffsetOfTheWideLoops) {
    struct Case {
        const char* term;
        CompareMode mode;
        const char* placed;  // as it stands in the text
    };
    const Case cases[] = {
        {"PM_RESUME", CompareMode::Exact, "PM_RESUME"},
        {"PM_RESUME", CompareMode::IgnoreCase, "pm_ResUMe"},
        {"Wasserkraft", CompareMode::IgnoreCase, "wASSERKRAFT"},
        {"\xC4rger", CompareMode::IgnoreCase, "\xE4RGER"},
        {"x", CompareMode::Exact, "x"},
    };
    for (const Case& given : cases) {
        const Finder finder(given.term, given.mode);
        const std::string placed = given.placed;
        std::string missed = placed;
        missed.back() = '#';
        for (std::size_t at = 0; at + placed.size() <= 150; ++at) {
            SCOPED_TRACE(std::string(given.term) + " at " + std::to_string(at));
            std::string text(150, '.');
            if (at > missed.size() && placed.size() > 1) {
                text.replace(at - missed.size() - 1, missed.size(), missed);
            }
            text.replace(at, placed.size(), placed);
            EXPECT_EQ(finder.Find(text), at);
            EXPECT_EQ(finder.Find(text, at + 1), npos);
        }
    }
}

}  // namespace
}  // namespace trawlex
