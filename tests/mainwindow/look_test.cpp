#include "mainwindow/look.h"

#include <gtest/gtest.h>

#include "app/program.h"

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QTemporaryDir>
#include <memory>
#include <optional>

#include "capture/capture.h"
#include "capture/effects.h"
#include "core/mode.h"
#include "core/session.h"
#include "core/settings.h"
#include "core/state.h"
#include "dialogs/recsettings.h"
#include "library/convert.h"
#include "library/filelist.h"
#include "mainwindow/about.h"
#include "mainwindow/form1.h"
#include "mainwindow/images.h"
#include "mainwindow/status.h"
#include "mainwindow/system.h"
#include "platform/capture_device.h"
#include "platform/prompt.h"
#include "playback/player.h"
#include "tags/tags.h"
#include "test_util.h"

using mainwindow::ContrastRatio;

namespace {

constexpr double kReadable = 4.5;

// The look the program starts with; set once for this test program.
void EnsureLook() {
    static const bool done = [] {
        mainwindow::ApplyLook(*qApp);
        return true;
    }();
    (void)done;
}

void SaveShot(QWidget* w, const char* name) {
    QDir().mkpath(KESTRUNE_BUILD_DIR "/screenshots");
    EXPECT_TRUE(w->grab().save(QString(KESTRUNE_BUILD_DIR "/screenshots/%1.png").arg(name)));
}

// Labels that show text (pictures are labels too).
QList<QLabel*> TextLabels(QWidget* window) {
    QList<QLabel*> out;
    // Only this window's own: the recorder also parents the Mode and Effects windows.
    for (QLabel* l : window->findChildren<QLabel*>())
        if (l->window() == window && l->pixmap().isNull() && !l->text().isEmpty()) out << l;
    return out;
}

struct Reading {
    double worst = 0;  // lowest contrast between the text colour and a pixel behind the text
    QRect where;       // the text's extent in the window
    QColor background; // the pixel that gave the lowest contrast
};

// How readable one label is on what lies behind it: the window is drawn with
// every text label hidden, then with this label alone; the pixels that change
// are its text, and every pixel of the window without it inside the text's
// extent is compared with the label's text colour. Shadow labels and other
// texts are left out, so only the skin behind counts.
std::optional<Reading> Measure(QWidget* window, QLabel* label) {
    const QList<QLabel*> labels = TextLabels(window);
    QHash<QLabel*, bool> hidden;
    for (QLabel* l : labels) {
        hidden[l] = l->isHidden();
        l->hide();
    }
    const QImage bare = window->grab().toImage().convertToFormat(QImage::Format_RGB32);
    label->show();
    const QImage with = window->grab().toImage().convertToFormat(QImage::Format_RGB32);
    for (QLabel* l : labels)
        l->setHidden(hidden[l]);

    const QRect area = QRect(label->mapTo(window, QPoint(0, 0)), label->size()) & bare.rect();
    QRect text;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (bare.pixel(x, y) != with.pixel(x, y)) text |= QRect(x, y, 1, 1);
    if (text.isEmpty()) return std::nullopt;

    const QColor ink = label->palette().color(QPalette::Active, label->foregroundRole());
    Reading r{100, text, {}};
    for (int y = text.top(); y <= text.bottom(); ++y)
        for (int x = text.left(); x <= text.right(); ++x) {
            const QColor bg = bare.pixelColor(x, y);
            const double c = ContrastRatio(ink, bg);
            if (c < r.worst) r.worst = c, r.background = bg;
        }
    return r;
}

// The best contrast that one surface gives all of these colours at once.
double BestShared(const QList<QColor>& inks) {
    double best = 0;
    for (int g = 0; g < 256; ++g) {
        double worst = 100;
        for (const QColor& ink : inks)
            worst = std::min(worst, ContrastRatio(ink, QColor(g, g, g)));
        best = std::max(best, worst);
    }
    return best;
}

// What a label's text must reach: 4.5:1, or, for a label that blinks between
// colours no surface serves at 4.5:1 together, nearly the best any surface
// gives them (the recording file name: pure red and dark red, at best 4:1
// and 8.8:1 on white).
double Required(const QColor& ink, const QList<QColor>& blinksWith) {
    return std::min(kReadable, BestShared(QList<QColor>{ink} + blinksWith) * 0.97);
}

using Blinks = QHash<QLabel*, QList<QColor>>;

// Every visible text label of the window, in the state it is in now.
void ExpectReadable(QWidget* window, const char* state, QList<QLabel*> skip = {},
                    const Blinks& blinks = {}) {
    QCoreApplication::processEvents();
    int measured = 0;
    for (QLabel* l : TextLabels(window)) {
        if (l->isHidden() || skip.contains(l)) continue;
        const QColor ink = l->palette().color(QPalette::Active, l->foregroundRole());
        SCOPED_TRACE(QString("%1: \"%2\" in %3").arg(state, l->text(), ink.name()).toStdString());
        std::optional<Reading> r = Measure(window, l);
        ASSERT_TRUE(r) << "the label draws no text";
        ++measured;
        EXPECT_GE(r->worst, Required(ink, blinks.value(l)))
            << "at (" << r->where.x() << ", " << r->where.y() << ") " << r->where.width() << " x "
            << r->where.height() << " on " << r->background.name().toStdString();
    }
    EXPECT_GT(measured, 0) << state;
}

} // namespace

