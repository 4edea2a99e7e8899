#include "capture/preroll.h"

#include <algorithm>
#include <cstring>

namespace capture {

uint64_t WrittenThrough = 0;

namespace {

// Static storage: no allocation at start-up or per block. Pages of slots that
// are never used (small blocks use only the head of each slot) stay untouched.
uint8_t gBytes[kPreRollSlots][kMaxBlockBytes];
KeptBlock gKept[kPreRollSlots];
uint64_t gNewest = 0;
uint64_t gOldest = 1;

size_t Slot(uint64_t seq) {
    return static_cast<size_t>(seq % kPreRollSlots);
}

} // namespace

void KeepBlock() {
    const uint64_t seq = ++gNewest;
    const int bytes = std::clamp(Params.OutBlockBytes, 0, kMaxBlockBytes);
    KeptBlock& k = gKept[Slot(seq)];
    k.seq = seq;
    k.peak = std::max(Block.PeakLeft, Block.PeakRight);
    k.bytes = bytes;
    std::memcpy(gBytes[Slot(seq)], Block.OutBlock, static_cast<size_t>(bytes));
    if (gNewest - gOldest + 1 > static_cast<uint64_t>(kPreRollSlots))
        gOldest = gNewest - kPreRollSlots + 1;
}

void ForgetKeptBlocks() {
    gOldest = gNewest + 1;
}

uint64_t NewestBlock() {
    return gNewest;
}

uint64_t OldestKeptBlock() {
    return gOldest;
}

bool FindKeptBlock(uint64_t seq, KeptBlock& out) {
    if (seq < gOldest || seq > gNewest) return false;
    out = gKept[Slot(seq)];
    return out.seq == seq;
}

bool RestoreKeptBlock(uint64_t seq) {
    KeptBlock k;
    if (!FindKeptBlock(seq, k) || k.bytes != Params.OutBlockBytes) return false;
    std::memcpy(Block.OutBlock, gBytes[Slot(seq)], static_cast<size_t>(k.bytes));
    return true;
}

} // namespace capture
