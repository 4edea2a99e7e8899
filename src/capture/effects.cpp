#include "capture/effects.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QFrame>
#include <QLabel>
#include <QLocale>
#include <QPalette>
#include <QPushButton>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QSlider>
#include <QTimer>
#include <algorithm>
#include <cmath>

#include "capture/boost.h"
#include "capture/capture.h"
#include "core/rounding.h"
#include "core/settings.h"

namespace capture {

EffectsState Effects;
TFormEffects* FormEffects = nullptr;

void GetDC_Offset() {
    const int frames = std::min<int>(Params.FramesPerBlock, kMaxFrames);
    if (frames <= 0) {
        Effects.MeasuredDcLeft = Effects.MeasuredDcRight = 0;
        return;
    }
    double sumLeft = 0;
    double sumRight = 0;
    for (int i = 0; i < frames; ++i) {
        sumLeft += Block.LeftBlock[i];
        sumRight += Block.RightBlock[i];
    }
    Effects.MeasuredDcLeft = core::RoundEvenInt(sumLeft / frames);
    Effects.MeasuredDcRight = core::RoundEvenInt(sumRight / frames);
}

QString DcOffsetText() {
    // 65534 is twice full scale: the mean of both channels' offsets in percent.
    const int64_t sum100 =
        (static_cast<int64_t>(Effects.MeasuredDcLeft) + Effects.MeasuredDcRight) * 100;
    const double percent = std::fabs(static_cast<double>(sum100) / 65534.0);
    return QStringLiteral("DC Offset is ") + QLocale().toString(percent, 'f', 1) +
           QStringLiteral("% of full signal range");
}

QString SoundBoostText() {
    return QStringLiteral("Sound Boost - ") + QString::number(core::Settings.SoundBoost) +
           QStringLiteral(" dB");
}

TFormEffects::TFormEffects(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint) {
    setObjectName(QStringLiteral("FormEffects"));
    setWindowTitle(QStringLiteral("Effects"));
    setFixedSize(257, 158);

    LabDCOffset = new QLabel(this);
    LabDCOffset->setObjectName(QStringLiteral("LabDCOffset"));
    LabDCOffset->setGeometry(16, 10, 225, 17);

    ChBoxDCoffset = new QCheckBox(QStringLiteral("Remove DC Offset"), this);
    ChBoxDCoffset->setObjectName(QStringLiteral("ChBoxDCoffset"));
    ChBoxDCoffset->setGeometry(16, 32, 225, 20);

    Shape1 = new QFrame(this);
    Shape1->setObjectName(QStringLiteral("Shape1"));
    Shape1->setFrameShape(QFrame::HLine);
    Shape1->setFrameShadow(QFrame::Sunken);
    Shape1->setGeometry(8, 58, 241, 2);

    LabSoundBoost = new QLabel(this);
    LabSoundBoost->setObjectName(QStringLiteral("LabSoundBoost"));
    LabSoundBoost->setGeometry(16, 66, 225, 17);

    TrackBar1 = new QSlider(Qt::Horizontal, this);
    TrackBar1->setObjectName(QStringLiteral("TrackBar1"));
    TrackBar1->setRange(0, 10);
    TrackBar1->setPageStep(1);
    TrackBar1->setToolTip(QStringLiteral("Sound Boost"));
    TrackBar1->setGeometry(36, 86, 185, 26);

    // Tick marks at the slider's eleven positions.
    const QRect slider = TrackBar1->geometry();
    for (int i = 0; i < static_cast<int>(Ticks.size()); ++i) {
        auto* tick = new QFrame(this);
        tick->setObjectName(QStringLiteral("Tick%1").arg(i));
        tick->setAutoFillBackground(true);
        QPalette pal = tick->palette();
        pal.setColor(QPalette::Window, QColor(100, 100, 100));
        tick->setPalette(pal);
        const int x = static_cast<int>(core::RoundEven(i * 14.5)) + slider.left() + 10;
        tick->setGeometry(x, slider.top() + 5, 1, 7);
        tick->stackUnder(TrackBar1);
        Ticks[static_cast<size_t>(i)] = tick;
    }

    Shape2 = new QFrame(this);
    Shape2->setObjectName(QStringLiteral("Shape2"));
    Shape2->setFrameShape(QFrame::HLine);
    Shape2->setFrameShadow(QFrame::Sunken);
    Shape2->setGeometry(8, 118, 241, 2);

    BtnOK = new QPushButton(QStringLiteral("OK"), this);
    BtnOK->setObjectName(QStringLiteral("BtnOK"));
    BtnOK->setGeometry(91, 126, 75, 25);
    BtnOK->setDefault(true);

    LabDCOffset->setText(DcOffsetText());
    LabSoundBoost->setText(SoundBoostText());

    // Only a user's click (or click()) switches removal; setChecked from the
    // show handler must not re-capture the offsets.
    connect(ChBoxDCoffset, &QCheckBox::clicked, this, [this] { ChBoxDCoffsetClick(); });
    connect(TrackBar1, &QSlider::valueChanged, this, [this] { TrackBar1Change(); });
    connect(BtnOK, &QPushButton::clicked, this, &QDialog::accept);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(200);
    connect(Timer1, &QTimer::timeout, this, [this] { Timer1Timer(); });
    Timer1->start();

    if (!FormEffects) FormEffects = this;
}

TFormEffects::~TFormEffects() {
    if (FormEffects == this) FormEffects = nullptr;
}

void TFormEffects::DB2Boost() {
    capture::DB2Boost();
}

void TFormEffects::GetDC_Offset() {
    capture::GetDC_Offset();
}

void TFormEffects::Timer1Timer() {
    GetDC_Offset();
    LabDCOffset->setText(DcOffsetText());
}

void TFormEffects::ChBoxDCoffsetClick() {
    if (ChBoxDCoffset->isChecked()) {
        Block.DcOffsetLeft = Effects.MeasuredDcLeft;
        Block.DcOffsetRight = Effects.MeasuredDcRight;
        Effects.DcRemovalOn = true;
    } else {
        Block.DcOffsetLeft = 0;
        Block.DcOffsetRight = 0;
        Effects.DcRemovalOn = false;
    }
}

void TFormEffects::TrackBar1Change() {
    core::Settings.SoundBoost = TrackBar1->value() * 2;
    LabSoundBoost->setText(SoundBoostText());
    DB2Boost();
    // The measured offsets no longer fit the new gain.
    Effects.DcRemovalOn = false;
    ChBoxDCoffset->setChecked(false);
    Block.DcOffsetLeft = 0;
    Block.DcOffsetRight = 0;
}

void TFormEffects::FormShow() {
    // Showing the window only reflects the state; it changes no setting, even
    // for a stored odd boost that no slider position matches.
    const QSignalBlocker block(TrackBar1);
    TrackBar1->setValue(
        static_cast<int>(core::RoundEven(static_cast<double>(core::Settings.SoundBoost) / 2)));
    LabSoundBoost->setText(SoundBoostText());
    ChBoxDCoffset->setChecked(Effects.DcRemovalOn);
}

void TFormEffects::showEvent(QShowEvent* event) {
    FormShow();
    QDialog::showEvent(event);
}

QPoint TFormEffects::PositionUnder(const QRect& mainFrame) const {
    const int ownWidth = frameGeometry().width();
    return {mainFrame.left() + (mainFrame.width() - ownWidth) / 2,
            mainFrame.top() + mainFrame.height()};
}

void TFormEffects::ShowUnder(const QWidget& mainWindow) {
    move(PositionUnder(mainWindow.frameGeometry()));
    QCoreApplication::processEvents();
    exec();
}

} // namespace capture
