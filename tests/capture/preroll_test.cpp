#include <gtest/gtest.h>

#include <cstring>

#include "capture/capture.h"
#include "capture/preroll.h"

namespace {

// Keeps one block of `bytes` bytes, all set to `fill`, with the given peaks.
void KeepOne(int bytes, uint8_t fill, float left = 0, float right = 0) {
    capture::Params.OutBlockBytes = bytes;
    std::memset(capture::Block.OutBlock, fill, sizeof capture::Block.OutBlock);
    capture::Block.PeakLeft = left;
    capture::Block.PeakRight = right;
    capture::KeepBlock();
}

// What RestoreKeptBlock put back, as the fill byte; -1 when it refused or
// the block came back mixed with another.
int Restored(uint64_t seq, int bytes) {
    std::memset(capture::Block.OutBlock, 0xEE, sizeof capture::Block.OutBlock);
    if (!capture::RestoreKeptBlock(seq)) return -1;
    const uint8_t first = capture::Block.OutBlock[0];
    for (int i = 0; i < bytes; ++i)
        if (capture::Block.OutBlock[i] != first) return -1;
    return first;
}

} // namespace

TEST(PreRoll, KeepsTheNewestBlocksInFixedSlots) {
    const int bytes = capture::kMaxBlockBytes; // the largest block fits a slot
    capture::ForgetKeptBlocks();
    const uint64_t before = capture::NewestBlock();
    const int total = capture::kPreRollSlots + 7;
    for (int i = 1; i <= total; ++i)
        KeepOne(bytes, static_cast<uint8_t>(i), 50, static_cast<float>(1000 + i));
    const uint64_t newest = capture::NewestBlock();
    EXPECT_EQ(newest, before + total);
    EXPECT_EQ(capture::OldestKeptBlock(), newest - capture::kPreRollSlots + 1);

    capture::KeptBlock k;
    EXPECT_FALSE(capture::FindKeptBlock(capture::OldestKeptBlock() - 1, k)); // overwritten
    EXPECT_FALSE(capture::FindKeptBlock(newest + 1, k));
    ASSERT_TRUE(capture::FindKeptBlock(newest, k));
    EXPECT_EQ(k.seq, newest);
    EXPECT_EQ(k.bytes, bytes);
    EXPECT_EQ(k.peak, static_cast<float>(1000 + total)); // the louder channel
    ASSERT_TRUE(capture::FindKeptBlock(newest - 1, k));
    EXPECT_EQ(k.peak, static_cast<float>(1000 + total - 1));

    EXPECT_EQ(Restored(newest, bytes), total);
    EXPECT_EQ(Restored(capture::OldestKeptBlock(), bytes), 8);
    EXPECT_EQ(Restored(capture::OldestKeptBlock() - 1, bytes), -1);
}

TEST(PreRoll, ReopenedRingForgetsAndOtherSizesAreRefused) {
    KeepOne(17640, 1);
    KeepOne(17640, 2, 30000, 12); // left louder this time
    const uint64_t second = capture::NewestBlock();
    capture::KeptBlock k;
    ASSERT_TRUE(capture::FindKeptBlock(second, k));
    EXPECT_EQ(k.peak, 30000);
    // The outputs now take blocks of another size: a kept block of the old
    // one is never handed to them.
    capture::Params.OutBlockBytes = 8820;
    EXPECT_EQ(Restored(second, 8820), -1);
    capture::Params.OutBlockBytes = 17640;
    EXPECT_EQ(Restored(second, 17640), 2);

    capture::ForgetKeptBlocks();
    EXPECT_EQ(capture::OldestKeptBlock(), second + 1);
    EXPECT_FALSE(capture::FindKeptBlock(second, k));
    // Numbering goes on, so older numbers stay older audio.
    KeepOne(8820, 3);
    EXPECT_EQ(capture::NewestBlock(), second + 1);
    EXPECT_EQ(Restored(second + 1, 8820), 3);
}
