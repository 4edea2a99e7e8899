#pragma once
#include <cstdint>

namespace capture {

constexpr int kMaxFftSize = 8192;
constexpr int kSpectrumBins = 1001; // bins 0..1000 feed the meters
constexpr int kBandCount = 33;      // band 0 is the DC bin, bands 1..32 from BandBins

// The meters' spectrum of the latest block; overwritten by every analysed block.
struct SpectrumState {
    float SpectrumMagLeft[kSpectrumBins] = {};
    float SpectrumMagRight[kSpectrumBins] = {};
    float BandLevelsLeft[kBandCount] = {};
    float BandLevelsRight[kBandCount] = {};
};
extern SpectrumState Spectrum;

// First and last bin of bands 1..32.
extern const int32_t BandBins[32][2];

// In-place forward transform X[k] = sum x[m] e^(-2 pi i k m / n): radix 2,
// decimation in time, float samples with double-precision butterflies.
// `n` must be a power of two (2..kMaxFftSize); anything else leaves the data alone.
void Fft(float* re, float* im, int n);

// Fills SpectrumMagLeft/Right from LeftBlock/RightBlock[1..FftSize].
void AnalyseSpectrum();
// Fills BandLevelsLeft/Right from the magnitudes.
void ReduceBands();
// Both, in this order: what the meter update runs before drawing.
void MeterAnalysis();

} // namespace capture
