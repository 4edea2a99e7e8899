#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "audiolib/stream.h"
#include "playback/sound_files.h"
#include "support/sink_lock.h"
#include "test_util.h"

namespace {

// Everything this program plays goes to the private server's silent sink,
// whose monitor then holds nothing but our own sound. Set before the first
// connection, which reads it.
const bool kQuietSink = [] { return setenv("PULSE_SINK", "quietsink", 1) == 0; }();

using testsupport::SinkLock;

// Records the silent sink's monitor (44100 Hz, 16-bit stereo) into a file
// until Stop.
class SinkRecorder {
  public:
    explicit SinkRecorder(const QString& file) : file_(file) {}
    bool Start() {
        p_.setStandardOutputFile(file_);
        p_.start("parec", {"--device=quietsink.monitor", "--raw", "--format=s16le", "--rate=44100",
                           "--channels=2", "--latency-msec=20"});
        return p_.waitForStarted(5000);
    }
    // The left channel of what was recorded.
    std::vector<double> Stop() {
        p_.terminate();
        p_.waitForFinished(5000);
        QFile f(file_);
        if (!f.open(QIODevice::ReadOnly)) return {};
        const QByteArray raw = f.readAll();
        std::vector<double> left;
        const auto* pcm = reinterpret_cast<const int16_t*>(raw.constData());
        for (qsizetype i = 0; i + 1 < raw.size() / 2; i += 2)
            left.push_back(pcm[i]);
        return left;
    }

