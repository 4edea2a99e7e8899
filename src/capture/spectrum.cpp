#include "capture/spectrum.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <utility>
#include <vector>

#include "capture/capture.h"

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

// What a transform of one size needs besides the data: the bit-reversal
// swaps and every stage's twiddles, the h factors of the stage with half-span
// h stored from index h - 1. The twiddles come from the same recurrence as the
// meters always used, so the bars stay identical to the last bit.
struct FftPlan {
    std::vector<std::pair<int, int>> swaps;
    std::vector<double> twiddleRe, twiddleIm;
};

FftPlan MakePlan(int n) {
    FftPlan plan;
    int j = 0;
    for (int i = 0; i < n - 1; ++i) {
        if (i < j) plan.swaps.emplace_back(i, j);
        int k = n / 2;
        while (k <= j) {
            j -= k;
            k /= 2;
        }
        j += k;
    }
    plan.twiddleRe.reserve(static_cast<size_t>(n));
    plan.twiddleIm.reserve(static_cast<size_t>(n));
    for (int h = 1; h < n; h *= 2) {
        const double sr = std::cos(kPi / h);
        const double si = -std::sin(kPi / h);
        double ur = 1.0;
        double ui = 0.0;
        for (int group = 0; group < h; ++group) {
            plan.twiddleRe.push_back(ur);
            plan.twiddleIm.push_back(ui);
            const double t = ur;
            ur = t * sr - ui * si;
            ui = t * si + ui * sr;
        }
    }
    return plan;
}

// Every usable size, made once: the analysis runs ten times a second.
const FftPlan& PlanFor(int n) {
    static const std::vector<FftPlan> plans = [] {
        std::vector<FftPlan> all;
        for (int size = 1; size <= kMaxFftSize; size *= 2)
            all.push_back(size >= 2 ? MakePlan(size) : FftPlan{});
        return all;
    }();
    return plans[static_cast<size_t>(std::countr_zero(static_cast<unsigned>(n)))];
}

// One butterfly: the same double-precision arithmetic in the same order as
// the transform always did.
inline void Butterfly(float& ar, float& ai, float& br, float& bi, double wr, double wi) {
    const double tr = br * wr - bi * wi;
    const double ti = br * wi + bi * wr;
    br = static_cast<float>(ar - tr);
    bi = static_cast<float>(ai - ti);
    ar = static_cast<float>(ar + tr);
    ai = static_cast<float>(ai + ti);
}

// The stages are run block by block so that the points and the twiddles are
// read in order and the loops vectorise; only the order of the (independent)
// butterflies of a stage differs from the plain loop. Wider vectors change
// nothing in the result: every operation rounds exactly as a scalar one, and
// multiplies and adds are kept apart (no fused ones, see CMakeLists.txt).
// An AVX2 copy is picked at load time where the processor has it (x86-64 only).
// Not in sanitizer builds: the picking runs while the program is being loaded,
// before the sanitizer's runtime exists, and crashes there.
#if defined(__has_feature)
#if __has_feature(thread_sanitizer) || __has_feature(address_sanitizer)
#define KESTRUNE_SANITIZED 1
#endif
#endif
#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
#define KESTRUNE_SANITIZED 1
#endif
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__)) && !defined(KESTRUNE_SANITIZED)
#define KESTRUNE_VECTOR_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define KESTRUNE_VECTOR_CLONES
#endif

// Short stages (h < 8): a fixed number of butterflies per block, unrolled;
// the compiler vectorises across the blocks.
template <int H>
KESTRUNE_VECTOR_CLONES void SmallStage(float* __restrict re, float* __restrict im, int n,
                                       const double* __restrict wr, const double* __restrict wi) {
    double cr[H], ci[H];
    for (int g = 0; g < H; ++g) {
        cr[g] = wr[g];
        ci[g] = wi[g];
    }
    for (int first = 0; first < n; first += 2 * H)
        for (int g = 0; g < H; ++g)
            Butterfly(re[first + g], im[first + g], re[first + g + H], im[first + g + H], cr[g],
                      ci[g]);
}

// Eight floats and eight doubles: two vectors each on AVX2 (measured faster
// here than AVX-512), four without. Element-wise operations on them
// round exactly as the scalar ones do.
using Floats8 = float __attribute__((vector_size(32)));
using Doubles8 = double __attribute__((vector_size(64)));

#define KESTRUNE_LOAD8(p)                                                                          \
    ({                                                                                             \
        Floats8 f_;                                                                                \
        std::memcpy(&f_, (p), sizeof f_);                                                          \
        __builtin_convertvector(f_, Doubles8);                                                     \
    })
#define KESTRUNE_STORE8(p, v)                                                                      \
    do {                                                                                           \
        const Floats8 f_ = __builtin_convertvector((v), Floats8);                                  \
        std::memcpy((p), &f_, sizeof f_);                                                          \
    } while (0)
