#include <signal.h>
#include <sys/resource.h>

#include <QTimer>
#include <cmath>
#include <fstream>
#include <limits>
#include <optional>
#include <utility>

#include "session_fixture.h"
#include "support/session_double.h"

using core::Session;
using core::Settings;
using sessiontest::Exists;
using sessiontest::SessionTest;

TEST(FormatElapsed, Table) {
    struct Case {
        float t;
        const char* text;
    } cases[] = {
        {0, "0:00:00.0"},
        {75.3f, "0:01:15.3"},
        {3600, "1:00:00.0"},
        {3599.96f, "1:00:00.0"}, // tenths round to 10 and carry up to the hours
        {59.96f, "0:01:00.0"},
        {0.25f, "0:00:00.2"}, // an exact half goes to the even tenth
        {0.75f, "0:00:00.8"},
        {0.05f, "0:00:00.1"}, // the float lies just above the half
        {36000, "10:00:00.0"},
        {359999.9f, "99:59:59.9"},
        {360000, "10:00:00.0"}, // the label holds the first two digits of the hours
        {-3, "0:00:00.0"},
        {std::numeric_limits<float>::quiet_NaN(), "0:00:00.0"},
        {std::numeric_limits<float>::infinity(), "27:46:40.0"}, // clamped, never undefined
    };
    for (const auto& c : cases)
        EXPECT_EQ(core::FormatElapsed(c.t), c.text) << c.t;
}

TEST(FormatElapsed, AccumulatedTenths) {
    // The display comes from the single-precision sum of 0.1 per block.
    float t = 0;
    for (int i = 0; i < 600; ++i)
        t += 0.1f;
    EXPECT_EQ(core::FormatElapsed(t), "0:01:00.0");
}

TEST_F(SessionTest, RecordPauseResumeStop) {
    core::StartRecording();
    ASSERT_TRUE(Session.IsRecording);
    EXPECT_FALSE(Session.IsPaused);
    EXPECT_EQ(Session.SelectedFile, Record(1));
    Ticks(5, 1000, 1000);
    EXPECT_EQ(seen.labTime, "0:00:00.5");
    EXPECT_EQ(seen.labTime0, seen.labTime);

    core::PauseCommand();
    EXPECT_TRUE(Session.IsPaused);
    Ticks(3, 2000, 2000);
    EXPECT_EQ(seen.labTime, "0:00:00.5"); // stood still

    core::HotKey(102); // F7 resumes as the button would
    EXPECT_FALSE(Session.IsPaused);
    Ticks(2, 3000, 3000);
    core::HotKey(103);
    EXPECT_FALSE(Session.IsRecording);
    EXPECT_EQ(seen.labTime, "0:00:00.0");
    EXPECT_EQ(seen.labTime0, "0:00:00.0");
    EXPECT_EQ(Session.ElapsedSeconds, 0);

    EXPECT_EQ(BlockValues(Record(1)),
              (std::vector<int16_t>{1000, 1000, 1000, 1000, 1000, 3000, 3000}));
    EXPECT_EQ(seen.calls,
              (std::vector<std::string>{"busy1", "find", "busy0", "show", "clear", "select"}));
    EXPECT_EQ(Session.SelectedFile, Record(1));
    EXPECT_TRUE(prompt.messages.empty());
}

TEST_F(SessionTest, CommandsThatDoNothing) {
    // F9 while monitoring: only the time display is reset.
    Session.ElapsedSeconds = 12.3f;
    seen.labTime = "x";
    core::HotKey(103);
    EXPECT_EQ(seen.labTime, "0:00:00.0");
    EXPECT_EQ(Session.ElapsedSeconds, 0);
    EXPECT_TRUE(seen.calls.empty());
    EXPECT_TRUE(Files().empty());

    // The pause button only works in a normal recording; F7 toggles always.
    core::PauseCommand();
    EXPECT_FALSE(Session.IsPaused);
    Session.SelectedFile = folder + "/old.wav";
    EXPECT_TRUE(core::PlayAllowed());
    core::HotKey(102);
    EXPECT_TRUE(Session.IsPaused);
    EXPECT_FALSE(core::PlayAllowed()); // until F7 again or the stop command
    core::HotKey(103);
    EXPECT_FALSE(Session.IsPaused);
    EXPECT_TRUE(core::PlayAllowed());

    // F5 while recording keeps the recording and its file.
    core::HotKey(101);
    ASSERT_TRUE(Session.IsRecording);
    Ticks(2, 500, 500);
    EXPECT_FALSE(core::PlayAllowed());
    core::HotKey(101);
    core::RecordCommand();
    core::StartRecording();
    EXPECT_EQ(Session.SelectedFile, Record(1));
    Ticks(1, 500, 500);
    core::Stop();
    EXPECT_EQ(Files(), (std::vector<std::string>{"record001.wav"}));
    EXPECT_EQ(BlockValues(Record(1)).size(), 3u);
    // StopRecording with nothing running does nothing.
    seen.calls.clear();
    core::StopRecording();
    EXPECT_TRUE(seen.calls.empty());
}

