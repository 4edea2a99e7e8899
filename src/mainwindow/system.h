#pragma once
#include <QString>
#include <QStringList>
#include <QUrl>
#include <functional>
#include <optional>
#include <string>

class QWidget;

namespace mainwindow {

// What the actions ask of the desktop; tests replace these.
struct SystemSeams {
    // The folder browser: the chosen folder, nothing when cancelled.
    std::function<std::optional<std::string>(QWidget* owner, const std::string& current)>
        ChooseFolder;
    // Starts a program without a shell; false when it could not start.
    std::function<bool(const QString& program, const QStringList& args, qint64* pid)> StartProgram;
    std::function<void(const QUrl& url)> OpenUrl;
    // Ends this instance after a restart was started.
    std::function<void()> Quit;
};
SystemSeams& Seams();
void ResetSeams();

class Form1Peers;

// Asks for a new output folder; the file list (through `peers`) then shows it.
void BrowseOutputFolder(Form1Peers& peers);
void OpenFormatSettings();
void ShowRecordingControl();
void ShowRecordingDevice();
void ShowHelp();
void ShowAbout();
// The help file: the executable's path with ".html" in place of its extension.
QString HelpFilePath();
// The user's music folder, created when missing; empty when there is none.
std::string GetSpecialFolderPath();

// The default source changed: finish a recording, save the settings, start
// a new instance on the new device and end this one.
void RestartOnNewDevice();

} // namespace mainwindow
