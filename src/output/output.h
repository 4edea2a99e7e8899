#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "audiolib/types.h"

namespace output {

// Picks the lowest number free for all five formats and sets
// core::Session.SelectedFile to the new file's path. False when every number
// up to Limits.MaxRecordNumber is taken; SelectedFile then keeps its value and
// the next OpenOutputs refuses to start rather than overwrite that file.
bool NextRecordingName();
// Opens the output of the selected format (WAV file, external encoder or WMA
// encoder) at SelectedFile and resets ElapsedSeconds. Does nothing (true) while
// the capture ring is closed. When an output cannot start: clears IsRecording,
// says why through platform::CurrentPrompt() and returns false, with nothing
// left open.
bool OpenOutputs();
// Finishes every open output, also when the capture ring has closed meanwhile:
// final WAV header (a WAV with 100 data bytes or less is deleted and
// SelectedFile cleared), encoders stopped and waited for. Clears IsRecording.
// An encoder that ends with an error is reported through the prompt.
void CloseOutputs();
// Appends capture::Block.OutBlock (capture::Params.OutBlockBytes bytes) to the
// open outputs. A WAV about to pass the 32-bit size limit is finished and the
// recording goes on in the next free name (SelectedFile changes). On a failure
// (disk full, file or folder removed, encoder gone) the output is finished
// into a valid file, the user is told, and the result is false until the next
// OpenOutputs: the caller then stops the recording.
bool WriteOutputs();

// The disk-space guard, run by the recording tick. While an output is open
// it looks at the free space of the output folder's disk every
// Limits.DiskCheckMs; when that falls below DiskReserveBytes() it finishes
// every output into a complete file before the disk fills, tells the user
// which disk is full, and returns false (the caller ends the recording, as
// after a failed write). True otherwise.
bool GuardDiskSpace();
// Most bytes a second the selected format writes: the PCM rate for WAV and
// FLAC, the (highest) bit rate for MP3 and WMA, a bound above what OGG's
// nominal rate or quality gives.
uint64_t WorstDataRate();
// Free bytes a recording in the selected format needs to go on:
// Limits.DiskMarginBytes plus Limits.DiskMarginSeconds at WorstDataRate().
uint64_t DiskReserveBytes();
// The mount point of the disk that holds `path` (the path itself when unknown).
std::string DiskOf(const std::string& path);

// "1" -> "001", "12" -> "012", "1000" -> "1000".
std::string RecordNumberText(int n);

// The canonical 44-byte header for the current settings and block geometry.
using WavHeaderBytes = std::array<uint8_t, 44>;
WavHeaderBytes BuildWavHeader(uint32_t wavDataLength);

// Encoder command lines for the current settings; the path is quoted so that
// the command-line splitter gives it back as one argument, whatever it holds.
std::string BuildLameCommandLine(const std::string& path);
std::string BuildOggencCommandLine(const std::string& path);
std::string BuildFlacCommandLine(const std::string& path);
// Shortest decimal text of the float; whole numbers without a point.
std::string OggQualityText(float quality);

// What is open for the current recording.
struct OutputState {
    int WavFile = -1;         // descriptor of the open WAV, -1 when none
    std::string WavPath;      // its path
    uint64_t WavBytes = 0;    // data bytes in it after the header
    int64_t LastHeaderMs = 0; // when its size fields were last brought up to date
    audiolib::HSTREAM SourceStream = 0;
    audiolib::HENCODE Encoder = 0; // the external encoder on SourceStream
    audiolib::HENCODE WmaEncoder = 0;
    std::string EncoderName; // "MP3", "OGG", "FLAC" or "WMA", for messages
    std::string EncodedPath; // the file the encoder writes
    int EncodedWatch = -1;   // read-only descriptor on that file, to notice its removal
    std::string LameCommandLine, OggencCommandLine, FlacCommandLine;
    int64_t LastDiskCheckMs = 0; // when the guard last looked at the free space
    bool Failed = false;         // a write failed; nothing more is written until reopened
    bool NamesExhausted = false; // the last NextRecordingName found no free number
};
extern OutputState Outputs;

// Limits, settable by tests.
struct OutputLimits {
    // Data bytes a WAV may hold: its RIFF size (data + 36) must fit 32 bits.
    uint64_t WavMaxDataBytes = 0xFFFFFFFFull - 36;
    // How often the size fields of a running WAV are rewritten, so that a
    // killed program leaves a file valid up to at most this long before the end.
    int64_t HeaderRefreshMs = 1000;
    int MaxRecordNumber = 100000;
    // The disk-space guard. The margin outlasts what the encoders still hold
    // when they are stopped (the pipe's 64 KiB of PCM, a few frames, the
    // trailer), a check interval of writing, and some room for the rest of
    // the system.
    int64_t DiskCheckMs = 500;
    double DiskMarginSeconds = 5;
    uint64_t DiskMarginBytes = 1u << 20;
    // Free bytes of the file system holding a path, nothing when unknown.
    // Empty: statvfs (the space an unprivileged writer may use).
    std::function<std::optional<uint64_t>(const std::string& path)> FreeBytes;
};
extern OutputLimits Limits;

} // namespace output
