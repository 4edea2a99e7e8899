#include "library/scan.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <QTimer>
#include <cmath>
#include <map>
#include <set>

#include "core/settings.h"
#include "core/state.h"
#include "inspect/audio_fixtures.h"
#include "output/output.h"
#include "platform/prompt.h"

using namespace library;

namespace {

bool Exists(const std::string& p) {
    struct stat st;
    return lstat(p.c_str(), &st) == 0;
}

std::set<std::string> ListedNames() {
    std::set<std::string> names;
    for (int i = 1; i <= RecordingList.Count; ++i)
        names.insert(RecordingList.Entries[i].FileName);
    return names;
}

void SetMTime(const std::string& path, int year, int mon, int day, int h, int m, int s) {
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = mon - 1;
    t.tm_mday = day;
    t.tm_hour = h;
    t.tm_min = m;
    t.tm_sec = s;
    t.tm_isdst = -1;
    struct timespec times[2];
    times[0].tv_sec = times[1].tv_sec = mktime(&t);
    times[0].tv_nsec = times[1].tv_nsec = 0;
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

class Scan : public testing::Test {
  protected:
    QTemporaryDir dir, outside;
    std::string d;
    void SetUp() override {
        d = dir.path().toStdString();
        core::Settings = core::RecordingSettings{};
        core::Settings.FolderName = d;
        core::ResetSessionState();
        RecordingList = RecordingListState{};
    }
    void TearDown() override { output::Outputs = output::OutputState{}; }
    std::string P(const std::string& name) const { return d + "/" + name; }
    void Bytes(const std::string& name, size_t n) {
        ASSERT_TRUE(fixtures::WriteFile(P(name), std::string(n, 'x')));
    }
};

TEST_F(Scan, DeletesOnlyEmptyRecordingsAndListsOnlyRecordings) {
    ASSERT_TRUE(fixtures::WriteFile(P("test.wav"), fixtures::WavHeader(44100, 2, 16, 0)));
    Bytes("notes.txt", 30);
    Bytes("short.FLAC", 49);
    Bytes("take.mp4", 20);
    Bytes("noext", 10);
    Bytes("odd.ogg", 50); // not a real OGG, but not empty either: listed, never deleted
    ASSERT_TRUE(fixtures::MakeRecording(P("Take.Mp3"), "mp3", 2.0));
    ASSERT_TRUE(fixtures::MakeWav(P("ten.wav"), 10.0, 44100, 2));
    ASSERT_TRUE(fixtures::MakeWav(P(".hidden.wav"), 1.0, 44100, 2));
    ASSERT_EQ(mkdir(P("folder.wav").c_str(), 0700), 0);
    ASSERT_TRUE(fixtures::WriteFile(P("folder.wav") + "/inner.wav", "tiny"));
    // Links: one to a tiny file outside, one to a recording inside.
    const std::string far = outside.path().toStdString() + "/far.wav";
    ASSERT_TRUE(fixtures::WriteFile(far, "tiny"));
    ASSERT_EQ(symlink(far.c_str(), P("out.wav").c_str()), 0);
    ASSERT_EQ(symlink(P("ten.wav").c_str(), P("alias.wav").c_str()), 0);

    FindFiles();

    EXPECT_EQ(ListedNames(),
              (std::set<std::string>{"Take.Mp3", "ten.wav", "odd.ogg", "alias.wav"}));
    EXPECT_EQ(RecordingList.Count, 4);
    EXPECT_FALSE(Exists(P("test.wav")));
    EXPECT_FALSE(Exists(P("short.FLAC")));
    for (const char* kept : {"notes.txt", "take.mp4", "noext", "odd.ogg", ".hidden.wav",
                             "folder.wav/inner.wav", "out.wav", "alias.wav"})
        EXPECT_TRUE(Exists(P(kept))) << kept;
    EXPECT_TRUE(Exists(far));
    EXPECT_EQ(fixtures::ReadFile(far), "tiny");

    std::map<std::string, RecordingEntry> byName;
    for (int i = 1; i <= RecordingList.Count; ++i)
        byName[RecordingList.Entries[i].FileName] = RecordingList.Entries[i];
    EXPECT_EQ(byName["ten.wav"].DurationText, "0:00:10");
    EXPECT_EQ(byName["alias.wav"].DurationText, "0:00:10");
    EXPECT_EQ(byName["Take.Mp3"].DurationText, "0:00:02");
    EXPECT_EQ(byName["odd.ogg"].DurationText, "0:00:00");
    EXPECT_EQ(byName["ten.wav"].FullPath, P("ten.wav"));

    // The grid is reset: no selection, Count + 1 rows, all empty until ShowFiles.
    EXPECT_EQ(RecordingList.Grid.RowCount, 5);
    EXPECT_EQ(RecordingList.Grid.SelectedRow, -1);
    for (const auto& row : RecordingList.Grid.Cells)
        for (const auto& cell : row)
            EXPECT_EQ(cell, "");
}

TEST_F(Scan, EmptyMissingAndUnreadableFoldersGiveAnEmptyList) {
    const std::string locked = P("locked");
    ASSERT_EQ(mkdir(locked.c_str(), 0000), 0);
    for (const std::string& folder : {d, d + "/missing", locked, std::string()}) {
        core::Settings.FolderName = folder;
        RecordingList.Count = 7;
        FindFiles();
        EXPECT_EQ(RecordingList.Count, 0) << folder;
        EXPECT_EQ(RecordingList.Grid.RowCount, 2) << folder;
        ASSERT_EQ(RecordingList.Grid.Cells.size(), 2u);
        EXPECT_EQ(RecordingList.Grid.Cells[1], (std::array<std::string, 3>{}));
        ShowFiles(); // nothing to fill, nothing to break
    }
    chmod(locked.c_str(), 0700);
}

TEST_F(Scan, TheFileBeingRecordedIsNeverDeleted) {
    const std::string path = P("record001.wav");
    ASSERT_TRUE(fixtures::WriteFile(path, fixtures::WavHeader(44100, 2, 16, 0)));
    output::Outputs.WavPath = path;
    output::Outputs.WavFile = open(path.c_str(), O_RDONLY);
    ASSERT_GE(output::Outputs.WavFile, 0);
    FindFiles();
    EXPECT_TRUE(Exists(path));
    EXPECT_EQ(ListedNames(), std::set<std::string>{"record001.wav"});
    close(output::Outputs.WavFile);
    output::Outputs = output::OutputState{};
    FindFiles();
    EXPECT_FALSE(Exists(path));
}

// Events run between files: a timer keeps ticking, and a scan it asks for is
// run after the current one instead of inside it.
TEST_F(Scan, EventsRunPerFileAndANestedScanWaits) {
    for (int i = 0; i < 12; ++i)
        ASSERT_TRUE(fixtures::MakeWav(P("r" + std::to_string(i) + ".wav"), 0.1, 8000, 1));
    int ticks = 0, nested = 0;
    QTimer tick;
    tick.setInterval(0);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        ++ticks;
        if (ticks == 3) {
            // Added during the scan; the rescan must see it.
            ASSERT_TRUE(fixtures::MakeWav(P("late.wav"), 0.1, 8000, 1));
            ++nested;
            FindFiles();
        }
    });
    tick.start();
    FindFiles();
    tick.stop();
    EXPECT_EQ(nested, 1);
    EXPECT_GE(ticks, 12);
    EXPECT_EQ(RecordingList.Count, 13);
    EXPECT_TRUE(ListedNames().count("late.wav"));
}

