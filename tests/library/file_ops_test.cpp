#include "library/file_ops.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/settings.h"
#include "core/state.h"
#include "library/convert.h"
#include "platform/prompt.h"
#include "test_decode.h"

namespace fs = std::filesystem;
using library::FileOps;

namespace {

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string ReadFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
}

void PutLE(std::string& s, uint32_t v, int n) {
    for (int i = 0; i < n; ++i)
        s.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

// A 16-bit PCM WAV holding a sine of `freq` Hz.
void WriteSineWav(const std::string& path, uint32_t rate, uint16_t chans, double seconds,
                  double freq = 440) {
    const uint32_t frames = static_cast<uint32_t>(seconds * rate);
    const uint32_t data = frames * chans * 2;
    std::string h = "RIFF";
    PutLE(h, 36 + data, 4);
    h += "WAVEfmt ";
    PutLE(h, 16, 4);
    PutLE(h, 1, 2);
    PutLE(h, chans, 2);
    PutLE(h, rate, 4);
    PutLE(h, rate * chans * 2, 4);
    PutLE(h, chans * 2, 2);
    PutLE(h, 16, 2);
    h += "data";
    PutLE(h, data, 4);
    for (uint32_t i = 0; i < frames; ++i) {
        auto v = static_cast<int16_t>(12000 * std::sin(2 * M_PI * freq * i / rate));
        for (uint16_t c = 0; c < chans; ++c)
            PutLE(h, static_cast<uint16_t>(v), 2);
    }
    WriteFile(path, h);
}

// The file list as the file operations see it.
struct FakeList : library::ListAccess {
    std::vector<std::string> selected;
    bool empty = false;
    int rescans = 0, captions = 0;
    std::vector<bool> gridStates;
    std::vector<std::string> SelectedRowPaths() const override { return selected; }
    bool IsEmpty() const override { return empty; }
    void Rescan() override { ++rescans; }
    void ShowFileCaption() override { ++captions; }
    void SetGridEnabled(bool on) override { gridStates.push_back(on); }
    QWidget* MainWindow() override { return nullptr; }
};

// The output folder with a few recordings, the prompt scripted and the list
// seen through ListAccess.
class FileOpsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        folder = dir.path().toStdString();
        core::Settings = core::RecordingSettings{};
        core::Settings.FolderName = folder;
        core::ResetSessionState();
        FileOps = library::FileOpsState{};
        platform::SetPrompt(&prompt);
    }
    void TearDown() override {
        platform::SetPrompt(nullptr);
        library::SetFolderPicker(nullptr);
        library::CopyFaultForTests = nullptr;
    }
    std::string Path(const std::string& name) const { return folder + "/" + name; }
    std::string Make(const std::string& name, const std::string& bytes = "recording") {
        WriteFile(Path(name), bytes);
        return Path(name);
    }

    QTemporaryDir dir;
    std::string folder;
    platform::ScriptedPrompt prompt;
    FakeList list;
    std::vector<std::string>& selected = list.selected;
    bool& empty = list.empty;
    int& rescans = list.rescans;
    int& captions = list.captions;
    std::vector<bool>& gridStates = list.gridStates;
};

// ---- rename ----

TEST_F(FileOpsTest, RenameMovesTheFileAndMakesTheNewNameCurrent) {
    core::Session.SelectedFile = Make("take.wav", "take");
    prompt.textAnswers.push_back("take2");
    library::RenameRecording(list);
    EXPECT_FALSE(fs::exists(Path("take.wav")));
    EXPECT_EQ(ReadFile(Path("take2.wav")), "take");
    EXPECT_EQ(core::Session.SelectedFile, Path("take2.wav"));
    EXPECT_EQ(rescans, 1);
    EXPECT_EQ(captions, 1);
}

TEST_F(FileOpsTest, RenameCancelledOrUnchangedDoesNothing) {
    core::Session.SelectedFile = Make("take.wav");
    prompt.textAnswers.push_back(std::nullopt); // Cancel gives the proposal back
    prompt.textAnswers.push_back("take");
    library::RenameRecording(list);
    library::RenameRecording(list);
    EXPECT_TRUE(fs::exists(Path("take.wav")));
    EXPECT_EQ(rescans, 0);
    ASSERT_EQ(prompt.messages.size(), 2u); // the two input boxes, nothing else
}

