#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFrame>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QSlider>
#include <QTabWidget>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <memory>
#include <utility>

#include "capture/capture.h"
#include "core/settings.h"
#include "core/state.h"
#include "dialogs/recsettings.h"
#include "mainwindow/images.h"
#include "platform/capture_device.h"
#include "platform/prompt.h"
#include "support/session_double.h"

namespace {

using dialogs::kPageFLAC;
using dialogs::kPageMP3;
using dialogs::kPageOGG;
using dialogs::kPageWAV;
using dialogs::kPageWMA;

constexpr uint32_t k48S16 = 0x8000, k96S16 = 0x80000, k48M16 = 0x4000, k96M16 = 0x40000;
constexpr uint32_t k48S08 = 0x2000, k96S08 = 0x20000, k48M08 = 0x1000, k96M08 = 0x10000;
constexpr uint32_t kBase = 0xFFF; // 11.025 to 44.1 kHz in every layout

const char* const kMessage = "Unavailable Format Settings!";

QStringList Items(const QComboBox* c) {
    QStringList out;
    for (int i = 0; i < c->count(); ++i)
        out << c->itemText(i);
    return out;
}

// What a user's choice in a drop-down list does: select, then tell the dialog.
void Pick(QComboBox* c, const QString& text) {
    const int i = c->findText(text);
    ASSERT_GE(i, 0) << text.toStdString() << " not offered by " << c->objectName().toStdString();
    c->setCurrentIndex(i);
    emit c->activated(i);
}

// An encoder whose rate lists the test decides, per channel count.
struct ScriptedRates {
    std::map<uint32_t, std::vector<uint32_t>> byChannels;
    std::vector<uint32_t> asked; // channel counts, in order
    std::vector<uint32_t> operator()(uint32_t freq, uint32_t chans, uint32_t) {
        EXPECT_EQ(freq, 44100u);
        asked.push_back(chans);
        auto it = byChannels.find(chans);
        return it == byChannels.end() ? std::vector<uint32_t>{0} : it->second;
    }
};

class RecSettingsTest : public ::testing::Test {
  protected:
    platform::ScriptedCaptureDevice* dev = nullptr;
    platform::ScriptedPrompt prompt;
    std::unique_ptr<dialogs::TFormRecSettings> form;

    void SetUp() override {
        QLocale::setDefault(QLocale::c());
        core::Settings = core::RecordingSettings{};
        core::ResetSessionState();
        auto d = std::make_unique<platform::ScriptedCaptureDevice>();
        dev = d.get();
        platform::SetCaptureDevice(std::move(d));
        SetFormats(platform::kAllWaveFormats);
        platform::SetPrompt(&prompt);
    }
    void TearDown() override {
        form.reset();
        capture::CloseCapture();
        platform::SetPrompt(nullptr);
    }

    void SetFormats(uint32_t formats) {
        dev->devices[0].formats = formats;
        capture::ListCaptureDevices();
    }
    // Creates the dialog from the settings of this moment, as start-up does.
    void Create() { form = std::make_unique<dialogs::TFormRecSettings>(); }
    void Open() {
        if (!form) Create();
        form->show();
    }
    void Tab(int page) { form->PControlFormat->setCurrentIndex(page); }
    void Ok() { form->BitBtnOK->click(); }
};

// ---------------------------------------------------------------- pages

TEST_F(RecSettingsTest, ShowingAPageMakesItTheOnlyFormat) {
    struct Case {
        int page;
        const char* caption;
        bool core::RecordingSettings::*flag;
    };
    const Case cases[] = {
        {kPageMP3, "Format Settings : MP3", &core::RecordingSettings::IsMP3},
        {kPageOGG, "Format Settings : OGG", &core::RecordingSettings::IsOGG},
        {kPageWMA, "Format Settings : WMA", &core::RecordingSettings::IsWMA},
        {kPageWAV, "Format Settings : WAV", &core::RecordingSettings::IsWav},
        {kPageFLAC, "Format Settings : FLAC", &core::RecordingSettings::IsFLAC},
    };
    core::Settings.IsMP3 = true;
    Open();
    const QStringList tabs = {"MP3   ", "OGG", "WMA   ", "WAV   ", "FLAC"};
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(form->PControlFormat->tabText(i), tabs[i]);
    // Go away from MP3 first so that every row really changes the page.
    Tab(kPageFLAC);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.caption);
        Tab(c.page);
        EXPECT_EQ(form->windowTitle(), c.caption);
        const auto& s = core::Settings;
        EXPECT_EQ(s.IsMP3 + s.IsOGG + s.IsWMA + s.IsWav + s.IsFLAC, 1);
        EXPECT_TRUE(s.*c.flag);
        for (int i = 0; i < 5; ++i)
            EXPECT_EQ(form->TabImage(i), i == c.page ? 1 : 0);
    }
}

