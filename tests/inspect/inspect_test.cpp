// Summaries of real recordings made by the encoders, and of damaged files.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <QTemporaryDir>
#include <QTimer>
#include <cmath>
#include <ctime>

#include "audiolib/stream.h"
#include "core/state.h"
#include "inspect/audio_fixtures.h"
#include "inspect/inspect.h"

using namespace inspect;

namespace {

std::string Summary(const std::string& path) {
    core::Session.SelectedFileInfo = "stale";
    InspectFile(path);
    return core::Session.SelectedFileInfo;
}

// The file's average bitrate as the inspection computes it: the whole file
// over the decoded length.
int32_t Average(const std::string& path) {
    audiolib::HSTREAM h = audiolib::StreamCreateFile(path, 0, 0, audiolib::STREAM_DECODE);
    if (!h) return -1;
    double secs = audiolib::ChannelBytes2Seconds(h, audiolib::ChannelGetLength(h, 0));
    double bytes = static_cast<double>(audiolib::StreamGetFilePosition(h, audiolib::FILEPOS_END));
    audiolib::StreamFree(h);
    return static_cast<int32_t>(std::nearbyint(bytes * 8 / (secs * 1000)));
}

class Inspect : public testing::Test {
  protected:
    QTemporaryDir dir;
    std::string d;
    void SetUp() override {
        d = dir.path().toStdString();
        MediaInfo = MediaInfoState{};
        core::ResetSessionState();
    }
    std::string P(const std::string& n) const { return d + "/" + n; }
};

TEST_F(Inspect, Wav) {
    ASSERT_TRUE(fixtures::MakeWav(P("ten.wav"), 10.0, 44100, 2));
    ASSERT_EQ(fixtures::ReadFile(P("ten.wav")).size(), 1764044u);
    EXPECT_EQ(Summary(P("ten.wav")), "1411 kbps, 44100 Hz, 16 bit stereo");
    EXPECT_EQ(MediaInfo.ChannelCount, 2);

    // 22094 bytes a second: 176.752 kbps.
    ASSERT_TRUE(fixtures::MakeWav(P("eight.WAV"), 1.0, 22050, 1, 8));
    EXPECT_EQ(Summary(P("eight.WAV")), "177 kbps, 22050 Hz, 8 bit mono");
    EXPECT_EQ(MediaInfo.BitsPerSample, 8);
}

TEST_F(Inspect, WavThatIsNotPlainPcmGetsItsWidthFromTheAverage) {
    // 32-bit float, format tag 3: not the PCM header, so the width is the
    // file's bits over its samples (header included, rounded).
    const int rate = 8000;
    std::string h = fixtures::WavHeader(rate, 1, 32, rate * 4);
    h[20] = 3;
    ASSERT_TRUE(fixtures::WriteFile(P("float.wav"), h + std::string(rate * 4, '\0')));
    const std::string s = Summary(P("float.wav"));
    if (s.empty()) GTEST_SKIP() << "this FFmpeg does not read float WAV";
    EXPECT_EQ(s, "256 kbps, 8000 Hz, 32 bit mono");
}

TEST_F(Inspect, Mp3ConstantAndVariable) {
    const std::string wav = P("src.wav");
    ASSERT_TRUE(fixtures::MakeWav(wav, 10.0, 44100, 2));
    ASSERT_TRUE(fixtures::Encode(wav, P("cbr.mp3"), "mp3", {"-b", "128", "-m", "j"}));
    EXPECT_EQ(Summary(P("cbr.mp3")), "128 kbps, 44100 Hz, joint stereo");
    EXPECT_FALSE(MediaInfo.VbrDetected);

    ASSERT_TRUE(fixtures::Encode(wav, P("vbr.mp3"), "mp3", {"-V", "2"}));
    const int32_t avg = Average(P("vbr.mp3"));
    EXPECT_EQ(Summary(P("vbr.mp3")),
              "VBR " + std::to_string(avg) + " kbps, 44100 Hz, joint stereo");
    EXPECT_TRUE(MediaInfo.VbrDetected);

    ASSERT_TRUE(fixtures::MakeWav(wav, 3.0, 48000, 1));
    ASSERT_TRUE(fixtures::Encode(wav, P("mono.mp3"), "mp3", {"-b", "64", "-m", "m"}));
    EXPECT_EQ(Summary(P("mono.mp3")), "64 kbps, 48000 Hz, mono");
    EXPECT_EQ(MediaInfo.ChannelCount, 1);
}

TEST_F(Inspect, Mp3TagAreaAndStamp) {
    ASSERT_TRUE(fixtures::MakeRecording(P("t.mp3"), "mp3", 2.0));
    std::string tag = "TAG" + std::string(125, 'x');
    ASSERT_TRUE(fixtures::WriteFile(P("t.mp3"), fixtures::ReadFile(P("t.mp3")) + tag));
    std::tm t{};
    t.tm_year = 2024 - 1900;
    t.tm_mon = 2;
    t.tm_mday = 5;
    t.tm_hour = 9;
    t.tm_min = 7;
    t.tm_sec = 3;
    t.tm_isdst = -1;
    struct timespec times[2] = {{mktime(&t), 0}, {mktime(&t), 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, P("t.mp3").c_str(), times, 0), 0);
    InspectFile(P("t.mp3"));
    EXPECT_EQ(std::string(MediaInfo.TagBlock.begin(), MediaInfo.TagBlock.end()), tag);
    EXPECT_EQ(MediaInfo.TagStamp, (22629 << 16) | 18657);

    // Under 1000 bytes: no tag, no header parse; the previous tag is gone.
    ASSERT_TRUE(fixtures::WriteFile(P("small.mp3"), std::string(999, '\x55')));
    InspectFile(P("small.mp3"));
    EXPECT_EQ(MediaInfo.TagBlock, (std::array<uint8_t, 128>{}));
}

TEST_F(Inspect, Mp3CraftedFramesAt48000) {
    // Frames of exactly 384 bytes (128 kbps, 48000 Hz), silent side info.
    std::string frame(384, '\0');
    frame[0] = '\xFF';
    frame[1] = '\xFB';
    frame[2] = '\x94';
    frame[3] = '\x44';
    std::string file;
    for (int i = 0; i < 200; ++i)
        file += frame;
    ASSERT_TRUE(fixtures::WriteFile(P("crafted.mp3"), file));
    InspectFile(P("crafted.mp3"));
    EXPECT_EQ(MediaInfo.SampleRate, 48000);
    EXPECT_EQ(MediaInfo.ChannelText, "joint stereo");
    if (core::Session.SelectedFileInfo.empty()) GTEST_SKIP() << "FFmpeg refused the frames";
    EXPECT_EQ(core::Session.SelectedFileInfo, "128 kbps, 48000 Hz, joint stereo");
}

TEST_F(Inspect, OggWithNominalBitrate) {
    const std::string wav = P("src.wav");
    ASSERT_TRUE(fixtures::MakeWav(wav, 5.0, 44100, 2));
    // A name that needs its quotes: blanks and a double quote.
    const std::string ogg = P("my \"take\" 1.ogg");
    ASSERT_TRUE(fixtures::Encode(wav, ogg, "ogg", {"-b", "128"}));
    const int32_t avg = Average(ogg);
    EXPECT_EQ(Summary(ogg), "128/" + std::to_string(avg) + " kbps, 44100 Hz, stereo");
}

TEST_F(Inspect, FlacAndWma) {
    ASSERT_TRUE(fixtures::MakeRecording(P("a.flac"), "flac", 4.0, 44100, 2));
    EXPECT_EQ(Summary(P("a.flac")),
              std::to_string(Average(P("a.flac"))) + " kbps, 44100 Hz, 16 bit stereo");

    // The average lies a little above what the encoder was asked for; the
    // summary shows the list step at or below it.
    const struct {
        uint32_t bitrate;
        int chans;
        const char* summary;
    } wma[] = {{128000, 2, "128 kbps, 44100 Hz, stereo"},
               {96000, 2, "96 kbps, 44100 Hz, stereo"},
               {64000, 1, "64 kbps, 44100 Hz, mono"}};
    for (const auto& c : wma) {
        const std::string path = P("w" + std::to_string(c.bitrate) + ".wma");
        ASSERT_TRUE(fixtures::MakeWma(path, 6.0, 44100, c.chans, c.bitrate));
        const int32_t avg = Average(path);
        ASSERT_GE(avg, static_cast<int32_t>(c.bitrate / 1000));
        ASSERT_LT(avg, static_cast<int32_t>(c.bitrate / 1000) * 5 / 4);
        EXPECT_EQ(Summary(path), c.summary) << avg;
    }
}

TEST_F(Inspect, DamagedAndForeignFilesGiveNoSummaryOrASafeOne) {
    const std::string mp3 = P("good.mp3");
    ASSERT_TRUE(fixtures::MakeRecording(mp3, "mp3", 2.0));
    const std::string bytes = fixtures::ReadFile(mp3);
    ASSERT_TRUE(fixtures::WriteFile(P("empty.wav"), ""));
    ASSERT_TRUE(fixtures::WriteFile(P("header.wav"), fixtures::WavHeader(44100, 2, 16, 0)));
    ASSERT_TRUE(fixtures::WriteFile(P("cut.mp3"), bytes.substr(0, 1000)));
    ASSERT_TRUE(fixtures::WriteFile(P("garbage.ogg"), std::string(5000, '\xA5')));
    ASSERT_TRUE(fixtures::WriteFile(P("empty.flac"), ""));
    ASSERT_TRUE(fixtures::MakeWav(P("notes.txt"), 1.0, 8000, 1));
    ASSERT_EQ(mkfifo(P("pipe.mp3").c_str(), 0600), 0);
    for (const char* n :
         {"empty.wav", "empty.flac", "garbage.ogg", "missing.wma", "notes.txt", "pipe.mp3"})
        EXPECT_EQ(Summary(P(n)), "") << n;
    // These may or may not open; they must not crash and give a sane line.
    for (const char* n : {"header.wav", "cut.mp3"}) {
        const std::string s = Summary(P(n));
        if (!s.empty()) {
            EXPECT_NE(s.find(" Hz, "), std::string::npos) << n << ": " << s;
        }
    }
}

TEST(ConsoleTool, CollectsOutputWithoutAShellAndNeverBlocks) {
    // Larger than a pipe holds.
    std::string big = RunConsoleTool("seq 100000");
    EXPECT_EQ(big.size(), 588895u);
    EXPECT_EQ(big.substr(big.size() - 7), "100000\n");
    EXPECT_EQ(RunConsoleTool("true"), "");
    EXPECT_EQ(RunConsoleTool("no-such-tool-kestrune \"x\""), "");
    EXPECT_EQ(RunConsoleTool(""), "");
    // Shell syntax is just text to the tool.
    EXPECT_EQ(RunConsoleTool("echo \"a; rm -rf x\" '$(id)' `b`"), "a; rm -rf x '$(id)' `b`\n");
    // A tool that never ends is stopped.
    EXPECT_EQ(RunConsoleTool("sleep 30", 300), "");
}

// A stand-in ogginfo on PATH that takes its time, so the inspection waits
// and lets events run.
class SlowTool : public testing::Test {
  protected:
    QTemporaryDir dir;
    std::string oldPath;
    void SetUp() override {
        const std::string tool = dir.path().toStdString() + "/ogginfo";
        ASSERT_TRUE(fixtures::WriteFile(
            tool, "#!/bin/sh\nsleep 0.4\necho 'Nominal bitrate: 112.000000 kb/s'\n"));
        chmod(tool.c_str(), 0755);
        oldPath = getenv("PATH");
        setenv("PATH", (dir.path().toStdString() + ":" + oldPath).c_str(), 1);
        MediaInfo = MediaInfoState{};
        core::ResetSessionState();
    }
    void TearDown() override { setenv("PATH", oldPath.c_str(), 1); }
};

TEST_F(SlowTool, EventsRunAndANewerInspectionWins) {
    const std::string ogg = dir.path().toStdString() + "/a.ogg";
    const std::string wav = dir.path().toStdString() + "/b.wav";
    ASSERT_TRUE(fixtures::MakeRecording(ogg, "ogg", 2.0));
    ASSERT_TRUE(fixtures::MakeWav(wav, 10.0, 44100, 2));

    int ticks = 0;
    QTimer tick;
    tick.setInterval(0);
    QObject::connect(&tick, &QTimer::timeout, [&] { ++ticks; });
    tick.start();
    InspectFile(ogg);
    tick.stop();
    EXPECT_GT(ticks, 0);
    EXPECT_EQ(core::Session.SelectedFileInfo.substr(0, 4), "112/");

    // The user picks another file while ogginfo runs.
    bool once = false;
    QTimer::singleShot(0, [&] {
        once = true;
        InspectFile(wav);
    });
    InspectFile(ogg);
    EXPECT_TRUE(once);
    EXPECT_EQ(core::Session.SelectedFileInfo, "1411 kbps, 44100 Hz, 16 bit stereo");
    EXPECT_EQ(MediaInfo.BitsPerSample, 16);
}

} // namespace
