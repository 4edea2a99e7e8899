#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <thread>

#include "capture/boost.h"
#include "capture/capture.h"
#include "capture/spectrum.h"
#include "core/settings.h"
#include "core/state.h"
#include "platform/capture_device.h"
#include "support/session_double.h"
#include "test_util.h"

namespace {

int AnalysedBlocks = 0;
void CountingMeters() {
    capture::MeterAnalysis();
    ++AnalysedBlocks;
}

int LargestBand(const float* levels) {
    return static_cast<int>(std::max_element(levels + 1, levels + capture::kBandCount) - levels);
}

// The suite's sound server plays a steady 1000 Hz tone into the default
// source: after a few ticks the meters must see it near bin 93 (band 17).
TEST(MeterLiveTest, ToneOfTheTestServerLandsInBand17) {
    REQUIRE_PULSE();
    core::Settings = core::RecordingSettings{};
    core::ResetSessionState();
    capture::Block = capture::BlockState{};
    capture::Spectrum = capture::SpectrumState{};
    testsupport::View().onUpdateMeters = &CountingMeters;
    capture::DB2Boost();

    platform::SetCaptureDevice(platform::MakePulseCaptureDevice());
    capture::ListCaptureDevices();
    capture::OpenCapture();
    ASSERT_TRUE(capture::Ring.IsCaptureOpen);

    // Wait for a few blocks past the stream's start, which may be silent.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (AnalysedBlocks < 5 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        capture::DrainCapture();
    }
    capture::CloseCapture();
    testsupport::ResetView();
    ASSERT_GE(AnalysedBlocks, 5) << "no audio from the capture device";

    for (const float* levels :
         {capture::Spectrum.BandLevelsLeft, capture::Spectrum.BandLevelsRight}) {
        const int band = LargestBand(levels);
        EXPECT_GE(band, 16);
        EXPECT_LE(band, 18);
        // A tone of half full scale: about sqrt(16384) x 400 = 51200.
        EXPECT_GT(levels[band], 20000.0f);
    }
    EXPECT_GT(capture::Block.PeakLeft, 8000.0f);
}

} // namespace
