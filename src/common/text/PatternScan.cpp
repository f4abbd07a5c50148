// Searching a file's bytes, whole or piece by piece: the line windows a literal leads to, PCRE2's
// buffers per thread, and Windows-1252 text read as UTF-8.
#include "common/text/Cp1252.h"
#include "common/text/Pattern.h"
#include "common/text/PatternParts.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace trawlex {
namespace {

using pattern_parts::Code;

// Enough for a pattern that backtracks reasonably, small enough that one that never ends is
// stopped within a fraction of a second.
constexpr std::uint32_t kMatchLimit = 10'000'000;
constexpr std::uint32_t kDepthLimit = 100'000;

// The line around each place where a literal occurs, for a pattern whose matches stay inside
// one line and hold that literal: lines without it cannot hold a match.
class LineWindows {
public:
    LineWindows(std::string_view text, const LiteralTerm* literal)
        : text_(text), literal_(literal) {}

    // The line of the next occurrence at or after `from`, searched from `from` at the earliest,
    // with its line end; nothing when none follows.
    std::optional<Span> Next(std::size_t from) {
        const std::optional<Span> found = literal_->Find(text_, from, TextEncoding::Utf8);
        if (!found) {
            return std::nullopt;
        }
        std::size_t begin = found->start;
        while (begin > from && !IsLineEnd(text_[begin - 1])) {
            --begin;
        }
        if (found->start >= end_) {
            end_ = found->end;
            while (end_ < text_.size() && !IsLineEnd(text_[end_])) {
                ++end_;
            }
            if (end_ < text_.size()) {
                end_ += text_.substr(end_, 2) == "\r\n" ? 2 : 1;
            }
        }
        return Span{begin, end_};
    }

    static bool IsLineEnd(char byte) { return byte == '\n' || byte == '\r'; }

private:
    std::string_view text_;
    const LiteralTerm* literal_;
    std::size_t end_ = 0;  // the end of the line last given
};

// A line longer than this is left to PCRE2's own reading in pieces rather than held whole.
constexpr std::size_t kLongestLineWindow = std::size_t{1} << 20;

// The UTF-8 bytes of each Windows-1252 byte.
const std::array<std::string, 256>& Utf8OfCp1252() {
    static const std::array<std::string, 256> table = [] {
        std::array<std::string, 256> utf8;
        for (int byte = 0; byte < 256; ++byte) {
            utf8[static_cast<std::size_t>(byte)] =
                QString(DecodeCp1252Byte(static_cast<unsigned char>(byte))).toUtf8().toStdString();
        }
        return utf8;
    }();
    return table;
}

// What one thread keeps from match to match: PCRE2's buffers, and the text of a Windows-1252
// file as UTF-8.
struct Scratch {
    Scratch() : context(pcre2_match_context_create(nullptr)) {
        pcre2_set_match_limit(context, kMatchLimit);
        pcre2_set_depth_limit(context, kDepthLimit);
        stack = pcre2_jit_stack_create(64 * 1024, 8 * 1024 * 1024, nullptr);
        pcre2_jit_stack_assign(context, nullptr, stack);
    }
    ~Scratch() {
        pcre2_match_data_free(data);
        pcre2_jit_stack_free(stack);
        pcre2_match_context_free(context);
    }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;

    pcre2_match_data* DataFor(std::uint32_t groups) {
        if (data == nullptr || pcre2_get_ovector_count(data) < groups + 1) {
            pcre2_match_data_free(data);
            data = pcre2_match_data_create(std::max<std::uint32_t>(groups + 1, 16), nullptr);
        }
        return data;
    }