TEST_F(FileOpsTest, RenameOntoAnExistingFileAsksOnTwoLines) {
    struct Case {
        bool yes;
        std::string take2After;
        bool takeAfter;
    } cases[] = {{true, "take", false}, {false, "other", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.yes);
        core::Session.SelectedFile = Make("take.wav", "take");
        Make("take2.wav", "other");
        prompt.messages.clear();
        prompt.textAnswers.push_back("take2");
        prompt.yesNoAnswers.push_back(c.yes);
        library::RenameRecording(list);
        ASSERT_EQ(prompt.messages.size(), 2u);
        EXPECT_EQ(prompt.messages[1], "take2 already exists.\nDo you want to replace it?");
        EXPECT_EQ(ReadFile(Path("take2.wav")), c.take2After);
        EXPECT_EQ(fs::exists(Path("take.wav")), c.takeAfter);
        EXPECT_EQ(core::Session.SelectedFile, c.yes ? Path("take2.wav") : Path("take.wav"));
        fs::remove(Path("take.wav"));
        fs::remove(Path("take2.wav"));
    }
}

TEST_F(FileOpsTest, RenameRefusesNamesThatAreNoFileNames) {
    const std::string names[] = {"a/b", std::string("a\0b", 3), ".", "..", "", "/"};
    for (const auto& name : names) {
        SCOPED_TRACE(name);
        core::Session.SelectedFile = Make("take.wav", "take");
        prompt.messages.clear();
        prompt.textAnswers.push_back(name);
        library::RenameRecording(list);
        ASSERT_EQ(prompt.messages.size(), 2u) << "a refusal must be said";
        EXPECT_FALSE(prompt.messages[1].empty());
        EXPECT_EQ(ReadFile(Path("take.wav")), "take");
        EXPECT_EQ(core::Session.SelectedFile, Path("take.wav"));
        EXPECT_EQ(rescans, 0);
        EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator{}), 1);
    }
}

TEST_F(FileOpsTest, FailedRenameIsReportedAndKeepsTheOldName) {
    core::Session.SelectedFile = Make("take.wav", "take");
    // The output folder has gone (or cannot be written): rename must fail.
    core::Settings.FolderName = folder + "/missing";
    prompt.textAnswers.push_back("new");
    library::RenameRecording(list);
    ASSERT_EQ(prompt.messages.size(), 2u);
    EXPECT_NE(prompt.messages[1].find("Could not rename take.wav"), std::string::npos);
    EXPECT_EQ(core::Session.SelectedFile, Path("take.wav"));
    EXPECT_EQ(ReadFile(Path("take.wav")), "take");
    EXPECT_EQ(rescans, 0);
}

TEST_F(FileOpsTest, FailedReplacingRenameKeepsTheFileItWouldReplace) {
    core::Session.SelectedFile = Make("take.wav", "take");
    fs::create_directory(Path("take2.wav")); // a folder cannot be replaced by a file
    Make("take2.wav/inside", "keep");
    prompt.textAnswers.push_back("take2");
    library::RenameRecording(list);
    EXPECT_EQ(ReadFile(Path("take2.wav/inside")), "keep");
    EXPECT_EQ(ReadFile(Path("take.wav")), "take");
    EXPECT_EQ(core::Session.SelectedFile, Path("take.wav"));
    EXPECT_NE(prompt.messages.back().find("Could not rename"), std::string::npos);
}

// ---- delete ----

TEST_F(FileOpsTest, DeleteAsksWithTheNamesAndDeletesOnlyOnYes) {
    struct Case {
        std::vector<std::string> rows;
        std::string question;
    } cases[] = {
        {{"a.wav"}, "Are you sure you want to delete the selected file a.wav?"},
        {{"a.wav", "b.mp3", "c.ogg"},
         "Are you sure you want to delete the 3 selected files?\n\na.wav\nb.mp3\nc.ogg\n"},
    };
    for (const auto& c : cases) {
        for (bool yes : {false, true}) {
            SCOPED_TRACE(c.question + (yes ? " yes" : " no"));
            selected.clear();
            for (const auto& r : c.rows)
                selected.push_back(Make(r));
            Make("other.wav");
            core::Session.SelectedFile = selected[0];
            prompt.messages.clear();
            prompt.yesNoAnswers.push_back(yes);
            rescans = 0;
            library::FileDelete(list);
            ASSERT_EQ(prompt.messages.size(), 1u);
            EXPECT_EQ(prompt.messages[0], c.question);
            EXPECT_EQ(prompt.captions.back(), "Delete File(s)");
            for (const auto& p : selected)
                EXPECT_EQ(fs::exists(p), !yes);
            EXPECT_TRUE(fs::exists(Path("other.wav")));
            EXPECT_EQ(core::Session.SelectedFile.empty(), yes);
            EXPECT_EQ(rescans, yes ? 1 : 0);
        }
    }
}

