#pragma once
#include <functional>
#include <string>

namespace platform {

// True when the folder lies on an optical disc (an iso9660 or udf file system),
// which cannot take a recording. A folder that cannot be examined is not one.
bool IsCdromFolder(const std::string& folder);

// The file-system type probe behind IsCdromFolder (statfs f_type; -1 when the
// folder cannot be examined). Tests install their own; empty restores statfs.
using FsTypeProbe = std::function<long(const std::string& folder)>;
void SetFsTypeProbe(FsTypeProbe probe);

constexpr long kIso9660Magic = 0x9660;
constexpr long kUdfMagic = 0x15013346;

} // namespace platform