#define KESTRUNE_TWIDDLE8(p)                                                                       \
    ({                                                                                             \
        Doubles8 d_;                                                                               \
        std::memcpy(&d_, (p), sizeof d_);                                                          \
        d_;                                                                                        \
    })
// Butterfly() on eight points: b's results rounded to float first, as stored.
#define KESTRUNE_BUTTERFLY8(ar, ai, br, bi, wr, wi)                                                \
    do {                                                                                           \
        const Doubles8 tr_ = br * wr - bi * wi;                                                    \
        const Doubles8 ti_ = br * wi + bi * wr;                                                    \
        br = __builtin_convertvector(__builtin_convertvector(ar - tr_, Floats8), Doubles8);        \
        bi = __builtin_convertvector(__builtin_convertvector(ai - ti_, Floats8), Doubles8);        \
        ar = __builtin_convertvector(__builtin_convertvector(ar + tr_, Floats8), Doubles8);        \
        ai = __builtin_convertvector(__builtin_convertvector(ai + ti_, Floats8), Doubles8);        \
    } while (0)

// Two stages at once, half-spans h and 2h (h a multiple of 8), on blocks of
// 4h points: each point is loaded and stored once for both, and rounded to
// float between them as the stages always did.
KESTRUNE_VECTOR_CLONES void StagePair(float* re, float* im, int n, int h, const double* w1r,
                                      const double* w1i, const double* w2r, const double* w2i) {
    for (int first = 0; first < n; first += 4 * h) {
        float* r = re + first;
        float* i = im + first;
        for (int g = 0; g < h; g += 8) {
            Doubles8 ar = KESTRUNE_LOAD8(r + g), ai = KESTRUNE_LOAD8(i + g);
            Doubles8 br = KESTRUNE_LOAD8(r + h + g), bi = KESTRUNE_LOAD8(i + h + g);
            Doubles8 cr = KESTRUNE_LOAD8(r + 2 * h + g), ci = KESTRUNE_LOAD8(i + 2 * h + g);
            Doubles8 dr = KESTRUNE_LOAD8(r + 3 * h + g), di = KESTRUNE_LOAD8(i + 3 * h + g);
            const Doubles8 ur = KESTRUNE_TWIDDLE8(w1r + g), ui = KESTRUNE_TWIDDLE8(w1i + g);
            KESTRUNE_BUTTERFLY8(ar, ai, br, bi, ur, ui);
            KESTRUNE_BUTTERFLY8(cr, ci, dr, di, ur, ui);
            const Doubles8 vr = KESTRUNE_TWIDDLE8(w2r + g), vi = KESTRUNE_TWIDDLE8(w2i + g);
            KESTRUNE_BUTTERFLY8(ar, ai, cr, ci, vr, vi);
            const Doubles8 xr = KESTRUNE_TWIDDLE8(w2r + h + g), xi = KESTRUNE_TWIDDLE8(w2i + h + g);
            KESTRUNE_BUTTERFLY8(br, bi, dr, di, xr, xi);
            KESTRUNE_STORE8(r + g, ar);
            KESTRUNE_STORE8(i + g, ai);
            KESTRUNE_STORE8(r + h + g, br);
            KESTRUNE_STORE8(i + h + g, bi);
            KESTRUNE_STORE8(r + 2 * h + g, cr);
            KESTRUNE_STORE8(i + 2 * h + g, ci);
            KESTRUNE_STORE8(r + 3 * h + g, dr);
            KESTRUNE_STORE8(i + 3 * h + g, di);
        }
    }
}

// The last stage alone when the stage count is odd.
KESTRUNE_VECTOR_CLONES void Stage(float* __restrict re, float* __restrict im, int n, int h,
                                  const double* __restrict wr, const double* __restrict wi) {
    for (int first = 0; first < n; first += 2 * h) {
        float* __restrict r = re + first;
        float* __restrict i = im + first;
        for (int g = 0; g < h; ++g)
            Butterfly(r[g], i[g], r[g + h], i[g + h], wr[g], wi[g]);
    }
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
    const FftPlan& plan = PlanFor(n);
    for (const auto& [i, j] : plan.swaps) {
        std::swap(re[i], re[j]);
        std::swap(im[i], im[j]);
    }
    // The twiddles of the stage with half-span h start at index h - 1.
    const double* w = plan.twiddleRe.data();
    const double* v = plan.twiddleIm.data();
    int h = 1;
    for (; h < 8 && h < n; h *= 2) {
        if (h == 1) SmallStage<1>(re, im, n, w, v);
        if (h == 2) SmallStage<2>(re, im, n, w + 1, v + 1);
        if (h == 4) SmallStage<4>(re, im, n, w + 3, v + 3);
    }
    for (; 2 * h < n; h *= 4)
        StagePair(re, im, n, h, w + h - 1, v + h - 1, w + 2 * h - 1, v + 2 * h - 1);
    if (h < n) Stage(re, im, n, h, w + h - 1, v + h - 1);
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
