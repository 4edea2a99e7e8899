#pragma once
// A stand-in desktop portal for the global shortcuts: it answers the
// application registry, CreateSession and BindShortcuts with the Response
// signals the real portal sends, and records what it was asked.
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVirtualObject>
#include <QStringList>
#include <mutex>
#include <vector>

namespace testutil {

inline const QString kPortalPath = "/org/freedesktop/portal/desktop";

class FakePortal : public QDBusVirtualObject {
  public:
    struct Bound {
        QString id, description, trigger;
    };
    uint bindAnswer = 0; // 0 bound, 1 cancelled by the user, 2 failed
    std::mutex m;
    QStringList registered; // application ids
    std::vector<Bound> shortcuts;
    QString session;
    bool closed = false;

    QString introspect(const QString&) const override { return {}; }

    bool handleMessage(const QDBusMessage& msg, const QDBusConnection& conn) override {
        QString sender = msg.service().mid(1);
        sender.replace('.', '_');
        const QString member = msg.member();
        if (member == "Register") {
            std::lock_guard<std::mutex> lock(m);
            registered << msg.arguments().value(0).toString();
            conn.send(msg.createReply());
            return true;
        }
        if (member == "Close") {
            std::lock_guard<std::mutex> lock(m);
            closed = msg.path() == session;
            conn.send(msg.createReply());
            return true;
        }
        if (member == "CreateSession" || member == "BindShortcuts") {
            const QVariantMap options =
                qdbus_cast<QVariantMap>(msg.arguments().last().value<QDBusArgument>());
            const QString request =
                kPortalPath + "/request/" + sender + "/" + options.value("handle_token").toString();
            conn.send(msg.createReply(QVariant::fromValue(QDBusObjectPath(request))));
            QVariantMap results;
            uint code = 0;
            if (member == "CreateSession") {
                std::lock_guard<std::mutex> lock(m);
                session = kPortalPath + "/session/" + sender + "/" +
                          options.value("session_handle_token").toString();
                results.insert("session_handle", session);
            } else {
                ReadShortcuts(msg.arguments().value(1).value<QDBusArgument>());
                code = bindAnswer;
            }
            QDBusMessage response =
                QDBusMessage::createSignal(request, "org.freedesktop.portal.Request", "Response");
            response << code << results;
            conn.send(response);
            return true;
        }
        return false;
    }

    void ReadShortcuts(const QDBusArgument& arg) {
        std::lock_guard<std::mutex> lock(m);
        arg.beginArray();
        while (!arg.atEnd()) {
            QString id;
            QVariantMap props;
            arg.beginStructure();
            arg >> id >> props;
            arg.endStructure();
            shortcuts.push_back({id, props.value("description").toString(),
                                 props.value("preferred_trigger").toString()});
        }
        arg.endArray();
    }
};

// The Activated signal the portal sends when the user presses a bound key.
inline QDBusMessage PortalActivated(const QString& session, const QString& id) {
    QDBusMessage s = QDBusMessage::createSignal(
        kPortalPath, "org.freedesktop.portal.GlobalShortcuts", "Activated");
    s << QVariant::fromValue(QDBusObjectPath(session)) << id << qulonglong(1234) << QVariantMap();
    return s;
}

} // namespace testutil
