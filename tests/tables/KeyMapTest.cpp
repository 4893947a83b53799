#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>

#include "tables/KeyMap.h"

using tz::tables::KeyMap;

// Keys a packed word could confuse: a shorter key and one padded with zero bytes or spaces, the
// empty key, keys at the boundary of the packed form (7 and 8 bytes), bytes above 0x7F.
TEST(KeyMap, KeysThatLookAlikeStayApart) {
    const std::string keys[] = {"",
                                std::string(1, '\0'),
                                std::string(2, '\0'),
                                "A",
                                std::string("A\0", 2),
                                "A ",
                                "ABC 102",
                                "ABC 10",
                                "ABC 1020",
                                "ABC 10200",
                                "\xC1\xC1P 102",
                                "\xFF\xFF\xFF\xFF\xFF\xFF\xFF",
                                "\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF",
                                "a much longer key than any packed one"};
    KeyMap<int> m;
    for (int i = 0; i < static_cast<int>(std::size(keys)); ++i) {
        auto [v, added] = m.tryEmplace(keys[i], i);
        EXPECT_TRUE(added) << i;
        EXPECT_EQ(*v, i);
    }
    EXPECT_EQ(m.size(), std::size(keys));
    for (int i = 0; i < static_cast<int>(std::size(keys)); ++i) {
        ASSERT_NE(m.find(keys[i]), nullptr) << i;
        EXPECT_EQ(*m.find(keys[i]), i) << i;
        // A second insertion keeps the first value.
        auto [v, added] = m.tryEmplace(keys[i], 99);
        EXPECT_FALSE(added) << i;
        EXPECT_EQ(*v, i) << i;
    }
    for (const char* absent : {"B", "ABC 103", "ABC 1", "a much longer key than any packed on"})
        EXPECT_FALSE(m.contains(absent)) << absent;
}

// Many keys, most sharing their first four bytes with others (the slots of one teacher), some
// long: every one found with its value after the table has grown many times, as a std::map
// says.
TEST(KeyMap, AgreesWithAnOrderedMapThroughGrowth) {
    std::mt19937 rng(7);
    KeyMap<unsigned> m;
    std::map<std::string, unsigned> want;
    for (unsigned i = 0; i < 60000; ++i) {
        std::string k = "P" + std::to_string(rng() % 500);
        k.resize(4, ' ');
        k += std::to_string(rng() % 7) + std::to_string(rng() % 100);
        if (i % 97 == 0) k += "-larga-" + std::to_string(i);
        const auto [v, added] = m.tryEmplace(k, i);
        const auto [it, wantAdded] = want.try_emplace(k, i);
        ASSERT_EQ(added, wantAdded) << k;
        ASSERT_EQ(*v, it->second) << k;
    }
    EXPECT_EQ(m.size(), want.size());
    for (const auto& [k, v] : want) {
        const unsigned* got = m.find(k);
        ASSERT_NE(got, nullptr) << k;
        EXPECT_EQ(*got, v) << k;
    }
}
