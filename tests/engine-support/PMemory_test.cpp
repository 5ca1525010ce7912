#include "engine-support/PMemory.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

TEST(ByteOrder, SwapsSixteenBitValues) {
    uint16_t pair[2] = {0x1234, 0xABCD};
    vantor::swapBytes16(pair, 2);
    EXPECT_EQ(pair[0], 0x3412);
    EXPECT_EQ(pair[1], 0xCDAB);
    vantor::swapBytes16(pair, 0);
    EXPECT_EQ(pair[0], 0x3412);
}

TEST(ByteOrder, SwapsThirtyTwoBitValues) {
    uint32_t value = 0x11223344;
    vantor::swapBytes32(&value, 1);
    EXPECT_EQ(value, 0x44332211u);
}

// Whole vector steps, the remainder and unaligned starts all give what
// swapping each value on its own gives; nothing past `count` changes.
TEST(ByteOrder, EveryCountAndAlignmentMatchesSwappingOneByOne) {
    for (uint64_t count : {0, 1, 7, 8, 9, 15, 16, 17, 31, 32, 33, 70}) {
        for (size_t start : {0, 1, 3}) {
            SCOPED_TRACE(testing::Message() << count << " from " << start);
            std::vector<uint16_t> v16(count + start + 2);
            std::vector<uint32_t> v32(count + start + 2);
            for (size_t i = 0; i < v16.size(); ++i) {
                v16[i] = static_cast<uint16_t>(0x0102 * (i + 1) + 0x8000);
                v32[i] = static_cast<uint32_t>(0x01020304u * (i + 1) ^ 0xF0E0D0C0u);
            }
            std::vector<uint16_t> e16 = v16;
            std::vector<uint32_t> e32 = v32;
            for (size_t i = start; i < start + count; ++i) {
                e16[i] = __builtin_bswap16(e16[i]);
                e32[i] = __builtin_bswap32(e32[i]);
            }
            vantor::swapBytes16(v16.data() + start, count);
            vantor::swapBytes32(v32.data() + start, count);
            EXPECT_EQ(v16, e16);
            EXPECT_EQ(v32, e32);
        }
    }
}

TEST(Allocation, CallocZeroesReallocKeepsFreeTakesNull) {
    auto* block = static_cast<uint8_t*>(vantor::PCalloc(100));
    ASSERT_NE(block, nullptr);
    for (int i = 0; i < 100; ++i) ASSERT_EQ(block[i], 0);
    std::memset(block, 7, 100);
    block = static_cast<uint8_t*>(vantor::PRealloc(block, 4000));
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(block[99], 7);
    vantor::PFree(block);
    vantor::PFree(vantor::PCalloc(0));
    vantor::PFree(nullptr);
}

} // namespace
