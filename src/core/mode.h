#pragma once
#include <QDialog>
#include <QTimer>

class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QCheckBox;
class QDoubleSpinBox;
class QSpinBox;

namespace core {

// The recording mode dialog: normal or sound-activated recording, the action
// when the sound stops, the release time and the pre-record time. Not modal; every change goes
// into the settings at once and applies from the next recording tick on.
class TFormMode : public QDialog {
    Q_OBJECT
  public:
    explicit TFormMode(QWidget* parent = nullptr);

    // Shows the dialog with its top-left corner at (left, top); the main
    // window opens it at its own left edge, 300 pixels below its top.
    void ShowAt(int left, int top);

    QGroupBox* GrBoxMode;
    QRadioButton* RBtnNormal;
    QRadioButton* RBtnThreshhold;
    QGroupBox* GrBoxThreshold;
    QLabel* LabReleaseTime;
    QSpinBox* SEditRelease;
    // Shared by both modes: sound-activated recording always writes the
    // pre-record time first, a normal one when ChBoxPreRecord is checked.
    QLabel* LabPreRoll;
    QDoubleSpinBox* SEditPreRoll; // seconds in tenths; the setting holds milliseconds
    QCheckBox* ChBoxPreRecord;
    QLabel* LabActions;
    QRadioButton* RBtnThreshPause;
    QRadioButton* RBtnThreshSplit;
    QRadioButton* RBtnThreshStop;
    QLabel* LabDo;
    QLabel* ImageDo;
    QPushButton* BtnClose;
    QTimer Timer1;

    void FormShow();
    void SetThresholdOptionsEnabled(bool on);
    void RBtnNormalClick();
    void RBtnThreshholdClick();
    void SEditReleaseChange();
    void SEditPreRollChange();
    void ChBoxPreRecordClick();
    void RBtnThreshPauseClick();
    void RBtnThreshSplitClick();
    void RBtnThreshStopClick();
    void Timer1Timer();
    void BtnCloseClick();

    static constexpr int kImageWidth = 86;
    static constexpr int kImageHeight = 42;

  protected:
    void showEvent(QShowEvent* e) override;
    void hideEvent(QHideEvent* e) override;

  private:
    void SetImageHeight(int h);
};

// The one dialog, made on first use.
TFormMode& FormMode();

} // namespace core
