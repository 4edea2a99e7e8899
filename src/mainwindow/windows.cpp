#include "mainwindow/windows.h"

#include "capture/effects.h"
#include "core/mode.h"
#include "core/session.h"
#include "core/settings.h"
#include "core/state.h"
#include "inspect/inspect.h"
#include "library/file_ops.h"
#include "library/filelist.h"
#include "mainwindow/form1.h"
#include "mainwindow/images.h"
#include "mainwindow/system.h"
#include "playback/player.h"
#include "tags/tags.h"

namespace mainwindow {

// Plugs the other windows into the recorder window and the session.
void ConnectWindows(TForm1* form1, library::TForm2* form2, tags::TFormTag* tag,
                    core::TFormMode* mode, playback::TFormPlayer* player,
                    capture::TFormEffects* effects) {
    auto& w = Form1Window;
    w.ShowFileList = [form2](QPoint at) {
        form2->move(at);
        form2->show();
    };
    w.CloseFileList = [form2] { form2->close(); };
    w.FileListCreated = [] { return library::FileList.IsFileListCreated; };
    w.FileListWindow = [form2]() -> QWidget* { return form2; };
    w.TagEditorWindow = [tag]() -> QWidget* {
        return library::FileList.IsTagEditorShown ? tag : nullptr;
    };
    w.HideTagEditor = [tag] {
        tag->hide();
        library::FileList.IsTagEditorShown = false;
    };
    w.ShowEffects = [form1, effects] { effects->ShowUnder(*form1); };
    w.ShowModeWindow = [mode](QPoint at) { mode->ShowAt(at.x(), at.y()); };
    w.PlaySelected = [player] {
        player->show();
        player->PlayFile();
    };

    // The whole recorder window is disabled while the player is shown.
    auto& ph = playback::Hooks;
    ph.EnableMainWindow = [form1](bool on) { form1->setEnabled(on); };
    ph.MainWindowPos = [form1] { return form1->pos(); };
    ph.FileDelete = [form2] { form2->FileDelete(); };

    auto& h = core::Hooks;
    h.FindFiles = [form2] { form2->FindFiles(); };
    h.ShowFiles = [form2] { form2->ShowFiles(); };
    h.SelectFile = [form2] { form2->SelectFile(); };

    auto& f = FolderChanged;
    f.FindFiles = [form2] { form2->FindFiles(); };
    f.ShowFiles = [form2] { form2->ShowFiles(); };
    f.ClearSummary = [form2] {
        form2->ImageFileProp->setPixmap(Form4().Picture("ImageProp"));
        form2->LabFile->clear();
        form2->LabProp->clear();
    };

    auto& lh = library::Hooks();
    lh.ClearTags = [tag] { tag->DisableTags(); };
    lh.EnableTags = [tag] { tag->EnableTags(); };
    lh.ShowID3v1Tags = [tag] { tag->ShowID3v1Tags(); };
    lh.PlaceTagEditor = [tag](int x, int y, bool show) {
        tag->move(x, y);
        tag->setVisible(show);
    };
    lh.InspectFile = [] { inspect::InspectFile(core::Session.SelectedFile); };
    lh.StoreSettings = [] { core::RegistryWrite(); };
    lh.ShowPlayer = [player] {
        if (!player->isVisible()) player->show();
    };
    lh.PlayFile = [player] { player->PlayFile(); };
    lh.StopPlaying = [player] { player->StopPlaying(); };
    lh.ClosePlayer = [player] { player->close(); };
    tag->Links.OnClosed = [] { library::FileList.IsTagEditorShown = false; };
}

} // namespace mainwindow
