#include "common/ProfileFields.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace trawlex
