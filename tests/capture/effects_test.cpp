#include <gtest/gtest.h>

#include <QCheckBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFrame>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QSlider>
#include <QTimer>
#include <memory>

#include "capture/boost.h"
#include "capture/capture.h"
#include "capture/effects.h"
#include "core/settings.h"
#include "core/state.h"
#include "platform/capture_device.h"
#include "support/session_double.h"

namespace {

class EffectsTest : public ::testing::Test {
  protected:
    platform::ScriptedCaptureDevice* dev = nullptr;
    std::unique_ptr<capture::TFormEffects> form;

    void SetUp() override {
        QLocale::setDefault(QLocale::c());
        core::Settings = core::RecordingSettings{};
        core::ResetSessionState();
        capture::Block = capture::BlockState{};
        capture::ResetEffectsState();
        form = std::make_unique<capture::TFormEffects>();
    }
    void TearDown() override {
        form.reset();
        capture::CloseCapture();
        QLocale::setDefault(QLocale::c());
    }

    void OpenRing() {
        auto d = std::make_unique<platform::ScriptedCaptureDevice>();
        dev = d.get();
        platform::SetCaptureDevice(std::move(d));
        capture::ListCaptureDevices();
        capture::OpenCapture();
        ASSERT_TRUE(capture::Ring.IsCaptureOpen);
    }
    void Deliver(int16_t left, int16_t right) {
        ASSERT_NE(dev->CompleteNext(left, right), nullptr);
        capture::DrainCapture();
    }
    static void RunEvents(int ms) {
        QEventLoop loop;
        QTimer::singleShot(ms, &loop, &QEventLoop::quit);
        loop.exec();
    }
};

TEST_F(EffectsTest, WindowLayout) {
    EXPECT_EQ(form->windowTitle(), "Effects");
    EXPECT_EQ(form->size(), QSize(257, 158));
    EXPECT_EQ(form->minimumSize(), form->maximumSize()); // fixed border
    EXPECT_EQ(form->ChBoxDCoffset->text(), "Remove DC Offset");
    EXPECT_EQ(form->BtnOK->text(), "OK");
    EXPECT_EQ(form->TrackBar1->minimum(), 0);
    EXPECT_EQ(form->TrackBar1->maximum(), 10);
    EXPECT_EQ(form->TrackBar1->toolTip(), "Sound Boost");
    EXPECT_EQ(form->Timer1->interval(), 200);
    EXPECT_TRUE(form->Timer1->isActive()) << "measures from creation, shown or not";
    EXPECT_FALSE(form->isVisible());

    const QRect slider = form->TrackBar1->geometry();
    // x = round-half-even(i * 14.5) + slider left + 10.
    const int offsets[11] = {0, 14, 29, 44, 58, 72, 87, 102, 116, 130, 145};
    for (int i = 0; i < 11; ++i) {
        const QFrame* tick = form->Ticks[i];
        ASSERT_NE(tick, nullptr);
        EXPECT_EQ(tick->geometry(), QRect(slider.left() + 10 + offsets[i], slider.top() + 5, 1, 7))
            << i;
        EXPECT_EQ(tick->palette().color(QPalette::Window), QColor(100, 100, 100));
    }
}

TEST_F(EffectsTest, BoostTable) {
    const struct {
        int32_t db;
        float before, after;
    } cases[] = {
        {0, 3.16f, 1.0f},  {2, 1.0f, 1.26f},
        {4, 1.0f, 1.58f},  {6, 1.0f, 1.99f},
        {8, 1.0f, 2.51f},  {10, 1.0f, 3.16f},
        {12, 1.0f, 3.98f}, {14, 1.0f, 5.01f},
        {16, 1.0f, 6.31f}, {18, 1.0f, 7.94f},
        {20, 1.0f, 10.0f}, {7, 1.0f, 1.0f}, // odd step from the store: gain keeps its start value
        {7, 2.51f, 2.51f},                  // ... whatever it was
        {-2, 1.0f, 1.0f},  {22, 1.26f, 1.26f},
        {7, 12.0f, 1.0f}, // a gain outside 1..10 becomes 1
        {7, 0.5f, 1.0f},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.db);
        core::Settings.SoundBoost = c.db;
        capture::Block.BoostGain = c.before;
        form->DB2Boost();
        EXPECT_EQ(capture::Block.BoostGain, c.after); // the exact float values
    }
}

