#include <gtest/gtest.h>

#include <QApplication>
#include <QDoubleSpinBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>

#include "core/mode.h"
#include "core/settings.h"

using core::Settings;
using core::TFormMode;

namespace {

class ModeTest : public ::testing::Test {
  protected:
    TFormMode form;
    void SetUp() override { Settings = core::RecordingSettings{}; }
    std::vector<QWidget*> Options() {
        return {form.GrBoxThreshold,  form.LabDo,         form.LabReleaseTime, form.SEditRelease,
                form.LabPreRoll,      form.SEditPreRoll,  form.LabActions,     form.RBtnThreshPause,
                form.RBtnThreshSplit, form.RBtnThreshStop};
    }
    void ExpectOptionsEnabled(bool on) {
        for (QWidget* w : Options())
            EXPECT_EQ(w->isEnabled(), on) << w->metaObject()->className();
    }
};

} // namespace

TEST_F(ModeTest, ControlsAndCaptions) {
    EXPECT_EQ(form.windowTitle(), "Recording Mode");
    EXPECT_FALSE(form.isModal());
    EXPECT_EQ(form.minimumSize(), form.maximumSize());
    EXPECT_EQ(form.GrBoxMode->title(), "Recording Mode");
    EXPECT_EQ(form.RBtnNormal->text(), "Normal");
    EXPECT_EQ(form.RBtnThreshhold->text(), "Threshold");
    EXPECT_EQ(form.GrBoxThreshold->title(), "Threshold Mode Options");
    EXPECT_EQ(form.LabReleaseTime->text(), "ReleaseTime, sec");
    EXPECT_EQ(form.LabActions->text(), "When Release and Next Threshold:");
    EXPECT_TRUE(form.LabActions->font().underline());
    EXPECT_EQ(form.RBtnThreshPause->text(), "Pause and Continue Recording");
    EXPECT_EQ(form.RBtnThreshSplit->text(), "Start New Recording (File)");
    EXPECT_EQ(form.RBtnThreshStop->text(), "Stop Recording");
    EXPECT_EQ(form.LabDo->text(), "Click and Drag the red Slider to Adjust the Threshold Level ");
    EXPECT_EQ(form.BtnClose->text(), "OK");
    EXPECT_EQ(form.SEditRelease->minimum(), 1);
    EXPECT_EQ(form.SEditRelease->maximum(), 10);
    EXPECT_EQ(form.ImageDo->width(), 86);
    EXPECT_EQ(form.Timer1.interval(), 50);
}

TEST_F(ModeTest, FormShowReflectsTheSettings) {
    struct Case {
        bool tresh;
        int mode;
        float release;
        QRadioButton* TFormMode::*checked; // nullptr: no action button checked
        int spin, height;
    } cases[] = {
        {false, 2, 3.6f, &TFormMode::RBtnThreshSplit, 4, 0},
        {true, 3, 10, &TFormMode::RBtnThreshStop, 10, 42},
        {true, 1, 2.5f, &TFormMode::RBtnThreshPause, 2, 42}, // halves round to even
        {true, 7, 1, nullptr, 1, 42},
        {false, 0, 0, nullptr, 1, 0}, // below the range: the spin edit holds 1
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mode);
        Settings.IsTresh = c.tresh;
        Settings.ThresholdMode = c.mode;
        Settings.ThresholdRelease = c.release;
        form.FormShow();
        EXPECT_EQ(form.RBtnNormal->isChecked(), !c.tresh);
        EXPECT_EQ(form.RBtnThreshhold->isChecked(), c.tresh);
        ExpectOptionsEnabled(c.tresh);
        EXPECT_EQ(form.ImageDo->height(), c.height);
        for (auto m :
             {&TFormMode::RBtnThreshPause, &TFormMode::RBtnThreshSplit, &TFormMode::RBtnThreshStop})
            EXPECT_EQ((form.*m)->isChecked(), m == c.checked);
        EXPECT_EQ(form.SEditRelease->value(), c.spin);
        EXPECT_EQ(Settings.ThresholdMode, c.mode); // showing changes no action
    }
}

TEST_F(ModeTest, ChangesGoIntoTheSettingsAtOnce) {
    form.FormShow();
    form.RBtnThreshhold->click();
    EXPECT_TRUE(Settings.IsTresh);
    ExpectOptionsEnabled(true);
    form.RBtnThreshStop->click();
    EXPECT_EQ(Settings.ThresholdMode, 3);
    form.RBtnThreshSplit->click();
    EXPECT_EQ(Settings.ThresholdMode, 2);
    form.RBtnThreshPause->click();
    EXPECT_EQ(Settings.ThresholdMode, 1);
    form.SEditRelease->stepBy(3);
    EXPECT_EQ(Settings.ThresholdRelease, 4);
    form.SEditRelease->stepBy(20);
    EXPECT_EQ(Settings.ThresholdRelease, 10);
    form.RBtnNormal->click();
    EXPECT_FALSE(Settings.IsTresh);
    ExpectOptionsEnabled(false);
    EXPECT_EQ(Settings.ThresholdMode, 1); // the action stays for the next time
}

