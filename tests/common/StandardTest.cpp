#include "TestSupport.h"
#include "common/Standard.h"
#include "common/files/ChunkReader.h"
#include "common/files/ReplacingFile.h"
#include "common/files/WholeFile.h"

#include <gtest/gtest.h>

#include <QDir>

#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
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

// A rewrite reaches its file one name at a time from the location: a name on the way that is a
// symbolic link, even to a directory inside, ends the way there, and so does a file that is one.
TEST(StandardTest, TheWayToARewrittenFileNeverPassesALink) {
    const test::TempTree tree;
    tree.Write("ort/unter/datei.txt", "Alt");
    tree.Write("draussen/datei.txt", "Alt");
    ASSERT_EQ(symlink("unter", tree.Path("ort/verweis").c_str()), 0);
    ASSERT_EQ(symlink("../draussen", tree.Path("ort/unter/hinaus").c_str()), 0);
    ASSERT_EQ(symlink("datei.txt", tree.Path("ort/unter/dateiverweis").c_str()), 0);
    const FileDescriptor top(open(tree.Path("ort").c_str(), O_RDONLY | O_DIRECTORY));
    struct Case {
        const char* directory;
        const char* file;
        bool reached;
    };
    const Case cases[] = {
        {"unter", "datei.txt", true},     {"", "datei.txt", false},
        {"verweis", "datei.txt", false},  {"unter/hinaus", "datei.txt", false},
        {"unter", "dateiverweis", false}, {"unter/..", "datei.txt", false},
    };
    for (const Case& each : cases) {
        SCOPED_TRACE(std::string(each.directory) + " " + each.file);
        auto directory = OpenDirectoryBeneath(top.get(), each.directory, each.file);
        const bool reached =
            directory && OpenRegularFileAt(directory->get(), each.file, each.file).ok();
        EXPECT_EQ(reached, each.reached);
    }
}

// The rename is the last moment to notice another program's change: a file that is no longer as
// it was read is left as that program made it, and the new contents go.
TEST(StandardTest, ARenameLeavesAFileChangedSinceItWasRead) {
    const test::TempTree tree;
    const std::string path = tree.Write("datei.txt", "alt");
    struct stat read {};
    ASSERT_EQ(stat(path.c_str(), &read), 0);
    auto out = ReplacingFile::Begin(path);
    ASSERT_TRUE(out);
    ASSERT_TRUE(out->Append("neu"));
    tree.Write("datei.txt", "anderes Programm");
    const Status committed = out->Commit(&read);
    EXPECT_FALSE(committed);
    EXPECT_EQ(test::ReadFile(path), "anderes Programm");
    EXPECT_EQ(tree.Files().size(), 1U) << "no temporary file is left";
}

// A person who may not give the file away keeps at least its group, as long as they belong to
// it: a shared file stays shared after one member's replacement.
TEST(StandardTest, AReplacementByAnotherMemberKeepsTheFilesGroup) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root to act as another person";
    }
    const test::TempTree tree;
    const std::string path = tree.Write("geteilt.txt", "alt");
    constexpr gid_t kShared = 100;
    constexpr uid_t kMember = 65534;
    ASSERT_EQ(chmod(tree.Root().c_str(), 0777), 0);
    ASSERT_EQ(chown(path.c_str(), 0, kShared), 0);
    ASSERT_EQ(chmod(path.c_str(), 0664), 0);
    const pid_t child = fork();
    if (child == 0) {
        const gid_t groups[] = {kMember, kShared};
        const bool became =
            setgroups(2, groups) == 0 && setgid(kMember) == 0 && setuid(kMember) == 0;
        _exit(became && WriteFileReplacing(path, "neu").ok() ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    struct stat info {};
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(test::ReadFile(path), "neu");
    EXPECT_EQ(info.st_uid, kMember);
    EXPECT_EQ(info.st_gid, kShared);
    EXPECT_EQ(info.st_mode & 07777, 0664U);
}

}  // namespace
}  // namespace trawlex
