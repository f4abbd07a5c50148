#include "app/Form1.h"
#include "special/SpecialCommands.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QFile>

#include <string>

namespace trawlex {
namespace {

using test::ReadFile;

class SpecialCommandsTest : public test::CommandTest {
protected:
    void SetUp() override {
        tree.Write("a.txt", "a\r\n\r\nb");
        tree.Write("unter/b.txt", "x\r\ny\r\n");
        tree.Write("c.txt", "Tab\x0Bhier\tnicht");
        form.ComDateifilter.text = QStringLiteral("*.txt");
        form.TexBrowser = QStringLiteral("/usr/bin/browser");
    }
};

TEST_F(SpecialCommandsTest, SearchesCountCharactersAndCombinations) {
    form.ComboSonderzeichenSuchcode.text = QStringLiteral("13 <Return>");
    ASSERT_EQ(butSuchenSonderzeichen_Click(form, ui), CommandOutcome::Completed);
    EXPECT_NE(Report().find("a.txt</A></TD><TD ALIGN=Right>2</TD><TD>2</TD>"), std::string::npos);

    form.ComboSonderzeichenkombinationSuchbegriff.text = QStringLiteral("<LF><CR>");
    ASSERT_EQ(butKombinationenSuchen_Click(form, ui), CommandOutcome::Completed);
    EXPECT_NE(Report().find("a.txt</A></TD><TD ALIGN=Right>3</TD><TD>1</TD>"), std::string::npos);

    form.ComboSonderzeichenSuchcode.text = QStringLiteral("11 <Tab>");
    form.CheckRekursiv = 1;
    ASSERT_EQ(butSuchenSonderzeichen_Click(form, ui), CommandOutcome::Completed);
    EXPECT_NE(Report().find("<B>1</B> Fundstelle in <B>3</B>"), std::string::npos);

    form.ComboSonderzeichenkombinationSuchbegriff.text = QStringLiteral("<CR><LF>");
    ASSERT_EQ(butKombinationenSuchen_Click(form, ui), CommandOutcome::Completed);
    EXPECT_NE(Report().find("b.txt</A></TD><TD ALIGN=Right>2</TD><td> 2</td>"), std::string::npos);
    EXPECT_NE(Report().find("<B>2</B> Fundstellen in <B>3</B>"), std::string::npos);
    EXPECT_TRUE(ui.messages.isEmpty());
}

TEST_F(SpecialCommandsTest, EmptyFieldsDoWhatTheirButtonsPromise) {
    SelectBrowserHandOff(form, true);
    form.Status = QStringLiteral("Suche ...");
    EXPECT_EQ(butSuchenSonderzeichen_Click(form, ui), CommandOutcome::Completed);
    EXPECT_EQ(form.Status, QStringLiteral("Bereit"));
    EXPECT_EQ(ui.started.size(), 1) << "the existing report still goes to the browser";
    EXPECT_FALSE(QFile::exists(form.TexZieldatei));

    const int changesBefore = ui.statusChanges;
    form.ComboSonderzeichenkombinationSuchbegriff.text = QStringLiteral("<cr><lf>");
    EXPECT_EQ(butKombinationenSuchen_Click(form, ui), CommandOutcome::Completed);
    EXPECT_EQ(butKombinationenErsetzen_Click(form, ui), CommandOutcome::Completed);
    EXPECT_EQ(butErsetzenSonderzeichen_Click(form, ui), CommandOutcome::Completed);
    EXPECT_EQ(ui.statusChanges, changesBefore);
    EXPECT_EQ(ui.started.size(), 1);
    EXPECT_EQ(ReadFile(tree.Path("a.txt")), "a\r\n\r\nb");

    form.ComboSonderzeichenSuchcode.text = QStringLiteral("13 <Return>");
    form.TexSuchort.text.clear();
    EXPECT_EQ(butErsetzenSonderzeichen_Click(form, ui), CommandOutcome::Refused);
    EXPECT_EQ(ui.messages.size(), 1);
}

TEST_F(SpecialCommandsTest, LineEndConversionsOfATree) {
    form.CheckRekursiv = 1;
    form.ComboSonderzeichenkombinationSuchbegriff.text = QStringLiteral("<CR><LF>");
    form.CombosonderzeichenKombinationErsatzbegriff.text = QStringLiteral("<LF>");
    ASSERT_EQ(butKombinationenErsetzen_Click(form, ui), CommandOutcome::Completed);
    EXPECT_EQ(ReadFile(tree.Path("a.txt")), "a\n\nb");
    EXPECT_EQ(ReadFile(tree.Path("unter/b.txt")), "x\ny\n") << "no CR LF is left behind";

    form.ComboSonderzeichenkombinationSuchbegriff.text = QStringLiteral("<LF>");
    form.CombosonderzeichenKombinationErsatzbegriff.text = QStringLiteral("<CR><LF>");
    ASSERT_EQ(butKombinationenErsetzen_Click(form, ui), CommandOutcome::Completed);
    EXPECT_EQ(ReadFile(tree.Path("unter/b.txt")), "x\r\ny\r\n");

    form.CombosonderzeichenKombinationErsatzbegriff.text.clear();
    form.ComboSonderzeichenkombinationSuchbegriff.text = QStringLiteral("<CR>");
    ASSERT_EQ(butKombinationenErsetzen_Click(form, ui), CommandOutcome::Completed);
    EXPECT_EQ(ReadFile(tree.Path("unter/b.txt")), "x\ny\n");

    form.CheckRekursiv = 0;
    form.ComboSonderzeichenSuchcode.text = QStringLiteral("10 <Linefeed>");
    ASSERT_EQ(butErsetzenSonderzeichen_Click(form, ui), CommandOutcome::Completed);
    EXPECT_EQ(ReadFile(tree.Path("a.txt")), std::string("a\0\0b", 4)) << "an empty code is NUL";
    EXPECT_EQ(ReadFile(tree.Path("unter/b.txt")), "x\ny\n");
    EXPECT_TRUE(ui.messages.isEmpty());
}

}  // namespace
}  // namespace trawlex
