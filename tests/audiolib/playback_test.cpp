#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <array>

#include "audiolib/stream.h"
#include "test_util.h"

namespace {

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

} // namespace
