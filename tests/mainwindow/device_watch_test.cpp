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
#include "test_util.h"

namespace {

// This test unloads the only sink of a sound server, so it brings its own
// server: the suite's shared one serves other tests at the same time.
class PrivatePulse {
  public:
    QTemporaryDir dir;
    QProcess server;
    QString sock;

    bool Start() {
        if (QStandardPaths::findExecutable("pulseaudio").isEmpty() ||
            QStandardPaths::findExecutable("pactl").isEmpty())
            return false;
        sock = dir.path() + "/native";
        QFile script(dir.path() + "/default.pa");
        if (!script.open(QIODevice::WriteOnly)) return false;
        script.write(
            ("load-module module-native-protocol-unix socket=" + sock + " auth-anonymous=1\n")
                .toUtf8());
        script.close();
        QStringList args{"-n",
                         "-F",
                         script.fileName(),
                         "--daemonize=no",
                         "--exit-idle-time=-1",
                         "--enable-memfd=no",
                         "--use-pid-file=no",
                         "--log-target=file:" + dir.path() + "/log"};
        if (geteuid() == 0) args << "--system=false";
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", dir.path());
        env.insert("PULSE_RUNTIME_PATH", dir.path() + "/runtime");
        env.insert("PULSE_STATE_PATH", dir.path() + "/state");
        server.setProcessEnvironment(env);
        server.start("pulseaudio", args);
        if (!server.waitForStarted(10000)) return false;
        // Everything in this process, and pactl, talks to this server only.
        setenv("PULSE_SERVER", ("unix:" + sock).toUtf8().constData(), 1);
        for (int i = 0; i < 100; ++i) {
            if (Pactl({"info"})) return LoadSink();
            QThread::msleep(100);
        }
        return false;
    }
    bool LoadSink() {
        return Pactl({"load-module", "module-null-sink", "sink_name=testsink", "rate=44100",
                      "sink_properties=device.description=Test_Sink"}) &&
               Pactl({"load-module", "module-sine", "sink=testsink", "frequency=1000"}) &&
               Pactl({"set-default-source", "testsink.monitor"});
    }
    bool UnloadSink() { return Pactl({"unload-module", "module-null-sink"}); }
    static bool Pactl(const QStringList& args) {
        QProcess p;
        p.setStandardOutputFile(QProcess::nullDevice());
        p.start("pactl", args);
        return p.waitForFinished(10000) && p.exitStatus() == QProcess::NormalExit &&
               p.exitCode() == 0;
    }
    ~PrivatePulse() {
        if (server.state() != QProcess::NotRunning) {
            server.terminate();
            if (!server.waitForFinished(5000)) server.kill();
            server.waitForFinished(2000);
        }
    }
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
