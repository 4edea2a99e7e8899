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

// What the tag editor tells the windows around it. The program's composition
// root implements it and hands it over at creation.
class TagEditorPeers {
  public:
    virtual ~TagEditorPeers() = default;
    // The window closed, by any means (the file list clears IsTagEditorShown).
    virtual void TagEditorClosed() = 0;
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
    // `block` and `stamp` are the inspection's: the tag of the selected file
    // as last read, and the file's time stamp then.
    TFormTag(TagBytes& block, int32_t& stamp, TagEditorPeers& peers, QWidget* parent = nullptr);
    ~TFormTag() override;

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
    // Empties the six fields and the genre list and disables them.
    void ClearTags();
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
    void SetFieldsEnabled(bool on, const QColor& labelColor);

    bool saveEnabled_ = false;
    TagBytes& block_;
    int32_t& stamp_;
    TagEditorPeers& peers_;
};

// The upper-cased text from the file name's last point (".MP3"), or empty.
std::string UpperExtension(const std::string& path);

extern TFormTag* FormTag;

} // namespace tags
