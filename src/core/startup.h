#pragma once
#include <string>

namespace core {

// Start-up steps of the recorder window, in the order it runs them.
// Each is a separate call so the window can interleave its own steps.
void ResetRunValues();       // BoostGain 1, FramesPerBlock 4096
void LoadSettingsAndBoost(); // RegistryRead, then the boost step into the gain
// Settles FolderName on an existing folder (the music folder when the stored
// one is gone). False after "Can not create <folder>" was shown.
bool SettleOutputFolder();
void RememberFolderAndEnter(); // folder-change baseline; current directory
void InitAudioLibrary();       // playback side and the two plug-ins
// Initialises the capture device when there is one; otherwise asks for an
// audio source and opens the sound settings. Returns whether a device exists.
bool InitCaptureIfPresent();
void InitInputDevice();

// Window placement: left and top of the main window on a screen.
struct Placement {
    int left;
    int top;
};
Placement PlaceMainWindow(int screenWidth, int screenHeight, int windowWidth, int backgroundHeight);

// The close request: false keeps the window open (the user said No while recording).
bool FormCloseQuery();
// The last shutdown steps after the window's own: audio library and plug-ins.
void ReleaseAudioLibrary();

// Said once when the stored output folder is gone and the music folder replaces it.
inline std::string FolderReplacedMessage(const std::string& stored, const std::string& now) {
    return "The output folder \"" + stored + "\" was not found. New recordings go to \"" + now +
           "\"; choose another folder with the folder button.";
}
constexpr const char* kNoSourceMessage = "Please, select and enable an audio source!";
constexpr const char* kInterruptQuestion = "Are you sure you want to interrupt recording?";

} // namespace core
