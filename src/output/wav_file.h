#pragma once
#include <string>

// The WAV file of a running recording (used by outputs.cpp).
namespace output::wav {

// Creates the file with a provisional header. False with the reason in `error`.
bool Open(const std::string& path, std::string* error);
// Appends one block. On failure the file is cut back to whole blocks and
// `error` says why; the file stays open for Finish.
bool Append(const void* data, size_t size, std::string* error);
// Rewrites the two size fields when HeaderRefreshMs has passed since the last time.
void RefreshSizes();
// Writes the final header and closes. Returns the data length; a file with 100
// data bytes or less is deleted (`deleted` is then true).
uint64_t Finish(bool* deleted);
bool IsOpen();

} // namespace output::wav
