// The recorder's other windows through the real program: Recording Mode and
// Effects from the popup menu, Recording Control with a stand-in mixer, Help
// and About with a stand-in opener, minimise and restore.
#include <gtest/gtest.h>

#include <QFileInfo>
#include <QPainter>
#include <QSvgRenderer>
#include <QUrl>
#include <signal.h>

#include "e2e/e2e_harness.h"
#include "test_decode.h"

namespace {

using namespace e2e;

// The popup menu's items as the arrow keys reach them while not recording
// ("Recording Device..." is hidden on this system).
enum class Item { Folder = 1, Format, Control, Source, Mode, Effects, Help, About, Exit };

class WindowsE2E : public E2E {
  protected:
    Profile p;
    std::unique_ptr<Recorder> r;
    QString main;

    void Start() {
        r = std::make_unique<Recorder>(p);
        main = r->MainWindow();
        ASSERT_FALSE(main.isEmpty()) << "no recorder window: " << r->State().toStdString();
        Pause(500);
    }
    void ChooseFromMenu(Item item) {
        Click(main, 390, 150, 3);
        Pause(300);
        for (int i = 0; i < static_cast<int>(item); ++i)
            Key("Down");
        Key("Return");
    }
    // Closes the program with its button; the settings are then saved.
    void Close() { ASSERT_EQ(r->CloseWithButton(main), 0); }
    // A stand-in mixer: records its arguments and its process id, and shows
    // a small window titled like the real one.
    void MixerStub() {
        p.Stub("pavucontrol", QString("echo \"$@\" >> '%1/mixer-args'\n"
                                      "echo $$ > '%1/mixer-pid'\n"
                                      "exec xmessage -title 'Volume Control' -geometry +900+40 "
                                      "'stand-in mixer'")
                                  .arg(p.dir.path()));
    }
    QString MixerWindow(int ms = 5000) {
        QString found;
        WaitFor(
            [&] {
                found =
                    RunTool("xdotool", {"search", "--onlyvisible", "--name", "^Volume Control$"})
                        .split('\n', Qt::SkipEmptyParts)
                        .value(0);
                return !found.isEmpty();
            },
            ms, 150);
        return found;
    }
    void TearDown() override {
        // The stand-in mixer outlives the program when nobody closes it.
        const QString pid = ReadAll(p.dir.filePath("mixer-pid")).trimmed();
        if (!pid.isEmpty()) ::kill(pid.toInt(), SIGTERM);
    }
};

TEST_F(WindowsE2E, RecordingModeFromTheMenuTurnsOnSoundActivatedRecording) {
    Start();
    ChooseFromMenu(Item::Mode);
    const QString mode = r->WindowTitled("Recording Mode");
    ASSERT_FALSE(mode.isEmpty()) << "no Recording Mode window";
    const QRect mr = WindowRect(main), wr = WindowRect(mode);
    EXPECT_EQ(wr.topLeft(), QPoint(mr.x(), mr.y() + 300)) << "not under the recorder";
    Click(mode, 158, 36); // Threshold
    Pause(1200);          // the picture unrolls
    Click(mode, 40, 234); // Stop Recording
    Shot(mode, "recording-mode");
    Click(mode, 150, 351); // OK
    EXPECT_TRUE(WaitFor([&] { return r->WindowTitled("Recording Mode", 0).isEmpty(); }, 3000));
    // A recording now runs sound-activated: the red "Sound Activated" line
    // shows above the status.
    Key("F5");
    Pause(1000);
    const QImage shot = Shot(main, "main-threshold-mode");
    Key("F9");
    int red = 0;
    for (int y = 47; y < 57; ++y)
        for (int x = 18; x < 110; ++x) {
            const QColor c = shot.pixelColor(x, y);
            if (c.red() > 150 && c.green() < 110 && c.blue() < 110) ++red;
        }
    EXPECT_GT(red, 20) << "no Sound Activated line while recording";
    Pause(500);
    Close();
    EXPECT_EQ(p.Get("Threshold IsTresh").toInt(), 1);
    EXPECT_EQ(p.Get("Threshold Mode").toInt(), 3);
}

// The boost set in the Effects window makes the next recording louder.
TEST_F(WindowsE2E, EffectsFromTheMenuBoostsTheRecording) {
    p.SetFormat("WAV");
    Start();
    // The 1000 Hz level of a new WAV recording made with the hot keys;
    // negative when no recording was written.
    auto recordTone = [&](const QString& name) {
        const QString file = p.File(name);
        Key("F5");
        if (!WaitFor([&] { return QFileInfo::exists(file); }, 3000)) return -1.0;
        Pause(1500);
        Key("F9");
        if (!WaitSettled(file, 5000)) return -2.0;
        const auto d = testdecode::DecodeFile(file.toStdString());
        std::vector<int16_t> left;
        for (size_t i = 0; i < d.pcm.size(); i += 2)
            left.push_back(d.pcm[i]);
        return ToneLevel(left, 1000, d.rate);
    };
    const double plain = recordTone("record001.wav");
    ASSERT_GT(plain, 0.02) << "no test tone in the first recording";

    ChooseFromMenu(Item::Effects);
    const QString fx = r->WindowTitled("Effects");
    ASSERT_FALSE(fx.isEmpty()) << "no Effects window";
    const QRect mr = WindowRect(main), fr = WindowRect(fx);
    EXPECT_EQ(fr.topLeft(), QPoint(mr.x() + (400 - 257) / 2, mr.y() + 300))
        << "not centred under the recorder";
    Drag(fx, 42, 99, 230, 99); // the slider to its right end: 20 dB
    Shot(fx, "effects");
    Click(fx, 128, 138); // OK
    EXPECT_TRUE(WaitFor([&] { return r->WindowTitled("Effects", 0).isEmpty(); }, 3000));

    const double boosted = recordTone("record002.wav");
    EXPECT_GT(boosted, 1.5 * plain) << "the boost did not reach the recording";
    Close();
    EXPECT_EQ(p.Get("Sound Boost").toInt(), 20);
}

TEST_F(WindowsE2E, AboutOpensOverTheRecorderAndOkClosesIt) {
    Start();
    Press(main, main_at::About);
    const QString about = r->WindowTitled("About Kestrune");
    ASSERT_FALSE(about.isEmpty()) << "no About box";
    const QRect mr = WindowRect(main), ar = WindowRect(about);
    EXPECT_EQ(ar.size(), QSize(361, 202));
    EXPECT_LE((ar.center() - mr.center()).manhattanLength(), 2) << "not centred on the recorder";
    Shot(about, "about");
    Focus(about);
    Key("Return");
    EXPECT_TRUE(WaitFor([&] { return r->WindowTitled("About Kestrune", 0).isEmpty(); }, 3000));
}

TEST_F(WindowsE2E, HelpOpensTheHelpFile) {
    const QString opened = p.dir.filePath("opened");
    p.Stub("xdg-open", QString("echo \"$1\" >> '%1'").arg(opened));
    Start();
    Press(main, main_at::Help);
    ASSERT_TRUE(WaitFor([&] { return QFileInfo(opened).size() > 0; }, 5000)) << "nothing opened";
    const QString target = ReadAll(opened).trimmed();
    EXPECT_TRUE(target.endsWith("kestrune.html")) << target.toStdString();
    const QString path = QUrl(target).isLocalFile() ? QUrl(target).toLocalFile() : target;
    EXPECT_TRUE(QFileInfo::exists(path)) << path.toStdString();
}

// The button opens the mixer on its input page and puts its window under
// the recorder.
TEST_F(WindowsE2E, RecordingControlOpensTheMixerUnderTheRecorder) {
    MixerStub();
    Start();
    Press(main, main_at::Control);
    const QString mixer = MixerWindow();
    ASSERT_FALSE(mixer.isEmpty()) << "the mixer was not started";
    EXPECT_EQ(ReadAll(p.dir.filePath("mixer-args")).trimmed().toStdString(), "--tab=4");
    const QRect mr = WindowRect(main);
    EXPECT_TRUE(
        WaitFor([&] { return WindowRect(mixer).topLeft() == QPoint(mr.x(), mr.y() + 300); }, 3000))
        << "mixer at " << WindowRect(mixer).x() << "," << WindowRect(mixer).y();
}

TEST_F(WindowsE2E, RecordingControlButtonShowsItsPictureAndAllOfItClicks) {
    MixerStub();
    Start();
    MoveTo(main, 100, 120); // off every button: normal pictures
    Pause(1200);
    const QImage shot = Shot(main, "main-recording-control-button");
    ASSERT_FALSE(shot.isNull());
    // What the button should show: its picture over the skin.
    QImage expected(400, 300, QImage::Format_RGB32);
    {
        QPainter painter(&expected);
        QSvgRenderer(kSkin + "/ImageForm1.svg").render(&painter, QRectF(0, 0, 400, 300));
        QSvgRenderer(kSkin + "/ImageMicroOff.svg").render(&painter, QRectF(184, 266, 27, 27));
    }
    int alike = 0;
    for (int y = 266; y < 293; ++y)
        for (int x = 184; x < 211; ++x) {
            const QColor a = shot.pixelColor(x, y), b = expected.pixelColor(x, y);
            if (std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) +
                    std::abs(a.blue() - b.blue()) <
                60)
                ++alike;
        }
    EXPECT_GT(alike, 27 * 27 * 85 / 100) << alike << " of 729 pixels show the button's picture";
    // Its lower right corner opens the mixer too.
    Click(main, 207, 289);
    EXPECT_FALSE(MixerWindow(3000).isEmpty()) << "the button's lower right does not click";
}

