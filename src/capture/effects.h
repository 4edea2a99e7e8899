#pragma once
#include <QDialog>
#include <QPoint>
#include <QRect>
#include <QString>
#include <array>
#include <cstdint>

class QCheckBox;
class QFrame;
class QLabel;
class QPushButton;
class QShowEvent;
class QSlider;
class QTimer;

namespace capture {

// DC offset measurement and removal switch. The offsets actually subtracted
// (DcOffsetLeft/Right) and the gain live in capture::Block.
struct EffectsState {
    int32_t MeasuredDcLeft = 0;  // mean of LeftBlock of the latest block
    int32_t MeasuredDcRight = 0; // mean of RightBlock
    bool DcRemovalOn = false;    // never persisted: off at every start
};
extern EffectsState Effects;
inline void ResetEffectsState() {
    Effects = EffectsState{};
}

// Sets MeasuredDcLeft/Right from the latest converted block.
void GetDC_Offset();
// "DC Offset is " + mean offset in % of full scale + "% of full signal range".
QString DcOffsetText();
// "Sound Boost - " + SoundBoost + " dB".
QString SoundBoostText();

// The Effects window: boost step and DC removal. It exists for the whole run;
// its timer keeps measuring the offset whether or not it is shown.
class TFormEffects : public QDialog {
    Q_OBJECT
  public:
    explicit TFormEffects(QWidget* parent = nullptr);
    ~TFormEffects() override;

    QLabel* LabDCOffset = nullptr;
    QCheckBox* ChBoxDCoffset = nullptr;
    QLabel* LabSoundBoost = nullptr;
    QSlider* TrackBar1 = nullptr;
    QPushButton* BtnOK = nullptr;
    QFrame* Shape1 = nullptr;
    QFrame* Shape2 = nullptr;
    QTimer* Timer1 = nullptr;
    std::array<QFrame*, 11> Ticks{}; // the marks under the slider

    // Gain from Settings.SoundBoost by the 2 dB table.
    void DB2Boost();
    void GetDC_Offset();

    void Timer1Timer();
    void ChBoxDCoffsetClick();
    void TrackBar1Change();
    void FormShow();

    // Where the window goes for a main window with this frame: directly below
    // it, centred horizontally.
    QPoint PositionUnder(const QRect& mainFrame) const;
    // Places the window under `mainWindow` and runs it modally.
    void ShowUnder(const QWidget& mainWindow);

  protected:
    void showEvent(QShowEvent* event) override;
};

// The one instance, once the main window has created it.
extern TFormEffects* FormEffects;

} // namespace capture