TEST_F(RecSettingsTest, CreationPicksThePageOfTheFormatLastFlagWins) {
    struct Case {
        bool wav, mp3, wma, ogg, flac;
        int page;
    };
    const Case cases[] = {
        {true, false, false, false, false, kPageWAV},
        {false, false, true, false, false, kPageWMA},
        {false, false, false, false, true, kPageFLAC},
        {true, true, false, true, false, kPageOGG}, // order Wav, MP3, WMA, OGG, FLAC
        {false, false, false, false, false, kPageMP3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.page);
        auto& s = core::Settings;
        s.IsWav = c.wav, s.IsMP3 = c.mp3, s.IsWMA = c.wma, s.IsOGG = c.ogg, s.IsFLAC = c.flac;
        Create();
        EXPECT_EQ(form->PControlFormat->currentIndex(), c.page);
        // The flags only change once the dialog is really shown.
        EXPECT_EQ(s.IsWav, c.wav);
        form->show();
        Ok();
        EXPECT_EQ(s.IsWav + s.IsMP3 + s.IsWMA + s.IsOGG + s.IsFLAC, 1);
        form.reset();
    }
}

TEST_F(RecSettingsTest, WavTabTakesTheStoredLayoutAndClosingStoresIt) {
    auto& s = core::Settings;
    s.IsMP3 = true;
    s.MP3Mode = 3;
    s.Channels = 1;
    s.BitPerSample = 8;
    s.SamplePerSecond = 22050;
    Open();
    Tab(kPageWAV);
    EXPECT_EQ(form->CBoxWavChannel->currentText(), "mono");
    EXPECT_EQ(form->CBoxWavBits->currentText(), "8  bit");
    EXPECT_EQ(form->CBoxSpsWav->currentText(), "22050");
    Ok();
    EXPECT_TRUE(s.IsWav);
    EXPECT_FALSE(s.IsMP3);
    EXPECT_EQ(s.Channels, 1);
    EXPECT_EQ(s.BitPerSample, 8);
    EXPECT_EQ(s.SamplePerSecond, 22050u);

    // The user's changes apply at once and are what the closing stores.
    Open();
    EXPECT_EQ(form->PControlFormat->currentIndex(), kPageWAV) << "the page persists";
    Pick(form->CBoxWavChannel, "stereo");
    EXPECT_EQ(s.Channels, 2);
    Pick(form->CBoxWavBits, "16 bit");
    EXPECT_EQ(s.BitPerSample, 16);
    Pick(form->CBoxSpsWav, "96000");
    EXPECT_EQ(s.SamplePerSecond, 96000u);
    Ok();
    EXPECT_EQ(s.Channels, 2);
    EXPECT_EQ(s.BitPerSample, 16);
    EXPECT_EQ(s.SamplePerSecond, 96000u);
}

