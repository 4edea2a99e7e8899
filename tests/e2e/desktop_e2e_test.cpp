#include <gtest/gtest.h>
#include <stdlib.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <chrono>
#include <mutex>

#include "support/fake_portal.h"
#include "test_util.h"

namespace {

const QString kProgram = KESTRUNE_BUILD_DIR "/kestrune";
const QString kPython = "/usr/bin/python3"; // the system's, which has pyatspi
const QString kBusLauncher = "/usr/libexec/at-spi-bus-launcher";

// Reads the recorder through the accessibility bus as a screen reader does,
// and acts on it. Commands: "tree" prints role and name of every object;
// "press NAME" presses the push button NAME; "wait-label TEXT" waits for a
// label showing TEXT; "slider NAME" prints the slider's value and range.
const char* kReader = R"PY(
import sys, time, pyatspi

def app():
    for _ in range(300):
        for a in pyatspi.Registry.getDesktop(0):
            if a is not None and a.name == "Kestrune":
                return a
        time.sleep(0.1)
    sys.exit("no Kestrune on the accessibility bus")

def walk(acc, out):
    out.append(acc)
    for i in range(acc.childCount):
        c = acc.getChildAtIndex(i)
        if c is not None:
            walk(c, out)
    return out

def find(role, name, timeout=10):
    end = time.time() + timeout
    while time.time() < end:
        for o in walk(app(), []):
            if o.getRoleName() == role and o.name == name:
                return o
        time.sleep(0.2)
    return None

cmd, arg = sys.argv[1], " ".join(sys.argv[2:])
if cmd == "tree":
    find("push button", "Record F5", 30)  # the window is built after the program shows up
    for o in walk(app(), []):
        print(o.getRoleName() + "|" + o.name)
elif cmd == "press":
    b = find("push button", arg)
    if b is None:
        sys.exit("no push button " + arg)
    action = b.queryAction()
    names = [action.getName(i) for i in range(action.nActions)]
    if "Press" not in names and "press" not in names:
        sys.exit("cannot press " + arg + ": " + str(names))
    action.doAction(names.index("Press") if "Press" in names else names.index("press"))
elif cmd == "wait-label":
    if find("label", arg, 15) is None:
        sys.exit("no label " + arg)
elif cmd == "hint":
    if find("label", arg) is None:
        sys.exit("no label " + arg)
    for o in walk(app(), []):
        if o.getRoleName() == "label" and o.name == arg:
            print(o.description)
elif cmd == "slider":
    s = find("slider", arg)
    if s is None:
        sys.exit("no slider " + arg)
    v = s.queryValue()
    print("%g %g %g" % (v.currentValue, v.minimumValue, v.maximumValue))
)PY";

// A private session bus with the accessibility bus on it, the recorder
// started on them with its accessibility always on.
class Accessible : public ::testing::Test {
  protected:
    QTemporaryDir dir;
    QProcess bus, launcher, recorder;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    QString reader;
    QString busAddress;

