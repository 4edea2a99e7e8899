#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct pa_threaded_mainloop;
struct pa_context;

namespace platform::pulse {

struct SourceInfo {
    std::string name;        // server name of the source
    std::string description; // what a person reads
    uint32_t index = 0;
    bool monitor = false;
    bool muted = false;
    float volume = 0; // average of the channels, 0..1 (1 = 100 %)
    uint8_t channels = 2;
};

// One connection to the sound server on a threaded main loop, shared by
// capture, playback and the input controls. Never autospawns a server.
// Returns true when the context is ready; tries to reconnect after a failure.
bool Connect(int timeoutMs = 2000);
bool Connected();
// With the main loop locked: waits until `state` says ready (1) or failed (-1),
// at most `timeoutMs`. `state` is asked again each time the main loop is
// signalled, so the callbacks that change it must signal. True when ready.
bool WaitLocked(const std::function<int()>& state, int timeoutMs);
pa_threaded_mainloop* Mainloop();
pa_context* Context();

// Sources in the order the program numbers capture devices: the default
// source first, then the others in server order, monitors last.
std::vector<SourceInfo> ListSources();
std::string DefaultSourceName();
// False when the server refuses, e.g. for a source that is gone.
bool SetDefaultSource(const std::string& name);
bool SetSourceMute(const std::string& name, bool mute);
bool SetSourceVolume(const std::string& name, float volume, uint8_t channels);

// Counts source and server events (a source added or removed, the default changed).
uint64_t SourceEventCount();

} // namespace platform::pulse
