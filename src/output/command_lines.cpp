#include <charconv>
#include <clocale>

#include "core/settings.h"
#include "output/output.h"
#include "platform/process.h"

namespace output {

namespace {

// Only a relative path can start with "-"; "./" keeps the encoder from reading
// it as an option.
std::string QuotedPath(const std::string& path) {
    return platform::QuoteArgument(!path.empty() && path[0] == '-' ? "./" + path : path);
}

const char* ModeLetter(int mode) {
    switch (mode) {
    case 1:
        return "j";
    case 2:
        return "d";
    case 3:
        return "m";
    default:
        return "s";
    }
}

} // namespace

std::string OggQualityText(float quality) {
    char buf[32];
    auto r = std::to_chars(buf, buf + sizeof buf, quality);
    std::string text(buf, r.ptr);
    // oggenc reads the number in the user's locale, which it inherits from us.
    const char* point = localeconv()->decimal_point;
    if (point && *point && std::string(point) != ".") {
        auto dot = text.find('.');
        if (dot != std::string::npos) text.replace(dot, 1, point);
    }
    return text;
}

std::string BuildLameCommandLine(const std::string& path) {
    const auto& s = core::Settings;
    std::string mode = ModeLetter(s.MP3Mode);
    if (s.IsVBR)
        return "lame -v -V " + std::to_string(s.MP3Quality) + " -b " +
               std::to_string(s.MinBitRate) + " -B " + std::to_string(s.MaxBitRate) + " -m " +
               mode + " - " + QuotedPath(path);
    return "lame -b " + std::to_string(s.MP3BitRate) + " -m " + mode + " - " + QuotedPath(path);
}

std::string BuildOggencCommandLine(const std::string& path) {
    const auto& s = core::Settings;
    std::string rate =
        s.IsOggQuality ? "-q " + OggQualityText(s.OggQuality) : "-b " + std::to_string(s.OggRate);
    return "oggenc " + rate + " -o " + QuotedPath(path) + " -";
}

std::string BuildFlacCommandLine(const std::string& path) {
    const auto& s = core::Settings;
    return "flac -s  -" + std::to_string(s.FlacCompression) +
           " --channels=" + std::to_string(s.Channels) +
           " --bps=" + std::to_string(s.BitPerSample) +
           " --sample-rate=" + std::to_string(s.SamplePerSecond) + " - -o " + QuotedPath(path);
}

} // namespace output