    pcre2_match_context* context;
    pcre2_jit_stack* stack = nullptr;
    pcre2_match_data* data = nullptr;
    std::string utf8;
};

Scratch& ThreadScratch() {
    thread_local Scratch scratch;
    return scratch;
}

constexpr std::uint64_t kHighBits = 0x8080808080808080ULL;

std::uint64_t WordAt(std::string_view bytes, std::size_t at) {
    std::uint64_t word = 0;
    std::memcpy(&word, bytes.data() + at, sizeof word);
    return word;
}

// The first byte beyond ASCII at or after `at`, or the end: German text in Windows-1252 has an
// umlaut every few dozen bytes, so the runs between are gone through eight bytes a step.
std::size_t AsciiRunEnd(std::string_view bytes, std::size_t at) {
    for (; bytes.size() - at >= sizeof(std::uint64_t); at += sizeof(std::uint64_t)) {
        if (const std::uint64_t high = WordAt(bytes, at) & kHighBits; high != 0) {
            return at + static_cast<std::size_t>(std::countr_zero(high)) / 8;
        }
    }
    while (at < bytes.size() && static_cast<unsigned char>(bytes[at]) < 0x80) {
        ++at;
    }
    return at;
}

// The characters of UTF-8 text, as the bytes that are no continuation byte (10xxxxxx), eight
// at a time: the counts of each byte's place are summed in the word's lanes.
std::size_t CharacterCount(std::string_view text) {
    constexpr std::uint64_t kLowBytes = 0x00FF00FF00FF00FFULL;
    std::size_t continuations = 0;
    std::size_t at = 0;
    while (text.size() - at >= sizeof(std::uint64_t)) {
        std::uint64_t lanes = 0;  // each below 256: at most 255 words before they are summed
        for (int words = 0; words < 255 && text.size() - at >= sizeof(std::uint64_t);
             ++words, at += sizeof(std::uint64_t)) {
            const std::uint64_t word = WordAt(text, at);
            lanes += (word & ~(word << 1) & kHighBits) >> 7;
        }
        const std::uint64_t pairs = (lanes & kLowBytes) + ((lanes >> 8) & kLowBytes);
        continuations += static_cast<std::size_t>((pairs * 0x0001000100010001ULL) >> 48);
    }
    for (; at < text.size(); ++at) {
        continuations += (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80 ? 1 : 0;
    }
    return text.size() - continuations;
}

// Turns offsets in the UTF-8 text a Windows-1252 file was read as back into the file's offsets:
// each of its bytes is one character. Matches come left to right, so the walk is short.
class OffsetMap {
public:
    OffsetMap(std::string_view subject, std::size_t base, bool transcoded)
        : subject_(subject), base_(base), transcoded_(transcoded) {}

    std::size_t ToFile(std::size_t offset) {
        if (!transcoded_) {
            return base_ + offset;
        }
        return base_ + Characters(offset);
    }

private:
    // Offsets lie between characters, so the characters before one are the bytes before it
    // that begin a character.
    std::size_t Characters(std::size_t offset) {
        if (offset >= at_) {
            characters_ += CharacterCount(subject_.substr(at_, offset - at_));
        } else {
            characters_ -= CharacterCount(subject_.substr(offset, at_ - offset));
        }
        at_ = offset;
        return characters_;
    }

    std::string_view subject_;
    std::size_t base_;
    bool transcoded_;
    std::size_t at_ = 0;
    std::size_t characters_ = 0;
};

// The spans of a match's groups in the file's bytes; a group that took no part has none.
void FillGroups(PatternMatch& match, const PCRE2_SIZE* ovector, int result, OffsetMap& map) {
    for (std::size_t group = 0; group < match.groups.size(); ++group) {
        const PCRE2_SIZE from = ovector[2 * group];
        const PCRE2_SIZE to = ovector[2 * group + 1];
        if (group >= static_cast<std::size_t>(result) || from == PCRE2_UNSET) {
            match.groups[group].reset();
        } else {
            const std::size_t fileStart = map.ToFile(from);
            match.groups[group] = Span{fileStart, std::max(fileStart, map.ToFile(to))};
        }
    }
}

// Windows-1252 text as UTF-8, into a buffer kept from file to file: runs of ASCII are copied
// whole, so that mostly ASCII pages cost little more than a copy.
void TranscodeCp1252(std::string_view bytes, std::string& utf8) {
    const auto& table = Utf8OfCp1252();
    std::size_t size = bytes.size();
    for (std::size_t at = AsciiRunEnd(bytes, 0); at < bytes.size();
         at = AsciiRunEnd(bytes, at + 1)) {
        size += table[static_cast<unsigned char>(bytes[at])].size() - 1;
    }
    utf8.resize(size);
    char* out = utf8.data();
    std::size_t index = 0;
    while (index < bytes.size()) {
        std::size_t run = AsciiRunEnd(bytes, index);
        std::copy(bytes.data() + index, bytes.data() + run, out);
        out += run - index;
        if (run < bytes.size()) {
            const std::string& encoded = table[static_cast<unsigned char>(bytes[run])];
            out = std::copy(encoded.begin(), encoded.end(), out);
            ++run;
        }
        index = run;
    }
}

}  // namespace

std::optional<std::size_t> Pattern::FirstPossibleStart(std::string_view bytes,
                                                       const DetectedEncoding& detected) const {
    if (!prefix_) {
        return detected.bodyStart;
    }
    const std::optional<Span> found = prefix_->Find(bytes, detected.bodyStart, detected.encoding);
    if (!found) {
        return std::nullopt;
    }
    return found->start;
}

PatternScan Pattern::ForEachMatch(std::string_view bytes, const DetectedEncoding& detected,
                                  const std::function<bool(const PatternMatch&)>& each) const {
    // A file read whole is one piece that nothing follows.
    PatternCursor cursor{detected.bodyStart, false};
    return ScanPiece(bytes, 0, true, detected, cursor, each).scan;
}

std::size_t Pattern::Behind(std::string_view window, std::size_t at, std::size_t lowest,
                            bool utf8) const {
    if (!utf8) {
        return at > lowest + behind_ ? at - behind_ : std::min(at, lowest);
    }
    for (std::size_t step = 0; step < behind_ && at > lowest; ++step) {
        --at;
        while (at > lowest && (static_cast<unsigned char>(window[at]) & 0xC0) == 0x80) {
            --at;
        }
    }
    return at;
}

PieceScan Pattern::ScanPiece(std::string_view window, std::uint64_t start, bool final,
                             const DetectedEncoding& detected, PatternCursor& cursor,
                             const std::function<bool(const PatternMatch&)>& each) const {
    const bool utf8 = detected.encoding == TextEncoding::Utf8;
    // The text's start lies in the first piece only, behind a byte-order mark.
    const std::size_t lowest =
        start < detected.bodyStart ? static_cast<std::size_t>(detected.bodyStart - start) : 0;
    std::size_t resume =
        static_cast<std::size_t>(std::max<std::uint64_t>(cursor.resume, start + lowest) - start);
    const auto keep = [&](std::size_t at) {
        return PieceScan{PatternScan::Done, start + Behind(window, at, lowest, utf8)};
    };
    // A piece that is not the last ends before a cut character and before line ends, so that
    // neither a half character nor "$" before a final line end can match there.
    std::size_t cut = window.size();
    if (!final) {
        if (utf8) {
            for (int back = 0; back < 3 && cut > resume &&
                               (static_cast<unsigned char>(window[cut - 1]) & 0xC0) == 0x80;
                 ++back) {
                --cut;
            }
            if (cut > resume && static_cast<unsigned char>(window[cut - 1]) >= 0xC0) {
                --cut;
            }
        }
        while (cut > resume && (window[cut - 1] == '\n' || window[cut - 1] == '\r')) {
            --cut;
        }
        if (cut <= resume) {
            return keep(resume);
        }
    }
    // Matches that stay inside one line and hold a literal are looked for in the lines that
    // hold it only; elsewhere PCRE2 would try every place in vain. A literal the matches begin
    // with leads straight to them instead.
    bool lines = oneLine_ && !prefix_ && !cursor.afterEmpty;
    if (prefix_ && !lines && !cursor.afterEmpty) {
        const std::optional<std::size_t> possible =
            FirstPossibleStart(window.substr(0, cut), {detected.encoding, resume});
        if (!possible) {
            // The literal start may begin in the last bytes and go on in the next piece.
            const std::size_t next =
                final ? cut : std::max(resume, cut > prefixReach_ ? cut - prefixReach_ : 0);
            cursor.resume = start + next;
            return keep(next);
        }
        resume = *possible;
    }
    if (lines && !required_->MayOccur(window.substr(resume, cut - resume), false)) {
        // No line of the piece holds the literal: it need not be read as text at all, only
        // its unfinished last line is kept for the next piece.
        std::size_t next = cut;
        while (!final && next > resume && !LineWindows::IsLineEnd(window[next - 1])) {
            --next;
        }
        if (final || cut - next <= kLongestLineWindow) {
            cursor.resume = start + next;
            return keep(next);
        }
    }
    const std::size_t base = Behind(window, resume, lowest, utf8);
    Scratch& scratch = ThreadScratch();
    std::string_view subject = window.substr(base, cut - base);
    std::size_t offset = resume - base;
    // Most files not in UTF-8 (source code, say) hold no byte beyond ASCII at all.
    const bool transcoded = !utf8 && !IsAscii(subject);
    if (transcoded) {
        TranscodeCp1252(subject, scratch.utf8);
        offset = 0;
        for (std::size_t index = base; index < resume; ++index) {
            offset += Utf8OfCp1252()[static_cast<unsigned char>(window[index])].size();
        }
        subject = scratch.utf8;
    }
    // Checked once here rather than by PCRE2 on every call, which would read the rest of the
    // subject again for each match.
    const bool valid = transcoded || IsValidUtf8(subject);
    pcre2_code* code = Code(valid ? code_ : tolerant_);
    const std::uint32_t startOptions = (start + base > detected.bodyStart ? PCRE2_NOTBOL : 0) |
                                       (final ? 0 : PCRE2_PARTIAL_HARD) | PCRE2_NO_UTF_CHECK;
    pcre2_match_data* data = scratch.DataFor(groups_);
    OffsetMap map(subject, start + base, transcoded);
    PatternMatch match;
    match.groups.resize(groups_ + 1);
    bool afterEmpty = cursor.afterEmpty;
    const auto carry = [&](std::size_t subjectOffset) {
        cursor.resume = map.ToFile(subjectOffset);
        cursor.afterEmpty = afterEmpty;
        return keep(static_cast<std::size_t>(cursor.resume - start));
    };
    LineWindows windows(subject, lines ? &*required_ : nullptr);
    // Where the last line starts, which the next piece may go on: it is searched once whole.
    std::size_t unfinished = subject.size();
    if (lines && !final) {
        while (unfinished > offset && !LineWindows::IsLineEnd(subject[unfinished - 1])) {
            --unfinished;
        }
    }
    while (offset <= subject.size()) {
        if (!final && offset == subject.size()) {
            return carry(offset);
        }
        std::size_t length = subject.size();
        std::uint32_t options =
            startOptions | (afterEmpty ? PCRE2_NOTEMPTY_ATSTART | PCRE2_ANCHORED : 0);
        if (lines) {
            const std::optional<Span> line = windows.Next(offset);
            if (!line || line->start >= unfinished) {
                if (final) {
                    return carry(subject.size());
                }
                if (subject.size() - unfinished <= kLongestLineWindow) {
                    return carry(std::max(offset, unfinished));
                }
                lines = false;  // PCRE2 reads a line this long in pieces itself
                offset = std::max(offset, unfinished);
                continue;
            }
            offset = line->start;
            length = line->end;
            options &= ~static_cast<std::uint32_t>(PCRE2_PARTIAL_HARD);
        }
        const int result = pcre2_match(code, reinterpret_cast<PCRE2_SPTR>(subject.data()), length,
                                       offset, options, data, scratch.context);
        if (result == PCRE2_ERROR_NOMATCH && lines) {
            offset = length;
            continue;
        }
        if (result == PCRE2_ERROR_NOMATCH) {
            if (!afterEmpty) {
                return carry(subject.size());
            }
            // No longer match where the empty one was: go on one character further, and past
            // both characters of a CR LF line end, which is one line end, not two.
            afterEmpty = false;
            if (crlfIsNewline_ && subject.substr(offset, 2) == "\r\n") {
                ++offset;
            }
            ++offset;
            while (offset < subject.size() &&
                   (static_cast<unsigned char>(subject[offset]) & 0xC0) == 0x80) {
                ++offset;
            }
            continue;
        }
        const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(data);
        if (result == PCRE2_ERROR_PARTIAL) {
            return carry(ovector[0]);
        }
        if (result < 0) {
            return PieceScan{PatternScan::Limit, start + window.size()};
        }
        FillGroups(match, ovector, result, map);
        if (!each(match)) {
            return PieceScan{PatternScan::Done, start + window.size()};
        }
        const std::size_t matchStart = ovector[0];
        offset = std::max<std::size_t>(ovector[1], matchStart);
        // Perl's rule: after an empty match, the next one must not be empty at the same place.
        afterEmpty = ovector[1] <= matchStart;
    }
    return carry(subject.size());
}

}  // namespace trawlex
