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

bool StartDetached(const QString& program, const QStringList& args, long long* pid) {
    QProcess p;
    p.setProgram(program);
    p.setArguments(args);
    p.setStandardInputFile(QProcess::nullDevice());
    p.setStandardOutputFile(QProcess::nullDevice());
    p.setStandardErrorFile(QProcess::nullDevice());
    qint64 started = 0;
    if (!p.startDetached(&started)) return false;
    if (pid) *pid = started;
    return true;
}

void OpenSoundControlPanel() {
    long long pid = 0;
    if (StartDetached("pavucontrol", {"--tab=4"}, &pid)) gMixerPid = pid;
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
