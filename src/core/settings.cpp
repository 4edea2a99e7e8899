#include "core/settings.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <initializer_list>
#include <vector>

#include "core/rounding.h"
#include "platform/settings_store.h"

namespace core {

RecordingSettings Settings;

namespace {

// Value names in the order they are written.
struct DwordField {
    const char* name;
    enum Kind { Flag, Int, U32, U16, FloatWhole, Volume } kind;
    void* field;
};

std::vector<DwordField> DwordFields(RecordingSettings& s) {
    using K = DwordField;
    return {
        {"WAV IsWav", K::Flag, &s.IsWav},
        {"WAV SamplePerSecond", K::U32, &s.SamplePerSecond},
        {"WAV BitPerSample", K::U16, &s.BitPerSample},
        {"MP3 IsMP3", K::Flag, &s.IsMP3},
        {"MP3 BitRate", K::Int, &s.MP3BitRate},
        {"MP3 Mode", K::Int, &s.MP3Mode},
        {"MP3 IsVBR", K::Flag, &s.IsVBR},
        {"MP3 MinBitRate", K::Int, &s.MinBitRate},
        {"MP3 MaxBitRate", K::Int, &s.MaxBitRate},
        {"MP3 MP3Quality", K::Int, &s.MP3Quality},
        {"WMA IsWMA", K::Flag, &s.IsWMA},
        {"WMA WMARate", K::Int, &s.WMARate},
        {"OGG IsOGG", K::Flag, &s.IsOGG},
        {"OGG OggRate", K::Int, &s.OggRate},
        {"OGG IsOggQuality", K::Flag, &s.IsOggQuality},
        {"OGG OggQuality", K::FloatWhole, &s.OggQuality},
        {"FLAC IsFLAC", K::Flag, &s.IsFLAC},
        {"FLAC Compression", K::Int, &s.FlacCompression},
        {"Channels", K::Int, &s.Channels},
        {"Sort", K::Int, &s.Sort},
        {"Volume", K::Volume, &s.Volume},
        {"IsFileList", K::Flag, &s.IsFileList},
        {"Sound Boost", K::Int, &s.SoundBoost},
        {"Threshold IsTresh", K::Flag, &s.IsTresh},
    };
}

void Load(const DwordField& f, int32_t v) {
    switch (f.kind) {
    case DwordField::Flag:
        *static_cast<bool*>(f.field) = v != 0;
        break;
    case DwordField::Int:
        *static_cast<int32_t*>(f.field) = v;
        break;
    case DwordField::U32:
        *static_cast<uint32_t*>(f.field) = static_cast<uint32_t>(v);
        break;
    case DwordField::U16:
        *static_cast<uint16_t*>(f.field) = static_cast<uint16_t>(v);
        break;
    case DwordField::FloatWhole:
        *static_cast<float*>(f.field) = static_cast<float>(v);
        break;
    case DwordField::Volume:
        *static_cast<float*>(f.field) = static_cast<float>(v / 100.0);
        break;
    }
}

int32_t Store(const DwordField& f) {
    switch (f.kind) {
    case DwordField::Flag:
        return *static_cast<bool*>(f.field) ? 1 : 0;
    case DwordField::Int:
        return *static_cast<int32_t*>(f.field);
    case DwordField::U32:
        return static_cast<int32_t>(*static_cast<uint32_t*>(f.field));
    case DwordField::U16:
        return *static_cast<uint16_t*>(f.field);
    case DwordField::FloatWhole:
        return RoundEvenInt(*static_cast<float*>(f.field));
    case DwordField::Volume:
        return RoundEvenInt(*static_cast<float*>(f.field) * 100.0);
    }
    return 0;
}

std::vector<uint8_t> DoubleBytes(double d) {
    uint64_t bits;
    std::memcpy(&bits, &d, 8);
    std::vector<uint8_t> out(8);
    for (int i = 0; i < 8; ++i)
        out[i] = static_cast<uint8_t>(bits >> (8 * i));
    return out;
}

bool OneOf(int64_t v, std::initializer_list<int64_t> list) {
    for (int64_t x : list)
        if (v == x) return true;
    return false;
}

bool Within(double v, double lo, double hi) {
    return v >= lo && v <= hi; // false for NaN
}

bool Whole(float v) {
    return v == static_cast<float>(static_cast<int64_t>(v));
}

} // namespace

void ReplaceInvalidValues(RecordingSettings& s) {
    const RecordingSettings d;
    // A value another version or a hand edit left behind would otherwise
    // write headers no player reads, start encoders that refuse it, or record
    // nothing at all; the default is always a working choice.
    auto check = [](auto& field, const auto& fallback, bool valid) {
        if (!valid) field = fallback;
    };
    check(s.SamplePerSecond, d.SamplePerSecond,
          OneOf(s.SamplePerSecond, {96000, 48000, 44100, 22050, 11025}));
    check(s.BitPerSample, d.BitPerSample, OneOf(s.BitPerSample, {16, 8}));
    const std::initializer_list<int64_t> mp3Rates = {32,  40,  48,  56,  64,  80,  96,
                                                     112, 128, 160, 192, 224, 256, 320};
    check(s.MP3BitRate, d.MP3BitRate, OneOf(s.MP3BitRate, mp3Rates));
    check(s.MP3Mode, d.MP3Mode, Within(s.MP3Mode, 0, 3));
    check(s.MinBitRate, d.MinBitRate, OneOf(s.MinBitRate, mp3Rates));
    check(s.MaxBitRate, d.MaxBitRate, OneOf(s.MaxBitRate, mp3Rates));
    check(s.MP3Quality, d.MP3Quality, Within(s.MP3Quality, 0, 8));
    // The rates the WMA encoder offers at 44100 Hz, mono and stereo alike.
    check(s.WMARate, d.WMARate,
          OneOf(s.WMARate, {24, 32, 40, 48, 64, 80, 96, 128, 160, 192, 256, 320}));
    check(s.OggRate, d.OggRate,
          OneOf(s.OggRate, {48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}));
    check(s.OggQuality, d.OggQuality, Within(s.OggQuality, 0, 10) && Whole(s.OggQuality));
    check(s.FlacCompression, d.FlacCompression, Within(s.FlacCompression, 0, 8));
    check(s.Channels, d.Channels, OneOf(s.Channels, {1, 2}));
    check(s.Sort, d.Sort, Within(s.Sort, 1, 6));
    check(s.SoundBoost, d.SoundBoost, Within(s.SoundBoost, 0, 20) && s.SoundBoost % 2 == 0);
    check(s.ThresholdMode, d.ThresholdMode, Within(s.ThresholdMode, 1, 3));
    check(s.ThresholdRelease, d.ThresholdRelease,
          Within(s.ThresholdRelease, 1, 10) && Whole(s.ThresholdRelease));
    // Exactly one format: with none nothing would be written, with several two
    // writers would share one file name. The name goes to the last format in
    // the order WAV, MP3, WMA, OGG, FLAC, so that one is kept.
    bool* flags[] = {&s.IsWav, &s.IsMP3, &s.IsWMA, &s.IsOGG, &s.IsFLAC};
    bool* keep = nullptr;
    for (bool* f : flags)
        if (*f) keep = f;
    if (!keep) keep = &s.IsMP3;
    for (bool* f : flags)
        *f = f == keep;
}

std::string AbsoluteFolderName(const std::string& folder) {
    if (folder.empty() || folder[0] == '/') return folder;
    std::error_code ec;
    const std::filesystem::path cwd = std::filesystem::current_path(ec);
    if (ec) return folder;
    std::string out = (cwd / folder).lexically_normal().string();
    // "a/b/" and "a/." normalise with a trailing slash; the folder keeps none.
    while (out.size() > 1 && out.back() == '/')
        out.pop_back();
    return out;
}

void RegistryRead() {
    Settings = RecordingSettings{};
    platform::SettingsStore store;
    if (auto v = store.ReadString("Folder Name")) Settings.FolderName = *v;
    auto fields = DwordFields(Settings);
    // Stored order: the Threshold Level binary sits between IsTresh and Mode,
    // but reading order does not change any result.
    for (const auto& f : fields)
        if (auto v = store.ReadDword(f.name)) Load(f, *v);
    if (auto b = store.ReadBinary("Threshold Level"); b && b->size() == 8) {
        uint64_t bits = 0;
        for (int i = 0; i < 8; ++i)
            bits |= static_cast<uint64_t>((*b)[i]) << (8 * i);
        double d;
        std::memcpy(&d, &bits, 8);
        if (d == d) Settings.ThresholdLevel = static_cast<float>(d); // NaN keeps the default
    }
    if (auto v = store.ReadDword("Threshold Mode")) Settings.ThresholdMode = *v;
    if (auto v = store.ReadDword("Threshold Release"))
        Settings.ThresholdRelease = static_cast<float>(*v);
    if (auto v = store.ReadDword("Threshold PreRoll")) Settings.ThresholdPreRoll = *v;
    if (auto v = store.ReadDword("IsPreRecord")) Settings.IsPreRecord = *v != 0;

    if (!(Settings.Volume <= 1)) Settings.Volume = 1;
    if (Settings.Volume < 0) Settings.Volume = 0;
    if (Settings.ThresholdLevel < 0) Settings.ThresholdLevel = 0;
    if (Settings.ThresholdLevel > 100) Settings.ThresholdLevel = 100;
    ReplaceInvalidValues(Settings);
    // The kept sound holds at most 5 s.
    Settings.ThresholdPreRoll = std::clamp(Settings.ThresholdPreRoll, 0, 5000);
}

void RegistryWrite() {
    platform::SettingsStore store;
    store.WriteString("Folder Name", Settings.FolderName);
    for (const auto& f : DwordFields(Settings))
        store.WriteDword(f.name, Store(f));
    store.WriteBinary("Threshold Level", DoubleBytes(core::RoundEven(Settings.ThresholdLevel)));
    store.WriteDword("Threshold Mode", Settings.ThresholdMode);
    store.WriteDword("Threshold Release", RoundEvenInt(Settings.ThresholdRelease));
    store.WriteDword("Threshold PreRoll", Settings.ThresholdPreRoll);
    store.WriteDword("IsPreRecord", Settings.IsPreRecord ? 1 : 0);
    store.Sync();
}

} // namespace core
