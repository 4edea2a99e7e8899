#pragma once
#include <cstdint>
#include <string>

#include "audiolib/types.h"

namespace audiolib {

// Playback side; the streams themselves come from the decoder.
bool Init(int device, int freq, uint32_t flags);
void Free();
// Plug-ins: FFmpeg decodes every format, so loading only hands out a handle.
HPLUGIN PluginLoad(const std::string& file, uint32_t flags);
bool PluginFree(HPLUGIN handle);

// Recording inputs of a capture device: input 0 is the PulseAudio source
// itself (muted = off), -1 the master, which is the same source.
bool RecordInit(int device);
bool RecordSetDevice(int device);
void RecordFree();
// Flags (INPUT_OFF when muted) or -1 (as 0xFFFFFFFF) when there is no such input.
uint32_t RecordGetInput(int input, float* volume);
std::string RecordGetInputName(int input);
// flags INPUT_ON with volume -1 switches the input on; flags 0 with 0..1 sets its level.
bool RecordSetInput(int input, uint32_t flags, float volume);

} // namespace audiolib
