// A scan of an output folder holding 1,000 recordings (WAV, MP3, OGG, FLAC
// and WMA alike), beside the same folder measured by starting ffprobe once per
// file. Also shows the longest wait between two event-processing points
// during the scan: the 100 ms recording tick needs it well below 100 ms.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "audiolib/encode.h"
#include "bench_util.h"
#include "core/settings.h"
#include "library/scan.h"
#include "platform/clock.h"
#include "platform/process.h"

extern char** environ;

namespace {

constexpr int kFiles = 1000;
QTemporaryDir* folder = nullptr;
std::vector<std::string> files;
double scanSeconds = 0, probeSeconds = 0;

std::string WavBytes(double seconds, int rate, int chans) {
    const uint32_t frames = static_cast<uint32_t>(seconds * rate);
    const uint32_t data = frames * static_cast<uint32_t>(chans) * 2;
    std::string h = "RIFF";
    auto le = [&](uint32_t v, int n) {
        for (int i = 0; i < n; ++i)
            h.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
    };
    le(data + 36, 4);
    h += "WAVEfmt ";
    le(16, 4);
    le(1, 2);
    le(static_cast<uint32_t>(chans), 2);
    le(static_cast<uint32_t>(rate), 4);
    le(static_cast<uint32_t>(rate * chans * 2), 4);
    le(static_cast<uint32_t>(chans * 2), 2);
    le(16, 2);
    h += "data";
    le(data, 4);
    for (uint32_t i = 0; i < frames; ++i) {
        int16_t v = static_cast<int16_t>(12000 * std::sin(2 * M_PI * 440 * i / rate));
        for (int c = 0; c < chans; ++c) {
            h.push_back(static_cast<char>(v & 0xFF));
            h.push_back(static_cast<char>((v >> 8) & 0xFF));
        }
    }
    return h;
}

void Write(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string Read(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

// One recording of each format (encoded once), copied into 1,000 files.
bool MakeFolder() {
    folder = new QTemporaryDir;
    const std::string d = folder->path().toStdString();
    const std::string wav = d + "/src.wav.tmp";
    Write(wav, WavBytes(5.0, 44100, 2));
    std::vector<std::pair<std::string, std::string>> kinds;
    kinds.emplace_back("wav", Read(wav));
    const std::string lame = platform::FindExecutable("lame");
    const std::string oggenc = platform::FindExecutable("oggenc");
    const std::string flac = platform::FindExecutable("flac");
    if (!lame.empty() && RunQuiet(lame, {"lame", "--quiet", wav, d + "/x.mp3.tmp"}))
        kinds.emplace_back("mp3", Read(d + "/x.mp3.tmp"));
    if (!oggenc.empty() && RunQuiet(oggenc, {"oggenc", "-Q", "-o", d + "/x.ogg.tmp", wav}))
        kinds.emplace_back("ogg", Read(d + "/x.ogg.tmp"));
    if (!flac.empty() && RunQuiet(flac, {"flac", "-s", "-f", "-o", d + "/x.flac.tmp", wav}))
        kinds.emplace_back("flac", Read(d + "/x.flac.tmp"));
    {
        std::string pcm = WavBytes(5.0, 44100, 2).substr(44);
        audiolib::HENCODE h = audiolib::WMA_EncodeOpenFile(44100, 2, 0, 128000, d + "/x.wma.tmp");
        if (h) {
            audiolib::WMA_EncodeWrite(h, pcm.data(), static_cast<uint32_t>(pcm.size()));
            if (audiolib::WMA_EncodeClose(h)) kinds.emplace_back("wma", Read(d + "/x.wma.tmp"));
        }
    }
    for (const char* t : {"/src.wav.tmp", "/x.mp3.tmp", "/x.ogg.tmp", "/x.flac.tmp", "/x.wma.tmp"})
        std::remove((d + t).c_str());
    for (int i = 0; i < kFiles; ++i) {
        const auto& k = kinds[static_cast<size_t>(i) % kinds.size()];
        char name[64];
        std::snprintf(name, sizeof name, "/record%04d.%s", i + 1, k.first.c_str());
        Write(d + name, k.second);
        files.push_back(d + name);
    }
    std::printf("folder: %d recordings in %zu formats\n", kFiles, kinds.size());
    return true;
}

void BM_ScanFolder(benchmark::State& state) {
    core::Settings.FolderName = folder->path().toStdString();
    // The longest stretch without events, as the recorder's tick would see it.
    int64_t last = 0, worst = 0;
    QTimer probe;
    probe.setInterval(0);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        const int64_t now = platform::TickMs();
        if (last) worst = std::max(worst, now - last);
        last = now;
    });
    for (auto _ : state) {
        last = 0;
        probe.start();
        const auto t0 = std::chrono::steady_clock::now();
        library::FindFiles();
        library::ShowFiles();
        scanSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        probe.stop();
        if (library::RecordingList.Count != kFiles) state.SkipWithError("scan missed files");
    }
    state.counters["files"] = kFiles;
    state.counters["max_event_gap_ms"] = static_cast<double>(worst);
}
BENCHMARK(BM_ScanFolder)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_FfprobePerFile(benchmark::State& state) {
    const std::string ffprobe = platform::FindExecutable("ffprobe");
    if (ffprobe.empty()) {
        state.SkipWithError("ffprobe not installed (Debian package ffmpeg)");
        return;
    }
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        for (const std::string& f : files)
            RunQuiet(ffprobe, {"ffprobe", "-v", "quiet", "-show_entries", "format=duration", f});
        probeSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    }
    state.counters["files"] = kFiles;
}
BENCHMARK(BM_FfprobePerFile)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (!MakeFolder()) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (scanSeconds > 0 && probeSeconds > 0)
        std::printf("scan of %d files: %.3f s; ffprobe once per file: %.3f s; ratio %.3f\n", kFiles,
                    scanSeconds, probeSeconds, scanSeconds / probeSeconds);
    delete folder;
    return 0;
}
