#pragma once
#include <array>
#include <cstdint>
#include <string>

namespace tags {

// The ID3v1 record: the last 128 bytes of an MP3 file.
constexpr size_t kTagSize = 128;
using TagBytes = std::array<uint8_t, kTagSize>;

constexpr size_t kGenreCount = 148;
// Index = genre byte.
extern const std::array<const char*, kGenreCount> GenreNames;

// The six fields as the editor shows them (UTF-8 text).
struct Id3v1Fields {
    std::string Title, Artist, Album, Year, Comment;
    int Genre = 255; // 0..147, or anything else for none
};

bool HasTagMarker(const TagBytes& block);
// Each text runs to its first zero byte or its field's end. Text that is not
// valid UTF-8 (tags written elsewhere in Latin-1) is read as Latin-1.
Id3v1Fields ParseTag(const TagBytes& block);
// "TAG", texts cut to 30 bytes (never inside a UTF-8 character) and
// zero-filled, the year cut to 4 and blank-padded, the genre byte.
TagBytes BuildTag(const Id3v1Fields& fields);
// Genre byte for a name: its index, or 255 when no name matches exactly.
uint8_t GenreByte(const std::string& name);

// Outcome of writing a record into a file.
struct WriteResult {
    bool ok = false;
    std::string error; // the message for the user when !ok
};

// Reads the file's last 128 bytes into `lastBytes`, then writes `record` over
// them when they are a tag, or after the end of the file otherwise, and
// flushes it. The audio before the tag is never touched: the file is opened
// without truncation and only the tag's own bytes are written. Afterwards the
// file's modification time becomes `stamp` (packed DOS date-time, local
// time), or, when `stamp` is no valid date, the time it had before.
WriteResult WriteTagToFile(const std::string& path, const TagBytes& record, int32_t stamp,
                           TagBytes* lastBytes);

// Packed DOS date-time <-> local time_t. FromDos gives -1 for an invalid stamp.
int64_t DosStampToTime(int32_t stamp);
int32_t TimeToDosStamp(int64_t t);

} // namespace tags
