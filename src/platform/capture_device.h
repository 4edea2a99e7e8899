#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace platform {

// Wave-format bits as the capability record reports them (WAVE_FORMAT_*).
constexpr uint32_t kAllWaveFormats = 0xFFFFF;

// The first `maxChars` characters of a UTF-8 text: a cut inside a multi-byte
// character would leave a broken name on the window.
inline std::string CutCharacters(const std::string& text, size_t maxChars) {
    size_t chars = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if ((c & 0xC0) != 0x80 && chars++ == maxChars) return text.substr(0, i);
    }
    return text;
}

struct CaptureCaps {
    std::string name; // at most 31 characters, as the capability record holds
    uint32_t formats = 0;
    uint16_t channels = 2;
};

// One queued capture buffer. The device writes into `data` from its own
// thread and publishes `bytesRecorded` (release) once the buffer is full;
// the GUI thread only reads that count.
struct CaptureHeader {
    uint8_t* data = nullptr;
    uint32_t bufferLength = 0;
    std::atomic<uint32_t> bytesRecorded{0};
    uint32_t user = 0;
    uint32_t flags = 0;
};

// A small waveIn-shaped capture interface: open a device at a rate (always
// 16-bit stereo), queue buffers, start, reset, close. Polled, never signalled.
class CaptureDevice {
  public:
    virtual ~CaptureDevice() = default;
    virtual int DeviceCount() = 0;
    virtual bool GetCaps(int id, CaptureCaps& caps) = 0;
    // 0 on success, otherwise an error code for ErrorText.
    virtual int Open(int id, int rate) = 0;
    virtual std::string ErrorText(int code) = 0;
    virtual void AddBuffer(CaptureHeader* hdr) = 0;
    virtual void Start() = 0;
    // Stops capture and forgets every queued buffer (their counts stay as they are).
    virtual void Reset() = 0;
    virtual void Close() = 0;
    // Audio that arrived while no queued buffer was free, in bytes.
    virtual uint64_t DroppedBytes() const = 0;
};

// The device the program uses; PulseAudio unless a test installed another.
CaptureDevice& Capture();
void SetCaptureDevice(std::unique_ptr<CaptureDevice> dev);
std::unique_ptr<CaptureDevice> MakePulseCaptureDevice();

// Scripted device for tests: each Complete() call fills the given queued buffer
// (by queue order or by index) with samples from a generator.
class ScriptedCaptureDevice : public CaptureDevice {
  public:
    std::vector<CaptureCaps> devices{{"Scripted Input", kAllWaveFormats, 2}};
    int openResult = 0;
    int openedRate = 0;
    bool isOpen = false;
    bool started = false;
    std::vector<CaptureHeader*> queued; // in queue order, not yet completed

    int DeviceCount() override { return static_cast<int>(devices.size()); }
    bool GetCaps(int id, CaptureCaps& caps) override;
    int Open(int id, int rate) override;
    std::string ErrorText(int code) override;
    void AddBuffer(CaptureHeader* hdr) override { queued.push_back(hdr); }
    void Start() override { started = true; }
    void Reset() override {
        queued.clear();
        started = false;
    }
    void Close() override { isOpen = false; }
    uint64_t DroppedBytes() const override { return 0; }

    // Fills the oldest queued buffer with frames from `frame(i)` (left, right) and
    // marks it complete. Returns the header, or nullptr when none is queued.
    CaptureHeader* CompleteNext(int16_t left, int16_t right);
    CaptureHeader* CompleteNext(const std::vector<int16_t>& interleaved);
    // Completes the queued buffer at queue position `pos` (0 oldest).
    CaptureHeader* CompleteAt(size_t pos, const std::vector<int16_t>& interleaved);
};

} // namespace platform
