#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <thread>
#include <vector>

#include "capture/capture.h"
#include "core/settings.h"
#include "core/state.h"
#include "platform/capture_device.h"
#include "platform/prompt.h"
#include "support/session_double.h"
#include "test_util.h"

using capture::Params;
using capture::Ring;

namespace {

// What the drain delivered, in order: each block's sequence number and its raw
// interleaved samples as captured.
struct Delivered {
    std::vector<uint32_t> seq;
    std::vector<std::vector<int16_t>> blocks;
};
Delivered gOut;

void Record() {
    const auto& h = Ring.CaptureHeaders[Ring.CurrentBufferIndex];
    gOut.seq.push_back(h.user);
    std::vector<int16_t> b(Params.FramesPerBlock * 2);
    const uint8_t* p = h.data;
    for (size_t i = 0; i < b.size(); ++i)
        b[i] = static_cast<int16_t>(p[2 * i] | (p[2 * i + 1] << 8));
    gOut.blocks.push_back(std::move(b));
}

class RingTest : public ::testing::Test {
  protected:
    platform::ScriptedPrompt prompt;
    void SetUp() override {
        capture::CloseCapture();
        core::Settings = core::RecordingSettings{};
        core::ResetSessionState();
        gOut = {};
        testsupport::View().onUpdateMeters = &Record;
        platform::SetPrompt(&prompt);
    }
    void TearDown() override {
        capture::CloseCapture();
        testsupport::ResetView();
        platform::SetPrompt(nullptr);
        platform::SetCaptureDevice(nullptr);
    }
    platform::ScriptedCaptureDevice* Scripted() {
        auto d = std::make_unique<platform::ScriptedCaptureDevice>();
        auto* raw = d.get();
        platform::SetCaptureDevice(std::move(d));
        capture::ListCaptureDevices();
        return raw;
    }
};

TEST_F(RingTest, GeometryFollowsTheFormat) {
    struct Case {
        bool wav, flac, mp3;
        uint32_t rate;
        uint16_t bits;
        int channels;
        int captureRate, frames, outFrames, fft, outBytes;
    } cases[] = {
        {false, false, true, 44100, 16, 2, 44100, 4410, 4410, 4096, 17640},
        {true, false, false, 22050, 16, 2, 44100, 4410, 2205, 4096, 8820},
        {true, false, false, 11025, 8, 1, 44100, 4410, 1102, 4096, 1102},
        {true, false, false, 48000, 16, 2, 48000, 4800, 4800, 4096, 19200},
        {false, true, false, 96000, 16, 2, 96000, 9600, 9600, 8192, 38400},
        {false, false, true, 96000, 16, 2, 44100, 4410, 4410, 4096, 17640}, // stale WAV rate
        {false, false, true, 22050, 8, 2, 44100, 4410, 4410, 4096, 17640},  // stale 8-bit too
    };
    for (const auto& c : cases) {
        auto& s = core::Settings;
        s.IsWav = c.wav;
        s.IsFLAC = c.flac;
        s.IsMP3 = c.mp3;
        s.SamplePerSecond = c.rate;
        s.BitPerSample = c.bits;
        s.Channels = c.channels;
        capture::ComputeGeometry();
        EXPECT_EQ(Params.CaptureRate, c.captureRate) << c.rate;
        EXPECT_EQ(Params.FramesPerBlock, c.frames) << c.rate;
        EXPECT_EQ(Params.OutFramesPerBlock, c.outFrames) << c.rate;
        EXPECT_EQ(Params.FftSize, c.fft) << c.rate;
        EXPECT_EQ(Params.OutBlockBytes, c.outBytes) << c.rate;
        EXPECT_EQ(Params.CaptureBufferBytes, c.frames * 4);
    }
}

TEST_F(RingTest, DeliversOldestFirstAndRequeues) {
    auto* dev = Scripted();
    capture::OpenCapture();
    ASSERT_TRUE(Ring.IsCaptureOpen);
    EXPECT_EQ(dev->openedRate, 44100);
    ASSERT_EQ(dev->queued.size(), 40u);
    EXPECT_EQ(Ring.CaptureHeaders[0].user, 1u);
    EXPECT_EQ(Ring.CaptureHeaders[39].user, 40u);

    // Nothing completed: nothing delivered, the clock does not move.
    core::Session.IsRecording = true;
    capture::DrainCapture();
    EXPECT_TRUE(gOut.seq.empty());
    EXPECT_EQ(core::Session.ElapsedSeconds, 0.0f);

    // Buffers with sequence numbers 17, 15, 16 complete in that order.
    dev->CompleteAt(16, {17});
    dev->CompleteAt(14, {15});
    dev->CompleteAt(14, {16});
    capture::DrainCapture();
    ASSERT_EQ(gOut.seq, (std::vector<uint32_t>{15, 16, 17}));
    EXPECT_EQ(gOut.blocks[0][0], 15);
    EXPECT_EQ(gOut.blocks[2][0], 17);
    EXPECT_NEAR(core::Session.ElapsedSeconds, 0.3f, 1e-6);
    // Each delivered buffer went back to the device with the next numbers.
    ASSERT_EQ(dev->queued.size(), 40u);
    EXPECT_EQ(dev->queued.back()->user, 43u);

    // Paused: delivered but not counted.
    core::Session.IsPaused = true;
    dev->CompleteNext(1, 1);
    capture::DrainCapture();
    EXPECT_EQ(gOut.seq.size(), 4u);
    EXPECT_NEAR(core::Session.ElapsedSeconds, 0.3f, 1e-6);
}

TEST_F(RingTest, OpenAndCloseAreIdempotent) {
    auto* dev = Scripted();
    capture::CloseCapture(); // closed ring: nothing happens
    EXPECT_FALSE(Ring.IsCaptureOpen);
    capture::OpenCapture();
    uint32_t seq = Ring.SequenceCounter;
    capture::OpenCapture(); // open ring: nothing happens
    EXPECT_EQ(Ring.SequenceCounter, seq);
    EXPECT_EQ(dev->queued.size(), 40u);
    capture::CloseCapture();
    EXPECT_FALSE(Ring.IsCaptureOpen);
    EXPECT_FALSE(dev->isOpen);
    capture::DrainCapture(); // closed: nothing delivered
    EXPECT_TRUE(gOut.seq.empty());
}

TEST_F(RingTest, DeviceErrorsAndUnusableFormats) {
    auto* dev = Scripted();
    dev->openResult = 7;
    capture::OpenCapture();
    EXPECT_FALSE(Ring.IsCaptureOpen);
    ASSERT_EQ(prompt.messages.size(), 1u);
    EXPECT_EQ(prompt.messages[0], "Scripted capture error 7");

    dev->openResult = 0;
    dev->devices[0].formats = 0x7FF; // below 44.1 kHz stereo 16-bit: silently closed
    capture::ListCaptureDevices();
    capture::OpenCapture();
    EXPECT_FALSE(Ring.IsCaptureOpen);
    EXPECT_EQ(prompt.messages.size(), 1u);
}

TEST_F(RingTest, FindsDevicesByExactName) {
    auto* dev = Scripted();
    dev->devices = {{"Mic", platform::kAllWaveFormats, 2},
                    {"Line In", platform::kAllWaveFormats, 2},
                    {"Mic", platform::kAllWaveFormats, 2}};
    capture::ListCaptureDevices();
    EXPECT_EQ(capture::FindCaptureDevice("Mic"), 2);
    EXPECT_EQ(capture::FindCaptureDevice("Line In"), 1);
    EXPECT_EQ(capture::FindCaptureDevice("mic"), -1);
}

// The real server: the default source carries a steady 1000 Hz sine.
void CheckLiveSine(int rate, int frames) {
    platform::SetCaptureDevice(nullptr); // back to PulseAudio
    capture::ListCaptureDevices();
    ASSERT_GT(Ring.DeviceCount, 0);
    capture::OpenCapture();
    ASSERT_TRUE(Ring.IsCaptureOpen);
    ASSERT_EQ(Params.CaptureRate, rate);
    // About 2 s of ticks. A freshly started server may hand over its first
    // second or two in one lump until the sink adopts our small latency, so
    // wait for the blocks rather than for the clock.
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(8);
    while (gOut.blocks.size() < 20 && std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        capture::DrainCapture();
    }
    capture::CloseCapture();
    ASSERT_GE(gOut.blocks.size(), 20u);
    for (size_t i = 1; i < gOut.seq.size(); ++i)
        EXPECT_LT(gOut.seq[i - 1], gOut.seq[i]);

    std::vector<double> left;
    for (const auto& b : gOut.blocks) {
        ASSERT_EQ(b.size(), static_cast<size_t>(frames) * 2);
        for (int i = 0; i < frames; ++i)
            left.push_back(b[2 * i]);
    }
    // Skip the first block, which may start before the tone reached the source.
    size_t start = static_cast<size_t>(frames);
    double amp = 0;
    for (size_t i = start; i < left.size(); ++i)
        amp = std::max(amp, std::abs(left[i]));
    ASSERT_GT(amp, 10000);
    // Frequency from rising zero crossings.
    int crossings = 0;
    for (size_t i = start + 1; i < left.size(); ++i)
        if (left[i - 1] < 0 && left[i] >= 0) ++crossings;
    double seconds = static_cast<double>(left.size() - start) / rate;
    EXPECT_NEAR(crossings / seconds, 1000.0, 20.0);
    // A sine obeys x[n+1] + x[n-1] = 2 cos(w) x[n]; a gap or a repeated stretch at
    // a block boundary breaks that by a large fraction of the amplitude.
    double c2 = 2 * std::cos(2 * M_PI * 1000.0 / rate);
    double worst = 0;
    for (size_t i = start + 1; i + 1 < left.size(); ++i)
        worst = std::max(worst, std::abs(left[i + 1] + left[i - 1] - c2 * left[i]));
    EXPECT_LT(worst, 0.05 * amp);
}

TEST_F(RingTest, LiveCaptureAt44100) {
    REQUIRE_PULSE();
    CheckLiveSine(44100, 4410);
}

TEST_F(RingTest, LiveCaptureAt48000Wav) {
    REQUIRE_PULSE();
    core::Settings.IsMP3 = false;
    core::Settings.IsWav = true;
    core::Settings.SamplePerSecond = 48000;
    CheckLiveSine(48000, 4800);
}

} // namespace

namespace {

// Audio the device cannot place, because no buffer is queued, is counted
// rather than lost silently.
TEST(PulseCaptureDevice, CountsAudioWithNowhereToGo) {
    REQUIRE_PULSE();
    auto dev = platform::MakePulseCaptureDevice();
    ASSERT_EQ(dev->Open(0, 44100), 0);
    dev->Start(); // nothing queued
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (dev->DroppedBytes() == 0 && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_GT(dev->DroppedBytes(), 0u);
    EXPECT_EQ(dev->DroppedBytes() % 4, 0u); // whole frames
    dev->Close();
}

} // namespace
