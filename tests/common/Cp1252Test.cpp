#include "common/text/Cp1252.h"
#include "common/text/PathText.h"

#include <gtest/gtest.h>

#include <string>

namespace trawlex {
namespace {

TEST(Cp1252Test, EveryByteDecodesToOneCharacterAndEncodesBack) {
    std::string bytes;
    for (int byte = 0; byte < 256; ++byte) {
        bytes.push_back(static_cast<char>(byte));
    }
    const QString text = DecodeCp1252(bytes);
    ASSERT_EQ(text.size(), 256);
    const auto encoded = EncodeCp1252(text);
    ASSERT_TRUE(encoded) << encoded.message().toStdString();
    EXPECT_EQ(*encoded, bytes);
    EXPECT_EQ(EncodeCp1252WithReferences(text), bytes);
}

TEST(Cp1252Test, RefusesCharactersOutsideTheCodePageByName) {
    struct Case {
        QString text;
        QString named;
    };
    // U+0080 is a C1 control that a Latin-1 encoder would accept; here 0x80 is the euro sign.
    const Case cases[] = {
        {QStringLiteral("Złoty"), QStringLiteral("\u201Eł\u201C (U+0142)")},
        {QStringLiteral("a\U0001F600"), QStringLiteral("\u201E\U0001F600\u201C (U+1F600)")},
        {QString(QChar(0x0080)), QStringLiteral("(U+0080)")},
    };
    for (const Case& entry : cases) {
        const auto encoded = EncodeCp1252(entry.text);
        ASSERT_FALSE(encoded) << entry.text.toStdString();
        EXPECT_TRUE(encoded.message().contains(entry.named)) << encoded.message().toStdString();
        EXPECT_TRUE(encoded.message().contains(QStringLiteral("Windows-1252")));
    }
}

TEST(Cp1252Test, ReferencesStandForWholeCodePoints) {
    // A character beyond the BMP is one reference, not two for its surrogate halves.
    EXPECT_EQ(EncodeCp1252WithReferences(u"ał€\U0001F600b"), "a&#322;\x80&#128512;b");
    EXPECT_EQ(Cp1252FromUtf8("Größe €"), "Gr\366\337e \200");  // ö ß €
}

TEST(PathTextTest, ShowsUtf8NamesAsUtf8AndOtherBytesAsCp1252) {
    struct Case {
        std::string bytes;
        QString text;
    };
    const Case cases[] = {
        {"", QString()},
        {"Größe.txt", QStringLiteral("Größe.txt")},
        {Cp1252FromUtf8("Größe.txt"), QStringLiteral("Größe.txt")},
        {"\x80\x81", QStringLiteral("\u20AC\u0081")},
        // A truncated UTF-8 sequence at the end falls back to the code page as a whole.
        {"a\xC3", QStringLiteral("aÃ")},
    };
    for (const Case& entry : cases) {
        EXPECT_EQ(PathText(entry.bytes), entry.text) << entry.bytes;
    }
}

}  // namespace
}  // namespace trawlex
