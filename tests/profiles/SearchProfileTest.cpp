#include "app/Form1.h"
#include "profiles/SearchProfile.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QFile>

#include <string>

#include <unistd.h>

namespace trawlex {
namespace {

using test::FakeUi;
using test::ReadFile;
using test::TempTree;

class SearchProfileTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::UseGermanLocale();
        tree.Write("profile/begriffe.txt", "Fund\r\n\r\nfehlt, \"a,b\"\r\naa\r\n");
        tree.Write("web/eins.htm", "aaaa Fund a,b");
        tree.Write("web/zwei.HTM", "Fund und FUND");
        tree.Write("web/drei.txt", "Fund");
        form.SearchProfilePath = QString::fromStdString(tree.Path("profile/"));
        form.ComSuchprofile.text = QStringLiteral("begriffe.txt");
        form.TexSuchort.text = QString::fromStdString(tree.Path("web"));
        form.ComDateifilter.text = QStringLiteral("*.HTM   HTML-Format");
        form.TexZieldatei = QString::fromStdString(tree.Path("bericht.htm"));
    }

    std::string Report() const { return ReadFile(form.TexZieldatei.toStdString()); }

    TempTree tree;
    Form1 form;
    FakeUi ui;
};

TEST_F(SearchProfileTest, EveryHitOfEveryTermGetsARowInFileAndTermOrder) {
    ASSERT_EQ(butSuchprofilausführen_Click(form, ui), CommandOutcome::Completed);
    const std::string web = tree.Path("web/");
    const std::string row = "<TR BGCOLOR=\"#d0d0d0\"><td><a href=\"";
    const std::string expectedRows =
        row + web + "eins.htm\">" + web + "eins.htm</a></td><td>Fund</td><td align=right>6</td>" +
        "<td align=right>1</td></tr>\r\n" + row + web + "eins.htm\">" + web +
        "eins.htm</a></td><td>a,b</td><td align=right>11</td><td align=right>1</td></tr>\r\n" +
        row + web + "eins.htm\">" + web +
        "eins.htm</a></td><td>aa</td><td align=right>1</td><td align=right>2</td></tr>\r\n" + row +
        web + "zwei.HTM\">" + web +
        "zwei.HTM</a></td><td>Fund</td><td align=right>1</td><td align=right>1</td></tr>\r\n"
        "</table>\r\n</body></html>\r\n";
    const std::string report = Report();
    ASSERT_GE(report.size(), expectedRows.size());
    EXPECT_EQ(report.substr(report.size() - expectedRows.size()), expectedRows);
    EXPECT_NE(report.find("</HEAD>\r\n<h1>Suchergebnis</h1>\r\n<table>\r\n<TR BGCOLOR=\"#d0d0d0\">"
                          "<td><b>Suchprofil:</b></td><td colspan=\"2\"><a href=\"" +
                          tree.Path("profile/begriffe.txt") +
                          "\">begriffe.txt</a></td></tr>\r\n"
                          "<TR BGCOLOR=\"#d0d0d0\"><TD><B>Suchpfad:</B></TD><TD colspan=\"2\">" +
                          web + "</TD></TR>\r\n"),
              std::string::npos);
    EXPECT_NE(report.find("colspan=\"2\">Beachten</td></tr>\r\n"), std::string::npos);
    EXPECT_NE(report.find("<td>1. Fundstelle</td><td>H\xE4ufigkeit</td></tr>\r\n"),
              std::string::npos);
    EXPECT_EQ(form.TexSuchort.text, QString::fromStdString(web)) << "the field keeps the separator";
    EXPECT_EQ(form.Status, QStringLiteral("Bereit"));
    EXPECT_TRUE(ui.messages.isEmpty());
}

