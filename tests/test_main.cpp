#include <gtest/gtest.h>
#include <signal.h>
#include <stdio.h>
#include <sys/stat.h>
#include <stdlib.h>

#include <QApplication>
#include <QDir>
#include <string>

#include "support/session_double.h"

// Every test process gets its own settings and home folder, so nothing a test
// writes reaches the user's real settings or music folder.
int main(int argc, char** argv) {
    signal(SIGPIPE, SIG_IGN);
    char tmpl[] = "/tmp/kestrune-test-XXXXXX";
    const char* home = mkdtemp(tmpl);
    if (home) {
        setenv("HOME", home, 1);
        setenv("XDG_CONFIG_HOME", (std::string(home) + "/config").c_str(), 1);
        unsetenv("XDG_MUSIC_DIR");
    }
    if (!getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // A recorder that finds no source opens the mixer: tests get a stand-in
    // that does nothing, never a real window left on the shared display.
    if (home) {
        const std::string bin = std::string(home) + "/bin";
        mkdir(bin.c_str(), 0755);
        if (FILE* f = fopen((bin + "/pavucontrol").c_str(), "w")) {
            fputs("#!/bin/sh\nexit 0\n", f);
            fclose(f);
            chmod((bin + "/pavucontrol").c_str(), 0755);
        }
        const char* path = getenv("PATH");
        setenv("PATH", (bin + ":" + (path ? path : "/usr/bin:/bin")).c_str(), 1);
    }
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    testsupport::InstallResetListener();
    int rc = RUN_ALL_TESTS();
    if (home) QDir(home).removeRecursively();
    return rc;
}
