#include "common/text/TextEncoding.h"

#include "common/text/Cp1252.h"
#include "common/text/Utf16.h"

#include <QChar>
#include <QList>

#include <algorithm>
#include <bit>
#include <cstring>
#include <unordered_map>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace trawlex {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

char32_t Fold(char32_t codePoint) {
    if (codePoint < 0x80) {
        return codePoint >= 'A' && codePoint <= 'Z' ? codePoint + 0x20 : codePoint;
    }
    return QChar::toCaseFolded(codePoint);
}

std::string Utf8Of(char32_t codePoint) {
    std::string bytes;
    AppendUtf8(bytes, codePoint);
    return bytes;
}

// Unicode gives letter case to scripts of the first two planes only (the last, Adlam, ends at
// U+1E95F); a pass over all seventeen took several milliseconds before a search could begin.
constexpr char32_t kLastCased = 0x1FFFF;

// For each folded code point, the other code points that fold to it ("K" and the Kelvin sign
// for "k"). Worked out once per process by one pass over the planes that have case.
const std::vector<char32_t>& UnfoldedPartners(char32_t folded) {
    static const auto partners = [] {
        std::unordered_map<char32_t, std::vector<char32_t>> map;
        for (char32_t candidate = 0; candidate <= kLastCased; ++candidate) {
            if (candidate == 0xD800) {
                candidate = 0xE000;
            }
            const char32_t target = Fold(candidate);
            if (target != candidate) {
                map[target].push_back(candidate);
            }
        }
        return map;
    }();
    static const std::vector<char32_t> none;
    const auto found = partners.find(folded);
    return found == partners.end() ? none : found->second;
}

bool IsAscii(QStringView text) {
    for (const QChar character : text) {
        if (character.unicode() >= 0x80) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::optional<std::pair<char32_t, std::size_t>> DecodeUtf8At(std::string_view text,
                                                             std::size_t position) {
    const auto lead = static_cast<unsigned char>(text[position]);
    if (lead < 0x80) {
        return std::pair<char32_t, std::size_t>{lead, 1};
    }
    std::size_t length = 0;
    char32_t codePoint = 0;
    char32_t minimum = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        codePoint = lead & 0x1F;
        minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        codePoint = lead & 0x0F;
        minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        codePoint = lead & 0x07;
        minimum = 0x10000;
    } else {
        return std::nullopt;
    }
    if (text.size() - position < length) {
        return std::nullopt;
    }
    for (std::size_t index = 1; index < length; ++index) {
        const auto next = static_cast<unsigned char>(text[position + index]);
        if ((next & 0xC0) != 0x80) {
            return std::nullopt;
        }
        codePoint = (codePoint << 6) | (next & 0x3F);
    }
    if (codePoint < minimum || codePoint > 0x10FFFF ||
        (codePoint >= 0xD800 && codePoint <= 0xDFFF)) {
        return std::nullopt;
    }
    return std::pair<char32_t, std::size_t>{codePoint, length};
}

namespace {

// How far valid UTF-8 reaches: the offset of the first byte that is not, or of the start of a
// sequence cut off by the end of the bytes; sets `multiByte` when a sequence was seen.
#if defined(__SSE2__)
// Sixteen bytes at a time as long as they hold ASCII and whole two-byte sequences only (the
// umlauts and ß of German text), told apart by the masks of their high bits; returns where a
// block holding anything else begins, which is left to the byte-wise check.
std::size_t TwoByteBlocks(const unsigned char* data, std::size_t size, std::size_t position,
                          bool& multiByte) {
    const auto masked = [](__m128i block, unsigned char mask, unsigned char value) {
        return static_cast<unsigned>(_mm_movemask_epi8(
            _mm_cmpeq_epi8(_mm_and_si128(block, _mm_set1_epi8(static_cast<char>(mask))),
                           _mm_set1_epi8(static_cast<char>(value)))));
    };
    while (size - position >= 16) {
        // Most files are ASCII for long stretches, or throughout: those go 64 bytes a step.
        if (size - position >= 64) {
            const auto* blocks = reinterpret_cast<const __m128i*>(data + position);
            const __m128i any = _mm_or_si128(
                _mm_or_si128(_mm_loadu_si128(blocks), _mm_loadu_si128(blocks + 1)),
                _mm_or_si128(_mm_loadu_si128(blocks + 2), _mm_loadu_si128(blocks + 3)));
            if (_mm_movemask_epi8(any) == 0) {
                position += 64;
                continue;
            }
        }
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + position));
        const auto high = static_cast<unsigned>(_mm_movemask_epi8(block));
        if (high != 0) {
            const unsigned leads = masked(block, 0xE0, 0xC0);
            const unsigned continuations = masked(block, 0xC0, 0x80);
            const unsigned overlong = masked(block, 0xFE, 0xC0);
            // A sequence begun in the last byte is checked whole with the next block.
            const unsigned begun = leads & 0x8000U;
            if ((leads | continuations) != high || ((leads & ~begun) << 1) != continuations ||
                overlong != 0) {
                return position;
            }
            multiByte = true;
            if (begun != 0) {
                position += 15;
                continue;
            }
        }
        position += 16;
    }
    return position;
}
#endif

