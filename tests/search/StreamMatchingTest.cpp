#include "TestSupport.h"
#include "common/text/Pattern.h"
#include "common/text/StreamReplace.h"
#include "replace/Ersatzroutinen.h"
#include "search/Matching.h"
#include "search/StreamMatching.h"
#include "search/Suchroutinen.h"

#include <gtest/gtest.h>

#include <sys/mman.h>
#include <unistd.h>

#include <string>

namespace trawlex {
namespace {

struct StreamCase {
    const char* term;  // UTF-8, as a person types it
    CompareMode mode;
    bool regex;
    std::string filler;  // the file's bytes; the occurrence is put in at every offset in turn
    std::string inserted;
    bool wholeWord = false;
};

// A file in memory, written anew for each placement.
class MemoryFile {
public:
    MemoryFile() : descriptor_(memfd_create("trawlex-stream", MFD_CLOEXEC)) {}
    ~MemoryFile() { close(descriptor_); }
    int Write(const std::string& bytes) {
        EXPECT_EQ(ftruncate(descriptor_, 0), 0);
        EXPECT_EQ(pwrite(descriptor_, bytes.data(), bytes.size(), 0),
                  static_cast<ssize_t>(bytes.size()));
        return descriptor_;
    }

private:
    int descriptor_;
};

std::string Repeat(const std::string& piece, std::size_t times) {
    std::string text;
    for (std::size_t index = 0; index < times; ++index) {
        text += piece;
    }
    return text;
}

// Reading piece by piece must give what reading whole gives, wherever the pieces end: the
// occurrence, a title tag or a multi-byte character is put on every edge in turn.
TEST(StreamMatchingTest, PiecesGiveWhatTheWholeFileGives) {
    const std::string ascii = Repeat("ab fund FUND x\r\n", 6);
    const std::string utf8 = Repeat("\xC3\xA9t\xC3\xA9 \xC3\xA4rger, \xE2\x82\xAC\n", 6);
    const std::string cp1252 = Repeat("\xE9t\xE9 \xE4rger \x80\r\n", 6);
    const StreamCase cases[] = {
        {"Fund", CompareMode::Exact, false, ascii, "Fund"},
        {"fund", CompareMode::IgnoreCase, false, ascii, "FuNd"},
        {"aa", CompareMode::Exact, false, Repeat("a", 90), "b"},
        {"fund", CompareMode::IgnoreCase, false, utf8 + "<title>\xC3\xA9</title>", "FUND"},
        {"ärger", CompareMode::IgnoreCase, false, utf8, "\xC3\x84RGER"},
        {"ärger", CompareMode::IgnoreCase, false, cp1252, "\xC4RGER"},
        // The Kelvin sign is a k in UTF-8 only.
        {"kalt", CompareMode::IgnoreCase, false, utf8 + "kalt", "K\xE2\x84\xAA\x61lt"},
        {"kalt", CompareMode::IgnoreCase, false, cp1252 + "kalt", "K\xE2\x84\xAA\x61lt"},
        {"€", CompareMode::Exact, false, "\xEF\xBB\xBF" + utf8, "\xE2\x82\xAC"},
        {"Fund", CompareMode::Exact, false, ascii, "<TITLE>Fund</title>"},
        {"fund", CompareMode::IgnoreCase, false, ascii + "</title>", "<title>"},
        {"Wasser[a-z]+", CompareMode::Exact, true, ascii, "Wasserkraftwerk"},
        {"\\bfund\\b", CompareMode::IgnoreCase, true, ascii, "fundus"},
        {"(?m)^Fund$", CompareMode::Exact, true, ascii, "Fund\r\n"},
        {"x$", CompareMode::Exact, true, ascii + "x\n", "x"},
        {"a*", CompareMode::Exact, true, Repeat("ba", 40), "aaa"},
        {"(?<=ab )f", CompareMode::Exact, true, ascii, "ab f"},
        {"fund(?! F)", CompareMode::Exact, true, ascii, "fund!"},
        {"\u00E4r\\w+", CompareMode::IgnoreCase, true, cp1252, "\xC4RGER"},
        {"\u00E4r\\w+", CompareMode::IgnoreCase, true, utf8, "\xC3\x84rgernis"},
        {"\u00E9.\u00E9", CompareMode::Exact, true, utf8, "\xC3\xA9x\xC3\xA9"},
        // Whole words: the neighbours of an occurrence may lie in the piece before or after.
        {"fund", CompareMode::IgnoreCase, false, ascii, "Fundus", true},
        {"fund", CompareMode::Exact, true, ascii, "_fund ", true},
        {"\u00E4rger", CompareMode::IgnoreCase, false, utf8, "\xC3\x84RGERN", true},
        {"\u00E4rger", CompareMode::IgnoreCase, false, cp1252, "\xC4rger\xE4", true},
        {"kalt", CompareMode::IgnoreCase, false, utf8 + "kalt", "\xC3\xA4kalt", true},
        {"kalt", CompareMode::IgnoreCase, false, cp1252 + "kalt", "\xE4kalt", true},
    };
    MemoryFile file;
    for (const StreamCase& test : cases) {
        auto matcher =
            MatcherFor(QString::fromUtf8(test.term), test.mode, test.regex, test.wholeWord);
        ASSERT_TRUE(matcher) << test.term;
        for (std::size_t at = 0; at <= test.filler.size(); ++at) {
            const std::string bytes =
                test.filler.substr(0, at) + test.inserted + test.filler.substr(at);
            const FileMatch whole = MatchContents(bytes, matcher.value());
            for (const std::size_t piece : {16, 23, 64}) {
                auto streamed = MatchStreamed(file.Write(bytes), "datei", {&matcher.value()},
                                              {.pieceSize = piece});
                ASSERT_TRUE(streamed);
                const FileMatch& part = streamed->matches.front();
                const auto where = testing::Message()
                                   << test.term << " at " << at << ", pieces of " << piece;
                EXPECT_EQ(part.firstPosition, whole.firstPosition) << where;
                EXPECT_EQ(part.count, whole.count) << where;
                EXPECT_EQ(part.encoding, whole.encoding) << where;
                EXPECT_EQ(streamed->title, whole.IsHit() ? whole.title : std::nullopt) << where;
                EXPECT_EQ(streamed->length, static_cast<std::int64_t>(bytes.size()));
            }
        }
    }
}

// A replacement written piece by piece must write what the replacement of the whole text does,
// also when the output of one piece, or of one template, is far longer than what is kept of it.
TEST(StreamMatchingTest, PiecesAreReplacedAsTheWholeFileIs) {
    struct ReplaceCase {
        StreamCase search;
        std::string replacement;
    };
    const std::string ascii = Repeat("ab fund FUND x\r\n", 5);
    const std::string utf8 =
        "\xEF\xBB\xBF" + Repeat("\xC3\xA9t\xC3\xA9 \xC3\xA4rger, \xE2\x82\xAC\n", 5);
    const std::string cp1252 = Repeat("\xE9t\xE9 \xE4rger \x80\r\n", 5);
    const ReplaceCase cases[] = {
        {{"fund", CompareMode::IgnoreCase, false, ascii, "FuNd"}, "Wasserkraft"},
        {{"aa", CompareMode::Exact, false, Repeat("a", 70), "b"}, "x"},
        {{"ärger", CompareMode::IgnoreCase, false, utf8, "\xC3\x84RGER"}, "Ärgernis"},
        {{"ärger", CompareMode::IgnoreCase, false, cp1252, "\xC4RGER"}, "Ä"},
        {{"(f)(u)nd", CompareMode::IgnoreCase, true, ascii, "fund"}, "${2}$1"},
        {{"\u00E4(r)\\w+", CompareMode::IgnoreCase, true, cp1252, "\xC4RGER"}, "[$1]"},
        {{"a*", CompareMode::Exact, true, Repeat("ba", 30), "aaa"}, "-"},
        {{"(?<=ab )\\bfund\\b", CompareMode::Exact, true, ascii, "ab fund"}, "F"},
        {{"a", CompareMode::Exact, false, Repeat("xa", 6), "a"}, Repeat("R", 300000)},
        {{"a", CompareMode::Exact, true, Repeat("xa", 6), "a"}, Repeat("<", 300000) + "$0>"},
        {{"b+", CompareMode::Exact, true, Repeat("ab", 4), "bbbbbbbb"},
         Repeat("R", 600000) + "$0" + Repeat("S", 600000) + "$0T"},
        {{"fund", CompareMode::IgnoreCase, false, ascii, "Fundus fund", true}, "Quelle"},
        {{"\u00E4rger", CompareMode::IgnoreCase, false, cp1252, "\xE4rger\xE4 \xC4RGER", true},
         "Zorn"},
    };
    test::TempTree tree;
    const std::string path = tree.Write("datei.txt", "");
    for (const ReplaceCase& test : cases) {
        auto step = ReplaceStep::Make(
            QString::fromUtf8(test.search.term), QString::fromStdString(test.replacement),
            test.search.mode, test.search.regex,
            test.search.wholeWord ? WordRule::WholeWord : WordRule::Anywhere);
        ASSERT_TRUE(step) << test.search.term;
        for (std::size_t at = 0; at <= test.search.filler.size(); ++at) {
            const std::string bytes = test.search.filler.substr(0, at) + test.search.inserted +
                                      test.search.filler.substr(at);
            // A term put into the middle of a character leaves the text unchanged.
            std::string whole;
            if (ReplaceAllInto(bytes, step->term, step->replacement, whole) !=
                ReplaceOutcome::Replaced) {
                whole = bytes;
            }
            MemoryFile file;
            const int descriptor = file.Write(bytes);
            for (const std::size_t piece : {16, 23}) {
                auto out = ReplacingFile::Begin(path);
                ASSERT_TRUE(out);
                auto replaced = ReplaceStreamedInto(descriptor, path, bytes.size(), step->term,
                                                    step->replacement, DetectEncoding(bytes),
                                                    out.value(), piece);
                ASSERT_TRUE(replaced);
                std::string written(out->Size(), '\0');
                ASSERT_EQ(pread(out->Descriptor(), written.data(), written.size(), 0),
                          static_cast<ssize_t>(written.size()));
                EXPECT_EQ(written, whole)
                    << test.search.term << " at " << at << ", pieces of " << piece;
            }
        }
    }
}

}  // namespace
}  // namespace trawlex
