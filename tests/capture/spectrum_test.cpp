#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "capture/capture.h"
#include "capture/spectrum.h"

namespace {

class SpectrumTest : public ::testing::Test {
  protected:
    void SetUp() override {
        capture::Block = capture::BlockState{};
        capture::Spectrum = capture::SpectrumState{};
        capture::Params = capture::CaptureParams{};
        capture::Params.FramesPerBlock = 4410;
        capture::Params.FftSize = 4096;
    }

    // The analysed samples are LeftBlock[1..N]: sample n of the transform is index n + 1.
    static void FillSine(int16_t* block, double amplitude, int bin, int n) {
        for (int i = 1; i <= capture::kMaxFrames; ++i)
            block[i] = static_cast<int16_t>(std::nearbyint(
                amplitude * std::sin(2 * M_PI * bin * static_cast<double>(i - 1) / n)));
    }

    static int LargestBand(const float* levels) {
        return static_cast<int>(std::max_element(levels + 1, levels + capture::kBandCount) -
                                levels);
    }
};

TEST_F(SpectrumTest, SilenceGivesZeroLevels) {
    for (int i = 0; i < capture::kBandCount; ++i) {
        capture::Spectrum.BandLevelsLeft[i] = 123; // left over from an earlier block
        capture::Spectrum.BandLevelsRight[i] = 123;
    }
    capture::MeterAnalysis();
    for (int b = 0; b < capture::kBandCount; ++b) {
        EXPECT_EQ(capture::Spectrum.BandLevelsLeft[b], 0.0f) << b;
        EXPECT_EQ(capture::Spectrum.BandLevelsRight[b], 0.0f) << b;
    }
}

TEST_F(SpectrumTest, ConstantInputIsTheDcBand) {
    std::fill(std::begin(capture::Block.LeftBlock), std::end(capture::Block.LeftBlock), 100);
    std::fill(std::begin(capture::Block.RightBlock), std::end(capture::Block.RightBlock), -100);
    capture::MeterAnalysis();
    for (const auto* levels :
         {capture::Spectrum.BandLevelsLeft, capture::Spectrum.BandLevelsRight}) {
        EXPECT_FLOAT_EQ(levels[0], std::sqrt(200.0f) * 400.0f); // about 5657
        for (int b = 1; b < capture::kBandCount; ++b)
            EXPECT_LT(levels[b], 20.0f) << b;
    }
    EXPECT_FLOAT_EQ(capture::Spectrum.SpectrumMagLeft[0], 200.0f);
    EXPECT_FLOAT_EQ(capture::Spectrum.SpectrumMagRight[0], 200.0f);
}

TEST_F(SpectrumTest, SineOnBin93IsBand17) {
    for (int n : {4096, 8192}) {
        SCOPED_TRACE(n);
        capture::Params.FftSize = static_cast<uint16_t>(n);
        FillSine(capture::Block.LeftBlock, 10000, 93, n);
        FillSine(capture::Block.RightBlock, 5000, 93, n);
        capture::MeterAnalysis();
        const float* mag = capture::Spectrum.SpectrumMagLeft;
        EXPECT_EQ(std::max_element(mag, mag + capture::kSpectrumBins) - mag, 93);
        EXPECT_NEAR(mag[93], 10000.0f, 10.0f);
        EXPECT_NEAR(capture::Spectrum.SpectrumMagRight[93], 5000.0f, 5.0f);
        EXPECT_EQ(LargestBand(capture::Spectrum.BandLevelsLeft), 17);
        EXPECT_EQ(LargestBand(capture::Spectrum.BandLevelsRight), 17);
        EXPECT_NEAR(capture::Spectrum.BandLevelsLeft[17], 40000.0f, 40.0f);
        EXPECT_NEAR(capture::Spectrum.BandLevelsRight[17], std::sqrt(5000.0f) * 400.0f, 40.0f);
    }
}

// Each band takes the largest bin of its own row and nothing outside it.
TEST_F(SpectrumTest, BandsFollowTheBinTable) {
    for (int b = 1; b <= 32; ++b) {
        const int first = capture::BandBins[b - 1][0];
        const int last = capture::BandBins[b - 1][1];
        ASSERT_LE(first, last);
        if (b > 1) {
            ASSERT_EQ(first, capture::BandBins[b - 2][1] + 1);
        }
    }
    EXPECT_EQ(capture::BandBins[31][1], 1000);
    for (int b = 1; b <= 32; ++b) {
        capture::Spectrum = capture::SpectrumState{};
        const int last = capture::BandBins[b - 1][1];
        capture::Spectrum.SpectrumMagLeft[last] = 10000.0f;
        capture::Spectrum.SpectrumMagRight[capture::BandBins[b - 1][0]] = 2500.0f;
        capture::ReduceBands();
        for (int k = 0; k < capture::kBandCount; ++k) {
            EXPECT_FLOAT_EQ(capture::Spectrum.BandLevelsLeft[k], k == b ? 40000.0f : 0.0f)
                << "band " << b << " level " << k;
            EXPECT_FLOAT_EQ(capture::Spectrum.BandLevelsRight[k], k == b ? 20000.0f : 0.0f)
                << "band " << b << " level " << k;
        }
    }
}

// The block's first sample is not analysed; sample N is.
TEST_F(SpectrumTest, AnalysesSamplesOneToN) {
    capture::Block.LeftBlock[0] = 30000;
    capture::Block.LeftBlock[4097] = 30000;
    capture::Block.RightBlock[4096] = 1024;
    capture::AnalyseSpectrum();
    for (int k : {0, 1, 500, 1000}) {
        EXPECT_EQ(capture::Spectrum.SpectrumMagLeft[k], 0.0f) << k;
        // An impulse has a flat spectrum: 1024 x 2 / 4096.
        EXPECT_NEAR(capture::Spectrum.SpectrumMagRight[k], 0.5f, 1e-5f) << k;
    }
}

// A transform length that is not a usable power of two falls back to 4096
// instead of reading or writing past the arrays.
TEST_F(SpectrumTest, UnusableSizeFallsBackTo4096) {
    for (int n : {0, 1, 5000, 65535, 16384, 1024}) {
        SCOPED_TRACE(n);
        capture::Params.FftSize = static_cast<uint16_t>(n);
        FillSine(capture::Block.LeftBlock, 10000, 93, 4096);
        capture::MeterAnalysis();
        EXPECT_NEAR(capture::Spectrum.SpectrumMagLeft[93], 10000.0f, 10.0f);
    }
}

// The transform against a plain double-precision DFT of the same random block.
TEST(FftTest, MatchesDirectTransform) {
    std::mt19937 rng(20240611);
    std::uniform_int_distribution<int> sample(-32767, 32767);
    for (int n : {4096, 8192}) {
        SCOPED_TRACE(n);
        std::vector<float> re(n), im(n, 0.0f);
        std::vector<double> x(n);
        for (int i = 0; i < n; ++i)
            x[i] = re[i] = static_cast<float>(sample(rng));
        capture::Fft(re.data(), im.data(), n);

        std::vector<double> c(n), s(n);
        for (int i = 0; i < n; ++i) {
            c[i] = std::cos(2 * M_PI * i / n);
            s[i] = std::sin(2 * M_PI * i / n);
        }
        double worst = 0;
        double scale = 0; // the typical bin magnitude
        for (int k = 0; k <= 1000; ++k) {
            double xr = 0, xi = 0;
            for (int m = 0; m < n; ++m) {
                const size_t p = (static_cast<size_t>(k) * m) % n;
                xr += x[m] * c[p];
                xi -= x[m] * s[p];
            }
            worst = std::max(worst, std::hypot(re[k] - xr, im[k] - xi));
            scale += std::hypot(xr, xi) / 1001;
        }
        // Float samples and the program's rounded pi keep the error below 1e-4 of a bin.
        EXPECT_LT(worst, 5e-4 * scale) << "scale " << scale;
    }
}

// The transform as it was first written, twiddles recomputed in every stage:
// the meters' bars must not change by a single bit with a faster one.
void ReferenceFft(float* re, float* im, int n) {
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
        static_cast<int>(std::nearbyint(std::log(static_cast<double>(n)) / std::log(2.0) + 0.1));
    for (int stage = 1; stage <= stages; ++stage) {
        const int span = 1 << stage;
        const int h = span / 2;
        const double sr = std::cos(3.1416 / h);
        const double si = -std::sin(3.1416 / h);
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

// Every size, on captured-like blocks (real samples) and on complex input
// with signed zeros, extremes and fractions; compared bit for bit.
TEST(FftTest, BitIdenticalToTheFirstTransform) {
    std::mt19937 rng(17);
    std::uniform_int_distribution<int> sample(-32768, 32767);
    std::uniform_real_distribution<float> any(-40000.0f, 40000.0f);
    for (int n = 2; n <= capture::kMaxFftSize; n *= 2) {
        for (int input = 0; input < 4; ++input) {
            SCOPED_TRACE(testing::Message() << "n " << n << " input " << input);
            std::vector<float> re(n), im(n, 0.0f);
            for (int i = 0; i < n; ++i) {
                switch (input) {
                case 0: // a captured block
                    re[i] = static_cast<float>(sample(rng));
                    break;
                case 1: // full-scale square wave with negative zeros between
                    re[i] = i % 4 == 0 ? 32767.0f : i % 4 == 2 ? -32768.0f : -0.0f;
                    im[i] = -0.0f;
                    break;
                default: // complex, not integral
                    re[i] = any(rng);
                    im[i] = any(rng);
                }
            }
            std::vector<float> refRe = re, refIm = im;
            ReferenceFft(refRe.data(), refIm.data(), n);
            capture::Fft(re.data(), im.data(), n);
            ASSERT_EQ(std::memcmp(re.data(), refRe.data(), n * sizeof(float)), 0);
            ASSERT_EQ(std::memcmp(im.data(), refIm.data(), n * sizeof(float)), 0);
        }
    }
}

TEST(FftTest, IgnoresLengthsThatAreNotPowersOfTwo) {
    std::vector<float> re(12, 1.0f), im(12, 0.0f);
    capture::Fft(re.data(), im.data(), 12);
    capture::Fft(re.data(), im.data(), 0);
    capture::Fft(re.data(), im.data(), -8);
    EXPECT_EQ(re, std::vector<float>(12, 1.0f));
}

} // namespace
