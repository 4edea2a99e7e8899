#include "platform/hotkeys.h"

#include "platform/portal_shortcuts.h"

#include <xcb/xcb.h>

#include <QAbstractNativeEventFilter>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QTimer>
#include <QWindow>
#include <map>
#include <vector>

namespace platform {
namespace {

constexpr uint32_t kKeysymF1 = 0xFFBE;
// NumLock (Mod2) and CapsLock (Lock) must not stop the keys from working.
const uint16_t kMasks[] = {0, XCB_MOD_MASK_2, XCB_MOD_MASK_LOCK,
                           XCB_MOD_MASK_2 | XCB_MOD_MASK_LOCK};

xcb_keycode_t KeycodeFor(xcb_connection_t* c, uint32_t keysym) {
    const xcb_setup_t* setup = xcb_get_setup(c);
    xcb_keycode_t minK = setup->min_keycode, maxK = setup->max_keycode;
    auto cookie = xcb_get_keyboard_mapping(c, minK, static_cast<uint8_t>(maxK - minK + 1));
    xcb_get_keyboard_mapping_reply_t* r = xcb_get_keyboard_mapping_reply(c, cookie, nullptr);
    if (!r) return 0;
    const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(r);
    int per = r->keysyms_per_keycode;
    int n = xcb_get_keyboard_mapping_keysyms_length(r);
    xcb_keycode_t found = 0;
    for (int i = 0; i < n && per > 0; ++i)
        if (syms[i] == keysym) {
            found = static_cast<xcb_keycode_t>(minK + i / per);
            break;
        }
    free(r);
    return found;
}

} // namespace

struct HotKeys::Impl : public QAbstractNativeEventFilter, public QObject {
    std::function<void(int)> cb;
    xcb_connection_t* conn = nullptr;
    xcb_window_t root = 0;
    std::map<int, xcb_keycode_t> grabbed; // id -> keycode (global)
    std::map<int, int> local;             // id -> Qt key (focus-only fallback)
    bool global = false;
    std::vector<PortalShortcuts::Key> keys; // what the portal is asked to bind
    std::unique_ptr<PortalShortcuts> portal;
    bool portalScheduled = false;
    bool portalSettled = false;

    void UngrabAll() {
        if (conn) {
            for (auto& [id, code] : grabbed)
                for (uint16_t m : kMasks)
                    xcb_ungrab_key(conn, code, root, m);
            xcb_flush(conn);
        }
        grabbed.clear();
        local.clear();
    }

    // All keys go to the portal in one request, after the last Register of
    // this turn of the event loop.
    void SchedulePortal() {
        if (portalScheduled || !qGuiApp) return;
        portalScheduled = true;
        QTimer::singleShot(0, this, [this] {
            portal = std::make_unique<PortalShortcuts>(
                [this](int id) {
                    for (const auto& k : keys)
                        if (k.id == id) return cb(id);
                },
                [this](bool bound) {
                    portalSettled = true;
                    // The portal's keys replace the
                    // grab: one press, one action.
                    if (bound) UngrabAll();
                });
            portal->Bind(keys);
        });
    }

    bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override {
        if (type != "xcb_generic_event_t" || grabbed.empty()) return false;
        auto* ev = static_cast<xcb_generic_event_t*>(message);
        if ((ev->response_type & ~0x80) != XCB_KEY_PRESS) return false;
        auto* kp = reinterpret_cast<xcb_key_press_event_t*>(ev);
        for (auto& [id, code] : grabbed)
            if (code == kp->detail) {
                cb(id);
                return true;
            }
        return false;
    }

    bool eventFilter(QObject* obj, QEvent* e) override {
        if (e->type() != QEvent::KeyPress || !qobject_cast<QWindow*>(obj)) return false;
        auto* ke = static_cast<QKeyEvent*>(e);
        if (ke->isAutoRepeat()) return false;
        for (auto& [id, key] : local)
            if (ke->key() == key) {
                cb(id);
                return true;
            }
        return false;
    }
};

HotKeys::HotKeys(std::function<void(int)> onHotKey) : impl_(std::make_unique<Impl>()) {
    impl_->cb = std::move(onHotKey);
    if (auto* x11 =
            qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr) {
        impl_->conn = x11->connection();
        if (impl_->conn) {
            const xcb_setup_t* setup = xcb_get_setup(impl_->conn);
            impl_->root = xcb_setup_roots_iterator(setup).data->root;
        }
    }
    if (qGuiApp) {
        qGuiApp->installNativeEventFilter(impl_.get());
        qGuiApp->installEventFilter(impl_.get());
    }
}

HotKeys::~HotKeys() {
    UnregisterAll();
    if (qGuiApp) {
        qGuiApp->removeNativeEventFilter(impl_.get());
        qGuiApp->removeEventFilter(impl_.get());
    }
}

bool HotKeys::Register(int id, int functionKey, const std::string& description) {
    int qtKey = Qt::Key_F1 + functionKey - 1;
    impl_->keys.push_back(
        {id, QStringLiteral("F%1").arg(functionKey), QString::fromStdString(description)});
    impl_->SchedulePortal();
    if (impl_->conn) {
        xcb_keycode_t code = KeycodeFor(impl_->conn, kKeysymF1 + functionKey - 1);
        if (code != 0) {
            bool ok = true;
            for (uint16_t m : kMasks) {
                auto ck = xcb_grab_key_checked(impl_->conn, 1, impl_->root, m, code,
                                               XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
                if (xcb_generic_error_t* err = xcb_request_check(impl_->conn, ck)) {
                    free(err);
                    if (m == 0) ok = false;
                }
            }
            if (ok) {
                impl_->grabbed[id] = code;
                impl_->global = true;
                xcb_flush(impl_->conn);
                return true;
            }
        }
    }
    impl_->local[id] = qtKey;
    return false;
}

void HotKeys::Unregister(int id) {
    auto it = impl_->grabbed.find(id);
    if (it != impl_->grabbed.end() && impl_->conn) {
        for (uint16_t m : kMasks)
            xcb_ungrab_key(impl_->conn, it->second, impl_->root, m);
        xcb_flush(impl_->conn);
        impl_->grabbed.erase(it);
    }
    impl_->local.erase(id);
    std::erase_if(impl_->keys, [id](const PortalShortcuts::Key& k) { return k.id == id; });
}

void HotKeys::UnregisterAll() {
    impl_->keys.clear();
    impl_->portal.reset(); // closes the portal's session
    std::vector<int> ids;
    for (auto& [id, c] : impl_->grabbed)
        ids.push_back(id);
    for (auto& [id, k] : impl_->local)
        ids.push_back(id);
    for (int id : ids)
        Unregister(id);
}

bool HotKeys::IsGlobal() const {
    return CurrentMode() != Mode::FocusOnly;
}

HotKeys::Mode HotKeys::CurrentMode() const {
    if (impl_->portal && impl_->portal->Bound()) return Mode::Portal;
    return impl_->global && !impl_->grabbed.empty() ? Mode::X11 : Mode::FocusOnly;
}

bool HotKeys::PortalSettled() const {
    return impl_->portalSettled;
}

} // namespace platform
