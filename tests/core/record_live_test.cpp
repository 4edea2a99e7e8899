// Whole recordings against the suite's sound server: the 1000 Hz tone of the
// default source, or bursts played into the silent sink whose monitor is
// then the capture device. Every file is decoded with FFmpeg and measured.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <chrono>
#include <cmath>
#include <fstream>
#include <functional>
#include <thread>

#include "capture/capture.h"
#include "core/session.h"
#include "core/settings.h"
#include "core/state.h"
#include "core/threshold.h"
#include "output/output.h"
#include "platform/capture_device.h"
#include "platform/prompt.h"
#include "support/session_double.h"
#include "support/sink_lock.h"
#include "test_decode.h"
#include "test_util.h"

extern char** environ;

using core::Session;
using core::Settings;
using Clock = std::chrono::steady_clock;

namespace {

constexpr const char* kQuietMonitor = "Monitor of Quiet_Sink";
constexpr const char* kChildDirVar = "KESTRUNE_RECORD_CHILD_DIR";

int gBlocks = 0;
float gMaxPeakLeft = 0, gMaxPeakRight = 0;
void CountBlock() {
    ++gBlocks;
    gMaxPeakLeft = std::max(gMaxPeakLeft, capture::Block.PeakLeft);
    gMaxPeakRight = std::max(gMaxPeakRight, capture::Block.PeakRight);
}

// Opens capture device `target` of the server's list in place of device 0,
// which is what the ring always opens.
class PickedSource : public platform::CaptureDevice {
  public:
    PickedSource(std::unique_ptr<platform::CaptureDevice> inner, int target)
        : inner_(std::move(inner)), target_(target) {}
    int DeviceCount() override { return inner_->DeviceCount(); }
    bool GetCaps(int id, platform::CaptureCaps& caps) override { return inner_->GetCaps(id, caps); }
    int Open(int id, int rate) override { return inner_->Open(id == 0 ? target_ : id, rate); }
    std::string ErrorText(int code) override { return inner_->ErrorText(code); }
    void AddBuffer(platform::CaptureHeader* hdr) override { inner_->AddBuffer(hdr); }
    void Start() override { inner_->Start(); }
    void Reset() override { inner_->Reset(); }
    void Close() override { inner_->Close(); }
    uint64_t DroppedBytes() const override { return inner_->DroppedBytes(); }

  private:
    std::unique_ptr<platform::CaptureDevice> inner_;
    int target_;
};

// One piece of a burst file: seconds of a 1000 Hz tone at the given
// amplitudes (0..1) on the left and right channel; 0 is silence.
struct Piece {
    double seconds, left, right;
};

bool WriteToneWav(const std::string& path, const std::vector<Piece>& pieces) {
    const int rate = 44100;
    std::vector<int16_t> pcm;
    int64_t n = 0;
    for (const auto& p : pieces) {
        const int64_t frames = static_cast<int64_t>(p.seconds * rate);
        for (int64_t i = 0; i < frames; ++i, ++n) {
            const double s = std::sin(2 * M_PI * 1000.0 * static_cast<double>(n) / rate);
            pcm.push_back(static_cast<int16_t>(std::lround(s * p.left * 32767)));
            pcm.push_back(static_cast<int16_t>(std::lround(s * p.right * 32767)));
        }
    }
    const uint32_t data = static_cast<uint32_t>(pcm.size() * 2);
    std::ofstream f(path, std::ios::binary);
    auto u32 = [&](uint32_t v) { f.write(reinterpret_cast<const char*>(&v), 4); };
    auto u16 = [&](uint16_t v) { f.write(reinterpret_cast<const char*>(&v), 2); };
    f.write("RIFF", 4);
    u32(data + 36);
    f.write("WAVEfmt ", 8);
    u32(16);
    u16(1);
    u16(2);
    u32(rate);
    u32(rate * 4);
    u16(4);
    u16(16);
    f.write("data", 4);
    u32(data);
    f.write(reinterpret_cast<const char*>(pcm.data()), data);
    return static_cast<bool>(f);
}

using testsupport::SinkLock;

class RecordLive : public ::testing::Test {
  protected:
    QTemporaryDir dir;
    std::string folder;
    platform::ScriptedPrompt prompt;

    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        folder = dir.path().toStdString();
        core::Settings = core::RecordingSettings{};
        core::ResetSessionState();
        capture::Block = capture::BlockState{};
        testsupport::View().onUpdateMeters = &CountBlock;
        output::Limits = output::OutputLimits{};
        core::SetThresholdClock(nullptr);
        platform::SetPrompt(&prompt);
    }
    void TearDown() override {
        testsupport::ResetView();
        core::Stop();
        capture::CloseCapture();
        platform::SetCaptureDevice(nullptr);
        platform::SetPrompt(nullptr);
    }

