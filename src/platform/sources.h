#pragma once
#include <string>
#include <vector>

#include "platform/pulse.h"

namespace platform {

// One entry of the recorder's source menu.
struct RecordingSource {
    std::string name;        // the server's name, what the default is set to
    std::string description; // the caption
    bool monitor = false;
    bool isDefault = false;
};

// The sources as a person picks from them: devices before monitors (a
// monitor records what is played, rarely what is meant), each group in the
// server's order, the default marked.
std::vector<RecordingSource> RecordingSources(const std::vector<pulse::SourceInfo>& sources,
                                              const std::string& defaultName);
// The same, asked of the sound server; empty without a server.
std::vector<RecordingSource> RecordingSources();

// Makes `name` the server's default source. False when the server refuses
// (the source vanished) or cannot be reached.
bool SetDefaultSource(const std::string& name);

} // namespace platform
