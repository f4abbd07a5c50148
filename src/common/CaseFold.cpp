#include "CaseFold.h"

#include <cstring>

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

}  // namespace

const std::array<unsigned char, 256>& Cp1252FoldTable() {
    static const std::array<unsigned char, 256> table = BuildFoldTable();
    return table;
}

Finder::Finder(std::string_view term, CompareMode mode) : term_(term) {
    if (mode != CompareMode::IgnoreCase) {
        return;
    }
    // A term without letters that have a partner is found faster by the exact search.
    bool anyCased = false;
    for (char& character : term_) {
        const auto byte = static_cast<unsigned char>(character);
        anyCased = anyCased || HasCasePartner(byte);
        character = static_cast<char>(FoldCp1252(byte));
    }
    if (!anyCased || term_.empty()) {
        return;
    }
    folded_ = true;
    // Horspool's shift table over folded bytes: both cases of a byte shift alike.
    const std::size_t length = term_.size();
    shift_.fill(length);
    for (std::size_t index = 0; index + 1 < length; ++index) {
        shift_[static_cast<unsigned char>(term_[index])] = length - 1 - index;
    }
    const auto& table = Cp1252FoldTable();
    for (unsigned byte = 0; byte < 256; ++byte) {
        shift_[byte] = shift_[table[byte]];
    }
}

std::size_t Finder::Find(std::string_view text, std::size_t from) const {
    if (term_.empty() || from > text.size() || text.size() - from < term_.size()) {
        return npos;
    }
    if (folded_) {
        return FindFolded(text, from);
    }
    const void* found = memmem(text.data() + from, text.size() - from, term_.data(), term_.size());
    if (found == nullptr) {
        return npos;
    }
    return static_cast<std::size_t>(static_cast<const char*>(found) - text.data());
}

std::size_t Finder::FindFolded(std::string_view text, std::size_t from) const {
    const auto& table = Cp1252FoldTable();
    const std::size_t length = term_.size();
    const auto* needle = reinterpret_cast<const unsigned char*>(term_.data());
    const auto* haystack = reinterpret_cast<const unsigned char*>(text.data());
    const unsigned char last = needle[length - 1];
    std::size_t position = from;
    const std::size_t end = text.size() - length;
    while (position <= end) {
        const unsigned char probe = haystack[position + length - 1];
        if (table[probe] == last) {
            std::size_t index = 0;
            while (index + 1 < length && table[haystack[position + index]] == needle[index]) {
                ++index;
            }
            if (index + 1 >= length) {
                return position;
            }
        }
        position += shift_[probe];
    }
    return npos;
}

}  // namespace trawlex
