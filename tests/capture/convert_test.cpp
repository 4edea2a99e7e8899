#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <vector>

#include "capture/capture.h"
#include "core/settings.h"
#include "core/state.h"
#include "platform/capture_device.h"
#include "support/session_double.h"

namespace {

struct Format {
    bool wav = false;
    bool flac = false;
    uint32_t rate = 44100;
    uint16_t bits = 16;
    int32_t channels = 2;
};

// Opens the real ring on a scripted device with the given output format and
// hands it blocks; the converted result is what the drain leaves in Block.
class ConvertTest : public ::testing::Test {
  protected:
    platform::ScriptedCaptureDevice* dev = nullptr;

    void SetUp() override {
        core::Settings = core::RecordingSettings{};
        core::ResetSessionState();
        capture::Block = capture::BlockState{};
    }
    void TearDown() override { capture::CloseCapture(); }

    void Open(const Format& f) {
        capture::CloseCapture();
        auto& s = core::Settings;
        s.IsWav = f.wav;
        s.IsFLAC = f.flac;
        s.IsMP3 = !f.wav && !f.flac;
        s.SamplePerSecond = f.rate;
        s.BitPerSample = f.bits;
        s.Channels = f.channels;
        auto d = std::make_unique<platform::ScriptedCaptureDevice>();
        dev = d.get();
        platform::SetCaptureDevice(std::move(d));
        capture::ListCaptureDevices();
        capture::OpenCapture();
        ASSERT_TRUE(capture::Ring.IsCaptureOpen);
    }

    // One block with every frame (left, right).
    void Deliver(int16_t left, int16_t right) {
        ASSERT_NE(dev->CompleteNext(left, right), nullptr);
        capture::DrainCapture();
    }
    void Deliver(const std::vector<int16_t>& interleaved) {
        ASSERT_NE(dev->CompleteNext(interleaved), nullptr);
        capture::DrainCapture();
    }
};

struct SampleCase {
    const char* what;
    int16_t inLeft, inRight;
    float gain;
    int32_t dcLeft, dcRight;
    int32_t channels;
    int16_t outLeft, outRight;
};

const SampleCase kSampleCases[] = {
    {"-32768 is never produced", -32768, -32768, 1.0f, 0, 0, 2, -32767, -32767},
    {"gain 10 clamps to full scale", 3277, -3277, 10.0f, 0, 0, 2, 32767, -32767},
    {"2.5 rounds to 2", 1, 1, 2.5f, 0, 0, 2, 2, 2},
    {"3.5 rounds to 4", 1, 1, 3.5f, 0, 0, 2, 4, 4},
    {"-0.5 rounds to 0", -1, -1, 1.5f, -1, -1, 2, 0, 0},
    {"offsets per channel", 300, 300, 1.0f, 100, -100, 2, 200, 400},
    {"offset after the gain", 100, 100, 2.0f, 100, 100, 2, 100, 100},
    {"constant 100 minus offset 100 is silence", 100, 100, 1.0f, 100, 100, 2, 0, 0},
    {"offset pushes past full scale", 32767, -32767, 1.0f, -5, 5, 2, 32767, -32767},
    {"mono 1 and 2 mix to 2", 1, 2, 1.0f, 0, 0, 1, 2, 2},
    {"mono 1 and 0 mix to 0", 1, 0, 1.0f, 0, 0, 1, 0, 0},
    // 2 x 1.26 = 2.52 rounds to 3 before mixing; (3 + 0) / 2 = 1.5 gives 2, the
    // unrounded mean 1.26 would give 1.
    {"mono mixes the rounded samples", 2, 0, 1.26f, 0, 0, 1, 2, 0},
    {"mono mix of opposite full scale", 32767, -32768, 1.0f, 0, 0, 1, 0, -32767},
};

TEST_F(ConvertTest, SampleArithmetic) {
    for (const auto& c : kSampleCases) {
        SCOPED_TRACE(c.what);
        Open({.wav = true, .channels = c.channels});
        capture::Block.BoostGain = c.gain;
        capture::Block.DcOffsetLeft = c.dcLeft;
        capture::Block.DcOffsetRight = c.dcRight;
        Deliver(c.inLeft, c.inRight);
        const int frames = capture::Params.FramesPerBlock;
        for (int i : {0, 1, frames / 2, frames - 1}) {
            EXPECT_EQ(capture::Block.LeftBlock[i], c.outLeft) << "frame " << i;
            EXPECT_EQ(capture::Block.RightBlock[i], c.outRight) << "frame " << i;
        }
        // The 16-bit output carries exactly the converted left sample first.
        const int16_t packed =
            static_cast<int16_t>(capture::Block.OutBlock[0] | (capture::Block.OutBlock[1] << 8));
        EXPECT_EQ(packed, c.outLeft);
    }
}

TEST_F(ConvertTest, EightBitValues) {
    const struct {
        int16_t sample;
        uint8_t byte;
    } cases[] = {{0, 128},    {-1, 127},   {255, 128},  {256, 129}, {32767, 255},
                 {-32767, 0}, {-32768, 0}, {-256, 127}, {-257, 126}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sample);
        Open({.wav = true, .bits = 8, .channels = 2});
        Deliver(c.sample, 0);
        EXPECT_EQ(capture::Block.OutBlock[0], c.byte);
        EXPECT_EQ(capture::Block.OutBlock[1], 128);
        EXPECT_EQ(capture::Block.OutBlock[2], c.byte);
    }
}

