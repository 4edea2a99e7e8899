#include <gtest/gtest.h>

#include <cmath>

#include "core/state.h"
#include "playback/spectrum.h"

namespace {

using playback::TFFTData;
using playback::TSpectrum;

const QRgb kBar = QColor(110, 210, 110).rgb();
const QRgb kPeak = QColor(100, 255, 100).rgb();
const QRgb kBack = QColor(53, 67, 72).rgb();
const QRgb kGrid = QColor(144, 144, 144).rgb();

class SpectrumTest : public ::testing::Test {
  protected:
    void SetUp() override {
        core::ResetSessionState();
        core::Session.IsPlaying = true;
    }
    TSpectrum s{279, 111};
};

TEST_F(SpectrumTest, BarHeightsFromMagnitudes) {
    struct Case {
        float magnitude;
        int height;
    } cases[] = {{0, 0},          {1.0f / 9.0f, 100}, {0.5f, 100}, {-1.0f / 9.0f, 100},
                 {1.0f / 16, 75}, {1.0f / 64, 37},    {1e-6f, 0}};
    for (const auto& c : cases) {
        TSpectrum fresh(279, 111);
        TFFTData d{};
        d[5] = c.magnitude; // the first column shows bin 5
        fresh.Draw(nullptr, d, 5, -3);
        EXPECT_EQ(fresh.BarAt(0), c.height) << c.magnitude;
        EXPECT_EQ(fresh.PeakAt(0), c.height) << c.magnitude;
    }
}

TEST_F(SpectrumTest, BarsAndPeaksFallToZero) {
    TFFTData loud{};
    loud[5] = 1.0f / 16; // height 75
    s.Draw(nullptr, loud, 5, -3);
    TFFTData quiet{};
    for (int call = 1; call <= 80; ++call) {
        s.Draw(nullptr, quiet, 5, -3);
        EXPECT_EQ(s.BarAt(0), std::max(75 - 3 * call, 0)) << call;
        EXPECT_EQ(s.PeakAt(0), std::max(75 - call, 0)) << call;
    }
    // While nothing plays every magnitude counts as silence.
    core::Session.IsPlaying = false;
    TSpectrum t(279, 111);
    t.Draw(nullptr, loud, 5, -3);
    EXPECT_EQ(t.BarAt(0), 0);
}

TEST_F(SpectrumTest, FrameLayout) {
    TFFTData d{};
    d[5] = 1.0f;    // column 0 full height
    d[6] = 1.0f / 256; // column 1: sqrt * 300 = 18.75, height 18
    s.Draw(nullptr, d, 5, -3);
    const QImage& img = s.Bitmap();
    // Baseline row 108: column 0 covers rows 8..107 and x 5..8.
    for (int x = 5; x <= 8; ++x) {
        EXPECT_EQ(img.pixel(x, 107), kBar) << x;
        EXPECT_EQ(img.pixel(x, 9), kBar) << x;
    }
    EXPECT_EQ(img.pixel(9, 100), kBack) << "one free column between bars";
    // Its peak mark sits on row 8 (108 - 100), drawn first and then overdrawn by the bar.
    EXPECT_EQ(img.pixel(6, 8), kBar);
    EXPECT_NE(img.pixel(6, 7), kBar);
    // Column 1: rows 90..107 bar, the peak on 90 is covered too; row 89 free.
    EXPECT_EQ(img.pixel(10, 90), kBar);
    EXPECT_EQ(img.pixel(10, 89), kBack);
    // Silent columns show their peak mark on the baseline row.
    EXPECT_EQ(img.pixel(5 + 5 * 10, 108), kPeak);
    // Dotted grid: rows 27, 54, 81, 108 and columns 27, 54, ... 243.
    EXPECT_EQ(img.pixel(0, 27), kGrid);
    EXPECT_EQ(img.pixel(3, 27), kBack) << "dots leave gaps";
    EXPECT_EQ(img.pixel(27, 0), kGrid);
    EXPECT_EQ(img.pixel(243, 0), kGrid);
    EXPECT_EQ(img.pixel(100, 0), kBack);
}

TEST_F(SpectrumTest, OptionsChangeWhatIsDrawn) {
    // Resolution 3: column c shows bin 3c + 5, the last one bin 389.
    s.SetRes(3);
    TFFTData d{};
    d[389] = 1.0f;
    d[8] = 1.0f;
    s.Draw(nullptr, d, 5, -3);
    EXPECT_EQ(s.BarAt(128), 100);
    EXPECT_EQ(s.BarAt(1), 100);
    EXPECT_EQ(s.BarAt(0), 0);
    // A resolution that would read past the frame reads silence there, not memory.
    TSpectrum wide(279, 111);
    wide.SetRes(10);
    TFFTData ones;
    ones.fill(1.0f);
    wide.Draw(nullptr, ones, 5, -3);
    EXPECT_EQ(wide.BarAt(50), 100);
    EXPECT_EQ(wide.BarAt(51), 0);

    // No peak marks drawn, but the peaks still follow.
    TSpectrum nopeak(279, 111);
    nopeak.SetDrawPeak(false);
    TFFTData q{};
    nopeak.Draw(nullptr, q, 5, -3);
    EXPECT_EQ(nopeak.Bitmap().pixel(5, 108),
              kGrid == nopeak.Bitmap().pixel(5, 108) ? kGrid : kBack);
    EXPECT_NE(nopeak.Bitmap().pixel(6, 108), kPeak);
    TFFTData l{};
    l[5] = 1.0f;
    nopeak.Draw(nullptr, l, 5, -3);
    EXPECT_EQ(nopeak.PeakAt(0), 100);

    // Without clearing the frame the old bar stays under the new one.
    TSpectrum keep(279, 111);
    keep.SetFrameClear(false);
    keep.Draw(nullptr, l, 5, -3);
    keep.Draw(nullptr, q, 5, -3);
    EXPECT_EQ(keep.BarAt(0), 97);
    EXPECT_EQ(keep.Bitmap().pixel(6, 10), kBar) << "the fallen part is still visible";

    // Mode 0: one-pixel lines from the baseline, end row excluded.
    TSpectrum lines(279, 111);
    lines.SetMode(0);
    TFFTData m{};
    m[5] = 1.0f / 256; // 18
    lines.Draw(nullptr, m, 5, -3);
    const QRgb pen = QColor(120, 150, 255).rgb();
    EXPECT_EQ(lines.Bitmap().pixel(5, 108), pen);
    EXPECT_EQ(lines.Bitmap().pixel(5, 91), pen);
    EXPECT_EQ(lines.Bitmap().pixel(5, 90), pen) << "the peak pixel";
    EXPECT_EQ(lines.Bitmap().pixel(5, 89), kBack);
    EXPECT_EQ(lines.Bitmap().pixel(6, 100), kBack);
}

} // namespace
