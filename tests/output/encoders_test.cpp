// Every output format end to end through the real encoders, decoded back with
// FFmpeg; and what happens when an encoder or its file goes wrong.
#include <dirent.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <QDir>
#include <algorithm>
#include <fstream>
#include <functional>
#include <optional>

#include "audiolib/encode.h"
#include "output_fixture.h"
#include "test_decode.h"

using core::RecordingSettings;
using outtest::Fmt;

namespace {

struct FormatCase {
    const char* what;
    Fmt fmt;
    std::function<void(RecordingSettings&)> set;
    const char* container;
    const char* codec;
    int rate, channels;
    int bits;        // 0: not checked (lossy formats)
    int64_t bitRate; // 0: not checked
};

const FormatCase kFormats[] = {
    {"wav 44100 16-bit stereo", Fmt::Wav, [](RecordingSettings&) {}, "wav", "pcm_s16le", 44100, 2,
     16, 0},
    {"wav 22050 8-bit mono", Fmt::Wav,
     [](RecordingSettings& s) {
         s.SamplePerSecond = 22050;
         s.BitPerSample = 8;
         s.Channels = 1;
     },
     "wav", "pcm_u8", 22050, 1, 8, 0},
    {"wav 11025 8-bit mono", Fmt::Wav,
     [](RecordingSettings& s) {
         s.SamplePerSecond = 11025;
         s.BitPerSample = 8;
         s.Channels = 1;
     },
     "wav", "pcm_u8", 11025, 1, 8, 0},
    {"wav 96000 stereo", Fmt::Wav, [](RecordingSettings& s) { s.SamplePerSecond = 96000; }, "wav",
     "pcm_s16le", 96000, 2, 16, 0},
    {"mp3 cbr 192 joint stereo", Fmt::Mp3,
     [](RecordingSettings& s) {
         s.MP3BitRate = 192;
         s.MP3Mode = 1;
     },
     "mp3", "mp3float", 44100, 2, 0, 192000},
    {"mp3 vbr mono", Fmt::Mp3,
     [](RecordingSettings& s) {
         s.IsVBR = true;
         s.MP3Quality = 2;
         s.MinBitRate = 32;
         s.MaxBitRate = 320;
         s.MP3Mode = 3;
     },
     "mp3", "mp3float", 44100, 1, 0, 0},
    {"ogg bit rate 96", Fmt::Ogg, [](RecordingSettings& s) { s.OggRate = 96; }, "ogg", "vorbis",
     44100, 2, 0, 96000},
    {"ogg quality 3.5 mono", Fmt::Ogg,
     [](RecordingSettings& s) {
         s.IsOggQuality = true;
         s.OggQuality = 3.5f;
         s.Channels = 1;
     },
     "ogg", "vorbis", 44100, 1, 0, 0},
    {"flac 44100 stereo level 5", Fmt::Flac, [](RecordingSettings& s) { s.FlacCompression = 5; },
     "flac", "flac", 44100, 2, 16, 0},
    {"flac 22050 mono level 8", Fmt::Flac,
     [](RecordingSettings& s) {
         s.FlacCompression = 8;
         s.SamplePerSecond = 22050;
         s.Channels = 1;
     },
     "flac", "flac", 22050, 1, 16, 0},
    {"flac 8-bit 11025 mono (stored setting)", Fmt::Flac,
     [](RecordingSettings& s) {
         s.SamplePerSecond = 11025;
         s.BitPerSample = 8;
         s.Channels = 1;
     },
     "flac", "flac", 11025, 1, 8, 0},
    {"wma 64 stereo", Fmt::Wma, [](RecordingSettings& s) { s.WMARate = 64; }, "asf", "wmav2", 44100,
     2, 0, 64000},
    {"wma 128 mono", Fmt::Wma,
     [](RecordingSettings& s) {
         s.WMARate = 128;
         s.Channels = 1;
     },
     "asf", "wmav2", 44100, 1, 0, 128000},
};

class EncoderTest : public outtest::OutputTest {
  protected:
    void Configure(const FormatCase& c) {
        outtest::SelectFormat(c.fmt);
        c.set(core::Settings);
        OpenCapture();
    }
    void Configure(Fmt f) {
        outtest::SelectFormat(f);
        OpenCapture();
    }

