#include "app/program.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QTemporaryDir>
#include <fstream>
#include <memory>
#include <string>

#include "capture/capture.h"
#include "core/session.h"
#include "core/settings.h"
#include "core/state.h"
#include "inspect/audio_fixtures.h"
#include "library/convert.h"
#include "library/file_ops.h"
#include "library/filelist.h"
#include "mainwindow/form1.h"
#include "mainwindow/images.h"
#include "mainwindow/system.h"
#include "platform/capture_device.h"
#include "platform/prompt.h"
#include "playback/player.h"
#include "tags/id3v1.h"
#include "tags/tags.h"
#include "test_util.h"

namespace {

// The last 128 bytes of a file.
tags::TagBytes Tail(const std::string& path) {
    tags::TagBytes b{};
    std::ifstream f(path, std::ios::binary);
    f.seekg(-128, std::ios::end);
    f.read(reinterpret_cast<char*>(b.data()), 128);
    return b;
}

void AppendTag(const std::string& path, const std::string& title) {
    tags::Id3v1Fields f;
    f.Title = title;
    f.Artist = "Band";
    const tags::TagBytes t = tags::BuildTag(f);
    std::ofstream(path, std::ios::binary | std::ios::app)
        .write(reinterpret_cast<const char*>(t.data()), 128);
}

// Every window built and joined by the program's own composition root, on
// the scripted capture device, over a folder of recordings.
class ProgramTest : public ::testing::Test {
  protected:
    platform::ScriptedPrompt prompt;
    QTemporaryDir folder;
    std::unique_ptr<app::Program> program;

