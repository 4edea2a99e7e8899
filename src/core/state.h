#pragma once
#include <cstdint>
#include <string>

namespace core {

// Session flags shared by the recorder, the player and the windows.
struct SessionState {
    bool IsRecording = false;
    bool IsPaused = false; // shared by recorder and player
    bool IsPlaying = false;
    bool IsPlayerShown = false;
    bool IsDragging = false;
    bool HoverPending = false;
    bool NoDeviceEnabled = false; // set by the status display
    float ElapsedSeconds = 0;     // seconds written to the current file, +0.1 per block
    // Blocks written to the current file; ElapsedSeconds is derived from it,
    // since adding 0.1 to a float drifts by seconds within hours.
    uint64_t BlocksWritten = 0;
    std::string SelectedFile;     // full path of the current recording, empty when none
    std::string SelectedFileInfo; // its one-line format summary
};

// Values set up at start-up and used by the device handling.
struct StartupState {
    bool IsVistaOrLater = true; // Linux desktops have the newer device model
    bool IsMinimized = false;
    std::string DeviceName;
    std::string KnownDeviceName;
    int InputIndex = 0;
    float InputVolume = 0;
    std::string InitialFolder; // folder against which a later folder change is detected
    bool StartupAborted = false;
};

extern SessionState Session;

// The recording time restarts at `blocks` blocks of 100 ms.
inline void SetWrittenBlocks(uint64_t blocks);
// One more 100 ms block written to the current file.
inline void CountWrittenBlock();
extern StartupState Startup;

inline void ResetSessionState() {
    Session = SessionState{};
}

inline void SetWrittenBlocks(uint64_t blocks) {
    Session.BlocksWritten = blocks;
    Session.ElapsedSeconds = static_cast<float>(static_cast<double>(blocks) / 10.0);
}
inline void CountWrittenBlock() {
    SetWrittenBlocks(Session.BlocksWritten + 1);
}

} // namespace core
