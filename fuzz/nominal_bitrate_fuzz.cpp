// ogginfo's output parser on arbitrary text.
#include <cstddef>
#include <cstdint>
#include <string>

#include "inspect/inspect.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    // Six characters of digits and a point hold at most 999999.
    int32_t kbps = inspect::ParseNominalBitrate(text);
    if (kbps < 0 || kbps > 999999) __builtin_trap();
    return 0;
}