TEST(Contrast, RatioOfRelativeLuminances) {
    struct Case {
        QColor a, b;
        double ratio;
    } cases[] = {
        {Qt::white, Qt::black, 21.0},
        {Qt::black, Qt::white, 21.0},
        {mainwindow::SkinColor, mainwindow::SkinColor, 1.0},
        {QColor(255, 0, 0), Qt::white, 4.0},
        {QColor(128, 128, 128), Qt::white, 3.95},
        {QColor(0, 90, 0), mainwindow::SkinColor, 1.2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.a.name().toStdString() + " on " + c.b.name().toStdString());
        EXPECT_NEAR(ContrastRatio(c.a, c.b), c.ratio, 0.05);
    }
    // The recording file name's two reds share no surface at 4.5:1; white is best.
    EXPECT_NEAR(BestShared({QColor(255, 0, 0), QColor(155, 0, 0)}), 4.0, 0.05);
    EXPECT_NEAR(BestShared({Qt::black, QColor(0, 90, 0)}), 8.53, 0.05);
}

// ---------------------------------------------------------------- the skinned windows

class SkinnedText : public ::testing::Test {
  protected:
    platform::ScriptedPrompt prompt;
    QTemporaryDir folder;

    void SetUp() override {
        EnsureLook();
        testutil::RemoveSettings();
        platform::SetPrompt(&prompt);
        platform::SetCaptureDevice(std::make_unique<platform::ScriptedCaptureDevice>());
        capture::CloseCapture();
        core::ResetSessionState();
        core::Startup = core::StartupState{};
        mainwindow::ResetSeams();
        ASSERT_TRUE(folder.isValid());
    }
    void TearDown() override {
        core::ResetSessionState();
        capture::CloseCapture();
        mainwindow::ResetSeams();
        platform::SetPrompt(nullptr);
    }
    // A folder name long enough to fill the folder row.
    std::string LongFolder() {
        QString path = folder.path() + "/Lectures and interviews of the spring term 2026";
        QDir().mkpath(path);
        return path.toStdString();
    }
};

TEST_F(SkinnedText, RecorderInEveryState) {
    app::Program program;
    mainwindow::TForm1* form = &program.Recorder();
    form->TimerRec.stop();
    form->TimerStatus.stop();
    form->TimerForms.stop();
    core::Startup.IsVistaOrLater = false; // keep the source text set here
    core::Settings.FolderName = LongFolder();
    core::Settings.IsWav = false, core::Settings.IsMP3 = false, core::Settings.IsOGG = true;
    core::Settings.IsOggQuality = true;
    form->UpdateFormatLabel();
    form->show();
    // The shadows lie under their labels and only add to them.
    const QList<QLabel*> shadows{form->LabStatus0, form->LabTime0};

    mainwindow::Status.SourceText = "Built-in Audio Analogue Stereo (Microphone)";
    mainwindow::Status.BlinkOn = true;
    form->UpdateStatus();
    ExpectReadable(form, "monitoring", shadows);
    SaveShot(form, "look_recorder_monitoring");

    core::Session.IsRecording = true;
    core::Settings.IsTresh = true;
    core::Session.SelectedFile = core::Settings.FolderName + "/record123.flac";
    form->LabTime->setText("10:00:00.0"); // the widest a long day gives
    for (bool blink : {true, false}) {
        mainwindow::Status.BlinkOn = blink;
        form->UpdateStatus();
        ExpectReadable(form, blink ? "recording, bright" : "recording, dim", shadows,
                       {{form->LabFile, {QColor(255, 0, 0), QColor(155, 0, 0)}}});
    }
    SaveShot(form, "look_recorder_recording");
    core::Session.IsRecording = false;
}

