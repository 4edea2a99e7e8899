#include "capture/boost.h"

#include "capture/capture.h"
#include "core/settings.h"

namespace capture {

float BoostForDb(int32_t db) {
    static const float kTable[11] = {1.0f,  1.26f, 1.58f, 1.99f, 2.51f, 3.16f,
                                     3.98f, 5.01f, 6.31f, 7.94f, 10.0f};
    if (db < 0 || db > 20 || db % 2 != 0) return -1.0f;
    return kTable[db / 2];
}

void DB2Boost() {
    float g = BoostForDb(core::Settings.SoundBoost);
    if (g > 0) Block.BoostGain = g;
    if (Block.BoostGain > 10 || Block.BoostGain < 1) Block.BoostGain = 1;
}

} // namespace capture
