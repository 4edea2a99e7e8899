#pragma once
// The recorder window as the session sees it, for tests without windows.
// A test sets the members it wants to watch; the others do nothing. A fresh
// one is connected before every test.
#include <functional>
#include <string>

#include "core/session.h"

namespace testsupport {

struct SessionDouble : core::SessionView {
    std::function<void(const std::string&)> onShowTime;
    std::function<void(bool)> onShowLabSAR;
    std::function<void(const std::string&)> onShowLabFile;
    std::function<void()> onClearStatus, onFindFiles, onShowFiles, onSelectFile;
    std::function<void(bool)> onSetBusyCursor;
    std::function<void()> onCloseSoundWindow, onUpdateMeters, onCaptureOpened;
    std::string sourceText = core::kNoDeviceText;

    void ShowTime(const std::string& t) override { Call(onShowTime, t); }
    void ShowLabSAR(bool v) override { Call(onShowLabSAR, v); }
    void ShowLabFile(const std::string& p) override { Call(onShowLabFile, p); }
    void ClearStatus() override { Call(onClearStatus); }
    void FindFiles() override { Call(onFindFiles); }
    void ShowFiles() override { Call(onShowFiles); }
    void SelectFile() override { Call(onSelectFile); }
    void SetBusyCursor(bool b) override { Call(onSetBusyCursor, b); }
    std::string SourceText() override { return sourceText; }
    void CloseSoundWindow() override { Call(onCloseSoundWindow); }
    void UpdateMeters() override { Call(onUpdateMeters); }
    void CaptureOpened() override { Call(onCaptureOpened); }

  private:
    template <class F, class... A> static void Call(const F& f, A&&... a) {
        if (f) f(std::forward<A>(a)...);
    }
};

// The double connected now.
SessionDouble& View();
// Connects a fresh double (and with it the session's capture drain).
void ResetView();
// Makes every test of the process start with ResetView().
void InstallResetListener();

} // namespace testsupport
