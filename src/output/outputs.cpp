#include "audiolib/encode.h"
#include "capture/capture.h"
#include "core/settings.h"
#include "core/state.h"
#include "output/output.h"
#include "output/wav_file.h"
#include "platform/prompt.h"

namespace output {

OutputState Outputs;
OutputLimits Limits;

namespace {

void Tell(const std::string& text) {
    platform::CurrentPrompt().Show(platform::MsgKind::Error, text);
}

const char* EncoderFormat() {
    const auto& s = core::Settings;
    if (s.IsMP3) return "MP3";
    if (s.IsOGG) return "OGG";
    return "FLAC";
}

void FinishWav() {
    bool deleted = false;
    wav::Finish(&deleted);
    if (deleted && core::Session.SelectedFile == Outputs.WavPath) core::Session.SelectedFile.clear();
}

void FinishEncoders() {
    if (Outputs.SourceStream) {
        audiolib::Encode_Stop(Outputs.SourceStream);
        Outputs.Encoder = 0;
    }
    if (Outputs.WmaEncoder) {
        audiolib::WMA_EncodeClose(Outputs.WmaEncoder);
        Outputs.WmaEncoder = 0;
    }
    if (Outputs.SourceStream) {
        audiolib::DummyStreamStop(Outputs.SourceStream);
        audiolib::StreamFreeDummy(Outputs.SourceStream);
        Outputs.SourceStream = 0;
    }
}

bool OpenWav(const std::string& path) {
    std::string why;
    if (wav::Open(path, &why)) return true;
    Tell("Could not create the file \"" + path + "\": " + why + ".");
    return false;
}

// Finishes the current WAV before its size fields would overflow and goes on in
// the next free file, as a new recording would start.
bool ContinueInNextWav() {
    const std::string done = Outputs.WavPath;
    FinishWav();
    if (!NextRecordingName()) {
        Tell("The recording reached the largest size a WAV file can hold and no further "
             "file name is free. The recording was stopped; \"" +
             done + "\" holds it.");
        return false;
    }
    if (!OpenWav(core::Session.SelectedFile)) return false;
    core::Session.ElapsedSeconds = 0.1f; // this block is the new file's first
    return true;
}

bool WriteWav(const uint8_t* data, size_t size) {
    if (Outputs.WavBytes + size > Limits.WavMaxDataBytes && Outputs.WavBytes > 0)
        if (!ContinueInNextWav()) return false;
    std::string why;
    if (!wav::Append(data, size, &why)) {
        const std::string path = Outputs.WavPath;
        FinishWav();
        Tell("Could not write to \"" + path + "\": " + why +
             ". The recording was stopped; the file keeps what was recorded up to then.");
        return false;
    }
    wav::RefreshSizes();
    return true;
}

} // namespace

bool OpenOutputs() {
    if (!capture::Ring.IsCaptureOpen) return true;
    auto& session = core::Session;
    const auto& s = core::Settings;
    const std::string& path = session.SelectedFile;
    session.ElapsedSeconds = 0;
    bool ok = true;
    auto failed = [&](const std::string& text) {
        session.IsRecording = false;
        Tell(text);
        ok = false;
    };

    if (s.IsWav && !OpenWav(path)) {
        session.IsRecording = false;
        ok = false;
    }

    const uint32_t rate = s.IsFLAC ? s.SamplePerSecond : 44100;
    Outputs.SourceStream =
        audiolib::StreamCreate(rate, static_cast<uint32_t>(s.Channels), 0, nullptr, nullptr);
    auto start = [&](const std::string& commandLine, const char* message) {
        Outputs.Encoder =
            audiolib::Encode_Start(Outputs.SourceStream, commandLine, audiolib::ENCODE_PAUSE);
        if (!Outputs.Encoder) failed(message);
    };
    if (s.IsMP3) {
        Outputs.LameCommandLine = BuildLameCommandLine(path);
        start(Outputs.LameCommandLine, "Could not start MP3 recording");
    }
    if (s.IsWMA) {
        Outputs.WmaEncoder =
            audiolib::WMA_EncodeOpenFile(static_cast<uint32_t>(capture::Params.CaptureRate),
                                         static_cast<uint32_t>(s.Channels), 0,
                                         static_cast<uint32_t>(s.WMARate) * 1000, path);
        if (!Outputs.WmaEncoder) failed("Could not start WMA recording");
    }
    if (s.IsOGG) {
        Outputs.OggencCommandLine = BuildOggencCommandLine(path);
        start(Outputs.OggencCommandLine, "Could not start OGG recording");
    }
    if (s.IsFLAC) {
        Outputs.FlacCommandLine = BuildFlacCommandLine(path);
        start(Outputs.FlacCommandLine, "Could not start FLAC recording!");
    }
    audiolib::DummyStreamPlay(Outputs.SourceStream, false);

    // The recording is over before it began: nothing may stay open.
    if (!ok) {
        FinishWav();
        FinishEncoders();
    }
    return ok;
}

void CloseOutputs() {
    // Also with the capture ring already closed (a device that disappeared):
    // an open file is finished in any case, or its header would stay provisional.
    core::Session.IsRecording = false;
    FinishWav();
    FinishEncoders();
}

bool WriteOutputs() {
    const auto& s = core::Settings;
    const uint8_t* data = capture::Block.OutBlock;
    const int n = capture::Params.OutBlockBytes;
    if (n <= 0 || n > static_cast<int>(sizeof capture::Block.OutBlock)) return true;
    const size_t size = static_cast<size_t>(n);

    if (s.IsWav && wav::IsOpen() && !WriteWav(data, size)) return false;

    // One write per block, even if more than one encoder flag is on: each
    // encoder on the stream gets every block once.
    if ((s.IsMP3 || s.IsOGG || s.IsFLAC) && Outputs.Encoder) {
        if (!audiolib::Encode_Write(Outputs.SourceStream, data, static_cast<uint32_t>(n))) {
            audiolib::Encode_Stop(Outputs.SourceStream);
            Outputs.Encoder = 0;
            Tell(std::string("The ") + EncoderFormat() +
                 " encoder stopped unexpectedly. The recording was stopped; the file keeps "
                 "what was encoded up to then.");
            return false;
        }
    }
    if (s.IsWMA && Outputs.WmaEncoder) {
        if (!audiolib::WMA_EncodeWrite(Outputs.WmaEncoder, data, static_cast<uint32_t>(n))) {
            audiolib::WMA_EncodeClose(Outputs.WmaEncoder);
            Outputs.WmaEncoder = 0;
            Tell("Could not write the WMA recording \"" + core::Session.SelectedFile +
                 "\". The recording was stopped; the file keeps what was recorded up to then.");
            return false;
        }
    }
    return true;
}

} // namespace output
