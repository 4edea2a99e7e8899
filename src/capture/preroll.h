#pragma once
#include <cstdint>

#include "capture/capture.h"

namespace capture {

// The newest converted blocks, kept so that a recording can also write what
// came just before the moment it started writing (the start of a sound that
// triggered it). Every delivered block is kept, written or not; the memory is
// fixed and sized for the largest block, so keeping a block only copies it.
constexpr int kPreRollMaxMs = 5000;
// The longest pre-roll plus one full ring, which a single drain may deliver
// after the block that triggers.
constexpr int kPreRollSlots = kPreRollMaxMs / 100 + kRingBuffers;
constexpr int kMaxBlockBytes = static_cast<int>(sizeof(BlockState::OutBlock));

// Blocks are numbered from 1 in the order of delivery; the numbers go on
// across a reopening of the ring, so an older number is always older audio.
struct KeptBlock {
    uint64_t seq = 0;
    float peak = 0; // the louder of the block's two peaks
    int bytes = 0;
};

// Called by the drain for every block after its peaks are measured.
void KeepBlock();
// Forgets every kept block: after the ring reopens, their geometry may no
// longer be the one the outputs take.
void ForgetKeptBlocks();
// Number of the newest delivered block; 0 before the first.
uint64_t NewestBlock();
// Number of the oldest block still kept; NewestBlock() + 1 when none is.
uint64_t OldestKeptBlock();
// The kept block `seq`; false (and `out` untouched) when it is no longer kept.
bool FindKeptBlock(uint64_t seq, KeptBlock& out);
// Copies kept block `seq` back into Block.OutBlock, so the outputs can take
// it as the current block. False when it is not kept or no longer matches
// the current block size.
bool RestoreKeptBlock(uint64_t seq);

// Number of the newest block handed to the outputs (by the drain or from the
// kept blocks); 0 when none was.
extern uint64_t WrittenThrough;

} // namespace capture