TEST_F(RecSettingsTest, FlacPageForces16Bit) {
    auto& s = core::Settings;
    s.IsMP3 = false;
    s.IsWav = true;
    s.BitPerSample = 8;
    s.Channels = 1;
    s.SamplePerSecond = 11025;
    Open();
    Tab(kPageFLAC);
    EXPECT_EQ(s.BitPerSample, 16);
    EXPECT_EQ(form->CBoxFlacChannel->currentText(), "mono");
    EXPECT_EQ(form->CBoxSpsFlac->currentText(), "11025");
    Pick(form->CBoxSpsFlac, "44100");
    Ok();
    EXPECT_TRUE(s.IsFLAC);
    EXPECT_EQ(s.BitPerSample, 16);
    EXPECT_EQ(s.Channels, 1);
    EXPECT_EQ(s.SamplePerSecond, 44100u);
}

TEST_F(RecSettingsTest, Mp3CloseTakesChannelsFromTheMode) {
    const std::pair<const char*, int> cases[] = {
        {"stereo", 2}, {"joint stereo", 2}, {"dual channel", 2}, {"mono", 1}};
    int mode = 0;
    for (auto [text, channels] : cases) {
        SCOPED_TRACE(text);
        core::Settings.Channels = 3 - channels; // the other value
        Open();
        Pick(form->CBoxMP3Mode, text);
        Ok();
        EXPECT_TRUE(core::Settings.IsMP3);
        EXPECT_EQ(core::Settings.MP3Mode, mode++);
        EXPECT_EQ(core::Settings.Channels, channels);
    }
}

TEST_F(RecSettingsTest, Mp3ValuesAreStoredAsChosen) {
    auto& s = core::Settings;
    s.MP3BitRate = 100;  // not offered: "32"
    s.MaxBitRate = 1000; // not offered: "320"
    s.MinBitRate = 33;   // not offered: "32"
    s.MP3Mode = 7;       // not a mode: the selection stays
    Open();
    EXPECT_EQ(form->CBoxMP3BitRate->currentText(), "32");
    EXPECT_EQ(form->CBoxMP3MaxBRate->currentText(), "320");
    EXPECT_EQ(form->CBoxMP3MinBRate->currentText(), "32");
    EXPECT_EQ(form->CBoxMP3Mode->currentText(), "stereo");
    form->ChBoxMP3VBR->click();
    EXPECT_TRUE(s.IsVBR) << "applied at once";
    Pick(form->CBoxMP3MinBRate, "256"); // above the maximum: nothing is validated
    Pick(form->CBoxMP3MaxBRate, "128");
    form->TBarMP3_VBR_Quality->setValue(7);
    Ok();
    EXPECT_TRUE(s.IsVBR);
    EXPECT_EQ(s.MinBitRate, 256);
    EXPECT_EQ(s.MaxBitRate, 128);
    EXPECT_EQ(s.MP3Quality, 7);
    EXPECT_EQ(s.MP3BitRate, 32);
    EXPECT_EQ(s.MP3Mode, 0);
}

TEST_F(RecSettingsTest, EnableStatesFollowTheCheckBoxes) {
    Open();
    for (bool on : {true, false}) {
        SCOPED_TRACE(on);
        form->ChBoxMP3VBR->click();
        EXPECT_EQ(core::Settings.IsVBR, on);
        EXPECT_EQ(form->CBoxMP3BitRate->isEnabled(), !on);
        EXPECT_EQ(form->CBoxMP3MinBRate->isEnabled(), on);
        EXPECT_EQ(form->CBoxMP3MaxBRate->isEnabled(), on);
        EXPECT_EQ(form->TBarMP3_VBR_Quality->isEnabled(), on);

        form->ChBoxOggQuality->click();
        EXPECT_EQ(core::Settings.IsOggQuality, on);
        EXPECT_EQ(form->CBoxOggRate->isEnabled(), !on);
        for (QWidget* w :
             {static_cast<QWidget*>(form->TBarOGG_Quality),
              static_cast<QWidget*>(form->LabOggQuality), static_cast<QWidget*>(form->LabOggLow),
              static_cast<QWidget*>(form->LabOggHigh)})
            EXPECT_EQ(w->isEnabled(), on) << w->objectName().toStdString();
    }
}