TEST_F(EffectsTest, SliderSetsBoostAndSwitchesRemovalOff) {
    capture::Effects.MeasuredDcLeft = 40;
    capture::Effects.MeasuredDcRight = -12;
    form->ChBoxDCoffset->click();
    ASSERT_TRUE(capture::Effects.DcRemovalOn);
    ASSERT_EQ(capture::Block.DcOffsetLeft, 40);
    ASSERT_EQ(capture::Block.DcOffsetRight, -12);

    form->TrackBar1->setValue(3);
    EXPECT_EQ(core::Settings.SoundBoost, 6);
    EXPECT_EQ(form->LabSoundBoost->text(), "Sound Boost - 6 dB");
    EXPECT_EQ(capture::Block.BoostGain, 1.99f);
    EXPECT_FALSE(capture::Effects.DcRemovalOn);
    EXPECT_FALSE(form->ChBoxDCoffset->isChecked());
    EXPECT_EQ(capture::Block.DcOffsetLeft, 0);
    EXPECT_EQ(capture::Block.DcOffsetRight, 0);

    form->TrackBar1->setValue(10);
    EXPECT_EQ(capture::Block.BoostGain, 10.0f);
    form->TrackBar1->setValue(0);
    EXPECT_EQ(capture::Block.BoostGain, 1.0f);
    EXPECT_EQ(form->LabSoundBoost->text(), "Sound Boost - 0 dB");
}

TEST_F(EffectsTest, OffsetLabel) {
    const struct {
        int32_t left, right;
        const char* number;
    } cases[] = {
        {328, 328, "1.0"}, {-328, 328, "0.0"}, {0, 0, "0.0"},           {-328, -328, "1.0"},
        {50, 50, "0.2"},   {33, 0, "0.1"},     {32767, 32767, "100.0"}, {-32767, -32767, "100.0"},
    };
    for (const auto& c : cases) {
        capture::Effects.MeasuredDcLeft = c.left;
        capture::Effects.MeasuredDcRight = c.right;
        EXPECT_EQ(capture::DcOffsetText(),
                  QString("DC Offset is %1% of full signal range").arg(c.number))
            << c.left << " " << c.right;
    }
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    capture::Effects.MeasuredDcLeft = capture::Effects.MeasuredDcRight = 328;
    EXPECT_EQ(capture::DcOffsetText(), "DC Offset is 1,0% of full signal range");
}

TEST_F(EffectsTest, MeasurementFollowsTheLatestBlock) {
    OpenRing();
    Deliver(-3, 7);
    capture::GetDC_Offset();
    EXPECT_EQ(capture::Effects.MeasuredDcLeft, -3);
    EXPECT_EQ(capture::Effects.MeasuredDcRight, 7);

    // Means that end in .5 round to the even neighbour: 4410 frames alternating
    // 0 and 1 average 0.5, alternating 2 and 3 average 2.5.
    ASSERT_NE(dev->CompleteNext({0, 2, 1, 3}), nullptr);
    capture::DrainCapture();
    capture::GetDC_Offset();
    EXPECT_EQ(capture::Effects.MeasuredDcLeft, 0);
    EXPECT_EQ(capture::Effects.MeasuredDcRight, 2);
}

