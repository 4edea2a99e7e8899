#include "mainwindow/windows.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "capture/capture.h"
#include "capture/effects.h"
#include "core/mode.h"
#include "core/session.h"
#include "core/settings.h"
#include "core/state.h"
#include "inspect/audio_fixtures.h"
#include "library/file_ops.h"
#include "library/filelist.h"
#include "mainwindow/form1.h"
#include "mainwindow/images.h"
#include "mainwindow/system.h"
#include "platform/capture_device.h"
#include "platform/prompt.h"
#include "playback/player.h"
#include "tags/tags.h"
#include "test_util.h"

namespace {

// Every window built and plugged together the way the program does it, on
// the scripted capture device.
class WindowsTest : public ::testing::Test {
  protected:
    platform::ScriptedPrompt prompt;
    QTemporaryDir folder;
    std::unique_ptr<mainwindow::TForm1> form1;
    std::unique_ptr<library::TForm2> form2;
    std::unique_ptr<tags::TFormTag> tag;
    std::unique_ptr<playback::TFormPlayer> player;
    core::TFormMode* mode = nullptr;
    capture::TFormEffects* effects = nullptr;

    void SetUp() override {
        testutil::RemoveSettings();
        platform::SetPrompt(&prompt);
        platform::SetCaptureDevice(std::make_unique<platform::ScriptedCaptureDevice>());
        capture::CloseCapture();
        core::ResetSessionState();
        core::Startup = core::StartupState{};
        mainwindow::ResetSeams();
        library::Hooks() = library::FileListHooks{};
        form1 = std::make_unique<mainwindow::TForm1>();
        form1->TimerRec.stop();
        form1->TimerStatus.stop();
        form1->TimerForms.stop();
        core::Settings.FolderName = folder.path().toStdString();
        form2 = std::make_unique<library::TForm2>();
        tag = std::make_unique<tags::TFormTag>();
        mainwindow::Form4().FormCreate();
        mode = new core::TFormMode(form1.get());
        player = std::make_unique<playback::TFormPlayer>();
        effects = new capture::TFormEffects(form1.get());
        mainwindow::ConnectWindows(form1.get(), form2.get(), tag.get(), mode, player.get(),
                                   effects);
    }
    void TearDown() override {
        core::ResetSessionState();
        library::Hooks() = library::FileListHooks{};
        core::Hooks = core::SessionHooks{};
        playback::Hooks = playback::PlayerHooks{};
        mainwindow::Form1Window = mainwindow::Form1Hooks{};
        mainwindow::FolderChanged = mainwindow::FolderHooks{};
        player.reset();
        tag.reset();
        form2.reset();
        form1.reset();
        capture::CloseCapture();
        mainwindow::ResetSeams();
        platform::SetPrompt(nullptr);
    }
};

// A hook left empty silently does nothing, so a missing connection shows
// only as a window that never updates.
TEST_F(WindowsTest, EveryHookBetweenTheWindowsIsConnected) {
    const auto& lh = library::Hooks();
    const auto& ch = core::Hooks;
    const auto& ph = playback::Hooks;
    const auto& fw = mainwindow::Form1Window;
    const auto& fc = mainwindow::FolderChanged;
    struct Case {
        const char* name;
        bool set;
    };
    const std::vector<Case> cases = {
        {"file list: ShowPlayer", bool(lh.ShowPlayer)},
        {"file list: PlayFile", bool(lh.PlayFile)},
        {"file list: StopPlaying", bool(lh.StopPlaying)},
        {"file list: ClosePlayer", bool(lh.ClosePlayer)},
        {"file list: ClearTags", bool(lh.ClearTags)},
        {"file list: EnableTags", bool(lh.EnableTags)},
        {"file list: ShowID3v1Tags", bool(lh.ShowID3v1Tags)},
        {"file list: PlaceTagEditor", bool(lh.PlaceTagEditor)},
        {"file list: InspectFile", bool(lh.InspectFile)},
        {"file list: StoreSettings", bool(lh.StoreSettings)},
        {"session: FindFiles", bool(ch.FindFiles)},
        {"session: ShowFiles", bool(ch.ShowFiles)},
        {"session: SelectFile", bool(ch.SelectFile)},
        {"player: EnableMainWindow", bool(ph.EnableMainWindow)},
        {"player: MainWindowPos", bool(ph.MainWindowPos)},
        {"player: FileDelete", bool(ph.FileDelete)},
        {"recorder: ShowFileList", bool(fw.ShowFileList)},
        {"recorder: CloseFileList", bool(fw.CloseFileList)},
        {"recorder: FileListCreated", bool(fw.FileListCreated)},
        {"recorder: FileListWindow", bool(fw.FileListWindow)},
        {"recorder: TagEditorWindow", bool(fw.TagEditorWindow)},
        {"recorder: HideTagEditor", bool(fw.HideTagEditor)},
        {"recorder: PlaySelected", bool(fw.PlaySelected)},
        {"recorder: ShowModeWindow", bool(fw.ShowModeWindow)},
        {"recorder: ShowEffects", bool(fw.ShowEffects)},
        {"folder change: FindFiles", bool(fc.FindFiles)},
        {"folder change: ShowFiles", bool(fc.ShowFiles)},
        {"folder change: ClearSummary", bool(fc.ClearSummary)},
    };
    for (const Case& c : cases)
        EXPECT_TRUE(c.set) << c.name;
}

// Selecting a recording in the file list shows its format summary beside its
// name, as the inspection of the file gives it.
TEST_F(WindowsTest, SelectingARecordingShowsItsFormatSummary) {
    const std::string wav = folder.path().toStdString() + "/lecture.wav";
    ASSERT_TRUE(fixtures::MakeWav(wav, 1.0, 22050, 1, 16));
    core::Session.SelectedFile = wav;
    form2->SelectFile();
    EXPECT_NE(core::Session.SelectedFileInfo.find("22050 Hz"), std::string::npos)
        << core::Session.SelectedFileInfo;
    EXPECT_NE(form2->LabProp->text().toStdString().find("22050 Hz"), std::string::npos)
        << form2->LabProp->text().toStdString();
}

} // namespace
