// The byte-level parsers on crafted input.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "inspect/inspect.h"

using namespace inspect;

namespace {

// Frames given as header bytes 2 and 3 and a length; the rest of each frame
// is zero. Byte 1 is 0xFB (MPEG-1 Layer III) unless given.
struct Frame {
    uint8_t b2, b3;
    size_t length;
    uint8_t b1 = 0xFB;
};

std::vector<uint8_t> Frames(const std::vector<Frame>& frames, size_t total = 3105) {
    std::vector<uint8_t> out;
    for (const Frame& f : frames) {
        std::vector<uint8_t> fr(f.length, 0);
        fr[0] = 0xFF;
        fr[1] = f.b1;
        fr[2] = f.b2;
        fr[3] = f.b3;
        out.insert(out.end(), fr.begin(), fr.end());
    }
    if (out.size() < total) out.resize(total, 0);
    return out;
}

TEST(Mp3Head, FrameWalk) {
    const struct {
        const char* what;
        std::vector<uint8_t> head;
        int32_t rate;
        const char* mode;
        std::vector<int32_t> kbps;
    } cases[] = {
        // 128 kbps at 44100 Hz: 417 bytes, 418 padded; the walk's one-byte
        // step finds the second frame after a padded first.
        {"padded first",
         Frames({{0x92, 0x64, 418}, {0x90, 0x64, 417}, {0x90, 0x64, 417}, {0x90, 0x64, 417}}),
         44100,
         "joint stereo",
         {128, 128, 128}},
        {"unpadded",
         Frames({{0x90, 0x44, 417}, {0x90, 0x44, 417}, {0x90, 0x44, 417}, {0x90, 0x44, 417}}),
         44100,
         "joint stereo",
         {128, 128, 128}},
        // 48000 Hz, 128 kbps: exactly 384 bytes; the estimate 383 misses.
        {"48000 Hz",
         Frames({{0x94, 0x00, 384}, {0x94, 0x00, 384}, {0x94, 0x00, 384}, {0x94, 0x00, 384}}),
         48000,
         "stereo",
         {128, 128, 128}},
        // 160 kbps at 44100 Hz: 522 bytes.
        {"128 160 128",
         Frames({{0x90, 0xC0, 417}, {0xA0, 0xC0, 522}, {0x90, 0xC0, 417}, {0x90, 0xC0, 417}}),
         44100,
         "mono",
         {128, 160, 128}},
        // MPEG-2 Layer III, 64 kbps at 22050 Hz: two padded 209-byte frames per step.
        {"MPEG-2 two at a time",
         Frames({{0x82, 0x80, 209, 0xF3},
                 {0x82, 0x80, 209, 0xF3},
                 {0x82, 0x80, 209, 0xF3},
                 {0x82, 0x80, 209, 0xF3},
                 {0x82, 0x80, 209, 0xF3},
                 {0x82, 0x80, 209, 0xF3},
                 {0x82, 0x80, 209, 0xF3}}),
         22050,
         "dual channel",
         {64, 64, 64}},
        // Free format (index 0) and invalid (15) take the previous bitrate.
        {"free then invalid",
         Frames({{0x90, 0x00, 417}, {0x00, 0x00, 417}, {0xF0, 0x00, 418}, {0x90, 0x00, 417}}),
         44100,
         "stereo",
         {128, 128, 128}},
    };
    for (const auto& c : cases) {
        Mp3HeadResult r = ParseMp3Head(c.head.data(), c.head.size());
        EXPECT_EQ(r.SampleRate, c.rate) << c.what;
        EXPECT_EQ(r.ChannelText, c.mode) << c.what;
        EXPECT_EQ(r.ChannelCount, std::string(c.mode) == "mono" ? 1 : 2) << c.what;
        EXPECT_EQ(std::vector<int32_t>(r.Kbps, r.Kbps + 3), c.kbps) << c.what;
        EXPECT_EQ(r.Vbr(), !(c.kbps[0] == c.kbps[1] && c.kbps[1] == c.kbps[2])) << c.what;
    }
}

TEST(Mp3Head, VersionsLayersAndRates) {
    const struct {
        uint8_t b1, b2;
        int32_t rate, kbps;
    } cases[] = {
        {0xFB, 0x98, 32000, 128}, // MPEG-1 L3 index 9, rate 2
        {0xFD, 0x90, 44100, 160}, // MPEG-1 L2 index 9
        {0xFF, 0x90, 44100, 288}, // MPEG-1 L1 index 9
        {0xF3, 0x94, 24000, 80},  // MPEG-2 L3 index 9
        {0xF7, 0x90, 22050, 144}, // MPEG-2 L1 index 9
        {0xE3, 0x98, 8000, 80},   // MPEG 2.5 L3 index 9
        {0xEB, 0x90, 0, 0},       // reserved version: nothing known
        {0xF9, 0x90, 44100, 0},   // reserved layer: no bitrate
        {0xFB, 0x9C, 0, 128},     // rate index 3
    };
    for (const auto& c : cases) {
        const uint8_t head[4] = {0xFF, c.b1, c.b2, 0};
        Mp3HeadResult r = ParseMp3Head(head, 4);
        EXPECT_EQ(r.SampleRate, c.rate) << std::hex << int(c.b1) << " " << int(c.b2);
        EXPECT_EQ(r.Kbps[0], c.kbps) << std::hex << int(c.b1) << " " << int(c.b2);
    }
}

TEST(Mp3Head, OtherDataIsReadAsAHeaderAllTheSame) {
    const std::string id3 = std::string("ID3\x03", 4) + std::string(3101, '\0');
    Mp3HeadResult r = ParseMp3Head(reinterpret_cast<const uint8_t*>(id3.data()), id3.size());
    EXPECT_EQ(r.SampleRate, 11025); // 'D': MPEG 2.5; '3': rate index 0
    EXPECT_EQ(r.ChannelText, "stereo");
}

TEST(Mp3Head, ShortAndHostileHeadsStayInside) {
    // Every length up to a little past one frame, and a head of all ones:
    // the walk must not read beyond what it was given (ASan checks).
    std::vector<uint8_t> frames =
        Frames({{0x90, 0x64, 417}, {0x90, 0x64, 417}, {0x90, 0x64, 417}}, 0);
    for (size_t n = 0; n <= 430; ++n) {
        std::vector<uint8_t> head(frames.begin(), frames.begin() + static_cast<long>(n));
        Mp3HeadResult r = ParseMp3Head(head.empty() ? nullptr : head.data(), head.size());
        if (n < 4) {
            EXPECT_EQ(r.SampleRate, 0) << n;
        }
    }
    std::vector<uint8_t> ones(3105, 0xFF);
    ParseMp3Head(ones.data(), ones.size());
    EXPECT_EQ(ParseMp3Head(nullptr, 100).SampleRate, 0);
}

TEST(WavHeader, OnlyTheCanonicalPcmHeaderCounts) {
    auto header = [](const char* riff, const char* wave, const char* fmt, uint16_t tag,
                     uint16_t bits) {
        std::string h(50, '\0');
        h.replace(0, 4, riff);
        h.replace(8, 4, wave);
        h.replace(12, 4, fmt);
        h[20] = static_cast<char>(tag & 0xFF);
        h[21] = static_cast<char>(tag >> 8);
        h[34] = static_cast<char>(bits & 0xFF);
        h[35] = static_cast<char>(bits >> 8);
        return h;
    };
    const struct {
        std::string bytes;
        bool ok;
        int16_t bits;
    } cases[] = {
        {header("RIFF", "WAVE", "fmt ", 1, 24), true, 24},
        {header("RIFF", "WAVE", "fmt ", 1, 8), true, 8},
        {header("RIFX", "WAVE", "fmt ", 1, 16), false, 0},
        {header("RIFF", "WAVX", "fmt ", 1, 16), false, 0},
        {header("RIFF", "WAVE", "LIST", 1, 16), false, 0},
        {header("RIFF", "WAVE", "fmt ", 3, 32), false, 0},      // float
        {header("RIFF", "WAVE", "fmt ", 0xFFFE, 16), false, 0}, // extensible
        {header("RIFF", "WAVE", "fmt ", 1, 16).substr(0, 49), false, 0},
        {std::string(), false, 0},
    };
    for (const auto& c : cases) {
        int16_t bits = 0;
        EXPECT_EQ(
            WavHeaderBits(reinterpret_cast<const uint8_t*>(c.bytes.data()), c.bytes.size(), &bits),
            c.ok);
        EXPECT_EQ(bits, c.bits);
    }
}

TEST(NominalBitrate, LinesAndNumbers) {
    const struct {
        const char* output;
        int32_t kbps;
    } cases[] = {
        {"Nominal bitrate: 128.000000 kb/s\n", 128},
        {"Processing file \"a.ogg\"...\n\nNominal bitrate: 96.000000 kb/s\nUpper bitrate not set\n",
         96},
        {"Nominal bitrate: 128.000000 kb/s\r\nNominal bitrate: 160.000000 kb/s\r\n",
         160},                                     // last counts
        {"Nominal bitrate: 128.500000 kb/s", 128}, // halves to even
        {"Nominal bitrate: 129.500000 kb/s", 130},
        {"Nominal bitrate: 1234567 kb/s", 123456}, // six characters only
        {"Nominal bitrate: 45", 45},
        {"Nominal bitrate: ", 0},
        {"Nominal bitrate", 0},
        {"Nominal bitrate: not set", 0},
        {"  Nominal bitrate: 128.000000 kb/s", 0}, // must start the line
        {"nominal bitrate: 128.000000 kb/s", 0},
        {"Nominal bitrate: 128.000000 kb/s\nNominal bitrate: garbage", 128},
        {"", 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParseNominalBitrate(c.output), c.kbps) << c.output;
}

} // namespace
