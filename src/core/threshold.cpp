#include "core/threshold.h"

#include <algorithm>

#include "capture/capture.h"
#include "capture/preroll.h"
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
// Newest block the step has looked at; every block is judged once.
uint64_t gJudged = 0;

bool Active(int mode) {
    return Session.IsRecording && Settings.IsTresh && Settings.ThresholdMode == mode;
}

// What the blocks delivered since the last step hold.
struct NewBlocks {
    uint64_t firstLoud = 0; // number of the first block above the threshold, 0 when none
};

NewBlocks JudgeNewBlocks() {
    NewBlocks seen;
    const uint64_t newest = capture::NewestBlock();
    for (uint64_t seq = std::max(gJudged + 1, capture::OldestKeptBlock()); seq <= newest; ++seq) {
        capture::KeptBlock k;
        if (capture::FindKeptBlock(seq, k) && ThresholdTriggered(k.peak)) {
            seen.firstLoud = seq;
            break;
        }
    }
    gJudged = newest;
    return seen;
}

// Ends the wait: writing starts with the sound that was kept.
void Resume(uint64_t trigger) {
    Session.IsPaused = false;
    WritePreRoll(trigger);
    TriggerTime = ThresholdNow();
}
} // namespace

void SetThresholdClock(MsClock clock) {
    gClock = clock;
}

double ThresholdNow() {
    return static_cast<double>(gClock ? gClock() : platform::TickMs()) / 1000.0;
}

bool ThresholdTriggered(float peak) {
    return peak / 32767.0 > Settings.ThresholdLevel / 100.0;
}

bool ThresholdReleased() {
    return ThresholdNow() >= TriggerTime + Settings.ThresholdRelease;
}

void WritePreRoll(uint64_t trigger) {
    if (!Session.IsRecording || Session.IsPaused) return;
    const uint64_t before = static_cast<uint64_t>(std::clamp(Settings.ThresholdPreRoll, 0, 5000) /
                                                  100); // whole blocks of 100 ms
    uint64_t first = trigger > before ? trigger - before : 1;
    first = std::max(first, capture::OldestKeptBlock());
    // Nothing twice: a file that already holds blocks (mode 1 resuming) gets
    // only what came after them. A file with nothing in it takes all.
    if (Session.BlocksWritten > 0) first = std::max(first, capture::WrittenThrough + 1);
    const uint64_t newest = capture::NewestBlock();
    for (uint64_t seq = first; seq <= newest; ++seq) {
        if (!capture::RestoreKeptBlock(seq)) continue;
        CountWrittenBlock();
        WriteRecordedBlock();
        capture::WrittenThrough = seq;
        // A failed write closes the outputs and ends the recording.
        if (!Session.IsRecording) return;
    }
}

void WritePreRecord() {
    // As if the next block to come were a trigger.
    WritePreRoll(capture::NewestBlock() + 1);
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
    const NewBlocks seen = JudgeNewBlocks();
    const bool loud = seen.firstLoud != 0;
    // Each check reads the flags as the checks before it left them. While
    // writing, every block above the threshold renews the release clock, so
    // a sound longer than the release time is never cut.
    if (Active(1) && Session.IsPaused && loud) Resume(seen.firstLoud);
    if (Active(1) && !Session.IsPaused && loud) TriggerTime = ThresholdNow();
    if (Active(1) && !Session.IsPaused && ThresholdReleased()) Session.IsPaused = true;

    if (Active(2) && Session.IsPaused && loud && OpenNextSoundFile()) WritePreRoll(seen.firstLoud);
    if (Active(2) && !Session.IsPaused && loud) TriggerTime = ThresholdNow();
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

    if (Active(3) && Session.IsPaused && loud) Resume(seen.firstLoud);
    if (Active(3) && !Session.IsPaused && loud) TriggerTime = ThresholdNow();
    if (Active(3) && !Session.IsPaused && ThresholdReleased()) {
        StopRecording();
        platform::ProcessEvents();
    }
}

} // namespace core
