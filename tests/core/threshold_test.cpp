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
    void Arm(int mode, float release = 1, float level = 50, int preRollMs = 500) {
        Settings.IsTresh = true;
        Settings.ThresholdMode = mode;
        Settings.ThresholdRelease = release;
        Settings.ThresholdLevel = level;
        Settings.ThresholdPreRoll = preRollMs;
    }
    // Loud for 5 ticks, then quiet for 15, `bursts` times.
    void Bursts(int bursts) {
        for (int i = 0; i < bursts; ++i) {
            Loud(5);
            Quiet(15);
        }
    }
};

std::vector<int16_t> Blocks(std::initializer_list<std::pair<int, int16_t>> runs) {
    std::vector<int16_t> v;
    for (const auto& [n, value] : runs)
        v.insert(v.end(), n, value);
    return v;
}
} // namespace

TEST(ThresholdTrigger, StrictlyAboveTheLevelOnEitherChannel) {
    struct Case {
        float level, peak;
        bool triggers;
    } cases[] = {
        {50, 16384, true}, {50, 16383, false},    {100, 32767, false},  {0, 1, true},
        {0, 0, false},     {37.5f, 12287, false}, {37.5f, 12288, true},
    };
    for (const auto& c : cases) {
        core::Settings.ThresholdLevel = c.level;
        EXPECT_EQ(core::ThresholdTriggered(c.peak), c.triggers) << c.level << " " << c.peak;
    }
    core::Settings = core::RecordingSettings{};
}

TEST_F(ThresholdTest, PauseAndContinueKeepsOneFileWithThePreRoll) {
    // Three bursts of 5 loud blocks, each followed by 15 quiet ones, after 6
    // quiet blocks. Writing starts with the pre-roll and the triggering block,
    // goes on for the release time after the last loud block (10 blocks) and
    // resumes with only the part of the pre-roll not yet in the file.
    struct Case {
        int preRollMs;
        std::vector<int16_t> want;
    } cases[] = {
        {0, Blocks({{5, L}, {10, 0}, {5, L}, {10, 0}, {5, L}, {10, 0}})},
        {300, Blocks({{3, 0}, {5, L}, {10, 0}, {3, 0}, {5, L}, {10, 0}, {3, 0}, {5, L}, {10, 0}})},
        // The 5 quiet blocks between release and sound are all kept: no gap.
        {500, Blocks({{5, 0}, {5, L}, {15, 0}, {5, L}, {15, 0}, {5, L}, {10, 0}})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.preRollMs);
        Arm(1, 1, 50, c.preRollMs);
        core::StartRecording();
        EXPECT_TRUE(Session.IsRecording);
        EXPECT_TRUE(Session.IsPaused);
        const std::string file = Session.SelectedFile;
        EXPECT_TRUE(Exists(file)); // made at once, empty until the first sound
        Quiet(6);
        EXPECT_EQ(Session.ElapsedSeconds, 0);
        Bursts(3);
        EXPECT_TRUE(Session.IsPaused);
        EXPECT_TRUE(seen.calls.empty()); // listed only when the recording stops
        core::Stop();
        EXPECT_EQ(BlockValues(file), c.want);
        seen.calls.clear();
    }
}

TEST_F(ThresholdTest, ContinuousSoundIsWrittenWhole) {
    // A sound longer than the release time: every loud block renews the
    // release clock, so mode 1 never pauses and mode 2 keeps one file.
    for (int mode : {1, 2}) {
        SCOPED_TRACE(mode);
        Arm(mode, 1, 50, 200);
        core::StartRecording();
        Quiet(4);
        Loud(40);
        EXPECT_FALSE(Session.IsPaused);
        Quiet(12);
        EXPECT_TRUE(Session.IsPaused);
        core::Stop();
        EXPECT_EQ(BlockValues(Record(mode)), Blocks({{2, 0}, {40, L}, {10, 0}}));
    }
    EXPECT_EQ(Files(), (std::vector<std::string>{"record001.wav", "record002.wav"}));
}

TEST_F(ThresholdTest, NewFileForEachSoundStartsWithItsPreRoll) {
    Arm(2);
    core::StartRecording();
    EXPECT_TRUE(Files().empty()); // no output until the first sound
    Quiet(3);
    Bursts(3);
    EXPECT_TRUE(Session.IsRecording);
    EXPECT_TRUE(Session.IsPaused);
    EXPECT_EQ(Files(),
              (std::vector<std::string>{"record001.wav", "record002.wav", "record003.wav"}));
    // Only 3 blocks came before the first sound; the later files get the
    // whole 0.5 s, quiet that also ends the file before them.
    EXPECT_EQ(BlockValues(Record(1)), Blocks({{3, 0}, {5, L}, {10, 0}}));
    for (int n = 2; n <= 3; ++n)
        EXPECT_EQ(BlockValues(Record(n)), Blocks({{5, 0}, {5, L}, {10, 0}})) << n;
    EXPECT_EQ(seen.count("find"), 3);
    EXPECT_EQ(seen.count("select"), 3);
    // The time display restarts with each file and, while waiting, keeps the
    // length of the last one.
    int restarts = 0;
    for (size_t i = 1; i < seen.labTimes.size(); ++i)
        restarts += seen.labTimes[i] < seen.labTimes[i - 1];
    EXPECT_EQ(restarts, 2);
    EXPECT_EQ(seen.labTime, "0:00:02.0");
    core::Stop();
    EXPECT_EQ(seen.count("find"), 4);
}

