// The WAV writer: header bytes, near-empty files, and what a recording leaves
// behind when the program is killed, the size limit nears or writing fails.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>

#include "output_fixture.h"
#include "test_decode.h"

using outtest::Fmt;
using outtest::ReadFile;
using outtest::U16;
using outtest::U32;

namespace {

class WavTest : public outtest::OutputTest {
  protected:
    void Configure(uint32_t rate, uint16_t bits, int32_t channels) {
        outtest::SelectFormat(Fmt::Wav);
        core::Settings.SamplePerSecond = rate;
        core::Settings.BitPerSample = bits;
        core::Settings.Channels = channels;
        OpenCapture();
    }
    size_t BlockBytes() const { return static_cast<size_t>(capture::Params.OutBlockBytes); }

    // A finished file: both size fields agree with its length.
    void ExpectConsistent(const std::string& file, size_t dataBytes) {
        ASSERT_EQ(file.size(), 44 + dataBytes);
        EXPECT_EQ(file.substr(0, 4), "RIFF");
        EXPECT_EQ(U32(file, 4), dataBytes + 36);
        EXPECT_EQ(file.substr(36, 4), "data");
        EXPECT_EQ(U32(file, 40), dataBytes);
    }
};

TEST_F(WavTest, ThreeBlocksStereo16BitHeader) {
    Configure(44100, 16, 2);
    ASSERT_TRUE(Start());
    const std::string path = core::Session.SelectedFile;
    EXPECT_EQ(path, Named(1, Fmt::Wav));
    Deliver(3);
    output::CloseOutputs();
    EXPECT_FALSE(core::Session.IsRecording);
    EXPECT_EQ(core::Session.SelectedFile, path);

    const std::string f = ReadFile(path);
    ASSERT_EQ(f.size(), 52964u);
    struct Field {
        size_t at;
        int bytes;
        uint32_t value;
    };
    const Field fields[] = {{4, 4, 52956}, {16, 4, 16},    {20, 2, 1},
                            {22, 2, 2},    {24, 4, 44100}, {28, 4, 176400},
                            {32, 2, 4},    {34, 2, 16},    {40, 4, 52920}};
    for (const auto& fl : fields)
        EXPECT_EQ(fl.bytes == 4 ? U32(f, fl.at) : U16(f, fl.at), fl.value) << "offset " << fl.at;
    EXPECT_EQ(f.substr(0, 4), "RIFF");
    EXPECT_EQ(f.substr(8, 8), "WAVEfmt ");
    EXPECT_EQ(f.substr(36, 4), "data");

    // The data is the converted blocks as they came, little-endian, left first.
    const auto sine = Sine();
    for (size_t i = 0; i < 3 * sine.size(); i += 997) {
        const int16_t v = static_cast<int16_t>(U16(f, 44 + 2 * i));
        ASSERT_EQ(v, sine[i % sine.size()]) << "sample " << i;
    }
}

TEST_F(WavTest, FormatFieldsFollowTheSettings) {
    struct Case {
        uint32_t rate;
        uint16_t bits;
        int32_t channels;
        uint32_t byteRate, align, blockBytes;
    };
    const Case cases[] = {
        {11025, 8, 1, 11025, 1, 1102},  {22050, 8, 1, 22050, 1, 2205},
        {22050, 16, 2, 88200, 4, 8820}, {44100, 8, 2, 88200, 2, 8820},
        {48000, 16, 1, 96000, 2, 9600}, {96000, 16, 2, 384000, 4, 38400},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.rate) + " Hz " + std::to_string(c.bits) + " bit " +
                     std::to_string(c.channels) + " ch");
        Configure(c.rate, c.bits, c.channels);
        ASSERT_TRUE(Start());
        ASSERT_EQ(core::Session.SelectedFile, Named(++n, Fmt::Wav));
        Deliver(2);
        output::CloseOutputs();
        const std::string f = ReadFile(Named(n, Fmt::Wav));
        ExpectConsistent(f, 2 * c.blockBytes);
        EXPECT_EQ(U16(f, 22), static_cast<uint32_t>(c.channels));
        EXPECT_EQ(U32(f, 24), c.rate);
        EXPECT_EQ(U32(f, 28), c.byteRate);
        EXPECT_EQ(U16(f, 32), c.align);
        EXPECT_EQ(U16(f, 34), c.bits);
    }
}