  private:
    QString file_;
    QProcess p_;
};

// Power of `freq` as a share of the signal's power: near 1 for a clean sine.
double ToneShare(const std::vector<double>& x, double rate, double freq) {
    const double c = 2 * std::cos(2 * M_PI * freq / rate);
    double s1 = 0, s2 = 0, total = 0;
    for (double v : x) {
        const double s0 = v + c * s1 - s2;
        s2 = s1;
        s1 = s0;
        total += v * v;
    }
    if (total <= 0) return 0;
    return 2 * (s1 * s1 + s2 * s2 - c * s1 * s2) / (static_cast<double>(x.size()) * total);
}

// The samples from the first to the last one louder than `level`.
std::vector<double> LoudPart(const std::vector<double>& x, double level) {
    auto loud = [&](double v) { return std::fabs(v) > level; };
    auto first = std::find_if(x.begin(), x.end(), loud);
    auto last = std::find_if(x.rbegin(), x.rend(), loud).base();
    return first < last ? std::vector<double>(first, last) : std::vector<double>{};
}

// Waits for a condition while events run; the bound only stops a hung test.
template <class F> bool WaitFor(F cond, int boundMs = 10000) {
    QElapsedTimer t;
    t.start();
    while (!cond()) {
        if (t.elapsed() > boundMs) return false;
        QThread::msleep(10);
    }
    return true;
}

bool MakeSine(const QString& path, const char* seconds) {
    QProcess p;
    p.start("sox", {"-n", "-r", "44100", "-c", "2", "-b", "16", path, "synth", seconds, "sine",
                    "1000", "vol", "0.5"});
    return p.waitForFinished(30000) && p.exitCode() == 0;
}

TEST(Playback, FftOfAPlayingSinePeaksAtItsBin) {
    REQUIRE_PULSE();
    QTemporaryDir dir;
    const QString path = dir.filePath("sine.wav");
    ASSERT_TRUE(MakeSine(path, "3"));
    auto h = audiolib::StreamCreateFile(path.toStdString(), 0, 0, 0);
    ASSERT_NE(h, 0u);
    ASSERT_TRUE(audiolib::ChannelPlay(h, true));
    EXPECT_EQ(audiolib::ChannelIsActive(h), audiolib::ACTIVE_PLAYING);
    // Past the first window so the transform sees only the tone.
    ASSERT_TRUE(
        WaitFor([&] { return audiolib::ChannelGetPosition(h, audiolib::POS_BYTE) > 4 * 4096; }));
    std::array<float, 513> fft{};
    EXPECT_EQ(audiolib::ChannelGetData(h, fft.data(), audiolib::DATA_FFT1024), 2048);
    auto peak = std::max_element(fft.begin() + 1, fft.begin() + 512) - fft.begin();
    EXPECT_TRUE(peak == 23 || peak == 24) << "peak bin " << peak;
    // A half-scale tone: about 0.25 on its bin with the Hann window, little elsewhere.
    EXPECT_GT(fft[static_cast<size_t>(peak)], 0.1f);
    EXPECT_LT(fft[100], 0.01f);
    EXPECT_TRUE(audiolib::StreamFree(h));
    EXPECT_EQ(audiolib::ChannelIsActive(h), audiolib::ACTIVE_STOPPED);
}

TEST(Playback, BadHandlesAndDecodeStreamsAreRefused) {
    EXPECT_FALSE(audiolib::ChannelPlay(0, true));
    EXPECT_FALSE(audiolib::ChannelPause(0));
    EXPECT_FALSE(audiolib::ChannelStop(0));
    EXPECT_FALSE(audiolib::ChannelSetAttribute(0, audiolib::ATTRIB_VOL, 0.5f));
    EXPECT_EQ(audiolib::ChannelIsActive(0), audiolib::ACTIVE_STOPPED);
    std::array<float, 513> fft{};
    EXPECT_EQ(audiolib::ChannelGetData(0, fft.data(), audiolib::DATA_FFT1024), -1);

    QTemporaryDir dir;
    const QString path = dir.filePath("sine.wav");
    ASSERT_TRUE(MakeSine(path, "0.5"));
    auto d = audiolib::StreamCreateFile(path.toStdString(), 0, 0, audiolib::STREAM_DECODE);
    ASSERT_NE(d, 0u);
    EXPECT_FALSE(audiolib::ChannelPlay(d, true)) << "a decode stream is never played";
    EXPECT_TRUE(audiolib::StreamFree(d));
}

// Plays each format while this thread seeks, pauses, resumes, stops and frees
// the stream over and over, then checks that the last stream still plays the
// file's tone cleanly from where it was put.
class PlaybackStress : public testing::TestWithParam<const char*> {};

TEST_P(PlaybackStress, SurvivesSeekPauseResumeAndFreeWhilePlaying) {
    REQUIRE_PULSE();
    ASSERT_TRUE(kQuietSink);
    SinkLock sink;
    QTemporaryDir dir;
    const std::string path = dir.filePath(QString("tone.") + GetParam()).toStdString();
    ASSERT_TRUE(soundfiles::MakeFile(path, 4.0));

    std::mt19937 rng(20261211);
    auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); };
    auto h = audiolib::StreamCreateFile(path, 0, 0, 0);
    ASSERT_NE(h, 0u);
    uint64_t length = audiolib::ChannelGetLength(h, audiolib::POS_BYTE);
    ASSERT_GT(length, 4u * 44100 * 3);
    ASSERT_TRUE(audiolib::ChannelPlay(h, true));
    int frees = 0;
    for (int i = 0; i < 150; ++i) {
        switch (pick(8)) {
        case 0:
        case 1: {
            // Whole frames anywhere in the file, the very end included.
            const uint64_t to = static_cast<uint64_t>(pick(1001)) * (length / 4 / 1000) * 4;
            EXPECT_TRUE(audiolib::ChannelSetPosition(h, to, audiolib::POS_BYTE)) << to;
            const uint64_t at = audiolib::ChannelGetPosition(h, audiolib::POS_BYTE);
            EXPECT_GE(at, std::min(to, length));
            EXPECT_LE(at, std::min(to + 44100 * 4, length)) << "just after a seek to " << to;
            break;
        }
        case 2:
            audiolib::ChannelPause(h);
            break;
        case 3:
        case 4:
            EXPECT_TRUE(audiolib::ChannelPlay(h, false));
            break;
        case 5:
            EXPECT_TRUE(audiolib::ChannelStop(h));
            break;
        case 6:
            EXPECT_TRUE(audiolib::ChannelPlay(h, true));
            break;
        default:
            if (i % 3 == 0) {
                // Freed while playing: the next stream takes over at once.
                EXPECT_TRUE(audiolib::StreamFree(h));
                ++frees;
                h = audiolib::StreamCreateFile(path, 0, 0, 0);
                ASSERT_NE(h, 0u);
                EXPECT_TRUE(audiolib::ChannelPlay(h, true));
            }
            break;
        }
        const uint64_t pos = audiolib::ChannelGetPosition(h, audiolib::POS_BYTE);
        EXPECT_LE(pos, length);
        std::array<float, 513> fft{};
        EXPECT_EQ(audiolib::ChannelGetData(h, fft.data(), audiolib::DATA_FFT1024), 2048);
        QThread::msleep(static_cast<unsigned long>(pick(15)));
    }
    EXPECT_GT(frees, 3);

    // The stream left over plays a clean tone from one second in.
    SinkRecorder rec(dir.filePath("sink.raw"));
    ASSERT_TRUE(audiolib::ChannelStop(h));
    ASSERT_TRUE(rec.Start());
    QThread::msleep(200);
    ASSERT_TRUE(audiolib::ChannelSetPosition(h, 44100 * 4, audiolib::POS_BYTE));
    ASSERT_TRUE(audiolib::ChannelPlay(h, false));
    ASSERT_TRUE(WaitFor(
        [&] { return audiolib::ChannelGetPosition(h, audiolib::POS_BYTE) > 44100 * 4 * 5 / 2; }));
    QThread::msleep(300); // what is still on its way to the recorder
    const auto heard = LoudPart(rec.Stop(), 2000);
    EXPECT_TRUE(audiolib::StreamFree(h));
    ASSERT_GT(heard.size(), 44100u) << "too little sound reached the sink";
    EXPECT_GT(ToneShare(heard, 44100, 1000), 0.9);
    double peak = 0;
    for (double v : heard)
        peak = std::max(peak, std::fabs(v));
    // Half scale, give or take what the lossy encoders change.
    EXPECT_GT(peak, 16383 * 0.85);
    EXPECT_LT(peak, 16383 * 1.1);
}

INSTANTIATE_TEST_SUITE_P(Formats, PlaybackStress,
                         testing::Values("wav", "mp3", "ogg", "flac", "wma"),
                         [](const testing::TestParamInfo<const char*>& i) {
                             return std::string(i.param);
                         });

} // namespace
