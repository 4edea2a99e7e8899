#include <sys/stat.h>

#include "core/settings.h"
#include "core/state.h"
#include "output/output.h"

namespace output {

namespace {
const char* const kExtensions[] = {".wav", ".mp3", ".wma", ".ogg", ".flac"};

bool Exists(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0; // anything of that name, even a dangling link
}
} // namespace

std::string RecordNumberText(int n) {
    std::string s = std::to_string(n);
    if (s.size() < 3) s.insert(0, 3 - s.size(), '0');
    return s;
}

bool NextRecordingName() {
    const auto& s = core::Settings;
    const std::string stem = s.FolderName + "/record";
    for (int n = 1; n <= Limits.MaxRecordNumber; ++n) {
        const std::string base = stem + RecordNumberText(n);
        bool taken = false;
        for (const char* ext : kExtensions)
            if (Exists(base + ext)) {
                taken = true;
                break;
            }
        if (taken) continue;
        const bool on[] = {s.IsWav, s.IsMP3, s.IsWMA, s.IsOGG, s.IsFLAC};
        for (int i = 0; i < 5; ++i)
            if (on[i]) core::Session.SelectedFile = base + kExtensions[i];
        Outputs.NamesExhausted = false;
        return true;
    }
    Outputs.NamesExhausted = true;
    return false;
}

} // namespace output