// Distinct, widely spread samples so a frame taken from the wrong place shows.
int16_t Pattern(int frame, int channel) {
    uint32_t v = static_cast<uint32_t>(frame * 2 + channel) * 2654435761u;
    int16_t s = static_cast<int16_t>(v >> 16);
    return s == -32768 ? 0 : s;
}

struct LayoutCase {
    const char* what;
    Format format;
    int framesPerBlock;
    int outFrames;
    int outBytes;
    int step;
};

const LayoutCase kLayoutCases[] = {
    {"WAV 22050 16-bit stereo",
     {.wav = true, .rate = 22050, .bits = 16, .channels = 2},
     4410,
     2205,
     8820,
     2},
    {"WAV 11025 8-bit mono",
     {.wav = true, .rate = 11025, .bits = 8, .channels = 1},
     4410,
     1102,
     1102,
     4},
    {"WAV 22050 8-bit stereo",
     {.wav = true, .rate = 22050, .bits = 8, .channels = 2},
     4410,
     2205,
     4410,
     2},
    {"FLAC 11025 16-bit mono",
     {.flac = true, .rate = 11025, .bits = 16, .channels = 1},
     4410,
     1102,
     2204,
     4},
    {"MP3 with a stale 22050 Hz 8-bit choice",
     {.rate = 22050, .bits = 8, .channels = 2},
     4410,
     4410,
     17640,
     1},
    {"WAV 44100 16-bit mono",
     {.wav = true, .rate = 44100, .bits = 16, .channels = 1},
     4410,
     4410,
     8820,
     1},
    {"WAV 48000 8-bit stereo",
     {.wav = true, .rate = 48000, .bits = 8, .channels = 2},
     4800,
     4800,
     9600,
     1},
    {"FLAC 96000 16-bit stereo",
     {.flac = true, .rate = 96000, .bits = 16, .channels = 2},
     9600,
     9600,
     38400,
     1},
};

TEST_F(ConvertTest, OutputLayoutAndDecimation) {
    for (const auto& c : kLayoutCases) {
        SCOPED_TRACE(c.what);
        Open(c.format);
        ASSERT_EQ(capture::Params.FramesPerBlock, c.framesPerBlock);
        ASSERT_EQ(capture::Params.OutFramesPerBlock, c.outFrames);
        ASSERT_EQ(capture::Params.OutBlockBytes, c.outBytes);

        std::vector<int16_t> in(2 * static_cast<size_t>(c.framesPerBlock));
        for (int i = 0; i < c.framesPerBlock; ++i) {
            in[2 * i] = Pattern(i, 0);
            in[2 * i + 1] = Pattern(i, 1);
        }
        Deliver(in);

        const bool mono = c.format.channels == 1;
        const bool eight = (c.format.wav || c.format.flac) && c.format.bits == 8;
        // The sample arrays keep every captured frame.
        for (int i = 0; i < c.framesPerBlock; ++i) {
            const int16_t l = Pattern(i, 0), r = Pattern(i, 1);
            const int16_t left = mono ? static_cast<int16_t>(std::nearbyint((l + r) / 2.0)) : l;
            ASSERT_EQ(capture::Block.LeftBlock[i], left) << "frame " << i;
            ASSERT_EQ(capture::Block.RightBlock[i], r) << "frame " << i;
        }
        const int channels = mono ? 1 : 2;
        const uint8_t* out = capture::Block.OutBlock;
        for (int j = 0; j < c.outFrames; ++j) {
            const int src = j * c.step;
            const int16_t samples[2] = {capture::Block.LeftBlock[src],
                                        capture::Block.RightBlock[src]};
            for (int ch = 0; ch < channels; ++ch) {
                const int16_t s = samples[ch];
                const int k = j * channels + ch;
                if (eight) {
                    ASSERT_EQ(out[k], static_cast<int>(std::floor(s / 256.0)) + 128)
                        << "frame " << j << " channel " << ch;
                } else {
                    ASSERT_EQ(static_cast<int16_t>(out[2 * k] | (out[2 * k + 1] << 8)), s)
                        << "frame " << j << " channel " << ch;
                }
            }
        }
    }
}

