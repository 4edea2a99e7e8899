#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "audiolib/types.h"

namespace audiolib {

// Dummy streams: they carry only a sample format (rate, channels, 8-bit flag)
// that encoders started on them take as the format of their PCM.
// `proc` must be 0 (the dummy procedure); returns 0 otherwise.
HSTREAM StreamCreate(uint32_t freq, uint32_t chans, uint32_t flags, void* proc, void* user);
// Stops every encoder still running on the stream and frees it.
bool StreamFreeDummy(HSTREAM handle);
// A dummy stream has nothing to play: these only track its state.
bool DummyStreamPlay(HSTREAM handle, bool restart);
bool DummyStreamStop(HSTREAM handle);

// Starts an external encoder on a dummy stream. The command line is split into
// arguments (platform::SplitCommandLine); its first word names the executable,
// looked up in the program's folder, then on PATH, and started without a shell.
// The stream's PCM reaches the encoder's standard input: lame and oggenc first
// get a WAV header with unknown sizes; flac gets raw PCM and the options that
// describe it. Returns the encoder handle, 0 when it could not start (missing
// program, one that could not be run or had already quit). It does not wait:
// an encoder that quits soon after (bad options, a file it cannot create) makes
// the next Encode_Write or Encode_Stop return false.
HENCODE Encode_Start(HSTREAM stream, const std::string& commandLine, uint32_t flags);
// Sends PCM to an encoder, or to every encoder of a stream. False when an
// encoder has died or stopped reading; that encoder is then finished.
bool Encode_Write(uint32_t handle, const void* buffer, uint32_t length);
// Closes the encoder's input and waits for it to finish its file. For a stream
// handle, every encoder on it. False when an encoder did not end cleanly.
bool Encode_Stop(uint32_t handle);
// True while the encoder (or any encoder of a stream) runs.
bool Encode_IsActive(uint32_t handle);
// Why the last Encode_Start failed, for messages and tests.
std::string Encode_LastError();

// WMA (FFmpeg's wmav2 in an ASF file), PCM 16-bit interleaved.
// Bit rates (bit/s) the encoder accepts for this rate and channel count,
// highest first; the list ends with a 0 as the caller's loops expect.
std::vector<uint32_t> WMA_EncodeGetRates(uint32_t freq, uint32_t chans, uint32_t flags);
HENCODE WMA_EncodeOpenFile(uint32_t freq, uint32_t chans, uint32_t flags, uint32_t bitrate,
                           const std::string& path);
// False on a write error (disk full, file gone); the handle stays valid for Close.
bool WMA_EncodeWrite(HENCODE handle, const void* buffer, uint32_t length);
// Encodes what is left and completes the file. False when that failed.
bool WMA_EncodeClose(HENCODE handle);

} // namespace audiolib
