#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <memory>

#include "app/program.h"
#include "capture/capture.h"
#include "core/session.h"
#include "core/settings.h"
#include "core/state.h"
#include "mainwindow/form1.h"
#include "mainwindow/status.h"
#include "mainwindow/system.h"
#include "platform/capture_device.h"
#include "platform/disk_space.h"
#include "platform/prompt.h"
#include "test_util.h"

namespace {

using mainwindow::OutputBytesPerSecond;
using mainwindow::TimeLeftText;

TEST(StatusWarnings, DataRateOfEachFormat) {
    struct Case {
        const char* name;
        void (*set)(core::RecordingSettings&);
        double bytesPerSecond;
    } cases[] = {
        {"wav 44.1k 16 stereo", [](auto& s) { s.IsWav = true; }, 176400},
        {"wav 8k 8 mono",
         [](auto& s) {
             s.IsWav = true;
             s.SamplePerSecond = 8000;
             s.BitPerSample = 8;
             s.Channels = 1;
         },
         8000},
        {"flac as its PCM", [](auto& s) { s.IsFLAC = true; }, 176400},
        {"mp3 cbr", [](auto& s) { s.MP3BitRate = 320; }, 40000},
        {"mp3 vbr at its maximum",
         [](auto& s) {
             s.IsVBR = true;
             s.MaxBitRate = 256;
         },
         32000},
        {"wma",
         [](auto& s) {
             s.WMARate = 64;
             s.IsWMA = true;
         },
         8000},
        {"ogg bitrate",
         [](auto& s) {
             s.IsOGG = true;
             s.OggRate = 96;
         },
         12000},
        {"ogg quality 4",
         [](auto& s) {
             s.IsOGG = true;
             s.IsOggQuality = true;
             s.OggQuality = 4;
         },
         16000},
        {"ogg quality 4.5 between its steps",
         [](auto& s) {
             s.IsOGG = true;
             s.IsOggQuality = true;
             s.OggQuality = 4.5f;
         },
         18000},
        {"ogg quality 10",
         [](auto& s) {
             s.IsOGG = true;
             s.IsOggQuality = true;
             s.OggQuality = 10;
         },
         62500},
    };
    for (const Case& c : cases) {
        core::RecordingSettings s;
        s.IsMP3 = false;
        if (std::string(c.name).rfind("mp3", 0) == 0) s.IsMP3 = true;
        c.set(s);
        EXPECT_DOUBLE_EQ(OutputBytesPerSecond(s), c.bytesPerSecond) << c.name;
    }
}

TEST(StatusWarnings, TimeLeftOnlyUnderAnHour) {
    const double rate = 1000;
    struct Case {
        uint64_t freeBytes;
        const char* text;
    } cases[] = {
        {3600 * 1000, ""}, // an hour exactly: no warning
        {3600 * 1000 - 1, "Disk: 59 min left"},
        {60 * 1000, "Disk: 1 min left"},
        {59 * 1000 + 999, "Disk: 59 s left"},
        {0, "Disk: 0 s left"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(TimeLeftText(c.freeBytes, rate), c.text) << c.freeBytes;
    EXPECT_EQ(TimeLeftText(10, 0), "");
    EXPECT_EQ(mainwindow::DroppedText(0), "");
    EXPECT_EQ(mainwindow::DroppedText(3), "Dropped blocks: 3");
}

// A capture device that lost audio because no buffer was free.
class StarvedDevice : public platform::ScriptedCaptureDevice {
  public:
    uint64_t dropped = 0;
    uint64_t DroppedBytes() const override { return dropped; }
};

class WarningLine : public ::testing::Test {
  protected:
    platform::ScriptedPrompt prompt;
    StarvedDevice* dev = nullptr;
    std::unique_ptr<app::Program> program;
    mainwindow::TForm1* form = nullptr;
    QTemporaryDir folder;

    void SetUp() override {
        testutil::RemoveSettings();
        platform::SetPrompt(&prompt);
        auto d = std::make_unique<StarvedDevice>();
        dev = d.get();
        platform::SetCaptureDevice(std::move(d));
        capture::CloseCapture();
        core::ResetSessionState();
        core::Startup = core::StartupState{};
        mainwindow::ResetSeams();
        mainwindow::Status = mainwindow::StatusState{};
        program = std::make_unique<app::Program>();
        form = &program->Recorder();
        form->TimerRec.stop();
        form->TimerStatus.stop();
        form->TimerForms.stop();
        core::Settings.FolderName = folder.path().toStdString();
        core::Settings.IsWav = true;
        core::Settings.IsMP3 = false;
    }
    void TearDown() override {
        core::ResetSessionState();
        program.reset();
        capture::CloseCapture();
        mainwindow::ResetSeams();
        platform::SetPrompt(nullptr);
        platform::SetCaptureDevice(std::make_unique<platform::ScriptedCaptureDevice>());
    }
    QString Shown() { return form->LabWarn->isVisible() ? form->LabWarn->text() : QString(); }
};

TEST_F(WarningLine, DroppedBlocksCountFromTheStartOfTheRecording) {
    form->show();
    const uint64_t block = static_cast<uint64_t>(capture::Params.CaptureBufferBytes);
    dev->dropped = 5 * block; // lost while only monitoring: not this recording's
    form->UpdateStatus();
    EXPECT_EQ(Shown(), "");

    core::Session.IsRecording = true;
    form->UpdateStatus();
    EXPECT_EQ(Shown(), "") << "a recording without problems looks as always";
    dev->dropped += 2 * block + block / 2;
    form->UpdateStatus();
    EXPECT_EQ(Shown(), "Dropped blocks: 2");
    EXPECT_LE(form->fontMetrics().horizontalAdvance(Shown()), form->LabWarn->width());

    core::Session.IsRecording = false;
    form->UpdateStatus();
    EXPECT_EQ(Shown(), "");
    core::Session.IsRecording = true; // the next recording counts afresh
    form->UpdateStatus();
    EXPECT_EQ(Shown(), "");
}

// A real small file system: the text appears, counts down as the disk
// fills and takes turns with the dropped blocks.
TEST_F(WarningLine, TimeLeftOnASmallDiskCountsDown) {
    if (geteuid() != 0) GTEST_SKIP() << "mounting a tmpfs needs root";
    const std::string dir = folder.path().toStdString() + "/small";
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(dir)));
    if (mount("tmpfs", dir.c_str(), "tmpfs", 0, "size=4m") != 0)
        GTEST_SKIP() << "no tmpfs mount here";
    struct Unmount {
        std::string d;
        ~Unmount() { umount(d.c_str()); }
    } unmount{dir};
    core::Settings.FolderName = dir;
    form->show();
    core::Session.IsRecording = true;
    form->UpdateStatus();
    // 4 MiB at 176400 bytes a second.
    EXPECT_EQ(Shown(), "Disk: 23 s left");
    {
        QFile f(QString::fromStdString(dir + "/record001.wav"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_EQ(f.write(QByteArray(2 * 1024 * 1024, '\0')), 2 * 1024 * 1024);
    }
    form->UpdateStatus();
    EXPECT_EQ(Shown(), "Disk: 11 s left");
    core::Settings.IsWav = false;
    core::Settings.IsMP3 = true; // 128 kbit/s: 2 MiB last 131 s
    form->UpdateStatus();
    EXPECT_EQ(Shown(), "Disk: 2 min left");

    dev->dropped += static_cast<uint64_t>(capture::Params.CaptureBufferBytes);
    QStringList seen;
    for (int tick = 0; tick < 2 * mainwindow::kWarnTurnTicks; ++tick) {
        form->UpdateStatus();
        if (!seen.contains(Shown())) seen << Shown();
    }
    EXPECT_EQ(seen, (QStringList{"Disk: 2 min left", "Dropped blocks: 1"}));
    EXPECT_EQ(form->LabWarn->toolTip(), "Disk: 2 min left\nDropped blocks: 1");
    QDir().mkpath(KESTRUNE_BUILD_DIR "/screenshots");
    form->grab().save(KESTRUNE_BUILD_DIR "/screenshots/warning_line.png");
    core::Settings.IsTresh = true; // the status sits lower in sound-activated mode
    form->UpdateStatus();
    form->grab().save(KESTRUNE_BUILD_DIR "/screenshots/warning_line_sar.png");
}

} // namespace