TEST_F(ConvertTest, ClipHoldLastsThirtyBlocks) {
    Open({.wav = true});
    capture::Block.BoostGain = 10.0f;
    Deliver(3277, 100);
    EXPECT_EQ(capture::Block.PeakLeft, 32767.0f);
    EXPECT_EQ(capture::Block.PeakRight, 1000.0f);
    EXPECT_EQ(capture::Block.ClipHoldLeft, 30);
    EXPECT_EQ(capture::Block.ClipHoldRight, 0);
    for (int block = 1; block <= 30; ++block) {
        Deliver(10, -20);
        EXPECT_EQ(capture::Block.ClipHoldLeft, 30 - block);
        EXPECT_EQ(capture::Block.PeakLeft, 100.0f);
        EXPECT_EQ(capture::Block.PeakRight, 200.0f);
    }
    Deliver(0, 0);
    EXPECT_EQ(capture::Block.ClipHoldLeft, 0);
    EXPECT_EQ(capture::Block.PeakLeft, 0.0f);
    // A new full-scale block lights it again; a clamped negative sample counts too.
    Deliver(0, -32768);
    EXPECT_EQ(capture::Block.ClipHoldRight, 30);
    EXPECT_EQ(capture::Block.PeakRight, 32767.0f);
}

TEST_F(ConvertTest, PeaksOfTheMonoMix) {
    Open({.wav = true, .channels = 1});
    Deliver(20000, -20000);
    EXPECT_EQ(capture::Block.PeakLeft, 0.0f);
    EXPECT_EQ(capture::Block.PeakRight, 20000.0f);
}

// A geometry that does not match the ring memory must neither read past the
// memory nor write past the block arrays.
TEST_F(ConvertTest, GarbageGeometryStaysInsideTheBuffers) {
    Open({.wav = true});
    Deliver(1234, 1234);
    auto& p = capture::Params;
    auto& ring = capture::Ring;

    p.FramesPerBlock = 65535;
    p.OutFramesPerBlock = 65535;
    p.CaptureBufferBytes = 65535 * 4;
    ring.CurrentBufferIndex = 39; // starts far past the memory of 40 x 17640 bytes
    capture::ConvertBlock();
    capture::MeasurePeaks();
    EXPECT_EQ(capture::Block.LeftBlock[0], 0);
    EXPECT_EQ(capture::Block.PeakLeft, 0.0f);

    ring.CurrentBufferIndex = -1;
    capture::ConvertBlock();
    ring.CurrentBufferIndex = 40;
    capture::ConvertBlock();

    // The last buffer only partly present: what exists is converted, the rest is silence.
    p.FramesPerBlock = 4410;
    p.CaptureBufferBytes = 4410 * 4;
    ring.CaptureMemory.assign(39 * 4410 * 4 + 100 * 4, 0);
    for (size_t i = 39 * 4410 * 4; i < ring.CaptureMemory.size(); i += 2)
        ring.CaptureMemory[i] = 7;
    ring.CurrentBufferIndex = 39;
    capture::ConvertBlock();
    EXPECT_EQ(capture::Block.LeftBlock[99], 7);
    EXPECT_EQ(capture::Block.LeftBlock[100], 0);
    EXPECT_EQ(capture::Block.RightBlock[4409], 0);

    // A gain that is not a number gives silence, not an undefined conversion.
    ring.CaptureMemory.assign(40 * 4410 * 4, 9);
    capture::Block.BoostGain = std::numeric_limits<float>::quiet_NaN();
    capture::ConvertBlock();
    EXPECT_EQ(capture::Block.LeftBlock[0], 0);
    core::Settings.Channels = 7;
    capture::Block.BoostGain = 1;
    capture::ConvertBlock();
    EXPECT_EQ(capture::Block.LeftBlock[0], 0x0909);
}

} // namespace
