// Regular expressions: the same matches in Windows-1252 and UTF-8 files of the same text,
// replacements that keep everything between matches byte for byte, and refusals that say where
// and why.

#include "common/text/Cp1252.h"
#include "common/text/Pattern.h"
#include "common/text/Replacement.h"
#include "common/text/TermMatcher.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

namespace trawlex {
namespace {

using test::Repeat;

std::string Cp1252Of(const QString& text) {
    auto bytes = EncodeCp1252(text);
    EXPECT_TRUE(bytes) << text.toStdString();
    return bytes ? bytes.value() : std::string();
}

// The text in each encoding a file may be written in: UTF-8, UTF-8 with a mark, and
// Windows-1252 where it holds the text.
std::vector<std::string> Encodings(const QString& text) {
    const std::string utf8 = text.toUtf8().toStdString();
    std::vector<std::string> encodings = {utf8, "\xEF\xBB\xBF" + utf8};
    if (auto cp1252 = EncodeCp1252(text)) {
        encodings.push_back(cp1252.value());
    }
    return encodings;
}

std::shared_ptr<const Pattern> Compiled(const QString& text, CompareMode mode) {
    auto pattern = Pattern::Compile(text, mode);
    EXPECT_TRUE(pattern) << pattern.message().toStdString();
    return pattern ? pattern.value() : nullptr;
}

// Every occurrence a term has in the bytes, as spans, read whole (`piece` 0) or in pieces of
// `piece` bytes, each window beginning where the last scan asked to keep the bytes from.
using Spans = std::vector<std::pair<std::uint64_t, std::uint64_t>>;

Spans Occurrences(const TermMatcher& term, std::string_view bytes, std::size_t piece) {
    const DetectedEncoding detected = DetectEncoding(bytes);
    Spans spans;
    const auto take = [&spans](const Occurrence& occurrence) {
        spans.emplace_back(occurrence.span.start, occurrence.span.end);
        return true;
    };
    if (piece == 0) {
        EXPECT_EQ(term.ForEachOccurrence(bytes, detected, take), PatternScan::Done);
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

// A term or pattern finds the same places in Windows-1252, UTF-8 and UTF-8 behind a mark, read
// whole or in pieces, counted in characters. A literal term is also given as the plain pattern
// searched as a literal and as one PCRE2 searches. Lines end in LF, CR or CR LF alike, and a
// CR LF pair is one line end: an empty match never falls between its two characters. As whole
// words an occurrence counts only where neither the character before it nor the one after it is
// a letter (ß and umlauts too), a digit or an underscore; the text's start and end are none.
// Ignoring case the literal search folds as PCRE2 does, so a pattern without special characters
// may go to the literal search and give the same occurrences: the Kelvin sign and the long s,
// which pure ASCII terms are found by bytes away from, and the partners beyond Windows-1252 of
// letters it holds (ẞ for ß, the micro sign's Greek mu).
TEST(PatternTest, FindsTheSamePlacesInEveryEncodingWholeOrInPieces) {
    struct Case {
        QString term;
        bool pattern;  // a regular expression rather than a literal term
        CompareMode mode;
        QString text;
        std::vector<std::int64_t> starts;  // character positions
        WordRule words = WordRule::Anywhere;
    };
    const CompareMode exact = CompareMode::Exact;
    const CompareMode ignore = CompareMode::IgnoreCase;
    const WordRule words = WordRule::WholeWord;
    std::vector<std::int64_t> kisses;  // in Repeat("Kiss kiSS, ", 300)
    for (std::int64_t at = 1; at < 3300; at += 11) {
        kisses.insert(kisses.end(), {at, at + 5});
    }
    kisses.push_back(3303);
    const Case cases[] = {
        {u"Fundst[a-z\u00FC]+"_qs, true, exact, u"Ein Fundst\u00FCck, Fundstelle"_qs, {5, 16}},
        // The only byte beyond ASCII lies past the first steps of the look for one.
        {u"[ST]\u00FCr"_qs,
         true,
         exact,
         QString(55, u'x') + u" T\u00FCr "_qs + QString(20, u'x'),
         {57}},
        {u"gr\u00F6(ss|\u00DF)e"_qs, true, ignore, u"GR\u00D6SSE und Gr\u00F6\u00DFe"_qs, {1, 12}},
        {u"\\bStra\u00DFe\\b"_qs, true, exact, u"Stra\u00DFenbahn Stra\u00DFe"_qs, {13}},
        {u"\\w+"_qs, true, exact, u"\u00D6l \u00FCber"_qs, {1, 4}},
        {u"x*"_qs, true, exact, u"axxb"_qs, {1, 2, 4, 5}},  // never twice at one place
        {u"(?m)^Zeile$"_qs, true, exact, u"Kopf\r\nZeile\r\nEnde"_qs, {7}},
        // Windows-1252 read as UTF-8: thousands of two-byte characters before a match, which
        // its place is counted back through.
        {u"[\u00E4c]b"_qs, true, exact, QString(3000, u'\u00E4') + u"b \u00E4b"_qs, {3000, 3003}},
        {u"\u20AC\\d"_qs, true, exact, u"Preis: \u20AC5"_qs, {8}},
        {u"\u0160KODA"_qs, false, ignore, u"\u0161koda"_qs, {1}},
        {u"fund"_qs, false, exact, u"Fund"_qs, {}},
        {u"k"_qs, false, ignore, u"\u212A\u00E4lte, Kalt"_qs, {1, 8}},
        {u"K"_qs, false, exact, u"\u212A\u00E4lte, Kalt"_qs, {8}},
        {u"so"_qs, false, ignore, u"\u017Fo \u00E4, SO, \u017F\u017Fo"_qs, {1, 7, 12}},
        {u"kiss"_qs, false, ignore,
         QString::fromStdString(Repeat("Kiss kiSS, ", 300)) + u"\u00E4 KI\u017Fs"_qs, kisses},
        {u"ks"_qs, false, ignore, u"k\u212A\u017F"_qs.repeated(5) + u"K"_qs, {2, 5, 8, 11, 14}},
        // In Windows-1252 the bytes of a Kelvin sign are no k.
        {u"k"_qs, false, ignore, u"\u00E2\u201E\u00AA k \u00FF"_qs, {5}},
        {u"stra\u1E9Ee"_qs, false, ignore, u"Stra\u00DFe STRASSE"_qs, {1}},
        {u"STRA\u00DFE"_qs, false, ignore, u"Stra\u00DFe STRA\u1E9EE"_qs, {1, 8}},
        {u"\u03BCm"_qs, false, ignore, u"5 \u00B5m"_qs, {3}},
        {u"\u212B"_qs, false, ignore, u"\u00C5 \u00E5 A"_qs, {1, 3}},
        {u"\u2126"_qs, false, ignore, u"\u03C9 \u03A9 \u2126"_qs, {1, 3, 5}},
        {u"\u03C3"_qs, false, ignore, u"\u03C2 \u03A3 \u03C3"_qs, {1, 3, 5}},
        {u"i"_qs, false, ignore, u"\u0130 \u0131 I i"_qs, {5, 7}},
        {u"\u0178"_qs, false, ignore, u"\u00FF \u0178 y"_qs, {1, 3}},
        {u"Fund\\b"_qs, true, exact, u"\u00DCberFund Fundus \u00FCFund"_qs, {5, 18}},
        {u"(?m)^"_qs, true, exact, u"a\r\n\r\nb\r\n"_qs, {1, 4, 6}},
        {u"(?m)^$"_qs, true, exact, u"a\r\n\r\nb\r\n"_qs, {4}},
        {u"(?m)^"_qs, true, exact, u"\r\n\r\n"_qs, {1, 3}},
        {u"(?m)^"_qs, true, exact, u"a\rb\r"_qs, {1, 3}},
        {u"(?m)^"_qs, true, exact, u"\n\r"_qs, {1, 2}},
        {u"(?m)$"_qs, true, exact, u"a\r\nb"_qs, {2, 5}},
        {u"(?m)x$"_qs, true, exact, u"x\r\nx"_qs, {1, 4}},
        {u"$"_qs, true, exact, u"a\r\n"_qs, {2, 4}},
        {u"x*"_qs, true, exact, u"\r\n"_qs, {1, 3}},
        {u"a.b"_qs, true, exact, u"a\rb a\nb a\tb"_qs, {9}},
        {u"\\R"_qs, true, exact, u"\r\n\n\r"_qs, {1, 3, 4}},
        {u"aa"_qs, false, exact, u"aaa aa"_qs, {5}, words},
        {u"a a"_qs, false, exact, u"ba a a"_qs, {4}, words},
        {u"Ma"_qs, false, exact, u"Ma\u00DFe \u00ABMa\u00BB \u00E4Ma Ma"_qs, {7, 15}, words},
        {u"FUß"_qs, false, ignore, u"Fuß. Fußball fuß_ Fuß"_qs, {1, 19}, words},
        {u"r\u00F6\u00DF"_qs, false, exact, u"Gr\u00F6\u00DFe r\u00F6\u00DF"_qs, {7}, words},
        {u"foo"_qs, false, exact, u"foo_bar foo2 2foo foo"_qs, {19}, words},
        {u"\u00E4rger"_qs, false, ignore, u"\u00C4rger, \u00E4rgerlich"_qs, {1}, words},
        // A match that is no whole word leaves room for one that starts inside it.
        {u"-?\\d+"_qs, true, exact, u"a-12 -3"_qs, {3, 6}, words},
        {u"M[a-z]+"_qs, true, exact, u"Ma\u00DFe Mast Mx"_qs, {6, 11}, words},
        // A comment, a quotation or a start option at the end or start stays one.
        {u"(?x) Ma # Kommentar"_qs, true, exact, u"Ma\u00DFe Ma"_qs, {6}, words},
        {u"\\QMa"_qs, true, ignore, u"Ma\u00DFe MA"_qs, {6}, words},
        {u"(*UCP)fu\\w"_qs, true, ignore, u"Fu\u00DF Fu\u00DFe"_qs, {1}, words},
    };
    for (const Case& each : cases) {
        std::vector<TermMatcher> terms;
        if (each.pattern) {
            terms.emplace_back(Compiled(each.term, each.mode), each.words);
        } else {
            terms.emplace_back(each.term, each.mode, each.words);
            terms.emplace_back(Compiled(Escaped(each.term), each.mode), each.words);
            // A quantifier keeps it with PCRE2, its literal start all but the last character.
            terms.emplace_back(Compiled(Escaped(each.term) + u"{1}"_qs, each.mode), each.words);
            // The plain pattern goes to the literal search, the other to PCRE2.
            EXPECT_TRUE(each.words == words ||
                        terms[1].LongestOccurrence(TextEncoding::Utf8).has_value());
            EXPECT_FALSE(terms[2].LongestOccurrence(TextEncoding::Utf8).has_value());
        }
        for (const std::string& bytes : Encodings(each.text)) {
            const DetectedEncoding detected = DetectEncoding(bytes);
            for (std::size_t index = 0; index < terms.size(); ++index) {
                EXPECT_TRUE(each.starts.empty() || terms[index].MayOccur(bytes));
                for (const std::size_t piece : {0, 1, 2, 3, 5, 7}) {
                    std::vector<std::int64_t> starts;
                    for (const auto& [start, end] : Occurrences(terms[index], bytes, piece)) {
                        starts.push_back(CharacterPosition(bytes, detected, start));
                    }
                    EXPECT_EQ(starts, each.starts) << each.term.toStdString() << " #" << index
                                                   << " in " << bytes << ", pieces of " << piece;
                }
            }
        }
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
            const TermMatcher pattern(Compiled(text, mode));
            const TermMatcher plain(Compiled(u"(?:"_qs + text + u")"_qs, mode));
            for (const QString& each : texts) {
                for (const std::string& bytes : Encodings(each)) {
                    const Spans expected = Occurrences(plain, bytes, bytes.size());
                    for (const std::size_t piece : {std::size_t{1}, std::size_t{4}, bytes.size()}) {
                        EXPECT_EQ(Occurrences(pattern, bytes, piece), expected)
                            << text.toStdString() << " in pieces of " << piece;
                    }
                    EXPECT_TRUE(expected.empty() || pattern.MayOccur(bytes));
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
        // An empty match never falls between CR and LF.
        {u"(?m)^"_qs, u"> "_qs, u"a\r\n\r\nb\r\n"_qs, u"> a\r\n> \r\n> b\r\n"_qs},
        {u"x*"_qs, u"-"_qs, u"\r\n"_qs, u"-\r\n-"_qs},
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
    // A pattern that would backtrack for ever is in the command-line table: it is stopped in one
    // file, that file is named and the others are searched.
}

}  // namespace
}  // namespace trawlex
