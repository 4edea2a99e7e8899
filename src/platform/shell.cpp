#include "platform/shell.h"

#include <signal.h>
#include <unistd.h>

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

namespace platform {
namespace {
qint64 gMixerPid = 0;
}

std::string MusicFolder() {
    QString p = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
    if (p.isEmpty()) return {};
    QDir().mkpath(p);
    return p.toStdString();
}

bool IsDirectory(const std::string& path) {
    return !path.empty() && QFileInfo(QString::fromStdString(path)).isDir();
}

bool MakeDirectory(const std::string& path) {
    return !path.empty() && QDir().mkpath(QString::fromStdString(path)) && IsDirectory(path);
}

bool ChangeDirectory(const std::string& path) {
    return ::chdir(path.c_str()) == 0;
}

void OpenSoundControlPanel() {
    // The mixer outlives us; it must not hold our output channels open.
    QProcess mixer;
    mixer.setProgram("pavucontrol");
    mixer.setArguments({"--tab=4"});
    mixer.setStandardOutputFile(QProcess::nullDevice());
    mixer.setStandardErrorFile(QProcess::nullDevice());
    qint64 pid = 0;
    if (mixer.startDetached(&pid)) gMixerPid = pid;
}

void RememberSoundControlPanel(long long pid) {
    if (pid > 0) gMixerPid = pid;
}

void CloseSoundControlPanel() {
    if (gMixerPid <= 0) return;
    // Only our own child: a kill(0 or -1) would reach other processes.
    if (::kill(static_cast<pid_t>(gMixerPid), 0) == 0)
        ::kill(static_cast<pid_t>(gMixerPid), SIGTERM);
    gMixerPid = 0;
}

} // namespace platform
