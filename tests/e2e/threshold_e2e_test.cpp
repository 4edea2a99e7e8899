// The whole program in sound-activated mode: the status tells waiting for
// sound from recording. The status label is read off a screenshot of the
// window: the width of its red text is compared with the width of each
// caption in the label's font.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QDir>
#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QSize>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <chrono>

#include "core/settings.h"
#include "test_util.h"

namespace {

const QString kProgram = KESTRUNE_BUILD_DIR "/kestrune";
const QString kShots = KESTRUNE_BUILD_DIR "/screenshots";

QString RunTool(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(15000) || p.exitStatus() != QProcess::NormalExit) return {};
    return QString::fromUtf8(p.readAllStandardOutput());
}

void Pause(int ms) {
    QThread::msleep(static_cast<unsigned long>(ms));
}

QSize WindowSize(const QString& id) {
    const QString info = RunTool("xwininfo", {"-id", id});
    auto w = QRegularExpression("Width: (\\d+)").match(info);
    auto h = QRegularExpression("Height: (\\d+)").match(info);
    if (!w.hasMatch() || !h.hasMatch()) return {};
    return {w.captured(1).toInt(), h.captured(1).toInt()};
}

// The status label's area of the recorder window, below the "Sound Activated"
// line that shows while a sound-activated recording runs and left of the
// format icon.
const QRect kStatusArea(18, 63, 100, 18);

// Screenshot of the window; the status area is also kept on its own.
QImage StatusShot(const QString& id, const QString& name) {
    QDir().mkpath(kShots);
    const QString whole = kShots + "/" + name + ".png";
    RunTool("import", {"-window", id, whole});
    QImage area = QImage(whole).copy(kStatusArea);
    area.save(kShots + "/" + name + "-status.png");
    return area;
}

// Width in pixels of the red recording text in the status area; 0 when none.
int RedTextWidth(const QImage& area) {
    int first = -1, last = -1;
    for (int x = 0; x < area.width(); ++x)
        for (int y = 0; y < area.height(); ++y) {
            const QColor c = area.pixelColor(x, y);
            if (c.red() > 150 && c.green() < 150 && c.blue() < 150) {
                if (first < 0) first = x;
                last = x;
                break;
            }
        }
    return first < 0 ? 0 : last - first + 1;
}

int CaptionWidth(const QString& text) {
    QFont f("Liberation Sans");
    f.setPixelSize(15);
    f.setBold(true);
    return QFontMetrics(f).tightBoundingRect(text).width();
}

TEST(ThresholdE2E, StatusShowsWaitingForSoundUntilWritingStarts) {
    if (!getenv("DISPLAY") || QStandardPaths::findExecutable("xdotool").isEmpty()) {
        if (testutil::PulseRequired()) FAIL() << "no X display or xdotool";
        GTEST_SKIP() << "no X display";
    }
    testutil::RemoveSettings();
    QTemporaryDir out;
    ASSERT_TRUE(out.isValid());
    // New file per sound, at a level the test tone never reaches; F7 then
    // starts writing by hand, for the 10 s release time.
    core::Settings = core::RecordingSettings{};
    core::Settings.FolderName = out.path().toStdString();
    core::Settings.IsMP3 = false;
    core::Settings.IsWav = true;
    core::Settings.IsTresh = true;
    core::Settings.ThresholdMode = 2;
    core::Settings.ThresholdRelease = 10;
    core::Settings.ThresholdLevel = 100;
    core::RegistryWrite();

    QProcess proc;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "xcb");
    proc.setProcessEnvironment(env);
    proc.setProcessChannelMode(QProcess::ForwardedChannels);
    proc.start(kProgram, {});
    ASSERT_TRUE(proc.waitForStarted(10000));
    QString id;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (id.isEmpty() && std::chrono::steady_clock::now() < deadline) {
        for (const QString& w :
             RunTool("xdotool", {"search", "--onlyvisible", "--pid",
                                 QString::number(proc.processId()), "--name", "^Kestrune$"})
                 .split('\n', Qt::SkipEmptyParts))
            if (WindowSize(w) == QSize(400, 300)) id = w;
        Pause(200);
    }
    ASSERT_FALSE(id.isEmpty()) << "no recorder window";
    Pause(1500);

    RunTool("xdotool", {"key", "F5"});
    Pause(1500); // a few status ticks
    const int waiting = RedTextWidth(StatusShot(id, "threshold-waiting"));
    RunTool("xdotool", {"key", "F7"});
    Pause(1500);
    const int recording = RedTextWidth(StatusShot(id, "threshold-recording"));
    RunTool("xdotool", {"key", "F9"});
    Pause(1000);
    EXPECT_EQ(QDir(out.path()).entryList(QDir::Files), QStringList{"record001.wav"});

    EXPECT_NEAR(waiting, CaptionWidth("Waiting"), 4);
    EXPECT_NEAR(recording, CaptionWidth("Recording"), 4);

    RunTool("xdotool", {"mousemove", "--window", id, "380", "12"});
    Pause(200);
    RunTool("xdotool", {"click", "1"});
    EXPECT_TRUE(proc.waitForFinished(20000));
    if (proc.state() != QProcess::NotRunning) proc.kill();
    proc.waitForFinished(5000);
}

} // namespace
