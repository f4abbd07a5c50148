#include "common/text/Pattern.h"

#include "common/text/PatternParts.h"

#include <array>

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

}  // namespace trawlex
