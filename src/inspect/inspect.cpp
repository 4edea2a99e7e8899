#include "inspect/inspect.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QByteArray>
#include <QProcess>
#include <QStringList>
#include <ctime>
#include <vector>

#include "audiolib/stream.h"
#include "core/rounding.h"
#include "core/state.h"
#include "platform/clock.h"
#include "platform/process.h"

namespace inspect {

MediaInfoState MediaInfo;

namespace {

// Bumped by every inspection, so one that waited for ogginfo can tell that a
// newer one ran meanwhile.
uint64_t generation = 0;

// Output beyond this is read and dropped: ogginfo prints a few lines.
constexpr qint64 kMaxToolOutput = 1 << 20;

std::string UpperExtension(const std::string& path) {
    const size_t slash = path.rfind('/');
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
    std::string ext = path.substr(dot);
    for (char& c : ext)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return ext;
}

// Reads up to `n` bytes from `offset`; fewer when the file is shorter.
std::vector<uint8_t> ReadAt(int fd, off_t offset, size_t n) {
    std::vector<uint8_t> buf(n);
    size_t got = 0;
    while (got < n) {
        ssize_t r = pread(fd, buf.data() + got, n - got, offset + static_cast<off_t>(got));
        if (r <= 0) break;
        got += static_cast<size_t>(r);
    }
    buf.resize(got);
    return buf;
}

int32_t PackedMTime(const struct stat& st) {
    std::tm t{};
    time_t secs = st.st_mtim.tv_sec;
    localtime_r(&secs, &t);
    const uint32_t date =
        static_cast<uint32_t>((t.tm_year + 1900 - 1980) * 512 + (t.tm_mon + 1) * 32 + t.tm_mday);
    const uint32_t time = static_cast<uint32_t>(t.tm_hour * 2048 + t.tm_min * 32 + t.tm_sec / 2);
    return static_cast<int32_t>((date << 16) | (time & 0xFFFF));
}

// Regular files only: a FIFO named like a recording must not block us.
int OpenRegular(const std::string& path, struct stat* st) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return -1;
    if (fstat(fd, st) != 0 || !S_ISREG(st->st_mode)) {
        close(fd);
        return -1;
    }
    return fd;
}

} // namespace

void ReadWavHeader(const std::string& path) {
    struct stat st;
    int fd = OpenRegular(path, &st);
    if (fd < 0) return;
    std::vector<uint8_t> head = ReadAt(fd, 0, 50);
    close(fd);
    int16_t bits = 0;
    if (WavHeaderBits(head.data(), head.size(), &bits)) MediaInfo.BitsPerSample = bits;
}

void ParseMp3Header(const std::string& path) {
    MediaInfo.SampleRate = 0;
    MediaInfo.VbrDetected = false;
    MediaInfo.TagBlock.fill(0);
    struct stat st;
    int fd = OpenRegular(path, &st);
    if (fd < 0) {
        MediaInfo.TagStamp = 0;
        return;
    }
    MediaInfo.TagStamp = PackedMTime(st);
    if (st.st_size < 1000) {
        close(fd);
        return;
    }
    std::vector<uint8_t> head = ReadAt(fd, 0, 3105);
    std::vector<uint8_t> tag = ReadAt(fd, st.st_size - 128, 128);
    close(fd);
    std::copy(tag.begin(), tag.end(), MediaInfo.TagBlock.begin());
    if (head.size() < 4) return;
    Mp3HeadResult r = ParseMp3Head(head.data(), head.size());
    MediaInfo.SampleRate = r.SampleRate;
    MediaInfo.ChannelText = r.ChannelText;
    MediaInfo.ChannelCount = r.ChannelCount;
    if (r.Vbr()) {
        MediaInfo.VbrDetected = true;
    } else {
        MediaInfo.BitRate = r.Kbps[0];
    }
}

std::string RunConsoleTool(const std::string& commandLine, int timeoutMs) {
    std::vector<std::string> args = platform::SplitCommandLine(commandLine);
    if (args.empty()) return {};
    const std::string program = platform::FindExecutable(args[0]);
    if (program.empty()) return {};
    QStringList qargs;
    for (size_t i = 1; i < args.size(); ++i)
        qargs << QString::fromStdString(args[i]);
    QProcess p;
    p.setStandardInputFile(QProcess::nullDevice());
    p.setStandardErrorFile(QProcess::nullDevice());
    p.start(QString::fromStdString(program), qargs);
    if (!p.waitForStarted(5000)) return {};
    QByteArray out;
    auto take = [&] {
        QByteArray chunk = p.readAllStandardOutput();
        if (out.size() < kMaxToolOutput) out += chunk.left(kMaxToolOutput - out.size());
    };
    const int64_t deadline = platform::TickMs() + timeoutMs;
    // Waiting in 100 ms steps drains the pipe as it fills, so neither a large
    // output nor a silent tool can hold us, and events keep running.
    while (!p.waitForFinished(100)) {
        take();
        if (p.state() == QProcess::NotRunning) break;
        platform::ProcessEvents();
        if (platform::TickMs() > deadline) {
            p.kill();
            p.waitForFinished(2000);
            break;
        }
    }
    take();
    return std::string(out.constData(), static_cast<size_t>(out.size()));
}