TEST_F(ModeTest, ReleaseTimeIsNotTyped) {
    Settings.IsTresh = true;
    form.FormShow();
    form.SEditRelease->setFocus();
    for (int key : {Qt::Key_Backspace, Qt::Key_7}) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, key == Qt::Key_7 ? "7" : "");
        QApplication::sendEvent(form.SEditRelease, &press);
    }
    EXPECT_EQ(form.SEditRelease->value(), 1);
    EXPECT_EQ(Settings.ThresholdRelease, 1);
    QKeyEvent up(QEvent::KeyPress, Qt::Key_Up, Qt::NoModifier);
    QApplication::sendEvent(form.SEditRelease, &up);
    EXPECT_EQ(Settings.ThresholdRelease, 2);
}

TEST_F(ModeTest, PictureUnrollsAndRollsUp) {
    Settings.IsTresh = false;
    form.FormShow();
    ASSERT_EQ(form.ImageDo->height(), 0);
    Settings.IsTresh = true;
    int steps = 0;
    while (form.ImageDo->height() < 42 && steps < 100) {
        form.Timer1Timer();
        ++steps;
    }
    EXPECT_EQ(steps, 21);
    form.Timer1Timer();
    EXPECT_EQ(form.ImageDo->height(), 42);
    Settings.IsTresh = false;
    steps = 0;
    while (form.ImageDo->height() > 0 && steps < 100) {
        form.Timer1Timer();
        ++steps;
    }
    EXPECT_EQ(steps, 21);
    form.Timer1Timer();
    EXPECT_EQ(form.ImageDo->height(), 0);
}

TEST_F(ModeTest, ShowRunsTheAnimationAndOkCloses) {
    Settings.IsTresh = true;
    Settings.ThresholdMode = 2;
    form.ShowAt(40, 340);
    EXPECT_TRUE(form.isVisible());
    EXPECT_TRUE(form.Timer1.isActive());
    EXPECT_TRUE(form.RBtnThreshSplit->isChecked());
    form.BtnClose->click();
    EXPECT_FALSE(form.isVisible());
    EXPECT_FALSE(form.Timer1.isActive());
}

TEST_F(ModeTest, PreRecordTimeInTenthsOfASecond) {
    EXPECT_EQ(form.LabPreRoll->text(), "Pre-record, sec");
    EXPECT_EQ(form.SEditPreRoll->minimum(), 0);
    EXPECT_EQ(form.SEditPreRoll->maximum(), 5);
    struct Case {
        int stored;   // milliseconds in the settings
        double shown; // seconds in the spin edit
    } cases[] = {{500, 0.5}, {0, 0}, {5000, 5}, {1300, 1.3}, {9000, 5}, {-20, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stored);
        Settings.ThresholdPreRoll = c.stored;
        form.FormShow();
        EXPECT_DOUBLE_EQ(form.SEditPreRoll->value(), c.shown);
    }
    Settings.ThresholdPreRoll = 500;
    form.FormShow();
    form.SEditPreRoll->stepBy(3);
    EXPECT_EQ(Settings.ThresholdPreRoll, 800);
    form.SEditPreRoll->stepBy(-8);
    EXPECT_EQ(Settings.ThresholdPreRoll, 0);
    form.SEditPreRoll->stepBy(60);
    EXPECT_EQ(Settings.ThresholdPreRoll, 5000);
    // Changed with the arrows only, like the release time.
    form.SEditPreRoll->setFocus();
    QKeyEvent seven(QEvent::KeyPress, Qt::Key_7, Qt::NoModifier, "7");
    QApplication::sendEvent(form.SEditPreRoll, &seven);
    EXPECT_EQ(Settings.ThresholdPreRoll, 5000);
}

TEST_F(ModeTest, ThresholdOptionsDoNotOverlap) {
    // Every control of the options group lies inside it and clear of the
    // others (the picture and the text beside it are placed side by side).
    std::vector<QWidget*> controls = {
        form.LabReleaseTime,  form.SEditRelease,   form.LabPreRoll,
        form.SEditPreRoll,    form.LabActions,     form.RBtnThreshPause,
        form.RBtnThreshSplit, form.RBtnThreshStop, form.LabDo};
    const QRect inside = form.GrBoxThreshold->rect();
    for (size_t i = 0; i < controls.size(); ++i) {
        const QRect a = controls[i]->geometry();
        EXPECT_TRUE(inside.contains(a)) << i;
        for (size_t j = i + 1; j < controls.size(); ++j)
            EXPECT_FALSE(a.intersects(controls[j]->geometry())) << i << " " << j;
    }
    EXPECT_TRUE(form.GrBoxThreshold->rect().contains(form.ImageDo->geometry()));
    EXPECT_TRUE(form.rect().contains(form.GrBoxThreshold->geometry()));
    EXPECT_FALSE(form.GrBoxThreshold->geometry().intersects(form.BtnClose->geometry()));
    EXPECT_TRUE(form.rect().contains(form.BtnClose->geometry()));
}
