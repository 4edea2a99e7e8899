#include "platform/portal_shortcuts.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QRandomGenerator>

namespace platform {
namespace {

const QString kService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kInterface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");
const QString kRequest = QStringLiteral("org.freedesktop.portal.Request");

// One shortcut as the portal takes it: (s a{sv}).
struct PortalShortcut {
    QString id;
    QVariantMap properties;
};
using PortalShortcutList = QList<PortalShortcut>;

QDBusArgument& operator<<(QDBusArgument& a, const PortalShortcut& s) {
    a.beginStructure();
    a << s.id << s.properties;
    a.endStructure();
    return a;
}
const QDBusArgument& operator>>(const QDBusArgument& a, PortalShortcut& s) {
    a.beginStructure();
    a >> s.id >> s.properties;
    a.endStructure();
    return a;
}

QString Token() {
    return QStringLiteral("kestrune%1").arg(QRandomGenerator::global()->generate());
}

// Where the portal publishes the Response of a request made with `token`.
QString RequestPath(const QDBusConnection& bus, const QString& token) {
    QString sender = bus.baseService().mid(1);
    sender.replace('.', '_');
    return kPath + QStringLiteral("/request/") + sender + '/' + token;
}

} // namespace
} // namespace platform

Q_DECLARE_METATYPE(platform::PortalShortcut)

namespace platform {

QDBusConnection PortalShortcuts::Bus() {
    const QString address = qEnvironmentVariable("KESTRUNE_PORTAL_BUS");
    if (address.isEmpty()) return QDBusConnection::sessionBus();
    const QString name = QStringLiteral("kestrune-portal");
    QDBusConnection c = QDBusConnection::connectToBus(address, name);
    if (!c.isConnected()) QDBusConnection::disconnectFromBus(name);
    return c;
}

PortalShortcuts::PortalShortcuts(std::function<void(int)> activated, std::function<void(bool)> done)
    : activated_(std::move(activated)), done_(std::move(done)) {
    qDBusRegisterMetaType<PortalShortcut>();
    qDBusRegisterMetaType<PortalShortcutList>();
}

PortalShortcuts::~PortalShortcuts() {
    QDBusConnection bus = Bus();
    if (!bus.isConnected()) return;
    if (!session_.isEmpty()) {
        bus.disconnect(kService, kPath, kInterface, QStringLiteral("Activated"), this,
                       SLOT(Activated(QDBusObjectPath, QString, qulonglong, QVariantMap)));
        bus.asyncCall(QDBusMessage::createMethodCall(
            kService, session_, QStringLiteral("org.freedesktop.portal.Session"),
            QStringLiteral("Close")));
    }
}

void PortalShortcuts::Finish(bool bound) {
    if (finished_) return;
    finished_ = true;
    bound_ = bound;
    if (done_) done_(bound);
}

bool PortalShortcuts::Request(const QString& method, QList<QVariant> args, QVariantMap options,
                              const char* slot) {
    QDBusConnection bus = Bus();
    const QString token = Token();
    options.insert(QStringLiteral("handle_token"), token);
    // Listen before asking: the answer may come before the call returns.
    requestPath_ = RequestPath(bus, token);
    bus.connect(kService, requestPath_, kRequest, QStringLiteral("Response"), this, slot);
    QDBusMessage msg = QDBusMessage::createMethodCall(kService, kPath, kInterface, method);
    args << options;
    msg.setArguments(args);
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(msg, 10000), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, slot](QDBusPendingCallWatcher* w) {
                QDBusPendingReply<QDBusObjectPath> reply = *w;
                w->deleteLater();
                if (reply.isError()) return Finish(false);
                // An older portal chooses its own path.
                const QString path = reply.value().path();
                if (path != requestPath_) {
                    QDBusConnection b = Bus();
                    b.disconnect(kService, requestPath_, kRequest, QStringLiteral("Response"), this,
                                 slot);
                    requestPath_ = path;
                    b.connect(kService, path, kRequest, QStringLiteral("Response"), this, slot);
                }
            });
    return true;
}

void PortalShortcuts::Bind(const std::vector<Key>& keys) {
    keys_ = keys;
    QDBusConnection bus = Bus();
    if (!bus.isConnected() || !bus.interface() ||
        !bus.interface()->isServiceRegistered(kService).value())
        return Finish(false);
    // Newer portals know a program outside a sandbox only by the id it
    // registers; older ones lack the registry, which is no failure.
    QDBusMessage reg = QDBusMessage::createMethodCall(
        kService, kPath, QStringLiteral("org.freedesktop.host.portal.Registry"),
        QStringLiteral("Register"));
    reg << QString::fromLatin1(kAppId) << QVariantMap();
    bus.asyncCall(reg);
    QVariantMap options;
    options.insert(QStringLiteral("session_handle_token"), Token());
    Request(QStringLiteral("CreateSession"), {}, options, SLOT(SessionResponse(uint, QVariantMap)));
}

void PortalShortcuts::SessionResponse(uint code, const QVariantMap& results) {
    Bus().disconnect(kService, requestPath_, kRequest, QStringLiteral("Response"), this,
                     SLOT(SessionResponse(uint, QVariantMap)));
    const QVariant handle = results.value(QStringLiteral("session_handle"));
    session_ = handle.canConvert<QDBusObjectPath>() ? handle.value<QDBusObjectPath>().path()
                                                    : handle.toString();
    if (code != 0 || session_.isEmpty()) return Finish(false);
    Bus().connect(kService, kPath, kInterface, QStringLiteral("Activated"), this,
                  SLOT(Activated(QDBusObjectPath, QString, qulonglong, QVariantMap)));
    PortalShortcutList list;
    for (const Key& k : keys_) {
        QVariantMap props;
        props.insert(QStringLiteral("description"), k.description);
        props.insert(QStringLiteral("preferred_trigger"), k.trigger);
        list.append({QString::number(k.id), props});
    }
    Request(QStringLiteral("BindShortcuts"),
            {QVariant::fromValue(QDBusObjectPath(session_)), QVariant::fromValue(list), QString()},
            {}, SLOT(BindResponse(uint, QVariantMap)));
}

void PortalShortcuts::BindResponse(uint code, const QVariantMap&) {
    Bus().disconnect(kService, requestPath_, kRequest, QStringLiteral("Response"), this,
                     SLOT(BindResponse(uint, QVariantMap)));
    Finish(code == 0);
}

void PortalShortcuts::Activated(const QDBusObjectPath& session, const QString& id, qulonglong,
                                const QVariantMap&) {
    if (!bound_ || session.path() != session_) return;
    bool ok = false;
    const int n = id.toInt(&ok);
    if (ok && activated_) activated_(n);
}

} // namespace platform
