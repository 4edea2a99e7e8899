// WMA recordings: FFmpeg's wmav2 encoder muxed into an ASF file.
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
}

#include <unistd.h>

#include <algorithm>
#include <map>
#include <vector>

#include "audiolib/encode.h"

namespace audiolib {

namespace {

constexpr uint32_t kWmaBase = 0x60000000;

struct WmaWriter {
    AVFormatContext* fmt = nullptr;
    AVCodecContext* codec = nullptr;
    AVStream* st = nullptr;
    AVFrame* frame = nullptr;
    AVPacket* pkt = nullptr;
    std::vector<float> pending[2]; // samples per channel not yet a full frame
    int64_t pts = 0;
    int64_t flushedPts = 0; // samples encoded when the file was last brought up to date
    int chans = 0;
    bool failed = false;
};

std::map<uint32_t, WmaWriter> writers;
uint32_t nextWriter = 1;

AVCodecContext* OpenEncoder(uint32_t freq, uint32_t chans, uint32_t bitrate, bool globalHeader) {
    const AVCodec* c = avcodec_find_encoder(AV_CODEC_ID_WMAV2);
    if (!c) return nullptr;
    AVCodecContext* ctx = avcodec_alloc_context3(c);
    if (!ctx) return nullptr;
    ctx->sample_rate = static_cast<int>(freq);
    ctx->sample_fmt = AV_SAMPLE_FMT_FLTP;
    av_channel_layout_default(&ctx->ch_layout, static_cast<int>(chans));
    ctx->bit_rate = bitrate;
    ctx->time_base = AVRational{1, static_cast<int>(freq)};
    if (globalHeader) ctx->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (avcodec_open2(ctx, c, nullptr) < 0) {
        avcodec_free_context(&ctx);
        return nullptr;
    }
    return ctx;
}

// Moves every packet the encoder has ready into the file.
bool Drain(WmaWriter& w) {
    for (;;) {
        int rc = avcodec_receive_packet(w.codec, w.pkt);
        if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) return true;
        if (rc < 0) return false;
        av_packet_rescale_ts(w.pkt, w.codec->time_base, w.st->time_base);
        w.pkt->stream_index = w.st->index;
        // One stream needs no interleaving queue: each packet goes to the file now.
        if (av_write_frame(w.fmt, w.pkt) < 0) return false;
        // The muxer writes through a buffer; an error of the file shows here.
        if (w.fmt->pb && w.fmt->pb->error < 0) return false;
    }
}

bool EncodeFrame(WmaWriter& w, int samples) {
    if (av_frame_make_writable(w.frame) < 0) return false;
    for (int ch = 0; ch < w.chans; ++ch) {
        float* dst = reinterpret_cast<float*>(w.frame->data[ch]);
        auto& src = w.pending[ch];
        int n = std::min<int>(samples, static_cast<int>(src.size()));
        std::copy(src.begin(), src.begin() + n, dst);
        std::fill(dst + n, dst + w.frame->nb_samples, 0.0f); // the last frame is padded
        src.erase(src.begin(), src.begin() + n);
    }
    w.frame->pts = w.pts;
    w.pts += w.frame->nb_samples;
    if (avcodec_send_frame(w.codec, w.frame) < 0) return false;
    return Drain(w);
}

void FreeWriter(WmaWriter& w) {
    if (w.fmt) {
        if (w.fmt->pb) avio_closep(&w.fmt->pb);
        avformat_free_context(w.fmt);
        w.fmt = nullptr;
    }
    avcodec_free_context(&w.codec);
    av_frame_free(&w.frame);
    av_packet_free(&w.pkt);
}

} // namespace

std::vector<uint32_t> WMA_EncodeGetRates(uint32_t freq, uint32_t chans, uint32_t) {
    // The usual WMA bit rates; each is kept only when the encoder opens with it.
    static const uint32_t kCandidates[] = {320000, 256000, 192000, 160000, 128000, 96000, 80000,
                                           64000,  48000,  40000,  32000,  24000,  20000, 16000,
                                           12000,  10000,  8000,   6000,   5000};
    std::vector<uint32_t> rates;
    for (uint32_t r : kCandidates) {
        AVCodecContext* ctx = OpenEncoder(freq, chans, r, false);
        if (!ctx) continue;
        rates.push_back(r);
        avcodec_free_context(&ctx);
    }
    rates.push_back(0);
    return rates;
}

