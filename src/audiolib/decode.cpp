// File streams: every recording format decoded by FFmpeg to interleaved 16-bit
// PCM, behind 32-bit handles.
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/dict.h>
#include <libavutil/log.h>
#include <libswresample/swresample.h>
}

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <vector>

#include "audiolib/decoder.h"
#include "audiolib/encode.h"
#include "audiolib/stream.h"

namespace audiolib {

namespace {

// Only the containers recordings come in. A hostile file that probes as some
// rarely used format is refused instead of reaching that demuxer.
constexpr const char* kFormats = "wav,mp3,ogg,flac,asf";
// File stream handles stay below the ranges of the encoder's handles.
constexpr uint32_t kMaxHandle = 0x0FFFFFFF;
constexpr int64_t kNoPts = INT64_MIN;

bool IsIntegerPcm(AVCodecID id) {
    return id == AV_CODEC_ID_PCM_U8 || id == AV_CODEC_ID_PCM_S16LE || id == AV_CODEC_ID_PCM_S24LE ||
           id == AV_CODEC_ID_PCM_S32LE;
}

} // namespace

struct Decoder::Impl {
    AVFormatContext* fmt = nullptr;
    AVCodecContext* ctx = nullptr;
    SwrContext* swr = nullptr;
    AVPacket* pkt = nullptr;
    AVFrame* frame = nullptr;
    int stream = -1;
    AVRational timeBase{1, 1};
    int64_t startTs = 0; // stream start time
    int64_t origin = 0;  // frames from startTs to the first frame the decoder delivers
    int64_t preroll = 0; // frames to decode before a seek target so the codec has settled

    uint32_t rate = 0, channels = 0, sourceBits = 0;
    bool isFloat = false, wavPcm = false;
    uint64_t totalFrames = 0, fileSize = 0;

    // Swr is set up for the format of the frames actually delivered.
    int swrFormat = -1, swrRate = 0;
    AVChannelLayout swrLayout{};

    std::vector<int16_t> pending; // decoded, not yet handed out
    size_t pendingPos = 0;        // in samples
    uint64_t position = 0;        // frame index of pending[pendingPos]
    bool demuxEnd = false, decodeEnd = false;

    ~Impl() { Free(); }

    void Free() {
        swr_free(&swr);
        av_channel_layout_uninit(&swrLayout);
        swrFormat = -1;
        av_frame_free(&frame);
        av_packet_free(&pkt);
        avcodec_free_context(&ctx);
        avformat_close_input(&fmt);
        pending.clear();
        pendingPos = 0;
        position = 0;
        stream = -1;
    }

    size_t PendingFrames() const { return channels ? (pending.size() - pendingPos) / channels : 0; }

    int64_t FrameOfPts(int64_t pts) const {
        return av_rescale_q(pts - startTs, timeBase, AVRational{1, static_cast<int>(rate)}) -
               origin;
    }

    bool SetUpSwr(const AVFrame* f) {
        if (swr && f->format == swrFormat && f->sample_rate == swrRate &&
            av_channel_layout_compare(&f->ch_layout, &swrLayout) == 0)
            return true;
        swr_free(&swr);
        av_channel_layout_uninit(&swrLayout);
        swrFormat = -1;
        // Zeroed: av_channel_layout_copy releases what its destination holds
        // first, and a stack layout left as it was would be freed as garbage.
        AVChannelLayout out{};
        av_channel_layout_default(&out, static_cast<int>(channels));
        AVChannelLayout in{};
        if (f->ch_layout.nb_channels > 0) {
            if (av_channel_layout_copy(&in, &f->ch_layout) < 0) return false;
        } else {
            av_channel_layout_default(&in, static_cast<int>(channels));
        }
        int rc =
            swr_alloc_set_opts2(&swr, &out, AV_SAMPLE_FMT_S16, static_cast<int>(rate), &in,
                                static_cast<AVSampleFormat>(f->format), f->sample_rate, 0, nullptr);
        av_channel_layout_uninit(&out);
        if (rc < 0 || swr_init(swr) < 0) {
            av_channel_layout_uninit(&in);
            swr_free(&swr);
            return false;
        }
        swrLayout = in;
        swrFormat = f->format;
        swrRate = f->sample_rate;
        return true;
    }

