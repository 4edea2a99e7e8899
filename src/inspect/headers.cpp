// Parsers of bytes read from recordings and of ogginfo's output. They read
// only inside what they are given.
#include <cmath>
#include <cstring>

#include "core/rounding.h"
#include "inspect/inspect.h"

namespace inspect {

namespace {

uint16_t LE16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

// ISO/IEC 11172-3 and 13818-3, indexes 0..15 (0 free format, 15 invalid).
constexpr int32_t kMpeg1L1[16] = {0,   32,  64,  96,  128, 160, 192, 224,
                                  256, 288, 320, 352, 384, 416, 448, 0};
constexpr int32_t kMpeg1L2[16] = {0,   32,  48,  56,  64,  80,  96,  112,
                                  128, 160, 192, 224, 256, 320, 384, 0};
constexpr int32_t kMpeg1L3[16] = {0,   32,  40,  48,  56,  64,  80,  96,
                                  112, 128, 160, 192, 224, 256, 320, 0};
constexpr int32_t kMpeg2L1[16] = {0,   32,  48,  56,  64,  80,  96,  112,
                                  128, 144, 160, 176, 192, 224, 256, 0};
constexpr int32_t kMpeg2L23[16] = {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0};

constexpr int32_t kRates[4][3] = {
    {11025, 12000, 8000},  // version bits 0: MPEG 2.5
    {0, 0, 0},             // 1: reserved
    {22050, 24000, 16000}, // 2: MPEG-2
    {44100, 48000, 32000}, // 3: MPEG-1
};

} // namespace

bool WavHeaderBits(const uint8_t* data, size_t size, int16_t* bits) {
    if (!data || size < 50) return false;
    if (std::memcmp(data, "RIFF", 4) != 0 || std::memcmp(data + 8, "WAVE", 4) != 0 ||
        std::memcmp(data + 12, "fmt ", 4) != 0 || LE16(data + 20) != 1)
        return false;
    if (bits) *bits = static_cast<int16_t>(LE16(data + 34));
    return true;
}

int32_t Mp3Kbps(int version, int layer, int index) {
    if (index <= 0 || index >= 15 || layer < 1 || layer > 3 || version == 1 || version < 0 ||
        version > 3)
        return 0;
    if (version == 3) {
        if (layer == 3) return kMpeg1L1[index];
        if (layer == 2) return kMpeg1L2[index];
        return kMpeg1L3[index];
    }
    return layer == 3 ? kMpeg2L1[index] : kMpeg2L23[index];
}

Mp3HeadResult ParseMp3Head(const uint8_t* head, size_t size) {
    Mp3HeadResult r;
    if (!head || size < 4) return r;
    // Long frames at low rates can step past what was read: those bytes
    // count as 0, which ends the walk with the bitrate it has.
    auto at = [&](size_t i) -> uint8_t { return i < size ? head[i] : 0; };
    const int version = (head[1] >> 3) & 3;
    const int layer = (head[1] >> 1) & 3;
    const int rateIndex = (head[2] >> 2) & 3;
    if (rateIndex < 3) r.SampleRate = kRates[version][rateIndex];
    switch ((head[3] >> 6) & 3) {
    case 0:
        r.ChannelText = "stereo";
        break;
    case 1:
        r.ChannelText = "joint stereo";
        break;
    case 2:
        r.ChannelText = "dual channel";
        break;
    default:
        r.ChannelText = "mono";
    }
    r.ChannelCount = r.ChannelText == "mono" ? 1 : 2;

    size_t p = 0;
    uint8_t b = head[2];
    int32_t previous = 0;
    for (int i = 0; i < 3; ++i) {
        int32_t kbps = Mp3Kbps(version, layer, b >> 4);
        if (kbps == 0) kbps = previous;
        r.Kbps[i] = kbps;
        previous = kbps;
        // Every version and layer steps by the MPEG-1 Layer III length; the
        // half-length frames of MPEG-2/2.5 Layer III are walked two at a time.
        p += static_cast<size_t>(144000LL * kbps / (r.SampleRate + 1));
        if (at(p) != head[0] || at(p + 1) != head[1] || at(p + 3) != head[3]) p += 1;
        b = at(p + 2);
    }
    return r;
}

int32_t ParseNominalBitrate(const std::string& output) {
    int32_t result = 0;
    size_t start = 0;
    while (start <= output.size()) {
        size_t end = output.find('\n', start);
        if (end == std::string::npos) end = output.size();
        std::string line = output.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        start = end + 1;
        if (line.compare(0, 15, "Nominal bitrate") != 0 || line.size() < 18) continue;
        const std::string piece = line.substr(17, 6);
        // A plain decimal with a point, whatever the locale; anything else
        // in those characters does not count.
        double value = 0, scale = 0;
        bool digits = false, ok = true;
        size_t i = 0;
        while (i < piece.size() && piece[i] == ' ')
            ++i;
        for (; i < piece.size(); ++i) {
            const char c = piece[i];
            if (c >= '0' && c <= '9') {
                digits = true;
                if (scale == 0) {
                    value = value * 10 + (c - '0');
                } else {
                    value += (c - '0') * scale;
                    scale /= 10;
                }
            } else if (c == '.' && scale == 0) {
                scale = 0.1;
            } else {
                ok = false;
                break;
            }
        }
        if (ok && digits) result = core::RoundEvenInt(value);
    }
    return result;
}

} // namespace inspect
