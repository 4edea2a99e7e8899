#include "audiolib/record.h"

#include <atomic>

#include "platform/pulse.h"

namespace audiolib {
namespace {

bool gRecordInit = false;
std::string gSourceName; // the source behind device index `gDevice`
int gDevice = -1;
std::atomic<uint32_t> gNextPlugin{1};

bool FindSource(platform::pulse::SourceInfo& out) {
    if (!gRecordInit) return false;
    for (const auto& s : platform::pulse::ListSources())
        if (s.name == gSourceName) {
            out = s;
            return true;
        }
    return false;
}

} // namespace

bool Init(int, int, uint32_t) { return platform::pulse::Connect(); }
void Free() {}

HPLUGIN PluginLoad(const std::string&, uint32_t) { return gNextPlugin.fetch_add(1); }
bool PluginFree(HPLUGIN handle) { return handle != 0; }

bool RecordInit(int device) {
    gRecordInit = false;
    if (!platform::pulse::Connect()) return false;
    auto list = platform::pulse::ListSources();
    if (device < 0 || device >= static_cast<int>(list.size())) return false;
    gSourceName = list[device].name;
    gDevice = device;
    gRecordInit = true;
    return true;
}

bool RecordSetDevice(int device) { return RecordInit(device); }

void RecordFree() {
    gRecordInit = false;
    gSourceName.clear();
    gDevice = -1;
}

uint32_t RecordGetInput(int input, float* volume) {
    platform::pulse::SourceInfo s;
    if ((input != -1 && input != 0) || !FindSource(s)) return 0xFFFFFFFFu;
    if (volume) *volume = s.volume > 1 ? 1.0f : s.volume;
    return s.muted ? INPUT_OFF : 0;
}

std::string RecordGetInputName(int input) {
    platform::pulse::SourceInfo s;
    if ((input != -1 && input != 0) || !FindSource(s)) return {};
    return s.description;
}

bool RecordSetInput(int input, uint32_t flags, float volume) {
    platform::pulse::SourceInfo s;
    if ((input != -1 && input != 0) || !FindSource(s)) return false;
    bool ok = true;
    if (flags & INPUT_ON) ok = platform::pulse::SetSourceMute(s.name, false) && ok;
    if (flags & INPUT_OFF) ok = platform::pulse::SetSourceMute(s.name, true) && ok;
    if (volume >= 0) ok = platform::pulse::SetSourceVolume(s.name, volume, s.channels) && ok;
    return ok;
}

} // namespace audiolib
