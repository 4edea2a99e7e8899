// Recording through the real program: the format chosen in the format
// dialog, record, pause and stop by the buttons and by the hot keys, and the
// file decoded back.
#include <gtest/gtest.h>

#include <QDir>
#include <chrono>

#include "e2e/e2e_harness.h"
#include "test_decode.h"

namespace {

using namespace e2e;

struct FormatCase {
    const char* format;    // tab caption and the page's title suffix
    int tab;               // index of its tab in the dialog
    const char* suffix;    // the recording's extension, lower case
    const char* container; // FFmpeg's demuxer
    const char* codec;     // FFmpeg's decoder
};

const FormatCase kFormats[] = {
    {"MP3", 0, ".mp3", "mp3", "mp3float"}, {"OGG", 1, ".ogg", "ogg", "vorbis"},
    {"WMA", 2, ".wma", "asf", "wmav2"},    {"WAV", 3, ".wav", "wav", "pcm_s16le"},
    {"FLAC", 4, ".flac", "flac", "flac"},
};

// Test names and messages show the format, not the bytes of the case.
void PrintTo(const FormatCase& c, std::ostream* os) {
    *os << c.format;
}

std::string Name(const ::testing::TestParamInfo<FormatCase>& info) {
    return info.param.format;
}

class RecordingE2E : public E2E, public ::testing::WithParamInterface<FormatCase> {
  protected:
    // Recordings of the output folder, oldest name first.
    QStringList Recordings(const Profile& p) {
        return QDir(p.Folder()).entryList({"record*"}, QDir::Files, QDir::Name);
    }
};

// The dialog's tab row: five tabs of equal width from the page control's left.
QPoint TabCentre(int index) {
    return {6 + 31 + index * 61, 17};
}

// One recording with a 1.5 s pause in the middle, by the buttons or by the
// hot keys; the seconds that should have been written.
double RecordWithPause(const QString& main, bool keys) {
    using Clock = std::chrono::steady_clock;
    auto act = [&](const char* key, QPoint button) {
        if (keys)
            Key(key);
        else
            Press(main, button);
        return Clock::now();
    };
    const auto record = act("F5", main_at::Record);
    Pause(1500);
    const auto pause = act("F7", main_at::PauseBtn);
    Pause(1500);
    const auto resume = act("F7", main_at::PauseBtn);
    Pause(1500);
    const auto stop = act("F9", main_at::Stop);
    return std::chrono::duration<double>((pause - record) + (stop - resume)).count();
}

// A finished recording decodes as the format, lasts the recorded time
// without the pause and carries the test tone.
void ExpectRecording(const QString& path, const FormatCase& c, double seconds) {
    // The encoders finish their files after the stop.
    EXPECT_TRUE(WaitSettled(path)) << path.toStdString();
    const testdecode::Decoded d = testdecode::DecodeFile(path.toStdString());
    ASSERT_TRUE(d.ok) << path.toStdString() << ": " << d.error;
    EXPECT_EQ(d.container, c.container) << path.toStdString();
    EXPECT_EQ(d.codec, c.codec) << path.toStdString();
    EXPECT_EQ(d.channels, 1) << path.toStdString() << ": mono was chosen";
    // Within a few blocks of the time between the presses; a recorded
    // pause would add 1.5 s.
    EXPECT_NEAR(d.seconds(), seconds, 0.5) << path.toStdString();
    std::vector<int16_t> left;
    for (size_t i = 0; i < d.pcm.size(); i += static_cast<size_t>(d.channels))
        left.push_back(d.pcm[i]);
    const double tone = ToneLevel(left, 1000, d.rate);
    EXPECT_GT(tone, 0.02) << path.toStdString() << ": no test tone";
    EXPECT_GT(tone, 10 * ToneLevel(left, 700, d.rate)) << path.toStdString();
}

TEST_P(RecordingE2E, MonoFromTheFormatDialogThenRecordPauseStopByButtonsAndKeys) {
    const FormatCase& c = GetParam();
    Profile p;
    // Start from another format, so the dialog has to change it.
    p.SetFormat(c.tab == 0 ? "WAV" : "MP3");
    Recorder r(p);
    const QString main = r.MainWindow();
    ASSERT_FALSE(main.isEmpty()) << "no recorder window: " << r.State().toStdString();

    Press(main, main_at::Settings);
    const QString dialog = r.WindowOfSize({345, 271});
    ASSERT_FALSE(dialog.isEmpty()) << "the format dialog did not open";
    const QPoint tab = TabCentre(c.tab);
    Click(dialog, tab.x(), tab.y());
    const QString title = QString("Format Settings : ") + c.format;
    EXPECT_TRUE(WaitFor([&] { return WindowName(dialog) == title; }, 3000))
        << "dialog title: " << WindowName(dialog).toStdString();
    // The channel list of every page sits at the same place; "mono" is its
    // last entry (for MP3 the channel mode list).
    Click(dialog, 228, 64);
    Key("End");
    Key("Return");
    Shot(dialog, QString("format-dialog-%1").arg(c.format));
    Click(dialog, 172, 252); // OK
    ASSERT_TRUE(WaitFor(
        [&] {
            return r.WindowOfSize({345, 271}, 0).isEmpty();
        },
        3000))
        << "OK did not close the format dialog";
    Pause(1200); // the capture reopens for the new format

    const double byButtons = RecordWithPause(main, false);
    ASSERT_TRUE(WaitFor([&] { return Recordings(p).size() == 1; }, 5000));
    Shot(main, QString("recorded-%1").arg(c.format));
    Pause(500);
    const double byKeys = RecordWithPause(main, true);
    ASSERT_TRUE(WaitFor([&] { return Recordings(p).size() == 2; }, 5000));

    const QStringList files = Recordings(p);
    ASSERT_EQ(files.size(), 2);
    for (int i = 0; i < 2; ++i) {
        EXPECT_TRUE(files[i].endsWith(c.suffix)) << files[i].toStdString();
        ExpectRecording(p.File(files[i]), c, i == 0 ? byButtons : byKeys);
    }
    EXPECT_EQ(r.CloseWithButton(main), 0);
    // The format chosen in the dialog is what the program keeps.
    EXPECT_EQ(p.Get("Channels").toInt(), 1);
    const char* const keys[] = {"MP3 IsMP3", "OGG IsOGG", "WMA IsWMA", "WAV IsWav", "FLAC IsFLAC"};
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(p.Get(keys[i]).toInt(), i == c.tab ? 1 : 0) << keys[i];
}

INSTANTIATE_TEST_SUITE_P(Formats, RecordingE2E, ::testing::ValuesIn(kFormats), Name);

} // namespace
