// Regular expressions on arbitrary pattern text and file bytes: a pattern either compiles or says
// why, its counts stay sane, and a pattern that spells a term with every punctuation escaped finds
// what the literal search finds.
#include "FuzzInput.h"

#include "common/text/Pattern.h"
#include "search/Matching.h"

#include <algorithm>
#include <cstdlib>

namespace {

// Not comparable: the literal search needs clean typed text. Ignoring case both fold alike.
bool Comparable(const std::string& piece, const QString& term) {
    if (term.isEmpty() || term.toUtf8().toStdString() != piece) {
        return false;
    }
    return std::none_of(term.begin(), term.end(),
                        [](QChar character) { return character.unicode() < 0x20; });
}

QString Escaped(const QString& term) {
    QString escaped;
    for (const QChar character : term) {
        const char16_t value = character.unicode();
        const bool plain = value >= 0x80 || (value >= u'0' && value <= u'9') ||
                           (value >= u'a' && value <= u'z') || (value >= u'A' && value <= u'Z');
        if (!plain) {
            escaped += u'\\';
        }
        escaped += character;
    }
    return escaped;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    trawlex::fuzz::Input input(data, size);
    const bool fold = input.Flag();
    const std::string piece = input.Piece();
    const std::string replacement = input.Piece();
    const std::string_view bytes = input.Rest();
    const auto mode = fold ? trawlex::CompareMode::IgnoreCase : trawlex::CompareMode::Exact;
    const QString text = QString::fromUtf8(piece.data(), static_cast<qsizetype>(piece.size()));

    auto compiled = trawlex::Pattern::Compile(text, mode);
    if (!compiled.ok()) {
        if (compiled.message().isEmpty()) {
            std::abort();  // a refused pattern must tell the person why
        }
    } else {
        const std::shared_ptr<const trawlex::Pattern> pattern = compiled.value();
        const trawlex::FileMatch match =
            trawlex::MatchContents(bytes, trawlex::TermMatcher(pattern));
        // Perl's rule allows an empty match at each place and a longer one from there ("|x" finds
        // three in "x"), but no more.
        if ((!match.limitReached && (match.firstPosition == 0) != (match.count == 0)) ||
            match.count < 0 || static_cast<std::size_t>(match.count) > 2 * bytes.size() + 1) {
            std::abort();
        }
        auto parsed = trawlex::ReplacementTemplate::Parse(
            QString::fromUtf8(replacement.data(), static_cast<qsizetype>(replacement.size())),
            *pattern);
        if (parsed.ok()) {
            const trawlex::DetectedEncoding detected = trawlex::DetectEncoding(bytes);
            std::string out;
            pattern->ForEachMatch(bytes, detected, [&](const trawlex::PatternMatch& found) {
                parsed.value().AppendTo(out, bytes, 0, found, detected.encoding);
                return true;
            });
        }
    }

    if (!Comparable(piece, text)) {
        return 0;
    }
    const trawlex::FileMatch byTerm =
        trawlex::MatchContents(bytes, trawlex::TermMatcher(text, mode));
    // The escaped term may be handed to the literal search; counted once more, it stays with
    // PCRE2, its literal start all but the last character.
    for (const QString& escaped : {Escaped(text), Escaped(text) + QStringLiteral("{1}")}) {
        auto literal = trawlex::Pattern::Compile(escaped, mode);
        if (!literal.ok()) {
            std::abort();  // escaped letters, digits and punctuation always compile
        }
        const trawlex::FileMatch byPattern =
            trawlex::MatchContents(bytes, trawlex::TermMatcher(literal.value()));
        if (!byPattern.limitReached &&
            (byPattern.firstPosition != byTerm.firstPosition || byPattern.count != byTerm.count)) {
            std::abort();
        }
    }
    return 0;
}
