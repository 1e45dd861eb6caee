#include "service/block_pipeline.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Whatever the sizes, the worker gets every item in order, or, once it says stop, nothing more,
// and the adding side hears of it.
TEST(BlockPipeline, HandsOverEveryItemInOrderUntilTheConsumerStops) {
    const struct {
        std::size_t items;
        std::size_t blockSize;
        std::size_t stopAfter;  // the consumer gives false on the block holding this item
    } cases[] = {{0, 4, 99}, {1, 4, 99}, {4, 4, 99}, {5, 4, 99}, {1000, 7, 100000},
                 {1000, 7, 500}, {1000, 64, 0}, {100000, 16, 99999}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.items << " items, blocks of " << c.blockSize << ", stop at "
                                        << c.stopAfter);
        std::vector<int> seen;
        bool added = true;
        bool finished = false;
        {
            service::BlockPipeline<int> pipeline(c.blockSize, 1, [&](int* items, std::size_t count) {
                seen.insert(seen.end(), items, items + count);
                return seen.size() <= c.stopAfter;
            });
            for (std::size_t i = 0; i < c.items && added; ++i) added = pipeline.Append(static_cast<int>(i));
            finished = pipeline.Finish();
        }
        const bool stops = c.stopAfter < c.items;
        EXPECT_EQ(finished, !stops);
        // After a stop the consumer sees nothing more than the block it stopped on.
        EXPECT_EQ(seen.size(), stops ? std::min(c.items, (c.stopAfter / c.blockSize + 1) * c.blockSize) : c.items);
        for (std::size_t i = 0; i < seen.size(); ++i) ASSERT_EQ(seen[i], static_cast<int>(i));
    }
}

// Added bytes may start inside the room (a prefix dropped) and still arrive as one stream.
TEST(BlockPipeline, BytesAddedFromInsideTheRoomArriveWithoutTheDroppedPart) {
    std::string got;
    {
        service::BlockPipeline<char> pipeline(8, 10, [&](char* data, std::size_t size) {
            got.append(data, size);
            return true;
        });
        for (const char* piece : {"OFF:abcde", "fghij", "k"}) {
            char* room = pipeline.Room();
            const std::size_t length = std::strlen(piece);
            std::memcpy(room, piece, length);
            const std::size_t skip = std::strncmp(piece, "OFF:", 4) == 0 ? 4 : 0;
            ASSERT_TRUE(pipeline.Add(room + skip, length - skip));
        }
        EXPECT_TRUE(pipeline.Finish());
    }
    EXPECT_EQ(got, "abcdefghijk");
}

}  // namespace
