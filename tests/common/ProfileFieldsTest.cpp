#include "TestSupport.h"
#include "common/text/ProfileFields.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <optional>
#include <string>
#include <vector>

namespace trawlex {
namespace {

std::vector<std::string> Values(std::string_view bytes) {
    std::vector<std::string> values;
    for (const ProfileField& field : ReadProfileFields(bytes)) {
        values.push_back(field.value);
    }
    return values;
}

TEST(ProfileFieldsTest, CommasAndLineEndsSeparateAndQuotesKeepCommas) {
    using Fields = std::vector<std::string>;
    const std::pair<std::string, Fields> cases[] = {
        {"alpha\r\nbeta\r\n gamma\r\n", {"alpha", "beta", "gamma"}},
        {"a,b", {"a", "b"}},
        {"\"a,b\",\"c\"\r\n", {"a,b", "c"}},
        {"\"Stra\xDF"
         "e\" , \"Strasse\"",
         {"Stra\xDF"
          "e",
          "Strasse"}},
        {"\"zu\"rest,x", {"zu", "x"}},
        {"\"offen\nnaechste", {"offen", "naechste"}},
        {"a,,b", {"a", "", "b"}},
        {",a", {"", "a"}},
        {"a,\r\nb", {"a", "", "b"}},
        {"a\r\n\r\n  \r\nb", {"a", "b"}},
        {"a\rb\nc", {"a", "b", "c"}},
        {"wort  \t,x", {"wort", "x"}},
        {"\"\",x", {"", "x"}},
        {"", {}},
        {std::string("a\0b", 3), {std::string("a\0b", 3)}},
    };
    for (const auto& [bytes, expected] : cases) {
        EXPECT_EQ(Values(bytes), expected) << bytes;
    }
}

// Every byte of a file with sane lines reads as it is; a line past the bound is refused with its
// number, also when a CR LF lies across the end of the piece that was read first.
TEST(ProfileFieldsTest, ProfileFilesReadWholeUnlessALineIsTooLong) {
    const std::size_t mebibyte = kLongestProfileLine;
    const std::string longest(mebibyte, 'x');
    const std::pair<std::string, std::optional<int>> cases[] = {
        {"\xEF\xBB\xBF[Trawlex]\r\nSearchKey=Fund\r\n", std::nullopt},
        {"a\rb\nc,\"d\"\r\n", std::nullopt},
        {"", std::nullopt},
        {"a\r\n" + longest + "\r\n" + longest, std::nullopt},
        {"a\r\nb\r\n" + longest + "x", 3},
        {"a\rb\r\n\n" + longest + "x\r\n", 4},
        {std::string(mebibyte - 1, 'x') + "\r\n" + longest + "x", 2},
    };
    const test::TempTree tree;
    for (const auto& [bytes, refusedLine] : cases) {
        const std::string path = tree.Write("profil.txt", bytes);
        const auto read = ReadProfileFile(path, QStringLiteral("profil.txt"));
        SCOPED_TRACE(bytes.substr(0, 20));
        if (!refusedLine) {
            ASSERT_TRUE(read) << read.message().toStdString();
            EXPECT_TRUE(read.value() == bytes);
            continue;
        }
        ASSERT_FALSE(read);
        EXPECT_TRUE(read.message().contains(
            QStringLiteral("Zeile %1 der Datei \u201Eprofil.txt\u201C").arg(*refusedLine)))
            << read.message().toStdString();
    }
    // A file far bigger is refused before it is read: this one holds no byte on disk.
    const std::string sparse = tree.Write("riesig.txt", "");
    ASSERT_EQ(truncate(sparse.c_str(), static_cast<off_t>(kLargestProfileFile + 1)), 0);
    EXPECT_FALSE(ReadProfileFile(sparse, QStringLiteral("riesig.txt")));
}

}  // namespace
}  // namespace trawlex
