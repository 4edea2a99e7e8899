#include "capture/spectrum.h"

#include <algorithm>
#include <cmath>

#include "capture/capture.h"
#include "core/rounding.h"

namespace capture {

SpectrumState Spectrum;

const int32_t BandBins[32][2] = {
    {1, 1},     {2, 3},     {4, 5},     {6, 8},     {9, 11},    {12, 14},   {15, 17},
    {18, 20},   {21, 24},   {25, 29},   {30, 35},   {36, 52},   {53, 60},   {61, 70},
    {71, 80},   {81, 90},   {91, 100},  {101, 150}, {151, 200}, {201, 250}, {251, 300},
    {301, 350}, {351, 400}, {401, 450}, {451, 500}, {501, 550}, {551, 600}, {601, 650},
    {651, 700}, {701, 800}, {801, 900}, {901, 1000}};

namespace {

// Working arrays of the transform, one pair per channel.
float WorkReLeft[kMaxFftSize];
float WorkImLeft[kMaxFftSize];
float WorkReRight[kMaxFftSize];
float WorkImRight[kMaxFftSize];

// The meters' twiddle recurrence uses this value of pi; keeping it makes the
// bars identical from build to build.
constexpr double kPi = 3.1416;

bool IsPowerOfTwo(int n) {
    return n >= 2 && (n & (n - 1)) == 0;
}

// The analysed length: FftSize when it is a usable power of two. The input
// reads LeftBlock[1..N], so N may not exceed the block arrays.
int AnalysisSize() {
    int n = Params.FftSize;
    if (!IsPowerOfTwo(n) || n > kMaxFftSize || n < 2048) n = 4096;
    return n;
}

void AnalyseChannel(const int16_t* block, float* re, float* im, float* mag, int n) {
    for (int i = 0; i < n; ++i) {
        re[i] = static_cast<float>(block[i + 1]);
        im[i] = 0.0f;
    }
    Fft(re, im, n);
    const int bins = std::min(kSpectrumBins, n);
    const float scale = 2.0f / static_cast<float>(n);
    for (int k = 0; k < bins; ++k) {
        re[k] *= scale;
        im[k] *= scale;
        mag[k] = std::sqrt(re[k] * re[k] + im[k] * im[k]);
    }
    for (int k = bins; k < kSpectrumBins; ++k)
        mag[k] = 0.0f;
}

void ReduceChannel(const float* mag, float* levels) {
    for (int b = 0; b < kBandCount; ++b)
        levels[b] = 0.0f;
    levels[0] = mag[0];
    for (int b = 1; b < kBandCount; ++b) {
        const int first = BandBins[b - 1][0];
        const int last = BandBins[b - 1][1];
        for (int k = first; k <= last; ++k)
            levels[b] = std::max(levels[b], mag[k]);
    }
    for (int b = 0; b < kBandCount; ++b)
        levels[b] = std::sqrt(levels[b]) * 400.0f;
}

} // namespace

void Fft(float* re, float* im, int n) {
    if (!IsPowerOfTwo(n) || n > kMaxFftSize) return;

    // Bit-reversal reordering.
    int j = 0;
    for (int i = 0; i < n - 1; ++i) {
        if (i < j) {
            std::swap(re[i], re[j]);
            std::swap(im[i], im[j]);
        }
        int k = n / 2;
        while (k <= j) {
            j -= k;
            k /= 2;
        }
        j += k;
    }

    const int stages =
        static_cast<int>(core::RoundEven(std::log(static_cast<double>(n)) / std::log(2.0) + 0.1));
    for (int stage = 1; stage <= stages; ++stage) {
        const int span = 1 << stage;
        const int h = span / 2; // distance of the two points of a butterfly
        const double sr = std::cos(kPi / h);
        const double si = -std::sin(kPi / h);
        double ur = 1.0;
        double ui = 0.0;
        for (int group = 0; group < h; ++group) {
            for (int a = group; a < n; a += span) {
                const int b = a + h;
                const double tr = re[b] * ur - im[b] * ui;
                const double ti = re[b] * ui + im[b] * ur;
                re[b] = static_cast<float>(re[a] - tr);
                im[b] = static_cast<float>(im[a] - ti);
                re[a] = static_cast<float>(re[a] + tr);
                im[a] = static_cast<float>(im[a] + ti);
            }
            const double t = ur;
            ur = t * sr - ui * si;
            ui = t * si + ui * sr;
        }
    }
}

void AnalyseSpectrum() {
    const int n = AnalysisSize();
    AnalyseChannel(Block.LeftBlock, WorkReLeft, WorkImLeft, Spectrum.SpectrumMagLeft, n);
    AnalyseChannel(Block.RightBlock, WorkReRight, WorkImRight, Spectrum.SpectrumMagRight, n);
}

void ReduceBands() {
    ReduceChannel(Spectrum.SpectrumMagLeft, Spectrum.BandLevelsLeft);
    ReduceChannel(Spectrum.SpectrumMagRight, Spectrum.BandLevelsRight);
}

void MeterAnalysis() {
    AnalyseSpectrum();
    ReduceBands();
}

} // namespace capture