// ---------------------------------------------------------------- sliders

TEST_F(RecSettingsTest, SlidersApplyAtOnceAndShowingChangesNothing) {
    auto& s = core::Settings;
    s.OggQuality = 2.5f;
    s.FlacCompression = 5;
    Open();
    EXPECT_EQ(form->LabOggQuality->text(), "Quality - 2.5");
    EXPECT_EQ(form->TBarOGG_Quality->value(), 2); // 2.5 rounds to even
    EXPECT_EQ(s.OggQuality, 2.5f) << "showing the value must not change it";
    EXPECT_EQ(form->LabFlacLevel->text(), "Compression Level - 5");

    form->TBarOGG_Quality->setValue(7);
    EXPECT_EQ(s.OggQuality, 7.0f);
    EXPECT_EQ(form->LabOggQuality->text(), "Quality - 7");
    form->TBarFlac_Level->setValue(8);
    EXPECT_EQ(s.FlacCompression, 8);
    EXPECT_EQ(form->LabFlacLevel->text(), "Compression Level - 8");
}

TEST(OggQualityText, ShortestForm) {
    const std::pair<float, const char*> cases[] = {
        {0, "Quality - 0"}, {10, "Quality - 10"}, {2.5f, "Quality - 2.5"}, {0.1f, "Quality - 0.1"}};
    for (auto [q, text] : cases)
        EXPECT_EQ(dialogs::OggQualityText(q), text);
}

TEST_F(RecSettingsTest, OggCloseStoresItsPage) {
    auto& s = core::Settings;
    s.OggRate = 100; // not offered (an edited store): the default shows
    Open();
    EXPECT_EQ(form->CBoxOggRate->currentText(), "128");
    Tab(kPageOGG);
    Pick(form->CBoxOggRate, "192");
    Pick(form->CBoxOggChannels, "mono");
    form->ChBoxOggQuality->click();
    form->TBarOGG_Quality->setValue(9);
    Ok();
    EXPECT_TRUE(s.IsOGG);
    EXPECT_EQ(s.OggRate, 192);
    EXPECT_EQ(s.Channels, 1);
    EXPECT_TRUE(s.IsOggQuality);
    EXPECT_EQ(s.OggQuality, 9.0f);
}

TEST_F(RecSettingsTest, TickMarksSitAtTheSliderPositions) {
    Create();
    struct Row {
        QSlider* slider;
        int count, dx, dy;
        double step;
    };
    const Row rows[] = {
        {form->TBarMP3_VBR_Quality, 9, 15, 55, 19.2},
        {form->TBarOGG_Quality, 11, 21, 60, 17.8},
        {form->TBarFlac_Level, 9, 11, -2, 22.2},
    };
    ASSERT_EQ(form->TickMarks.size(), 29u);
    size_t k = 0;
    for (const Row& r : rows) {
        for (int i = 0; i < r.count; ++i, ++k) {
            const QFrame* t = form->TickMarks[k];
            SCOPED_TRACE(t->objectName().toStdString());
            // Round half to even: 17.8 * 5 = 89, 22.2 * 5 = 111, 19.2 * 5 = 96.
            const int x = r.slider->x() + r.dx + static_cast<int>(std::nearbyint(i * r.step));
            EXPECT_EQ(t->geometry(), QRect(x, r.slider->y() + r.dy, 1, 7));
            EXPECT_EQ(t->palette().color(QPalette::Window), QColor(100, 100, 100));
        }
    }
}

// ---------------------------------------------------------------- rate lists

