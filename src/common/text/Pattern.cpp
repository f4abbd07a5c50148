#include "common/text/Pattern.h"

#include "common/text/PatternParts.h"

#include <algorithm>
#include <array>
#include <string>

namespace trawlex {
namespace {

using pattern_parts::Code;
using pattern_parts::LiteralPrefix;
using pattern_parts::Shape;
using pattern_parts::ShapeOf;
using pattern_parts::TextOfPlain;

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

// PCRE2's two forms of one pattern text; none when it does not compile, with the error code and
// the byte offset PCRE2 names.
struct Codes {
    pcre2_code* code = nullptr;  // for valid UTF-8
    pcre2_code* tolerant = nullptr;
    int error = 0;
    PCRE2_SIZE offset = 0;

    void Free() {
        pcre2_code_free(code);
        pcre2_code_free(tolerant);
        code = tolerant = nullptr;
    }
};

Codes CompileCodes(const std::string& utf8, CompareMode mode) {
    pcre2_compile_context* context = pcre2_compile_context_create(nullptr);
    // Files from Windows end their lines in CR LF; "$" and "." know every line end.
    pcre2_set_newline(context, PCRE2_NEWLINE_ANYCRLF);
    std::uint32_t options = PCRE2_UTF | PCRE2_UCP;
    if (mode == CompareMode::IgnoreCase) {
        options |= PCRE2_CASELESS;
    }
    Codes codes;
    const auto compile = [&](std::uint32_t extra) {
        return pcre2_compile(reinterpret_cast<PCRE2_SPTR>(utf8.data()), utf8.size(),
                             options | extra, &codes.error, &codes.offset, context);
    };
    codes.code = compile(0);
    // Text with broken sequences (a UTF-8 file that a byte-order mark declares but that holds
    // stray bytes) needs PCRE2's tolerant mode; valid text must not pay for it, because that
    // mode makes the search for empty matches take time quadratic in the file.
    codes.tolerant = codes.code != nullptr ? compile(PCRE2_MATCH_INVALID_UTF) : nullptr;
    pcre2_compile_context_free(context);
    return codes;
}

// True for a "(*NAME)" or "(*NAME=number)" that sets an option, which PCRE2 takes only at the
// very start of a pattern; the verbs that steer backtracking may stand anywhere.
bool IsStartOption(std::string_view item) {
    const std::string_view name = item.substr(0, item.find('='));
    for (const std::string_view verb : {"ACCEPT", "FAIL", "F", "COMMIT", "PRUNE", "SKIP", "THEN"}) {
        if (name == verb) {
            return false;
        }
    }
    return !name.empty() && std::all_of(item.begin(), item.end(), [](char character) {
        return (character >= 'A' && character <= 'Z') || (character >= '0' && character <= '9') ||
               character == '_' || character == '=';
    });
}

// The pattern held to whole words: no letter, digit or underscore may stand right before or
// after a match. Lookarounds keep the search linear and let a later match start inside one that
// fails, as the pattern's own backtracking finds it. The start options stay in front, and "\E"
// ends a "\Q" left open; a "#" comment of (?x) left open at the end would take in the closing
// parenthesis, so the second form ends it with a line end first.
std::array<std::string, 2> InWholeWords(std::string_view utf8) {
    std::size_t body = 0;
    while (utf8.substr(body, 2) == "(*") {
        const std::size_t close = utf8.find(')', body);
        if (close == std::string_view::npos ||
            !IsStartOption(utf8.substr(body + 2, close - body - 2))) {
            break;
        }
        body = close + 1;
    }
    const std::string front = std::string(utf8.substr(0, body)) + "(?<![\\p{L}\\p{N}_])(?:";
    const std::string_view rest = utf8.substr(body);
    const std::string_view back = "\\E)(?![\\p{L}\\p{N}_])";
    return {front + std::string(rest) + std::string(back),
            front + std::string(rest) + "\n" + std::string(back)};
}

}  // namespace

Result<std::shared_ptr<const Pattern>> Pattern::Compile(QStringView text, CompareMode mode,
                                                        WordRule words) {
    const std::string utf8 = text.toUtf8().toStdString();
    // Compiled as typed first, so that a mistake is named at its place in the person's text.
    Codes codes = CompileCodes(utf8, mode);
    if (codes.code == nullptr) {
        const qsizetype position = Utf16(std::string_view(utf8).substr(0, codes.offset)).size() + 1;
        return Error{QStringLiteral("Der regul\u00E4re Ausdruck \u201E%1\u201C ist fehlerhaft: an "
                                    "Stelle %2: %3.")
                         .arg(text)
                         .arg(position)
                         .arg(CompileReason(codes.error))};
    }
    if (words == WordRule::WholeWord) {
        for (const std::string& bounded : InWholeWords(utf8)) {
            codes.Free();
            codes = CompileCodes(bounded, mode);
            if (codes.code != nullptr) {
                break;
            }
        }
        if (codes.code == nullptr) {
            return Error{QStringLiteral("Der regul\u00E4re Ausdruck \u201E%1\u201C l\u00E4sst "
                                        "sich nicht auf ganze W\u00F6rter beschr\u00E4nken: %2.")
                             .arg(text, CompileReason(codes.error))};
        }
    }
    pcre2_code* code = codes.code;
    pcre2_code* tolerant = codes.tolerant;
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

}  // namespace trawlex
