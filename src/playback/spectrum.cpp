#include "playback/spectrum.h"

#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <cmath>

#include "core/state.h"

namespace playback {

namespace {
const QColor kGridColor(144, 144, 144);
const QColor kBarColor(110, 210, 110);
const QColor kSkinColor(53, 67, 72);
} // namespace

TSpectrum::TSpectrum(int Width, int Height)
    : VisBuff(std::max(Width, 1), std::max(Height, 1), QImage::Format_RGB32),
      BackBmp(std::max(Width, 1), std::max(Height, 1), QImage::Format_RGB32), BkgColor(kSkinColor),
      SpecHeight(100), PenColor(120, 150, 255), PeakColor(100, 255, 100), DrawType(1), DrawRes(1),
      FrmClear(true), UseBkg(false), PeakFall(1), LineFall(3), ColWidth(4), ShowPeak(true) {
    VisBuff.fill(Qt::white);
    BackBmp.fill(Qt::white);
}

void TSpectrum::SetBackGround(bool Active, const QImage& BkgCanvas) {
    UseBkg = Active;
    QPainter p(&BackBmp);
    p.drawImage(0, 0, BkgCanvas);
}

void TSpectrum::SetPixel(int x, int y, QColor c) {
    if (x < 0 || y < 0 || x >= VisBuff.width() || y >= VisBuff.height()) return;
    VisBuff.setPixel(x, y, c.rgb());
}

void TSpectrum::HLine(int x0, int x1, int y, QColor c, bool dotted) {
    for (int x = x0; x < x1; ++x)
        if (!dotted || (x - x0) % 6 < 3) SetPixel(x, y, c);
}

void TSpectrum::VLine(int x, int y0, int y1, QColor c, bool dotted) {
    for (int y = y0; y < y1; ++y)
        if (!dotted || (y - y0) % 6 < 3) SetPixel(x, y, c);
}

void TSpectrum::Draw(QLabel* target, TFFTData FFTData, int X, int Y) {
    const int W = VisBuff.width(), H = VisBuff.height();
    if (FrmClear) {
        brush_ = BkgColor;
        VisBuff.fill(BkgColor);
    }
    for (int i = 1; i <= 4; ++i)
        HLine(0, W, i * (H / 4), kGridColor, true);
    for (int j = 1; j <= 9; ++j)
        VLine(j * (W / 10), 0, H, kGridColor, true);
    QColor pen = PenColor;
    const int base = Y + H;
    const bool playing = core::Session.IsPlaying;
    for (int c = 0; c < kColumns; ++c) {
        const size_t ci = static_cast<size_t>(c);
        // Bins past the end of the frame (a resolution above 3) count as silence.
        const long long bin = static_cast<long long>(c) * DrawRes + 5;
        float v = 0;
        if (playing && bin >= 0 && bin < static_cast<long long>(FFTData.size()))
            v = std::fabs(FFTData[static_cast<size_t>(bin)]);
        double hy = std::sqrt(static_cast<double>(v)) * 300.0;
        int y = hy >= static_cast<double>(SpecHeight) ? SpecHeight : static_cast<int>(hy);
        if (y >= FFTPeacks[ci])
            FFTPeacks[ci] = y;
        else
            FFTPeacks[ci] -= PeakFall;
        if (y >= FFTFallOff[ci])
            FFTFallOff[ci] = y;
        else
            FFTFallOff[ci] -= LineFall;
        if (FFTPeacks[ci] < 0) FFTPeacks[ci] = 0;
        if (FFTFallOff[ci] < 0) FFTFallOff[ci] = 0;

        if (DrawType == 0) {
            pen = PenColor;
            // From the baseline up, the end row left out.
            VLine(X + c, base - FFTFallOff[ci] + 1, base + 1, pen, false);
            if (ShowPeak) SetPixel(X + c, base - FFTPeacks[ci], PenColor);
        } else if (DrawType == 1) {
            const int left = X + c * (ColWidth + 1);
            if (ShowPeak) {
                pen = PeakColor;
                HLine(left, left + ColWidth, base - FFTPeacks[ci], pen, false);
            }
            pen = brush_;
            for (int x = left; x < left + ColWidth; ++x) {
                if (((x % 5) + 5) % 5 != 1) pen = kBarColor;
                VLine(x, base - FFTFallOff[ci], base, pen, false);
            }
        }
    }
    if (target) target->setPixmap(QPixmap::fromImage(VisBuff));
}

} // namespace playback
