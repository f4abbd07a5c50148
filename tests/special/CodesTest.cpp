#include "special/Codes.h"

#include <gtest/gtest.h>

namespace trawlex {
namespace {

TEST(CodesTest, ItemsNameTheirCharactersExactly) {
    const std::pair<const char16_t*, unsigned char> codes[] = {
        {u"13 <Return>", 13}, {u"11 <Tab>", 11}, {u"10 <Linefeed>", 10}, {u"13", 0}, {u"9", 0},
        {u"13 <return>", 0},  {u"", 0},          {u" 13 <Return>", 0},
    };
    for (const auto& [text, code] : codes) {
        EXPECT_EQ(CodeItemToChar(QString::fromUtf16(text)), code);
    }
}

}  // namespace
}  // namespace trawlex