void InspectFile(const std::string& path) {
    const uint64_t mine = ++generation;
    MediaInfoState& m = MediaInfo;
    m.BitsPerSample = 0;
    m.SampleRate = 0;
    m.BitRate = 0;
    m.VbrDetected = false;
    const std::string ext = UpperExtension(path);

    audiolib::HSTREAM h = audiolib::StreamCreateFile(path, 0, 0, 0);
    audiolib::ChannelInfo info;
    if (!h || !audiolib::ChannelGetInfo(h, &info)) {
        if (h) audiolib::StreamFree(h);
        // Nothing to summarise; what is left of the last file must not pass
        // for this one's (the tag editor reads an MP3's tag area).
        m.ChannelCount = 0;
        m.ChannelText.clear();
        if (ext == ".MP3") ParseMp3Header(path);
        core::Session.SelectedFileInfo.clear();
        return;
    }
    m.SampleRate = static_cast<int32_t>(info.freq);
    m.ChannelCount = static_cast<uint16_t>(info.chans);
    m.BitsPerSample = 16;
    if (info.flags & audiolib::SAMPLE_8BITS) m.BitsPerSample = 8;
    if (info.flags & audiolib::SAMPLE_FLOAT) m.BitsPerSample = 32;
    // The full 64-bit sizes: files and streams beyond 4 GiB are measured right.
    const uint64_t fileBytes = audiolib::StreamGetFilePosition(h, audiolib::FILEPOS_END);
    const double seconds =
        audiolib::ChannelBytes2Seconds(h, audiolib::ChannelGetLength(h, audiolib::POS_BYTE));
    audiolib::StreamFree(h);
    m.ChannelText = m.ChannelCount == 1 ? "mono" : "stereo";
    if (seconds > 0)
        m.BitRate = core::RoundEvenInt(static_cast<double>(fileBytes) * 8 / (seconds * 1000));

    int32_t nominal = 0;
    if (ext == ".WAV") {
        if (info.ctype == audiolib::CTYPE_STREAM_WAV_PCM) {
            ReadWavHeader(path);
        } else if (m.SampleRate > 0 && seconds > 0 && m.ChannelCount > 0) {
            m.BitsPerSample = static_cast<int16_t>(core::RoundEvenInt(
                static_cast<double>(fileBytes) * 8 / (m.SampleRate * seconds * m.ChannelCount)));
        }
    } else if (ext == ".WMA") {
        // Below the lowest step the measured average stands.
        int32_t stepped = 0;
        for (int32_t step : {20, 32, 48, 64, 96, 128, 160, 192, 256, 320})
            if (step <= m.BitRate) stepped = step;
        if (stepped > 0) m.BitRate = stepped;
    } else if (ext == ".MP3") {
        ParseMp3Header(path);
    } else if (ext == ".OGG") {
        const std::string output = RunConsoleTool("ogginfo " + platform::QuoteArgument(path));
        // A newer inspection ran while we waited: its results stand.
        if (generation != mine) return;
        nominal = ParseNominalBitrate(output);
    }

    const std::string rate =
        std::to_string(m.BitRate) + " kbps, " + std::to_string(m.SampleRate) + " Hz, ";
    std::string& s = core::Session.SelectedFileInfo;
    if (ext == ".WAV" || ext == ".FLAC") {
        s = rate + std::to_string(m.BitsPerSample) + " bit " + m.ChannelText;
    } else if (ext == ".WMA") {
        s = rate + m.ChannelText;
    } else if (ext == ".MP3") {
        s = (m.VbrDetected ? "VBR " : "") + rate + m.ChannelText;
    } else if (ext == ".OGG") {
        // Without a nominal bitrate (no ogginfo, no such line) the average alone.
        s = (nominal > 0 ? std::to_string(nominal) + "/" : std::string()) + rate + m.ChannelText;
    } else {
        s.clear();
    }
}

} // namespace inspect
