#pragma once
#include <QFontMetrics>
#include <QString>
#include <cstdint>
#include <string>

#include "core/settings.h"

namespace mainwindow {

// What the status tick keeps between ticks.
struct StatusState {
    std::string SourceText; // the recording source as the source label shows it
    bool BlinkOn = false;   // flips every tick while not paused
    // The warning line under the status: dropped capture blocks are counted
    // from the device's total when the recording was first seen.
    bool RecordingSeen = false;
    uint64_t DroppedAtStart = 0;
    int WarnTicks = 0; // two warnings take turns every kWarnTurnTicks
};
extern StatusState Status;

// The recording volume knob: its left edge runs 26..155, 1/129 per pixel.
constexpr int kKnobMin = 26;
constexpr int kKnobMax = 155;
int KnobForVolume(float volume);
float VolumeForKnob(int left);

// The format label's picture name in the skin store and its text.
struct FormatLabel {
    QString picture;
    QString text;
};
FormatLabel FormatLabelFor(const core::RecordingSettings& s);

// The record button's hint for the recording mode.
QString RecordHint(const core::RecordingSettings& s);

// The application title for the current state ("Kestrune" unless minimised).
QString TitleText();

// A sound-activated recording that is armed and waits for sound (nothing is
// written). The status then reads kWaitingText under "Sound Activated" (the
// room before the format icon takes no more), the minimised title kWaitingTitle.
bool SoundAwaited();
inline constexpr const char* kWaitingText = "Waiting";
inline constexpr const char* kWaitingTitle = "Waiting for sound";

// SourceText as the source label shows it: device names the system cut at
// 31 characters get "...", a name cut inside "(...)" gets its closing ")", no name at all
// becomes the no-device text. Sets `noDevice` accordingly.
std::string SourceLabelText(const std::string& source, bool& noDevice);

// Text cut from the end, a character at a time, until it fits `maxWidth`.
QString ShortenToWidth(QString text, const QFontMetrics& fm, int maxWidth);
// The folder label: cut to 250 pixels, "..." when it is then 247 or wider,
// and the closing separator.
QString FolderLabelText(const QString& folder, const QFontMetrics& fm);

// Bytes a second the selected format writes at most, for the time the disk
// lasts: PCM for WAV and FLAC (FLAC never grows past it by much), the
// bitrate (the VBR maximum) for MP3, WMA and OGG, a quality's nominal rate.
double OutputBytesPerSecond(const core::RecordingSettings& s);
// "Disk: 42 min left" / "Disk: 35 s left" when the free space lasts less
// than an hour at `bytesPerSecond`, else empty.
QString TimeLeftText(uint64_t freeBytes, double bytesPerSecond);
// "Dropped blocks: 3", empty for none.
QString DroppedText(uint64_t blocks);
inline constexpr int kWarnTurnTicks = 4;

// The threshold marker in level-panel coordinates (14..360) and the level
// that follows from it.
int ThresholdMarkerX();
void SetThresholdMarker(int x);
float ThresholdLevelForMarker(int x);

// The device watch of one status tick: follows the source list, closes
// capture when the last source is gone and initialises one that appears.
void DeviceWatch();

} // namespace mainwindow
