#include <pulse/pulseaudio.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>

#include "platform/capture_device.h"
#include "platform/pulse.h"

namespace platform {
namespace {

enum ErrorCode { kNoServer = 1, kNoDevice = 2, kStreamFailed = 3 };

// Records 16-bit stereo from one source on the server's thread and copies it
// into the queued buffers in queue order. The GUI thread only sees each
// buffer's published byte count.
class PulseCaptureDevice : public CaptureDevice {
  public:
    ~PulseCaptureDevice() override { Close(); }

    int DeviceCount() override {
        Refresh();
        return static_cast<int>(sources_.size());
    }

    bool GetCaps(int id, CaptureCaps& caps) override {
        if (id < 0 || id >= static_cast<int>(sources_.size())) return false;
        caps.name = CutCharacters(sources_[id].description, 31);
        caps.formats = kAllWaveFormats; // the server resamples to any rate we ask
        caps.channels = 2;
        return true;
    }

    int Open(int id, int rate) override {
        Close();
        if (!pulse::Connect()) return kNoServer;
        Refresh();
        if (id < 0 || id >= static_cast<int>(sources_.size())) return kNoDevice;
        auto* loop = pulse::Mainloop();
        pa_sample_spec ss{PA_SAMPLE_S16LE, static_cast<uint32_t>(rate), 2};
        pa_threaded_mainloop_lock(loop);
        stream_ = pa_stream_new(pulse::Context(), "Kestrune capture", &ss, nullptr);
        if (!stream_) {
            pa_threaded_mainloop_unlock(loop);
            return kStreamFailed;
        }
        pa_stream_set_read_callback(stream_, &PulseCaptureDevice::ReadCb, this);
        pa_stream_set_state_callback(stream_, &PulseCaptureDevice::StateCb, this);
        // A small fragment: the server's default hands audio over in lumps of
        // a second or more, which would make the 100 ms blocks arrive in bursts.
        // Half a block is small enough for that; each fragment wakes this
        // thread and maps the server's memory, which is most of what
        // monitoring costs here.
        pa_buffer_attr attr;
        std::memset(&attr, 0xff, sizeof attr);
        attr.fragsize = static_cast<uint32_t>(rate / 20 * 4); // 50 ms
        int rc = pa_stream_connect_record(stream_, sources_[id].name.c_str(), &attr,
                                          PA_STREAM_ADJUST_LATENCY);
        const bool ready =
            rc == 0 && pulse::WaitLocked(
                           [this] {
                               auto st = pa_stream_get_state(stream_);
                               return st == PA_STREAM_READY ? 1 : PA_STREAM_IS_GOOD(st) ? 0 : -1;
                           },
                           3000);
        if (!ready) {
            DropStreamLocked();
            pa_threaded_mainloop_unlock(loop);
            return kStreamFailed;
        }
        pa_threaded_mainloop_unlock(loop);
        return 0;
    }

    std::string ErrorText(int code) override {
        switch (code) {
        case kNoServer:
            return "The sound server does not answer.";
        case kNoDevice:
            return "The recording device is not available.";
        default:
            return "The recording device could not be opened.";
        }
    }

    void AddBuffer(CaptureHeader* hdr) override {
        std::lock_guard<std::mutex> g(mu_);
        queue_.push_back(hdr);
    }
    void Start() override { started_.store(true); }

    void Reset() override {
        started_.store(false);
        std::lock_guard<std::mutex> g(mu_);
        queue_.clear();
        fill_ = 0;
    }

    void Close() override {
        Reset();
        if (!stream_) return;
        auto* loop = pulse::Mainloop();
        pa_threaded_mainloop_lock(loop);
        DropStreamLocked();
        pa_threaded_mainloop_unlock(loop);
    }

    uint64_t DroppedBytes() const override { return dropped_.load(); }

  private:
    void Refresh() {
        if (!pulse::Connect(1000)) {
            sources_.clear();
            return;
        }
        sources_ = pulse::ListSources();
    }

    void DropStreamLocked() {
        if (!stream_) return;
        pa_stream_set_read_callback(stream_, nullptr, nullptr);
        pa_stream_set_state_callback(stream_, nullptr, nullptr);
        pa_stream_disconnect(stream_);
        pa_stream_unref(stream_);
        stream_ = nullptr;
    }

