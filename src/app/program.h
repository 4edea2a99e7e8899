#pragma once
// The program's composition root: it builds every window in the start-up
// order and is the one place that joins them. Each window states what it
// needs from the others as an interface; this class implements all of them,
// so a connection that is never made does not compile.
#include <QPointer>
#include <memory>

#include "capture/effects.h"
#include "core/mode.h"
#include "library/file_ops.h"
#include "mainwindow/form1.h"
#include "playback/player.h"
#include "tags/tags.h"

namespace library {
class TForm2;
}

namespace app {

class Program final : public mainwindow::Form1Peers,
                      public library::FileListPeers,
                      public playback::PlayerPeers,
                      public tags::TagEditorPeers {
  public:
    Program();
    ~Program() override;
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    // Shows the recorder, and the file list docked under it when it was shown
    // when the program last closed.
    void Show();

    mainwindow::TForm1& Recorder() { return *form1_; }
    library::TForm2& FileList() { return *form2_; }
    tags::TFormTag& TagEditor() { return *tag_; }
    playback::TFormPlayer& Player() { return *player_; }
    core::TFormMode& ModeWindow() { return *mode_; }
    capture::TFormEffects& Effects() { return *effects_; }

    // The recorder window.
    QWidget* FileListWindow() override;
    void ShowFileList(QPoint topLeft) override;
    void CloseFileList() override;
    QWidget* TagEditorWindow() override;
    void HideTagEditor() override;
    void PlaySelected() override;
    void ShowModeWindow(QPoint topLeft) override;
    void ShowEffects() override;
    void FindFiles() override;
    void ShowFiles() override;
    void SelectFile() override;
    void ClearSummary() override;
    void ApplicationMinimized(bool minimized) override;

    // The file list.
    void ShowPlayer() override;
    void PlayFile() override;
    void StopPlaying() override;
    void ClosePlayer() override;
    void FreePlayStream() override;
    void ClearTags() override;
    void EnableTags() override;
    void ShowID3v1Tags() override;
    void PlaceTagEditor(int x, int y, bool show) override;
    void InspectFile() override;
    void StoreSettings() override;
    QWidget* MainWindow() override;

    // The player.
    void EnableMainWindow(bool enabled) override;
    QPoint MainWindowPos() override;
    void FileDelete() override;

    // The tag editor.
    void TagEditorClosed() override;

  private:
    // The recorder deletes itself when it closes (that ends the program);
    // the windows it parents (Mode, Effects) go with it.
    QPointer<mainwindow::TForm1> form1_;
    QPointer<core::TFormMode> mode_;
    QPointer<capture::TFormEffects> effects_;
    std::unique_ptr<library::TForm2> form2_;
    std::unique_ptr<tags::TFormTag> tag_;
    std::unique_ptr<playback::TFormPlayer> player_;
    // Docked windows hidden by a minimise, shown again on restore.
    std::vector<QPointer<QWidget>> hiddenByMinimise_;
};

} // namespace app
