#include <gtest/gtest.h>
#include <stdlib.h>

#include <QDir>
#include <QFile>
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

// Output of a helper program (xdotool, xwininfo, import); empty on failure.
QString RunTool(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(15000) || p.exitStatus() != QProcess::NormalExit) return {};
    return QString::fromUtf8(p.readAllStandardOutput());
}

void Pause(int ms) {
    QThread::msleep(static_cast<unsigned long>(ms));
}

// The recorder started as a user starts it: its own process on the X server.
class Recorder {
  public:
    QProcess proc;
    // Standard error goes to `errFile` when one is given.
    explicit Recorder(const QProcessEnvironment& env, const QString& errFile = {}) {
        proc.setProcessEnvironment(env);
        if (errFile.isEmpty()) {
            proc.setProcessChannelMode(QProcess::ForwardedChannels);
        } else {
            proc.setProcessChannelMode(QProcess::ForwardedOutputChannel);
            proc.setStandardErrorFile(errFile);
        }
        proc.start(kProgram, {});
        proc.waitForStarted(10000);
    }
    ~Recorder() {
        if (proc.state() != QProcess::NotRunning) {
            proc.kill();
            proc.waitForFinished(5000);
        }
    }
    // Visible windows of this process titled exactly "Kestrune".
    QStringList Windows() {
        return RunTool("xdotool", {"search", "--onlyvisible", "--pid",
                                   QString::number(proc.processId()), "--name", "^Kestrune$"})
            .split('\n', Qt::SkipEmptyParts);
    }
    static QSize Size(const QString& id) {
        const QString info = RunTool("xwininfo", {"-id", id});
        auto w = QRegularExpression("Width: (\\d+)").match(info);
        auto h = QRegularExpression("Height: (\\d+)").match(info);
        if (!w.hasMatch() || !h.hasMatch()) return {};
        return {w.captured(1).toInt(), h.captured(1).toInt()};
    }
    // The 400 x 300 recorder window, waiting up to 20 s for it.
    QString MainWindow() {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (std::chrono::steady_clock::now() < deadline && proc.state() == QProcess::Running) {
            for (const QString& id : Windows())
                if (Size(id) == QSize(400, 300)) return id;
            Pause(200);
        }
        return {};
    }
    static void Shot(const QString& id, const QString& name) {
        QDir().mkpath(kShots);
        RunTool("import", {"-window", id, kShots + "/" + name + ".png"});
    }
    static void Key(const QString& key) { RunTool("xdotool", {"key", key}); }
    // Presses the skin's close button and waits for the process to end.
    int CloseWithButton(const QString& id) {
        RunTool("xdotool", {"mousemove", "--window", id, "380", "12"});
        Pause(200);
        RunTool("xdotool", {"click", "1"});
        if (!proc.waitForFinished(20000)) return -1;
        return proc.exitStatus() == QProcess::NormalExit ? proc.exitCode() : -2;
    }
};

class StartupE2E : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!getenv("DISPLAY") || QStandardPaths::findExecutable("xdotool").isEmpty()) {
            if (testutil::PulseRequired()) FAIL() << "no X display or xdotool";
            GTEST_SKIP() << "no X display";
        }
        testutil::RemoveSettings();
    }
    QProcessEnvironment Env() {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "xcb");
        return env;
    }
};

QString ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

// With KESTRUNE_DEBUG=1 the run reports its figures on standard error.
TEST_F(StartupE2E, ShowsTheWindowRecordsAndClosesWithStatusZero) {
    QTemporaryDir tmp;
    const QString err = tmp.filePath("stderr.log");
    QProcessEnvironment env = Env();
    env.insert("KESTRUNE_DEBUG", "1");
    Recorder r(env, err);
    const QString id = r.MainWindow();
    ASSERT_FALSE(id.isEmpty()) << "no 400 x 300 window titled Kestrune";
    EXPECT_EQ(Recorder::Size(id), QSize(400, 300));
    Pause(2500); // let the meters run on the test tone
    Recorder::Shot(id, "main-monitoring");
    Recorder::Key("F5");
    Pause(2200);
    Recorder::Shot(id, "main-recording");
    Recorder::Key("F9");
    Pause(800);
    EXPECT_EQ(r.CloseWithButton(id), 0);
    const QString log = ReadAll(err);
    for (const char* line : {"kestrune: first meter frame ", "kestrune: scanned ",
                             "kestrune: dropped capture blocks "})
        EXPECT_TRUE(log.contains(line)) << line << " missing from:\n" << log.toStdString();
}

// Without KESTRUNE_DEBUG the program prints nothing of its own.
TEST_F(StartupE2E, SoundActivatedRecording) {
    QTemporaryDir tmp;
    const QString err = tmp.filePath("stderr.log");
    core::Settings = core::RecordingSettings{};
    core::Settings.IsTresh = true;
    core::Settings.ThresholdLevel = 60;
    core::RegistryWrite();
    QProcessEnvironment env = Env();
    env.remove("KESTRUNE_DEBUG");
    Recorder r(env, err);
    const QString id = r.MainWindow();
    ASSERT_FALSE(id.isEmpty());
    Pause(1500);
    Recorder::Key("F5");
    Pause(1700);
    Recorder::Shot(id, "main-sound-activated");
    Recorder::Key("F9");
    Pause(800);
    EXPECT_EQ(r.CloseWithButton(id), 0);
    EXPECT_FALSE(ReadAll(err).contains("kestrune:")) << ReadAll(err).toStdString();
}

TEST_F(StartupE2E, StartsWithoutASoundServer) {
    QProcessEnvironment env = Env();
    env.insert("PULSE_SERVER", "unix:/nonexistent/kestrune-no-server");
    Recorder r(env);
    // First the request to choose a source, then the window.
    QString box;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    QString id;
    while (std::chrono::steady_clock::now() < deadline && id.isEmpty()) {
        for (const QString& w : r.Windows()) {
            if (Recorder::Size(w) == QSize(400, 300)) {
                id = w;
            } else if (box.isEmpty()) {
                box = w;
                RunTool("xdotool", {"windowfocus", "--sync", w});
                Recorder::Key("Return");
            }
        }
        Pause(200);
    }
    EXPECT_FALSE(box.isEmpty()) << "no message asking for an audio source";
    ASSERT_FALSE(id.isEmpty()) << "the window did not open without a sound server";
    Pause(1500);
    Recorder::Shot(id, "main-no-device");
    EXPECT_EQ(r.CloseWithButton(id), 0);
}

} // namespace
