#pragma once
// Test helper: decodes an audio file with FFmpeg into 16-bit PCM and measures it.
// Header-only; link the test with libavformat, libavcodec, libswresample, libavutil.
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace testdecode {

struct Decoded {
    bool ok = false;
    std::string error;
    std::string container; // FFmpeg's demuxer name: "wav", "mp3", "ogg", "flac", "asf"
    std::string codec;     // "pcm_s16le", "pcm_u8", "mp3float", "vorbis", "flac", "wmav2"
    int rate = 0;
    int channels = 0;
    int bitsPerSample = 0;     // of the source where the format has it (0 otherwise)
    int64_t bitRate = 0;       // the stream's nominal bit rate, bit/s (0 when unknown)
    std::vector<int16_t> pcm;  // interleaved
    int64_t frames() const { return channels ? static_cast<int64_t>(pcm.size()) / channels : 0; }
    double seconds() const { return rate ? static_cast<double>(frames()) / rate : 0; }
};

inline Decoded DecodeFile(const std::string& path) {
    Decoded d;
    AVFormatContext* fmt = nullptr;
    if (avformat_open_input(&fmt, path.c_str(), nullptr, nullptr) < 0) {
        d.error = "cannot open " + path;
        return d;
    }
    AVCodecContext* ctx = nullptr;
    SwrContext* swr = nullptr;
    AVPacket* pkt = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    auto cleanup = [&] {
        swr_free(&swr);
        av_frame_free(&frame);
        av_packet_free(&pkt);
        avcodec_free_context(&ctx);
        avformat_close_input(&fmt);
    };
    if (avformat_find_stream_info(fmt, nullptr) < 0) {
        d.error = "no stream info";
        cleanup();
        return d;
    }
    const AVCodec* codec = nullptr;
    int si = av_find_best_stream(fmt, AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
    if (si < 0 || !codec) {
        d.error = "no audio stream";
        cleanup();
        return d;
    }
    AVCodecParameters* par = fmt->streams[si]->codecpar;
    ctx = avcodec_alloc_context3(codec);
    avcodec_parameters_to_context(ctx, par);
    if (avcodec_open2(ctx, codec, nullptr) < 0) {
        d.error = "cannot open decoder";
        cleanup();
        return d;
    }
    d.container = fmt->iformat->name;
    d.codec = codec->name;
    d.rate = ctx->sample_rate;
    d.channels = ctx->ch_layout.nb_channels;
    d.bitsPerSample = par->bits_per_coded_sample ? par->bits_per_coded_sample
                                                 : par->bits_per_raw_sample;
    d.bitRate = par->bit_rate;
    AVChannelLayout out;
    av_channel_layout_default(&out, d.channels);
    if (swr_alloc_set_opts2(&swr, &out, AV_SAMPLE_FMT_S16, d.rate, &ctx->ch_layout,
                            ctx->sample_fmt, d.rate, 0, nullptr) < 0 ||
        swr_init(swr) < 0) {
        d.error = "cannot convert";
        cleanup();
        return d;
    }
    auto take = [&]() {
        while (avcodec_receive_frame(ctx, frame) == 0) {
            std::vector<int16_t> buf(static_cast<size_t>(frame->nb_samples + 64) * d.channels);
            uint8_t* outp = reinterpret_cast<uint8_t*>(buf.data());
            int n = swr_convert(swr, &outp, frame->nb_samples + 64,
                                const_cast<const uint8_t**>(frame->extended_data),
                                frame->nb_samples);
            if (n > 0) d.pcm.insert(d.pcm.end(), buf.begin(), buf.begin() + n * d.channels);
            av_frame_unref(frame);
        }
    };
    while (av_read_frame(fmt, pkt) >= 0) {
        if (pkt->stream_index == si && avcodec_send_packet(ctx, pkt) >= 0) take();
        av_packet_unref(pkt);
    }
    avcodec_send_packet(ctx, nullptr);
    take();
    d.ok = true;
    cleanup();
    return d;
}

// One channel of the PCM as doubles, from `fromSec` for `lenSec` (clipped to what exists).
inline std::vector<double> Channel(const Decoded& d, int ch, double fromSec = 0,
                                   double lenSec = 1e9) {
    std::vector<double> x;
    if (!d.channels || ch >= d.channels) return x;
    int64_t a = static_cast<int64_t>(fromSec * d.rate);
    int64_t b = std::min(d.frames(), a + static_cast<int64_t>(lenSec * d.rate));
    for (int64_t i = std::max<int64_t>(a, 0); i < b; ++i)
        x.push_back(d.pcm[static_cast<size_t>(i * d.channels + ch)]);
    return x;
}

// Frequency by upward zero crossings with a small hysteresis, so noise near
// zero does not count; 0 for silence.
inline double ZeroCrossingFrequency(const std::vector<double>& x, int rate) {
    if (x.size() < 2 || rate <= 0) return 0;
    double peak = 0;
    for (double v : x) peak = std::max(peak, std::fabs(v));
    if (peak < 64) return 0;
    const double h = peak * 0.1;
    bool low = x[0] < 0;
    int64_t first = -1, last = -1, count = 0;
    for (size_t i = 1; i < x.size(); ++i) {
        if (low && x[i] > h) {
            low = false;
            if (first < 0) first = static_cast<int64_t>(i);
            else ++count;
            last = static_cast<int64_t>(i);
        } else if (!low && x[i] < -h) {
            low = true;
        }
    }
    if (count == 0 || last <= first) return 0;
    return static_cast<double>(count) * rate / static_cast<double>(last - first);
}

// Power of `freq` in the signal (Goertzel), as a share of the total power: near 1
// for a clean sine of that frequency.
inline double ToneShare(const std::vector<double>& x, int rate, double freq) {
    if (x.empty() || rate <= 0) return 0;
    const double w = 2 * M_PI * freq / rate;
    const double c = 2 * std::cos(w);
    double s1 = 0, s2 = 0, total = 0, mean = 0;
    for (double v : x) mean += v;
    mean /= static_cast<double>(x.size());
    for (double v0 : x) {
        double v = v0 - mean;
        double s0 = v + c * s1 - s2;
        s2 = s1;
        s1 = s0;
        total += v * v;
    }
    if (total <= 0) return 0;
    const double power = s1 * s1 + s2 * s2 - c * s1 * s2; // |X(f)|^2
    return 2 * power / (static_cast<double>(x.size()) * total);
}

// The strongest frequency between lo and hi Hz in `step` Hz steps (a coarse DFT).
inline double DftPeak(const std::vector<double>& x, int rate, double lo = 50, double hi = 5000,
                      double step = 10) {
    double best = 0, bestShare = -1;
    for (double f = lo; f <= hi; f += step) {
        double s = ToneShare(x, rate, f);
        if (s > bestShare) bestShare = s, best = f;
    }
    return best;
}

// Largest absolute sample of one channel.
inline double Peak(const std::vector<double>& x) {
    double p = 0;
    for (double v : x) p = std::max(p, std::fabs(v));
    return p;
}

} // namespace testdecode