    // Opens capture for the current settings on the default source or on the
    // named one, and waits until the stream delivers sound-bearing blocks.
    void OpenCapture(const char* source = nullptr) {
        // Reopening takes a while; the same source and block geometry serve on.
        const capture::CaptureParams before = capture::Params;
        capture::ComputeGeometry();
        if (capture::Ring.IsCaptureOpen && source == openSource_ &&
            before.CaptureRate == capture::Params.CaptureRate &&
            before.FramesPerBlock == capture::Params.FramesPerBlock &&
            before.OutBlockBytes == capture::Params.OutBlockBytes)
            return;
        openSource_ = source;
        capture::CloseCapture();
        auto dev = platform::MakePulseCaptureDevice();
        if (source) {
            platform::SetCaptureDevice(std::move(dev));
            capture::ListCaptureDevices();
            const int target = capture::FindCaptureDevice(source);
            ASSERT_GE(target, 0) << "no source " << source;
            platform::SetCaptureDevice(
                std::make_unique<PickedSource>(platform::MakePulseCaptureDevice(), target));
        } else {
            platform::SetCaptureDevice(std::move(dev));
        }
        capture::ListCaptureDevices();
        capture::OpenCapture();
        ASSERT_TRUE(capture::Ring.IsCaptureOpen)
            << (prompt.messages.empty() ? "" : prompt.messages[0]);
        gBlocks = 0;
        const auto deadline = Clock::now() + std::chrono::seconds(10);
        while (gBlocks < 3 && Clock::now() < deadline)
            Tick();
        ASSERT_GE(gBlocks, 3) << "no audio from the capture device";
        gMaxPeakLeft = gMaxPeakRight = 0;
    }

    // One recording tick, 100 ms after the previous one.
    void Tick() {
        std::this_thread::sleep_until(next_);
        next_ = std::max(next_ + std::chrono::milliseconds(100), Clock::now());
        QCoreApplication::processEvents();
        core::TimerRecTimer();
    }
    void TickFor(double seconds) {
        const auto until = Clock::now() + std::chrono::milliseconds(std::lround(seconds * 1000));
        while (Clock::now() < until)
            Tick();
    }
    // Ticks until `seconds` of audio are written (bounded, should the stream stall).
    void TickUntilWritten(double seconds) {
        const auto deadline = Clock::now() + std::chrono::seconds(15);
        while (Session.IsRecording && Session.ElapsedSeconds < seconds - 0.05 &&
               Clock::now() < deadline)
            Tick();
    }
    // Plays a burst file into the silent sink and ticks until it has ended
    // and `tail` seconds more have passed.
    void PlayAndTick(const std::vector<Piece>& pieces, double tail) {
        const std::string path = folder + "/../bursts-" + std::to_string(getpid()) + ".wav";
        ASSERT_TRUE(WriteToneWav(path, pieces));
        gMaxPeakLeft = gMaxPeakRight = 0;
        QProcess player;
        player.start("paplay", {"--device=quietsink", QString::fromStdString(path)});
        ASSERT_TRUE(player.waitForStarted(5000));
        const auto deadline = Clock::now() + std::chrono::seconds(30);
        while (player.state() != QProcess::NotRunning && Clock::now() < deadline) {
            Tick();
            player.waitForFinished(0);
        }
        player.waitForFinished(1000);
        TickFor(tail);
        unlink(path.c_str());
    }