    void SetUp() override {
        testutil::RemoveSettings();
        platform::SetPrompt(&prompt);
        platform::SetCaptureDevice(std::make_unique<platform::ScriptedCaptureDevice>());
        capture::CloseCapture();
        core::ResetSessionState();
        core::Startup = core::StartupState{};
        library::FileList = library::FileListState{};
        playback::Player = playback::PlayerState{};
        mainwindow::ResetSeams();
        ASSERT_TRUE(fixtures::MakeRecording(Path("a.mp3"), "mp3", 0.5));
        AppendTag(Path("a.mp3"), "Alpha");
        ASSERT_TRUE(fixtures::MakeRecording(Path("b.mp3"), "mp3", 0.5));
        ASSERT_TRUE(fixtures::MakeWav(Path("c.wav"), 1.0, 22050, 1, 16));
        program = std::make_unique<app::Program>();
        auto& f1 = program->Recorder();
        f1.TimerRec.stop();
        f1.TimerStatus.stop();
        f1.TimerForms.stop();
        core::Settings.FolderName = folder.path().toStdString();
        program->FindFiles();
        program->ShowFiles();
    }
    void TearDown() override {
        program.reset();
        core::ResetSessionState();
        capture::CloseCapture();
        mainwindow::ResetSeams();
        platform::SetPrompt(nullptr);
    }
    std::string Path(const std::string& name) const {
        return folder.path().toStdString() + "/" + name;
    }
    // Selects the file's row as a click on it does.
    void Select(const std::string& name) {
        library::TForm2& list = program->FileList();
        for (int r = 1; r < list.RowCount(); ++r)
            if (list.RowPath(r) == Path(name)) {
                list.SGridFilesSelectCell(r);
                return;
            }
        FAIL() << name << " is not listed";
    }
    std::string Title(const std::string& name) { return tags::ParseTag(Tail(Path(name))).Title; }
};

// Selecting a recording in the file list shows its format summary beside its
// name, as the inspection of the file gives it.
TEST_F(ProgramTest, SelectingARecordingShowsItsFormatSummary) {
    Select("c.wav");
    EXPECT_NE(core::Session.SelectedFileInfo.find("22050 Hz"), std::string::npos)
        << core::Session.SelectedFileInfo;
    EXPECT_NE(program->FileList().LabProp->text().toStdString().find("22050 Hz"),
              std::string::npos);
}

// The tag editor works on the selected file's own tag: a save changes that
// file only, and the next file never receives it.
TEST_F(ProgramTest, TheTagEditorShowsAndSavesOnlyTheSelectedFilesTag) {
    tags::TFormTag& tag = program->TagEditor();
    Select("a.mp3");
    EXPECT_EQ(tag.EditTitle->text(), "Alpha");
    EXPECT_EQ(tag.EditArtist->text(), "Band");
    tag.EditTitle->setText("X");
    tag.SaveTag();
    EXPECT_EQ(Title("a.mp3"), "X");

    Select("b.mp3");
    EXPECT_EQ(tag.EditTitle->text(), "") << "b.mp3 has no tag";
    EXPECT_EQ(tag.EditArtist->text(), "");
    tag.SaveTag();
    EXPECT_EQ(Title("b.mp3"), "");
    EXPECT_EQ(Title("a.mp3"), "X");

    Select("a.mp3");
    EXPECT_EQ(tag.EditTitle->text(), "X") << "the saved tag is read back";
}

TEST_F(ProgramTest, SelectingAWavEmptiesAndDisablesTheTagEditor) {
    tags::TFormTag& tag = program->TagEditor();
    Select("a.mp3");
    ASSERT_EQ(tag.EditTitle->text(), "Alpha");
    Select("c.wav");
    for (QLineEdit* e :
         {tag.EditTitle, tag.EditArtist, tag.EditAlbum, tag.EditYear, tag.EditComment}) {
        EXPECT_TRUE(e->text().isEmpty());
        EXPECT_FALSE(e->isEnabled());
    }
    EXPECT_EQ(tag.CmbBoxGenre->count(), 0);
    EXPECT_FALSE(tag.CmbBoxGenre->isEnabled());
}

TEST_F(ProgramTest, SelectingAnotherRowFreesThePlayersStream) {
    Select("c.wav");
    program->PlaySelected();
    ASSERT_NE(playback::Player.PlayStream, 0u);
    Select("a.mp3");
    EXPECT_EQ(playback::Player.PlayStream, 0u);
    program->ClosePlayer();
}

TEST_F(ProgramTest, TheRecordingControlButtonShowsTheMicrophone) {
    const QImage shown = program->Recorder().ImageControl->pixmap().toImage();
    const QImage micro = mainwindow::Form4().Picture("ImageMicroOff").toImage();
    EXPECT_EQ(program->Recorder().ImageControl->size(), mainwindow::Form4().Size("ImageMicroOff"));
    EXPECT_EQ(shown.convertToFormat(QImage::Format_ARGB32),
              micro.convertToFormat(QImage::Format_ARGB32));
}

TEST_F(ProgramTest, MinimiseTakesTheDockedWindowsAlongAndRestoreBringsThemBack) {
    auto& f1 = program->Recorder();
    f1.show();
    program->ShowFileList({0, 300});
    program->PlaceTagEditor(399, 300, true);
    library::FileList.IsTagEditorShown = true;
    f1.setWindowState(Qt::WindowMinimized);
    EXPECT_TRUE(core::Startup.IsMinimized);
    EXPECT_FALSE(program->FileList().isVisible());
    EXPECT_FALSE(program->TagEditor().isVisible());
    f1.setWindowState(Qt::WindowNoState);
    EXPECT_FALSE(core::Startup.IsMinimized);
    EXPECT_TRUE(program->FileList().isVisible());
    EXPECT_TRUE(program->TagEditor().isVisible());
}

TEST_F(ProgramTest, TheConversionWindowOpensOverTheRecorder) {
    auto& f1 = program->Recorder();
    f1.move(40, 60);
    f1.show();
    Select("c.wav");
    library::ConvertCurrentToMp3(program->FileList());
    const QPoint want = f1.frameGeometry().center();
    const QPoint got = library::FormConvert().frameGeometry().center();
    // Within the rounding of two odd-sized centres.
    EXPECT_LE((want - got).manhattanLength(), 4) << got.x() << "," << got.y();
    library::FormConvert().close();
}

} // namespace
