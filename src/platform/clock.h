#pragma once
#include <cstdint>

namespace platform {
// Milliseconds since an arbitrary start, monotonic and 64-bit so nothing wraps.
int64_t TickMs();
// Lets pending GUI events run (timer ticks, clicks, hot keys), if an application exists.
void ProcessEvents();
} // namespace platform
