#include <gtest/gtest.h>

#include <QFile>
#include <QSettings>
#include <cstring>
#include <functional>
#include <map>

#include "core/settings.h"
#include "platform/settings_store.h"
#include "test_util.h"

using core::Settings;

namespace {

class SettingsTest : public ::testing::Test {
  protected:
    void SetUp() override { testutil::RemoveSettings(); }
    void WriteRaw(const char* text) {
        QFile f(QString::fromStdString(testutil::SettingsFile()));
        QDir().mkpath(QFileInfo(f).path());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(text);
    }
    double StoredThreshold() {
        platform::SettingsStore store;
        auto b = store.ReadBinary("Threshold Level");
        EXPECT_TRUE(b.has_value());
        if (!b || b->size() != 8) return -1;
        double d;
        std::memcpy(&d, b->data(), 8); // little-endian host
        return d;
    }
};

TEST_F(SettingsTest, FreshProfileGivesDefaults) {
    Settings.IsWav = true; // must be reset, not kept from before
    core::RegistryRead();
    EXPECT_TRUE(Settings.IsMP3);
    EXPECT_FALSE(Settings.IsWav || Settings.IsOGG || Settings.IsFLAC || Settings.IsWMA);
    EXPECT_EQ(Settings.MP3BitRate, 128);
    EXPECT_EQ(Settings.Channels, 2);
    EXPECT_FLOAT_EQ(Settings.Volume, 0.5f);
    EXPECT_FLOAT_EQ(Settings.ThresholdLevel, 50);
    EXPECT_EQ(Settings.ThresholdMode, 1);
    EXPECT_FLOAT_EQ(Settings.ThresholdRelease, 1);
    EXPECT_EQ(Settings.ThresholdPreRoll, 500);
    EXPECT_FALSE(Settings.IsPreRecord);
    EXPECT_FALSE(Settings.IsTresh);
    EXPECT_EQ(Settings.SamplePerSecond, 44100u);
    EXPECT_EQ(Settings.BitPerSample, 16);
    EXPECT_EQ(Settings.Sort, 1);
    EXPECT_TRUE(Settings.FolderName.empty());
}

TEST_F(SettingsTest, StoredValuesAreConvertedAndClamped) {
    struct Case {
        float volumeIn, thresholdIn, oggIn, releaseIn;
        float volumeOut, thresholdStored, thresholdOut, oggOut;
        int releaseStored;
    } cases[] = {
        {2.5f, 37.5f, 3, 2.5f, 1.0f, 38.0, 38, 3.0f, 2},   // 250 -> 1.0; 37.5 -> 38
        {-0.05f, 36.5f, 7, 3.5f, 0.0f, 36.0, 36, 7.0f, 4}, // -5 -> 0; 36.5 -> 36 (half to even)
        {0.37f, 150, 10, 1, 0.37f, 150, 100, 10, 1},       // level stored as is, loaded clamped
        {0.5f, -3, 0, 10, 0.5f, -3, 0, 0, 10},
    };
    for (const auto& c : cases) {
        core::RegistryRead();
        Settings.Volume = c.volumeIn;
        Settings.ThresholdLevel = c.thresholdIn;
        Settings.OggQuality = c.oggIn;
        Settings.ThresholdRelease = c.releaseIn;
        core::RegistryWrite();
        EXPECT_DOUBLE_EQ(StoredThreshold(), c.thresholdStored);
        {
            platform::SettingsStore store;
            EXPECT_EQ(store.ReadDword("OGG OggQuality").value_or(-99), static_cast<int>(c.oggOut));
            EXPECT_EQ(store.ReadDword("Threshold Release").value_or(-99), c.releaseStored);
        }
        core::RegistryRead();
        EXPECT_FLOAT_EQ(Settings.Volume, c.volumeOut) << c.volumeIn;
        EXPECT_FLOAT_EQ(Settings.ThresholdLevel, c.thresholdOut) << c.thresholdIn;
        EXPECT_FLOAT_EQ(Settings.OggQuality, c.oggOut);
    }
}

TEST_F(SettingsTest, VolumeStoredOutOfRange) {
    struct {
        int stored;
        float loaded;
    } cases[] = {{250, 1.0f}, {-5, 0.0f}, {100, 1.0f}, {37, 0.37f}};
    for (auto c : cases) {
        {
            platform::SettingsStore store;
            store.WriteDword("Volume", c.stored);
        }
        core::RegistryRead();
        EXPECT_FLOAT_EQ(Settings.Volume, c.loaded) << c.stored;
    }
}

TEST_F(SettingsTest, EveryFieldRoundTrips) {
    core::RegistryRead();
    auto& s = Settings;
    s.FolderName = "/tmp/Räume mit \"Quotes\"";
    s.IsWav = false; // exactly one format: several are repaired on load
    s.IsMP3 = false;
    s.SamplePerSecond = 22050;
    s.BitPerSample = 8;
    s.MP3BitRate = 320;
    s.MP3Mode = 3;
    s.IsVBR = true;
    s.MinBitRate = 32;
    s.MaxBitRate = 320;
    s.MP3Quality = 8;
    s.IsWMA = false;
    s.WMARate = 64;
    s.IsOGG = false;
    s.OggRate = 256;
    s.IsOggQuality = true;
    s.OggQuality = 9;
    s.IsFLAC = true;
    s.FlacCompression = 8;
    s.Channels = 1;
    s.Sort = 6;
    s.Volume = 0.25f;
    s.IsFileList = true;
    s.SoundBoost = 20;
    s.IsTresh = true;
    s.ThresholdLevel = 12;
    s.ThresholdMode = 3;
    s.ThresholdRelease = 10;
    s.ThresholdPreRoll = 2300;
    s.IsPreRecord = true;
    core::RecordingSettings before = s;
    core::RegistryWrite();
    s = core::RecordingSettings{};
    core::RegistryRead();
    EXPECT_EQ(s.FolderName, before.FolderName);
#define SAME(f) EXPECT_EQ(s.f, before.f) << #f
    SAME(IsWav);
    SAME(IsMP3);
    SAME(SamplePerSecond);
    SAME(BitPerSample);
    SAME(MP3BitRate);
    SAME(MP3Mode);
    SAME(IsVBR);
    SAME(MinBitRate);
    SAME(MaxBitRate);
    SAME(MP3Quality);
    SAME(IsWMA);
    SAME(WMARate);
    SAME(IsOGG);
    SAME(OggRate);
    SAME(IsOggQuality);
    SAME(OggQuality);
    SAME(IsFLAC);
    SAME(FlacCompression);
    SAME(Channels);
    SAME(Sort);
    SAME(Volume);
    SAME(IsFileList);
    SAME(SoundBoost);
    SAME(IsTresh);
    SAME(ThresholdLevel);
    SAME(ThresholdMode);
    SAME(ThresholdRelease);
    SAME(ThresholdPreRoll);
    SAME(IsPreRecord);
#undef SAME
    // The 30 value names of the store are all there.
    QSettings qs("Quenlow", "Kestrune");
    EXPECT_EQ(qs.allKeys().size(), 30);
}

TEST_F(SettingsTest, GarbageFileGivesDefaults) {
    WriteRaw("\x01\x02garbage\n[General]\nWAV%20IsWav=1\nMP3%20IsMP3=0\nVolume=loud\n"
             "MP3%20BitRate=@ByteArray(xx)\nThreshold%20Level=notbytes\n"
             "Channels=99999999999999\nSort=\n[[[\n\xff\xfe=\n");
    core::RegistryRead();
    EXPECT_FLOAT_EQ(Settings.Volume, 0.5f);
    EXPECT_EQ(Settings.MP3BitRate, 128);
    EXPECT_FLOAT_EQ(Settings.ThresholdLevel, 50);
    EXPECT_EQ(Settings.Channels, 2);
    EXPECT_EQ(Settings.Sort, 1);
    // What does parse is still taken.
    EXPECT_TRUE(Settings.IsWav);
    EXPECT_FALSE(Settings.IsMP3);
}

TEST_F(SettingsTest, PreRollStoredOutOfRange) {
    // The kept sound holds at most 5 s.
    struct {
        int stored, loaded;
    } cases[] = {{9000, 5000}, {-1, 0}, {0, 0}, {5000, 5000}, {1200, 1200}};
    for (auto c : cases) {
        {
            platform::SettingsStore store;
            store.WriteDword("Threshold PreRoll", c.stored);
        }
        core::RegistryRead();
        EXPECT_EQ(Settings.ThresholdPreRoll, c.loaded) << c.stored;
    }
}

// A stored value outside its list or range would write headers no decoder
// reads, start encoders that refuse it or record nothing: it loads as the
// default, while the edges of each range load as stored.
TEST_F(SettingsTest, ValuesOutsideTheirListOrRangeLoadAsDefaults) {
    struct Case {
        const char* name;
        int64_t stored; // written as a 32-bit DWORD
        bool kept;
    } cases[] = {
        {"WAV SamplePerSecond", -1, false},
        {"WAV SamplePerSecond", 4294967295, false},
        {"WAV SamplePerSecond", 44101, false},
        {"WAV SamplePerSecond", 11025, true},
        {"WAV SamplePerSecond", 96000, true},
        {"WAV BitPerSample", 65535, false},
        {"WAV BitPerSample", 24, false},
        {"WAV BitPerSample", 8, true},
        {"MP3 BitRate", 129, false},
        {"MP3 BitRate", 320, true},
        {"MP3 Mode", 4, false},
        {"MP3 Mode", 3, true},
        {"MP3 MinBitRate", 0, false},
        {"MP3 MaxBitRate", 2147483647, false},
        {"MP3 MP3Quality", 9, false},
        {"MP3 MP3Quality", 0, true},
        {"WMA WMARate", -1, false},
        {"WMA WMARate", 20, false},
        {"WMA WMARate", 24, true},
        {"OGG OggRate", 40, false},
        {"OGG OggRate", 48, true},
        {"OGG OggQuality", 11, false},
        {"OGG OggQuality", -1, false},
        {"OGG OggQuality", 10, true},
        {"FLAC Compression", -1, false},
        {"FLAC Compression", 8, true},
        {"Channels", -1, false},
        {"Channels", 2147483647, false},
        {"Channels", 0, false},
        {"Channels", 1, true},
        {"Sort", 7, false},
        {"Sort", 6, true},
        {"Sound Boost", 2147483647, false},
        {"Sound Boost", 3, false},
        {"Sound Boost", -2, false},
        {"Sound Boost", 20, true},
        {"Threshold Mode", 0, false},
        {"Threshold Mode", 3, true},
        {"Threshold Release", 11, false},
        {"Threshold Release", 0, false},
        {"Threshold Release", 10, true},
    };
    // The loaded field of each value name, as a number.
    const std::map<std::string, std::function<double(const core::RecordingSettings&)>> field = {
        {"WAV SamplePerSecond", [](auto& s) { return s.SamplePerSecond; }},
        {"WAV BitPerSample", [](auto& s) { return s.BitPerSample; }},
        {"MP3 BitRate", [](auto& s) { return s.MP3BitRate; }},
        {"MP3 Mode", [](auto& s) { return s.MP3Mode; }},
        {"MP3 MinBitRate", [](auto& s) { return s.MinBitRate; }},
        {"MP3 MaxBitRate", [](auto& s) { return s.MaxBitRate; }},
        {"MP3 MP3Quality", [](auto& s) { return s.MP3Quality; }},
        {"WMA WMARate", [](auto& s) { return s.WMARate; }},
        {"OGG OggRate", [](auto& s) { return s.OggRate; }},
        {"OGG OggQuality", [](auto& s) { return s.OggQuality; }},
        {"FLAC Compression", [](auto& s) { return s.FlacCompression; }},
        {"Channels", [](auto& s) { return s.Channels; }},
        {"Sort", [](auto& s) { return s.Sort; }},
        {"Sound Boost", [](auto& s) { return s.SoundBoost; }},
        {"Threshold Mode", [](auto& s) { return s.ThresholdMode; }},
        {"Threshold Release", [](auto& s) { return s.ThresholdRelease; }},
    };
    const core::RecordingSettings defaults;
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " = " + std::to_string(c.stored));
        testutil::RemoveSettings();
        {
            platform::SettingsStore store;
            store.WriteDword(c.name, static_cast<int32_t>(static_cast<uint32_t>(c.stored)));
        }
        core::RegistryRead();
        const auto& get = field.at(c.name);
        EXPECT_EQ(get(Settings), c.kept ? static_cast<double>(c.stored) : get(defaults));
    }
}

