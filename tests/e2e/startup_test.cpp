#include <gtest/gtest.h>

#include <QProcess>
#include <QTemporaryDir>

#include "core/settings.h"
#include "e2e/e2e_harness.h"

namespace {

using namespace e2e;

// These runs keep the test process's own profile (its settings file).
class StartupE2E : public E2E {
  protected:
    void SetUp() override {
        E2E::SetUp();
        if (IsSkipped() || HasFailure()) return;
        testutil::RemoveSettings();
    }
    QProcessEnvironment Env() {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "xcb");
        return env;
    }
};

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
    Shot(id, "main-monitoring");
    Key("F5");
    Pause(2200);
    Shot(id, "main-recording");
    Key("F9");
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
    Key("F5");
    Pause(1700);
    Shot(id, "main-sound-activated");
    Key("F9");
    Pause(800);
    EXPECT_EQ(r.CloseWithButton(id), 0);
    EXPECT_FALSE(ReadAll(err).contains("kestrune:")) << ReadAll(err).toStdString();
}

TEST_F(StartupE2E, StartsWithoutASoundServer) {
    QProcessEnvironment env = Env();
    env.insert("PULSE_SERVER", "unix:/nonexistent/kestrune-no-server");
    // A stand-in mixer that notes how it was asked and goes away.
    QTemporaryDir bin;
    const QString asked = bin.filePath("asked");
    {
        QFile stub(bin.filePath("pavucontrol"));
        ASSERT_TRUE(stub.open(QIODevice::WriteOnly));
        stub.write(QString("#!/bin/sh\necho \"$@\" > '%1'\n").arg(asked).toUtf8());
        stub.close();
        stub.setPermissions(stub.permissions() | QFileDevice::ExeOwner);
    }
    env.insert("PATH", bin.path() + ":" + env.value("PATH"));
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
                Key("Return");
            }
        }
        Pause(200);
    }
    EXPECT_FALSE(box.isEmpty()) << "no message asking for an audio source";
    ASSERT_FALSE(id.isEmpty()) << "the window did not open without a sound server";
    Pause(1500);
    Shot(id, "main-no-device");
    EXPECT_EQ(r.CloseWithButton(id), 0);
    EXPECT_EQ(ReadAll(asked).trimmed(), "--tab=4") << "the input devices page was not opened";
}

} // namespace
