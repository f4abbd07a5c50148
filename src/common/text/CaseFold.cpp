#include "common/text/CaseFold.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace trawlex {
namespace {

std::array<unsigned char, 256> BuildFoldTable() {
    std::array<unsigned char, 256> table{};
    for (unsigned index = 0; index < 256; ++index) {
        table[index] = static_cast<unsigned char>(index);
    }
    for (unsigned upper = 'A'; upper <= 'Z'; ++upper) {
        table[upper] = static_cast<unsigned char>(upper + 0x20);
    }
    for (unsigned upper = 0xC0; upper <= 0xDE; ++upper) {
        if (upper != 0xD7) {
            table[upper] = static_cast<unsigned char>(upper + 0x20);
        }
    }
    table[0x8A] = 0x9A;  // Š š
    table[0x8C] = 0x9C;  // Œ œ
    table[0x8E] = 0x9E;  // Ž ž
    table[0x9F] = 0xFF;  // Ÿ ÿ
    return table;
}

}  // namespace

const std::array<unsigned char, 256>& Cp1252FoldTable() {
    static const std::array<unsigned char, 256> table = BuildFoldTable();
    return table;
}

namespace {

bool HasCasePartner(unsigned char byte) {
    const auto& table = Cp1252FoldTable();
    if (table[byte] != byte) {
        return true;
    }
    for (unsigned other = 0; other < 256; ++other) {
        if (other != byte && table[other] == byte) {
            return true;
        }
    }
    return false;
}

// How often a byte turns up in ordinary text, roughly: higher means rarer. Letters follow their
// frequency in German and English text; controls and bytes above 127 are rarest.
int Rarity(unsigned char byte) {
    static const std::array<int, 256> table = [] {
        std::array<int, 256> rarity{};
        rarity.fill(250);
        for (unsigned character = 0x21; character < 0x7F; ++character) {
            rarity[character] = 200;  // punctuation
        }
        for (unsigned character = '0'; character <= '9'; ++character) {
            rarity[character] = 150;
        }
        const std::string_view byFrequency = "enisratdhulcgmobwfkzpvjyxq";
        for (std::size_t index = 0; index < byFrequency.size(); ++index) {
            const auto lower = static_cast<unsigned char>(byFrequency[index]);
            rarity[lower] = static_cast<int>(10 + 4 * index);
            rarity[lower - 0x20] = static_cast<int>(100 + index);
        }
        rarity[' '] = 0;
        // In source code, where the terms that hold one are looked for, the commonest byte after
        // the space: a tenth of the bytes of the kernel's drivers.
        rarity['_'] = 5;
        rarity['\n'] = 60;
        rarity['\r'] = 60;
        rarity['<'] = 90;
        rarity['>'] = 90;
        return rarity;
    }();
    return table[byte];
}

// The other case of a folded byte, or the byte itself.
unsigned char OtherCase(unsigned char folded) {
    const auto& table = Cp1252FoldTable();
    for (unsigned byte = 0; byte < 256; ++byte) {
        if (byte != folded && table[byte] == folded) {
            return static_cast<unsigned char>(byte);
        }
    }
    return folded;
}

#if defined(__x86_64__) && defined(__GNUC__)
#define TRAWLEX_WIDE_SCAN 1
// The candidates of 64 positions at a time, where the processor has AVX2; `start` is left where
// the narrower loops go on. A rare byte without a second case (any byte of an exact search) is
// compared once, not twice: the loop is most of a search's own time.
template <bool kFirstTwo, bool kSecondTwo, typename Check>
__attribute__((target("avx2"))) std::size_t ScanWide(const unsigned char* data, std::size_t& start,
                                                     std::size_t last,
                                                     const std::size_t (&index)[2],
                                                     const unsigned char (&bytes)[2][2],
                                                     const Check& check) {
    const __m256i first0 = _mm256_set1_epi8(static_cast<char>(bytes[0][0]));
    const __m256i first1 = _mm256_set1_epi8(static_cast<char>(bytes[0][1]));
    const __m256i second0 = _mm256_set1_epi8(static_cast<char>(bytes[1][0]));
    const __m256i second1 = _mm256_set1_epi8(static_cast<char>(bytes[1][1]));
    const unsigned char* const firsts = data + index[0];
    const unsigned char* const seconds = data + index[1];
    for (; start + 63 <= last; start += 64) {
        __m256i both[2];
        for (int half = 0; half < 2; ++half) {
            const std::size_t at = start + 32 * static_cast<std::size_t>(half);
            const __m256i atFirst =
                _mm256_loadu_si256(reinterpret_cast<const __m256i*>(firsts + at));
            const __m256i atSecond =
                _mm256_loadu_si256(reinterpret_cast<const __m256i*>(seconds + at));
            __m256i first = _mm256_cmpeq_epi8(atFirst, first0);
            if constexpr (kFirstTwo) {
                first = _mm256_or_si256(first, _mm256_cmpeq_epi8(atFirst, first1));
            }
            __m256i second = _mm256_cmpeq_epi8(atSecond, second0);
            if constexpr (kSecondTwo) {
                second = _mm256_or_si256(second, _mm256_cmpeq_epi8(atSecond, second1));
            }
            both[half] = _mm256_and_si256(first, second);
        }
        if (_mm256_testz_si256(_mm256_or_si256(both[0], both[1]), _mm256_set1_epi8(-1)) != 0) {
            continue;
        }
        auto candidates =
            static_cast<std::uint32_t>(_mm256_movemask_epi8(both[0])) |
            static_cast<std::uint64_t>(static_cast<std::uint32_t>(_mm256_movemask_epi8(both[1])))
                << 32;
        while (candidates != 0) {
            const auto offset = static_cast<std::size_t>(__builtin_ctzll(candidates));
            if (check(start + offset)) {
                return start + offset;
            }
            candidates &= candidates - 1;
        }
    }
    return Finder::npos;
}

bool HasWideScan() {
    static const bool wide = __builtin_cpu_supports("avx2") != 0;
    return wide;
}
#endif

}  // namespace

