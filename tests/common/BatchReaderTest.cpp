#include "common/files/BatchReader.h"

#include "TestSupport.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <vector>

namespace trawlex {
namespace {

using test::TempTree;

// What each kind of entry a listed name may have become gives in a batch: a FIFO or directory
// in a file's place is refused without being read (a FIFO would block a read without writer),
// a file too big for the batch comes back open at its start, a link leads to its file.
TEST(BatchReaderTest, EachKindOfEntryComesBackAsReadingItAloneWould) {
    const TempTree tree;
    const std::string small = "klein\r\nZeile";
    const std::string exact(BatchReader::kLargestRead, 'g');
    tree.Write("leer", "");
    tree.Write("klein", small);
    tree.Write("genau", exact);
    tree.Write("gross", std::string(BatchReader::kLargestRead + 1, 'x'));
    tree.MakeDirectory("ordner");
    ASSERT_EQ(mkfifo(tree.Path("fifo").c_str(), 0600), 0);
    ASSERT_EQ(symlink("klein", tree.Path("verweis").c_str()), 0);

    auto reader = BatchReader::Make();
    ASSERT_NE(reader, nullptr) << "io_uring is refused here; the batch is not tested";
    const int directory = open(tree.Root().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(directory, 0);
    struct Row {
        const char* name;
        int error;
        bool read;
        std::string bytes;
    };
    std::vector<Row> rows = {
        {"leer", 0, true, ""},        {"klein", 0, true, small},     {"genau", 0, true, exact},
        {"gross", 0, false, ""},      {"ordner", EISDIR, false, ""}, {"fifo", EINVAL, false, ""},
        {"fehlt", ENOENT, false, ""}, {"verweis", 0, true, small},
    };
    std::vector<BatchRead> results(BatchReader::kMostFiles);
    // Twice into the same memory, the second time in the other order: what the first batch
    // left there must not show.
    for (int round = 0; round < 2; ++round) {
        std::vector<BatchName> names;
        for (const Row& row : rows) {
            names.push_back({directory, row.name});
        }
        ASSERT_TRUE(reader->Read(names, results));
        for (std::size_t index = 0; index < rows.size(); ++index) {
            const Row& row = rows[index];
            const BatchRead& result = results[index];
            EXPECT_EQ(result.error, row.error) << row.name;
            EXPECT_EQ(result.read, row.read) << row.name;
            if (row.read) {
                EXPECT_EQ(result.bytes, row.bytes) << row.name;
                EXPECT_TRUE(S_ISREG(result.opened.status.st_mode)) << row.name;
            }
            if (std::string_view(row.name) == "gross") {
                ASSERT_GE(result.opened.file.get(), 0) << "the big file is handed back open";
                EXPECT_EQ(result.opened.status.st_size, BatchReader::kLargestRead + 1);
                EXPECT_EQ(lseek(result.opened.file.get(), 0, SEEK_CUR), 0);
            }
        }
        std::reverse(rows.begin(), rows.end());
    }
    close(directory);
}

}  // namespace
}  // namespace trawlex
