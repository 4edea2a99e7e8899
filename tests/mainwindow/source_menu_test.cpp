#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QMenu>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <memory>

#include "app/program.h"
#include "capture/capture.h"
#include "core/session.h"
#include "core/settings.h"
#include "core/state.h"
#include "mainwindow/form1.h"
#include "mainwindow/system.h"
#include "platform/capture_device.h"
#include "platform/prompt.h"
#include "platform/pulse.h"
#include "support/private_pulse.h"
#include "test_util.h"

namespace {

template <class F> bool TickUntil(F done, int seconds = 10) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() < deadline) {
        QThread::msleep(100);
        QCoreApplication::processEvents();
        core::TimerRecTimer();
        if (done()) return true;
    }
    return false;
}

// The loudest 16-bit sample of a WAV file's data.
int WavPeak(const std::string& path) {
    QFile f(QString::fromStdString(path));
    if (!f.open(QIODevice::ReadOnly)) return -1;
    const QByteArray b = f.readAll();
    int peak = 0;
    for (qsizetype i = 44; i + 1 < b.size(); i += 2) {
        const int v = static_cast<int16_t>(static_cast<uint8_t>(b[i]) |
                                           (static_cast<uint8_t>(b[i + 1]) << 8));
        peak = std::max(peak, std::abs(v));
    }
    return peak;
}

class SourceMenuTest : public ::testing::Test {
  protected:
    testutil::PrivatePulse pulse;
    platform::ScriptedPrompt prompt;
    QTemporaryDir folder;
    std::unique_ptr<app::Program> program;
    int restarts = 0;

    void SetUp() override {
        START_PRIVATE_PULSE(pulse);
        ASSERT_TRUE(platform::pulse::Connect(3000));
        platform::SetPrompt(&prompt);
        mainwindow::ResetSeams();
        mainwindow::Seams().StartProgram = [this](const QString&, const QStringList&, qint64*) {
            ++restarts;
            return true;
        };
        mainwindow::Seams().Quit = [] {};
        platform::SetCaptureDevice(platform::MakePulseCaptureDevice());
        Start();
    }
    // One run of the program, as a start or a restart makes it.
    void Start() {
        program.reset();
        capture::CloseCapture();
        testutil::RemoveSettings();
        core::ResetSessionState();
        core::Startup = core::StartupState{};
        program = std::make_unique<app::Program>();
        auto& f = Form();
        f.TimerRec.stop();
        f.TimerStatus.stop();
        f.TimerForms.stop();
        core::Settings.FolderName = folder.path().toStdString();
        core::Settings.IsWav = true;
        core::Settings.IsMP3 = false;
    }
    void TearDown() override {
        program.reset();
        core::ResetSessionState();
        capture::CloseCapture();
        mainwindow::ResetSeams();
        platform::SetPrompt(nullptr);
        platform::SetCaptureDevice(std::make_unique<platform::ScriptedCaptureDevice>());
    }
    mainwindow::TForm1& Form() { return program->Recorder(); }
    QAction* Item(const QString& caption) {
        for (QAction* a : Form().PmenuSource->actions())
            if (a->text() == caption) return a;
        return nullptr;
    }
    // A recording of about a second; returns its loudest sample.
    int RecordASecond() {
        Form().WMHotKey(101);
        EXPECT_TRUE(core::Session.IsRecording);
        TickUntil([] { return core::Session.ElapsedSeconds >= 1.0f; });
        const std::string file = core::Session.SelectedFile;
        Form().WMHotKey(103);
        EXPECT_FALSE(core::Session.IsRecording);
        return WavPeak(file);
    }
};

TEST_F(SourceMenuTest, ListsTheSourcesWithTheDefaultCheckedAndRefusesWhileRecording) {
    Form().PMenuPopup();
    QStringList captions;
    for (QAction* a : Form().PmenuSource->actions())
        if (!a->isSeparator()) captions << a->text() + (a->isChecked() ? " *" : "");
    EXPECT_EQ(captions, (QStringList{"Monitor of Test_Sink *", "Monitor of Quiet_Sink"}));
    EXPECT_TRUE(Form().PmenuSource->menuAction()->isEnabled());

    // A source that appears is listed the next time the menu opens.
    ASSERT_TRUE(pulse.Pactl({"load-module", "module-null-sink", "sink_name=extra",
                             "sink_properties=device.description=Extra_Sink"}));
    Form().PMenuPopup();
    EXPECT_NE(Item("Monitor of Extra_Sink"), nullptr);

    Form().WMHotKey(101);
    ASSERT_TRUE(core::Session.IsRecording);
    Form().PMenuPopup();
    EXPECT_FALSE(Form().PmenuSource->menuAction()->isEnabled());
    Form().ChooseSource("quietsink.monitor");
    EXPECT_EQ(platform::pulse::DefaultSourceName(), "testsink.monitor");
    Form().WMHotKey(103);
}

TEST_F(SourceMenuTest, ChosenSourceBecomesTheDefaultAndTheNextRecordingCarriesIt) {
    ASSERT_TRUE(TickUntil([] { return capture::Block.PeakLeft > 8000; }))
        << "the tone does not reach the meters";
    EXPECT_GT(RecordASecond(), 8000);

    Form().PMenuPopup();
    QAction* quiet = Item("Monitor of Quiet_Sink");
    ASSERT_NE(quiet, nullptr);
    quiet->trigger();
    EXPECT_EQ(platform::pulse::DefaultSourceName(), "quietsink.monitor");
    EXPECT_TRUE(prompt.messages.empty());

    // The device watch follows the new default (the program restarts on it).
    Form().UpdateStatus();
    EXPECT_EQ(restarts, 1);
    Start();
    Form().PMenuPopup();
    ASSERT_NE(Item("Monitor of Quiet_Sink"), nullptr);
    EXPECT_TRUE(Item("Monitor of Quiet_Sink")->isChecked());
    EXPECT_LT(RecordASecond(), 100) << "the recording still carries the tone";
}

TEST_F(SourceMenuTest, ASourceGoneBeforeItIsChosenGetsAMessage) {
    Form().ChooseSource("vanished.monitor");
    ASSERT_EQ(prompt.messages.size(), 1u);
    EXPECT_NE(prompt.messages[0].find("vanished.monitor"), std::string::npos);
    EXPECT_EQ(platform::pulse::DefaultSourceName(), "testsink.monitor");
}

} // namespace
