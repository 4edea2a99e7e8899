#include "mainwindow/system.h"

#include <xcb/xcb.h>

#include <QApplication>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>
#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "capture/capture.h"
#include "core/session.h"
#include "core/settings.h"
#include "core/state.h"
#include "dialogs/recsettings.h"
#include "mainwindow/about.h"
#include "mainwindow/form1.h"
#include "platform/shell.h"

namespace mainwindow {

namespace {

SystemSeams DefaultSeams() {
    SystemSeams s;
    s.ChooseFolder = [](QWidget* owner, const std::string& current) -> std::optional<std::string> {
        QString dir = QFileDialog::getExistingDirectory(owner, "Browse For Folder",
                                                        QString::fromStdString(current));
        if (dir.isNull()) return std::nullopt;
        return dir.toStdString();
    };
    s.StartProgram = [](const QString& program, const QStringList& args, qint64* pid) {
        long long started = 0;
        const bool ok = platform::StartDetached(program, args, &started);
        if (pid) *pid = started;
        return ok;
    };
    s.OpenUrl = [](const QUrl& url) { QDesktopServices::openUrl(url); };
    s.Quit = [] {
        if (Form1)
            Form1->close();
        else
            QCoreApplication::quit();
    };
    return s;
}

SystemSeams gSeams = DefaultSeams();

// The desktop's application windows, read from X11. With a window manager
// they are the root's _NET_CLIENT_LIST (its own children are untitled
// frames); without one, the root's mapped children. Other platforms: none.
struct ClientWindows {
    xcb_connection_t* conn = nullptr;
    xcb_window_t root = 0;

    ClientWindows() {
        if (QGuiApplication::platformName() != "xcb") return;
        if (auto* x = qApp->nativeInterface<QNativeInterface::QX11Application>())
            conn = x->connection();
        if (!conn) return;
        root = xcb_setup_roots_iterator(xcb_get_setup(conn)).data->root;
    }
    xcb_atom_t Atom(const char* name) {
        auto* r = xcb_intern_atom_reply(
            conn, xcb_intern_atom(conn, 0, static_cast<uint16_t>(strlen(name)), name), nullptr);
        xcb_atom_t a = r ? r->atom : xcb_atom_t{XCB_ATOM_NONE};
        free(r);
        return a;
    }
    std::vector<uint32_t> Cardinals(xcb_window_t w, xcb_atom_t prop, xcb_atom_t type) {
        std::vector<uint32_t> out;
        if (prop == XCB_ATOM_NONE) return out;
        auto* r = xcb_get_property_reply(conn, xcb_get_property(conn, 0, w, prop, type, 0, 4096),
                                         nullptr);
        if (r && r->format == 32) {
            const auto* v = static_cast<const uint32_t*>(xcb_get_property_value(r));
            out.assign(v, v + xcb_get_property_value_length(r) / 4);
        }
        free(r);
        return out;
    }
    std::vector<xcb_window_t> List() {
        std::vector<xcb_window_t> out;
        if (!conn) return out;
        auto clients = Cardinals(root, Atom("_NET_CLIENT_LIST"), XCB_ATOM_WINDOW);
        if (!clients.empty()) return {clients.begin(), clients.end()};
        auto* tree = xcb_query_tree_reply(conn, xcb_query_tree(conn, root), nullptr);
        if (!tree) return out;
        xcb_window_t* kids = xcb_query_tree_children(tree);
        for (int i = 0; i < xcb_query_tree_children_length(tree); ++i) {
            auto* a = xcb_get_window_attributes_reply(
                conn, xcb_get_window_attributes(conn, kids[i]), nullptr);
            if (a && a->map_state == XCB_MAP_STATE_VIEWABLE && !a->override_redirect)
                out.push_back(kids[i]);
            free(a);
        }
        free(tree);
        return out;
    }
    // The window of process `pid`, or 0.
    xcb_window_t OfProcess(qint64 pid) {
        const xcb_atom_t wmPid = Atom("_NET_WM_PID");
        for (xcb_window_t w : List()) {
            auto v = Cardinals(w, wmPid, XCB_ATOM_CARDINAL);
            if (!v.empty() && static_cast<qint64>(v[0]) == pid) return w;
        }
        return 0;
    }
    void Place(xcb_window_t w, int x, int y) {
        const uint32_t values[] = {static_cast<uint32_t>(x), static_cast<uint32_t>(y),
                                   XCB_STACK_MODE_ABOVE};
        xcb_configure_window(
            conn, w, XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y | XCB_CONFIG_WINDOW_STACK_MODE,
            values);
        xcb_flush(conn);
    }
};

// True for a window of this program (its own windows also come and go).
bool IsOurs(xcb_window_t w) {
    for (QWidget* t : QApplication::topLevelWidgets())
        if (t->isVisible() && t->winId() == w) return true;
    return false;
}

// Looks for the mixer's window every 100 ms for up to 5 s while the event
// loop runs on, and puts it under the recorder once it is shown: the window
// of the started process, or else (a program that does not name its process
// on its window) the first window that was not there before.
void PlaceMixerWhenShown(qint64 pid) {
    if (pid <= 0 || !ClientWindows().conn) return;
    const auto before = ClientWindows().List();
    auto* timer = new QTimer(qApp);
    auto tries = std::make_shared<int>(0);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, tries, pid, before] {
        ClientWindows x;
        xcb_window_t w = x.OfProcess(pid);
        if (!w)
            for (xcb_window_t c : x.List())
                if (std::find(before.begin(), before.end(), c) == before.end() && !IsOurs(c)) w = c;
        if (w) {
            if (Form1) x.Place(w, Form1->x(), Form1->y() + 300);
            timer->deleteLater();
        } else if (++*tries >= 50) {
            timer->deleteLater();
        }
    });
    timer->start(100);
}

} // namespace

