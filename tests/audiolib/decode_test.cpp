#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QTemporaryDir>
#include <cstdlib>
#include <string>
#include <vector>

#include "audiolib/stream.h"
#include "inspect/audio_fixtures.h"

using namespace audiolib;

namespace {

struct FormatCase {
    const char* ext;
    int rate;
    int chans;
    double lengthTolerance; // seconds the reported length may differ from what was encoded
    bool lossless;
    double onsetTolerance; // seconds the decoded tone may start off its place
};

// Encoder delay, padding and container granularity differ per format.
const FormatCase kFormats[] = {
    {"wav", 44100, 2, 0.0, true, 0},
    {"wav", 48000, 1, 0.0, true, 0},
    {"flac", 44100, 2, 0.0, true, 0},
    {"flac", 32000, 1, 0.0, true, 0},
    {"mp3", 44100, 2, 0.06, false, 0.02},
    {"ogg", 44100, 2, 0.02, false, 0.02},
    // The WMA encoder's first 2048-sample block does not come back.
    {"wma", 44100, 2, 0.08, false, 0.05},
};

std::string Name(const testing::TestParamInfo<FormatCase>& i) {
    return std::string(i.param.ext) + std::to_string(i.param.rate) + "_" +
           std::to_string(i.param.chans);
}

// Reads the whole stream from where it is, in the 10000-byte chunks callers use.
std::vector<int16_t> DrainPcm(HSTREAM h) {
    std::vector<int16_t> pcm;
    std::vector<int16_t> buf(5000);
    for (;;) {
        int32_t n = ChannelGetData(h, buf.data(), 10000);
        if (n <= 0) break;
        pcm.insert(pcm.end(), buf.begin(), buf.begin() + n / 2);
    }
    return pcm;
}

// Frame index of the first sample louder than the silence the fixtures lead with.
long FirstLoudFrame(const std::vector<int16_t>& pcm, int chans) {
    for (size_t i = 0; i < pcm.size(); ++i)
        if (std::abs(pcm[i]) > 2000) return static_cast<long>(i) / chans;
    return -1;
}

class DecodeFormat : public testing::TestWithParam<FormatCase> {
  protected:
    QTemporaryDir dir;
    std::string path;
    void SetUp() override {
        const FormatCase& c = GetParam();
        path = dir.path().toStdString() + "/take." + c.ext;
        // One second of silence then three of tone: the onset shows where a
        // seek really landed.
        ASSERT_TRUE(fixtures::MakeRecording(path, c.ext, 4.0, c.rate, c.chans, 1.0));
    }
};

TEST_P(DecodeFormat, InfoLengthAndFullDecode) {
    const FormatCase& c = GetParam();
    HSTREAM h = StreamCreateFile(path, 0, 0, STREAM_DECODE);
    ASSERT_NE(h, 0u);
    ChannelInfo info;
    ASSERT_TRUE(ChannelGetInfo(h, &info));
    EXPECT_EQ(info.freq, static_cast<uint32_t>(c.rate));
    EXPECT_EQ(info.chans, static_cast<uint32_t>(c.chans));
    EXPECT_EQ(info.flags & SAMPLE_8BITS, 0u);
    EXPECT_EQ(info.ctype == CTYPE_STREAM_WAV_PCM, std::string(c.ext) == "wav");

    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(StreamGetFilePosition(h, FILEPOS_END), static_cast<uint64_t>(st.st_size));

    const uint64_t len = ChannelGetLength(h, POS_BYTE);
    const uint64_t bpf = 2u * static_cast<uint64_t>(c.chans);
    EXPECT_EQ(len % bpf, 0u);
    const double secs = ChannelBytes2Seconds(h, len);
    EXPECT_NEAR(secs, 4.0, c.lengthTolerance + 1e-9);
    if (c.lossless) {
        EXPECT_EQ(len, static_cast<uint64_t>(4 * c.rate) * bpf);
    }

    EXPECT_EQ(ChannelIsActive(h), ACTIVE_PLAYING);
    EXPECT_EQ(ChannelGetPosition(h, POS_BYTE), 0u);
    std::vector<int16_t> pcm = DrainPcm(h);
    EXPECT_EQ(ChannelIsActive(h), ACTIVE_STOPPED);
    EXPECT_EQ(ChannelGetPosition(h, POS_BYTE), pcm.size() * 2);
    if (c.lossless) {
        EXPECT_EQ(pcm, fixtures::TonePcm(4.0, c.rate, c.chans, 1.0));
    } else {
        EXPECT_NEAR(static_cast<double>(pcm.size() * 2) / (c.rate * bpf), 4.0, 0.1);
        EXPECT_NEAR(FirstLoudFrame(pcm, c.chans), c.rate, c.rate * c.onsetTolerance);
    }
    EXPECT_TRUE(StreamFree(h));
}

TEST_P(DecodeFormat, SeekLandsExactlyOnTheTarget) {
    const FormatCase& c = GetParam();
    HSTREAM h = StreamCreateFile(path, 0, 0, STREAM_DECODE);
    ASSERT_NE(h, 0u);
    const uint64_t bpf = 2u * static_cast<uint64_t>(c.chans);
    // Forward past the onset, back before it, and to the very start.
    for (double target : {2.5, 0.75, 0.0}) {
        const uint64_t pos = static_cast<uint64_t>(target * c.rate) * bpf;
        ASSERT_TRUE(ChannelSetPosition(h, pos, POS_BYTE)) << target;
        EXPECT_EQ(ChannelGetPosition(h, POS_BYTE), pos);
        std::vector<int16_t> pcm = DrainPcm(h);
        const double rest = static_cast<double>(pcm.size() * 2) / (c.rate * bpf);
        EXPECT_NEAR(rest, 4.0 - target, c.lossless ? 1e-9 : 0.1) << target;
        if (target < 1.0) {
            EXPECT_NEAR(FirstLoudFrame(pcm, c.chans), (1.0 - target) * c.rate,
                        c.rate * c.onsetTolerance + c.rate / 1000)
                << target;
        } else {
            EXPECT_LT(FirstLoudFrame(pcm, c.chans), c.rate / 200) << target;
        }
        if (c.lossless) {
            std::vector<int16_t> all = fixtures::TonePcm(4.0, c.rate, c.chans, 1.0);
            EXPECT_TRUE(std::equal(pcm.begin(), pcm.end(), all.begin() + pos / 2)) << target;
        }
    }
    // The end is a place to be; beyond it is not.
    const uint64_t len = ChannelGetLength(h, POS_BYTE);
    EXPECT_TRUE(ChannelSetPosition(h, len, POS_BYTE));
    EXPECT_FALSE(ChannelSetPosition(h, len + 10 * bpf, POS_BYTE));
    StreamFree(h);
}

INSTANTIATE_TEST_SUITE_P(Formats, DecodeFormat, testing::ValuesIn(kFormats), Name);

TEST(Decode, EightBitWavHandsOutUnsignedBytes) {
    QTemporaryDir dir;
    const std::string path = dir.path().toStdString() + "/eight.wav";
    ASSERT_TRUE(fixtures::MakeWav(path, 1.0, 22050, 1, 8, 0.5));
    HSTREAM h = StreamCreateFile(path, 0, 0, STREAM_DECODE);
    ASSERT_NE(h, 0u);
    ChannelInfo info;
    ASSERT_TRUE(ChannelGetInfo(h, &info));
    EXPECT_EQ(info.flags & SAMPLE_8BITS, SAMPLE_8BITS);
    EXPECT_EQ(info.ctype, CTYPE_STREAM_WAV_PCM);
    EXPECT_EQ(ChannelGetLength(h, POS_BYTE), 22050u);
    EXPECT_DOUBLE_EQ(ChannelBytes2Seconds(h, 22050), 1.0);
    std::vector<uint8_t> buf(22050);
    ASSERT_EQ(ChannelGetData(h, buf.data(), 22050), 22050);
    const std::string file = fixtures::ReadFile(path);
    EXPECT_EQ(std::string(buf.begin(), buf.end()), file.substr(44));
    StreamFree(h);
}

TEST(Decode, PlayableStreamWithoutPlaybackHasLengthButNoData) {
    QTemporaryDir dir;
    const std::string path = dir.path().toStdString() + "/a.wav";
    ASSERT_TRUE(fixtures::MakeWav(path, 1.0, 44100, 2));
    HSTREAM h = StreamCreateFile(path, 0, 0, 0);
    ASSERT_NE(h, 0u);
    EXPECT_EQ(ChannelGetLength(h, POS_BYTE), 176400u);
    EXPECT_EQ(ChannelIsActive(h), ACTIVE_STOPPED);
    int16_t buf[16];
    EXPECT_EQ(ChannelGetData(h, buf, sizeof buf), -1);
    EXPECT_TRUE(StreamFree(h));
}

TEST(Decode, HandlesAreDistinctAndDeadOnesFailSafely) {
    QTemporaryDir dir;
    const std::string path = dir.path().toStdString() + "/a.wav";
    ASSERT_TRUE(fixtures::MakeWav(path, 0.5, 44100, 2));
    HSTREAM a = StreamCreateFile(path, 0, 0, STREAM_DECODE);
    HSTREAM b = StreamCreateFile(path, 0, 0, STREAM_DECODE);
    ASSERT_NE(a, 0u);
    ASSERT_NE(b, 0u);
    EXPECT_NE(a, b);
    EXPECT_TRUE(StreamFree(a));
    int16_t buf[64];
    ChannelInfo info;
    for (HSTREAM dead : {a, 0u, 12345678u}) {
        EXPECT_FALSE(StreamFree(dead));
        EXPECT_FALSE(ChannelGetInfo(dead, &info));
        EXPECT_EQ(ChannelGetLength(dead, POS_BYTE), static_cast<uint64_t>(-1));
        EXPECT_EQ(ChannelGetPosition(dead, POS_BYTE), static_cast<uint64_t>(-1));
        EXPECT_EQ(StreamGetFilePosition(dead, FILEPOS_END), static_cast<uint64_t>(-1));
        EXPECT_FALSE(ChannelSetPosition(dead, 0, POS_BYTE));
        EXPECT_LT(ChannelBytes2Seconds(dead, 100), 0);
        EXPECT_EQ(ChannelIsActive(dead), ACTIVE_STOPPED);
        EXPECT_EQ(ChannelGetData(dead, buf, sizeof buf), -1);
    }
    // b is untouched by a's end.
    EXPECT_EQ(ChannelGetData(b, buf, sizeof buf), static_cast<int32_t>(sizeof buf));
    // Partial frames are never handed out; a request below one frame gets none.
    EXPECT_EQ(ChannelGetData(b, buf, 7), 4);
    EXPECT_EQ(ChannelGetData(b, buf, 3), 0);
    StreamFree(b);
}

// A header written when the recording began, never completed, or a file cut
// short: the length is what the file holds, not what the header claims.
TEST(Decode, WavLengthComesFromTheDataPresent) {
    QTemporaryDir dir;
    const std::string pcm(44100 * 4, '\0'); // one second, 44100 Hz stereo 16-bit
    const struct {
        const char* name;
        uint32_t claimed;
    } cases[] = {{"provisional", 0}, {"unknown", 0xFFFFFFFFu}, {"cut", 10 * 44100 * 4}};
    for (const auto& c : cases) {
        const std::string path = dir.path().toStdString() + "/" + c.name + ".wav";
        ASSERT_TRUE(fixtures::WriteFile(path, fixtures::WavHeader(44100, 2, 16, c.claimed) + pcm));
        HSTREAM h = StreamCreateFile(path, 0, 0, STREAM_DECODE);
        ASSERT_NE(h, 0u) << c.name;
        EXPECT_EQ(ChannelGetLength(h, POS_BYTE), pcm.size()) << c.name;
        EXPECT_EQ(DrainPcm(h).size() * 2, pcm.size()) << c.name;
        StreamFree(h);
    }
}

// Nothing that is not a recording opens, and nothing damaged crashes or hangs.
TEST(Decode, BadInputGivesNoHandleOrAShortStream) {
    QTemporaryDir dir;
    const std::string d = dir.path().toStdString();
    const std::string mp3 = d + "/good.mp3";
    ASSERT_TRUE(fixtures::MakeRecording(mp3, "mp3", 2.0));
    const std::string mp3Bytes = fixtures::ReadFile(mp3);
    const std::string ogg = d + "/good.ogg";
    ASSERT_TRUE(fixtures::MakeRecording(ogg, "ogg", 2.0));
    const std::string oggBytes = fixtures::ReadFile(ogg);
    std::string garbage(20000, '\0');
    for (size_t i = 0; i < garbage.size(); ++i)
        garbage[i] = static_cast<char>((i * 2654435761u) >> 13);

    ASSERT_TRUE(fixtures::WriteFile(d + "/empty.wav", ""));
    ASSERT_TRUE(fixtures::WriteFile(d + "/text.wav", "not a recording\n"));
    ASSERT_TRUE(fixtures::WriteFile(d + "/header.wav", fixtures::WavHeader(44100, 2, 16, 0)));
    ASSERT_TRUE(fixtures::WriteFile(d + "/noise.mp3", garbage));
    ASSERT_TRUE(fixtures::WriteFile(d + "/cut.mp3", mp3Bytes.substr(0, 3000)));
    ASSERT_TRUE(fixtures::WriteFile(d + "/cut.ogg", oggBytes.substr(0, oggBytes.size() / 2)));
    std::string holed = mp3Bytes;
    for (size_t i = 2000; i < holed.size(); i += 997)
        holed[i] = static_cast<char>(0xFF);
    ASSERT_TRUE(fixtures::WriteFile(d + "/holed.mp3", holed));
    ASSERT_EQ(mkfifo((d + "/fifo.wav").c_str(), 0600), 0);
    ASSERT_EQ(mkdir((d + "/folder.wav").c_str(), 0700), 0);

    for (const char* name : {"missing.wav", "empty.wav", "text.wav", "fifo.wav", "folder.wav"})
        EXPECT_EQ(StreamCreateFile(d + "/" + name, 0, 0, STREAM_DECODE), 0u) << name;
    EXPECT_EQ(StreamCreateFile("", 0, 0, STREAM_DECODE), 0u);
    EXPECT_EQ(StreamCreateFile(mp3, 100, 0, STREAM_DECODE), 0u);

    // These may open; whatever they hold must decode without harm, and never
    // beyond a sane length.
    for (const char* name : {"header.wav", "noise.mp3", "cut.mp3", "cut.ogg", "holed.mp3"}) {
        HSTREAM h = StreamCreateFile(d + "/" + name, 0, 0, STREAM_DECODE);
        if (!h) continue;
        ChannelInfo info;
        EXPECT_TRUE(ChannelGetInfo(h, &info));
        EXPECT_LE(DrainPcm(h).size(), 10u * 48000 * 2) << name;
        ChannelSetPosition(h, 4 * info.chans * 1000, POS_BYTE);
        DrainPcm(h);
        StreamFree(h);
    }
}

} // namespace