std::size_t ValidUtf8Prefix(std::string_view bytes, bool& multiByte) {
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    std::size_t position = 0;
    const std::size_t size = bytes.size();
    constexpr std::uint64_t kHighBits = 0x8080808080808080ULL;
    while (position < size) {
#if defined(__SSE2__)
        position = TwoByteBlocks(data, size, position, multiByte);
        const std::size_t stop = std::min(size, position + 16);
#else
        const std::size_t stop = size;
#endif
        while (position < stop) {
            // Eight ASCII bytes at a time; in a word that holds a byte beyond ASCII the check
            // goes straight to it.
            if (size - position >= 8) {
                std::uint64_t block = 0;
                std::memcpy(&block, data + position, 8);
                const std::uint64_t high = block & kHighBits;
                if (high == 0) {
                    position += 8;
                    continue;
                }
                if constexpr (std::endian::native == std::endian::little) {
                    position += static_cast<std::size_t>(std::countr_zero(high)) / 8;
                }
            }
            const unsigned char lead = data[position];
            if (lead < 0x80) {
                ++position;
                continue;
            }
            // Two-byte sequences (umlauts, ß) are the common case.
            if (lead >= 0xC2 && lead <= 0xDF && size - position >= 2 &&
                (data[position + 1] & 0xC0) == 0x80) {
                multiByte = true;
                position += 2;
                continue;
            }
            const auto decoded = DecodeUtf8At(bytes, position);
            if (!decoded) {
                return position;
            }
            multiByte = true;
            position += decoded->second;
        }
    }
    return position;
}

// True when the bytes are the start of a sequence that more bytes could complete.
bool IsCutSequence(std::string_view tail) {
    if (tail.empty() || tail.size() > 3) {
        return false;
    }
    const auto lead = static_cast<unsigned char>(tail.front());
    const std::size_t length = lead >= 0xC2 && lead <= 0xDF   ? 2
                               : lead >= 0xE0 && lead <= 0xEF ? 3
                               : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                              : 0;
    if (tail.size() >= length) {
        return false;
    }
    return std::all_of(tail.begin() + 1, tail.end(),
                       [](char byte) { return (static_cast<unsigned char>(byte) & 0xC0) == 0x80; });
}

}  // namespace

bool IsAscii(std::string_view bytes) {
    constexpr std::uint64_t kHighBits = 0x8080808080808080ULL;
    constexpr std::size_t kStep = 4 * sizeof(std::uint64_t);
    std::size_t at = 0;
    for (; bytes.size() - at >= kStep; at += kStep) {
        std::array<std::uint64_t, 4> words{};
        std::memcpy(words.data(), bytes.data() + at, kStep);
        if (((words[0] | words[1] | words[2] | words[3]) & kHighBits) != 0) {
            return false;
        }
    }
    return std::all_of(bytes.begin() + static_cast<std::ptrdiff_t>(at), bytes.end(),
                       [](char byte) { return static_cast<unsigned char>(byte) < 0x80; });
}

bool IsValidUtf8(std::string_view bytes) {
    bool multiByte = false;
    return ValidUtf8Prefix(bytes, multiByte) == bytes.size();
}

