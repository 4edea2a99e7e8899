#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "capture/capture.h"
#include "core/settings.h"
#include "output/output.h"
#include "output/wav_file.h"
#include "platform/clock.h"
#include "platform/process.h"

namespace output {

namespace {
void Put(WavHeaderBytes& h, size_t at, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i)
        h[at + i] = static_cast<uint8_t>((v >> (8 * i)) & 0xFF);
}
void PutText(WavHeaderBytes& h, size_t at, const char* text) {
    memcpy(h.data() + at, text, 4);
}
} // namespace

WavHeaderBytes BuildWavHeader(uint32_t wavDataLength) {
    const auto& s = core::Settings;
    WavHeaderBytes h{};
    PutText(h, 0, "RIFF");
    Put(h, 4, wavDataLength + 36, 4);
    PutText(h, 8, "WAVE");
    PutText(h, 12, "fmt ");
    Put(h, 16, 16, 4);
    Put(h, 20, 1, 2);
    // The two-byte fields take only the low byte of their value.
    Put(h, 22, static_cast<uint32_t>(s.Channels) & 0xFF, 2);
    Put(h, 24, s.SamplePerSecond, 4);
    Put(h, 28, static_cast<uint32_t>(capture::Params.OutByteRate), 4);
    Put(h, 32, capture::Params.OutBlockAlign & 0xFF, 2);
    Put(h, 34, s.BitPerSample & 0xFF, 2);
    PutText(h, 36, "data");
    Put(h, 40, wavDataLength, 4);
    return h;
}

namespace wav {

namespace {
bool PWriteAll(int fd, const void* data, size_t size, off_t at) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t w = pwrite(fd, p, size, at);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return false;
        p += w;
        size -= static_cast<size_t>(w);
        at += w;
    }
    return true;
}

uint32_t Clamp32(uint64_t v) {
    return v > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<uint32_t>(v);
}
} // namespace

bool IsOpen() {
    return Outputs.WavFile >= 0;
}

bool Open(const std::string& path, std::string* error) {
    platform::IgnoreWriteSignals(); // a full disk or a size limit must fail a write, not kill us
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        if (error) *error = strerror(errno);
        return false;
    }
    // Tells the repair of interrupted recordings that this one is still going.
    flock(fd, LOCK_EX | LOCK_NB);
    const WavHeaderBytes h = BuildWavHeader(0);
    if (!PWriteAll(fd, h.data(), h.size(), 0) || lseek(fd, 44, SEEK_SET) != 44) {
        if (error) *error = strerror(errno ? errno : EIO);
        close(fd);
        unlink(path.c_str());
        return false;
    }
    Outputs.WavFile = fd;
    Outputs.WavPath = path;
    Outputs.WavBytes = 0;
    Outputs.LastHeaderMs = platform::TickMs();
    return true;
}

bool Append(const void* data, size_t size, std::string* error) {
    if (!IsOpen()) return false;
    // Writes to a file whose folder was removed would succeed into nothing.
    struct stat st;
    if (fstat(Outputs.WavFile, &st) == 0 && st.st_nlink == 0) {
        if (error) *error = "the file was removed";
        return false;
    }
    const off_t at = static_cast<off_t>(44 + Outputs.WavBytes);
    if (!PWriteAll(Outputs.WavFile, data, size, at)) {
        if (error) *error = strerror(errno ? errno : ENOSPC);
        // A block half written would shift every frame after it; drop it.
        if (ftruncate(Outputs.WavFile, at) != 0) {
        }
        return false;
    }
    Outputs.WavBytes += size;
    return true;
}

void RefreshSizes() {
    if (!IsOpen()) return;
    const int64_t now = platform::TickMs();
    if (now - Outputs.LastHeaderMs < Limits.HeaderRefreshMs) return;
    Outputs.LastHeaderMs = now;
    const WavHeaderBytes h = BuildWavHeader(Clamp32(Outputs.WavBytes));
    // Only the two size fields change; a failure here is caught by the next append.
    PWriteAll(Outputs.WavFile, h.data() + 4, 4, 4);
    PWriteAll(Outputs.WavFile, h.data() + 40, 4, 40);
}

uint64_t Finish(bool* deleted) {
    if (deleted) *deleted = false;
    if (!IsOpen()) return 0;
    const uint64_t data = Outputs.WavBytes;
    const WavHeaderBytes h = BuildWavHeader(Clamp32(data));
    PWriteAll(Outputs.WavFile, h.data(), h.size(), 0);
    close(Outputs.WavFile);
    Outputs.WavFile = -1;
    if (data <= 100) {
        unlink(Outputs.WavPath.c_str());
        if (deleted) *deleted = true;
    }
    Outputs.WavBytes = 0;
    return data;
}

} // namespace wav
} // namespace output