    void SetUp() override {
        if (!getenv("DISPLAY")) GTEST_SKIP() << "no display";
        if (!QFileInfo::exists(kBusLauncher) ||
            QStandardPaths::findExecutable("dbus-daemon").isEmpty() ||
            QProcess::execute(kPython, {"-c", "import pyatspi"}) != 0) {
            if (testutil::PulseRequired()) FAIL() << "at-spi2-core or python3-pyatspi missing";
            GTEST_SKIP() << "at-spi2-core or python3-pyatspi missing";
        }
        bus.start("dbus-daemon", {"--session", "--nofork", "--print-address"});
        ASSERT_TRUE(bus.waitForReadyRead(10000));
        const QString address = QString::fromUtf8(bus.readLine()).trimmed();
        ASSERT_FALSE(address.isEmpty());
        busAddress = address;
        env.insert("DBUS_SESSION_BUS_ADDRESS", address);
        env.insert("QT_QPA_PLATFORM", "xcb");
        env.insert("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1");
        env.insert("HOME", dir.path());
        env.insert("XDG_CONFIG_HOME", dir.path() + "/config");
        env.remove("XDG_MUSIC_DIR");
        QDir().mkpath(dir.path() + "/Music");
        launcher.setProcessEnvironment(env);
        launcher.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        launcher.start(kBusLauncher, {"--launch-immediately"});
        ASSERT_TRUE(launcher.waitForStarted(10000));
        reader = dir.path() + "/reader.py";
        QFile f(reader);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(kReader);
        f.close();
    }
    void Start() {
        recorder.setProcessEnvironment(env);
        recorder.setProcessChannelMode(QProcess::ForwardedChannels);
        recorder.start(kProgram, {});
        ASSERT_TRUE(recorder.waitForStarted(10000));
    }
    void TearDown() override {
        for (QProcess* p : {&recorder, &launcher, &bus})
            if (p->state() != QProcess::NotRunning) {
                p->terminate();
                if (!p->waitForFinished(5000)) p->kill();
                p->waitForFinished(2000);
            }
    }
    // Runs the reader; its output, or the reason it failed as a test failure.
    QString Read(const QStringList& args) {
        QProcess p;
        p.setProcessEnvironment(env);
        p.start(kPython, QStringList{reader} + args);
        if (!p.waitForFinished(60000)) {
            p.kill();
            ADD_FAILURE() << "the reader hung on " << args.join(' ').toStdString();
            return {};
        }
        const QString err = QString::fromUtf8(p.readAllStandardError()).trimmed();
        EXPECT_EQ(p.exitCode(), 0) << args.join(' ').toStdString() << ": " << err.toStdString();
        return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
    }
};

TEST_F(Accessible, EveryButtonIsANamedPushButtonAndSlidersHaveValues) {
    Start();
    const QStringList tree = Read({"tree"}).split('\n');
    QStringList buttons;
    for (const QString& line : tree)
        if (line.startsWith("push button|")) buttons << line.section('|', 1);
    EXPECT_EQ(buttons, (QStringList{"Output Folder", "Format Settings", "Help", "About", "Minimize",
                                    "Close", "Recording Control", "Record F5", "Pause/Resume F7",
                                    "Stop F9", "Play", "Show/Hide File List"}));
    EXPECT_TRUE(tree.contains("label|Monitoring")) << tree.join('\n').toStdString();
    for (const QString& line : tree)
        EXPECT_FALSE(line.endsWith('|') && line.startsWith("image"))
            << "an unnamed picture: " << line.toStdString();

    const QStringList threshold = Read({"slider", "Threshold Level"}).split(' ');
    EXPECT_EQ(threshold, (QStringList{"50", "0", "100"}));
    const QStringList volume = Read({"slider", "Recording Volume"}).split(' ');
    ASSERT_EQ(volume.size(), 3);
    EXPECT_GE(volume[0].toDouble(), 0);
    EXPECT_LE(volume[0].toDouble(), 100);
}

// A screen-reader user finds Record by its name, presses it and records.
TEST_F(Accessible, RecordPressedThroughTheAccessibilityInterfaceRecords) {
    Start();
    Read({"press", "Record F5"});
    Read({"wait-label", "Recording"});
    QThread::msleep(1500);
    Read({"press", "Stop F9"});
    Read({"wait-label", "Monitoring"});
    const QString file = dir.path() + "/Music/record001.mp3";
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline && QFileInfo(file).size() < 4096)
        QThread::msleep(200);
    EXPECT_GT(QFileInfo(file).size(), 4096) << "no recording at " << file.toStdString();
}

// The hot keys through a stand-in desktop portal on the session bus: the
// program binds F5, F7, F9 and each activation records, pauses, stops.
class PortalKeys : public Accessible {
  protected:
    testutil::FakePortal portal;
    QThread thread;
    QDBusConnection portalBus{QString()};

