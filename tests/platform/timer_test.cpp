#include "platform/qt/bench_timer.h"
#include "tests/support/qt_app.h"

#include <QElapsedTimer>
#include <gtest/gtest.h>

using platform::QtTimer;

// Margins are wide: these check which rule holds, not how precise Qt is.
TEST(QtTimerRules, EnablingAnEnabledTimerKeepsItsCount) {
    test::EnsureApp();
    QtTimer t(300, true);
    QElapsedTimer clock;
    clock.start();
    qint64 fired_at = -1;
    t.SetTickHandler([&] {
        if (fired_at < 0) fired_at = clock.elapsed();
    });
    test::Pump(150);
    t.SetEnabled(true);
    const qint64 enabled_at = clock.elapsed();
    ASSERT_TRUE(test::WaitFor([&] { return fired_at >= 0; }, 5000));
    // Measured from the second enable, so that a busy machine's late pump
    // cannot pass for a kept count; a coarse timer may fire 5 % early.
    EXPECT_LT(fired_at - enabled_at, 285) << "a restart would have fired a whole interval after it";
}

TEST(QtTimerRules, DisableThenEnableRestartsTheCount) {
    test::EnsureApp();
    QtTimer t(300, true);
    QElapsedTimer clock;
    clock.start();
    qint64 fired_at = -1;
    t.SetTickHandler([&] {
        if (fired_at < 0) fired_at = clock.elapsed();
    });
    test::Pump(150);
    t.SetEnabled(false);
    t.SetEnabled(true);
    const qint64 enabled_at = clock.elapsed();
    fired_at = -1;  // a tick of a late pump came before the change
    ASSERT_TRUE(test::WaitFor([&] { return fired_at >= 0; }, 5000));
    EXPECT_GE(fired_at - enabled_at, 285) << "the count starts again at the enable";
}

TEST(QtTimerRules, NewIntervalRestartsAndZeroNeverFires) {
    test::EnsureApp();
    QtTimer t(300, true);
    QElapsedTimer clock;
    clock.start();
    int ticks = 0;
    qint64 fired_at = -1;
    t.SetTickHandler([&] {
        ++ticks;
        if (fired_at < 0) fired_at = clock.elapsed();
    });
    test::Pump(150);
    t.SetInterval(300);
    const qint64 set_at = clock.elapsed();
    fired_at = -1;  // a tick of a late pump came before the change
    ASSERT_TRUE(test::WaitFor([&] { return fired_at >= 0; }, 5000));
    EXPECT_GE(fired_at - set_at, 285) << "a new interval counts from when it is set";
    t.SetInterval(0);
    ticks = 0;
    test::Pump(100);
    EXPECT_EQ(ticks, 0);
    EXPECT_TRUE(t.Enabled()) << "still enabled, only silent";
    t.SetInterval(5);
    EXPECT_TRUE(test::WaitFor([&] { return ticks >= 2; }, 2000));
}

TEST(QtTimerRules, HandlerIsNeverReentered) {
    test::EnsureApp();
    QtTimer t(1, true);
    int depth = 0, max_depth = 0, ticks = 0;
    t.SetTickHandler([&] {
        ++depth;
        ++ticks;
        max_depth = std::max(max_depth, depth);
        if (ticks == 1) test::Pump(30);  // a handler that lets events run
        --depth;
    });
    ASSERT_TRUE(test::WaitFor([&] { return ticks >= 3; }, 2000));
    EXPECT_EQ(max_depth, 1);
}

TEST(QtTimerRules, AThrowingHandlerDoesNotStopTheTimer) {
    test::EnsureApp();
    QtTimer t(2, true);
    int ticks = 0;
    t.SetTickHandler([&] {
        ++ticks;
        throw std::runtime_error("tick failed");
    });
    EXPECT_TRUE(test::WaitFor([&] { return ticks >= 3; }, 2000));
}