    std::string Record(int n, const char* ext) const {
        return folder + "/record" + output::RecordNumberText(n) + ext;
    }
    std::vector<std::string> Files() const {
        std::vector<std::string> out;
        for (const auto& e : QDir(dir.path()).entryList(QDir::Files, QDir::Name))
            out.push_back(e.toStdString());
        return out;
    }

  private:
    Clock::time_point next_ = Clock::now();
    const char* openSource_ = nullptr;
};

void UseFormat(const std::function<void(core::RecordingSettings&)>& set) {
    auto& s = core::Settings;
    s.IsWav = s.IsMP3 = s.IsOGG = s.IsFLAC = s.IsWMA = false;
    s.SamplePerSecond = 44100;
    s.BitPerSample = 16;
    s.Channels = 2;
    set(s);
}

double ToneFrequency(const testdecode::Decoded& d, double from, double len) {
    return testdecode::ZeroCrossingFrequency(testdecode::Channel(d, 0, from, len), d.rate);
}

// Where the tone stands in one channel of a recording: the first and the last
// sample above a tenth of full scale, in seconds (-1 when there is none), and
// the weakest 10 ms stretch between them, so a gap shows.
struct ToneSpan {
    double from = -1, to = -1, weakest = 0;
    double seconds() const { return to - from; }
};
ToneSpan FindTone(const testdecode::Decoded& d, int ch = 0) {
    ToneSpan t;
    const auto x = testdecode::Channel(d, ch);
    int64_t first = -1, last = -1;
    for (size_t i = 0; i < x.size(); ++i)
        if (std::fabs(x[i]) > 3277) {
            if (first < 0) first = static_cast<int64_t>(i);
            last = static_cast<int64_t>(i);
        }
    if (first < 0) return t;
    t.from = static_cast<double>(first) / d.rate;
    t.to = static_cast<double>(last + 1) / d.rate;
    const int64_t window = d.rate / 100;
    t.weakest = 32767;
    for (int64_t at = first; at + window <= last; at += window / 2) {
        double peak = 0;
        for (int64_t i = at; i < at + window; ++i)
            peak = std::max(peak, std::fabs(x[static_cast<size_t>(i)]));
        t.weakest = std::min(t.weakest, peak);
    }
    return t;
}

// A sound-activated file holds one burst of `burst` seconds whole: its tone
// begins after `preRoll` seconds of quiet (plus the part of the triggering
// 100 ms block before the sound), lasts exactly as long as the burst with no
// 10 ms stretch missing, and the file ends about `release` seconds later.
void ExpectWholeBurst(const testdecode::Decoded& d, int ch, double preRoll, double burst,
                      double release) {
    const ToneSpan t = FindTone(d, ch);
    ASSERT_GE(t.from, 0) << "no tone in the file";
    EXPECT_GE(t.from, preRoll - 0.01);
    EXPECT_LT(t.from, preRoll + 0.11);
    EXPECT_LT(testdecode::Peak(testdecode::Channel(d, ch, 0, t.from - 0.002)), 1000);
    EXPECT_NEAR(t.seconds(), burst, 0.005);
    EXPECT_GT(t.weakest, 0.4 * 16384); // a 0.5 tone: no gap inside
    if (release > 0) {
        EXPECT_GT(d.seconds() - t.to, release - 0.05);
        EXPECT_LT(d.seconds() - t.to, release + 0.25);
    }
}

} // namespace

