// The work every 100 ms capture block costs on the GUI thread: conversion,
// peaks and the meters' two spectra. Each result is also printed as a share
// of the 100 ms the block lasts.
#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "capture/capture.h"
#include "capture/spectrum.h"
#include "core/settings.h"

namespace {

struct Format {
    const char* name;
    bool wav;
    uint32_t rate;
    uint16_t bits;
    int channels;
};

void Prepare(const Format& f) {
    auto& s = core::Settings;
    s = core::RecordingSettings{};
    s.IsMP3 = !f.wav;
    s.IsWav = f.wav;
    s.SamplePerSecond = f.rate;
    s.BitPerSample = f.bits;
    s.Channels = f.channels;
    capture::ComputeGeometry();
    auto& ring = capture::Ring;
    ring.CaptureMemory.assign(
        static_cast<size_t>(capture::kRingBuffers) * capture::Params.CaptureBufferBytes, 0);
    ring.CurrentBufferIndex = 0;
    // A 1000 Hz tone in both channels, as the test server plays.
    const int frames = capture::Params.FramesPerBlock;
    for (int i = 0; i < frames; ++i) {
        auto v = static_cast<int16_t>(
            std::lround(12000 * std::sin(2 * M_PI * 1000.0 * i / capture::Params.CaptureRate)));
        for (int c = 0; c < 2; ++c) {
            ring.CaptureMemory[4 * i + 2 * c] = static_cast<uint8_t>(v & 0xff);
            ring.CaptureMemory[4 * i + 2 * c + 1] = static_cast<uint8_t>((v >> 8) & 0xff);
        }
    }
}

void BM_BlockChain(benchmark::State& state, Format f) {
    Prepare(f);
    for (auto _ : state) {
        capture::ConvertBlock();
        capture::MeasurePeaks();
        capture::MeterAnalysis();
        benchmark::DoNotOptimize(capture::Spectrum.BandLevelsLeft[17]);
    }
}

BENCHMARK_CAPTURE(BM_BlockChain, mp3_44100_stereo_16, Format{"44100", false, 44100, 16, 2})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_BlockChain, wav_22050_mono_8, Format{"22050", true, 22050, 8, 1})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_BlockChain, wav_96000_stereo_16, Format{"96000", true, 96000, 16, 2})
    ->Unit(benchmark::kMicrosecond);

std::vector<float> RandomBlock(int n) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> d(-32767, 32767);
    std::vector<float> v(n);
    for (auto& x : v)
        x = d(rng);
    return v;
}

// Our own transform on 4096 points, one channel.
void BM_Fft4096_Own(benchmark::State& state) {
    const auto input = RandomBlock(4096);
    std::vector<float> re(4096), im(4096);
    for (auto _ : state) {
        re = input;
        std::fill(im.begin(), im.end(), 0.0f);
        capture::Fft(re.data(), im.data(), 4096);
        benchmark::DoNotOptimize(re[93]);
    }
}
BENCHMARK(BM_Fft4096_Own)->Unit(benchmark::kMicrosecond);

// FFTW on the same input, for comparison only.
void BM_Fft4096_Fftw(benchmark::State& state) {
    const auto input = RandomBlock(4096);
    std::vector<float> in(4096);
    fftwf_complex* out = fftwf_alloc_complex(4096 / 2 + 1);
    fftwf_plan plan = fftwf_plan_dft_r2c_1d(4096, in.data(), out, FFTW_ESTIMATE);
    for (auto _ : state) {
        in = input;
        fftwf_execute(plan);
        benchmark::DoNotOptimize(out[93][0]);
    }
    fftwf_destroy_plan(plan);
    fftwf_free(out);
}
BENCHMARK(BM_Fft4096_Fftw)->Unit(benchmark::kMicrosecond);

// Prints the usual table, then each result as a share of the block budget.
class BudgetReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const auto& r : runs) {
            seconds_.emplace_back(r.benchmark_name(), r.GetAdjustedRealTime() * 1e-6);
            cpuSeconds_.emplace_back(r.benchmark_name(), r.GetAdjustedCPUTime() * 1e-6);
        }
    }
    void Summary() const {
        std::printf("\nShare of the 100 ms block budget (real time per block):\n");
        for (const auto& [name, s] : seconds_)
            std::printf("  %-40s %8.3f %%\n", name.c_str(), s / 0.1 * 100);
        // CPU time: on a shared machine the wall clock also counts other programs.
        double own = 0, fftw = 0;
        for (const auto& [name, s] : cpuSeconds_) {
            if (name.find("Own") != std::string::npos) own = s;
            if (name.find("Fftw") != std::string::npos) fftw = s;
        }
        if (own > 0 && fftw > 0)
            std::printf(
                "Own 4096-point transform / FFTW (CPU time): %.1f x; goal 3 x: ratio %.2f\n",
                own / fftw, own / fftw / 3);
    }

  private:
    std::vector<std::pair<std::string, double>> seconds_, cpuSeconds_;
};

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    BudgetReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.Summary();
    benchmark::Shutdown();
    return 0;
}
