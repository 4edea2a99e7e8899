// Playback of file streams on the sound server. Each stream made without
// STREAM_DECODE gets, when first played, a PulseAudio playback stream and a
// thread of its own that decodes ahead into a fixed ring. The server's write
// callback only copies from that ring: the decoder is never used on the
// server's thread, and seeking or freeing never happens while the callback
// takes from the ring.
//
// Locks, in the order they nest: a stream's `control` (one caller at a time
// moves, plays or frees it), the threaded main loop's lock, the entry's mutex.
// The decoding thread holds the entry's mutex while it decodes and pushes one
// chunk, and takes the main loop's lock only while holding nothing else.
#include <pulse/pulseaudio.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <complex>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "audiolib/decoder.h"
#include "audiolib/stream.h"
#include "platform/pulse.h"

namespace audiolib {
namespace {

enum class PlayMode { Stopped, Playing, Paused };

constexpr size_t kFftSize = 1024;
constexpr size_t kHistory = 16384; // frames of mono history kept for the FFT
constexpr pa_usec_t kTargetLatency = 150 * 1000;
// Decoded ahead of the server: well over the server's 150 ms at any rate.
constexpr size_t kRingFrames = 32768;
constexpr size_t kChunkFrames = 4096; // decoded at a time

// Decoded PCM between the decoding thread (the only writer) and the write
// callback (the only reader). Positions only grow; Reset runs only while
// both sides are held off.
class PcmRing {
  public:
    explicit PcmRing(size_t samples) : buf_(samples) {}
    // Reader side.
    size_t Readable() const { return write_.load() - read_.load(std::memory_order_relaxed); }
    void Pop(int16_t* out, size_t n) {
        const size_t r = read_.load(std::memory_order_relaxed);
        const size_t at = r % buf_.size();
        const size_t first = std::min(n, buf_.size() - at);
        std::memcpy(out, buf_.data() + at, first * sizeof(int16_t));
        std::memcpy(out + first, buf_.data(), (n - first) * sizeof(int16_t));
        read_.store(r + n);
    }
    // Writer side.
    size_t Writable() const {
        return buf_.size() - (write_.load(std::memory_order_relaxed) - read_.load());
    }
    void Push(const int16_t* in, size_t n) {
        const size_t w = write_.load(std::memory_order_relaxed);
        const size_t at = w % buf_.size();
        const size_t first = std::min(n, buf_.size() - at);
        std::memcpy(buf_.data() + at, in, first * sizeof(int16_t));
        std::memcpy(buf_.data(), in + first, (n - first) * sizeof(int16_t));
        write_.store(w + n);
    }
    void Reset() {
        read_.store(0);
        write_.store(0);
    }

  private:
    std::vector<int16_t> buf_;
    std::atomic<size_t> read_{0}, write_{0};
};

struct PlayState {
    explicit PlayState(StreamEntry& e, uint32_t r, uint32_t c)
        : entry(&e), rate(r), chans(c), ring(kRingFrames * std::max<uint32_t>(c, 1)) {}
    ~PlayState() { StopWorker(); }
    PlayState(const PlayState&) = delete;
    PlayState& operator=(const PlayState&) = delete;

    StreamEntry* entry;
    const uint32_t rate, chans;

    // Serialises the callers that move, play or free the stream.
    std::mutex control;
    bool freed = false;

    // Under the main loop's lock.
    pa_stream* stream = nullptr;
    bool ready = false;
    PlayMode mode = PlayMode::Stopped;
    bool feeding = true; // false while a seek replaces what the ring holds
    bool atEnd = false;  // the decoder ran dry; what is written drains
    pa_operation* drain = nullptr;
    uint64_t baseFrame = 0;    // where the last reposition put the stream
    uint64_t writtenFrame = 0; // the frame after the last one written
    float volume = 1;
    std::vector<float> history = std::vector<float>(kHistory, 0.0f);

    // Between the decoding thread and the callback.
    PcmRing ring;
    std::atomic<bool> decodedAll{false}; // the ring holds the rest of the file
    std::atomic<bool> starved{false};    // the callback wanted more than the ring held
    std::atomic<uint32_t> wake{0};       // bumped whenever the decoding thread should look again
    std::atomic<bool> quit{false};
    std::thread worker;