TEST(DurationText, RoundingCarriesAndTexts) {
    const struct {
        double seconds;
        const char* text;
    } cases[] = {
        {0, "0:00:00"},
        {2.5, "0:00:02"},
        {3.5, "0:00:04"},
        {59.5, "0:01:00"},
        {187, "0:03:07"},
        {3723, "1:02:03"},
        {3599.6, "1:00:00"},
        {43200, "12:00:00"},
        {35999.4, "9:59:59"},
        {360000, "10:00:00"}, // 100 hours: the hours text keeps two
                              // characters
        {-1, "0:00:00"},
        {NAN, "0:00:00"},
        {INFINITY, "0:00:00"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DurationText(c.seconds), c.text) << c.seconds;
}

TEST(DurationText, MeasuredFromTheFile) {
    QTemporaryDir dir;
    const std::string d = dir.path().toStdString();
    ASSERT_TRUE(fixtures::MakeWav(d + "/a.wav", 59.5, 8000, 1));
    ASSERT_TRUE(fixtures::MakeRecording(d + "/b.flac", "flac", 2.5, 8000, 1));
    EXPECT_EQ(MeasureDuration(d + "/a.wav"), "0:01:00");
    EXPECT_EQ(MeasureDuration(d + "/b.flac"), "0:00:02");
    EXPECT_EQ(MeasureDuration(d + "/none.wav"), "0:00:00");
}

TEST(DateTime, TextAndPackedStamp) {
    std::tm t{};
    t.tm_year = 2024 - 1900;
    t.tm_mon = 2;
    t.tm_mday = 5;
    t.tm_hour = 9;
    t.tm_min = 7;
    t.tm_sec = 3;
    EXPECT_EQ(DateTimeText(t), "05/03/2024   09:07:03");
    EXPECT_EQ(DateTimeText(t).size(), 21u);
    EXPECT_EQ(PackDosDateTime(t), (22629 << 16) | 18657);
    EXPECT_EQ(PackDosDateTime(1980, 1, 1, 0, 0, 0), (33 << 16));
    // Two-second resolution: 03 and 02 pack alike.
    EXPECT_EQ(PackDosDateTime(2024, 3, 5, 9, 7, 2), PackDosDateTime(t));
    t.tm_year = 12345 - 1900;
    EXPECT_EQ(DateTimeText(t).substr(0, 10), "05/03/1234");
}

TEST_F(Scan, DateColumnShowsTheLastWriteTime) {
    ASSERT_TRUE(fixtures::MakeWav(P("a.wav"), 0.1, 8000, 1));
    SetMTime(P("a.wav"), 2024, 3, 5, 9, 7, 3);
    FindFiles();
    ShowFiles();
    ASSERT_EQ(RecordingList.Count, 1);
    EXPECT_EQ(RecordingList.Entries[1].ModifiedStamp, PackDosDateTime(2024, 3, 5, 9, 7, 3));
    EXPECT_EQ(RecordingList.Grid.Cells[1][0], "        a.wav");
    EXPECT_EQ(RecordingList.Grid.Cells[1][1], "    0:00:00");
    EXPECT_EQ(RecordingList.Grid.Cells[1][2], " 05/03/2024   09:07:03");
    EXPECT_EQ(RecordingList.RowPaths[1], P("a.wav"));
}

// The sort on a list set up by hand: scan order is the order given.
class Sort : public testing::Test {
  protected:
    void SetUp() override {
        core::Settings = core::RecordingSettings{};
        core::ResetSessionState();
        RecordingList = RecordingListState{};
        // name, duration, stamp
        Add("beta.wav", "9:59:59", 200);
        Add("Alpha.mp3", "10:00:00", 300); // same stamp as gamma, scanned first
        Add("gamma.ogg", "0:00:05", 300);
        Add("delta.flac", "0:00:05", 100);
        RecordingList.Grid.RowCount = 5;
        RecordingList.Grid.Cells.resize(5);
        RecordingList.RowPaths.resize(5);
    }
    void Add(const std::string& name, const std::string& dur, int32_t stamp) {
        RecordingEntry e;
        e.FileName = name;
        e.FullPath = "/rec/" + name;
        e.DurationText = dur;
        e.ModifiedStamp = stamp;
        RecordingList.Entries.push_back(e);
        RecordingList.Count++;
    }
    std::vector<std::string> Rows() {
        std::vector<std::string> r;
        for (int i = 1; i <= RecordingList.Count; ++i)
            r.push_back(RecordingList.RowPaths[i].substr(5));
        return r;
    }
};

TEST_F(Sort, SixOrdersWithTheTieRule) {
    using V = std::vector<std::string>;
    const struct {
        int sort;
        V rows;
    } cases[] = {
        {1, V{"Alpha.mp3", "beta.wav", "delta.flac", "gamma.ogg"}},
        {2, V{"gamma.ogg", "delta.flac", "beta.wav", "Alpha.mp3"}},
        // Durations compare as text: "10:00:00" before "9:59:59"; the two
        // equal ones in reverse scan order when ascending.
        {3, V{"delta.flac", "gamma.ogg", "Alpha.mp3", "beta.wav"}},
        {4, V{"beta.wav", "Alpha.mp3", "gamma.ogg", "delta.flac"}},
        // Equal stamps: first scanned is lower in order 5, higher in order 6.
        {5, V{"delta.flac", "beta.wav", "gamma.ogg", "Alpha.mp3"}},
        {6, V{"Alpha.mp3", "gamma.ogg", "beta.wav", "delta.flac"}},
        {0, V{"Alpha.mp3", "beta.wav", "delta.flac", "gamma.ogg"}}, // out of range: as 1
        {9, V{"Alpha.mp3", "beta.wav", "delta.flac", "gamma.ogg"}},
    };
    for (const auto& c : cases) {
        core::Settings.Sort = c.sort;
        ShowFiles();
        EXPECT_EQ(Rows(), c.rows) << "Sort " << c.sort;
        for (int r = 1; r <= 4; ++r)
            EXPECT_EQ(RecordingList.Grid.Cells[r][0],
                      "        " + RecordingList.RowPaths[r].substr(5));
    }
}

TEST_F(Sort, NegativeStampsSortAsSignedValues) {
    RecordingList.Entries[1].ModifiedStamp = -5;
    core::Settings.Sort = 5;
    ShowFiles();
    EXPECT_EQ(Rows().front(), "beta.wav");
}

TEST_F(Sort, SelectionFollowsTheSelectedFile) {
    core::Session.SelectedFile = "/rec/gamma.ogg";
    core::Settings.Sort = 1;
    ShowFiles();
    EXPECT_EQ(RecordingList.Grid.SelectedRow, 4);
    core::Settings.Sort = 2;
    ShowFiles();
    EXPECT_EQ(RecordingList.Grid.SelectedRow, 1);
    // A file no row shows leaves the selection where it was.
    core::Session.SelectedFile = "/rec/GAMMA.ogg";
    core::Settings.Sort = 1;
    ShowFiles();
    EXPECT_EQ(RecordingList.Grid.SelectedRow, 1);
}

// A recording killed between two size refreshes: the header counts less than
// the whole frames on disk. The first scan of the folder makes all of them
// count and says which file it repaired; it leaves alone every WAV whose
// header is right or whose data is followed by other chunks, links, and the
// file a recorder holds open.
TEST_F(Scan, FirstScanRepairsInterruptedWavs) {
    platform::ScriptedPrompt prompt;
    platform::SetPrompt(&prompt);
    const int second = 44100 * 4; // bytes of one second, 16-bit stereo
    auto pcm = [](size_t n) {
        std::string b(n, '\0');
        for (size_t i = 0; i < n; ++i)
            b[i] = static_cast<char>(i * 7 + 1);
        return b;
    };
    auto wav = [&](uint32_t counted, size_t onDisk) {
        return fixtures::WavHeader(44100, 2, 16, counted) + pcm(onDisk);
    };
    // A data chunk followed by a LIST chunk that the RIFF size covers.
    std::string withList = fixtures::WavHeader(44100, 2, 16, second) + pcm(second) + "LIST";
    fixtures::PutLE(withList, 4, 4);
    withList += "INFO";
    std::string riff;
    fixtures::PutLE(riff, static_cast<uint32_t>(withList.size() - 8), 4);
    withList.replace(4, 4, riff);
    struct Case {
        const char* name;
        std::string bytes;
        uint32_t dataAfter; // data size in the header after the scan
    } cases[] = {
        {"killed-early.wav", wav(0, 3 * 17640), 3 * 17640},
        {"killed-late.wav", wav(second, 2 * second + second / 2), 2 * second + second / 2},
        {"half-frame.wav", wav(17640, 2 * 17640 + 3), 2 * 17640},
        {"complete.wav", wav(second, second), static_cast<uint32_t>(second)},
        {"with-list.wav", withList, static_cast<uint32_t>(second)},
        {"not-a-wav.wav", std::string(200, 'x'), 0},
        {"take.mp3", wav(0, second), 0}, // only WAVs
        {".hidden.wav", wav(0, second), 0},
    };
    for (const auto& c : cases)
        ASSERT_TRUE(fixtures::WriteFile(P(c.name), c.bytes)) << c.name;
    // A link to the hidden interrupted file, and a file a recorder holds.
    ASSERT_EQ(symlink(P(".hidden.wav").c_str(), P("link.wav").c_str()), 0);
    ASSERT_TRUE(fixtures::WriteFile(P("recording.wav"), wav(0, second)));
    const int held = open(P("recording.wav").c_str(), O_RDONLY);
    ASSERT_EQ(flock(held, LOCK_EX), 0);

    FindFiles();
    auto header = [&](const std::string& name) {
        const std::string b = fixtures::ReadFile(P(name));
        auto u32 = [&](size_t at) {
            return static_cast<uint32_t>(static_cast<uint8_t>(b[at])) |
                   static_cast<uint32_t>(static_cast<uint8_t>(b[at + 1])) << 8 |
                   static_cast<uint32_t>(static_cast<uint8_t>(b[at + 2])) << 16 |
                   static_cast<uint32_t>(static_cast<uint8_t>(b[at + 3])) << 24;
        };
        return std::pair<uint32_t, uint32_t>{u32(4), u32(40)};
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.dataAfter == 0 || std::string(c.name) == "with-list.wav") {
            EXPECT_EQ(fixtures::ReadFile(P(c.name)), c.bytes) << "untouched";
            continue;
        }
        const auto [riff, data] = header(c.name);
        EXPECT_EQ(data, c.dataAfter);
        EXPECT_EQ(riff, c.dataAfter + 36);
        EXPECT_EQ(fixtures::ReadFile(P(c.name)).size(), c.bytes.size()) << "nothing cut";
    }
    EXPECT_EQ(header("recording.wav").second, 0u) << "the file being recorded";
    EXPECT_EQ(header(".hidden.wav").second, 0u) << "not through the link";
    for (int i = 1; i <= RecordingList.Count; ++i)
        if (RecordingList.Entries[i].FileName == "killed-late.wav") {
            EXPECT_EQ(RecordingList.Entries[i].DurationText, "0:00:02"); // 2.5 s, not 1 s
        }
    ASSERT_EQ(prompt.messages.size(), 1u);
    for (const char* name : {"killed-early.wav", "killed-late.wav", "half-frame.wav"})
        EXPECT_NE(prompt.messages[0].find(std::string("\"") + name + "\""), std::string::npos)
            << prompt.messages[0];
    EXPECT_EQ(prompt.messages[0].find("complete.wav"), std::string::npos);

    // Later scans of the same folder (after every stop) leave headers alone;
    // the held file, once let go, waits for the next start.
    flock(held, LOCK_UN);
    close(held);
    FindFiles();
    EXPECT_EQ(header("recording.wav").second, 0u);
    EXPECT_EQ(prompt.messages.size(), 1u);
    platform::SetPrompt(nullptr);
}

TEST(Extensions, RecognisedByTheLastPointWhateverTheCase) {
    const struct {
        const char* name;
        bool yes;
    } cases[] = {
        {"Take.Mp3", true},  {"take.mp4", false}, {"a.WAV", true}, {"a.flac", true},
        {"a.FlAc", true},    {"a.wma", true},     {"a.ogg", true}, {"a.wav.txt", false},
        {"a.txt.wav", true}, {"wav", false},      {".wav", true},  {"a.wav ", false},
        {"a.", false},       {"a.mp3.", false},   {"", false},     {"a.fla", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsRecordingExtension(c.name), c.yes) << c.name;
}

} // namespace
