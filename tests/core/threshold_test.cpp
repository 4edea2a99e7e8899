#include <QDir>

#include "session_fixture.h"
#include "support/session_double.h"

using core::Session;
using core::Settings;
using sessiontest::Exists;
using sessiontest::SessionTest;

namespace {
constexpr int16_t L = 20000; // a written loud block's left sample

class ThresholdTest : public SessionTest {
  protected:
    void Arm(int mode, float release = 1, float level = 50) {
        Settings.IsTresh = true;
        Settings.ThresholdMode = mode;
        Settings.ThresholdRelease = release;
        Settings.ThresholdLevel = level;
    }
    // Loud for 5 ticks, then quiet for 15, `bursts` times.
    void Bursts(int bursts) {
        for (int i = 0; i < bursts; ++i) {
            Loud(5);
            Quiet(15);
        }
    }
};

// The trigger block itself is left out; writing runs from the next tick for
// the release time (10 ticks of 1 s), so each burst leaves 4 loud blocks and
// 6 quiet ones.
const std::vector<int16_t> kOneBurst = {L, L, L, L, 0, 0, 0, 0, 0, 0};
} // namespace

TEST(ThresholdTrigger, StrictlyAboveTheLevelOnTheLeftPeak) {
    struct Case {
        float level, peak;
        bool triggers;
    } cases[] = {
        {50, 16384, true}, {50, 16383, false},    {100, 32767, false},  {0, 1, true},
        {0, 0, false},     {37.5f, 12287, false}, {37.5f, 12288, true},
    };
    for (const auto& c : cases) {
        core::Settings.ThresholdLevel = c.level;
        capture::Block.PeakLeft = c.peak;
        capture::Block.PeakRight = 32767;
        EXPECT_EQ(core::ThresholdTriggered(), c.triggers) << c.level << " " << c.peak;
    }
    core::Settings = core::RecordingSettings{};
}

TEST_F(ThresholdTest, PauseAndContinueKeepsOneFile) {
    Arm(1);
    core::StartRecording();
    EXPECT_TRUE(Session.IsRecording);
    EXPECT_TRUE(Session.IsPaused);
    EXPECT_TRUE(Exists(Record(1))); // made at once, empty until the first sound
    Quiet(3);
    EXPECT_EQ(Session.ElapsedSeconds, 0);
    Bursts(3);
    EXPECT_TRUE(Session.IsPaused);
    EXPECT_TRUE(seen.calls.empty()); // listed only when the recording stops
    core::Stop();
    std::vector<int16_t> want;
    for (int i = 0; i < 3; ++i)
        want.insert(want.end(), kOneBurst.begin(), kOneBurst.end());
    EXPECT_EQ(BlockValues(Record(1)), want);
    EXPECT_EQ(Files(), (std::vector<std::string>{"record001.wav"}));
}

TEST_F(ThresholdTest, ContinuousSoundLeavesOutOneTickPerRelease) {
    Arm(1);
    core::StartRecording();
    Loud(25);
    core::Stop();
    // Ticks 0, 11 and 22 find the pause and end it; their blocks are not written.
    EXPECT_EQ(BlockValues(Record(1)).size(), 22u);
}

TEST_F(ThresholdTest, NewFileForEachSound) {
    Arm(2);
    core::StartRecording();
    EXPECT_TRUE(Files().empty()); // no output until the first sound
    Quiet(3);
    Bursts(3);
    EXPECT_TRUE(Session.IsRecording);
    EXPECT_TRUE(Session.IsPaused);
    EXPECT_EQ(Files(),
              (std::vector<std::string>{"record001.wav", "record002.wav", "record003.wav"}));
    for (int n = 1; n <= 3; ++n)
        EXPECT_EQ(BlockValues(Record(n)), kOneBurst) << n;
    EXPECT_EQ(seen.count("find"), 3);
    EXPECT_EQ(seen.count("select"), 3);
    // The time display restarts with each file.
    int restarts = 0;
    for (size_t i = 1; i < seen.labTimes.size(); ++i)
        restarts += seen.labTimes[i - 1] == "0:00:01.0" && seen.labTimes[i] == "0:00:00.0";
    EXPECT_EQ(restarts, 2);
    core::Stop();
    EXPECT_EQ(seen.count("find"), 4);
}

