#include <gtest/gtest.h>

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QAccessibleValueInterface>
#include <QTemporaryDir>
#include <memory>

#include "app/program.h"
#include "capture/capture.h"
#include "core/session.h"
#include "core/settings.h"
#include "core/state.h"
#include "mainwindow/form1.h"
#include "mainwindow/status.h"
#include "mainwindow/system.h"
#include "platform/capture_device.h"
#include "platform/prompt.h"
#include "test_util.h"

namespace {

class AccessibleTest : public ::testing::Test {
  protected:
    platform::ScriptedPrompt prompt;
    std::unique_ptr<app::Program> program;
    mainwindow::TForm1* form = nullptr;
    QTemporaryDir folder;

    void SetUp() override {
        testutil::RemoveSettings();
        platform::SetPrompt(&prompt);
        platform::SetCaptureDevice(std::make_unique<platform::ScriptedCaptureDevice>());
        capture::CloseCapture();
        core::ResetSessionState();
        core::Startup = core::StartupState{};
        mainwindow::ResetSeams();
        program = std::make_unique<app::Program>();
        form = &program->Recorder();
        form->TimerRec.stop();
        form->TimerStatus.stop();
        form->TimerForms.stop();
        core::Settings.FolderName = folder.path().toStdString();
    }
    void TearDown() override {
        if (core::Session.IsRecording) core::StopRecording();
        core::ResetSessionState();
        program.reset();
        capture::CloseCapture();
        mainwindow::ResetSeams();
        platform::SetPrompt(nullptr);
    }
};

TEST_F(AccessibleTest, ButtonsArePushButtonsNamedByTheirHintAndPressable) {
    QAccessibleInterface* record = QAccessible::queryAccessibleInterface(form->ImageRecord);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->role(), QAccessible::Button);
    EXPECT_EQ(record->text(QAccessible::Name), "Record F5");
    // A hint of several lines: its first line names the button, all of it describes it.
    form->ImageRecordMouseMove();
    EXPECT_EQ(record->text(QAccessible::Name), "Record (F5)");
    EXPECT_EQ(record->text(QAccessible::Description), "Record (F5)\nMode - Normal");

    QAccessibleActionInterface* action = record->actionInterface();
    ASSERT_NE(action, nullptr);
    ASSERT_EQ(action->actionNames(), QStringList{QAccessibleActionInterface::pressAction()});
    EXPECT_FALSE(record->state().disabled);
    action->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_TRUE(core::Session.IsRecording);
    // Refused while recording, as the mouse is.
    EXPECT_TRUE(record->state().disabled);
    QAccessibleInterface* stop = QAccessible::queryAccessibleInterface(form->ImageStop);
    ASSERT_NE(stop, nullptr);
    EXPECT_EQ(stop->text(QAccessible::Name), "Stop F9");
    stop->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_FALSE(core::Session.IsRecording);
}

TEST_F(AccessibleTest, SlidersReadAndSetTheirValues) {
    QAccessibleInterface* volume = QAccessible::queryAccessibleInterface(form->ImageVol);
    ASSERT_NE(volume, nullptr);
    EXPECT_EQ(volume->role(), QAccessible::Slider);
    EXPECT_EQ(volume->text(QAccessible::Name), "Recording Volume");
    QAccessibleValueInterface* v = volume->valueInterface();
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->minimumValue().toDouble(), 0);
    EXPECT_EQ(v->maximumValue().toDouble(), 100);
    v->setCurrentValue(50.0);
    EXPECT_EQ(form->KnobLeft(), mainwindow::KnobForVolume(0.5f));
    EXPECT_NEAR(v->currentValue().toDouble(), 50, 0.5);
    v->setCurrentValue(250.0); // clamped to the range
    EXPECT_EQ(form->KnobLeft(), mainwindow::kKnobMax);

    QAccessibleInterface* threshold = nullptr;
    for (QObject* c : form->children())
        if (c->objectName() == "ThresholdSlider")
            threshold = QAccessible::queryAccessibleInterface(c);
    ASSERT_NE(threshold, nullptr);
    EXPECT_EQ(threshold->role(), QAccessible::Slider);
    EXPECT_EQ(threshold->text(QAccessible::Name), "Threshold Level");
    threshold->valueInterface()->setCurrentValue(25.0);
    EXPECT_EQ(mainwindow::ThresholdMarkerX(), 14 + 86); // 25 % of 346 pixels, half to even
    EXPECT_NEAR(core::Settings.ThresholdLevel, 25, 0.2);
    EXPECT_NEAR(threshold->valueInterface()->currentValue().toDouble(), 25, 0.2);
}

} // namespace
