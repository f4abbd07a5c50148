#include "common/text/Cp1252.h"
#include "common/text/Pattern.h"

namespace trawlex {

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