TEST_F(RecSettingsTest, SampleRatesFollowTheDeviceFormats) {
    const QStringList base = {"11025", "22050", "44100"};
    struct Case {
        uint32_t formats;
        int channels, bits;
        QStringList extra;
    };
    const Case cases[] = {
        {kBase | k48S16 | k96S16, 2, 16, {"48000", "96000"}},
        {kBase | k48S16 | k96S16, 1, 16, {}},
        {kBase | k48M16 | k96M16, 1, 16, {"48000", "96000"}},
        {kBase | k48S08 | k96S08, 2, 8, {"48000", "96000"}},
        {kBase | k48M08 | k96M08, 1, 8, {"48000", "96000"}},
        {kBase | k48S16 | k48M16 | k48S08 | k96S16 | k96M16 | k96S08, 1, 8, {}},
        {kBase | k96S16, 2, 16, {"96000"}},
        {kBase | k48M08, 1, 8, {"48000"}},
        {kBase, 2, 16, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.formats << std::dec << " " << c.channels
                                        << "ch " << c.bits << "bit");
        SetFormats(c.formats);
        core::Settings.Channels = c.channels;
        core::Settings.BitPerSample = static_cast<uint16_t>(c.bits);
        core::Settings.SamplePerSecond = 44100;
        Create();
        form->BuildRateLists();
        EXPECT_EQ(Items(form->CBoxSpsWav), base + c.extra);
        EXPECT_EQ(Items(form->CBoxSpsFlac), base + c.extra);
        EXPECT_EQ(form->CBoxSpsWav->currentText(), "44100");
        form.reset();
    }
}

TEST_F(RecSettingsTest, RateListIsRebuiltOnlyWhenThePageIsShownAgain) {
    SetFormats(kBase | k48S16 | k96S16);
    core::Settings.IsMP3 = false;
    core::Settings.IsWav = true;
    Open();
    EXPECT_TRUE(Items(form->CBoxSpsWav).contains("96000"));
    Pick(form->CBoxWavChannel, "mono");
    EXPECT_TRUE(Items(form->CBoxSpsWav).contains("96000")) << "not rebuilt on a channel change";
    Tab(kPageMP3);
    Tab(kPageWAV);
    EXPECT_FALSE(Items(form->CBoxSpsWav).contains("96000"));
    EXPECT_FALSE(Items(form->CBoxSpsWav).contains("48000"));
}

TEST_F(RecSettingsTest, UnsupportedStoredRateIsNotSelectedAndKept) {
    SetFormats(kBase);
    auto& s = core::Settings;
    s.IsMP3 = false;
    s.IsWav = true;
    s.SamplePerSecond = 48000;
    Open();
    EXPECT_EQ(form->CBoxSpsWav->currentIndex(), -1);
    EXPECT_EQ(form->CBoxSpsFlac->currentIndex(), -1);
    Ok();
    EXPECT_EQ(s.SamplePerSecond, 48000u) << "an empty selection keeps the stored rate";
}

// ---------------------------------------------------------------- WMA

TEST(WmaRateItems, OnlyTheUsualStepsInTheEncodersOrder) {
    const std::pair<std::vector<uint32_t>, QStringList> cases[] = {
        {{80000, 0}, {}},
        {{20000, 0}, {"20"}},
        {{320000, 80000, 64000, 24000, 20000, 0}, {"320", "64", "20"}},
        {{128999, 127999, 0}, {"128"}}, // kbit/s by truncation
        {{64000, 0, 128000}, {"64"}},   // nothing after the terminating 0
        {{0}, {}},
        {{}, {}},
    };
    for (const auto& [rates, items] : cases)
        EXPECT_EQ(dialogs::WmaRateItems(rates), items);
}

