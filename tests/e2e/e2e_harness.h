#pragma once
// Drives the real kestrune program as a user does: its own process on the X
// server, a fresh profile, the mouse and keys through xdotool, the sound on
// the private server through parec, the windows through xdotool and import.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <xcb/xcb.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QRect>
#include <QRegularExpression>
#include <QSettings>
#include <QSize>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "test_util.h"

namespace e2e {

inline const QString kProgram = KESTRUNE_BUILD_DIR "/kestrune";
inline const QString kShots = KESTRUNE_BUILD_DIR "/screenshots";
inline const QString kSkin = KESTRUNE_SOURCE_DIR "/skin";

// Output of a helper program (xdotool, xwininfo, import); empty on failure.
inline QString RunTool(const QString& program, const QStringList& args, int timeoutMs = 15000) {
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(timeoutMs) || p.exitStatus() != QProcess::NormalExit) {
        p.kill();
        p.waitForFinished(2000);
        return {};
    }
    return QString::fromUtf8(p.readAllStandardOutput());
}

inline void Pause(int ms) {
    QThread::msleep(static_cast<unsigned long>(ms));
}

// Polls `done` until it holds or `ms` have passed; the last answer.
inline bool WaitFor(const std::function<bool()>& done, int ms, int stepMs = 100) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        if (done()) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        Pause(stepMs);
    }
}

inline QString ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

inline QByteArray ReadBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Waits until the file exists and its size has not changed for 800 ms, as
// when an encoder has finished it.
inline bool WaitSettled(const QString& path, int ms = 10000) {
    qint64 last = -1;
    int still = 0;
    return WaitFor(
        [&] {
            const QFileInfo fi(path);
            const qint64 size = fi.exists() ? fi.size() : -1;
            still = (size > 0 && size == last) ? still + 1 : 0;
            last = size;
            return still >= 4;
        },
        ms, 200);
}

// ---- windows, mouse and keys ----

// A window's place on the screen and its size (there is no window manager,
// so a top-level window's position is its place on the root window).
inline QRect WindowRect(const QString& id) {
    const QString info = RunTool("xdotool", {"getwindowgeometry", "--shell", id});
    auto value = [&](const char* key) {
        auto m = QRegularExpression(QString("(?m)^%1=(-?\\d+)$").arg(key)).match(info);
        return m.hasMatch() ? m.captured(1).toInt() : -1;
    };
    if (info.isEmpty()) return {};
    return {value("X"), value("Y"), value("WIDTH"), value("HEIGHT")};
}

inline QString WindowName(const QString& id) {
    return RunTool("xdotool", {"getwindowname", id}).trimmed();
}

inline void Key(const QString& key) {
    RunTool("xdotool", {"key", key});
    Pause(100);
}

inline void Type(const QString& text) {
    RunTool("xdotool", {"type", "--delay", "30", text});
    Pause(100);
}

inline void MoveTo(const QString& id, int x, int y) {
    RunTool("xdotool", {"mousemove", "--window", id, QString::number(x), QString::number(y)});
    Pause(150);
}

// A press and release at (x, y) of the window; the pause before lets the
// hover pictures and the pointer's window settle as a hand's would.
inline void Click(const QString& id, int x, int y, int button = 1) {
    MoveTo(id, x, y);
    RunTool("xdotool", {"click", QString::number(button)});
    Pause(200);
}

inline void DoubleClick(const QString& id, int x, int y) {
    MoveTo(id, x, y);
    RunTool("xdotool", {"click", "--repeat", "2", "--delay", "80", "1"});
    Pause(300);
}

// Presses at (x1, y1), moves in steps to (x2, y2) and releases there; the
// points are taken on the screen where the window was at the press, so a
// window that moves along does not shift them.
inline void Drag(const QString& id, int x1, int y1, int x2, int y2) {
    const QPoint origin = WindowRect(id).topLeft();
    auto to = [&](int x, int y) {
        RunTool("xdotool",
                {"mousemove", QString::number(origin.x() + x), QString::number(origin.y() + y)});
    };
    to(x1, y1);
    Pause(150);
    RunTool("xdotool", {"mousedown", "1"});
    Pause(150);
    for (int i = 1; i <= 4; ++i) {
        to(x1 + (x2 - x1) * i / 4, y1 + (y2 - y1) * i / 4);
        Pause(60);
    }
    RunTool("xdotool", {"mouseup", "1"});
    Pause(300);
}

