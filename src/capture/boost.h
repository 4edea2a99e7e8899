#pragma once
#include <cstdint>

namespace capture {
// Sets BoostGain from Settings.SoundBoost by the 2 dB table; a step not in the
// table leaves it unchanged. A gain outside 1..10 becomes 1.
void DB2Boost();
// The table's gain for a boost in dB, or a negative value when not in the table.
float BoostForDb(int32_t db);
} // namespace capture
