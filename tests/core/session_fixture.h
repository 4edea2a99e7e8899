#pragma once
// A recorder session on the scripted capture device: blocks of constant
// samples are completed by hand and each tick is run by the test.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QTemporaryDir>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "capture/capture.h"
#include "core/session.h"
#include "core/settings.h"
#include "core/state.h"
#include "core/threshold.h"
#include "output/output.h"
#include "platform/capture_device.h"
#include "platform/drive_type.h"
#include "platform/prompt.h"
#include "support/session_double.h"

namespace sessiontest {

inline int64_t gNowMs = 1000000;
inline int64_t ManualClock() {
    return gNowMs;
}

// What the window hooks saw.
struct Seen {
    std::vector<std::string> calls; // "find", "show", "clear", "select", "busy1", "busy0"
    std::string labTime, labTime0;
    std::vector<std::string> labTimes;
    int count(const std::string& what) const {
        int n = 0;
        for (const auto& c : calls)
            n += c == what;
        return n;
    }
};

inline std::vector<uint8_t> ReadAll(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}
inline uint32_t Le32(const std::vector<uint8_t>& b, size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}
inline bool Exists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

class SessionTest : public ::testing::Test {
  protected:
    static constexpr int16_t kLoud = 20000;
    static constexpr uint32_t kBlockBytes = 4410 * 4; // 44100 Hz 16-bit stereo
    QTemporaryDir dir;
    std::string folder;
    platform::ScriptedPrompt prompt;
    platform::ScriptedCaptureDevice* dev = nullptr;
    Seen seen;

    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        folder = dir.path().toStdString();
        core::Settings = core::RecordingSettings{};
        core::Settings.FolderName = folder;
        core::Settings.IsMP3 = false;
        core::Settings.IsWav = true;
        core::ResetSessionState();
        capture::Block = capture::BlockState{};
        output::Limits = output::OutputLimits{};
        platform::SetPrompt(&prompt);
        gNowMs = 1000000;
        core::SetThresholdClock(&ManualClock);
        core::TriggerTime = 0;
        InstallHooks();
        auto d = std::make_unique<platform::ScriptedCaptureDevice>();
        dev = d.get();
        platform::SetCaptureDevice(std::move(d));
        capture::ListCaptureDevices();
        capture::OpenCapture();
        ASSERT_TRUE(capture::Ring.IsCaptureOpen);
    }
    void TearDown() override {
        core::Stop();
        capture::CloseCapture();
        platform::SetCaptureDevice(nullptr);
        platform::SetPrompt(nullptr);
        platform::SetFsTypeProbe({});
        core::SetThresholdClock(nullptr);
        output::Limits = output::OutputLimits{};
    }
    void InstallHooks() {
        testsupport::ResetView();
        auto& v = testsupport::View();
        v.onShowTime = [this](const std::string& t) {
            seen.labTime = t;
            seen.labTimes.push_back(t);
            seen.labTime0 = t;
        };
        v.onFindFiles = [this] { seen.calls.push_back("find"); };
        v.onShowFiles = [this] { seen.calls.push_back("show"); };
        v.onClearStatus = [this] { seen.calls.push_back("clear"); };
        v.onSelectFile = [this] { seen.calls.push_back("select"); };
        v.onSetBusyCursor = [this](bool b) { seen.calls.push_back(b ? "busy1" : "busy0"); };
    }

    // One captured block of constant samples, then one tick 100 ms later.
    void Tick(int16_t left, int16_t right) {
        ASSERT_NE(dev->CompleteNext(left, right), nullptr);
        gNowMs += 100;
        core::TimerRecTimer();
    }
    void Ticks(int n, int16_t left, int16_t right) {
        for (int i = 0; i < n; ++i)
            Tick(left, right);
    }
    void Loud(int n) { Ticks(n, kLoud, kLoud); }
    void Quiet(int n) { Ticks(n, 0, 0); }

    std::string Record(int n, const char* ext = ".wav") const {
        return folder + "/record" + output::RecordNumberText(n) + ext;
    }
    std::vector<std::string> Files() const {
        std::vector<std::string> out;
        for (const auto& e : QDir(dir.path()).entryList(QDir::Files, QDir::Name))
            out.push_back(e.toStdString());
        return out;
    }
    // Left samples of each written block of a finished 16-bit stereo WAV: one
    // value per block (the blocks are constant), after checking the header
    // sizes agree with the file.
    std::vector<int16_t> BlockValues(const std::string& path) const {
        auto b = ReadAll(path);
        std::vector<int16_t> v;
        EXPECT_GE(b.size(), 44u);
        if (b.size() < 44) return v;
        EXPECT_EQ(Le32(b, 40), b.size() - 44) << path;
        EXPECT_EQ(Le32(b, 4), b.size() - 8) << path;
        EXPECT_EQ((b.size() - 44) % kBlockBytes, 0u) << path;
        for (size_t at = 44; at + kBlockBytes <= b.size(); at += kBlockBytes)
            v.push_back(static_cast<int16_t>(b[at] | b[at + 1] << 8));
        return v;
    }
};

} // namespace sessiontest