DetectedEncoding DetectEncoding(std::string_view bytes) {
    if (bytes.substr(0, kByteOrderMark.size()) == kByteOrderMark) {
        return {TextEncoding::Utf8, kByteOrderMark.size()};
    }
    bool multiByte = false;
    if (ValidUtf8Prefix(bytes, multiByte) != bytes.size()) {
        return {TextEncoding::Cp1252, 0};
    }
    return {multiByte ? TextEncoding::Utf8 : TextEncoding::Cp1252, 0};
}

void AppendUtf8(std::string& out, char32_t codePoint) {
    if (codePoint < 0x80) {
        out += static_cast<char>(codePoint);
    } else if (codePoint < 0x800) {
        out += static_cast<char>(0xC0 | (codePoint >> 6));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else if (codePoint < 0x10000) {
        out += static_cast<char>(0xE0 | (codePoint >> 12));
        out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (codePoint >> 18));
        out += static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    }
}

bool LooksBinary(std::string_view head) {
    if (Utf16Order(head)) {
        return false;
    }
    const std::size_t length = std::min(head.size(), kBinaryHead);
    return length > 0 && std::memchr(head.data(), '\0', length) != nullptr;
}

void EncodingDetector::Feed(std::string_view piece) {
    if (!started_) {
        started_ = true;
        byteOrderMark_ = piece.substr(0, kByteOrderMark.size()) == kByteOrderMark;
    }
    if (Decided() || piece.empty()) {
        return;
    }
    if (!pending_.empty()) {
        // Completes the sequence the last piece ended in, with at most three more bytes.
        const std::string joined = pending_ + std::string(piece.substr(0, 4 - pending_.size()));
        const std::size_t cut = pending_.size();
        pending_.clear();
        if (IsCutSequence(joined)) {
            pending_ = joined;
            return;
        }
        const auto decoded = DecodeUtf8At(joined, 0);
        if (!decoded) {
            invalid_ = true;
            return;
        }
        multiByte_ = true;
        piece.remove_prefix(decoded->second - cut);
    }
    const std::size_t valid = ValidUtf8Prefix(piece, multiByte_);
    if (valid == piece.size()) {
        return;
    }
    if (IsCutSequence(piece.substr(valid))) {
        pending_ = std::string(piece.substr(valid));
    } else {
        invalid_ = true;
    }
}

DetectedEncoding EncodingDetector::Finish() const {
    if (byteOrderMark_) {
        return {TextEncoding::Utf8, kByteOrderMark.size()};
    }
    // A sequence the file ends in before it is complete is no UTF-8.
    if (invalid_ || !pending_.empty() || !multiByte_) {
        return {TextEncoding::Cp1252, 0};
    }
    return {TextEncoding::Utf8, 0};
}

QString DecodeAs(std::string_view bytes, TextEncoding encoding) {
    if (encoding == TextEncoding::Utf8) {
        return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
    }
    return DecodeCp1252(bytes);
}

QString DecodeDetected(std::string_view bytes) {
    const DetectedEncoding detected = DetectEncoding(bytes);
    return DecodeAs(bytes.substr(detected.bodyStart), detected.encoding);
}

QString ControlsVisible(QString text) {
    for (QChar& character : text) {
        const char16_t code = character.unicode();
        if (code < 0x20 && code != u'\t') {
            character = QChar(static_cast<char16_t>(0x2400 + code));
        } else if (code == 0x7F) {
            character = QChar(static_cast<char16_t>(0x2421));
        }
    }
    return text;
}

std::int64_t CountCharacters(std::string_view bytes) {
    std::int64_t count = 0;
    std::size_t index = 0;
    for (; index + 8 <= bytes.size(); index += 8) {
        std::uint64_t block = 0;
        std::memcpy(&block, bytes.data() + index, 8);
        // A continuation byte is 10xxxxxx: its high bit set and the next one clear.
        const std::uint64_t continuation = (block & ~(block << 1) & 0x8080808080808080ULL) >> 7;
        // One bit per byte at most, so the bytes' sum lands in the top byte.
        count += 8 - static_cast<std::int64_t>((continuation * 0x0101010101010101ULL) >> 56);
    }
    for (; index < bytes.size(); ++index) {
        count += (static_cast<unsigned char>(bytes[index]) & 0xC0) != 0x80 ? 1 : 0;
    }
    return count;
}

