#pragma once
#include <functional>
#include <memory>
#include <string>

namespace platform {

// System-wide hot keys without modifiers (F5, F7, F9 here). On X11 the keys
// are grabbed on the root window; where no global grab is possible (Wayland,
// offscreen) they work while one of the program's windows has focus.
class HotKeys {
  public:
    explicit HotKeys(std::function<void(int id)> onHotKey);
    ~HotKeys();
    HotKeys(const HotKeys&) = delete;
    HotKeys& operator=(const HotKeys&) = delete;

    // functionKey: 1..12 for F1..F12. False when the key could not be taken globally.
    bool Register(int id, int functionKey);
    void Unregister(int id);
    void UnregisterAll();
    bool IsGlobal() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace platform
