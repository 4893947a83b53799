// Records held in blocks: addresses that stay put, runs split at block ends, and tables whose
// rows span many blocks written back byte for byte.
#include <gtest/gtest.h>

#include <string>

#include "TestDir.h"
#include "tables/Dataset.h"
#include "tables/RecordStore.h"
#include "tables/TableFiles.h"

namespace tz::tables {
namespace {

using testing::TestDir;

TEST(RecordStore, RecordsKeepTheirPlaceAndRunsCoverEachOnce) {
    for (std::size_t length : {1u, 97u, 4000u, 70000u}) {
        RecordStore s(length);
        std::vector<const char*> where;
        for (std::uint32_t r = 0; r < 3000; ++r) {
            char* p = s.append();
            p[length - 1] = static_cast<char>(r % 13);
            p[0] = static_cast<char>(r % 251);
            where.push_back(p);
        }
        ASSERT_EQ(s.count(), 3000u);
        for (std::uint32_t r = 0; r < 3000; ++r) {
            ASSERT_EQ(s.at(r), where[r]) << length;
            ASSERT_EQ(s.at(r)[0], static_cast<char>(r % 251));
            if (length > 1) {
                ASSERT_EQ(s.at(r)[length - 1], static_cast<char>(r % 13));
            }
        }
        // Every record of a stretch exactly once, in order, each run consecutive bytes.
        for (auto [first, end] : {std::pair{0u, 3000u}, {5u, 6u}, {511u, 2049u}, {7u, 7u}}) {
            std::uint32_t next = first;
            s.runs(first, end, [&](std::uint32_t r, const char* bytes, std::uint32_t n) {
                ASSERT_EQ(r, next);
                ASSERT_GT(n, 0u);
                for (std::uint32_t i = 0; i < n; ++i) ASSERT_EQ(bytes + i * length, s.at(r + i));
                next = r + n;
            });
            EXPECT_EQ(next, end) << length;
        }
    }
}

// Enough rows for several blocks: appended and changed rows held exclusively reach the file in
// their places, as a later reader sees them.
TEST(RecordStore, ExclusiveRowsAcrossBlocksReachTheirPlacesOnDisk) {
    TestDir dir;
    auto p = dir.ztemp() / "T.DBF";
    createTable(p, {charField("KEY", 6), charField("NAME", 30)}, {"KEY"});
    const int n = 9000;
    auto key = [](int i) { return std::to_string(100000 + i); };
    {
        Dataset d;
        d.open(p, OpenMode::Exclusive);
        for (int i = 0; i < n; ++i) d.appendRecord({key(i), "first " + std::to_string(i)});
    }
    auto changed = [](int i) { return (i >= 1700 && i < 1800) || i % 997 == 0 || i == n - 1; };
    {
        Dataset d;
        d.open(p, OpenMode::Exclusive);
        d.setIndex("KEY");
        for (int i = 0; i < n; ++i) {
            if (!changed(i)) continue;
            ASSERT_TRUE(d.findKey(key(i)));
            d.edit();
            d.setText("NAME", "second " + std::to_string(i));
            d.post();
        }
        d.appendRecord({key(n), "last"});
    }
    EXPECT_EQ(testing::headerCount(p), static_cast<std::uint32_t>(n + 1));
    Dataset d;
    d.open(p, OpenMode::ReadOnly);
    int i = 0;
    for (d.first(); !d.eof(); d.next(), ++i) {
        ASSERT_EQ(d.text("KEY"), key(i));
        std::string want =
            i == n ? "last" : (changed(i) ? "second " : "first ") + std::to_string(i);
        ASSERT_EQ(d.text("NAME"), want);
    }
    EXPECT_EQ(i, n + 1);
    EXPECT_EQ(testing::readBytes(p).back(), '\x1a');
}

}  // namespace
}  // namespace tz::tables
