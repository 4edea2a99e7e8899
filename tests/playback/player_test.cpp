#include <gtest/gtest.h>

#include <functional>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QTemporaryDir>
#include <QThread>
#include <fstream>

#include "audiolib/stream.h"
#include "core/settings.h"
#include "core/state.h"
#include "mainwindow/hint.h"
#include "platform/prompt.h"
#include "playback/player.h"
#include "sound_files.h"
#include "test_util.h"

namespace {

using namespace playback;

// Runs events until the condition holds; the bound only stops a hung test.
template <class F> bool WaitFor(F cond, int boundMs = 15000) {
    QElapsedTimer t;
    t.start();
    while (!cond()) {
        if (t.elapsed() > boundMs) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(5);
    }
    return true;
}

uint64_t Pos() {
    return audiolib::ChannelGetPosition(Player.PlayStream, audiolib::POS_BYTE);
}
uint32_t Active() {
    return audiolib::ChannelIsActive(Player.PlayStream);
}

TEST(SecondsToTimeText, Table) {
    struct Case {
        double seconds;
        const char* text;
    } cases[] = {
        {0, "00:00:00"},      {59.5, "00:01:00"},   {3599.6, "01:00:00"},
        {3725.4, "01:02:05"}, {360000, "10:00:00"}, {0.5, "00:00:00"},
        {1.5, "00:00:02"},    {-1, "00:00:00"},     {59.4, "00:00:59"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SecondsToTimeText(c.seconds), c.text) << c.seconds;
}

class PlayerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        platform::SetPrompt(&prompt);
        core::ResetSessionState();
        core::Settings.Volume = 0.5f;
        Player = PlayerState{};
        ASSERT_TRUE(dir.isValid());
    }
    void TearDown() override {
        if (form) form->close();
        delete form;
        platform::SetPrompt(nullptr);
    }
    void Open() {
        form = new TFormPlayer(peers);
        form->show();
    }
    // The windows around the player, as it sees them.
    struct Peers : PlayerPeers {
        bool mainEnabled = true;
        std::function<void()> onDelete;
        void EnableMainWindow(bool on) override { mainEnabled = on; }
        QPoint MainWindowPos() override { return {100, 200}; }
        void FileDelete() override {
            if (onDelete) onDelete();
        }
    } peers;
    QTemporaryDir dir;
    TFormPlayer* form = nullptr;
    platform::ScriptedPrompt prompt;
};

TEST_F(PlayerTest, EachFormatPlaysPausesSeeksAndEnds) {
    REQUIRE_PULSE();
    Open();
    for (const char* ext : {"wav", "mp3", "ogg", "flac", "wma"}) {
        SCOPED_TRACE(ext);
        const std::string path = dir.filePath(QString("take.") + ext).toStdString();
        ASSERT_TRUE(soundfiles::MakeFile(path, 3));
        core::Session.SelectedFile = path;
        form->PlayFile();
        ASSERT_NE(Player.PlayStream, 0u);
        EXPECT_EQ(form->LabTotalTime->text(), "00:00:03");
        EXPECT_TRUE(core::Session.IsPlaying);
        EXPECT_EQ(Active(), audiolib::ACTIVE_PLAYING);
        ASSERT_TRUE(WaitFor([] { return Pos() > 44100; })) << "position does not advance";

        // Pause freezes the position; a second Pause resumes from there.
        form->ImagePauseClick();
        EXPECT_TRUE(core::Session.IsPaused);
        EXPECT_EQ(Active(), audiolib::ACTIVE_PAUSED);
        const uint64_t paused = Pos();
        QThread::msleep(150);
        EXPECT_EQ(Pos(), paused);
        form->ImagePauseClick();
        EXPECT_FALSE(core::Session.IsPaused);
        EXPECT_EQ(Active(), audiolib::ACTIVE_PLAYING);
        ASSERT_TRUE(WaitFor([&] { return Pos() > paused; }));

        // Drag the position handle to the middle and let go.
        form->ImagePPMouseDown(Qt::LeftButton, 0);
        form->ImagePPMouseMove(103 - form->ImagePP->x()); // the handle follows the playback
        EXPECT_EQ(form->ImagePP->x(), 103);
        const int32_t target = Player.PendingSeek;
        EXPECT_NEAR(target, Player.PlayLengthBytes / 2, Player.PlayLengthBytes / 100);
        form->ImagePPMouseUp();
        EXPECT_EQ(Player.PendingSeek, -1);
        EXPECT_EQ(Active(), audiolib::ACTIVE_PLAYING);
        EXPECT_GE(Pos(), static_cast<uint64_t>(target) - 4);
        form->TimerStatusTimer();
        EXPECT_EQ(form->LabTime->text().left(7), "00:00:0");
        EXPECT_GE(form->ImagePP->x(), 102);

        // Playing on to the end: stopped, and the display returns to the start.
        ASSERT_TRUE(WaitFor([] { return Active() == audiolib::ACTIVE_STOPPED; }));
        form->TimerStatusTimer();
        EXPECT_FALSE(core::Session.IsPlaying);
        EXPECT_EQ(form->LabTime->text(), "00:00:00");
        EXPECT_EQ(form->ImagePP->x(), 24);
        EXPECT_FALSE(form->ImagePos->isVisible());
    }
    EXPECT_TRUE(prompt.messages.empty()) << "a readable file plays without a message";
}

