#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>

#include "capture/capture.h"
#include "core/settings.h"

namespace capture {

namespace {

// Boost, offset, symmetric clamp, then round half to even (the FPU default).
inline int16_t Process(int16_t sample, double gain, double offset) {
    float v = static_cast<float>(sample * gain - offset);
    if (!(v == v)) v = 0; // a garbage gain must not reach the integer conversion
    if (v >= 32767.0f) v = 32767.0f;
    if (v < -32767.0f) v = -32767.0f;
    return static_cast<int16_t>(std::nearbyint(v));
}

// Unsigned 8-bit PCM: floor(s / 256) + 128, i.e. the high byte with its top bit flipped.
inline uint8_t To8Bit(int16_t s) {
    return static_cast<uint8_t>((s >> 8) + 128);
}

inline void Put16(uint8_t* p, int16_t s) {
    p[0] = static_cast<uint8_t>(s & 0xff);
    p[1] = static_cast<uint8_t>((s >> 8) & 0xff);
}

// Packs converted frame `src` as output frame `dst`. The caller keeps `dst`
// inside OutBlock: every layout needs at most 4 bytes per frame and the
// block has room for kMaxFrames of them.
inline void PackFrame(int dst, int src, bool mono, bool eightBit) {
    uint8_t* out = Block.OutBlock;
    const int16_t l = Block.LeftBlock[src];
    const int16_t r = Block.RightBlock[src];
    if (eightBit) {
        if (mono) {
            out[dst] = To8Bit(l);
        } else {
            out[2 * dst] = To8Bit(l);
            out[2 * dst + 1] = To8Bit(r);
        }
    } else if (mono) {
        Put16(out + 2 * dst, l);
    } else {
        Put16(out + 4 * dst, l);
        Put16(out + 4 * dst + 2, r);
    }
}

static_assert(sizeof(BlockState::OutBlock) >= static_cast<size_t>(kMaxFrames) * 4,
              "OutBlock must hold a full-rate stereo 16-bit block");

// Frames of the current ring buffer that really lie inside CaptureMemory; a
// geometry that does not match the memory never reads past it.
int AvailableFrames() {
    const int index = Ring.CurrentBufferIndex;
    const int bufferBytes = Params.CaptureBufferBytes;
    if (index < 0 || index >= kRingBuffers || bufferBytes <= 0) return 0;
    const size_t start = static_cast<size_t>(index) * static_cast<size_t>(bufferBytes);
    const size_t size = Ring.CaptureMemory.size();
    if (start >= size) return 0;
    size_t bytes = std::min(size - start, static_cast<size_t>(bufferBytes));
    size_t frames = std::min<size_t>(bytes / 4, Params.FramesPerBlock);
    return static_cast<int>(std::min<size_t>(frames, kMaxFrames));
}

} // namespace

void ConvertBlock() {
    const auto& s = core::Settings;
    const bool wavOrFlac = s.IsWav || s.IsFLAC;
    const bool mono = s.Channels == 1;
    const bool eightBit = wavOrFlac && s.BitPerSample == 8;
    const double gain = Block.BoostGain;
    const double dcLeft = Block.DcOffsetLeft;
    const double dcRight = Block.DcOffsetRight;

    const int frames = AvailableFrames();
    const int wanted = std::min<int>(Params.FramesPerBlock, kMaxFrames);
    const uint8_t* in =
        frames > 0 ? Ring.CaptureMemory.data() +
                         static_cast<size_t>(Ring.CurrentBufferIndex) * Params.CaptureBufferBytes
                   : nullptr;

    for (int i = 0; i < frames; ++i) {
        const uint8_t* f = in + 4 * static_cast<size_t>(i);
        const int16_t L = static_cast<int16_t>(f[0] | (f[1] << 8));
        const int16_t R = static_cast<int16_t>(f[2] | (f[3] << 8));
        const int16_t l = Process(L, gain, dcLeft);
        const int16_t r = Process(R, gain, dcRight);
        Block.RightBlock[i] = r;
        Block.LeftBlock[i] = mono ? static_cast<int16_t>(std::nearbyint(l * 0.5 + r * 0.5)) : l;
        PackFrame(i, i, mono, eightBit);
    }
    // Frames the memory could not supply are silence rather than the last block.
    for (int i = std::max(frames, 0); i < wanted; ++i) {
        Block.LeftBlock[i] = Block.RightBlock[i] = 0;
        PackFrame(i, i, mono, eightBit);
    }

    if (wavOrFlac && s.SamplePerSecond < 44100) {
        int step = 0;
        if (s.SamplePerSecond == 22050) step = 2;
        if (s.SamplePerSecond == 11025) step = 4;
        if (step > 0) {
            const int outFrames = std::min<int>(Params.OutFramesPerBlock, kMaxFrames);
            for (int j = 0; j < outFrames && j * step < wanted; ++j)
                PackFrame(j, j * step, mono, eightBit);
        }
    }
}

void MeasurePeaks() {
    Block.PeakLeft = 0;
    Block.PeakRight = 0;
    if (Block.ClipHoldLeft > 0) Block.ClipHoldLeft -= 1;
    if (Block.ClipHoldRight > 0) Block.ClipHoldRight -= 1;
    const int frames = std::min<int>(Params.FramesPerBlock, kMaxFrames);
    int peakL = 0;
    int peakR = 0;
    for (int i = 0; i < frames; ++i) {
        peakL = std::max(peakL, std::abs(static_cast<int>(Block.LeftBlock[i])));
        peakR = std::max(peakR, std::abs(static_cast<int>(Block.RightBlock[i])));
    }
    Block.PeakLeft = static_cast<float>(peakL);
    Block.PeakRight = static_cast<float>(peakR);
    if (Block.PeakLeft >= 32767) {
        Block.ClipHoldLeft = 30;
        Block.PeakLeft = 32767;
    }
    if (Block.PeakRight >= 32767) {
        Block.ClipHoldRight = 30;
        Block.PeakRight = 32767;
    }
}

} // namespace capture
