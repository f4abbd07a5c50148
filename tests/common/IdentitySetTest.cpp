#include "common/files/DirectoryHandle.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace trawlex {
namespace {

// The inode numbers a walk meets: one after another, all alike but for a high bit, and spaced
// by the table's own sizes, which a slot taken from the low bits would pile up on.
std::vector<std::uint64_t> Inodes() {
    std::vector<std::uint64_t> inodes;
    for (std::uint64_t inode = 1; inode <= 40000; ++inode) {
        inodes.push_back(inode);
        inodes.push_back(inode << 20);
        inodes.push_back(inode | (std::uint64_t{1} << 63));
    }
    return inodes;
}

TEST(IdentitySetTest, KnowsEachIdentityAgainAcrossGrowingAndTellsDevicesApart) {
    IdentitySet seen;
    const std::vector<std::uint64_t> inodes = Inodes();
    for (const dev_t device : {dev_t{2049}, dev_t{0}}) {
        for (const std::uint64_t inode : inodes) {
            ASSERT_TRUE(seen.Insert(device, inode)) << device << ":" << inode;
        }
    }
    for (const dev_t device : {dev_t{2049}, dev_t{0}}) {
        for (const std::uint64_t inode : inodes) {
            ASSERT_FALSE(seen.Insert(device, inode)) << device << ":" << inode;
        }
    }
    EXPECT_TRUE(seen.Insert(2049, 0));
    EXPECT_TRUE(seen.Insert(1, 2049));
    // The identity a free slot is marked with is a file's like any other.
    const auto all = ~std::uint64_t{0};
    EXPECT_TRUE(seen.Insert(static_cast<dev_t>(all), all));
    EXPECT_FALSE(seen.Insert(static_cast<dev_t>(all), all));
    EXPECT_TRUE(seen.Insert(static_cast<dev_t>(all), all - 1));
}

}  // namespace
}  // namespace trawlex