TEST_F(FileOpsTest, DeleteInAnEmptyListDoesNothing) {
    empty = true;
    selected = {Make("a.wav")};
    library::FileDelete(list);
    EXPECT_TRUE(prompt.messages.empty());
    EXPECT_TRUE(fs::exists(Path("a.wav")));
}

// ---- move ----

class MoveTest : public FileOpsTest {
  protected:
    void SetUp() override {
        FileOpsTest::SetUp();
        ASSERT_TRUE(target.isValid());
        library::SetFolderPicker([this](const std::string& title, const std::string& start) {
            pickerTitle = title;
            pickerStart = start;
            return pick;
        });
    }
    std::string Target(const std::string& name) const {
        return target.path().toStdString() + "/" + name;
    }
    QTemporaryDir target;
    std::optional<std::string> pick = target.path().toStdString();
    std::string pickerTitle, pickerStart;
};

TEST_F(MoveTest, MovesTheSelectedRowsAndForgetsTheCurrentFile) {
    selected = {Make("a.wav", "A"), Make("b.mp3", "B")};
    core::Session.SelectedFile = selected[0];
    library::MoveRecordings(list);
    EXPECT_EQ(pickerTitle, "Browse For Folder");
    EXPECT_EQ(pickerStart, folder);
    EXPECT_EQ(FileOps.MoveTarget, target.path().toStdString());
    EXPECT_EQ(ReadFile(Target("a.wav")), "A");
    EXPECT_EQ(ReadFile(Target("b.mp3")), "B");
    EXPECT_FALSE(fs::exists(selected[0]));
    EXPECT_FALSE(fs::exists(selected[1]));
    EXPECT_TRUE(core::Session.SelectedFile.empty());
    EXPECT_EQ(rescans, 1);
    EXPECT_TRUE(prompt.messages.empty());
}

TEST_F(MoveTest, CancelledBrowserOrRecordingMovesNothing) {
    selected = {Make("a.wav")};
    core::Session.SelectedFile = selected[0];
    pick = std::nullopt;
    library::MoveRecordings(list);
    pick = target.path().toStdString();
    core::Session.IsRecording = true;
    library::MoveRecordings(list);
    EXPECT_TRUE(fs::exists(selected[0]));
    EXPECT_EQ(core::Session.SelectedFile, selected[0]);
    EXPECT_EQ(rescans, 0);
}

TEST_F(MoveTest, ExistingTargetStopsTheMoveWithoutOverwriting) {
    selected = {Make("a.wav", "A"), Make("b.wav", "B"), Make("c.wav", "C")};
    WriteFile(Target("b.wav"), "old");
    core::Session.SelectedFile = selected[0];
    library::MoveRecordings(list);
    ASSERT_EQ(prompt.messages.size(), 1u);
    EXPECT_EQ(prompt.messages[0], "The specified file already exists");
    EXPECT_EQ(ReadFile(Target("a.wav")), "A"); // moved before the failure: stays moved
    EXPECT_EQ(ReadFile(Target("b.wav")), "old");
    EXPECT_EQ(ReadFile(Path("b.wav")), "B");
    EXPECT_EQ(ReadFile(Path("c.wav")), "C"); // after it: not moved
    EXPECT_FALSE(fs::exists(Target("c.wav")));
    EXPECT_EQ(rescans, 0);
}

// A second file system for the copy path; skipped where there is none.
std::string OtherFileSystem(const std::string& from) {
    struct stat a, b;
    if (::stat(from.c_str(), &a) != 0 || ::stat("/dev/shm", &b) != 0) return "";
    if (a.st_dev == b.st_dev || ::access("/dev/shm", W_OK) != 0) return "";
    return "/dev/shm";
}