    void Serve(uint bindAnswer) {
        portal.bindAnswer = bindAnswer;
        // The stand-in answers on its own thread while this one waits on
        // the reader and the recorder.
        portalBus = QDBusConnection::connectToBus(busAddress, "fake-portal");
        ASSERT_TRUE(portalBus.isConnected());
        ASSERT_TRUE(portalBus.registerVirtualObject(testutil::kPortalPath, &portal,
                                                    QDBusConnection::SubPath));
        ASSERT_TRUE(portalBus.registerService("org.freedesktop.portal.Desktop"));
        // Registered first, so what the bus hangs on it moves along.
        thread.start();
        portal.moveToThread(&thread);
    }
    void TearDown() override {
        Accessible::TearDown();
        QDBusConnection::disconnectFromBus("fake-portal");
        thread.quit();
        thread.wait();
    }
    QString Session() {
        std::lock_guard<std::mutex> lock(portal.m);
        return portal.session;
    }
    void Press(const char* id) { portalBus.send(testutil::PortalActivated(Session(), id)); }
};

TEST_F(PortalKeys, ActivationsRecordPauseAndStop) {
    Serve(0);
    Start();
    Read({"wait-label", "Monitoring"});
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline && Session().isEmpty())
        QThread::msleep(100);
    ASSERT_FALSE(Session().isEmpty()) << "the program did not open a portal session";
    QThread::msleep(500); // the binding's answer
    EXPECT_TRUE(Read({"hint", "Monitoring"}).contains("desktop shortcuts"));
    {
        std::lock_guard<std::mutex> lock(portal.m);
        EXPECT_EQ(portal.registered, QStringList{"kestrune"});
        EXPECT_EQ(portal.shortcuts.size(), 3u);
    }
    Press("101");
    Read({"wait-label", "Recording"});
    Press("102");
    Read({"wait-label", "Pause"});
    Press("102");
    Read({"wait-label", "Recording"});
    Press("103");
    Read({"wait-label", "Monitoring"});
    EXPECT_TRUE(QFileInfo::exists(dir.path() + "/Music/record001.mp3"));
}

TEST_F(PortalKeys, RefusedPortalLeavesTheX11Grab) {
    if (QStandardPaths::findExecutable("xdotool").isEmpty()) GTEST_SKIP() << "no xdotool";
    Serve(1);
    Start();
    Read({"wait-label", "Monitoring"});
    QThread::msleep(1000);
    EXPECT_FALSE(Read({"hint", "Monitoring"}).contains("desktop shortcuts"));
    EXPECT_TRUE(Read({"hint", "Monitoring"}).contains("every program"));
    // The key pressed with no Kestrune window focused still records.
    QProcess::execute("xdotool", {"key", "F5"});
    Read({"wait-label", "Recording"});
    QProcess::execute("xdotool", {"key", "F9"});
    Read({"wait-label", "Monitoring"});
}

// scripts/run --demo keeps its private server for a recorder that restarts
// itself on a new default source, and stops it after the last one exited.
class Demo : public ::testing::Test {
  protected:
    QTemporaryDir home;
    QProcess run;
    QString server;

    // pactl against the demo server: its output; `ok` says whether it succeeded.
    QString Pactl(const QStringList& args, bool* ok = nullptr) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("PULSE_SERVER", server);
        p.setProcessEnvironment(env);
        p.start("pactl", args);
        const bool done = p.waitForFinished(10000) && p.exitCode() == 0;
        if (ok) *ok = done;
        return done ? QString::fromUtf8(p.readAllStandardOutput()) : QString();
    }
    bool PactlOk(const QStringList& args) {
        bool ok = false;
        Pactl(args, &ok);
        return ok;
    }
    // The recorder's capture stream: its source's name and its process id.
    std::pair<QString, QString> Capture() {
        const QString sources = Pactl({"list", "short", "sources"});
        const QString outputs = Pactl({"list", "source-outputs"});
        const auto source = QRegularExpression("Source: (\\d+)").match(outputs);
        const auto pid = QRegularExpression("application.process.id = \"(\\d+)\"").match(outputs);
        if (!source.hasMatch() || !pid.hasMatch()) return {};
        for (const QString& line : sources.split('\n'))
            if (line.section('\t', 0, 0) == source.captured(1))
                return {line.section('\t', 1, 1), pid.captured(1)};
        return {};
    }
    // Recorders started by this run of the script: they carry its mark.
    QString mark;
    QStringList Marked() {
        QStringList pids;
        if (mark.isEmpty()) return pids;
        for (const QString& pid : QDir("/proc").entryList(QDir::Dirs)) {
            if (pid.toInt() <= 0 ||
                QFileInfo("/proc/" + pid + "/exe").canonicalFilePath() !=
                    QFileInfo(KESTRUNE_SOURCE_DIR "/build/kestrune").canonicalFilePath())
                continue;
            QFile env("/proc/" + pid + "/environ");
            if (env.open(QIODevice::ReadOnly) && env.readAll().split('\0').contains(mark.toUtf8()))
                pids << pid;
        }
        return pids;
    }
    template <class F> bool Within(int seconds, F f) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        while (std::chrono::steady_clock::now() < end) {
            if (f()) return true;
            QThread::msleep(250);
        }
        return f();
    }
    void TearDown() override {
        // A recorder left by a failed check: its script waits for it.
        for (const QString& pid : Marked())
            if (pid.toLongLong() != QCoreApplication::applicationPid())
                QProcess::execute("kill", {pid});
        if (run.state() != QProcess::NotRunning) {
            run.terminate();
            if (!run.waitForFinished(10000)) run.kill();
            run.waitForFinished(2000);
        }
    }
};

