#pragma once
#include <array>
#include <cstdint>
#include <string>

#include "audiolib/types.h"

namespace output {

// Picks the lowest number free for all five formats and sets
// core::Session.SelectedFile to the new file's path. False when every number
// is taken; SelectedFile then keeps its value.
bool NextRecordingName();
// Opens the output of the selected format (WAV file, external encoder or WMA
// encoder) at SelectedFile and resets ElapsedSeconds. When an output cannot
// start: clears IsRecording, says so through platform::CurrentPrompt() and
// returns false, with nothing left open.
bool OpenOutputs();
// Finishes every open output: final WAV header (a near-empty WAV is deleted
// and SelectedFile cleared), encoders stopped and waited for. Clears IsRecording.
void CloseOutputs();
// Appends capture::Block.OutBlock (capture::Params.OutBlockBytes bytes) to the
// open outputs. On a failure the output is finished into a valid file, the
// user is told, and the result is false: the caller then stops the recording.
bool WriteOutputs();

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
    int WavFile = -1;           // descriptor of the open WAV, -1 when none
    std::string WavPath;        // its path
    uint64_t WavBytes = 0;      // data bytes in it after the header
    int64_t LastHeaderMs = 0;   // when its size fields were last brought up to date
    audiolib::HSTREAM SourceStream = 0;
    audiolib::HENCODE Encoder = 0; // the external encoder on SourceStream
    audiolib::HENCODE WmaEncoder = 0;
    std::string LameCommandLine, OggencCommandLine, FlacCommandLine;
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
};
extern OutputLimits Limits;

} // namespace output