TEST_F(WindowsE2E, RecordingClosesTheMixerStartedFromRecordingControl) {
    MixerStub();
    Start();
    Press(main, main_at::Control);
    const QString mixer = MixerWindow();
    ASSERT_FALSE(mixer.isEmpty());
    Key("F5");
    EXPECT_TRUE(WaitFor([&] { return MixerWindow(0).isEmpty(); }, 3000)) << "the mixer stays open";
    Key("F9");
}

// The show/hide button docks the file list under the recorder and takes it
// away again with the tag editor; dragging the recorder by its skin brings
// both docked windows along.
TEST_F(WindowsE2E, FileListDocksUnderTheRecorderAndFollowsItsMoves) {
    Start();
    ASSERT_TRUE(r->FileList(0).isEmpty()) << "a new profile shows no file list";
    Press(main, main_at::ShowHide);
    const QString list = r->FileList();
    ASSERT_FALSE(list.isEmpty()) << "Show/Hide did not show the file list";
    QRect mr = WindowRect(main);
    EXPECT_EQ(WindowRect(list).topLeft(), QPoint(mr.x(), mr.y() + 300));
    Click(list, 377, 281); // the tag editor button
    const QString tag = r->TagEditor();
    ASSERT_FALSE(tag.isEmpty());

    const QPoint before = mr.topLeft();
    Drag(main, 150, 12, 210, 52);
    mr = WindowRect(main);
    EXPECT_EQ(mr.topLeft(), before + QPoint(60, 40)) << "the recorder did not follow the drag";
    auto docked = [&] {
        const QRect lr = WindowRect(list), tr = WindowRect(tag);
        return lr.topLeft() == QPoint(mr.x(), mr.y() + 300) &&
               tr.topLeft() == QPoint(lr.x() + lr.width(), lr.y());
    };
    EXPECT_TRUE(WaitFor(docked, 2000)) << "the docked windows did not follow the recorder";

    Press(main, main_at::ShowHide);
    EXPECT_TRUE(
        WaitFor([&] { return r->FileList(0).isEmpty() && r->TagEditor(0).isEmpty(); }, 3000))
        << "Show/Hide left windows on screen";
    Close();
    EXPECT_EQ(p.Get("IsFileList").toInt(), 0);
}

