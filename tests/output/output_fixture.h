#pragma once
// Drives the outputs as a recording does: a scripted capture device delivers
// 16-bit stereo blocks, the real ring converts them (capture::ConvertBlock)
// and its write hook appends them through output::WriteOutputs.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QTemporaryDir>
#include <cmath>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "capture/capture.h"
#include "core/settings.h"
#include "core/state.h"
#include "output/output.h"
#include "platform/capture_device.h"
#include "platform/prompt.h"
#include "support/session_double.h"

namespace outtest {

enum class Fmt { Wav, Mp3, Wma, Ogg, Flac };

inline const char* Extension(Fmt f) {
    switch (f) {
    case Fmt::Wav:
        return ".wav";
    case Fmt::Mp3:
        return ".mp3";
    case Fmt::Wma:
        return ".wma";
    case Fmt::Ogg:
        return ".ogg";
    case Fmt::Flac:
        return ".flac";
    }
    return "";
}

// Exactly one format on, as the settings allow.
inline void SelectFormat(Fmt f) {
    auto& s = core::Settings;
    s.IsWav = f == Fmt::Wav;
    s.IsMP3 = f == Fmt::Mp3;
    s.IsWMA = f == Fmt::Wma;
    s.IsOGG = f == Fmt::Ogg;
    s.IsFLAC = f == Fmt::Flac;
}

inline std::string ReadFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

inline bool FileExists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

inline uint32_t U32(const std::string& b, size_t at) {
    return static_cast<uint32_t>(static_cast<uint8_t>(b[at])) |
           static_cast<uint32_t>(static_cast<uint8_t>(b[at + 1])) << 8 |
           static_cast<uint32_t>(static_cast<uint8_t>(b[at + 2])) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(b[at + 3])) << 24;
}
inline uint32_t U16(const std::string& b, size_t at) {
    return static_cast<uint32_t>(static_cast<uint8_t>(b[at])) |
           static_cast<uint32_t>(static_cast<uint8_t>(b[at + 1])) << 8;
}

// Counts the write failures the hook has seen; the hook stops the recording on
// the first, as the session controller does.
inline int& WriteFailures() {
    static int n = 0;
    return n;
}
inline void WriteHook() {
    if (!output::WriteOutputs()) {
        ++WriteFailures();
        core::Session.IsRecording = false;
    }
}

// The drain as these tests see it: blocks go through WriteHook.
struct OutputDrain : capture::DrainListener {
    void UpdateMeters() override {}
    void WriteBlock() override { WriteHook(); }
    void CaptureError(const std::string& text) override {
        platform::CurrentPrompt().Show(platform::MsgKind::Error, text);
    }
    void CaptureOpened() override {}
};

class OutputTest : public ::testing::Test {
  protected:
    OutputDrain drain;
    QTemporaryDir tmp;
    std::string folder;
    platform::ScriptedCaptureDevice* dev = nullptr;
    platform::ScriptedPrompt prompt;

    void SetUp() override {
        ASSERT_TRUE(tmp.isValid());
        core::Settings = core::RecordingSettings{};
        core::ResetSessionState();
        capture::Block = capture::BlockState{};
        output::Outputs = output::OutputState{};
        output::Limits = output::OutputLimits{};
        WriteFailures() = 0;
        platform::SetPrompt(&prompt);
        folder = tmp.path().toStdString() + "/rec";
        ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
        core::Settings.FolderName = folder;
    }
    void TearDown() override {
        output::CloseOutputs();
        capture::CloseCapture();
        testsupport::ResetView();
        platform::SetPrompt(nullptr);
    }

    // Opens the ring on a scripted device for the current settings.
    void OpenCapture() {
        capture::CloseCapture();
        capture::ConnectDrain(&drain);
        auto d = std::make_unique<platform::ScriptedCaptureDevice>();
        dev = d.get();
        platform::SetCaptureDevice(std::move(d));
        capture::ListCaptureDevices();
        capture::OpenCapture();
        ASSERT_TRUE(capture::Ring.IsCaptureOpen);
    }

    // Picks the name and opens the outputs, as starting a recording does.
    bool Start() {
        if (!capture::Ring.IsCaptureOpen) OpenCapture();
        EXPECT_TRUE(output::NextRecordingName());
        core::Session.IsRecording = true;
        return output::OpenOutputs();
    }

    // One captured block of a sine (same on both channels) at the capture rate;
    // a block holds a whole number of periods of 1000 Hz, so blocks join seamlessly.
    std::vector<int16_t> Sine(double freq = 1000, double amplitude = 16000) const {
        const int frames = capture::Params.FramesPerBlock;
        const double rate = capture::Params.CaptureRate;
        std::vector<int16_t> v(static_cast<size_t>(frames) * 2);
        for (int i = 0; i < frames; ++i) {
            auto s =
                static_cast<int16_t>(std::lround(amplitude * std::sin(2 * M_PI * freq * i / rate)));
            v[2 * i] = v[2 * i + 1] = s;
        }
        return v;
    }

    // Delivers `blocks` captured blocks; the drain writes them while recording.
    void Deliver(int blocks, const std::vector<int16_t>& block) {
        for (int i = 0; i < blocks; ++i) {
            ASSERT_NE(dev->CompleteNext(block), nullptr);
            capture::DrainCapture();
        }
    }
    void Deliver(int blocks) { Deliver(blocks, Sine()); }

    std::string Named(int n, Fmt f) const {
        return folder + "/record" + output::RecordNumberText(n) + Extension(f);
    }
};

} // namespace outtest
