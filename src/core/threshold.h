#pragma once
#include <cstdint>

namespace core {

// Monotonic time in seconds of the newest block above the threshold while
// writing (or of the trigger that ended a pause). Kept in double precision: a
// single-precision uptime loses whole seconds after a few months, which would
// make the release time drift.
extern double TriggerTime;

// The sound-activated logic, run by every recording tick after the drain.
void ThresholdStep();

// A block whose louder channel peaks at `peak` (0..32767) lies strictly above
// ThresholdLevel; either channel triggers.
bool ThresholdTriggered(float peak);
// ThresholdRelease seconds have passed since TriggerTime.
bool ThresholdReleased();

// Mode 2: picks the next free name and opens its output, then writing starts
// (IsPaused false, TriggerTime now). False when the recording ended instead.
bool OpenNextSoundFile();

// Writes the kept blocks from ThresholdPreRoll before block `trigger` up to
// the newest delivered block, leaving out those already in the open file.
void WritePreRoll(uint64_t trigger);

// A normal recording that has just opened its output: writes the kept
// ThresholdPreRoll before the record command.
void WritePreRecord();

// Monotonic seconds of the clock the logic uses.
double ThresholdNow();
// Tests drive time by hand; nullptr restores platform::TickMs.
using MsClock = int64_t (*)();
void SetThresholdClock(MsClock clock);

} // namespace core
