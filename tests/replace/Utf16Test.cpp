// Files that are not plain 8-bit text: binary files, which nothing rewrites, and UTF-16 files,
// which are searched and replaced as the text they hold.
#include "TestSupport.h"
#include "common/files/TreeWalk.h"
#include "replace/Ersatzroutinen.h"
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
        FileBuffer buffer;
        WalkedFile walked;
        walked.path = path;
        EXPECT_EQ(ScanFile(walked, terms, buffer).binary, given.binary);
        const FileDescriptor file(open(path.c_str(), O_RDONLY | O_CLOEXEC));
        auto streamed = MatchStreamed(file.get(), path, {&term}, {.pieceSize = 16});
        ASSERT_TRUE(streamed);
        EXPECT_EQ(streamed->binary, given.binary);

        FakeUi ui;
        const LocationBounds bounds(tree.Root());
        ReplaceRun run{steps, mask, ui, bounds, ReplaceAction::Preview};
        const FileOutcome previewed = PreviewInPieces({path, path, std::nullopt}, run, 16);
        EXPECT_EQ(previewed.preview.has_value(), !given.binary);
        ReplaceJob job;
        job.location = tree.RootText();
        job.term = QStringLiteral("Alt");
        job.replacement = QStringLiteral("Neu");
        job.mask = QStringLiteral("*.txt");
        job.journal = false;
        EXPECT_EQ(ReplaceLocation(ui, job),
                  given.binary ? CommandOutcome::Incomplete : CommandOutcome::Completed);
        EXPECT_EQ(ReadFile(path) == given.bytes, given.binary);
        EXPECT_EQ(ui.messages.join(u'\n').contains(QStringLiteral("ist eine Bin\u00E4rdatei")),
                  given.binary);
    }
}

}  // namespace
}  // namespace trawlex
