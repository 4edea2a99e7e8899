#include "platform/pulse.h"

#include <memory>

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <atomic>
#include <mutex>

namespace platform::pulse {
namespace {

pa_threaded_mainloop* gLoop = nullptr;
pa_context* gCtx = nullptr;
std::atomic<uint64_t> gEvents{0};
std::mutex gConnectMutex;

void ContextState(pa_context*, void*) {
    pa_threaded_mainloop_signal(gLoop, 0);
}

void SubscribeCb(pa_context*, pa_subscription_event_type_t, uint32_t, void*) {
    gEvents.fetch_add(1, std::memory_order_relaxed);
}

// Waits (mainloop locked) for an operation to finish.
void WaitOp(pa_operation* op) {
    if (!op) return;
    while (pa_operation_get_state(op) == PA_OPERATION_RUNNING)
        pa_threaded_mainloop_wait(gLoop);
    pa_operation_unref(op);
}

void SuccessCb(pa_context*, int success, void* ud) {
    *static_cast<int*>(ud) = success;
    pa_threaded_mainloop_signal(gLoop, 0);
}

void DropContext() {
    if (gCtx) {
        pa_context_disconnect(gCtx);
        pa_context_unref(gCtx);
        gCtx = nullptr;
    }
}

} // namespace

bool Connected() {
    if (!gLoop || !gCtx) return false;
    pa_threaded_mainloop_lock(gLoop);
    bool ok = pa_context_get_state(gCtx) == PA_CONTEXT_READY;
    pa_threaded_mainloop_unlock(gLoop);
    return ok;
}

namespace {
void DeadlinePassed(pa_mainloop_api*, pa_time_event*, const struct timeval*, void* ud) {
    *static_cast<bool*>(ud) = true;
    pa_threaded_mainloop_signal(gLoop, 0);
}
} // namespace

bool WaitLocked(const std::function<int()>& state, int timeoutMs) {
    // The state callbacks signal the main loop; so does a timer at the
    // deadline, which the server's thread runs like any other event.
    bool passed = false;
    pa_mainloop_api* api = pa_threaded_mainloop_get_api(gLoop);
    timeval when;
    pa_timeval_add(pa_gettimeofday(&when), static_cast<pa_usec_t>(std::max(timeoutMs, 0)) * 1000);
    pa_time_event* timer = api->time_new(api, &when, DeadlinePassed, &passed);
    int st = state();
    while (st == 0 && !passed) {
        pa_threaded_mainloop_wait(gLoop);
        st = state();
    }
    if (timer) api->time_free(timer);
    return st > 0;
}

bool Connect(int timeoutMs) {
    std::lock_guard<std::mutex> guard(gConnectMutex);
    if (!gLoop) {
        gLoop = pa_threaded_mainloop_new();
        if (!gLoop) return false;
        if (pa_threaded_mainloop_start(gLoop) < 0) {
            pa_threaded_mainloop_free(gLoop);
            gLoop = nullptr;
            return false;
        }
    }
    pa_threaded_mainloop_lock(gLoop);
    if (gCtx && pa_context_get_state(gCtx) == PA_CONTEXT_READY) {
        pa_threaded_mainloop_unlock(gLoop);
        return true;
    }
    DropContext();
    pa_proplist* pl = pa_proplist_new();
    pa_proplist_sets(pl, PA_PROP_APPLICATION_NAME, "Kestrune");
    pa_proplist_sets(pl, PA_PROP_APPLICATION_ICON_NAME, "kestrune");
    gCtx = pa_context_new_with_proplist(pa_threaded_mainloop_get_api(gLoop), "Kestrune", pl);
    pa_proplist_free(pl);
    if (!gCtx) {
        pa_threaded_mainloop_unlock(gLoop);
        return false;
    }
    pa_context_set_state_callback(gCtx, ContextState, nullptr);
    if (pa_context_connect(gCtx, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        DropContext();
        pa_threaded_mainloop_unlock(gLoop);
        return false;
    }
    const bool ready = WaitLocked(
        [] {
            auto st = pa_context_get_state(gCtx);
            return st == PA_CONTEXT_READY ? 1 : PA_CONTEXT_IS_GOOD(st) ? 0 : -1;
        },
        timeoutMs);
    if (ready) {
        pa_context_set_subscribe_callback(gCtx, SubscribeCb, nullptr);
        int ok = 0;
        WaitOp(pa_context_subscribe(gCtx,
                                    static_cast<pa_subscription_mask_t>(
                                        PA_SUBSCRIPTION_MASK_SOURCE | PA_SUBSCRIPTION_MASK_SERVER),
                                    SuccessCb, &ok));
    } else {
        DropContext();
    }
    pa_threaded_mainloop_unlock(gLoop);
    return ready;
}

pa_threaded_mainloop* Mainloop() {
    return gLoop;
}
pa_context* Context() {
    return gCtx;
}
uint64_t SourceEventCount() {
    return gEvents.load(std::memory_order_relaxed);
}

namespace {
struct ListCtx {
    std::vector<SourceInfo> out;
};
void SourceCb(pa_context*, const pa_source_info* i, int eol, void* ud) {
    if (eol || !i) {
        pa_threaded_mainloop_signal(gLoop, 0);
        return;
    }
    SourceInfo s;
    s.name = i->name ? i->name : "";
    s.description = i->description ? i->description : s.name;
    s.index = i->index;
    s.monitor = i->monitor_of_sink != PA_INVALID_INDEX;
    s.muted = i->mute != 0;
    s.volume = static_cast<float>(pa_cvolume_avg(&i->volume)) / PA_VOLUME_NORM;
    s.channels = i->channel_map.channels;
    static_cast<ListCtx*>(ud)->out.push_back(std::move(s));
}
// The answer lives on the heap, shared by the asker and the callback: a
// reply that comes after the asker gave up never writes into a stack frame
// that is gone.
struct ServerAnswer {
    std::string defaultSource;
};
void ServerCb(pa_context*, const pa_server_info* i, void* ud) {
    auto* answer = static_cast<std::shared_ptr<ServerAnswer>*>(ud);
    if (i && i->default_source_name) (*answer)->defaultSource = i->default_source_name;
    delete answer;
    pa_threaded_mainloop_signal(gLoop, 0);
}
} // namespace

std::string DefaultSourceName() {
    if (!Connected()) return {};
    auto answer = std::make_shared<ServerAnswer>();
    pa_threaded_mainloop_lock(gLoop);
    auto* forCallback = new std::shared_ptr<ServerAnswer>(answer);
    pa_operation* op = pa_context_get_server_info(gCtx, ServerCb, forCallback);
    if (!op) delete forCallback; // no callback will come
    WaitOp(op);
    std::string name = answer->defaultSource;
    pa_threaded_mainloop_unlock(gLoop);
    return name;
}

std::vector<SourceInfo> ListSources() {
    if (!Connected()) return {};
    std::string def = DefaultSourceName();
    ListCtx lc;
    pa_threaded_mainloop_lock(gLoop);
    WaitOp(pa_context_get_source_info_list(gCtx, SourceCb, &lc));
    pa_threaded_mainloop_unlock(gLoop);
    std::stable_sort(lc.out.begin(), lc.out.end(), [&](const SourceInfo& a, const SourceInfo& b) {
        auto rank = [&](const SourceInfo& s) { return s.name == def ? 0 : (s.monitor ? 2 : 1); };
        return rank(a) < rank(b);
    });
    return lc.out;
}

bool SetDefaultSource(const std::string& name) {
    if (!Connected()) return false;
    int ok = 0;
    pa_threaded_mainloop_lock(gLoop);
    WaitOp(pa_context_set_default_source(gCtx, name.c_str(), SuccessCb, &ok));
    pa_threaded_mainloop_unlock(gLoop);
    return ok != 0;
}

bool SetSourceMute(const std::string& name, bool mute) {
    if (!Connected()) return false;
    int ok = 0;
    pa_threaded_mainloop_lock(gLoop);
    WaitOp(pa_context_set_source_mute_by_name(gCtx, name.c_str(), mute, SuccessCb, &ok));
    pa_threaded_mainloop_unlock(gLoop);
    return ok != 0;
}

bool SetSourceVolume(const std::string& name, float volume, uint8_t channels) {
    if (!Connected()) return false;
    volume = std::clamp(volume, 0.0f, 1.0f);
    pa_cvolume cv;
    pa_cvolume_set(&cv, channels ? channels : 2,
                   static_cast<pa_volume_t>(volume * PA_VOLUME_NORM + 0.5f));
    int ok = 0;
    pa_threaded_mainloop_lock(gLoop);
    WaitOp(pa_context_set_source_volume_by_name(gCtx, name.c_str(), &cv, SuccessCb, &ok));
    pa_threaded_mainloop_unlock(gLoop);
    return ok != 0;
}

} // namespace platform::pulse
