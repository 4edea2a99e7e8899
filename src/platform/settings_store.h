#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// The per-user key/value store standing in for the registry key
// Software\Quenlow\Kestrune: QSettings("Quenlow", "Kestrune") as an INI file
// under $XDG_CONFIG_HOME/Quenlow/Kestrune.conf.
class SettingsStore {
  public:
    SettingsStore();
    ~SettingsStore();
    SettingsStore(const SettingsStore&) = delete;
    SettingsStore& operator=(const SettingsStore&) = delete;

    // Each read gives nothing when the value is missing or does not parse as
    // the asked type, so the caller keeps its default.
    std::optional<int32_t> ReadDword(const std::string& name) const;
    std::optional<std::string> ReadString(const std::string& name) const;
    std::optional<std::vector<uint8_t>> ReadBinary(const std::string& name) const;

    void WriteDword(const std::string& name, int32_t value);
    void WriteString(const std::string& name, const std::string& value);
    void WriteBinary(const std::string& name, const std::vector<uint8_t>& value);

    // Flushes to disk; false when the file could not be written.
    bool Sync();
    std::string FilePath() const;

  private:
    struct Impl;
    Impl* impl_;
};

} // namespace platform
