#pragma once
#include <cstdint>

namespace audiolib {

// Handles are 32-bit; 0 means failure.
using HSTREAM = uint32_t;
using HENCODE = uint32_t;
using HPLUGIN = uint32_t;

constexpr uint32_t UNICODE_FLAG = 0x80000000; // file name given as UTF-16 (ignored here)
constexpr uint32_t INPUT_OFF = 0x10000;
constexpr uint32_t INPUT_ON = 0x20000;
constexpr uint32_t STREAM_DECODE = 0x200000;
constexpr uint32_t SAMPLE_8BITS = 1;
constexpr uint32_t SAMPLE_FLOAT = 0x100;
constexpr uint32_t CTYPE_STREAM_WAV_PCM = 0x50001;
constexpr uint32_t POS_BYTE = 0;
constexpr uint32_t FILEPOS_END = 2;
constexpr uint32_t ACTIVE_STOPPED = 0;
constexpr uint32_t ACTIVE_PLAYING = 1;
constexpr uint32_t ACTIVE_STALLED = 2;
constexpr uint32_t ACTIVE_PAUSED = 3;
constexpr uint32_t ATTRIB_VOL = 2;
constexpr uint32_t DATA_FFT1024 = 0x80000002;
constexpr uint32_t ENCODE_PAUSE = 0x20;

} // namespace audiolib