std::int64_t CharacterPosition(std::string_view bytes, const DetectedEncoding& detected,
                               std::size_t offset) {
    if (detected.encoding == TextEncoding::Cp1252) {
        return static_cast<std::int64_t>(offset) + 1;
    }
    if (offset <= detected.bodyStart) {
        return 1;
    }
    return CountCharacters(bytes.substr(detected.bodyStart, offset - detected.bodyStart)) + 1;
}

Utf8FoldFinder::Utf8FoldFinder(QStringView term) {
    for (const char32_t codePoint : term.toUcs4()) {
        folded_.push_back(Fold(codePoint));
    }
    if (folded_.empty()) {
        return;
    }
    // Every code point that folds to the first one may start an occurrence.
    const char32_t first = folded_.front();
    leadBytes_[static_cast<unsigned char>(Utf8Of(first).front())] = true;
    for (const char32_t other : UnfoldedPartners(first)) {
        leadBytes_[static_cast<unsigned char>(Utf8Of(other).front())] = true;
    }
}

std::optional<std::size_t> Utf8FoldFinder::MatchAt(std::string_view text,
                                                   std::size_t position) const {
    for (const char32_t expected : folded_) {
        if (position >= text.size()) {
            return std::nullopt;
        }
        const auto decoded = DecodeUtf8At(text, position);
        if (!decoded || Fold(decoded->first) != expected) {
            return std::nullopt;
        }
        position += decoded->second;
    }
    return position;
}

std::optional<Span> Utf8FoldFinder::Find(std::string_view text, std::size_t from) const {
    if (folded_.empty()) {
        return std::nullopt;
    }
    for (std::size_t position = from; position < text.size(); ++position) {
        if (!leadBytes_[static_cast<unsigned char>(text[position])]) {
            continue;
        }
        if (const auto end = MatchAt(text, position)) {
            return Span{position, *end};
        }
    }
    return std::nullopt;
}

namespace {

// The term in Windows-1252. Ignoring case, a character the code page cannot hold stands for
// any of its case partners that it can ("ẞ" for "ß", the Kelvin sign for "k"), as the fold
// table treats them all alike.
std::optional<std::string> Cp1252Term(QStringView term, CompareMode mode) {
    if (auto bytes = EncodeCp1252(term)) {
        return std::move(bytes.value());
    }
    if (mode != CompareMode::IgnoreCase) {
        return std::nullopt;
    }
    std::string bytes;
    for (const char32_t codePoint : term.toUcs4()) {
        const char32_t folded = Fold(codePoint);
        std::vector<char32_t> candidates{codePoint, folded};
        const std::vector<char32_t>& partners = UnfoldedPartners(folded);
        candidates.insert(candidates.end(), partners.begin(), partners.end());
        // Not QString::fromUcs4, which takes U+FEFF for a byte-order mark and drops it.
        const auto encoded = [](char32_t c) { return EncodeCp1252(QChar::fromUcs4(c)); };
        const auto encodable = std::find_if(candidates.begin(), candidates.end(),
                                            [&encoded](char32_t c) { return encoded(c).ok(); });
        if (encodable == candidates.end()) {
            return std::nullopt;
        }
        bytes += encoded(*encodable).value();
    }
    return bytes;
}

}  // namespace

LiteralTerm::LiteralTerm(QStringView term, CompareMode mode)
    : empty_(term.isEmpty()), ascii_(IsAscii(term)) {
    if (empty_) {
        return;
    }
    if (auto bytes = Cp1252Term(term, mode)) {
        cp1252_.emplace(bytes.value(), mode);
    }
    if (mode == CompareMode::IgnoreCase) {
        utf8Folded_.emplace(term);
    }
    if (mode == CompareMode::IgnoreCase && !ascii_) {
        longestUtf8_ = utf8Folded_->LongestOccurrence();
        return;
    }
    utf8Bytes_.emplace(term.toUtf8().toStdString(), mode);
    longestUtf8_ = utf8Bytes_->TermLength();
    if (mode == CompareMode::Exact) {
        return;
    }
    for (const QChar character : term) {
        std::size_t widest = 1;
        for (const char32_t partner : UnfoldedPartners(Fold(character.unicode()))) {
            if (partner >= 0x80) {
                std::string bytes = Utf8Of(partner);
                widest = std::max(widest, bytes.size());
                if (std::find(partners_.begin(), partners_.end(), bytes) == partners_.end()) {
                    partners_.push_back(std::move(bytes));
                }
            }
        }
        longestUtf8_ += widest - 1;
    }
    if (partners_.empty()) {
        utf8Folded_.reset();
    }
}