TEST_F(SearchProfileTest, IgnoringCaseCountsEveryVariant) {
    SelectCaseObserved(form, false);
    ASSERT_EQ(butSuchprofilausführen_Click(form, ui), CommandOutcome::Completed);
    EXPECT_NE(Report().find("zwei.HTM</a></td><td>Fund</td><td align=right>1</td><td "
                            "align=right>2</td>"),
              std::string::npos);
    EXPECT_NE(Report().find(">Ignorieren</td></tr>"), std::string::npos);
}

TEST_F(SearchProfileTest, RefusalsComeWithTheirMessagesInOrder) {
    const QString location = form.TexSuchort.text;
    form.ComSuchprofile.text.clear();
    EXPECT_EQ(butSuchprofilausführen_Click(form, ui), CommandOutcome::Refused);
    form.ComSuchprofile.text = QStringLiteral("fehlt.txt");
    EXPECT_EQ(butSuchprofilausführen_Click(form, ui), CommandOutcome::Refused);
    EXPECT_EQ(form.TexSuchort.text, location);
    EXPECT_EQ(ui.statusChanges, 0);

    ASSERT_EQ(ui.messages.size(), 2);
    EXPECT_EQ(ui.messages[0], QStringLiteral("Es ist leider kein Suchprofil eingestellt"));
    EXPECT_TRUE(ui.messages[1].startsWith(
        QStringLiteral("Das Suchprofil konnte nicht geladen werden.\nDie Datei")));
    EXPECT_TRUE(ui.messages[1].contains(QStringLiteral("fehlt.txt")));
    EXPECT_FALSE(QFile::exists(form.TexZieldatei));
}

// With the subdirectories, every directory below is searched once, each after the files of the
// one above; a report saved inside the location is not its own hit, however often it is run.
TEST_F(SearchProfileTest, SubdirectoriesAreSearchedOnceAndTheReportIsNoHit) {
    tree.Write("web/unter/tief/vier.htm", "Fund");
    ASSERT_EQ(symlink(tree.Path("web/unter").c_str(), tree.Path("web/zurueck").c_str()), 0);
    form.CheckRekursiv = 1;
    form.TexZieldatei = QString::fromStdString(tree.Path("web/bericht.htm"));
    ASSERT_EQ(butSuchprofilausführen_Click(form, ui), CommandOutcome::Completed);
    ASSERT_EQ(butSuchprofilausführen_Click(form, ui), CommandOutcome::Completed);
    const std::string report = Report();
    EXPECT_EQ(report.find("bericht.htm</a>"), std::string::npos);
    EXPECT_NE(report.find(">Unterverzeichnisse:</B></TD><TD colspan=\"2\">Ja</TD></TR>"),
              std::string::npos);
    const std::size_t top = report.find("zwei.HTM</a>");
    EXPECT_NE(top, std::string::npos);
    EXPECT_LT(top, report.find("unter/tief/vier.htm</a>"));
    EXPECT_EQ(report.find("vier.htm</a>"), report.rfind("vier.htm</a>")) << "entered once";
    EXPECT_TRUE(ui.messages.isEmpty()) << ui.messages.join(u'\n').toStdString();
}

TEST(SearchTermsTest, EmptyItemsAreSkippedAndAnyNumberIsKept) {
    EXPECT_EQ(
        ReadSearchTerms("a,,b\r\n\r\n,\r\n c \r\n"),
        (std::vector<QString>{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")}));
    // A profile written in a Linux editor is UTF-8; one from elsewhere Windows-1252.
    EXPECT_EQ(ReadSearchTerms("Gr\u00F6\u00DFe,\u0142"),
              (std::vector<QString>{QStringLiteral("Gr\u00F6\u00DFe"), QStringLiteral("\u0142")}));
    EXPECT_EQ(ReadSearchTerms("Gr\xF6\xDF"
                              "e"),
              std::vector<QString>{QStringLiteral("Gr\u00F6\u00DFe")});
    std::string many;
    for (int index = 0; index < 1000; ++index) {
        many += "t" + std::to_string(index) + "\r\n";
    }
    EXPECT_EQ(ReadSearchTerms(many).size(), 1000U);
}

}  // namespace
}  // namespace trawlex
