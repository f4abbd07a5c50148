#include "app/Form1.h"
#include "search/Report.h"
#include "search/SearchCommand.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <ctime>
#include <string>

namespace trawlex {
namespace {

class ReportTest : public ::testing::Test {
protected:
    void SetUp() override { test::UseGermanLocale(); }
};

TEST_F(ReportTest, HeaderBytesForPlainValues) {
    Form1 form;
    form.TexSuchbegriff.text = QStringLiteral("Fund");
    form.TexSuchort.text = QStringLiteral("/srv/web");
    form.ComDateifilter.text = QStringLiteral("*.HTM   HTML-Format");
    const std::string expected =
        "<HTML>\r\n"
        "<HEAD>\r\n"
        "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=windows-1252\">\r\n"
        "<meta name=\"GENERATOR\" content=\"Morvane\">\r\n"
        "</HEAD>\r\n"
        "<BODY><H1>Suchergebnis: </h1>\r\n"
        "<TABLE>\r\n"
        "<TR BGCOLOR=\"#d0d0d0\"><TD><B>Suchbegriff:</B></TD><TD colspan=\"2\">Fund</TD></TR>\r\n"
        "<TR BGCOLOR=\"#d0d0d0\"><TD><B>Suchpfad:</B></TD><TD colspan=\"2\">/srv/web</TD></TR>\r\n"
        "<TR "
        "BGCOLOR=\"#d0d0d0\"><TD><B>Stand:</B></TD><TD>05.12.2026</TD><TD>05:11:14</TD></TR>\r\n"
        "<TR BGCOLOR=\"#d0d0d0\"><TD><B>Gross- und Kleinschreibung:</B></td><TD "
        "colspan=\"2\">Ignorieren</td></tr>\r\n"
        "<TR BGCOLOR=\"#d0d0d0\"><TD><B>Dateifilter:</B></td><TD colspan=\"2\">*.HTM   "
        "HTML-Format</td></tr>\r\n"
        "<TR BGCOLOR=\"#d0d0d0\"><TD><B>Unterverzeichnisse:</B></TD><TD "
        "colspan=\"2\">Nein</TD></TR>\r\n"
        "</TABLE><P>\r\n"
        "<TABLE>\r\n"
        "<TR BGCOLOR=\"#a0a0a0\"><TD><B>Nr.</B></TD><TD><B>Datei(en):</B></TD><TD><B>1. Fund an "
        "Position:</B></TD><TD><B>H\xE4ufigkeit:</B></TD><TD><B>Titel der "
        "HTML-Datei:</B></TD><TD><B>zuletzt ge\xE4ndert am:</B></TD><TD><B>Datei"
        "l\xE4nge:</B></TD></TR>\r\n";
    EXPECT_EQ(ReportHeaderText(ReportSummaryOf(form, CompareMode::IgnoreCase),
                               test::LocalMoment(2026, 12, 5, 5, 11, 14)),
              expected);

    form.CheckRekursiv = 1;
    const std::string recursive = ReportHeaderText(ReportSummaryOf(form, CompareMode::Exact),
                                                   test::LocalMoment(2026, 12, 5, 5, 11, 14));
    EXPECT_NE(recursive.find("colspan=\"2\">Beachten</td></tr>\r\n"), std::string::npos);
    EXPECT_NE(recursive.find("colspan=\"2\">Ja</TD></TR>\r\n"), std::string::npos);
}

TEST_F(ReportTest, RowSpellingsOfTheThreeWriters) {
    const std::string contents = "<TITLE>Haus</TITLE>";
    FileMatch match;
    match.firstPosition = 12;
    match.count = 3;
    match.title = std::string_view(contents).substr(7, 4);
    ResultRow row{7, "/srv/web/a.htm", match, test::LocalMoment(2026, 12, 5, 5, 11, 14), 1536};
    const std::string start =
        "<TR BGCOLOR=\"#d0d0d0\"><TD ALIGN=Right>7</td><td><a "
        "href=\"file:///srv/web/a.htm\">/srv/web/a.htm</A></TD><TD ALIGN=Right>12</TD>";
    EXPECT_EQ(ResultRowText(row, RowStyle::Flat),
              start +
                  "<TD>3</TD><td>Haus</td><td>05.12.2026 05:11:14</td><TD "
                  "ALIGN=Right>1536</TD></TR>\r\n");
    EXPECT_EQ(ResultRowText(row, RowStyle::TreeTop),
              start +
                  "<td> 3</td><td>Haus</td><TD>05.12.2026 05:11:14</TD><TD "
                  "ALIGN=Right>1536</TD></TR>\r\n");
    EXPECT_EQ(ResultRowText(row, RowStyle::TreeBelow),
              start +
                  "<td> 3</td><td>Haus</td><td>05.12.2026 05:11:14</td><TD "
                  "ALIGN=Right>1536</TD></TR>\r\n");
    // A row without a title is the searches' tests' matter, a moment at midnight the regional
    // formats'.
}

TEST_F(ReportTest, FooterNounAndKBytes) {
    EXPECT_EQ(ReportFooterText(0, 3, 100),
              "</TABLE><P>\r\n</P>Es gab <B>0</B> Fundstellen in <B>3</B> durchsuchten Dateien, "
              "welche insgesamt <B>0,1</B> KBytes enthalten.<P>\r\n</BODY></HTML>\r\n");
}

// ASCII takes a shorter way through the escaping, which must end in the bytes the way of every
// other text gives: the same name with an umlaut added gives the same bytes and the umlaut's.
// The date cell of one moment is formatted once and kept for the next row of that moment only.
TEST_F(ReportTest, AsciiTakesTheShortWayToTheSameBytes) {
    const std::string names[] = {"/srv/a b&c<d>\"e'f%g#h?i", std::string("/\x01\x1F\x7F\0x", 6),
                                 "/srv/web/index.htm", ""};
    for (const std::string& name : names) {
        EXPECT_EQ(LinkTarget(name + "\xC3\xA4"), LinkTarget(name) + "\xE4") << name;
        EXPECT_EQ(EscapePathBytes(name + "\xC3\xA4"), EscapePathBytes(name) + "\xE4") << name;
        const QString text = QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size()));
        EXPECT_EQ(EscapeValue(text + u'\u00E4'), EscapeValue(text) + "\xE4") << name;
    }
    EXPECT_EQ(LinkTarget("/a b/%#?&\"<>\x01"), "/a b/%25%23%3F&amp;&quot;&lt;&gt;%01");
    EXPECT_EQ(EscapePathBytes("/a&b<\"c\">"), "/a&amp;b&lt;&quot;c&quot;&gt;");

    MomentCell cell;
    const std::time_t first = test::LocalMoment(2026, 12, 5, 5, 11, 14);
    const std::time_t second = test::LocalMoment(2026, 12, 6, 0, 0, 0);
    EXPECT_EQ(cell.Of(first), "05.12.2026 05:11:14");
    EXPECT_EQ(cell.Of(second), "06.12.2026");
    EXPECT_EQ(cell.Of(first), "05.12.2026 05:11:14");
}

// Escaping and the encoding of names in links are held by the report fuzz target and the fault
// suite, on every kind of name.
TEST_F(ReportTest, LinkOfARelativePathIsAnAbsoluteFileUrl) {
    const std::string relative = FileLink("a.htm");
    EXPECT_EQ(relative.rfind("file:///", 0), 0U);
    EXPECT_EQ(relative.substr(relative.size() - 6), "/a.htm");
}

}  // namespace
}  // namespace trawlex
