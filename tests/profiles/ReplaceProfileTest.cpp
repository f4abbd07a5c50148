#include "app/Form1.h"
#include "replace/ReplaceProfile.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <string>

namespace trawlex {
namespace {

using test::ReadFile;

class ReplaceProfileTest : public test::CommandTest {
protected:
    void SetUp() override {
        tree.Write("web/a.htm", "a b c x a,b");
        tree.Write("web/unter/b.htm", "a b");
        form.ReplaceProfilePath = QString::fromStdString(tree.Path("profile/"));
        form.ComErsatzlisten.text = QStringLiteral("paare.txt");
        form.TexSuchort.text = QString::fromStdString(tree.Path("web"));
        form.ComDateifilter.text = QStringLiteral("*.htm");
    }
};

TEST_F(ReplaceProfileTest, PairsActInSequenceOverTheWholeTree) {
    tree.Write("profile/paare.txt",
               "\"a,b\",\"KOMM\"\r\n\r\n\"a\",\"b\"\r\nb\r\nc\r\n\"x\",\"xx\"\r\n");
    form.CheckRekursiv = 1;
    EXPECT_EQ(butErsatzprofileAusführen_Click(form, ui), CommandOutcome::Completed);
    EXPECT_EQ(ReadFile(tree.Path("web/a.htm")), "c c c xx KOMM");
    EXPECT_EQ(ReadFile(tree.Path("web/unter/b.htm")), "c c");
    EXPECT_TRUE(ui.messages.isEmpty());
    EXPECT_EQ(ui.statusChanges, 0) << "a profile run shows no busy status";
}

TEST_F(ReplaceProfileTest, IncompleteLastPairIsNamedAfterTheCompleteOnes) {
    tree.Write("profile/paare.txt", "\"\",\"leer\"\r\n\"a\",\"z\"\r\n\"c\"\r\n");
    EXPECT_EQ(butErsatzprofileAusführen_Click(form, ui), CommandOutcome::Incomplete);
    EXPECT_EQ(ReadFile(tree.Path("web/a.htm")), "z b c x z,b");
    EXPECT_EQ(ReadFile(tree.Path("web/unter/b.htm")), "a b") << "flat without subdirectories";
    ASSERT_EQ(ui.messages.size(), 1);
    EXPECT_TRUE(ui.messages[0].contains(QStringLiteral("\u201Ec\u201C")));
}

TEST_F(ReplaceProfileTest, SilentWithoutProfileAndNamedWhenUnreadable) {
    form.ReplaceProfilePath.clear();
    EXPECT_EQ(butErsatzprofileAusführen_Click(form, ui), CommandOutcome::Completed);
    form.ReplaceProfilePath = QString::fromStdString(tree.Path("profile/"));
    form.ComErsatzlisten.text.clear();
    EXPECT_EQ(butErsatzprofileAusführen_Click(form, ui), CommandOutcome::Completed);
    EXPECT_TRUE(ui.messages.isEmpty());

    form.ComErsatzlisten.text = QStringLiteral("fehlt.txt");
    EXPECT_EQ(butErsatzprofileAusführen_Click(form, ui), CommandOutcome::Refused);
    ASSERT_EQ(ui.messages.size(), 1);
    EXPECT_TRUE(ui.messages[0].contains(QStringLiteral("fehlt.txt")));
}

}  // namespace
}  // namespace trawlex
