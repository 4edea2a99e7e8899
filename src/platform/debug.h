#pragma once
// KESTRUNE_DEBUG=1 in the environment makes the program report on standard
// error what a soak or a bug report needs; without it nothing is printed.

namespace platform {
bool DebugEnabled();
// One line, "kestrune: " in front; nothing unless DebugEnabled().
void DebugPrint(const char* format, ...) __attribute__((format(printf, 1, 2)));
} // namespace platform