inline void Focus(const QString& id) {
    RunTool("xdotool", {"windowfocus", "--sync", id});
    Pause(100);
}

// The window as the screen shows it; also saved under build/screenshots.
inline QImage Shot(const QString& id, const QString& name) {
    QDir().mkpath(kShots);
    const QString file = kShots + "/" + name + ".png";
    QFile::remove(file);
    RunTool("import", {"-window", id, file});
    return QImage(file).convertToFormat(QImage::Format_RGB32);
}

// ---- the profile a test starts the program with ----

// A new user: home, settings and output folder in a temporary folder, a
// folder for stand-in programs at the front of PATH.
class Profile {
  public:
    QTemporaryDir dir;
    Profile() {
        QDir().mkpath(Home() + "/.config/Quenlow");
        QDir().mkpath(Folder());
        QDir().mkpath(Bin());
        Set("Folder Name", Folder());
    }
    QString Home() const { return dir.filePath("home"); }
    QString Folder() const { return dir.filePath("recordings"); }
    QString Bin() const { return dir.filePath("bin"); }
    QString File(const QString& name) const { return Folder() + "/" + name; }
    QString ConfigFile() const { return Home() + "/.config/Quenlow/Kestrune.conf"; }
    QString ErrFile() const { return dir.filePath("stderr.log"); }

    // Settings under their stored value names ("MP3 IsMP3", "Folder Name").
    void Set(const QString& key, const QVariant& value) {
        QSettings s(ConfigFile(), QSettings::IniFormat);
        s.setValue(key, value);
        s.sync();
    }
    QVariant Get(const QString& key) const {
        QSettings s(ConfigFile(), QSettings::IniFormat);
        return s.value(key);
    }
    // Exactly one output format: "WAV", "MP3", "OGG", "WMA" or "FLAC".
    void SetFormat(const QString& format) {
        const char* const keys[][2] = {{"WAV", "WAV IsWav"},
                                       {"MP3", "MP3 IsMP3"},
                                       {"OGG", "OGG IsOGG"},
                                       {"WMA", "WMA IsWMA"},
                                       {"FLAC", "FLAC IsFLAC"}};
        for (const auto& k : keys)
            Set(k[1], format == k[0] ? 1 : 0);
    }
    // A stand-in program on PATH: a shell script.
    void Stub(const QString& name, const QString& script) {
        QFile f(Bin() + "/" + name);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(("#!/bin/sh\n" + script + "\n").toUtf8());
        f.close();
        f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }
    QProcessEnvironment Env() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", Home());
        env.insert("XDG_CONFIG_HOME", Home() + "/.config");
        env.remove("XDG_MUSIC_DIR");
        env.insert("QT_QPA_PLATFORM", "xcb");
        env.insert("KESTRUNE_DEBUG", "1");
        env.insert("PATH", Bin() + ":" + env.value("PATH"));
        // Playback goes to the quiet sink, where nothing else sounds.
        env.insert("PULSE_SINK", "playsink");
        return env;
    }
};

// ---- the program ----

