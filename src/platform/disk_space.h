#pragma once
#include <cstdint>
#include <optional>
#include <string>

namespace platform {

// Bytes an unprivileged writer can still put into the folder's file
// system; nothing when the folder cannot be examined.
std::optional<uint64_t> FreeBytes(const std::string& folder);

} // namespace platform
