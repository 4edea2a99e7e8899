#include "library/scan.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstring>

#include "audiolib/stream.h"
#include "core/rounding.h"
#include "core/settings.h"
#include "core/state.h"
#include "output/output.h"
#include "platform/clock.h"
#include "platform/debug.h"
#include "platform/prompt.h"

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

bool IsWavName(const std::string& name) {
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos || name.size() - dot != 4) return false;
    return Upper(name[dot + 1]) == 'W' && Upper(name[dot + 2]) == 'A' &&
           Upper(name[dot + 3]) == 'V';
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

uint32_t LE32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

void PutLE32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}

bool PWrite4(int fd, const uint8_t* p, off_t at) {
    return pwrite(fd, p, 4, at) == 4;
}

// A recording cut off by a crash or a power loss: its header still counts
// only the data of the last size refresh, while more whole frames follow on
// disk. Its data and RIFF sizes are brought up to what the file holds, so
// everything that reached the disk plays. Only files whose header says the
// data chunk ends the file are touched (a WAV with chunks after its data is
// left alone), never a link, and never a file a recorder holds open.
bool RepairInterruptedWav(int dfd, const std::string& name) {
    const int fd = openat(dfd, name.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    bool repaired = false;
    struct stat st;
    // The recorder keeps a lock on the WAV it writes.
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size >= 44 &&
        flock(fd, LOCK_EX | LOCK_NB) == 0) {
        uint8_t h[4096];
        const ssize_t got = pread(fd, h, sizeof h, 0);
        if (got >= 44 && memcmp(h, "RIFF", 4) == 0 && memcmp(h + 8, "WAVE", 4) == 0) {
            uint32_t blockAlign = 0;
            bool pcm = false;
            off_t at = 12;
            while (at + 8 <= got) {
                const uint8_t* c = h + at;
                const uint32_t size = LE32(c + 4);
                if (memcmp(c, "fmt ", 4) == 0 && size >= 16 && at + 8 + 16 <= got) {
                    pcm = (c[8] | c[9] << 8) == 1;
                    blockAlign = c[20] | c[21] << 8;
                } else if (memcmp(c, "data", 4) == 0) {
                    const uint64_t start = static_cast<uint64_t>(at) + 8;
                    const uint64_t onDisk = static_cast<uint64_t>(st.st_size) - start;
                    const uint32_t counted = size;
                    const bool endsFile = LE32(h + 4) == start - 8 + counted;
                    uint64_t whole = onDisk - onDisk % (blockAlign ? blockAlign : 1);
                    // The RIFF size must still fit its 32 bits.
                    const uint64_t most = 0xFFFFFFFFull - (start - 8);
                    if (whole > most) whole = most - most % (blockAlign ? blockAlign : 1);
                    if (pcm && blockAlign && endsFile && whole > counted) {
                        uint8_t v[4];
                        PutLE32(v, static_cast<uint32_t>(whole));
                        uint8_t r[4];
                        PutLE32(r, static_cast<uint32_t>(start - 8 + whole));
                        repaired = PWrite4(fd, v, at + 4) && PWrite4(fd, r, 4);
                        if (repaired) fdatasync(fd);
                    }
                    break;
                }
                at += 8 + static_cast<off_t>(size) + (size & 1);
            }
        }
        flock(fd, LOCK_UN);
    }
    close(fd);
    return repaired;
}

// The folder whose interrupted recordings were last looked for: once when the
// program starts and once each time the user picks another folder.
std::string gRepairedFolder;
bool gRepairDone = false;

std::vector<RecordingEntry> ScanFolder(const std::string& folder,
                                       std::vector<std::string>* repaired) {
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
        } else if (repaired && !IsBeingRecorded(fullPath) && IsWavName(name) &&
                   RepairInterruptedWav(dfd, name)) {
            repaired->push_back(name);
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
    const std::string folder = core::Settings.FolderName;
    const bool repair = !gRepairDone || folder != gRepairedFolder;
    std::vector<std::string> repaired;
    for (int pass = 0; pass < 3; ++pass) {
        rescanAsked = false;
        found = ScanFolder(folder, repair ? &repaired : nullptr);
        if (!rescanAsked) break;
    }
    gRepairDone = true;
    gRepairedFolder = folder;
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

    if (!repaired.empty()) {
        std::string names;
        for (const std::string& n : repaired)
            names += (names.empty() ? "\"" : ", \"") + n + "\"";
        platform::CurrentPrompt().Show(
            platform::MsgKind::Info,
            repaired.size() == 1
                ? "The recording " + names +
                      " was interrupted before it was finished. It has been repaired so that "
                      "all of it plays."
                : "These recordings were interrupted before they were finished: " + names +
                      ". They have been repaired so that all of them play.");
    }
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