    // Decodes a recording and checks that it holds `seconds` of the 1000 Hz
    // sine at the amplitude it was recorded with.
    void ExpectSine(const std::string& path, double seconds) {
        const auto d = testdecode::DecodeFile(path);
        ASSERT_TRUE(d.ok) << d.error;
        EXPECT_NEAR(d.seconds(), seconds, 0.25);
        for (int ch = 0; ch < d.channels; ++ch) {
            SCOPED_TRACE("channel " + std::to_string(ch));
            const auto x = testdecode::Channel(d, ch, 0.5, 1.0);
            EXPECT_NEAR(testdecode::ZeroCrossingFrequency(x, d.rate), 1000, 20);
            EXPECT_NEAR(testdecode::DftPeak(x, d.rate, 500, 2000, 10), 1000, 20);
            // Purity within one block: at 11025 Hz a block is 1102 frames, not
            // 1102.5, so the phase steps a little from one block to the next.
            const auto piece = testdecode::Channel(d, ch, 0.52, 0.05);
            EXPECT_GT(testdecode::ToneShare(piece, d.rate, 1000), 0.9);
            EXPECT_NEAR(testdecode::Peak(x), 16000, 2000);
        }
    }
};

TEST_F(EncoderTest, EveryFormatRecordsThreeSecondsOfTheTone) {
    int n = 0;
    for (const auto& c : kFormats) {
        SCOPED_TRACE(c.what);
        core::Settings = core::RecordingSettings{};
        core::Settings.FolderName = folder;
        Configure(c);
        ASSERT_TRUE(Start()) << (prompt.messages.empty() ? "" : prompt.messages.back());
        const std::string path = core::Session.SelectedFile;
        EXPECT_EQ(path, Named(++n, c.fmt));
        Deliver(30);
        EXPECT_TRUE(core::Session.IsRecording);
        output::CloseOutputs();
        EXPECT_TRUE(prompt.messages.empty()) << prompt.messages.front();

        const auto d = testdecode::DecodeFile(path);
        ASSERT_TRUE(d.ok) << d.error;
        EXPECT_EQ(d.container, c.container);
        EXPECT_EQ(d.codec, c.codec);
        EXPECT_EQ(d.rate, c.rate);
        EXPECT_EQ(d.channels, c.channels);
        if (c.bits) {
            EXPECT_EQ(d.bitsPerSample, c.bits);
        }
        if (c.bitRate) {
            EXPECT_EQ(d.bitRate, c.bitRate);
        }
        ExpectSine(path, 3.0);
    }
}

// Bit rates the WMA encoder lists are ones it really writes; below them it refuses.
TEST_F(EncoderTest, WmaRatesAreTheOnesTheEncoderAccepts) {
    auto pcm = Sine();
    for (uint32_t chans : {1u, 2u}) {
        SCOPED_TRACE(std::to_string(chans) + " channels");
        const auto rates = audiolib::WMA_EncodeGetRates(44100, chans, 0);
        ASSERT_GE(rates.size(), 2u);
        EXPECT_EQ(rates.back(), 0u);
        EXPECT_TRUE(std::is_sorted(rates.rbegin() + 1, rates.rend())) << "highest first";
        for (uint32_t want : {64000u, 128000u, 320000u})
            EXPECT_NE(std::find(rates.begin(), rates.end(), want), rates.end()) << want;
        for (size_t i = 0; i + 1 < rates.size(); ++i) {
            const std::string path = folder + "/rate" + std::to_string(rates[i]) + ".wma";
            auto h = audiolib::WMA_EncodeOpenFile(44100, chans, 0, rates[i], path);
            ASSERT_NE(h, 0u) << rates[i];
            for (int b = 0; b < 3; ++b)
                EXPECT_TRUE(audiolib::WMA_EncodeWrite(
                    h, pcm.data(), static_cast<uint32_t>(pcm.size() * sizeof pcm[0])));
            EXPECT_TRUE(audiolib::WMA_EncodeClose(h));
            const auto d = testdecode::DecodeFile(path);
            ASSERT_TRUE(d.ok) << d.error;
            EXPECT_EQ(d.bitRate, rates[i]);
            EXPECT_EQ(d.channels, static_cast<int>(chans));
        }
        const uint32_t lowest = rates[rates.size() - 2];
        EXPECT_EQ(
            audiolib::WMA_EncodeOpenFile(44100, chans, 0, lowest - 4000, folder + "/too-low.wma"),
            0u);
        EXPECT_FALSE(outtest::FileExists(folder + "/too-low.wma"));
    }
}

TEST_F(EncoderTest, FileThatCannotBeCreatedStopsBeforeStarting) {
    for (Fmt f : {Fmt::Wav, Fmt::Mp3, Fmt::Wma, Fmt::Ogg, Fmt::Flac}) {
        SCOPED_TRACE(outtest::Extension(f));
        prompt.messages.clear();
        core::Settings.FolderName = folder + "/no such folder";
        Configure(f);
        EXPECT_FALSE(Start());
        EXPECT_FALSE(core::Session.IsRecording);
        ASSERT_EQ(prompt.messages.size(), 1u);
        EXPECT_EQ(prompt.messages[0].rfind(
                      "Could not create the file \"" + folder + "/no such folder/record001", 0),
                  0u)
            << prompt.messages[0];
        EXPECT_FALSE(output::WriteOutputs());
        output::CloseOutputs();
        EXPECT_EQ(prompt.messages.size(), 1u);
        EXPECT_TRUE(QDir(QString::fromStdString(folder)).isEmpty());
    }
}

TEST_F(EncoderTest, MissingEncoderGivesItsMessage) {
    const std::pair<Fmt, const char*> cases[] = {{Fmt::Mp3, "Could not start MP3 recording"},
                                                 {Fmt::Ogg, "Could not start OGG recording"},
                                                 {Fmt::Flac, "Could not start FLAC recording!"}};
    const std::string path = getenv("PATH") ? getenv("PATH") : "";
    setenv("PATH", (folder + "/empty").c_str(), 1);
    for (auto [f, message] : cases) {
        SCOPED_TRACE(message);
        prompt.messages.clear();
        Configure(f);
        EXPECT_FALSE(Start());
        EXPECT_FALSE(core::Session.IsRecording);
        EXPECT_EQ(prompt.messages, std::vector<std::string>{message});
        EXPECT_FALSE(output::WriteOutputs());
        output::CloseOutputs();
        EXPECT_TRUE(QDir(QString::fromStdString(folder)).isEmpty());
    }
    setenv("PATH", path.c_str(), 1);
}

// An encoder that takes everything but fails while finishing its file (a
// stand-in script: the real encoders cannot be made to fail at that point).
TEST_F(EncoderTest, EncoderEndingWithAnErrorIsReportedAtStop) {
    const std::string bin = tmp.path().toStdString() + "/bin";
    ASSERT_EQ(mkdir(bin.c_str(), 0755), 0);
    std::ofstream(bin + "/lame") << "#!/bin/sh\ncat > /dev/null\nexit 3\n";
    ASSERT_EQ(chmod((bin + "/lame").c_str(), 0755), 0);
    const std::string path = getenv("PATH") ? getenv("PATH") : "";
    setenv("PATH", (bin + ":" + path).c_str(), 1);
    Configure(Fmt::Mp3);
    const bool started = Start();
    setenv("PATH", path.c_str(), 1);
    ASSERT_TRUE(started);
    Deliver(5);
    EXPECT_TRUE(core::Session.IsRecording);
    output::CloseOutputs();
    ASSERT_EQ(prompt.messages.size(), 1u);
    EXPECT_EQ(prompt.messages[0], "The MP3 encoder ended with an error while finishing \"" +
                                      Named(1, Fmt::Mp3) + "\"; the file may be incomplete.");
}

// An encoder that starts but quits soon after (here at once, as lame does on
// options it does not know): the start does not wait to see it die, so the
// first block finds it gone and stops the recording with the usual message.
TEST_F(EncoderTest, EncoderQuittingAfterItsStartStopsAtTheFirstBlock) {
    const std::string bin = tmp.path().toStdString() + "/bin";
    ASSERT_EQ(mkdir(bin.c_str(), 0755), 0);
    std::ofstream(bin + "/lame") << "#!/bin/sh\nexit 1\n";
    ASSERT_EQ(chmod((bin + "/lame").c_str(), 0755), 0);
    const std::string path = getenv("PATH") ? getenv("PATH") : "";
    setenv("PATH", (bin + ":" + path).c_str(), 1);
    Configure(Fmt::Mp3);
    const bool started = Start();
    setenv("PATH", path.c_str(), 1);
    if (!started) {
        // It was already gone when the start looked: the start's own message.
        EXPECT_EQ(prompt.messages, std::vector<std::string>{"Could not start MP3 recording"});
        return;
    }
    for (int i = 0; i < 1000 && audiolib::Encode_IsActive(output::Outputs.SourceStream); ++i)
        usleep(10000);
    Deliver(2);
    EXPECT_FALSE(core::Session.IsRecording);
    ASSERT_EQ(prompt.messages.size(), 1u);
    EXPECT_EQ(prompt.messages[0],
              "The MP3 encoder stopped unexpectedly. The recording was stopped; no file was left.");
    output::CloseOutputs();
    EXPECT_EQ(prompt.messages.size(), 1u);
}

// Our own child process running `name`, or -1.
pid_t FindChild(const std::string& name) {
    DIR* proc = opendir("/proc");
    if (!proc) return -1;
    pid_t found = -1;
    while (dirent* e = readdir(proc)) {
        if (e->d_name[0] < '0' || e->d_name[0] > '9') continue;
        const std::string stat = outtest::ReadFile(std::string("/proc/") + e->d_name + "/stat");
        const auto open = stat.find('('), close = stat.rfind(')');
        if (open == std::string::npos || close == std::string::npos) continue;
        const std::string comm = stat.substr(open + 1, close - open - 1);
        int ppid = 0;
        char state = 0;
        if (sscanf(stat.c_str() + close + 1, " %c %d", &state, &ppid) != 2) continue;
        if (comm == name && ppid == getpid() && state != 'Z') found = atoi(e->d_name);
    }
    closedir(proc);
    return found;
}

// Waits until a killed process has closed its files (it is a zombie then).
void WaitUntilDead(pid_t pid) {
    for (int i = 0; i < 1000; ++i) {
        const std::string stat = outtest::ReadFile("/proc/" + std::to_string(pid) + "/stat");
        const auto close = stat.rfind(')');
        if (close == std::string::npos || stat.substr(close + 2, 1) == "Z") return;
        usleep(5000);
    }
}

TEST_F(EncoderTest, KilledEncoderStopsTheRecordingWithAMessage) {
    // Default SIGPIPE, as a program that forgot to ignore it would have.
    signal(SIGPIPE, SIG_DFL);
    const std::pair<Fmt, const char*> cases[] = {
        {Fmt::Mp3, "lame"}, {Fmt::Ogg, "oggenc"}, {Fmt::Flac, "flac"}};
    for (auto [f, program] : cases) {
        SCOPED_TRACE(program);
        prompt.messages.clear();
        outtest::WriteFailures() = 0;
        Configure(f);
        ASSERT_TRUE(Start());
        const std::string path = core::Session.SelectedFile;
        Deliver(10);
        const pid_t pid = FindChild(program);
        ASSERT_GT(pid, 0);
        kill(pid, SIGKILL);
        WaitUntilDead(pid);
        Deliver(3);
        EXPECT_FALSE(core::Session.IsRecording);
        EXPECT_EQ(outtest::WriteFailures(), 1);
        ASSERT_EQ(prompt.messages.size(), 1u);
        EXPECT_EQ(prompt.messages[0].rfind(std::string("The ") +
                                               (f == Fmt::Mp3   ? "MP3"
                                                : f == Fmt::Ogg ? "OGG"
                                                                : "FLAC") +
                                               " encoder stopped unexpectedly. The recording was "
                                               "stopped;",
                                           0),
                  0u)
            << prompt.messages[0];
        // What the message says the file holds is what it holds.
        const auto d = testdecode::DecodeFile(path);
        const bool sound = d.ok && d.seconds() > 0;
        const bool saysKept =
            prompt.messages[0].find("keeps what was encoded") != std::string::npos;
        const bool saysNone = prompt.messages[0].find("holds no sound") != std::string::npos;
        const bool saysGone = prompt.messages[0].find("no file was left") != std::string::npos;
        // An encoder killed before it wrote anything leaves no file at all.
        const bool exists = access(path.c_str(), F_OK) == 0;
        EXPECT_TRUE(!exists ? saysGone
                    : sound ? saysKept
                            : saysNone)
            << prompt.messages[0] << " / " << d.seconds();
        output::CloseOutputs();
        EXPECT_EQ(prompt.messages.size(), 1u);
        EXPECT_EQ(FindChild(program), -1);
    }
    signal(SIGPIPE, SIG_IGN);
}

// Another program filled the disk and the encoder died of it: the message
// names the disk before the encoder.
TEST_F(EncoderTest, EncoderDyingOnAFullDiskNamesTheDisk) {
    uint64_t free = 1ull << 40;
    output::Limits.FreeBytes = [&](const std::string&) { return std::optional<uint64_t>(free); };
    Configure(Fmt::Mp3);
    ASSERT_TRUE(Start());
    Deliver(10);
    const pid_t pid = FindChild("lame");
    ASSERT_GT(pid, 0);
    free = 0;
    kill(pid, SIGKILL);
    WaitUntilDead(pid);
    Deliver(3);
    ASSERT_EQ(prompt.messages.size(), 1u);
    EXPECT_EQ(prompt.messages[0].rfind("The disk \"" + output::DiskOf(folder) +
                                           "\" is full. The MP3 encoder stopped unexpectedly.",
                                       0),
              0u)
        << prompt.messages[0];
}

TEST_F(EncoderTest, RemovedFolderStopsAnEncodedRecording) {
    for (Fmt f : {Fmt::Mp3, Fmt::Wma}) {
        SCOPED_TRACE(outtest::Extension(f));
        prompt.messages.clear();
        outtest::WriteFailures() = 0;
        mkdir(folder.c_str(), 0755);
        ASSERT_TRUE(outtest::FileExists(folder));
        Configure(f);
        ASSERT_TRUE(Start());
        Deliver(3);
        ASSERT_TRUE(QDir(QString::fromStdString(folder)).removeRecursively());
        Deliver(2);
        EXPECT_FALSE(core::Session.IsRecording);
        EXPECT_EQ(outtest::WriteFailures(), 1);
        ASSERT_EQ(prompt.messages.size(), 1u);
        EXPECT_NE(prompt.messages[0].find("was removed while recording"), std::string::npos)
            << prompt.messages[0];
        output::CloseOutputs();
        EXPECT_EQ(prompt.messages.size(), 1u);
        EXPECT_FALSE(outtest::FileExists(folder));
    }
}

// A WMA recording is on disk as it goes: what the file holds while the
// encoder is still open (all a killed recorder would leave) decodes to all
// but the last fraction of a second, at the lowest bit rate as at the highest.
TEST_F(EncoderTest, WmaIsOnDiskWhileRecording) {
    for (int rate : {24, 128, 320}) {
        SCOPED_TRACE(std::to_string(rate) + " kbit/s");
        core::Settings.WMARate = rate;
        Configure(Fmt::Wma);
        ASSERT_TRUE(Start());
        const std::string path = core::Session.SelectedFile;
        const std::string copy = folder + "/copy.wma";
        // Killed before the first block: a valid file without sound.
        { std::ofstream(copy, std::ios::binary) << outtest::ReadFile(path); }
        const auto empty = testdecode::DecodeFile(copy);
        EXPECT_TRUE(empty.ok) << empty.error;
        EXPECT_EQ(empty.seconds(), 0);
        Deliver(30);
        { std::ofstream(copy, std::ios::binary) << outtest::ReadFile(path); }
        const auto d = testdecode::DecodeFile(copy);
        ASSERT_TRUE(d.ok) << d.error;
        EXPECT_GT(d.seconds(), 2.5);
        EXPECT_LE(d.seconds(), 3.05);
        output::CloseOutputs();
        ExpectSine(path, 3.0);
        unlink(copy.c_str());
        unlink(path.c_str());
    }
}

// The disk-space guard, through the free-space seam: below the reserve every
// format is finished into a file that decodes, the message names the disk,
// a new recording is refused until space is freed, and then it records again.
TEST_F(EncoderTest, DiskGuardFinishesEveryFormatBeforeTheDiskFills) {
    uint64_t free = 1ull << 40;
    output::Limits.DiskCheckMs = 0;
    output::Limits.FreeBytes = [&](const std::string&) { return std::optional<uint64_t>(free); };
    for (Fmt f : {Fmt::Wav, Fmt::Mp3, Fmt::Wma, Fmt::Ogg, Fmt::Flac}) {
        SCOPED_TRACE(outtest::Extension(f));
        prompt.messages.clear();
        free = 1ull << 40;
        Configure(f);
        ASSERT_TRUE(Start());
        const std::string path = core::Session.SelectedFile;
        Deliver(20);
        EXPECT_TRUE(output::GuardDiskSpace());
        free = output::DiskReserveBytes() - 1;
        EXPECT_FALSE(output::GuardDiskSpace());
        EXPECT_FALSE(core::Session.IsRecording);
        const std::string disk = "The disk \"" + output::DiskOf(folder) + "\" is full";
        ASSERT_EQ(prompt.messages.size(), 1u);
        EXPECT_EQ(prompt.messages[0].rfind(disk, 0), 0u) << prompt.messages[0];
        EXPECT_NE(prompt.messages[0].find("\"" + path + "\" is complete"), std::string::npos)
            << prompt.messages[0];
        EXPECT_FALSE(output::WriteOutputs());
        EXPECT_TRUE(output::GuardDiskSpace()) << "nothing is open any more";
        ExpectSine(path, 2.0);

        // Still too little: nothing starts and no file is made.
        EXPECT_FALSE(Start());
        EXPECT_EQ(prompt.messages.size(), 2u);
        EXPECT_EQ(prompt.messages.back().rfind(disk, 0), 0u) << prompt.messages.back();
        EXPECT_FALSE(outtest::FileExists(core::Session.SelectedFile));
        // Space freed: the next recording runs.
        free = output::DiskReserveBytes();
        ASSERT_TRUE(Start());
        Deliver(5);
        EXPECT_TRUE(output::GuardDiskSpace());
        output::CloseOutputs();
        EXPECT_EQ(prompt.messages.size(), 2u);
        unlink(path.c_str());
        unlink(core::Session.SelectedFile.c_str());
    }
}

// The reserve in bytes per format: the margin's seconds at the format's
// highest data rate, above the fixed part.
TEST(DiskReserve, FollowsTheFormatsDataRate) {
    struct Case {
        const char* what;
        Fmt fmt;
        std::function<void(RecordingSettings&)> set;
        uint64_t rate; // bytes per second
    } cases[] = {
        {"wav 44100 stereo 16", Fmt::Wav, [](RecordingSettings&) {}, 176400},
        {"wav 11025 mono 8", Fmt::Wav,
         [](RecordingSettings& s) {
             s.SamplePerSecond = 11025;
             s.Channels = 1;
             s.BitPerSample = 8;
         },
         11025},
        {"mp3 cbr 128", Fmt::Mp3, [](RecordingSettings&) {}, 16000},
        {"mp3 vbr up to 320", Fmt::Mp3,
         [](RecordingSettings& s) {
             s.IsVBR = true;
             s.MaxBitRate = 320;
         },
         40000},
        {"wma 64", Fmt::Wma, [](RecordingSettings& s) { s.WMARate = 64; }, 8000},
        {"ogg 160", Fmt::Ogg, [](RecordingSettings& s) { s.OggRate = 160; }, 40000},
        {"ogg quality", Fmt::Ogg, [](RecordingSettings& s) { s.IsOggQuality = true; }, 62500},
        {"flac 44100 stereo", Fmt::Flac, [](RecordingSettings&) {}, 176400 + 176400 / 50},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        core::Settings = RecordingSettings{};
        outtest::SelectFormat(c.fmt);
        c.set(core::Settings);
        EXPECT_EQ(output::WorstDataRate(), c.rate);
        EXPECT_EQ(output::DiskReserveBytes(), (1u << 20) + 5 * c.rate);
    }
}

// The guard on a real small disk: a recording in every format stops before
// the disk is full (no write ever fails), decodes, and a new one runs once
// the space is freed.
TEST_F(EncoderTest, DiskGuardOnASmallDisk) {
    const std::string disk = tmp.path().toStdString() + "/disk";
    ASSERT_EQ(mkdir(disk.c_str(), 0755), 0);
    if (getuid() != 0 || mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=8m") != 0)
        GTEST_SKIP() << "mounting a small disk needs root";
    struct Unmount {
        std::string dir;
        ~Unmount() { umount2(dir.c_str(), MNT_DETACH); }
    } unmount{disk};
    output::Limits.DiskCheckMs = 0;
    core::Settings.FolderName = disk;
    for (Fmt f : {Fmt::Wav, Fmt::Mp3, Fmt::Wma, Fmt::Ogg, Fmt::Flac}) {
        SCOPED_TRACE(outtest::Extension(f));
        prompt.messages.clear();
        outtest::WriteFailures() = 0;
        Configure(f);
        // Leave the reserve and about two seconds of this format.
        struct statvfs v;
        ASSERT_EQ(statvfs(disk.c_str(), &v), 0);
        const uint64_t free = static_cast<uint64_t>(v.f_bavail) * v.f_frsize;
        const uint64_t leave = output::DiskReserveBytes() + 2 * output::WorstDataRate();
        ASSERT_GT(free, leave);
        const std::string filler = disk + "/filler";
        { std::ofstream(filler, std::ios::binary) << std::string(free - leave, 'f'); }
        ASSERT_TRUE(Start());
        const std::string path = core::Session.SelectedFile;
        int blocks = 0;
        // The encoders write behind the pipe: give them time to catch up.
        while (core::Session.IsRecording && blocks < 600) {
            Deliver(1);
            ++blocks;
            usleep(10000);
            if (!output::GuardDiskSpace()) core::Session.IsRecording = false;
        }
        EXPECT_LT(blocks, 600) << "the guard never stopped the recording";
        EXPECT_EQ(outtest::WriteFailures(), 0) << "a write reached the end of the disk";
        ASSERT_EQ(prompt.messages.size(), 1u);
        EXPECT_EQ(prompt.messages[0].rfind("The disk \"" + disk + "\" is full", 0), 0u)
            << prompt.messages[0];
        const auto d = testdecode::DecodeFile(path);
        ASSERT_TRUE(d.ok) << d.error;
        EXPECT_NEAR(d.seconds(), blocks / 10.0, 0.3);
        // Space freed: recording works again.
        unlink(filler.c_str());
        ASSERT_TRUE(Start());
        Deliver(10);
        output::CloseOutputs();
        ExpectSine(core::Session.SelectedFile, 1.0);
        unlink(path.c_str());
        unlink(core::Session.SelectedFile.c_str());
    }
}

// The path reaches every encoder as one argument, never through a shell.
TEST_F(EncoderTest, HostileFolderNamesRecordWithEveryEncoder) {
    const std::string base = tmp.path().toStdString();
    const std::string hostile =
        base + "/-dash \"quoted\" $(touch pwned) `touch pwned2`; Müller 東京";
    ASSERT_EQ(mkdir(hostile.c_str(), 0755), 0);
    int n = 0;
    for (Fmt f : {Fmt::Wav, Fmt::Mp3, Fmt::Wma, Fmt::Ogg, Fmt::Flac}) {
        SCOPED_TRACE(outtest::Extension(f));
        core::Settings.FolderName = hostile;
        Configure(f);
        ASSERT_TRUE(Start()) << (prompt.messages.empty() ? "" : prompt.messages.back());
        const std::string path =
            hostile + "/record" + output::RecordNumberText(++n) + outtest::Extension(f);
        EXPECT_EQ(core::Session.SelectedFile, path);
        Deliver(15);
        output::CloseOutputs();
        EXPECT_TRUE(prompt.messages.empty()) << prompt.messages.front();
        ExpectSine(path, 1.5);
    }
    // Only the five recordings, and no stray files from a shell anywhere near.
    EXPECT_EQ(QDir(QString::fromStdString(hostile)).entryList(QDir::Files).size(), 5);
    EXPECT_EQ(QDir(QString::fromStdString(base)).entryList(QDir::Files).size(), 0);
    EXPECT_FALSE(outtest::FileExists("pwned"));
    EXPECT_FALSE(outtest::FileExists("pwned2"));
}

} // namespace