// The recorder started as a user starts it: its own process on the X server.
class Recorder {
  public:
    QProcess proc;
    // Standard error goes to `errFile` when one is given.
    explicit Recorder(const QProcessEnvironment& env, const QString& errFile = {})
        : errFile_(errFile) {
        proc.setProcessEnvironment(env);
        Launch();
    }
    explicit Recorder(const Profile& p) : Recorder(p.Env(), p.ErrFile()) {}
    ~Recorder() {
        if (proc.state() != QProcess::NotRunning) {
            proc.kill();
            proc.waitForFinished(5000);
        }
    }
    // Asks the system, not QProcess's last word: no event loop runs here.
    bool Running() {
        proc.waitForFinished(0);
        return proc.state() == QProcess::Running;
    }
    // How the process ended, for messages: "running", "exit N", "crashed".
    QString State() {
        if (Running()) return "running";
        if (proc.exitStatus() == QProcess::CrashExit) return "crashed";
        return QString("exit %1").arg(proc.exitCode());
    }
    // Visible windows of this process, with a title matching `name` when given.
    QStringList Windows(const QString& name = {}) {
        QStringList args{"search", "--onlyvisible", "--pid", QString::number(proc.processId())};
        if (!name.isEmpty())
            args << "--all"
                 << "--name" << name;
        return RunTool("xdotool", args).split('\n', Qt::SkipEmptyParts);
    }
    static QSize Size(const QString& id) { return WindowRect(id).size(); }
    // A visible window of this process of the given size, waiting up to `ms`.
    QString WindowOfSize(QSize size, int ms = 10000, const QString& name = {}) {
        QString found;
        WaitFor(
            [&] {
                if (!Running()) return true;
                for (const QString& id : Windows(name))
                    if (Size(id) == size) {
                        found = id;
                        return true;
                    }
                return false;
            },
            ms, 150);
        return found;
    }
    // A visible window of this process titled exactly `title`.
    QString WindowTitled(const QString& title, int ms = 10000) {
        QString found;
        WaitFor(
            [&] {
                if (!Running()) return true;
                const QStringList ids = Windows("^" + QRegularExpression::escape(title) + "$");
                if (ids.isEmpty()) return false;
                found = ids.front();
                return true;
            },
            ms, 150);
        return found;
    }
    // The 400 x 300 recorder window, waiting up to 20 s for it. An Xvfb
    // started without -noreset refuses connections while it resets after its
    // last client left; a program that could not reach it is started again.
    QString MainWindow() {
        QString id = WindowOfSize({400, 300}, 20000, "^Kestrune$");
        if (id.isEmpty() && !Running() && !errFile_.isEmpty() &&
            ReadAll(errFile_).contains("could not connect to display", Qt::CaseInsensitive)) {
            Launch();
            id = WindowOfSize({400, 300}, 20000, "^Kestrune$");
        }
        return id;
    }
    // The docked 399 x 299 file list.
    QString FileList(int ms = 5000) { return WindowOfSize({399, 299}, ms, "^Kestrune$"); }
    // The 249 x 299 tag editor.
    QString TagEditor(int ms = 5000) { return WindowOfSize({249, 299}, ms); }
    // The 332 x 269 player.
    QString Player(int ms = 5000) { return WindowOfSize({332, 269}, ms); }

  private:
    QString errFile_;
    void Launch() {
        if (errFile_.isEmpty()) {
            proc.setProcessChannelMode(QProcess::ForwardedChannels);
        } else {
            proc.setProcessChannelMode(QProcess::ForwardedOutputChannel);
            proc.setStandardErrorFile(errFile_);
        }
        proc.start(kProgram, {});
        proc.waitForStarted(10000);
    }

  public:
    // Presses the skin's close button and waits for the process to end.
    int CloseWithButton(const QString& id) {
        MoveTo(id, 380, 12);
        RunTool("xdotool", {"click", "1"});
        if (!proc.waitForFinished(20000)) return -1;
        return proc.exitStatus() == QProcess::NormalExit ? proc.exitCode() : -2;
    }
};

// Fresh-profile fixture: skips without a display, starts nothing itself.
class E2E : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!getenv("DISPLAY") || QStandardPaths::findExecutable("xdotool").isEmpty()) {
            if (testutil::PulseRequired()) FAIL() << "no X display or xdotool";
            GTEST_SKIP() << "no X display";
        }
    }
};

// The main window's controls, in window coordinates (their centres).
namespace main_at {
inline const QPoint Folder{14, 14}, Settings{41, 14}, Help{300, 14}, About{327, 14},
    Minimize{354, 14}, Close{380, 12}, Control{197, 279}, Record{234, 280}, PauseBtn{270, 280},
    Stop{306, 280}, Play{342, 280}, ShowHide{377, 279};
}

inline void Press(const QString& window, QPoint at) {
    Click(window, at.x(), at.y());
}

// ---- sound ----