bool LiteralTerm::MayOccur(std::string_view bytes, bool thorough) const {
    if (empty_) {
        return false;
    }
    if (!ascii_) {
        if (!thorough) {
            return true;
        }
        const DetectedEncoding detected = DetectEncoding(bytes);
        return Find(bytes, detected.bodyStart, detected.encoding).has_value();
    }
    // Reads the same in both encodings but where a partner is: those are looked for only in
    // the files that lack the term's own bytes, which are most.
    return utf8Bytes_->Find(bytes, 0) != Finder::npos || FirstPartner(bytes, 0) != Finder::npos;
}

std::size_t LiteralTerm::FirstPartner(std::string_view text, std::size_t from) const {
    // By its lead byte, which memchr finds fast and ASCII text never holds.
    std::size_t first = Finder::npos;
    for (const std::string& partner : partners_) {
        std::size_t at = from;
        const std::size_t end = std::min(text.size(), first);
        while (at < end) {
            const void* lead = std::memchr(text.data() + at, partner.front(), end - at);
            if (lead == nullptr) {
                break;
            }
            at = static_cast<std::size_t>(static_cast<const char*>(lead) - text.data());
            if (text.substr(at, partner.size()) == partner) {
                first = at;
                break;
            }
            ++at;
        }
    }
    return first;
}

std::optional<Span> LiteralTerm::FindAmongPartners(std::string_view text, std::size_t from) const {
    // Looked at in stretches that start short and grow: each search looks little further than
    // where its occurrence lies, whether the term's bytes or a partner come first, so finding
    // all occurrences stays linear however they mix.
    constexpr std::size_t kLongestStretch = std::size_t{256} << 10;
    const std::size_t longest = longestUtf8_;
    std::size_t stretch = 256;
    std::size_t at = from;
    while (at < text.size()) {
        const std::size_t end =
            text.size() - at > stretch + longest ? at + stretch + longest : text.size();
        const std::size_t found = utf8Bytes_->Find(text.substr(0, end), at);
        const std::size_t reach = found == Finder::npos ? end : std::min(end, found + longest);
        const std::size_t partner = FirstPartner(text.substr(0, reach), at);
        if (partner != Finder::npos) {
            // An occurrence holding the partner starts at most `longest` bytes before it; one
            // that lies in the stretch whole is found in it, the term's bytes among them.
            const std::size_t back = partner - at > longest ? partner - longest : at;
            if (const auto folded = utf8Folded_->Find(text.substr(0, reach), back)) {
                return folded;
            }
        }
        if (found != Finder::npos) {
            return Span{found, found + utf8Bytes_->TermLength()};
        }
        if (end == text.size()) {
            break;
        }
        // Whatever starts this close to the end may go on behind it.
        at = end - longest;
        stretch = std::min(2 * stretch, kLongestStretch);
    }
    return std::nullopt;
}

std::optional<Span> LiteralTerm::Find(std::string_view text, std::size_t from,
                                      TextEncoding encoding) const {
    if (encoding == TextEncoding::Utf8 && !partners_.empty()) {
        return FindAmongPartners(text, from);
    }
    const Finder* bytes = encoding == TextEncoding::Cp1252 ? (cp1252_ ? &*cp1252_ : nullptr)
                                                           : (utf8Bytes_ ? &*utf8Bytes_ : nullptr);
    if (bytes != nullptr) {
        const std::size_t found = bytes->Find(text, from);
        if (found == Finder::npos) {
            return std::nullopt;
        }
        return Span{found, found + bytes->TermLength()};
    }
    if (encoding == TextEncoding::Utf8 && utf8Folded_) {
        return utf8Folded_->Find(text, from);
    }
    return std::nullopt;
}

std::size_t LiteralTerm::LongestOccurrence(TextEncoding encoding) const {
    if (encoding == TextEncoding::Cp1252) {
        return cp1252_ ? cp1252_->TermLength() : 0;
    }
    return longestUtf8_;
}

}  // namespace trawlex