TEST_F(PlayerTest, StopPlayAndCloseSetTheSharedFlags) {
    REQUIRE_PULSE();
    const bool& mainEnabled = peers.mainEnabled;
    Open();
    EXPECT_TRUE(core::Session.IsPlayerShown);
    EXPECT_FALSE(mainEnabled);
    EXPECT_EQ(form->pos(), QPoint(135, 215));
    const std::string path = dir.filePath("take.wav").toStdString();
    ASSERT_TRUE(soundfiles::MakeFile(path, 3));
    core::Session.SelectedFile = path;
    form->PlayFile();
    ASSERT_TRUE(WaitFor([] { return Pos() > 0; }));

    // Pause, then Stop clears the pause; Play restarts from the start.
    form->ImagePauseClick();
    form->ImageStopClick();
    EXPECT_FALSE(core::Session.IsPaused);
    EXPECT_EQ(Active(), audiolib::ACTIVE_STOPPED);
    form->ImagePlayClick();
    EXPECT_EQ(Active(), audiolib::ACTIVE_PLAYING);
    EXPECT_LT(Pos(), 44100u * 4 / 2);

    // Releasing the handle while paused only moves the paused position.
    form->ImagePauseClick();
    form->ImagePPMouseDown(Qt::LeftButton, 0);
    form->ImagePPMouseMove(200); // past the right end
    EXPECT_EQ(form->ImagePP->x(), 182);
    form->ImagePPMouseMove(-400); // past the left end
    EXPECT_EQ(form->ImagePP->x(), 24);
    EXPECT_EQ(form->FormHint->LabHint->text(), "Playback Position - 00:00:00");
    form->ImagePPMouseMove(79);
    form->ImagePPMouseUp();
    EXPECT_EQ(Active(), audiolib::ACTIVE_PAUSED);
    EXPECT_TRUE(core::Session.IsPaused);
    EXPECT_NEAR(static_cast<double>(Pos()), Player.PlayLengthBytes / 2.0,
                Player.PlayLengthBytes / 100.0);

    // Enter restarts the file, and a file that plays is not paused.
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(form, &enter);
    EXPECT_EQ(Active(), audiolib::ACTIVE_PLAYING);
    EXPECT_FALSE(core::Session.IsPaused);
    EXPECT_LT(Pos(), Player.PlayLengthBytes / 4);

    // Escape closes: the stream is gone, the main window back, the pause cleared.
    QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(form, &esc);
    EXPECT_FALSE(form->isVisible());
    EXPECT_FALSE(core::Session.IsPlayerShown);
    EXPECT_FALSE(core::Session.IsPaused);
    EXPECT_TRUE(mainEnabled);
    EXPECT_EQ(Player.PlayStream, 0u);
    form->TimerStatusTimer();
    EXPECT_FALSE(core::Session.IsPlaying);
}

TEST_F(PlayerTest, FileThatCannotBeOpenedLeavesAClearState) {
    const std::string bad = dir.filePath("broken.mp3").toStdString();
    { std::ofstream(bad) << "not audio at all"; }
    Open();
    for (const std::string& path : {bad, dir.filePath("missing.wav").toStdString()}) {
        core::Session.SelectedFile = path;
        form->PlayFile();
        EXPECT_EQ(Player.PlayStream, 0u);
        EXPECT_FALSE(core::Session.IsPlaying);
        EXPECT_EQ(form->LabTotalTime->text(), "00:00:00");
        EXPECT_EQ(form->LabTime->text(), "00:00:00");
        EXPECT_EQ(Player.PlayLengthBytes, 0u);
        ASSERT_EQ(prompt.messages.size(), 1u) << "one message saying what could not be played";
        EXPECT_NE(prompt.messages[0].find("Can not play " + path), std::string::npos)
            << prompt.messages[0];
        prompt.messages.clear();
        form->ImagePlayClick();
        form->ImagePauseClick();
        form->TimerStatusTimer();
        EXPECT_FALSE(core::Session.IsPlaying);
        EXPECT_TRUE(form->isVisible()) << "the window stays open";
        core::Session.IsPaused = false;
    }
    // Delete closes the window first, then asks the file list to delete.
    bool shownAtDelete = true;
    peers.onDelete = [&] { shownAtDelete = core::Session.IsPlayerShown; };
    QKeyEvent del(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier);
    QApplication::sendEvent(form, &del);
    EXPECT_FALSE(shownAtDelete);
    EXPECT_FALSE(form->isVisible());
}

