#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/capture_device.h"

namespace capture {

constexpr int kRingBuffers = 40;
constexpr int kMaxFrames = 9600;
constexpr int kMaxDevices = 11;

// Block geometry, set when capture opens from the settings of that moment.
struct CaptureParams {
    int CaptureRate = 44100;
    uint16_t FramesPerBlock = 4096;
    uint16_t OutFramesPerBlock = 4410;
    uint16_t FftSize = 4096;
    int CaptureBufferBytes = 4410 * 4;
    int OutBlockBytes = 4410 * 4;
    uint16_t OutBlockAlign = 4;
    int OutByteRate = 44100 * 4;
};

struct DeviceEntry {
    platform::CaptureCaps caps;
    std::string name;
};

struct RingState {
    bool IsCaptureOpen = false;
    uint32_t SequenceCounter = 0;
    int CurrentBufferIndex = 0;
    std::vector<uint8_t> CaptureMemory;
    platform::CaptureHeader CaptureHeaders[kRingBuffers];
    DeviceEntry DeviceTable[kMaxDevices];
    int DeviceCount = 0;
    uint32_t DeviceFormats = 0; // supported-format bits of device 0
};

// The converted block and its levels; overwritten by every block.
struct BlockState {
    int16_t LeftBlock[kMaxFrames + 1] = {};
    int16_t RightBlock[kMaxFrames + 1] = {};
    uint8_t OutBlock[38400] = {};
    float BoostGain = 1.0f;
    int32_t DcOffsetLeft = 0;
    int32_t DcOffsetRight = 0;
    float PeakLeft = 0;
    float PeakRight = 0;
    int32_t ClipHoldLeft = 0;
    int32_t ClipHoldRight = 0;
};

extern CaptureParams Params;
extern RingState Ring;
extern BlockState Block;

// What the drain reports per block besides conversion and peaks. The session
// implements it; draining with nothing connected is a programming error and
// stops the program at once.
class DrainListener {
  public:
    virtual ~DrainListener() = default;
    // Analysis and drawing; not called while the player shows.
    virtual void UpdateMeters() = 0;
    // Called only while recording and not paused.
    virtual void WriteBlock() = 0;
    virtual void CaptureError(const std::string& text) = 0;
    // The meters recompute their scale factors.
    virtual void CaptureOpened() = 0;
};
void ConnectDrain(DrainListener* listener);

void OpenCapture();
void CloseCapture();
void QueueCaptureBuffer(int index);
void DrainCapture();
void ListCaptureDevices();
int FindCaptureDevice(const std::string& name);

// Computes the geometry from the settings without touching the device.
void ComputeGeometry();

// Block conversion and peaks (see convert.cpp).
void ConvertBlock();
void MeasurePeaks();

} // namespace capture
