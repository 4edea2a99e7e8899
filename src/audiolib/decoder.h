#pragma once
// Internal to audiolib: the FFmpeg decoder behind every file stream, the
// handle table and the hooks through which playback serves the streams it
// plays. Nothing outside src/audiolib includes this.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "audiolib/types.h"

namespace audiolib {

// One open file decoded to interleaved signed 16-bit PCM at the file's own
// rate and channel count (no resampling, no remixing).
class Decoder {
public:
    Decoder();
    ~Decoder();
    Decoder(const Decoder&) = delete;
    Decoder& operator=(const Decoder&) = delete;

    // False when the file cannot be opened, holds no audio stream, or its
    // decoder cannot start; the object is then closed.
    bool Open(const std::string& path);
    void Close();
    bool IsOpen() const;

    uint32_t Rate() const;
    uint32_t Channels() const;
    // Bits per sample of the source where it has such a thing (PCM, FLAC);
    // 0 for the lossy formats.
    uint32_t SourceBits() const;
    bool SourceIsFloat() const;
    bool IsWavPcm() const; // a RIFF/WAVE container holding integer PCM
    // Frames in the whole file (from the container's duration, exact for WAV;
    // for the lossy formats as FFmpeg reports it).
    uint64_t TotalFrames() const;
    uint64_t FileSize() const;

    // Reads up to `frames` frames into `out` (frames * Channels() samples).
    // Returns the number read; 0 at the end of the stream or on error.
    size_t ReadFrames(int16_t* out, size_t frames);
    // Moves so that the next ReadFrames starts exactly at `frame` (clamped to
    // TotalFrames()): the container seeks to at or before it, the rest is
    // decoded and discarded.
    bool SeekFrame(uint64_t frame);
    // The frame the next ReadFrames returns first.
    uint64_t PositionFrames() const;
    bool AtEnd() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// Everything a handle stands for. Found by handle through FindStream; the
// shared_ptr keeps it alive while a caller (or the playback thread) uses it
// even if StreamFree runs meanwhile.
struct StreamEntry {
    HSTREAM handle = 0;
    uint32_t flags = 0; // as passed to StreamCreateFile
    std::string path;
    // Bits per sample of the PCM the stream hands out: 8 (unsigned) for
    // 8-bit PCM sources, 16 otherwise. Byte positions and lengths count in it.
    uint32_t outBits = 16;
    // Guards `decoder` and `playback`; lock it around every use of them.
    std::mutex mutex;
    Decoder decoder;
    // The playback side's own state for a stream made without STREAM_DECODE.
    std::shared_ptr<void> playback;

    bool IsDecode() const { return (flags & STREAM_DECODE) != 0; }
    uint32_t BytesPerFrame() const { return decoder.Channels() * (outBits / 8); }
};

std::shared_ptr<StreamEntry> FindStream(HSTREAM handle);

// Behaviour playback supplies for streams made without STREAM_DECODE. A null
// member leaves the generic behaviour (position of the decoder, stopped,
// no data). `free` runs before the entry leaves the table (stop the sound).
struct PlaybackHooks {
    uint64_t (*getPosition)(StreamEntry& entry, uint32_t mode) = nullptr;
    bool (*setPosition)(StreamEntry& entry, uint64_t pos, uint32_t mode) = nullptr;
    uint32_t (*isActive)(StreamEntry& entry) = nullptr;
    int32_t (*getData)(StreamEntry& entry, void* buffer, uint32_t length) = nullptr;
    void (*free)(StreamEntry& entry) = nullptr;
};
// Installed once, at start-up (a static initialiser in playback.cpp is fine).
void SetPlaybackHooks(const PlaybackHooks& hooks);

// Handles of encoder dummy streams carry this bit; the file stream table never
// hands it out.
constexpr uint32_t DUMMY_STREAM_BIT = 0x40000000;

} // namespace audiolib