TEST_F(SkinnedText, FileListCaption) {
    app::Program program;
    core::Settings.FolderName = folder.path().toStdString();
    library::TForm2* form = &program.FileList();
    form->show();
    core::Session.SelectedFile = folder.filePath("record017.mp3").toStdString();
    core::Session.SelectedFileInfo = "320 kbps, 44100 Hz, joint stereo";
    form->ShowFileCaption();
    ExpectReadable(form, "file list");
    SaveShot(form, "look_filelist");
}

TEST_F(SkinnedText, PlayerTitleLineAndTimes) {
    app::Program program;
    playback::TFormPlayer* form = &program.Player();
    form->show();
    // The title line as the player lays it out: the name, then the summary.
    form->LabFile->setText("record017.mp3");
    form->LabFile->adjustSize();
    form->LabProp->setText("  [320 kbps, 44100 Hz, joint stereo]");
    form->LabProp->adjustSize();
    form->LabProp->move(form->LabFile->x() +
                            form->fontMetrics().horizontalAdvance(form->LabFile->text()),
                        form->LabFile->y());
    ExpectReadable(form, "player");
    SaveShot(form, "look_player");
}

TEST_F(SkinnedText, TagEditorLabels) {
    app::Program program;
    tags::TFormTag& form = program.TagEditor();
    form.show();
    form.EnableTags();
    ExpectReadable(&form, "tag editor");
    SaveShot(&form, "look_tag_editor");
    // Disabled labels are grey by design; they only need to stay visible.
    form.DisableTags();
    for (QLabel* l : TextLabels(&form)) {
        SCOPED_TRACE(l->text().toStdString());
        std::optional<Reading> r = Measure(&form, l);
        ASSERT_TRUE(r);
        EXPECT_GE(r->worst, 3.0);
    }
}

// ---------------------------------------------------------------- the other windows

// Dialogs, message and input boxes all take the dark look; a window whose own
// surface is light gets dark text instead of the look's light text.
TEST(Look, EveryWindowHasOneReadableLook) {
    EnsureLook();
    struct Case {
        const char* name;
        std::function<QWidget*()> make;
        bool dark;
    } cases[] = {
        {"look_mode", [] { return new core::TFormMode; }, true},
        {"look_effects", [] { return new capture::TFormEffects; }, true},
        {"look_format_dialog", [] { return new dialogs::TFormRecSettings; }, true},
        {"look_message_box",
         [] {
             return new QMessageBox(QMessageBox::Warning, "Kestrune", "Can not play the file.",
                                    QMessageBox::Ok);
         },
         true},
        {"look_rename_box",
         [] {
             auto* box = new QInputDialog;
             box->setWindowTitle("Rename File");
             box->setLabelText("New file name:");
             box->setTextValue("record017.mp3");
             return static_cast<QWidget*>(box);
         },
         true},
        {"look_about", [] { return new mainwindow::TFormAbout; }, false},
        {"look_convert", [] { return new library::TFormConvert; }, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::unique_ptr<QWidget> w(c.make());
        w->show();
        QCoreApplication::processEvents();
        const QPalette& pal = w->palette();
        const QColor surface = pal.color(QPalette::Active, QPalette::Window);
        if (c.dark)
            EXPECT_EQ(surface, mainwindow::SkinColor);
        else
            EXPECT_GT(mainwindow::RelativeLuminance(surface), 0.5);
        for (QLabel* l : TextLabels(w.get())) {
            if (l->objectName() == "Lab1") continue; // the About title's shadow
            SCOPED_TRACE(l->text().toStdString());
            const QColor ink = l->palette().color(QPalette::Active, l->foregroundRole());
            const QColor behind = l->palette().color(QPalette::Active, QPalette::Window);
            EXPECT_GE(ContrastRatio(ink, behind), kReadable);
        }
        SaveShot(w.get(), c.name);
        w->close();
    }
}
