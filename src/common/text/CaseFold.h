#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace trawlex {

// How text comparisons treat letter case; the values are those the settings and callers use.
enum class CompareMode : std::int16_t {
    Exact = 0,
    IgnoreCase = 1,
};

// The Windows-1252 single-byte case pairs: A-Z, the Latin-1 letters from 0xC0 to 0xDE (except
// the multiplication sign), and Š, Œ, Ž, Ÿ. Every byte maps to its lower-case partner or itself;
// ß has no single-byte partner and matches only itself.
const std::array<unsigned char, 256>& Cp1252FoldTable();

inline unsigned char FoldCp1252(unsigned char byte) {
    return Cp1252FoldTable()[byte];
}

// Finds a byte string in bytes, exactly or ignoring Windows-1252 letter case. Built once per
// term so that the many files of a walk share its tables.
class Finder {
public:
    static constexpr std::size_t npos = std::string_view::npos;

    Finder(std::string_view term, CompareMode mode);

    // The index of the first occurrence at or after `from`, or npos. An empty term is never
    // found, so callers counting occurrences cannot loop.
    std::size_t Find(std::string_view text, std::size_t from = 0) const;

    std::size_t TermLength() const { return term_.size(); }

private:
    bool MatchesAt(const unsigned char* candidate) const;

    std::string term_;  // folded when the comparison ignores case
    bool folded_ = false;
    // Two bytes of the term that are rare in text, each with both of its cases, looked for
    // together 16 positions at a time; only where both fit is the whole term compared.
    std::size_t rareIndex_[2] = {0, 0};
    unsigned char rareBytes_[2][2] = {{0, 0}, {0, 0}};
};

}  // namespace trawlex
