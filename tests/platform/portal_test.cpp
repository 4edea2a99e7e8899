// The hot keys against a stand-in desktop portal on a private bus: the
// session and binding requests, their Response signals and the Activated
// signal travel the bus as they would from the real portal.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVirtualObject>
#include <QElapsedTimer>
#include <QProcess>
#include <QThread>
#include <mutex>
#include <vector>

#include "platform/hotkeys.h"
#include "support/fake_portal.h"

namespace {

using testutil::FakePortal;
using testutil::kPortalPath;

template <class F> bool WaitFor(F f, int ms = 5000) {
    QElapsedTimer t;
    t.start();
    while (!f() && t.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return f();
}

class PortalTest : public ::testing::Test {
  protected:
    QProcess daemon;
    FakePortal fake;
    QDBusConnection portalBus{QString()};
    std::vector<int> pressed;

    void SetUp() override {
        daemon.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
        if (!daemon.waitForStarted(5000)) GTEST_SKIP() << "dbus-daemon is not installed";
        ASSERT_TRUE(daemon.waitForReadyRead(5000));
        const QString address = QString::fromUtf8(daemon.readLine()).trimmed();
        qputenv("KESTRUNE_PORTAL_BUS", address.toUtf8());
        portalBus = QDBusConnection::connectToBus(address, "fake-portal");
        ASSERT_TRUE(portalBus.isConnected());
    }
    void Serve() {
        ASSERT_TRUE(portalBus.registerVirtualObject(kPortalPath, &fake, QDBusConnection::SubPath));
        ASSERT_TRUE(portalBus.registerService("org.freedesktop.portal.Desktop"));
    }
    void TearDown() override {
        QDBusConnection::disconnectFromBus("fake-portal");
        QDBusConnection::disconnectFromBus("kestrune-portal");
        qunsetenv("KESTRUNE_PORTAL_BUS");
        daemon.kill();
        daemon.waitForFinished();
    }
    std::unique_ptr<platform::HotKeys> Keys() {
        auto keys = std::make_unique<platform::HotKeys>([this](int id) { pressed.push_back(id); });
        keys->Register(101, 5, "Record");
        keys->Register(102, 7, "Pause/Resume");
        keys->Register(103, 9, "Stop");
        return keys;
    }
    void Activate(const QString& session, const QString& id) {
        portalBus.send(testutil::PortalActivated(session, id));
    }
};

TEST_F(PortalTest, BindsTheThreeKeysAndEachActivationReachesItsId) {
    Serve();
    auto keys = Keys();
    ASSERT_TRUE(WaitFor([&] { return keys->PortalSettled(); }));
    EXPECT_EQ(keys->CurrentMode(), platform::HotKeys::Mode::Portal);
    EXPECT_TRUE(keys->IsGlobal());
    {
        std::lock_guard<std::mutex> lock(fake.m);
        EXPECT_EQ(fake.registered, QStringList{"kestrune"});
        ASSERT_EQ(fake.shortcuts.size(), 3u);
        const char* expected[][3] = {
            {"101", "Record", "F5"}, {"102", "Pause/Resume", "F7"}, {"103", "Stop", "F9"}};
        for (size_t i = 0; i < 3; ++i) {
            EXPECT_EQ(fake.shortcuts[i].id, expected[i][0]);
            EXPECT_EQ(fake.shortcuts[i].description, expected[i][1]);
            EXPECT_EQ(fake.shortcuts[i].trigger, expected[i][2]);
        }
    }
    for (const char* id : {"101", "102", "103"})
        Activate(fake.session, id);
    Activate(fake.session + "x", "101"); // another program's session
    Activate(fake.session, "999");       // no such key
    ASSERT_TRUE(WaitFor([&] { return pressed.size() >= 3; }));
    WaitFor([] { return false; }, 200);
    EXPECT_EQ(pressed, (std::vector<int>{101, 102, 103}));

    // Released with the program: the session is closed.
    keys.reset();
    EXPECT_TRUE(WaitFor([&] {
        std::lock_guard<std::mutex> lock(fake.m);
        return fake.closed;
    }));
}

TEST_F(PortalTest, RefusedOrAbsentPortalLeavesTheKeysAsBefore) {
    // What the keys are without any portal: the X11 grab or focus only.
    platform::HotKeys::Mode before;
    {
        QDBusConnection::disconnectFromBus("kestrune-portal");
        auto keys = Keys();
        ASSERT_TRUE(WaitFor([&] { return keys->PortalSettled(); }, 2000))
            << "a bus without a portal must settle at once";
        before = keys->CurrentMode();
        EXPECT_NE(before, platform::HotKeys::Mode::Portal);
    }
    for (uint answer : {1u, 2u}) {
        fake.bindAnswer = answer;
        if (answer == 1) Serve();
        auto keys = Keys();
        ASSERT_TRUE(WaitFor([&] { return keys->PortalSettled(); })) << answer;
        EXPECT_EQ(keys->CurrentMode(), before) << answer;
        Activate(fake.session, "101");
        WaitFor([] { return false; }, 200);
        EXPECT_TRUE(pressed.empty()) << "a refused binding must not act";
    }
}

} // namespace
