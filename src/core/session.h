#pragma once
#include <cstdint>
#include <functional>
#include <string>

namespace core {

// What the recorder window (and the file list) plug into the session. Every
// member is optional: an empty one is skipped, so the session runs headless
// in tests and before the windows exist.
struct SessionHooks {
    // The two time labels; both always get the same text.
    std::function<void(const std::string& text)> SetLabTime;
    std::function<void(const std::string& text)> SetLabTime0;
    // Sound-activated state indicator on the main window.
    std::function<void(bool visible)> ShowLabSAR;
    // The current file's name on the main window (after a new name is picked).
    std::function<void(const std::string& path)> ShowLabFile;
    // Clears the main window's status text (the status display rebuilds it).
    std::function<void()> ClearStatus;
    // After a stop with an existing file: rescan the output folder, show the
    // list sorted and select the new recording.
    std::function<void()> FindFiles;
    std::function<void()> ShowFiles;
    std::function<void()> SelectFile;
    // Busy cursor around the rescan.
    std::function<void(bool busy)> SetBusyCursor;
    // "No recording device is enabled" check; when empty, Session.NoDeviceEnabled is used.
    std::function<bool()> NoDeviceEnabled;
    // The text shown when no device is enabled; when empty, the fixed text.
    std::function<std::string()> SourceText;
    // Closes the mixer window the program started for choosing the device.
    std::function<void()> CloseSoundWindow;
    // Called after the time labels were refreshed at the end of each tick.
    std::function<void()> AfterTick;
};
extern SessionHooks Hooks;

// Begins a recording with the current settings.
void StartRecording();
// Ends the current recording, if any, and shows it in the file list.
void StopRecording();
// The stop command (stop button, F9): clears the pause, ends the recording
// and resets the time display.
void Stop();
// The pause button: toggles the pause only in a normal-mode recording.
void PauseCommand();
// The record button: ignored while recording.
void RecordCommand();
// Whether the play button may play SelectedFile now: not while recording or
// paused, and only when there is a file.
bool PlayAllowed();
// Whether a file of the current recording is open (a new-file recording that
// waits for sound has none).
bool RecordingOutputOpen();
// Global hot keys: 101 F5 record, 102 F7 pause toggle, 103 F9 stop.
void HotKey(int id);
// The 100 ms recording tick: drain the capture ring (writing while
// recording), the sound-activated step, the time display.
void TimerRecTimer();
inline void TimerRecTick() {
    TimerRecTimer();
}

// "h:mm:ss.d" with unpadded hours, tenths rounded half to even.
std::string FormatElapsed(float seconds);
// Sets LabTime and LabTime0 to FormatElapsed(Session.ElapsedSeconds).
void ShowElapsed();
// How many stop commands ran so far; lets a step that lets messages run see
// whether the user stopped the recording meanwhile.
uint64_t StopCommandCount();

constexpr const char* kNoDeviceText = "no recording device is enabled";
constexpr const char* kCdromMessage = "Could not save to the CDROM drive!";
constexpr const char* kNoFreeNameMessage =
    "No free recording name is left in the output folder. Move or delete some recordings, "
    "or choose another folder, and start again.";
constexpr const char* kCaptureLostMessage =
    "The recording device is no longer available. The recording was stopped; the file keeps "
    "what was recorded up to then.";

} // namespace core