TEST_F(ThresholdTest, PreRollZeroStartsWithTheTriggeringBlock) {
    Arm(2, 1, 50, 0);
    core::StartRecording();
    Quiet(8);
    Tick(300, 300);
    Tick(L, L);
    Quiet(10);
    EXPECT_TRUE(Session.IsPaused);
    EXPECT_EQ(BlockValues(Record(1)), Blocks({{1, L}, {10, 0}}));
}

TEST_F(ThresholdTest, SoundWithinOneTickTriggersAtItsFirstBlock) {
    // Three blocks arrive in one tick; the middle one is loud.
    Arm(2, 1, 50, 100);
    core::StartRecording();
    Quiet(3);
    ASSERT_NE(dev->CompleteNext(100, 100), nullptr);
    ASSERT_NE(dev->CompleteNext(L, L), nullptr);
    ASSERT_NE(dev->CompleteNext(0, 0), nullptr);
    core::TimerRecTimer();
    EXPECT_FALSE(Session.IsPaused);
    Quiet(11);
    EXPECT_EQ(BlockValues(Record(1)), Blocks({{1, 100}, {1, L}, {11, 0}}));
}

TEST_F(ThresholdTest, NormalRecordingKeepsThePreRecordWhenAsked) {
    // Blocks numbered by their sample value: 6 before the record command, 2 after.
    struct Case {
        bool preRecord;
        int preRollMs;
        std::vector<int16_t> want;
    } cases[] = {
        {false, 300, {7, 8}},
        {true, 300, {4, 5, 6, 7, 8}},
        {true, 0, {7, 8}},
        {true, 5000, {1, 2, 3, 4, 5, 6, 7, 8}}, // all there is
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.preRollMs);
        capture::CloseCapture();
        capture::OpenCapture(); // forgets what the case before kept
        Settings.IsPreRecord = c.preRecord;
        Settings.ThresholdPreRoll = c.preRollMs;
        for (int16_t v = 1; v <= 6; ++v)
            Tick(v, v);
        core::StartRecording();
        const std::string file = Session.SelectedFile;
        EXPECT_FLOAT_EQ(Session.ElapsedSeconds, (c.want.size() - 2) / 10.0f);
        Tick(7, 7);
        Tick(8, 8);
        core::Stop();
        EXPECT_EQ(BlockValues(file), c.want);
    }
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

TEST_F(ThresholdTest, StopModeEndsReleaseAfterTheSoundEnds) {
    Arm(3, 2);
    core::StartRecording();
    Quiet(2);
    Loud(40); // longer than the release time
    EXPECT_TRUE(Session.IsRecording);
    Quiet(19);
    EXPECT_TRUE(Session.IsRecording);
    Quiet(1);
    EXPECT_FALSE(Session.IsRecording);
    EXPECT_EQ(BlockValues(Record(1)), Blocks({{2, 0}, {40, L}, {20, 0}}));
    EXPECT_EQ(seen.count("find"), 1);
    // The display keeps the final time until the next start or the stop command.
    EXPECT_EQ(seen.labTime, "0:00:06.2");
    Loud(3);
    EXPECT_EQ(seen.labTime, "0:00:06.2");
    core::Stop();
    EXPECT_EQ(seen.labTime, "0:00:00.0");
}

TEST_F(ThresholdTest, EitherChannelTriggers) {
    struct Case {
        const char* what;
        int16_t left, right;
    } cases[] = {{"left", L, 0}, {"right", 0, L}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Arm(1, 1, 50, 0);
        core::StartRecording();
        const std::string file = Session.SelectedFile;
        Quiet(2);
        Tick(c.left, c.right);
        EXPECT_FALSE(Session.IsPaused);
        core::Stop();
        EXPECT_EQ(BlockValues(file), (std::vector<int16_t>{c.left}));
    }
}

TEST_F(ThresholdTest, PreRollAfterTheBlockSizeChanged) {
    // Blocks kept before the ring reopens with another geometry are never
    // written into a file of the new one.
    Quiet(6);
    capture::CloseCapture();
    Settings.SamplePerSecond = 22050; // 2205 frames out: 8820 bytes a block
    capture::OpenCapture();
    ASSERT_EQ(capture::Params.OutBlockBytes, 8820);
    Arm(2, 1, 50, 1000);
    core::StartRecording();
    Quiet(2);
    Loud(1);
    Quiet(10);
    const auto b = sessiontest::ReadAll(Record(1));
    ASSERT_GE(b.size(), 44u);
    EXPECT_EQ(b.size() - 44, 13u * 8820);
    EXPECT_EQ(static_cast<int16_t>(b[44 + 2 * 8820] | b[45 + 2 * 8820] << 8), L);
}

TEST_F(ThresholdTest, NeverTriggers) {
    struct Case {
        const char* what;
        float level;
        int16_t left, right;
    } cases[] = {
        {"level 100, full scale", 100, 32767, 32767},
        {"level 50, just below on both", 50, 16383, 16383},
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
    Arm(2, 1, 50, 0);
    core::StartRecording();
    Loud(4); // trigger, then 3 blocks written
    core::HotKey(102);
    EXPECT_TRUE(Session.IsPaused);
    Loud(2); // the next loud block is a new sound
    EXPECT_FALSE(Session.IsPaused);
    Quiet(11);
    EXPECT_EQ(BlockValues(Record(1)), (std::vector<int16_t>{L, L, L, L}));
    EXPECT_EQ(BlockValues(Record(2)), Blocks({{2, L}, {10, 0}}));
    EXPECT_EQ(seen.count("find"), 2);
}