TEST_F(RecordLive, EveryFormatRecordsTheTone) {
    REQUIRE_PULSE();
    struct Case {
        const char* what;
        std::function<void(core::RecordingSettings&)> set;
        const char* ext;
        const char* container;
        std::vector<std::string> codecs;
        int rate, channels, bits;
        int64_t bitRate;
    } cases[] = {
        {"WAV 44100 16-bit stereo",
         [](auto& s) { s.IsWav = true; },
         ".wav",
         "wav",
         {"pcm_s16le"},
         44100,
         2,
         16,
         0},
        {"MP3 CBR 128",
         [](auto& s) {
             s.IsMP3 = true;
             s.MP3BitRate = 128;
         },
         ".mp3",
         "mp3",
         {"mp3float", "mp3"},
         44100,
         2,
         0,
         128000},
        {"MP3 VBR",
         [](auto& s) {
             s.IsMP3 = true;
             s.IsVBR = true;
         },
         ".mp3",
         "mp3",
         {"mp3float", "mp3"},
         44100,
         2,
         0,
         0},
        {"OGG bitrate 128",
         [](auto& s) {
             s.IsOGG = true;
             s.OggRate = 128;
         },
         ".ogg",
         "ogg",
         {"vorbis", "libvorbis"},
         44100,
         2,
         0,
         0},
        {"OGG quality 3",
         [](auto& s) {
             s.IsOGG = true;
             s.IsOggQuality = true;
             s.OggQuality = 3;
         },
         ".ogg",
         "ogg",
         {"vorbis", "libvorbis"},
         44100,
         2,
         0,
         0},
        {"FLAC", [](auto& s) { s.IsFLAC = true; }, ".flac", "flac", {"flac"}, 44100, 2, 16, 0},
        {"WMA 128",
         [](auto& s) {
             s.IsWMA = true;
             s.WMARate = 128;
         },
         ".wma",
         "asf",
         {"wmav2"},
         44100,
         2,
         0,
         128000},
        {"WAV 22050 8-bit mono",
         [](auto& s) {
             s.IsWav = true;
             s.SamplePerSecond = 22050;
             s.BitPerSample = 8;
             s.Channels = 1;
         },
         ".wav",
         "wav",
         {"pcm_u8"},
         22050,
         1,
         8,
         0},
        {"WAV 96000 stereo",
         [](auto& s) {
             s.IsWav = true;
             s.SamplePerSecond = 96000;
         },
         ".wav",
         "wav",
         {"pcm_s16le"},
         96000,
         2,
         16,
         0},
    };
    Settings.FolderName = folder;
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        UseFormat(c.set);
        Settings.FolderName = folder;
        OpenCapture();
        core::StartRecording();
        ASSERT_TRUE(Session.IsRecording) << (prompt.messages.empty() ? "" : prompt.messages[0]);
        const std::string path = Record(++n, c.ext);
        EXPECT_EQ(Session.SelectedFile, path);
        TickUntilWritten(3.0);
        core::Stop();
        EXPECT_TRUE(prompt.messages.empty()) << prompt.messages[0];

        const auto d = testdecode::DecodeFile(path);
        ASSERT_TRUE(d.ok) << d.error;
        EXPECT_EQ(d.container, c.container);
        EXPECT_NE(std::find(c.codecs.begin(), c.codecs.end(), d.codec), c.codecs.end()) << d.codec;
        EXPECT_EQ(d.rate, c.rate);
        EXPECT_EQ(d.channels, c.channels);
        if (c.bits) {
            EXPECT_EQ(d.bitsPerSample, c.bits);
        }
        if (c.bitRate) {
            EXPECT_EQ(d.bitRate, c.bitRate);
        }
        EXPECT_NEAR(d.seconds(), 3.0, 0.25);
        EXPECT_NEAR(ToneFrequency(d, 0.5, 2.0), 1000, 20);
        prompt.messages.clear();
    }
}

TEST_F(RecordLive, PauseLeavesOutThePausedTime) {
    REQUIRE_PULSE();
    UseFormat([](auto& s) { s.IsWav = true; });
    Settings.FolderName = folder;
    OpenCapture();
    std::vector<std::string> shown;
    testsupport::View().onShowTime = [&](const std::string& t) { shown.push_back(t); };
    core::StartRecording();
    TickFor(2.5);
    core::PauseCommand();
    shown.clear();
    TickFor(5.0);
    ASSERT_FALSE(shown.empty());
    for (const auto& t : shown)
        EXPECT_EQ(t, shown.front()); // stood still
    core::PauseCommand();
    TickFor(2.5);
    core::Stop();
    const auto d = testdecode::DecodeFile(Record(1, ".wav"));
    ASSERT_TRUE(d.ok) << d.error;
    EXPECT_NEAR(d.seconds(), 5.0, 0.3);
    EXPECT_NEAR(ToneFrequency(d, 0.5, 4.0), 1000, 20);
}

