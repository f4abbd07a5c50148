// Reading the text of a pattern: the literal its matches begin with, the literal they hold and
// whether they stay inside one line, and the text of a pattern without special characters.
#include "common/text/PatternParts.h"

namespace trawlex::pattern_parts {
namespace {

// A backslash before ASCII punctuation makes it stand for itself; before a letter, a digit or
// anything else it may mean more (\d, \1, \Q).
bool IsQuotedPunctuation(QChar character) {
    const char16_t value = character.unicode();
    return value > 0x20 && value < 0x7F && !character.isLetterOrNumber();
}

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

}  // namespace

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

}  // namespace trawlex::pattern_parts
