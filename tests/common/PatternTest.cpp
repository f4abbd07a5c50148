// Regular expressions: the same matches in Windows-1252 and UTF-8 files of the same text,
// replacements that keep everything between matches byte for byte, and refusals that say where
// and why.

#include "common/text/Cp1252.h"
#include "common/text/Pattern.h"
#include "common/text/Replacement.h"
#include "common/text/TermMatcher.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

namespace trawlex {
namespace {

std::string Cp1252Of(const QString& text) {
    auto bytes = EncodeCp1252(text);
    EXPECT_TRUE(bytes) << text.toStdString();
    return bytes ? bytes.value() : std::string();
}

// The text in each encoding a file may be written in: Windows-1252, UTF-8, UTF-8 with a mark.
std::vector<std::string> Encodings(const QString& text) {
    const std::string utf8 = text.toUtf8().toStdString();
    return {Cp1252Of(text), utf8, "\xEF\xBB\xBF" + utf8};
}

std::string Repeat(const std::string& piece, std::size_t times) {
    std::string text;
    for (std::size_t index = 0; index < times; ++index) {
        text += piece;
    }
    return text;
}

std::shared_ptr<const Pattern> Compiled(const QString& text, CompareMode mode) {
    auto pattern = Pattern::Compile(text, mode);
    EXPECT_TRUE(pattern) << pattern.message().toStdString();
    return pattern ? pattern.value() : nullptr;
}

TEST(PatternTest, MatchesAlikeInEveryEncodingAndCountsCharacters) {
    struct Case {
        QString pattern;
        CompareMode mode;
        QString text;
        std::int64_t first;  // character position, 0 for none
        int count;
    };
    const CompareMode exact = CompareMode::Exact;
    const CompareMode ignore = CompareMode::IgnoreCase;
    const Case cases[] = {
        {u"Fundst[a-z\u00E4\u00F6\u00FC]+"_qs, exact, u"Der Fundst\u00FCck, die Fundstelle"_qs, 5,
         2},
        {u"gr\u00F6(ss|\u00DF)e"_qs, ignore, u"GR\u00D6SSE und Gr\u00F6\u00DFe"_qs, 1, 2},
        {u"\\bStra\u00DFe\\b"_qs, exact, u"Stra\u00DFenbahn Stra\u00DFe"_qs, 13, 1},
        {u"\\w+"_qs, exact, u"\u00D6l \u00FCber"_qs, 1, 2},
        {u"x*"_qs, exact, u"axxb"_qs, 1, 4},  // "", "xx", "", "": never twice at one place
        {u"(?m)^Zeile$"_qs, exact, u"Kopf\r\nZeile\r\nEnde"_qs, 7, 1},
        {u"\u20AC\\d"_qs, exact, u"Preis: \u20AC5"_qs, 8, 1},
        {u"\u0160KODA"_qs, ignore, u"\u0161koda"_qs, 1, 1},
        {u"fund"_qs, exact, u"Fund"_qs, 0, 0},
        {u"Fund\\b"_qs, exact, u"\u00DCberFund Fundus \u00FCFund"_qs, 5, 2},
    };
    for (const Case& each : cases) {
        const auto pattern = Compiled(each.pattern, each.mode);
        ASSERT_NE(pattern, nullptr);
        for (const std::string& bytes : Encodings(each.text)) {
            const DetectedEncoding detected = DetectEncoding(bytes);
            std::int64_t first = 0;
            int count = 0;
            EXPECT_EQ(pattern->ForEachMatch(bytes, detected,
                                            [&](const PatternMatch& match) {
                                                if (count++ == 0) {
                                                    first = CharacterPosition(bytes, detected,
                                                                              match.Whole().start);
                                                }
                                                return true;
                                            }),
                      PatternScan::Done);
            EXPECT_EQ(first, each.first) << each.pattern.toStdString() << " in " << bytes;
            EXPECT_EQ(count, each.count) << each.pattern.toStdString() << " in " << bytes;
            EXPECT_EQ(pattern->MayMatch(bytes) || count == 0, true);
        }
    }
}

// Every occurrence a term has in the bytes, read whole or in pieces of `piece` bytes, each
// window beginning where the last scan asked to keep the bytes from.
std::vector<Span> Occurrences(const TermMatcher& term, std::string_view bytes, std::size_t piece) {
    const DetectedEncoding detected = DetectEncoding(bytes);
    std::vector<Span> spans;
    const auto take = [&spans](const Occurrence& occurrence) {
        spans.push_back(occurrence.span);
        return true;
    };
    if (piece == 0) {
        term.ForEachOccurrence(bytes, detected, take);
        return spans;
    }
    PatternCursor cursor{detected.bodyStart, false};
    std::uint64_t keep = 0;
    std::size_t end = 0;
    do {
        end = std::min(bytes.size(), end + piece);
        const auto window = bytes.substr(static_cast<std::size_t>(keep), end - keep);
        keep = term.ScanPiece(window, keep, end == bytes.size(), detected, cursor, take).keepFrom;
    } while (end < bytes.size());
    return spans;
}

// The pattern that matches the text as it stands.
QString Escaped(const QString& text) {
    QString escaped;
    for (const QChar character : text) {
        escaped += character.isLetterOrNumber() ? QString(character) : u"\\"_qs + character;
    }
    return escaped;
}

// Ignoring case the literal search folds as PCRE2 does, so a pattern without special characters
// may go to the literal search and give the same occurrences: the Kelvin sign and the long s,
// which pure ASCII terms are found by bytes away from, and the partners beyond Windows-1252 of
// letters it holds (ẞ for ß, the micro sign's Greek mu).
TEST(PatternTest, LiteralSearchAndPatternsFoldAlike) {
    struct Case {
        QString term;
        CompareMode mode;
        std::string bytes;  // UTF-8, or Windows-1252 where they are no UTF-8
        std::size_t count;
    };
    const CompareMode exact = CompareMode::Exact;
    const CompareMode ignore = CompareMode::IgnoreCase;
    const std::string kelvin = "\xE2\x84\xAA";
    const std::string longS = "\xC5\xBF";
    const Case cases[] = {
        {u"k"_qs, ignore, kelvin + "\xC3\xA4lte, Kalt", 2},
        {u"K"_qs, exact, kelvin + "\xC3\xA4lte, Kalt", 1},
        {u"so"_qs, ignore, longS + "o \xC3\xA4, SO, " + longS + longS + "o", 3},
        {u"kiss"_qs, ignore, Repeat("Kiss kiSS, ", 300) + "\xC3\xA4 KI" + longS + "s", 601},
        {u"ks"_qs, ignore, Repeat("k" + kelvin + longS, 5) + "K", 5},
        {u"k"_qs, ignore, kelvin + " k \xFF", 1},  // Windows-1252: those bytes are no k
        {u"stra\u1E9Ee"_qs, ignore,
         "Stra\xDF"
         "e STRASSE",
         1},
        {u"STRA\u00DFE"_qs, ignore,
         "Stra\xC3\x9F"
         "e STRA\xE1\xBA\x9E"
         "E",
         2},
        {u"\u03BCm"_qs, ignore, "5 \xB5m", 1},
        {u"\u212B"_qs, ignore, "\xC5 \xE5 A", 2},
        {u"\u2126"_qs, ignore, "\xCF\x89 \xCE\xA9 \xE2\x84\xA6", 3},
        {u"\u03C3"_qs, ignore, "\xCF\x82 \xCE\xA3 \xCF\x83", 3},
        {u"i"_qs, ignore, "\xC4\xB0 \xC4\xB1 I i", 2},
        {u"\u0178"_qs, ignore, "\xFF \x9F y", 2},
    };
    for (const Case& each : cases) {
        const QString escaped = Escaped(each.term);
        const TermMatcher literal(each.term, each.mode);
        const TermMatcher plain(Compiled(escaped, each.mode));
        // A quantifier keeps it with PCRE2, its literal start all but the last character.
        const TermMatcher pattern(Compiled(escaped + u"{1}"_qs, each.mode));
        EXPECT_TRUE(plain.LongestOccurrence(TextEncoding::Utf8).has_value());
        EXPECT_EQ(plain.PatternText(), escaped);
        EXPECT_FALSE(pattern.LongestOccurrence(TextEncoding::Utf8).has_value());
        const std::vector<Span> expected = Occurrences(pattern, each.bytes, 0);
        EXPECT_EQ(expected.size(), each.count) << each.term.toStdString();
        for (const TermMatcher* term : {&literal, &plain, &pattern}) {
            EXPECT_TRUE(term->MayOccur(each.bytes));
            for (const std::size_t piece : {0, 1, 2, 5, 9}) {
                const std::vector<Span> found = Occurrences(*term, each.bytes, piece);
                EXPECT_TRUE(std::equal(found.begin(), found.end(), expected.begin(), expected.end(),
                                       [](const Span& left, const Span& right) {
                                           return left.start == right.start &&
                                                  left.end == right.end;
                                       }))
                    << each.term.toStdString() << " in pieces of " << piece << ", "
                    << (term == &literal ? "literal"
                        : term == &plain ? "plain"
                                         : "pattern");
            }
        }
    }
}

// As whole words an occurrence counts only where neither the character before it nor the one
// after it is a letter (ß and umlauts too), a digit or an underscore; the text's start and end
// are none. A literal term is also given as the plain pattern searched as a literal and as one
// PCRE2 searches; each finds the same in every encoding, read whole or in pieces.
TEST(PatternTest, WholeWordsStandBetweenNonWordCharacters) {
    struct Case {
        QString term;
        bool pattern;  // a regular expression rather than a literal term
        CompareMode mode;
        QString text;
        std::vector<std::int64_t> starts;  // character positions
    };
    const CompareMode exact = CompareMode::Exact;
    const CompareMode ignore = CompareMode::IgnoreCase;
    const Case cases[] = {
        {u"aa"_qs, false, exact, u"aaa aa"_qs, {5}},
        {u"a a"_qs, false, exact, u"ba a a"_qs, {4}},
        {u"Ma"_qs, false, exact, u"Ma\u00DFe \u00ABMa\u00BB \u00E4Ma Ma"_qs, {7, 15}},
        {u"FU\u00DF"_qs, false, ignore, u"Fu\u00DF. Fu\u00DFball fu\u00DF_ Fu\u00DF"_qs, {1, 19}},
        {u"r\u00F6\u00DF"_qs, false, exact, u"Gr\u00F6\u00DFe r\u00F6\u00DF"_qs, {7}},
        {u"foo"_qs, false, exact, u"foo_bar foo2 2foo foo"_qs, {19}},
        {u"Wort"_qs, false, exact, u"Wort und Wort"_qs, {1, 10}},
        {u"\u00E4rger"_qs, false, ignore, u"\u00C4rger, \u00E4rgerlich"_qs, {1}},
        // A match that is no whole word leaves room for one that starts inside it.
        {u"-?\\d+"_qs, true, exact, u"a-12 -3"_qs, {3, 6}},
        {u"M[a-z]+"_qs, true, exact, u"Ma\u00DFe Mast Mx"_qs, {6, 11}},
        // A comment, a quotation or a start option at the end or start stays one.
        {u"(?x) Ma # Kommentar"_qs, true, exact, u"Ma\u00DFe Ma"_qs, {6}},
        {u"\\QMa"_qs, true, ignore, u"Ma\u00DFe MA"_qs, {6}},
        {u"(*UCP)fu\\w"_qs, true, ignore, u"Fu\u00DF Fu\u00DFe"_qs, {1}},
    };
    const WordRule words = WordRule::WholeWord;
    for (const Case& each : cases) {
        std::vector<TermMatcher> terms;
        if (each.pattern) {
            terms.emplace_back(Compiled(each.term, each.mode), words);
        } else {
            terms.emplace_back(each.term, each.mode, words);
            terms.emplace_back(Compiled(Escaped(each.term), each.mode), words);
            terms.emplace_back(Compiled(Escaped(each.term) + u"{1}"_qs, each.mode), words);
        }
        for (const std::string& bytes : Encodings(each.text)) {
            const DetectedEncoding detected = DetectEncoding(bytes);
            for (std::size_t index = 0; index < terms.size(); ++index) {
                for (const std::size_t piece : {0, 1, 2, 3, 5}) {
                    std::vector<std::int64_t> starts;
                    for (const Span& span : Occurrences(terms[index], bytes, piece)) {
                        starts.push_back(CharacterPosition(bytes, detected, span.start));
                    }
                    EXPECT_EQ(starts, each.starts) << each.term.toStdString() << " #" << index
                                                   << " in " << bytes << ", pieces of " << piece;
                }
            }
        }
    }
}

// The spans of the matches in a file read piece by piece, `piece` bytes at a time, as a reader
// passes them.
std::vector<std::pair<std::uint64_t, std::uint64_t>> SpansInPieces(const Pattern& pattern,
                                                                   std::string_view bytes,
                                                                   std::size_t piece) {
    const DetectedEncoding detected = DetectEncoding(bytes);
    PatternCursor cursor{detected.bodyStart, false};
    std::uint64_t keep = 0;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> spans;
    for (std::size_t end = 0;;) {
        end = std::min(bytes.size(), end + piece);
        const std::string_view window = bytes.substr(keep, end - keep);
        const bool final = end == bytes.size();
        keep = pattern
                   .ScanPiece(window, keep, final, detected, cursor,
                              [&spans](const PatternMatch& match) {
                                  spans.emplace_back(match.Whole().start, match.Whole().end);
                                  return true;
                              })
                   .keepFrom;
        if (final) {
            return spans;
        }
    }
}

// Lines end in LF, CR or CR LF alike, and a CR LF pair is one line end: an empty match never
// falls between its two characters, whether the file is read whole or in pieces.
TEST(PatternTest, LineEndsAreCrLfLfOrCrAndCrLfIsOne) {
    struct Case {
        QString pattern;
        QString text;
        std::size_t count;
        QString replacement;
        QString replaced;
    };
    const Case cases[] = {
        {u"(?m)^"_qs, u"a\r\n\r\nb\r\n"_qs, 3, u"> "_qs, u"> a\r\n> \r\n> b\r\n"_qs},
        {u"(?m)^$"_qs, u"a\r\n\r\nb\r\n"_qs, 1, u"-"_qs, u"a\r\n-\r\nb\r\n"_qs},
        {u"(?m)^"_qs, u"\r\n\r\n"_qs, 2, u"> "_qs, u"> \r\n> \r\n"_qs},
        {u"(?m)^"_qs, u"a\rb\r"_qs, 2, u"> "_qs, u"> a\r> b\r"_qs},
        {u"(?m)^"_qs, u"\n\r"_qs, 2, u"> "_qs, u"> \n> \r"_qs},
        {u"(?m)$"_qs, u"a\r\nb"_qs, 2, u"<"_qs, u"a<\r\nb<"_qs},
        {u"(?m)x$"_qs, u"x\r\nx"_qs, 2, u"y"_qs, u"y\r\ny"_qs},
        {u"$"_qs, u"a\r\n"_qs, 2, u"!"_qs, u"a!\r\n!"_qs},
        {u"x*"_qs, u"\r\n"_qs, 2, u"-"_qs, u"-\r\n-"_qs},
        {u"a.b"_qs, u"a\rb a\nb a\tb"_qs, 1, u"-"_qs, u"a\rb a\nb -"_qs},
        {u"\\R"_qs, u"\r\n\n\r"_qs, 3, u"|"_qs, u"|||"_qs},
    };
    for (const Case& each : cases) {
        const auto pattern = Compiled(each.pattern, CompareMode::Exact);
        ASSERT_NE(pattern, nullptr);
        const std::string name = each.pattern.toStdString();
        for (const std::string& bytes : Encodings(each.text)) {
            std::size_t whole = 0;
            pattern->ForEachMatch(bytes, DetectEncoding(bytes), [&whole](const PatternMatch&) {
                ++whole;
                return true;
            });
            EXPECT_EQ(whole, each.count) << name;
            for (const std::size_t piece : {1, 2, 3, 7}) {
                EXPECT_EQ(SpansInPieces(*pattern, bytes, piece).size(), each.count)
                    << name << " in pieces of " << piece;
            }
        }
        const EncodedReplacement replacement(
            each.replacement, std::make_shared<const ReplacementTemplate>(
                                  ReplacementTemplate::Parse(each.replacement, *pattern).value()));
        std::string out;
        ReplaceAllInto(each.text.toStdString(), TermMatcher(pattern), replacement, out);
        EXPECT_EQ(out, each.replaced.toStdString()) << name;
    }
}

// A pattern's literal lets the search skip lines and files that cannot hold a match. In a group
// the same pattern has no literal the search knows of, so PCRE2 tries every place: both must
// find the same, read whole or in pieces.
TEST(PatternTest, LiteralShortcutsFindWhatEveryPlaceFinds) {
    const QString patterns[] = {
        u"\\b[A-Z]+_SUSPEND\\b"_qs,
        u"\\w+kraft\\b"_qs,
        u"Wasser\\w*"_qs,
        u"foo\\Kbar"_qs,
        u"(?<=x)foo\\w*"_qs,
        u"[^a]foo"_qs,
        u"foo$"_qs,
        u"^foo"_qs,
        u"(?m)^foo"_qs,
        u"o+foo\\s*o"_qs,
        u"(f)oo\\1?"_qs,
        u"fo{1,2}o[\\w.]"_qs,
        u"foo|\\w+kraft"_qs,
    };
    const QString texts[] = {
        u"foo\r\nxfoofoo PM_SUSPEND\r\nfoobar\rafoo ofoo\n o\nfooo."_qs,
        u"Wasserkraft und Windkraft\r\nKRAFT, Muskelkraft\nWasser"_qs,
        u"xfoo\u00FCber foo\nfoo"_qs,
    };
    for (const CompareMode mode : {CompareMode::Exact, CompareMode::IgnoreCase}) {
        for (const QString& text : patterns) {
            const auto pattern = Compiled(text, mode);
            const auto plain = Compiled(u"(?:"_qs + text + u")"_qs, mode);
            ASSERT_NE(pattern, nullptr);
            ASSERT_NE(plain, nullptr);
            for (const QString& each : texts) {
                for (const std::string& bytes : Encodings(each)) {
                    const auto expected = SpansInPieces(*plain, bytes, bytes.size());
                    for (const std::size_t piece : {std::size_t{1}, std::size_t{4}, bytes.size()}) {
                        EXPECT_EQ(SpansInPieces(*pattern, bytes, piece), expected)
                            << text.toStdString() << " in pieces of " << piece;
                    }
                    EXPECT_TRUE(expected.empty() || pattern->MayMatch(bytes));
                }
            }
        }
    }
}

TEST(PatternTest, ReplacementsTakeGroupsAndKeepTheRestByteForByte) {
    struct Case {
        QString pattern;
        QString replacement;
        QString text;
        QString expected;
    };
    const Case cases[] = {
        {u"(\\w+)@(?<host>\\w+)"_qs, u"${host}:$1 $$"_qs, u"an anna@m\u00FChle.\r\n"_qs,
         u"an m\u00FChle:anna $.\r\n"_qs},
        {u"x*"_qs, u"-"_qs, u"ab"_qs, u"-a-b-"_qs},
        {u"\r\n"_qs, u"\n"_qs, u"a\r\nb\rc\r\n"_qs, u"a\nb\rc\n"_qs},
        {u"(\u00FC)"_qs, u"[$1$1]"_qs, u"T\u00FCr"_qs, u"T[\u00FC\u00FC]r"_qs},
        {u"(a)|b"_qs, u"<$1>"_qs, u"ab"_qs, u"<a><>"_qs},  // a group that took no part is empty
        // Without special characters, found as a literal term: a match without groups.
        {u"T\u00FCr\\."_qs, u"[$0]$$"_qs, u"T\u00FCr. t\u00FCr."_qs, u"[T\u00FCr.]$ t\u00FCr."_qs},
    };
    for (const Case& each : cases) {
        const auto pattern = Compiled(each.pattern, CompareMode::Exact);
        ASSERT_NE(pattern, nullptr);
        auto parsed = ReplacementTemplate::Parse(each.replacement, *pattern);
        ASSERT_TRUE(parsed) << parsed.message().toStdString();
        const TermMatcher term(pattern);
        const EncodedReplacement replacement(
            each.replacement, std::make_shared<const ReplacementTemplate>(parsed.value()));
        const std::vector<std::string> texts = Encodings(each.text);
        const std::vector<std::string> expected = Encodings(each.expected);
        for (std::size_t index = 0; index < texts.size(); ++index) {
            std::string out;
            EXPECT_EQ(ReplaceAllInto(texts[index], term, replacement, out),
                      ReplaceOutcome::Replaced);
            EXPECT_EQ(out, expected[index]) << each.pattern.toStdString() << " #" << index;
        }
    }
    // Text of the template that Windows-1252 cannot hold leaves such a file unchanged.
    const auto pattern = Compiled(u"T\u00FCr"_qs, CompareMode::Exact);
    const EncodedReplacement polish(
        u"\u0142"_qs, std::make_shared<const ReplacementTemplate>(
                          ReplacementTemplate::Parse(u"\u0142"_qs, *pattern).value()));
    std::string out;
    EXPECT_EQ(ReplaceAllInto(Cp1252Of(u"T\u00FCr"_qs), TermMatcher(pattern), polish, out),
              ReplaceOutcome::Unencodable);
    EXPECT_TRUE(out.empty());
}

TEST(PatternTest, WrongPatternsAndTemplatesAreRefusedByPlaceAndReason) {
    struct Case {
        QString pattern;
        QString named;  // in the message
    };
    const Case patterns[] = {
        {u"Fund("_qs, u"Stelle 6: es fehlt die schlie\u00DFende Klammer"_qs},
        {u"\u00E4\u00E4)"_qs, u"Stelle 3: zur Klammer"_qs},
        {u"[a-"_qs, u"eckige Klammer"_qs},
        {u"*a"_qs, u"Stelle 1: vor dem Wiederholungszeichen"_qs},
        {u"a\\"_qs, u"am Ende"_qs},
    };
    for (const Case& each : patterns) {
        auto compiled = Pattern::Compile(each.pattern, CompareMode::Exact);
        ASSERT_FALSE(compiled) << each.pattern.toStdString();
        EXPECT_TRUE(compiled.message().contains(each.named)) << compiled.message().toStdString();
        EXPECT_TRUE(compiled.message().contains(each.pattern));
    }
    const auto pattern = Compiled(u"(?<wort>\\w+)"_qs, CompareMode::Exact);
    const Case templates[] = {
        {u"$"_qs, u"keine Gruppe"_qs},
        {u"$2"_qs, u"\u201E2\u201C"_qs},
        {u"${name}"_qs, u"\u201Ename\u201C"_qs},
        {u"${wort"_qs, u"fehlt"_qs},
    };
    for (const Case& each : templates) {
        auto parsed = ReplacementTemplate::Parse(each.pattern, *pattern);
        ASSERT_FALSE(parsed) << each.pattern.toStdString();
        EXPECT_TRUE(parsed.message().contains(each.named)) << parsed.message().toStdString();
    }
    // A pattern that would backtrack for ever is the fault suite's: it is stopped in one file,
    // that file is named and the others are searched.
}

}  // namespace
}  // namespace trawlex
