#include <errno.h>
#include <fcntl.h>
#include <mntent.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "audiolib/encode.h"
#include "audiolib/stream.h"
#include "capture/capture.h"
#include "core/settings.h"
#include "core/state.h"
#include "output/output.h"
#include "output/wav_file.h"
#include "platform/clock.h"
#include "platform/debug.h"
#include "platform/prompt.h"

namespace output {

OutputState Outputs;
OutputLimits Limits;

namespace {

void Tell(const std::string& text) {
    platform::CurrentPrompt().Show(platform::MsgKind::Error, text);
}

std::string Quoted(const std::string& path) {
    return "\"" + path + "\"";
}

bool Exists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

std::string FolderOf(const std::string& path) {
    auto slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Wall-clock seconds, for the debug report that fault runs compare with.
double RealSeconds() {
    struct timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    return static_cast<double>(ts.tv_sec) + ts.tv_nsec / 1e9;
}

void FinishWav() {
    bool deleted = false;
    wav::Finish(&deleted);
    if (deleted && core::Session.SelectedFile == Outputs.WavPath)
        core::Session.SelectedFile.clear();
}

// Some encoders (oggenc) report success even when they could not create their
// file, so whether it can be created is found out before they start. The probe
// leaves nothing behind: flac refuses to write over an existing file.
bool CanCreate(const std::string& path, std::string* why) {
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd >= 0) {
        close(fd);
        unlink(path.c_str());
        return true;
    }
    if (errno == EEXIST) return true; // the encoder decides what to do with it
    *why = strerror(errno);
    return false;
}

void StopWatch() {
    if (Outputs.EncodedWatch >= 0) close(Outputs.EncodedWatch);
    Outputs.EncodedWatch = -1;
}

// True while the encoded file (once it has appeared) still has a name and its
// folder is still there; writing on into a removed file would lose everything.
bool EncodedFileThere() {
    if (Outputs.EncodedWatch < 0) {
        Outputs.EncodedWatch = open(Outputs.EncodedPath.c_str(), O_RDONLY | O_CLOEXEC);
        if (Outputs.EncodedWatch < 0) return Exists(FolderOf(Outputs.EncodedPath));
    }
    struct stat st;
    return fstat(Outputs.EncodedWatch, &st) == 0 && st.st_nlink > 0;
}

// Stops the encoders; with `report`, an encoder that did not end cleanly is
// told to the user (its file may be cut short).
void FinishEncoders(bool report) {
    const std::string path = Outputs.EncodedPath;
    if (Outputs.SourceStream) {
        const bool running = Outputs.Encoder != 0;
        if (!audiolib::Encode_Stop(Outputs.SourceStream) && running && report)
            Tell("The " + Outputs.EncoderName + " encoder ended with an error while finishing " +
                 Quoted(path) + "; the file may be incomplete.");
        Outputs.Encoder = 0;
    }
    if (Outputs.WmaEncoder) {
        if (!audiolib::WMA_EncodeClose(Outputs.WmaEncoder) && report)
            Tell("Could not finish the WMA recording " + Quoted(path) +
                 "; the file may be incomplete.");
        Outputs.WmaEncoder = 0;
    }
    if (Outputs.SourceStream) {
        audiolib::DummyStreamStop(Outputs.SourceStream);
        audiolib::StreamFreeDummy(Outputs.SourceStream);
        Outputs.SourceStream = 0;
    }
    StopWatch();
}

bool OpenWav(const std::string& path) {
    std::string why;
    if (wav::Open(path, &why)) return true;
    Tell("Could not create the file " + Quoted(path) + ": " + why + ".");
    return false;
}

// Finishes the current WAV before its size fields would overflow and goes on in
// the next free file, as a new recording would start.
bool ContinueInNextWav() {
    const std::string done = Outputs.WavPath;
    FinishWav();
    if (!NextRecordingName()) {
        Tell("The recording reached the largest size a WAV file can hold and no further "
             "file name is free. The recording was stopped; " +
             Quoted(done) + " holds it.");
        return false;
    }
    if (!OpenWav(core::Session.SelectedFile)) return false;
    core::SetWrittenBlocks(1); // this block is the new file's first
    return true;
}

bool WriteWav(const uint8_t* data, size_t size) {
    if (Outputs.WavBytes + size > Limits.WavMaxDataBytes && Outputs.WavBytes > 0)
        if (!ContinueInNextWav()) return false;
    std::string why;
    if (!wav::Append(data, size, &why)) {
        const std::string path = Outputs.WavPath;
        FinishWav();
        Tell("Could not write to " + Quoted(path) + ": " + why +
             ". The recording was stopped; the file keeps what was recorded up to then.");
        return false;
    }
    wav::RefreshSizes();
    return true;
}

// Whether a file decodes to any sound at all. Encoders write in lumps, so one
// that dies early may have left no more than its headers.
bool HoldsAudio(const std::string& path) {
    const audiolib::HSTREAM h = audiolib::StreamCreateFile(path, 0, 0, audiolib::STREAM_DECODE);
    if (!h) return false;
    char buf[10000];
    bool any = false;
    for (int i = 0; i < 8 && !any; ++i) {
        const int32_t got = audiolib::ChannelGetData(h, buf, sizeof buf);
        if (got < 0) break;
        any = got > 0;
    }
    audiolib::StreamFree(h);
    return any;
}

std::optional<uint64_t> FreeBytesOf(const std::string& path);

// An encoder that has gone: stop what is left of it and say what remains.
bool EncoderLost(const std::string& what) {
    const std::string path = Outputs.EncodedPath;
    FinishEncoders(false);
    std::string text = what + " The recording was stopped; ";
    // Something else filled the disk faster than the guard could act: that
    // is the cause to name, not the encoder.
    if (const auto free = FreeBytesOf(FolderOf(path)); free && *free < Limits.DiskMarginBytes)
        text = "The disk " + Quoted(DiskOf(FolderOf(path))) + " is full. " + text;
    if (!Exists(path))
        text += "no file was left.";
    else if (HoldsAudio(path))
        text += Quoted(path) + " keeps what was encoded up to then.";
    else
        text += "nothing had been encoded yet, so " + Quoted(path) + " holds no sound.";
    Tell(text);
    return false;
}

std::optional<uint64_t> FreeBytesOf(const std::string& path) {
    if (Limits.FreeBytes) return Limits.FreeBytes(path);
    struct statvfs v;
    if (statvfs(path.c_str(), &v) != 0) return std::nullopt;
    return static_cast<uint64_t>(v.f_bavail) * v.f_frsize;
}

std::string Megabytes(uint64_t bytes) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.1f MB", static_cast<double>(bytes) / 1e6);
    return buf;
}

std::string DiskFullText(const std::string& folder, uint64_t free) {
    return "The disk " + Quoted(DiskOf(folder)) + " is full: " + Megabytes(free) +
           " are left, too little to record on safely.";
}

// The file the current recording writes to.
std::string CurrentPath() {
    return Outputs.WavFile >= 0 ? Outputs.WavPath : Outputs.EncodedPath;
}

bool OutputOpen() {
    return Outputs.WavFile >= 0 || Outputs.Encoder || Outputs.WmaEncoder;
}

} // namespace

