#pragma once
#include <QLabel>
#include <QPoint>
#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>

#include "core/session.h"
#include "mainwindow/skin_button.h"

class QMenu;
class QAction;
class QMouseEvent;
class QPainter;

namespace platform {
class HotKeys;
}

namespace mainwindow {

// A label or picture that reports its mouse to the window. A right press
// opens the window's popup menu when `popup` is set.
class MouseLabel : public QLabel {
    Q_OBJECT
  public:
    explicit MouseLabel(QWidget* parent) : QLabel(parent) { setMouseTracking(true); }
    std::function<void(QMouseEvent*)> onPress, onMove, onRelease;
    std::function<void()> onClick; // left button released over the control
    std::function<void(QPoint global)> popup;
    std::function<void(QPainter&)> paintOver; // drawn over the picture

  protected:
    void paintEvent(QPaintEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
};

// What the recorder window needs from the program's other windows. The
// program's composition root implements it and hands it over at creation.
class Form1Peers {
  public:
    virtual ~Form1Peers() = default;
    // The file list window once it exists (it is docked under the recorder).
    virtual QWidget* FileListWindow() = 0;
    virtual void ShowFileList(QPoint topLeft) = 0;
    virtual void CloseFileList() = 0;
    // The tag editor while it is shown beside the file list, else nullptr.
    virtual QWidget* TagEditorWindow() = 0;
    virtual void HideTagEditor() = 0;
    // Show the player and play SelectedFile.
    virtual void PlaySelected() = 0;
    virtual void ShowModeWindow(QPoint topLeft) = 0;
    virtual void ShowEffects() = 0;
    // The file list's part in a stop and in a change of output folder.
    virtual void FindFiles() = 0;
    virtual void ShowFiles() = 0;
    virtual void SelectFile() = 0;
    // Blank format picture and empty labels of the file list.
    virtual void ClearSummary() = 0;
    // The application was minimised (true) or restored: the docked windows follow.
    virtual void ApplicationMinimized(bool minimized) = 0;
};

// The recorder window. Its creation runs the start-up sequence; closing it
// goes through the close request, which can refuse.
class TForm1 : public QWidget, public core::SessionView {
    Q_OBJECT
  public:
    explicit TForm1(Form1Peers& peers, QWidget* parent = nullptr);
    ~TForm1() override;

    Form1Peers& Peers() { return peers_; }

    // What the session shows on this window.
    void ShowTime(const std::string& text) override;
    void ShowLabSAR(bool visible) override;
    void ShowLabFile(const std::string& path) override;
    void ClearStatus() override;
    void FindFiles() override;
    void ShowFiles() override;
    void SelectFile() override;
    void SetBusyCursor(bool busy) override;
    std::string SourceText() override;
    void CloseSoundWindow() override;
    void UpdateMeters() override;
    void CaptureOpened() override;

    void WMHotKey(int id);
    bool HotKeysGlobal() const;
    // Which way the hot keys reach the program, for the status hint.
    QString HotKeysText() const;

    QTimer TimerRec;
    QTimer TimerStatus;
    QTimer TimerForms;

    // Controls, named as the skin names them.
    MouseLabel* ImageForm1 = nullptr;
    SkinButton* ImageFolder = nullptr;
    SkinButton* ImageSetting = nullptr;
    SkinButton* ImageHelp = nullptr;
    SkinButton* ImageInfo = nullptr;
    SkinButton* ImageMin = nullptr;
    SkinButton* ImageClose = nullptr;
    SkinButton* ImageControl = nullptr;
    SkinButton* ImageRecord = nullptr;
    SkinButton* ImagePause = nullptr;
    SkinButton* ImageStop = nullptr;
    SkinButton* ImagePlay = nullptr;
    SkinButton* ImageShowHide = nullptr;
    QLabel* ImageVolLine = nullptr;
    MouseLabel* ImageVol = nullptr;
    QLabel* ImageThresh = nullptr;
    MouseLabel* LabStatus0 = nullptr;
    MouseLabel* LabStatus = nullptr;
    QLabel* LabSAR = nullptr;
    // Under the status while recording: time left on the disk, dropped blocks.
    QLabel* LabWarn = nullptr;
    MouseLabel* LabTime0 = nullptr;
    MouseLabel* LabTime = nullptr;
    MouseLabel* LabFormat = nullptr;
    MouseLabel* ImageFormat = nullptr;
    MouseLabel* LabFolder = nullptr;
    MouseLabel* ImagePath = nullptr;
    QLabel* LabFile = nullptr;
    MouseLabel* LabSource_ = nullptr;

    QMenu* PMenu = nullptr;
    QAction* PmenuFolder = nullptr;
    QAction* pmenuRecordSettings = nullptr;
    QAction* pmenuDevice = nullptr;
    QAction* pmenuRecControl = nullptr;
    QAction* PmenuRecMode = nullptr;
    // "Recording Source": the server's sources, the default checked.
    QMenu* PmenuSource = nullptr;
    QAction* PmenuEffects = nullptr;
    QAction* PmenuHelp = nullptr;
    QAction* PmenuAbout = nullptr;
    QAction* PmenuExit = nullptr;

    bool WindowPainted = false;

    void RestoreButtonPictures();
    void UpdateFormatLabel();
    void UpdateStatus(); // status.cpp
    void UpdateWarnings();
    void TimerStatusTimer();
    void TimerFormsTimer();
    void PMenuPopup();
    // Fills the source submenu from the server.
    void UpdateSourceMenu();
    // Makes the chosen source the server's default; refused while recording.
    void ChooseSource(const std::string& name);
    void SetMinimize();
    void SetRestore();
    void ShowHideFileList();

    void ImageForm1MouseDown(QMouseEvent* e);
    void ImageForm1MouseMove(QMouseEvent* e);
    void ImageForm1MouseUp(QMouseEvent* e);
    void ImageVolMouseDown(QMouseEvent* e);
    void ImageVolMouseMove(QMouseEvent* e);
    void ImageVolMouseUp(QMouseEvent* e);
    void ImageRecordMouseMove();

    // The threshold drag's hint text for the current level.
    static QString ThresholdHintText(float level);
    // Knob left edge to place (and the line width follows it).
    void PlaceKnob(int left);
    // The recording input's level, 0..1, set on the device.
    void SetInputVolume(float volume);
    int KnobLeft() const;

    // No device: the panels cleared and the meter state back to silence.
    void ClearMeters();

  protected:
    void closeEvent(QCloseEvent* e) override;
    void changeEvent(QEvent* e) override;
    void paintEvent(QPaintEvent* e) override;

  private:
    void FormCreate();
    void FormClose();
    void CreateControls();
    void CreateMenu();
    void OpenPopup(QPoint global);
    bool InThresholdHitArea(QPoint p) const;
    void ShowThresholdHint(QPoint p);
    void HideThresholdHint();
    SkinButton* Button(const QString& normal, const QString& hover, QPoint at, const QString& hint);

    Form1Peers& peers_;
    std::unique_ptr<platform::HotKeys> hotKeys_;
    // Threshold drag: where the press was and where the marker was then.
    int dragStartX_ = 0;
    int dragStartMarker_ = 0;
    bool thresholdDrag_ = false;
    // Server source events seen when the source submenu was last filled.
    uint64_t sourceEvents_ = 0;
    int knobGrabX_ = 0;
    // Window drag fallback when the system will not move the window.
    bool manualMove_ = false;
    QPoint moveOffset_;
};

extern TForm1* Form1;

} // namespace mainwindow
