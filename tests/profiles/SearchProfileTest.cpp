#include "app/Form1.h"
#include "profiles/ProfileCommand.h"
#include "profiles/SearchProfile.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <string>

#include <unistd.h>

namespace trawlex {
namespace {

class SearchProfileTest : public test::CommandTest {
protected:
    void SetUp() override {
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

    // The report's row for one term in one file of "web".
    std::string Row(const char* name, const char* term, int first, int count) const {
        const std::string path = tree.Path("web/") + name;
        return "<TR BGCOLOR=\"#d0d0d0\"><td><a href=\"" + path + "\">" + path + "</a></td><td>" +
               term + "</td><td align=right>" + std::to_string(first) + "</td><td align=right>" +
               std::to_string(count) + "</td></tr>\r\n";
    }
};

TEST_F(SearchProfileTest, EveryHitOfEveryTermGetsARowInFileAndTermOrder) {
    ASSERT_EQ(butSuchprofilausführen_Click(form, ui), CommandOutcome::Completed);
    const std::string web = tree.Path("web/");
    const std::string report = Report();
    EXPECT_TRUE(report.ends_with(Row("eins.htm", "Fund", 6, 1) + Row("eins.htm", "a,b", 11, 1) +
                                 Row("eins.htm", "aa", 1, 2) + Row("zwei.HTM", "Fund", 1, 1) +
                                 "</table>\r\n</body></html>\r\n"))
        << report;
    EXPECT_NE(report.find("</HEAD>\r\n<h1>Suchergebnis</h1>\r\n<table>\r\n<TR BGCOLOR=\"#d0d0d0\">"
                          "<td><b>Suchprofil:</b></td><td colspan=\"2\"><a href=\"" +
                          tree.Path("profile/begriffe.txt") +
                          "\">begriffe.txt</a></td></tr>\r\n"
                          "<TR BGCOLOR=\"#d0d0d0\"><TD><B>Suchpfad:</B></TD><TD colspan=\"2\">" +
                          web + "</TD></TR>\r\n"),
              std::string::npos);
    EXPECT_NE(report.find("colspan=\"2\">Beachten</td></tr>\r\n"), std::string::npos);
    EXPECT_EQ(form.TexSuchort.text, QString::fromStdString(web)) << "the field keeps the separator";
    EXPECT_EQ(form.Status, QStringLiteral("Bereit"));

    SelectCaseObserved(form, false);
    ASSERT_EQ(butSuchprofilausführen_Click(form, ui), CommandOutcome::Completed);
    EXPECT_NE(Report().find(Row("zwei.HTM", "Fund", 1, 2)), std::string::npos);
    EXPECT_NE(Report().find(">Ignorieren</td></tr>"), std::string::npos);
    EXPECT_TRUE(ui.messages.isEmpty());
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
    const std::size_t deep = report.find("unter/tief/vier.htm</a>");
    EXPECT_NE(deep, std::string::npos);
    EXPECT_LT(report.find("zwei.HTM</a>"), deep);
    EXPECT_EQ(report.find("vier.htm</a>"), report.rfind("vier.htm</a>")) << "entered once";
    EXPECT_TRUE(ui.messages.isEmpty()) << ui.messages.join(u'\n').toStdString();
}

// The binary files' filter reaches the profile's walk too: a file with a NUL byte is searched
// without it and left out with it.
TEST_F(SearchProfileTest, BinaryFilesAreLeftOutOnlyWhenAsked) {
    tree.Write("web/bild.htm", std::string("Fund\0", 5));
    for (const bool skip : {false, true}) {
        SCOPED_TRACE(skip);
        form.CheckBinaerAuslassen = skip ? 1 : 0;
        ASSERT_EQ(butSuchprofilausführen_Click(form, ui), CommandOutcome::Completed);
        EXPECT_EQ(Report().find(Row("bild.htm", "Fund", 1, 1)) == std::string::npos, skip);
    }
}

// A profile written in a Linux editor is UTF-8; one from elsewhere Windows-1252.
TEST(SearchTermsTest, EmptyItemsAreSkippedAndEitherEncodingIsRead) {
    const std::pair<std::string, std::vector<QString>> cases[] = {
        {"a,,b\r\n\r\n,\r\n c \r\n",
         {QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")}},
        {"Gr\u00F6\u00DFe,\u0142", {QStringLiteral("Gr\u00F6\u00DFe"), QStringLiteral("\u0142")}},
        {"Gr\xF6\xDF"
         "e",
         {QStringLiteral("Gr\u00F6\u00DFe")}},
    };
    for (const auto& [bytes, terms] : cases) {
        EXPECT_EQ(ReadSearchTerms(bytes), terms) << bytes;
    }
}

}  // namespace
}  // namespace trawlex