SystemSeams& Seams() {
    return gSeams;
}
void ResetSeams() {
    gSeams = DefaultSeams();
}

void BrowseOutputFolder(Form1Peers& peers) {
    auto& set = core::Settings;
    if (core::Session.IsRecording) return;
    const std::string previous = set.FolderName;
    if (auto chosen = gSeams.ChooseFolder(Form1, set.FolderName)) set.FolderName = *chosen;
    if (Form1) Form1->RestoreButtonPictures();
    if (set.FolderName == previous || set.FolderName.empty()) return;
    core::Session.SelectedFile.clear();
    platform::ChangeDirectory(set.FolderName);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    peers.FindFiles();
    QApplication::restoreOverrideCursor();
    peers.ShowFiles();
    peers.ClearSummary();
}

void OpenFormatSettings() {
    if (core::Session.IsRecording || core::Session.IsPlayerShown) return;
    dialogs::OpenFormatSettings(Form1, [] {
        if (Form1) Form1->UpdateFormatLabel();
    });
}

void ShowRecordingControl() {
    if (core::Session.IsRecording) return;
    qint64 pid = 0;
    if (!gSeams.StartProgram("pavucontrol", {"--tab=4"}, &pid)) return;
    // Closed like the one opened at start-up when a recording starts.
    platform::RememberSoundControlPanel(pid);
    PlaceMixerWhenShown(pid);
}

void ShowRecordingDevice() {
    if (core::Session.IsRecording) return;
    gSeams.StartProgram("pavucontrol", {"--tab=4"}, nullptr);
}

QString HelpFilePath() {
    // Beside the executable in a build tree; an installed program keeps it
    // with its shared data, ../share/kestrune/ from its own folder.
    const QFileInfo exe(QCoreApplication::applicationFilePath());
    const QString beside = exe.absolutePath() + "/" + exe.completeBaseName() + ".html";
    const QString shared =
        exe.absolutePath() + "/../share/kestrune/" + exe.completeBaseName() + ".html";
    if (!QFileInfo::exists(beside) && QFileInfo::exists(shared))
        return QFileInfo(shared).canonicalFilePath();
    return beside;
}

void ShowHelp() {
    // A missing help file says nothing, like a help viewer that cannot open.
    const QString path = HelpFilePath();
    if (QFileInfo::exists(path)) gSeams.OpenUrl(QUrl::fromLocalFile(path));
}

void ShowAbout() {
    ShowAbout(static_cast<QWidget*>(Form1));
}

std::string GetSpecialFolderPath() {
    return platform::MusicFolder();
}

void RestartOnNewDevice() {
    if (Form1) Form1->TimerStatus.stop();
    // A recording in progress is finished first, so its file is complete
    // and shows in the list of the new instance.
    core::StopRecording();
    core::RegistryWrite();
    gSeams.StartProgram(QCoreApplication::applicationFilePath(), {}, nullptr);
    gSeams.Quit();
}

} // namespace mainwindow
