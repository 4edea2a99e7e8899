// WAV to MP3 conversion through the recorder's conversion window, beside
// `lame in.wav out.mp3` on the same file: wall time of each and their ratio.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <QApplication>
#include <QTemporaryDir>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "bench_util.h"
#include "core/settings.h"
#include "core/state.h"
#include "library/convert.h"
#include "library/file_ops.h"
#include "platform/process.h"

extern char** environ;

namespace {

bool Run(std::vector<std::string> args) {
    const std::string program = platform::FindExecutable(args[0]);
    return RunQuiet(program, std::move(args));
}

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    const std::string wav = dir.filePath("take.wav").toStdString();
    // Five minutes of a stereo tone with some noise, as a recording would hold.
    if (!Run({"sox", "-n", "-r", "44100", "-c", "2", "-b", "16", wav, "synth", "300", "sine",
              "1000", "synth", "300", "whitenoise", "amod", "0.05"})) {
        std::fprintf(stderr, "sox could not make the test file\n");
        return 1;
    }
    core::Settings = core::RecordingSettings{};
    core::Session.SelectedFile = wav;
    library::FileOps.ConvertTarget = dir.filePath("take(1).mp3").toStdString();

    auto t0 = std::chrono::steady_clock::now();
    library::FormConvert().Wave2MP3();
    const double ours = Seconds(t0);

    t0 = std::chrono::steady_clock::now();
    const bool ok = Run({"lame", "--quiet", wav, dir.filePath("plain.mp3").toStdString()});
    const double plain = Seconds(t0);
    if (!ok) {
        std::fprintf(stderr, "lame failed\n");
        return 1;
    }
    std::printf("WAV to MP3, 300 s of stereo audio:\n");
    std::printf("  conversion window      %7.2f s\n", ours);
    std::printf("  lame in.wav out.mp3    %7.2f s\n", plain);
    std::printf("  ratio                  %7.2f\n", ours / plain);
    return 0;
}
