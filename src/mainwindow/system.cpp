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
#include <chrono>
#include <cstring>
#include <set>
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

FolderHooks FolderChanged;

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
        return QProcess::startDetached(program, args, QString(), pid);
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

// Visible top-level windows with a title, in stacking order. X11 only; on
// other platforms the list is empty and the mixer is left where it opens.
struct TopWindows {
    xcb_connection_t* conn = nullptr;
    xcb_window_t root = 0;
    xcb_atom_t netName = XCB_ATOM_NONE, utf8 = XCB_ATOM_NONE;

    TopWindows() {
        if (QGuiApplication::platformName() != "xcb") return;
        if (auto* x = qApp->nativeInterface<QNativeInterface::QX11Application>())
            conn = x->connection();
        if (!conn) return;
        root = xcb_setup_roots_iterator(xcb_get_setup(conn)).data->root;
        netName = Atom("_NET_WM_NAME");
        utf8 = Atom("UTF8_STRING");
    }
    xcb_atom_t Atom(const char* name) {
        auto* r = xcb_intern_atom_reply(
            conn, xcb_intern_atom(conn, 0, static_cast<uint16_t>(strlen(name)), name), nullptr);
        xcb_atom_t a = r ? r->atom : xcb_atom_t{XCB_ATOM_NONE};
        free(r);
        return a;
    }
    bool HasTitle(xcb_window_t w) {
        const std::pair<xcb_atom_t, xcb_atom_t> props[] = {{netName, utf8},
                                                           {XCB_ATOM_WM_NAME, XCB_ATOM_STRING}};
        for (auto [prop, type] : props) {
            if (prop == XCB_ATOM_NONE) continue;
            auto* r = xcb_get_property_reply(conn, xcb_get_property(conn, 0, w, prop, type, 0, 256),
                                             nullptr);
            bool has = r && xcb_get_property_value_length(r) > 0;
            free(r);
            if (has) return true;
        }
        return false;
    }
    std::vector<xcb_window_t> List() {
        std::vector<xcb_window_t> out;
        if (!conn) return out;
        auto* tree = xcb_query_tree_reply(conn, xcb_query_tree(conn, root), nullptr);
        if (!tree) return out;
        xcb_window_t* kids = xcb_query_tree_children(tree);
        for (int i = 0; i < xcb_query_tree_children_length(tree); ++i) {
            auto* a = xcb_get_window_attributes_reply(
                conn, xcb_get_window_attributes(conn, kids[i]), nullptr);
            bool visible = a && a->map_state == XCB_MAP_STATE_VIEWABLE;
            free(a);
            if (visible && HasTitle(kids[i])) out.push_back(kids[i]);
        }
        free(tree);
        return out;
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

} // namespace

SystemSeams& Seams() {
    return gSeams;
}
void ResetSeams() {
    gSeams = DefaultSeams();
}

void BrowseOutputFolder() {
    auto& set = core::Settings;
    if (core::Session.IsRecording) return;
    const std::string previous = set.FolderName;
    if (auto chosen = gSeams.ChooseFolder(Form1, set.FolderName)) set.FolderName = *chosen;
    if (Form1) Form1->RestoreButtonPictures();
    if (set.FolderName == previous || set.FolderName.empty()) return;
    core::Session.SelectedFile.clear();
    platform::ChangeDirectory(set.FolderName);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    if (FolderChanged.FindFiles) FolderChanged.FindFiles();
    QApplication::restoreOverrideCursor();
    if (FolderChanged.ShowFiles) FolderChanged.ShowFiles();
    if (FolderChanged.ClearSummary) FolderChanged.ClearSummary();
}

void OpenFormatSettings() {
    if (core::Session.IsRecording || core::Session.IsPlayerShown) return;
    dialogs::OpenFormatSettings(Form1, [] {
        if (Form1) Form1->UpdateFormatLabel();
    });
}

void ShowRecordingControl() {
    if (core::Session.IsRecording) return;
    TopWindows x;
    const std::vector<xcb_window_t> before = x.List();
    qint64 pid = 0;
    if (!gSeams.StartProgram("pavucontrol", {"--tab=4"}, &pid)) return;
    if (!x.conn) return;
    // Wait for the mixer's window, at most 2 s, without handling messages
    // (a click must not start a recording while the mixer opens).
    const std::set<xcb_window_t> known(before.begin(), before.end());
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(2000);
    xcb_window_t found = 0;
    for (;;) {
        const auto now = x.List();
        for (xcb_window_t w : now)
            if (!known.count(w)) found = w;
        if (now.size() != before.size() || std::chrono::steady_clock::now() > deadline) break;
    }
    if (found && Form1) x.Place(found, Form1->x(), Form1->y() + 300);
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