TEST_F(EffectsTest, RemovingAConstantOffset) {
    OpenRing();
    Deliver(50, 50);
    RunEvents(250); // the window's own timer measures, though it is hidden
    EXPECT_EQ(capture::Effects.MeasuredDcLeft, 50);
    EXPECT_EQ(capture::Effects.MeasuredDcRight, 50);
    EXPECT_EQ(form->LabDCOffset->text(), "DC Offset is 0.2% of full signal range");

    form->ChBoxDCoffset->click();
    EXPECT_TRUE(capture::Effects.DcRemovalOn);
    EXPECT_EQ(capture::Block.DcOffsetLeft, 50);
    EXPECT_EQ(capture::Block.DcOffsetRight, 50);

    Deliver(50, 50);
    for (int i = 0; i < capture::Params.FramesPerBlock; ++i) {
        ASSERT_EQ(capture::Block.LeftBlock[i], 0) << i;
        ASSERT_EQ(capture::Block.RightBlock[i], 0) << i;
    }
    for (int i = 0; i < capture::Params.OutBlockBytes; ++i)
        ASSERT_EQ(capture::Block.OutBlock[i], 0) << i;

    RunEvents(250);
    EXPECT_EQ(form->LabDCOffset->text(), "DC Offset is 0.0% of full signal range");
    // The offsets stay as captured while the residual is measured.
    EXPECT_EQ(capture::Block.DcOffsetLeft, 50);

    form->ChBoxDCoffset->click();
    EXPECT_FALSE(capture::Effects.DcRemovalOn);
    EXPECT_EQ(capture::Block.DcOffsetLeft, 0);
    EXPECT_EQ(capture::Block.DcOffsetRight, 0);
    Deliver(50, 50);
    EXPECT_EQ(capture::Block.LeftBlock[0], 50);
}

TEST_F(EffectsTest, ShowingReflectsStateWithoutChangingIt) {
    core::Settings.SoundBoost = 8;
    capture::DB2Boost();
    capture::Effects.DcRemovalOn = true;
    capture::Effects.MeasuredDcLeft = 3; // a residual, not the removed offset
    capture::Block.DcOffsetLeft = 40;
    capture::Block.DcOffsetRight = 41;
    form->show();
    EXPECT_EQ(form->TrackBar1->value(), 4);
    EXPECT_EQ(form->LabSoundBoost->text(), "Sound Boost - 8 dB");
    EXPECT_TRUE(form->ChBoxDCoffset->isChecked());
    EXPECT_TRUE(capture::Effects.DcRemovalOn);
    EXPECT_EQ(capture::Block.DcOffsetLeft, 40);
    EXPECT_EQ(capture::Block.DcOffsetRight, 41);
    EXPECT_EQ(capture::Block.BoostGain, 2.51f);
    form->hide();

    // A stored odd step: the slider shows the nearest even position, the
    // setting and the gain stay as they were.
    core::Settings.SoundBoost = 7;
    capture::Block.BoostGain = 1.0f;
    capture::Effects.DcRemovalOn = false;
    form->show();
    EXPECT_EQ(form->TrackBar1->value(), 4);
    EXPECT_EQ(core::Settings.SoundBoost, 7);
    EXPECT_EQ(form->LabSoundBoost->text(), "Sound Boost - 7 dB");
    EXPECT_EQ(capture::Block.BoostGain, 1.0f);
    EXPECT_FALSE(form->ChBoxDCoffset->isChecked());
}

TEST_F(EffectsTest, OpensModallyUnderTheMainWindow) {
    const int ownWidth = form->frameGeometry().width();
    EXPECT_EQ(form->PositionUnder(QRect(100, 200, 400, 300)),
              QPoint(100 + (400 - ownWidth) / 2, 500));
    // Halving truncates toward zero for a main window narrower than this one.
    EXPECT_EQ(form->PositionUnder(QRect(10, 0, ownWidth - 3, 50)), QPoint(10 - 1, 50));

    QWidget main(nullptr, Qt::FramelessWindowHint);
    main.setGeometry(120, 80, 380, 240);
    main.show();
    QPoint seen;
    bool modal = false;
    // Acts once the modal loop shows the window; gives up after 5 s rather than hang.
    QTimer poll;
    int waited = 0;
    QObject::connect(&poll, &QTimer::timeout, form.get(), [&] {
        if (!form->isVisible() && ++waited < 500) return;
        poll.stop();
        seen = form->frameGeometry().topLeft();
        modal = form->isVisible() && form->isModal();
        if (form->isVisible())
            form->BtnOK->click();
        else
            form->reject();
    });
    poll.start(10);
    form->ShowUnder(main);
    EXPECT_TRUE(modal);
    EXPECT_EQ(seen, QPoint(120 + (380 - ownWidth) / 2, 80 + 240));
    EXPECT_FALSE(form->isVisible());
}

} // namespace
