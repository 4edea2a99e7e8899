#pragma once
#include <QComboBox>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <string>

#include "tags/id3v1.h"

class QLabel;
class QLineEdit;

namespace mainwindow {
class SkinButton;
}

namespace tags {

// What the tag editor shares with the inspection and the file list. The
// inspection owns the last tag block and stamp; whoever creates the editor
// points these at them (until then the editor uses its own copies).
struct TagLinks {
    TagBytes* TagBlock = nullptr;
    int32_t* TagStamp = nullptr;
    // Runs whenever the window closes, by any means (the file list clears
    // IsTagEditorShown there).
    std::function<void()> OnClosed;
};

// The genre drop-down: sorted names, drawn in the skin's colours; closing
// the drop-down hands the focus on.
class GenreBox : public QComboBox {
    Q_OBJECT
  public:
    explicit GenreBox(QWidget* parent);
    std::function<void()> onPopupClosed;
    void hidePopup() override;
};

class TFormTag : public QWidget {
    Q_OBJECT
  public:
    explicit TFormTag(QWidget* parent = nullptr);
    ~TFormTag() override;

    TagLinks Links;

    QLabel* ImageFormTag = nullptr;
    QLabel* LabTitle = nullptr;
    QLabel* LabAlbum = nullptr;
    QLabel* LabGenre = nullptr;
    QLabel* LabArtist = nullptr;
    QLabel* LabComment = nullptr;
    QLabel* LabYear = nullptr;
    QLineEdit* EditTitle = nullptr;
    QLineEdit* EditAlbum = nullptr;
    QLineEdit* EditArtist = nullptr;
    QLineEdit* EditComment = nullptr;
    QLineEdit* EditYear = nullptr;
    GenreBox* CmbBoxGenre = nullptr;
    mainwindow::SkinButton* ImageClose = nullptr;
    mainwindow::SkinButton* ImageSave = nullptr;

    void FillGenres();
    void EnableTags();
    void DisableTags();
    void ShowID3v1Tags();
    // The Save button's action.
    void SaveTag();
    // True once a field changed for an MP3 file; nothing clears it.
    bool SaveEnabled() const { return saveEnabled_; }

  protected:
    void closeEvent(QCloseEvent* e) override;

  private:
    void WriteTag();
    void FieldChanged();
    void RestoreButtons();
    TagBytes& Block();
    int32_t Stamp() const;

    bool saveEnabled_ = false;
    TagBytes ownBlock_{};
    int32_t ownStamp_ = 0;
};

// The upper-cased text from the file name's last point (".MP3"), or empty.
std::string UpperExtension(const std::string& path);

extern TFormTag* FormTag;

} // namespace tags