TEST_F(SessionTest, StopBeforeTheFirstBlock) {
    core::StartRecording();
    ASSERT_TRUE(Exists(Record(1)));
    core::Stop();
    EXPECT_FALSE(Exists(Record(1)));
    EXPECT_EQ(Session.SelectedFile, "");
    EXPECT_TRUE(seen.calls.empty());
}

TEST_F(SessionTest, Refusals) {
    struct Case {
        const char* what;
        std::function<void()> arrange;
        std::string message;
    } cases[] = {
        {"no device flag", [] { Session.NoDeviceEnabled = true; },
         "no recording device is enabled"},
        {"the window's source text",
         [] {
             core::Session.NoDeviceEnabled = true;
             testsupport::View().sourceText = "Monitor of Test_Sink is muted";
         },
         "Monitor of Test_Sink is muted"},
        {"iso9660", [] { platform::SetFsTypeProbe([](const std::string&) { return 0x9660L; }); },
         "Could not save to the CDROM drive!"},
        {"udf", [] { platform::SetFsTypeProbe([](const std::string&) { return 0x15013346L; }); },
         "Could not save to the CDROM drive!"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Session.NoDeviceEnabled = false;
        InstallHooks();
        platform::SetFsTypeProbe({});
        prompt.messages.clear();
        c.arrange();
        core::StartRecording();
        EXPECT_FALSE(Session.IsRecording);
        EXPECT_EQ(prompt.messages, std::vector<std::string>{c.message});
        Tick(1000, 1000);
        EXPECT_TRUE(Files().empty());
    }
}

TEST_F(SessionTest, OrdinaryFoldersAreNoOpticalDisc) {
    EXPECT_FALSE(platform::IsCdromFolder(folder));
    EXPECT_FALSE(platform::IsCdromFolder(folder + "/missing"));
    EXPECT_FALSE(platform::IsCdromFolder(""));
}

TEST_F(SessionTest, NoFreeNameLeavesThePreviousRecordingAlone) {
    output::Limits.MaxRecordNumber = 2;
    for (const char* name : {"/record001.mp3", "/record002.wav"}) {
        std::ofstream f(folder + name);
        f << "keep me";
    }
    Session.SelectedFile = folder + "/record002.wav";
    core::StartRecording();
    EXPECT_FALSE(Session.IsRecording);
    EXPECT_EQ(prompt.messages, std::vector<std::string>{core::kNoFreeNameMessage});
    Ticks(3, 1000, 1000);
    auto kept = sessiontest::ReadAll(folder + "/record002.wav");
    EXPECT_EQ(std::string(kept.begin(), kept.end()), "keep me");
}

TEST_F(SessionTest, WriteFailureStopsAndKeepsAValidFile) {
    // A file-size limit makes the fourth block fail as a full disk would.
    struct rlimit old;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    auto oldHandler = signal(SIGXFSZ, SIG_IGN);
    core::StartRecording();
    struct rlimit lim = old;
    lim.rlim_cur = 44 + 3 * kBlockBytes + 100;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &lim), 0);
    Ticks(5, 700, 700);
    setrlimit(RLIMIT_FSIZE, &old);
    signal(SIGXFSZ, oldHandler);

    EXPECT_FALSE(Session.IsRecording);
    EXPECT_FALSE(Session.IsPaused);
    ASSERT_EQ(prompt.messages.size(), 1u);
    EXPECT_NE(prompt.messages[0].find(Record(1)), std::string::npos) << prompt.messages[0];
    EXPECT_EQ(BlockValues(Record(1)), (std::vector<int16_t>{700, 700, 700}));
    EXPECT_EQ(seen.count("find"), 1);
    EXPECT_EQ(seen.count("select"), 1);
    // The time display keeps what was written until the stop command.
    EXPECT_EQ(seen.labTime, "0:00:00.4");
}

