#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "capture/capture.h"
#include "core/settings.h"
#include "core/startup.h"
#include "core/state.h"
#include "platform/capture_device.h"
#include "platform/prompt.h"
#include "test_util.h"

namespace {

class StartupTest : public ::testing::Test {
  protected:
    platform::ScriptedPrompt prompt;
    platform::ScriptedCaptureDevice* dev = nullptr;
    void SetUp() override {
        testutil::RemoveSettings();
        platform::SetPrompt(&prompt);
        auto d = std::make_unique<platform::ScriptedCaptureDevice>();
        dev = d.get();
        platform::SetCaptureDevice(std::move(d));
        core::ResetSessionState();
        core::Startup = core::StartupState{};
        capture::CloseCapture();
    }
    void TearDown() override {
        capture::CloseCapture();
        platform::SetPrompt(nullptr);
        QFile::remove(QString(getenv("XDG_CONFIG_HOME")) + "/user-dirs.dirs");
    }
    QString Music() { return QStandardPaths::writableLocation(QStandardPaths::MusicLocation); }
};

TEST_F(StartupTest, FirstStartUsesAndCreatesTheMusicFolder) {
    QDir(Music()).removeRecursively();
    core::RegistryRead();
    ASSERT_TRUE(core::Settings.FolderName.empty());
    EXPECT_TRUE(core::SettleOutputFolder());
    EXPECT_EQ(core::Settings.FolderName, Music().toStdString());
    EXPECT_TRUE(QDir(Music()).exists());
    EXPECT_TRUE(prompt.messages.empty());
}

TEST_F(StartupTest, VanishedFolderIsReplacedNotCreated) {
    QString gone = QDir::tempPath() + "/kestrune-gone-folder";
    QDir(gone).removeRecursively();
    core::Settings.FolderName = gone.toStdString();
    EXPECT_TRUE(core::SettleOutputFolder());
    EXPECT_EQ(core::Settings.FolderName, Music().toStdString());
    EXPECT_FALSE(QDir(gone).exists());
    // The user is told once where recordings go now.
    EXPECT_EQ(prompt.messages, std::vector<std::string>{core::FolderReplacedMessage(
                                   gone.toStdString(), Music().toStdString())});
}

// A relative folder is read once against the directory the program started
// in; once the program has entered the folder, every recording would
// otherwise look for it one level deeper.
TEST_F(StartupTest, RelativeFolderIsMadeAbsoluteAtStart) {
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const std::string base = tmp.path().toStdString();
    ASSERT_TRUE(QDir(tmp.path()).mkpath("-dash/sub"));
    const std::string cwd = QDir::currentPath().toStdString();
    ASSERT_TRUE(QDir::setCurrent(tmp.path()));
    struct {
        const char* stored;
        std::string settled;
    } cases[] = {
        {"-dash", base + "/-dash"},
        {"./-dash/sub/", base + "/-dash/sub"},
        {"-dash/sub/../sub", base + "/-dash/sub"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stored);
        ASSERT_TRUE(QDir::setCurrent(tmp.path()));
        core::Settings.FolderName = c.stored;
        EXPECT_TRUE(core::SettleOutputFolder());
        EXPECT_EQ(core::Settings.FolderName, c.settled);
        core::RememberFolderAndEnter();
        EXPECT_EQ(QDir::currentPath().toStdString(), c.settled);
        EXPECT_TRUE(prompt.messages.empty());
    }
    // A relative name that leads nowhere is a missing folder.
    ASSERT_TRUE(QDir::setCurrent(tmp.path()));
    core::Settings.FolderName = "no-such";
    EXPECT_TRUE(core::SettleOutputFolder());
    EXPECT_EQ(core::Settings.FolderName, Music().toStdString());
    EXPECT_EQ(prompt.messages.size(), 1u);
    QDir::setCurrent(QString::fromStdString(cwd));
}

TEST_F(StartupTest, UncreatableMusicFolderIsReported) {
    QString conf = getenv("XDG_CONFIG_HOME");
    QDir().mkpath(conf);
    QFile f(conf + "/user-dirs.dirs");
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("XDG_MUSIC_DIR=\"/proc/kestrune-no-such-place\"\n");
    f.close();
    core::Settings.FolderName.clear();
    EXPECT_FALSE(core::SettleOutputFolder());
    ASSERT_EQ(prompt.messages.size(), 1u);
    EXPECT_EQ(prompt.messages[0], "Can not create " + core::Settings.FolderName);
    EXPECT_TRUE(core::Startup.StartupAborted);
}

TEST_F(StartupTest, WindowPlacement) {
    struct {
        int sw, sh, ww, bh, left, top;
    } cases[] = {
        {1920, 1080, 400, 300, 760, 240},
        {1025, 1000, 400, 300, 312, 200}, // halves truncate toward zero
        {800, 500, 400, 300, 200, 0},     // too short: the top edge
        {300, 200, 400, 300, -50, 0},     // narrower than the window: left as computed
    };
    for (auto c : cases) {
        auto p = core::PlaceMainWindow(c.sw, c.sh, c.ww, c.bh);
        EXPECT_EQ(p.left, c.left);
        EXPECT_EQ(p.top, c.top);
    }
}

TEST_F(StartupTest, NoCaptureDeviceAsksForASource) {
    dev->devices.clear();
    EXPECT_FALSE(core::InitCaptureIfPresent());
    ASSERT_EQ(prompt.messages.size(), 1u);
    EXPECT_EQ(prompt.messages[0], core::kNoSourceMessage);
    EXPECT_FALSE(capture::Ring.IsCaptureOpen);
}

TEST_F(StartupTest, CaptureDeviceIsInitialisedAndOpened) {
    core::RegistryRead();
    EXPECT_TRUE(core::InitCaptureIfPresent());
    EXPECT_TRUE(capture::Ring.IsCaptureOpen);
    EXPECT_EQ(core::Startup.DeviceName, "Scripted Input");
    EXPECT_EQ(core::Startup.KnownDeviceName, "Scripted Input");
    EXPECT_TRUE(prompt.messages.empty());
}

TEST_F(StartupTest, CloseQuery) {
    // Not recording: nothing is asked and the settings are saved.
    core::RegistryRead();
    core::Settings.MP3BitRate = 192;
    EXPECT_TRUE(core::FormCloseQuery());
    EXPECT_TRUE(prompt.messages.empty());
    core::RegistryRead();
    EXPECT_EQ(core::Settings.MP3BitRate, 192);

    // Recording and the answer No: the recording goes on.
    core::Session.IsRecording = true;
    prompt.yesNoAnswers = {false};
    EXPECT_FALSE(core::FormCloseQuery());
    EXPECT_TRUE(core::Session.IsRecording);
    ASSERT_EQ(prompt.messages.size(), 1u);
    EXPECT_EQ(prompt.messages[0], core::kInterruptQuestion);

    // Yes ends it.
    prompt.yesNoAnswers = {true};
    EXPECT_TRUE(core::FormCloseQuery());
    EXPECT_FALSE(core::Session.IsRecording);
}

} // namespace
