#pragma once
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace library {

// What the file operations need from the file list window. TForm2 fills it in
// when it is created; tests may fill it in without a window.
struct ListAccess {
    // Full paths of the grid's selected rows, top to bottom (RowPaths[t..b]).
    std::function<std::vector<std::string>()> SelectedRowPaths;
    // True when the last scan found no recordings.
    std::function<bool()> IsEmpty;
    // Busy cursor, FindFiles, normal cursor, ShowFiles.
    std::function<void()> Rescan;
    std::function<void()> ShowFileCaption;
    std::function<void(bool)> SetGridEnabled;
};
ListAccess& List();

// Calls from the file list into the player, the tag editor and the main
// window, filled in by the main window. An empty member does nothing.
struct FileListHooks {
    std::function<void()> ShowPlayer;     // show the player window if it is hidden
    std::function<void()> PlayFile;       // TFormPlayer.PlayFile on SelectedFile
    std::function<void()> StopPlaying;    // TFormPlayer.StopPlaying
    std::function<void()> ClosePlayer;    // close the player window
    std::function<void()> FreePlayStream; // stop and free the player's stream
    // Tag editor: empty its fields and its genre list, disable them.
    std::function<void()> ClearTags;
    std::function<void()> EnableTags;
    std::function<void()> ShowID3v1Tags;
    // Place the tag editor at (x, y) and show or hide it.
    std::function<void(int x, int y, bool show)> PlaceTagEditor;
    std::function<void()> InspectFile;   // InspectFile(SelectedFile), sets SelectedFileInfo
    std::function<void()> StoreSettings; // persist the settings (after a re-sort)
};
FileListHooks& Hooks();

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

void RenameRecording();
// Deletes the selected rows after asking; also the Delete key.
void FileDelete();
// Asks for the target folder; false when cancelled (or while recording).
bool BrowseMoveFolder();
void MoveRecordings();
// The "(n)" name of the conversion of `wav`: one past the highest n in 1..50
// that exists beside it.
std::string ConvertTargetFor(const std::string& wav);
void ConvertCurrentToMp3();

// Moves one file to `target` without ever replacing an existing file. Within
// a file system it is renamed; across file systems it is copied, flushed and
// only then the source is deleted. A failed copy removes the partial copy and
// leaves the source alone. False with the message in `error`.
bool MoveOneFile(const std::string& source, const std::string& target, std::string* error);

// Test seam: called after every chunk written by a cross-file-system copy with
// the bytes written so far; returning false makes the copy fail there.
extern std::function<bool(size_t)> CopyFaultForTests;

} // namespace library
