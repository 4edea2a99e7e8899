#pragma once

namespace core {
// Begins a recording with the current settings.
void StartRecording();
// Ends the current recording, if any, and shows it in the file list.
void StopRecording();
// The recording tick: drain, sound-activated step, time display.
void TimerRecTick();
} // namespace core
