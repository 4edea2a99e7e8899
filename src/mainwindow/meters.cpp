#include "mainwindow/meters.h"

#include <QFont>
#include <QPainter>
#include <QWidget>
#include <algorithm>
#include <cstring>

#include "capture/capture.h"
#include "capture/spectrum.h"
#include "core/rounding.h"
#include "core/settings.h"
#include "core/state.h"
#include "mainwindow/images.h"

namespace mainwindow {

MeterState Meters;

namespace {

using core::RoundEvenInt;

const QRgb kSkin = qRgb(53, 67, 72);
const QRgb kGrid = qRgb(144, 144, 144);
const QRgb kLeft = qRgb(200, 200, 255);
const QRgb kRight = qRgb(200, 255, 200);

// Pixel drawing on a panel, clipped to it. Lines leave out their end point and
// rectangles cover left..right - 1, top..bottom - 1. The panel's pixels are
// taken once per drawing: QImage's per-pixel access checks for sharing on
// every call.
struct Canvas {
    explicit Canvas(QImage& im)
        : bits(reinterpret_cast<QRgb*>(im.bits())), width(im.width()), height(im.height()),
          stride(static_cast<int>(im.bytesPerLine() / sizeof(QRgb))) {}
    QRgb* bits;
    int width, height, stride;
};

inline void Dot(Canvas& im, int x, int y, QRgb c) {
    if (x < 0 || y < 0 || x >= im.width || y >= im.height) return;
    im.bits[y * im.stride + x] = c;
}

void Line(Canvas& im, int x1, int y1, int x2, int y2, QRgb c) {
    int dx = std::abs(x2 - x1), dy = -std::abs(y2 - y1);
    int sx = x1 < x2 ? 1 : -1, sy = y1 < y2 ? 1 : -1;
    int err = dx + dy;
    while (x1 != x2 || y1 != y2) {
        Dot(im, x1, y1, c);
        int e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            x1 += sx;
        }
        if (e2 <= dx) {
            err += dx;
            y1 += sy;
        }
    }
}

// Dotted: every other pixel, starting with the first.
void DottedH(Canvas& im, int x1, int x2, int y, QRgb c) {
    for (int x = x1; x < x2; x += 2)
        Dot(im, x, y, c);
}
void DottedV(Canvas& im, int x, int y1, int y2, QRgb c) {
    for (int y = y1; y < y2; y += 2)
        Dot(im, x, y, c);
}

void Fill(Canvas& im, int left, int top, int right, int bottom, QRgb c) {
    for (int y = top; y < bottom; ++y)
        for (int x = left; x < right; ++x)
            Dot(im, x, y, c);
}

void Text(QImage& im, int x, int y, const QString& text) {
    QPainter p(&im);
    QFont f("Liberation Sans");
    f.setPixelSize(10);
    p.setFont(f);
    p.setPen(QColor(kGrid));
    p.setBackgroundMode(Qt::OpaqueMode);
    p.setBackground(QColor(kSkin));
    p.drawText(QRect(x, y, 120, 14), Qt::AlignLeft | Qt::AlignTop, text);
}

QString BoostText(int boost) {
    return boost > 0 ? QString("+%1 dB").arg(boost) : QString();
}

// Grid shared by both panels: seven dotted rows and nine dotted columns.
void Grid(Canvas& im, int w, int h) {
    for (int i = 1; i <= 7; ++i)
        DottedH(im, 1, w, i * h / 8, kGrid);
    for (int j = 1; j <= 9; ++j)
        DottedV(im, j * w / 10, 1, h, kGrid);
}

// What a panel shows before the block's own drawing: the skin, the grid and
// the letters, none of which depend on the sound. Drawn when the channel
// count or the boost changes, then copied at every block instead of being
// drawn again (text drawing is the slowest part of a panel).
struct Background {
    QImage image;
    int stereo = -1; // not drawn yet
    int boost = -1;
};

const QImage& ScopeBackground(bool stereo) {
    static Background b;
    const int boost = core::Settings.SoundBoost;
    if (b.stereo != int(stereo) || b.boost != boost || b.image.size() != ScopeRect.size()) {
        b.image = QImage(ScopeRect.size(), QImage::Format_RGB32);
        b.image.fill(kSkin);
        Canvas c(b.image);
        Grid(c, 170, 115);
        Line(c, 1, 57, 170, 57, kGrid);
        const QString boostText = BoostText(boost);
        if (stereo) {
            Text(b.image, 2, 0, "L" + boostText);
            Text(b.image, 2, 103, "R" + boostText);
        } else if (!boostText.isEmpty()) {
            Text(b.image, 2, 0, boostText);
        }
        b.stereo = int(stereo);
        b.boost = boost;
    }
    return b.image;
}

const QImage& SpectrumBackground(bool stereo) {
    static Background b;
    if (b.stereo != int(stereo) || b.image.size() != SpectrumRect.size()) {
        b.image = QImage(SpectrumRect.size(), QImage::Format_RGB32);
        b.image.fill(kSkin);
        Canvas c(b.image);
        Line(c, 1, 58, 176, 58, kGrid);
        Grid(c, 176, 117);
        if (stereo) {
            Text(b.image, 2, 0, "L");
            Text(b.image, 2, 105, "R");
        }
        b.stereo = int(stereo);
    }
    return b.image;
}

// The level panel draws its middle line and letters after the bars; the bars,
// hold marks and scale lines start at x = 13 and leave row 14 free, so the
// order makes no difference and they can lie under the bars from the start.
const QImage& LevelBackground(bool stereo) {
    static Background b;
    if (b.stereo != int(stereo) || b.image.size() != LevelRect.size()) {
        b.image = QImage(LevelRect.size(), QImage::Format_RGB32);
        b.image.fill(kSkin);
        if (stereo) {
            Canvas c(b.image);
            Line(c, 1, 14, 370, 14, kGrid);
            Text(b.image, 3, 0, "L");
            Text(b.image, 3, 13, "R");
        }
        b.stereo = int(stereo);
    }
    return b.image;
}

// Copies a background over a panel of the same size and format, in place.
void Restore(QImage& panel, const QImage& background) {
    if (panel.size() != background.size() || panel.format() != background.format()) {
        panel = background.copy();
        return;
    }
    std::memcpy(panel.bits(), background.constBits(),
                static_cast<size_t>(background.sizeInBytes()));
}

// Points and frame step of the scope per block length; any other length
// takes the 44.1 kHz figures, which stay inside the block buffers.
void ScopeSteps(int& points, int& step) {
    switch (capture::Params.FramesPerBlock) {
    case 4800:
        points = 155, step = 31;
        break;
    case 9600:
        points = 152, step = 63;
        break;
    default:
        points = 152, step = 29;
    }
}

void Trace(Canvas& im, const int16_t* block, int centre, int minY, QRgb c) {
    int points, step;
    ScopeSteps(points, step);
    const MeterState& m = Meters;
    auto yAt = [&](int i) {
        int y = centre - RoundEvenInt(block[i] * m.ScopeScale);
        return std::max(y, minY);
    };
    int px = 0, py = yAt(0);
    for (int j = 0; j < points; ++j) {
        int i = std::min(j * step, capture::kMaxFrames);
        int x = RoundEvenInt(static_cast<float>(j) * m.ScopeXScale * static_cast<float>(step));
        int y = yAt(i);
        Line(im, px, py, x, y, c);
        px = x, py = y;
    }
}

void DrawScope(bool stereo) {
    QImage& panel = Meters.ScopePanel;
    Restore(panel, ScopeBackground(stereo));
    Canvas im(panel);
    if (stereo) {
        Trace(im, capture::Block.LeftBlock, 28, 1, kLeft);
        Trace(im, capture::Block.RightBlock, 86, 1, kRight);
    } else {
        Trace(im, capture::Block.LeftBlock, 57, 1, kLeft);
    }
}

// One band's cap and bar: caps fall 2 px and bars 5 px per block.
void StepBand(int v, int32_t& cap, int32_t& bar) {
    cap = v >= cap ? v : cap - 2;
    bar = v >= bar ? v : bar - 5;
    cap = std::max(cap, 0);
    bar = std::max(bar, 0);
}

void DrawBand(Canvas& im, int x, int base, int cap, int bar, QRgb capColour, bool right) {
    Line(im, x, base - cap, x + 4, base - cap, capColour);
    for (int l = 0; l < 4; ++l) {
        QRgb c = right ? qRgb(120 + 15 * l, 195 + 20 * l, 150 + 15 * l)
                       : qRgb(120 + 15 * l, 150 + 15 * l, 195 + 20 * l);
        Line(im, x + l, base, x + l, base - bar, c);
    }
}

void DrawSpectrum(bool stereo) {
    QImage& panel = Meters.SpectrumPanel;
    Restore(panel, SpectrumBackground(stereo));
    Canvas im(panel);
    MeterState& m = Meters;
    const capture::SpectrumState& s = capture::Spectrum;
    if (stereo) {
        for (int side = 0; side < 2; ++side) {
            const float* levels = side ? s.BandLevelsRight : s.BandLevelsLeft;
            int32_t* caps = side ? m.BandCapsRight : m.BandCapsLeft;
            int32_t* bars = side ? m.BandBarsRight : m.BandBarsLeft;
            for (int k = 0; k < capture::kBandCount; ++k) {
                int v = RoundEvenInt(m.BandScale * levels[k]);
                if (v > 58) v = 56;
                StepBand(v, caps[k], bars[k]);
                DrawBand(im, 5 * k + 15, side ? 117 : 58, caps[k], bars[k], side ? kRight : kLeft,
                         side);
            }
        }
    } else {
        for (int k = 1; k < capture::kBandCount; ++k) {
            int v = RoundEvenInt(2 * m.BandScale * s.BandLevelsLeft[k]);
            if (v > 116) v = 114;
            StepBand(v, m.BandCapsLeft[k], m.BandBarsLeft[k]);
            DrawBand(im, 5 * k, 117, m.BandCapsLeft[k], m.BandBarsLeft[k], kLeft, false);
        }
    }
}

int LevelOf(float peak) {
    return std::clamp(RoundEvenInt(Meters.LevelScale * peak), 0, 346);
}

void StepHold(int32_t& hold, int level) {
    if (hold < level) hold = RoundEvenInt(level / 4.0) * 4;
}

QRgb HoldColour(int hold, bool right) {
    int c = RoundEvenInt(346.0 * (hold + 12) / 360.0);
    int s = c / 4;
    return right ? qRgb(110 + s, 160 + s, 110 + s) : qRgb(100 + s, 120 + s, 160 + s);
}

// The segmented bar from x = 14 to 14 + level inclusive, rows top..bottom - 1.
void Bar(Canvas& im, int level, int top, int bottom, bool right) {
    static const QRgb left[5] = {qRgb(120, 150, 195), kSkin, qRgb(165, 195, 255),
                                 qRgb(150, 180, 235), qRgb(135, 165, 215)};
    static const QRgb rightC[5] = {qRgb(120, 195, 150), kSkin, qRgb(165, 255, 195),
                                   qRgb(150, 235, 180), qRgb(135, 215, 165)};
    for (int x = 14; x <= 14 + level; ++x)
        Line(im, x, top, x, bottom, right ? rightC[x % 5] : left[x % 5]);
}

void ScaleLines(Canvas& im, int level) {
    for (int k = 0; k <= 10; ++k) {
        int x = 14 + k * 346 / 10;
        if (x > level + 12) DottedV(im, x, 1, 29, kGrid);
    }
}

QRgb ClipColour(int32_t hold) {
    return qRgb((195 + 2 * hold) % 256, 0, 0);
}

void ThresholdMarker(QImage& im) {
    if (!core::Settings.IsTresh) return;
    QPainter p(&im);
    p.drawPixmap(QPoint(Meters.ThresholdMarkerX - 3, 0), Form4().Picture("ImageThresh"));
}

void DrawLevelsStereo() {
    QImage& panel = Meters.LevelPanel;
    Restore(panel, LevelBackground(true));
    Canvas im(panel);
    MeterState& m = Meters;
    const capture::BlockState& b = capture::Block;
    int levelL = LevelOf(b.PeakLeft), levelR = LevelOf(b.PeakRight);
    StepHold(m.LevelHoldLeft, levelL);
    if (m.LevelHoldLeft > 16)
        Fill(im, m.LevelHoldLeft - 4, 1, m.LevelHoldLeft, 11, HoldColour(m.LevelHoldLeft, false));
    Bar(im, levelL, 1, 11, false);
    StepHold(m.LevelHoldRight, levelR);
    if (m.LevelHoldRight > 16)
        Fill(im, m.LevelHoldRight - 4, 18, m.LevelHoldRight, 28,
             HoldColour(m.LevelHoldRight, true));
    Bar(im, levelR, 18, 28, true);
    ScaleLines(im, levelR);
    if (b.ClipHoldLeft > 0) Fill(im, 365, 1, 370, 11, ClipColour(b.ClipHoldLeft));
    if (b.ClipHoldRight > 0) Fill(im, 365, 18, 370, 28, ClipColour(b.ClipHoldRight));
    ThresholdMarker(panel);
}

void DrawLevelMono() {
    QImage& panel = Meters.LevelPanel;
    Restore(panel, LevelBackground(false));
    Canvas im(panel);
    MeterState& m = Meters;
    const capture::BlockState& b = capture::Block;
    int level = LevelOf(b.PeakLeft);
    StepHold(m.LevelHoldLeft, level);
    if (m.LevelHoldLeft > 16)
        Fill(im, m.LevelHoldLeft - 4, 1, m.LevelHoldLeft, 28, HoldColour(m.LevelHoldLeft, false));
    Bar(im, level, 1, 28, false);
    ScaleLines(im, level);
    if (b.ClipHoldLeft > 0) Fill(im, 362, 1, 370, 28, ClipColour(b.ClipHoldLeft));
    ThresholdMarker(panel);
}

void EnsurePanels() {
    if (Meters.ScopePanel.isNull()) InitMeterGeometry();
}

// What the window last showed of each panel: only a panel that differs from
// it is repainted, and only its own rectangle.
struct Shown {
    QImage scope, spectrum, level;
};
Shown& LastShown() {
    static Shown s;
    return s;
}

// True when `panel` differs from `shown`, which then takes its pixels.
bool Changed(const QImage& panel, QImage& shown) {
    if (shown.size() != panel.size() || shown.format() != panel.format()) {
        shown = panel.copy();
        return true;
    }
    const auto bytes = static_cast<size_t>(panel.sizeInBytes());
    if (std::memcmp(shown.constBits(), panel.constBits(), bytes) == 0) return false;
    std::memcpy(shown.bits(), panel.constBits(), bytes);
    return true;
}

void Show() {
    QWidget* target = Meters.target;
    if (!target) return;
    Shown& s = LastShown();
    if (Changed(Meters.ScopePanel, s.scope)) target->update(ScopeRect);
    if (Changed(Meters.SpectrumPanel, s.spectrum)) target->update(SpectrumRect);
    if (Changed(Meters.LevelPanel, s.level)) target->update(LevelRect);
}

} // namespace

