#include "audiolib/encode.h"

#include <cstring>
#include <map>
#include <memory>

#include "platform/process.h"

namespace audiolib {

namespace {

// Our handles live in their own ranges so that a decoder's handle is never
// mistaken for one of ours.
constexpr uint32_t kStreamBase = 0x40000000;
constexpr uint32_t kEncoderBase = 0x50000000;

struct Encoder {
    uint32_t stream = 0;
    platform::ChildProcess child;
    bool failed = false;
};

struct DummyStream {
    uint32_t freq = 0, chans = 0, flags = 0;
    bool playing = false;
};

std::map<uint32_t, DummyStream> streams;
std::map<uint32_t, Encoder> encoders;
uint32_t nextStream = 1, nextEncoder = 1;
std::string lastError;

void PutLE(std::string& s, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i)
        s.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

// A canonical header whose sizes say "unknown": lame and oggenc then read to the end.
std::string StreamingWavHeader(const DummyStream& s) {
    const uint32_t bits = (s.flags & SAMPLE_8BITS) ? 8 : 16;
    const uint32_t align = s.chans * bits / 8;
    std::string h = "RIFF";
    PutLE(h, 0xFFFFFFFF, 4);
    h += "WAVEfmt ";
    PutLE(h, 16, 4);
    PutLE(h, 1, 2);
    PutLE(h, s.chans, 2);
    PutLE(h, s.freq, 4);
    PutLE(h, s.freq * align, 4);
    PutLE(h, align, 2);
    PutLE(h, bits, 2);
    h += "data";
    PutLE(h, 0xFFFFFFFF, 4);
    return h;
}

std::string BaseName(const std::string& p) {
    auto slash = p.rfind('/');
    return slash == std::string::npos ? p : p.substr(slash + 1);
}

bool StopEncoder(Encoder& e) {
    if (e.child.pid <= 0 && e.child.stdinFd < 0) return !e.failed;
    bool ok = platform::FinishChild(e.child);
    return ok && !e.failed;
}

} // namespace

HSTREAM StreamCreate(uint32_t freq, uint32_t chans, uint32_t flags, void* proc, void*) {
    if (proc != nullptr || freq == 0 || chans == 0 || chans > 8) return 0;
    uint32_t h = kStreamBase | nextStream++;
    streams[h] = DummyStream{freq, chans, flags, false};
    return h;
}

bool StreamFreeDummy(HSTREAM handle) {
    auto it = streams.find(handle);
    if (it == streams.end()) return false;
    Encode_Stop(handle);
    streams.erase(it);
    return true;
}

bool DummyStreamPlay(HSTREAM handle, bool) {
    auto it = streams.find(handle);
    if (it == streams.end()) return false;
    it->second.playing = true;
    return true;
}

bool DummyStreamStop(HSTREAM handle) {
    auto it = streams.find(handle);
    if (it == streams.end()) return false;
    it->second.playing = false;
    return true;
}

HENCODE Encode_Start(HSTREAM stream, const std::string& commandLine, uint32_t) {
    lastError.clear();
    auto sit = streams.find(stream);
    if (sit == streams.end()) {
        lastError = "no such stream";
        return 0;
    }
    const DummyStream& s = sit->second;
    std::vector<std::string> args = platform::SplitCommandLine(commandLine);
    if (args.empty()) {
        lastError = "empty command line";
        return 0;
    }
    const std::string program = platform::FindExecutable(args[0]);
    if (program.empty()) {
        lastError = args[0] + ": not found";
        return 0;
    }
    // flac will not take its raw-format options together with a WAV header,
    // so it gets headerless PCM and is told how to read it.
    const bool raw = BaseName(args[0]) == "flac";
    if (raw) {
        bool eightBit = (s.flags & SAMPLE_8BITS) != 0;
        for (const auto& a : args)
            if (a == "--bps=8") eightBit = true;
        std::vector<std::string> extra = {"--endian=little",
                                          eightBit ? "--sign=unsigned" : "--sign=signed",
                                          "--force-raw-format"};
        args.insert(args.begin() + 1, extra.begin(), extra.end());
    }
    platform::IgnoreSigPipe();
    Encoder e;
    e.stream = stream;
    std::string err;
    if (!platform::SpawnWithStdinPipe(program, args, e.child, &err)) {
        lastError = err;
        return 0;
    }
    if (!raw) {
        const std::string header = StreamingWavHeader(s);
        if (!platform::WriteToChild(e.child, header.data(), header.size(), 2000)) {
            platform::FinishChild(e.child, 2000);
            lastError = args[0] + " did not accept its input";
            return 0;
        }
    }
    // No waiting here to see whether it lives: a start runs on the GUI thread,
    // in sound-activated recording at every new file. An encoder that quits
    // after this (bad options, a file it cannot create) fails the next
    // Encode_Write, or Encode_Stop, and is reported as any encoder that dies.
    if (!platform::ChildRunning(e.child)) {
        platform::FinishChild(e.child, 1000);
        lastError = args[0] + " quit at once";
        return 0;
    }
    uint32_t h = kEncoderBase | nextEncoder++;
    encoders[h] = std::move(e);
    return h;
}

bool Encode_Write(uint32_t handle, const void* buffer, uint32_t length) {
    bool any = false, ok = true;
    for (auto& [h, e] : encoders) {
        if (h != handle && e.stream != handle) continue;
        any = true;
        if (e.failed) {
            ok = false;
            continue;
        }
        if (!platform::WriteToChild(e.child, buffer, length)) {
            e.failed = true;
            platform::FinishChild(e.child, 2000);
            ok = false;
        }
    }
    return any && ok;
}

bool Encode_Stop(uint32_t handle) {
    bool any = false, ok = true;
    for (auto it = encoders.begin(); it != encoders.end();) {
        if (it->first != handle && it->second.stream != handle) {
            ++it;
            continue;
        }
        any = true;
        if (!StopEncoder(it->second)) ok = false;
        it = encoders.erase(it);
    }
    return any && ok;
}

bool Encode_IsActive(uint32_t handle) {
    for (auto& [h, e] : encoders)
        if ((h == handle || e.stream == handle) && !e.failed && platform::ChildRunning(e.child))
            return true;
    return false;
}

std::string Encode_LastError() {
    return lastError;
}

} // namespace audiolib
