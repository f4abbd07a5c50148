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
    const std::pair<const char16_t*, const char*> combinations[] = {
        {u"<CR><LF>", "\r\n"}, {u"<LF><CR>", "\n\r"}, {u"<LF>", "\n"},
        {u"<CR>", "\r"},       {u"<cr><lf>", ""},     {u"", ""},
    };
    for (const auto& [text, characters] : combinations) {
        EXPECT_EQ(CombinationToChars(QString::fromUtf16(text)), characters);
    }
}

}  // namespace
}  // namespace trawlex
