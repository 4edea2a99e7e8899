#include "platform/drive_type.h"

#include <sys/vfs.h>

namespace platform {

namespace {
long StatfsType(const std::string& folder) {
    struct statfs st;
    if (statfs(folder.c_str(), &st) != 0) return -1;
    return static_cast<long>(st.f_type);
}

FsTypeProbe& Probe() {
    static FsTypeProbe probe;
    return probe;
}
} // namespace

void SetFsTypeProbe(FsTypeProbe probe) {
    Probe() = std::move(probe);
}

bool IsCdromFolder(const std::string& folder) {
    const long type = Probe() ? Probe()(folder) : StatfsType(folder);
    return type == kIso9660Magic || type == kUdfMagic;
}

} // namespace platform
