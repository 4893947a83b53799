// The chunked order against a plain sorted vector, through many splits and empty chunks.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "tables/OrderedIndex.h"

namespace tz::tables {
namespace {

struct Model {
    static constexpr int kWidth = 3, kRecLen = 1 + kWidth;
    std::vector<char> records;
    std::vector<double> numbers;
    std::vector<std::uint32_t> live;  // reference order

    std::uint32_t add(std::mt19937& rng) {
        auto rec = static_cast<std::uint32_t>(numbers.size());
        records.push_back(' ');
        for (int i = 0; i < kWidth; ++i) records.push_back(static_cast<char>('a' + rng() % 3));
        numbers.push_back(static_cast<double>(rng() % 7) - 3);
        return rec;
    }
    std::string key(std::uint32_t r) const {
        return std::string(records.data() + r * kRecLen + 1, kWidth);
    }
};

class OrderedIndexRandom : public ::testing::TestWithParam<OrderedIndex::Kind> {};

TEST_P(OrderedIndexRandom, AgreesWithASortedVector) {
    const auto kind = GetParam();
    Model m;
    m.records.reserve(40000 * Model::kRecLen);  // keys must not move while indexed
    OrderedIndex ix(kind, &m.records, Model::kRecLen, 1, Model::kWidth, &m.numbers);
    std::mt19937 rng(7);
    auto less = [&](std::uint32_t a, std::uint32_t b) {
        if (kind == OrderedIndex::Kind::Bytes && m.key(a) != m.key(b)) return m.key(a) < m.key(b);
        if (kind == OrderedIndex::Kind::Number && m.numbers[a] != m.numbers[b]) {
            return m.numbers[a] < m.numbers[b];
        }
        return a < b;
    };
    auto check = [&]() {
        ASSERT_EQ(ix.size(), static_cast<int>(m.live.size()));
        for (int p = 0; p < ix.size(); p += 97) {
            ASSERT_EQ(ix.at(p), m.live[static_cast<std::size_t>(p)]);
            ASSERT_EQ(ix.positionOf(m.live[static_cast<std::size_t>(p)]), p);
        }
        for (std::string k : {"aaa", "abc", "bbb", "ccc", "cca", "b"}) {
            OrderedIndex::Key key{k + std::string(3 - std::min<std::size_t>(3, k.size()), ' '),
                                  static_cast<double>(k[0] - 'b')};
            auto cmp = [&](std::uint32_t r) { return ix.compareKey(r, key); };
            int lo =
                static_cast<int>(std::partition_point(m.live.begin(), m.live.end(),
                                                      [&](std::uint32_t r) { return cmp(r) < 0; }) -
                                 m.live.begin());
            int hi = static_cast<int>(
                std::partition_point(m.live.begin(), m.live.end(),
                                     [&](std::uint32_t r) { return cmp(r) <= 0; }) -
                m.live.begin());
            if (kind == OrderedIndex::Kind::Physical) {
                lo = 0;
                hi = ix.size();
            }
            ASSERT_EQ(ix.lowerBound(key), lo) << k;
            ASSERT_EQ(ix.upperBound(key), hi) << k;
        }
    };
    for (int round = 0; round < 4; ++round) {
        for (int i = 0; i < 8000; ++i) {
            std::uint32_t r = m.add(rng);
            ix.insert(r);
            m.live.insert(std::upper_bound(m.live.begin(), m.live.end(), r, less), r);
        }
        check();
        // Erase most rows of a stretch so that chunks empty out.
        for (int i = 0; i < 6000 && !m.live.empty(); ++i) {
            std::size_t at = (round % 2 ? i : rng()) % m.live.size();
            std::uint32_t r = m.live[at];
            ASSERT_TRUE(ix.erase(r));
            ASSERT_FALSE(ix.erase(r));
            m.live.erase(m.live.begin() + static_cast<std::ptrdiff_t>(at));
        }
        check();
    }
    ix.rebuild(m.live);
    check();
    EXPECT_EQ(ix.positionOf(static_cast<std::uint32_t>(m.numbers.size() + 5)), -1);
}

INSTANTIATE_TEST_SUITE_P(Kinds, OrderedIndexRandom,
                         ::testing::Values(OrderedIndex::Kind::Physical, OrderedIndex::Kind::Bytes,
                                           OrderedIndex::Kind::Number));

}  // namespace
}  // namespace tz::tables
