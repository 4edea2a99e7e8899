#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <QApplication>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <chrono>
#include <memory>

#include "app/program.h"
#include "capture/capture.h"
#include "core/session.h"
#include "core/settings.h"
#include "core/state.h"
#include "mainwindow/form1.h"
#include "mainwindow/status.h"
#include "platform/capture_device.h"
#include "platform/prompt.h"
#include "platform/pulse.h"
#include "support/private_pulse.h"
#include "test_util.h"

namespace {

// The test's own server, whose sinks go away and come back.
class PrivatePulse : public testutil::PrivatePulse {
  public:
    bool LoadSink() {
        return Pactl({"load-module", "module-null-sink", "sink_name=testsink", "rate=44100",
                      "sink_properties=device.description=Test_Sink"}) &&
               Pactl({"load-module", "module-sine", "sink=testsink", "frequency=1000"}) &&
               Pactl({"set-default-source", "testsink.monitor"});
    }
    // Every null sink goes, and with them every source.
    bool UnloadSink() { return Pactl({"unload-module", "module-null-sink"}); }
};

// Drains the capture ring tick by tick until `done` holds or 10 s passed.
template <class F> bool TickUntil(F done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        QThread::msleep(100);
        QCoreApplication::processEvents();
        core::TimerRecTimer();
        if (done()) return true;
    }
    return false;
}

TEST(DeviceWatchTest, LastSourceGoneAndBack) {
    PrivatePulse pulse;
    if (!pulse.Start()) {
        if (testutil::PulseRequired()) FAIL() << "could not start a private PulseAudio server";
        GTEST_SKIP() << "no pulseaudio to start";
    }
    ASSERT_TRUE(platform::pulse::Connect(3000));
    platform::ScriptedPrompt prompt;
    platform::SetPrompt(&prompt);
    testutil::RemoveSettings();
    core::ResetSessionState();
    core::Startup = core::StartupState{};
    platform::SetCaptureDevice(platform::MakePulseCaptureDevice());
    auto program = std::make_unique<app::Program>();
    mainwindow::TForm1* form = &program->Recorder();
    form->TimerRec.stop();
    form->TimerStatus.stop();
    ASSERT_TRUE(capture::Ring.IsCaptureOpen);
    form->UpdateStatus();
    EXPECT_EQ(form->LabSource_->text(), "Monitor of Test_Sink");
    ASSERT_TRUE(TickUntil([] { return capture::Block.PeakLeft > 8000; }))
        << "the tone does not reach the meters";

    ASSERT_TRUE(pulse.UnloadSink());
    for (int tick = 0; tick < 2 && form->LabSource_->text() != core::kNoDeviceText; ++tick)
        form->UpdateStatus();
    EXPECT_EQ(form->LabSource_->text(), "no recording device is enabled");
    EXPECT_FALSE(capture::Ring.IsCaptureOpen);
    EXPECT_TRUE(core::Session.NoDeviceEnabled);

    prompt.messages.clear();
    form->WMHotKey(101); // F5
    EXPECT_FALSE(core::Session.IsRecording);
    ASSERT_EQ(prompt.messages.size(), 1u);
    EXPECT_EQ(prompt.messages[0], "no recording device is enabled");

    ASSERT_TRUE(pulse.LoadSink());
    capture::Block.PeakLeft = 0;
    for (int tick = 0; tick < 2 && !capture::Ring.IsCaptureOpen; ++tick)
        form->UpdateStatus();
    EXPECT_TRUE(capture::Ring.IsCaptureOpen);
    form->UpdateStatus();
    EXPECT_FALSE(core::Session.NoDeviceEnabled);
    EXPECT_EQ(form->LabSource_->text(), "Monitor of Test_Sink");
    EXPECT_TRUE(TickUntil([] { return capture::Block.PeakLeft > 8000; }))
        << "capture did not resume on the new source";

    program.reset();
    capture::CloseCapture();
    platform::SetPrompt(nullptr);
    platform::SetCaptureDevice(std::make_unique<platform::ScriptedCaptureDevice>());
}

} // namespace