TEST_F(RecSettingsTest, WmaListFromTheRealEncoder) {
    core::Settings.WMARate = 96;
    for (int channels : {2, 1}) {
        SCOPED_TRACE(channels);
        core::Settings.Channels = channels;
        Open();
        // The encoder takes 80 kbit/s but the list leaves it out; it refuses 20.
        EXPECT_EQ(Items(form->CBoxWmaRate),
                  QStringList({"320", "256", "192", "160", "128", "96", "64", "48", "32"}));
        EXPECT_EQ(form->CBoxWmaRate->currentText(), "96");
        EXPECT_TRUE(prompt.messages.empty());
        form->hide();
    }
}

TEST_F(RecSettingsTest, WmaSelectionAndClose) {
    ScriptedRates enc;
    enc.byChannels[2] = {160000, 80000, 64000, 20000, 0};
    auto& s = core::Settings;
    s.IsMP3 = false;
    s.IsWMA = true;
    s.WMARate = 80; // not in the list: the first item
    Create();
    form->GetWmaRates = std::ref(enc);
    form->show();
    EXPECT_EQ(Items(form->CBoxWmaRate), QStringList({"160", "64", "20"}));
    EXPECT_EQ(form->CBoxWmaRate->currentText(), "160");
    form->CBoxWmaRate->setCurrentIndex(2);
    Ok();
    EXPECT_TRUE(s.IsWMA);
    EXPECT_EQ(s.WMARate, 20);
    EXPECT_EQ(s.Channels, 2);
}