uint64_t WorstDataRate() {
    const auto& s = core::Settings;
    const uint64_t channels = s.Channels == 1 ? 1 : 2;
    const uint64_t pcm =
        static_cast<uint64_t>(s.SamplePerSecond) * channels * (s.BitPerSample == 8 ? 1 : 2);
    auto kbit = [](int64_t k) { return static_cast<uint64_t>(k > 0 ? k : 0) * 1000 / 8; };
    if (s.IsWav) {
        const int rate = capture::Params.OutByteRate;
        return capture::Ring.IsCaptureOpen && rate > 0 ? static_cast<uint64_t>(rate) : pcm;
    }
    if (s.IsFLAC) return pcm + pcm / 50; // never much above the PCM it codes
    if (s.IsMP3) return kbit(s.IsVBR ? std::max(s.MaxBitRate, s.MinBitRate) : s.MP3BitRate);
    if (s.IsWMA) return kbit(s.WMARate);
    // oggenc's rates are averages, and quality 10 reaches about 500 kbit/s.
    if (s.IsOGG)
        return s.IsOggQuality ? kbit(500)
                              : std::max(kbit(2 * static_cast<int64_t>(s.OggRate)), kbit(128));
    return pcm;
}

uint64_t DiskReserveBytes() {
    return Limits.DiskMarginBytes +
           static_cast<uint64_t>(Limits.DiskMarginSeconds * static_cast<double>(WorstDataRate()));
}

