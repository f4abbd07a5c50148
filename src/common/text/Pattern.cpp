#define PCRE2_CODE_UNIT_WIDTH 8
#include "common/text/Pattern.h"

#include "common/text/Cp1252.h"

#include <pcre2.h>

#include <algorithm>
#include <array>
#include <map>

namespace trawlex {
namespace {

// Enough for a pattern that backtracks reasonably, small enough that one that never ends is
// stopped within a fraction of a second.
constexpr std::uint32_t kMatchLimit = 10'000'000;
constexpr std::uint32_t kDepthLimit = 100'000;

pcre2_code* Code(void* code) {
    return static_cast<pcre2_code*>(code);
}

QString Utf16(std::string_view utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

// What went wrong, in German for the mistakes people make; PCRE2's own words for the rest.
QString CompileReason(int code) {
    switch (code) {
        case PCRE2_ERROR_END_BACKSLASH:
            return QStringLiteral("\u201E\\\u201C am Ende des Ausdrucks");
        case PCRE2_ERROR_UNKNOWN_ESCAPE:
        case PCRE2_ERROR_UNSUPPORTED_ESCAPE_SEQUENCE:
            return QStringLiteral("unbekannte Escape-Folge nach \u201E\\\u201C");
        case PCRE2_ERROR_QUANTIFIER_OUT_OF_ORDER:
            return QStringLiteral("die Zahlen in {} stehen in falscher Reihenfolge");
        case PCRE2_ERROR_QUANTIFIER_TOO_BIG:
            return QStringLiteral("die Zahl in {} ist zu gro\u00DF");
        case PCRE2_ERROR_MISSING_SQUARE_BRACKET:
            return QStringLiteral("es fehlt die schlie\u00DFende eckige Klammer \u201E]\u201C");
        case PCRE2_ERROR_CLASS_RANGE_ORDER:
        case PCRE2_ERROR_CLASS_INVALID_RANGE:
            return QStringLiteral("der Bereich in [] ist ung\u00FCltig");
        case PCRE2_ERROR_QUANTIFIER_INVALID:
            return QStringLiteral(
                "vor dem Wiederholungszeichen steht nichts, das sich "
                "wiederholen lie\u00DFe");
        case PCRE2_ERROR_INVALID_AFTER_PARENS_QUERY:
            return QStringLiteral("unbekannte Gruppe nach \u201E(?\u201C");
        case PCRE2_ERROR_MISSING_CLOSING_PARENTHESIS:
            return QStringLiteral("es fehlt die schlie\u00DFende Klammer \u201E)\u201C");
        case PCRE2_ERROR_UNMATCHED_CLOSING_PARENTHESIS:
            return QStringLiteral("zur Klammer \u201E)\u201C fehlt die \u00F6ffnende");
        case PCRE2_ERROR_BAD_SUBPATTERN_REFERENCE:
        case PCRE2_ERROR_BAD_RELATIVE_REFERENCE:
            return QStringLiteral("der Verweis nennt eine Gruppe, die es nicht gibt");
        case PCRE2_ERROR_LOOKBEHIND_NOT_FIXED_LENGTH:
        case PCRE2_ERROR_LOOKBEHIND_TOO_COMPLICATED:
        case PCRE2_ERROR_LOOKBEHIND_TOO_LONG:
            return QStringLiteral(
                "ein R\u00FCckw\u00E4rtsblick (?<=\u2026) muss eine feste "
                "L\u00E4nge haben");
        case PCRE2_ERROR_UNKNOWN_POSIX_CLASS:
            return QStringLiteral("unbekannte Zeichenklasse [:\u2026:]");
        case PCRE2_ERROR_DUPLICATE_SUBPATTERN_NAME:
            return QStringLiteral("ein Gruppenname kommt zweimal vor");
        case PCRE2_ERROR_MISSING_NAME_TERMINATOR:
            return QStringLiteral("der Gruppenname ist nicht abgeschlossen");
        case PCRE2_ERROR_PARENTHESES_NEST_TOO_DEEP:
        case PCRE2_ERROR_PATTERN_TOO_LARGE:
        case PCRE2_ERROR_PATTERN_TOO_COMPLICATED:
            return QStringLiteral("der Ausdruck ist zu gro\u00DF oder zu tief geschachtelt");
        default:
            break;
    }
    std::array<PCRE2_UCHAR, 256> buffer{};
    pcre2_get_error_message(code, buffer.data(), buffer.size());
    return QStringLiteral("PCRE2 meldet: %1")
        .arg(QString::fromLatin1(reinterpret_cast<const char*>(buffer.data())));
}

// A backslash before ASCII punctuation makes it stand for itself; before a letter, a digit or
// anything else it may mean more (\d, \1, \Q).
bool IsQuotedPunctuation(QChar character) {
    const char16_t value = character.unicode();
    return value > 0x20 && value < 0x7F && !character.isLetterOrNumber();
}

// The literal text every match begins with: the leading characters up to the first one that is
// special, conservatively. Nothing when the pattern has alternatives or inline options, which
// could make the start optional or change its case.
QString LiteralPrefix(QStringView pattern) {
    if (pattern.contains(u'|') || pattern.contains(u"(?") || pattern.contains(u"\\Q")) {
        return {};
    }
    const QStringView special = u"\\^$.[]()*+?{}|";
    QString prefix;
    for (qsizetype index = 0; index < pattern.size(); ++index) {
        QChar character = pattern[index];
        qsizetype width = 1;
        if (character == u'\\') {
            // An escaped punctuation character stands for itself; \d, \w and the like do not.
            if (index + 1 >= pattern.size() || !IsQuotedPunctuation(pattern[index + 1])) {
                break;
            }
            character = pattern[index + 1];
            width = 2;
        } else if (special.contains(character)) {
            break;
        }
        if (character.isSurrogate() || character.unicode() < 0x20) {
            break;
        }
        const qsizetype next = index + width;
        if (next < pattern.size() && QStringView(u"*?{").contains(pattern[next])) {
            break;  // the character is optional or counted
        }
        prefix += character;
        if (next < pattern.size() && pattern[next] == u'+') {
            break;
        }
        index = next - 1;
    }
    return prefix;
}

// What the text of a pattern says about its matches, read conservatively: a literal every match
// holds, and whether a match always stays inside one line. Anything not understood gives up.
struct Shape {
    QString required;      // empty when no such literal is known
    bool oneLine = false;  // no match can take in a CR or LF, nor look behind the line's end
};

// True for "{n}", "{n,}" and "{n,m}" at `at`; other braces are taken differently by different
// PCRE2 versions, so they end the reading.
bool IsCountedRepeat(QStringView pattern, qsizetype at, qsizetype& end) {
    qsizetype index = at + 1;
    const auto digits = [&] {
        const qsizetype from = index;
        while (index < pattern.size() && pattern[index].unicode() >= u'0' &&
               pattern[index].unicode() <= u'9') {
            ++index;
        }
        return index > from;
    };
    if (!digits()) {
        return false;
    }
    if (index < pattern.size() && pattern[index] == u',') {
        ++index;
        digits();
    }
    if (index >= pattern.size() || pattern[index] != u'}') {
        return false;
    }
    end = index + 1;
    return true;
}

Shape ShapeOf(QStringView pattern) {
    Shape shape;
    shape.oneLine = true;
    QString run;
    QString best;
    int depth = 0;
    bool lastLiteral = false;  // the atom before a repeat was the run's last character
    const auto endRun = [&] {
        if (run.size() > best.size()) {
            best = run;
        }
        run.clear();
    };
    // An atom that is no literal of its own, such as a class or a group.
    const auto atom = [&] {
        if (depth == 0) {
            endRun();
        }
        lastLiteral = false;
    };
    qsizetype index = 0;
    while (index < pattern.size()) {
        const QChar character = pattern[index];
        const char16_t code = character.unicode();
        if (code == u'\\') {
            if (index + 1 >= pattern.size()) {
                return {};
            }
            const char16_t next = pattern[index + 1].unicode();
            index += 2;
            if (next < 0x80 && next >= 0x20 && !QChar(next).isLetterOrNumber()) {
                // Escaped punctuation stands for itself.
                if (depth == 0) {
                    run += QChar(next);
                    lastLiteral = true;
                }
                continue;
            }
            if (QStringView(u"bBwdhAtfea").contains(QChar(next))) {
                atom();
            } else if (QStringView(u"sSvVRDWHXNnrzZK").contains(QChar(next)) &&
                       !(next == u'N' && index < pattern.size() && pattern[index] == u'{')) {
                shape.oneLine = false;
                atom();
            } else {
                return {};  // \x, \p, back references, \Q and the like: not read here
            }
            continue;
        }
        if (code == u'[') {
            ++index;
            if (index < pattern.size() && pattern[index] == u'^') {
                shape.oneLine = false;  // a negated class takes line ends
                ++index;
            }
            if (index < pattern.size() && pattern[index] == u']') {
                ++index;
            }
            while (index < pattern.size() && pattern[index] != u']') {
                const char16_t inside = pattern[index].unicode();
                if (inside == u'\\' && index + 1 < pattern.size()) {
                    const char16_t next = pattern[index + 1].unicode();
                    const bool plain =
                        (next < 0x80 && next >= 0x20 && !QChar(next).isLetterOrNumber()) ||
                        QStringView(u"wdbt").contains(QChar(next));
                    if (!plain) {
                        if (!QStringView(u"sSvVRDWHhnr").contains(QChar(next))) {
                            return {};
                        }
                        shape.oneLine = false;
                    }
                    index += 2;
                    continue;
                }
                if (inside == u'[' && index + 1 < pattern.size() && pattern[index + 1] == u':') {
                    shape.oneLine = false;  // [:space:] and its kin
                }
                if (inside < 0x20) {
                    shape.oneLine = false;
                }
                ++index;
            }
            if (index >= pattern.size()) {
                return {};
            }
            ++index;
            atom();
            continue;
        }
        if (code == u'(') {
            const QStringView rest = pattern.sliced(index);
            if (rest.startsWith(u"(*")) {
                return {};
            }
            if (rest.startsWith(u"(?")) {
                const bool group =
                    rest.startsWith(u"(?:") || rest.startsWith(u"(?=") || rest.startsWith(u"(?!") ||
                    rest.startsWith(u"(?<=") || rest.startsWith(u"(?<!") ||
                    rest.startsWith(u"(?>") || rest.startsWith(u"(?P<") ||
                    (rest.startsWith(u"(?<") && rest.size() > 3 && rest[3].isLetter());
                if (!group) {
                    return {};  // options, comments, recursion, conditions
                }
            }
            atom();
            ++depth;
            ++index;
            continue;
        }
        if (code == u')') {
            if (depth == 0) {
                return {};
            }
            --depth;
            ++index;
            atom();
            continue;
        }
        if (code == u'|') {
            if (depth == 0) {
                return {};  // the alternatives need not share a literal
            }
            ++index;
            continue;
        }
        if (code == u'*' || code == u'?' || code == u'+' || code == u'{') {
            qsizetype end = index + 1;
            if (code == u'{' && !IsCountedRepeat(pattern, index, end)) {
                return {};
            }
            if (depth == 0 && lastLiteral) {
                if (code != u'+') {
                    run.chop(1);  // the character may be missing
                }
                endRun();
            }
            lastLiteral = false;
            index = end;
            if (index < pattern.size() && (pattern[index] == u'?' || pattern[index] == u'+')) {
                ++index;  // lazy or possessive
            }
            continue;
        }
        if (code == u'$') {
            shape.oneLine = false;  // before the final line end, which a line window ends in
        }
        if (code == u'.' || code == u'^' || code == u'$') {
            ++index;
            atom();
            continue;
        }
        ++index;
        if (code < 0x20) {
            shape.oneLine = false;
        }
        if (code < 0x20 || character.isSurrogate()) {
            atom();
            continue;
        }
        if (depth == 0) {
            run += character;
            lastLiteral = true;
        }
    }
    if (depth != 0) {
        return {};
    }
    endRun();
    shape.required = best.size() >= 2 ? best : QString();
    return shape;
}

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

// The text a pattern without special characters matches: itself, escaped punctuation taken as
// it stands. Nothing for any other pattern. Decided conservatively: "#" and white space but the
// blank could mean more under an option, and control characters and characters beyond the
// Basic Multilingual Plane are left to PCRE2.
std::optional<QString> TextOfPlain(QStringView pattern) {
    const QStringView special = u"\\^$.[]()*+?{}|#";
    QString plain;
    for (qsizetype index = 0; index < pattern.size(); ++index) {
        QChar character = pattern[index];
        if (character == u'\\' && index + 1 < pattern.size() &&
            IsQuotedPunctuation(pattern[index + 1])) {
            character = pattern[++index];
        } else if (special.contains(character) || character.unicode() < 0x20 ||
                   character.unicode() == 0x7F || character.isSurrogate() ||
                   (character.isSpace() && character != u' ')) {
            return std::nullopt;
        }
        plain += character;
    }
    if (plain.isEmpty()) {
        return std::nullopt;
    }
    return plain;
}

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
    std::size_t Characters(std::size_t offset) {
        while (at_ < offset) {
            at_ += 1;
            while (at_ < subject_.size() &&
                   (static_cast<unsigned char>(subject_[at_]) & 0xC0) == 0x80) {
                ++at_;
            }
            ++characters_;
        }
        while (at_ > offset) {
            --at_;
            while (at_ > 0 && (static_cast<unsigned char>(subject_[at_]) & 0xC0) == 0x80) {
                --at_;
            }
            --characters_;
        }
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

bool HasHighBytes(std::string_view bytes) {
    return std::any_of(bytes.begin(), bytes.end(),
                       [](char byte) { return static_cast<unsigned char>(byte) >= 0x80; });
}

// Windows-1252 text as UTF-8, into a buffer kept from file to file: runs of ASCII are copied
// whole, so that mostly ASCII pages cost little more than a copy.
void TranscodeCp1252(std::string_view bytes, std::string& utf8) {
    const auto& table = Utf8OfCp1252();
    std::size_t size = bytes.size();
    for (const char byte : bytes) {
        size += table[static_cast<unsigned char>(byte)].size() - 1;
    }
    utf8.resize(size);
    char* out = utf8.data();
    std::size_t index = 0;
    while (index < bytes.size()) {
        std::size_t run = index;
        while (run < bytes.size() && static_cast<unsigned char>(bytes[run]) < 0x80) {
            ++run;
        }
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

Result<std::shared_ptr<const Pattern>> Pattern::Compile(QStringView text, CompareMode mode) {
    const std::string utf8 = text.toUtf8().toStdString();
    pcre2_compile_context* context = pcre2_compile_context_create(nullptr);
    // Files from Windows end their lines in CR LF; "$" and "." know every line end.
    pcre2_set_newline(context, PCRE2_NEWLINE_ANYCRLF);
    std::uint32_t options = PCRE2_UTF | PCRE2_UCP;
    if (mode == CompareMode::IgnoreCase) {
        options |= PCRE2_CASELESS;
    }
    int error = 0;
    PCRE2_SIZE offset = 0;
    const auto compile = [&](std::uint32_t extra) {
        return pcre2_compile(reinterpret_cast<PCRE2_SPTR>(utf8.data()), utf8.size(),
                             options | extra, &error, &offset, context);
    };
    pcre2_code* code = compile(0);
    // Text with broken sequences (a UTF-8 file that a byte-order mark declares but that holds
    // stray bytes) needs PCRE2's tolerant mode; valid text must not pay for it, because that
    // mode makes the search for empty matches take time quadratic in the file.
    pcre2_code* tolerant = code != nullptr ? compile(PCRE2_MATCH_INVALID_UTF) : nullptr;
    pcre2_compile_context_free(context);
    if (code == nullptr) {
        const qsizetype position = Utf16(std::string_view(utf8).substr(0, offset)).size() + 1;
        return Error{QStringLiteral("Der regul\u00E4re Ausdruck \u201E%1\u201C ist fehlerhaft: an "
                                    "Stelle %2: %3.")
                         .arg(text)
                         .arg(position)
                         .arg(CompileReason(error))};
    }
    // Without machine code PCRE2 interprets, just slower.
    pcre2_jit_compile(code, PCRE2_JIT_COMPLETE | PCRE2_JIT_PARTIAL_HARD);
    pcre2_jit_compile(tolerant, PCRE2_JIT_COMPLETE | PCRE2_JIT_PARTIAL_HARD);
    std::shared_ptr<Pattern> pattern(new Pattern());
    pattern->text_ = text.toString();
    pattern->code_ = code;
    pattern->tolerant_ = tolerant;
    std::uint32_t newline = 0;
    pcre2_pattern_info(code, PCRE2_INFO_NEWLINE, &newline);
    pattern->crlfIsNewline_ = newline == PCRE2_NEWLINE_ANY || newline == PCRE2_NEWLINE_CRLF ||
                              newline == PCRE2_NEWLINE_ANYCRLF;
    pcre2_pattern_info(code, PCRE2_INFO_CAPTURECOUNT, &pattern->groups_);
    std::uint32_t lookBehind = 0;
    pcre2_pattern_info(code, PCRE2_INFO_MAXLOOKBEHIND, &lookBehind);
    // \b and \B look one character back, "^" and "$" in multi-line mode at the line end before
    // them, which may be CR LF. Keeping these characters in front of where a search goes on also
    // means that \A and \` never match there: only a search from the text's start has none.
    pattern->behind_ = lookBehind + 2;
    const QString prefix = LiteralPrefix(text);
    if (!prefix.isEmpty()) {
        pattern->prefix_.emplace(prefix, mode);
        pattern->prefixReach_ = 4 * static_cast<std::size_t>(prefix.size()) + 4;
    }
    const Shape shape = ShapeOf(text);
    if (!shape.required.isEmpty()) {
        pattern->required_.emplace(shape.required, mode);
        pattern->oneLine_ = shape.oneLine;
    }
    pattern->mode_ = mode;
    pattern->plain_ = TextOfPlain(text);
    return std::shared_ptr<const Pattern>(std::move(pattern));
}

Pattern::~Pattern() {
    pcre2_code_free(Code(code_));
    pcre2_code_free(Code(tolerant_));
}

std::optional<std::uint32_t> Pattern::GroupNamed(QStringView name) const {
    const std::string utf8 = name.toUtf8().toStdString();
    const int number =
        pcre2_substring_number_from_name(Code(code_), reinterpret_cast<PCRE2_SPTR>(utf8.c_str()));
    if (number < 0) {
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(number);
}

bool Pattern::MayMatch(std::string_view bytes) const {
    if (required_ && !required_->MayOccur(bytes, true)) {
        return false;
    }
    return !prefix_ || prefix_->MayOccur(bytes, true);
}

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
    const bool transcoded = !utf8 && HasHighBytes(subject);
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

Result<ReplacementTemplate> ReplacementTemplate::Parse(QStringView text, const Pattern& pattern) {
    ReplacementTemplate parsed;
    QString literal;
    const auto flush = [&parsed, &literal] {
        if (literal.isEmpty()) {
            return;
        }
        Piece piece;
        piece.utf8 = literal.toUtf8().toStdString();
        if (auto bytes = EncodeCp1252(literal)) {
            piece.cp1252 = std::move(bytes.value());
        }
        parsed.pieces_.push_back(std::move(piece));
        literal.clear();
    };
    const auto wrong = [&text](const QString& why) {
        return Error{QStringLiteral("Der Ersatzbegriff \u201E%1\u201C passt nicht zum "
                                    "regul\u00E4ren Ausdruck: %2 Ein Dollarzeichen selbst "
                                    "schreibt man $$.")
                         .arg(text, why)};
    };
    for (qsizetype index = 0; index < text.size(); ++index) {
        if (text[index] != u'$') {
            literal += text[index];
            continue;
        }
        if (index + 1 < text.size() && text[index + 1] == u'$') {
            literal += u'$';
            ++index;
            continue;
        }
        QStringView reference;
        qsizetype end = index + 1;
        if (end < text.size() && text[end] == u'{') {
            const qsizetype close = text.indexOf(u'}', end);
            if (close < 0) {
                return wrong(QStringLiteral("nach \u201E${\u201C fehlt \u201E}\u201C."));
            }
            reference = text.sliced(end + 1, close - end - 1);
            end = close + 1;
        } else {
            while (end < text.size() && text[end].isDigit() && text[end].unicode() < 0x80) {
                ++end;
            }
            reference = text.sliced(index + 1, end - index - 1);
        }
        if (reference.isEmpty()) {
            return wrong(QStringLiteral("nach \u201E$\u201C steht keine Gruppe."));
        }
        bool number = false;
        const std::uint32_t group = reference.toUInt(&number);
        std::optional<std::uint32_t> found;
        if (number) {
            found = group <= pattern.GroupCount() ? std::optional(group) : std::nullopt;
        } else {
            found = pattern.GroupNamed(reference);
        }
        if (!found) {
            return wrong(QStringLiteral("eine Gruppe \u201E%1\u201C hat der Ausdruck nicht.")
                             .arg(reference));
        }
        flush();
        Piece piece;
        piece.group = found;
        parsed.pieces_.push_back(std::move(piece));
        index = end - 1;
    }
    flush();
    return parsed;
}

bool ReplacementTemplate::AppendTo(std::string& out, std::string_view bytes, std::uint64_t start,
                                   const PatternMatch& match, TextEncoding encoding,
                                   const OutputDrain* drain) const {
    for (const Piece& piece : pieces_) {
        if (drain != nullptr && out.size() > drain->above && !drain->take(out)) {
            return false;
        }
        if (piece.group) {
            if (const std::optional<Span>& span = match.groups[*piece.group]) {
                out.append(bytes.substr(static_cast<std::size_t>(span->start - start),
                                        span->end - span->start));
            }
        } else if (encoding == TextEncoding::Utf8) {
            out.append(piece.utf8);
        } else if (piece.cp1252) {
            out.append(*piece.cp1252);
        } else {
            return false;
        }
    }
    return true;
}

}  // namespace trawlex