TEST_F(RecSettingsTest, WmaRefusedChannelCounts) {
    const std::vector<uint32_t> stereo = {128000, 64000, 0};
    struct Case {
        const char* name;
        int channels;
        bool monoOk, stereoOk;
        size_t messages;
        int channelsAfter;
        QStringList items; // the list starts with "old"
        const char* shown;
    };
    const Case cases[] = {
        {"mono refused", 1, false, true, 1, 2, {"128", "64"}, "stereo"},
        {"both refused from mono", 1, false, false, 2, 2, {"old"}, "stereo"},
        {"stereo refused", 2, true, false, 1, 2, {"old"}, "stereo"},
        {"mono offered", 1, true, true, 0, 1, {"64"}, "mono"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        prompt.messages.clear();
        ScriptedRates enc;
        if (c.monoOk) enc.byChannels[1] = {64000, 0};
        if (c.stereoOk) enc.byChannels[2] = stereo;
        core::Settings = core::RecordingSettings{};
        core::Settings.IsMP3 = false;
        core::Settings.IsWMA = true;
        core::Settings.Channels = c.channels;
        Create();
        form->GetWmaRates = std::ref(enc);
        form->CBoxWmaRate->addItem("old");
        form->show();
        EXPECT_EQ(prompt.messages, std::vector<std::string>(c.messages, kMessage));
        EXPECT_EQ(core::Settings.Channels, c.channelsAfter);
        EXPECT_EQ(Items(form->CBoxWmaRate), c.items);
        EXPECT_EQ(form->CBoxWmaChannels->currentText(), c.shown);
        Ok();
        // Closing on the list's channels must not bring back a refused mono.
        EXPECT_EQ(core::Settings.Channels, c.channelsAfter);
        form.reset();
    }
}

TEST_F(RecSettingsTest, WmaChannelChoiceFallsBackToStereo) {
    ScriptedRates enc;
    enc.byChannels[2] = {128000, 0};
    Open();
    form->GetWmaRates = std::ref(enc);
    Tab(kPageWMA);
    Pick(form->CBoxWmaChannels, "mono");
    EXPECT_EQ(prompt.messages, std::vector<std::string>{kMessage});
    EXPECT_EQ(core::Settings.Channels, 2);
    EXPECT_EQ(form->CBoxWmaChannels->currentText(), "stereo");
    EXPECT_EQ(enc.asked, (std::vector<uint32_t>{1, 2}));
}

// ---------------------------------------------------------------- closing

TEST_F(RecSettingsTest, EveryWayOfClosingApplies) {
    const std::pair<const char*, std::function<void(dialogs::TFormRecSettings&)>> ways[] = {
        {"OK", [](dialogs::TFormRecSettings& f) { f.BitBtnOK->click(); }},
        {"close box", [](dialogs::TFormRecSettings& f) { f.close(); }},
        {"Escape", [](dialogs::TFormRecSettings& f) { f.reject(); }},
    };
    for (const auto& [name, close] : ways) {
        SCOPED_TRACE(name);
        core::Settings = core::RecordingSettings{};
        core::Settings.Channels = 1;
        Open();
        Tab(kPageOGG);
        Pick(form->CBoxOggRate, "64");
        close(*form);
        EXPECT_FALSE(form->isVisible());
        EXPECT_TRUE(core::Settings.IsOGG);
        EXPECT_EQ(core::Settings.OggRate, 64);
        EXPECT_EQ(core::Settings.Channels, 1); // "mono" from the OGG page
    }
}

TEST_F(RecSettingsTest, ClosingRereadsTheDeviceFormats) {
    SetFormats(platform::kAllWaveFormats);
    Open();
    dev->devices[0].formats = kBase | k48S16;
    Ok();
    EXPECT_EQ(capture::Ring.DeviceFormats, kBase | k48S16);
    Open();
    dev->devices.clear();
    Ok();
    EXPECT_EQ(capture::Ring.DeviceFormats, 0u) << "no device, no formats";
}

// ---------------------------------------------------------------- OpenFormatSettings

class OpenFormatSettingsTest : public RecSettingsTest {
  protected:
    QWidget mainWindow;
    void TearDown() override {
        delete dialogs::FormRecSettings;
        RecSettingsTest::TearDown();
    }
    // Runs `inside` once the modal dialog's loop is running.
    static std::unique_ptr<QTimer> WhenModal(std::function<void()> inside) {
        auto t = std::make_unique<QTimer>();
        t->setSingleShot(true);
        QObject::connect(t.get(), &QTimer::timeout, [inside] { inside(); });
        t->start(0);
        return t;
    }
};

TEST_F(OpenFormatSettingsTest, ReopensCaptureForTheNewFormat) {
    capture::OpenCapture();
    ASSERT_TRUE(capture::Ring.IsCaptureOpen);
    ASSERT_EQ(dev->openedRate, 44100);
    mainWindow.setGeometry(100, 100, 400, 300);
    bool sawDialog = false;
    QPoint dialogAt; // centre of its frame
    auto t = WhenModal([&] {
        auto* f = dialogs::FormRecSettings;
        ASSERT_NE(f, nullptr);
        sawDialog = QApplication::activeModalWidget() == f;
        dialogAt = f->frameGeometry().center();
        f->PControlFormat->setCurrentIndex(kPageWAV);
        Pick(f->CBoxSpsWav, "96000");
        f->BitBtnOK->click();
    });
    int labelRefreshed = 0;
    int rateAtRefresh = 0;
    EXPECT_TRUE(dialogs::OpenFormatSettings(&mainWindow, [&] {
        ++labelRefreshed;
        rateAtRefresh = dev->openedRate;
    }));
    EXPECT_TRUE(sawDialog);
    // Centred on the main window, give or take a window frame not known
    // before the first showing.
    EXPECT_NEAR(dialogAt.x(), mainWindow.frameGeometry().center().x(), 4);
    EXPECT_NEAR(dialogAt.y(), mainWindow.frameGeometry().center().y(), 4);
    EXPECT_EQ(dialogs::FormRecSettings->parentWidget(), &mainWindow);
    EXPECT_EQ(labelRefreshed, 1);
    EXPECT_EQ(rateAtRefresh, 44100) << "the label first, then capture";
    EXPECT_TRUE(core::Settings.IsWav);
    EXPECT_TRUE(capture::Ring.IsCaptureOpen);
    EXPECT_TRUE(dev->isOpen);
    EXPECT_EQ(dev->openedRate, 96000);
    EXPECT_EQ(capture::Params.FramesPerBlock, 9600);
    EXPECT_EQ(dev->queued.size(), static_cast<size_t>(capture::kRingBuffers));
}

TEST_F(OpenFormatSettingsTest, RefusedWhileRecordingOrPlaying) {
    const std::pair<const char*, bool core::SessionState::*> cases[] = {
        {"recording", &core::SessionState::IsRecording},
        {"player shown", &core::SessionState::IsPlayerShown},
    };
    capture::OpenCapture();
    for (auto [name, flag] : cases) {
        SCOPED_TRACE(name);
        core::ResetSessionState();
        core::Session.*flag = true;
        bool shown = false;
        // Should the dialog come up anyway, close it so the test can fail.
        auto t = WhenModal([&] {
            if (QWidget* w = QApplication::activeModalWidget()) {
                shown = true;
                w->close();
            }
        });
        bool refreshed = false;
        EXPECT_FALSE(dialogs::OpenFormatSettings(&mainWindow, [&] { refreshed = true; }));
        QApplication::processEvents();
        EXPECT_FALSE(shown);
        EXPECT_FALSE(refreshed);
        EXPECT_TRUE(core::Settings.IsMP3);
        EXPECT_EQ(dev->queued.size(), static_cast<size_t>(capture::kRingBuffers));
    }
}

// ---------------------------------------------------------------- screenshots

// One picture per page for a person to look at; run under Xvfb for the real
// window system, offscreen works too.
TEST_F(RecSettingsTest, ScreenshotsOfEveryPage) {
    const QString dir = QStringLiteral(KESTRUNE_BUILD_DIR "/screenshots");
    ASSERT_TRUE(QDir().mkpath(dir));
    core::Settings.IsVBR = true;
    core::Settings.OggQuality = 6;
    core::Settings.FlacCompression = 5;
    Open();
    const char* names[] = {"mp3", "ogg", "wma", "wav", "flac"};
    for (int page = 0; page < 5; ++page) {
        Tab(page);
        QApplication::processEvents();
        const QImage img = form->grab().toImage();
        ASSERT_EQ(img.size(), QSize(345, 271) * img.devicePixelRatio());
        // The dialog's own surface is the skin's, not the desktop's grey.
        EXPECT_EQ(img.pixelColor(2, img.height() - 2), mainwindow::SkinColor) << names[page];
        EXPECT_TRUE(img.save(dir + QStringLiteral("/format_settings_%1.png").arg(names[page])));
    }
}

// The marks must lie under the drawn handle's centre at each position.
TEST_F(RecSettingsTest, TickMarksMatchTheHandle) {
    core::Settings.IsVBR = core::Settings.IsOggQuality = true; // handles drawn enabled
    Open();
    size_t k = 0;
    for (QSlider* s : {form->TBarMP3_VBR_Quality, form->TBarOGG_Quality, form->TBarFlac_Level}) {
        QWidget* page = s->parentWidget()->inherits("QGroupBox") ? s->parentWidget()->parentWidget()
                                                                 : s->parentWidget();
        form->PControlFormat->setCurrentWidget(page);
        QApplication::processEvents();
        for (int v = 0; v <= s->maximum(); ++v, ++k) {
            s->setValue(v);
            const QImage img = s->grab().toImage();
            int left = img.width(), right = -1;
            for (int y = 0; y < img.height(); ++y)
                for (int x = 0; x < img.width(); ++x)
                    if (img.pixelColor(x, y) == mainwindow::AccentColor) {
                        left = std::min(left, x);
                        right = std::max(right, x);
                    }
            ASSERT_GE(right, 0) << "no handle drawn";
            const int centre = s->mapTo(page, QPoint((left + right) / 2, 0)).x();
            ASSERT_LT(k, form->TickMarks.size());
            EXPECT_NEAR(form->TickMarks[k]->x(), centre, 1)
                << s->objectName().toStdString() << " position " << v;
        }
    }
}

} // namespace
