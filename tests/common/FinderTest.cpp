#include "common/CaseFold.h"
#include "common/Cp1252.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace trawlex {
namespace {

constexpr std::size_t npos = Finder::npos;

// Test text is written readably in UTF-8 and searched as the code-page bytes of a file.
std::string Bytes(std::string_view utf8) {
    return Cp1252FromUtf8(utf8);
}

// The lower-case partner of a byte as Unicode defines it, where the code page holds that
// partner. It is derived independently of the fold table, so the two can be compared.
unsigned char UnicodeLower(unsigned char byte) {
    const QChar lower = DecodeCp1252Byte(byte).toLower();
    const auto encoded = EncodeCp1252(QStringView(&lower, 1));
    return encoded ? static_cast<unsigned char>(encoded->front()) : byte;
}

// The plain search the Horspool search must agree with: every start position in turn.
std::size_t NaiveFind(std::string_view text, std::string_view term, CompareMode mode,
                      std::size_t from) {
    const auto same = [mode](char left, char right) {
        const auto a = static_cast<unsigned char>(left);
        const auto b = static_cast<unsigned char>(right);
        return mode == CompareMode::Exact ? a == b : UnicodeLower(a) == UnicodeLower(b);
    };
    for (std::size_t start = from; !term.empty() && start + term.size() <= text.size(); ++start) {
        std::size_t index = 0;
        while (index < term.size() && same(text[start + index], term[index])) {
            ++index;
        }
        if (index == term.size()) {
            return start;
        }
    }
    return npos;
}

TEST(FinderTest, FoldTableAgreesWithUnicodeCasePairs) {
    // Unicode lowers ß to itself and has no case for × and ÷, exactly as the code page pairs.
    for (unsigned byte = 0; byte < 256; ++byte) {
        const auto value = static_cast<unsigned char>(byte);
        EXPECT_EQ(FoldCp1252(value), UnicodeLower(value)) << "byte " << byte;
    }
}

TEST(FinderTest, EdgesOfTermAndTextNeverMatchOrOverrun) {
    // "1\0002" is the three bytes '1', NUL, '2': a term without cased letters.
    const std::string_view withNul("1\0002", 3);
    for (const CompareMode mode : {CompareMode::Exact, CompareMode::IgnoreCase}) {
        SCOPED_TRACE(static_cast<int>(mode));
        EXPECT_EQ(Finder("abcdef", mode).Find("abc"), npos);
        EXPECT_EQ(Finder("abcdef", mode).Find("abcdef", 1), npos);
        EXPECT_EQ(Finder("a", mode).Find(""), npos);
        EXPECT_EQ(Finder("", mode).Find(""), npos);
        EXPECT_EQ(Finder("", mode).Find("abc"), npos);
        EXPECT_EQ(Finder("", mode).Find("abc", 1), npos);
        EXPECT_EQ(Finder("c", mode).Find("abc", 2), 2u);
        EXPECT_EQ(Finder("c", mode).Find("abc", 3), npos);
        EXPECT_EQ(Finder("c", mode).Find("abc", 4), npos);
        EXPECT_EQ(Finder("c", mode).Find("abc", npos), npos);
        EXPECT_EQ(Finder(withNul, mode).Find(std::string("x") + std::string(withNul)), 1u);
        EXPECT_EQ(Finder("abcdef", mode).TermLength(), 6u);
    }
}

TEST(FinderTest, AgreesWithPlainSearchOnRandomText) {
    // A small alphabet of case pairs and near-pairs makes both matches and near misses common.
    const std::string alphabet = Bytes("aAbBäÄßÿŸ×÷1");
    std::mt19937 random(20261206);
    const auto pick = [&random](std::size_t below) {
        return std::uniform_int_distribution<std::size_t>(0, below - 1)(random);
    };
    const auto randomText = [&](std::size_t length) {
        std::string text(length, ' ');
        for (char& character : text) {
            character = alphabet[pick(alphabet.size())];
        }
        return text;
    };
    for (int round = 0; round < 4000; ++round) {
        const std::string text = randomText(pick(90));
        std::string term = randomText(pick(7));
        if (round % 2 == 0 && text.size() > term.size()) {
            // Half the terms are taken from the text, so that matches are found often.
            term = text.substr(pick(text.size() - term.size()), term.size());
        }
        const std::size_t from = pick(text.size() + 3);
        for (const CompareMode mode : {CompareMode::Exact, CompareMode::IgnoreCase}) {
            ASSERT_EQ(Finder(term, mode).Find(text, from), NaiveFind(text, term, mode, from))
                << "round " << round << " mode " << static_cast<int>(mode);
        }
    }
}

}  // namespace
}  // namespace trawlex
