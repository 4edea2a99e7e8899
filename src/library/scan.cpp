#include "library/scan.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>

#include "audiolib/stream.h"
#include "core/rounding.h"
#include "core/settings.h"
#include "core/state.h"
#include "output/output.h"
#include "platform/clock.h"
#include "platform/debug.h"

namespace library {

RecordingListState RecordingList;

namespace {

// A WAV header alone is 44 bytes; anything below this holds no sound.
constexpr off_t kEmptyRecordingBytes = 50;

char Upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

std::string TwoDigits(int v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d", v);
    return buf;
}

std::string RealPath(const std::string& path) {
    char buf[PATH_MAX];
    return realpath(path.c_str(), buf) ? std::string(buf) : std::string();
}

// The file a recording is being written to right now, which may still be no
// more than its header.
bool IsBeingRecorded(const std::string& fullPath) {
    const output::OutputState& o = output::Outputs;
    if (o.WavFile >= 0 && o.WavPath == fullPath) return true;
    if ((o.Encoder || o.WmaEncoder || o.SourceStream) && o.EncodedPath == fullPath) return true;
    return false;
}

// Case-insensitive for a..z only, then code unit by code unit.
int CompareText(const std::string& a, const std::string& b) {
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        unsigned char x = static_cast<unsigned char>(Upper(a[i]));
        unsigned char y = static_cast<unsigned char>(Upper(b[i]));
        if (x != y) return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

int CompareKey(const RecordingEntry& a, const RecordingEntry& b, int sort) {
    switch (sort) {
    case 3:
    case 4:
        return CompareText(a.DurationText, b.DurationText);
    case 5:
    case 6:
        return a.ModifiedStamp == b.ModifiedStamp ? 0
                                                  : (a.ModifiedStamp < b.ModifiedStamp ? -1 : 1);
    default:
        return CompareText(a.FileName, b.FileName);
    }
}

std::vector<RecordingEntry> ScanFolder(const std::string& folder) {
    std::vector<RecordingEntry> found;
    DIR* dir = opendir(folder.c_str());
    if (!dir) return found;
    const int dfd = dirfd(dir);
    const std::string realFolder = RealPath(folder);
    std::vector<std::string> names;
    // The whole listing first: events run between files below, and what they
    // do to the folder must not disturb the enumeration.
    while (dirent* e = readdir(dir))
        names.emplace_back(e->d_name);

    for (const std::string& name : names) {
        // Hidden files (and "." and "..") are not recordings.
        if (name.empty() || name[0] == '.') continue;
        if (!IsRecordingExtension(name)) continue;
        struct stat st;
        if (fstatat(dfd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
        const std::string fullPath = folder + "/" + name;
        if (S_ISLNK(st.st_mode)) {
            // A link is listed only when it leads to a file inside the folder,
            // and never deleted.
            const std::string target = RealPath(fullPath);
            if (realFolder.empty() ||
                target.compare(0, realFolder.size() + 1, realFolder + "/") != 0)
                continue;
            if (stat(target.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
        } else if (!S_ISREG(st.st_mode)) {
            continue;
        } else if (st.st_size < kEmptyRecordingBytes && !IsBeingRecorded(fullPath)) {
            // Removes the name in this folder itself; a name swapped for a
            // link meanwhile loses only the link.
            if (unlinkat(dfd, name.c_str(), 0) == 0) continue;
        }
        RecordingEntry r;
        r.FullPath = fullPath;
        r.FileName = name;
        r.DurationText = MeasureDuration(fullPath);
        std::tm local{};
        time_t t = st.st_mtim.tv_sec;
        localtime_r(&t, &local);
        r.ModifiedStamp = PackDosDateTime(local);
        r.DateTimeText = DateTimeText(local);
        found.push_back(std::move(r));
        platform::ProcessEvents();
    }
    closedir(dir);
    return found;
}

bool scanning = false;
bool rescanAsked = false;

} // namespace

bool IsRecordingExtension(const std::string& fileName) {
    const size_t dot = fileName.rfind('.');
    if (dot == std::string::npos) return false;
    std::string ext = fileName.substr(dot);
    for (char& c : ext)
        c = Upper(c);
    return ext == ".WAV" || ext == ".MP3" || ext == ".WMA" || ext == ".OGG" || ext == ".FLAC";
}

int32_t PackDosDateTime(int year, int month, int day, int hour, int minute, int second) {
    const uint32_t date = static_cast<uint32_t>((year - 1980) * 512 + month * 32 + day);
    const uint32_t time = static_cast<uint32_t>(hour * 2048 + minute * 32 + second / 2);
    return static_cast<int32_t>((date << 16) | (time & 0xFFFF));
}

int32_t PackDosDateTime(const std::tm& t) {
    return PackDosDateTime(t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min,
                           t.tm_sec);
}

std::string DateTimeText(const std::tm& t) {
    std::string year = std::to_string(t.tm_year + 1900).substr(0, 4);
    return TwoDigits(t.tm_mday) + "/" + TwoDigits(t.tm_mon + 1) + "/" + year + "   " +
           TwoDigits(t.tm_hour) + ":" + TwoDigits(t.tm_min) + ":" + TwoDigits(t.tm_sec);
}

std::string DurationText(double s) {
    // A length that could not be measured shows as nothing played.
    if (!std::isfinite(s) || s < 0) s = 0;
    double h = std::trunc(s / 3600);
    double m = std::trunc((s - 3600 * h) / 60);
    double sec = core::RoundEven(s - 3600 * h - 60 * m);
    if (sec >= 60) {
        sec = 0;
        m += 1;
    }
    if (m >= 60) {
        m = 0;
        h += 1;
    }
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.0f", h);
    return std::string(buf).substr(0, 2) + ":" + TwoDigits(static_cast<int>(m)) + ":" +
           TwoDigits(static_cast<int>(sec));
}

std::string MeasureDuration(const std::string& path) {
    audiolib::HSTREAM h = audiolib::StreamCreateFile(path, 0, 0, 0);
    if (!h) return DurationText(0);
    // The full 64-bit length: recordings beyond 4 GiB of PCM are measured right.
    uint64_t bytes = audiolib::ChannelGetLength(h, audiolib::POS_BYTE);
    if (bytes == static_cast<uint64_t>(-1)) bytes = 0;
    double s = audiolib::ChannelBytes2Seconds(h, bytes);
    audiolib::StreamFree(h);
    return DurationText(s);
}

void FindFiles() {
    if (scanning) {
        rescanAsked = true;
        return;
    }
    scanning = true;
    const int64_t startMs = platform::TickMs();
    std::vector<RecordingEntry> found;
    // A few passes at most, so that an event that asks again every time
    // cannot keep the scan going forever.
    for (int pass = 0; pass < 3; ++pass) {
        rescanAsked = false;
        found = ScanFolder(core::Settings.FolderName);
        if (!rescanAsked) break;
    }
    scanning = false;
    platform::DebugPrint("scanned %zu recordings in %lld ms", found.size(),
                         static_cast<long long>(platform::TickMs() - startMs));

    RecordingListState& L = RecordingList;
    L.Count = static_cast<int32_t>(found.size());
    L.Entries.assign(1, RecordingEntry{});
    L.Entries.insert(L.Entries.end(), found.begin(), found.end());
    L.RowPaths.assign(static_cast<size_t>(L.Count) + 1, std::string());
    GridTable& g = L.Grid;
    g.SelectedRow = -1;
    g.RowCount = L.Count > 0 ? L.Count + 1 : 2;
    auto header = g.Cells.empty() ? std::array<std::string, 3>{} : g.Cells[0];
    g.Cells.assign(static_cast<size_t>(g.RowCount), std::array<std::string, 3>{});
    g.Cells[0] = header;
}

void ShowFiles() {
    RecordingListState& L = RecordingList;
    const int count = L.Count;
    // The list and the grid are the scan's; guard against a caller that
    // changed Count alone.
    if (count <= 0 || static_cast<size_t>(count) + 1 > L.Entries.size()) return;
    int sort = core::Settings.Sort;
    if (sort < 1 || sort > 6) sort = 1;
    const bool descending = sort % 2 == 0;
    if (L.RowPaths.size() < static_cast<size_t>(count) + 1) L.RowPaths.resize(count + 1);
    GridTable& g = L.Grid;
    if (g.RowCount < count + 1) g.RowCount = count + 1;
    if (g.Cells.size() < static_cast<size_t>(g.RowCount)) g.Cells.resize(g.RowCount);

    for (int i = 1; i <= count; ++i)
        L.Entries[i].Placed = false;
    for (int k = 1; k <= count; ++k) {
        int best = 0;
        for (int i = 1; i <= count; ++i) {
            if (L.Entries[i].Placed) continue;
            // Strictly greater only: among equal keys the earliest scanned wins.
            if (best == 0 || CompareKey(L.Entries[i], L.Entries[best], sort) > 0) best = i;
        }
        RecordingEntry& e = L.Entries[best];
        e.Placed = true;
        const int row = descending ? k : count + 1 - k;
        L.RowPaths[row] = e.FullPath;
        g.Cells[row] = {"        " + e.FileName, "    " + e.DurationText, " " + e.DateTimeText};
        if (e.FullPath == core::Session.SelectedFile) g.SelectedRow = row;
    }
}

} // namespace library
