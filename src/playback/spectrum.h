#pragma once
#include <QColor>
#include <QImage>
#include <array>
#include <cstdint>

class QLabel;

namespace playback {

// One frame of FFT magnitudes: the library fills the first 512.
using TFFTData = std::array<float, 513>;

// A bar spectrum with slowly falling bars and peak marks over a dotted grid.
// Each frame is drawn into an off-screen bitmap and handed to the window in
// one piece, so a half-drawn frame is never seen.
class TSpectrum {
  public:
    TSpectrum(int Width, int Height);

    // Stored only; Draw does not use the picture.
    void SetBackGround(bool Active, const QImage& BkgCanvas);
    // Draws one frame and shows it on `target` (none: only the bitmap).
    // X shifts the columns right; the baseline is row Y + bitmap height.
    void Draw(QLabel* target, TFFTData FFTData, int X, int Y);

    // Properties over the fields.
    QColor BackColor() const { return BkgColor; }
    void SetBackColor(QColor c) { BkgColor = c; }
    int Height() const { return SpecHeight; }
    void SetHeight(int v) { SpecHeight = v; }
    int Width() const { return ColWidth; }
    void SetWidth(int v) { ColWidth = v; }
    QColor Pen() const { return PenColor; }
    void SetPen(QColor c) { PenColor = c; }
    QColor Peak() const { return PeakColor; }
    void SetPeak(QColor c) { PeakColor = c; }
    int Mode() const { return DrawType; }
    void SetMode(int v) { DrawType = v; }
    int Res() const { return DrawRes; }
    void SetRes(int v) { DrawRes = v; }
    bool FrameClear() const { return FrmClear; }
    void SetFrameClear(bool v) { FrmClear = v; }
    int PeakFallOff() const { return PeakFall; }
    void SetPeakFallOff(int v) { PeakFall = v; }
    int LineFallOff() const { return LineFall; }
    void SetLineFallOff(int v) { LineFall = v; }
    bool DrawPeak() const { return ShowPeak; }
    void SetDrawPeak(bool v) { ShowPeak = v; }

    const QImage& Bitmap() const { return VisBuff; }
    int PeakAt(int c) const { return FFTPeacks[static_cast<size_t>(c)]; }
    int BarAt(int c) const { return FFTFallOff[static_cast<size_t>(c)]; }

    static constexpr int kColumns = 129;

  private:
    void SetPixel(int x, int y, QColor c);
    // A horizontal run x0 .. x1 - 1 (dotted: three on, three off).
    void HLine(int x0, int x1, int y, QColor c, bool dotted);
    // A vertical run y0 .. y1 - 1.
    void VLine(int x, int y0, int y1, QColor c, bool dotted);

    QImage VisBuff;
    QImage BackBmp;
    QColor BkgColor;
    int SpecHeight;
    QColor PenColor;
    QColor PeakColor;
    int DrawType;
    int DrawRes;
    bool FrmClear;
    bool UseBkg;
    int PeakFall;
    int LineFall;
    int ColWidth;
    bool ShowPeak;
    std::array<int, kColumns> FFTPeacks{};
    std::array<int, kColumns> FFTFallOff{};
    // The canvas brush colour: a fresh canvas brush is white until a clear
    // paints it in the background colour.
    QColor brush_ = Qt::white;
};

} // namespace playback
