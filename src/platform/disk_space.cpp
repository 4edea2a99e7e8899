#include "platform/disk_space.h"

#include <sys/statvfs.h>

namespace platform {

std::optional<uint64_t> FreeBytes(const std::string& folder) {
    struct statvfs st {};
    if (folder.empty() || statvfs(folder.c_str(), &st) != 0) return std::nullopt;
    return static_cast<uint64_t>(st.f_bavail) * static_cast<uint64_t>(st.f_frsize);
}

} // namespace platform