TEST_F(WavTest, StopBeforeTheFirstBlockLeavesNoFile) {
    Configure(44100, 16, 2);
    ASSERT_TRUE(Start());
    const std::string path = core::Session.SelectedFile;
    EXPECT_TRUE(outtest::FileExists(path)); // the provisional header is on disk
    output::CloseOutputs();
    EXPECT_FALSE(outtest::FileExists(path));
    EXPECT_EQ(core::Session.SelectedFile, "");
    EXPECT_TRUE(prompt.messages.empty());
}

TEST_F(WavTest, PausedBlocksAreSimplyAbsent) {
    Configure(44100, 16, 2);
    ASSERT_TRUE(Start());
    Deliver(2, Sine());
    core::Session.IsPaused = true;
    Deliver(3, std::vector<int16_t>{1234, 1234});
    core::Session.IsPaused = false;
    Deliver(1, Sine());
    output::CloseOutputs();
    const std::string f = ReadFile(Named(1, Fmt::Wav));
    ExpectConsistent(f, 3 * BlockBytes());
    const auto d = testdecode::DecodeFile(Named(1, Fmt::Wav));
    ASSERT_TRUE(d.ok) << d.error;
    for (int16_t v : d.pcm)
        ASSERT_NE(v, 1234);
}

// While recording, the size fields keep up with the data, so a file cut off at
// any moment is a valid WAV.
TEST_F(WavTest, SizeFieldsFollowTheDataWhileRecording) {
    output::Limits.HeaderRefreshMs = 0;
    Configure(44100, 16, 2);
    ASSERT_TRUE(Start());
    for (int i = 1; i <= 4; ++i) {
        Deliver(1);
        const std::string f = ReadFile(core::Session.SelectedFile);
        ExpectConsistent(f, i * BlockBytes());
    }
}

// A recorder killed mid-recording leaves a WAV whose header covers all but at
// most the last second of what it wrote.
TEST_F(WavTest, KilledRecorderLeavesValidFile) {
    Configure(44100, 16, 2);
    const std::string path = Named(1, Fmt::Wav);
    const auto sine = Sine();
    const int blocks = 25;
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        close(ready[0]);
        if (!Start()) _exit(1);
        // Paced like the capture, one block every 100 ms.
        for (int i = 0; i < blocks; ++i) {
            dev->CompleteNext(sine);
            capture::DrainCapture();
            usleep(100000);
        }
        if (write(ready[1], "x", 1) != 1) _exit(2);
        for (;;)
            pause();
    }
    close(ready[1]);
    char c = 0;
    ASSERT_EQ(read(ready[0], &c, 1), 1) << "the recording child failed";
    close(ready[0]);
    kill(pid, SIGKILL);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFSIGNALED(status));

    const std::string f = ReadFile(path);
    const size_t block = BlockBytes();
    ASSERT_EQ(f.size(), 44 + blocks * block);
    const uint32_t data = U32(f, 40);
    EXPECT_EQ(U32(f, 4), data + 36);
    EXPECT_EQ(data % block, 0u);
    // One refresh per second at most, and at least one every second of writing.
    EXPECT_LE(data, blocks * block);
    EXPECT_GE(data, (blocks - 11) * block);

    const auto d = testdecode::DecodeFile(path);
    ASSERT_TRUE(d.ok) << d.error;
    EXPECT_EQ(static_cast<size_t>(d.frames()), data / 4);
    EXPECT_NEAR(testdecode::ZeroCrossingFrequency(testdecode::Channel(d, 0), d.rate), 1000, 20);
}

