#pragma once
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class QWidget;

namespace library {

// What the file operations need from the file list window, which implements
// it (tests give their own).
class ListAccess {
  public:
    virtual ~ListAccess() = default;
    // Full paths of the grid's selected rows, top to bottom (RowPaths[t..b]).
    virtual std::vector<std::string> SelectedRowPaths() const = 0;
    // True when the last scan found no recordings.
    virtual bool IsEmpty() const = 0;
    // Busy cursor, FindFiles, normal cursor, ShowFiles.
    virtual void Rescan() = 0;
    virtual void ShowFileCaption() = 0;
    virtual void SetGridEnabled(bool on) = 0;
    // The window the conversion window is centred on: the recorder.
    virtual QWidget* MainWindow() = 0;
};

// What the file list needs from the player, the tag editor, the inspection
// and the settings. The program's composition root implements it and hands it
// to the file list window at creation.
class FileListPeers {
  public:
    virtual ~FileListPeers() = default;
    virtual void ShowPlayer() = 0;     // show the player window if it is hidden
    virtual void PlayFile() = 0;       // TFormPlayer.PlayFile on SelectedFile
    virtual void StopPlaying() = 0;    // TFormPlayer.StopPlaying
    virtual void ClosePlayer() = 0;    // close the player window
    virtual void FreePlayStream() = 0; // stop and free the player's stream
    // Tag editor: empty its fields and its genre list, disable them.
    virtual void ClearTags() = 0;
    virtual void EnableTags() = 0;
    virtual void ShowID3v1Tags() = 0;
    // Place the tag editor at (x, y) and show or hide it.
    virtual void PlaceTagEditor(int x, int y, bool show) = 0;
    virtual void InspectFile() = 0;   // InspectFile(SelectedFile), sets SelectedFileInfo
    virtual void StoreSettings() = 0; // persist the settings (after a re-sort)
    virtual QWidget* MainWindow() = 0;
};

// The folder browser of a move, replaceable by tests: the chosen folder, or
// nothing when the user cancelled. Arguments: title, folder to open on.
using FolderPicker =
    std::function<std::optional<std::string>(const std::string&, const std::string&)>;
void SetFolderPicker(FolderPicker picker); // empty restores the system dialog

// Run-time values of the file operations.
struct FileOpsState {
    std::string MoveTarget;    // folder of the last move, empty until the first
    std::string ConvertTarget; // MP3 path of the last conversion
};
extern FileOpsState FileOps;

// Upper-cased text from the last point of the file name, "" when it has none.
std::string UpperExtension(const std::string& path);
std::string FileNameOf(const std::string& path);

// Menu of the grid. Draw indices: 0 separator, 1 Play, 2 Stop, 3 Rename,
// 4 Convert, 5 Move, 6 Delete.
std::string MenuItemText(int drawIndex);
struct MenuState {
    bool commandsEnabled = false; // Play, Stop, Rename, Delete, Move
    bool convertShown = false;    // Convert to MP3, shown and enabled
};
// From IsRecording, SelectedFile and the selected file's format.
MenuState MenuStateFor(int bitsPerSample, int sampleRate);

// Why a typed name cannot become a file name; nothing when it can.
std::optional<std::string> BadNameReason(const std::string& name);

void RenameRecording(ListAccess& list);
// Deletes the selected rows after asking; also the Delete key.
void FileDelete(ListAccess& list);
// Asks for the target folder; false when cancelled (or while recording).
bool BrowseMoveFolder();
void MoveRecordings(ListAccess& list);
// The "(n)" name of the conversion of `wav`: one past the highest n in 1..50
// that exists beside it.
std::string ConvertTargetFor(const std::string& wav);
void ConvertCurrentToMp3(ListAccess& list);

// Moves one file to `target` without ever replacing an existing file. Within
// a file system it is renamed; across file systems it is copied, flushed and
// only then the source is deleted. A failed copy removes the partial copy and
// leaves the source alone. False with the message in `error`.
bool MoveOneFile(const std::string& source, const std::string& target, std::string* error);

// Test seam: called after every chunk written by a cross-file-system copy with
// the bytes written so far; returning false makes the copy fail there.
extern std::function<bool(size_t)> CopyFaultForTests;

} // namespace library
