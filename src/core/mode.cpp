#include "core/mode.h"

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <algorithm>

#include "core/rounding.h"
#include "core/settings.h"
#include "mainwindow/images.h"

namespace core {

namespace {

// A spin edit changed with its arrows only: typing into it does nothing.
class ArrowSpinBox : public QSpinBox {
  public:
    explicit ArrowSpinBox(QWidget* parent) : QSpinBox(parent) { lineEdit()->setReadOnly(true); }
};
class ArrowDoubleSpinBox : public QDoubleSpinBox {
  public:
    explicit ArrowDoubleSpinBox(QWidget* parent) : QDoubleSpinBox(parent) {
        lineEdit()->setReadOnly(true);
    }
};

QRadioButton* Radio(QWidget* parent, const char* text, int x, int y, int w) {
    auto* b = new QRadioButton(QString::fromLatin1(text), parent);
    b->setGeometry(x, y, w, 17);
    return b;
}

QLabel* Label(QWidget* parent, const char* text, int x, int y, int w, int h = 16) {
    auto* l = new QLabel(QString::fromLatin1(text), parent);
    l->setGeometry(x, y, w, h);
    return l;
}

QString PreRecordCaption(double seconds) {
    return "Keep the last " + QString::number(seconds, 'f', 1) + " s before Record";
}

// Unchecks every button of an exclusive group, which Qt otherwise refuses.
void UncheckAll(std::initializer_list<QRadioButton*> buttons) {
    for (auto* b : buttons)
        b->setAutoExclusive(false);
    for (auto* b : buttons)
        b->setChecked(false);
    for (auto* b : buttons)
        b->setAutoExclusive(true);
}

} // namespace

TFormMode::TFormMode(QWidget* parent) : QDialog(parent) {
    setWindowTitle("Recording Mode");
    setModal(false);
    setFixedSize(300, 372);

    GrBoxMode = new QGroupBox("Recording Mode", this);
    GrBoxMode->setGeometry(8, 6, 284, 100);
    RBtnNormal = Radio(GrBoxMode, "Normal", 14, 22, 110);
    RBtnThreshhold = Radio(GrBoxMode, "Threshold", 140, 22, 130);
    // The sound kept from before a trigger (or the record command), written
    // ahead of it.
    LabPreRoll = Label(GrBoxMode, "Pre-record, sec", 14, 50, 120);
    SEditPreRoll = new ArrowDoubleSpinBox(GrBoxMode);
    SEditPreRoll->setGeometry(140, 46, 52, 22);
    SEditPreRoll->setDecimals(1);
    SEditPreRoll->setSingleStep(0.1);
    SEditPreRoll->setRange(0, 5);
    SEditPreRoll->setValue(0.5);
    ChBoxPreRecord = new QCheckBox(PreRecordCaption(0.5), GrBoxMode);
    ChBoxPreRecord->setGeometry(14, 74, 264, 17);

    GrBoxThreshold = new QGroupBox("Threshold Mode Options", this);
    GrBoxThreshold->setGeometry(8, 112, 284, 218);
    LabReleaseTime = Label(GrBoxThreshold, "ReleaseTime, sec", 14, 26, 120);
    SEditRelease = new ArrowSpinBox(GrBoxThreshold);
    SEditRelease->setGeometry(140, 22, 52, 22);
    SEditRelease->setRange(1, 10);
    SEditRelease->setValue(1);
    LabActions = Label(GrBoxThreshold, "When Release and Next Threshold:", 14, 54, 260);
    QFont underlined = LabActions->font();
    underlined.setUnderline(true);
    LabActions->setFont(underlined);
    RBtnThreshPause = Radio(GrBoxThreshold, "Pause and Continue Recording", 22, 74, 250);
    RBtnThreshSplit = Radio(GrBoxThreshold, "Start New Recording (File)", 22, 94, 250);
    RBtnThreshStop = Radio(GrBoxThreshold, "Stop Recording", 22, 114, 250);
    LabDo = Label(GrBoxThreshold, "Click and Drag the red Slider to Adjust the Threshold Level ",
                  14, 140, 160, 60);
    LabDo->setWordWrap(true);
    ImageDo = new QLabel(GrBoxThreshold);
    ImageDo->setAlignment(Qt::AlignLeft | Qt::AlignTop); // a lower height shows the top part
    ImageDo->setPixmap(mainwindow::Form4().Picture("ImageDo"));
    ImageDo->setGeometry(186, 146, kImageWidth, kImageHeight);

    BtnClose = new QPushButton("OK", this);
    BtnClose->setGeometry(112, 338, 76, 26);

    Timer1.setInterval(50);
    connect(&Timer1, &QTimer::timeout, this, [this] { Timer1Timer(); });
    connect(RBtnNormal, &QRadioButton::toggled, this, [this] { RBtnNormalClick(); });
    connect(RBtnThreshhold, &QRadioButton::toggled, this, [this] { RBtnThreshholdClick(); });
    connect(SEditRelease, &QSpinBox::valueChanged, this, [this] { SEditReleaseChange(); });
    connect(SEditPreRoll, &QDoubleSpinBox::valueChanged, this, [this] { SEditPreRollChange(); });
    connect(ChBoxPreRecord, &QCheckBox::toggled, this, [this] { ChBoxPreRecordClick(); });
    connect(RBtnThreshPause, &QRadioButton::toggled, this, [this] { RBtnThreshPauseClick(); });
    connect(RBtnThreshSplit, &QRadioButton::toggled, this, [this] { RBtnThreshSplitClick(); });
    connect(RBtnThreshStop, &QRadioButton::toggled, this, [this] { RBtnThreshStopClick(); });
    connect(BtnClose, &QPushButton::clicked, this, [this] { BtnCloseClick(); });
}

void TFormMode::ShowAt(int left, int top) {
    move(left, top);
    show();
    raise();
}

void TFormMode::showEvent(QShowEvent* e) {
    FormShow();
    Timer1.start();
    QDialog::showEvent(e);
}

void TFormMode::hideEvent(QHideEvent* e) {
    Timer1.stop();
    QDialog::hideEvent(e);
}

void TFormMode::SetImageHeight(int h) {
    ImageDo->resize(kImageWidth, h);
}

void TFormMode::FormShow() {
    auto& s = Settings;
    if (!s.IsTresh) {
        RBtnNormal->setChecked(true);
        SetThresholdOptionsEnabled(false);
        SetImageHeight(0);
    } else {
        RBtnThreshhold->setChecked(true);
        SetThresholdOptionsEnabled(true);
        SetImageHeight(kImageHeight);
    }
    switch (s.ThresholdMode) {
    case 1:
        RBtnThreshPause->setChecked(true);
        break;
    case 2:
        RBtnThreshSplit->setChecked(true);
        break;
    case 3:
        RBtnThreshStop->setChecked(true);
        break;
    default:
        UncheckAll({RBtnThreshPause, RBtnThreshSplit, RBtnThreshStop});
        break;
    }
    SEditRelease->setValue(RoundEvenInt(s.ThresholdRelease));
    SEditPreRoll->setValue(std::clamp(s.ThresholdPreRoll, 0, 5000) / 1000.0);
    ChBoxPreRecord->setChecked(s.IsPreRecord);
    ChBoxPreRecord->setText(PreRecordCaption(SEditPreRoll->value()));
}

void TFormMode::SetThresholdOptionsEnabled(bool on) {
    for (QWidget* w : std::initializer_list<QWidget*>{GrBoxThreshold, LabDo, LabReleaseTime,
                                                      SEditRelease, LabActions, RBtnThreshPause,
                                                      RBtnThreshSplit, RBtnThreshStop})
        w->setEnabled(on);
}

void TFormMode::RBtnNormalClick() {
    if (!RBtnNormal->isChecked()) return;
    Settings.IsTresh = false;
    SetThresholdOptionsEnabled(false);
}

void TFormMode::RBtnThreshholdClick() {
    if (!RBtnThreshhold->isChecked()) return;
    Settings.IsTresh = true;
    SetThresholdOptionsEnabled(true);
}

void TFormMode::SEditReleaseChange() {
    Settings.ThresholdRelease = static_cast<float>(SEditRelease->value());
}

void TFormMode::SEditPreRollChange() {
    // Whole tenths of a second: the spin box's double may be a hair off.
    Settings.ThresholdPreRoll = 100 * RoundEvenInt(SEditPreRoll->value() * 10);
    ChBoxPreRecord->setText(PreRecordCaption(SEditPreRoll->value()));
}

void TFormMode::ChBoxPreRecordClick() {
    Settings.IsPreRecord = ChBoxPreRecord->isChecked();
}

void TFormMode::RBtnThreshPauseClick() {
    if (RBtnThreshPause->isChecked()) Settings.ThresholdMode = 1;
}
void TFormMode::RBtnThreshSplitClick() {
    if (RBtnThreshSplit->isChecked()) Settings.ThresholdMode = 2;
}
void TFormMode::RBtnThreshStopClick() {
    if (RBtnThreshStop->isChecked()) Settings.ThresholdMode = 3;
}

void TFormMode::Timer1Timer() {
    const int h = ImageDo->height();
    if (Settings.IsTresh && h < kImageHeight) SetImageHeight(h + 2);
    if (!Settings.IsTresh && h > 1) SetImageHeight(h - 2);
}

void TFormMode::BtnCloseClick() {
    close();
}

TFormMode& FormMode() {
    static TFormMode* dialog = new TFormMode; // lives as long as the program
    return *dialog;
}

} // namespace core