// Minimise hides the recorder; restoring it from the task bar shows it again.
TEST_F(WindowsE2E, MinimiseAndRestoreTheRecorder) {
    Iconifier wm;
    Start();
    Press(main, main_at::Minimize);
    ASSERT_TRUE(WaitFor([&] { return wm.Iconified() > 0; }, 3000)) << "no minimise request";
    EXPECT_TRUE(WaitFor([&] { return r->Windows("^Kestrune$").isEmpty(); }, 3000))
        << "the recorder is still on screen";
    wm.RestoreAll();
    EXPECT_FALSE(r->MainWindow().isEmpty()) << "the recorder did not come back";
    // It still works: a click on the about button opens the box.
    Press(main, main_at::About);
    EXPECT_FALSE(r->WindowTitled("About Kestrune").isEmpty());
}

TEST_F(WindowsE2E, MinimiseTakesTheDockedWindowsAlong) {
    p.Set("IsFileList", 1);
    Iconifier wm;
    Start();
    const QString list = r->FileList();
    ASSERT_FALSE(list.isEmpty());
    Click(list, 377, 281); // the tag editor button
    ASSERT_FALSE(r->TagEditor().isEmpty());
    Press(main, main_at::Minimize);
    ASSERT_TRUE(WaitFor([&] { return wm.Iconified() > 0; }, 3000));
    EXPECT_TRUE(WaitFor([&] { return r->Windows().isEmpty(); }, 3000))
        << r->Windows().size() << " windows stay on screen";
    wm.RestoreAll();
    ASSERT_FALSE(r->MainWindow().isEmpty());
    EXPECT_FALSE(r->FileList().isEmpty()) << "the file list did not come back";
    EXPECT_FALSE(r->TagEditor().isEmpty()) << "the tag editor did not come back";
    const QRect mr = WindowRect(main), lr = WindowRect(r->FileList(0));
    EXPECT_EQ(lr.topLeft(), QPoint(mr.x(), mr.y() + 300));
}

} // namespace
