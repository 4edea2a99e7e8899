#pragma once
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QDir>
#include <QTemporaryDir>
#include <string>

#include "platform/pulse.h"

namespace testutil {

// The suite's own sound server is required when scripts/test runs us; a
// developer without one gets the sound tests skipped instead.
inline bool PulseRequired() {
    const char* v = getenv("KESTRUNE_REQUIRE_PULSE");
    return v && std::string(v) == "1";
}

#define REQUIRE_PULSE()                                                                    \
    do {                                                                                   \
        if (!platform::pulse::Connect(3000)) {                                             \
            if (testutil::PulseRequired()) FAIL() << "no PulseAudio server";               \
            GTEST_SKIP() << "no PulseAudio server";                                        \
        }                                                                                  \
    } while (0)

inline std::string SettingsFile() {
    return std::string(getenv("XDG_CONFIG_HOME")) + "/Quenlow/Kestrune.conf";
}

inline void RemoveSettings() { QFile::remove(QString::fromStdString(SettingsFile())); }

} // namespace testutil
