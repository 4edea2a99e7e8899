// The sleep lock against a private bus with a stand-in logind that hands out
// one end of a pipe: the lock is held while our end stays open, released when
// it reaches end of file.
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusUnixFileDescriptor>
#include <QElapsedTimer>
#include <QProcess>
#include <QThread>
#include <atomic>

#include <gtest/gtest.h>

#include "platform/inhibit.h"

namespace {

class FakeLogind : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")
  public:
    std::atomic<int> calls{0};
    std::atomic<int> readEnd{-1};
    QString what, mode;

  public slots:
    QDBusUnixFileDescriptor Inhibit(const QString& w, const QString&, const QString&,
                                    const QString& m) {
        what = w;
        mode = m;
        int fds[2];
        if (pipe(fds) != 0) return {};
        readEnd = fds[0];
        QDBusUnixFileDescriptor d(fds[1]); // duplicates it
        close(fds[1]);
        ++calls;
        return d;
    }
};

// True once the write end of the pipe has been closed everywhere.
bool WriterClosed(int fd) {
    pollfd p{fd, POLLIN, 0};
    return poll(&p, 1, 0) == 1 && (p.revents & POLLHUP);
}

template <class F> bool WaitFor(F f) {
    QElapsedTimer t;
    t.start();
    while (!f() && t.elapsed() < 5000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return f();
}

class InhibitTest : public ::testing::Test {
  protected:
    void SetUp() override {
        daemon.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
        if (!daemon.waitForStarted(5000)) GTEST_SKIP() << "dbus-daemon is not installed";
        ASSERT_TRUE(daemon.waitForReadyRead(5000));
        address = QString::fromUtf8(daemon.readLine()).trimmed();
        qputenv("KESTRUNE_LOGIND_BUS", address.toUtf8());
        // The stand-in answers on its own thread, so our asynchronous call
        // and its reply travel the bus as they would to the real logind.
        thread.start();
        fake.moveToThread(&thread);
        QDBusConnection bus = QDBusConnection::connectToBus(address, "fake-logind");
        ASSERT_TRUE(bus.isConnected());
        ASSERT_TRUE(bus.registerService("org.freedesktop.login1"));
        ASSERT_TRUE(
            bus.registerObject("/org/freedesktop/login1", &fake, QDBusConnection::ExportAllSlots));
    }
    void TearDown() override {
        platform::KeepAwake(false);
        thread.quit();
        thread.wait();
        if (fake.readEnd >= 0) close(fake.readEnd);
        QDBusConnection::disconnectFromBus("fake-logind");
        QDBusConnection::disconnectFromBus("kestrune-logind");
        qunsetenv("KESTRUNE_LOGIND_BUS");
        daemon.kill();
        daemon.waitForFinished();
    }
    QProcess daemon;
    QString address;
    QThread thread;
    FakeLogind fake;
};

TEST_F(InhibitTest, HeldWhileRecordingAndReleasedAtStop) {
    platform::KeepAwake(true);
    platform::KeepAwake(true); // every tick asks again: still one request
    ASSERT_TRUE(WaitFor([] { return platform::IsKeptAwake(); }));
    EXPECT_EQ(fake.calls, 1);
    EXPECT_EQ(fake.what, "sleep");
    EXPECT_EQ(fake.mode, "block");
    EXPECT_FALSE(WriterClosed(fake.readEnd));

    platform::KeepAwake(false);
    EXPECT_FALSE(platform::IsKeptAwake());
    EXPECT_TRUE(WaitFor([this] { return WriterClosed(fake.readEnd); }));
}

TEST_F(InhibitTest, StopBeforeTheReplyLeavesNothingHeld) {
    platform::KeepAwake(true);
    platform::KeepAwake(false); // the recording ended at once
    ASSERT_TRUE(WaitFor([this] { return fake.calls == 1 && fake.readEnd >= 0; }));
    EXPECT_TRUE(WaitFor([this] { return WriterClosed(fake.readEnd); }));
    EXPECT_FALSE(platform::IsKeptAwake());
}

TEST(InhibitNoBus, WithoutLogindNothingIsHeld) {
    qputenv("KESTRUNE_LOGIND_BUS", "unix:path=/nonexistent/bus");
    platform::KeepAwake(true);
    QCoreApplication::processEvents();
    EXPECT_FALSE(platform::IsKeptAwake());
    platform::KeepAwake(false);
    qunsetenv("KESTRUNE_LOGIND_BUS");
}

} // namespace

#include "inhibit_test.moc"
