#include "TestSupport.h"
#include "common/files/DirectoryReader.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <map>
#include <string>

namespace trawlex {
namespace {

using Entries = std::map<std::string, unsigned char>;

Entries ReadAll(DirectoryReader& reader) {
    Entries entries;
    while (const auto entry = reader.Next()) {
        entries[std::string(entry->Name())] = entry->type;
    }
    return entries;
}

TEST(DirectoryReaderTest, ListsEachWayOfOpeningAlikeAndTellsLinksAsLinks) {
    test::TempTree tree;
    tree.Write("datei.htm", "x");
    tree.MakeDirectory("ordner");
    ASSERT_EQ(symlink("ordner", tree.Path("verweis").c_str()), 0);
    const Entries expected = {{"datei.htm", DT_REG}, {"ordner", DT_DIR}, {"verweis", DT_LNK}};

    const int root = open(tree.Root().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(root, 0);
    DirectoryReader first = DirectoryReader::Copy(root);
    ASSERT_TRUE(first.IsOpen());
    EXPECT_EQ(ReadAll(first), expected);
    // A copy shares its place in the directory with the original, yet reads from the start.
    DirectoryReader again = DirectoryReader::Copy(root);
    EXPECT_EQ(ReadAll(again), expected);
    DirectoryReader adopted = DirectoryReader::Adopt(root);
    ASSERT_TRUE(adopted.IsOpen());
    EXPECT_EQ(ReadAll(adopted), Entries{});  // it goes on where the copies left the directory
    DirectoryReader byPath = DirectoryReader::AtPath(tree.Root());
    EXPECT_EQ(ReadAll(byPath), expected);
}

TEST(DirectoryReaderTest, AFailedOpenIsNoReaderAndKeepsItsReason) {
    test::TempTree tree;
    const std::string file = tree.Write("datei.htm", "x");
    DirectoryReader missing = DirectoryReader::AtPath(tree.Path("fehlt"));
    EXPECT_FALSE(missing.IsOpen());
    EXPECT_EQ(errno, ENOENT);
    EXPECT_FALSE(missing.Next());
    DirectoryReader notDirectory = DirectoryReader::AtPath(file);
    EXPECT_FALSE(notDirectory.IsOpen());
    EXPECT_EQ(errno, ENOTDIR);
    errno = 0;
    DirectoryReader none = DirectoryReader::Adopt(-1);
    EXPECT_FALSE(none.IsOpen());
    EXPECT_EQ(none.Descriptor(), -1);
}

}  // namespace
}  // namespace trawlex
