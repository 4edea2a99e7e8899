#include "platform/debug.h"

#include <QtGlobal>
#include <cstdarg>
#include <cstdio>

namespace platform {

bool DebugEnabled() {
    static const bool on = qEnvironmentVariableIntValue("KESTRUNE_DEBUG") == 1;
    return on;
}

void DebugPrint(const char* format, ...) {
    if (!DebugEnabled()) return;
    char line[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    std::fprintf(stderr, "kestrune: %s\n", line);
}

} // namespace platform
