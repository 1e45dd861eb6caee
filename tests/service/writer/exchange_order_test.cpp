#include "service/camera_file/exchange_order.h"

#include <gtest/gtest.h>

#include <climits>
#include <random>

#include "literal_camera_file.h"

namespace {

using Keys = std::vector<std::int32_t>;

TEST(ExchangeSortOrder, SmallCasesMatchTheExchangeSortByHand) {
    struct Case {
        const char* name;
        Keys keys;
        std::vector<std::uint32_t> order;
    };
    const Case cases[] = {
        {"empty", {}, {}},
        {"one", {7}, {0}},
        {"all equal keep their order", {5, 5, 5}, {0, 1, 2}},
        {"smaller key between equal ones keeps them", {5, 3, 5}, {1, 0, 2}},
        {"smaller key after two equal ones swaps them", {5, 5, 3}, {2, 1, 0}},
        {"three equal then a smaller rotates them", {5, 5, 5, 3}, {3, 1, 2, 0}},
        {"two smaller after three equal", {5, 5, 5, 3, 3}, {3, 4, 2, 0, 1}},
        {"larger keys do not disturb equal ones", {5, 9, 5, 3}, {3, 2, 0, 1}},
        {"signed order", {0, -1, INT_MAX, INT_MIN}, {3, 1, 0, 2}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(service::ExchangeSortOrder(c.keys), c.order);
        EXPECT_EQ(literal::ExchangeSortOrder(c.keys), c.order);  // the hand results are right
    }
}

// Few distinct keys make long runs of equal keys separated by varying numbers of smaller
// ones, which is where the exchange sort's scrambling shows.
TEST(ExchangeSortOrder, MatchesTheLiteralSortOnRandomInputs) {
    std::mt19937 rng(20240611);
    int checked = 0;
    for (int round = 0; round < 600; ++round) {
        const std::size_t size = round < 100 ? static_cast<std::size_t>(round) : rng() % 3000;
        const std::int32_t distinct = 1 + static_cast<std::int32_t>(rng() % (round % 3 == 0 ? 4 : 40));
        const bool extremes = round % 5 == 0;
        Keys keys(size);
        for (auto& k : keys) {
            k = static_cast<std::int32_t>(rng() % static_cast<std::uint32_t>(distinct));
            if (extremes) k = k % 2 == 0 ? INT_MIN + k : INT_MAX - k;
        }
        const auto expected = literal::ExchangeSortOrder(keys);
        ASSERT_EQ(service::ExchangeSortOrder(keys), expected) << "round " << round << ", size " << size;
        ++checked;
    }
    EXPECT_EQ(checked, 600);
}

// Inputs long enough to be swept in two halves at once, with few and with many distinct keys.
TEST(ExchangeSortOrder, MatchesTheLiteralSortWhenSweptInTwoHalves) {
    const struct {
        std::size_t size;
        std::uint32_t distinct;
    } cases[] = {{17000, 1}, {17000, 3}, {20001, 700}};
    std::mt19937 rng(7);
    for (const auto& c : cases) {
        Keys keys(c.size);
        for (auto& k : keys) k = static_cast<std::int32_t>(rng() % c.distinct) - 5;
        ASSERT_EQ(service::ExchangeSortOrder(keys), literal::ExchangeSortOrder(keys)) << c.size;
    }
}

// Keys met 63, 64 and 65 times: the placement changes its bookkeeping past 64 equal keys.
TEST(ExchangeSortOrder, MatchesAroundSixtyFourEqualKeys) {
    std::mt19937 rng(64);
    for (const std::size_t equal : {63U, 64U, 65U, 130U}) {
        for (int round = 0; round < 20; ++round) {
            Keys keys;
            for (std::size_t e = 0; e < equal; ++e) {
                keys.push_back(50);
                for (unsigned s = rng() % 4; s > 0; --s) keys.push_back(static_cast<std::int32_t>(rng() % 50));
            }
            ASSERT_EQ(service::ExchangeSortOrder(keys), literal::ExchangeSortOrder(keys)) << equal;
        }
    }
}

TEST(ExchangeSortOrder, MatchesOnSkewedRunsOfOneKey) {
    // One dominant key among a sprinkling of smaller and larger ones: long rotations.
    std::mt19937 rng(7);
    for (int round = 0; round < 60; ++round) {
        Keys keys(1 + rng() % 2500);
        const unsigned smallerPercent = 1 + static_cast<unsigned>(round % 50);
        for (auto& k : keys) {
            const unsigned roll = rng() % 100;
            k = roll < smallerPercent ? -static_cast<std::int32_t>(rng() % 3) - 1 : (roll < 90 ? 10 : 20);
        }
        ASSERT_EQ(service::ExchangeSortOrder(keys), literal::ExchangeSortOrder(keys)) << "round " << round;
    }
}

}  // namespace