TEST_F(Demo, SurvivesTheRestartOnANewDefaultSource) {
    // scripts/run builds and runs build/ of the source tree, and would install
    // what is missing: only where that is this build, all installed.
    if (QFileInfo(KESTRUNE_BUILD_DIR).canonicalFilePath() !=
            QFileInfo(KESTRUNE_SOURCE_DIR "/build").canonicalFilePath() ||
        !getenv("DISPLAY") || QProcess::execute("dpkg-query", {"-W", "pavucontrol"}) != 0)
        GTEST_SKIP() << "needs the tree's own build/ and every package of scripts/run";
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", home.path());
    env.insert("XDG_CONFIG_HOME", home.path() + "/config");
    env.remove("PULSE_SERVER");
    env.insert("QT_QPA_PLATFORM", "xcb");
    run.setProcessEnvironment(env);
    run.setProcessChannelMode(QProcess::MergedChannels);
    run.start("bash", {KESTRUNE_SOURCE_DIR "/scripts/run", "--demo"});
    ASSERT_TRUE(Within(120, [&] {
        run.waitForReadyRead(200);
        const QString out = QString::fromUtf8(run.peek(1 << 16));
        const auto m = QRegularExpression("Demo sound server: (\\S+)").match(out);
        if (m.hasMatch()) server = m.captured(1);
        return !server.isEmpty();
    })) << "scripts/run did not say where its server is";
    ASSERT_TRUE(Within(30, [&] { return Capture().first == "testsink.monitor"; }));
    const QString first = Capture().second;
    {
        QFile env("/proc/" + first + "/environ");
        ASSERT_TRUE(env.open(QIODevice::ReadOnly));
        for (const QByteArray& v : env.readAll().split('\0'))
            if (v.startsWith("KESTRUNE_RUN_MARK=")) mark = QString::fromUtf8(v);
    }
    ASSERT_FALSE(mark.isEmpty()) << "the recorder does not carry the script's mark";

    ASSERT_TRUE(PactlOk({"set-default-source", "quietsink.monitor"}));
    ASSERT_TRUE(Within(30, [&] {
        return Capture().first == "quietsink.monitor" && Capture().second != first;
    })) << "no recorder on the new default source";
    const QString second = Capture().second;
    ASSERT_TRUE(PactlOk({"set-default-source", "testsink.monitor"}));
    ASSERT_TRUE(Within(30, [&] {
        return Capture().first == "testsink.monitor" && Capture().second != second;
    })) << "the restarted recorder does not monitor the tone again";
    EXPECT_EQ(run.state(), QProcess::Running);

    // The last recorder closes: the script ends and its server with it.
    ASSERT_TRUE(Within(10, [&] { return Marked().size() == 1; }))
        << "recorders of this run: " << Marked().join(' ').toStdString();
    ASSERT_EQ(QProcess::execute("kill", {Marked().value(0)}), 0);
    EXPECT_TRUE(run.waitForFinished(20000));
    EXPECT_FALSE(PactlOk({"info"})) << "the demo server outlived its recorders";
}

} // namespace