    // Wakes Open, which waits on the main loop for the stream to be ready.
    static void StateCb(pa_stream*, void*) { pa_threaded_mainloop_signal(pulse::Mainloop(), 0); }

    static void ReadCb(pa_stream* s, size_t, void* ud) {
        auto* self = static_cast<PulseCaptureDevice*>(ud);
        const void* data = nullptr;
        size_t n = 0;
        while (pa_stream_readable_size(s) > 0) {
            if (pa_stream_peek(s, &data, &n) < 0) return;
            if (n == 0) break;
            self->Deliver(static_cast<const uint8_t*>(data), n);
            pa_stream_drop(s);
        }
    }

    // data == nullptr is a hole in the stream: keep the timing with silence.
    void Deliver(const uint8_t* data, size_t n) {
        if (!started_.load()) return;
        std::lock_guard<std::mutex> g(mu_);
        size_t off = 0;
        while (off < n) {
            if (queue_.empty()) {
                dropped_.fetch_add(n - off);
                return;
            }
            CaptureHeader* h = queue_.front();
            size_t room = h->bufferLength - fill_;
            size_t take = std::min(room, n - off);
            if (data)
                std::memcpy(h->data + fill_, data + off, take);
            else
                std::memset(h->data + fill_, 0, take);
            fill_ += take;
            off += take;
            if (fill_ == h->bufferLength) {
                h->bytesRecorded.store(h->bufferLength, std::memory_order_release);
                queue_.pop_front();
                fill_ = 0;
            }
        }
    }

    std::vector<pulse::SourceInfo> sources_;
    pa_stream* stream_ = nullptr;
    std::mutex mu_;
    std::deque<CaptureHeader*> queue_;
    size_t fill_ = 0;
    std::atomic<bool> started_{false};
    std::atomic<uint64_t> dropped_{0};
};

std::unique_ptr<CaptureDevice> gDevice;

} // namespace

std::unique_ptr<CaptureDevice> MakePulseCaptureDevice() {
    return std::make_unique<PulseCaptureDevice>();
}

CaptureDevice& Capture() {
    if (!gDevice) gDevice = MakePulseCaptureDevice();
    return *gDevice;
}

void SetCaptureDevice(std::unique_ptr<CaptureDevice> dev) {
    gDevice = std::move(dev);
}

// ---- scripted device ----

bool ScriptedCaptureDevice::GetCaps(int id, CaptureCaps& caps) {
    if (id < 0 || id >= static_cast<int>(devices.size())) return false;
    caps = devices[id];
    return true;
}

int ScriptedCaptureDevice::Open(int id, int rate) {
    if (openResult != 0) return openResult;
    if (id < 0 || id >= static_cast<int>(devices.size())) return 2;
    openedRate = rate;
    isOpen = true;
    return 0;
}

std::string ScriptedCaptureDevice::ErrorText(int code) {
    return "Scripted capture error " + std::to_string(code);
}

CaptureHeader* ScriptedCaptureDevice::CompleteAt(size_t pos, const std::vector<int16_t>& inter) {
    if (pos >= queued.size()) return nullptr;
    CaptureHeader* h = queued[pos];
    size_t samples = h->bufferLength / 2;
    for (size_t i = 0; i < samples; ++i) {
        int16_t v = inter.empty() ? 0 : inter[i % inter.size()];
        h->data[2 * i] = static_cast<uint8_t>(v & 0xff);
        h->data[2 * i + 1] = static_cast<uint8_t>((v >> 8) & 0xff);
    }
    h->bytesRecorded.store(h->bufferLength, std::memory_order_release);
    queued.erase(queued.begin() + static_cast<long>(pos));
    return h;
}

CaptureHeader* ScriptedCaptureDevice::CompleteNext(const std::vector<int16_t>& inter) {
    return CompleteAt(0, inter);
}

CaptureHeader* ScriptedCaptureDevice::CompleteNext(int16_t left, int16_t right) {
    return CompleteAt(0, {left, right});
}

} // namespace platform