// Before the size fields would overflow, the file is finished and the
// recording goes on in the next free name without losing a block.
TEST_F(WavTest, SizeLimitContinuesInTheNextFile) {
    Configure(44100, 16, 2);
    const size_t block = BlockBytes();
    output::Limits.WavMaxDataBytes = 3 * block + 100; // room for three blocks, not four
    std::ofstream(folder + "/record002.mp3") << "x";  // a taken number is skipped
    ASSERT_TRUE(Start());
    for (int16_t k = 1; k <= 7; ++k)
        Deliver(1, std::vector<int16_t>{k, static_cast<int16_t>(-k)});
    EXPECT_TRUE(core::Session.IsRecording);
    EXPECT_EQ(outtest::WriteFailures(), 0);
    EXPECT_EQ(core::Session.SelectedFile, Named(4, Fmt::Wav));
    EXPECT_NEAR(core::Session.ElapsedSeconds, 0.1, 1e-4);
    output::CloseOutputs();

    const std::pair<int, int> files[] = {{1, 3}, {3, 3}, {4, 1}};
    int16_t expected = 1;
    for (auto [n, count] : files) {
        SCOPED_TRACE("record" + std::to_string(n));
        const std::string f = ReadFile(Named(n, Fmt::Wav));
        ExpectConsistent(f, count * block);
        for (int b = 0; b < count; ++b, ++expected) {
            const size_t at = 44 + b * block;
            ASSERT_EQ(static_cast<int16_t>(U16(f, at)), expected);
            ASSERT_EQ(static_cast<int16_t>(U16(f, at + block - 2)), -expected);
        }
    }
    EXPECT_TRUE(prompt.messages.empty());
}

// A full disk (here a file-size limit) stops the recording with a message and
// leaves a valid file of the whole blocks that fitted.
TEST_F(WavTest, FullDiskStopsWithValidFile) {
    Configure(44100, 16, 2);
    const size_t block = BlockBytes();
    const std::string path = Named(1, Fmt::Wav);
    int out[2];
    ASSERT_EQ(pipe(out), 0);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        close(out[0]);
        struct rlimit lim = {44 + 5 * block + block / 2, 44 + 5 * block + block / 2};
        setrlimit(RLIMIT_FSIZE, &lim);
        std::string report;
        if (Start()) {
            int i = 0;
            while (core::Session.IsRecording && i++ < 20)
                Deliver(1);
            // Nothing more is written once a write has failed.
            report += output::WriteOutputs() ? "wrote-again;" : "refused;";
            report += std::to_string(i) + ";" + std::to_string(outtest::WriteFailures()) + ";";
            output::CloseOutputs();
        }
        for (const auto& m : prompt.messages)
            report += m + "|";
        if (write(out[1], report.data(), report.size()) < 0) _exit(2);
        _exit(0);
    }
    close(out[1]);
    std::string report;
    char buf[512];
    for (ssize_t n; (n = read(out[0], buf, sizeof buf)) > 0;)
        report.append(buf, n);
    close(out[0]);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status)) << "the recorder was killed by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    // Five blocks fitted, the sixth failed once, and the one message says so.
    EXPECT_EQ(report.substr(0, report.find("Could")), "refused;6;1;") << report;
    EXPECT_EQ(std::count(report.begin(), report.end(), '|'), 1) << report;
    EXPECT_NE(report.find("Could not write to \"" + path + "\""), std::string::npos) << report;

    const std::string f = ReadFile(path);
    ExpectConsistent(f, 5 * block);
    const auto d = testdecode::DecodeFile(path);
    ASSERT_TRUE(d.ok) << d.error;
    EXPECT_EQ(d.frames(), 5 * 4410);
}

TEST_F(WavTest, RemovedFolderStopsTheRecording) {
    Configure(44100, 16, 2);
    ASSERT_TRUE(Start());
    Deliver(2);
    ASSERT_TRUE(QDir(QString::fromStdString(folder)).removeRecursively());
    Deliver(3);
    EXPECT_FALSE(core::Session.IsRecording);
    EXPECT_EQ(outtest::WriteFailures(), 1);
    ASSERT_EQ(prompt.messages.size(), 1u);
    EXPECT_NE(prompt.messages[0].find("removed"), std::string::npos) << prompt.messages[0];
    output::CloseOutputs();
    EXPECT_FALSE(outtest::FileExists(folder)); // nothing was recreated
    EXPECT_EQ(prompt.messages.size(), 1u);
}

// The last capture device vanished: the ring closed under the recording, and
// stopping still finishes the file.
TEST_F(WavTest, CaptureClosedWhileRecordingStillFinishesTheFile) {
    Configure(44100, 16, 2);
    ASSERT_TRUE(Start());
    Deliver(3);
    capture::CloseCapture();
    output::CloseOutputs();
    ExpectConsistent(ReadFile(Named(1, Fmt::Wav)), 3 * BlockBytes());
}

} // namespace