// Mono 16-bit samples at 44100 Hz heard on `source` for `ms`.
inline std::vector<int16_t> Listen(const QString& source, int ms) {
    QProcess p;
    p.start("parec", {"--device=" + source, "--raw", "--format=s16le", "--rate=44100",
                      "--channels=1", "--latency-msec=20"});
    if (!p.waitForStarted(5000)) return {};
    Pause(ms);
    p.terminate();
    p.waitForFinished(3000);
    const QByteArray raw = p.readAllStandardOutput();
    std::vector<int16_t> out(static_cast<size_t>(raw.size()) / 2);
    if (!out.empty()) memcpy(out.data(), raw.constData(), out.size() * 2);
    return out;
}

// Amplitude (0..1 of full scale) of the `freq` component, Goertzel over all samples.
inline double ToneLevel(const std::vector<int16_t>& s, double freq, int rate = 44100) {
    if (s.empty()) return 0;
    const double w = 2 * M_PI * freq / rate, c = 2 * std::cos(w);
    double s1 = 0, s2 = 0;
    for (int16_t v : s) {
        const double s0 = v / 32768.0 + c * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    const double power = s1 * s1 + s2 * s2 - c * s1 * s2;
    return 2 * std::sqrt(std::max(power, 0.0)) / static_cast<double>(s.size());
}

// What the player sends to the quiet sink over the next `ms`.
inline std::vector<int16_t> HearPlayback(int ms = 700) {
    return Listen("playsink.monitor", ms);
}

// Listens to the playback in short spans until the `freq` tone is there
// (`sounds`) or gone, for up to `ms`: the sound server's buffer delays a
// change by up to a second. The last level heard.
inline double AwaitTone(double freq, bool sounds, int ms = 4000) {
    constexpr double kLoud = 0.05, kQuiet = 0.004;
    double level = 0;
    WaitFor(
        [&] {
            level = ToneLevel(HearPlayback(400), freq);
            return sounds ? level > kLoud : level < kQuiet;
        },
        ms, 0);
    return level;
}

// ---- fixtures ----

// A 16-bit PCM WAV whose tone is `freqs[i]` during the i-th `secondsEach`.
inline void WriteToneWav(const QString& path, const std::vector<double>& freqs, double secondsEach,
                         int rate = 44100, int channels = 2) {
    std::vector<int16_t> pcm;
    const int per = static_cast<int>(secondsEach * rate);
    for (double f : freqs)
        for (int i = 0; i < per; ++i) {
            const auto v = static_cast<int16_t>(12000 * std::sin(2 * M_PI * f * i / rate));
            for (int c = 0; c < channels; ++c)
                pcm.push_back(v);
        }
    QByteArray b;
    auto u32 = [&](uint32_t v) { b.append(reinterpret_cast<const char*>(&v), 4); };
    auto u16 = [&](uint16_t v) { b.append(reinterpret_cast<const char*>(&v), 2); };
    const auto data = static_cast<uint32_t>(pcm.size() * 2);
    b.append("RIFF");
    u32(36 + data);
    b.append("WAVEfmt ");
    u32(16);
    u16(1);
    u16(static_cast<uint16_t>(channels));
    u32(static_cast<uint32_t>(rate));
    u32(static_cast<uint32_t>(rate * channels * 2));
    u16(static_cast<uint16_t>(channels * 2));
    u16(16);
    b.append("data");
    u32(data);
    b.append(reinterpret_cast<const char*>(pcm.data()), static_cast<qsizetype>(data));
    QFile f(path);
    if (f.open(QIODevice::WriteOnly)) f.write(b);
}

// An MP3 of the tone through lame, with an ID3v1 title when `title` is given.
inline bool WriteToneMp3(const QString& path, double freq, double seconds,
                         const QString& title = {}) {
    const QString wav = path + ".src.wav";
    WriteToneWav(wav, {freq}, seconds);
    QProcess p;
    p.start("lame", {"--quiet", "-b", "128", wav, path});
    const bool ok = p.waitForFinished(30000) && p.exitCode() == 0;
    QFile::remove(wav);
    if (!ok) return false;
    if (title.isEmpty()) return true;
    QByteArray tag(128, '\0');
    memcpy(tag.data(), "TAG", 3);
    const QByteArray t = title.toLatin1().left(30);
    memcpy(tag.data() + 3, t.constData(), static_cast<size_t>(t.size()));
    memcpy(tag.data() + 93, "2024", 4);
    tag[127] = static_cast<char>(12); // Other
    QFile f(path);
    if (!f.open(QIODevice::Append)) return false;
    return f.write(tag) == 128;
}

// The ID3v1 title of a file, or a text that says why there is none.
inline QString Id3Title(const QString& path) {
    const QByteArray b = ReadBytes(path);
    if (b.size() < 128) return "<short file>";
    const QByteArray tag = b.right(128);
    if (!tag.startsWith("TAG")) return "<no tag>";
    QByteArray t = tag.mid(3, 30);
    const int zero = t.indexOf('\0');
    if (zero >= 0) t.truncate(zero);
    return QString::fromLatin1(t);
}

// ---- a window manager's part in minimising ----

// The one part of a window manager that minimising needs: an iconify request
// (WM_CHANGE_STATE) unmaps the window and marks it iconic, and Restore()
// maps it again as a task bar does. Everything else stays unmanaged.
class Iconifier {
  public:
    Iconifier() {
        conn_ = xcb_connect(nullptr, nullptr);
        if (xcb_connection_has_error(conn_)) return;
        root_ = xcb_setup_roots_iterator(xcb_get_setup(conn_)).data->root;
        changeState_ = Atom("WM_CHANGE_STATE");
        wmState_ = Atom("WM_STATE");
        // Qt sends the request to the root with the structure-notify mask.
        const uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        xcb_change_window_attributes(conn_, root_, XCB_CW_EVENT_MASK, &mask);
        xcb_flush(conn_);
        thread_ = std::thread([this] { Run(); });
    }
    ~Iconifier() {
        stop_ = true;
        if (thread_.joinable()) {
            // Wake the event loop with an event of our own.
            xcb_client_message_event_t ev{};
            ev.response_type = XCB_CLIENT_MESSAGE;
            ev.format = 32;
            ev.window = root_;
            ev.type = wmState_;
            xcb_send_event(conn_, 0, root_, XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                           reinterpret_cast<const char*>(&ev));
            xcb_flush(conn_);
            thread_.join();
        }
        if (conn_) xcb_disconnect(conn_);
    }
    int Iconified() const { return iconified_; }
    // Maps every window that was minimised, as a click on its task bar entry does.
    void RestoreAll() {
        std::vector<xcb_window_t> windows;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            windows.swap(minimised_);
        }
        for (xcb_window_t w : windows) {
            SetState(w, 1);
            xcb_map_window(conn_, w);
        }
        xcb_flush(conn_);
    }

  private:
    xcb_atom_t Atom(const char* name) {
        auto* r = xcb_intern_atom_reply(
            conn_, xcb_intern_atom(conn_, 0, static_cast<uint16_t>(strlen(name)), name), nullptr);
        xcb_atom_t a = r ? r->atom : xcb_atom_t{XCB_ATOM_NONE};
        free(r);
        return a;
    }
    void SetState(xcb_window_t w, uint32_t state) {
        const uint32_t data[2] = {state, XCB_NONE};
        xcb_change_property(conn_, XCB_PROP_MODE_REPLACE, w, wmState_, wmState_, 32, 2, data);
    }
    void Run() {
        while (!stop_) {
            xcb_generic_event_t* e = xcb_wait_for_event(conn_);
            if (!e) return;
            if ((e->response_type & 0x7f) == XCB_CLIENT_MESSAGE) {
                auto* cm = reinterpret_cast<xcb_client_message_event_t*>(e);
                if (cm->type == changeState_ && cm->data.data32[0] == 3 && !stop_) {
                    SetState(cm->window, 3);
                    xcb_unmap_window(conn_, cm->window);
                    xcb_flush(conn_);
                    {
                        std::lock_guard<std::mutex> lock(mutex_);
                        minimised_.push_back(cm->window);
                    }
                    ++iconified_;
                }
            }
            free(e);
        }
    }
    xcb_connection_t* conn_ = nullptr;
    xcb_window_t root_ = 0;
    xcb_atom_t changeState_ = XCB_ATOM_NONE, wmState_ = XCB_ATOM_NONE;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<int> iconified_{0};
    std::mutex mutex_;
    std::vector<xcb_window_t> minimised_;
};

} // namespace e2e