int32_t ThresholdMarkerFromLevel(float level) {
    const float perPixel = 100.0f / 346.0f;
    // A stored level outside 0..100 must not put the marker off the panel.
    return std::clamp(RoundEvenInt(level / perPixel) + 14, 14, 360);
}

void InitMeterGeometry() {
    Meters.ScopePanel = QImage(ScopeRect.size(), QImage::Format_RGB32);
    Meters.SpectrumPanel = QImage(SpectrumRect.size(), QImage::Format_RGB32);
    Meters.LevelPanel = QImage(LevelRect.size(), QImage::Format_RGB32);
    // A new window has painted nothing of them yet.
    LastShown() = Shown{};
    ClearPanels();
    Meters.ThresholdMarkerX = ThresholdMarkerFromLevel(core::Settings.ThresholdLevel);
}

void ComputeMeterScales() {
    MeterState& m = Meters;
    m.LevelScale = (360.0f - 14.0f) / 32767.0f;
    m.ScopeScale =
        core::Settings.Channels == 2 ? (115.0f - 2.0f) / 131068.0f : (115.0f - 2.0f) / 65534.0f;
    int frames = capture::Params.FramesPerBlock;
    m.ScopeXScale = (186.0f - 16.0f) / static_cast<float>(frames > 0 ? frames : 1);
    m.BandScale = (117.0f - 2.0f) / 65534.0f;
}

