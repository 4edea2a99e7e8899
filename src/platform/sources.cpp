#include "platform/sources.h"

#include <algorithm>

namespace platform {

std::vector<RecordingSource> RecordingSources(const std::vector<pulse::SourceInfo>& sources,
                                              const std::string& defaultName) {
    std::vector<const pulse::SourceInfo*> order;
    for (const auto& s : sources)
        order.push_back(&s);
    std::stable_sort(order.begin(), order.end(),
                     [](const pulse::SourceInfo* a, const pulse::SourceInfo* b) {
                         if (a->monitor != b->monitor) return !a->monitor;
                         return a->index < b->index;
                     });
    std::vector<RecordingSource> out;
    for (const auto* s : order)
        out.push_back({s->name, s->description.empty() ? s->name : s->description, s->monitor,
                       s->name == defaultName});
    return out;
}

std::vector<RecordingSource> RecordingSources() {
    if (!pulse::Connect()) return {};
    return RecordingSources(pulse::ListSources(), pulse::DefaultSourceName());
}

bool SetDefaultSource(const std::string& name) {
    if (name.empty() || !pulse::Connect()) return false;
    return pulse::SetDefaultSource(name);
}

} // namespace platform