TEST_F(FileOpsTest, MoveAcrossFileSystemsCopiesThenDeletes) {
    const std::string shm = OtherFileSystem(folder);
    if (shm.empty()) GTEST_SKIP() << "no second file system";
    QTemporaryDir other(QString::fromStdString(shm + "/kestrune-move-XXXXXX"));
    ASSERT_TRUE(other.isValid());
    const std::string big(300000, 'x'); // several copy chunks
    const std::string src = Make("a.wav", big);
    const std::string dst = other.path().toStdString() + "/a.wav";
    const auto written = fs::last_write_time(src) - std::chrono::hours(30);
    fs::last_write_time(src, written);

    struct Case {
        const char* what;
        std::function<bool(size_t)> fault;
        bool ok;
    } cases[] = {
        {"copy fails midway", [](size_t n) { return n < 100000; }, false},
        {"target exists", nullptr, false},
        {"copy completes", nullptr, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        library::CopyFaultForTests = c.fault;
        const bool exists = std::string(c.what) == "target exists";
        if (exists) WriteFile(dst, "old");
        std::string error;
        EXPECT_EQ(library::MoveOneFile(src, dst, &error), c.ok) << error;
        if (c.ok) {
            EXPECT_FALSE(fs::exists(src));
            EXPECT_EQ(ReadFile(dst), big);
            EXPECT_EQ(fs::last_write_time(dst), written) << "the recording's date must stay";
        } else {
            EXPECT_EQ(ReadFile(src), big);
            if (exists) {
                EXPECT_EQ(ReadFile(dst), "old");
                EXPECT_EQ(error, "The specified file already exists");
            } else {
                EXPECT_FALSE(fs::exists(dst)) << "the partial copy must go";
            }
            fs::remove(dst);
        }
    }
}

// ---- conversion naming and menu ----

TEST_F(FileOpsTest, ConversionTakesTheNumberAfterTheHighestInUse) {
    struct Case {
        std::vector<std::string> present;
        std::string expected;
    } cases[] = {
        {{}, "take(1).mp3"},
        {{"take(1).mp3"}, "take(2).mp3"},
        {{"take(1).mp3", "take(3).mp3"}, "take(4).mp3"},
        {{"take(2).mp3"}, "take(3).mp3"},
        {{"take(50).mp3"}, "take(51).mp3"},
        {{"take(51).mp3"}, "take(1).mp3"},
        {{"take(1).ogg", "other(5).mp3"}, "take(1).mp3"},
    };
    const std::string wav = Make("take.wav");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expected);
        for (const auto& p : c.present)
            Make(p);
        EXPECT_EQ(library::ConvertTargetFor(wav), Path(c.expected));
        for (const auto& p : c.present)
            fs::remove(Path(p));
    }
}

TEST_F(FileOpsTest, ConversionAsksBeforeOverwritingTake51) {
    core::Session.SelectedFile = Make("take.wav");
    Make("take(50).mp3");
    Make("take(51).mp3", "old");
    prompt.yesNoAnswers.push_back(false);
    library::ConvertCurrentToMp3(list);
    ASSERT_EQ(prompt.messages.size(), 1u);
    EXPECT_EQ(prompt.messages[0],
              Path("take(51).mp3") + " already exists.\nDo you want to overwrite it?");
    EXPECT_EQ(ReadFile(Path("take(51).mp3")), "old");
    EXPECT_EQ(rescans, 0);
}

TEST_F(FileOpsTest, ConversionOnlyStartsFromAWav) {
    core::Session.SelectedFile = Make("take.mp3");
    library::ConvertCurrentToMp3(list);
    EXPECT_TRUE(prompt.messages.empty());
    EXPECT_EQ(rescans, 0);
    EXPECT_TRUE(gridStates.empty());
}

TEST_F(FileOpsTest, MenuOffersConversionOnlyFor16BitWavAtTheEncoderRates) {
    struct Case {
        std::string file;
        bool recording;
        int bits, rate;
        bool commands, convert;
    } cases[] = {
        {"take.wav", false, 16, 44100, true, true},  {"take.WAV", false, 16, 48000, true, true},
        {"take.wav", false, 16, 32000, true, true},  {"take.wav", false, 16, 22050, true, false},
        {"take.wav", false, 8, 44100, true, false},  {"take.mp3", false, 16, 44100, true, false},
        {"take.wav", true, 16, 44100, false, false}, {"", false, 16, 44100, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file + " " + std::to_string(c.rate));
        core::Session.SelectedFile = c.file.empty() ? "" : Path(c.file);
        core::Session.IsRecording = c.recording;
        auto m = library::MenuStateFor(c.bits, c.rate);
        EXPECT_EQ(m.commandsEnabled, c.commands);
        EXPECT_EQ(m.convertShown, c.convert);
    }
}

TEST_F(FileOpsTest, ConvertItemShowsTheMp3BitRates) {
    core::Settings.MP3BitRate = 192;
    EXPECT_EQ(library::MenuItemText(4), "Convert to MP3 (192 kbps)");
    core::Settings.IsVBR = true;
    core::Settings.MinBitRate = 96;
    core::Settings.MaxBitRate = 256;
    EXPECT_EQ(library::MenuItemText(4), "Convert to MP3 (96-256 kbps)");
    EXPECT_EQ(library::MenuItemText(0), "");
    EXPECT_EQ(library::MenuItemText(6), "Delete File...");
}

// ---- conversion with the real encoder ----

