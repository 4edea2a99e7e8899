#pragma once
#include <cstdint>
#include <string>

#include "audiolib/types.h"

namespace audiolib {

// File streams on FFmpeg: WAV, MP3, OGG, FLAC and WMA. A stream made with
// STREAM_DECODE is read with ChannelGetData(handle, buf, n) as 16-bit PCM
// (8-bit files decode to 8-bit unsigned, as the source holds); without it the
// stream can be played on the sound server.
struct ChannelInfo {
    uint32_t freq = 0;
    uint32_t chans = 0;
    uint32_t flags = 0; // SAMPLE_8BITS for 8-bit PCM; the PCM handed out is never float
    uint32_t ctype = 0; // CTYPE_STREAM_WAV_PCM for PCM WAV files
    uint32_t origres = 0; // bits per sample of the source, where known
};

HSTREAM StreamCreateFile(const std::string& path, uint64_t offset, uint64_t length,
                         uint32_t flags);
// Also frees dummy streams (StreamCreate). False for an unknown handle.
bool StreamFree(HSTREAM handle);
bool ChannelGetInfo(HSTREAM handle, ChannelInfo* info);
// FILEPOS_END: the size of the file. -1 (as uint64) on failure.
uint64_t StreamGetFilePosition(HSTREAM handle, uint32_t mode);
// Lengths and positions in bytes of the decoded PCM (POS_BYTE); -1 on failure.
uint64_t ChannelGetLength(HSTREAM handle, uint32_t mode);
uint64_t ChannelGetPosition(HSTREAM handle, uint32_t mode);
// Decode streams: the next ChannelGetData starts exactly at `pos` (whole frames);
// false beyond the end.
bool ChannelSetPosition(HSTREAM handle, uint64_t pos, uint32_t mode);
double ChannelBytes2Seconds(HSTREAM handle, uint64_t bytes);
// Decode streams: ACTIVE_PLAYING until the decoder has reached the end.
uint32_t ChannelIsActive(HSTREAM handle);
// Decode streams: up to `length` bytes of PCM into `buffer`; -1 at the end or on error.
// Playing streams with DATA_FFT1024: 512 floats of the audible window.
int32_t ChannelGetData(HSTREAM handle, void* buffer, uint32_t length);

// Playback (sound server).
bool ChannelPlay(HSTREAM handle, bool restart);
bool ChannelPause(HSTREAM handle);
bool ChannelStop(HSTREAM handle);
bool ChannelSetAttribute(HSTREAM handle, uint32_t attrib, float value);

} // namespace audiolib
