#include "TestSupport.h"
#include "common/files/Listing.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace trawlex {
namespace {

using Names = std::vector<std::string>;

Names List(const test::TempTree& tree, const QString& mask, ListKind kind = ListKind::NormalFiles) {
    auto listed = ListDirectory(tree.Root(), FileMask(mask), kind);
    EXPECT_TRUE(listed) << listed.message().toStdString();
    return listed ? listed.value() : Names{};
}

TEST(FileMaskTest, MatchesWindowsStyleIgnoringCase) {
    struct Case {
        const char16_t* mask;
        std::vector<const char16_t*> matching;
        std::vector<const char16_t*> other;
    };
    const Case cases[] = {
        {u"*.HTM", {u"a.htm", u"a.HTM", u"b.c.htm"}, {u"a.html", u"a.htm.bak"}},
        {u"*.*", {u"README", u"a.b"}, {}},
        {u"*.", {u"README"}, {u"a.b"}},
        {u"R*.", {u"readme"}, {u"make", u"readme.txt"}},
        {u"?.c", {u"x.c"}, {u"xy.c", u".c"}},
        // A "*" must give back characters it took when a later literal fails.
        {u"a*bc", {u"abxbc"}, {u"abxb"}},
        {u"a*b*c", {u"aXbYc"}, {u"aXbYcb"}},
        {u"Ä*", {u"äpfel.txt"}, {u"apfel.txt"}},
        {u"*.HTM   HTML-Format", {u"a.htm"}, {u"HTML-Format"}},
        {u"*.htm; *.html", {u"a.html", u"a.htm"}, {u"a.txt"}},
        {u" ; ", {}, {u"a.txt"}},
    };
    for (const Case& entry : cases) {
        const FileMask mask{QStringView(entry.mask)};
        SCOPED_TRACE(QStringView(entry.mask).toString().toStdString());
        for (const char16_t* name : entry.matching) {
            EXPECT_TRUE(mask.Matches(name)) << QStringView(name).toString().toStdString();
        }
        for (const char16_t* name : entry.other) {
            EXPECT_FALSE(mask.Matches(name)) << QStringView(name).toString().toStdString();
        }
    }
    EXPECT_TRUE(FileMask(u" ; ").IsEmpty());
}

// Each matching name once, sorted as if upper-cased with ties by raw bytes ("_" lies between the
// upper- and the lower-case letters, so it sorts after "Z"; the UTF-8 bytes of "Ä" (C3 84) come
// before those of "ä" (C3 A4)); only visible regular files and links to them, or also the
// directories and links to them.
TEST(ListDirectoryTest, ListsEachMatchingVisibleNameOnceInItsOrder) {
    const test::TempTree tree;
    for (const char* name : {"a.htm", "a.html", "b.HTM", "c.txt", "b", "a", "C", "_x", "Z", "A",
                             "1", "ä", "Ä", "ab", "aB", "Ab", "AB", ".hidden.txt", ".git/config"}) {
        tree.Write(name, "x");
    }
    tree.MakeDirectory("sub");
    ASSERT_EQ(mkfifo(tree.Path("pipe.txt").c_str(), 0600), 0);
    ASSERT_EQ(symlink("c.txt", tree.Path("link.txt").c_str()), 0);
    ASSERT_EQ(symlink("missing.txt", tree.Path("dangling.txt").c_str()), 0);
    ASSERT_EQ(symlink("sub", tree.Path("sublink").c_str()), 0);
    struct Case {
        const char* mask;
        ListKind kind;
        Names names;
    };
    const Case cases[] = {
        {"*.htm; *.html; *.HTM", ListKind::NormalFiles, {"a.htm", "a.html", "b.HTM"}},
        {"*.",
         ListKind::NormalFiles,
         {"1", "A", "a", "AB", "Ab", "aB", "ab", "b", "C", "Z", "_x", "\xC3\x84", "\xC3\xA4"}},
        {"*.txt", ListKind::NormalFiles, {"c.txt", "link.txt"}},
        // Names of ASCII alone take a shorter way to the same order.
        {"a*; _*",
         ListKind::NormalFiles,
         {"A", "a", "a.htm", "a.html", "AB", "Ab", "aB", "ab", "_x"}},
        {"*.txt; sub*", ListKind::FilesAndDirectories, {"c.txt", "link.txt", "sub", "sublink"}},
    };
    for (const Case& each : cases) {
        EXPECT_EQ(List(tree, QString::fromUtf8(each.mask), each.kind), each.names) << each.mask;
    }
}

// The last component of a path is one pattern, not a file-type field with pieces: it may hold
// blanks and semicolons.
TEST(DirectoryListingTest, FindsTheOneMatchOfAPath) {
    const test::TempTree tree;
    for (const char* name : {"file.txt", ".hidden", "my file.txt", "my", "a;b.txt", "b.txt"}) {
        tree.Write(name, "x");
    }
    tree.MakeDirectory("sub");
    ASSERT_EQ(mkfifo(tree.Path("pipe").c_str(), 0600), 0);
    struct Case {
        std::string pattern;
        ListKind kind;
        std::string found;
    };
    const Case cases[] = {
        {"file.txt", ListKind::NormalFiles, "file.txt"},
        {"file.txt/", ListKind::NormalFiles, ""},
        {"missing.txt", ListKind::FilesAndDirectories, ""},
        {".hidden", ListKind::NormalFiles, ""},
        {"pipe", ListKind::FilesAndDirectories, ""},
        {"sub", ListKind::FilesAndDirectories, "sub"},
        {"sub/", ListKind::FilesAndDirectories, "sub/"},  // a path of its own is given whole
        {"sub", ListKind::NormalFiles, ""},
        {"sub/", ListKind::NormalFiles, ""},
        {"my *.txt", ListKind::NormalFiles, "my file.txt"},
        {"a;*.txt", ListKind::NormalFiles, "a;b.txt"},
    };
    for (const Case& entry : cases) {
        DirectoryListing listing;
        const std::string found = entry.found.ends_with('/') ? tree.Path(entry.found) : entry.found;
        EXPECT_EQ(listing.FirstMatch(tree.Path(entry.pattern), entry.kind), found)
            << entry.pattern << " kind " << static_cast<int>(entry.kind);
        EXPECT_EQ(listing.NextMatch(), "");
    }
}

}  // namespace
}  // namespace trawlex