std::string DiskOf(const std::string& path) {
    struct stat target;
    if (stat(path.c_str(), &target) != 0) return path;
    std::string best;
    if (FILE* m = setmntent("/proc/self/mounts", "r")) {
        while (mntent* e = getmntent(m)) {
            struct stat st;
            const std::string dir = e->mnt_dir;
            // The deepest mount point on the same device is the disk's own.
            if (stat(dir.c_str(), &st) == 0 && st.st_dev == target.st_dev &&
                dir.size() >= best.size() && path.compare(0, dir.size(), dir) == 0)
                best = dir;
        }
        endmntent(m);
    }
    return best.empty() ? path : best;
}

bool GuardDiskSpace() {
    if (!OutputOpen() || Outputs.Failed) return true;
    const int64_t now = platform::TickMs();
    if (now - Outputs.LastDiskCheckMs < Limits.DiskCheckMs) return true;
    Outputs.LastDiskCheckMs = now;
    const std::string path = CurrentPath();
    const std::string folder = FolderOf(path);
    const auto free = FreeBytesOf(folder);
    if (!free || *free >= DiskReserveBytes()) return true;
    // Finished now, the file is complete; a few seconds on, the disk would be
    // full and an encoder could lose it all (flac removes its output then).
    Outputs.Failed = true;
    core::Session.IsRecording = false;
    FinishWav();
    FinishEncoders(true);
    const bool kept = Exists(path);
    Tell(DiskFullText(folder, *free) + " The recording was stopped" +
         (kept ? " and " + Quoted(path) + " is complete." : ".") +
         " Free some space on that disk to record again.");
    return false;
}