TEST_F(PlayerTest, VolumeSliderAndStoredVolume) {
    core::Settings.Volume = 1.7f;
    Open();
    EXPECT_EQ(core::Settings.Volume, 1.0f) << "clamped when the window is created";
    EXPECT_EQ(form->ImagePV->x(), 294);
    form->ImagePVMouseDown(Qt::LeftButton, 5);
    form->ImagePVMouseMove(-200);
    EXPECT_EQ(form->ImagePV->x(), 208);
    EXPECT_EQ(core::Settings.Volume, 0.0f);
    form->ImagePVMouseMove(48); // 43 px to the right of the left end
    EXPECT_EQ(form->ImagePV->x(), 251);
    EXPECT_NEAR(core::Settings.Volume, 0.5f, 1e-6);
    EXPECT_EQ(form->ImageVol->width(), 40);
    form->ImagePVMouseMove(500);
    EXPECT_EQ(core::Settings.Volume, 1.0f);
    form->ImagePVMouseUp();
    EXPECT_FALSE(core::Session.IsDragging);
    // A right-button press does not drag.
    form->ImagePVMouseDown(Qt::RightButton, 5);
    form->ImagePVMouseMove(-100);
    EXPECT_EQ(form->ImagePV->x(), 294);
    delete form;
    form = nullptr;
    core::Settings.Volume = -0.3f;
    Open();
    EXPECT_EQ(core::Settings.Volume, 0.0f);
}

TEST_F(PlayerTest, TitleLineAndIcon) {
    Open();
    QFontMetrics fm(form->font());
    core::Session.SelectedFileInfo = "1411 kbps, 44100 Hz, 16 bit stereo";
    core::Session.SelectedFile = dir.filePath("short.Wav").toStdString();
    form->PlayFile();
    EXPECT_EQ(form->LabFile->text(), "short.Wav");
    const QString prop = form->LabProp->text();
    EXPECT_TRUE(QString("  [1411 kbps, 44100 Hz, 16 bit stereo]").startsWith(prop));
    EXPECT_LE(fm.horizontalAdvance(prop), 260 - fm.horizontalAdvance("short.Wav"));
    EXPECT_EQ(form->LabProp->x(), form->LabFile->x() + fm.horizontalAdvance("short.Wav"));
    const QImage wavIcon = form->ImageFileProp->pixmap().toImage();

    const QString longName = QString(60, 'n') + ".mp3";
    core::Session.SelectedFile = dir.filePath(longName).toStdString();
    form->PlayFile();
    EXPECT_TRUE(form->LabProp->text().isEmpty());
    EXPECT_LE(fm.horizontalAdvance(form->LabFile->text()), 260);
    EXPECT_TRUE(longName.startsWith(form->LabFile->text()));
    EXPECT_NE(form->ImageFileProp->pixmap().toImage(), wavIcon);
    const QImage mp3Icon = form->ImageFileProp->pixmap().toImage();
    core::Session.SelectedFile = dir.filePath("notes.aiff").toStdString();
    form->PlayFile();
    EXPECT_EQ(form->ImageFileProp->pixmap().toImage(), mp3Icon) << "other extensions keep it";
}

TEST_F(PlayerTest, ScreenshotWhilePlayingASine) {
    REQUIRE_PULSE();
    Open();
    const std::string path = dir.filePath("sine.wav").toStdString();
    ASSERT_TRUE(soundfiles::MakeFile(path, 3));
    core::Session.SelectedFile = path;
    core::Session.SelectedFileInfo = "1411 kbps, 44100 Hz, 16 bit stereo";
    form->PlayFile();
    ASSERT_TRUE(WaitFor([] { return Pos() > 44100 * 4; }));
    for (int i = 0; i < 3; ++i)
        form->Timer1Timer();
    form->TimerStatusTimer();
    EXPECT_EQ(form->Spectrum->BarAt(18), 100) << "the 1000 Hz bin (23) is column 18";
    QDir().mkpath(KESTRUNE_BUILD_DIR "/screenshots");
    EXPECT_TRUE(form->grab().save(KESTRUNE_BUILD_DIR "/screenshots/player.png"));
}

} // namespace
