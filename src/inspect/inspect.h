#pragma once
// The one-line format summary of a recording, and what it was made from.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace inspect {

struct MediaInfoState {
    int32_t SampleRate = 0; // Hz; 0 when unknown
    uint16_t ChannelCount = 0;
    int16_t BitsPerSample = 0;
    int32_t BitRate = 0; // kbps
    bool VbrDetected = false;
    std::string ChannelText; // "mono", "stereo", "joint stereo", "dual channel"
    // Of the last inspected MP3: its last 128 bytes (the ID3v1 tag area, all
    // zero for a file under 1000 bytes) and its packed DOS last-write time.
    std::array<uint8_t, 128> TagBlock{};
    int32_t TagStamp = 0;
};
extern MediaInfoState MediaInfo;

// Fills MediaInfo and core::Session.SelectedFileInfo for the file. Files the
// audio library cannot open, and other extensions, leave the summary empty
// (an MP3's tag area and stamp are still read). An inspection started while
// this one waits for ogginfo wins: this one then changes nothing more.
void InspectFile(const std::string& path);

// Sets MediaInfo.BitsPerSample from a canonical PCM header ("fmt " directly
// after "WAVE", format tag 1) in the file's first 50 bytes; files under 50
// bytes and other headers leave it.
void ReadWavHeader(const std::string& path);
// Sample rate, channel mode and bitrate from the first three MPEG audio frame
// headers, the tag area and stamp (see MediaInfoState).
void ParseMp3Header(const std::string& path);
// Runs the command line (split into arguments, no shell), collecting its
// standard output while it runs and letting pending events run every 100 ms.
// Empty when it cannot start. A tool still running after `timeoutMs` is killed.
std::string RunConsoleTool(const std::string& commandLine, int timeoutMs = 30000);
// The bitrate of the last line starting "Nominal bitrate" (the number in its
// characters 18..23), rounded half to even; 0 when no line has one.
int32_t ParseNominalBitrate(const std::string& output);

// The byte-level steps, on what was read.
// True (and `bits` set) when `data` holds a canonical PCM WAV header.
bool WavHeaderBits(const uint8_t* data, size_t size, int16_t* bits);

struct Mp3HeadResult {
    int32_t SampleRate = 0;
    uint16_t ChannelCount = 0;
    std::string ChannelText;
    int32_t Kbps[3] = {0, 0, 0}; // of the three frames walked
    bool Vbr() const { return !(Kbps[0] == Kbps[1] && Kbps[1] == Kbps[2]); }
};
// The walk over `head` (the file's first bytes, at most 3105). Bytes beyond
// `size` read as 0. `size` below 4 gives a result with nothing known.
Mp3HeadResult ParseMp3Head(const uint8_t* head, size_t size);

// The standard bitrate (kbps) for a header's version bits (byte 1 bits 4-3),
// layer bits (bits 2-1) and bitrate index; 0 for free format, invalid
// indexes and unknown versions or layers.
int32_t Mp3Kbps(int versionBits, int layerBits, int index);

} // namespace inspect
