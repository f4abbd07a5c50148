#include "TestSupport.h"
#include "common/files/PathAccess.h"
#include "common/text/Pattern.h"
#include "common/text/StreamReplace.h"
#include "replace/Ersatzroutinen.h"
#include "search/Matching.h"
#include "search/StreamMatching.h"
#include "search/Suchroutinen.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <optional>
#include <string>

namespace trawlex {
namespace {

using test::Repeat;

// Reading piece by piece must give what reading whole gives, wherever the pieces end: the
// occurrence, a title tag or a multi-byte character is put on every edge in turn. A replacement
// written piece by piece must write what the replacement of the whole text does, also when the
// output of one piece, or of one template, is far longer than what is kept of it.
TEST(StreamMatchingTest, PiecesGiveWhatTheWholeFileGives) {
    struct StreamCase {
        const char* term;  // UTF-8, as a person types it
        CompareMode mode;
        bool regex;
        std::string filler;  // the file's bytes; the occurrence is put in at every offset in turn
        std::string inserted;
        bool wholeWord = false;
        std::optional<std::string> replacement = std::nullopt;
    };
    const CompareMode exact = CompareMode::Exact;
    const CompareMode ignore = CompareMode::IgnoreCase;
    const std::string ascii = Repeat("ab fund FUND x\r\n", 6);
    const std::string utf8 = Repeat("\xC3\xA9t\xC3\xA9 \xC3\xA4rger, \xE2\x82\xAC\n", 6);
    const std::string marked = "\xEF\xBB\xBF" + utf8;
    const std::string cp1252 = Repeat("\xE9t\xE9 \xE4rger \x80\r\n", 6);
    const StreamCase cases[] = {
        {"fund", ignore, false, ascii, "FuNd", false, "Wasserkraft"},
        {"aa", exact, false, Repeat("a", 90), "b", false, "x"},
        {"fund", ignore, false, utf8 + "<title>\xC3\xA9</title>", "FUND"},
        {"ärger", ignore, false, marked, "\xC3\x84RGER", false, "Ärgernis"},
        {"ärger", ignore, false, cp1252, "\xC4RGER", false, "Ä"},
        // The Kelvin sign is a k in UTF-8 only.
        {"kalt", ignore, false, utf8 + "kalt", "K\xE2\x84\xAA\x61lt"},
        {"kalt", ignore, false, cp1252 + "kalt", "K\xE2\x84\xAA\x61lt"},
        {"€", exact, false, marked, "\xE2\x82\xAC"},
        {"Fund", exact, false, ascii, "<TITLE>Fund</title>"},
        {"fund", ignore, false, ascii + "</title>", "<title>"},
        {"Wasser[a-z]+", exact, true, ascii, "Wasserkraftwerk"},
        {"\\bfund\\b", ignore, true, ascii, "fundus"},
        {"(?m)^Fund$", exact, true, ascii, "Fund\r\n"},
        {"x$", exact, true, ascii + "x\n", "x"},
        {"a*", exact, true, Repeat("ba", 40), "aaa", false, "-"},
        {"(?<=ab )\\bfund\\b", exact, true, ascii, "ab fund", false, "F"},
        {"fund(?! F)", exact, true, ascii, "fund!"},
        {"(f)(u)nd", ignore, true, ascii, "fund", false, "${2}$1"},
        {"\u00E4(r)\\w+", ignore, true, cp1252, "\xC4RGER", false, "[$1]"},
        {"\u00E4r\\w+", ignore, true, utf8, "\xC3\x84rgernis"},
        {"\u00E9.\u00E9", exact, true, utf8, "\xC3\xA9x\xC3\xA9"},
        {"a", exact, false, Repeat("xa", 6), "a", false, Repeat("R", 300000)},
        {"a", exact, true, Repeat("xa", 6), "a", false, Repeat("<", 300000) + "$0>"},
        {"b+", exact, true, Repeat("ab", 4), "bbbbbbbb", false,
         Repeat("R", 600000) + "$0" + Repeat("S", 600000) + "$0T"},
        // Whole words: the neighbours of an occurrence may lie in the piece before or after.
        {"fund", ignore, false, ascii, "Fundus fund", true, "Quelle"},
        {"fund", exact, true, ascii, "_fund ", true},
        {"\u00E4rger", ignore, false, utf8, "\xC3\x84RGERN", true},
        {"\u00E4rger", ignore, false, cp1252, "\xE4rger\xE4 \xC4RGER", true, "Zorn"},
        {"kalt", ignore, false, utf8 + "kalt", "\xC3\xA4kalt", true},
        {"kalt", ignore, false, cp1252 + "kalt", "\xE4kalt", true},
    };
    test::TempTree tree;
    const std::string path = tree.Write("datei.txt", "");
    // One window for every file, as a worker keeps it: nothing of a file may reach the next.
    ReadMemory window;
    for (const StreamCase& test : cases) {
        const QString term = QString::fromUtf8(test.term);
        auto matcher = MatcherFor(term, test.mode, test.regex, test.wholeWord);
        ASSERT_TRUE(matcher) << test.term;
        auto step = ReplaceStep::Make(term, QString::fromStdString(test.replacement.value_or("")),
                                      test.mode, test.regex,
                                      test.wholeWord ? WordRule::WholeWord : WordRule::Anywhere);
        ASSERT_TRUE(step) << test.term;
        for (std::size_t at = 0; at <= test.filler.size(); ++at) {
            const std::string bytes =
                test.filler.substr(0, at) + test.inserted + test.filler.substr(at);
            const FileMatch whole = MatchContents(bytes, matcher.value());
            const FileDescriptor file(open(tree.Write("eingabe", bytes).c_str(), O_RDONLY));
            const int descriptor = file.get();
            for (const std::size_t piece : {16, 23, 64}) {
                const auto where = testing::Message()
                                   << test.term << " at " << at << ", pieces of " << piece;
                auto streamed = MatchStreamed(descriptor, "datei", {&matcher.value()},
                                              {.pieceSize = piece, .window = &window});
                ASSERT_TRUE(streamed);
                const FileMatch& part = streamed->matches.front();
                EXPECT_EQ(part.firstPosition, whole.firstPosition) << where;
                EXPECT_EQ(part.count, whole.count) << where;
                EXPECT_EQ(part.encoding, whole.encoding) << where;
                EXPECT_EQ(streamed->title, whole.IsHit() ? whole.title : std::nullopt) << where;
                EXPECT_EQ(streamed->length, static_cast<std::int64_t>(bytes.size()));
                if (!test.replacement || piece == 64) {
                    continue;
                }
                // A term put into the middle of a character leaves the text unchanged.
                std::string replaced;
                if (ReplaceAllInto(bytes, step->term, step->replacement, replaced) !=
                    ReplaceOutcome::Replaced) {
                    replaced = bytes;
                }
                auto out = ReplacingFile::Begin(path);
                ASSERT_TRUE(out);
                ASSERT_TRUE(ReplaceStreamedInto(descriptor, path, bytes.size(), step->term,
                                                step->replacement, DetectEncoding(bytes),
                                                out.value(), piece));
                std::string written(out->Size(), '\0');
                ASSERT_EQ(pread(out->Descriptor(), written.data(), written.size(), 0),
                          static_cast<ssize_t>(written.size()));
                EXPECT_EQ(written, replaced) << where;
            }
        }
    }
}

}  // namespace
}  // namespace trawlex