    // Appends the samples of `frame` to `pending`. `firstPts` gets the frame's
    // position (kNoPts when the stream gives none).
    bool Convert(int64_t* firstPts) {
        if (firstPts) {
            int64_t ts = frame->best_effort_timestamp;
            *firstPts = ts == AV_NOPTS_VALUE ? kNoPts : FrameOfPts(ts);
        }
        if (frame->nb_samples <= 0) return true;
        if (!SetUpSwr(frame)) return false;
        int room = swr_get_out_samples(swr, frame->nb_samples);
        if (room <= 0) return true;
        // Drop what was handed out before growing, so the buffer stays small.
        if (pendingPos > 0) {
            pending.erase(pending.begin(), pending.begin() + static_cast<ptrdiff_t>(pendingPos));
            pendingPos = 0;
        }
        size_t old = pending.size();
        pending.resize(old + static_cast<size_t>(room) * channels);
        uint8_t* outp = reinterpret_cast<uint8_t*>(pending.data() + old);
        int n = swr_convert(swr, &outp, room, const_cast<const uint8_t**>(frame->extended_data),
                            frame->nb_samples);
        pending.resize(old + static_cast<size_t>(std::max(n, 0)) * channels);
        return n >= 0;
    }

    // Decodes until at least one more frame of audio is pending or the stream
    // ends. `firstPts` as in Convert, for the first frame decoded.
    bool DecodeMore(int64_t* firstPts) {
        if (firstPts) *firstPts = kNoPts;
        bool wantPts = firstPts != nullptr;
        while (!decodeEnd) {
            int rc = avcodec_receive_frame(ctx, frame);
            if (rc == 0) {
                bool ok = Convert(wantPts ? firstPts : nullptr);
                wantPts = false;
                av_frame_unref(frame);
                if (!ok) {
                    decodeEnd = true;
                    return false;
                }
                if (PendingFrames() > 0) return true;
                continue;
            }
            if (rc == AVERROR_EOF) {
                decodeEnd = true;
                break;
            }
            if (rc != AVERROR(EAGAIN)) {
                decodeEnd = true;
                break;
            }
            if (demuxEnd) {
                decodeEnd = true;
                break;
            }
            rc = av_read_frame(fmt, pkt);
            if (rc < 0) {
                demuxEnd = true;
                avcodec_send_packet(ctx, nullptr);
                continue;
            }
            if (pkt->stream_index == stream) {
                // A damaged packet is skipped; the decoder goes on with the next.
                avcodec_send_packet(ctx, pkt);
            }
            av_packet_unref(pkt);
        }
        return PendingFrames() > 0;
    }

