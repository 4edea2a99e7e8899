#pragma once
#include <cstdint>
#include <string>

namespace core {

// Everything the program remembers between runs. One instance (`Settings`),
// edited in place by the dialogs and read by the recorder when it needs it.
struct RecordingSettings {
    std::string FolderName;
    bool IsWav = false;
    uint32_t SamplePerSecond = 44100;
    uint16_t BitPerSample = 16;
    bool IsMP3 = true;
    int32_t MP3BitRate = 128;
    int32_t MP3Mode = 0;
    bool IsVBR = false;
    int32_t MinBitRate = 96;
    int32_t MaxBitRate = 256;
    int32_t MP3Quality = 4;
    bool IsWMA = false;
    int32_t WMARate = 128;
    bool IsOGG = false;
    int32_t OggRate = 128;
    bool IsOggQuality = false;
    float OggQuality = 0;
    bool IsFLAC = false;
    int32_t FlacCompression = 0;
    int32_t Channels = 2;
    int32_t Sort = 1;
    float Volume = 0.5f;
    bool IsFileList = false;
    int32_t SoundBoost = 0;
    bool IsTresh = false;
    float ThresholdLevel = 50;
    int32_t ThresholdMode = 1;
    float ThresholdRelease = 1;
    // Milliseconds of sound before a trigger that are written with it, 0..5000.
    int32_t ThresholdPreRoll = 500;
    // A normal recording also begins with the ThresholdPreRoll before Record.
    bool IsPreRecord = false;
};

extern RecordingSettings Settings;

// Loads `Settings` from the store: defaults first, then every stored value
// that parses, then the clamps. Garbage, a wrong type or a value outside its
// list or range keeps the default.
void RegistryRead();
// Replaces every value outside its list or range by its default, and leaves
// exactly one output format on. Called by RegistryRead.
void ReplaceInvalidValues(RecordingSettings& s);
// A relative folder made absolute against the current directory (cleaned of
// "." and ".."); an absolute or empty one as it is.
std::string AbsoluteFolderName(const std::string& folder);
// Writes every field of `Settings` to the store.
void RegistryWrite();

} // namespace core
