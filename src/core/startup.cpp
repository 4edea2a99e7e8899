#include "core/startup.h"

#include "audiolib/record.h"
#include "capture/boost.h"
#include "capture/capture.h"
#include "core/session.h"
#include "core/settings.h"
#include "core/state.h"
#include "platform/capture_device.h"
#include "platform/clock.h"
#include "platform/prompt.h"
#include "platform/shell.h"

namespace core {
namespace {
audiolib::HPLUGIN gWmaPlugin = 0;
audiolib::HPLUGIN gFlacPlugin = 0;
} // namespace

void ResetRunValues() {
    capture::Block.BoostGain = 1.0f;
    capture::Params.FramesPerBlock = 4096;
}

void LoadSettingsAndBoost() {
    RegistryRead();
    capture::DB2Boost();
    float& g = capture::Block.BoostGain;
    if (g > 10 || g < 1) g = 1;
}

bool SettleOutputFolder() {
    // The current directory becomes the folder itself (a later step), so a
    // relative name is read once, against the directory the program started in.
    const std::string stored = Settings.FolderName;
    Settings.FolderName = AbsoluteFolderName(stored);
    if (!platform::IsDirectory(Settings.FolderName)) {
        Settings.FolderName = platform::MusicFolder();
        if (!platform::IsDirectory(Settings.FolderName) &&
            !platform::MakeDirectory(Settings.FolderName)) {
            platform::CurrentPrompt().Show(platform::MsgKind::Error,
                                           "Can not create " + Settings.FolderName);
            Startup.StartupAborted = true;
            return false;
        }
        if (!stored.empty())
            platform::CurrentPrompt().Show(platform::MsgKind::Warning,
                                           FolderReplacedMessage(stored, Settings.FolderName));
    }
    return true;
}

void RememberFolderAndEnter() {
    Startup.IsVistaOrLater = true;
    Startup.InitialFolder = Settings.FolderName;
    platform::ChangeDirectory(Settings.FolderName);
}

void InitAudioLibrary() {
    audiolib::Init(-1, 44100, 0);
    gWmaPlugin = audiolib::PluginLoad("basswma.dll", audiolib::UNICODE_FLAG);
    gFlacPlugin = audiolib::PluginLoad("bassflac.dll", audiolib::UNICODE_FLAG);
}

bool InitCaptureIfPresent() {
    if (platform::Capture().DeviceCount() > 0) {
        InitInputDevice();
        return true;
    }
    if (Startup.IsVistaOrLater) {
        platform::CurrentPrompt().Show(platform::MsgKind::Info, kNoSourceMessage);
        platform::OpenSoundControlPanel();
    }
    return false;
}

void InitInputDevice() {
    auto& dev = platform::Capture();
    platform::CaptureCaps caps;
    if (dev.GetCaps(0, caps)) {
        capture::Ring.DeviceTable[0].caps = caps;
        capture::Ring.DeviceTable[0].name = caps.name.substr(0, 32);
        capture::Ring.DeviceFormats = caps.formats;
    }
    Startup.DeviceName = capture::Ring.DeviceTable[0].name;
    Startup.KnownDeviceName = Startup.DeviceName;
    audiolib::RecordFree();
    platform::ProcessEvents();
    capture::OpenCapture();
    audiolib::RecordInit(0);
    // The input search ends at the first input the library does not know
    // (reported as -1, which also carries the "off" bit).
    Startup.InputIndex = 0;
    Startup.InputVolume = 0;
    for (int i = 0;; ++i) {
        float vol = 0;
        uint32_t flags = audiolib::RecordGetInput(i, &vol);
        if (flags == 0xFFFFFFFFu) {
            // None switched on: use the first input, which is switched on below.
            Startup.InputIndex = 0;
            audiolib::RecordGetInput(0, &Startup.InputVolume);
            break;
        }
        if (!(flags & audiolib::INPUT_OFF)) {
            Startup.InputIndex = i;
            Startup.InputVolume = vol;
            break;
        }
    }
    audiolib::RecordSetInput(-1, audiolib::INPUT_ON, -1);
    audiolib::RecordSetInput(0, audiolib::INPUT_ON, -1);
    audiolib::RecordSetInput(Startup.InputIndex, audiolib::INPUT_ON, -1);
    capture::ListCaptureDevices();
}

Placement PlaceMainWindow(int screenWidth, int screenHeight, int windowWidth,
                          int backgroundHeight) {
    Placement p;
    p.left = (screenWidth - windowWidth) / 2;
    p.top = (screenHeight - backgroundHeight - 299) / 2;
    if (p.top < 0) p.top = 0;
    return p;
}

bool FormCloseQuery() {
    if (Session.IsRecording && !platform::CurrentPrompt().AskYesNo(kInterruptQuestion))
        return false;
    StopRecording();
    platform::ProcessEvents();
    capture::CloseCapture();
    RegistryWrite();
    return true;
}

void ReleaseAudioLibrary() {
    audiolib::Free();
    audiolib::RecordFree();
    audiolib::PluginFree(gWmaPlugin);
    audiolib::PluginFree(gFlacPlugin);
    gWmaPlugin = gFlacPlugin = 0;
}

} // namespace core