void ClearPanels() {
    EnsurePanels();
    Meters.ScopePanel.fill(kSkin);
    Meters.SpectrumPanel.fill(kSkin);
    Meters.LevelPanel.fill(kSkin);
}

void DrawMetersStereo() {
    EnsurePanels();
    DrawScope(true);
    DrawSpectrum(true);
    DrawLevelsStereo();
    Show();
    MeterState& m = Meters;
    if (m.LevelHoldLeft > 8) m.LevelHoldLeft -= 8;
    if (m.LevelHoldRight > 8) m.LevelHoldRight -= 8;
}

void DrawMetersMono() {
    EnsurePanels();
    DrawScope(false);
    DrawSpectrum(false);
    DrawLevelMono();
    Show();
    if (Meters.LevelHoldLeft > 8) Meters.LevelHoldLeft -= 18;
}

void DrawMeters() {
    if (core::Settings.Channels == 2)
        DrawMetersStereo();
    else
        DrawMetersMono();
}

void UpdateMeters() {
    if (core::Session.IsPlayerShown) return;
    capture::MeterAnalysis();
    // Every panel is drawn whole from its background: no clearing first.
    EnsurePanels();
    DrawMeters();
}

void ResetMeters() {
    capture::BlockState& b = capture::Block;
    std::memset(b.LeftBlock, 0, sizeof b.LeftBlock);
    std::memset(b.RightBlock, 0, sizeof b.RightBlock);
    b.PeakLeft = b.PeakRight = 0;
    MeterState& m = Meters;
    for (int32_t* a : {m.BandCapsLeft, m.BandCapsRight, m.BandBarsLeft, m.BandBarsRight})
        std::fill(a, a + 33, 0);
    m.LevelHoldLeft = m.LevelHoldRight = 0;
    std::fill(std::begin(capture::Spectrum.BandLevelsLeft),
              std::end(capture::Spectrum.BandLevelsLeft), 0.0f);
    std::fill(std::begin(capture::Spectrum.BandLevelsRight),
              std::end(capture::Spectrum.BandLevelsRight), 0.0f);
    ClearPanels();
    DrawMeters();
}

void PaintMeters(QPainter& p) {
    EnsurePanels();
    p.drawImage(ScopeRect.topLeft(), Meters.ScopePanel);
    p.drawImage(SpectrumRect.topLeft(), Meters.SpectrumPanel);
    p.drawImage(LevelRect.topLeft(), Meters.LevelPanel);
}

} // namespace mainwindow