// With no format flag on nothing would be written; with several, two writers
// would share one name. One format stays on: the last set, as the name has it.
TEST_F(SettingsTest, ExactlyOneFormatIsOnAfterLoading) {
    struct Case {
        int wav, mp3, wma, ogg, flac;
        int on; // 0 wav .. 4 flac
    } cases[] = {
        {0, 0, 0, 0, 0, 1}, {1, 0, 0, 0, 0, 0}, {1, 1, 0, 0, 0, 1},
        {0, 1, 1, 1, 1, 4}, {1, 0, 1, 0, 0, 2}, {0, 0, 0, 1, 0, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.wav << c.mp3 << c.wma << c.ogg << c.flac);
        {
            platform::SettingsStore store;
            store.WriteDword("WAV IsWav", c.wav);
            store.WriteDword("MP3 IsMP3", c.mp3);
            store.WriteDword("WMA IsWMA", c.wma);
            store.WriteDword("OGG IsOGG", c.ogg);
            store.WriteDword("FLAC IsFLAC", c.flac);
        }
        core::RegistryRead();
        const bool on[] = {Settings.IsWav, Settings.IsMP3, Settings.IsWMA, Settings.IsOGG,
                           Settings.IsFLAC};
        for (int i = 0; i < 5; ++i)
            EXPECT_EQ(on[i], i == c.on) << i;
    }
}

TEST_F(SettingsTest, EightBitWavSettingIsKept) {
    {
        platform::SettingsStore store;
        store.WriteDword("WAV BitPerSample", 8);
    }
    core::RegistryRead();
    EXPECT_EQ(Settings.BitPerSample, 8);
}

} // namespace
