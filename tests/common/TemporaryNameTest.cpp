#include "common/files/TemporaryName.h"

#include <gtest/gtest.h>

#include <string>

namespace trawlex {
namespace {

TEST(TemporaryNameTest, RecognisesWhatItMakesAndNothingElse) {
    const std::string names[] = {"seite.htm", "a", std::string(300, 'x'), "\xC3\xBC.htm"};
    for (const std::string& name : names) {
        const std::string made = TemporaryNameFor(name);
        EXPECT_TRUE(IsTemporaryName(made)) << made;
        EXPECT_LE(made.size(), 255U);
        EXPECT_NE(made, TemporaryNameFor(name));
    }
    const char* others[] = {
        "seite.htm",
        ".seite.htm",
        ".seite.htm.trawlex-",
        ".seite.htm.trawlex-AbC",      // suffix too short
        ".seite.htm.trawlex-AbC-ef",   // no letter or digit
        "seite.htm.trawlex-AbCdEf",    // not hidden
        ".trawlex-AbCdEf",             // no name part
        ".seite.htm.trawlex-AbCdEf~",  // something behind
    };
    for (const char* other : others) {
        EXPECT_FALSE(IsTemporaryName(other)) << other;
    }
}

}  // namespace
}  // namespace trawlex
