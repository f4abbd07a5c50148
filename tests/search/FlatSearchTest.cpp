#include "app/Form1.h"
#include "search/SearchCommand.h"
#include "search/Suchroutinen.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QFile>

#include <cstdio>
#include <string>

namespace trawlex {
namespace {

using test::FakeUi;
using test::TempTree;

std::size_t CountOf(const std::string& text, const std::string& piece) {
    std::size_t count = 0;
    for (std::size_t at = text.find(piece); at != std::string::npos;
         at = text.find(piece, at + 1)) {
        ++count;
    }
    return count;
}

class FlatSearchTest : public test::CommandTest {
protected:
    void SetUp() override {
        tree.Write("a.htm", "<TITLE>Erste</TITLE> Fund und Fund");
        tree.Write("B.HTM", "nichts hier, 30 Bytes lang....");
        tree.Write("c.htm", "fund klein");
        tree.Write("d.txt", "Fund in einer anderen Art");
        tree.Write(".versteckt.htm", "Fund versteckt");
        tree.Write("unter/e.htm", "Fund darunter");
        form.TexSuchbegriff.text = QStringLiteral("Fund");
        form.ComDateifilter.text = QStringLiteral("*.HTM   HTML-Format");
    }

    CommandOutcome Search(const QString& path, CompareMode mode = CompareMode::Exact,
                          unsigned workers = DefaultWorkerCount()) {
        return SearchLocation(ui, {.location = path,
                                   .term = form.TexSuchbegriff.text,
                                   .target = form.TexZieldatei,
                                   .mask = form.ComDateifilter.text,
                                   .mode = mode,
                                   .workers = workers,
                                   .summary = ReportSummaryOf(form, mode)});
    }
};

TEST_F(FlatSearchTest, HitsInListingOrderWithTotalsOfEveryExaminedFileInEitherCase) {
    EXPECT_EQ(Search(tree.RootText()), CommandOutcome::Completed);
    const std::string report = Report();
    const std::string a = tree.Root() + "a.htm";
    EXPECT_NE(report.find("<TD ALIGN=Right>1</td><td><a href=\"file://" + a + "\">" + a +
                          "</A></TD><TD ALIGN=Right>22</TD><TD>2</TD><td>Erste</td>"),
              std::string::npos);
    EXPECT_EQ(CountOf(report, "<TD ALIGN=Right>1</td>"), 1U);
    EXPECT_EQ(CountOf(report, "<TD ALIGN=Right>2</td>"), 0U) << "c.htm holds only \"fund\"";
    // a.htm, B.HTM and c.htm are examined; the hidden file, d.txt and the subdirectory are not.
    EXPECT_NE(report.find("<B>1</B> Fundstelle in <B>3</B> durchsuchten Dateien, welche "
                          "insgesamt <B>0,1</B> KBytes"),
              std::string::npos);
    EXPECT_EQ(report.substr(report.size() - 16), "</BODY></HTML>\r\n");
    EXPECT_TRUE(ui.messages.isEmpty()) << ui.messages.join(u'\n').toStdString();
    EXPECT_EQ(ui.yields, 3);

    // Without its trailing separator the location gives the same rows.
    QString bare = tree.RootText();
    bare.chop(1);
    ASSERT_EQ(Search(bare), CommandOutcome::Completed);
    const std::string rows = "<TD ALIGN=Right>1</td>";
    EXPECT_EQ(Report().substr(Report().find(rows)), report.substr(report.find(rows)));

    // Ignoring case finds every cased variant.
    EXPECT_EQ(Search(tree.RootText(), CompareMode::IgnoreCase), CommandOutcome::Completed);
    const std::string ignoring = Report();
    EXPECT_NE(ignoring.find("<B>2</B> Fundstellen in <B>3</B>"), std::string::npos);
    EXPECT_LT(ignoring.find("a.htm"), ignoring.find("c.htm"));
    EXPECT_NE(ignoring.find("<TD>1</TD><TD>&nbsp</TD>"), std::string::npos);
}

TEST_F(FlatSearchTest, EmptyDirectoryAndEmptyTermGiveAnEmptyValidReport) {
    const TempTree empty;
    ASSERT_EQ(Search(empty.RootText()), CommandOutcome::Completed);
    EXPECT_NE(Report().find("<B>0</B> Fundstellen in <B>0</B> durchsuchten Dateien, welche "
                            "insgesamt <B>0,0</B>"),
              std::string::npos);
    form.TexSuchbegriff.text.clear();
    ASSERT_EQ(Search(tree.RootText()), CommandOutcome::Completed);
    EXPECT_NE(Report().find("<B>0</B> Fundstellen in <B>3</B>"), std::string::npos);
}

TEST_F(FlatSearchTest, MissingLocationIsRefusedWithoutReport) {
    const QString missing = tree.RootText() + QStringLiteral("fehlt");
    EXPECT_EQ(Search(missing), CommandOutcome::Refused);
    ASSERT_EQ(ui.messages.size(), 1);
    EXPECT_TRUE(ui.messages[0].contains(missing));
    EXPECT_FALSE(QFile::exists(form.TexZieldatei));
}

TEST_F(FlatSearchTest, FileVanishingBeforeItIsReadIsSkippedAndNamed) {
    const std::string vanishing = tree.Path("B.HTM");
    ui.onYield = [&vanishing] { std::remove(vanishing.c_str()); };
    // Without workers each file is read just before its turn, after the previous file's yield.
    EXPECT_EQ(Search(tree.RootText(), CompareMode::Exact, 0), CommandOutcome::Incomplete);
    EXPECT_NE(Report().find("in <B>2</B> durchsuchten Dateien"), std::string::npos);
    ASSERT_EQ(ui.messages.size(), 1);
    EXPECT_TRUE(ui.messages[0].contains(QStringLiteral("B.HTM")));
}

TEST_F(FlatSearchTest, Utf8AndWindows1252FilesAreFoundAlike) {
    tree.Write("u8.htm",
               "\xEF\xBB\xBF<title>Gr\u00F6\u00DFe \u0142 &amp;</title>\u00E4 GR\u00D6SSE "
               "gr\u00F6\u00DFe");
    tree.Write("w.htm",
               "<title>Gr\xF6\xDF"
               "e</title>GR\xD6\xDF"
               "E");
    form.TexSuchbegriff.text = QStringLiteral("gr\u00F6\u00DFe");
    ASSERT_EQ(Search(tree.RootText(), CompareMode::IgnoreCase), CommandOutcome::Completed);
    const std::string report = Report();
    // The byte-order mark is not counted; titles arrive in the report's code page.
    EXPECT_NE(report.find("u8.htm</A></TD><TD ALIGN=Right>8</TD><TD>2</TD><td>Gr\xF6\xDF"
                          "e &#322; &amp;</td>"),
              std::string::npos);
    EXPECT_NE(report.find("w.htm</A></TD><TD ALIGN=Right>8</TD><TD>2</TD><td>Gr\xF6\xDF"
                          "e</td>"),
              std::string::npos);
    form.TexSuchbegriff.text = QStringLiteral("\u0142");
    ASSERT_EQ(Search(tree.RootText(), CompareMode::Exact), CommandOutcome::Completed);
    EXPECT_NE(Report().find("<B>1</B> Fundstelle in"), std::string::npos);
    EXPECT_NE(Report().find("<TD colspan=\"2\">&#322;</TD>"), std::string::npos);
}

class SearchCommandTest : public FlatSearchTest {};

TEST_F(SearchCommandTest, EachMissingValueIsRefusedWithoutAnyChange) {
    const std::pair<QString*, const char*> clears[] = {
        {&form.TexZieldatei, "Ergebnisdatei"},
        {&form.TexSuchbegriff.text, "Suchbegriff"},
        {&form.ComDateifilter.text, "Dateityp"},
        {&form.TexSuchort.text, "Suchort"},
    };
    for (const auto& [field, name] : clears) {
        const QString kept = *field;
        field->clear();
        FakeUi local;
        EXPECT_EQ(butSuchen_Click(form, local), CommandOutcome::Refused);
        EXPECT_EQ(local.messages,
                  QStringList{QStringLiteral("Es fehlen leider Werte, damit die Suche gestartet "
                                             "werden kann!\nLeer: %1.")
                                  .arg(QLatin1String(name))});
        EXPECT_TRUE(form.TexSuchbegriff.list.isEmpty());
        EXPECT_EQ(local.statusChanges, 0);
        *field = kept;
    }
    EXPECT_FALSE(QFile::exists(form.TexZieldatei));
}

TEST_F(SearchCommandTest, RecordsEveryTermAndHandsTheReportToTheBrowser) {
    form.TexBrowser = QStringLiteral("/usr/bin/mein browser");
    SelectBrowserHandOff(form, true);
    ASSERT_EQ(butSuchen_Click(form, ui), CommandOutcome::Completed);
    ASSERT_EQ(butSuchen_Click(form, ui), CommandOutcome::Completed);
    EXPECT_EQ(form.TexSuchbegriff.list,
              (QStringList{QStringLiteral("Fund"), QStringLiteral("Fund")}));
    EXPECT_EQ(ui.started.size(), 2);
}

}  // namespace
}  // namespace trawlex
