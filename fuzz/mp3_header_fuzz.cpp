// The MPEG audio frame walk on arbitrary heads, as long as the reader gives it.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "inspect/inspect.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // A copy of exactly the head's size, so any read past it is caught.
    const size_t n = size < 3105 ? size : 3105;
    std::vector<uint8_t> head(data, data + n);
    inspect::Mp3HeadResult r = inspect::ParseMp3Head(head.data(), head.size());
    for (int32_t k : r.Kbps)
        if (k < 0 || k > 448) __builtin_trap();
    if (r.ChannelCount > 2) __builtin_trap();
    return 0;
}
