#pragma once
#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QObject>
#include <QString>
#include <QVariantMap>
#include <functional>
#include <vector>

namespace platform {

// Global shortcuts through the desktop portal (org.freedesktop.portal.
// GlobalShortcuts), the way hot keys reach a program under Wayland: a
// session is created, the keys are bound with their preferred triggers, and
// the portal signals each activation. Everything is asynchronous; `done`
// says once whether the keys were bound.
class PortalShortcuts : public QObject {
    Q_OBJECT
  public:
    struct Key {
        int id;
        QString trigger;     // "F5"
        QString description; // what the desktop shows the user
    };
    PortalShortcuts(std::function<void(int id)> activated, std::function<void(bool bound)> done);
    ~PortalShortcuts() override;

    void Bind(const std::vector<Key>& keys);
    bool Bound() const { return bound_; }

    // The bus the portal is asked on: KESTRUNE_PORTAL_BUS when set (tests),
    // else the session bus.
    static QDBusConnection Bus();
    // The application id the desktop knows us by (our desktop file's name).
    static constexpr const char* kAppId = "kestrune";

  private slots:
    void SessionResponse(uint code, const QVariantMap& results);
    void BindResponse(uint code, const QVariantMap& results);
    void Activated(const QDBusObjectPath& session, const QString& id, qulonglong timestamp,
                   const QVariantMap& options);

  private:
    // Calls `method` on the portal with a fresh request token and connects
    // `slot` to the Response signal of its request.
    bool Request(const QString& method, QList<QVariant> args, QVariantMap options,
                 const char* slot);
    void Finish(bool bound);

    std::function<void(int)> activated_;
    std::function<void(bool)> done_;
    std::vector<Key> keys_;
    QString session_;
    QString requestPath_;
    bool bound_ = false;
    bool finished_ = false;
};

} // namespace platform