class SoundActivated : public RecordLive {
  protected:
    void Arm(int mode, int preRollMs = 500) {
        UseFormat([](auto& s) { s.IsWav = true; });
        Settings.FolderName = folder;
        Settings.IsTresh = true;
        Settings.ThresholdMode = mode;
        Settings.ThresholdRelease = 1;
        Settings.ThresholdLevel = 20;
        Settings.ThresholdPreRoll = preRollMs;
    }
    testdecode::Decoded Decode(int n, const char* ext = ".wav") {
        auto d = testdecode::DecodeFile(Record(n, ext));
        EXPECT_TRUE(d.ok) << d.error;
        return d;
    }
    SinkLock lock;
};

TEST_F(SoundActivated, NewFileForEachBurstHoldsItWhole) {
    REQUIRE_PULSE();
    Arm(2);
    OpenCapture(kQuietMonitor);
    int listed = 0;
    testsupport::View().onFindFiles = [&] { ++listed; };
    core::StartRecording();
    // Two 1 s bursts 2.5 s apart, with 1 s of release.
    PlayAndTick({{0.8, 0, 0}, {1.0, 0.5, 0.5}, {1.5, 0, 0}, {1.0, 0.5, 0.5}, {0.1, 0, 0}}, 1.5);
    EXPECT_TRUE(Session.IsRecording); // waiting for the next sound
    EXPECT_TRUE(Session.IsPaused);
    EXPECT_EQ(listed, 2); // each file listed as it was closed
    core::Stop();
    ASSERT_EQ(Files(), (std::vector<std::string>{"record001.wav", "record002.wav"}));
    for (int n = 1; n <= 2; ++n) {
        SCOPED_TRACE(n);
        const auto d = Decode(n);
        ExpectWholeBurst(d, 0, 0.5, 1.0, 1.0);
        EXPECT_NEAR(ToneFrequency(d, FindTone(d).from + 0.1, 0.8), 1000, 20);
    }
}

TEST_F(SoundActivated, SteadyToneLongerThanTheReleaseIsNeverCut) {
    REQUIRE_PULSE();
    for (int mode : {2, 1, 3}) {
        SCOPED_TRACE(mode);
        for (const auto& f : Files())
            QFile::remove(QString::fromStdString(folder + "/" + f));
        Arm(mode);
        OpenCapture(kQuietMonitor);
        core::StartRecording();
        PlayAndTick({{0.8, 0, 0}, {4.0, 0.5, 0.5}, {0.1, 0, 0}}, 1.6);
        // Mode 3 stops by itself about 1 s after the tone ended; the others wait.
        EXPECT_EQ(Session.IsRecording, mode != 3);
        core::Stop();
        ASSERT_EQ(Files().size(), 1u);
        const auto d = testdecode::DecodeFile(folder + "/" + Files()[0]);
        ASSERT_TRUE(d.ok) << d.error;
        ExpectWholeBurst(d, 0, 0.5, 4.0, 1.0);
    }
}

TEST_F(SoundActivated, BurstIsWrittenFromItsStart) {
    REQUIRE_PULSE();
    struct Case {
        const char* what;
        int preRollMs;
        double left, right;
        int channel;
    } cases[] = {
        {"right channel only", 500, 0, 0.5, 1},
        {"no pre-roll: the file starts with the triggering block", 0, 0.5, 0.5, 0},
        {"longest pre-roll", 5000, 0.5, 0.5, 0},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Arm(2, c.preRollMs);
        OpenCapture(kQuietMonitor);
        TickFor(c.preRollMs / 1000.0); // the quiet the pre-roll is to hold
        core::StartRecording();
        PlayAndTick({{0.6, 0, 0}, {1.0, c.left, c.right}, {0.1, 0, 0}}, 1.4);
        core::Stop();
        ASSERT_EQ(Files().size(), static_cast<size_t>(++n));
        ExpectWholeBurst(Decode(n), c.channel, c.preRollMs / 1000.0, 1.0, 1.0);
    }
}

