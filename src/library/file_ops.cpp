#include "library/file_ops.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QFileDialog>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <vector>

#include "core/settings.h"
#include "core/state.h"
#include "library/convert.h"
#include "platform/clock.h"
#include "platform/prompt.h"

namespace fs = std::filesystem;

namespace library {

FileOpsState FileOps;
std::function<bool(size_t)> CopyFaultForTests;

namespace {

FolderPicker gPicker;

std::optional<std::string> SystemFolderPicker(const std::string& title, const std::string& start) {
    QString dir = QFileDialog::getExistingDirectory(nullptr, QString::fromStdString(title),
                                                    QString::fromStdString(start));
    if (dir.isEmpty()) return std::nullopt;
    return dir.toStdString();
}

bool Exists(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

bool IsRegularFile(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// Rename that fails with EEXIST instead of replacing. Where the file system
// cannot do that atomically, a hard link (which also never replaces) stands
// in; the last resort is a check just before the rename.
int RenameNoReplace(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS) return -1;
    if (::link(from.c_str(), to.c_str()) == 0) {
        ::unlink(from.c_str());
        return 0;
    }
    if (errno == EEXIST || errno == EXDEV) return -1;
    if (Exists(to)) {
        errno = EEXIST;
        return -1;
    }
    return ::rename(from.c_str(), to.c_str());
}

std::string MoveErrorText(int err) {
    if (err == EEXIST) return "The specified file already exists";
    return std::strerror(err);
}

// Copies to a new file (never an existing one), flushed to the disk before it
// counts as done. On any failure the partial copy is removed.
bool CopyNewFile(const std::string& from, const std::string& to, int* err) {
    int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) {
        *err = errno;
        return false;
    }
    struct stat st;
    if (::fstat(in, &st) != 0) {
        *err = errno;
        ::close(in);
        return false;
    }
    int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, st.st_mode & 0777);
    if (out < 0) {
        *err = errno;
        ::close(in);
        return false;
    }
    std::vector<char> buf(1 << 16);
    size_t total = 0;
    bool ok = true;
    while (ok) {
        ssize_t n = ::read(in, buf.data(), buf.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            *err = errno;
            ok = false;
            break;
        }
        if (n == 0) break;
        for (ssize_t off = 0; off < n && ok;) {
            ssize_t w = ::write(out, buf.data() + off, static_cast<size_t>(n - off));
            if (w < 0) {
                if (errno == EINTR) continue;
                *err = errno;
                ok = false;
            } else {
                off += w;
                total += static_cast<size_t>(w);
            }
        }
        if (ok && CopyFaultForTests && !CopyFaultForTests(total)) {
            *err = EIO;
            ok = false;
        }
    }
    if (ok && static_cast<off_t>(total) != st.st_size) {
        *err = EIO; // the source changed under us
        ok = false;
    }
    // A move keeps the recording's date, which the list shows.
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    if (ok) ::futimens(out, times);
    if (ok && ::fsync(out) != 0) {
        *err = errno;
        ok = false;
    }
    if (::close(out) != 0 && ok) {
        *err = errno;
        ok = false;
    }
    ::close(in);
    if (!ok) {
        ::unlink(to.c_str());
        return false;
    }
    // The new name must be on the disk too before the source goes.
    const std::string folder = fs::path(to).parent_path().string();
    int dir = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

void RescanAndCaption(ListAccess& list) {
    list.Rescan();
    list.ShowFileCaption();
}

} // namespace

void SetFolderPicker(FolderPicker picker) {
    gPicker = std::move(picker);
}

std::string FileNameOf(const std::string& path) {
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string UpperExtension(const std::string& path) {
    std::string name = FileNameOf(path);
    size_t dot = name.find_last_of('.');
    if (dot == std::string::npos) return "";
    std::string ext = name.substr(dot);
    for (char& c : ext)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return ext;
}

std::string MenuItemText(int drawIndex) {
    const auto& s = core::Settings;
    switch (drawIndex) {
    case 1:
        return "Play";
    case 2:
        return "Stop";
    case 3:
        return "Rename File...";
    case 4:
        if (s.IsVBR)
            return "Convert to MP3 (" + std::to_string(s.MinBitRate) + "-" +
                   std::to_string(s.MaxBitRate) + " kbps)";
        return "Convert to MP3 (" + std::to_string(s.MP3BitRate) + " kbps)";
    case 5:
        return "Move File...";
    case 6:
        return "Delete File...";
    default:
        return "";
    }
}

MenuState MenuStateFor(int bitsPerSample, int sampleRate) {
    MenuState m;
    const auto& sess = core::Session;
    if (sess.IsRecording || sess.SelectedFile.empty()) return m;
    m.commandsEnabled = true;
    m.convertShown = UpperExtension(sess.SelectedFile) == ".WAV" && bitsPerSample == 16 &&
                     (sampleRate == 48000 || sampleRate == 44100 || sampleRate == 32000);
    return m;
}

std::optional<std::string> BadNameReason(const std::string& name) {
    if (name.empty()) return "The file name must not be empty.";
    if (name == "." || name == "..") return "\"" + name + "\" cannot be used as a file name.";
    if (name.find('/') != std::string::npos) return "A file name cannot contain \"/\": " + name;
    if (name.find('\0') != std::string::npos) return "A file name cannot contain a null character.";
    return std::nullopt;
}

void RenameRecording(ListAccess& list) {
    auto& sess = core::Session;
    const std::string current = sess.SelectedFile;
    if (current.empty() || !IsRegularFile(current)) return;
    platform::ProcessEvents();

    const std::string name = FileNameOf(current);
    const size_t dot = name.find_last_of('.');
    const std::string ext = dot == std::string::npos ? "" : name.substr(dot);
    const std::string proposal = name.substr(0, name.size() - ext.size());

    auto& prompt = platform::CurrentPrompt();
    std::string answer = prompt.AskText("Rename File", "", proposal).value_or(proposal);
    if (answer == proposal) return;
    if (auto why = BadNameReason(answer)) {
        prompt.Show(platform::MsgKind::Warning, *why);
        return;
    }

    const std::string target = core::Settings.FolderName + "/" + answer + ext;
    std::error_code ec;
    if (Exists(target) && !fs::equivalent(current, target, ec)) {
        if (!prompt.AskYesNo(answer + " already exists.\nDo you want to replace it?")) return;
    }
    // rename() replaces the old file only once the new name is in place, so
    // a failure leaves both files as they were.
    if (::rename(current.c_str(), target.c_str()) != 0) {
        prompt.Show(platform::MsgKind::Error,
                    "Could not rename " + name + ":\n" + std::strerror(errno));
        return;
    }
    sess.SelectedFile = target;
    RescanAndCaption(list);
}

void FileDelete(ListAccess& list) {
    if (list.IsEmpty()) return;
    std::vector<std::string> rows = list.SelectedRowPaths();
    std::erase_if(rows, [](const std::string& p) { return p.empty(); });
    if (rows.empty()) return;

    std::string text;
    if (rows.size() == 1) {
        text = "Are you sure you want to delete the selected file " + FileNameOf(rows[0]) + "?";
    } else {
        text = "Are you sure you want to delete the " + std::to_string(rows.size()) +
               " selected files?\n\n";
        for (const auto& p : rows)
            text += FileNameOf(p) + "\n";
    }
    if (!platform::CurrentPrompt().AskYesNoCaptioned("Delete File(s)", text)) return;

    platform::ProcessEvents();
    for (const auto& p : rows)
        ::unlink(p.c_str()); // one that stays is listed again
    core::Session.SelectedFile.clear();
    platform::ProcessEvents();
    RescanAndCaption(list);
}

bool BrowseMoveFolder() {
    if (core::Session.IsRecording) return false;
    const auto& pick = gPicker ? gPicker : FolderPicker(SystemFolderPicker);
    auto folder = pick("Browse For Folder", core::Settings.FolderName);
    if (!folder || folder->empty()) return false;
    FileOps.MoveTarget = *folder;
    return true;
}

bool MoveOneFile(const std::string& source, const std::string& target, std::string* error) {
    std::error_code ec;
    fs::path from = fs::absolute(source, ec);
    if (ec) from = source;
    fs::path to = fs::absolute(target, ec);
    if (ec) to = target;
    if (RenameNoReplace(from, to) == 0) return true;
    int err = errno;
    if (err == EXDEV) {
        if (CopyNewFile(from, to, &err)) {
            if (::unlink(from.c_str()) == 0) return true;
            err = errno; // both copies exist now; nothing is lost
        }
    }
    if (error) *error = MoveErrorText(err);
    return false;
}

void MoveRecordings(ListAccess& list) {
    std::vector<std::string> rows = list.SelectedRowPaths();
    if (!BrowseMoveFolder()) return;
    for (const auto& p : rows) {
        if (p.empty()) continue;
        std::string error;
        if (!MoveOneFile(p, FileOps.MoveTarget + "/" + FileNameOf(p), &error)) {
            platform::CurrentPrompt().Show(platform::MsgKind::Error, error);
            return;
        }
    }
    core::Session.SelectedFile.clear();
    platform::ProcessEvents();
    RescanAndCaption(list);
}

std::string ConvertTargetFor(const std::string& wav) {
    std::string base = wav.substr(0, wav.size() - UpperExtension(wav).size());
    int highest = 0;
    for (int n = 1; n <= 50; ++n)
        if (Exists(base + "(" + std::to_string(n) + ").mp3")) highest = n;
    return base + "(" + std::to_string(highest + 1) + ").mp3";
}

void ConvertCurrentToMp3(ListAccess& list) {
    const std::string wav = core::Session.SelectedFile;
    if (UpperExtension(wav) != ".WAV") return;
    const std::string target = ConvertTargetFor(wav);
    FileOps.ConvertTarget = target;
    if (Exists(target)) {
        if (!platform::CurrentPrompt().AskYesNo(target +
                                                " already exists.\nDo you want to overwrite it?"))
            return;
    }
    ::unlink(target.c_str());
    list.SetGridEnabled(false);
    TFormConvert& form = FormConvert();
    if (QWidget* owner = list.MainWindow())
        form.move(owner->frameGeometry().center() - form.rect().center());
    form.show();
    platform::ProcessEvents();
    form.Wave2MP3();
    list.SetGridEnabled(true);
    platform::ProcessEvents();
    list.Rescan();
}

} // namespace library
