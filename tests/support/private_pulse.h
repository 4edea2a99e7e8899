#pragma once
#include <stdlib.h>
#include <unistd.h>

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>
#include <QTemporaryDir>
#include <QThread>

namespace testutil {

// A sound server of the test's own, for tests that change what the server
// holds (the default source, its sinks): the suite's shared server serves
// other tests meanwhile. Two null sinks, the 1000 Hz tone on "Test_Sink",
// nothing on "Quiet_Sink", the tone's monitor the default source. Start()
// points this process and pactl at it; call it before the first connection.
class PrivatePulse {
  public:
    QTemporaryDir dir;
    QProcess server;

    bool Start() {
        if (QStandardPaths::findExecutable("pulseaudio").isEmpty() ||
            QStandardPaths::findExecutable("pactl").isEmpty())
            return false;
        const QString sock = dir.path() + "/native";
        QFile script(dir.path() + "/default.pa");
        if (!script.open(QIODevice::WriteOnly)) return false;
        script.write(
            ("load-module module-native-protocol-unix socket=" + sock + " auth-anonymous=1\n")
                .toUtf8());
        script.close();
        QStringList args{"-n",
                         "-F",
                         script.fileName(),
                         "--daemonize=no",
                         "--exit-idle-time=-1",
                         "--enable-memfd=no",
                         "--use-pid-file=no",
                         "--log-target=file:" + dir.path() + "/log"};
        if (geteuid() == 0) args << "--system=false";
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", dir.path());
        env.insert("PULSE_RUNTIME_PATH", dir.path() + "/runtime");
        env.insert("PULSE_STATE_PATH", dir.path() + "/state");
        server.setProcessEnvironment(env);
        server.start("pulseaudio", args);
        if (!server.waitForStarted(10000)) return false;
        setenv("PULSE_SERVER", ("unix:" + sock).toUtf8().constData(), 1);
        for (int i = 0; i < 100; ++i) {
            if (Pactl({"info"}))
                return Pactl({"load-module", "module-null-sink", "sink_name=testsink", "rate=44100",
                              "sink_properties=device.description=Test_Sink"}) &&
                       Pactl({"load-module", "module-null-sink", "sink_name=quietsink",
                              "rate=44100", "sink_properties=device.description=Quiet_Sink"}) &&
                       Pactl({"load-module", "module-sine", "sink=testsink", "frequency=1000"}) &&
                       Pactl({"set-default-sink", "testsink"}) &&
                       Pactl({"set-default-source", "testsink.monitor"});
            QThread::msleep(100);
        }
        return false;
    }
    static bool Pactl(const QStringList& args) {
        QProcess p;
        p.setStandardOutputFile(QProcess::nullDevice());
        p.start("pactl", args);
        return p.waitForFinished(10000) && p.exitStatus() == QProcess::NormalExit &&
               p.exitCode() == 0;
    }
    ~PrivatePulse() {
        if (server.state() != QProcess::NotRunning) {
            server.terminate();
            if (!server.waitForFinished(5000)) server.kill();
            server.waitForFinished(2000);
        }
    }
};

} // namespace testutil

#define START_PRIVATE_PULSE(pulse)                                                                 \
    do {                                                                                           \
        if (!(pulse).Start()) {                                                                    \
            if (testutil::PulseRequired()) FAIL() << "could not start a private server";           \
            GTEST_SKIP() << "no pulseaudio to start";                                              \
        }                                                                                          \
    } while (0)