    void Wake() {
        wake.fetch_add(1);
        wake.notify_all();
    }
    void StopWorker() {
        if (!worker.joinable()) return;
        quit.store(true);
        Wake();
        worker.join();
    }
};

pa_threaded_mainloop* Loop() {
    return platform::pulse::Mainloop();
}

// Locks the shared main loop for the life of the guard.
struct LoopLock {
    LoopLock() { pa_threaded_mainloop_lock(Loop()); }
    ~LoopLock() { pa_threaded_mainloop_unlock(Loop()); }
    LoopLock(const LoopLock&) = delete;
    LoopLock& operator=(const LoopLock&) = delete;
};

std::shared_ptr<PlayState> StateOf(StreamEntry& e, bool create) {
    std::lock_guard<std::mutex> lock(e.mutex);
    auto ps = std::static_pointer_cast<PlayState>(e.playback);
    if (!ps && create) {
        ps = std::make_shared<PlayState>(e, e.decoder.Rate(), e.decoder.Channels());
        // Counting starts where the decoder stands.
        ps->baseFrame = ps->writtenFrame = e.decoder.PositionFrames();
        e.playback = ps;
    }
    return ps;
}

void CancelDrain(PlayState& ps) {
    if (ps.drain) {
        pa_operation_cancel(ps.drain);
        pa_operation_unref(ps.drain);
        ps.drain = nullptr;
    }
}

void DrainDone(pa_stream*, int success, void* ud) {
    auto* ps = static_cast<PlayState*>(ud);
    if (ps->drain) {
        pa_operation_unref(ps->drain);
        ps->drain = nullptr;
    }
    if (success && ps->atEnd && ps->mode == PlayMode::Playing) ps->mode = PlayMode::Stopped;
}

void Remember(PlayState& ps, const int16_t* pcm, size_t frames) {
    const uint32_t ch = std::max<uint32_t>(ps.chans, 1);
    for (size_t f = 0; f < frames; ++f) {
        float sum = 0;
        for (uint32_t c = 0; c < ch; ++c)
            sum += pcm[f * ch + c];
        ps.history[(ps.writtenFrame + f) % kHistory] = sum / (32768.0f * static_cast<float>(ch));
    }
}

// Main loop locked. Writes up to `nbytes` of what the ring holds; once the
// decoder has delivered the whole file and the ring is empty, lets what is
// written play out. Runs on the server's thread: ring and atomics only.
void Feed(PlayState& ps, size_t nbytes) {
    if (!ps.stream || !ps.feeding || ps.atEnd || ps.chans == 0) return;
    const size_t ch = ps.chans;
    const size_t frameBytes = ch * sizeof(int16_t);
    size_t want = nbytes / frameBytes;
    while (want > 0) {
        size_t have = ps.ring.Readable() / ch;
        if (have == 0) {
            if (ps.decodedAll.load()) {
                // Everything pushed before the flag was set is visible now.
                if (ps.ring.Readable() >= ch) continue;
                ps.atEnd = true;
                CancelDrain(ps);
                ps.drain = pa_stream_drain(ps.stream, DrainDone, &ps);
                return;
            }
            // Ask the decoding thread to call again, then look once more in
            // case it pushed before it could see the request.
            ps.starved.store(true);
            if (ps.ring.Readable() < ch && !ps.decodedAll.load()) return;
            continue;
        }
        void* buf = nullptr;
        size_t size = std::min(want, have) * frameBytes;
        if (pa_stream_begin_write(ps.stream, &buf, &size) < 0 || !buf) return;
        const size_t frames = std::min({want, have, size / frameBytes});
        if (frames == 0) {
            pa_stream_cancel_write(ps.stream);
            return;
        }
        auto* pcm = static_cast<int16_t*>(buf);
        ps.ring.Pop(pcm, frames * ch);
        ps.Wake();
        Remember(ps, pcm, frames);
        pa_stream_write(ps.stream, buf, frames * frameBytes, nullptr, 0, PA_SEEK_RELATIVE);
        ps.writtenFrame += frames;
        want -= frames;
    }
}

void WriteRequest(pa_stream*, size_t nbytes, void* ud) {
    Feed(*static_cast<PlayState*>(ud), nbytes);
}

// The decoding thread: keeps the ring full from the entry's decoder and hands
// the server what it asked for while the ring was empty.
void DecodeAhead(PlayState* ps) {
    const size_t ch = std::max<uint32_t>(ps->chans, 1);
    std::vector<int16_t> chunk(kChunkFrames * ch);
    while (!ps->quit.load()) {
        const uint32_t seen = ps->wake.load();
        bool progressed = false;
        {
            std::lock_guard<std::mutex> lock(ps->entry->mutex);
            const size_t room = ps->ring.Writable() / ch;
            if (!ps->decodedAll.load() && room >= kChunkFrames) {
                const size_t got = ps->entry->decoder.ReadFrames(chunk.data(), kChunkFrames);
                if (got > 0)
                    ps->ring.Push(chunk.data(), got * ch);
                else
                    ps->decodedAll.store(true);
                progressed = true;
            }
        }
        if (!progressed) {
            ps->wake.wait(seen);
            continue;
        }
        if (ps->starved.exchange(false)) {
            LoopLock lock;
            if (ps->stream && ps->ready) {
                const size_t n = pa_stream_writable_size(ps->stream);
                if (n != static_cast<size_t>(-1)) Feed(*ps, n);
            }
        }
    }
}

void StartWorker(PlayState& ps) {
    if (!ps.worker.joinable() && !ps.freed) ps.worker = std::thread(DecodeAhead, &ps);
}

void ApplyVolume(PlayState& ps) {
    if (!ps.stream || !ps.ready) return;
    pa_cvolume cv;
    pa_cvolume_set(&cv, static_cast<unsigned>(std::max<uint32_t>(ps.chans, 1)),
                   pa_sw_volume_from_linear(ps.volume));
    pa_operation* op = pa_context_set_sink_input_volume(
        platform::pulse::Context(), pa_stream_get_index(ps.stream), &cv, nullptr, nullptr);
    if (op) pa_operation_unref(op);
}

void StreamState(pa_stream* s, void* ud) {
    auto* ps = static_cast<PlayState*>(ud);
    switch (pa_stream_get_state(s)) {
    case PA_STREAM_READY:
        ps->ready = true;
        ApplyVolume(*ps);
        break;
    case PA_STREAM_FAILED:
    case PA_STREAM_TERMINATED:
        ps->ready = false;
        ps->mode = PlayMode::Stopped;
        break;
    default:
        break;
    }
    pa_threaded_mainloop_signal(Loop(), 0);
}

void Disconnect(PlayState& ps) {
    if (!ps.stream) return;
    CancelDrain(ps);
    pa_stream_set_write_callback(ps.stream, nullptr, nullptr);
    pa_stream_set_state_callback(ps.stream, nullptr, nullptr);
    pa_stream_disconnect(ps.stream);
    pa_stream_unref(ps.stream);
    ps.stream = nullptr;
    ps.ready = false;
}

bool Connect(PlayState& ps) {
    if (ps.stream) {
        auto st = pa_stream_get_state(ps.stream);
        if (PA_STREAM_IS_GOOD(st)) return true;
        Disconnect(ps); // a stream the server dropped is made anew
    }
    if (ps.rate == 0 || ps.chans == 0 || ps.chans > PA_CHANNELS_MAX) return false;
    pa_sample_spec format{PA_SAMPLE_S16LE, ps.rate, static_cast<uint8_t>(ps.chans)};
    pa_channel_map map;
    pa_channel_map_init_auto(&map, format.channels, PA_CHANNEL_MAP_DEFAULT);
    ps.stream = pa_stream_new(platform::pulse::Context(), "Kestrune player", &format, &map);
    if (!ps.stream) return false;
    pa_stream_set_state_callback(ps.stream, StreamState, &ps);
    pa_stream_set_write_callback(ps.stream, WriteRequest, &ps);
    pa_buffer_attr attr;
    attr.maxlength = static_cast<uint32_t>(-1);
    attr.tlength = static_cast<uint32_t>(pa_usec_to_bytes(kTargetLatency, &format));
    attr.prebuf = static_cast<uint32_t>(-1);
    attr.minreq = static_cast<uint32_t>(-1);
    attr.fragsize = static_cast<uint32_t>(-1);
    pa_cvolume cv;
    pa_cvolume_set(&cv, format.channels, pa_sw_volume_from_linear(ps.volume));
    auto flags = static_cast<pa_stream_flags_t>(
        PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_AUTO_TIMING_UPDATE | PA_STREAM_ADJUST_LATENCY);
    if (pa_stream_connect_playback(ps.stream, nullptr, &attr, flags, &cv, nullptr) < 0) {
        Disconnect(ps);
        return false;
    }
    return true;
}

// The frame now reaching the speakers: what was written minus what is still
// queued between here and the sink.
uint64_t AudibleFrame(PlayState& ps) {
    if (!ps.stream || !ps.ready) return ps.baseFrame;
    pa_usec_t lat = 0;
    int negative = 0;
    if (pa_stream_get_latency(ps.stream, &lat, &negative) < 0) return ps.baseFrame;
    uint64_t queued = negative ? 0 : lat * ps.rate / 1000000;
    uint64_t f = ps.writtenFrame > queued ? ps.writtenFrame - queued : 0;
    return std::clamp(f, ps.baseFrame, ps.writtenFrame);
}

// `control` held, main loop not. Moves the stream so that `frame` is the next
// one heard; what was queued is thrown away. The callback is kept off the
// ring while the decoder seeks and the ring is emptied.
bool Reposition(PlayState& ps, uint64_t frame) {
    {
        LoopLock lock;
        ps.feeding = false;
        CancelDrain(ps);
        if (ps.stream && ps.ready) {
            pa_operation* op = pa_stream_flush(ps.stream, nullptr, nullptr);
            if (op) pa_operation_unref(op);
        }
    }
    bool ok;
    {
        // Waits for the decoding thread to finish the chunk it is on.
        std::lock_guard<std::mutex> lock(ps.entry->mutex);
        frame = std::min(frame, ps.entry->decoder.TotalFrames());
        ok = ps.entry->decoder.SeekFrame(frame);
        ps.ring.Reset();
        ps.decodedAll.store(false);
    }
    LoopLock lock;
    ps.baseFrame = ps.writtenFrame = frame;
    ps.atEnd = false;
    ps.feeding = true;
    ps.Wake();
    // The server may have asked while the callback was held off; what is
    // decoded by now goes out, and a short ring calls the decoding thread in.
    if (ps.stream && ps.ready) {
        const size_t n = pa_stream_writable_size(ps.stream);
        if (n != static_cast<size_t>(-1)) Feed(ps, n);
    }
    return ok;
}

void Cork(PlayState& ps, bool pause) {
    if (!ps.stream) return;
    pa_operation* op = pa_stream_cork(ps.stream, pause ? 1 : 0, nullptr, nullptr);
    if (op) pa_operation_unref(op);
}

// Hann-windowed 1024-point transform of the mono mix ending at the audible
// frame; magnitudes scaled so a full-scale sine on a bin reads about 0.5.
void Fft1024(const std::vector<float>& in, float* out) {
    std::vector<std::complex<double>> x(kFftSize);
    for (size_t i = 0; i < kFftSize; ++i) {
        double w = 0.5 - 0.5 * std::cos(2 * M_PI * static_cast<double>(i) / (kFftSize - 1));
        x[i] = in[i] * w;
    }
    for (size_t i = 1, j = 0; i < kFftSize; ++i) {
        size_t bit = kFftSize >> 1;
        for (; j & bit; bit >>= 1)
            j ^= bit;
        j ^= bit;
        if (i < j) std::swap(x[i], x[j]);
    }
    for (size_t len = 2; len <= kFftSize; len <<= 1) {
        const double a = -2 * M_PI / static_cast<double>(len);
        const std::complex<double> wl(std::cos(a), std::sin(a));
        for (size_t i = 0; i < kFftSize; i += len) {
            std::complex<double> w(1, 0);
            for (size_t k = 0; k < len / 2; ++k) {
                auto u = x[i + k], v = x[i + k + len / 2] * w;
                x[i + k] = u + v;
                x[i + k + len / 2] = u - v;
                w *= wl;
            }
        }
    }
    for (size_t k = 0; k < kFftSize / 2; ++k)
        out[k] = static_cast<float>(std::abs(x[k]) * 2.0 / kFftSize);
}

// ---- hooks for the generic stream calls ----

uint64_t HookGetPosition(StreamEntry& e, uint32_t) {
    auto ps = StateOf(e, false);
    if (!ps || !Loop()) {
        std::lock_guard<std::mutex> lock(e.mutex);
        return e.decoder.PositionFrames() * e.BytesPerFrame();
    }
    LoopLock lock;
    return AudibleFrame(*ps) * e.BytesPerFrame();
}

bool HookSetPosition(StreamEntry& e, uint64_t pos, uint32_t) {
    const uint64_t bpf = e.BytesPerFrame();
    if (bpf == 0) return false;
    {
        std::lock_guard<std::mutex> lock(e.mutex);
        if (pos / bpf > e.decoder.TotalFrames()) return false;
    }
    if (!Loop()) {
        // No sound server yet, so no decoding thread either.
        std::lock_guard<std::mutex> lock(e.mutex);
        return e.decoder.SeekFrame(pos / bpf);
    }
    auto ps = StateOf(e, true);
    std::lock_guard<std::mutex> control(ps->control);
    if (ps->freed) return false;
    return Reposition(*ps, pos / bpf);
}

uint32_t HookIsActive(StreamEntry& e) {
    auto ps = StateOf(e, false);
    if (!ps || !Loop()) return ACTIVE_STOPPED;
    LoopLock lock;
    switch (ps->mode) {
    case PlayMode::Playing:
        return ACTIVE_PLAYING;
    case PlayMode::Paused:
        return ACTIVE_PAUSED;
    default:
        return ACTIVE_STOPPED;
    }
}

int32_t HookGetData(StreamEntry& e, void* buffer, uint32_t length) {
    if (length != DATA_FFT1024) return -1;
    auto ps = StateOf(e, false);
    std::vector<float> window(kFftSize, 0.0f);
    if (ps && Loop()) {
        LoopLock lock;
        const uint64_t end = AudibleFrame(*ps);
        const uint64_t oldest = std::max<uint64_t>(
            ps->baseFrame, ps->writtenFrame > kHistory ? ps->writtenFrame - kHistory : 0);
        for (size_t i = 0; i < kFftSize; ++i) {
            if (end < kFftSize - i) continue; // before the start of the file
            uint64_t f = end - (kFftSize - i);
            if (f >= oldest && f < ps->writtenFrame) window[i] = ps->history[f % kHistory];
        }
    }
    Fft1024(window, static_cast<float*>(buffer));
    return static_cast<int32_t>(kFftSize / 2 * sizeof(float));
}

void HookFree(StreamEntry& e) {
    auto ps = StateOf(e, false);
    if (!ps) return;
    std::lock_guard<std::mutex> control(ps->control);
    ps->freed = true;
    if (Loop()) {
        LoopLock lock;
        Disconnect(*ps);
        ps->mode = PlayMode::Stopped;
    }
    // Not under the main loop's lock: the thread may be waiting for it.
    ps->StopWorker();
}

struct InstallHooks {
    InstallHooks() {
        PlaybackHooks h;
        h.getPosition = HookGetPosition;
        h.setPosition = HookSetPosition;
        h.isActive = HookIsActive;
        h.getData = HookGetData;
        h.free = HookFree;
        SetPlaybackHooks(h);
    }
} installHooks;

std::shared_ptr<StreamEntry> PlayableEntry(HSTREAM handle) {
    auto e = FindStream(handle);
    if (!e || e->IsDecode()) return nullptr;
    return e;
}

} // namespace

bool ChannelPlay(HSTREAM handle, bool restart) {
    auto e = PlayableEntry(handle);
    if (!e || !platform::pulse::Connect()) return false;
    auto ps = StateOf(*e, true);
    std::lock_guard<std::mutex> control(ps->control);
    if (ps->freed) return false;
    {
        LoopLock lock;
        if (!restart && ps->mode == PlayMode::Playing) return true;
        if (!Connect(*ps)) return false;
    }
    StartWorker(*ps);
    if (restart) Reposition(*ps, 0);
    LoopLock lock;
    // Resuming a stream that has played to its end leaves it stopped there.
    if (!restart && ps->atEnd && !ps->drain) return true;
    ps->mode = PlayMode::Playing;
    Cork(*ps, false);
    return true;
}

bool ChannelPause(HSTREAM handle) {
    auto e = PlayableEntry(handle);
    if (!e || !Loop()) return false;
    auto ps = StateOf(*e, false);
    if (!ps) return false;
    std::lock_guard<std::mutex> control(ps->control);
    LoopLock lock;
    if (ps->mode != PlayMode::Playing) return false;
    Cork(*ps, true);
    ps->mode = PlayMode::Paused;
    return true;
}

bool ChannelStop(HSTREAM handle) {
    auto e = PlayableEntry(handle);
    if (!e) return false;
    if (!Loop()) return true;
    auto ps = StateOf(*e, false);
    if (!ps) return true;
    std::lock_guard<std::mutex> control(ps->control);
    bool move = false;
    uint64_t heard = 0;
    {
        LoopLock lock;
        if (ps->mode == PlayMode::Stopped) return true;
        Cork(*ps, true);
        // What is queued is dropped; a later resume goes on from what was heard.
        if (!ps->atEnd) {
            move = true;
            heard = AudibleFrame(*ps);
        }
        ps->mode = PlayMode::Stopped;
    }
    if (move && !ps->freed) Reposition(*ps, heard);
    return true;
}

bool ChannelSetAttribute(HSTREAM handle, uint32_t attrib, float value) {
    auto e = PlayableEntry(handle);
    if (!e || attrib != ATTRIB_VOL || !(value == value)) return false;
    value = std::clamp(value, 0.0f, 1.0f);
    auto ps = StateOf(*e, true);
    if (!Loop()) {
        // No sound server yet: keep the value for when the stream is made.
        ps->volume = value;
        return true;
    }
    LoopLock lock;
    ps->volume = value;
    ApplyVolume(*ps);
    return true;
}

} // namespace audiolib
