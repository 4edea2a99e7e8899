#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "capture/capture.h"
#include "capture/preroll.h"
#include "core/settings.h"
#include "core/state.h"
#include "platform/clock.h"
#include "platform/debug.h"
#include "platform/inhibit.h"
#include "platform/prompt.h"

namespace capture {

CaptureParams Params;
RingState Ring;
BlockState Block;

namespace {

void ApplyRate(uint32_t rate) {
    switch (rate) {
    case 11025:
        Params.OutFramesPerBlock = 1102;
        break;
    case 22050:
        Params.OutFramesPerBlock = 2205;
        break;
    case 48000:
        Params.CaptureRate = 48000;
        Params.FramesPerBlock = Params.OutFramesPerBlock = 4800;
        Params.FftSize = 4096;
        break;
    case 96000:
        Params.CaptureRate = 96000;
        Params.FramesPerBlock = Params.OutFramesPerBlock = 9600;
        Params.FftSize = 8192;
        break;
    default:
        break;
    }
}

DrainListener* gListener = nullptr;

DrainListener& Listener() {
    if (!gListener) {
        std::fprintf(stderr, "kestrune: the capture drain runs without its listener\n");
        std::abort();
    }
    return *gListener;
}

void ReportError(const std::string& text) {
    Listener().CaptureError(text);
}

} // namespace

void ConnectDrain(DrainListener* listener) {
    gListener = listener;
}

void ComputeGeometry() {
    const auto& s = core::Settings;
    Params.CaptureRate = 44100;
    Params.FramesPerBlock = 4410;
    Params.OutFramesPerBlock = 4410;
    Params.FftSize = 4096;
    Params.OutBlockAlign = static_cast<uint16_t>(s.Channels * s.BitPerSample / 8);
    Params.OutByteRate = static_cast<int>(s.SamplePerSecond * Params.OutBlockAlign);
    if (s.IsWav) ApplyRate(s.SamplePerSecond);
    if (s.IsFLAC) ApplyRate(s.SamplePerSecond);
    Params.CaptureBufferBytes = Params.FramesPerBlock * 4;
    Params.OutBlockBytes = s.Channels * 2 * Params.OutFramesPerBlock;
    if ((s.IsWav && s.BitPerSample == 8) || (s.IsFLAC && s.BitPerSample == 8))
        Params.OutBlockBytes = s.Channels * Params.OutFramesPerBlock;
    // A garbage channel count must never make a block larger than its buffer.
    if (Params.OutBlockBytes < 0 || Params.OutBlockBytes > static_cast<int>(sizeof Block.OutBlock))
        Params.OutBlockBytes = 0;
}

void OpenCapture() {
    if (Ring.IsCaptureOpen || Ring.DeviceFormats < 0x800) return;
    ComputeGeometry();
    ForgetKeptBlocks(); // their size may not be the new geometry's
    Ring.SequenceCounter = 0;
    Ring.CaptureMemory.assign(static_cast<size_t>(kRingBuffers) * Params.CaptureBufferBytes, 0);
    auto& dev = platform::Capture();
    int rc = dev.Open(0, Params.CaptureRate);
    if (rc != 0) {
        ReportError(dev.ErrorText(rc));
        return;
    }
    Ring.IsCaptureOpen = true;
    for (int i = 0; i < kRingBuffers; ++i)
        QueueCaptureBuffer(i);
    dev.Start();
    Listener().CaptureOpened();
}

void QueueCaptureBuffer(int index) {
    Ring.SequenceCounter += 1;
    auto& h = Ring.CaptureHeaders[index];
    h.data = Ring.CaptureMemory.data() + static_cast<size_t>(index) * Params.CaptureBufferBytes;
    h.bufferLength = static_cast<uint32_t>(Params.CaptureBufferBytes);
    h.bytesRecorded.store(0, std::memory_order_relaxed);
    h.user = Ring.SequenceCounter;
    h.flags = 0;
    platform::Capture().AddBuffer(&h);
}

namespace {

// With KESTRUNE_DEBUG=1 the program tells on standard error, once a minute
// and at exit, how much audio the device had to throw away because every
// queued buffer was full, and the longest tick so far. Nothing otherwise.
// Set when the program is loaded, so the first meter frame can be timed from there.
const auto kProgramStart = std::chrono::steady_clock::now();

struct DebugReport {
    bool metersSeen = false;

