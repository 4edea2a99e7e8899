// Recording file names and the encoder command lines.
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <functional>

#include "output/output.h"
#include "output_fixture.h"
#include "platform/process.h"

using outtest::Fmt;

namespace {

class NamingTest : public outtest::OutputTest {
  protected:
    void Touch(const std::string& name) { std::ofstream(folder + "/" + name) << "x"; }
};

TEST(RecordNumberText, PadsToThreeDigitsOnly) {
    const std::pair<int, const char*> cases[] = {{1, "001"},     {9, "009"},        {10, "010"},
                                                 {99, "099"},    {100, "100"},      {999, "999"},
                                                 {1000, "1000"}, {100000, "100000"}};
    for (auto [n, text] : cases)
        EXPECT_EQ(output::RecordNumberText(n), text) << n;
}

TEST_F(NamingTest, PicksLowestNumberFreeForAllFormats) {
    struct Case {
        const char* what;
        std::vector<std::string> present;
        int expected;
    };
    std::vector<std::string> upTo999;
    const char* exts[] = {".wav", ".mp3", ".wma", ".ogg", ".flac"};
    for (int n = 1; n <= 999; ++n)
        upTo999.push_back("record" + output::RecordNumberText(n) + exts[n % 5]);
    const Case cases[] = {
        {"empty folder", {}, 1},
        {"a wav and an ogg take their numbers", {"record001.wav", "record002.ogg"}, 3},
        {"a gap is reused", {"record002.mp3"}, 1},
        {"every extension counts", {"record001.wma", "record002.flac", "record003.mp3"}, 4},
        {"other names do not count", {"record001.txt", "record1.wav", "Record001.wav"}, 1},
        {"record1000 follows record999", upTo999, 1000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        for (const auto& name : c.present)
            Touch(name);
        for (Fmt f : {Fmt::Wav, Fmt::Mp3, Fmt::Wma, Fmt::Ogg, Fmt::Flac}) {
            outtest::SelectFormat(f);
            core::Session.SelectedFile.clear();
            ASSERT_TRUE(output::NextRecordingName());
            EXPECT_EQ(core::Session.SelectedFile, Named(c.expected, f));
        }
        for (const auto& name : c.present)
            unlink((folder + "/" + name).c_str());
    }
}

TEST_F(NamingTest, AnythingOfThatNameTakesTheNumber) {
    ASSERT_EQ(mkdir((folder + "/record001.flac").c_str(), 0755), 0);
    ASSERT_EQ(symlink("/nonexistent/target", (folder + "/record002.wav").c_str()), 0);
    outtest::SelectFormat(Fmt::Mp3);
    ASSERT_TRUE(output::NextRecordingName());
    EXPECT_EQ(core::Session.SelectedFile, Named(3, Fmt::Mp3));
}

TEST_F(NamingTest, WithSeveralFormatsOnTheLastInOrderWins) {
    auto& s = core::Settings;
    s.IsWav = s.IsMP3 = s.IsFLAC = true;
    ASSERT_TRUE(output::NextRecordingName());
    EXPECT_EQ(core::Session.SelectedFile, Named(1, Fmt::Flac));
    s.IsFLAC = false;
    ASSERT_TRUE(output::NextRecordingName());
    EXPECT_EQ(core::Session.SelectedFile, Named(1, Fmt::Mp3));
}

TEST_F(NamingTest, RootFolderGivesDoubledSlash) {
    core::Settings.FolderName = "/";
    outtest::SelectFormat(Fmt::Mp3);
    if (outtest::FileExists("//record001.mp3") || outtest::FileExists("/record001.wav"))
        GTEST_SKIP() << "the root folder holds recordings";
    ASSERT_TRUE(output::NextRecordingName());
    EXPECT_EQ(core::Session.SelectedFile, "//record001.mp3");
}

TEST_F(NamingTest, LastNumberIsUsableAndBeyondItNothingIsChosen) {
    output::Limits.MaxRecordNumber = 3;
    outtest::SelectFormat(Fmt::Wav);
    Touch("record001.mp3");
    Touch("record002.wav");
    ASSERT_TRUE(output::NextRecordingName());
    EXPECT_EQ(core::Session.SelectedFile, Named(3, Fmt::Wav));

    Touch("record003.ogg");
    core::Session.SelectedFile = folder + "/record002.wav";
    EXPECT_FALSE(output::NextRecordingName());
    EXPECT_EQ(core::Session.SelectedFile, folder + "/record002.wav");
}

TEST_F(NamingTest, WhenNoNameIsFreeTheEarlierRecordingIsNotOverwritten) {
    output::Limits.MaxRecordNumber = 1;
    outtest::SelectFormat(Fmt::Wav);
    OpenCapture();
    Touch("record001.wav");
    core::Session.SelectedFile = folder + "/record001.wav";
    EXPECT_FALSE(output::NextRecordingName());
    core::Session.IsRecording = true;
    EXPECT_FALSE(output::OpenOutputs());
    EXPECT_FALSE(core::Session.IsRecording);
    EXPECT_EQ(outtest::ReadFile(folder + "/record001.wav"), "x");
    ASSERT_EQ(prompt.messages.size(), 1u);
    EXPECT_NE(prompt.messages[0].find("record001 to record001"), std::string::npos)
        << prompt.messages[0];

    // A name freed again lets the next recording start.
    unlink((folder + "/record001.wav").c_str());
    EXPECT_TRUE(Start());
}

struct CommandCase {
    const char* what;
    std::function<void(core::RecordingSettings&)> set;
    std::string (*build)(const std::string&);
    std::string path;
    std::string expected;
};

TEST(CommandLines, MatchCharacterForCharacter) {
    using core::RecordingSettings;
    const CommandCase cases[] = {
        {"mp3 cbr stereo", [](RecordingSettings&) {}, output::BuildLameCommandLine,
         "C:\\Music\\record001.mp3", "lame -b 128 -m s - \"C:\\Music\\record001.mp3\""},
        {"mp3 joint stereo 192",
         [](RecordingSettings& s) {
             s.MP3BitRate = 192;
             s.MP3Mode = 1;
         },
         output::BuildLameCommandLine, "C:\\Music\\record004.mp3",
         "lame -b 192 -m j - \"C:\\Music\\record004.mp3\""},
        {"mp3 dual channel", [](RecordingSettings& s) { s.MP3Mode = 2; },
         output::BuildLameCommandLine, "/m/record001.mp3",
         "lame -b 128 -m d - \"/m/record001.mp3\""},
        {"mp3 vbr defaults",
         [](RecordingSettings& s) {
             s.IsVBR = true;
             s.MP3Mode = 1;
         },
         output::BuildLameCommandLine, "C:\\Music\\record001.mp3",
         "lame -v -V 4 -b 96 -B 256 -m j - \"C:\\Music\\record001.mp3\""},
        {"mp3 vbr quality 0, 32 to 320, mono",
         [](RecordingSettings& s) {
             s.IsVBR = true;
             s.MP3Quality = 0;
             s.MinBitRate = 32;
             s.MaxBitRate = 320;
             s.MP3Mode = 3;
         },
         output::BuildLameCommandLine, "C:\\Music\\record001.mp3",
         "lame -v -V 0 -b 32 -B 320 -m m - \"C:\\Music\\record001.mp3\""},
        {"ogg bit rate", [](RecordingSettings&) {}, output::BuildOggencCommandLine,
         "C:\\Music\\record001.ogg", "oggenc -b 128 -o \"C:\\Music\\record001.ogg\" -"},
        {"ogg quality 6",
         [](RecordingSettings& s) {
             s.IsOggQuality = true;
             s.OggQuality = 6;
         },
         output::BuildOggencCommandLine, "C:\\Music\\record001.ogg",
         "oggenc -q 6 -o \"C:\\Music\\record001.ogg\" -"},
        {"ogg quality 2.5",
         [](RecordingSettings& s) {
             s.IsOggQuality = true;
             s.OggQuality = 2.5f;
         },
         output::BuildOggencCommandLine, "/m/record001.ogg",
         "oggenc -q 2.5 -o \"/m/record001.ogg\" -"},
        {"flac stereo level 5", [](RecordingSettings& s) { s.FlacCompression = 5; },
         output::BuildFlacCommandLine, "C:\\Music\\record001.flac",
         "flac -s  -5 --channels=2 --bps=16 --sample-rate=44100 - -o "
         "\"C:\\Music\\record001.flac\""},
        {"flac mono 22050 level 8",
         [](RecordingSettings& s) {
             s.FlacCompression = 8;
             s.Channels = 1;
             s.SamplePerSecond = 22050;
         },
         output::BuildFlacCommandLine, "C:\\Music\\record001.flac",
         "flac -s  -8 --channels=1 --bps=16 --sample-rate=22050 - -o "
         "\"C:\\Music\\record001.flac\""},
    };
    for (const auto& c : cases) {
        core::Settings = core::RecordingSettings{};
        c.set(core::Settings);
        EXPECT_EQ(c.build(c.path), c.expected) << c.what;
    }
}

TEST(CommandLines, OggQualityIsTheShortestText) {
    const std::pair<float, const char*> cases[] = {
        {6, "6"}, {0, "0"}, {-1, "-1"}, {10, "10"}, {2.5f, "2.5"}, {0.1f, "0.1"}, {4.3f, "4.3"}};
    for (auto [q, text] : cases)
        EXPECT_EQ(output::OggQualityText(q), text) << q;
}

// Whatever the path holds, the command line gives it back as one argument and
// leaves the encoder's own arguments as they are.
TEST(CommandLines, HostilePathsSplitBackIntoOneArgument) {
    core::Settings = core::RecordingSettings{};
    const std::string paths[] = {"/music/with space/record001.x",
                                 "/music/a \"b\"/record001.x",
                                 "/music/$(touch pwned)/`id`;|&/record001.x",
                                 "/music/-lead/record001.x",
                                 "/music/Müller 東京/record001.x",
                                 "/music/back\\slash\\/record001.x",
                                 "/music/trailing\\"};
    struct Builder {
        std::string (*build)(const std::string&);
        size_t at, count; // where the path must be, how many arguments in all
    };
    const Builder builders[] = {{output::BuildLameCommandLine, 6, 7},
                                {output::BuildOggencCommandLine, 4, 6},
                                {output::BuildFlacCommandLine, 8, 9}};
    for (const auto& path : paths)
        for (const auto& b : builders) {
            const std::string line = b.build(path);
            auto args = platform::SplitCommandLine(line);
            ASSERT_EQ(args.size(), b.count) << line;
            EXPECT_EQ(args[b.at], path) << line;
        }
    // A relative path starting with "-" would read as an option.
    auto args = platform::SplitCommandLine(output::BuildLameCommandLine("-rec.mp3"));
    EXPECT_EQ(args.back(), "./-rec.mp3");
}

} // namespace
