#pragma once
// Test helper: short sine recordings in each format the player opens, made
// with the real tools (no shell: every program gets its arguments directly).
#include <QProcess>
#include <QString>
#include <QStringList>
#include <cmath>
#include <string>
#include <vector>

#include "audiolib/encode.h"

namespace soundfiles {

inline bool Run(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(60000)) return false;
    return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

// `seconds` of a 1000 Hz sine at half scale, 44100 Hz stereo.
inline bool MakeWav(const std::string& path, double seconds) {
    return Run("sox", {"-n", "-r", "44100", "-c", "2", "-b", "16", QString::fromStdString(path),
                       "synth", QString::number(seconds), "sine", "1000", "vol", "0.5"});
}

// Makes `path` (by its extension: wav, mp3, ogg, flac, wma) from a fresh WAV.
inline bool MakeFile(const std::string& path, double seconds) {
    const std::string ext = path.substr(path.rfind('.') + 1);
    if (ext == "wav") return MakeWav(path, seconds);
    const std::string wav = path + ".src.wav";
    if (!MakeWav(wav, seconds)) return false;
    const QString in = QString::fromStdString(wav), out = QString::fromStdString(path);
    if (ext == "mp3") return Run("lame", {"--quiet", "-b", "128", in, out});
    if (ext == "ogg") return Run("oggenc", {"-Q", "-o", out, in});
    if (ext == "flac") return Run("flac", {"-s", "-f", "-o", out, in});
    if (ext == "wma") {
        auto h = audiolib::WMA_EncodeOpenFile(44100, 2, 0, 128000, path);
        if (!h) return false;
        const size_t frames = static_cast<size_t>(seconds * 44100);
        std::vector<int16_t> pcm(frames * 2);
        for (size_t i = 0; i < frames; ++i)
            pcm[2 * i] = pcm[2 * i + 1] =
                static_cast<int16_t>(16383 * std::sin(2 * M_PI * 1000.0 * i / 44100.0));
        bool ok = audiolib::WMA_EncodeWrite(h, pcm.data(), static_cast<uint32_t>(pcm.size() * 2));
        return audiolib::WMA_EncodeClose(h) && ok;
    }
    return false;
}

} // namespace soundfiles
