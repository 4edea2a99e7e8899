#pragma once
// Test recordings made on the spot: WAV written here, MP3/OGG/FLAC by the real
// encoders from that WAV, WMA by the program's own WMA encoder.
#include <QProcess>
#include <QStringList>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "audiolib/encode.h"

namespace fixtures {

// `lead` seconds of silence, then a 440 Hz tone at half scale up to `seconds`.
inline std::vector<int16_t> TonePcm(double seconds, int rate, int chans, double lead = 0) {
    const size_t frames = static_cast<size_t>(std::llround(seconds * rate));
    const size_t quiet = static_cast<size_t>(std::llround(lead * rate));
    std::vector<int16_t> pcm(frames * static_cast<size_t>(chans), 0);
    for (size_t i = quiet; i < frames; ++i) {
        double v = 16000 * std::sin(2 * M_PI * 440 * static_cast<double>(i - quiet) / rate);
        for (int c = 0; c < chans; ++c)
            pcm[i * static_cast<size_t>(chans) + static_cast<size_t>(c)] =
                static_cast<int16_t>(std::lround(v));
    }
    return pcm;
}

inline void PutLE(std::string& s, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i)
        s.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

// The canonical 44-byte header. `dataBytesInHeader` overrides the data size
// written into the header (for never-finished or truncated files).
inline std::string WavHeader(int rate, int chans, int bits, uint32_t dataBytes) {
    std::string h = "RIFF";
    PutLE(h, dataBytes + 36, 4);
    h += "WAVEfmt ";
    PutLE(h, 16, 4);
    PutLE(h, 1, 2);
    PutLE(h, static_cast<uint32_t>(chans), 2);
    PutLE(h, static_cast<uint32_t>(rate), 4);
    PutLE(h, static_cast<uint32_t>(rate * chans * bits / 8), 4);
    PutLE(h, static_cast<uint32_t>(chans * bits / 8), 2);
    PutLE(h, static_cast<uint32_t>(bits), 2);
    h += "data";
    PutLE(h, dataBytes, 4);
    return h;
}

inline bool WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(f);
}

inline std::string ReadFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

// 16-bit or 8-bit PCM WAV of the tone.
inline bool MakeWav(const std::string& path, double seconds, int rate, int chans, int bits = 16,
                    double lead = 0) {
    std::vector<int16_t> pcm = TonePcm(seconds, rate, chans, lead);
    std::string data;
    if (bits == 8) {
        for (int16_t s : pcm)
            data.push_back(static_cast<char>((s >> 8) + 128));
    } else {
        data.assign(reinterpret_cast<const char*>(pcm.data()), pcm.size() * 2);
    }
    return WriteFile(path, WavHeader(rate, chans, bits, static_cast<uint32_t>(data.size())) + data);
}

// Runs a program with an argument list (no shell); true when it exits with 0.
inline bool Run(const QString& program, const QStringList& args) {
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.start(program, args);
    if (!p.waitForStarted(10000)) return false;
    p.closeWriteChannel();
    p.waitForFinished(120000);
    return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

inline bool Encode(const std::string& wav, const std::string& out, const std::string& ext,
                   const QStringList& options = {}) {
    const QString in = QString::fromStdString(wav), o = QString::fromStdString(out);
    if (ext == "mp3") return Run("lame", QStringList{"--quiet"} + options + QStringList{in, o});
    if (ext == "ogg") return Run("oggenc", QStringList{"-Q"} + options + QStringList{"-o", o, in});
    if (ext == "flac")
        return Run("flac", QStringList{"-s", "-f"} + options + QStringList{"-o", o, in});
    return false;
}

inline bool MakeWma(const std::string& path, double seconds, int rate, int chans,
                    uint32_t bitrate = 128000, double lead = 0) {
    std::vector<int16_t> pcm = TonePcm(seconds, rate, chans, lead);
    audiolib::HENCODE h = audiolib::WMA_EncodeOpenFile(
        static_cast<uint32_t>(rate), static_cast<uint32_t>(chans), 0, bitrate, path);
    if (!h) return false;
    bool ok = audiolib::WMA_EncodeWrite(h, pcm.data(), static_cast<uint32_t>(pcm.size() * 2));
    return audiolib::WMA_EncodeClose(h) && ok;
}

// A recording of any of the five formats: `ext` is "wav", "mp3", "ogg", "flac" or "wma".
inline bool MakeRecording(const std::string& path, const std::string& ext, double seconds,
                          int rate = 44100, int chans = 2, double lead = 0) {
    if (ext == "wav") return MakeWav(path, seconds, rate, chans, 16, lead);
    if (ext == "wma") return MakeWma(path, seconds, rate, chans, 128000, lead);
    const std::string wav = path + ".src.wav";
    bool ok = MakeWav(wav, seconds, rate, chans, 16, lead) && Encode(wav, path, ext);
    std::remove(wav.c_str());
    return ok;
}

} // namespace fixtures