TEST_F(SoundActivated, PreRollFollowsAChangeOfFormat) {
    REQUIRE_PULSE();
    // Each format reopens the ring with another block size; what was kept
    // before must not reach a file of the new one.
    struct Case {
        const char* what;
        std::function<void(core::RecordingSettings&)> set;
        const char* ext;
        int rate, channels;
    } cases[] = {
        {"WAV 96000 stereo",
         [](auto& s) {
             s.IsWav = true;
             s.SamplePerSecond = 96000;
         },
         ".wav", 96000, 2},
        {"WAV 22050 8-bit mono",
         [](auto& s) {
             s.IsWav = true;
             s.SamplePerSecond = 22050;
             s.BitPerSample = 8;
             s.Channels = 1;
         },
         ".wav", 22050, 1},
        {"FLAC 44100", [](auto& s) { s.IsFLAC = true; }, ".flac", 44100, 2},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Arm(2);
        UseFormat(c.set);
        OpenCapture(kQuietMonitor);
        core::StartRecording();
        PlayAndTick({{0.8, 0, 0}, {1.0, 0.5, 0.5}, {0.1, 0, 0}}, 1.4);
        core::Stop();
        const auto d = Decode(++n, c.ext);
        EXPECT_EQ(d.rate, c.rate);
        EXPECT_EQ(d.channels, c.channels);
        ExpectWholeBurst(d, 0, 0.5, 1.0, 1.0);
    }
}

TEST_F(SoundActivated, LatePressOnRecordStillHasTheStart) {
    REQUIRE_PULSE();
    UseFormat([](auto& s) { s.IsWav = true; });
    Settings.FolderName = folder;
    Settings.IsPreRecord = true;
    Settings.ThresholdPreRoll = 1000;
    OpenCapture(kQuietMonitor);
    const std::string path = folder + "/../late-" + std::to_string(getpid()) + ".wav";
    ASSERT_TRUE(WriteToneWav(path, {{0.5, 0, 0}, {2.5, 0.5, 0.5}}));
    QProcess player;
    player.start("paplay", {"--device=quietsink", QString::fromStdString(path)});
    ASSERT_TRUE(player.waitForStarted(5000));
    gMaxPeakLeft = 0;
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (gMaxPeakLeft < 0.3f * 32767 && Clock::now() < deadline)
        Tick();
    TickFor(0.3); // the user presses Record a moment after the sound began
    core::StartRecording();
    TickFor(1.0);
    core::Stop();
    player.waitForFinished(10000);
    unlink(path.c_str());
    const auto d = testdecode::DecodeFile(Record(1, ".wav"));
    ASSERT_TRUE(d.ok) << d.error;
    const ToneSpan t = FindTone(d);
    EXPECT_GT(t.from, 0.3); // the quiet before the sound, then all of it
    EXPECT_LT(t.from, 0.75);
    EXPECT_LT(testdecode::Peak(testdecode::Channel(d, 0, 0, t.from - 0.002)), 1000);
    EXPECT_NEAR(t.to, d.seconds(), 0.01); // the tone goes on to the end
    EXPECT_GT(t.weakest, 0.4 * 16384);
}

TEST_F(SoundActivated, NeverTriggersAtLevel100) {
    REQUIRE_PULSE();
    Arm(1);
    Settings.ThresholdLevel = 100;
    OpenCapture(kQuietMonitor);
    core::StartRecording();
    PlayAndTick({{0.2, 0, 0}, {1.2, 1.0, 1.0}}, 0.3);
    // The sound did arrive at full scale.
    EXPECT_GT(std::max(gMaxPeakLeft, gMaxPeakRight), 0.8f * 32767);
    EXPECT_TRUE(Session.IsPaused);
    EXPECT_EQ(Session.ElapsedSeconds, 0);
    core::Stop();
    EXPECT_TRUE(Files().empty());
}

// Run as a child by KilledRecorderLeavesAReadableWav: records the tone into
// the folder it is given until it is killed.
TEST_F(RecordLive, ChildRecordsUntilKilled) {
    const char* into = getenv(kChildDirVar);
    if (!into) GTEST_SKIP() << "only run as the child of KilledRecorderLeavesAReadableWav";
    REQUIRE_PULSE();
    {
        std::ofstream home(std::string(into) + "/child-home.txt");
        home << getenv("HOME");
    }
    UseFormat([](auto& s) { s.IsWav = true; });
    Settings.FolderName = into;
    OpenCapture();
    core::StartRecording();
    ASSERT_TRUE(Session.IsRecording);
    TickFor(30);
}