HENCODE WMA_EncodeOpenFile(uint32_t freq, uint32_t chans, uint32_t, uint32_t bitrate,
                           const std::string& path) {
    if (chans < 1 || chans > 2 || freq == 0) return 0;
    WmaWriter w;
    w.chans = static_cast<int>(chans);
    if (avformat_alloc_output_context2(&w.fmt, nullptr, "asf", path.c_str()) < 0 || !w.fmt)
        return 0;
    const bool global = (w.fmt->oformat->flags & AVFMT_GLOBALHEADER) != 0;
    w.codec = OpenEncoder(freq, chans, bitrate, global);
    w.st = w.codec ? avformat_new_stream(w.fmt, nullptr) : nullptr;
    w.frame = av_frame_alloc();
    w.pkt = av_packet_alloc();
    if (!w.codec || !w.st || !w.frame || !w.pkt ||
        avcodec_parameters_from_context(w.st->codecpar, w.codec) < 0) {
        FreeWriter(w);
        return 0;
    }
    w.st->time_base = w.codec->time_base;
    // The muxer holds back the ASF packet it is filling; a killed recording
    // loses that. Packets of about a quarter second keep the loss small at
    // low bit rates (3200 bytes would hold a second at 24 kbit/s).
    const int64_t packet = std::clamp<int64_t>(bitrate / 8 / 4, 512, 3200);
    av_opt_set_int(w.fmt->priv_data, "packet_size", packet, 0);
    w.frame->format = AV_SAMPLE_FMT_FLTP;
    w.frame->sample_rate = static_cast<int>(freq);
    av_channel_layout_copy(&w.frame->ch_layout, &w.codec->ch_layout);
    w.frame->nb_samples = w.codec->frame_size;
    // FFmpeg reads "name:" at the start of a path as a protocol; "file:" makes
    // the rest a plain file name whatever it holds.
    if (av_frame_get_buffer(w.frame, 0) < 0 ||
        avio_open(&w.fmt->pb, ("file:" + path).c_str(), AVIO_FLAG_WRITE) < 0) {
        FreeWriter(w);
        return 0;
    }
    if (avformat_write_header(w.fmt, nullptr) < 0) {
        FreeWriter(w);
        unlink(path.c_str()); // a file without even a header is no recording
        return 0;
    }
    avio_flush(w.fmt->pb); // from now on the file on disk is a valid one
    uint32_t h = kWmaBase | nextWriter++;
    writers[h] = w;
    return h;
}

bool WMA_EncodeWrite(HENCODE handle, const void* buffer, uint32_t length) {
    auto it = writers.find(handle);
    if (it == writers.end()) return false;
    WmaWriter& w = it->second;
    if (w.failed) return false;
    const int16_t* s = static_cast<const int16_t*>(buffer);
    const size_t frames = length / (2u * static_cast<uint32_t>(w.chans));
    for (size_t i = 0; i < frames; ++i)
        for (int ch = 0; ch < w.chans; ++ch)
            w.pending[ch].push_back(s[i * static_cast<size_t>(w.chans) + ch] / 32768.0f);
    const int fs = w.codec->frame_size;
    while (static_cast<int>(w.pending[0].size()) >= fs) {
        if (!EncodeFrame(w, fs)) {
            w.failed = true;
            return false;
        }
    }
    // The file is written as the recording goes, not kept in buffers until
    // the end: a killed recorder leaves a file that plays up to its last
    // fraction of a second, and a full disk shows at once.
    if (w.pts - w.flushedPts >= w.codec->sample_rate / 4) {
        avio_flush(w.fmt->pb);
        w.flushedPts = w.pts;
        if (w.fmt->pb->error < 0) {
            w.failed = true;
            return false;
        }
    }
    return true;
}

bool WMA_EncodeClose(HENCODE handle) {
    auto it = writers.find(handle);
    if (it == writers.end()) return false;
    WmaWriter& w = it->second;
    bool ok = !w.failed;
    if (ok && !w.pending[0].empty()) ok = EncodeFrame(w, static_cast<int>(w.pending[0].size()));
    if (ok) ok = avcodec_send_frame(w.codec, nullptr) >= 0 && Drain(w);
    // The trailer is tried even after a failure: it completes whatever was written.
    if (av_write_trailer(w.fmt) < 0) ok = false;
    if (w.fmt->pb) {
        avio_flush(w.fmt->pb);
        if (w.fmt->pb->error < 0) ok = false;
    }
    FreeWriter(w);
    writers.erase(it);
    return ok;
}

} // namespace audiolib