TEST_F(FileOpsTest, ConversionWritesAnMp3OfTheSameLengthAndTone) {
    struct Case {
        uint32_t rate;
        uint16_t chans;
    } cases[] = {{44100, 2}, {44100, 1}, {48000, 2}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.rate) + "/" + std::to_string(c.chans));
        const std::string wav = Path("take.wav");
        WriteSineWav(wav, c.rate, c.chans, 3.0, 440);
        core::Session.SelectedFile = wav;
        gridStates.clear();
        rescans = 0;
        library::ConvertCurrentToMp3(list);
        EXPECT_TRUE(prompt.messages.empty()) << prompt.messages[0];
        EXPECT_EQ(gridStates, (std::vector<bool>{false, true}));
        EXPECT_EQ(rescans, 1);
        EXPECT_EQ(core::Session.SelectedFile, wav);
        EXPECT_FALSE(library::FormConvert().isVisible());
        auto d = testdecode::DecodeFile(Path("take(1).mp3"));
        ASSERT_TRUE(d.ok) << d.error;
        EXPECT_EQ(d.container, "mp3");
        EXPECT_EQ(d.rate, static_cast<int>(c.rate));
        EXPECT_EQ(d.channels, c.chans);
        EXPECT_NEAR(d.seconds(), 3.0, 0.1);
        auto x = testdecode::Channel(d, 0, 0.5, 2.0);
        EXPECT_NEAR(testdecode::ZeroCrossingFrequency(x, d.rate), 440, 5);
        EXPECT_EQ(library::FormConvert().Label1->text(), "Converting file ...100%");
        fs::remove(Path("take(1).mp3"));
    }
}

TEST_F(FileOpsTest, CancelAtFortyPercentLeavesNoMp3) {
    WriteSineWav(Path("take.wav"), 44100, 2, 5.0);
    core::Session.SelectedFile = Path("take.wav");
    auto& form = library::FormConvert();
    std::vector<int> seen;
    bool closeRefused = false;
    form.onProgress = [&](int percent) {
        seen.push_back(percent);
        if (percent >= 20 && !closeRefused) {
            form.close(); // the window's close request is refused while converting
            closeRefused = form.isVisible() && form.IsConverting;
        }
        if (percent >= 40) form.BtnCancel->click();
    };
    library::ConvertCurrentToMp3(list);
    form.onProgress = nullptr;
    EXPECT_TRUE(closeRefused);
    ASSERT_FALSE(seen.empty());
    EXPECT_GE(seen.back(), 40);
    EXPECT_LT(seen.back(), 50);
    EXPECT_FALSE(fs::exists(Path("take(1).mp3")));
    EXPECT_FALSE(form.isVisible());
    EXPECT_FALSE(form.IsConverting);
    EXPECT_EQ(rescans, 1);
}

TEST_F(FileOpsTest, MissingEncoderIsReportedAndWritesNothing) {
    WriteSineWav(Path("take.wav"), 44100, 2, 0.5);
    core::Session.SelectedFile = Path("take.wav");
    const std::string path = getenv("PATH") ? getenv("PATH") : "";
    setenv("PATH", "/nonexistent", 1);
    library::ConvertCurrentToMp3(list);
    setenv("PATH", path.c_str(), 1);
    ASSERT_EQ(prompt.messages.size(), 1u);
    EXPECT_EQ(prompt.messages[0], "Could not start encoding");
    EXPECT_FALSE(fs::exists(Path("take(1).mp3")));
}

TEST(ReadWavPcm, RefusesWhatIsNoPcmWav) {
    QTemporaryDir dir;
    const std::string p = dir.path().toStdString() + "/x.wav";
    using namespace std::string_literals;
    const std::string cases[] = {""s, "RIFF"s, "RIFF\0\0\0\0WAVE"s,
                                 "RIFF\0\0\0\0WAVEdata\4\0\0\0abcd"s,
                                 "RIFF\0\0\0\0WAVEfmt \xff\xff\xff\xff"s};
    for (const auto& c : cases) {
        WriteFile(p, c);
        library::WavPcm w;
        EXPECT_FALSE(library::ReadWavPcm(p, &w));
    }
    WriteSineWav(p, 32000, 1, 0.1);
    std::string bytes = ReadFile(p);
    bytes.resize(bytes.size() - 101); // cut mid-frame, as a hard stop leaves it
    WriteFile(p, bytes);
    library::WavPcm w;
    ASSERT_TRUE(library::ReadWavPcm(p, &w));
    EXPECT_EQ(w.sampleRate, 32000u);
    EXPECT_EQ(w.channels, 1);
    EXPECT_EQ(w.dataOffset, 44u);
    EXPECT_EQ(w.dataBytes, (bytes.size() - 44) / 2 * 2);
}

} // namespace
