#include "app/program.h"

#include "capture/effects.h"
#include "core/mode.h"
#include "core/settings.h"
#include "core/state.h"
#include "inspect/inspect.h"
#include "library/filelist.h"
#include "mainwindow/images.h"
#include "platform/prompt.h"

namespace app {

Program::Program() {
    // The skin store first: every window takes its pictures at creation,
    // the recording-control button too.
    mainwindow::Form4().FormCreate();
    // The recorder next: its creation runs the start-up sequence.
    form1_ = new mainwindow::TForm1(*this);
    form1_->setAttribute(Qt::WA_DeleteOnClose);
    platform::SetPromptOwner(form1_);
    form2_ = std::make_unique<library::TForm2>(*this);
    tag_ = std::make_unique<tags::TFormTag>(inspect::MediaInfo.TagBlock,
                                            inspect::MediaInfo.TagStamp, *this);
    mode_ = new core::TFormMode(form1_);
    player_ = std::make_unique<playback::TFormPlayer>(*this);
    effects_ = new capture::TFormEffects(form1_);
    capture::FormEffects = effects_;
}

Program::~Program() {
    platform::SetPromptOwner(nullptr);
    capture::FormEffects = nullptr;
    player_.reset();
    tag_.reset();
    form2_.reset();
    delete form1_.data();
}

void Program::Show() {
    form1_->show();
    if (core::Settings.IsFileList) {
        form1_->ImageShowHide->SetPictures("ImageHide1", "ImageHide2");
        form1_->ImageShowHide->ShowHover();
        core::Session.HoverPending = true;
        ShowFileList({form1_->frameGeometry().left(), form1_->frameGeometry().bottom() + 1});
    }
}

// ---- the recorder window ----

QWidget* Program::FileListWindow() {
    return library::FileList.IsFileListCreated ? form2_.get() : nullptr;
}

void Program::ShowFileList(QPoint topLeft) {
    form2_->move(topLeft);
    form2_->show();
}

void Program::CloseFileList() {
    form2_->close();
}

QWidget* Program::TagEditorWindow() {
    return library::FileList.IsTagEditorShown ? tag_.get() : nullptr;
}

void Program::HideTagEditor() {
    tag_->hide();
    library::FileList.IsTagEditorShown = false;
}

void Program::PlaySelected() {
    player_->show();
    player_->PlayFile();
}

void Program::ShowModeWindow(QPoint topLeft) {
    mode_->ShowAt(topLeft.x(), topLeft.y());
}

void Program::ShowEffects() {
    effects_->ShowUnder(*form1_);
}

void Program::FindFiles() {
    form2_->FindFiles();
}

void Program::ShowFiles() {
    form2_->ShowFiles();
}

void Program::SelectFile() {
    form2_->SelectFile();
}

void Program::ClearSummary() {
    form2_->ImageFileProp->setPixmap(mainwindow::Form4().Picture("ImageProp"));
    form2_->LabFile->clear();
    form2_->LabProp->clear();
}

void Program::ApplicationMinimized(bool minimized) {
    if (minimized) {
        hiddenByMinimise_.clear();
        for (QWidget* w : {static_cast<QWidget*>(form2_.get()), static_cast<QWidget*>(tag_.get()),
                           static_cast<QWidget*>(player_.get())}) {
            if (w->isVisible()) {
                hiddenByMinimise_.emplace_back(w);
                w->hide();
            }
        }
        return;
    }
    for (const auto& w : hiddenByMinimise_)
        if (w) w->show();
    hiddenByMinimise_.clear();
}

// ---- the file list ----

void Program::ShowPlayer() {
    if (!player_->isVisible()) player_->show();
}

void Program::PlayFile() {
    player_->PlayFile();
}

void Program::StopPlaying() {
    player_->StopPlaying();
}

void Program::ClosePlayer() {
    player_->close();
}

void Program::FreePlayStream() {
    player_->FreePlayStream();
}

void Program::ClearTags() {
    tag_->ClearTags();
}

void Program::EnableTags() {
    tag_->EnableTags();
}

void Program::ShowID3v1Tags() {
    tag_->ShowID3v1Tags();
}

void Program::PlaceTagEditor(int x, int y, bool show) {
    tag_->move(x, y);
    tag_->setVisible(show);
}

void Program::InspectFile() {
    inspect::InspectFile(core::Session.SelectedFile);
}

void Program::StoreSettings() {
    core::RegistryWrite();
}

QWidget* Program::MainWindow() {
    return form1_;
}

// ---- the player ----

void Program::EnableMainWindow(bool enabled) {
    if (form1_) form1_->setEnabled(enabled);
}

QPoint Program::MainWindowPos() {
    return form1_ ? form1_->pos() : QPoint();
}

void Program::FileDelete() {
    form2_->FileDelete();
}

// ---- the tag editor ----

void Program::TagEditorClosed() {
    library::FileList.IsTagEditorShown = false;
}

} // namespace app