    bool SeekTo(uint64_t target, int64_t backoffFrames) {
        int64_t frameTs = static_cast<int64_t>(target) - backoffFrames;
        if (frameTs < 0) frameTs = 0;
        frameTs += origin;
        int64_t ts =
            startTs + av_rescale_q(frameTs, AVRational{1, static_cast<int>(rate)}, timeBase);
        if (avformat_seek_file(fmt, stream, INT64_MIN, ts, ts, 0) < 0) {
            if (frameTs != 0) return false;
            // Nothing to seek back to: start over from the first packet.
            if (avformat_seek_file(fmt, stream, INT64_MIN, startTs, INT64_MAX, 0) < 0 &&
                av_seek_frame(fmt, stream, startTs, AVSEEK_FLAG_BACKWARD | AVSEEK_FLAG_ANY) < 0)
                return false;
        }
        avcodec_flush_buffers(ctx);
        swr_free(&swr);
        swrFormat = -1;
        pending.clear();
        pendingPos = 0;
        demuxEnd = decodeEnd = false;
        return true;
    }
};

Decoder::Decoder() : impl_(std::make_unique<Impl>()) {
    static const bool quiet = [] {
        // Damaged files are expected; their complaints are not ours to print.
        av_log_set_level(AV_LOG_QUIET);
        return true;
    }();
    (void)quiet;
}

Decoder::~Decoder() = default;

bool Decoder::Open(const std::string& path) {
    Close();
    Impl& d = *impl_;
    struct stat st;
    // Only regular files: a FIFO or device would block or never end.
    if (path.empty() || stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    d.fileSize = static_cast<uint64_t>(st.st_size);

    AVDictionary* opts = nullptr;
    av_dict_set(&opts, "format_whitelist", kFormats, 0);
    av_dict_set(&opts, "protocol_whitelist", "file", 0);
    // "file:" keeps a name such as "concat:x" from selecting another protocol.
    const std::string url = "file:" + path;
    int rc = avformat_open_input(&d.fmt, url.c_str(), nullptr, &opts);
    av_dict_free(&opts);
    if (rc < 0) {
        d.fmt = nullptr;
        return false;
    }
    // The WAV reader leaves the file at the first sample: what lies beyond it
    // is the data a truncated or never-finished file really holds.
    const int64_t dataStart = avio_tell(d.fmt->pb);
    if (avformat_find_stream_info(d.fmt, nullptr) < 0) {
        Close();
        return false;
    }
    const AVCodec* codec = nullptr;
    d.stream = av_find_best_stream(d.fmt, AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
    if (d.stream < 0 || !codec) {
        Close();
        return false;
    }
    AVStream* s = d.fmt->streams[d.stream];
    AVCodecParameters* par = s->codecpar;
    if (par->sample_rate <= 0 || par->ch_layout.nb_channels <= 0 ||
        par->ch_layout.nb_channels > 8) {
        Close();
        return false;
    }
    d.ctx = avcodec_alloc_context3(codec);
    d.pkt = av_packet_alloc();
    d.frame = av_frame_alloc();
    if (!d.ctx || !d.pkt || !d.frame || avcodec_parameters_to_context(d.ctx, par) < 0 ||
        avcodec_open2(d.ctx, codec, nullptr) < 0) {
        Close();
        return false;
    }
    d.rate = static_cast<uint32_t>(par->sample_rate);
    d.channels = static_cast<uint32_t>(par->ch_layout.nb_channels);
    d.timeBase = s->time_base;
    d.startTs = s->start_time == AV_NOPTS_VALUE ? 0 : s->start_time;
    const std::string container = d.fmt->iformat->name;
    d.isFloat = par->codec_id == AV_CODEC_ID_PCM_F32LE || par->codec_id == AV_CODEC_ID_PCM_F64LE;
    d.wavPcm = container == "wav" && IsIntegerPcm(par->codec_id);
    if (IsIntegerPcm(par->codec_id) || d.isFloat)
        d.sourceBits = static_cast<uint32_t>(av_get_bits_per_sample(par->codec_id));
    else if (par->codec_id == AV_CODEC_ID_FLAC)
        d.sourceBits = static_cast<uint32_t>(par->bits_per_raw_sample);

    int64_t frames = -1;
    if (s->duration != AV_NOPTS_VALUE && s->duration > 0)
        frames = av_rescale_q(s->duration, s->time_base, AVRational{1, par->sample_rate});
    else if (d.fmt->duration != AV_NOPTS_VALUE && d.fmt->duration > 0)
        frames = av_rescale_q(d.fmt->duration, AV_TIME_BASE_Q, AVRational{1, par->sample_rate});
    if (container == "wav" && par->block_align > 0 && dataStart >= 0 &&
        static_cast<uint64_t>(dataStart) <= d.fileSize) {
        // A header written before the recording ended claims 0 or 4 GiB of
        // data; the file itself says how much there is.
        int64_t present =
            static_cast<int64_t>(d.fileSize - static_cast<uint64_t>(dataStart)) / par->block_align;
        if (frames < 0 || frames > present) frames = present;
    }
    d.totalFrames = frames > 0 ? static_cast<uint64_t>(frames) : 0;
    // Frame 0 is the first one the decoder delivers: some containers stamp
    // it later than their start time (WMA). It stays pending for the first read.
    // A lossy codec needs the frames before a seek target to decode it right
    // (the MP3 bit reservoir, overlapping transforms).
    d.preroll = d.sourceBits > 0 ? 0 : d.rate / 5;
    int64_t first = kNoPts;
    // (An MP3 decoder stamps its first frame before the start time, which
    // already counts the encoder delay it skips: that one keeps origin 0.)
    if (d.DecodeMore(&first) && first != kNoPts && first > 0) d.origin = first;
    d.position = 0;
    return true;
}

void Decoder::Close() {
    impl_->Free();
    impl_->rate = impl_->channels = impl_->sourceBits = 0;
    impl_->isFloat = impl_->wavPcm = false;
    impl_->origin = impl_->preroll = 0;
    impl_->totalFrames = impl_->fileSize = 0;
    impl_->demuxEnd = impl_->decodeEnd = false;
}

bool Decoder::IsOpen() const {
    return impl_->fmt != nullptr;
}
uint32_t Decoder::Rate() const {
    return impl_->rate;
}
uint32_t Decoder::Channels() const {
    return impl_->channels;
}
uint32_t Decoder::SourceBits() const {
    return impl_->sourceBits;
}
bool Decoder::SourceIsFloat() const {
    return impl_->isFloat;
}
bool Decoder::IsWavPcm() const {
    return impl_->wavPcm;
}
uint64_t Decoder::TotalFrames() const {
    return impl_->totalFrames;
}
uint64_t Decoder::FileSize() const {
    return impl_->fileSize;
}
uint64_t Decoder::PositionFrames() const {
    return impl_->position;
}

bool Decoder::AtEnd() const {
    return !IsOpen() || (impl_->decodeEnd && impl_->PendingFrames() == 0);
}

size_t Decoder::ReadFrames(int16_t* out, size_t frames) {
    Impl& d = *impl_;
    if (!IsOpen() || !out) return 0;
    size_t done = 0;
    while (done < frames) {
        if (d.PendingFrames() == 0 && !d.DecodeMore(nullptr)) break;
        size_t n = std::min(frames - done, d.PendingFrames());
        std::memcpy(out + done * d.channels, d.pending.data() + d.pendingPos,
                    n * d.channels * sizeof(int16_t));
        d.pendingPos += n * d.channels;
        d.position += n;
        done += n;
    }
    return done;
}

bool Decoder::SeekFrame(uint64_t frame) {
    Impl& d = *impl_;
    if (!IsOpen()) return false;
    if (d.totalFrames > 0 && frame > d.totalFrames) frame = d.totalFrames;
    // The containers land at or before the target (OGG up to a second early,
    // some MP3s after it); land earlier and earlier until the target is
    // reached from before, then decode and discard up to it.
    const int64_t backoffs[] = {d.preroll, d.preroll + d.rate / 2, d.rate * 2, d.rate * 10,
                                INT64_MAX / 4};
    for (int64_t back : backoffs) {
        if (!d.SeekTo(frame, back)) continue;
        int64_t first = kNoPts;
        if (!d.DecodeMore(&first)) {
            // Nothing decodes from here: at the end of the stream.
            if (frame == 0 || back >= static_cast<int64_t>(frame)) {
                d.position = frame;
                return true;
            }
            continue;
        }
        if (first == kNoPts) first = static_cast<int64_t>(frame) - back;
        if (first < 0) first = 0;
        if (static_cast<uint64_t>(first) > frame && back < static_cast<int64_t>(frame)) continue;
        d.position = static_cast<uint64_t>(first);
        // Discard up to the target.
        while (d.position < frame) {
            if (d.PendingFrames() == 0 && !d.DecodeMore(nullptr)) break;
            size_t n = static_cast<size_t>(
                std::min<uint64_t>(frame - d.position, static_cast<uint64_t>(d.PendingFrames())));
            d.pendingPos += n * d.channels;
            d.position += n;
        }
        d.position = std::max(d.position, frame);
        return true;
    }
    return false;
}

// ---- handle table ----

namespace {

std::mutex tableMutex;
std::map<HSTREAM, std::shared_ptr<StreamEntry>> table;
HSTREAM nextHandle = 1;
PlaybackHooks hooks;

uint64_t Fail64() {
    return static_cast<uint64_t>(-1);
}

} // namespace

std::shared_ptr<StreamEntry> FindStream(HSTREAM handle) {
    std::lock_guard<std::mutex> lock(tableMutex);
    auto it = table.find(handle);
    return it == table.end() ? nullptr : it->second;
}

void SetPlaybackHooks(const PlaybackHooks& h) {
    std::lock_guard<std::mutex> lock(tableMutex);
    hooks = h;
}

namespace {
PlaybackHooks Hooks() {
    std::lock_guard<std::mutex> lock(tableMutex);
    return hooks;
}
} // namespace

HSTREAM StreamCreateFile(const std::string& path, uint64_t offset, uint64_t length,
                         uint32_t flags) {
    // Only whole files are ever opened.
    if (offset != 0 || length != 0) return 0;
    auto entry = std::make_shared<StreamEntry>();
    entry->flags = flags;
    entry->path = path;
    if (!entry->decoder.Open(path)) return 0;
    entry->outBits = entry->decoder.SourceBits() == 8 && !entry->decoder.SourceIsFloat() ? 8 : 16;
    std::lock_guard<std::mutex> lock(tableMutex);
    for (uint32_t tries = 0; tries < kMaxHandle; ++tries) {
        HSTREAM h = nextHandle;
        nextHandle = nextHandle >= kMaxHandle ? 1 : nextHandle + 1;
        if (table.count(h)) continue;
        entry->handle = h;
        table[h] = entry;
        return h;
    }
    return 0;
}

bool StreamFree(HSTREAM handle) {
    if (handle & DUMMY_STREAM_BIT) return StreamFreeDummy(handle);
    auto entry = FindStream(handle);
    if (!entry) return false;
    PlaybackHooks h = Hooks();
    if (!entry->IsDecode() && h.free) h.free(*entry);
    {
        std::lock_guard<std::mutex> lock(tableMutex);
        table.erase(handle);
    }
    // The decoder closes when the last user lets go of the entry.
    return true;
}

bool ChannelGetInfo(HSTREAM handle, ChannelInfo* info) {
    auto entry = FindStream(handle);
    if (!entry || !info) return false;
    std::lock_guard<std::mutex> lock(entry->mutex);
    info->freq = entry->decoder.Rate();
    info->chans = entry->decoder.Channels();
    // The PCM handed out is 8 or 16 bit, never float, whatever the source.
    info->flags = entry->outBits == 8 ? SAMPLE_8BITS : 0;
    info->ctype = entry->decoder.IsWavPcm() ? CTYPE_STREAM_WAV_PCM : 0;
    info->origres = entry->decoder.SourceBits();
    return true;
}

uint64_t StreamGetFilePosition(HSTREAM handle, uint32_t mode) {
    auto entry = FindStream(handle);
    if (!entry || mode != FILEPOS_END) return Fail64();
    return entry->decoder.FileSize();
}

uint64_t ChannelGetLength(HSTREAM handle, uint32_t mode) {
    auto entry = FindStream(handle);
    if (!entry || mode != POS_BYTE) return Fail64();
    std::lock_guard<std::mutex> lock(entry->mutex);
    return entry->decoder.TotalFrames() * entry->BytesPerFrame();
}

uint64_t ChannelGetPosition(HSTREAM handle, uint32_t mode) {
    auto entry = FindStream(handle);
    if (!entry || mode != POS_BYTE) return Fail64();
    PlaybackHooks h = Hooks();
    if (!entry->IsDecode() && h.getPosition) return h.getPosition(*entry, mode);
    std::lock_guard<std::mutex> lock(entry->mutex);
    return entry->decoder.PositionFrames() * entry->BytesPerFrame();
}

bool ChannelSetPosition(HSTREAM handle, uint64_t pos, uint32_t mode) {
    auto entry = FindStream(handle);
    if (!entry || mode != POS_BYTE) return false;
    PlaybackHooks h = Hooks();
    if (!entry->IsDecode() && h.setPosition) return h.setPosition(*entry, pos, mode);
    std::lock_guard<std::mutex> lock(entry->mutex);
    const uint64_t bpf = entry->BytesPerFrame();
    if (bpf == 0) return false;
    const uint64_t frame = pos / bpf;
    // Beyond the end is refused; the end itself is a valid place to be.
    if (frame > entry->decoder.TotalFrames()) return false;
    return entry->decoder.SeekFrame(frame);
}

double ChannelBytes2Seconds(HSTREAM handle, uint64_t bytes) {
    auto entry = FindStream(handle);
    if (!entry) return -1;
    const double perSecond =
        static_cast<double>(entry->decoder.Rate()) * static_cast<double>(entry->BytesPerFrame());
    if (perSecond <= 0) return -1;
    return static_cast<double>(bytes) / perSecond;
}

uint32_t ChannelIsActive(HSTREAM handle) {
    auto entry = FindStream(handle);
    if (!entry) return ACTIVE_STOPPED;
    PlaybackHooks h = Hooks();
    if (!entry->IsDecode()) return h.isActive ? h.isActive(*entry) : ACTIVE_STOPPED;
    std::lock_guard<std::mutex> lock(entry->mutex);
    return entry->decoder.AtEnd() ? ACTIVE_STOPPED : ACTIVE_PLAYING;
}

int32_t ChannelGetData(HSTREAM handle, void* buffer, uint32_t length) {
    auto entry = FindStream(handle);
    if (!entry || !buffer) return -1;
    PlaybackHooks h = Hooks();
    if (!entry->IsDecode()) return h.getData ? h.getData(*entry, buffer, length) : -1;
    // Decode streams hand out PCM only; the flag words (FFT and the like)
    // belong to playing streams.
    if (length & 0xC0000000u) return -1;
    std::lock_guard<std::mutex> lock(entry->mutex);
    const uint32_t bpf = entry->BytesPerFrame();
    if (bpf == 0) return -1;
    const size_t frames = length / bpf;
    if (frames == 0) return entry->decoder.AtEnd() ? -1 : 0;
    const uint32_t chans = entry->decoder.Channels();
    size_t got = 0;
    if (entry->outBits == 16) {
        // 16-bit output is read straight into the caller's buffer when it is
        // aligned; otherwise through a scratch buffer.
        if (reinterpret_cast<uintptr_t>(buffer) % alignof(int16_t) == 0) {
            got = entry->decoder.ReadFrames(static_cast<int16_t*>(buffer), frames);
        } else {
            std::vector<int16_t> tmp(frames * chans);
            got = entry->decoder.ReadFrames(tmp.data(), frames);
            std::memcpy(buffer, tmp.data(), got * chans * sizeof(int16_t));
        }
    } else {
        std::vector<int16_t> tmp(frames * chans);
        got = entry->decoder.ReadFrames(tmp.data(), frames);
        uint8_t* out = static_cast<uint8_t*>(buffer);
        for (size_t i = 0; i < got * chans; ++i)
            out[i] = static_cast<uint8_t>((tmp[i] >> 8) + 128);
    }
    if (got == 0) return -1;
    return static_cast<int32_t>(got * bpf);
}

} // namespace audiolib
