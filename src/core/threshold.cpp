#include "core/threshold.h"

#include "capture/capture.h"
#include "core/session.h"
#include "core/settings.h"
#include "core/state.h"
#include "output/output.h"
#include "platform/clock.h"
#include "platform/prompt.h"

namespace core {

double TriggerTime = 0;

namespace {
MsClock gClock = nullptr;

bool Active(int mode) {
    return Session.IsRecording && Settings.IsTresh && Settings.ThresholdMode == mode;
}
} // namespace

void SetThresholdClock(MsClock clock) {
    gClock = clock;
}

double ThresholdNow() {
    return static_cast<double>(gClock ? gClock() : platform::TickMs()) / 1000.0;
}

bool ThresholdTriggered() {
    return capture::Block.PeakLeft / 32767.0 > Settings.ThresholdLevel / 100.0;
}

bool ThresholdReleased() {
    return ThresholdNow() >= TriggerTime + Settings.ThresholdRelease;
}

bool OpenNextSoundFile() {
    if (RecordingOutputOpen()) {
        // Paused by hand while writing: finish that file before the next
        // one, which would otherwise take its place with the file unfinished.
        const uint64_t stops = StopCommandCount();
        StopRecording();
        if (StopCommandCount() != stops) return false;
        Session.IsRecording = true;
        Session.IsPaused = true;
    }
    if (!output::NextRecordingName()) {
        // Reusing the last name would overwrite the previous recording.
        StopRecording();
        platform::CurrentPrompt().Show(platform::MsgKind::Error, kNoFreeNameMessage);
        return false;
    }
    View().ShowLabFile(Session.SelectedFile);
    const bool opened = output::OpenOutputs(); // clears IsRecording and says why on failure
    platform::ProcessEvents();
    Session.IsPaused = false;
    TriggerTime = ThresholdNow();
    return opened && Session.IsRecording;
}

void ThresholdStep() {
    // Each check reads the flags as the checks before it left them.
    if (Active(1) && Session.IsPaused && ThresholdTriggered()) {
        Session.IsPaused = false;
        TriggerTime = ThresholdNow();
    }
    if (Active(1) && !Session.IsPaused && ThresholdReleased()) Session.IsPaused = true;

    if (Active(2) && Session.IsPaused && ThresholdTriggered()) OpenNextSoundFile();
    if (Active(2) && !Session.IsPaused && ThresholdReleased()) {
        const uint64_t stops = StopCommandCount();
        StopRecording();
        platform::ProcessEvents();
        // A stop command given while the messages ran ends the recording for good.
        if (StopCommandCount() == stops) {
            Session.IsRecording = true;
            Session.IsPaused = true;
        }
    }

    if (Active(3) && Session.IsPaused && ThresholdTriggered()) {
        Session.IsPaused = false;
        TriggerTime = ThresholdNow();
    }
    if (Active(3) && !Session.IsPaused && ThresholdReleased()) {
        StopRecording();
        platform::ProcessEvents();
    }
}

} // namespace core
