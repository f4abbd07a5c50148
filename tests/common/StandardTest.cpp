#include "TestSupport.h"
#include "common/ChunkReader.h"
#include "common/Standard.h"

#include <gtest/gtest.h>

#include <QDir>

#include <sys/stat.h>
#include <unistd.h>

#include <string>

namespace trawlex {
namespace {

TEST(StandardTest, ReadsEveryByteExactly) {
    const test::TempTree tree;
    struct Case {
        const char* name;
        std::string bytes;
    };
    const Case cases[] = {
        {"empty", ""},
        {"controls", std::string("a\0b\r\nc\r\xFF\x1A\0", 10)},
        {"no final newline", "last line"},
        {"large", std::string(300000, '\xE4') + "end"},
    };
    for (const Case& entry : cases) {
        SCOPED_TRACE(entry.name);
        const std::string path = tree.Write(entry.name, entry.bytes);
        const auto read = ReadWholeFile(path);
        ASSERT_TRUE(read) << read.message().toStdString();
        EXPECT_EQ(*read, entry.bytes);
        const auto loaded = LoadFile(path);
        ASSERT_TRUE(loaded);
        EXPECT_EQ(loaded->length, static_cast<std::int64_t>(entry.bytes.size()));
        struct stat info {};
        ASSERT_EQ(stat(path.c_str(), &info), 0);
        EXPECT_EQ(loaded->modified, info.st_mtime);
        // Into a buffer that has held nothing yet, as each search thread's first file is.
        FileBuffer fresh;
        auto opened = OpenRegularFile(path);
        ASSERT_TRUE(opened);
        const auto into = ReadOpenedInto(opened.value(), path, fresh);
        ASSERT_TRUE(into) << into.message().toStdString();
        EXPECT_EQ(fresh.View(), entry.bytes);
    }
}

TEST(StandardTest, ReplacingWriteKeepsModeAndLinksAndLeavesNoTemporaryFile) {
    const test::TempTree tree;
    const std::string target = tree.Write("ziel.txt", "alt");
    ASSERT_EQ(chmod(target.c_str(), 0640), 0);
    const std::string link = tree.Path("verweis.txt");
    ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);

    ASSERT_TRUE(WriteFileReplacing(link, "neu\r\n"));
    EXPECT_EQ(test::ReadFile(target), "neu\r\n");
    struct stat info {};
    ASSERT_EQ(lstat(link.c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode)) << "the link must stay a link";
    ASSERT_EQ(stat(target.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640U);

    const std::string fresh = tree.Path("neu.txt");
    ASSERT_TRUE(WriteFileReplacing(fresh, ""));
    EXPECT_EQ(test::ReadFile(fresh), "");

    const auto failed = WriteFileReplacing(tree.Path("fehlt/x.txt"), "x");
    ASSERT_FALSE(failed);
    EXPECT_TRUE(failed.message().contains(QStringLiteral("fehlt/x.txt")));
    EXPECT_EQ(QDir(tree.RootText()).entryList(QDir::Files | QDir::Hidden | QDir::System).size(), 3)
        << "only ziel.txt, verweis.txt and neu.txt";
}

}  // namespace
}  // namespace trawlex