TEST_F(ThresholdTest, NewFileModeStoppedBeforeAnySound) {
    Arm(2);
    core::StartRecording();
    Quiet(5);
    core::Stop();
    EXPECT_TRUE(Files().empty());
    EXPECT_TRUE(seen.calls.empty());
    EXPECT_EQ(Session.SelectedFile, "");
}

TEST_F(ThresholdTest, StopModeEndsReleaseAfterTheFirstTrigger) {
    Arm(3, 2);
    core::StartRecording();
    Quiet(2);
    Loud(40);
    EXPECT_FALSE(Session.IsRecording);
    EXPECT_EQ(BlockValues(Record(1)).size(), 20u);
    EXPECT_EQ(seen.count("find"), 1);
    // The display keeps the final time until the next start or the stop command.
    EXPECT_EQ(seen.labTime, "0:00:02.0");
    Loud(3);
    EXPECT_EQ(seen.labTime, "0:00:02.0");
    core::Stop();
    EXPECT_EQ(seen.labTime, "0:00:00.0");
}

TEST_F(ThresholdTest, NeverTriggers) {
    struct Case {
        const char* what;
        float level;
        int16_t left, right;
    } cases[] = {
        {"level 100, full scale", 100, 32767, 32767},
        {"right channel only", 10, 0, 30000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Arm(1, 1, c.level);
        core::StartRecording();
        Ticks(20, c.left, c.right);
        EXPECT_TRUE(Session.IsPaused);
        EXPECT_EQ(Session.ElapsedSeconds, 0);
        core::Stop();
        EXPECT_TRUE(Files().empty()); // the empty file is removed at the stop
    }
}

TEST_F(ThresholdTest, ManualPauseToggle) {
    // The pause button does nothing in this mode.
    Arm(1);
    core::StartRecording();
    core::PauseCommand();
    EXPECT_TRUE(Session.IsPaused);
    // F7 starts writing by hand; the next tick pauses again, the last trigger
    // lying more than the release time back.
    core::HotKey(102);
    EXPECT_FALSE(Session.IsPaused);
    Quiet(1);
    EXPECT_TRUE(Session.IsPaused);
    core::Stop();
    EXPECT_EQ(BlockValues(Record(1)), std::vector<int16_t>{0});

    // In new-file mode a manual start while waiting opens the next file, so
    // the blocks it asks for are kept.
    Arm(2);
    core::StartRecording();
    Quiet(2);
    core::HotKey(102);
    EXPECT_FALSE(Session.IsPaused);
    ASSERT_TRUE(Exists(Record(2)));
    Ticks(12, 300, 300);
    EXPECT_TRUE(Session.IsPaused);
    EXPECT_EQ(BlockValues(Record(2)), std::vector<int16_t>(10, 300));
}

TEST_F(ThresholdTest, NewFileThatCannotBeMadeEndsTheRecording) {
    Arm(2);
    core::StartRecording();
    Quiet(2);
    ASSERT_TRUE(QDir(dir.path()).removeRecursively());
    Loud(3);
    EXPECT_FALSE(Session.IsRecording);
    ASSERT_EQ(prompt.messages.size(), 1u);
    EXPECT_NE(prompt.messages[0].find("record001.wav"), std::string::npos) << prompt.messages[0];
}

TEST_F(ThresholdTest, StopDuringTheNewFileMessagesIsFinal) {
    Arm(2);
    core::StartRecording();
    Loud(3);
    ASSERT_FALSE(Session.IsPaused);
    // The stop command arrives while the closed file is listed.
    testsupport::View().onFindFiles = [] { core::Stop(); };
    Quiet(10);
    EXPECT_FALSE(Session.IsRecording);
    EXPECT_FALSE(Session.IsPaused);
}

TEST_F(ThresholdTest, NewSoundAfterAManualPauseFinishesTheOpenFile) {
    Arm(2);
    core::StartRecording();
    Loud(4); // trigger, then 3 blocks written
    core::HotKey(102);
    EXPECT_TRUE(Session.IsPaused);
    Loud(2); // the next loud block is a new sound
    EXPECT_FALSE(Session.IsPaused);
    Quiet(11);
    EXPECT_EQ(BlockValues(Record(1)), (std::vector<int16_t>{L, L, L}));
    EXPECT_EQ(BlockValues(Record(2)), (std::vector<int16_t>{L, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(seen.count("find"), 2);
}