// The tick's disk-space guard ends the recording as a failed write does: a
// complete file, listed and selected, one message; a new start waits for space.
TEST_F(SessionTest, DiskRunningOutEndsTheRecordingCleanly) {
    uint64_t free = 1ull << 40;
    output::Limits.DiskCheckMs = 0;
    output::Limits.FreeBytes = [&](const std::string&) { return std::optional<uint64_t>(free); };
    core::StartRecording();
    Ticks(3, 800, 800);
    free = output::DiskReserveBytes() - 1;
    Ticks(2, 800, 800);
    EXPECT_FALSE(Session.IsRecording);
    ASSERT_EQ(prompt.messages.size(), 1u);
    EXPECT_EQ(prompt.messages[0].rfind("The disk \"", 0), 0u) << prompt.messages[0];
    EXPECT_EQ(BlockValues(Record(1)), (std::vector<int16_t>{800, 800, 800, 800}));
    EXPECT_EQ(seen.count("find"), 1);
    EXPECT_EQ(seen.count("select"), 1);
    core::StartRecording();
    EXPECT_FALSE(Session.IsRecording);
    EXPECT_EQ(prompt.messages.size(), 2u);
    free = 1ull << 40;
    core::StartRecording();
    Ticks(2, 600, 600);
    core::Stop();
    EXPECT_EQ(BlockValues(Record(2)), (std::vector<int16_t>{600, 600}));
}

TEST_F(SessionTest, CaptureClosedWhileRecording) {
    core::StartRecording();
    Ticks(4, 900, 900);
    capture::CloseCapture();
    core::TimerRecTimer();
    EXPECT_FALSE(Session.IsRecording);
    EXPECT_EQ(prompt.messages, std::vector<std::string>{core::kCaptureLostMessage});
    EXPECT_EQ(BlockValues(Record(1)), (std::vector<int16_t>{900, 900, 900, 900}));
    EXPECT_EQ(seen.count("find"), 1);
    core::TimerRecTimer();
    EXPECT_EQ(prompt.messages.size(), 1u);
}

// A device lost before a block was written leaves no file, and says so.
TEST_F(SessionTest, CaptureClosedBeforeAnythingWasWritten) {
    core::StartRecording();
    capture::CloseCapture();
    core::TimerRecTimer();
    EXPECT_FALSE(Session.IsRecording);
    EXPECT_EQ(prompt.messages, std::vector<std::string>{core::kCaptureLostEmptyMessage});
    EXPECT_TRUE(Files().empty());
}

// Without a capture stream a recording would make an empty file.
TEST_F(SessionTest, RecordRefusedWhileTheCaptureStreamIsClosed) {
    capture::CloseCapture();
    core::StartRecording();
    EXPECT_FALSE(Session.IsRecording);
    EXPECT_EQ(prompt.messages, std::vector<std::string>{core::kCaptureNotOpenMessage});
    EXPECT_TRUE(Files().empty());
}

TEST_F(SessionTest, MessagesRunInsideAStepOpenNoSecondOutput) {
    // A record command handled while the start lets messages run.
    bool once = true;
    testsupport::View().onCloseSoundWindow = [&once] {
        if (std::exchange(once, false)) core::HotKey(101);
    };
    core::StartRecording();
    testsupport::View().onCloseSoundWindow = nullptr;
    EXPECT_EQ(Files(), (std::vector<std::string>{"record001.wav"}));
    Ticks(2, 400, 400);
    core::Stop();
    EXPECT_EQ(BlockValues(Record(1)).size(), 2u);

    // A tick handled while a new sound file is being opened: it finds the
    // same trigger and must not open a third file over the second.
    Settings.IsTresh = true;
    Settings.ThresholdMode = 2;
    Settings.ThresholdPreRoll = 0;
    core::StartRecording();
    Quiet(2);
    once = true;
    testsupport::View().onShowLabFile = [this, &once](const std::string&) {
        if (!std::exchange(once, false)) return;
        dev->CompleteNext(kLoud, kLoud);
        QTimer::singleShot(0, [] { core::TimerRecTimer(); });
    };
    Loud(1);
    testsupport::View().onShowLabFile = nullptr;
    Loud(3);
    core::Stop();
    EXPECT_EQ(Files(), (std::vector<std::string>{"record001.wav", "record002.wav"}));
    EXPECT_EQ(BlockValues(Record(2)).size(), 5u); // the trigger block and the 4 after it
    EXPECT_FALSE(output::Outputs.WavFile >= 0);
}

namespace {

// The shown time follows the count of written blocks: summing 0.1 in a float
// drifted by 42 s over ten hours.
TEST(RecordingClock, TenHoursOfBlocksReadTenHours) {
    core::ResetSessionState();
    for (int hour = 1; hour <= 10; ++hour) {
        for (int i = 0; i < 36000; ++i)
            core::CountWrittenBlock();
        EXPECT_EQ(core::FormatElapsed(core::Session.ElapsedSeconds),
                  std::to_string(hour) + ":00:00.0");
    }
    core::SetWrittenBlocks(0);
    EXPECT_EQ(core::Session.ElapsedSeconds, 0.0f);
}

} // namespace
