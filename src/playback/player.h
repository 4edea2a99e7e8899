#pragma once
#include <QLabel>
#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "audiolib/types.h"
#include "playback/spectrum.h"

namespace mainwindow {
class SkinButton;
class TFormHint;
} // namespace mainwindow

namespace playback {

// The player's run-time state, shared with the file list (which reads
// PlayStream).
struct PlayerState {
    audiolib::HSTREAM PlayStream = 0;
    uint32_t PlayLengthBytes = 0;
    int32_t PendingSeek = -1;
    float PosScale = 0;
    float VolScale = 0;
    int DragStartX = 0;
    TFFTData FftBuffer{};
};
extern PlayerState Player;

// What the player needs from the windows around it. The program's
// composition root implements it and hands it over at creation.
class PlayerPeers {
  public:
    virtual ~PlayerPeers() = default;
    // Disables (false) the main window while the player is shown, enables it after.
    virtual void EnableMainWindow(bool enabled) = 0;
    // The main window's top-left corner on the screen.
    virtual QPoint MainWindowPos() = 0;
    // The file list's delete operation (the Delete key).
    virtual void FileDelete() = 0;
};

// "hh:mm:ss" with two-digit hours (only their first two digits are kept).
std::string SecondsToTimeText(double seconds);

class TFormPlayer : public QWidget {
    Q_OBJECT
  public:
    explicit TFormPlayer(PlayerPeers& peers, QWidget* parent = nullptr);
    ~TFormPlayer() override;

    void PlayFile();
    void StopPlaying();
    // Stops and frees the stream (another file was selected in the list).
    void FreePlayStream();
    void ResetPlayerHover();
    void SetSliderRanges();

    void Timer1Timer();
    void TimerStatusTimer();

    // Slider handles: the mouse as the window gets it, X inside the handle.
    void ImagePPMouseDown(Qt::MouseButton button, int X);
    void ImagePPMouseMove(int X);
    void ImagePPMouseUp();
    void ImagePVMouseDown(Qt::MouseButton button, int X);
    void ImagePVMouseMove(int X);
    void ImagePVMouseUp();
    // Button actions (on release).
    void ImagePlayClick();
    void ImagePauseClick();
    void ImageStopClick();

    QLabel* ImagePlayer = nullptr;
    QLabel* PaintScreen = nullptr;
    QLabel* ImageFileProp = nullptr;
    QLabel* LabFile = nullptr;
    QLabel* LabProp = nullptr;
    QLabel* LabLength = nullptr;
    QLabel* LabTotalTime = nullptr;
    QLabel* LabTime = nullptr;
    mainwindow::SkinButton* ImagePlay = nullptr;
    mainwindow::SkinButton* ImagePause = nullptr;
    mainwindow::SkinButton* ImageStop = nullptr;
    mainwindow::SkinButton* ImageClose = nullptr;
    mainwindow::SkinButton* ImageCloseP = nullptr;
    QLabel* ImagePos = nullptr;
    QLabel* ImagePP = nullptr;
    QLabel* ImageVol = nullptr;
    QLabel* ImagePV = nullptr;
    QTimer Timer1;
    QTimer TimerStatus;
    mainwindow::TFormHint* FormHint = nullptr; // the shared tooltip window
    TSpectrum* Spectrum = nullptr;

    // Slider ranges (handle left) set by SetSliderRanges.
    int PosMin = 24, PosMax = 182, VolMin = 208, VolMax = 294;

  protected:
    void showEvent(QShowEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;

  private:
    void SetPosBar();
    void SetVolBar();
    void HandleHover(QLabel* handle);
    std::unique_ptr<TSpectrum> spectrum_;
    PlayerPeers& peers_;
};

extern TFormPlayer* FormPlayer;

} // namespace playback
