#include "platform/pulse.h"

#include <gtest/gtest.h>
#include <pulse/pulseaudio.h>

#include <QElapsedTimer>

#include "test_util.h"

namespace {

// Locks the shared main loop for the life of the guard.
struct Locked {
    Locked() { pa_threaded_mainloop_lock(platform::pulse::Mainloop()); }
    ~Locked() { pa_threaded_mainloop_unlock(platform::pulse::Mainloop()); }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;
};

TEST(PulseWait, EndsAtTheDeadlineOrAtOnceWhenTheStateIsKnown) {
    REQUIRE_PULSE();
    struct Case {
        int state;
        int timeoutMs;
        bool ready;
        qint64 atLeastMs, atMostMs;
    };
    const Case cases[] = {
        {1, 5000, true, 0, 100},    // ready already
        {-1, 5000, false, 0, 100},  // failed already
        {0, 300, false, 300, 2000}, // never decides: the deadline ends the wait
        {0, 0, false, 0, 500},
    };
    for (const Case& c : cases) {
        Locked lock;
        QElapsedTimer t;
        t.start();
        EXPECT_EQ(platform::pulse::WaitLocked([&] { return c.state; }, c.timeoutMs), c.ready)
            << "state " << c.state;
        EXPECT_GE(t.elapsed(), c.atLeastMs) << "state " << c.state;
        EXPECT_LE(t.elapsed(), c.atMostMs) << "state " << c.state;
    }
}

// The server's answer wakes the wait long before its deadline.
TEST(PulseWait, WakesWhenTheServerThreadSignals) {
    REQUIRE_PULSE();
    Locked lock;
    bool answered = false;
    auto done = [](pa_context*, const pa_server_info*, void* ud) {
        *static_cast<bool*>(ud) = true;
        pa_threaded_mainloop_signal(platform::pulse::Mainloop(), 0);
    };
    pa_operation* op = pa_context_get_server_info(platform::pulse::Context(), done, &answered);
    ASSERT_NE(op, nullptr);
    QElapsedTimer t;
    t.start();
    EXPECT_TRUE(platform::pulse::WaitLocked([&] { return answered ? 1 : 0; }, 10000));
    EXPECT_LT(t.elapsed(), 5000);
    pa_operation_unref(op);
}

} // namespace