bool OpenOutputs() {
    if (!capture::Ring.IsCaptureOpen) return true;
    auto& session = core::Session;
    const auto& s = core::Settings;
    const std::string path = session.SelectedFile;
    core::SetWrittenBlocks(0);
    Outputs.Failed = false;
    bool ok = true;
    auto failed = [&](const std::string& text) {
        session.IsRecording = false;
        Tell(text);
        ok = false;
    };

    // SelectedFile still names an earlier recording; opening it would replace it.
    if (Outputs.NamesExhausted) {
        failed("Every file name from record" + RecordNumberText(1) + " to record" +
               RecordNumberText(Limits.MaxRecordNumber) + " is taken in " + Quoted(s.FolderName) +
               ". Move or delete recordings there to record again.");
        Outputs.Failed = true;
        return false;
    }

    // A recording that could not run for even the margin is not started.
    if (const auto free = FreeBytesOf(FolderOf(path)); free && *free < DiskReserveBytes()) {
        failed(DiskFullText(FolderOf(path), *free) + " Free some space on that disk to record.");
        Outputs.Failed = true;
        return false;
    }
    Outputs.LastDiskCheckMs = platform::TickMs();
    platform::DebugPrint("recording %s from %.3f s; disk reserve %llu bytes at %llu bytes/s",
                         path.c_str(), RealSeconds(),
                         static_cast<unsigned long long>(DiskReserveBytes()),
                         static_cast<unsigned long long>(WorstDataRate()));

    if (s.IsWav && !OpenWav(path)) {
        session.IsRecording = false;
        ok = false;
    }

    const uint32_t rate = s.IsFLAC ? s.SamplePerSecond : 44100;
    Outputs.SourceStream =
        audiolib::StreamCreate(rate, static_cast<uint32_t>(s.Channels), 0, nullptr, nullptr);
    Outputs.EncodedPath = path;
    auto start = [&](const std::string& commandLine, const char* name, const char* message) {
        std::string why;
        if (!CanCreate(path, &why)) {
            failed("Could not create the file " + Quoted(path) + ": " + why + ".");
            return;
        }
        Outputs.EncoderName = name;
        Outputs.Encoder =
            audiolib::Encode_Start(Outputs.SourceStream, commandLine, audiolib::ENCODE_PAUSE);
        if (!Outputs.Encoder) failed(message);
    };
    if (s.IsMP3) {
        Outputs.LameCommandLine = BuildLameCommandLine(path);
        start(Outputs.LameCommandLine, "MP3", "Could not start MP3 recording");
    }
    if (s.IsWMA) {
        Outputs.EncoderName = "WMA";
        Outputs.WmaEncoder = audiolib::WMA_EncodeOpenFile(
            static_cast<uint32_t>(capture::Params.CaptureRate), static_cast<uint32_t>(s.Channels),
            0, static_cast<uint32_t>(s.WMARate) * 1000, path);
        if (!Outputs.WmaEncoder) {
            std::string why;
            failed(CanCreate(path, &why)
                       ? std::string("Could not start WMA recording")
                       : "Could not create the file " + Quoted(path) + ": " + why + ".");
        }
    }
    if (s.IsOGG) {
        Outputs.OggencCommandLine = BuildOggencCommandLine(path);
        start(Outputs.OggencCommandLine, "OGG", "Could not start OGG recording");
    }
    if (s.IsFLAC) {
        Outputs.FlacCommandLine = BuildFlacCommandLine(path);
        start(Outputs.FlacCommandLine, "FLAC", "Could not start FLAC recording!");
    }
    audiolib::DummyStreamPlay(Outputs.SourceStream, false);

    // The recording is over before it began: nothing may stay open.
    if (!ok) {
        FinishWav();
        FinishEncoders(false);
        Outputs.Failed = true;
    }
    return ok;
}

void CloseOutputs() {
    // Also with the capture ring already closed (a device that disappeared):
    // an open file is finished in any case, or its header would stay provisional.
    core::Session.IsRecording = false;
    FinishWav();
    FinishEncoders(true);
}

bool WriteOutputs() {
    if (Outputs.Failed) return false;
    const auto& s = core::Settings;
    const uint8_t* data = capture::Block.OutBlock;
    const int n = capture::Params.OutBlockBytes;
    if (n <= 0 || n > static_cast<int>(sizeof capture::Block.OutBlock)) return true;
    const size_t size = static_cast<size_t>(n);

    if (s.IsWav && wav::IsOpen() && !WriteWav(data, size)) {
        Outputs.Failed = true;
        return false;
    }

    const bool encoding =
        ((s.IsMP3 || s.IsOGG || s.IsFLAC) && Outputs.Encoder) || (s.IsWMA && Outputs.WmaEncoder);
    if (encoding && !EncodedFileThere()) {
        Outputs.Failed = true;
        return EncoderLost("The file " + Quoted(Outputs.EncodedPath) +
                           " or its folder was removed while recording.");
    }
    // One write per block, even if more than one encoder flag is on: each
    // encoder on the stream gets every block once.
    if ((s.IsMP3 || s.IsOGG || s.IsFLAC) && Outputs.Encoder &&
        !audiolib::Encode_Write(Outputs.SourceStream, data, static_cast<uint32_t>(n))) {
        Outputs.Failed = true;
        return EncoderLost("The " + Outputs.EncoderName + " encoder stopped unexpectedly.");
    }
    if (s.IsWMA && Outputs.WmaEncoder &&
        !audiolib::WMA_EncodeWrite(Outputs.WmaEncoder, data, static_cast<uint32_t>(n))) {
        Outputs.Failed = true;
        return EncoderLost("Could not write the WMA recording " + Quoted(Outputs.EncodedPath) +
                           ".");
    }
    return true;
}

} // namespace output
