#pragma once
// The recordings of the output folder: the scan, the play lengths and dates,
// and the row table of the file list in its six orders. The file list window
// draws what is here; nothing in this file touches a widget.
#include <array>
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

namespace library {

struct RecordingEntry {
    std::string FullPath; // FolderName + "/" + FileName, FolderName exactly as stored
    std::string FileName;
    std::string DurationText;
    std::string DateTimeText;
    int32_t ModifiedStamp = 0; // local last-write time, packed DOS date-time
    bool Placed = false;       // sort scratch
};

// The grid's contents. Row 0 is the header (its texts are the window's); rows
// 1..RowCount-1 hold the three cell texts of a recording.
struct GridTable {
    int RowCount = 2; // never below 2
    std::vector<std::array<std::string, 3>> Cells = std::vector<std::array<std::string, 3>>(2);
    int SelectedRow = -1; // -1: no selection
};

struct RecordingListState {
    int32_t Count = 0;
    std::vector<RecordingEntry> Entries{1}; // 1..Count in scan order; [0] unused
    std::vector<std::string> RowPaths{1};   // path shown in grid row r; [0] unused
    GridTable Grid;
};
extern RecordingListState RecordingList;

// ".WAV", ".MP3", ".WMA", ".OGG", ".FLAC", whatever the case: the text from the
// name's last point to its end, upper-cased.
bool IsRecordingExtension(const std::string& fileName);

// High half (year - 1980) * 512 + month * 32 + day, low half hour * 2048 +
// minute * 32 + second / 2.
int32_t PackDosDateTime(int year, int month, int day, int hour, int minute, int second);
int32_t PackDosDateTime(const std::tm& local);

// "05/03/2024   09:07:03": day/month/year, three spaces, hour:minute:second.
std::string DateTimeText(const std::tm& local);

// Hours (unpadded, at most two characters), minutes, seconds: "0:03:07".
std::string DurationText(double seconds);

// Play length of a recording as DurationText; "0:00:00" when it cannot be opened.
std::string MeasureDuration(const std::string& path);

// Rescans core::Settings.FolderName into RecordingList and resets the grid
// (selection cleared, rows empty, Count + 1 rows but at least 2). Recordings
// under 50 bytes lying directly in the folder are deleted, except the one being
// recorded. Symbolic links are never deleted, and listed only when they lead to
// a file inside the folder. Pending events run once per listed file; a scan
// asked for meanwhile is run after this one, never inside it.
// The first scan of a folder (at start, and after the user picks another one)
// also repairs the WAVs that an interrupted recording left with a header
// counting less than the whole frames on disk, and tells the user which.
// Links and files a recorder holds open are never touched.
void FindFiles();

// Fills the grid rows and RowPaths in the order of core::Settings.Sort (1..6;
// any other value sorts as 1) and selects the row that shows
// core::Session.SelectedFile; the selection stays as it was when none does.
void ShowFiles();

} // namespace library
