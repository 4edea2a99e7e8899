#include "mainwindow/status.h"

#include <QApplication>
#include <QFileInfo>
#include <algorithm>

#include "audiolib/record.h"
#include "capture/capture.h"
#include "core/rounding.h"
#include "core/session.h"
#include "core/settings.h"
#include "core/startup.h"
#include "core/state.h"
#include "mainwindow/form1.h"
#include "mainwindow/meters.h"
#include "mainwindow/system.h"
#include "platform/capture_device.h"
#include "platform/disk_space.h"

namespace mainwindow {

StatusState Status;

namespace {
const float kVolumeStep = 1.0f / 129;
const float kThresholdStep = 100.0f / 346;

void SetColor(QLabel* l, const QColor& c) {
    QPalette p = l->palette();
    if (p.color(QPalette::WindowText) == c) return;
    p.setColor(QPalette::WindowText, c);
    l->setPalette(p);
}

void SetText(QLabel* l, const QString& t) {
    if (l->text() != t) l->setText(t);
}

QString Channels(const core::RecordingSettings& s) {
    return s.Channels == 2 ? "stereo" : "mono";
}
} // namespace

int KnobForVolume(float volume) {
    int left = core::RoundEvenInt(volume / kVolumeStep) + kKnobMin;
    return std::clamp(left, kKnobMin, kKnobMax);
}

float VolumeForKnob(int left) {
    return static_cast<float>(left - kKnobMin) * kVolumeStep;
}

FormatLabel FormatLabelFor(const core::RecordingSettings& s) {
    const QString ch = Channels(s);
    const QString pcm =
        QString::number(s.SamplePerSecond) + "Hz " + QString::number(s.BitPerSample) + "bit " + ch;
    if (s.IsWav) return {"ImageWav", "WAV " + pcm};
    if (s.IsFLAC) return {"ImageFlac", "FLAC " + pcm};
    if (s.IsMP3) {
        QString mode = ch;
        switch (s.MP3Mode) {
        case 0:
            mode = "stereo";
            break;
        case 1:
            mode = "joint stereo";
            break;
        case 2:
            mode = "dual channel";
            break;
        case 3:
            mode = "mono";
            break;
        default:
            break;
        }
        if (s.IsVBR) return {"ImageMP3", "MP3   VBR  " + mode};
        return {"ImageMP3", "MP3 " + QString::number(s.MP3BitRate) + " kbps " + mode};
    }
    if (s.IsWMA) return {"ImageWMA", "WMA " + QString::number(s.WMARate) + " kbps " + ch};
    if (s.IsOGG) {
        if (s.IsOggQuality)
            return {"ImageOgg", "OGG Quality - " +
                                    QString::number(static_cast<double>(s.OggQuality), 'g', 7) +
                                    " " + ch};
        return {"ImageOgg", "OGG " + QString::number(s.OggRate) + " kbps " + ch};
    }
    return {"ImageWav", QString()};
}

QString RecordHint(const core::RecordingSettings& s) {
    if (!s.IsTresh) return "Record (F5)\nMode - Normal";
    switch (s.ThresholdMode) {
    case 1:
        return "Record (F5)\nMode - Threshold\nPause and Continue Recording";
    case 2:
        return "Record (F5)\nMode - Threshold\nStart New Recording";
    case 3:
        return "Record (F5)\nMode - Threshold\nStop Recording";
    default:
        return "Record (F5)\nMode - Threshold";
    }
}

bool SoundAwaited() {
    return core::Session.IsRecording && core::Session.IsPaused && core::Settings.IsTresh;
}

QString TitleText() {
    const auto& s = core::Session;
    QString t = "Kestrune";
    if (!core::Startup.IsMinimized) return t;
    t = "Monitoring";
    if (s.IsPlaying) t = "Playing";
    if (s.IsRecording)
        t = QString::fromStdString(core::FormatElapsed(s.ElapsedSeconds)) + " Stop-F9";
    if (s.IsPaused) t = "Pause";
    if (SoundAwaited()) t = kWaitingTitle;
    return t;
}

std::string SourceLabelText(const std::string& source, bool& noDevice) {
    noDevice = false;
    std::string t = source;
    if (QString::fromStdString(t).size() >= 31) t += "...";
    if (!t.empty()) {
        // The closing parenthesis completes a "Name (device" that was cut;
        // a name without an open one would otherwise end in a stray ")".
        const auto open = t.rfind('(');
        if (open != std::string::npos && t.find(')', open) == std::string::npos) t += ")";
    } else {
        t = core::kNoDeviceText;
        noDevice = true;
    }
    return t;
}

QString ShortenToWidth(QString text, const QFontMetrics& fm, int maxWidth) {
    while (!text.isEmpty() && fm.horizontalAdvance(text) > maxWidth)
        text.chop(1);
    return text;
}

QString FolderLabelText(const QString& folder, const QFontMetrics& fm) {
    QString t = ShortenToWidth(folder, fm, 250);
    if (fm.horizontalAdvance(t) >= 247) t += "...";
    if (!t.endsWith('/')) t += "/";
    return t;
}

double OutputBytesPerSecond(const core::RecordingSettings& s) {
    const double pcm = static_cast<double>(s.SamplePerSecond) * std::max(s.Channels, 1) *
                       std::max<int>(s.BitPerSample, 8) / 8;
    const auto kbit = [](double k) { return k * 1000 / 8; };
    if (s.IsWav || s.IsFLAC) return pcm;
    if (s.IsMP3) return kbit(s.IsVBR ? std::max(s.MaxBitRate, s.MP3BitRate) : s.MP3BitRate);
    if (s.IsWMA) return kbit(s.WMARate);
    if (s.IsOGG) {
        if (!s.IsOggQuality) return kbit(s.OggRate);
        // Nominal stereo rates of the encoder's quality steps -1..10.
        static const double nominal[] = {48, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 500};
        const double q = std::clamp(static_cast<double>(s.OggQuality), -1.0, 10.0) + 1;
        const int lo = std::min(static_cast<int>(q), 10);
        return kbit(nominal[lo] + (nominal[lo + 1] - nominal[lo]) * (q - lo));
    }
    return pcm;
}

QString TimeLeftText(uint64_t freeBytes, double bytesPerSecond) {
    if (bytesPerSecond <= 0) return {};
    const double seconds = static_cast<double>(freeBytes) / bytesPerSecond;
    if (seconds >= 3600) return {};
    if (seconds >= 60)
        return "Disk: " + QString::number(static_cast<int>(seconds / 60)) + " min left";
    return "Disk: " + QString::number(static_cast<int>(seconds)) + " s left";
}

QString DroppedText(uint64_t blocks) {
    if (blocks == 0) return {};
    return "Dropped blocks: " + QString::number(blocks);
}

int ThresholdMarkerX() {
    return Meters.ThresholdMarkerX;
}

void SetThresholdMarker(int x) {
    Meters.ThresholdMarkerX = std::clamp(x, 14, 360);
    core::Settings.ThresholdLevel = ThresholdLevelForMarker(Meters.ThresholdMarkerX);
    if (Meters.target) Meters.target->update(LevelRect);
}

float ThresholdLevelForMarker(int x) {
    return static_cast<float>(x - 14) * kThresholdStep;
}

void DeviceWatch() {
    auto& st = core::Startup;
    capture::ListCaptureDevices();
    const int count = capture::Ring.DeviceCount;
    if (count <= 0) {
        capture::CloseCapture();
        Status.SourceText.clear();
        st.DeviceName.clear();
        QCoreApplication::processEvents();
        if (Form1) Form1->ClearMeters();
        return;
    }
    const std::string first = capture::Ring.DeviceTable[0].name;
    if (st.KnownDeviceName.empty()) core::InitInputDevice();
    if (st.DeviceName.empty() && first == st.KnownDeviceName) core::InitInputDevice();
    if (first == st.KnownDeviceName) {
        Status.SourceText = st.DeviceName;
        float vol = st.InputVolume;
        if (audiolib::RecordGetInput(0, &vol) != 0xFFFFFFFFu) st.InputVolume = vol;
        return;
    }
    if (!st.KnownDeviceName.empty()) RestartOnNewDevice();
}

void TForm1::UpdateStatus() {
    auto& s = core::Session;
    const auto& set = core::Settings;

    // 1. Title: the task bar shows the state while minimised.
    const QString title = TitleText();
    if (windowTitle() != title) setWindowTitle(title);

    // 2-3. Device watch.
    if (core::Startup.IsVistaOrLater) DeviceWatch();

    // 4. Volume knob follows the device.
    if (!s.IsDragging) PlaceKnob(KnobForVolume(core::Startup.InputVolume));

    // 5. Status labels.
    const QColor light(221, 221, 221);
    QString text = "Monitoring";
    LabStatus->move(22, 56);
    LabStatus0->move(23, 57);
    bool sar = false;
    LabStatus0->setVisible(Status.BlinkOn);
    SetColor(LabStatus, light);
    SetColor(LabTime, light);
    if (s.IsRecording) {
        text = "Recording";
        LabSource_->setCursor(Qt::ArrowCursor);
        if (set.IsTresh) {
            LabStatus->move(22, 61);
            LabStatus0->move(23, 62);
            sar = true;
        }
        SetColor(LabTime0, QColor(150, 50, 50));
        const QColor hot = Status.BlinkOn ? QColor(255, 128, 128) : QColor(200, 80, 80);
        SetColor(LabStatus, hot);
        SetColor(LabSAR, hot);
        SetColor(LabTime, hot);
        SetColor(LabFile, Status.BlinkOn ? QColor(255, 0, 0) : QColor(155, 0, 0));
    }
    LabSAR->setVisible(sar);
    if (s.IsPaused && !set.IsTresh) text = "Pause";
    // Armed but not writing: the user must be able to tell this from recording.
    if (SoundAwaited()) text = kWaitingText;
    SetText(LabStatus, text);
    SetText(LabStatus0, text);
    // The hint says how far the hot keys reach (the portal answers late).
    const QString hotKeys = HotKeysText();
    const QString hint = hotKeys.isEmpty() ? "Program Status" : "Program Status\n" + hotKeys;
    if (LabStatus->toolTip() != hint) LabStatus->setToolTip(hint);

    // 6. Source label, only while not recording.
    if (!s.IsRecording) {
        if (core::Startup.IsVistaOrLater) {
            bool none = false;
            Status.SourceText = SourceLabelText(Status.SourceText, none);
            s.NoDeviceEnabled = none;
        }
        SetColor(LabSource_, Qt::black);
        const QString src = QString::fromStdString(Status.SourceText);
        LabSource_->setToolTip("Recording Audio Source (Device) :\n" + src);
        LabSource_->setCursor(Qt::PointingHandCursor);
        SetText(LabSource_, ShortenToWidth(src, fontMetrics(), 150));
        LabSource_->adjustSize();
        SetColor(LabTime, light);
        SetColor(LabTime0, QColor(128, 128, 128));
    }

    // 7. Folder and file labels.
    const QString folder = QString::fromStdString(set.FolderName);
    const QString shown = FolderLabelText(folder, fontMetrics());
    SetText(LabFolder, shown);
    LabFolder->adjustSize();
    SetText(LabFile, s.IsRecording ? QFileInfo(QString::fromStdString(s.SelectedFile)).fileName()
                                   : QString());
    LabFile->adjustSize();
    LabFile->move(LabFolder->x() + fontMetrics().horizontalAdvance(shown) + 2, LabFile->y());
    LabFolder->setToolTip("Output Folder: \n" + folder);
    ImagePath->setToolTip("Output Folder: \n" + folder);

    // 8. Warnings while recording: the disk about to fill, audio lost.
    UpdateWarnings();

    // 9. Blink, frozen while paused.
    if (!s.IsPaused) Status.BlinkOn = !Status.BlinkOn;
}

void TForm1::UpdateWarnings() {
    auto& s = core::Session;
    QStringList warnings;
    if (s.IsRecording) {
        const uint64_t dropped = platform::Capture().DroppedBytes();
        if (!Status.RecordingSeen) {
            Status.RecordingSeen = true;
            Status.DroppedAtStart = dropped;
        }
        // A reopened device counts afresh.
        if (dropped < Status.DroppedAtStart) Status.DroppedAtStart = 0;
        if (const auto free = platform::FreeBytes(core::Settings.FolderName)) {
            const QString left = TimeLeftText(*free, OutputBytesPerSecond(core::Settings));
            if (!left.isEmpty()) warnings << left;
        }
        const int block = std::max(capture::Params.CaptureBufferBytes, 1);
        const QString lost =
            DroppedText((dropped - Status.DroppedAtStart) / static_cast<uint64_t>(block));
        if (!lost.isEmpty()) warnings << lost;
    } else {
        Status.RecordingSeen = false;
        Status.WarnTicks = 0;
    }
    LabWarn->setVisible(!warnings.isEmpty());
    if (warnings.isEmpty()) return;
    // Two warnings take turns, long enough each to be read.
    const int turn = (Status.WarnTicks++ / kWarnTurnTicks) % warnings.size();
    SetText(LabWarn, warnings[turn]);
    SetColor(LabWarn, Status.BlinkOn ? QColor(255, 128, 128) : QColor(200, 80, 80));
    LabWarn->setToolTip(warnings.join("\n"));
}

} // namespace mainwindow
