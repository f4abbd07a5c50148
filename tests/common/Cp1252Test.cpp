#include "common/Cp1252.h"
#include "common/PathText.h"

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

TEST(Cp1252Test, DecodesTheBytesThatDifferFromLatin1) {
    struct Case {
        unsigned char byte;
        char16_t codePoint;
    };
    // The five unassigned bytes keep their own number; the others of 0x80..0x9F do not.
    const Case cases[] = {
        {0x00, 0x0000}, {0x7F, 0x007F}, {0x80, 0x20AC}, {0x81, 0x0081}, {0x8A, 0x0160},
        {0x8D, 0x008D}, {0x8F, 0x008F}, {0x90, 0x0090}, {0x9D, 0x009D}, {0x9F, 0x0178},
        {0xA0, 0x00A0}, {0xE4, 0x00E4}, {0xFF, 0x00FF},
    };
    for (const Case& entry : cases) {
        EXPECT_EQ(DecodeCp1252Byte(entry.byte).unicode(), entry.codePoint)
            << "byte " << static_cast<int>(entry.byte);
    }
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
    EXPECT_EQ(EncodeCp1252WithReferences(u"ł"), "&#322;");
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
    EXPECT_EQ(NativePath(u"Größe"), "Größe");
    EXPECT_EQ(WithTrailingSeparator(""), "");
    EXPECT_EQ(WithTrailingSeparator("a"), "a/");
    EXPECT_EQ(WithTrailingSeparator("a/"), "a/");
}

}  // namespace
}  // namespace trawlex
