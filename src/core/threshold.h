#pragma once
#include <cstdint>

namespace core {

// Monotonic time in seconds of the last trigger that ended a pause. Kept in
// double precision: a single-precision uptime loses whole seconds after a few
// months, which would make the release time drift.
extern double TriggerTime;

// The sound-activated logic, run by every recording tick after the drain.
void ThresholdStep();

// The newest block's left (or mono) peak lies strictly above ThresholdLevel.
bool ThresholdTriggered();
// ThresholdRelease seconds have passed since TriggerTime.
bool ThresholdReleased();

// Mode 2: picks the next free name and opens its output, then writing starts
// (IsPaused false, TriggerTime now). False when the recording ended instead.
bool OpenNextSoundFile();

// Monotonic seconds of the clock the logic uses.
double ThresholdNow();
// Tests drive time by hand; nullptr restores platform::TickMs.
using MsClock = int64_t (*)();
void SetThresholdClock(MsClock clock);

} // namespace core
