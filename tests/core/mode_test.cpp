#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
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
        return {form.GrBoxThreshold,  form.LabDo,         form.LabReleaseTime,
                form.SEditRelease,    form.LabActions,    form.RBtnThreshPause,
                form.RBtnThreshSplit, form.RBtnThreshStop};
    }
    void ExpectOptionsEnabled(bool on) {
        for (QWidget* w : Options())
            EXPECT_EQ(w->isEnabled(), on) << w->metaObject()->className();
        // The pre-record time serves both modes.
        for (QWidget* w : std::initializer_list<QWidget*>{form.LabPreRoll, form.SEditPreRoll,
                                                          form.ChBoxPreRecord})
            EXPECT_TRUE(w->isEnabled()) << w->metaObject()->className();
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

TEST_F(ModeTest, PreRecordBeforeRecordIsOptional) {
    Settings.ThresholdPreRoll = 1500;
    form.FormShow();
    EXPECT_FALSE(form.ChBoxPreRecord->isChecked()); // off unless chosen
    EXPECT_EQ(form.ChBoxPreRecord->text(), "Keep the last 1.5 s before Record");
    form.ChBoxPreRecord->click();
    EXPECT_TRUE(Settings.IsPreRecord);
    form.SEditPreRoll->stepBy(-15);
    EXPECT_EQ(form.ChBoxPreRecord->text(), "Keep the last 0.0 s before Record");
    form.ChBoxPreRecord->click();
    EXPECT_FALSE(Settings.IsPreRecord);
    Settings.IsPreRecord = true;
    form.FormShow();
    EXPECT_TRUE(form.ChBoxPreRecord->isChecked());
}

TEST_F(ModeTest, ControlsDoNotOverlap) {
    // Every control lies inside its group and clear of its neighbours; the
    // groups and the button lie inside the dialog and clear of each other.
    std::vector<QWidget*> top;
    for (QWidget* group :
         {static_cast<QWidget*>(form.GrBoxMode), static_cast<QWidget*>(form.GrBoxThreshold)}) {
        SCOPED_TRACE(group->objectName().toStdString() + " " +
                     static_cast<QGroupBox*>(group)->title().toStdString());
        top.push_back(group);
        const auto children = group->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
        ASSERT_GE(children.size(), 4);
        for (qsizetype i = 0; i < children.size(); ++i) {
            const QRect a = children[i]->geometry();
            EXPECT_TRUE(group->rect().contains(a)) << i;
            for (qsizetype j = i + 1; j < children.size(); ++j)
                EXPECT_FALSE(a.intersects(children[j]->geometry())) << i << " " << j;
        }
    }
    top.push_back(form.BtnClose);
    for (size_t i = 0; i < top.size(); ++i) {
        EXPECT_TRUE(form.rect().contains(top[i]->geometry())) << i;
        for (size_t j = i + 1; j < top.size(); ++j)
            EXPECT_FALSE(top[i]->geometry().intersects(top[j]->geometry())) << i << " " << j;
    }
    // The longest pre-record caption fits its check box.
    form.SEditPreRoll->setValue(5);
    EXPECT_LE(form.ChBoxPreRecord->sizeHint().width(), form.ChBoxPreRecord->width());
}
