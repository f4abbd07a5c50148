// Files that are not plain 8-bit text: binary files, which nothing rewrites, and UTF-16 files,
// which are searched and replaced as the text they hold.
#include "TestSupport.h"
#include "common/files/TreeWalk.h"
#include "common/text/StreamReplace.h"
#include "common/text/Utf16.h"
#include "replace/Ersatzroutinen.h"
#include "replace/UndoCommand.h"
#include "search/HitLines.h"
#include "search/Scan.h"
#include "search/StreamMatching.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace trawlex {
namespace {

using test::FakeUi;
using test::ReadFile;
using test::TempTree;

// The bytes with a NUL byte at `at`, the rest of them text holding "Alt".
std::string WithNul(std::size_t at, std::size_t length) {
    std::string bytes(length, 'x');
    bytes.replace(0, 3, "Alt");
    bytes[at] = '\0';
    return bytes;
}

// Whether a file is binary is decided by its first 8 KiB alike whole and in pieces, and a binary
// file is named and left by a replacement and by its preview.
TEST(BinaryTest, ANulInTheFirstBytesMakesAFileBinaryAndUnchanged) {
    struct BinaryCase {
        const char* name;
        std::string bytes;
        bool binary;
    };
    const BinaryCase cases[] = {
        {"text", "Alt und Alt\n", false},
        {"NUL behind the term", std::string("Alt\0", 4), true},
        {"NUL in the last byte looked at", WithNul(8191, 9000), true},
        {"NUL behind the first 8 KiB", WithNul(8192, 9000), false},
        {"UTF-16LE", "\xFF\xFE" + std::string("A\0l\0t\0", 6), false},
        {"UTF-16BE", "\xFE\xFF" + std::string("\0A\0l\0t", 6), false},
    };
    const TermMatcher term(QStringLiteral("Alt"), CompareMode::Exact);
    const std::vector<ReplaceStep> steps{
        ReplaceStep(QStringLiteral("Alt"), QStringLiteral("Neu"), CompareMode::Exact)};
    const FileMask mask(QStringLiteral("*.txt"));
    for (const BinaryCase& given : cases) {
        SCOPED_TRACE(given.name);
        const TempTree tree;
        const std::string path = tree.Write("datei.txt", given.bytes);
        const TermMatcher* terms[] = {&term};
        ScanMemory memory;
        WalkedFile walked;
        walked.path = path;
        EXPECT_EQ(ScanFile(walked, terms, memory, {}, {.binary = true}).binary, given.binary);
        const FileDescriptor file(open(path.c_str(), O_RDONLY | O_CLOEXEC));
        auto streamed = MatchStreamed(file.get(), path, {&term}, {.pieceSize = 16});
        ASSERT_TRUE(streamed);
        EXPECT_EQ(streamed->binary, given.binary);

        FakeUi ui;
        const LocationBounds bounds(tree.Root());
        ReplaceRun run{steps, mask, ui, bounds, ReplaceAction::Preview};
        const FileOutcome previewed = PreviewInPieces({path, path, std::nullopt}, run, 16);
        EXPECT_EQ(previewed.preview.has_value(), !given.binary);
        const ReplaceJob job{.location = tree.RootText(),
                             .term = QStringLiteral("Alt"),
                             .replacement = QStringLiteral("Neu"),
                             .mask = QStringLiteral("*.txt"),
                             .journal = false};
        EXPECT_EQ(ReplaceLocation(ui, job),
                  given.binary ? CommandOutcome::Incomplete : CommandOutcome::Completed);
        EXPECT_EQ(ReadFile(path) == given.bytes, given.binary);
        EXPECT_EQ(ui.messages.join(u'\n').contains(QStringLiteral("ist eine Bin\u00E4rdatei")),
                  given.binary);
    }
}

// A UTF-16 file of either byte order is searched as the text it holds, whole and in pieces, and
// replaced into the same byte order behind its mark; one with a lone surrogate is searched over,
// but named and left by a replacement.
TEST(Utf16Test, SearchedAndReplacedAsTheTextItHolds) {
    struct Utf16Case {
        const char* name;
        QString text;  // behind the mark
        QString term;
        QString replacement;
        CompareMode mode;
        bool regex;
        std::int64_t first;  // in characters, the mark not counted
        std::int64_t count;
        std::optional<std::string> title;  // UTF-8
        QString replaced;                  // the text afterwards; unchanged for a lone surrogate
        bool malformed = false;
    };
    const QString grinning = QString::fromUcs4(U"\U0001F600");
    const Utf16Case cases[] = {
        {"umlauts ignoring case, with a title",
         QStringLiteral("\u00C4rger \u00FCber \u00C4RGER\r\n<TITLE>Gr\u00FC\u00DFe</title>\n"),
         QStringLiteral("\u00E4rger"), QStringLiteral("Freude"), CompareMode::IgnoreCase, false, 1,
         2,
         "Gr\xC3\xBC\xC3\x9F"
         "e",
         QStringLiteral("Freude \u00FCber Freude\r\n<TITLE>Gr\u00FC\u00DFe</title>\n")},
        {"a pair before the term counts as one character",
         grinning + QStringLiteral(" x Fund\nFund ") + grinning, QStringLiteral("Fund"),
         QStringLiteral("\u03A9"), CompareMode::Exact, false, 5, 2, std::nullopt,
         grinning + QStringLiteral(" x \u03A9\n\u03A9 ") + grinning},
        {"a pair as the term", QStringLiteral("a") + grinning + QStringLiteral("b") + grinning,
         grinning, QStringLiteral("a"), CompareMode::Exact, false, 2, 2, std::nullopt,
         QStringLiteral("aaba")},
        {"pattern with a group", QStringLiteral("Ma\u00DF und ma\u00DF"),
         QStringLiteral("m(a)\u00DF"), QStringLiteral("[$1]"), CompareMode::IgnoreCase, true, 1, 2,
         std::nullopt, QStringLiteral("[a] und [a]")},
        {"lone surrogate", QStringLiteral("Alt") + QChar(0xDC00) + QStringLiteral(" Alt"),
         QStringLiteral("Alt"), QStringLiteral("Neu"), CompareMode::Exact, false, 1, 2,
         std::nullopt, QStringLiteral("Alt") + QChar(0xDC00) + QStringLiteral(" Alt"), true},
    };
    const FileMask mask(QStringLiteral("*.txt"));
    for (const Utf16Case& given : cases) {
        for (const ByteOrder order : {ByteOrder::Little, ByteOrder::Big}) {
            SCOPED_TRACE(testing::Message()
                         << given.name << (order == ByteOrder::Little ? " LE" : " BE"));
            const std::string mark = order == ByteOrder::Little ? "\xFF\xFE" : "\xFE\xFF";
            const std::string bytes = mark + EncodeUtf16(given.text, order);
            const TempTree tree;
            const std::string path = tree.Write("datei.txt", bytes);
            auto step = ReplaceStep::Make(given.term, given.replacement, given.mode, given.regex);
            ASSERT_TRUE(step);

            WalkedFile walked;
            walked.path = path;
            const TermMatcher* terms[] = {&step->term};
            ScanMemory memory;
            const ScannedFile whole = ScanFile(walked, terms, memory);
            EXPECT_EQ(whole.matches.front().firstPosition, given.first);
            EXPECT_EQ(whole.matches.front().count, given.count);
            EXPECT_EQ(whole.matches.front().encoding, TextEncoding::Utf8);
            EXPECT_EQ(whole.title, given.title);
            EXPECT_EQ(whole.stamp.length, static_cast<std::int64_t>(bytes.size()));
            auto lines = ReadHitLines(path, step->term);
            ASSERT_TRUE(lines);
            EXPECT_FALSE(lines->lines.empty());
            const FileDescriptor file(open(path.c_str(), O_RDONLY | O_CLOEXEC));
            for (const std::size_t piece : {16, 23}) {
                auto streamed =
                    MatchStreamed(file.get(), path, {&step->term}, {.pieceSize = piece});
                ASSERT_TRUE(streamed);
                EXPECT_EQ(streamed->matches.front().firstPosition, given.first) << piece;
                EXPECT_EQ(streamed->matches.front().count, given.count) << piece;
                EXPECT_EQ(streamed->title, given.title) << piece;
                EXPECT_EQ(streamed->length, static_cast<std::int64_t>(bytes.size())) << piece;
                EXPECT_EQ(streamed->malformed, given.malformed) << piece;
                if (given.malformed) {
                    continue;
                }
                const std::string out = tree.Path("aus.txt");
                auto written = ReplacingFile::Begin(out);
                ASSERT_TRUE(written);
                ASSERT_TRUE(ReplaceStreamedInto(file.get(), path, bytes.size(), step->term,
                                                step->replacement, streamed->detected,
                                                written.value(), piece));
                std::string result(written->Size(), '\0');
                ASSERT_EQ(pread(written->Descriptor(), result.data(), result.size(), 0),
                          static_cast<ssize_t>(result.size()));
                EXPECT_EQ(result, mark + EncodeUtf16(given.replaced, order)) << piece;
            }

            FakeUi ui;
            const std::vector<ReplaceStep> steps{step.value()};
            const LocationBounds bounds(tree.Root());
            const ReplaceRun run{steps, mask, ui, bounds, ReplaceAction::Preview};
            EXPECT_EQ(PreviewInPieces({path, path, std::nullopt}, run, 16).preview.has_value(),
                      !given.malformed);
            const ReplaceJob job{.location = tree.RootText(),
                                 .term = given.term,
                                 .replacement = given.replacement,
                                 .mask = QStringLiteral("datei.txt"),
                                 .mode = given.mode,
                                 .regex = given.regex};
            EXPECT_EQ(ReplaceLocation(ui, job),
                      given.malformed ? CommandOutcome::Incomplete : CommandOutcome::Completed);
            EXPECT_EQ(ReadFile(path), mark + EncodeUtf16(given.replaced, order));
            EXPECT_EQ(ui.messages.join(u'\n').contains(QStringLiteral("einzelnes Ersatzzeichen")),
                      given.malformed);
            if (!given.malformed) {
                Form1 form;
                EXPECT_EQ(UndoNewestRun(form, ui, DamagedRuns::Refuse), CommandOutcome::Completed);
                EXPECT_EQ(ReadFile(path), bytes);
            }
        }
    }
}

}  // namespace
}  // namespace trawlex