Finder::Finder(std::string_view term, CompareMode mode) : term_(term) {
    if (term_.empty()) {
        return;
    }
    if (mode == CompareMode::IgnoreCase) {
        for (char& character : term_) {
            const auto byte = static_cast<unsigned char>(character);
            folded_ = folded_ || HasCasePartner(byte);
            character = static_cast<char>(FoldCp1252(byte));
        }
    }
    const auto rarity = [this](std::size_t index) {
        const auto byte = static_cast<unsigned char>(term_[index]);
        return folded_ ? std::min(Rarity(byte), Rarity(OtherCase(byte))) : Rarity(byte);
    };
    std::size_t rarest = 0;
    for (std::size_t index = 1; index < term_.size(); ++index) {
        if (rarity(index) > rarity(rarest)) {
            rarest = index;
        }
    }
    std::size_t second = rarest == 0 && term_.size() > 1 ? 1 : 0;
    for (std::size_t index = 0; index < term_.size(); ++index) {
        if (index != rarest && (term_[index] != term_[rarest]) &&
            (term_[second] == term_[rarest] || rarity(index) > rarity(second))) {
            second = index;
        }
    }
    rareIndex_[0] = rarest;
    rareIndex_[1] = second;
    for (int which = 0; which < 2; ++which) {
        const auto byte = static_cast<unsigned char>(term_[rareIndex_[which]]);
        rareBytes_[which][0] = byte;
        rareBytes_[which][1] = folded_ ? OtherCase(byte) : byte;
    }
}

bool Finder::MatchesAt(const unsigned char* candidate) const {
    if (!folded_) {
        return std::memcmp(candidate, term_.data(), term_.size()) == 0;
    }
    const auto& table = Cp1252FoldTable();
    for (std::size_t index = 0; index < term_.size(); ++index) {
        if (table[candidate[index]] != static_cast<unsigned char>(term_[index])) {
            return false;
        }
    }
    return true;
}

std::size_t Finder::Find(std::string_view text, std::size_t from) const {
    if (term_.empty() || from > text.size() || text.size() - from < term_.size()) {
        return npos;
    }
    const auto* data = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t last = text.size() - term_.size();  // the last possible start
    std::size_t start = from;
#if defined(TRAWLEX_WIDE_SCAN)
    if (HasWideScan()) {
        const auto check = [this, data](std::size_t candidate) {
            return MatchesAt(data + candidate);
        };
        const bool firstTwo = rareBytes_[0][0] != rareBytes_[0][1];
        const bool secondTwo = rareBytes_[1][0] != rareBytes_[1][1];
        const std::size_t found =
            firstTwo
                ? (secondTwo
                       ? ScanWide<true, true>(data, start, last, rareIndex_, rareBytes_, check)
                       : ScanWide<true, false>(data, start, last, rareIndex_, rareBytes_, check))
                : (secondTwo
                       ? ScanWide<false, true>(data, start, last, rareIndex_, rareBytes_, check)
                       : ScanWide<false, false>(data, start, last, rareIndex_, rareBytes_, check));
        if (found != npos) {
            return found;
        }
    }
#endif
#if defined(__SSE2__)
    const __m128i first0 = _mm_set1_epi8(static_cast<char>(rareBytes_[0][0]));
    const __m128i first1 = _mm_set1_epi8(static_cast<char>(rareBytes_[0][1]));
    const __m128i second0 = _mm_set1_epi8(static_cast<char>(rareBytes_[1][0]));
    const __m128i second1 = _mm_set1_epi8(static_cast<char>(rareBytes_[1][1]));
    for (; start + 15 <= last; start += 16) {
        const __m128i atFirst =
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + start + rareIndex_[0]));
        const __m128i atSecond =
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + start + rareIndex_[1]));
        const __m128i both = _mm_and_si128(
            _mm_or_si128(_mm_cmpeq_epi8(atFirst, first0), _mm_cmpeq_epi8(atFirst, first1)),
            _mm_or_si128(_mm_cmpeq_epi8(atSecond, second0), _mm_cmpeq_epi8(atSecond, second1)));
        auto candidates = static_cast<unsigned>(_mm_movemask_epi8(both));
        while (candidates != 0) {
            const std::size_t offset = static_cast<std::size_t>(__builtin_ctz(candidates));
            if (MatchesAt(data + start + offset)) {
                return start + offset;
            }
            candidates &= candidates - 1;
        }
    }
#endif
    for (; start <= last; ++start) {
        const unsigned char atFirst = data[start + rareIndex_[0]];
        if ((atFirst == rareBytes_[0][0] || atFirst == rareBytes_[0][1]) &&
            MatchesAt(data + start)) {
            return start;
        }
    }
    return npos;
}

}  // namespace trawlex
