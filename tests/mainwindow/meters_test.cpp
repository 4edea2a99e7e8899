#include <gtest/gtest.h>

#include <QDir>
#include <QImage>
#include <QPainter>
#include <cmath>
#include <cstring>
#include <random>

#include "capture/capture.h"
#include "capture/spectrum.h"
#include "core/settings.h"
#include "core/state.h"
#include "mainwindow/images.h"
#include "mainwindow/meters.h"
#include "mainwindow/meters_reference.h"

using namespace mainwindow;

namespace {

const QRgb kSkin = qRgb(53, 67, 72);
const QRgb kGrid = qRgb(144, 144, 144);
const QRgb kLeft = qRgb(200, 200, 255);
const QRgb kRight = qRgb(200, 255, 200);

QRgb At(const QImage& im, int x, int y) {
    return im.pixel(x, y) | 0xff000000u;
}

class MetersTest : public ::testing::Test {
  protected:
    void SetUp() override {
        core::Settings = core::RecordingSettings{};
        core::ResetSessionState();
        capture::Block = capture::BlockState{};
        capture::Spectrum = capture::SpectrumState{};
        capture::Params = capture::CaptureParams{};
        capture::Params.FramesPerBlock = 4410;
        Meters = MeterState{};
        InitMeterGeometry();
        ComputeMeterScales();
    }
    // One block drawn from the current levels, without the spectrum analysis.
    void Draw() {
        ClearPanels();
        DrawMeters();
    }
    // A peak that the level bar shows as `level` pixels.
    static float PeakFor(int level) { return level / Meters.LevelScale; }
};

TEST_F(MetersTest, PanelsHaveTheirSizesAndPlaces) {
    EXPECT_EQ(Meters.ScopePanel.size(), QSize(171, 116));
    EXPECT_EQ(Meters.SpectrumPanel.size(), QSize(177, 118));
    EXPECT_EQ(Meters.LevelPanel.size(), QSize(371, 31));
    EXPECT_EQ(ScopeRect.topLeft(), QPoint(16, 95));
    EXPECT_EQ(SpectrumRect.topLeft(), QPoint(208, 95));
    EXPECT_EQ(LevelRect.topLeft(), QPoint(14, 230));

    // Painted at their places over whatever the window shows.
    QImage window(400, 300, QImage::Format_RGB32);
    window.fill(Qt::black);
    QPainter p(&window);
    PaintMeters(p);
    p.end();
    for (QPoint in : {QPoint(16, 95), QPoint(186, 210), QPoint(384, 212), QPoint(14, 260)})
        EXPECT_NE(At(window, in.x(), in.y()), qRgb(0, 0, 0)) << in.x() << "," << in.y();
    for (QPoint out : {QPoint(15, 95), QPoint(187, 150), QPoint(385, 100), QPoint(14, 261)})
        EXPECT_EQ(At(window, out.x(), out.y()), qRgb(0, 0, 0)) << out.x() << "," << out.y();
}

TEST_F(MetersTest, ScaleFactorsFollowChannelsAndBlockLength) {
    struct Case {
        int channels;
        uint16_t frames;
        float scope, scopeX;
    } cases[] = {
        {2, 4410, 113.0f / 131068, 170.0f / 4410},
        {1, 4800, 113.0f / 65534, 170.0f / 4800},
        {2, 9600, 113.0f / 131068, 170.0f / 9600},
    };
    for (const Case& c : cases) {
        core::Settings.Channels = c.channels;
        capture::Params.FramesPerBlock = c.frames;
        ComputeMeterScales();
        EXPECT_FLOAT_EQ(Meters.ScopeScale, c.scope);
        EXPECT_FLOAT_EQ(Meters.ScopeXScale, c.scopeX);
        EXPECT_FLOAT_EQ(Meters.LevelScale, 346.0f / 32767);
        EXPECT_FLOAT_EQ(Meters.BandScale, 115.0f / 65534);
    }
}

TEST_F(MetersTest, ThresholdMarkerFromLevel) {
    struct Case {
        float level;
        int x;
    } cases[] = {{0, 14}, {50, 187}, {100, 360}, {25, 100}, {-10, 14}, {250, 360}};
    for (const Case& c : cases)
        EXPECT_EQ(ThresholdMarkerFromLevel(c.level), c.x) << c.level;
    core::Settings.ThresholdLevel = 50;
    InitMeterGeometry();
    EXPECT_EQ(Meters.ThresholdMarkerX, 187);
}

TEST_F(MetersTest, SilenceInStereo) {
    ResetMeters();
    const QImage& s = Meters.ScopePanel;
    for (int x : {3, 60, 150}) {
        EXPECT_EQ(At(s, x, 28), kLeft) << x;
        EXPECT_EQ(At(s, x, 86), kRight) << x;
    }
    // Spectrum: no bars, the caps lie on the base lines.
    const QImage& sp = Meters.SpectrumPanel;
    EXPECT_EQ(At(sp, 25, 58), kLeft);
    EXPECT_EQ(At(sp, 25, 117), kRight);
    EXPECT_EQ(At(sp, 25, 57), kSkin);
    EXPECT_EQ(At(sp, 25, 116), kSkin);
    // Level bars: only the column at x = 14 (between the dots of the scale line).
    const QImage& l = Meters.LevelPanel;
    EXPECT_EQ(At(l, 14, 2), qRgb(135, 165, 215));
    EXPECT_EQ(At(l, 14, 20), qRgb(135, 215, 165));
    EXPECT_EQ(At(l, 15, 2), kSkin);
    EXPECT_EQ(At(l, 16, 20), kSkin);
    EXPECT_EQ(At(l, 14, 1), kGrid);  // scale line drawn over the silent bar
    EXPECT_EQ(At(l, 367, 5), kSkin); // no clip
    EXPECT_EQ(At(l, 200, 14), kGrid);
}

TEST_F(MetersTest, FullScaleStereoBlock) {
    capture::Block.PeakLeft = capture::Block.PeakRight = 32767;
    capture::Block.ClipHoldLeft = 30;
    Draw();
    const QImage& l = Meters.LevelPanel;
    // (Odd rows carry the dots of the scale line at 360, which lies past 346 + 12.)
    EXPECT_EQ(At(l, 360, 6), qRgb(120, 150, 195));
    EXPECT_EQ(At(l, 359, 5), qRgb(135, 165, 215));
    EXPECT_EQ(At(l, 361, 5), kSkin);
    EXPECT_EQ(At(l, 360, 22), qRgb(120, 195, 150));
    EXPECT_EQ(At(l, 367, 5), qRgb(255, 0, 0)); // left clip lit
    EXPECT_EQ(At(l, 367, 22), kSkin);          // right one not
    EXPECT_EQ(Meters.LevelHoldLeft, 344 - 8);  // round(86.5) * 4 = 344, then decay
    EXPECT_EQ(Meters.LevelHoldRight, 344 - 8);
    // The scale lines stay off the bar.
    EXPECT_EQ(At(l, 187, 1), qRgb(165, 195, 255));
}

TEST_F(MetersTest, ClipIndicatorDarkensWithItsHold) {
    struct Case {
        int32_t hold;
        int red;
    } cases[] = {{30, 255}, {29, 253}, {1, 197}};
    for (const Case& c : cases) {
        capture::Block.ClipHoldRight = c.hold;
        Draw();
        EXPECT_EQ(At(Meters.LevelPanel, 366, 20), qRgb(c.red, 0, 0)) << c.hold;
    }
}

TEST_F(MetersTest, HoldMarkerAfterALouderBlockFalls) {
    Meters.LevelHoldLeft = 300;
    capture::Block.PeakLeft = PeakFor(100);
    Draw();
    const QImage& l = Meters.LevelPanel;
    QRgb hold = qRgb(175, 195, 235); // c = round(346 * 312 / 360) = 300, s = 75
    for (int x = 296; x <= 299; ++x)
        EXPECT_EQ(At(l, x, 5), hold) << x;
    EXPECT_EQ(At(l, 295, 5), kSkin);
    EXPECT_EQ(At(l, 300, 5), kSkin);
    EXPECT_EQ(Meters.LevelHoldLeft, 292);
}

TEST_F(MetersTest, HoldDecaysToEightAndStays) {
    struct Case {
        int channels, start;
        std::vector<int> after;
    } cases[] = {
        {2, 20, {12, 4, 4}}, // 20 -> 12 -> 4, then no longer above 8
        {2, 16, {8, 8, 8}},
        {1, 40, {22, 4, 4}},
    };
    for (const Case& c : cases) {
        core::Settings.Channels = c.channels;
        Meters.LevelHoldLeft = c.start;
        for (size_t i = 0; i < c.after.size(); ++i) {
            Draw();
            EXPECT_EQ(Meters.LevelHoldLeft, c.after[i])
                << c.channels << "/" << c.start << " #" << i;
        }
    }
}

TEST_F(MetersTest, ThresholdMarkerOnlyInSoundActivatedMode) {
    Meters.ThresholdMarkerX = 187;
    Draw();
    QRgb off = At(Meters.LevelPanel, 187, 15);
    core::Settings.IsTresh = true;
    Draw();
    QRgb on = At(Meters.LevelPanel, 187, 15);
    EXPECT_NE(on, off);
    EXPECT_GT(qRed(on), 200);
    EXPECT_LT(qGreen(on), 140);
}

TEST_F(MetersTest, FullScaleMonoBlock) {
    core::Settings.Channels = 1;
    ComputeMeterScales();
    capture::Block.PeakLeft = 32767;
    capture::Block.ClipHoldLeft = 30;
    Draw();
    const QImage& l = Meters.LevelPanel;
    EXPECT_EQ(At(l, 360, 20), qRgb(120, 150, 195));
    EXPECT_EQ(At(l, 361, 20), kSkin);
    EXPECT_EQ(At(l, 362, 27), qRgb(255, 0, 0));
    EXPECT_EQ(At(l, 369, 1), qRgb(255, 0, 0));
    EXPECT_EQ(At(l, 200, 14), qRgb(120, 150, 195)); // no middle line in mono
    EXPECT_EQ(Meters.LevelHoldLeft, 344 - 18);
}

TEST_F(MetersTest, SpectrumCapsAndBarsFall) {
    // Band 2 (x 25..28) is clear of the grid's columns.
    const int k = 2, x = 5 * k + 15;
    capture::Spectrum.BandLevelsLeft[k] = 59.4f / Meters.BandScale; // v = 59: drawn at 56
    Draw();
    const QImage& sp = Meters.SpectrumPanel;
    EXPECT_EQ(Meters.BandCapsLeft[k], 56);
    EXPECT_EQ(At(sp, x, 2), kLeft);
    EXPECT_EQ(At(sp, x + 3, 2), kLeft);
    EXPECT_EQ(At(sp, x + 4, 2), kSkin);
    EXPECT_EQ(At(sp, x, 3), qRgb(120, 150, 195));
    EXPECT_EQ(At(sp, x + 3, 30), qRgb(165, 195, 255));

    capture::Spectrum.BandLevelsLeft[k] = 0;
    Draw();
    EXPECT_EQ(Meters.BandCapsLeft[k], 54);
    EXPECT_EQ(Meters.BandBarsLeft[k], 51);
    EXPECT_EQ(At(sp, x, 4), kLeft);
    EXPECT_EQ(At(sp, x, 8), qRgb(120, 150, 195));
    EXPECT_EQ(At(sp, x, 7), kSkin);

    // v = 58 exactly is drawn at 58.
    capture::Spectrum.BandLevelsRight[k] = 58.2f / Meters.BandScale;
    Draw();
    EXPECT_EQ(Meters.BandCapsRight[k], 58);
    EXPECT_EQ(At(sp, x, 117 - 58), kRight);
}

TEST_F(MetersTest, BoostTextFollowsTheLetters) {
    Draw();
    QImage plain = Meters.ScopePanel.copy();
    core::Settings.SoundBoost = 6;
    Draw();
    // "L+6 dB" reaches past the letter alone, at the top and at the bottom.
    for (int top : {0, 103}) {
        int changed = 0;
        for (int y = top; y < top + 12; ++y)
            for (int x = 10; x < 60; ++x)
                changed += At(plain, x, y) != At(Meters.ScopePanel, x, y);
        EXPECT_GT(changed, 10) << top;
    }
}

TEST_F(MetersTest, NothingDrawnWhileThePlayerIsShown) {
    Meters.LevelPanel.fill(Qt::magenta);
    capture::Block.PeakLeft = 32767;
    core::Session.IsPlayerShown = true;
    UpdateMeters();
    EXPECT_EQ(At(Meters.LevelPanel, 100, 5), qRgb(255, 0, 255));
    core::Session.IsPlayerShown = false;
    UpdateMeters();
    EXPECT_NE(At(Meters.LevelPanel, 100, 5), qRgb(255, 0, 255));
}

bool SamePixels(const QImage& a, const QImage& b) {
    return a.size() == b.size() && a.format() == b.format() &&
           std::memcmp(a.constBits(), b.constBits(), static_cast<size_t>(a.sizeInBytes())) == 0;
}

// The drawing, made faster, against the drawing as first written: random
// blocks, levels, holds, clips, boosts and channel counts in long runs, so that
// caps, bars and hold marks rise and fall; every pixel and every counter alike.
TEST_F(MetersTest, SamePixelsAsTheFirstDrawing) {
    std::mt19937 rng(41);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    auto& ref = meters_reference::Meters;
    ref = Meters;
    ref.ScopePanel = Meters.ScopePanel.copy();
    ref.SpectrumPanel = Meters.SpectrumPanel.copy();
    ref.LevelPanel = Meters.LevelPanel.copy();
    const uint16_t frames[] = {4410, 4800, 9600};
    for (int run = 0; run < 12; ++run) {
        core::Settings.Channels = pick(1, 2);
        core::Settings.SoundBoost = pick(0, 2) * 6;
        core::Settings.IsTresh = pick(0, 1) == 1;
        Meters.ThresholdMarkerX = ref.ThresholdMarkerX = pick(14, 360);
        capture::Params.FramesPerBlock = frames[pick(0, 2)];
        ComputeMeterScales();
        ref.LevelScale = Meters.LevelScale, ref.ScopeScale = Meters.ScopeScale;
        ref.ScopeXScale = Meters.ScopeXScale, ref.BandScale = Meters.BandScale;
        const int loud = pick(0, 3); // 0: silence .. 3: past full scale
        for (int step = 0; step < 40; ++step) {
            SCOPED_TRACE(testing::Message() << "run " << run << " step " << step);
            auto& b = capture::Block;
            const int amplitude = step % 10 < 5 ? loud * 12000 : pick(0, 200);
            for (int i = 0; i <= capture::kMaxFrames; ++i) {
                b.LeftBlock[i] =
                    static_cast<int16_t>(std::clamp(pick(-amplitude, amplitude), -32768, 32767));
                b.RightBlock[i] =
                    static_cast<int16_t>(std::clamp(pick(-amplitude, amplitude), -32768, 32767));
            }
            b.PeakLeft = static_cast<float>(pick(0, amplitude));
            b.PeakRight = static_cast<float>(pick(0, amplitude));
            b.ClipHoldLeft = pick(0, 3) == 0 ? pick(1, 30) : 0;
            b.ClipHoldRight = pick(0, 3) == 0 ? pick(1, 30) : 0;
            for (int k = 0; k < capture::kBandCount; ++k) {
                capture::Spectrum.BandLevelsLeft[k] = static_cast<float>(pick(0, loud * 25000));
                capture::Spectrum.BandLevelsRight[k] = static_cast<float>(pick(0, loud * 25000));
            }
            // Every other block goes the live way: analysed, drawn without clearing.
            const bool live = step % 2 == 0;
            if (live) capture::MeterAnalysis();
            meters_reference::ClearPanels();
            meters_reference::DrawMeters();
            if (live)
                UpdateMeters();
            else
                Draw();
            ASSERT_TRUE(SamePixels(Meters.ScopePanel, ref.ScopePanel));
            ASSERT_TRUE(SamePixels(Meters.SpectrumPanel, ref.SpectrumPanel));
            ASSERT_TRUE(SamePixels(Meters.LevelPanel, ref.LevelPanel));
            ASSERT_EQ(Meters.LevelHoldLeft, ref.LevelHoldLeft);
            ASSERT_EQ(Meters.LevelHoldRight, ref.LevelHoldRight);
            for (int k = 0; k < capture::kBandCount; ++k) {
                ASSERT_EQ(Meters.BandCapsLeft[k], ref.BandCapsLeft[k]) << k;
                ASSERT_EQ(Meters.BandBarsLeft[k], ref.BandBarsLeft[k]) << k;
                ASSERT_EQ(Meters.BandCapsRight[k], ref.BandCapsRight[k]) << k;
                ASSERT_EQ(Meters.BandBarsRight[k], ref.BandBarsRight[k]) << k;
            }
        }
    }
}

// Not a check: the meters of a 1 kHz tone on the window's skin, for people to look at.
TEST_F(MetersTest, SineScreenshot) {
    for (int i = 0; i <= capture::kMaxFrames; ++i) {
        double t = i / 44100.0;
        capture::Block.LeftBlock[i] = static_cast<int16_t>(20000 * std::sin(2 * M_PI * 1000 * t));
        capture::Block.RightBlock[i] = static_cast<int16_t>(9000 * std::sin(2 * M_PI * 3000 * t));
    }
    capture::Block.PeakLeft = 20000;
    capture::Block.PeakRight = 9000;
    core::Settings.IsTresh = true;
    core::Settings.SoundBoost = 6;
    Meters.ThresholdMarkerX = 187;
    for (int i = 0; i < 3; ++i)
        UpdateMeters();
    QImage window(400, 300, QImage::Format_RGB32);
    QPainter p(&window);
    p.drawPixmap(0, 0, Form4().Picture("ImageForm1"));
    PaintMeters(p);
    p.end();
    QDir().mkpath(KESTRUNE_BUILD_DIR "/screenshots");
    EXPECT_TRUE(window.save(KESTRUNE_BUILD_DIR "/screenshots/meters_sine.png"));
}

} // namespace
