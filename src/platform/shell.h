#pragma once
#include <QString>
#include <QStringList>
#include <string>

namespace platform {
// The user's music folder (XDG), created when missing; empty when there is none.
std::string MusicFolder();
bool IsDirectory(const std::string& path);
bool MakeDirectory(const std::string& path);
bool ChangeDirectory(const std::string& path);
// Opens the sound settings on their input page (pavucontrol). Says nothing when
// it cannot start. Remembers the process so CloseSoundControlPanel can end it.
void OpenSoundControlPanel();
void CloseSoundControlPanel();
// Starts a program of its own, without a shell, its standard streams on
// /dev/null so that it never holds ours open; false when it could not start.
bool StartDetached(const QString& program, const QStringList& args, long long* pid);
// The mixer started elsewhere (Recording Control) is closed the same way.
void RememberSoundControlPanel(long long pid);
} // namespace platform
