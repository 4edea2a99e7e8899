#include "core/session.h"

#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "capture/capture.h"
#include "core/rounding.h"
#include "core/settings.h"
#include "core/state.h"
#include "core/threshold.h"
#include "output/output.h"
#include "platform/clock.h"
#include "platform/drive_type.h"
#include "platform/prompt.h"

namespace core {

namespace {

SessionView* gView = nullptr;

bool gWriteFailed = false;
bool gInTick = false;
uint64_t gStops = 0;

void Tell(const std::string& text) {
    platform::CurrentPrompt().Show(platform::MsgKind::Error, text);
}

void SetTimeLabels(const std::string& text) {
    View().ShowTime(text);
}

bool FileExists(const std::string& path) {
    struct stat st;
    return !path.empty() && stat(path.c_str(), &st) == 0;
}

// The drain reports to the session, which hands the meters on to the view.
class SessionDrain : public capture::DrainListener {
  public:
    void UpdateMeters() override { View().UpdateMeters(); }
    void WriteBlock() override { WriteRecordedBlock(); }
    void CaptureError(const std::string& text) override { Tell(text); }
    void CaptureOpened() override { View().CaptureOpened(); }
};
SessionDrain gDrain;

// The end of a stop: list and select the finished file, or forget its name.
void ShowStoppedFile() {
    platform::ProcessEvents();
    if (FileExists(Session.SelectedFile)) {
        View().SetBusyCursor(true);
        View().FindFiles();
        View().SetBusyCursor(false);
        View().ShowFiles();
        View().ClearStatus();
        platform::ProcessEvents();
        View().SelectFile();
    } else {
        Session.SelectedFile.clear();
    }
    View().ShowLabSAR(false);
}

void TogglePause() {
    Session.IsPaused = !Session.IsPaused;
    // A manual start while a new-file recording waits for sound has no file
    // to write to: open the next one, as a trigger would.
    if (!Session.IsPaused && Session.IsRecording && Settings.IsTresh &&
        Settings.ThresholdMode == 2 && !RecordingOutputOpen())
        OpenNextSoundFile();
}

} // namespace

void ConnectView(SessionView* view) {
    gView = view;
    capture::ConnectDrain(view ? &gDrain : nullptr);
}

SessionView& View() {
    if (!gView) {
        std::fprintf(stderr, "kestrune: the session runs without its window\n");
        std::abort();
    }
    return *gView;
}

void WriteRecordedBlock() {
    if (gWriteFailed) return;
    if (output::WriteOutputs()) return;
    // The output already finished what it had and told the user; close the
    // rest now so that no later block of this drain goes anywhere.
    gWriteFailed = true;
    output::CloseOutputs();
}

uint64_t StopCommandCount() {
    return gStops;
}

bool RecordingOutputOpen() {
    return output::Outputs.WavFile >= 0 || output::Outputs.Encoder || output::Outputs.WmaEncoder;
}

void RecordCommand() {
    if (!Session.IsRecording) StartRecording();
}

bool PlayAllowed() {
    return !Session.IsRecording && !Session.IsPaused && !Session.SelectedFile.empty();
}

std::string FormatElapsed(float seconds) {
    double t = seconds;
    if (!(t > 0)) t = 0;    // negative or NaN
    if (t > 1e12) t = 1e12; // keeps the hour count representable
    double h = std::trunc(t / 3600);
    double m = std::trunc((t - 3600 * h) / 60);
    double s = std::trunc(t - 3600 * h - 60 * m);
    double d = RoundEven((t - 3600 * h - 60 * m - s) * 10);
    if (d > 9) {
        d = 0;
        s += 1;
    }
    if (s >= 60) {
        s = 0;
        m += 1;
    }
    if (m >= 60) {
        m = 0;
        h += 1;
    }
    std::string hours = std::to_string(static_cast<long long>(h)).substr(0, 2);
    auto two = [](double v) {
        const int n = static_cast<int>(v);
        return std::string{static_cast<char>('0' + n / 10), static_cast<char>('0' + n % 10)};
    };
    return hours + ":" + two(m) + ":" + two(s) + "." +
           std::string(1, static_cast<char>('0' + static_cast<int>(d)));
}

void ShowElapsed() {
    SetTimeLabels(FormatElapsed(Session.ElapsedSeconds));
}

void StartRecording() {
    if (Session.NoDeviceEnabled) {
        Tell(View().SourceText());
        return;
    }
    if (Session.IsRecording) return;
    // Without a capture stream no block would ever reach the file.
    if (!capture::Ring.IsCaptureOpen) {
        Tell(kCaptureNotOpenMessage);
        return;
    }
    if (platform::IsCdromFolder(Settings.FolderName)) {
        Tell(kCdromMessage);
        return;
    }
    View().CloseSoundWindow();
    platform::ProcessEvents();
    // A record command handled just now has started already; a second start
    // would open a second output over the first.
    if (Session.IsRecording) return;
    if (!output::NextRecordingName()) {
        // Going on with the previous name would overwrite that recording.
        Tell(kNoFreeNameMessage);
        return;
    }
    gWriteFailed = false;
    Session.IsRecording = true;
    if (!Settings.IsTresh) {
        Session.IsPaused = false;
        output::OpenOutputs();
        if (Settings.IsPreRecord) WritePreRecord(); // a late press still has the start
    } else {
        // Sound-activated: wait for sound. Modes 1 and 3 write one file, made
        // now; mode 2 opens a file per sound.
        Session.IsPaused = true;
        if (Settings.ThresholdMode == 1 || Settings.ThresholdMode == 3) output::OpenOutputs();
    }
    if (Session.IsRecording) {
        View().ShowLabFile(Session.SelectedFile);
        View().ShowLabSAR(Settings.IsTresh);
    }
    platform::ProcessEvents();
}

void StopRecording() {
    if (!Session.IsRecording) return;
    Session.IsRecording = false;
    Session.IsPaused = false;
    output::CloseOutputs();
    ShowStoppedFile();
}

void Stop() {
    ++gStops;
    Session.IsPaused = false;
    if (Session.IsRecording) StopRecording();
    SetWrittenBlocks(0);
    SetTimeLabels(FormatElapsed(0));
}

void PauseCommand() {
    if (Session.IsRecording && !Settings.IsTresh) Session.IsPaused = !Session.IsPaused;
}

void HotKey(int id) {
    if (id == 101 && !Session.IsRecording) StartRecording();
    if (id == 102) TogglePause();
    if (id == 103) Stop();
}

void TimerRecTimer() {
    // A step below lets messages run, and with them this timer again; a
    // nested tick could open a second file over the first.
    if (gInTick) return;
    gInTick = true;
    capture::DrainCapture();
    // Finishes the recording before the disk fills, as a failed write would.
    if (!gWriteFailed && !output::GuardDiskSpace()) gWriteFailed = true;
    if (gWriteFailed) {
        // The outputs are closed and the user was told; finish the stop.
        gWriteFailed = false;
        Session.IsRecording = false;
        Session.IsPaused = false;
        ShowStoppedFile();
    } else if (Session.IsRecording && !capture::Ring.IsCaptureOpen) {
        // The device went away: finish the file rather than leave it provisional.
        StopRecording();
        // The stop forgets a file that was too short to keep.
        Tell(Session.SelectedFile.empty() ? kCaptureLostEmptyMessage : kCaptureLostMessage);
    }
    ThresholdStep();
    ShowElapsed();
    gInTick = false;
}

} // namespace core