    void FirstMeterFrame() {
        if (!platform::DebugEnabled() || metersSeen) return;
        metersSeen = true;
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                            std::chrono::steady_clock::now() - kProgramStart)
                            .count();
        platform::DebugPrint("first meter frame %lld ms after start", static_cast<long long>(ms));
    }
    int64_t worstTickMs = 0;
    int64_t lastPrintMs = -1;
    int64_t lastStartMs = -1;

    // A tick more than 20 ms late (the GUI thread was held up) is told at once.
    void Started(int64_t startMs) {
        if (lastStartMs >= 0 && startMs - lastStartMs > 120)
            platform::DebugPrint("late tick: %lld ms after the one before",
                                 static_cast<long long>(startMs - lastStartMs));
        lastStartMs = startMs;
    }

    void Print() const {
        const uint64_t dropped = platform::Capture().DroppedBytes();
        const int block = Params.CaptureBufferBytes > 0 ? Params.CaptureBufferBytes : 1;
        platform::DebugPrint(
            "dropped capture blocks %llu (%llu bytes), worst tick %lld ms",
            static_cast<unsigned long long>(dropped / static_cast<uint64_t>(block)),
            static_cast<unsigned long long>(dropped), static_cast<long long>(worstTickMs));
    }
    void Tick(int64_t startMs, int64_t endMs) {
        worstTickMs = std::max(worstTickMs, endMs - startMs);
        if (lastPrintMs < 0) {
            lastPrintMs = endMs;
            std::atexit([] { Report().Print(); });
        } else if (endMs - lastPrintMs >= 60000) {
            lastPrintMs = endMs;
            Print();
        }
    }
    static DebugReport& Report() {
        static DebugReport r;
        return r;
    }
};

void DrainBlocks();

} // namespace

void DrainCapture() {
    if (!platform::DebugEnabled()) {
        DrainBlocks();
        return;
    }
    const int64_t start = platform::TickMs();
    DebugReport::Report().Started(start);
    DrainBlocks();
    DebugReport::Report().Tick(start, platform::TickMs());
}

namespace {

void DrainBlocks() {
    // A laptop must not suspend in the middle of a lecture; a sound-activated
    // recording waiting for sound counts as recording too.
    platform::KeepAwake(core::Session.IsRecording);
    if (!Ring.IsCaptureOpen) return;
    auto& dev = platform::Capture();
    const uint32_t full = static_cast<uint32_t>(Params.CaptureBufferBytes);
    for (int round = 0; round < kRingBuffers; ++round) {
        int best = -1;
        for (int i = 0; i < kRingBuffers; ++i) {
            auto& h = Ring.CaptureHeaders[i];
            if (h.bytesRecorded.load(std::memory_order_acquire) != full) continue;
            if (best < 0 || h.user < Ring.CaptureHeaders[best].user) best = i;
        }
        if (best < 0) return;
        Ring.CurrentBufferIndex = best;
        ConvertBlock();
        MeasurePeaks();
        KeepBlock();
        if (!core::Session.IsPlayerShown) {
            Listener().UpdateMeters();
            DebugReport::Report().FirstMeterFrame();
        }
        if (core::Session.IsRecording && !core::Session.IsPaused) {
            core::CountWrittenBlock();
            Listener().WriteBlock();
            WrittenThrough = NewestBlock();
        }
        // A hook may have closed the ring (a device error, a restart).
        if (!Ring.IsCaptureOpen) return;
        auto& h = Ring.CaptureHeaders[best];
        Ring.SequenceCounter += 1;
        h.bytesRecorded.store(0, std::memory_order_relaxed);
        h.user = Ring.SequenceCounter;
        dev.AddBuffer(&h);
        dev.Start();
    }
}

} // namespace

void CloseCapture() {
    if (!Ring.IsCaptureOpen) return;
    auto& dev = platform::Capture();
    dev.Reset();
    dev.Close();
    Ring.IsCaptureOpen = false;
}

void ListCaptureDevices() {
    auto& dev = platform::Capture();
    int n = dev.DeviceCount();
    Ring.DeviceCount = n;
    for (int id = 0; id < n && id < kMaxDevices; ++id) {
        platform::CaptureCaps caps;
        if (!dev.GetCaps(id, caps)) continue;
        Ring.DeviceTable[id].caps = caps;
        Ring.DeviceTable[id].name = caps.name.substr(0, 32);
    }
    if (n > 0) Ring.DeviceFormats = Ring.DeviceTable[0].caps.formats;
}

int FindCaptureDevice(const std::string& name) {
    int found = -1;
    for (int i = 0; i < Ring.DeviceCount && i < kMaxDevices; ++i)
        if (Ring.DeviceTable[i].name == name) found = i;
    return found;
}

} // namespace capture
