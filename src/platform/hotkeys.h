#pragma once
#include <functional>
#include <memory>
#include <string>

namespace platform {

// System-wide hot keys without modifiers (F5, F7, F9 here). The desktop
// portal binds them where it answers (Wayland); until it has, and where it
// refuses, the keys are grabbed on the X11 root window; where no global grab
// is possible they work while one of the program's windows has focus.
class HotKeys {
  public:
    enum class Mode { Portal, X11, FocusOnly };

    explicit HotKeys(std::function<void(int id)> onHotKey);
    ~HotKeys();
    HotKeys(const HotKeys&) = delete;
    HotKeys& operator=(const HotKeys&) = delete;

    // functionKey: 1..12 for F1..F12; the description is what the desktop
    // shows for the key. False when the key could not be taken globally at
    // once (the portal may still bind it later).
    bool Register(int id, int functionKey, const std::string& description = {});
    void Unregister(int id);
    void UnregisterAll();
    bool IsGlobal() const;
    Mode CurrentMode() const;
    // True once the portal has answered, bound or refused (or is absent).
    bool PortalSettled() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace platform
