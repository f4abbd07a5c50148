#include "TestSupport.h"
#include "common/Regional.h"

#include <gtest/gtest.h>

#include <ctime>

namespace trawlex {
namespace {

class RegionalTest : public testing::Test {
protected:
    void SetUp() override { test::UseGermanLocale(); }
};

using test::LocalMoment;

TEST_F(RegionalTest, KBytesHaveOneDecimalAndGroupedThousands) {
    struct Case {
        std::int64_t bytes;
        QString text;
    };
    const Case cases[] = {
        {0, QStringLiteral("0,0")},
        {51, QStringLiteral("0,0")},
        {100, QStringLiteral("0,1")},
        {1536, QStringLiteral("1,5")},
        {1263616, QStringLiteral("1.234,0")},
        // Five GiB: a count beyond 32 bits must neither wrap nor lose its grouping.
        {std::int64_t{5} << 30, QStringLiteral("5.242.880,0")},
    };
    for (const Case& entry : cases) {
        EXPECT_EQ(FormatKBytes(entry.bytes), entry.text) << entry.bytes;
    }
}

TEST_F(RegionalTest, FileMomentLeavesOutTheTimeOnlyAtMidnight) {
    struct Case {
        std::time_t moment;
        QString text;
    };
    const Case cases[] = {
        {LocalMoment(2026, 12, 5, 5, 11, 14), QStringLiteral("05.12.2026 05:11:14")},
        {LocalMoment(2027, 1, 1, 0, 0, 0), QStringLiteral("01.01.2027")},
        {LocalMoment(2026, 7, 15, 0, 0, 0), QStringLiteral("15.07.2026")},
        {LocalMoment(2026, 7, 15, 0, 0, 1), QStringLiteral("15.07.2026 00:00:01")},
        {LocalMoment(2026, 7, 14, 23, 59, 59), QStringLiteral("14.07.2026 23:59:59")},
    };
    for (const Case& entry : cases) {
        EXPECT_EQ(FormatFileMoment(entry.moment), entry.text) << entry.text.toStdString();
    }
}

}  // namespace
}  // namespace trawlex
