#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QMenu>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <memory>

#include "app/program.h"
#include "capture/capture.h"
#include "core/session.h"
#include "core/settings.h"
#include "core/state.h"
#include "inspect/audio_fixtures.h"
#include "library/filelist.h"
#include "mainwindow/form1.h"
#include "mainwindow/hint.h"
#include "mainwindow/status.h"
#include "mainwindow/system.h"
#include "platform/capture_device.h"
#include "platform/prompt.h"
#include "test_util.h"

namespace {

using mainwindow::TForm1;

// A recorder window on the scripted capture device, its timers stopped so
// each test drives the status tick itself.
class Form1Test : public ::testing::Test {
  protected:
    platform::ScriptedPrompt prompt;
    platform::ScriptedCaptureDevice* dev = nullptr;
    std::unique_ptr<app::Program> program;
    TForm1* form = nullptr;
    QTemporaryDir folder;

    void SetUp() override {
        testutil::RemoveSettings();
        platform::SetPrompt(&prompt);
        auto d = std::make_unique<platform::ScriptedCaptureDevice>();
        dev = d.get();
        platform::SetCaptureDevice(std::move(d));
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
        core::ResetSessionState();
        program.reset();
        form = nullptr;
        capture::CloseCapture();
        mainwindow::ResetSeams();
        platform::SetPrompt(nullptr);
    }
    QColor Color(QLabel* l) { return l->palette().color(QPalette::WindowText); }
    void Mouse(QWidget* w, QEvent::Type type, QPoint at, Qt::MouseButton button,
               Qt::MouseButtons buttons) {
        QMouseEvent e(type, QPointF(at), w->mapToGlobal(QPointF(at)), button, buttons,
                      Qt::NoModifier);
        QApplication::sendEvent(w, &e);
    }
};

TEST(FormatLabelTest, TextAndPictureByFormat) {
    struct Case {
        const char* name;
        void (*set)(core::RecordingSettings&);
        const char* picture;
        const char* text;
    } cases[] = {
        {"wav", [](auto& s) { s.IsMP3 = false, s.IsWav = true; }, "ImageWav",
         "WAV 44100Hz 16bit stereo"},
        {"wav mono 8 bit",
         [](auto& s) {
             s.IsMP3 = false, s.IsWav = true, s.Channels = 1, s.BitPerSample = 8,
             s.SamplePerSecond = 22050;
         },
         "ImageWav", "WAV 22050Hz 8bit mono"},
        {"flac", [](auto& s) { s.IsMP3 = false, s.IsFLAC = true, s.SamplePerSecond = 96000; },
         "ImageFlac", "FLAC 96000Hz 16bit stereo"},
        {"mp3", [](auto&) {}, "ImageMP3", "MP3 128 kbps stereo"},
        {"mp3 joint", [](auto& s) { s.MP3Mode = 1, s.MP3BitRate = 192; }, "ImageMP3",
         "MP3 192 kbps joint stereo"},
        {"mp3 dual", [](auto& s) { s.MP3Mode = 2; }, "ImageMP3", "MP3 128 kbps dual channel"},
        {"mp3 mono mode", [](auto& s) { s.MP3Mode = 3; }, "ImageMP3", "MP3 128 kbps mono"},
        // An unknown mode keeps the channel text.
        {"mp3 odd mode", [](auto& s) { s.MP3Mode = 7, s.Channels = 1; }, "ImageMP3",
         "MP3 128 kbps mono"},
        {"mp3 vbr", [](auto& s) { s.IsVBR = true, s.MP3Mode = 1; }, "ImageMP3",
         "MP3   VBR  joint stereo"},
        {"wma", [](auto& s) { s.IsMP3 = false, s.IsWMA = true, s.WMARate = 64; }, "ImageWMA",
         "WMA 64 kbps stereo"},
        {"ogg rate", [](auto& s) { s.IsMP3 = false, s.IsOGG = true, s.OggRate = 160; }, "ImageOgg",
         "OGG 160 kbps stereo"},
        {"ogg quality",
         [](auto& s) { s.IsMP3 = false, s.IsOGG = true, s.IsOggQuality = true, s.OggQuality = 5; },
         "ImageOgg", "OGG Quality - 5 stereo"},
        {"ogg fractional quality",
         [](auto& s) {
             s.IsMP3 = false, s.IsOGG = true, s.IsOggQuality = true, s.OggQuality = 2.5f,
             s.Channels = 1;
         },
         "ImageOgg", "OGG Quality - 2.5 mono"},
    };
    for (const auto& c : cases) {
        core::RecordingSettings s;
        c.set(s);
        auto f = mainwindow::FormatLabelFor(s);
        EXPECT_EQ(f.picture, c.picture) << c.name;
        EXPECT_EQ(f.text, c.text) << c.name;
    }
}

TEST(RecordHintTest, ByMode) {
    core::RecordingSettings s;
    EXPECT_EQ(mainwindow::RecordHint(s), "Record (F5)\nMode - Normal");
    s.IsTresh = true;
    const char* byMode[] = {"Pause and Continue Recording", "Start New Recording",
                            "Stop Recording"};
    for (int m = 1; m <= 3; ++m) {
        s.ThresholdMode = m;
        EXPECT_EQ(mainwindow::RecordHint(s),
                  QString("Record (F5)\nMode - Threshold\n") + byMode[m - 1]);
    }
}

TEST(VolumeKnobTest, EndsAndRounding) {
    EXPECT_EQ(mainwindow::VolumeForKnob(26), 0.0f);
    EXPECT_EQ(mainwindow::VolumeForKnob(155), 1.0f);
    EXPECT_EQ(mainwindow::KnobForVolume(0), 26);
    EXPECT_EQ(mainwindow::KnobForVolume(1), 155);
    EXPECT_EQ(mainwindow::KnobForVolume(0.5f), 90); // 64.5 rounds to even 64
    EXPECT_EQ(mainwindow::KnobForVolume(-0.5f), 26);
    EXPECT_EQ(mainwindow::KnobForVolume(1.5f), 155);
    for (int left = 26; left <= 155; ++left)
        EXPECT_EQ(mainwindow::KnobForVolume(mainwindow::VolumeForKnob(left)), left);
}

TEST(SourceTextTest, CutNamesAndNoDevice) {
    struct Case {
        std::string source;
        std::string label;
    } cases[] = {
        {"Microphone (USB Audio Device", "Microphone (USB Audio Device)"},
        {"Line In (Built-in Audio Analog S", "Line In (Built-in Audio Analog S...)"},
        {"Monitor of Built-in Audio", "Monitor of Built-in Audio"},
        {"Headset (USB) mic", "Headset (USB) mic"},
        {std::string(31, 'x'), std::string(31, 'x') + "..."},
        {std::string(30, 'y'), std::string(30, 'y')},
    };
    for (const auto& c : cases) {
        bool none = true;
        EXPECT_EQ(mainwindow::SourceLabelText(c.source, none), c.label) << c.source;
        EXPECT_FALSE(none);
    }
    bool none = false;
    EXPECT_EQ(mainwindow::SourceLabelText("", none), "no recording device is enabled");
    EXPECT_TRUE(none);
}

TEST_F(Form1Test, StatusTextsByState) {
    struct Case {
        const char* name;
        bool recording, paused, tresh;
        const char* text;
        bool sar;
        int top;
    } cases[] = {
        {"monitoring", false, false, false, "Monitoring", false, 56},
        {"recording", true, false, false, "Recording", false, 56},
        {"paused", true, true, false, "Pause", false, 56},
        {"sound activated, recording", true, false, true, "Recording", true, 61},
        {"sound activated, waiting for sound", true, true, true, "Waiting", true, 61},
        {"F7 while monitoring", false, true, false, "Pause", false, 56},
    };
    for (const auto& c : cases) {
        core::Session.IsRecording = c.recording;
        core::Session.IsPaused = c.paused;
        core::Settings.IsTresh = c.tresh;
        form->UpdateStatus();
        EXPECT_EQ(form->LabStatus->text(), c.text) << c.name;
        EXPECT_EQ(form->LabStatus0->text(), c.text) << c.name;
        EXPECT_EQ(form->LabSAR->isVisibleTo(form), c.sar) << c.name;
        EXPECT_EQ(form->LabStatus->y(), c.top) << c.name;
        EXPECT_EQ(form->LabStatus0->y(), c.top + 1) << c.name;
        // The caption stays clear of the format icon beside it.
        EXPECT_LT(form->LabStatus->x() + form->LabStatus->fontMetrics().horizontalAdvance(c.text),
                  form->ImageFormat->x())
            << c.name;
        if (!c.recording) {
            EXPECT_EQ(Color(form->LabStatus), QColor(221, 221, 221)) << c.name;
        }
    }
}

TEST_F(Form1Test, RecordingColoursBlinkAndFreezeWhilePaused) {
    core::Session.IsRecording = true;
    mainwindow::Status.BlinkOn = true;
    form->UpdateStatus();
    EXPECT_EQ(Color(form->LabStatus), QColor(255, 128, 128));
    EXPECT_EQ(Color(form->LabFile), QColor(255, 0, 0));
    EXPECT_EQ(Color(form->LabTime0), QColor(150, 50, 50));
    EXPECT_TRUE(form->LabStatus0->isVisibleTo(form));
    form->UpdateStatus();
    EXPECT_EQ(Color(form->LabStatus), QColor(200, 80, 80));
    EXPECT_EQ(Color(form->LabTime), QColor(200, 80, 80));
    EXPECT_EQ(Color(form->LabFile), QColor(155, 0, 0));
    EXPECT_FALSE(form->LabStatus0->isVisibleTo(form));
    core::Session.IsPaused = true;
    for (int i = 0; i < 3; ++i) {
        form->UpdateStatus();
        EXPECT_EQ(Color(form->LabStatus), QColor(255, 128, 128)) << i;
    }
}

TEST_F(Form1Test, FileLabelOnlyWhileRecording) {
    core::Session.SelectedFile = core::Settings.FolderName + "/record007.mp3";
    form->UpdateStatus();
    EXPECT_EQ(form->LabFile->text(), "");
    core::Session.IsRecording = true;
    form->UpdateStatus();
    EXPECT_EQ(form->LabFile->text(), "record007.mp3");
    const int folderWidth = form->fontMetrics().horizontalAdvance(form->LabFolder->text());
    EXPECT_EQ(form->LabFile->x(), form->LabFolder->x() + folderWidth + 2);
}

TEST_F(Form1Test, SourceLabelForDeviceNames) {
    struct Case {
        std::string device;
        std::string source;
        bool none;
    } cases[] = {
        {"Short Input", "Short Input", false},
        {"Mic (Rear", "Mic (Rear)", false},
        {std::string(31, 'M'), std::string(31, 'M') + "...", false},
    };
    for (const auto& c : cases) {
        dev->devices = {{c.device, platform::kAllWaveFormats, 2}};
        core::Startup.KnownDeviceName.clear();
        core::Startup.DeviceName.clear();
        form->UpdateStatus();
        EXPECT_EQ(mainwindow::Status.SourceText, c.source);
        EXPECT_EQ(core::Session.NoDeviceEnabled, c.none);
        EXPECT_EQ(form->LabSource_->toolTip().toStdString(),
                  "Recording Audio Source (Device) :\n" + c.source);
        // The label itself is cut to 150 pixels without an ellipsis.
        const QString shown = form->LabSource_->text();
        EXPECT_LE(form->fontMetrics().horizontalAdvance(shown), 150);
        EXPECT_TRUE(QString::fromStdString(c.source).startsWith(shown));
    }
}

TEST_F(Form1Test, LastDeviceGoneAndBack) {
    ASSERT_TRUE(capture::Ring.IsCaptureOpen);
    const auto devices = dev->devices;
    dev->devices.clear();
    form->UpdateStatus();
    EXPECT_FALSE(capture::Ring.IsCaptureOpen);
    EXPECT_EQ(form->LabSource_->text(), "no recording device is enabled");
    EXPECT_TRUE(core::Session.NoDeviceEnabled);
    EXPECT_TRUE(core::Startup.DeviceName.empty());
    // Still none on the next tick: the text does not grow.
    form->UpdateStatus();
    EXPECT_EQ(mainwindow::Status.SourceText, "no recording device is enabled");

    dev->devices = devices;
    form->UpdateStatus();
    EXPECT_TRUE(capture::Ring.IsCaptureOpen);
    EXPECT_FALSE(core::Session.NoDeviceEnabled);
    EXPECT_EQ(mainwindow::Status.SourceText, "Scripted Input");
}

TEST_F(Form1Test, DefaultDeviceChangeFinishesRecordingSavesAndRestarts) {
    QStringList started;
    int quits = 0;
    auto& seams = mainwindow::Seams();
    seams.StartProgram = [&](const QString& program, const QStringList&, qint64*) {
        started << program;
        return true;
    };
    seams.Quit = [&] { ++quits; };
    core::Session.IsRecording = true;
    core::Settings.ThresholdLevel = 25;
    testutil::RemoveSettings();
    dev->devices = {{"Another Input", platform::kAllWaveFormats, 2}};
    form->UpdateStatus();
    EXPECT_FALSE(core::Session.IsRecording);
    EXPECT_FALSE(form->TimerStatus.isActive());
    EXPECT_TRUE(QFile::exists(QString::fromStdString(testutil::SettingsFile())));
    ASSERT_EQ(started.size(), 1);
    EXPECT_EQ(started[0], QCoreApplication::applicationFilePath());
    EXPECT_EQ(quits, 1);
}

TEST_F(Form1Test, FolderLabelShortening) {
    const QFontMetrics fm = form->fontMetrics();
    EXPECT_EQ(mainwindow::FolderLabelText("/home/ann/Music", fm), "/home/ann/Music/");
    // Narrow letters make the cut land within a few pixels of 250, past 247.
    const QString longPath = "/home/ann/" + QString(200, 'i');
    const QString t = mainwindow::FolderLabelText(longPath, fm);
    ASSERT_TRUE(t.endsWith(".../"));
    const QString cut = t.chopped(4);
    EXPECT_TRUE(longPath.startsWith(cut));
    EXPECT_LE(fm.horizontalAdvance(cut), 250);
    EXPECT_GE(fm.horizontalAdvance(cut), 247);
    EXPECT_GT(fm.horizontalAdvance(cut + longPath.mid(cut.size(), 1)), 250);
    core::Settings.FolderName = longPath.toStdString();
    form->UpdateStatus();
    EXPECT_EQ(form->LabFolder->text(), t);
    EXPECT_EQ(form->LabFolder->toolTip(), "Output Folder: \n" + longPath);
}

TEST_F(Form1Test, TitleWhileMinimised) {
    auto& s = core::Session;
    core::Startup.IsMinimized = true;
    form->UpdateStatus();
    EXPECT_EQ(form->windowTitle(), "Monitoring");
    s.IsPlaying = true;
    form->UpdateStatus();
    EXPECT_EQ(form->windowTitle(), "Playing");
    s.IsPlaying = false;
    s.IsRecording = true;
    s.ElapsedSeconds = 65.3f;
    form->UpdateStatus();
    EXPECT_EQ(form->windowTitle(), "0:01:05.3 Stop-F9");
    s.IsPaused = true;
    form->UpdateStatus();
    EXPECT_EQ(form->windowTitle(), "Pause");
    core::Settings.IsTresh = true; // armed, waiting for sound
    form->UpdateStatus();
    EXPECT_EQ(form->windowTitle(), "Waiting for sound");
    core::Settings.IsTresh = false;
    form->SetRestore();
    EXPECT_EQ(form->windowTitle(), "Kestrune");
    form->UpdateStatus();
    EXPECT_EQ(form->windowTitle(), "Kestrune");
}

TEST_F(Form1Test, ThresholdMarkerDrag) {
    QWidget* bg = form->ImageForm1;
    struct Case {
        int toX;
        const char* hint;
        float level;
    } cases[] = {
        {0, "Threshold Level -  0.0%", 0.0f},
        {399, "Threshold Level -  100.0%", 100.0f},
        {187, "Threshold Level -  50.0%", 50.0f},
    };
    for (const auto& c : cases) {
        const int at = 14 + mainwindow::ThresholdMarkerX();
        Mouse(bg, QEvent::MouseButtonPress, {at, 245}, Qt::LeftButton, Qt::LeftButton);
        ASSERT_TRUE(core::Session.IsDragging);
        // Drag so that the marker lands at c.toX (clamped to 14..360).
        Mouse(bg, QEvent::MouseMove, {at + (c.toX - mainwindow::ThresholdMarkerX()), 245},
              Qt::NoButton, Qt::LeftButton);
        EXPECT_NEAR(core::Settings.ThresholdLevel, c.level, 1e-4) << c.hint;
        EXPECT_EQ(mainwindow::FormHint().Text(), c.hint);
        Mouse(bg, QEvent::MouseButtonRelease, {at, 245}, Qt::LeftButton, Qt::NoButton);
        EXPECT_FALSE(core::Session.IsDragging);
        EXPECT_FALSE(mainwindow::FormHint().isVisible());
    }
    // A press beside the marker does not grab it.
    const int at = 14 + mainwindow::ThresholdMarkerX();
    Mouse(bg, QEvent::MouseButtonPress, {at + 20, 245}, Qt::LeftButton, Qt::LeftButton);
    EXPECT_FALSE(core::Session.IsDragging);
    Mouse(bg, QEvent::MouseButtonRelease, {at + 20, 245}, Qt::LeftButton, Qt::NoButton);
}

TEST_F(Form1Test, VolumeKnobDragMovesLineAndVolume) {
    QWidget* knob = form->ImageVol;
    struct Case {
        int target;
        int left;
        float volume;
    } cases[] = {{0, 26, 0.0f}, {300, 155, 1.0f}, {90, 90, 64.0f / 129}};
    for (const auto& c : cases) {
        Mouse(knob, QEvent::MouseButtonPress, {5, 10}, Qt::LeftButton, Qt::LeftButton);
        Mouse(knob, QEvent::MouseMove, {5 + c.target - form->KnobLeft(), 10}, Qt::NoButton,
              Qt::LeftButton);
        EXPECT_EQ(form->KnobLeft(), c.left);
        EXPECT_EQ(form->ImageVolLine->width(), std::max(0, c.left - 29));
        EXPECT_FLOAT_EQ(core::Startup.InputVolume, c.volume);
        Mouse(knob, QEvent::MouseButtonRelease, {5, 10}, Qt::LeftButton, Qt::NoButton);
        EXPECT_FALSE(core::Session.IsDragging);
    }
}

TEST_F(Form1Test, PopupAndButtonsWhileRecording) {
    form->PMenuPopup();
    for (QAction* a : form->PMenu->actions()) {
        EXPECT_TRUE(a->isEnabled()) << a->text().toStdString();
    }
    core::Session.IsRecording = true;
    form->PMenuPopup();
    QStringList disabled;
    for (QAction* a : form->PMenu->actions())
        if (!a->isEnabled()) disabled << a->text();
    EXPECT_EQ(disabled,
              (QStringList{"Output Folder...", "Format Settings...", "Recording Device...",
                           "Recording Control...", "Recording Source", "Recording Mode..."}));
    // The buttons refused while recording show no hover.
    for (mainwindow::SkinButton* b : {form->ImageFolder, form->ImageSetting, form->ImageControl,
                                      form->ImageRecord, form->ImagePlay}) {
        Mouse(b, QEvent::MouseMove, {3, 3}, Qt::NoButton, Qt::NoButton);
        EXPECT_FALSE(b->IsHover()) << b->toolTip().toStdString();
    }
    Mouse(form->ImageStop, QEvent::MouseMove, {3, 3}, Qt::NoButton, Qt::NoButton);
    EXPECT_TRUE(form->ImageStop->IsHover());
    EXPECT_TRUE(core::Session.HoverPending);
    // The background takes the hover away.
    Mouse(form->ImageForm1, QEvent::MouseMove, {200, 20}, Qt::NoButton, Qt::NoButton);
    EXPECT_FALSE(form->ImageStop->IsHover());
    EXPECT_FALSE(core::Session.HoverPending);
}

TEST_F(Form1Test, BrowseOutputFolder) {
    std::optional<std::string> answer;
    mainwindow::Seams().ChooseFolder = [&](QWidget*, const std::string&) { return answer; };
    core::Session.SelectedFile = core::Settings.FolderName + "/record001.wav";
    const std::string before = core::Settings.FolderName;
    library::TForm2& list = program->FileList();

    answer = std::nullopt; // cancelled
    mainwindow::BrowseOutputFolder(*program);
    EXPECT_EQ(core::Settings.FolderName, before);
    answer = before; // the same folder: no rescan, the selection stays
    mainwindow::BrowseOutputFolder(*program);
    EXPECT_FALSE(core::Session.SelectedFile.empty());

    QTemporaryDir other;
    const std::string take = other.path().toStdString() + "/take.wav";
    ASSERT_TRUE(fixtures::MakeWav(take, 0.5, 44100, 2, 16));
    answer = other.path().toStdString();
    core::Session.IsRecording = true; // refused while recording
    mainwindow::BrowseOutputFolder(*program);
    EXPECT_EQ(core::Settings.FolderName, before);
    core::Session.IsRecording = false;
    mainwindow::BrowseOutputFolder(*program);
    EXPECT_EQ(core::Settings.FolderName, other.path().toStdString());
    // The file list shows the new folder's recordings, none of them selected.
    EXPECT_EQ(list.RowPath(1), take);
    EXPECT_TRUE(core::Session.SelectedFile.empty());
    EXPECT_TRUE(list.LabFile->text().isEmpty());
    EXPECT_EQ(QDir::currentPath(), other.path());
}

TEST_F(Form1Test, HelpFileNextToTheProgram) {
    QUrl opened;
    mainwindow::Seams().OpenUrl = [&](const QUrl& u) { opened = u; };
    const QString help = mainwindow::HelpFilePath();
    EXPECT_EQ(help, QCoreApplication::applicationFilePath() + ".html");
    QFile::remove(help);
    mainwindow::ShowHelp(); // missing: nothing happens, nothing is said
    EXPECT_TRUE(opened.isEmpty());
    EXPECT_TRUE(prompt.messages.empty());
    QFile f(help);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();
    mainwindow::ShowHelp();
    EXPECT_EQ(opened, QUrl::fromLocalFile(help));
    QFile::remove(help);
}

} // namespace

namespace {

TEST_F(Form1Test, FileListShowHideAndDocking) {
    QWidget& list = program->FileList();
    QWidget& tag = program->TagEditor();
    form->move(100, 50);
    core::Settings.IsFileList = false;
    form->ShowHideFileList();
    EXPECT_TRUE(core::Settings.IsFileList);
    EXPECT_TRUE(list.isVisible());
    EXPECT_EQ(list.pos(), QPoint(form->frameGeometry().left(), form->frameGeometry().bottom() + 1));

    // Moving the main window drags the list and the shown tag editor along.
    program->PlaceTagEditor(0, 0, true);
    library::FileList.IsTagEditorShown = true;
    form->move(300, 20);
    form->TimerFormsTimer();
    EXPECT_EQ(list.pos(), QPoint(form->frameGeometry().left(), form->frameGeometry().bottom() + 1));
    EXPECT_EQ(tag.pos(), QPoint(list.x() + list.frameGeometry().width(), list.y()));

    form->ShowHideFileList();
    EXPECT_FALSE(core::Settings.IsFileList);
    EXPECT_FALSE(list.isVisible());
    EXPECT_FALSE(tag.isVisible());
    EXPECT_FALSE(library::FileList.IsTagEditorShown);
}

} // namespace
