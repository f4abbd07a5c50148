#include "app/Form1.h"
#include "app/StatusLine.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

namespace trawlex {
namespace {

using test::FakeUi;

TEST(StatusLineTest, BlinkPhaseCarriesOverBetweenBusyPeriods) {
    Form1 form;
    FakeUi ui;
    BusyStart(form, ui, QStringLiteral("Suche ..."));
    EXPECT_EQ(form.Status, QStringLiteral("Suche ..."));
    EXPECT_TRUE(form.Timer1Enabled);
    Timer1_Timer(form, ui);  // phase false: button face, next tick orange
    EXPECT_EQ(form.StatusBackground, StatusColour::ButtonFace);
    EXPECT_TRUE(form.BlinkPhase);
    Timer1_Timer(form, ui);
    EXPECT_EQ(form.StatusBackground, StatusColour::Orange);
    Timer1_Timer(form, ui);
    EXPECT_EQ(form.StatusBackground, StatusColour::ButtonFace);
    BusyEnd(form, ui);
    EXPECT_TRUE(form.BlinkPhase) << "BusyEnd leaves the phase as the last tick set it";

    BusyStart(form, ui, QStringLiteral("Ersetze ..."));
    Timer1_Timer(form, ui);
    EXPECT_EQ(form.StatusBackground, StatusColour::Orange);
    BusyEnd(form, ui);
    EXPECT_EQ(form.StatusBackground, StatusColour::ButtonFace);
    EXPECT_EQ(form.Status, QStringLiteral("Bereit"));
    EXPECT_FALSE(form.Timer1Enabled);
}

TEST(StatusLineTest, BrowserHandOffOnlyWhenAskedForAndWithAPath) {
    Form1 form;
    form.TexZieldatei = QStringLiteral("/home/anna/mein Bericht.htm");
    FakeUi ui;

    form.TexBrowser = QStringLiteral("/opt/mein browser");
    ShowResultInBrowser(form, ui);  // the report is only to be saved
    EXPECT_TRUE(ui.started.isEmpty());

    SelectBrowserHandOff(form, true);
    form.TexBrowser.clear();
    ShowResultInBrowser(form, ui);
    EXPECT_TRUE(ui.started.isEmpty());
    EXPECT_TRUE(ui.messages.isEmpty());

    form.TexBrowser = QStringLiteral("/opt/mein browser");
    ShowResultInBrowser(form, ui);
    EXPECT_EQ(ui.started,
              QStringList{QStringLiteral("/opt/mein browser|/home/anna/mein Bericht.htm")});

    ui.startSucceeds = false;
    ShowResultInBrowser(form, ui);
    ASSERT_EQ(ui.messages.size(), 1);
    EXPECT_TRUE(ui.messages[0].contains(QStringLiteral("/opt/mein browser")));
}

}  // namespace
}  // namespace trawlex
