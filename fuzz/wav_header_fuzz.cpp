// The WAV header check on arbitrary bytes.
#include <cstddef>
#include <cstdint>

#include "inspect/inspect.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    int16_t bits = 0;
    if (inspect::WavHeaderBits(data, size, &bits) && size < 50) __builtin_trap();
    return 0;
}