TEST_F(RecordLive, KilledRecorderLeavesAReadableWav) {
    REQUIRE_PULSE();
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e)
        env.emplace_back(*e);
    env.push_back(std::string(kChildDirVar) + "=" + folder);
    std::vector<char*> envp;
    for (auto& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    std::string self = QCoreApplication::applicationFilePath().toStdString();
    std::string filter = "--gtest_filter=RecordLive.ChildRecordsUntilKilled";
    char* argv[] = {self.data(), filter.data(), nullptr};
    pid_t pid = -1;
    ASSERT_EQ(posix_spawn(&pid, self.c_str(), nullptr, nullptr, argv, envp.data()), 0);

    // Wait for about 2.5 s of audio in the file, then kill the recorder.
    const std::string path = Record(1, ".wav");
    const off_t want = 44 + static_cast<off_t>(2.5 * 176400);
    const auto deadline = Clock::now() + std::chrono::seconds(20);
    off_t size = 0;
    while (Clock::now() < deadline) {
        struct stat st;
        if (stat(path.c_str(), &st) == 0 && (size = st.st_size) >= want) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
    {
        std::ifstream home(folder + "/child-home.txt");
        std::string h;
        std::getline(home, h);
        if (h.rfind("/tmp/kestrune-test-", 0) == 0)
            QDir(QString::fromStdString(h)).removeRecursively();
    }
    ASSERT_GE(size, want) << "the child recorded too little";

    std::ifstream f(path, std::ios::binary);
    std::vector<uint8_t> b((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    ASSERT_GE(b.size(), 44u);
    auto le32 = [&](size_t at) {
        return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
    };
    const uint64_t fileData = b.size() - 44, headerData = le32(40);
    EXPECT_EQ(le32(4), headerData + 36);
    EXPECT_LE(headerData, fileData);
    // The sizes are brought up to date once a second: at most that and the
    // block being written are missing from the header's count.
    EXPECT_GE(headerData + 176400 + 17640, fileData);
    EXPECT_GE(headerData, 176400u);
    const auto d = testdecode::DecodeFile(path);
    ASSERT_TRUE(d.ok) << d.error;
    EXPECT_NEAR(d.seconds(), static_cast<double>(headerData) / 176400, 0.01);
    EXPECT_NEAR(ToneFrequency(d, 0.3, 0.7), 1000, 20);
}

TEST_F(RecordLive, HostileFolderNameRecordsWithEveryEncoder) {
    REQUIRE_PULSE();
    const std::string hostile = folder + "/-a b \"q\" $(touch pwned) `touch pwned2` 'x' ünï";
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(hostile)));
    struct Case {
        std::function<void(core::RecordingSettings&)> set;
        const char* ext;
    } cases[] = {
        {[](auto& s) { s.IsWav = true; }, ".wav"}, {[](auto& s) { s.IsMP3 = true; }, ".mp3"},
        {[](auto& s) { s.IsOGG = true; }, ".ogg"}, {[](auto& s) { s.IsFLAC = true; }, ".flac"},
        {[](auto& s) { s.IsWMA = true; }, ".wma"},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.ext);
        UseFormat(c.set);
        Settings.FolderName = hostile;
        OpenCapture();
        core::StartRecording();
        ASSERT_TRUE(Session.IsRecording) << (prompt.messages.empty() ? "" : prompt.messages[0]);
        const std::string path = hostile + "/record" + output::RecordNumberText(++n) + c.ext;
        EXPECT_EQ(Session.SelectedFile, path);
        TickUntilWritten(1.0);
        core::Stop();
        EXPECT_TRUE(prompt.messages.empty()) << prompt.messages[0];
        const auto d = testdecode::DecodeFile(path);
        ASSERT_TRUE(d.ok) << d.error;
        EXPECT_NEAR(d.seconds(), 1.0, 0.25);
        EXPECT_NEAR(ToneFrequency(d, 0.2, 0.6), 1000, 20);
    }
    for (const char* stray : {"pwned", "pwned2"}) {
        EXPECT_FALSE(QFile::exists(QString::fromStdString(hostile + "/" + stray)));
        EXPECT_FALSE(QFile::exists(stray));
    }
}
