#pragma once
#include <cstdint>
#include <functional>
#include <string>

namespace core {

// What the session needs from the recorder window. The window implements all
// of it and connects itself when it is created; a session that runs without a
// connected view is a programming error and stops the program at once.
class SessionView {
  public:
    virtual ~SessionView() = default;
    // The two time labels; both always get the same text.
    virtual void ShowTime(const std::string& text) = 0;
    // Sound-activated state indicator.
    virtual void ShowLabSAR(bool visible) = 0;
    // The current file's name (after a new name is picked).
    virtual void ShowLabFile(const std::string& path) = 0;
    // Clears the status text (the status display rebuilds it).
    virtual void ClearStatus() = 0;
    // After a stop with an existing file: rescan the output folder, show the
    // list sorted and select the new recording.
    virtual void FindFiles() = 0;
    virtual void ShowFiles() = 0;
    virtual void SelectFile() = 0;
    // Busy cursor around the rescan.
    virtual void SetBusyCursor(bool busy) = 0;
    // The text shown when no device is enabled.
    virtual std::string SourceText() = 0;
    // Closes the mixer window the program started for choosing the device.
    virtual void CloseSoundWindow() = 0;
    // Analysis and drawing of the meters for the block just converted.
    virtual void UpdateMeters() = 0;
    // The capture ring opened with a new geometry: the meters rescale.
    virtual void CaptureOpened() = 0;
};
// Connects `view` (and with it the capture drain) to the session; nullptr
// disconnects.
void ConnectView(SessionView* view);
// The connected view; aborts when there is none.
SessionView& View();
// Appends the converted block to the open outputs; the drain calls it for
// every block while recording and not paused.
void WriteRecordedBlock();

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
constexpr const char* kCaptureNotOpenMessage =
    "The recording device could not be opened, so nothing can be recorded. Check that a "
    "recording source is enabled, then press Record again.";
constexpr const char* kCaptureLostEmptyMessage =
    "The recording device is no longer available. The recording was stopped before anything "
    "was recorded, so no file was kept.";
constexpr const char* kCaptureLostMessage =
    "The recording device is no longer available. The recording was stopped; the file keeps "
    "what was recorded up to then.";

} // namespace core
