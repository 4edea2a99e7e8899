#include "platform/inhibit.h"

#include <unistd.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusUnixFileDescriptor>

namespace platform {
namespace {

struct InhibitState {
    bool wanted = false;  // what the caller last asked for
    bool pending = false; // a request is on its way
    int fd = -1;          // the lock, while held
};
InhibitState gState;

QDBusConnection Bus() {
    QString address = LogindBusAddress();
    if (address.isEmpty()) return QDBusConnection::systemBus();
    const QString name = QStringLiteral("kestrune-logind");
    QDBusConnection c = QDBusConnection::connectToBus(address, name);
    if (!c.isConnected()) { // a bus that went away: try it afresh next time
        QDBusConnection::disconnectFromBus(name);
    }
    return c;
}

void Release() {
    if (gState.fd >= 0) close(gState.fd);
    gState.fd = -1;
}

void Request() {
    QDBusConnection bus = Bus();
    if (!bus.isConnected()) return;
    QDBusMessage msg = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
        QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("Inhibit"));
    msg << QStringLiteral("sleep") << QStringLiteral("Kestrune")
        << QStringLiteral("A recording is in progress") << QStringLiteral("block");
    gState.pending = true;
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(msg, 5000));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, [](QDBusPendingCallWatcher* w) {
        QDBusPendingReply<QDBusUnixFileDescriptor> reply = *w;
        w->deleteLater();
        gState.pending = false;
        if (reply.isError() || !reply.value().isValid()) return; // no logind: record anyway
        // The reply's descriptor closes with it; keep our own copy.
        int fd = dup(reply.value().fileDescriptor());
        if (!gState.wanted) { // the recording ended while we waited
            if (fd >= 0) close(fd);
            return;
        }
        Release();
        gState.fd = fd;
    });
}

} // namespace

QString LogindBusAddress() {
    return qEnvironmentVariable("KESTRUNE_LOGIND_BUS");
}

void KeepAwake(bool on) {
    if (on == gState.wanted) return;
    gState.wanted = on;
    if (on) {
        if (!gState.pending && gState.fd < 0) Request();
    } else {
        Release();
    }
}

bool IsKeptAwake() {
    return gState.fd >= 0;
}

} // namespace platform
