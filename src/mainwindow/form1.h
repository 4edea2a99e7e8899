#pragma once
#include <QLabel>
#include <QPoint>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>

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

// Hooks the other windows give the recorder window; empty ones are skipped.
struct Form1Hooks {
    std::function<void(QPoint topLeft)> ShowFileList; // place at topLeft and show
    std::function<void()> CloseFileList;
    std::function<bool()> FileListCreated;
    std::function<QWidget*()> FileListWindow;
    std::function<QWidget*()> TagEditorWindow; // shown when IsTagEditorShown
    std::function<void()> HideTagEditor;
    std::function<void()> PlaySelected; // show the player and play SelectedFile
    std::function<void(QPoint topLeft)> ShowModeWindow;
    std::function<void()> ShowEffects;
};
extern Form1Hooks Form1Window;

// The recorder window. Its creation runs the start-up sequence; closing it
// goes through the close request, which can refuse.
class TForm1 : public QWidget {
    Q_OBJECT
  public:
    explicit TForm1(QWidget* parent = nullptr);
    ~TForm1() override;

    void WMHotKey(int id);
    bool HotKeysGlobal() const;

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
    QAction* PmenuEffects = nullptr;
    QAction* PmenuHelp = nullptr;
    QAction* PmenuAbout = nullptr;
    QAction* PmenuExit = nullptr;

    bool WindowPainted = false;

    void RestoreButtonPictures();
    void UpdateFormatLabel();
    void UpdateStatus(); // status.cpp
    void TimerStatusTimer();
    void TimerFormsTimer();
    void PMenuPopup();
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
    void FillSessionHooks();
    void OpenPopup(QPoint global);
    bool InThresholdHitArea(QPoint p) const;
    void ShowThresholdHint(QPoint p);
    void HideThresholdHint();
    SkinButton* Button(const QString& normal, const QString& hover, QPoint at, const QString& hint);

    std::unique_ptr<platform::HotKeys> hotKeys_;
    // Threshold drag: where the press was and where the marker was then.
    int dragStartX_ = 0;
    int dragStartMarker_ = 0;
    bool thresholdDrag_ = false;
    int knobGrabX_ = 0;
    // Window drag fallback when the system will not move the window.
    bool manualMove_ = false;
    QPoint moveOffset_;
};

extern TForm1* Form1;

} // namespace mainwindow
