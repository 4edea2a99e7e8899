#include "core/session.h"

#include "capture/capture.h"
#include "core/state.h"

namespace core {
void StartRecording() {}
void StopRecording() {
    if (!Session.IsRecording) return;
    Session.IsRecording = false;
    Session.IsPaused = false;
}
void TimerRecTick() { capture::DrainCapture(); }
} // namespace core
